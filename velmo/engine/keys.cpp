/* Command processing: the checks every command passes, and number entry */
#include <windows.h>
#include <string.h>
#include "fpu.h"
#include "globals.h"
#include "numtext.h"
#include "resource.h"
#include "tavlib.h"

static int IsDigitKey(int key)
{
    return key >= '0' && key <= '9';
}

static int IsEntryKey(int key)
{
    return key == CMD_ENTER || key == CMD_BACK || key == CMD_POINT || IsDigitKey(key);
}

int RpnStack::CheckOperandCount(int code)
{
    int needed;

    switch (code) {
    case CMD_MULT: case CMD_ADD: case CMD_SUB: case CMD_DIV:
    case CMD_RAISE: case CMD_SWAP:
        needed = 2;
        break;
    case CMD_RECIP: case CMD_CH_SGN: case CMD_SQRT: case CMD_DROP:
    case CMD_COPY: case CMD_SQUARE:
        needed = 1;
        break;
    default:
        needed = 0;
    }
    if (depth >= needed)
        return 0;
    ShowError(IDS_FEW_OPERANDS);
    return 1;
}

int CheckOperandDomain(int code, double x)
{
    if ((code == CMD_DIV || code == CMD_RECIP) && x == 0.0) {
        calculator.ShowError(IDS_DIV_ZERO);
        return 1;
    }
    if (code == CMD_SQRT && x < 0.0) {
        calculator.ShowError(IDS_NEG_SQRT);
        return 1;
    }
    return 0;
}

/* The typed text fits the X line when, drawn in the line's own font, it is
   no wider than the line. Only entry keys ask: under Wine each call here is
   a server round trip. */
static int FitsLine(const char *text)
{
    HWND line = GetDlgItem(mainWindow, IDC_LINE_X);
    HFONT font = (HFONT)SendMessageA(line, WM_GETFONT, 0, 0);
    RECT client = {0, 0, 0, 0};
    SIZE size = {0, 0};
    HDC dc = GetDC(line);
    HGDIOBJ old = font ? SelectObject(dc, font) : NULL;

    GetClientRect(line, &client);
    GetTextExtentPointA(dc, text, (int)strlen(text), &size);
    if (font)
        SelectObject(dc, old);
    ReleaseDC(line, dc);
    return size.cx <= client.right;
}

void RpnStack::HandleKey(UINT code)
{
    int key = (int)(code & 0xFF);
    double x = depth >= 1 ? values[top] : 0.0;
    char text[NUMBER_TEXT_SIZE];
    size_t len;
    PushStatus status = {0};
    double value = 0.0;

    SetMathUnit();
    if (CheckOperandCount(key) || CheckOperandDomain(key, x))
        return;
    if (!IsEntryKey(key)) {
        RunOperation(key);
        return;
    }

    /* While a number is typed, the X line is its edit buffer: read from
       what the line was given, which a paste may not have written yet, and
       as the line gives it back, at most 80 characters */
    text[0] = 0;
    if (!entryDone) {
        size_t kept = strnlen(lineTexts[0], TEXT_SIZE - 1);
        memcpy(text, lineTexts[0], kept);
        text[kept] = 0;
    }
    len = strlen(text);

    switch (key) {
    case CMD_BACK:
        Sound("back.wav");
        if (len == 1) {
            /* Removing the last character removes the number */
            SendMessageA(mainWindow, WM_COMMAND, CMD_DROP, 0);
            return;
        }
        if (len == 0)
            Sound(BEEP);
        else
            text[len - 1] = 0;
        break;
    case CMD_ENTER:
        Sound("enter.wav");
        if (entryDone) {
            if (depth == 0)
                Sound(BEEP);
            else
                PushValue("", x, status, 0);
        }
        entryDone = 1;
        return;
    case CMD_POINT:
        Sound("point.wav");
        if (strchr(text, '.')) {
            Sound(BEEP);
        } else {
            text[len] = '.';
            text[len + 1] = 0;
        }
        break;
    default:
        text[len] = (char)key;
        text[len + 1] = 0;
    }
    if (strcmp(text, ".") == 0)
        strcpy(text, "0.");

    /* The X line gives back only TEXT_SIZE - 1 characters: a longer entry
       would lose its last digit at the next key, however wide the line */
    if (!ReadNumber(text, &value) || strlen(text) >= TEXT_SIZE || !FitsLine(text)) {
        Sound(BEEP);
        return;
    }
    if (entryDone) {
        /* A full stack refuses the new number; the entry stays finished */
        if (!PushValue(text, value, status, 0))
            return;
        entryDone = 0;
    } else {
        ReplaceTop(text, value);
    }
    if (IsDigitKey(key)) {
        char sound[] = "0.wav";
        sound[0] = (char)key;
        Sound(sound);
    }
}
