/* Math errors: recorded by the power function's callback, reported once */
#include <windows.h>
#include "globals.h"
#include "power.h"
#include "resource.h"
#include "velmo.h"

int MathErrorHook(MathErrorRecord *record)
{
    mathError = record->type == MATH_OVERFLOW ? MATH_OVERFLOWED : MATH_NUMERICAL;
    record->retval = 0.0;
    return 1;
}

void ReportMathError(void)
{
    if (mathError == MATH_OVERFLOWED)
        calculator.ShowError(IDS_OVERFLOW);
    else if (mathError == MATH_NUMERICAL)
        calculator.ShowError(IDS_NUM_ERROR);
    mathError = MATH_NONE;
}
