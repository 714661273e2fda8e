/* Number text: reading a typed number into the nearest double. */
#include <string.h>
#include "numtext.h"
#include "bignum.h"
#include "bits.h"

#define FRACTION_MASK   0x000FFFFFFFFFFFFFULL
#define HIDDEN_BIT      0x0010000000000000ULL
#define INFINITY_BITS   0x7FF0000000000000ULL

/* A midpoint between two doubles has at most 767 significant digits, so
   digits past these only matter through whether any of them is non-zero */
#define MAX_DIGITS      800

/* Digit counts that stop growing here cannot overflow; any exponent this
   far out is far beyond the range of doubles anyway */
#define COUNT_LIMIT     100000

static const double exactPowers[23] = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22
};

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* Bits of a double a step or so from the one nearest to w 10^p, where w
   holds the first 19 digits of the number */
static uint64_t Estimate(uint64_t w, int p)
{
    Wide power;
    int t = PowerOfTenFraction(p, &power);
    int shift = __builtin_clzll(w);
    uint64_t high, low;
    int biased;

    MulWide(w << shift, power.hi, &high, &low);
    if (!(high >> 63)) {
        high = (high << 1) | (low >> 63);
        shift++;
    }
    /* The number is about high 2^(t + 128 - shift), high's top bit set */
    biased = t + 128 - shift + 63 + 1023;
    if (biased >= 0x7FF)
        return INFINITY_BITS;
    if (biased >= 1)
        return ((uint64_t)biased << 52) | ((high >> 11) & FRACTION_MASK);
    shift = 12 - biased;
    return shift < 64 ? high >> shift : 0;
}

/* Sign of d 10^p (plus something below one unit of d when sticky) minus
   the midpoint between the doubles with bits c and c + 1 */
static int CompareWithMidpoint(const BigNum *d, int sticky, int p, uint64_t c)
{
    int biased = (int)(c >> 52);
    uint64_t m = c & FRACTION_MASK;
    BigNum a = *d, b;
    int shift, sign;

    if (biased)
        m |= HIDDEN_BIT;
    else
        biased = 1;
    /* midpoint = (2m + 1) 2^(biased - 1076), and 10^p = 5^p 2^p */
    shift = p - (biased - 1076);
    BigSet(&b, 2 * m + 1);
    sign = BigCompareScaled(&a, &b, p, shift);
    return sign == 0 && sticky ? 1 : sign;
}

/* The double nearest to digits[0..count) 10^p, ties to even, by exact
   comparison with the midpoints around an estimate */
static double NearestDouble(const char *digits, int count, int sticky, int p)
{
    BigNum d;
    uint64_t w = 0, c;
    int i, moved = 0;

    for (i = 0; i < count && i < 19; i++)
        w = w * 10 + (uint64_t)(digits[i] - '0');
    c = Estimate(w, p + count - i);

    BigSet(&d, 0);
    for (i = 0; i < count; i += 9) {
        uint32_t chunk = 0, scale = 1;
        int j;

        for (j = i; j < count && j < i + 9; j++) {
            chunk = chunk * 10 + (uint32_t)(digits[j] - '0');
            scale *= 10;
        }
        BigMulAdd(&d, scale, chunk);
    }

    while (c < INFINITY_BITS) {
        int sign = CompareWithMidpoint(&d, sticky, p, c);
        if (sign < 0 || (sign == 0 && !(c & 1)))
            break;
        c++;
        moved = 1;
    }
    while (!moved && c > 0) {
        int sign = CompareWithMidpoint(&d, sticky, p, c - 1);
        if (sign > 0 || (sign == 0 && !(c & 1)))
            break;
        c--;
    }
    return FromBits(c);
}

int ReadNumber(const char *text, double *value)
{
    char digits[MAX_DIGITS];
    const char *s = text;
    int count = 0, sticky = 0, seen = 0, started = 0;
    int whole = 0, zeros = 0, exponent, p;

    /* Digits before the point: after the first non-zero one, each raises
       the exponent */
    for (; IsDigit(*s); s++) {
        seen = 1;
        if (!started && *s == '0')
            continue;
        started = 1;
        if (whole < COUNT_LIMIT)
            whole++;
        if (count < MAX_DIGITS)
            digits[count++] = *s;
        else if (*s != '0')
            sticky = 1;
    }
    exponent = whole - 1;
    if (*s == '.') {
        for (s++; IsDigit(*s); s++) {
            seen = 1;
            if (!started) {
                if (*s == '0') {
                    if (zeros < COUNT_LIMIT)
                        zeros++;
                    continue;
                }
                started = 1;
                exponent = -zeros - 1;
            }
            if (count < MAX_DIGITS)
                digits[count++] = *s;
            else if (*s != '0')
                sticky = 1;
        }
    }
    if (!seen)
        return 0;
    if (!started) {
        *value = 0.0;
        return 1;
    }

    while (digits[count - 1] == '0')
        count--;
    p = exponent - count + 1;

    /* Beyond the largest double and its half step, or below half the
       smallest one */
    if (exponent > 308) {
        *value = FromBits(INFINITY_BITS);
        return 1;
    }
    if (exponent < -324) {
        *value = 0.0;
        return 1;
    }

    /* Up to 15 digits and a power of ten that doubles hold exactly: one
       correctly rounded operation */
    if (!sticky && count <= 15 && p >= -22 && p <= 22 + 15 - count) {
        uint64_t w = 0;
        int i;

        for (i = 0; i < count; i++)
            w = w * 10 + (uint64_t)(digits[i] - '0');
        for (; p > 22; p--)
            w *= 10;
        if (p >= 0)
            *value = (double)(int64_t)w * exactPowers[p];
        else
            *value = (double)(int64_t)w / exactPowers[-p];
        return 1;
    }

    *value = NearestDouble(digits, count, sticky, p);
    return 1;
}
