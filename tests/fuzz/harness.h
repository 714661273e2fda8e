/* A calculator session on the Win32 stand-in for the fuzz targets: every
   command runs through Step, which checks the calculator's state after it
   and aborts on the first broken rule. */
#ifndef VELMO_FUZZ_HARNESS_H
#define VELMO_FUZZ_HARNESS_H

#include <stddef.h>
#include <string>

/* A fresh stand-in and calculator: nothing is left over from the last input */
void NewSession(int sound, int lineWidth);

/* Runs one calculator command through HandleKey and checks the outcome */
void Step(unsigned code);

/* Puts bytes on the clipboard (no CF_TEXT when absent), pastes them through
   the main window, then pastes them again from the same starting state by
   reading the clipboard and stepping each byte; both must end alike */
void PasteChecked(const std::string &bytes, bool absent);

/* Aborts with a message when cond is false */
#define REQUIRE(cond) ((cond) ? (void)0 : Broken(#cond, __FILE__, __LINE__))
[[noreturn]] void Broken(const char *what, const char *file, int line);

#endif
