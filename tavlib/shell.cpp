/* The help file's path, the Windows version tests, system DLLs and the
   window background */
#include <windows.h>
#include <string.h>
#include "resource.h"
#include "tavlib.h"

#define MODULE_PATH_SIZE 1025

void BuildHelpPath(const char *fileName, char *out)
{
    char moduleName[TEXT_SIZE], path[MODULE_PATH_SIZE];
    char *slash;

    LoadText(IDS_MODULE_NAME, moduleName, sizeof(moduleName));
    path[0] = 0;
    /* Under another file name the handle is null: the running program's path all the same */
    GetModuleFileNameA(GetModuleHandleA(moduleName), path, sizeof(path));
    path[sizeof(path) - 1] = 0;
    slash = strrchr(path, '\\');
    FATAL_CHECK(slash == NULL, IDS_FATAL_CAPTION);
    slash[1] = 0;
    FATAL_CHECK(strlen(path) + strlen(fileName) >= HELP_PATH_SIZE, IDS_FATAL_CAPTION);
    strcpy(out, path);
    strcat(out, fileName);
}

static int MajorVersion(void)
{
    return LOBYTE(LOWORD(GetVersion()));
}

int IsNewShell(void)
{
    return MajorVersion() > 3;
}

int HasWinHelp(void)
{
    return MajorVersion() < 6;
}

/* Only the system directory: the program's own folder may hold anything */
FARPROC LoadSystemProc(SystemProc *p)
{
    char path[MAX_PATH + 32];
    const char *folder;
    UINT n;
    HMODULE module;

    if (p->tried)
        return p->proc;
    p->tried = 1;
    folder = p->win32s && IsWin32s() ? p->win32s : NULL;
    n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || (folder ? strlen(folder) + 1 : 0) + strlen(p->library) + 2 > sizeof(path) - n)
        return NULL;
    if (folder) {
        path[n] = '\\';
        strcpy(path + n + 1, folder);
        n += (UINT)strlen(folder) + 1;
    }
    path[n] = '\\';
    strcpy(path + n + 1, p->library);
    module = LoadLibraryA(path);
    if (module)
        p->proc = GetProcAddress(module, p->name);
    return p->proc;
}

HBRUSH BackgroundBrush(void)
{
    if (IsNewShell())
        return (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    return (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1);
}
