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
typedef std::map<std::string, fake::RegValue> Values;

namespace fake {

World world;

namespace {

HDC const screenDC = reinterpret_cast<HDC>(uintptr_t(0x2000));
/* What lies in memory after a block: digits, which a reader that runs past it would type */
const std::string after(8, '9');
HGDIOBJ const systemFont = reinterpret_cast<HGDIOBJ>(uintptr_t(0x7000));
HGDIOBJ const lineFont = reinterpret_cast<HGDIOBJ>(uintptr_t(0x7001));
HMODULE const winmmHandle = reinterpret_cast<HMODULE>(uintptr_t(0x600000));
HMODULE const hhctrlHandle = reinterpret_cast<HMODULE>(uintptr_t(0x680000));
HMODULE const user32Handle = reinterpret_cast<HMODULE>(uintptr_t(0x700000));

struct FreeAtExit
{
    ~FreeAtExit() { Reset(); }
} freeAtExit;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)tolower(c); });
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

/* Notes the first call given a window or DC it should not have been */
void Misuse(bool wrong, const char *what)
{
    if (wrong && world.misuse.empty())
        world.misuse = what;
}

bool Fails(const char *call)
{
    int n = ++world.calls[call], nth = world.failNth[call];
    return nth == -1 || nth == n;
}

/* HTML Help's one entry: a window for a file, or closing them all */
HWND WINAPI HtmlHelpA(HWND, LPCSTR file, UINT command, UINT_PTR)
{
    if (Fails("HtmlHelpA"))
        return nullptr;
    return Record("htmlhelp:" + std::to_string(command) + ":" + (file ? file : ""), command == 1 ? DialogWindow() : nullptr);
}

Block *Live(HGLOBAL block)
{
    return world.blocks.count(static_cast<Block *>(block)) ? static_cast<Block *>(block) : nullptr;
}

/* A key handle is its entry in the registry */
Values *KeyValues(HKEY key)
{
    for (auto &entry : world.registry)
        if (reinterpret_cast<HKEY>(&entry) == key)
            return &entry.second;
    return nullptr;
}

}

void Reset()
{
    for (Block *b : world.blocks)
        delete b;
    world = World();
}

HWND MainWindow() { return reinterpret_cast<HWND>(uintptr_t(0x1000)); }
HWND DialogWindow() { return reinterpret_cast<HWND>(uintptr_t(0x3000)); }
HWND XLine() { return reinterpret_cast<HWND>(uintptr_t(0x10000 + IDC_LINE_X)); }
HINSTANCE Program() { return reinterpret_cast<HINSTANCE>(uintptr_t(0x400000)); }
HICON Icon(int size) { return reinterpret_cast<HICON>(uintptr_t(0x90000 + size)); }
HCURSOR Arrow() { return reinterpret_cast<HCURSOR>(uintptr_t(0x8000)); }
int SmallIconSize() { return 20; }
bool Win32s() { return (world.version & 0x80000000) && (world.version & 0xFF) < 4; }
std::string SystemDirectory() { return Win32s() ? "C:\\WINDOWS\\SYSTEM" : "C:\\Windows\\system32"; }
std::string ClipboardText() { return world.clipboardText ? world.clipboardText->bytes.substr(0, GlobalSize(world.clipboardText)).c_str() : ""; }

