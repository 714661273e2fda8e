/* PowerOf against MPFR's mpfr_pow rounded to double. Bytes 0-7 and 8-15
   give y and x; a seventeenth byte, when there is one, picks how they are
   used instead, so that the edges are reachable (see Operands). The error
   types must match; a result that differs from the correctly rounded one is
   measured in ulps, the worst so far printed, and one off by an ulp or more
   (not faithfully rounded) is a finding. */
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <mpfr.h>
#include "numtext.h"
#include "power.h"
#include "bits.h"

#define FRACTION_MASK   0x000FFFFFFFFFFFFFULL
#define EXACT_BITS      256

/* The mantissa of bits with a binary exponent from low to low + span - 1 */
static double WithExponent(uint64_t bits, int low, int span)
{
    int e = low + (int)((bits >> 52) & 0x7FF) % span;

    return ldexp(FromBits((bits & FRACTION_MASK) | 0x3FF0000000000000ULL), e) * (bits >> 63 ? -1 : 1);
}

/* x such that y^x is near 2^target: a relative offset picked by the bits */
static double TowardPowerOfTwo(double y, uint64_t bits, int target)
{
    double offset = (double)(int16_t)bits * ldexp(1.0, -(int)((bits >> 16) % 64));
    double l = log2(y);

    return l == 0 || !isfinite(l) ? 2.0 : (target + offset) / l;
}

static void Operands(const uint8_t *data, size_t size, double *y, double *x)
{
    uint64_t yb, xb;

    memcpy(&yb, data, 8);
    memcpy(&xb, data + 8, 8);
    *y = FromBits(yb);
    *x = FromBits(xb);
    if (size < 17)
        return;
    switch (data[16] % 12) {
    case 1:     /* y within 2^20 ulps of 1, x of magnitude 1 to 2^64 */
        *y = yb >> 63 ? 1.0 - (double)(yb % 0x100000) * 0x1p-53 : 1.0 + (double)(yb % 0x100000) * 0x1p-52;
        *x = WithExponent(xb, 0, 64);
        break;
    case 2:     /* whole x: small, or up to 2^53 */
        *x = xb >> 63 ? (double)(int64_t)(xb % 0x20000000000000ULL) : (double)(int)(xb % 4200) - 2100;
        break;
    case 3:     /* negative y, whole or half-whole x */
        *y = -fabs(*y);
        *x = ((double)(int)(xb % 4200) - 2100) / (xb >> 63 ? 2 : 1);
        break;
    case 4:     /* subnormal y, x of magnitude 2^-10 to 2^11 */
        *y = FromBits(yb & (FRACTION_MASK | 0x8000000000000000ULL));
        *x = WithExponent(xb, -10, 21);
        break;
    case 5:     /* near the overflow threshold 2^1024 */
        *y = fabs(*y);
        *x = TowardPowerOfTwo(*y, xb, 1024);
        break;
    case 6:     /* near the smallest normal, 2^-1022 */
        *y = fabs(*y);
        *x = TowardPowerOfTwo(*y, xb, -1022);
        break;
    case 7:     /* near the smallest subnormal, 2^-1074 */
        *y = fabs(*y);
        *x = TowardPowerOfTwo(*y, xb, -1074);
        break;
    case 8:     /* few-bit y times a power of two, small whole x: exact powers and ties */
        *y = ldexp((double)((yb % 0x8000000) | 1), (int)((yb >> 32) % 200) - 100);
        *x = (double)(2 + xb % 40);
        break;
    case 9:     /* small fractions n / d */
        *x = (double)((int)(xb % 41) - 20) / (double)(1 + (xb >> 8) % 12);
        break;
    case 10:    /* y a power of two */
        *y = ldexp(1.0, (int)(yb % 2098) - 1074);
        *x = WithExponent(xb, -20, 32);
        break;
    case 11:    /* x of magnitude 2^-60 to 2^12 */
        *x = WithExponent(xb, -60, 72);
        break;
    default:
        break;
    }
}

