/* The engine's routines outside the calculator object. */
#ifndef VELMO_H
#define VELMO_H

#include <windows.h>

#define PASTE_BUFFER_SIZE 83    /* 81 bytes of text, a line feed, the terminator */

/* Plays a wave file to its end, where there is WINMM. The calculator's
   sounds go through RpnStack::Sound, which knows the lines and the setting */
void PlayWave(const char *name);

/* WINMM is loaded by the first sound and kept; this forgets it, so that the
   next sound loads it again */
void ForgetSoundLibrary(void);

/* The math-error record of the runtime's callback convention */
struct MathErrorRecord
{
    int type;           /* MATH_DOMAIN ... MATH_UNDERFLOW */
    const char *name;
    double arg1;
    double arg2;
    double retval;
};

int MathErrorHook(MathErrorRecord *record);
void ReportMathError(void);

/* Y to the power X, its errors reported through MathErrorHook */
double RaiseToPower(double y, double x);

void ReadClipboardText(char *buffer);
void PasteFromClipboard(void);

#endif
