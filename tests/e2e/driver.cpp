// velmodrv: drives a running VELMO 2 from outside for the end-to-end tests.
// Reads one command a line from stdin and answers each with one line,
// "ok ..." or "err <reason>". Text fields are TAB-separated and escaped.
#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "benchdrv.h"

namespace {

const char kClass[] = "VELMO 2";
const char kSoundKey[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";

HWND g_main = nullptr;
HWND g_lines[4];  // X, Y, Z, T: GetDlgItem asks the server about every control in turn

void reply(const char* text) {
  fputs(text, stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

void reply(const std::string& text) { reply(text.c_str()); }

std::string escape(const char* s) {
  std::string out;
  for (; *s; ++s) {
    switch (*s) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += *s;
    }
  }
  return out;
}

std::string to_hex(const unsigned char* data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool from_hex(const char* s, std::vector<unsigned char>& out) {
  out.clear();
  size_t n = strlen(s);
  if (n % 2) return false;
  for (size_t i = 0; i < n; i += 2) {
    int hi = hex_digit(s[i]), lo = hex_digit(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return true;
}

bool parse_num(const char* s, unsigned long long& value) {
  if (!*s) return false;
  char* end = nullptr;
  value = strtoull(s, &end, 10);
  return *end == '\0';
}

HWND to_hwnd(unsigned long long v) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(v)); }

unsigned long long from_hwnd(HWND h) { return reinterpret_cast<uintptr_t>(h); }

// The text wine keeps for another process's window, read without sending the
// window a message, so a busy or blocked target cannot hang us. GetWindowTextA
// does the same but, under wine 8, returns heap garbage for an empty text.
std::string window_text(HWND h) {
  std::vector<wchar_t> wide(256);
  int n;
  for (;;) {
    std::fill(wide.begin(), wide.end(), L'\0');
    n = InternalGetWindowText(h, wide.data(), static_cast<int>(wide.size()));
    if (n < static_cast<int>(wide.size()) - 1 || wide.size() >= (1u << 22)) break;
    wide.resize(wide.size() * 4);
  }
  if (n <= 0) return std::string();
  int len = WideCharToMultiByte(CP_ACP, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), n, &out[0], len, nullptr, nullptr);
  return out;
}

bool need_main() {
  if (g_main && IsWindow(g_main)) return true;
  reply("err no window");
  return false;
}

void cmd_wait_window(const char* arg) {
  unsigned long long ms;
  if (!parse_num(arg, ms)) return reply("err bad argument");
  DWORD start = GetTickCount();
  for (;;) {
    // Shown, with its controls: FindWindowA sees a dialog before its children exist
    HWND h = FindWindowA(kClass, kClass);
    if (h && IsWindowVisible(h) && GetDlgItem(h, 193)) {
      g_main = h;
      for (int i = 0; i < 4; ++i) g_lines[i] = GetDlgItem(h, 190 + i);
      DWORD pid = 0;
      GetWindowThreadProcessId(h, &pid);
      char buf[64];
      snprintf(buf, sizeof buf, "ok %llu %lu", from_hwnd(h), static_cast<unsigned long>(pid));
      return reply(buf);
    }
    if (GetTickCount() - start >= ms) return reply("err timeout");
    Sleep(20);
  }
}

void cmd_lines() {
  if (!need_main()) return;
  std::string out = "ok";
  for (HWND line : g_lines) {
    out += '\t';
    out += escape(window_text(line).c_str());
  }
  reply(out);
}

BOOL CALLBACK collect_static(HWND child, LPARAM param) {
  std::string& text = *reinterpret_cast<std::string*>(param);
  char cls[256];
  if (!GetClassNameA(child, cls, sizeof cls) || lstrcmpiA(cls, "Static") != 0) return TRUE;
  std::string t = window_text(child);
  if (t.empty()) return TRUE;
  if (!text.empty()) text += '\n';
  text += t;
  return TRUE;
}

BOOL CALLBACK collect_window(HWND h, LPARAM param) {
  if (!IsWindowVisible(h)) return TRUE;
  std::string& out = *reinterpret_cast<std::string*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char cls[256] = "";
  GetClassNameA(h, cls, sizeof cls);
  std::string statics;
  EnumChildWindows(h, collect_static, reinterpret_cast<LPARAM>(&statics));
  char head[64];
  snprintf(head, sizeof head, "\t%llu\t%lu\t", from_hwnd(h), static_cast<unsigned long>(pid));
  out += head;
  out += escape(cls);
  out += '\t';
  out += escape(window_text(h).c_str());
  out += '\t';
  out += escape(statics.c_str());
  return TRUE;
}

void cmd_windows() {
  std::string out = "ok";
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&out));
  reply(out);
}

// "HWND ID" arguments
bool parse_window_control(const char* arg, unsigned long long& h, unsigned long long& id) {
  const char* space = strchr(arg, ' ');
  return space && parse_num(std::string(arg, space).c_str(), h) && parse_num(space + 1, id);
}

void cmd_press(const char* arg) {
  unsigned long long h, id;
  if (!parse_window_control(arg, h, id)) return reply("err bad argument");
  HWND target = to_hwnd(h);
  HWND button = GetDlgItem(target, static_cast<int>(id));
  WPARAM wp = MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED);
  if (!PostMessageA(target, WM_COMMAND, wp, reinterpret_cast<LPARAM>(button))) return reply("err post failed");
  reply("ok");
}

