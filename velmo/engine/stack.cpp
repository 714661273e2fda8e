/* The value stack, the four display lines that show X, Y, Z and T, and the
   sounds heard with them */
#include <windows.h>
#include <string.h>
#include "globals.h"
#include "numtext.h"
#include "resource.h"
#include "tavlib.h"
#include "velmo.h"

double OverflowThreshold()
{
    /* The square root of the largest double: 1.3407807929942596e+154 */
    static const double threshold = __builtin_sqrt(1.7976931348623157e+308);
    return threshold;
}

/* Sets display line i (0 is X). A text the line already shows is not
   written again: under Wine every write is a server round trip and repaints
   the line at once. */
void RpnStack::ShowLine(int i, const char *text)
{
    size_t n = strlen(text);

    if (strcmp(lineTexts[i], text) == 0)
        return;
    if (n > NUMBER_TEXT_SIZE - 1)
        n = NUMBER_TEXT_SIZE - 1;
    memcpy(lineTexts[i], text, n);
    lineTexts[i][n] = 0;
    linesPending |= 1 << i;
    if (!linesHeld)
        FlushLines();
}

void RpnStack::FlushLines()
{
    for (int i = 0; i < 4; i++) {
        if (linesPending & (1 << i))
            SetDlgItemTextA(mainWindow, IDC_LINE_X + i, lineTexts[i]);
    }
    linesPending = 0;
}

/* What is heard goes with the lines as they are, also in a paste, which
   holds their writes: they are written before the sound. A wave file is
   heard only with sound on (with it off the lines stay held); BEEP, the
   system beep, is heard either way. */
void RpnStack::Sound(const char *wave)
{
    if (wave && !soundOn)
        return;
    FlushLines();
    if (wave)
        PlayWave(wave);
    else
        MessageBeep(0);
}

/* Names each character of a number's text */
void RpnStack::Speak(const char *text)
{
    char digit[] = "0.wav";

    for (; *text; text++) {
        switch (*text) {
        case '+': Sound("plus.wav"); break;
        case '-': Sound("minus.wav"); break;
        case '.': Sound("point.wav"); break;
        case 'e': Sound("e.wav"); break;
        default:
            if (*text >= '0' && *text <= '9') {
                digit[0] = *text;
                Sound(digit);
            }
        }
    }
}

/* The error sound, then the error box over the lines as they are */
void RpnStack::ShowError(UINT message)
{
    Sound("error.wav");
    FlushLines();       /* with sound off too: the box shows them */
    ShowMessage(mainWindow, message, 0);
}

int RpnStack::PushValue(const char *text, double value, PushStatus &status, int speak)
{
    char shown[NUMBER_TEXT_SIZE];

    if (__builtin_fabs(value) >= OverflowThreshold())
        mathError = MATH_OVERFLOWED;
    if (mathError) {
        status.blocked = 1;
        return 0;
    }
    if (text[0]) {
        strncpy(shown, text, sizeof(shown) - 1);
        shown[sizeof(shown) - 1] = 0;
    } else {
        FormatNumber(value, shown);
    }
    if (top < 1) {
        ShowError(IDS_STACK_FULL);
        return 0;
    }
    top--;
    values[top] = value;
    depth++;
    ShowLine(0, shown);
    RefreshLines(0);
    if (speak)
        Speak(shown);
    return 1;
}

void RpnStack::TakeValue(double &out)
{
    if (top < STACK_SIZE) {
        out = values[top];
        top++;
        depth--;
    }
}

void RpnStack::PopValue(double &out)
{
    TakeValue(out);
    RefreshLines(1);
}

void RpnStack::ReplaceTop(const char *text, double value)
{
    if (top >= 0 && top < STACK_SIZE) {
        ShowLine(0, text);
        values[top] = value;
    }
}

void RpnStack::RefreshLines(int includeX)
{
    char text[NUMBER_TEXT_SIZE];

    for (int i = includeX ? 0 : 1; i < 4; i++) {
        if (i < depth)
            FormatNumber(values[top + i], text);
        else
            text[0] = 0;
        ShowLine(i, text);
    }
}
