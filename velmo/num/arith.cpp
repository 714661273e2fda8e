/* The four operations and the square root, rounded once to double.

   With SSE2 each is one instruction that rounds as IEEE double does. The
   32-bit program computes on the x87 instead, so that it runs on a 386 with
   a 387: at 53-bit precision the x87 rounds every significand as double
   does, but keeps the extended format's exponent range. A product or
   quotient below 2^-1022 is then rounded to 53 bits first and rounded again
   to fewer bits when stored as a subnormal double. Scaling one operand by
   2^-15360 puts the extended format's own subnormal boundary (2^-16382)
   where double's is, so the x87 rounds at double's last subnormal bit, once;
   scaling back by 2^15360 is exact. Sums, differences and square roots of
   doubles never need it: a sum below 2^-1022 is exact, and a square root
   lies in the normal range. */
#include "arith.h"

#ifdef __SSE2_MATH__

double Sum(double y, double x) { return y + x; }
double Difference(double y, double x) { return y - x; }
double Product(double y, double x) { return y * x; }
double Quotient(double y, double x) { return y / x; }
double SquareRoot(double x) { return __builtin_sqrt(x); }

#else

/* 16382 - 1022: the distance between the two formats' smallest normals */
static const long double down = 0x1p-15360L;
static const long double up = 0x1p15360L;

/* The value as a double in memory: out of the x87 register, with double's
   exponent range, whatever the compiler would otherwise keep */
static double Stored(long double value)
{
    double result = (double)value;

    __asm__("" : "+m"(result));
    return result;
}

double Sum(double y, double x) { return Stored((long double)y + x); }
double Difference(double y, double x) { return Stored((long double)y - x); }
double Product(double y, double x) { return Stored(y * down * x * up); }
double Quotient(double y, double x) { return Stored(y * down / x * up); }
double SquareRoot(double x) { return Stored(__builtin_sqrtl(x)); }

#endif
