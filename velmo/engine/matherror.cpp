/* Math errors: recorded by the power function's callback, reported once */
#include <windows.h>
#include "globals.h"
#include "power.h"
#include "resource.h"
#include "tavlib.h"
#include "velmo.h"

int MathErrorHook(MathErrorRecord *record)
{
    mathError = record->type == MATH_OVERFLOW ? MATH_OVERFLOWED : MATH_NUMERICAL;
    record->retval = 0.0;
    return 1;
}

void ReportMathError(void)
{
    if (mathError == MATH_OVERFLOWED) {
        PlaySoundFile("error.wav");
        ShowMessage(mainWindow, IDS_OVERFLOW, 0);
    } else if (mathError == MATH_NUMERICAL) {
        PlaySoundFile("error.wav");
        ShowMessage(mainWindow, IDS_NUM_ERROR, 0);
    }
    mathError = MATH_NONE;
}