void PutClipboardBytes(const std::string &bytes)
{
    GlobalFree(world.clipboardText);
    world.blocks.insert(world.clipboardText = new Block{bytes + after, 0, GMEM_MOVEABLE});
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
using fake::Misuse;
using fake::Record;

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
HWND GetDlgItem(HWND window, int id)
{
    Misuse(window != fake::MainWindow(), "a control asked of another window than the main one");
    return reinterpret_cast<HWND>(uintptr_t(0x10000 + id));
}

/* Only the X line is measured: any other window is the main window's size */
BOOL GetClientRect(HWND window, LPRECT rect)
{
    bool line = window == fake::XLine();
    Misuse(!line, "a client rectangle asked of another window than the X line");
    return *rect = RECT{0, 0, line ? world.lineWidth : 330, 24}, TRUE;
}

HDC GetDC(HWND window) { return world.openDCs++, world.dcWindow = window, world.dcFont = fake::systemFont, fake::screenDC; }

/* A DC given back with another font still selected, or to another window, counts as left open */
int ReleaseDC(HWND window, HDC dc)
{
    bool released = dc == fake::screenDC && window == world.dcWindow;
    Misuse(!released, "a DC released to another window than the one it came from");
    return world.openDCs -= released && world.dcFont == fake::systemFont, released;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    Misuse(dc != fake::screenDC, "a font selected into another DC");
    return std::exchange(world.dcFont, object);
}

/* The lines' font: 8 pixels a character, 4 for the point; a DC's own system font is wider */
BOOL GetTextExtentPointA(HDC dc, LPCSTR text, int length, LPSIZE size)
{
    Misuse(dc != fake::screenDC, "a text measured in another DC");
    int half = world.dcFont == fake::lineFont ? 4 : 5;
    *size = SIZE{half * (2 * length - (int)std::count(text, text + length, '.')), 16};
    return TRUE;
}

BOOL MessageBeep(UINT)
{
    if (world.onBeep)
        world.onBeep();
    return Record("beep", TRUE);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    world.boxes.push_back(fake::Box{owner, caption, text, flags});
    if (world.onBox)
        world.onBox();
    return Record(std::string("box:") + text, IDOK);
}

BOOL sndPlaySoundA(LPCSTR name, UINT flags) { return Record("sound:" + std::to_string(flags) + ":" + name, TRUE); }
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_GETFONT)
        return world.windowProc(window, message, wParam, lParam);
    bool line = window == fake::XLine();
    Misuse(!line, "a font asked of another window than the X line");
    return reinterpret_cast<LRESULT>(line ? fake::lineFont : fake::systemFont);
}
BOOL KillTimer(HWND, UINT_PTR) { return Record("timer", FALSE); }
HWND SetFocus(HWND window) { return std::exchange(world.focus, window); }
LRESULT DefWindowProcA(HWND, UINT message, WPARAM, LPARAM) { return Record("default:" + std::to_string(message), 0); }
void PostQuitMessage(int code) { Record("quit:" + std::to_string(code), 0); }
BOOL EndDialog(HWND, INT_PTR result) { return Record("end:" + std::to_string(result), TRUE); }
BOOL CheckRadioButton(HWND, int, int, int checked) { return world.checkedRadio = checked, TRUE; }
DWORD GetVersion(void) { return world.version; }

void ExitProcess(UINT code)
{
    if (world.onExit)
        world.onExit(code);
    _exit((int)code);
}

BOOL WinHelpA(HWND, LPCSTR file, UINT command, UINT_PTR)
{
    return !Fails("WinHelpA") && Record("help:" + std::to_string(command) + ":" + file, TRUE);
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR name, HWND, DLGPROC procedure, LPARAM)
{
    if (Fails("DialogBoxParamA"))
        return -1;
    Record(std::string("dialog:") + name, 0);
    (world.dialogProc = procedure)(fake::DialogWindow(), WM_INITDIALOG, 0, 0);
    if (world.onDialog)
        world.onDialog();
    return 0;
}

/* The program's own module and USER32, which is loaded with it */
HMODULE GetModuleHandleA(LPCSTR name)
{
    std::string module = name ? fake::Lower(name) : "";
    return module == "velmo.exe" ? fake::Program() : module == "user32" || module == "user32.dll" ? fake::user32Handle : nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA *windowClass)
{
    if (Fails("RegisterClassExA"))
        return 0;
    return world.windowClass = *windowClass, Record("classex", ATOM(1));
}

