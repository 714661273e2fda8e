/* The "%.12lg" number text, checked against the exact decimal expansion. */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "bignum.h"
#include "exact_decimal.h"
#include "numtext.h"

namespace {

std::string Format(double value)
{
    char out[NUMBER_TEXT_SIZE + 8];
    std::memset(out, '#', sizeof out);
    FormatNumber(value, out);
    for (size_t i = NUMBER_TEXT_SIZE; i < sizeof out; i++)
        EXPECT_EQ(out[i], '#') << "wrote past the text buffer";
    return out;
}

/* The text of a finite value: at most 19 characters of a small alphabet */
void ExpectTextShape(const std::string &text)
{
    EXPECT_LE(text.size(), 19u) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789-+.e"), std::string::npos) << text;
}

/* Checks count values from next() against the exact reference */
template <typename Next>
void CheckSample(int count, Next next)
{
    int failures = 0;
    for (int i = 0; i < count && failures < 10; i++) {
        double value = next();
        if (!std::isfinite(value))
            continue;
        std::string text = Format(value);
        std::string expected = ReferenceText(value);
        if (text != expected) {
            ADD_FAILURE() << Hex(BitsOf(value)) << ": " << text << " instead of " << expected;
            failures++;
        }
        ExpectTextShape(text);
    }
}

} // namespace

TEST(NumberText, KnownTexts)
{
    static const struct {
        double value;
        const char *text;
    } cases[] = {
        { 1e15, "1e+015" },
        { 1.5e-7, "1.5e-007" },
        { 123456789012345.0, "1.23456789012e+014" },
        { 999999999999.0, "999999999999" },
        { 999999999999.5, "1e+012" },
        { 999999999999.4, "999999999999" },
        { 1e12 - 0.5, "1e+012" },
        { 1e12 - 0.6, "999999999999" },
        { 99999999999.95, "99999999999.9" },   /* the double is just below .95 */
        { 99999999999.995, "100000000000" },
        { 0.0001, "0.0001" },
        { 0.0000999999999999995, "0.0001" },
        { 0.0000999999999999449, "9.99999999999e-005" },
        { 0.00001, "1e-005" },
        { 1e-4, "0.0001" },
        { 1e-5, "1e-005" },
        { 1e11, "100000000000" },
        { 1e12, "1e+012" },
        { 1e99, "1e+099" },
        { 1e100, "1e+100" },
        { 1e23, "1e+023" },
        { 2.0 / 3, "0.666666666667" },
        { -1.5e20, "-1.5e+020" },
        { -0.0001, "-0.0001" },
        { -123.456, "-123.456" },
        { 123456.7, "123456.7" },
        { 0.1, "0.1" },
        { 0.5, "0.5" },
        { 100.0, "100" },
        { 3e-5, "3e-005" },
        { 1e-300, "1e-300" },
        { 5e-324, "4.94065645841e-324" },
        { -5e-324, "-4.94065645841e-324" },
        { DBL_MAX, "1.79769313486e+308" },
        { -DBL_MAX, "-1.79769313486e+308" },
        { DBL_MIN, "2.22507385851e-308" },
        { 0.0, "0" },
        { -0.0, "0" },
        { 1.0, "1" },
        { -1.0, "-1" },
        { -1.23456789012e-100, "-1.23456789012e-100" },
        /* never on the display, but written safely */
        { HUGE_VAL, "inf" },
        { -HUGE_VAL, "-inf" },
        { NAN, "nan" },
    };
    for (const auto &c : cases) {
        std::string text = Format(c.value);
        EXPECT_EQ(text, c.text) << Hex(BitsOf(c.value));
        EXPECT_EQ(ReferenceText(c.value), c.text) << Hex(BitsOf(c.value));
        if (std::isfinite(c.value))
            ExpectTextShape(text);
    }
}

/* Digits past the 12th: rounding to 17 digits first can carry into the
   12th, and near one half the 17-digit rounding needs exact arithmetic */
