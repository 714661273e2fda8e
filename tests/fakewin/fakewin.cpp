/* Host stand-in for Win32: one main window with its controls, message boxes,
   sounds, the clipboard with movable memory, a per-user registry and the INI
   file, all in memory and recorded for the tests. Every call a test may make
   fail checks fake::world.failNth under its own name. */
#include <windows.h>
#include <mmsystem.h>
#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <utility>
#include "fakewin.h"
#include "resource.h"

using fake::Block;
using fake::world;

namespace fake {

World world;

namespace {

HWND const mainHandle = reinterpret_cast<HWND>(uintptr_t(0x1000));
HDC const screenDC = reinterpret_cast<HDC>(uintptr_t(0x2000));
HWND const dialogHandle = reinterpret_cast<HWND>(uintptr_t(0x3000));
HGDIOBJ const lightGrayBrush = reinterpret_cast<HGDIOBJ>(uintptr_t(0x5000));
HMODULE const winmmHandle = reinterpret_cast<HMODULE>(uintptr_t(0x600000));

struct FreeAtExit
{
    ~FreeAtExit() { Reset(); }
} freeAtExit;

std::string Lower(std::string text)
{
    for (char &c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

/* Cut to size - 1 characters and terminated; the length */
size_t CopyOut(const std::string &text, char *out, size_t size)
{
    size_t n = std::min(text.size(), size - 1);
    memcpy(out, text.data(), n);
    out[n] = 0;
    return n;
}

template <typename T> T Record(const std::string &event, T result)
{
    world.events.push_back(event);
    return result;
}

/* A key handle is its path's entry in the registry */
std::string *KeyPath(HKEY key)
{
    for (auto &entry : world.registry)
        if (reinterpret_cast<HKEY>(&entry) == key)
            return const_cast<std::string *>(&entry.first);
    return nullptr;
}

}

bool Fails(const char *call)
{
    int n = ++world.calls[call], nth = world.failNth[call];
    return nth == -1 || nth == n;
}

void Reset()
{
    for (Block *b : world.blocks)
        delete b;
    world = World();
}

HWND MainWindow() { return mainHandle; }

HWND DialogWindow() { return dialogHandle; }

std::string ClipboardText()
{
    Block *b = world.clipboardText;
    return b ? std::string(b->bytes.c_str()) : "";
}

void PutClipboardBytes(const std::string &bytes)
{
    if (world.clipboardText)
        GlobalFree(world.clipboardText);
    world.clipboardText = new Block{bytes, 0, GMEM_MOVEABLE};
    world.blocks.insert(world.clipboardText);
}

const RegValue *FindRegValue(const std::string &path)
{
    auto key = world.registry.find(Lower(path));
    return key == world.registry.end() || !key->second.count("") ? nullptr : &key->second[""];
}

void PutRegValue(const std::string &path, DWORD type, const std::string &data)
{
    world.registry[Lower(path)][""] = RegValue{type, data};
}

}

using fake::Fails;

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size)
{
    const char *text = "";
    switch (id) {
#define VELMO_STRING(num, string) case num: text = string; break;
#include "strings.inc"
#undef VELMO_STRING
    }
    return (int)fake::CopyOut(text, buffer, (size_t)size);
}

BOOL SetDlgItemTextA(HWND, int id, LPCSTR text) { return world.controls[id] = text, ++world.textWrites; }

HWND GetDlgItem(HWND, int id) { return reinterpret_cast<HWND>(uintptr_t(0x10000 + id)); }

BOOL GetClientRect(HWND, LPRECT rect) { return *rect = RECT{0, 0, world.lineWidth, 24}, TRUE; }

HDC GetDC(HWND) { return world.openDCs++, fake::screenDC; }

int ReleaseDC(HWND, HDC dc)
{
    world.openDCs -= dc == fake::screenDC;
    return dc == fake::screenDC;
}

/* The system font: 8 pixels a character, 4 for the point */
BOOL GetTextExtentPointA(HDC, LPCSTR text, int length, LPSIZE size)
{
    size->cx = 8 * length - 4 * (int)std::count(text, text + length, '.');
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

BOOL sndPlaySoundA(LPCSTR name, UINT) { return fake::Record(std::string("sound:") + name, TRUE); }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    world.boxes.push_back(fake::Box{owner, caption, text, flags});
    world.events.push_back(std::string("box:") + text);
    if (world.onBox)
        world.onBox();
    return IDOK;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { return world.windowProc(window, message, wParam, lParam); }

BOOL KillTimer(HWND, UINT_PTR) { return fake::Record("timer", FALSE); }

void ExitProcess(UINT code)
{
    if (world.onExit)
        world.onExit(code);
    _exit((int)code);
}

HWND SetFocus(HWND window) { return std::exchange(world.focus, window); }

LRESULT DefWindowProcA(HWND, UINT message, WPARAM, LPARAM) { return fake::Record("default:" + std::to_string(message), 0); }

void PostQuitMessage(int code) { world.events.push_back("quit:" + std::to_string(code)); }

BOOL WinHelpA(HWND, LPCSTR file, UINT command, UINT_PTR)
{
    return !Fails("WinHelpA") && fake::Record("help:" + std::to_string(command) + ":" + file, TRUE);
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR name, HWND, DLGPROC procedure, LPARAM)
{
    if (Fails("DialogBoxParamA"))
        return -1;
    world.events.push_back(std::string("dialog:") + name);
    procedure(fake::dialogHandle, WM_INITDIALOG, 0, 0);
    if (world.onDialog)
        world.onDialog(procedure);
    return 0;
}

BOOL EndDialog(HWND, INT_PTR result) { return fake::Record("end:" + std::to_string(result), TRUE); }

BOOL CheckRadioButton(HWND, int, int, int checked) { return world.checkedRadio = checked, TRUE; }

HMODULE GetModuleHandleA(LPCSTR name)
{
    return name && fake::Lower(name) == "velmo.exe" ? reinterpret_cast<HMODULE>(uintptr_t(0x400000)) : nullptr;
}

/* Cut and terminated as on Windows XP and later */
DWORD GetModuleFileNameA(HMODULE, LPSTR path, DWORD size) { return (DWORD)fake::CopyOut(world.modulePath, path, size); }

HGDIOBJ GetStockObject(int object) { return object == LTGRAY_BRUSH ? fake::lightGrayBrush : nullptr; }

UINT GetSystemDirectoryA(LPSTR path, UINT size) { return (UINT)fake::CopyOut("C:\\Windows\\system32", path, size); }

/* WINMM from the system directory is the one library there is */
HMODULE LoadLibraryA(LPCSTR path)
{
    world.loaded.push_back(path);
    return Fails("LoadLibraryA") || fake::Lower(path) != "c:\\windows\\system32\\winmm.dll" ? nullptr
                                                                                      : fake::winmmHandle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (Fails("GetProcAddress") || module != fake::winmmHandle || strcmp(name, "sndPlaySoundA") != 0)
        return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(sndPlaySoundA));
}

BOOL OpenClipboard(HWND)
{
    if (Fails("OpenClipboard") || world.clipboardOpen)
        return FALSE;
    return world.clipboardOpen = true;
}

BOOL EmptyClipboard(void)
{
    if (Fails("EmptyClipboard") || !world.clipboardOpen)
        return FALSE;
    if (world.clipboardText)
        GlobalFree(world.clipboardText);
    world.clipboardText = nullptr;
    return TRUE;
}

HANDLE GetClipboardData(UINT format)
{
    return Fails("GetClipboardData") || !world.clipboardOpen || format != CF_TEXT ? nullptr : world.clipboardText;
}

/* The clipboard takes only movable memory */
HANDLE SetClipboardData(UINT format, HANDLE data)
{
    Block *b = static_cast<Block *>(data);
    if (Fails("SetClipboardData") || !world.clipboardOpen || format != CF_TEXT || !(b->flags & GMEM_MOVEABLE))
        return nullptr;
    if (world.clipboardText && world.clipboardText != b)
        GlobalFree(world.clipboardText);
    return world.clipboardText = b;
}

BOOL CloseClipboard(void)
{
    BOOL wasOpen = world.clipboardOpen;
    world.clipboardOpen = false;
    return wasOpen;
}

/* Memory that is not zero-filled holds what was there before */
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if (Fails("GlobalAlloc"))
        return nullptr;
    Block *b = new Block{std::string(bytes, flags & GMEM_ZEROINIT ? '\0' : '?'), 0, flags};
    world.blocks.insert(b);
    return b;
}