ATOM RegisterClassA(const WNDCLASSA *c)
{
    world.windowClass = WNDCLASSEXA{0, c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra, c->hInstance, c->hIcon,
                                    c->hCursor, c->hbrBackground, c->lpszMenuName, c->lpszClassName, nullptr};
    return Record("class", ATOM(1));
}

static bool IsIconX(HINSTANCE module, LPCSTR name)
{
    return module == fake::Program() && !IS_INTRESOURCE(name) && !strcmp(name, "ICONX");
}

HICON LoadIconA(HINSTANCE module, LPCSTR name) { return IsIconX(module, name) ? fake::Icon(32) : nullptr; }

HANDLE LoadImageA(HINSTANCE module, LPCSTR name, UINT type, int cx, int cy, UINT)
{
    return IsIconX(module, name) && type == IMAGE_ICON && cx == cy ? fake::Icon(cx) : nullptr;
}

HCURSOR LoadCursorA(HINSTANCE module, LPCSTR name) { return !module && name == IDC_ARROW ? fake::Arrow() : nullptr; }

int GetSystemMetrics(int index)
{
    return index == SM_CXSMICON || index == SM_CYSMICON ? fake::SmallIconSize() : 0;
}

/* Cut and terminated as on Windows XP and later */
DWORD GetModuleFileNameA(HMODULE, LPSTR path, DWORD size) { return (DWORD)fake::CopyOut(world.modulePath, path, size); }
HGDIOBJ GetStockObject(int object) { return object == LTGRAY_BRUSH ? reinterpret_cast<HGDIOBJ>(uintptr_t(0x5000)) : nullptr; }
UINT GetSystemDirectoryA(LPSTR path, UINT size) { return (UINT)fake::CopyOut(fake::SystemDirectory(), path, size); }

/* WINMM and HTML Help from the system directory are the libraries there are.
   Win32s has no HTML Help, and its SYSTEM folder's WINMM.DLL is the 16-bit one,
   which a 32-bit program cannot load: its own is in SYSTEM\\WIN32S */
HMODULE LoadLibraryA(LPCSTR path)
{
    std::string file = fake::Lower(path), system = fake::Lower(fake::SystemDirectory()) + "\\";
    bool win32s = fake::Win32s();
    world.loaded.push_back(path);
    return Fails("LoadLibraryA") ? nullptr : file == system + (win32s ? "win32s\\winmm.dll" : "winmm.dll") ? fake::winmmHandle
           : !win32s && file == system + "hhctrl.ocx" ? fake::hhctrlHandle : nullptr;
}

/* USER32's functions of Windows 95 and NT 4, unless the row takes them away */
static void (*UserProc(const std::string &name))()
{
    if (world.missing.count(name))
        return nullptr;
    return name == "RegisterClassExA" ? reinterpret_cast<void (*)()>(RegisterClassExA)
           : name == "LoadImageA" ? reinterpret_cast<void (*)()>(LoadImageA) : nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    void (*proc)() = module == fake::winmmHandle && !strcmp(name, "sndPlaySoundA") ? reinterpret_cast<void (*)()>(sndPlaySoundA)
                     : module == fake::hhctrlHandle && !strcmp(name, "HtmlHelpA") ? reinterpret_cast<void (*)()>(fake::HtmlHelpA)
                     : module == fake::user32Handle ? UserProc(name)
                     : nullptr;
    return Fails("GetProcAddress") ? nullptr : reinterpret_cast<FARPROC>(proc);
}

BOOL OpenClipboard(HWND) { return !Fails("OpenClipboard") && !world.clipboardOpen && (world.clipboardOpen = true); }
BOOL CloseClipboard(void) { return std::exchange(world.clipboardOpen, false); }

BOOL EmptyClipboard(void)
{
    if (Fails("EmptyClipboard") || !world.clipboardOpen)
        return FALSE;
    GlobalFree(std::exchange(world.clipboardText, nullptr));
    return TRUE;
}

HANDLE GetClipboardData(UINT format)
{
    return Fails("GetClipboardData") || !world.clipboardOpen || format != CF_TEXT ? nullptr : world.clipboardText;
}

