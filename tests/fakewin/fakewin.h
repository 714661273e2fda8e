/* The state behind the host stand-in for Win32, for tests to set up and inspect. */
#ifndef VELMO_FAKEWIN_H
#define VELMO_FAKEWIN_H

#include <windows.h>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct Box
{
    HWND owner;
    std::string caption, text;
    UINT flags;
};

struct Block
{
    std::string bytes;
    int locks;
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
    std::vector<std::string> events;        /* "sound:0:add.wav" (its flags, its file), "beep", "box:Overflow",
                                               "timer", "help:3:C:\\path", "htmlhelp:1:C:\\path", "quit:0",
                                               "dialog:DIAL_SOUND", "end:0", "default:273" */
    std::vector<Box> boxes;
    std::function<void()> onBox, onBeep;    /* run while a box is open, as a beep sounds */
    std::function<void(unsigned)> onExit;   /* ExitProcess; must not return */
    WNDPROC windowProc = nullptr;
    /* Runs a modal dialog: the test plays the user on its procedure */
    DLGPROC dialogProc = nullptr;
    std::function<void()> onDialog;
    DWORD version = 0x23F00206;             /* Windows NT 6.2 */
    std::string modulePath = "C:\\Program Files\\VELMO 2\\VELMO.EXE";
    HWND focus = nullptr;
    HGDIOBJ dcFont = nullptr;               /* the font selected into the DC */
    int openDCs = 0, openKeys = 0, checkedRadio = 0;
    bool created = false;                   /* the main window had WM_CREATE */
    std::vector<std::string> loaded;        /* LoadLibraryA paths, in order */
    std::map<std::string, int> calls, failNth;  /* by function name; nth 0 never, -1 always */
    bool clipboardOpen = false;
    Block *clipboardText = nullptr;
    std::set<Block *> blocks;               /* every live memory block */
    std::map<std::string, std::map<std::string, RegValue>> registry;  /* lower-case key paths */
    std::map<std::string, std::string> profile;     /* VELMO.INI's unnamed section */
    std::set<std::string> missing;          /* USER32 functions GetProcAddress does not find */
    WNDCLASSEXA windowClass = {};           /* the class registered, hIconSm null from RegisterClassA */
    HWND dcWindow = nullptr;                /* the window the open DC came from */
    std::string misuse;                     /* the first call given the wrong window or DC */
};

extern World world;

void Reset();
HWND MainWindow();
HWND DialogWindow();                    /* the open modal dialog */
HWND XLine();                           /* the main window's X line */
HINSTANCE Program();                    /* VELMO.EXE's module */
HICON Icon(int size);                   /* ICONX's image of that size; 32 from LoadIconA */
HCURSOR Arrow();
int SmallIconSize();                    /* SM_CXSMICON and SM_CYSMICON */
bool Win32s();                          /* what GetVersion says is Win32s */
std::string SystemDirectory();          /* GetSystemDirectoryA's: C:\WINDOWS\SYSTEM under Win32s */
std::string ClipboardText();            /* "" when there is no CF_TEXT */
void PutClipboardBytes(const std::string &bytes);   /* exactly these bytes, no terminator added */
const RegValue *FindRegValue(const std::string &path);
void PutRegValue(const std::string &path, DWORD type, const std::string &data);

}

#endif
