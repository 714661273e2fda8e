/* What can go wrong in building the resources: every text, control, key and
   picture the program asks for is there, and Windows accepts the manifest */
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "resource.h"

static const std::set<int> calculatorCommands = {
    CMD_BACK, CMD_ENTER, CMD_MULT, CMD_ADD, CMD_SUB, CMD_POINT, CMD_DIV, CMD_DIGIT, CMD_DIGIT + 1,
    CMD_DIGIT + 2, CMD_DIGIT + 3, CMD_DIGIT + 4, CMD_DIGIT + 5, CMD_DIGIT + 6, CMD_DIGIT + 7,
    CMD_DIGIT + 8, CMD_DIGIT + 9, CMD_RAISE, CMD_RECIP, CMD_CH_SGN, CMD_SQRT, CMD_DROP, CMD_COPY,
    CMD_CLEAR, CMD_SWAP, CMD_SQUARE};
static const std::set<int> windowCommands = {CMD_HELP, CMD_ABOUT, CMD_EXIT, CMD_SOUND, CMD_PASTE};

/* A text of a template, and p past it; "" for a resource number */
static std::string SkipText(const WORD *&p)
{
    std::string text;
    if (*p == 0xFFFF)
        p += 2;
    else
        while (*p++)
            text += (char)p[-1];
    return text;
}

/* The controls of a compiled dialog template: their IDs and texts */
static std::map<int, std::string> Controls(const char *name)
{
    std::map<int, std::string> ids;
    HRSRC found = FindResourceA(NULL, name, MAKEINTRESOURCEA(5));   /* RT_DIALOG */
    EXPECT_NE(found, nullptr) << name;
    if (!found)
        return ids;
    const DLGTEMPLATE *head = (const DLGTEMPLATE *)LockResource(LoadResource(NULL, found));
    const WORD *p = (const WORD *)(head + 1);
    SkipText(p);    /* menu, class, caption and font */
    SkipText(p);
    SkipText(p);
    if (head->style & DS_SETFONT)
        SkipText(++p);
    for (int i = 0; i < head->cdit; i++) {
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)(((uintptr_t)p + 3) & ~(uintptr_t)3);
        p = (const WORD *)(item + 1);
        SkipText(p);
        ids[item->id] = SkipText(p);
        p = (const WORD *)((const BYTE *)(p + 1) + *p);
    }
    return ids;
}

/* A compiled dialog template's style and extended style, from either layout
   (DIALOGEX starts with version 1 and 0xFFFF) */
static bool TemplateStyles(const char *name, DWORD *style, DWORD *exStyle)
{
    HRSRC found = FindResourceA(NULL, name, MAKEINTRESOURCEA(5));   /* RT_DIALOG */
    const BYTE *head = found ? (const BYTE *)LockResource(LoadResource(NULL, found)) : NULL;
    const WORD *words = (const WORD *)head;
    if (!head)
        return false;
    if (words[0] == 1 && words[1] == 0xFFFF) {
        memcpy(exStyle, head + 8, sizeof(DWORD));
        memcpy(style, head + 12, sizeof(DWORD));
    } else {
        memcpy(style, head, sizeof(DWORD));
        memcpy(exStyle, head + 4, sizeof(DWORD));
    }
    return true;
}

/* The windows the templates make: the main window a fixed top-level window
   that can be minimized but not sized or maximized, in the template's font,
   which the X line is measured in; the dialogs popups of their owner; every
   one with the 3-D look, which Windows 95 and NT 4 give a program made for
   Windows 3.10 only when the template asks for it */
TEST(Resources, DialogStyles)
{
    const struct { const char *name; DWORD style, exStyle; } templates[] = {
        {"DIAL_MAIN", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK, 0},
        {"DIAL_SOUND", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK, 0},
        {"DIAL_ABOUT", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK, 0},
    };
    for (const auto &t : templates) {
        DWORD style = 0, exStyle = 0;
        ASSERT_TRUE(TemplateStyles(t.name, &style, &exStyle)) << t.name;
        EXPECT_EQ(style, t.style) << t.name << std::hex << ": style 0x" << style << ", wanted 0x" << t.style;
        EXPECT_EQ(exStyle, t.exStyle) << t.name << std::hex << ": extended style 0x" << exStyle;
    }
}

TEST(Resources, EveryStringLoads)
{
    const struct { UINT id; const char *text; } table[] = {
#define VELMO_STRING(id, text) {id, text},
#include "strings.inc"
#undef VELMO_STRING
    };
    for (const auto &entry : table) {
        char buffer[1024] = "";
        LoadStringA(GetModuleHandleA(NULL), entry.id, buffer, sizeof(buffer));
        EXPECT_STREQ(buffer, entry.text) << entry.id;
    }
}

