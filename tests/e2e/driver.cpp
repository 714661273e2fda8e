// velmodrv: drives a running VELMO 2 from outside for the end-to-end tests
// (and, with the commands of bench/benchdrv.cpp, bench/speechdrv.cpp and
// tests/support/shotdrv.cpp, for the benchmarks and the run command's screenshot). Reads
// one command a line from stdin and answers each with one line, "ok ..." or
// "err <reason>". Text fields are TAB-separated and escaped; bytes are hex.
#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "benchdrv.h"
#include "shotdrv.h"
#include "speechdrv.h"

namespace {

const char kClass[] = "VELMO 2";
const char kSoundKey[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";

HWND g_main = nullptr;

void reply(const std::string& text) {
  printf("%s\n", text.c_str());
  fflush(stdout);
}

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  return out;
}

std::string hex(const void* data, size_t n) {
  std::string out;
  char two[3];
  for (size_t i = 0; i < n; ++i) out += (snprintf(two, sizeof two, "%02x", static_cast<const unsigned char*>(data)[i]), two);
  return out;
}

std::string unhex(const char* s) {
  std::string out;
  for (unsigned byte; sscanf(s, "%2x", &byte) == 1; s += 2) out += static_cast<char>(byte);
  return out;
}

HWND window_arg(const char*& arg) {
  char* end;
  HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(arg, &end, 10)));
  arg = end;
  return h;
}

// The text wine keeps for another process's window, read without sending it a
// message, so a busy target cannot hang us (GetWindowTextA returns garbage for
// an empty text under wine 8)
std::string window_text(HWND h) {
  std::vector<wchar_t> wide(1 << 16);
  int n = InternalGetWindowText(h, wide.data(), static_cast<int>(wide.size()));
  std::string out(static_cast<size_t>(n > 0 ? n : 0) * 2, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(), n, &out[0], static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::string class_of(HWND h) {
  char cls[256] = "";
  GetClassNameA(h, cls, sizeof cls);
  return cls;
}

void wait_window(const char* arg) {
  DWORD start = GetTickCount(), pid = 0;
  // Shown, with its controls: FindWindowA sees a dialog before its children exist
  while (!(g_main = FindWindowA(kClass, kClass)) || !IsWindowVisible(g_main) || !GetDlgItem(g_main, 193)) {
    if (GetTickCount() - start >= strtoul(arg, nullptr, 10)) return reply("err timeout");
    Sleep(20);
  }
  GetWindowThreadProcessId(g_main, &pid);
  reply("ok " + std::to_string(reinterpret_cast<uintptr_t>(g_main)) + " " + std::to_string(pid));
}

BOOL CALLBACK add_static(HWND child, LPARAM texts) {
  std::string& out = *reinterpret_cast<std::string*>(texts);
  std::string t = window_text(child);
  if (lstrcmpiA(class_of(child).c_str(), "Static") == 0 && !t.empty()) out += (out.empty() ? "" : "\n") + t;
  return TRUE;
}

// Every visible top-level window: handle, process, class, caption, the texts of its statics
BOOL CALLBACK add_window(HWND h, LPARAM list) {
  DWORD pid = 0;
  std::string statics;
  if (!IsWindowVisible(h)) return TRUE;
  GetWindowThreadProcessId(h, &pid);
  EnumChildWindows(h, add_static, reinterpret_cast<LPARAM>(&statics));
  *reinterpret_cast<std::string*>(list) += "\t" + std::to_string(reinterpret_cast<uintptr_t>(h)) + "\t" + std::to_string(pid) +
                                           "\t" + escape(class_of(h)) + "\t" + escape(window_text(h)) + "\t" + escape(statics);
  return TRUE;
}

BOOL CALLBACK find_rich_edit(HWND child, LPARAM found) {
  if (_strnicmp(class_of(child).c_str(), "RichEdit", 8) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The page of a help viewer: its first rich edit control's text, asked for with a time limit
void rich_text(const char* arg) {
  HWND edit = nullptr;
  std::vector<char> text(65536);
  DWORD_PTR length = 0;
  EnumChildWindows(window_arg(arg), find_rich_edit, reinterpret_cast<LPARAM>(&edit));
  if (!edit || !SendMessageTimeoutA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000, &length))
    return reply("err no page");
  reply("ok " + escape(std::string(text.data(), length)));
}

struct ChildSearch {
  std::string text, cls;
  HWND found;
};

BOOL CALLBACK find_child(HWND child, LPARAM search) {
  ChildSearch& s = *reinterpret_cast<ChildSearch*>(search);
  if (!IsWindowVisible(child) || (!s.text.empty() && window_text(child) != s.text) ||
      (!s.cls.empty() && lstrcmpiA(class_of(child).c_str(), s.cls.c_str()) != 0))
    return TRUE;
  s.found = child;
  return FALSE;
}

// The screen centre of the visible control of another process's window that shows TEXT, to click it
void child_center(const char* arg) {
  HWND parent = window_arg(arg);
  ChildSearch s = {*arg ? arg + 1 : "", "", nullptr};
  RECT r;
  EnumChildWindows(parent, find_child, reinterpret_cast<LPARAM>(&s));
  if (!s.found || !GetWindowRect(s.found, &r)) return reply("err no such control");
  reply("ok " + std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2));
}

// A window's visible list box: its screen centre, the selected item's number and every item's text
void list_items(const char* arg) {
  ChildSearch s = {"", "ListBox", nullptr};
  RECT r;
  EnumChildWindows(window_arg(arg), find_child, reinterpret_cast<LPARAM>(&s));
  if (!s.found || !GetWindowRect(s.found, &r)) return reply("err no list");
  std::string out = "ok " + std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2) + " " +
                    std::to_string(SendMessageA(s.found, LB_GETCURSEL, 0, 0));
  // Asked with a time limit, and only short items: the list is another process's
  DWORD_PTR count = 0, length = 0;
  SendMessageTimeoutA(s.found, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  for (WPARAM i = 0; i < count && static_cast<LONG_PTR>(count) > 0; ++i) {
    // Wide: wine hands an ANSI caller of another process's list one character
    wchar_t item[1024] = L"";
    char text[2048] = "";
    if (!SendMessageTimeoutW(s.found, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length) || length >= 1024 ||
        !SendMessageTimeoutW(s.found, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item), SMTO_ABORTIFHUNG, 5000, &length))
      return reply("err list item " + std::to_string(i));
    WideCharToMultiByte(CP_ACP, 0, item, -1, text, sizeof text, nullptr, nullptr);
    out += "\t" + escape(text);
  }
  reply(out);
}

void focus() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(g_main, nullptr), &info);
  HWND f = info.hwndFocus;
  if (!f || f == g_main) return reply(f ? "ok main" : "ok none");
  // the control of the main window that holds the focus, not an inner part of it
  while (IsChild(g_main, f) && GetParent(f) != g_main) f = GetParent(f);
  reply(IsChild(g_main, f) ? "ok " + std::to_string(GetDlgCtrlID(f)) : "ok other " + std::to_string(reinterpret_cast<uintptr_t>(f)));
}

