/* Host stand-in for Win32: one main window with its controls, message boxes,
   sounds, the clipboard with movable memory, a per-user registry and profile
   files, all in memory and recorded for the tests. */
#include <windows.h>
#include <mmsystem.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <unistd.h>
#include "fakewin.h"
#include "resource.h"

namespace fake {

World world;

namespace {

struct Block
{
    std::vector<char> bytes;
    int locks;
    unsigned flags;
};

struct OpenKey
{
    std::string path;
};

std::set<Block *> blocks;
std::set<OpenKey *> keys;

/* Blocks and keys still held at exit are freed, so the leak checker sees only real leaks */
struct FreeAtExit
{
    ~FreeAtExit() { Reset(); }
} freeAtExit;

HWND const mainHandle = reinterpret_cast<HWND>(uintptr_t(0x1000));
HDC const screenDC = reinterpret_cast<HDC>(uintptr_t(0x2000));
HWND const dialogHandle = reinterpret_cast<HWND>(uintptr_t(0x3000));
HINSTANCE const moduleHandle = reinterpret_cast<HINSTANCE>(uintptr_t(0x400000));
HGDIOBJ const lightGrayBrush = reinterpret_cast<HGDIOBJ>(uintptr_t(0x5000));
HMODULE const winmmHandle = reinterpret_cast<HMODULE>(uintptr_t(0x600000));

bool Fails(Call call)
{
    int n = ++world.calls[call];
    return world.failNth[call] == -1 || world.failNth[call] == n;
}

std::string Lower(std::string text)
{
    for (char &c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

void CopyOut(const std::string &text, char *out, size_t size)
{
    size_t n = std::min(text.size(), size - 1);
    memcpy(out, text.data(), n);
    out[n] = 0;
}

}

void Reset()
{
    for (Block *b : blocks)
        delete b;
    blocks.clear();
    for (OpenKey *k : keys)
        delete k;
    keys.clear();
    world = World();
}

HWND MainWindow()
{
    return mainHandle;
}

HWND DialogWindow()
{
    return dialogHandle;
}

const char *StringText(UINT id)
{
    switch (id) {
#define VELMO_STRING(num, text) case num: return text;
#include "strings.inc"
#undef VELMO_STRING
    }
    return nullptr;
}

int TextWidth(const char *text)
{
    int width = 0;
    for (; *text; text++)
        width += *text == '.' ? 4 : 8;
    return width;
}

void Fail(Call call, int nth)
{
    world.failNth[call] = nth;
}

std::string ClipboardText()
{
    Block *b = static_cast<Block *>(world.clipboardText);
    if (!b || b->bytes.empty())
        return "";
    return std::string(b->bytes.data(), strnlen(b->bytes.data(), b->bytes.size()));
}

void PutClipboardBytes(const std::string &bytes)
{
    Block *b = new Block{std::vector<char>(bytes.begin(), bytes.end()), 0, GMEM_MOVEABLE};
    blocks.insert(b);
    if (world.clipboardText) {
        blocks.erase(static_cast<Block *>(world.clipboardText));
        delete static_cast<Block *>(world.clipboardText);
    }
    world.clipboardText = b;
}

int LiveBlocks()
{
    return (int)blocks.size() - (world.clipboardText ? 1 : 0);
}

const RegValue *FindRegValue(const std::string &path, const std::string &name)
{
    auto key = world.registry.find(Lower(path));
    if (key == world.registry.end())
        return nullptr;
    auto value = key->second.find(Lower(name));
    return value == key->second.end() ? nullptr : &value->second;
}

void PutRegValue(const std::string &path, DWORD type, const std::string &data)
{
    world.registry[Lower(path)][""] = RegValue{type, data};
}

}

using fake::world;

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size)
{
    const char *text = fake::StringText(id);
    if (size <= 0)
        return 0;
    fake::CopyOut(text ? text : "", buffer, (size_t)size);
    return (int)strlen(buffer);
}

BOOL SetDlgItemTextA(HWND, int id, LPCSTR text)
{
    world.controls[id] = text;
    world.textWrites++;
    return TRUE;
}

UINT GetDlgItemTextA(HWND, int id, LPSTR buffer, int size)
{
    fake::CopyOut(world.controls[id], buffer, (size_t)size);
    return (UINT)strlen(buffer);
}

HWND GetDlgItem(HWND, int id)
{
    return reinterpret_cast<HWND>(uintptr_t(0x10000 + id));
}

BOOL GetClientRect(HWND, LPRECT rect)
{
    *rect = RECT{0, 0, world.lineWidth, 24};
    return TRUE;
}

HDC GetDC(HWND)
{
    world.openDCs++;
    return fake::screenDC;
}

int ReleaseDC(HWND, HDC dc)
{
    if (dc != fake::screenDC)
        return 0;
    world.openDCs--;
    return 1;
}

BOOL GetTextExtentPointA(HDC, LPCSTR text, int length, LPSIZE size)
{
    size->cx = fake::TextWidth(std::string(text, (size_t)length).c_str());
    size->cy = 16;
    return TRUE;
}

BOOL MessageBeep(UINT)
{
    world.events.push_back("beep");
    if (world.onBeep)
        world.onBeep();
    return TRUE;
}

BOOL sndPlaySoundA(LPCSTR name, UINT)
{
    world.events.push_back(std::string("sound:") + name);
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    fake::Box box{owner, caption, text, flags};
    world.boxes.push_back(box);
    world.events.push_back(std::string("box:") + text);
    if (world.echoBoxes)
        fprintf(stderr, "[box] %s | %s\n", caption, text);
    if (world.onBox)
        world.onBox(box);
    return IDOK;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return world.windowProc ? world.windowProc(window, message, wParam, lParam) : 0;
}

BOOL KillTimer(HWND, UINT_PTR)
{
    world.events.push_back("timer");
    return FALSE;
}

void ExitProcess(UINT code)
{
    if (world.onExit)
        world.onExit(code);
    fflush(stdout);
    fflush(stderr);
    _exit((int)code);
}

HWND SetFocus(HWND window)
{
    HWND previous = world.focus;
    world.focus = window;
    return previous;
}

LRESULT DefWindowProcA(HWND, UINT message, WPARAM, LPARAM)
{
    world.events.push_back("default:" + std::to_string(message));
    return 0;
}

void PostQuitMessage(int code)
{
    world.events.push_back("quit:" + std::to_string(code));
}

BOOL WinHelpA(HWND, LPCSTR file, UINT command, UINT_PTR)
{
    if (fake::Fails(fake::WIN_HELP))
        return FALSE;
    world.events.push_back("help:" + std::to_string(command) + ":" + file);
    return TRUE;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR name, HWND, DLGPROC procedure, LPARAM)
{
    if (fake::Fails(fake::DIALOG_BOX))
        return -1;
    world.events.push_back(std::string("dialog:") + name);
    procedure(fake::dialogHandle, WM_INITDIALOG, 0, 0);
    if (world.onDialog)
        world.onDialog(name, procedure);
    return 0;
}

BOOL EndDialog(HWND, INT_PTR result)
{
    world.events.push_back("end:" + std::to_string(result));
    return TRUE;
}

BOOL CheckRadioButton(HWND, int, int, int checked)
{
    world.checkedRadio = checked;
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    return name && fake::Lower(name) == "velmo.exe" ? fake::moduleHandle : nullptr;
}

/* Cut and terminated as on Windows XP and later */
DWORD GetModuleFileNameA(HMODULE, LPSTR path, DWORD size)
{
    fake::CopyOut(world.modulePath, path, size);
    return (DWORD)strlen(path);
}

HGDIOBJ GetStockObject(int object)
{
    return object == LTGRAY_BRUSH ? fake::lightGrayBrush : nullptr;
}

UINT GetSystemDirectoryA(LPSTR path, UINT size)
{
    static const char system[] = "C:\\Windows\\system32";
    if (size < sizeof(system))
        return sizeof(system);
    memcpy(path, system, sizeof(system));
    return sizeof(system) - 1;
}

/* WINMM from the system directory is the one library there is */
HMODULE LoadLibraryA(LPCSTR path)
{
    world.loaded.push_back(path);
    if (fake::Fails(fake::LOAD_LIBRARY) || fake::Lower(path) != "c:\\windows\\system32\\winmm.dll")
        return nullptr;
    return fake::winmmHandle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (fake::Fails(fake::GET_PROC_ADDRESS) || module != fake::winmmHandle || strcmp(name, "sndPlaySoundA") != 0)
        return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(sndPlaySoundA));
}

