/* Error boxes and fatal checks, with texts from the string table */
#include <windows.h>
#include <string.h>
#include "resource.h"
#include "tavlib.h"

void LoadText(UINT id, char *buffer, int size)
{
    buffer[0] = 0;
    LoadStringA(instance, id, buffer, size);
}

void ShowMessage(HWND owner, UINT id, int fatal)
{
    char caption[TEXT_SIZE], text[TEXT_SIZE];

    LoadText(fatal == 1 ? IDS_FATAL_CAPTION : IDS_ERROR_CAPTION, caption, sizeof(caption));
    LoadText(id, text, sizeof(text));
    MessageBoxA(owner, text, caption, MB_TASKMODAL | MB_ICONEXCLAMATION);
}

/* "file/line", the file cut short so that the line number always fits */
static void SourcePosition(const char *sourceFile, long line, char *out, size_t size)
{
    char digits[24];
    size_t n = 0, used;
    unsigned long rest = line < 0 ? 0UL - (unsigned long)line : (unsigned long)line;

    do {
        digits[n++] = (char)('0' + rest % 10);
        rest /= 10;
    } while (rest);
    if (line < 0)
        digits[n++] = '-';

    used = strlen(sourceFile);
    if (used > size - n - 2)
        used = size - n - 2;
    memcpy(out, sourceFile, used);
    out[used++] = '/';
    while (n)
        out[used++] = digits[--n];
    out[used] = 0;
}

void FatalCheck(int failed, UINT id, const char *sourceFile, long line)
{
    char position[84];

    if (!failed)
        return;
    KillTimer(mainWindow, 1);
    ShowMessage(NULL, id, 1);
    SourcePosition(sourceFile, line, position, sizeof(position));
    MessageBoxA(NULL, position, "", MB_TASKMODAL | MB_ICONINFORMATION);
    /* A fatal end is a failure for whoever started the program */
    ExitProcess(1);
}
