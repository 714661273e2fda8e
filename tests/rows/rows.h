/* Cases as rows of a small key language, run through the main window on the
   Win32 stand-in, with the calculator's rules checked after every key. The
   language: docs/rows.md. */
#ifndef VELMO_ROWS_H
#define VELMO_ROWS_H

#include <string>

/* Runs one row; returns what went wrong, or "" */
std::string RunRow(const std::string &row);

/* The fuzz target's way in: keys with the rules checked and no expectations,
   with these bytes on the clipboard (none when empty) and as the stored
   Sound setting (none when empty) */
std::string RunKeys(int sound, int width, const std::string &clip, const std::string &stored,
                    const std::string &keys);

#endif