BOOL OpenClipboard(HWND)
{
    if (fake::Fails(fake::OPEN_CLIPBOARD) || world.clipboardOpen)
        return FALSE;
    world.clipboardOpen = true;
    return TRUE;
}

BOOL EmptyClipboard(void)
{
    if (fake::Fails(fake::EMPTY_CLIPBOARD) || !world.clipboardOpen)
        return FALSE;
    if (world.clipboardText)
        GlobalFree(world.clipboardText);
    world.clipboardText = nullptr;
    return TRUE;
}

HANDLE GetClipboardData(UINT format)
{
    if (fake::Fails(fake::GET_CLIPBOARD_DATA) || !world.clipboardOpen || format != CF_TEXT)
        return nullptr;
    return world.clipboardText;
}

HANDLE SetClipboardData(UINT format, HANDLE data)
{
    /* The clipboard takes only movable memory */
    if (fake::Fails(fake::SET_CLIPBOARD_DATA) || !world.clipboardOpen || format != CF_TEXT
        || !(static_cast<fake::Block *>(data)->flags & GMEM_MOVEABLE))
        return nullptr;
    if (world.clipboardText && world.clipboardText != data)
        GlobalFree(world.clipboardText);
    world.clipboardText = data;
    return data;
}

BOOL CloseClipboard(void)
{
    if (!world.clipboardOpen)
        return FALSE;
    world.clipboardOpen = false;
    return TRUE;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if (fake::Fails(fake::GLOBAL_ALLOC))
        return nullptr;
    /* Memory that is not zero-filled holds what was there before */
    fake::Block *b = new fake::Block{std::vector<char>(bytes, flags & GMEM_ZEROINIT ? 0 : '?'), 0, flags};
    fake::blocks.insert(b);
    return b;
}

