/* The Sound dialog: a radio button switches sound at once; the setting is
   stored by the main window once the dialog has closed */
#include <windows.h>
#include "globals.h"
#include "resource.h"
#include "velmo.h"
#include "window.h"

INT_PTR CALLBACK SoundDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioButton(dialog, IDC_SOUND_ON, IDC_SOUND_OFF,
                         soundOn ? IDC_SOUND_ON : IDC_SOUND_OFF);
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OK:
            EndDialog(dialog, 0);
            return 1;
        case IDC_SOUND_ON:
            soundOn = 1;
            break;
        case IDC_SOUND_OFF:
            soundOn = 0;
            break;
        }
        return 0;
    }
    return 0;
}
