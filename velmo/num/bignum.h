/* Wide and big unsigned integers for the exact number conversions. */
#ifndef VELMO_BIGNUM_H
#define VELMO_BIGNUM_H

#include <stdint.h>

/* 64 x 64 -> 128 bit product in 32-bit pieces, for compilers without a
   128-bit integer type */
static inline void MulWidePortable(uint64_t a, uint64_t b, uint64_t *hi, uint64_t *lo)
{
    uint64_t a0 = (uint32_t)a, a1 = a >> 32;
    uint64_t b0 = (uint32_t)b, b1 = b >> 32;
    uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    uint64_t mid = (p00 >> 32) + (uint32_t)p01 + (uint32_t)p10;

    *lo = (mid << 32) | (uint32_t)p00;
    *hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
}

#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 Uint128;
#endif

static inline void MulWide(uint64_t a, uint64_t b, uint64_t *hi, uint64_t *lo)
{
#ifdef __SIZEOF_INT128__
    Uint128 p = (Uint128)a * b;
    *hi = (uint64_t)(p >> 64);
    *lo = (uint64_t)p;
#else
    MulWidePortable(a, b, hi, lo);
#endif
}

/* A 128-bit binary fraction: hi holds the upper 64 bits */
struct Wide
{
    uint64_t hi, lo;
};

#define POW10_FRACTION_MIN (-364)
#define POW10_FRACTION_MAX 363

/* Sets *p so that 10^q is about p * 2^t with the top bit of p set, and
   returns t. Exact for 0 <= q <= 27, otherwise below 10^q by less than
   2^-126 of it, or above by less than 2^-128. q must lie in
   POW10_FRACTION_MIN..POW10_FRACTION_MAX. */
int PowerOfTenFraction(int q, Wide *p);

/* Room for the largest product of the exact paths: reading compares up to
   800 significant digits against a midpoint between doubles scaled by
   5^1123, both below 2^2665; writing needs less than 2^900. */
#define BIG_LIMBS 88

/* Unsigned integer of up to BIG_LIMBS 32-bit limbs, least significant
   first; size counts the limbs in use, the top one non-zero. */
struct BigNum
{
    int size;
    uint32_t limb[BIG_LIMBS];
};

void BigSet(BigNum *b, uint64_t value);
void BigMulAdd(BigNum *b, uint32_t factor, uint32_t add);
void BigMulPow5(BigNum *b, int n);
void BigShiftLeft(BigNum *b, int bits);
int BigCompare(const BigNum *a, const BigNum *b);

/* Compares a 5^p5 2^p2 with b; a negative power multiplies b instead */
int BigCompareScaled(BigNum *a, BigNum *b, int p5, int p2);

#endif
