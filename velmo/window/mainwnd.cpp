/* The main window: buttons and accelerator keys arrive here as commands and
   go to the calculator, or to the few commands of the window itself */
#include <windows.h>
#include "globals.h"
#include "resource.h"
#include "tavlib.h"
#include "velmo.h"
#include "window.h"

static int IsCalculatorCommand(UINT code)
{
    switch (code) {
    case CMD_BACK: case CMD_ENTER: case CMD_MULT: case CMD_ADD: case CMD_SQUARE:
        return 1;
    }
    return (code >= CMD_SUB && code <= CMD_DIGIT + 9) || (code >= CMD_RAISE && code <= CMD_SWAP);
}

static void RunDialog(const char *name, DLGPROC procedure)
{
    FATAL_CHECK(DialogBoxParamA(instance, name, mainWindow, procedure, 0) == -1, IDS_NO_DIALOG);
}

static void ExitProgram(void)
{
    CloseHelp();
    PostQuitMessage(0);
}

/* Stores the Sound setting only when the dialog changed it */
static void ChooseSound(void)
{
    int before = soundOn;

    RunDialog("DIAL_SOUND", SoundDlgProc);
    if (soundOn == before)
        return;
    if (!SaveSetting(soundKeyName, soundOn ? "1" : "0"))
        ShowMessage(mainWindow, IDS_REG_ERROR, 0);
}

static LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    UINT code = LOWORD(wParam);

    /* No button keeps the focus: the keys must reach the accelerators */
    SetFocus(mainWindow);
    if (IsCalculatorCommand(code)) {
        calculator.HandleKey(code);
        return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
    switch (code) {
    case CMD_HELP:
        OpenHelp();
        return 0;
    case CMD_ABOUT:
        RunDialog("DIAL_ABOUT", AboutDlgProc);
        return 0;
    case CMD_EXIT:
        ExitProgram();
        return 0;
    case CMD_SOUND:
        ChooseSound();
        return 0;
    case CMD_PASTE:
        PasteFromClipboard();
        return 0;
    }
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    char helpFile[TEXT_SIZE];

    /* Messages sent while the template is built come before CreateDialogParamA returns */
    if (!mainWindow)
        mainWindow = window;
    switch (message) {
    case WM_CREATE:
        LoadText(IDS_HELP_FILE, helpFile, sizeof(helpFile));
        BuildHelpPath(helpFile, helpPath);
        return 0;
    case WM_DESTROY:
        CloseHelp();
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