TEST(Resources, EveryCommandHasItsButtonOrKey)
{
    std::map<int, std::string> buttons = Controls("DIAL_MAIN");
    std::set<int> keys;
    for (int line = IDC_LINE_X; line <= IDC_LINE_T; line++)
        EXPECT_EQ(buttons.erase(line), 1u) << line;

    HACCEL table = LoadAcceleratorsA(GetModuleHandleA(NULL), "ACCELS");
    ASSERT_NE(table, nullptr);
    std::vector<ACCEL> entries(CopyAcceleratorTableA(table, NULL, 0));
    CopyAcceleratorTableA(table, entries.data(), (int)entries.size());
    for (const ACCEL &a : entries) {
        EXPECT_TRUE(calculatorCommands.count(a.cmd) || windowCommands.count(a.cmd)) << a.cmd;
        keys.insert(a.cmd);
    }
    for (int command : calculatorCommands) {
        EXPECT_TRUE(keys.count(command)) << command << " has no key";
        EXPECT_TRUE(buttons.count(command) || command == CMD_COPY) << command << " has no button";
    }
    for (int command : windowCommands)
        EXPECT_TRUE(keys.count(command) && (buttons.count(command) || command == CMD_PASTE)) << command;
    std::map<int, std::string> sound = Controls("DIAL_SOUND");
    EXPECT_TRUE(sound.size() == 3 && sound.count(IDC_OK) && sound.count(IDC_SOUND_ON) && sound.count(IDC_SOUND_OFF));
    EXPECT_EQ(Controls("DIAL_ABOUT").count(IDC_ABOUT_ICON), 1u);
}

/* ICONX's images, width x bits, each as Windows reads it ("!" where it cannot);
   "*" marks the title bar's. The 32 x 32 in 16 colours comes first for old systems. */
TEST(Resources, IconImages)
{
#pragma pack(push, 2)
    struct Entry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD bytes; WORD id; };
#pragma pack(pop)
    BYTE *group = (BYTE *)LockResource(LoadResource(NULL, FindResourceA(NULL, "ICONX", RT_GROUP_ICON)));
    ASSERT_NE(group, nullptr);
    const Entry *entry = (const Entry *)(group + 6);
    int small = LookupIconIdFromDirectoryEx(group, TRUE, 16, 16, LR_DEFAULTCOLOR);
    std::string images;
    for (int i = 0; i < ((const WORD *)group)[2]; i++, entry++) {
        HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(entry->id), RT_ICON);
        HICON icon = CreateIconFromResourceEx((BYTE *)LockResource(LoadResource(NULL, found)),
                                              SizeofResource(NULL, found), TRUE, 0x30000, 0, 0, 0);
        images += std::to_string(entry->width ? entry->width : 256) + "x" + std::to_string(entry->bits)
                  + (icon ? "" : "!") + (entry->id == small ? "* " : " ");
        DestroyIcon(icon);
    }
    EXPECT_EQ(images, "32x4 16x4 48x4 16x32* 32x32 48x32 256x32 ");
}

/* The manifest as the loader reads it: an activation context made from the resource */
TEST(Resources, Manifest)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof(path));
    ACTCTXA request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.lpSource = path;
    request.hModule = GetModuleHandleA(NULL);
    request.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << GetLastError();
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    ASSERT_TRUE(QueryActCtxW(0, context, NULL, RunlevelInformationInActivationContext, &level,
                             sizeof(level), NULL));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    DWORD compatibility[64] = {};
    ASSERT_TRUE(QueryActCtxW(0, context, NULL, CompatibilityInformationInActivationContext,
                             compatibility, sizeof(compatibility), NULL));
    EXPECT_EQ(compatibility[0], 5u) << "supported Windows versions";

    /* Drawn at the screen's DPI, and with the buttons of Common Controls 6 */
    WCHAR dpiAware[16] = L"";
    ASSERT_TRUE(QueryActCtxSettingsW(0, context, NULL, L"dpiAware", dpiAware, 16, NULL));
    EXPECT_STREQ(dpiAware, L"true");
    ULONG_PTR cookie = 0;
    ACTCTX_SECTION_KEYED_DATA found = {};
    found.cbSize = sizeof(found);
    ASSERT_TRUE(ActivateActCtx(context, &cookie));
    EXPECT_TRUE(FindActCtxSectionStringW(0, NULL, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &found));
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(context);
}
