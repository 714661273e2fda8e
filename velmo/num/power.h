/* Y to the power X, with the error cases the calculator reports. */
#ifndef VELMO_POWER_H
#define VELMO_POWER_H

/* Math-error types, numbered as the runtime's math-error record numbers them */
#define MATH_DOMAIN     1
#define MATH_SING       2
#define MATH_OVERFLOW   3
#define MATH_UNDERFLOW  4

/* Computes y to the power x rounded to double into *result and returns 0, or
   returns the error type: MATH_DOMAIN for y < 0 (not -0) with a non-integer
   x, MATH_SING for y = +-0 with x < 0, MATH_OVERFLOW when the rounded result
   exceeds the largest double, MATH_UNDERFLOW when a non-zero y gives a
   rounded result below the smallest normal double in magnitude. NaN
   operands give MATH_DOMAIN, infinite ones the error of the limit. The
   result is the same on every target. */
int PowerOf(double y, double x, double *result);

#endif
