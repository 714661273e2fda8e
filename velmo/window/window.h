/* The main window and the Sound dialog. */
#ifndef VELMO_WINDOW_H
#define VELMO_WINDOW_H

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SoundDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
