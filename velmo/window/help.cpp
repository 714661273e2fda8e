/* The help: VELMO.HLP in the WinHelp viewer before Windows Vista, from Vista
   on, which has no WinHelp viewer, VELMO.chm beside it in HTML Help */
#include <windows.h>
#include <string.h>
#include "globals.h"
#include "resource.h"
#include "tavlib.h"
#include "window.h"

#define HH_DISPLAY_TOC  0x0001
#define HH_CLOSE_ALL    0x0012

typedef HWND (WINAPI *HtmlHelpProc)(HWND caller, LPCSTR file, UINT command, UINT_PTR data);

/* hhctrl.ocx is loaded by the first Help */
static SystemProc htmlHelp = {"hhctrl.ocx", "HtmlHelpA", NULL, 0, NULL};

static HtmlHelpProc HtmlHelp(void)
{
    return (HtmlHelpProc)(void (*)(void))htmlHelp.proc;
}

void OpenHelp(void)
{
    char chmPath[HELP_PATH_SIZE];
    int opened;

    if (HasWinHelp()) {
        opened = WinHelpA(mainWindow, helpPath, HELP_INDEX, 0);
    } else {
        /* helpPath with the extension .chm: as long, so it fits */
        strcpy(chmPath, helpPath);
        strcpy(strrchr(chmPath, '.'), ".chm");
        opened = LoadSystemProc(&htmlHelp) && HtmlHelp()(mainWindow, chmPath, HH_DISPLAY_TOC, 0);
    }
    if (!opened)
        ShowMessage(mainWindow, IDS_HELP_ERROR, 0);
}

void CloseHelp(void)
{
    if (HasWinHelp())
        WinHelpA(mainWindow, helpPath, HELP_QUIT, 0);
    else if (HtmlHelp())
        HtmlHelp()(NULL, NULL, HH_CLOSE_ALL, 0);
}

void ForgetHelpLibrary(void)
{
    htmlHelp.tried = 0;
    htmlHelp.proc = NULL;
}
