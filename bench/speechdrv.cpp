// velmodrv's commands for bench/speech_bench.py, which lays the times of the
// driver's clock (QueryPerformanceCounter, in microseconds) beside a recording
// of the program's sound.
//
//   clock                   "ok US": now
//   post-timed HWND CODE    posts command CODE to the main window, as an
//                           accelerator does; "ok US" of the post
//   play-timed FILE         plays the wave file FILE with sndPlaySoundA and
//                           waits until it has played; "ok US" of the call
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "speechdrv.h"

namespace {

typedef BOOL(WINAPI* PlayProc)(LPCSTR name, UINT flags);

double clock_us() {
  LARGE_INTEGER t, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

void answer_time(double us) {
  printf("ok %.1f\n", us);
  fflush(stdout);
}

void answer(const char* text) {
  printf("%s\n", text);
  fflush(stdout);
}

void post_timed(const char* arg) {
  char* end = nullptr;
  HWND main = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(arg, &end, 10)));
  WPARAM code = static_cast<WPARAM>(strtoul(end, nullptr, 10));
  double us = clock_us();
  if (!PostMessageA(main, WM_COMMAND, MAKEWPARAM(code, 1), 0)) return answer("err post failed");
  answer_time(us);
}

// WINMM is loaded before the clock is read: the time is that of the call alone
void play_timed(const char* file) {
  static PlayProc play = nullptr;
  if (!play) {
    HMODULE winmm = LoadLibraryA("winmm.dll");
    play = winmm ? reinterpret_cast<PlayProc>(reinterpret_cast<void (*)(void)>(GetProcAddress(winmm, "sndPlaySoundA"))) : nullptr;
    if (!play) return answer("err no sndPlaySoundA");
  }
  double us = clock_us();
  if (!play(file, SND_SYNC | SND_NODEFAULT)) return answer("err not played");
  answer_time(us);
}

}  // namespace

bool speech_command(const std::string& name, const char* arg) {
  if (name == "clock") answer_time(clock_us());
  else if (name == "post-timed") post_timed(arg);
  else if (name == "play-timed") play_timed(arg);
  else return false;
  return true;
}
