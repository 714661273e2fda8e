/* Reading typed numbers: the double nearest to the exact decimal value. */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "exact_decimal.h"
#include "numtext.h"

namespace {

const uint64_t INFINITY_BITS = 0x7FF0000000000000ULL;

std::string Shown(const std::string &text)
{
    if (text.size() <= 70)
        return "\"" + text + "\"";
    return "\"" + text.substr(0, 40) + "..." + text.substr(text.size() - 20) + "\" ("
        + std::to_string(text.size()) + " chars)";
}

uint64_t Read(const std::string &text)
{
    double value = -1.0;
    EXPECT_EQ(ReadNumber(text.c_str(), &value), 1) << Shown(text);
    return BitsOf(value);
}

/* The text is read as the double nearest to its exact value */
void ExpectNearest(const std::string &text)
{
    uint64_t bits = Read(text);
    EXPECT_TRUE(IsNearestDouble(ParseDecimal(text), bits))
        << Shown(text) << " read as " << Hex(bits);
}

void ExpectReadAs(const std::string &text, uint64_t bits)
{
    EXPECT_EQ(Hex(Read(text)), Hex(bits)) << Shown(text);
}

std::string RandomDigits(std::mt19937_64 &random, int count)
{
    std::string digits;
    for (int i = 0; i < count; i++)
        digits += (char)('0' + random() % 10);
    if (digits[0] == '0')
        digits[0] = '1' + random() % 9;
    return digits;
}

/* digits (first one non-zero) as typed text with the first digit at
   decimal exponent e */
std::string Typed(const std::string &digits, int e, bool leadingZero)
{
    Decimal d;
    d.digits = digits;
    d.exponent = e;
    std::string text = PlainText(d);
    if (!leadingZero && text.compare(0, 2, "0.") == 0)
        text.erase(0, 1);
    return text;
}

} // namespace

TEST(NumberRead, TypedForms)
{
    static const struct {
        const char *text;
        int read;
        double value;
    } cases[] = {
        { "5.", 1, 5.0 },
        { "007", 1, 7.0 },
        { "0.", 1, 0.0 },
        { ".5", 1, 0.5 },
        { "0.5", 1, 0.5 },
        { "0", 1, 0.0 },
        { "00.000", 1, 0.0 },
        { "3.14159", 1, 3.14159 },
        { "0.1", 1, 0.1 },
        { "123456.7", 1, 123456.7 },
        { "12x", 1, 12.0 },
        { "1e5", 1, 1.0 },
        { "1.2.3", 1, 1.2 },
        { "5..", 1, 5.0 },
        { "2 3", 1, 2.0 },
        { "9007199254740993", 1, 9007199254740992.0 },
        { "9007199254740995", 1, 9007199254740996.0 },
        { "123456789012345678901234567890", 1, 1.2345678901234568e29 },
        { ".", 0, 0 },
        { "", 0, 0 },
        { "..5", 0, 0 },
        { ".e5", 0, 0 },
        { "-5", 0, 0 },
        { "+5", 0, 0 },
        { " 5", 0, 0 },
        { "x", 0, 0 },
        { "e5", 0, 0 },
    };
    for (const auto &c : cases) {
        double value = 42.0;
        EXPECT_EQ(ReadNumber(c.text, &value), c.read) << Shown(c.text);
        if (c.read) {
            EXPECT_EQ(Hex(BitsOf(value)), Hex(BitsOf(c.value))) << Shown(c.text);
        } else {
            EXPECT_EQ(value, 42.0) << Shown(c.text);
        }
    }
}

/* 30 and 80 significant digits anywhere in the range of doubles, and
   beyond it on both sides */
TEST(NumberRead, LongDigitRuns)
{
    std::mt19937_64 random(11);
    for (int i = 0; i < 10000; i++) {
        int count = i % 2 ? 80 : 30;
        int e = (int)(random() % 660) - 340;
        ExpectNearest(Typed(RandomDigits(random, count), e, i % 4 < 2));
    }
    /* Numbers typed with 17 digits, and exact values of doubles, read back
       as the same double */
    for (int i = 0; i < 10000; i++) {
        uint64_t bits = random() & 0x7FFFFFFFFFFFFFFFULL;
        if (bits >= INFINITY_BITS || bits == 0)
            continue;
        Decimal exact = ExactDecimalOf(FromBits(bits));
        ExpectReadAs(PlainText(exact), bits);
        ExpectReadAs(PlainText(RoundDecimal(exact, 17, true)), bits);
    }
}

