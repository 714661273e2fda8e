/* The calculator: a stack of doubles shown on four display lines. */
#ifndef VELMO_RPNSTACK_H
#define VELMO_RPNSTACK_H

#include <windows.h>
#include "numtext.h"

#define STACK_SIZE 1024

/* RpnStack::Sound's system beep, heard with sound off too */
#define BEEP NULL

/* Set by PushValue when a pending math error kept a value off the stack */
struct PushStatus
{
    int blocked;
};

struct RpnStack
{
    int entryDone = 1;              /* 0 while X is being typed */
    double values[STACK_SIZE] = {}; /* grows downward: X is values[top] */
    int top = STACK_SIZE;
    int depth = 0;                  /* always STACK_SIZE - top */
    char lineTexts[4][NUMBER_TEXT_SIZE] = {};   /* what lines X, Y, Z, T show */
    int linesHeld = 0;              /* non-zero: line writes wait for FlushLines */
    int linesPending = 0;           /* bit i: line i is still to be written */

    int PushValue(const char *text, double value, PushStatus &status, int speak);
    void PopValue(double &out);
    void TakeValue(double &out);    /* PopValue without the redraw */
    void ReplaceTop(const char *text, double value);
    void RefreshLines(int includeX);
    void ShowLine(int i, const char *text);
    void FlushLines();

    /* Every sound the calculator makes: the held lines are written first */
    void Sound(const char *wave);
    void Speak(const char *text);
    void ShowError(UINT message);

    void HandleKey(UINT code);
    int CheckOperandCount(int code);
    void RunOperation(int code);
};

int CheckOperandDomain(int code, double x);

/* Magnitude from which a result counts as an overflow: the square root of
   the largest double */
double OverflowThreshold();

#endif
