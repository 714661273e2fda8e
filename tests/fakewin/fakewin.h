/* The state behind the host stand-in for Win32, for tests to set up and inspect. */
#ifndef VELMO_FAKEWIN_H
#define VELMO_FAKEWIN_H

#include <windows.h>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake {

/* The calls a test can make fail */
enum Call
{
    OPEN_CLIPBOARD, EMPTY_CLIPBOARD, GET_CLIPBOARD_DATA, SET_CLIPBOARD_DATA,
    GLOBAL_ALLOC, GLOBAL_LOCK,
    REG_CREATE_KEY, REG_OPEN_KEY, REG_QUERY_VALUE, REG_SET_VALUE, REG_CLOSE_KEY,
    DIALOG_BOX, WIN_HELP,
    WRITE_PROFILE, GET_PROFILE,
    LOAD_LIBRARY, GET_PROC_ADDRESS,
    CALL_COUNT
};

struct Box
{
    HWND owner;
    std::string caption, text;
    UINT flags;
};

struct RegValue
{
    DWORD type;
    std::string data;   /* the stored bytes, terminator included for REG_SZ */
};

struct World
{
    std::map<int, std::string> controls;    /* window texts by control ID */
    int textWrites = 0;                     /* SetDlgItemTextA calls */
    int lineWidth = 198;                    /* client width of the X line */
    std::vector<std::string> events;        /* "sound:add.wav", "beep", "box:Overflow",
                                               "help:3:C:\\path", "quit:0", "default:273" */
    std::vector<Box> boxes;
    std::function<void(const Box &)> onBox; /* runs while a box is open */
    std::function<void()> onBeep;
    bool echoBoxes = false;                 /* boxes also to stderr, for death tests */
    LRESULT (*windowProc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
    DWORD version = 0x23F00206;             /* Windows NT 6.2 */
    int openDCs = 0;
    HWND focus = nullptr;
    std::string modulePath = "C:\\Program Files\\VELMO 2\\VELMO.EXE";
    /* Runs a modal dialog: the test plays the user on the dialog procedure */
    std::function<void(const std::string &name, DLGPROC procedure)> onDialog;
    int checkedRadio = 0;                   /* from CheckRadioButton */
    std::vector<std::string> loaded;        /* LoadLibraryA paths, in order */
    std::function<void(unsigned)> onExit;   /* ExitProcess, which must not return */
    bool created = false;                   /* the main window had WM_CREATE */
    int calls[CALL_COUNT] = {};
    int failNth[CALL_COUNT] = {};           /* 0 never, n the n-th call, -1 every call */
    bool clipboardOpen = false;
    HGLOBAL clipboardText = nullptr;
    std::map<std::string, std::map<std::string, RegValue>> registry;  /* lower-case key paths */
    int openKeys = 0;
    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> profiles;
};

extern World world;

void Reset();
HWND MainWindow();
HWND DialogWindow();                    /* the open modal dialog */
const char *StringText(UINT id);        /* the string table as the program has it */
int TextWidth(const char *text);        /* pixel width in the window's default font */

void Fail(Call call, int nth = -1);

std::string ClipboardText();            /* "" when there is no CF_TEXT */
void PutClipboardBytes(const std::string &bytes);   /* exactly these bytes, no terminator added */
int LiveBlocks();                       /* memory blocks neither freed nor on the clipboard */

const RegValue *FindRegValue(const std::string &path, const std::string &name = "");
void PutRegValue(const std::string &path, DWORD type, const std::string &data);

}

#endif
