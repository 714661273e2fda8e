/* Cases as rows of a small key language, run through the main window on the
   Win32 stand-in, with the calculator's rules checked after every key.

     [option=value ...] KEYS => LINES [: EVENTS] [check=value ...] [e2e]

   KEYS, one command each: the digits . + - * / as themselves, ~ Enter,
   < Backspace, Y raise, R reciprocal, N change sign, S square root,
   Q square, W swap, D drop, C clear, P copy, V paste, H help, A about,
   X exit, O the Sound dialog (lower case: the same command from another
   key), #N the command word N, @ start-up's reading of the Sound setting,
   $ the window destroyed, _ nothing.
   LINES: X|Y|Z|T, missing lines empty; - for an empty display.
   EVENTS in order: a sound's name (add for add.wav), ! a beep, {text} an
   error box, {fatal:text} a fatal one, {at:file} the source-position box,
   timer (KillTimer), help, helpquit, quit, about, sounddlg, end, exit.
   Options: push=1,2*3 (values pushed, the last in X; *3 three times), sound=0, width=N (the
   X line), fail=Call[:n], clip="text", clipraw="bytes" (no terminator),
   clip=- (no text), reg="text" (the stored Sound value), regraw="bytes" (stored
   without terminator), regtype=N (its type), ini="text",
   os=win32s|nt3, dlg=101,2 (controls clicked in a dialog), path="C:\..."
   (the program's file). Checks: clip="text", reg="text" or reg=-,
   ini="text", x=value (X exactly), done=0|1, keys=N (registry keys left
   open), writes=N (display line writes), radio=ID (checked in the Sound
   dialog), shown="a,b" (the X line at each box and beep). A row starting
   with & goes on from the row before it. Texts in quotes take \n \r \t
   \\ \" \xNN, and \[N]c for N times c. */
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
