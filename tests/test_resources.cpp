/* The resources as compiled into a Windows program: the string table matches the one the
   code and the host tests read */
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>
#include "resource.h"

TEST(Resources, CompiledStringTableHoldsEveryText)
{
    const struct { UINT id; const char *text; } table[] = {
#define VELMO_STRING(id, text) {id, text},
#include "strings.inc"
#undef VELMO_STRING
    };
    for (const auto &entry : table) {
        char buffer[1024] = "unset";
        int length = LoadStringA(GetModuleHandleA(NULL), entry.id, buffer, sizeof(buffer));
        if (!entry.text[0])
            buffer[length] = 0;     /* an empty text is not stored at all */
        EXPECT_STREQ(buffer, entry.text) << entry.id;
    }
    char cut[9];
    EXPECT_EQ(LoadStringA(GetModuleHandleA(NULL), IDS_ERROR_CAPTION, cut, sizeof(cut)), 8);
    EXPECT_STREQ(cut, "VELMO 2 ");
}

/* A compiled dialog template, read field by field */
struct Item
{
    DWORD style;
    int x, y, w, h, id;
    std::string cls, text;
};

struct Template
{
    DWORD style;
    int x, y, w, h;
    std::string cls, caption, font;
    std::vector<Item> items;
};

static std::string ReadField(const WORD *&p)
{
    std::string text;
    if (*p == 0xFFFF) {
        text = "#" + std::to_string(p[1]);
        p += 2;
        return text;
    }
    for (; *p; p++)
        text += (char)*p;
    p++;
    return text;
}

static Template LoadTemplate(const char *name)
{
    HRSRC found = FindResourceA(NULL, name, MAKEINTRESOURCEA(5));   /* RT_DIALOG */
    EXPECT_NE(found, nullptr) << name;
    const DLGTEMPLATE *head = (const DLGTEMPLATE *)LockResource(LoadResource(NULL, found));
    Template t = {head->style, head->x, head->y, head->cx, head->cy, "", "", "", {}};
    const WORD *p = (const WORD *)(head + 1);
    EXPECT_EQ(ReadField(p), "") << "menu";
    t.cls = ReadField(p);
    t.caption = ReadField(p);
    if (t.style & DS_SETFONT) {
        t.font = std::to_string(*p++) + " ";
        t.font += ReadField(p);
    }
    for (int i = 0; i < head->cdit; i++) {
        p = (const WORD *)(((uintptr_t)p + 3) & ~(uintptr_t)3);
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)p;
        p = (const WORD *)(item + 1);
        Item it = {item->style, item->x, item->y, item->cx, item->cy, item->id, "", ""};
        it.cls = ReadField(p);
        it.text = ReadField(p);
        p += 1 + *p / sizeof(WORD);     /* creation data */
        t.items.push_back(it);
    }
    return t;
}

#define BUTTON 0x50010000
#define LINE   0x50000000

