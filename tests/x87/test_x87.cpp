/* The number core and the calculator's arithmetic computed on the x87, as
   the 32-bit program computes them, against the same code on SSE2, as the
   64-bit program computes it: the same bits, texts and error codes on ten
   million seeded inputs. The x87 build lives in namespace x87 and runs under
   the control word the program sets. */
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <string.h>
#include "arith.h"
#include "bits.h"
#include "fpu.h"
#include "numtext.h"
#include "power.h"

namespace x87 {
#undef VELMO_ARITH_H
#undef VELMO_NUMTEXT_H
#undef VELMO_POWER_H
#include "arith.h"
#include "numtext.h"
#include "power.h"
}

namespace {

std::mt19937_64 rng(0x387);

/* m 2^e with a random 53-bit m in [1, 2) and a random sign; e may reach
   the subnormal range, where the result is rounded as a double */
double Scaled(int e)
{
    double m = FromBits(0x3FF0000000000000ULL | (rng() >> 12));
    if (e < -1022)
        return (rng() & 1 ? -1 : 1) * m * 0x1p-1022 * FromBits((uint64_t)(e + 1022 + 1023) << 52);
    if (e > 1023)
        return (rng() & 1 ? -1 : 1) * m * 0x1p1023 * FromBits((uint64_t)(e - 1023 + 1023) << 52);
    return (rng() & 1 ? -1 : 1) * m * FromBits((uint64_t)(e + 1023) << 52);
}

int Between(int lo, int hi)
{
    return lo + (int)(rng() % (uint64_t)(hi - lo + 1));
}

/* Failures kept for the report: the input and both answers */
struct Mismatches
{
    int count = 0;
    std::string first;

