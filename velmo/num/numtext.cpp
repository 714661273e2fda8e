/* Number text: the "%.12lg" form of a double. */
#include <string.h>
#include "numtext.h"
#include "bignum.h"

#define FRACTION_MASK   0x000FFFFFFFFFFFFFULL
#define HIDDEN_BIT      0x0010000000000000ULL
#define TEN_TO_17       100000000000000000ULL
#define TEN_TO_12       1000000000000ULL
#define TEN_TO_11       100000000000ULL
#define HALF            0x8000000000000000ULL

/* The scaled value's fraction is known to within a few units of 2^-64;
   closer than 2^-40 to one half, the rounding is decided exactly */
#define HALF_MARGIN     0x1000000ULL

/* m 2^e 10^q with m's top bit set, as an integer part (returned) and the
   top 64 bits of the fraction; *rest is non-zero when bits below those are */
static uint64_t ScaleByPowerOfTen(uint64_t m, int e, int q, uint64_t *fraction, uint64_t *rest)
{
    Wide p;
    int t = PowerOfTenFraction(q, &p);
    uint64_t h1, l1, h0, l0, mid, top;
    int shift;

    MulWide(m, p.hi, &h1, &l1);
    MulWide(m, p.lo, &h0, &l0);
    mid = l1 + h0;
    top = h1 + (mid < h0);

    /* The caller picks q so that the integer part lies in [10^16, 10^18):
       it fits in the top word with 3 to 10 bits of fraction beside it */
    shift = -(e + t) - 128;
    *fraction = (top << (64 - shift)) | (mid >> shift);
    *rest = (mid << (64 - shift)) | l0;
    return top >> shift;
}

/* Sign of m 2^e 10^q - (k + 1/2), computed exactly */
static int CompareWithHalf(uint64_t m, int e, int q, uint64_t k)
{
    BigNum a, b;

    BigSet(&a, m);
    BigSet(&b, 2 * k + 1);
    return BigCompareScaled(&a, &b, q, e + 1 + q);
}

/* Rounds the positive finite value m 2^e to 17 significant digits, half to
   even: returns them as an integer in [10^16, 10^17) and sets *exponent to
   the decimal exponent of the first one */
static uint64_t RoundTo17Digits(uint64_t m, int e, int *exponent)
{
    int lead = 63 - __builtin_clzll(m);
    int shift = 63 - lead;
    /* floor(log10(2^(lead + e))): the exponent or one below it */
    int estimate = ((lead + e) * 78913) >> 18;
    int q = 16 - estimate;
    uint64_t fraction, rest, digits;
    int up;

    m <<= shift;
    e -= shift;
    digits = ScaleByPowerOfTen(m, e, q, &fraction, &rest);
    if (digits >= TEN_TO_17) {
        q--;
        digits = ScaleByPowerOfTen(m, e, q, &fraction, &rest);
    }

    if (q >= 0 && q <= 27) {
        /* Exact power of ten: the product is exact */
        if (fraction != HALF)
            up = fraction > HALF;
        else
            up = rest != 0 || (digits & 1);
    } else if (fraction - (HALF - HALF_MARGIN) <= 2 * HALF_MARGIN) {
        int sign = CompareWithHalf(m, e, q, digits);
        up = sign > 0 || (sign == 0 && (digits & 1));
    } else {
        up = fraction > HALF;
    }
    digits += up;

    *exponent = 16 - q;
    if (digits >= TEN_TO_17) {
        digits /= 10;
        ++*exponent;
    }
    return digits;
}

static char *WriteDigits(char *p, const char *digits, int count)
{
    memcpy(p, digits, count);
    return p + count;
}

static void WriteText(char *out, const char *text)
{
    while ((*out++ = *text++))
        ;
}

void FormatNumber(double value, char *out)
{
    uint64_t bits, m, digits, dropped;
    int biased, e, exponent, count, i;
    uint32_t high, low;
    char text[12];
    char *p = out;

    memcpy(&bits, &value, sizeof bits);
    biased = (int)(bits >> 52) & 0x7FF;
    m = bits & FRACTION_MASK;

    /* Infinity and NaN never reach the display; they still get a text */
    if (biased == 0x7FF) {
        WriteText(out, m ? "nan" : bits >> 63 ? "-inf" : "inf");
        return;
    }
    if (biased == 0 && m == 0) {
        WriteText(out, "0");
        return;
    }
    if (bits >> 63)
        *p++ = '-';
    if (biased) {
        m |= HIDDEN_BIT;
        e = biased - 1075;
    } else {
        e = -1074;
    }

    /* 17 digits first, then half up to 12 */
    digits = RoundTo17Digits(m, e, &exponent);
    dropped = digits % 100000;
    digits /= 100000;
    if (dropped >= 50000)
        digits++;
    if (digits == TEN_TO_12) {
        digits = TEN_TO_11;
        exponent++;
    }

    high = (uint32_t)(digits / 1000000);
    low = (uint32_t)(digits % 1000000);
    for (i = 11; i >= 6; i--) {
        text[i] = (char)('0' + low % 10);
        low /= 10;
    }
    for (i = 5; i >= 0; i--) {
        text[i] = (char)('0' + high % 10);
        high /= 10;
    }
    count = 12;
    while (text[count - 1] == '0')
        count--;

    if (exponent < -4 || exponent >= 12) {
        int magnitude = exponent < 0 ? -exponent : exponent;

        *p++ = text[0];
        if (count > 1) {
            *p++ = '.';
            p = WriteDigits(p, text + 1, count - 1);
        }
        *p++ = 'e';
        *p++ = exponent < 0 ? '-' : '+';
        *p++ = (char)('0' + magnitude / 100);
        *p++ = (char)('0' + magnitude / 10 % 10);
        *p++ = (char)('0' + magnitude % 10);
    } else if (exponent >= 0) {
        p = WriteDigits(p, text, exponent + 1);
        if (count > exponent + 1) {
            *p++ = '.';
            p = WriteDigits(p, text + exponent + 1, count - exponent - 1);
        }
    } else {
        *p++ = '0';
        *p++ = '.';
        for (i = -1; i > exponent; i--)
            *p++ = '0';
        p = WriteDigits(p, text, count);
    }
    *p = 0;
}
