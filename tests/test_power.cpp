/* Y to the power X: error rules, exact results, and the same bits on every
   target. */
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>

#include "exact_decimal.h"
#include "power.h"

namespace {

const int OK = 0;

std::string Exact(double value)
{
    return Hex(BitsOf(value)) + " (" + std::to_string(value) + ")";
}

struct PowerCase
{
    double y, x;
    int error;
    double result;  /* compared bit for bit when error is OK */
};

void Check(const PowerCase &c)
{
    double result = 12345.0;
    int error = PowerOf(c.y, c.x, &result);
    EXPECT_EQ(error, c.error) << c.y << " ^ " << c.x;
    if (c.error == OK && error == OK) {
        EXPECT_EQ(Exact(result), Exact(c.result)) << Exact(c.y) << " ^ " << Exact(c.x);
    }
}

double TwoTo(int n)
{
    return std::ldexp(1.0, n);
}

} // namespace

TEST(Power, ErrorRules)
{
    const double inf = HUGE_VAL;
    const PowerCase cases[] = {
        /* x = 0: 1 for every y */
        { 2, 0, OK, 1 }, { 0, 0, OK, 1 }, { -0.0, -0.0, OK, 1 }, { -3, 0, OK, 1 },
        { 1e300, -0.0, OK, 1 }, { NAN, 0, OK, 1 },
        /* y = 0 */
        { 0, -1, MATH_SING, 0 }, { -0.0, -2.5, MATH_SING, 0 }, { 0, -1e-300, MATH_SING, 0 },
        { 0, 3, OK, 0.0 }, { -0.0, 3, OK, -0.0 }, { -0.0, 2, OK, 0.0 },
        { -0.0, 2.5, OK, 0.0 }, { 0, 1e-300, OK, 0.0 }, { -0.0, 1e300, OK, 0.0 },
        /* y < 0 */
        { -2, 0.5, MATH_DOMAIN, 0 }, { -8, 1.0 / 3, MATH_DOMAIN, 0 },
        { -1e-300, 1e-300, MATH_DOMAIN, 0 }, { -5, 4503599627370495.5, MATH_DOMAIN, 0 },
        { -8, 3, OK, -512 }, { -8, 2, OK, 64 }, { -2, -1, OK, -0.5 }, { -2, -2, OK, 0.25 },
        { -1, 1e300, OK, 1 }, { -1, 9007199254740991.0, OK, -1 },
        { -1, 4503599627370496.0, OK, 1 }, { -1, 4503599627370497.0, OK, -1 },
        { -2, 1e20, MATH_OVERFLOW, 0 }, { -2, 1025, MATH_OVERFLOW, 0 },
        { -2, 1023, OK, -TwoTo(1023) }, { -2, -1075, MATH_UNDERFLOW, 0 },
        { -0.5, 4503599627370497.0, MATH_UNDERFLOW, 0 },
        /* y = 1 */
        { 1, 1e300, OK, 1 }, { 1, -1e300, OK, 1 }, { 1, 0.5, OK, 1 },
        /* out of range */
        { 1e300, 1e300, MATH_OVERFLOW, 0 }, { 1e-300, 1e300, MATH_UNDERFLOW, 0 },
        { 1e300, -1e300, MATH_UNDERFLOW, 0 }, { 1 + DBL_EPSILON, 1e300, MATH_OVERFLOW, 0 },
        { 1 - DBL_EPSILON / 2, 1e300, MATH_UNDERFLOW, 0 }, { DBL_MAX, DBL_MAX, MATH_OVERFLOW, 0 },
        { DBL_MAX, -DBL_MAX, MATH_UNDERFLOW, 0 }, { 5e-324, DBL_MAX, MATH_UNDERFLOW, 0 },
        { 5e-324, -2, MATH_OVERFLOW, 0 }, { 5e-324, 0.5, OK, TwoTo(-537) },
        { 5e-324, 1, MATH_UNDERFLOW, 0 },
        /* infinite and NaN operands: fixed answers */
        { inf, 2, MATH_OVERFLOW, 0 }, { inf, -2, MATH_UNDERFLOW, 0 },
        { -inf, 3, MATH_OVERFLOW, 0 }, { -inf, 0.5, MATH_DOMAIN, 0 },
        { 2, inf, MATH_OVERFLOW, 0 }, { 2, -inf, MATH_UNDERFLOW, 0 },
        { 0.5, inf, MATH_UNDERFLOW, 0 }, { 0.5, -inf, MATH_OVERFLOW, 0 },
        { -1, inf, OK, 1 }, { 0, inf, OK, 0 }, { 0, -inf, MATH_SING, 0 },
        { NAN, 2, MATH_DOMAIN, 0 }, { 2, NAN, MATH_DOMAIN, 0 },
    };
    for (const PowerCase &c : cases)
        Check(c);
}

