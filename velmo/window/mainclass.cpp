/* The main window's class. Windows 95 and NT 4 on give the title bar an
   image of its own size; Win32s and Windows NT 3.51 have neither
   RegisterClassExA nor LoadImageA, so those are looked up when the program
   starts, and without them, or when RegisterClassExA fails, the class is
   registered the older way. */
#include <windows.h>
#include "globals.h"
#include "window.h"

typedef ATOM (WINAPI *RegisterClassExProc)(const WNDCLASSEXA *windowClass);
typedef HANDLE (WINAPI *LoadImageProc)(HINSTANCE module, LPCSTR name, UINT type, int cx, int cy, UINT flags);

void RegisterMainClass(void)
{
    WNDCLASSA windowClass = {};
    HMODULE user = GetModuleHandleA("USER32");
    RegisterClassExProc registerEx = NULL;
    LoadImageProc loadImage = NULL;

    if (user) {
        registerEx = (RegisterClassExProc)(void (*)(void))GetProcAddress(user, "RegisterClassExA");
        loadImage = (LoadImageProc)(void (*)(void))GetProcAddress(user, "LoadImageA");
    }

    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;    /* a window built from a dialog template */
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "ICONX");
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = BackgroundBrush();
    windowClass.lpszClassName = className;
    if (registerEx && loadImage) {
        WNDCLASSEXA ex = {sizeof(ex), windowClass.style, windowClass.lpfnWndProc, 0, windowClass.cbWndExtra,
                          windowClass.hInstance, windowClass.hIcon, windowClass.hCursor,
                          windowClass.hbrBackground, NULL, windowClass.lpszClassName, NULL};

        /* The title bar's own small image, not the large one shrunk */
        ex.hIconSm = (HICON)loadImage(instance, "ICONX", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), 0);
        if (registerEx(&ex))
            return;
    }
    RegisterClassA(&windowClass);
}
