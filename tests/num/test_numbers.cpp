/* Number text, typed-number reading and the power function. On the host they
   are checked against glibc, whose "%.16e", strtod and powl are exact enough
   to be the reference; on every target a digest of a fixed sample must come
   out as on the host, so Windows gives the same texts, values and bits. */
#include <gtest/gtest.h>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include "arith.h"
#include "bignum.h"
#include "bits.h"
#include "fpu.h"
#include "numtext.h"
#include "power.h"

namespace {

std::string Format(double value)
{
    char out[NUMBER_TEXT_SIZE + 8];
    memset(out, '#', sizeof out);
    FormatNumber(value, out);
    EXPECT_EQ(std::string(out + NUMBER_TEXT_SIZE, 8), "########") << "wrote past the buffer";
    return out;
}

/* y ^ x: the error, or the result bit for bit */
struct PowerCase
{
    double y, x;
    int error;
    double result;
};

/* Operands of every kind: in range, near 1, whole powers, typed-looking,
   near the ends of the range, roots */
void Operands(std::mt19937_64 &random, double *y, double *x)
{
    auto unit = [&] { return (double)(random() >> 11) / 9007199254740992.0; };
    auto scaled = [&](int lo, int hi) {
        return FromBits((uint64_t)(lo + (int)(random() % (uint64_t)(hi - lo + 1)) + 1023) << 52 | random() >> 12);
    };
    switch (random() % 6) {
    case 0: *y = scaled(-40, 40), *x = (unit() * 2 - 1) * 25; break;
    case 1: *y = 1 + (unit() * 2 - 1) * 1e-6, *x = (unit() * 2 - 1) * 5e8; break;
    case 2: *y = (random() % 2 ? -1 : 1) * scaled(-10, 10), *x = (double)((int)(random() % 121) - 60); break;
    case 3: *y = (double)(random() % 100000) / 100, *x = (double)((int)(random() % 2001) - 1000) / 100; break;
    case 4: *y = scaled(-1022, 1023), *x = (unit() * 2 - 1) * 1.5; break;
    default: *y = scaled(-300, 300), *x = 1.0 / (double)(2 + random() % 20);
    }
}

/* Typed text: digits, maybe a point and more digits, up to 40 in all */
std::string TypedText(std::mt19937_64 &random)
{
    std::string text;
    int digits = 1 + (int)(random() % 40), point = (int)(random() % (digits + 2));
    for (int i = 0; i < digits; i++)
        text += (i == point ? "." : "") + std::string(1, (char)('0' + random() % 10));
    return text;
}

} // namespace

/* What never reaches the display (the stack holds no value from the square root
   of the largest double on) but is written or classified safely all the same;
   the cases the program can show are rows of tests/num/numbers.rows */
TEST(NumberText, ValuesNeverShown)
{
    EXPECT_EQ(Format(HUGE_VAL), "inf");
    EXPECT_EQ(Format(-HUGE_VAL), "-inf");
    EXPECT_EQ(Format(NAN), "nan");
    EXPECT_EQ(Format(-DBL_MAX), "-1.79769313486e+308");
}

TEST(NumberRead, FormsNotTyped)
{
    const struct { const char *text; int read; double value; } cases[] = {
        {".5", 1, 0.5}, {"00.000", 1, 0}, {"12x", 1, 12}, {"1e5", 1, 1}, {"1.2.3", 1, 1.2},
        {".", 0, 0}, {"", 0, 0}, {"..5", 0, 0}, {"-5", 0, 0}, {"+5", 0, 0}, {" 5", 0, 0},
    };
    for (const auto &c : cases) {
        double value = -1;
        EXPECT_EQ(ReadNumber(c.text, &value), c.read) << c.text;
        EXPECT_EQ(Bits(value), Bits(c.read ? c.value : -1)) << c.text;
    }
    double value = 0;
    std::string huge = std::string(900, '9') + ".5";     /* more digits than are kept */
    EXPECT_EQ(ReadNumber(huge.c_str(), &value), 1);
    EXPECT_TRUE(std::isinf(value));
    std::string tiny = "0." + std::string(400, '0') + "1";
    EXPECT_EQ(ReadNumber(tiny.c_str(), &value), 1);
    EXPECT_EQ(value, 0.0);
}

