/* Wide and big unsigned integers for the exact number conversions. */
#include "bignum.h"
#include "pow10table.h"

int PowerOfTenFraction(int q, Wide *p)
{
    int j = q >= 0 ? q / 28 : -((27 - q) / 28);
    int r = q - 28 * j;
    const uint64_t *big = pow10Big[j - POW10_BIG_FIRST];
    uint64_t small = pow10Small[r];
    uint64_t h1, l1, h0, l0, mid, top;

    /* floor(log2(10^q)), good for |q| < 643 */
    int t = ((q * 217706) >> 16) - 127;

    if (j == 0) {
        p->hi = small;
        p->lo = 0;
        return t;
    }
    if (r == 0) {
        p->hi = big[0];
        p->lo = big[1];
        return t;
    }

    /* 192-bit product of the two, cut to its top 128 bits */
    MulWide(big[0], small, &h1, &l1);
    MulWide(big[1], small, &h0, &l0);
    mid = l1 + h0;
    top = h1 + (mid < h0);
    if (top >> 63) {
        p->hi = top;
        p->lo = mid;
    } else {
        p->hi = (top << 1) | (mid >> 63);
        p->lo = (mid << 1) | (l0 >> 63);
    }
    return t;
}

static void Trim(BigNum *b)
{
    while (b->size > 0 && b->limb[b->size - 1] == 0)
        b->size--;
}

void BigSet(BigNum *b, uint64_t value)
{
    b->size = 0;
    while (value) {
        b->limb[b->size++] = (uint32_t)value;
        value >>= 32;
    }
}

void BigMulAdd(BigNum *b, uint32_t factor, uint32_t add)
{
    uint64_t carry = add;
    int i;

    for (i = 0; i < b->size; i++) {
        carry += (uint64_t)b->limb[i] * factor;
        b->limb[i] = (uint32_t)carry;
        carry >>= 32;
    }
    /* The callers stay within BIG_LIMBS; past it the top is lost, never
       written out of bounds */
    if (carry && b->size < BIG_LIMBS)
        b->limb[b->size++] = (uint32_t)carry;
    Trim(b);
}

void BigMulPow5(BigNum *b, int n)
{
    static const uint32_t pow5[14] = {
        1, 5, 25, 125, 625, 3125, 15625, 78125, 390625, 1953125, 9765625,
        48828125, 244140625, 1220703125
    };

    while (n >= 13) {
        BigMulAdd(b, pow5[13], 0);
        n -= 13;
    }
    if (n > 0)
        BigMulAdd(b, pow5[n], 0);
}

void BigShiftLeft(BigNum *b, int bits)
{
    int words = bits / 32, rest = bits % 32;
    int from = b->size, to, i;

    if (b->size == 0 || bits <= 0)
        return;
    to = from + words + (rest != 0);
    if (to > BIG_LIMBS)
        to = BIG_LIMBS;
    for (i = to - 1; i >= words; i--) {
        int k = i - words;
        uint32_t high = k < from ? b->limb[k] : 0;
        uint32_t low = k >= 1 && k - 1 < from ? b->limb[k - 1] : 0;
        b->limb[i] = rest ? (high << rest) | (low >> (32 - rest)) : high;
    }
    for (i = 0; i < words && i < to; i++)
        b->limb[i] = 0;
    b->size = to;
    Trim(b);
}

int BigCompare(const BigNum *a, const BigNum *b)
{
    int i;

    if (a->size != b->size)
        return a->size < b->size ? -1 : 1;
    for (i = a->size - 1; i >= 0; i--) {
        if (a->limb[i] != b->limb[i])
            return a->limb[i] < b->limb[i] ? -1 : 1;
    }
    return 0;
}

int BigCompareScaled(BigNum *a, BigNum *b, int p5, int p2)
{
    if (p5 >= 0)
        BigMulPow5(a, p5);
    else
        BigMulPow5(b, -p5);
    if (p2 >= 0)
        BigShiftLeft(a, p2);
    else
        BigShiftLeft(b, -p2);
    return BigCompare(a, b);
}