bool open_clipboard() {
  for (int i = 0; i < 200; ++i, Sleep(10))
    if (OpenClipboard(nullptr)) return true;
  return false;
}

void clip_get() {
  if (!open_clipboard()) return reply("err clipboard busy");
  HANDLE data = GetClipboardData(CF_TEXT);
  const char* p = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  std::string out = p ? "ok " + hex(p, strnlen(p, GlobalSize(data))) : "ok none";
  if (p) GlobalUnlock(data);
  CloseClipboard();
  reply(out);
}

// No bytes: an empty clipboard. Wine writes a 0 over the last byte of a block
void clip_set(const std::string& bytes) {
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!mem || !open_clipboard()) return reply("err clipboard busy");
  if (!bytes.empty()) memcpy(GlobalLock(mem), bytes.data(), bytes.size()), GlobalUnlock(mem);
  EmptyClipboard();
  bool done = bytes.empty() || SetClipboardData(CF_TEXT, mem);
  CloseClipboard();
  if (bytes.empty() || !done) GlobalFree(mem);
  reply(done ? "ok" : "err not taken");
}

void reg_get() {
  HKEY key;
  DWORD type = 0, size = 4096;
  std::vector<char> data(size);
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSoundKey, 0, KEY_READ, &key)) return reply("ok missing");
  LONG rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  reply(rc ? "ok missing" : "ok " + std::to_string(type) + " " + hex(data.data(), size));
}

void reg_set(const char* arg) {
  HKEY key;
  char* end;
  DWORD type = strtoul(arg, &end, 10);
  std::string bytes = unhex(end + 1);
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSoundKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)) return reply("err create failed");
  LONG rc = RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  reply(rc ? "err set failed" : "ok");
}

// The X line's client width and the width of TEXT in the line's font: "ok CLIENT TEXT".
// The font is made as the dialog manager makes the template's "System" 8 point
// (a font handle of another process cannot be used here)
void extent(const char* text) {
  HWND line = GetDlgItem(g_main, 190);
  RECT client;
  SIZE size;
  HDC dc = GetDC(line);
  HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE, "System");
  HGDIOBJ old = SelectObject(dc, font);
  GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
  SelectObject(dc, old);
  ReleaseDC(line, dc);
  DeleteObject(font);
  GetClientRect(line, &client);
  reply("ok " + std::to_string(client.right) + " " + std::to_string(size.cx));
}