void cmd_checked(const char* arg) {
  unsigned long long h, id;
  if (!parse_window_control(arg, h, id)) return reply("err bad argument");
  reply(IsDlgButtonChecked(to_hwnd(h), static_cast<int>(id)) == BST_CHECKED ? "ok 1" : "ok 0");
}

BOOL CALLBACK find_rich_edit(HWND child, LPARAM param) {
  char cls[256];
  if (!GetClassNameA(child, cls, sizeof cls) || _strnicmp(cls, "RichEdit", 8) != 0) return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

// The text of the first rich edit control in a window (the help viewer's page),
// asked for with a time limit
void cmd_rich_text(const char* arg) {
  unsigned long long h;
  if (!parse_num(arg, h)) return reply("err bad argument");
  HWND edit = nullptr;
  EnumChildWindows(to_hwnd(h), find_rich_edit, reinterpret_cast<LPARAM>(&edit));
  if (!edit) return reply("err no rich edit");
  std::vector<char> text(65536);
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &length))
    return reply("err no answer");
  text[std::min<size_t>(length, text.size() - 1)] = '\0';
  reply("ok " + escape(text.data()));
}

void cmd_focus() {
  if (!need_main()) return;
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(g_main, nullptr), &info)) return reply("err no thread info");
  HWND f = info.hwndFocus;
  char buf[64];
  if (!f) return reply("ok none");
  if (f == g_main) return reply("ok main");
  if (IsChild(g_main, f)) {
    // Report the control of main that holds the focus, not an inner part of it
    while (GetParent(f) != g_main) f = GetParent(f);
    snprintf(buf, sizeof buf, "ok %d", GetDlgCtrlID(f));
  } else {
    snprintf(buf, sizeof buf, "ok other %llu", from_hwnd(f));
  }
  reply(buf);
}

void cmd_center(const char* arg) {
  unsigned long long id;
  if (!parse_num(arg, id)) return reply("err bad argument");
  if (!need_main()) return;
  HWND h = id ? GetDlgItem(g_main, static_cast<int>(id)) : g_main;
  RECT r;
  if (!h || !GetWindowRect(h, &r)) return reply("err no control");
  char buf[64];
  snprintf(buf, sizeof buf, "ok %ld %ld", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  reply(buf);
}

bool open_clipboard() {
  for (int i = 0; i < 200; ++i) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(10);
  }
  return false;
}

void cmd_clip_get() {
  if (!open_clipboard()) return reply("err clipboard busy");
  HANDLE data = GetClipboardData(CF_TEXT);
  const unsigned char* p = data ? static_cast<const unsigned char*>(GlobalLock(data)) : nullptr;
  if (!p) {
    CloseClipboard();
    return reply("ok none");
  }
  size_t size = GlobalSize(data);
  const void* nul = memchr(p, 0, size);
  size_t n = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - p) : size;
  std::string out = "ok " + to_hex(p, n);
  GlobalUnlock(data);
  CloseClipboard();
  reply(out);
}

void cmd_clip_clear() {
  if (!open_clipboard()) return reply("err clipboard busy");
  EmptyClipboard();
  CloseClipboard();
  reply("ok");
}

void cmd_clip_set(const char* arg, bool terminated) {
  std::vector<unsigned char> bytes;
  if (!from_hex(arg, bytes)) return reply("err bad hex");
  if (terminated) bytes.push_back(0);
  // Wine refuses an empty block, and writes a 0 over the last byte of any other
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!mem) return reply("err out of memory");
  if (!bytes.empty()) {
    memcpy(GlobalLock(mem), bytes.data(), bytes.size());
    GlobalUnlock(mem);
  }
  if (!open_clipboard()) {
    GlobalFree(mem);
    return reply("err clipboard busy");
  }
  EmptyClipboard();
  bool done = SetClipboardData(CF_TEXT, mem) != nullptr;
  CloseClipboard();
  if (!done) {
    GlobalFree(mem);
    return reply(bytes.empty() ? "err empty block refused" : "err set failed");
  }
  reply("ok");
}

