/* The floor for VELMO.exe's start-up: a program of ours that registers a
   class and shows one empty window, built as VELMO.exe is built (its own
   entry point, no C runtime) and started by the same driver the same way. */
#include <windows.h>

static LRESULT CALLBACK BareWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup(void)
{
    WNDCLASSA windowClass = {};
    HWND window;
    MSG message;

    windowClass.lpfnWndProc = BareWndProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "Bare window";
    RegisterClassA(&windowClass);
    window = CreateWindowA("Bare window", "Bare window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, 0,
                           240, 320, NULL, NULL, windowClass.hInstance, NULL);
    ShowWindow(window, SW_SHOWDEFAULT);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ExitProcess((UINT)message.wParam);
}