// The DLLs a process has loaded, lower case
void modules(const char* arg) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, strtoul(arg, nullptr, 10));
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  std::string out = "ok";
  if (snap == INVALID_HANDLE_VALUE) return reply("err no snapshot");
  for (BOOL more = Module32First(snap, &entry); more; more = Module32Next(snap, &entry)) out += "\t" + std::string(CharLowerA(entry.szModule));
  CloseHandle(snap);
  reply(out);
}

// Where a process loaded a DLL from: "ok PATH", or "ok none"
void module_path(const char* arg) {
  char* name;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, strtoul(arg, &name, 10));
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  std::string out = "ok none";
  if (snap == INVALID_HANDLE_VALUE) return reply("err no snapshot");
  for (BOOL more = Module32First(snap, &entry); more; more = Module32Next(snap, &entry))
    if (lstrcmpiA(entry.szModule, name + 1) == 0) out = "ok " + std::string(entry.szExePath);
  CloseHandle(snap);
  reply(out);
}

// Starts a program in its own folder as a shell would, with the show command
// SHOW in its STARTUPINFO, or with none ("-"): "ok PID"
void launch(const char* arg) {
  char* path;
  long show = strtol(arg, &path, 10);
  bool none = *arg == '-';
  std::string program = none ? arg + 2 : path + 1, folder = program.substr(0, program.rfind('\\'));
  std::string command = "\"" + program + "\"";
  STARTUPINFOA startup = {};
  PROCESS_INFORMATION process;
  startup.cb = sizeof startup;
  startup.dwFlags = none ? 0 : STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show);
  if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
    return reply("err cannot start " + program);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  reply("ok " + std::to_string(process.dwProcessId));
}

// The main window's state: "ok ICONIC ZOOMED VISIBLE"
void window_state() {
  reply("ok " + std::to_string(IsIconic(g_main) ? 1 : 0) + " " + std::to_string(IsZoomed(g_main) ? 1 : 0) + " " +
        std::to_string(IsWindowVisible(g_main) ? 1 : 0));
}

}  // namespace

int main() {
  static char line[1 << 22];
  // Sizes and pictures in the screen's pixels, whatever its DPI
  SetProcessDPIAware();
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  while (fgets(line, sizeof line, stdin)) {
    line[strcspn(line, "\r\n")] = '\0';
    char* space = strchr(line, ' ');
    const char* arg = space ? space + 1 : "";
    std::string name(line, space ? space - line : strlen(line));
    if (name == "wait-window") wait_window(arg);
    else if (name == "windows") {
      std::string list = "ok";
      EnumWindows(add_window, reinterpret_cast<LPARAM>(&list));
      reply(list);
    } else if (name == "lines" && g_main) {
      std::string out = "ok";
      for (int id = 190; id < 194; ++id) out += "\t" + escape(window_text(GetDlgItem(g_main, id)));
      reply(out);
    } else if (name == "press") {
      HWND target = window_arg(arg);
      int id = atoi(arg);
      PostMessageA(target, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(target, id)));
      reply("ok");
    } else if (name == "checked") {
      HWND dialog = window_arg(arg);
      reply(IsDlgButtonChecked(dialog, atoi(arg)) == BST_CHECKED ? "ok 1" : "ok 0");
    } else if (name == "center" && g_main) {
      RECT r;
      GetWindowRect(atoi(arg) ? GetDlgItem(g_main, atoi(arg)) : g_main, &r);
      reply("ok " + std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2));
    } else if (name == "rich-text") rich_text(arg);
    else if (name == "child-center") child_center(arg);
    else if (name == "list") list_items(arg);
    else if (name == "focus" && g_main) focus();
    else if (name == "clip-get") clip_get();
    else if (name == "clip-set") clip_set(unhex(arg) + '\0');
    else if (name == "clip-set-raw") clip_set(unhex(arg));
    else if (name == "clip-clear") clip_set("");
    else if (name == "reg-get") reg_get();
    else if (name == "reg-set") reg_set(arg);
    else if (name == "modules") modules(arg);
    else if (name == "module-path") module_path(arg);
    else if (name == "launch") launch(arg);
    else if (name == "window-state" && g_main) window_state();
    else if (name == "version") {
      char text[16];
      snprintf(text, sizeof text, "ok %08lx", GetVersion());  // the prefix's Windows version, as programs here see it
      reply(text);
    }
    else if (name == "extent" && g_main) extent(arg);
    else if (name == "quit") return reply("ok"), 0;
    else if (!bench_command(name, arg) && !speech_command(name, arg) && !shot_command(name, arg, g_main))
      reply("err unknown command or no window");
  }
  return 0;
}
