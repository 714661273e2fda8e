/* Any key sequence, with pastes and sound switched on and off between keys.
   First byte: bit 0 sound, bits 1-2 the X line's width. Then one command a
   byte, except 150, which switches sound, and 184, which pastes: its next
   byte gives the length (bits 0-6; 127: no text on the clipboard) and,
   in bit 7, a text without terminator; the text follows. */
#include <stddef.h>
#include <stdint.h>
#include <string>
#include "globals.h"
#include "harness.h"
#include "resource.h"

static const int widths[4] = {198, 40, 600, 2000};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    NewSession(data[0] & 1, widths[(data[0] >> 1) & 3]);
    for (size_t i = 1; i < size; i++) {
        if (data[i] == CMD_SOUND) {
            soundOn = !soundOn;
        } else if (data[i] == CMD_PASTE && i + 1 < size) {
            size_t length = data[++i] & 0x7F;
            bool terminated = !(data[i] & 0x80), absent = length == 0x7F;
            if (absent)
                length = 0;
            if (length > size - i - 1)
                length = size - i - 1;
            std::string text(reinterpret_cast<const char *>(data + i + 1), length);
            i += length;
            if (terminated)
                text += '\0';
            PasteChecked(text, absent);
        } else {
            Step(data[i]);
        }
    }
    return 0;
}
