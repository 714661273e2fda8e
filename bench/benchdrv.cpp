// velmodrv's timing commands for bench/e2e_bench.py. All timing is taken
// here, in the driver's own process, with QueryPerformanceCounter, so that
// the pipe to Python is never inside a measured interval.
//
//   bench-run HWND FILE    runs the steps of FILE against the main window;
//                          "ok N t1 ... tN": microseconds of the timed steps
//   bench-launch KIND EXE  starts EXE ("velmo", "bare" or "notepad") and times it up
//                          to its window showing; "ok us peak-bytes", then
//                          closes it
//   bench-memory PID       "ok peak-working-set working-set" in bytes
//
// A step is one line, fields separated by TAB:
//   t CODE X Y Z T   post command CODE, wait until the four lines read X Y Z T, time it
//   w CODE X Y Z T   the same, not timed
//   n CODE           post and go on
//   c HEX            put the text HEX on the clipboard
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "benchdrv.h"

namespace {

const DWORD kStepTimeoutMs = 10000;

void answer(const std::string& text) {
  fputs(text.c_str(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

// The text wine keeps for the window; no message is sent to its thread
std::string text_of(HWND h) {
  wchar_t wide[128];
  char out[128];
  int n = InternalGetWindowText(h, wide, 128);
  if (n <= 0) return std::string();
  n = WideCharToMultiByte(CP_ACP, 0, wide, n, out, sizeof out, nullptr, nullptr);
  return std::string(out, static_cast<size_t>(n > 0 ? n : 0));
}

double now_us() {
  static LARGE_INTEGER frequency;
  LARGE_INTEGER t;
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == sep) out.emplace_back();
    else out.back() += c;
  }
  return out;
}

bool set_clipboard(const std::string& hex) {
  std::string text;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) text += static_cast<char>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!mem) return false;
  memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
  GlobalUnlock(mem);
  for (int i = 0; i < 200 && !OpenClipboard(nullptr); ++i) Sleep(10);
  EmptyClipboard();
  bool done = SetClipboardData(CF_TEXT, mem) != nullptr;
  CloseClipboard();
  if (!done) GlobalFree(mem);
  return done;
}

// X first: most steps change it last or alone, so the other three are read
// only when it already matches
bool lines_match(HWND lines[4], const std::vector<std::string>& fields) {
  if (text_of(lines[0]) != fields[2]) return false;
  for (int i = 1; i < 4; ++i)
    if (text_of(lines[i]) != fields[2 + i]) return false;
  return true;
}

void bench_run(const char* arg) {
  char* end = nullptr;
  HWND main = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(arg, &end, 10)));
  if (!end || *end != ' ' || !IsWindow(main)) return answer("err bad window");
  FILE* f = fopen(end + 1, "rb");
  if (!f) return answer("err cannot open steps");
  std::vector<std::string> steps;
  char buf[4096];
  while (fgets(buf, sizeof buf, f)) {
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) steps.push_back(line);
  }
  fclose(f);

  HWND lines[4];
  for (int i = 0; i < 4; ++i) lines[i] = GetDlgItem(main, 190 + i);
  std::string out;
  int timed = 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    std::vector<std::string> fields = split(steps[i], '\t');
    char kind = fields[0].empty() ? '?' : fields[0][0];
    if (kind == 'c') {
      if (fields.size() != 2 || !set_clipboard(fields[1])) return answer("err clipboard at step " + std::to_string(i + 1));
      continue;
    }
    bool waits = kind == 't' || kind == 'w';
    if ((kind != 'n' && !waits) || fields.size() != (waits ? 6u : 2u))
      return answer("err bad step " + std::to_string(i + 1));
    WPARAM code = static_cast<WPARAM>(strtoul(fields[1].c_str(), nullptr, 10));
    double start = now_us();
    if (!PostMessageA(main, WM_COMMAND, MAKEWPARAM(code, 1), 0)) return answer("err post failed");
    if (!waits) continue;
    DWORD began = GetTickCount();
    while (!lines_match(lines, fields)) {
      Sleep(0);  // on a small machine the spin must not keep the program from running
      if (GetTickCount() - began > kStepTimeoutMs) {
        std::string seen;
        for (HWND h : lines) seen += " [" + text_of(h) + "]";
        return answer("err step " + std::to_string(i + 1) + " timed out; lines" + seen);
      }
    }
    double us = now_us() - start;
    if (kind == 't') {
      char t[32];
      snprintf(t, sizeof t, " %.1f", us);
      out += t;
      ++timed;
    }
  }
  answer("ok " + std::to_string(timed) + out);
}

