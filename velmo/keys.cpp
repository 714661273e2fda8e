/* Command processing: the checks every command passes, and number entry */
#include <windows.h>
#include <string.h>
#include "globals.h"
#include "numtext.h"
#include "resource.h"
#include "tavlib.h"
#include "velmo.h"

static int IsDigitKey(int key)
{
    return key >= '0' && key <= '9';
}

static int IsEntryKey(int key)
{
    return key == CMD_ENTER || key == CMD_BACK || key == CMD_POINT || IsDigitKey(key);
}

static void Refuse(UINT message)
{
    PlaySoundFile("error.wav");
    ShowMessage(mainWindow, message, 0);
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
    Refuse(IDS_FEW_OPERANDS);
    return 1;
}

int CheckOperandDomain(int code, double x)
{
    if ((code == CMD_DIV || code == CMD_RECIP) && x == 0.0) {
        Refuse(IDS_DIV_ZERO);
        return 1;
    }
    if (code == CMD_SQRT && x < 0.0) {
        Refuse(IDS_NEG_SQRT);
        return 1;
    }
    return 0;
}

/* The typed text fits the X line when it is no wider than the line */
static int FitsLine(const char *text, LONG width)
{
    SIZE size = {0, 0};
    HDC dc = GetDC(mainWindow);

    GetTextExtentPointA(dc, text, (int)strlen(text), &size);
    ReleaseDC(mainWindow, dc);
    return size.cx <= width;
}

void RpnStack::HandleKey(UINT code)
{
    int key = (int)(code & 0xFF);
    double x = depth >= 1 ? values[top] : 0.0;
    char text[NUMBER_TEXT_SIZE];
    size_t len;
    RECT line = {0, 0, 0, 0};
    PushStatus status = {0};
    double value = 0.0;

    GetClientRect(GetDlgItem(mainWindow, IDC_LINE_X), &line);
    if (CheckOperandCount(key) || CheckOperandDomain(key, x))
        return;
    if (!IsEntryKey(key)) {
        RunOperation(key);
        return;
    }

    /* While a number is typed, the X line is its edit buffer */
    text[0] = 0;
    if (!entryDone)
        GetDlgItemTextA(mainWindow, IDC_LINE_X, text, TEXT_SIZE);
    len = strlen(text);

    switch (key) {
    case CMD_BACK:
        PlaySoundFile("back.wav");
        if (len == 1) {
            /* Removing the last character removes the number */
            SendMessageA(mainWindow, WM_COMMAND, CMD_DROP, 0);
            return;
        }
        if (len == 0)
            MessageBeep(0);
        else
            text[len - 1] = 0;
        break;
    case CMD_ENTER:
        PlaySoundFile("enter.wav");
        if (entryDone) {
            if (depth == 0)
                MessageBeep(0);
            else
                PushValue("", x, status, 0);
        }
        entryDone = 1;
        return;
    case CMD_POINT:
        PlaySoundFile("point.wav");
        if (strchr(text, '.')) {
            MessageBeep(0);
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

    if (!ReadNumber(text, &value) || !FitsLine(text, line.right)) {
        MessageBeep(0);
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
        PlaySoundFile(sound);
    }
}