LPVOID GlobalLock(HGLOBAL block)
{
    fake::Block *b = static_cast<fake::Block *>(block);
    if (fake::Fails(fake::GLOBAL_LOCK) || !fake::blocks.count(b))
        return nullptr;
    b->locks++;
    return b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL block)
{
    fake::Block *b = static_cast<fake::Block *>(block);
    if (!fake::blocks.count(b) || b->locks == 0)
        return FALSE;
    return --b->locks > 0;
}

SIZE_T GlobalSize(HGLOBAL block)
{
    fake::Block *b = static_cast<fake::Block *>(block);
    return fake::blocks.count(b) ? b->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL block)
{
    fake::Block *b = static_cast<fake::Block *>(block);
    if (!fake::blocks.count(b))
        return block;
    fake::blocks.erase(b);
    delete b;
    return nullptr;
}

DWORD GetVersion(void)
{
    return world.version;
}

namespace fake {
namespace {

std::string *KeyPath(HKEY key)
{
    OpenKey *k = reinterpret_cast<OpenKey *>(key);
    return keys.count(k) ? &k->path : nullptr;
}

HKEY NewKey(const std::string &path)
{
    OpenKey *k = new OpenKey{path};
    keys.insert(k);
    world.openKeys++;
    return reinterpret_cast<HKEY>(k);
}

}
}

LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR, DWORD, REGSAM,
                     LPSECURITY_ATTRIBUTES, HKEY *key, LPDWORD disposition)
{
    if (fake::Fails(fake::REG_CREATE_KEY) || root != HKEY_CURRENT_USER || reserved)
        return ERROR_ACCESS_DENIED;
    std::string name = fake::Lower(path);
    bool existed = world.registry.count(name) != 0;
    world.registry[name];
    *key = fake::NewKey(name);
    if (disposition)
        *disposition = existed ? 2 : 1;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD, REGSAM, HKEY *key)
{
    if (fake::Fails(fake::REG_OPEN_KEY) || root != HKEY_CURRENT_USER)
        return ERROR_ACCESS_DENIED;
    std::string name = fake::Lower(path);
    if (!world.registry.count(name))
        return ERROR_FILE_NOT_FOUND;
    *key = fake::NewKey(name);
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size)
{
    std::string *path = fake::KeyPath(key);
    if (fake::Fails(fake::REG_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!path)
        return ERROR_INVALID_HANDLE;
    world.registry[*path][fake::Lower(name)] =
        fake::RegValue{type, std::string(reinterpret_cast<const char *>(data), size)};
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::string *path = fake::KeyPath(key);
    if (fake::Fails(fake::REG_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!path)
        return ERROR_INVALID_HANDLE;
    const fake::RegValue *value = fake::FindRegValue(*path, name);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    DWORD room = size ? *size : 0;
    if (size)
        *size = (DWORD)value->data.size();
    if (data && value->data.size() > room)
        return ERROR_MORE_DATA;
    if (data)
        memcpy(data, value->data.data(), value->data.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    fake::OpenKey *k = reinterpret_cast<fake::OpenKey *>(key);
    if (fake::Fails(fake::REG_CLOSE_KEY))
        return ERROR_INVALID_HANDLE;
    if (!fake::keys.count(k))
        return ERROR_INVALID_HANDLE;
    fake::keys.erase(k);
    delete k;
    world.openKeys--;
    return ERROR_SUCCESS;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR value, LPCSTR file)
{
    if (fake::Fails(fake::WRITE_PROFILE))
        return FALSE;
    world.profiles[fake::Lower(file)][fake::Lower(section)][fake::Lower(name)] = value;
    return TRUE;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR fallback,
                               LPSTR out, DWORD size, LPCSTR file)
{
    std::string text = fallback;
    auto f = world.profiles.find(fake::Lower(file));
    if (fake::Fails(fake::GET_PROFILE))
        f = world.profiles.end();
    if (f != world.profiles.end()) {
        auto s = f->second.find(fake::Lower(section));
        if (s != f->second.end()) {
            auto e = s->second.find(fake::Lower(name));
            if (e != s->second.end())
                text = e->second;
        }
    }
    fake::CopyOut(text, out, size);
    return (DWORD)strlen(out);
}