TEST(NumberText, RoundingBeyondTwelveDigits)
{
    /* Exact digits 13-17 are 49999 and the rest is at least one half: 17
       digits end in 50000, which rounds the 12th up; the exact value
       alone would round it down */
    static const struct {
        uint64_t bits;
        const char *text;
    } carried[] = {
        { 0x00002035b850f175ULL, "1.74973831019e-310" },
        { 0x1679dd046d084f7cULL, "2.11177504292e-200" },
        { 0x37c37720330fdcfbULL, "4.46902176119e-040" },
        { 0x3f136a6d8b4fe0feULL, "7.40651474444e-005" },
        { 0x3f241c71038c31e0ULL, "0.000153435512197" },
        { 0x3fbc8e64a8062812ULL, "0.111547747633" },
        { 0x4011eb65124880f2ULL, "4.47987774437" },
        { 0x40b9efcf8f27e623ULL, "6639.81077814" },
        { 0x448a5129d0c883b7ULL, "1.55348409942e+022" },
        { 0x54e45c3984cd84b3ULL, "8.90659548038e+100" },
        { 0x7e5c72548a1e282dULL, "4.7626217801e+300" },
    };
    for (const auto &c : carried) {
        double value = FromBits(c.bits);
        EXPECT_NE(DirectText(value), c.text) << Hex(c.bits);
        EXPECT_EQ(ReferenceText(value), c.text) << Hex(c.bits);
        EXPECT_EQ(Format(value), c.text) << Hex(c.bits);
    }

    /* Digits 13-17 are 49999 and the 18th on are within 2^-40 of one half
       (found by lattice search): the 17-digit rounding, and with it the
       12th digit, turns on the sign of a difference far below the error
       of 128-bit powers of ten */
    static const uint64_t nearHalf[] = {
        0x01cf1fa335168ce8ULL, 0x0a67ee87b9f86f67ULL, 0x116b249e97b220afULL,
        0x19c035cb38104a4bULL, 0x27ace887c353adcbULL, 0x29d841f0f529b023ULL,
        0x2efc8be7b47a6204ULL, 0x2f1c4b41c7f69cd4ULL, 0x3271bef8dd530e5aULL,
        0x3686d4868d738ea8ULL, 0x3d7c6478f7efba24ULL, 0x4a2974c1acc6e149ULL,
        0x4a88a2c1669f10bbULL, 0x5d6ff19fd75b1b77ULL, 0x6d26394705fed7f2ULL,
        0x6ef0f755ff069514ULL, 0x7101d8bf4dda1b56ULL, 0x7e01ebc52e20fe1eULL,
    };
    int above = 0, below = 0;
    for (uint64_t bits : nearHalf) {
        double value = FromBits(bits);
        std::string digits = ExactDecimalOf(value).digits;
        std::string tail = digits.substr(12, 15);
        ASSERT_TRUE(tail == "499995000000000" || tail == "499994999999999") << Hex(bits);
        (tail[5] == '5' ? above : below)++;
        EXPECT_EQ(Format(value), ReferenceText(value)) << Hex(bits);
        EXPECT_EQ(Format(-value), ReferenceText(-value)) << Hex(bits);
    }
    EXPECT_GT(above, 3);
    EXPECT_GT(below, 3);

    /* Exactly 18 significant digits ending in 5: a tie at 17 digits */
    static const struct {
        double value;
        const char *text;
    } ties[] = {
        { 1234567890124999.75, "1.23456789012e+015" },
        { 1234567890123456.25, "1.23456789012e+015" },
        { 1999999999999999.75, "2e+015" },
        { 1999999999949999.25, "1.99999999995e+015" },
        { 140737488355327.875, "1.40737488355e+014" },
    };
    for (const auto &c : ties) {
        Decimal exact = ExactDecimalOf(c.value);
        ASSERT_EQ(exact.digits.size(), 18u);
        ASSERT_EQ(exact.digits.back(), '5');
        EXPECT_EQ(Format(c.value), c.text);
        EXPECT_EQ(ReferenceText(c.value), c.text);
    }
}