/* y^x rounded to double as IEEE rounds, with subnormals */
static double MpfrPow(double y, double x)
{
    mpfr_t a, b, r;
    double d;
    int t;

    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_inits2(53, a, b, r, (mpfr_ptr)0);
    mpfr_set_d(a, y, MPFR_RNDN);
    mpfr_set_d(b, x, MPFR_RNDN);
    t = mpfr_pow(r, a, b, MPFR_RNDN);
    t = mpfr_check_range(r, t, MPFR_RNDN);
    mpfr_subnormalize(r, t, MPFR_RNDN);
    d = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clears(a, b, r, (mpfr_ptr)0);
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    return d;
}

/* The error type and result PowerOf should give */
static int Expected(double y, double x, double *result)
{
    *result = 0.0;
    if (x == 0) {
        *result = 1.0;
        return 0;
    }
    if (isnan(y) || isnan(x))
        return MATH_DOMAIN;
    if (y == 0 && x < 0)
        return MATH_SING;
    /* also for y = -inf, where the limit would be a number */
    if (y < 0 && isfinite(x) && x != nearbyint(x))
        return MATH_DOMAIN;
    double r = MpfrPow(y, x);
    if (isnan(r))
        return MATH_DOMAIN;
    if (isinf(r))
        return MATH_OVERFLOW;
    if (y != 0 && fabs(r) < DBL_MIN)
        return MATH_UNDERFLOW;
    *result = r;
    return 0;
}

static const char *ErrorName(int error)
{
    static const char *const names[] = {"none", "DOMAIN", "SING", "OVERFLOW", "UNDERFLOW"};

    return error >= 0 && error <= 4 ? names[error] : "unknown";
}

/* |ours - y^x| in units of the spacing of doubles at the smaller of the
   two: below one exactly when ours is a neighbour of y^x (faithful), also
   where the two lie on either side of a power of two */
static double UlpError(double y, double x, double ours)
{
    mpfr_t a, b, exact, d;
    double error;
    int e;

    mpfr_inits2(EXACT_BITS, a, b, exact, d, (mpfr_ptr)0);
    mpfr_set_d(a, y, MPFR_RNDN);
    mpfr_set_d(b, x, MPFR_RNDN);
    mpfr_pow(exact, a, b, MPFR_RNDN);
    mpfr_set_d(d, ours, MPFR_RNDN);
    e = ilogb(ours);
    if (mpfr_get_exp(exact) - 1 < e)
        e = (int)mpfr_get_exp(exact) - 1;
    mpfr_sub(d, d, exact, MPFR_RNDN);
    mpfr_abs(d, d, MPFR_RNDN);
    mpfr_mul_2si(d, d, 52 - e, MPFR_RNDN);
    error = mpfr_get_d(d, MPFR_RNDU);
    mpfr_clears(a, b, exact, d, (mpfr_ptr)0);
    return error;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static double worst = 0;
    double y, x, ours = 0, theirs;
    int error, expected;

    if (size < 16)
        return 0;
    Operands(data, size, &y, &x);
    error = PowerOf(y, x, &ours);
    expected = Expected(y, x, &theirs);
    if (error != expected) {
        fprintf(stderr, "fuzz_power: y=%a x=%a (%.17g ^ %.17g)\n  PowerOf: %s, %a\n  MPFR:    %s, %a\n", y, x, y, x,
                ErrorName(error), ours, ErrorName(expected), theirs);
        abort();
    }
    if (error || Bits(ours) == Bits(theirs))
        return 0;

    double ulps = UlpError(y, x, ours);
    if (ulps > worst) {
        char a[NUMBER_TEXT_SIZE], b[NUMBER_TEXT_SIZE];
        FormatNumber(ours, a);
        FormatNumber(theirs, b);
        worst = ulps;
        fprintf(stderr, "new worst: y=%a x=%a ours=%a mpfr=%a err=%.17g ulp; shown: %s, %s (%s)\n", y, x, ours, theirs,
                ulps, a, b, strcmp(a, b) ? "12 digits differ" : "the same");
    }
    if (ulps >= 1.0) {
        fprintf(stderr, "fuzz_power: not faithfully rounded: y=%a x=%a ours=%a (%.17g) mpfr=%a (%.17g) err=%.17g ulp\n",
                y, x, ours, ours, theirs, theirs, ulps);
        abort();
    }
    return 0;
}
