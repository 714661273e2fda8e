/* Reading the clipboard's text for pasting */
#include <windows.h>
#include <string.h>
#include "globals.h"
#include "resource.h"
#include "velmo.h"

#define PASTE_TEXT_MAX 81

void ReadClipboardText(char *buffer)
{
    HANDLE data;
    const char *text = NULL;
    size_t size, n = 0;

    buffer[0] = 0;
    OpenClipboard(mainWindow);
    data = GetClipboardData(CF_TEXT);
    if (data)
        text = (const char *)GlobalLock(data);
    if (!text) {
        calculator.ShowError(IDS_NO_PASTE);
        CloseClipboard();
        return;
    }
    /* Another program's text may lack its terminator: never read past the block */
    size = GlobalSize(data);
    memset(buffer, 0, PASTE_BUFFER_SIZE);
    while (n < PASTE_TEXT_MAX && n < size && text[n])
        buffer[n] = text[n], n++;
    buffer[n] = '\n';
    GlobalUnlock(data);
    CloseClipboard();
}

/* Replays the clipboard's text as keys: each byte is the command of that code */
void PasteFromClipboard(void)
{
    char buffer[PASTE_BUFFER_SIZE];

    ReadClipboardText(buffer);
    /* The lines are written once at the end, not after every character */
    calculator.linesHeld = 1;
    for (size_t i = 0, n = strlen(buffer); i < n; i++)
        calculator.HandleKey((unsigned char)buffer[i]);
    calculator.linesHeld = 0;
    calculator.FlushLines();
}
