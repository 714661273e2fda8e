// velmodrv's screenshot command for the run command (tests/support/screenshot.py):
//   shot [HWND] PATH   the main window, or window HWND, as on the screen, with
//                      whatever lies on top of it, as a 24-bit BMP file;
//                      "ok WIDTH HEIGHT"
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "shotdrv.h"

// Copied from the screen: under wine PrintWindow of another process's window is black
bool shot_command(const std::string& name, const char* path, HWND main) {
  RECT r;
  if (name != "shot" || !main) return false;
  if (*path >= '0' && *path <= '9') {
    char* end;
    main = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(path, &end, 10)));
    path = end + 1;
  }
  GetWindowRect(main, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFO bi = {};
  bi.bmiHeader = {sizeof bi.bmiHeader, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<char> pixels(static_cast<size_t>((w * 3 + 3) & ~3) * h);
  GetDIBits(mem, bmp, 0, h, pixels.data(), &bi, DIB_RGB_COLORS);
  BITMAPFILEHEADER fh = {0x4d42, 0, 0, 0, sizeof fh + sizeof bi.bmiHeader};
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = fopen(path, "wb");
  bool written = f && fwrite(&fh, sizeof fh, 1, f) && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) &&
                 fwrite(pixels.data(), pixels.size(), 1, f);
  if (f) fclose(f);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  printf("%s\n", written ? ("ok " + std::to_string(w) + " " + std::to_string(h)).c_str() : "err capture failed");
  fflush(stdout);
  return true;
}

