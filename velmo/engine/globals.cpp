#include "globals.h"

HINSTANCE instance;
HWND mainWindow;
int soundOn;
int mathError;
char className[TEXT_SIZE];
char soundKeyName[TEXT_SIZE];
char helpPath[HELP_PATH_SIZE];
/* Made by the compiler, not by code at start-up: the calculator exists,
   empty and finished, before the program's entry runs */
static_assert(RpnStack().top == STACK_SIZE && RpnStack().entryDone == 1, "the calculator is built at compile time");
RpnStack calculator;