TEST(Power, ExactResults)
{
    const PowerCase cases[] = {
        { 2, 10, OK, 1024 }, { 10, 22, OK, 1e22 }, { 3, 20, OK, 3486784401.0 },
        { 1.5, 7, OK, 17.0859375 }, { -8, 3, OK, -512 }, { 0.5, -3, OK, 8 },
        { 10, -2, OK, 0.01 }, { 10, 15, OK, 1e15 }, { 7, 18, OK, 1628413597910449.0 },
        { 2, -1022, OK, DBL_MIN }, { 2, 1023, OK, TwoTo(1023) }, { 0.25, 0.5, OK, 0.5 },
        { 9, 0.5, OK, 3 }, { 4, 1.5, OK, 8 }, { 16, 0.25, OK, 2 }, { 16, -0.75, OK, 0.125 },
        { 1e-300, 1, OK, 1e-300 }, { DBL_MAX, 1, OK, DBL_MAX }, { DBL_MIN, 1, OK, DBL_MIN },
        { 10, 308, OK, 1e308 }, { 10, -307, OK, 1e-307 }, { 2, 0.5, OK, std::sqrt(2.0) },
        /* exactly halfway between two doubles: to the even one */
        { 134217727, 2, OK, 18014398241046528.0 },
        { 134217725, 2, OK, 18014397704175624.0 },
        { 134217727 * TwoTo(485), 2, OK, 18014398241046528.0 * TwoTo(970) },
        /* (2^53 - 1) 2^459 squared: just below the largest double */
        { 1.3407807929942596e154, 2, OK, std::nextafter(DBL_MAX, 0.0) },
    };
    for (const PowerCase &c : cases)
        Check(c);

    std::mt19937_64 random(23);
    for (int i = 0; i < 2000; i++) {
        double y = FromBits((random() % 0x7FD0000000000000ULL) + 0x0010000000000000ULL);
        Check({ y, 1, OK, y });
        Check({ -y, 1, OK, -y });
        Check({ 1, y, OK, 1 });
    }
}

TEST(Power, RangeLimits)
{
    const PowerCase cases[] = {
        { 10, 308, OK, 1e308 }, { 10, 309, MATH_OVERFLOW, 0 },
        { 10, -307, OK, 1e-307 }, { 10, -308, MATH_UNDERFLOW, 0 },
        { 2, -1022, OK, DBL_MIN }, { 2, -1023, MATH_UNDERFLOW, 0 },
        { 2, 1023, OK, TwoTo(1023) }, { 2, 1024, MATH_OVERFLOW, 0 },
        { TwoTo(512), 2, MATH_OVERFLOW, 0 }, { TwoTo(-511), 2, OK, DBL_MIN },
        { TwoTo(-512), 2, MATH_UNDERFLOW, 0 },
        { DBL_MAX, 1 + DBL_EPSILON, MATH_OVERFLOW, 0 },
        { DBL_MIN, 1 + DBL_EPSILON, MATH_UNDERFLOW, 0 },
        { -DBL_MAX, 3, MATH_OVERFLOW, 0 }, { -DBL_MIN, 3, MATH_UNDERFLOW, 0 },
        { 1.3407807929942596e154, 2.0000000000000004, MATH_OVERFLOW, 0 },
    };
    for (const PowerCase &c : cases)
        Check(c);

    /* Close to the top: finite, below the largest double by a few hundred
       steps; 2^1024 itself is out */
    double result = 0;
    EXPECT_EQ(PowerOf(2, std::nextafter(1024.0, 0.0), &result), OK);
    EXPECT_LT(result, DBL_MAX);
    EXPECT_GT(result, DBL_MAX * (1 - 1e-12));
    EXPECT_EQ(PowerOf(2, std::nextafter(-1022.0, 0.0), &result), OK);
    EXPECT_GT(result, DBL_MIN);
    EXPECT_EQ(PowerOf(2, std::nextafter(-1022.0, -2000.0), &result), MATH_UNDERFLOW);
    EXPECT_EQ(PowerOf(std::exp(1.0), 709.782712893384, &result), OK);
    EXPECT_EQ(PowerOf(std::exp(1.0), 709.7827128933841, &result), MATH_OVERFLOW);
}