    void Add(const std::string &what)
    {
        if (count++ < 8)
            first += "\n  " + what;
    }
};

std::string Hex(double v)
{
    char s[64];
    snprintf(s, sizeof s, "%a", v);
    return s;
}

std::string Text(double v)
{
    char s[NUMBER_TEXT_SIZE];
    FormatNumber(v, s);
    return s;
}

/* Every operation of the calculator on y and x, both ways */
void CompareArithmetic(double y, double x, Mismatches &bad)
{
    static const char *names[] = {"+", "-", "*", "/", "1/x", "x^2", "sqrt"};
    double ax = x < 0 ? -x : x;
    double sse[] = {Sum(y, x), Difference(y, x), Product(y, x), Quotient(y, x),
                    Quotient(1.0, x), Product(x, x), SquareRoot(ax)};
    double old[] = {x87::Sum(y, x), x87::Difference(y, x), x87::Product(y, x), x87::Quotient(y, x),
                    x87::Quotient(1.0, x), x87::Product(x, x), x87::SquareRoot(ax)};
    for (int i = 0; i < 7; i++)
        if (Bits(sse[i]) != Bits(old[i]) && (sse[i] == sse[i] || old[i] == old[i]))
            bad.Add(Hex(y) + " " + names[i] + " " + Hex(x) + ": SSE2 " + Hex(sse[i]) + " (" + Text(sse[i])
                    + "), x87 " + Hex(old[i]) + " (" + Text(old[i]) + ")");
}

void ComparePower(double y, double x, Mismatches &bad)
{
    double sse = 0, old = 0;
    int e1 = PowerOf(y, x, &sse), e2 = x87::PowerOf(y, x, &old);
    if (e1 != e2 || Bits(sse) != Bits(old))
        bad.Add(Hex(y) + " ^ " + Hex(x) + ": SSE2 " + Hex(sse) + " error " + std::to_string(e1) + ", x87 "
                + Hex(old) + " error " + std::to_string(e2));
}

void CompareText(double v, Mismatches &bad)
{
    char sse[NUMBER_TEXT_SIZE], old[NUMBER_TEXT_SIZE];
    FormatNumber(v, sse);
    x87::FormatNumber(v, old);
    if (strcmp(sse, old))
        bad.Add(Hex(v) + ": SSE2 \"" + sse + "\", x87 \"" + old + "\"");
}

void CompareReading(const std::string &text, Mismatches &bad)
{
    double sse = -1, old = -1;
    int r1 = ReadNumber(text.c_str(), &sse), r2 = x87::ReadNumber(text.c_str(), &old);
    if (r1 != r2 || Bits(sse) != Bits(old))
        bad.Add("\"" + text + "\": SSE2 " + Hex(sse) + " (" + std::to_string(r1) + "), x87 " + Hex(old) + " ("
                + std::to_string(r2) + ")");
    if (r1)
        CompareText(sse, bad);
}

/* Typed-looking text: 1 to 15 digits (sometimes up to 80), leading zeros,
   a point anywhere or none, sometimes an exponent that reading stops at */
std::string TypedText()
{
    std::string s;
    int digits = rng() % 8 ? Between(1, 15) : Between(16, 80);
    int point = rng() % 3 ? Between(0, digits) : -1;
    if (rng() % 4 == 0)
        s.append((size_t)Between(1, 30), '0');
    for (int i = 0; i < digits; i++) {
        if (i == point)
            s += '.';
        s += (char)('0' + rng() % 10);
    }
    if (point == digits)
        s += '.';
    if (rng() % 5 == 0)
        s += "e" + std::to_string(Between(-330, 330));
    return s;
}

class X87 : public ::testing::Test
{
protected:
    void SetUp() override { SetMathUnit(); }
};

/* Random bit patterns, then pairs whose product or quotient lands near the
   subnormal range, the overflow check's 2^512 and the top of the range */
TEST_F(X87, Arithmetic)
{
    Mismatches bad;
    for (int i = 0; i < 2000000; i++)
        CompareArithmetic(FromBits(rng()), FromBits(rng()), bad);
    static const int targets[][2] = {{-1080, -1018}, {505, 518}, {1018, 1026}};
    for (int i = 0; i < 3000000; i++) {
        const int *t = targets[i % 3];
        int e = Between(t[0], t[1]), a = Between(-1020, 1020);
        int b = e - a < -1074 ? -1074 : e - a > 1023 ? 1023 : e - a;
        CompareArithmetic(Scaled(a), Scaled(b), bad);
        CompareArithmetic(Scaled(e + b < 1023 ? e + b : 1023), Scaled(b), bad);
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

/* Number text of random bit patterns, and typed texts read and shown */
TEST_F(X87, Texts)
{
    Mismatches bad;
    for (int i = 0; i < 1000000; i++)
        CompareText(FromBits(rng()), bad);
    for (int i = 0; i < 2000000; i++)
        CompareReading(TypedText(), bad);
    EXPECT_EQ(bad.count, 0) << bad.first;
}

/* y ^ x near every case of the power function: random bits, negative y
   with whole and broken x, zero y, y near 1, whole powers, results near
   overflow, the smallest normal and the smallest subnormal */
TEST_F(X87, Power)
{
    Mismatches bad;
    for (int i = 0; i < 2000000; i++) {
        double y, x;
        int bound;
        switch (i % 8) {
        case 0: y = FromBits(rng()), x = FromBits(rng()); break;
        case 1: y = -Scaled(Between(-20, 20)), x = rng() % 2 ? (double)Between(-400, 400) : Scaled(Between(-8, 8)); break;
        case 2: y = rng() % 2 ? 0.0 : -0.0, x = rng() % 2 ? (double)Between(-9, 9) : Scaled(Between(-60, 60)); break;
        case 3: y = 1 + Scaled(Between(-52, -20)), x = Scaled(Between(0, 62)); break;
        case 4: y = (double)Between(2, 99) * (rng() % 2 ? 1 : -1), x = (double)Between(-2100, 2100); break;
        case 5: y = Scaled(Between(-1074, -1000)), x = Scaled(Between(-10, 2)); break;
        default:
            /* x log2 y near 1024, -1022 or -1074 */
            bound = i % 8 == 6 ? 1024 : rng() % 2 ? -1022 : -1074;
            y = 1 + (double)(rng() >> 11) / 9007199254740992.0 * Between(1, 1000);
            x = bound / __builtin_log2(y) * (1 + ((double)Between(-1000, 1000)) * 0x1p-44);
        }
        ComparePower(y, x, bad);
    }
    EXPECT_EQ(bad.count, 0) << bad.first;
}

/* What the program sets, and what it is set against: Linux starts a
   process at 64-bit precision */
TEST_F(X87, ControlWord)
{
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    EXPECT_EQ(word, 0x027F);
}

}