void cmd_reg_get() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSoundKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return reply("ok missing");
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
  std::vector<unsigned char> data(size + 1);
  if (rc == ERROR_SUCCESS) rc = RegQueryValueExA(key, nullptr, nullptr, &type, data.data(), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return reply("ok missing");
  char head[32];
  snprintf(head, sizeof head, "ok %lu ", static_cast<unsigned long>(type));
  reply(head + to_hex(data.data(), size));
}

void cmd_reg_set(const char* arg) {
  unsigned long long type;
  char type_text[16];
  const char* space = strchr(arg, ' ');
  const char* hex = space ? space + 1 : "";
  size_t len = space ? static_cast<size_t>(space - arg) : strlen(arg);
  if (len >= sizeof type_text) return reply("err bad argument");
  memcpy(type_text, arg, len);
  type_text[len] = '\0';
  std::vector<unsigned char> bytes;
  if (!parse_num(type_text, type) || !from_hex(hex, bytes)) return reply("err bad argument");
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSoundKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return reply("err create failed");
  LONG rc = RegSetValueExA(key, nullptr, 0, static_cast<DWORD>(type), bytes.data(), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  reply(rc == ERROR_SUCCESS ? "ok" : "err set failed");
}

bool write_bmp(const char* path, HDC dc, HBITMAP bmp, int w, int h) {
  BITMAPINFO bi;
  memset(&bi, 0, sizeof bi);
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  DWORD image = stride * static_cast<DWORD>(h);
  std::vector<unsigned char> pixels(image);
  if (!GetDIBits(dc, bmp, 0, static_cast<UINT>(h), pixels.data(), &bi, DIB_RGB_COLORS)) return false;
  BITMAPFILEHEADER fh;
  memset(&fh, 0, sizeof fh);
  fh.bfType = 0x4d42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + image;
  bi.bmiHeader.biSizeImage = image;
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  bool ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
            fwrite(pixels.data(), 1, image, f) == image;
  return fclose(f) == 0 && ok;
}

// Copied from the screen, so whatever lies on top of the window is in the
// picture too; under wine PrintWindow of another process's window is all black.
void cmd_shot(const char* path) {
  if (!need_main()) return;
  RECT r;
  GetWindowRect(g_main, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return reply("err empty window");
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BOOL copied = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  bool written = copied && write_bmp(path, mem, bmp, w, h);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (!written) return reply("err capture failed");
  char buf[64];
  snprintf(buf, sizeof buf, "ok %d %d", w, h);
  reply(buf);
}

// The DLLs a process has loaded, lower case, TAB-separated
void cmd_modules(const char* arg) {
  unsigned long long pid;
  if (!parse_num(arg, pid)) return reply("err bad argument");
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, static_cast<DWORD>(pid));
  if (snap == INVALID_HANDLE_VALUE) return reply("err no snapshot");
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  std::string out = "ok";
  for (BOOL more = Module32First(snap, &entry); more; more = Module32Next(snap, &entry)) {
    CharLowerA(entry.szModule);
    out += '\t';
    out += entry.szModule;
  }
  CloseHandle(snap);
  reply(out);
}

// One line of any length; false at the end of input
bool read_line(std::string& line) {
  line.clear();
  char chunk[65536];
  while (fgets(chunk, sizeof chunk, stdin)) {
    line += chunk;
    if (!line.empty() && line.back() == '\n') break;
  }
  if (line.empty()) return false;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

}  // namespace

int main() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::string line;
  while (read_line(line)) {
    const char* space = strchr(line.c_str(), ' ');
    std::string name = space ? line.substr(0, static_cast<size_t>(space - line.c_str())) : line;
    const char* arg = space ? space + 1 : "";
    if (name == "wait-window") cmd_wait_window(arg);
    else if (name == "lines") cmd_lines();
    else if (name == "windows") cmd_windows();
    else if (name == "press") cmd_press(arg);
    else if (name == "checked") cmd_checked(arg);
    else if (name == "rich-text") cmd_rich_text(arg);
    else if (name == "focus") cmd_focus();
    else if (name == "center") cmd_center(arg);
    else if (name == "clip-get") cmd_clip_get();
    else if (name == "clip-set") cmd_clip_set(arg, true);
    else if (name == "clip-set-raw") cmd_clip_set(arg, false);
    else if (name == "clip-clear") cmd_clip_clear();
    else if (name == "reg-get") cmd_reg_get();
    else if (name == "reg-set") cmd_reg_set(arg);
    else if (name == "shot") cmd_shot(arg);
    else if (name == "modules") cmd_modules(arg);
    else if (bench_command(name, arg)) {}
    else if (name == "quit") {
      reply("ok");
      return 0;
    } else {
      reply("err unknown command");
    }
  }
  return 0;
}
