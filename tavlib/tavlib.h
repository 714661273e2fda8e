/* Support library: messages, fatal checks, clipboard writing and settings. */
#ifndef TAVLIB_H
#define TAVLIB_H

#include <windows.h>

#define TEXT_SIZE       81      /* loaded strings and control texts */
#define HELP_PATH_SIZE  1024

/* The program's module and its main window, set by the program */
extern HINSTANCE instance;
extern HWND mainWindow;

/* Loads string id into buffer (size bytes); an unknown id gives "". */
void LoadText(UINT id, char *buffer, int size);

/* Shows string id in an error box, under the fatal caption when fatal is 1. */
void ShowMessage(HWND owner, UINT id, int fatal);

/* Ends the program with message id and the source position when failed is
   non-zero. */
void FatalCheck(int failed, UINT id, const char *sourceFile, long line);
#define FATAL_CHECK(failed, id) FatalCheck((failed), (id), __FILE__, __LINE__)

void CopyTextToClipboard(const char *text);

int IsWin32s(void);
int SaveSetting(const char *name, const char *value);
void LoadSetting(const char *name, char *out);
int LoadIntSetting(const char *name, int fallback);

/* out = the running program's directory followed by fileName */
void BuildHelpPath(const char *fileName, char *out);
int IsNewShell(void);
/* Windows before Vista, which still has the WinHelp viewer */
int HasWinHelp(void);
HBRUSH BackgroundBrush(void);

/* A function of a system DLL, loaded from the system directory on first
   use and kept; proc is null when it could not be had. Clearing tried makes
   the next use load it again. win32s names the system directory's subfolder
   that holds the library under Win32s (its 32-bit WINMM is in WIN32S), or is
   null. */
struct SystemProc
{
    const char *library, *name, *win32s;
    int tried;
    FARPROC proc;
};
FARPROC LoadSystemProc(SystemProc *p);

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
