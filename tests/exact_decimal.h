/* Exact decimal values of doubles and of typed digits, for checking the
   number text and number reading against plain, slow arithmetic. */
#ifndef EXACT_DECIMAL_H
#define EXACT_DECIMAL_H

#include <cstdint>
#include <string>

/* A non-negative decimal: digits without leading or trailing zeros (empty
   for zero) and the decimal exponent of the first digit, so "15", 2 is 150
   and "15", -1 is 0.15 */
struct Decimal
{
    std::string digits;
    int exponent = 0;
};

/* m 2^e, exactly */
Decimal ExactDecimal(uint64_t m, int e);

/* (hi 2^64 + lo) 2^e, exactly */
Decimal ExactDecimalWide(uint64_t hi, uint64_t lo, int e);

/* |value| exactly; value finite */
Decimal ExactDecimalOf(double value);

/* The midpoint between the non-negative double with these bits and the
   next one up (for the largest double, the overflow threshold) */
Decimal MidpointAbove(uint64_t bits);

/* Digits with an optional point, all of text */
Decimal ParseDecimal(const std::string &text);

/* a < b: -1, a == b: 0, a > b: 1 */
int CompareDecimal(const Decimal &a, const Decimal &b);

/* Rounded to count significant digits, half to even or half up */
Decimal RoundDecimal(const Decimal &d, int count, bool halfEven);

/* The calculator's text of value: exact value rounded to 17 digits half to
   even, then half up to 12 */
std::string ReferenceText(double value);

/* Same layout, but rounded from the exact value straight to 12 digits */
std::string DirectText(double value);

/* The decimal as plain digits with a point where needed, e.g. "0.00125" */
std::string PlainText(const Decimal &d);

/* Whether the double with these bits is the one nearest to d (ties to
   even); bits may be those of +0 or +infinity */
bool IsNearestDouble(const Decimal &d, uint64_t bits);

uint64_t BitsOf(double value);
double FromBits(uint64_t bits);

/* "0x" and 16 hex digits, for messages that show exact bits */
std::string Hex(uint64_t bits);

#endif
