/* Number text: how values are written and how typed text is read. */
#ifndef VELMO_NUMTEXT_H
#define VELMO_NUMTEXT_H

#define NUMBER_TEXT_SIZE 84

/* Writes value in the calculator's "%.12lg" form: rounded to 17 significant
   digits, then half up to 12; exponent form below 1e-4 and from 1e12 on, with
   "e", a sign and three digits; zero and negative zero are "0". A finite
   value takes at most 19 characters; infinity and NaN, which the display
   never gets, come out as "inf", "-inf" and "nan". out holds at least
   NUMBER_TEXT_SIZE bytes. */
void FormatNumber(double value, char *out);

/* Reads a number as "%lf" reads it: optional digits, an optional point and
   optional digits, at least one digit in all; no sign, exponent or leading
   spaces, and reading stops at the first character that does not fit. The
   result is the double nearest to the decimal value, ties to even, for any
   number of digits. Returns 1 and sets *value when a number was read,
   0 otherwise (then *value is unchanged). */
int ReadNumber(const char *text, double *value);

#endif
