/* Host stand-in for the Win32 operations the calculator uses. The state
   behind it is reached through fakewin.h. */
#ifndef VELMO_FAKE_WINDOWS_H
#define VELMO_FAKE_WINDOWS_H

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint32_t DWORD, REGSAM, *LPDWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t WPARAM, UINT_PTR;
typedef intptr_t LPARAM, LRESULT, INT_PTR;
typedef size_t SIZE_T;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID, *HANDLE, *HGLOBAL, *HGDIOBJ;
typedef BYTE *LPBYTE;
typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE, *HMODULE;
typedef struct HDC__ *HDC;
typedef struct HKEY__ *HKEY;
typedef struct HBRUSH__ *HBRUSH;
typedef struct HFONT__ *HFONT;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*FARPROC)(void);
typedef struct SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

struct RECT { LONG left, top, right, bottom; };
struct SIZE { LONG cx, cy; };
typedef RECT *LPRECT;
typedef SIZE *LPSIZE;

#define WINAPI
#define CALLBACK
#define TRUE                1
#define FALSE               0
#define LOWORD(w)           ((unsigned short)((uintptr_t)(w) & 0xffff))
#define MAKEWPARAM(l, h)    ((WPARAM)(((DWORD)(l) & 0xffff) | ((DWORD)(h) << 16)))
#define LOBYTE(w)           ((BYTE)((uintptr_t)(w) & 0xff))

#define MAX_PATH            260
#define WM_CREATE           0x0001
#define WM_DESTROY          0x0002
#define WM_GETFONT          0x0031
#define WM_INITDIALOG       0x0110
#define HELP_QUIT           0x0002
#define HELP_INDEX          0x0003
#define LTGRAY_BRUSH        1
#define COLOR_WINDOW        5

#define WM_COMMAND          0x0111
#define MB_ICONEXCLAMATION  0x0030
#define MB_ICONINFORMATION  0x0040
#define MB_TASKMODAL        0x2000
#define IDOK                1
#define CF_TEXT             1
#define GMEM_MOVEABLE       0x0002
#define GMEM_ZEROINIT       0x0040

#define HKEY_CURRENT_USER   ((HKEY)(uintptr_t)0x80000001)
#define KEY_QUERY_VALUE     0x0001
#define KEY_ALL_ACCESS      0xF003F
#define REG_SZ              1
#define ERROR_SUCCESS       0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_MORE_DATA     234

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
BOOL SetDlgItemTextA(HWND window, int id, LPCSTR text);
HWND GetDlgItem(HWND window, int id);
BOOL GetClientRect(HWND window, LPRECT rect);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
BOOL GetTextExtentPointA(HDC dc, LPCSTR text, int length, LPSIZE size);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL MessageBeep(UINT type);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL KillTimer(HWND window, UINT_PTR id);
[[noreturn]] void ExitProcess(UINT code);

HWND SetFocus(HWND window);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int code);
BOOL WinHelpA(HWND window, LPCSTR file, UINT command, UINT_PTR data);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure,
                        LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL CheckRadioButton(HWND dialog, int first, int last, int checked);
HMODULE GetModuleHandleA(LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
HGDIOBJ GetStockObject(int object);
UINT GetSystemDirectoryA(LPSTR path, UINT size);
HMODULE LoadLibraryA(LPCSTR path);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

BOOL OpenClipboard(HWND owner);
BOOL EmptyClipboard(void);
HANDLE GetClipboardData(UINT format);
HANDLE SetClipboardData(UINT format, HANDLE data);
BOOL CloseClipboard(void);
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);

DWORD GetVersion(void);
LONG RegCreateKeyExA(HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass,
                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                     HKEY *key, LPDWORD disposition);
LONG RegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, HKEY *key);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                    const BYTE *data, DWORD size);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size);
LONG RegCloseKey(HKEY key);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR value, LPCSTR file);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR name, LPCSTR fallback,
                               LPSTR out, DWORD size, LPCSTR file);

#endif
