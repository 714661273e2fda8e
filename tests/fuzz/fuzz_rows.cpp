/* Random keys through the main window with the rules of every row checked.
   First byte: bit 0 sound, bits 1-2 the X line's width, bit 3 the text
   before the first 0xFF byte stored as the Sound setting (else put on the
   clipboard), bits 4 and 5 both set a stack of 1020 values to start with, a few keys short
   of full. The bytes after it are keys, each taken modulo the alphabet.
   tools/fuzz.sh keeps inputs to 96 bytes: a paste reads 81 characters and a
   typed number 80, and the full stack is a few keys from the start, so
   longer rows reach no new code and only run slower. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include "rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const widths[4] = {"198", "40", "600", "2000"};
    static const char alphabet[] = "0123456789.+-*/~<YRNSDCWQPVHAXO@$";
    std::string row, text, keys;
    char byte[8];
    size_t i = 1;

    if (size == 0)
        return 0;
    row = std::string("sound=") + (char)('0' + (data[0] & 1)) + " width=" + widths[(data[0] >> 1) & 3];
    if ((data[0] & 48) == 48)
        row += " push=7*1020";
    for (; i < size && data[i] != 0xFF; i++)
        text += (snprintf(byte, sizeof byte, "\\x%02x", data[i]), byte);
    for (i++; i < size; i++)
        keys += alphabet[data[i] % (sizeof(alphabet) - 1)];
    if (!text.empty())
        row += (data[0] & 8 ? " regraw=\"" : " clipraw=\"") + text + "\"";
    row += " " + (keys.empty() ? "_" : keys) + " => *";
    std::string problem = RunRow(row);
    if (!problem.empty()) {
        fprintf(stderr, "%s: %s\n", row.c_str(), problem.c_str());
        abort();
    }
    return 0;
}
