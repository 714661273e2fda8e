/* Y to the power X: exp(x log y) in double-double arithmetic, rounded once.
   Only IEEE additions, multiplications and divisions of doubles, so every
   target gives the same bits. */
#include <stdint.h>
#include <string.h>
#include "power.h"
#include "bits.h"
#include "powerseries.h"

#define FRACTION_MASK   0x000FFFFFFFFFFFFFULL
#define HIDDEN_BIT      0x0010000000000000ULL
#define EXPONENT_MASK   0x7FF0000000000000ULL
#define SIGN_BIT        0x8000000000000000ULL

/* Past this |x log y| the result is far out of range either way */
#define EXP_LIMIT       800.0

/* An unevaluated sum hi + lo with |lo| at most half an ulp of hi */
struct DD
{
    double hi, lo;
};

static int IsInfinite(double value)
{
    return (Bits(value) & ~SIGN_BIT) == EXPONENT_MASK;
}

static DD TwoSum(double a, double b)
{
    DD r;
    double v;

    r.hi = a + b;
    v = r.hi - a;
    r.lo = (a - (r.hi - v)) + (b - v);
    return r;
}

/* Only for |a| >= |b| */
static DD FastTwoSum(double a, double b)
{
    DD r;

    r.hi = a + b;
    r.lo = b - (r.hi - a);
    return r;
}

/* a = hi + lo with 26-bit halves (Veltkamp) */
static void Split(double a, double *hi, double *lo)
{
    double t = 134217729.0 * a;

    *hi = t - (t - a);
    *lo = a - *hi;
}

/* Exact product (Dekker), no fused multiply-add needed */
static DD TwoProduct(double a, double b)
{
    DD r;
    double ah, al, bh, bl;

    r.hi = a * b;
    Split(a, &ah, &al);
    Split(b, &bh, &bl);
    r.lo = ((ah * bh - r.hi) + ah * bl + al * bh) + al * bl;
    return r;
}

static DD Add(DD a, DD b)
{
    DD s = TwoSum(a.hi, b.hi);
    DD t = TwoSum(a.lo, b.lo);

    s.lo += t.hi;
    s = FastTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return FastTwoSum(s.hi, s.lo);
}

static DD AddDouble(DD a, double b)
{
    DD s = TwoSum(a.hi, b);

    s.lo += a.lo;
    return FastTwoSum(s.hi, s.lo);
}

static DD Mul(DD a, DD b)
{
    DD p = TwoProduct(a.hi, b.hi);

    p.lo += a.hi * b.lo + a.lo * b.hi;
    return FastTwoSum(p.hi, p.lo);
}

static DD Constant(const double c[2])
{
    DD r;

    r.hi = c[0];
    r.lo = c[1];
    return r;
}

/* 2^n for -1022 <= n <= 1023 */
static double PowerOfTwo(int n)
{
    return FromBits((uint64_t)(n + 1023) << 52);
}

/* c0 + c1 x + c2 x^2 + ...: the first headTerms coefficients in
   double-double, the small tail terms in double arithmetic on x.hi */
static DD Series(DD x, const double head[][2], int headTerms, const double *tail, int tailTerms)
{
    DD s;
    int i;

    s.hi = tail[tailTerms - 1];
    for (i = tailTerms - 2; i >= 0; i--)
        s.hi = s.hi * x.hi + tail[i];
    s.lo = 0.0;
    for (i = headTerms - 1; i >= 0; i--)
        s = Add(Mul(s, x), Constant(head[i]));
    return s;
}
/* Natural log of a positive finite y */
static DD Log(double y)
{
    uint64_t bits = Bits(y);
    int e = (int)(bits >> 52) - 1023;
    double m, u;
    DD v, f, z, s, r;

    if (e == -1023) {
        /* Subnormal: scale into the normal range first */
        bits = Bits(y * PowerOfTwo(54));
        e = (int)(bits >> 52) - 1023 - 54;
    }
    /* y = m 2^e with m in [sqrt(1/2), sqrt(2)) */
    m = FromBits((bits & FRACTION_MASK) | 0x3FF0000000000000ULL);
    if (m >= 0x1.6a09e667f3bcdp+0) {
        m *= 0.5;
        e++;
    }

    /* log m = 2 atanh f, f = (m - 1) / (m + 1), |f| < 0.1716 */
    u = m - 1.0;
    v = TwoSum(m, 1.0);
    f.hi = u / v.hi;
    r = TwoProduct(f.hi, v.hi);
    f.lo = (((u - r.hi) - r.lo) - f.hi * v.lo) / v.hi;
    f = FastTwoSum(f.hi, f.lo);
    z = Mul(f, f);

    s = Mul(f, Series(z, logHead, LOG_DD_TERMS, logTail, LOG_TAIL_TERMS));
    s.hi *= 2.0;
    s.lo *= 2.0;

    /* plus e ln 2; e ln2Part1 and e ln2Part2 are exact */
    r = FastTwoSum(e * ln2Part1, e * ln2Part2);
    r = AddDouble(r, e * ln2Part3);
    return Add(r, s);
}