TEST(Power, OperandsAndResultsNeverOnTheStack)
{
    const double inf = HUGE_VAL;
    const PowerCase cases[] = {
        {NAN, 0, 0, 1}, {inf, 2, MATH_OVERFLOW, 0}, {inf, -2, MATH_UNDERFLOW, 0}, {-inf, 0.5, MATH_DOMAIN, 0},
        {0.5, inf, MATH_UNDERFLOW, 0}, {0.5, -inf, MATH_OVERFLOW, 0}, {-1, inf, 0, 1}, {0, -inf, MATH_SING, 0},
        {NAN, 2, MATH_DOMAIN, 0}, {2, NAN, MATH_DOMAIN, 0}, {0, -1, MATH_SING, 0}, {-2, 0.5, MATH_DOMAIN, 0},
        {-2, -1075, MATH_UNDERFLOW, 0}, {-2, 1023, 0, -0x1p1023}, {-2, 1025, MATH_OVERFLOW, 0}, {10, 308, 0, 1e308},
        {10, 309, MATH_OVERFLOW, 0}, {1.3407807929942596e154, 2, 0, 0x1.ffffffffffffep1023},
    };
    for (const PowerCase &c : cases) {
        double result = 12345;
        EXPECT_EQ(PowerOf(c.y, c.x, &result), c.error) << std::hexfloat << c.y << " ^ " << c.x;
        EXPECT_EQ(Bits(result), Bits(c.error ? 0.0 : c.result)) << std::hexfloat << c.y << " ^ " << c.x << " = " << result;
    }
}

#ifndef _WIN32
/* The calculator's text from glibc's correctly rounded 17 digits, half up to 12 */
static std::string Reference(double v)
{
    char buf[40];
    if (v == 0)
        return "0";
    snprintf(buf, sizeof buf, "%.16e", std::fabs(v));
    int exp = atoi(strchr(buf, 'e') + 1);
    unsigned long long d = std::stoull(std::string(1, buf[0]) + std::string(buf + 2, 11)) + (buf[13] >= '5');
    if (d == 1000000000000ULL)
        d /= 10, exp++;
    std::string t = std::to_string(d), sign = v < 0 ? "-" : "";
    t.erase(t.find_last_not_of('0') + 1);
    if (exp < -4 || exp >= 12) {
        snprintf(buf, sizeof buf, "e%c%03d", exp < 0 ? '-' : '+', std::abs(exp));
        return sign + t[0] + (t.size() > 1 ? "." + t.substr(1) : "") + buf;
    }
    if (exp < 0)
        return sign + "0." + std::string((size_t)(-exp - 1), '0') + t;
    t.resize(std::max(t.size(), (size_t)exp + 1), '0');
    return sign + t.substr(0, (size_t)exp + 1) + (t.size() > (size_t)exp + 1 ? "." + t.substr((size_t)exp + 1) : "");
}