namespace {

/* Deterministic operands from raw bits, the same on every target */
struct OperandSource
{
    std::mt19937_64 random;

    explicit OperandSource(uint64_t seed) : random(seed) {}

    /* Uniform in [0, 1) with 53 bits */
    double Unit() { return (double)(random() >> 11) * (1.0 / 9007199254740992.0); }

    /* Magnitude 2^lo .. 2^hi, random mantissa */
    double Scaled(int lo, int hi)
    {
        int e = lo + (int)(random() % (uint64_t)(hi - lo + 1));
        return FromBits(((uint64_t)(e + 1023) << 52) | (random() >> 12));
    }

    void Next(double *y, double *x)
    {
        switch (random() % 6) {
        case 0:     /* general operands with results in range */
            *y = Scaled(-40, 40);
            *x = (Unit() * 2 - 1) * 25;
            break;
        case 1:     /* y close to 1, x large */
            *y = 1 + (Unit() * 2 - 1) * 1e-6;
            *x = (Unit() * 2 - 1) * 5e8;
            break;
        case 2:     /* whole powers, negative bases too */
            *y = (random() % 2 ? -1 : 1) * Scaled(-10, 10);
            *x = (double)((int)(random() % 121) - 60);
            break;
        case 3:     /* typed-looking operands */
            *y = (double)(random() % 100000) / 100;
            *x = (double)((int)(random() % 2001) - 1000) / 100;
            break;
        case 4:     /* near the ends of the range */
            *y = Scaled(-1022, 1023);
            *x = (Unit() * 2 - 1) * 1.5;
            break;
        default:    /* roots */
            *y = Scaled(-300, 300);
            *x = 1.0 / (double)(2 + random() % 20);
            break;
        }
    }
};

} // namespace

#ifndef _WIN32
/* glibc's powl is good to under an ulp of its 64-bit mantissa: rounded to
   double it is the correctly rounded power, unless it lies next to a
   double halfway point */
TEST(Power, MatchesLongDoublePowOnHost)
{
    OperandSource source(101);
    int compared = 0, mismatches = 0;
    for (int i = 0; i < 1000000 && mismatches < 10; i++) {
        double y, x;
        source.Next(&y, &x);
        long double exact = powl(std::fabs((long double)y), (long double)x);
        if (!std::isfinite(exact) || exact == 0)
            continue;
        int exponent;
        long double mantissa = frexpl(exact, &exponent);
        if (exponent >= -1021 && exponent <= 1024) {
            /* the 11 bits below the 53rd, as a distance from one half */
            uint64_t bits64 = (uint64_t)ldexpl(mantissa, 64);
            int64_t low = (int64_t)(bits64 & 0x7FF);
            if (std::llabs(low - 0x400) <= 4)
                continue;
        } else if (exponent < -1040 || exponent > 1030) {
            /* far out of range */
        } else {
            continue;
        }
        double expected = (double)exact;
        if (y < 0 && std::fmod(x, 2.0) != 0)
            expected = -expected;
        int expectedError = OK;
        if (std::isinf(expected))
            expectedError = MATH_OVERFLOW;
        else if (std::fabs(expected) < DBL_MIN)
            expectedError = MATH_UNDERFLOW;

        double result = 0;
        int error = PowerOf(y, x, &result);
        compared++;
        if (error != expectedError || (error == OK && BitsOf(result) != BitsOf(expected))) {
            ADD_FAILURE() << Exact(y) << " ^ " << Exact(x) << ": " << error << " " << Exact(result)
                          << " instead of " << expectedError << " " << Exact(expected);
            mismatches++;
        }
    }
    EXPECT_GT(compared, 900000);
}
#endif

/* A digest of results for a fixed set of operands, recorded from the host
   build: Windows builds must give the same bits */
TEST(Power, SameBitsOnEveryTarget)
{
    OperandSource source(202);
    uint64_t hash = 0xcbf29ce484222325ULL;
    auto mix = [&](uint64_t value) {
        for (int i = 0; i < 8; i++) {
            hash ^= (value >> (8 * i)) & 0xFF;
            hash *= 0x100000001b3ULL;
        }
    };
    for (int i = 0; i < 100000; i++) {
        double y, x, result = 0;
        source.Next(&y, &x);
        int error = PowerOf(y, x, &result);
        mix((uint64_t)error);
        mix(error == OK ? BitsOf(result) : 0);
    }
    EXPECT_EQ(Hex(hash), "0x62970af0d8d33965");
}