TEST(Resources, MainWindowTemplate)
{
    Template t = LoadTemplate("DIAL_MAIN");
    EXPECT_EQ(t.style, 0x00CA00C0u);
    EXPECT_EQ(std::vector<int>({t.x, t.y, t.w, t.h}), std::vector<int>({12, 1, 110, 170}));
    EXPECT_EQ(t.cls, "VELMO 2");
    EXPECT_EQ(t.caption, "VELMO 2");
    EXPECT_EQ(t.font, "8 System");
    const Item expected[] = {
        {BUTTON, 77, 139, 31, 12, 122, "BUTTON", "&Help..."},
        {BUTTON, 77, 123, 31, 12, 123, "BUTTON", "&About..."},
        {BUTTON, 77, 155, 31, 12, 124, "BUTTON", "E&xit"},
        {BUTTON, 2, 155, 14, 12, 48, "BUTTON", "0"},
        {BUTTON, 19, 155, 14, 12, 46, "BUTTON", "."},
        {BUTTON, 2, 139, 14, 12, 49, "BUTTON", "1"},
        {BUTTON, 19, 139, 14, 12, 50, "BUTTON", "2"},
        {BUTTON, 36, 139, 14, 12, 51, "BUTTON", "3"},
        {BUTTON, 2, 123, 14, 12, 52, "BUTTON", "4"},
        {BUTTON, 19, 123, 14, 12, 53, "BUTTON", "5"},
        {BUTTON, 36, 123, 14, 12, 54, "BUTTON", "6"},
        {BUTTON, 2, 107, 14, 12, 55, "BUTTON", "7"},
        {BUTTON, 19, 107, 14, 12, 56, "BUTTON", "8"},
        {BUTTON, 36, 107, 14, 12, 57, "BUTTON", "9"},
        {BUTTON, 2, 90, 31, 12, 13, "BUTTON", "&Enter"},
        {BUTTON, 57, 155, 14, 12, 43, "BUTTON", "+"},
        {BUTTON, 57, 139, 14, 12, 45, "BUTTON", "--"},
        {BUTTON, 57, 123, 14, 12, 42, "BUTTON", "*"},
        {BUTTON, 57, 107, 14, 12, 47, "BUTTON", "/"},
        {BUTTON, 77, 107, 31, 12, 176, "BUTTON", "&Y ^ X"},
        {BUTTON, 77, 90, 31, 12, 177, "BUTTON", "&1 / X"},
        {BUTTON, 2, 75, 31, 12, 178, "BUTTON", "&+ / --"},
        {BUTTON, 40, 75, 31, 12, 179, "BUTTON", "&Sqrt"},
        {BUTTON, 40, 60, 31, 12, 183, "BUTTON", "S&wap"},
        {BUTTON, 2, 60, 31, 12, 180, "BUTTON", "&Drop"},
        {BUTTON, 77, 60, 31, 12, 182, "BUTTON", "&Clear"},
        {BUTTON, 36, 155, 14, 12, 8, "BUTTON", "<--"},
        {0x50000007, 2, 1, 106, 55, 184, "BUTTON", ""},
        {LINE, 5, 43, 99, 12, 190, "STATIC", ""},
        {LINE, 5, 31, 99, 12, 191, "STATIC", ""},
        {LINE, 5, 19, 99, 12, 192, "STATIC", ""},
        {LINE, 5, 7, 99, 12, 193, "STATIC", ""},
        {BUTTON, 77, 75, 31, 12, 186, "BUTTON", "X ^ &2"},
        {BUTTON, 40, 90, 31, 12, 150, "BUTTON", "S&ound"},
    };
    ASSERT_EQ(t.items.size(), std::size(expected));
    for (size_t i = 0; i < t.items.size(); i++) {
        const Item &a = t.items[i], &e = expected[i];
        EXPECT_EQ(std::make_tuple(a.id, a.style, a.x, a.y, a.w, a.h, a.cls, a.text),
                  std::make_tuple(e.id, e.style, e.x, e.y, e.w, e.h, e.cls, e.text)) << i;
    }
}

TEST(Resources, DialogTemplates)
{
    Template sound = LoadTemplate("DIAL_SOUND");
    EXPECT_EQ(sound.style, 0x80C80080u);
    EXPECT_EQ(std::vector<int>({sound.x, sound.y, sound.w, sound.h}),
              std::vector<int>({18, 18, 80, 70}));
    EXPECT_EQ(sound.caption, "Sound");
    ASSERT_EQ(sound.items.size(), 3u);
    EXPECT_EQ(std::make_tuple(sound.items[0].id, sound.items[0].style, sound.items[0].text),
              std::make_tuple(2, DWORD(0x50010001), std::string("&Ok")));
    EXPECT_EQ(std::make_tuple(sound.items[1].id, sound.items[1].style, sound.items[1].y),
              std::make_tuple(101, DWORD(0x50010009), 7));
    EXPECT_EQ(std::make_tuple(sound.items[2].id, sound.items[2].text, sound.items[2].y),
              std::make_tuple(102, std::string("&Disable Sound"), 23));

    Template about = LoadTemplate("DIAL_ABOUT");
    EXPECT_EQ(about.style, 0x90C800C0u);
    EXPECT_EQ(about.font, "8 System");
    ASSERT_EQ(about.items.size(), 5u);
    const int order[] = {105, 2, 118, 114, 119};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(about.items[i].id, order[i]);
    EXPECT_EQ(std::make_tuple(about.items[2].style, about.items[2].x, about.items[2].text),
              std::make_tuple(DWORD(0x50000003), 122, std::string("ICONX")));
    /* The notices fill the space above the address, left of the icon */
    for (int i : {3, 4}) {
        const Item &n = about.items[i];
        EXPECT_EQ(n.style, DWORD(LINE));
        EXPECT_LE(n.x + n.w, about.items[2].x);
        EXPECT_LE(n.y + n.h, about.items[0].y);
    }
    EXPECT_NE(LoadImageA(GetModuleHandleA(NULL), "ICONX", IMAGE_ICON, 32, 32, 0), nullptr);
}