TEST(NumberText, SameAsGlibcDigits)
{
    /* Digits 13-17 are 49999 and the rest within 2^-40 of one half: the 12th digit turns on
       the sign of a difference far below the error of 128-bit powers of ten */
    const uint64_t nearHalf[] = {
        0x01cf1fa335168ce8, 0x0a67ee87b9f86f67, 0x116b249e97b220af, 0x19c035cb38104a4b, 0x27ace887c353adcb,
        0x29d841f0f529b023, 0x2efc8be7b47a6204, 0x2f1c4b41c7f69cd4, 0x3271bef8dd530e5a, 0x3686d4868d738ea8,
        0x3d7c6478f7efba24, 0x4a2974c1acc6e149, 0x4a88a2c1669f10bb, 0x5d6ff19fd75b1b77, 0x6d26394705fed7f2,
        0x6ef0f755ff069514, 0x7101d8bf4dda1b56, 0x7e01ebc52e20fe1e};
    for (uint64_t bits : nearHalf)
        EXPECT_EQ(Format(FromBits(bits)), Reference(FromBits(bits))) << std::hex << bits;
    std::mt19937_64 random(20240601);
    int failures = 0;
    for (int i = 0; i < 1000000 && failures < 10; i++) {
        /* random bits, short decimals, and whole numbers times powers of ten */
        double v = i % 3 == 0   ? FromBits(random())
                   : i % 3 == 1 ? (double)(random() % 1000000000000ULL) / std::pow(10.0, (double)(random() % 30))
                                : (double)(random() % 1000) * std::pow(10.0, (double)(random() % 600) - 300);
        if (std::isfinite(v) && Format(v) != Reference(v) && ++failures)
            ADD_FAILURE() << std::hexfloat << v << ": " << Format(v) << " instead of " << Reference(v);
        EXPECT_LE(Format(v).size(), std::isfinite(v) ? 19u : 4u);
    }
}

/* strtod is correctly rounded, ties to even; so is our reading. Midpoints
   between neighbouring doubles are exact in long double, and printf writes
   them out digit for digit. */
TEST(NumberRead, SameAsStrtod)
{
    std::mt19937_64 random(11);
    int failures = 0;
    for (int i = 0; i < 200000 && failures < 10; i++) {
        std::string text = TypedText(random);
        if (i % 4 == 2)     /* few significant digits among many zeros */
            text = i % 8 == 2 ? text.substr(0, 3) + std::string(16 + random() % 30, '0')
                              : "0." + std::string(random() % 330, '0') + text.substr(0, 3);
        if (i % 2) {
            double a = FromBits(random() % 0x7FE0000000000000ULL);
            char buf[1500];
            snprintf(buf, sizeof buf, "%.1080Lf", ((long double)a + (long double)std::nextafter(a, HUGE_VAL)) / 2);
            text = buf;
            text.erase(text.find_last_not_of('0') + 1);
            if (i % 3 == 1)
                text += "000001";                       /* just above the midpoint */
            else if (i % 3 == 2 && text.back() != '.')   /* just below, also past the digits kept */
                text.back() = (char)(text.back() - 1), text += i % 4 == 1 ? std::string(800, '0') + "1" : "";
        }
        double ours = -1, theirs = strtod(text.c_str(), nullptr);
        if ((!ReadNumber(text.c_str(), &ours) || Bits(ours) != Bits(theirs)) && ++failures)
            ADD_FAILURE() << text.substr(0, 60) << "... (" << text.size() << " characters)";
    }
}

/* powl is within an ulp of its 64-bit mantissa: rounded to double it is the
   correctly rounded power unless it lies next to a halfway point */
TEST(Power, SameAsPowl)
{
    std::mt19937_64 random(101);
    int compared = 0, failures = 0;
    for (int i = 0; i < 1000000 && failures < 10; i++) {
        double y, x;
        Operands(random, &y, &x);
        long double exact = powl(std::fabs((long double)y), (long double)x);
        int exponent;
        uint64_t low = (uint64_t)ldexpl(frexpl(exact, &exponent), 64) & 0x7FF;
        if (exact == 0 || !std::isfinite(exact) || (exponent >= -1040 && exponent < -1021)
            || (exponent > 1024 && exponent <= 1030) || (low >= 0x3FC && low <= 0x404))
            continue;
        double expected = (double)exact * (y < 0 && std::fmod(x, 2.0) != 0 ? -1 : 1);
        int error = std::isinf(expected) ? MATH_OVERFLOW : std::fabs(expected) < DBL_MIN ? MATH_UNDERFLOW : 0;
        double result = 0;
        compared++;
        if ((PowerOf(y, x, &result) != error || (!error && Bits(result) != Bits(expected))) && ++failures)
            ADD_FAILURE() << std::hexfloat << y << " ^ " << x << " = " << result << ", not " << expected;
    }
    EXPECT_GT(compared, 900000);
}