struct Found {
  DWORD pid;
  const char* cls;
  HWND window;
};

BOOL CALLBACK find_shown(HWND h, LPARAM param) {
  Found& found = *reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  char cls[64];
  GetWindowThreadProcessId(h, &pid);
  if (pid != found.pid || !IsWindowVisible(h) || !GetClassNameA(h, cls, sizeof cls) || strcmp(cls, found.cls) != 0)
    return TRUE;
  found.window = h;
  return FALSE;
}

// VELMO counts as shown when its four display lines exist and read empty
bool velmo_ready(HWND h) {
  for (int id = 190; id < 194; ++id) {
    HWND line = GetDlgItem(h, id);
    if (!line || !text_of(line).empty()) return false;
  }
  return true;
}

bool peak_memory(HANDLE process, PROCESS_MEMORY_COUNTERS& counters) {
  memset(&counters, 0, sizeof counters);
  counters.cb = sizeof counters;
  return K32GetProcessMemoryInfo(process, &counters, sizeof counters) != 0;
}

void bench_launch(const char* arg) {
  const char* space = strchr(arg, ' ');
  if (!space) return answer("err bad argument");
  std::string kind(arg, space), exe(space + 1);
  bool velmo = kind == "velmo";
  const char* cls = velmo ? "VELMO 2" : kind == "bare" ? "Bare window" : kind == "notepad" ? "Notepad" : nullptr;
  if (!cls) return answer("err bad kind");
  std::string dir = exe.substr(0, exe.find_last_of('\\') == std::string::npos ? 0 : exe.find_last_of('\\'));
  std::string command = "\"" + exe + "\"";
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  double start = now_us();
  if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.empty() ? nullptr : dir.c_str(),
                      &si, &pi))
    return answer("err cannot start");
  Found found = {pi.dwProcessId, cls, nullptr};
  DWORD began = GetTickCount();
  double us = 0;
  for (;;) {
    found.window = nullptr;
    EnumWindows(find_shown, reinterpret_cast<LPARAM>(&found));
    if (found.window && (!velmo || velmo_ready(found.window))) {
      us = now_us() - start;
      break;
    }
    if (GetTickCount() - began > 30000) break;
    Sleep(1);
  }
  PROCESS_MEMORY_COUNTERS counters;
  bool measured = found.window && peak_memory(pi.hProcess, counters);
  if (found.window) PostMessageA(found.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (!found.window) return answer("err window never showed");
  char buf[64];
  snprintf(buf, sizeof buf, "ok %.1f %llu", us,
           measured ? static_cast<unsigned long long>(counters.PeakWorkingSetSize) : 0ULL);
  answer(buf);
}

void bench_memory(const char* arg) {
  DWORD pid = static_cast<DWORD>(strtoul(arg, nullptr, 10));
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return answer("err cannot open process");
  PROCESS_MEMORY_COUNTERS counters;
  bool measured = peak_memory(process, counters);
  CloseHandle(process);
  if (!measured) return answer("err no memory counters");
  char buf[64];
  snprintf(buf, sizeof buf, "ok %llu %llu", static_cast<unsigned long long>(counters.PeakWorkingSetSize),
           static_cast<unsigned long long>(counters.WorkingSetSize));
  answer(buf);
}

}  // namespace

bool bench_command(const std::string& name, const char* arg) {
  if (name == "bench-run") bench_run(arg);
  else if (name == "bench-launch") bench_launch(arg);
  else if (name == "bench-memory") bench_memory(arg);
  else return false;
  return true;
}
