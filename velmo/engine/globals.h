/* The program globals, one of each for the life of the process. */
#ifndef VELMO_GLOBALS_H
#define VELMO_GLOBALS_H

#include <windows.h>
#include "rpnstack.h"
#include "tavlib.h"

/* Values of mathError */
#define MATH_NONE       0
#define MATH_OVERFLOWED 1
#define MATH_NUMERICAL  2

extern HINSTANCE instance;
extern HWND mainWindow;
extern int soundOn;
extern int mathError;
extern char className[TEXT_SIZE];
extern char soundKeyName[TEXT_SIZE];
extern char helpPath[HELP_PATH_SIZE];
extern RpnStack calculator;

#endif
