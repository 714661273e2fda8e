// velmodrv's screenshot command (shotdrv.cpp)
#ifndef VELMO_SHOTDRV_H
#define VELMO_SHOTDRV_H

#include <windows.h>

#include <string>

// Runs the command when it is "shot" and the main window is known; false otherwise
bool shot_command(const std::string& name, const char* path, HWND main);

#endif