TEST(WideArithmetic, PortableProduct)
{
    /* The product i686 builds use, against the compiler's 128-bit one */
    std::mt19937_64 random(3);
    for (int i = 0; i < 20000; i++) {
        uint64_t a = i < 64 ? ~0ULL << (i % 8) : random(), b = i < 64 ? ~0ULL >> (i / 8) : random(), hi, lo;
        Uint128 p = (Uint128)a * b;
        MulWidePortable(a, b, &hi, &lo);
        ASSERT_EQ(hi, (uint64_t)(p >> 64));
        ASSERT_EQ(lo, (uint64_t)p);
    }
}
#endif

/* The same texts, values and bits on every target: a digest of a fixed sample,
   computed with the math unit as the program sets it. The x87's control word
   is put back after, for glibc's powl, which the host tests need at 64 bits. */
TEST(Numbers, SameDigestOnEveryTarget)
{
    unsigned short controlWord = 0;
    __asm__ volatile("fnstcw %0" : "=m"(controlWord));
    SetMathUnit();
    std::mt19937_64 random(7);
    uint64_t digest = 14695981039346656037ULL;
    auto mix = [&](const void *data, size_t n) {
        for (size_t i = 0; i < n; i++)
            digest = (digest ^ ((const unsigned char *)data)[i]) * 1099511628211ULL;
    };
    for (int i = 0; i < 100000; i++) {
        double y, x, v = 0, result = 0;
        std::string text = Format(FromBits(random())), typed = TypedText(random);
        int error;
        mix(text.data(), text.size());
        ReadNumber(typed.c_str(), &v);
        mix(&v, sizeof v);
        Operands(random, &y, &x);
        error = PowerOf(y, x, &result);
        mix(&error, sizeof error);
        mix(&result, sizeof result);
        /* products and quotients near and below the smallest normal double */
        int e = -1080 + (int)(random() % 66), a = -(int)(random() % 500);
        a = a - e > 1023 ? e + 1023 : a;
        y = FromBits((uint64_t)(a + 1023) << 52 | random() >> 12);
        x = FromBits((uint64_t)(a - e + 1023) << 52 | random() >> 12);
        v = FromBits((uint64_t)(e - a + 1023) << 52 | random() >> 12);
        double arithmetic[] = {Product(y, v), Quotient(y, x), Quotient(1.0, x), Difference(y, v), SquareRoot(v)};
        mix(arithmetic, sizeof arithmetic);
    }
    /* and the edges of tests/num/numbers.rows, whose texts the host checks */
    for (double v : {999999999999.5, 999999999999.4, 99999999999.95, 99999999999.995, 0.0000999999999999995,
                     0.0000999999999999449, 1999999999999999.75, 1999999999949999.25, 0x0.02035b850f175p-1022,
                     0x1.41c71038c31e0p-13, 0x1.1eb65124880f2p+2, 5e-324}) {
        std::string text = Format(v);
        mix(text.data(), text.size());
    }
    for (const auto &p : {std::make_pair(0x1.c540565bf865bp-326, 0x1.924b09dcfc42ap+1), std::make_pair(134217727.0, 2.0),
                          std::make_pair(134217725.0, 2.0), std::make_pair(0x1p-1022, 0x1.0000000000001p+0)}) {
        double result = 0;
        int error = PowerOf(p.first, p.second, &result);
        mix(&error, sizeof error);
        mix(&result, sizeof result);
    }
    __asm__ volatile("fldcw %0" : : "m"(controlWord));
    EXPECT_EQ(digest, 0x3f6a98224babf79dULL) << std::hex << digest;
}