/* exp t for |t.hi| <= EXP_LIMIT, as a double-double times 2^*scale */
static DD Exp(DD t, int *scale)
{
    double kd = t.hi * invLn2;
    int k = (int)(kd < 0 ? kd - 0.5 : kd + 0.5);
    DD r;

    /* r = t - k ln 2, |r| <= ln2 / 2 + tiny; k ln2Part1, k ln2Part2 exact */
    r = TwoSum(t.hi, -(k * ln2Part1));
    r = AddDouble(r, -(k * ln2Part2));
    r = AddDouble(r, t.lo);
    r = AddDouble(r, -(k * ln2Part3));

    *scale = k;
    return Series(r, expHead, EXP_DD_TERMS, expTail, EXP_TAIL_TERMS);
}

/* 0 when x is not an integer, 1 when odd, 2 when even (or infinite) */
static int IntegerKind(double x)
{
    uint64_t bits = Bits(x);
    int biased = (int)(bits >> 52) & 0x7FF;
    uint64_t m = (bits & FRACTION_MASK) | HIDDEN_BIT;
    int shift;

    if (x == 0.0)
        return 2;
    if (biased < 1023)
        return 0;
    if (biased > 1075)
        return 2;
    shift = 1075 - biased;
    if (m & ((1ULL << shift) - 1))
        return 0;
    return (m >> shift) & 1 ? 1 : 2;
}

/* y^x exactly, as a double-double times 2^*scale, when x is a whole number
   up to 2048 in magnitude and the power of y's odd part fits in 64 bits (for
   negative x, only when y is a power of two); returns 0 otherwise */
static int ExactPower(double y, double x, DD *result, int *scale)
{
    uint64_t bits = Bits(y);
    int biased = (int)(bits >> 52);
    uint64_t m = bits & FRACTION_MASK;
    uint64_t w = 1, low;
    int e, n, i, zeros, size;

    if (x < -2048.0 || x > 2048.0 || !IntegerKind(x))
        return 0;
    n = (int)x;
    if (biased) {
        m |= HIDDEN_BIT;
        e = biased - 1075;
    } else {
        e = -1074;
    }
    zeros = __builtin_ctzll(m);
    m >>= zeros;
    e += zeros;

    if (m != 1) {
        if (n < 0)
            return 0;
        for (i = 0; i < n; i++) {
            if (w > UINT64_MAX / m)
                return 0;
            w *= m;
        }
    }

    /* w in two doubles, each exactly */
    size = 64 - __builtin_clzll(w);
    low = size > 53 ? w & ((1ULL << (size - 53)) - 1) : 0;
    result->hi = (double)(int64_t)((w - low) >> (size > 53 ? size - 53 : 0));
    if (size > 53)
        result->hi *= PowerOfTwo(size - 53);
    result->lo = (double)(int64_t)low;
    *scale = e * n;
    return 1;
}

/* Rounds v 2^scale to double into *result; the error type if it overflows
   or falls below the smallest normal double */
static int RoundScaled(DD v, int scale, double *result)
{
    double s = v.hi + v.lo;
    uint64_t bits = Bits(s);
    int exponent = (int)(bits >> 52) - 1023 + scale;

    if (exponent >= 1024)
        return MATH_OVERFLOW;
    if (exponent < -1022) {
        /* Just below 2^-1022, on the grid of its subnormal neighbours the
           value rounds up to it unless it lies below the midpoint */
        if (exponent == -1023 && (bits & FRACTION_MASK) == FRACTION_MASK
            && (v.hi - s) + v.lo >= 0.0) {
            *result = PowerOfTwo(-1022);
            return 0;
        }
        return MATH_UNDERFLOW;
    }
    *result = FromBits((bits & ~EXPONENT_MASK) | ((uint64_t)(exponent + 1023) << 52));
    return 0;
}

int PowerOf(double y, double x, double *result)
{
    int negate = 0, scale, error;
    DD v, t;

    *result = 0.0;
    if (x == 0.0) {
        *result = 1.0;
        return 0;
    }
    if (x != x || y != y)
        return MATH_DOMAIN;
    if (y == 0.0) {
        if (x < 0.0)
            return MATH_SING;
        if ((Bits(y) & SIGN_BIT) && IntegerKind(x) == 1)
            *result = -0.0;
        return 0;
    }
    if (y < 0.0) {
        int kind = IntegerKind(x);

        if (!kind)
            return MATH_DOMAIN;
        negate = kind == 1;
        y = -y;
    }
    if (y == 1.0) {
        *result = negate ? -1.0 : 1.0;
        return 0;
    }
    /* Infinite operands: the limits, all out of range */
    if (IsInfinite(y))
        return x > 0.0 ? MATH_OVERFLOW : MATH_UNDERFLOW;
    if (IsInfinite(x))
        return (x > 0.0) == (y > 1.0) ? MATH_OVERFLOW : MATH_UNDERFLOW;

    if (!ExactPower(y, x, &v, &scale)) {
        DD l = Log(y);

        t.hi = x * l.hi;
        if (t.hi > EXP_LIMIT)
            return MATH_OVERFLOW;
        if (t.hi < -EXP_LIMIT)
            return MATH_UNDERFLOW;
        t = TwoProduct(x, l.hi);
        t.lo += x * l.lo;
        t = FastTwoSum(t.hi, t.lo);
        v = Exp(t, &scale);
    }
    error = RoundScaled(v, scale, result);
    if (error)
        return error;
    if (negate)
        *result = -*result;
    return 0;
}