/* The clipboard takes only movable memory */
HANDLE SetClipboardData(UINT format, HANDLE data)
{
    Block *b = fake::Live(data);
    if (Fails("SetClipboardData") || !world.clipboardOpen || format != CF_TEXT || !b || !(b->flags & GMEM_MOVEABLE))
        return nullptr;
    if (world.clipboardText != b)
        GlobalFree(world.clipboardText);
    return world.clipboardText = b;
}

/* Memory that is not zero-filled holds what was there before */
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    Block *b = Fails("GlobalAlloc") ? nullptr : new Block{std::string(bytes, flags & GMEM_ZEROINIT ? '\0' : '?') + fake::after, 0, flags};
    return b ? *world.blocks.insert(b).first : nullptr;
}

/* A block of no bytes cannot be locked */
LPVOID GlobalLock(HGLOBAL block)
{
    Block *b = fake::Live(block);
    return Fails("GlobalLock") || !b || b->bytes == fake::after ? nullptr : (b->locks++, &b->bytes[0]);
}

BOOL GlobalUnlock(HGLOBAL block) { return fake::Live(block) && fake::Live(block)->locks > 0 && --fake::Live(block)->locks > 0; }
SIZE_T GlobalSize(HGLOBAL block) { return fake::Live(block) ? fake::Live(block)->bytes.size() - fake::after.size() : 0; }

HGLOBAL GlobalFree(HGLOBAL block)
{
    if (!world.blocks.erase(static_cast<Block *>(block)))
        return block;
    delete static_cast<Block *>(block);
    return nullptr;
}

LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, HKEY *key, LPDWORD)
{
    if (Fails("RegCreateKeyExA") || root != HKEY_CURRENT_USER || reserved)
        return ERROR_ACCESS_DENIED;
    *key = reinterpret_cast<HKEY>(&*world.registry.emplace(fake::Lower(path), Values()).first);
    return world.openKeys++, ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD, REGSAM, HKEY *key)
{
    auto found = world.registry.find(fake::Lower(path));
    if (Fails("RegOpenKeyExA") || root != HKEY_CURRENT_USER || found == world.registry.end())
        return ERROR_FILE_NOT_FOUND;
    *key = reinterpret_cast<HKEY>(&*found);
    return world.openKeys++, ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size)
{
    Values *values = fake::KeyValues(key);
    if (Fails("RegSetValueExA") || !values)
        return ERROR_ACCESS_DENIED;
    (*values)[name] = fake::RegValue{type, std::string(reinterpret_cast<const char *>(data), size)};
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Values *values = fake::KeyValues(key);
    if (Fails("RegQueryValueExA") || !values || !values->count(name))
        return ERROR_FILE_NOT_FOUND;
    const fake::RegValue &value = (*values)[name];
    bool fits = value.data.size() <= *size;
    *type = value.type;
    *size = (DWORD)value.data.size();
    return fits ? (memcpy(data, value.data.data(), value.data.size()), ERROR_SUCCESS) : ERROR_MORE_DATA;
}

LONG RegCloseKey(HKEY key)
{
    return Fails("RegCloseKey") || !fake::KeyValues(key) ? ERROR_INVALID_HANDLE : (world.openKeys--, ERROR_SUCCESS);
}

/* VELMO.INI's section with the empty name is the only one there is */
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR value, LPCSTR file)
{
    return !Fails("WritePrivateProfileStringA") && !*section && fake::Lower(file) == "velmo.ini"
           && (world.profile[fake::Lower(name)] = value, TRUE);
}

INT GetPrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR fallback, LPSTR out, UINT size, LPCSTR file)
{
    auto entry = world.profile.find(fake::Lower(name));
    bool found = !Fails("GetPrivateProfileStringA") && !*section && fake::Lower(file) == "velmo.ini"
                 && entry != world.profile.end();
    return (INT)fake::CopyOut(found ? entry->second : fallback, out, size);
}
