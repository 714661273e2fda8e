// velmodrv's timing commands (benchdrv.cpp)
#ifndef VELMO_BENCHDRV_H
#define VELMO_BENCHDRV_H

#include <string>

// Runs the command when it is one of the timing commands; false otherwise
bool bench_command(const std::string& name, const char* arg);

#endif
