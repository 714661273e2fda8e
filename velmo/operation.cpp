/* The calculator's operations and the undo after a math error */
#include <windows.h>
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

void RpnStack::RunOperation(int code)
{
    int depthBefore = depth, removed;
    PushStatus status = {0};
    double x = 0.0, y = 0.0;
    char text[NUMBER_TEXT_SIZE];

    switch (code) {
    case CMD_MULT:
        PlaySoundFile("mult.wav");
        PopValue(x);
        PopValue(y);
        PushValue("", y * x, status, 1);
        break;
    case CMD_ADD:
        PlaySoundFile("add.wav");
        PopValue(x);
        PopValue(y);
        PushValue("", y + x, status, 1);
        break;
    case CMD_SUB:
        PlaySoundFile("sub.wav");
        PopValue(x);
        PopValue(y);
        PushValue("", y - x, status, 1);
        break;
    case CMD_DIV:
        PlaySoundFile("div.wav");
        PopValue(x);
        PopValue(y);
        PushValue("", y / x, status, 1);
        break;
    case CMD_RAISE:
        PlaySoundFile("raise.wav");
        PopValue(x);
        PopValue(y);
        PushValue("", x == 0.0 ? 1.0 : RaiseToPower(y, x), status, 1);
        break;
    case CMD_RECIP:
        PlaySoundFile("recip.wav");
        PopValue(x);
        PushValue("", 1.0 / x, status, 1);
        break;
    case CMD_CH_SGN:
        PlaySoundFile("ch_sgn.wav");
        PopValue(x);
        PushValue("", -x, status, 1);
        break;
    case CMD_SQRT:
        PlaySoundFile("sqrt.wav");
        PopValue(x);
        PushValue("", __builtin_sqrt(x), status, 1);
        break;
    case CMD_SQUARE:
        PlaySoundFile("square.wav");
        PopValue(x);
        PushValue("", x * x, status, 1);
        break;
    case CMD_DROP:
        PlaySoundFile("drop.wav");
        PopValue(x);
        break;
    case CMD_CLEAR:
        PlaySoundFile("clear.wav");
        while (depth > 0)
            PopValue(x);
        break;
    case CMD_SWAP:
        PlaySoundFile("swap.wav");
        PopValue(x);
        PopValue(y);
        PushValue("", x, status, 0);
        PushValue("", y, status, 0);
        break;
    case CMD_COPY:
        FormatNumber(values[top], text);
        CopyTextToClipboard(text);
        break;
    }

    if (status.blocked) {
        /* Put the operands back as they were */
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