/* A block of no bytes cannot be locked */
LPVOID GlobalLock(HGLOBAL block)
{
    Block *b = static_cast<Block *>(block);
    if (Fails("GlobalLock") || !world.blocks.count(b) || b->bytes.empty())
        return nullptr;
    b->locks++;
    return &b->bytes[0];
}

BOOL GlobalUnlock(HGLOBAL block)
{
    Block *b = static_cast<Block *>(block);
    return world.blocks.count(b) && b->locks > 0 && --b->locks > 0;
}

SIZE_T GlobalSize(HGLOBAL block)
{
    Block *b = static_cast<Block *>(block);
    return world.blocks.count(b) ? b->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL block)
{
    Block *b = static_cast<Block *>(block);
    if (!world.blocks.erase(b))
        return block;
    delete b;
    return nullptr;
}

DWORD GetVersion(void) { return world.version; }

LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR, DWORD, REGSAM,
                     LPSECURITY_ATTRIBUTES, HKEY *key, LPDWORD)
{
    if (Fails("RegCreateKeyExA") || root != HKEY_CURRENT_USER || reserved)
        return ERROR_ACCESS_DENIED;
    *key = reinterpret_cast<HKEY>(&*world.registry.emplace(fake::Lower(path), std::map<std::string, fake::RegValue>()).first);
    world.openKeys++;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD, REGSAM, HKEY *key)
{
    auto found = world.registry.find(fake::Lower(path));
    if (Fails("RegOpenKeyExA") || root != HKEY_CURRENT_USER)
        return ERROR_ACCESS_DENIED;
    if (found == world.registry.end())
        return ERROR_FILE_NOT_FOUND;
    *key = reinterpret_cast<HKEY>(&*found);
    world.openKeys++;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size)
{
    std::string *path = fake::KeyPath(key);
    if (Fails("RegSetValueExA") || !path)
        return ERROR_ACCESS_DENIED;
    world.registry[*path][name] = fake::RegValue{type, std::string(reinterpret_cast<const char *>(data), size)};
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::string *path = fake::KeyPath(key);
    if (Fails("RegQueryValueExA") || !path)
        return ERROR_ACCESS_DENIED;
    auto &values = world.registry[*path];
    if (!values.count(name))
        return ERROR_FILE_NOT_FOUND;
    const fake::RegValue &value = values[name];
    DWORD room = *size;
    *type = value.type;
    *size = (DWORD)value.data.size();
    if (value.data.size() > room)
        return ERROR_MORE_DATA;
    memcpy(data, value.data.data(), value.data.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (Fails("RegCloseKey") || !fake::KeyPath(key))
        return ERROR_INVALID_HANDLE;
    world.openKeys--;
    return ERROR_SUCCESS;
}

/* VELMO.INI's section with the empty name is the only one there is */
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR value, LPCSTR file)
{
    if (Fails("WritePrivateProfileStringA") || *section || fake::Lower(file) != "velmo.ini")
        return FALSE;
    world.profile[fake::Lower(name)] = value;
    return TRUE;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR file)
{
    auto entry = world.profile.find(fake::Lower(name));
    bool found = !Fails("GetPrivateProfileStringA") && !*section && fake::Lower(file) == "velmo.ini"
                 && entry != world.profile.end();
    return (DWORD)fake::CopyOut(found ? entry->second : fallback, out, size);
}
