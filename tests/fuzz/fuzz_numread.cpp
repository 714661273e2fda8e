/* ReadNumber against MPFR and glibc's strtod, both correctly rounded.
   First byte: bit 0 a long text (past the X line's 80 characters, up to
   4000, with runs), else at most 80 characters. Each later byte is a
   character: below 200 a digit (its value modulo 10), 200-219 the point,
   220-239 one of 16 characters at which reading stops (one a NUL, the
   text's end), 240-255 in a long text the previous character repeated 32
   to 512 times more (else a digit). */
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <mpfr.h>
#include "numtext.h"
#include "bits.h"

#define SHORT_LIMIT 80
#define LONG_LIMIT  4000

/* The double nearest to the decimal text, ties to even, with subnormals:
   53 bits within the exponent range of doubles */
static double MpfrNearest(const char *text)
{
    mpfr_t v;
    char *end;
    double d;
    int t;

    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_init2(v, 53);
    t = mpfr_strtofr(v, text, &end, 10, MPFR_RNDN);
    if (*end) {
        fprintf(stderr, "MPFR read only %d of the characters of \"%s\"\n", (int)(end - text), text);
        abort();
    }
    t = mpfr_check_range(v, t, MPFR_RNDN);
    mpfr_subnormalize(v, t, MPFR_RNDN);
    d = mpfr_get_d(v, MPFR_RNDN);
    mpfr_clear(v);
    return d;
}

static void Finding(const std::string &text, const char *what, int ours, double ourValue, int theirs, double theirValue)
{
    fprintf(stderr, "fuzz_numread: %s\n  text (%zu characters): \"%s\"\n", what, text.size(), text.c_str());
    fprintf(stderr, "  ReadNumber: returns %d, %a = %.17g\n", ours, ourValue, ourValue);
    fprintf(stderr, "  reference:  returns %d, %a = %.17g\n", theirs, theirValue, theirValue);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* the sixteenth, the string's end, is a NUL: the text ends there */
    static const char stops[] = "e.-+ xE,/:\t;'a_";
    std::string text;
    size_t limit, i, n;
    double ours = -7.0, theirs, fromStrtod;
    int read, digits = 0;

    if (size == 0)
        return 0;
    limit = data[0] & 1 ? LONG_LIMIT : SHORT_LIMIT;
    for (i = 1; i < size && text.size() < limit; i++) {
        uint8_t b = data[i];
        if (b < 200)
            text += (char)('0' + b % 10);
        else if (b < 220)
            text += '.';
        else if (b < 240)
            text += stops[b % 16];
        else if (limit == LONG_LIMIT && !text.empty())
            text.append((size_t)(b - 239) * 32, text.back());
        else
            text += (char)('0' + b % 10);
    }
    if (text.size() > limit)
        text.resize(limit);
    text.resize(strlen(text.c_str()));

    /* What reading takes: digits, an optional point, digits */
    for (n = 0; n < text.size() && text[n] >= '0' && text[n] <= '9'; n++)
        digits++;
    if (n < text.size() && text[n] == '.')
        for (n++; n < text.size() && text[n] >= '0' && text[n] <= '9'; n++)
            digits++;
    std::string number = text.substr(0, n);

    read = ReadNumber(text.c_str(), &ours);
    if (!digits) {
        if (read != 0 || Bits(ours) != Bits(-7.0))
            Finding(text, "no digit, yet a number was read", read, ours, 0, -7.0);
        return 0;
    }
    theirs = MpfrNearest(number.c_str());
    fromStrtod = strtod(number.c_str(), nullptr);
    if (Bits(theirs) != Bits(fromStrtod)) {
        fprintf(stderr, "fuzz_numread: MPFR %a and strtod %a differ on \"%s\"\n", theirs, fromStrtod, number.c_str());
        abort();
    }
    if (read != 1 || Bits(ours) != Bits(theirs))
        Finding(text, "not the nearest double", read, ours, 1, theirs);
    return 0;
}
