/* The About box: only OK, Escape or Close end it */
#include <windows.h>
#include "resource.h"
#include "tavlib.h"

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return 1;
    case WM_COMMAND:
        if (wParam == IDC_OK) {
            EndDialog(dialog, 0);
            return 1;
        }
        return 0;
    }
    return 0;
}
