/* The calculator's arithmetic on doubles. */
#ifndef VELMO_ARITH_H
#define VELMO_ARITH_H

/* y + x, y - x, y * x, y / x and the square root of x, each rounded once to
   double, below the normal range too, whether the math unit is SSE2 or the
   x87 (whose control word SetMathUnit must have set) */
double Sum(double y, double x);
double Difference(double y, double x);
double Product(double y, double x);
double Quotient(double y, double x);
double SquareRoot(double x);

#endif
