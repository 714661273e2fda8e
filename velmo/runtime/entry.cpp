/* Where Windows starts the program, in place of a C runtime's start-up code:
   sets the math unit, runs the constructors of static objects, hands WinMain the show command
   and the command line's arguments, and ends the process with WinMain's
   exit code. No thread-local storage, exception filter or runtime DLL. */
#include <windows.h>
#include "fpu.h"

typedef void (*Constructor)(void);

/* Laid out by the linker: -1, the constructors, 0 */
extern "C" Constructor __CTOR_LIST__[];

static void RunConstructors(void)
{
    int n = 0;

    while (__CTOR_LIST__[n + 1])
        n++;
    /* In the order the C runtime runs them: the last listed first */
    for (; n > 0; n--)
        __CTOR_LIST__[n]();
}

/* The command line after the program's own name */
static LPSTR Arguments(void)
{
    LPSTR p = GetCommandLineA();
    int quoted = 0;

    for (; *p && (quoted || (*p != ' ' && *p != '\t')); p++)
        if (*p == '"')
            quoted = !quoted;
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

/* Windows may start a 32-bit program with its stack aligned to 4 bytes */
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup(void)
{
    STARTUPINFOA startup = {};
    int show;

    SetMathUnit();
    RunConstructors();
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, Arguments(), show));
}
