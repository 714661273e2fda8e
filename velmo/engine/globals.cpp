#include "globals.h"

HINSTANCE instance;
HWND mainWindow;
int soundOn;
int mathError;
char className[TEXT_SIZE];
char soundKeyName[TEXT_SIZE];
char helpPath[HELP_PATH_SIZE];
RpnStack calculator;
