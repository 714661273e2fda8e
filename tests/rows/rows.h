/* Cases as rows of a small key language, run through the main window on the
   Win32 stand-in, with the calculator's rules checked after every key. The
   language: docs/rows.md. */
#ifndef VELMO_ROWS_H
#define VELMO_ROWS_H

#include <string>

/* Runs one row; returns what went wrong, or "". LINES "*" are not compared. */
std::string RunRow(const std::string &row);

#endif
