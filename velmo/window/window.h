/* The main window, the Sound dialog and the help. */
#ifndef VELMO_WINDOW_H
#define VELMO_WINDOW_H

#include <windows.h>

/* Registers the main window's class, with a small icon where Windows has one */
void RegisterMainClass(void);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SoundDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* Opens the help, or shows the help error; closes it again */
void OpenHelp(void);
void CloseHelp(void);
/* HTML Help is loaded by the first Help; this forgets it, so that the next
   Help loads it again */
void ForgetHelpLibrary(void);

#endif
