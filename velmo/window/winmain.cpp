/* Program entry: the window class, the Sound setting, the main window built
   from its template, and the message loop with the accelerators first */
#include <windows.h>
#include "globals.h"
#include "resource.h"
#include "tavlib.h"
#include "velmo.h"
#include "window.h"

/* The key messages the accelerator table is offered. Its Alt entries are
   typed characters, matched on WM_SYSCHAR: offered a key-down with Alt, the
   table would also match Alt+1 by its key code and eat the key, so that
   releasing Alt opens the system menu, and Alt+F4 would run "s" (F4 is key
   code 's'). The HTML Help window runs in this thread: its keys stay its own. */
static int IsCalculatorKey(const MSG *message)
{
    return message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST
           && message->message != WM_SYSKEYDOWN
           && (message->hwnd == mainWindow || IsChild(mainWindow, message->hwnd));
}

int WINAPI WinMain(HINSTANCE thisInstance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand)
{
    HACCEL accelerators;
    MSG message;

    (void)commandLine;
    instance = thisInstance;
    LoadText(IDS_CLASS_NAME, className, sizeof(className));
    if (!previousInstance)
        RegisterMainClass();
    accelerators = LoadAcceleratorsA(instance, "ACCELS");
    FATAL_CHECK(accelerators == NULL, IDS_NO_ACCELS);
    LoadText(IDS_SOUND_KEY, soundKeyName, sizeof(soundKeyName));
    soundOn = LoadIntSetting(soundKeyName, 0);

    mainWindow = CreateDialogParamA(instance, "DIAL_MAIN", NULL, NULL, 0);
    /* Without its window the program could only wait for ever */
    FATAL_CHECK(mainWindow == NULL, IDS_NO_DIALOG);
    ShowWindow(mainWindow, showCommand);

    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (!IsCalculatorKey(&message) || !TranslateAcceleratorA(mainWindow, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return (int)message.wParam;
}
