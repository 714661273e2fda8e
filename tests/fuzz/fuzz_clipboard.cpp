/* Any clipboard content up to 1 MiB, pasted onto a calculator in one of a
   few states. First byte: bit 0 sound, bit 1 no terminator, bit 2 no text on
   the clipboard, bits 3-4 the state before the paste, bit 5 a long text.
   The next three bytes give the length (below 1 KiB, or up to 1 MiB for a
   long text); the rest is repeated to fill it. */
#include <stddef.h>
#include <stdint.h>
#include <string>
#include "harness.h"

#define MAX_TEXT (1u << 20)

static const char *const before[4] = {"", "12", "2\r3.5\r", "9\r\xb2"};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    size_t length = ((size_t)data[1] << 16 | (size_t)data[2] << 8 | data[3])
                    % (data[0] & 32 ? MAX_TEXT + 1 : 1024);
    std::string text(length, '\0');
    if (size > 4)
        for (size_t i = 0; i < length; i++)
            text[i] = (char)data[4 + i % (size - 4)];
    if (!(data[0] & 2))
        text += '\0';

    NewSession(data[0] & 1, 198);
    for (const char *k = before[(data[0] >> 3) & 3]; *k; k++)
        Step((unsigned char)*k);
    PasteChecked(text, data[0] & 4);
    return 0;
}
