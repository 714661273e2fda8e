// velmodrv's commands for the speech benchmark (speechdrv.cpp)
#ifndef VELMO_SPEECHDRV_H
#define VELMO_SPEECHDRV_H

#include <string>

// Runs the command when it is one of the speech benchmark's; false otherwise
bool speech_command(const std::string& name, const char* arg);

#endif
