/* Writing a number's text to the clipboard */
#include <windows.h>
#include <string.h>
#include "resource.h"
#include "tavlib.h"

/* The block never reached the clipboard, so it is still ours to free */
static void CopyFailed(HGLOBAL block)
{
    if (block)
        GlobalFree(block);
    ShowMessage(mainWindow, IDS_NO_COPY, 0);
}

void CopyTextToClipboard(const char *text)
{
    size_t length = strlen(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length + 1);
    char *data = block ? (char *)GlobalLock(block) : NULL;

    if (!data) {
        CopyFailed(block);
        return;
    }
    memcpy(data, text, length + 1);
    GlobalUnlock(block);

    OpenClipboard(mainWindow);
    if (!EmptyClipboard() || !SetClipboardData(CF_TEXT, block)) {
        CopyFailed(block);
        CloseClipboard();
        return;
    }
    CloseClipboard();
}