/* Exactly between two doubles, and a hair either side: the tie goes to
   the even one; digits past the 800th still count */
TEST(NumberRead, HalfwayCases)
{
    std::vector<uint64_t> below = {
        0,                          /* 0 and the smallest subnormal */
        1, 0x000FFFFFFFFFFFFFULL,   /* subnormals, up to the smallest normal */
        0x0010000000000000ULL,
        0x3FF0000000000000ULL,      /* 1 */
        0x433FFFFFFFFFFFFFULL,      /* 2^53 - 1 */
        0x4340000000000000ULL,      /* 2^53 */
        0x7FEFFFFFFFFFFFFEULL,
        0x7FEFFFFFFFFFFFFFULL,      /* the largest double and infinity */
    };
    std::mt19937_64 random(5);
    while (below.size() < 120) {
        uint64_t bits = random() & 0x7FFFFFFFFFFFFFFFULL;
        if (bits < 0x7FEFFFFFFFFFFFFFULL)
            below.push_back(bits);
    }
    for (uint64_t bits : below) {
        Decimal mid = MidpointAbove(bits);
        uint64_t even = bits & 1 ? bits + 1 : bits;

        ExpectReadAs(PlainText(mid), even);

        Decimal up = mid;
        up.digits += std::string(900, '0') + "1";
        ExpectReadAs(PlainText(up), bits + 1);

        Decimal down = mid;
        down.digits.back()--;
        down.digits += std::string(900, '9');
        ExpectReadAs(PlainText(down), bits);
    }
}

TEST(NumberRead, ExtremeLengths)
{
    std::mt19937_64 random(17);
    std::string zeros(10000, '0');

    ExpectReadAs("1" + zeros, INFINITY_BITS);
    ExpectReadAs(std::string(309, '9'), INFINITY_BITS);
    ExpectReadAs("0." + zeros + "1", 0);
    ExpectReadAs("." + zeros + "9", 0);
    ExpectReadAs(zeros + "1." + zeros + "1", BitsOf(1.0));
    ExpectReadAs("0." + std::string(10000, '9'), BitsOf(1.0));
    ExpectReadAs("0." + std::string(323, '0') + "5", 1);
    ExpectReadAs("0." + std::string(323, '0') + "2", 0);
    ExpectReadAs("0." + std::string(323, '0') + "25", 1);
    ExpectReadAs("0." + std::string(400, '0') + "1", 0);
    ExpectReadAs("1" + std::string(400, '0'), INFINITY_BITS);

    for (int i = 0; i < 12; i++) {
        std::string digits = RandomDigits(random, 10000);
        int e = (int)(random() % 660) - 340;
        ExpectNearest(Typed(digits, e, true));
        ExpectNearest(digits.substr(0, i * 30) + "." + digits.substr(i * 30));
    }
    ExpectNearest(std::string(10000, '1'));

    /* The most digits at the extremes: the largest numbers the exact
       comparison handles */
    for (int e : { -325, -324, -323, -308, 307, 308 }) {
        ExpectNearest(Typed(RandomDigits(random, 10000), e, true));
        ExpectNearest(Typed("9" + std::string(9999, '9'), e, true));
        ExpectNearest(Typed("2" + std::string(9999, '4'), e, true));
    }

    /* Long runs of zeros between significant digits */
    for (int gap : { 10, 20, 300, 790, 799, 800, 801, 5000 }) {
        ExpectNearest("1" + std::string(gap, '0') + "1");
        ExpectNearest("1." + std::string(gap, '0') + "1");
        ExpectNearest("0.000" + std::string(100, '7') + std::string(gap, '0') + "3");
        ExpectNearest("17976931348623158" + std::string(gap, '0') + "1");
    }

    /* Around the one-operation path: 15 digits and exact powers of ten */
    for (int digits = 13; digits <= 17; digits++) {
        std::string run = RandomDigits(random, digits);
        for (int e = -26; e <= 40; e++)
            ExpectNearest(Typed(run, e, e % 2 == 0));
    }
}
