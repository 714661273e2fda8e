/* The calculator's operations and the undo after a math error */
#include <windows.h>
#include "arith.h"
#include "globals.h"
#include "numtext.h"
#include "power.h"
#include "resource.h"
#include "tavlib.h"
#include "velmo.h"

double RaiseToPower(double y, double x)
{
    double result = 0.0;
    int error = PowerOf(y, x, &result);

    if (error) {
        MathErrorRecord record = {error, "pow", y, x, result};
        MathErrorHook(&record);
        return record.retval;
    }
    return result;
}

/* The sound each operation plays before its first pop */
static const char *OperationSound(int code)
{
    switch (code) {
    case CMD_MULT: return "mult.wav";
    case CMD_ADD: return "add.wav";
    case CMD_SUB: return "sub.wav";
    case CMD_DIV: return "div.wav";
    case CMD_RAISE: return "raise.wav";
    case CMD_RECIP: return "recip.wav";
    case CMD_CH_SGN: return "ch_sgn.wav";
    case CMD_SQRT: return "sqrt.wav";
    case CMD_SQUARE: return "square.wav";
    case CMD_DROP: return "drop.wav";
    case CMD_CLEAR: return "clear.wav";
    case CMD_SWAP: return "swap.wav";
    }
    return NULL;
}

static double Combine(int code, double y, double x)
{
    switch (code) {
    case CMD_MULT: return Product(y, x);
    case CMD_ADD: return Sum(y, x);
    case CMD_SUB: return Difference(y, x);
    case CMD_DIV: return Quotient(y, x);
    }
    return x == 0.0 ? 1.0 : RaiseToPower(y, x);
}

static double Apply(int code, double x)
{
    switch (code) {
    case CMD_RECIP: return Quotient(1.0, x);
    case CMD_CH_SGN: return -x;
    case CMD_SQRT: return SquareRoot(x);
    }
    return Product(x, x);
}

void RpnStack::RunOperation(int code)
{
    int depthBefore = depth, removed;
    PushStatus status = {0};
    double x = 0.0, y = 0.0;
    const char *sound = OperationSound(code);
    char text[NUMBER_TEXT_SIZE];

    if (sound)
        Sound(sound);
    /* Operands are taken without a redraw: the push that follows shows all
       four lines, and nothing is heard or shown in between */
    switch (code) {
    case CMD_MULT: case CMD_ADD: case CMD_SUB: case CMD_DIV: case CMD_RAISE:
        TakeValue(x);
        TakeValue(y);
        PushValue("", Combine(code, y, x), status, 1);
        break;
    case CMD_RECIP: case CMD_CH_SGN: case CMD_SQRT: case CMD_SQUARE:
        TakeValue(x);
        PushValue("", Apply(code, x), status, 1);
        break;
    case CMD_DROP:
        PopValue(x);
        break;
    case CMD_CLEAR:
        /* One redraw, not four lines for each of up to 1024 values */
        if (depth > 0) {
            while (depth > 0)
                TakeValue(x);
            RefreshLines(1);
        }
        break;
    case CMD_SWAP:
        TakeValue(x);
        TakeValue(y);
        PushValue("", x, status, 0);
        PushValue("", y, status, 0);
        break;
    case CMD_COPY:
        FlushLines();           /* a failed copy shows a message */
        FormatNumber(values[top], text);
        CopyTextToClipboard(text);
        break;
    }

    if (status.blocked) {
        /* The message shows over the stack without its operands; then
           they are put back as they were */
        RefreshLines(1);
        ReportMathError();
        mathError = MATH_NONE;
        removed = depthBefore - depth;
        if (removed == 2)
            PushValue("", y, status, 0);
        if (removed >= 1)
            PushValue("", x, status, 0);
    }
    entryDone = 1;
}