TEST(Resources, AcceleratorTableInOrder)
{
    struct Entry { WORD flags, key, command, padding; };
    HRSRC found = FindResourceA(NULL, "ACCELS", MAKEINTRESOURCEA(9));   /* RT_ACCELERATOR */
    ASSERT_NE(found, nullptr);
    const Entry *table = (const Entry *)LockResource(LoadResource(NULL, found));
    ASSERT_EQ(SizeofResource(NULL, found), 41 * sizeof(Entry));
    const WORD expected[41][3] = {
        {0x09, 45, 181}, {0x10, 111, 150}, {0x00, 3, 181}, {0x00, 22, 184},
        {0x05, 45, 184}, {0x10, 100, 180}, {0x01, 45, 180}, {0x10, 119, 183},
        {0x01, 36, 183}, {0x10, 99, 182}, {0x01, 33, 182}, {0x10, 61, 178},
        {0x01, 46, 178}, {0x10, 115, 179}, {0x01, 35, 179}, {0x10, 50, 186},
        {0x01, 34, 186}, {0x10, 121, 176}, {0x10, 49, 177}, {0x10, 104, 122},
        {0x01, 112, 122}, {0x10, 97, 123}, {0x10, 120, 124}, {0x00, 43, 43},
        {0x00, 45, 45}, {0x00, 42, 42}, {0x00, 47, 47}, {0x01, 8, 8}, {0x00, 46, 46},
        {0x00, 48, 48}, {0x00, 49, 49}, {0x00, 50, 50}, {0x00, 51, 51}, {0x00, 52, 52},
        {0x00, 53, 53}, {0x00, 54, 54}, {0x00, 55, 55}, {0x00, 56, 56}, {0x00, 57, 57},
        {0x01, 13, 13}, {0x90, 101, 13},
    };
    for (int i = 0; i < 41; i++)
        EXPECT_EQ(std::make_tuple(table[i].flags, table[i].key, table[i].command),
                  std::make_tuple(expected[i][0], expected[i][1], expected[i][2])) << i + 1;
}

static std::string VersionText(const std::vector<char> &info, const char *name)
{
    char *value = nullptr;
    UINT size = 0;
    std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), (void **)&value, &size))
        return "(missing)";
    return value;
}

TEST(Resources, VersionRecord)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof(path));
    std::vector<char> info(GetFileVersionInfoSizeA(path, NULL));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, (DWORD)info.size(), info.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &size));
    EXPECT_EQ(std::make_tuple(fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                              fixed->dwProductVersionMS, fixed->dwProductVersionLS),
              std::make_tuple(DWORD(0x00020000), DWORD(0x00010000), DWORD(0x00020000),
                              DWORD(0x00010000)));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS__WINDOWS32));

    WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation, &size));
    EXPECT_EQ(std::make_tuple(translation[0], translation[1]), std::make_tuple(WORD(0x0409), WORD(1200)));

    EXPECT_EQ(VersionText(info, "FileVersion"), "2, 0, 1, 0");
    EXPECT_EQ(VersionText(info, "ProductVersion"), "2, 0, 1, 0");
    EXPECT_EQ(VersionText(info, "FileDescription"), "RPN Calculator");
    EXPECT_EQ(VersionText(info, "InternalName"), "VELMO");
    EXPECT_EQ(VersionText(info, "OriginalFilename"), "VELMO.exe");
    EXPECT_EQ(VersionText(info, "ProductName"), "VELMO");
    EXPECT_EQ(VersionText(info, "CompanyName"), "Mondrel Software");
    EXPECT_EQ(VersionText(info, "LegalCopyright"), "Copyright (C) 2026 Mondrel Software");
}

/* Windows 8.1 and later report their own version only to programs that name them */
static const char *const kSupportedOs[] = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",   /* Vista */
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   /* 7 */
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   /* 8 */
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   /* 8.1 */
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",   /* 10 and 11 */
};

static std::string GuidText(const GUID &id)
{
    char text[40];
    snprintf(text, sizeof(text), "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
             (unsigned long)id.Data1, id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
             id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

TEST(Resources, ManifestAsInvokerWithSupportedOs)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));   /* RT_MANIFEST */
    ASSERT_NE(found, nullptr);
    std::string text((const char *)LockResource(LoadResource(NULL, found)), SizeofResource(NULL, found));
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);

    /* As the loader reads it: an activation context made from the resource */
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
    EXPECT_EQ(level.UiAccess, 0u);

    /* A count, then one element per id; the element's size differs between versions, so the
       ids are looked for at every 4-byte step */
    std::vector<char> info(4096);
    SIZE_T size = 0;
    ASSERT_TRUE(QueryActCtxW(0, context, NULL, CompatibilityInformationInActivationContext,
                             info.data(), info.size(), &size));
    EXPECT_EQ(*(const DWORD *)info.data(), DWORD(std::size(kSupportedOs)));
    std::vector<std::string> ids;
    for (SIZE_T at = sizeof(DWORD); at + sizeof(GUID) <= size; at += 4) {
        std::string id = GuidText(*(const GUID *)(info.data() + at));
        if (std::find(std::begin(kSupportedOs), std::end(kSupportedOs), id) != std::end(kSupportedOs))
            ids.push_back(id);
    }
    EXPECT_EQ(ids, std::vector<std::string>(std::begin(kSupportedOs), std::end(kSupportedOs)));
    ReleaseActCtx(context);
}