/* Every kind of double, straight from random bit patterns */
TEST(NumberText, RandomBitPatterns)
{
    std::mt19937_64 random(20240601);
    CheckSample(1200000, [&] { return FromBits(random()); });
}

/* What the calculator shows most: whole numbers, short decimals, results
   of arithmetic on them, and values next to powers of ten */
TEST(NumberText, CalculatorValues)
{
    std::mt19937_64 random(7);
    auto below = [&](uint64_t limit) { return random() % limit; };

    CheckSample(100000, [&] {
        double value = (double)below(1000000000000000000ULL >> below(60));
        return below(2) ? value : -value;
    });
    CheckSample(100000, [&] {
        return (double)below(1000000000000ULL) / std::pow(10.0, (double)below(16));
    });
    CheckSample(100000, [&] {
        double a = (double)below(100000) + 1, b = (double)below(100000) + 1;
        switch (below(4)) {
        case 0: return a / b;
        case 1: return a * b * 1e-7;
        case 2: return std::sqrt(a) / b;
        default: return std::pow(a, (double)below(60)) / std::pow(b, (double)below(60));
        }
    });
    for (int n = -323; n <= 308; n++) {
        double power = std::strtod(("1e" + std::to_string(n)).c_str(), nullptr);
        double value = power;
        for (int step = 0; step < 4; step++) {
            value = std::nextafter(value, 0.0);
            CheckSample(1, [&] { return value; });
        }
        value = power;
        for (int step = 0; step < 4; step++) {
            CheckSample(1, [&] { return value; });
            value = std::nextafter(value, HUGE_VAL);
        }
        CheckSample(1, [&] { return power * (1 - 5e-13); });
        CheckSample(1, [&] { return power * (1 - 4.9999999999e-13); });
    }
}

/* The 128-bit product helper and the powers of ten under the fast path */
TEST(WideArithmetic, ProductsAndPowersOfTen)
{
#ifdef __SIZEOF_INT128__
    /* The 32-bit-pieces product, which i686 builds use, against the
       compiler's 128-bit one */
    std::mt19937_64 random(3);
    for (int i = 0; i < 20000; i++) {
        uint64_t a = random(), b = random();
        if (i < 64) {
            a = ~0ULL << (i % 8);
            b = ~0ULL >> (i / 8);
        }
        Uint128 p = (Uint128)a * b;
        uint64_t hi, lo;
        MulWidePortable(a, b, &hi, &lo);
        ASSERT_EQ(hi, (uint64_t)(p >> 64)) << a << " * " << b;
        ASSERT_EQ(lo, (uint64_t)p) << a << " * " << b;
    }
#endif

    /* p 2^t within 2^-126 of 10^q, exact for 0 <= q <= 27 */
    Decimal lowFactor = ExactDecimalWide((1ULL << 62) - 1, ~0ULL, -126);
    Decimal highFactor = ExactDecimalWide(1ULL << 62, 1, -126);
    for (int q = POW10_FRACTION_MIN; q <= POW10_FRACTION_MAX; q++) {
        Wide p;
        int t = PowerOfTenFraction(q, &p);
        ASSERT_TRUE(p.hi >> 63) << q;
        Decimal value = ExactDecimalWide(p.hi, p.lo, t);
        Decimal low = lowFactor, high = highFactor;
        low.exponent += q;
        high.exponent += q;
        if (q >= 0 && q <= 27) {
            EXPECT_EQ(value.digits, "1") << q;
            EXPECT_EQ(value.exponent, q) << q;
        } else {
            EXPECT_GT(CompareDecimal(value, low), 0) << q;
            EXPECT_LT(CompareDecimal(value, high), 0) << q;
        }
    }
}
