/* FormatNumber against a text built from the exact value with GMP integers.
   The first 8 bytes are a double. A ninth byte, when there is one, picks
   how they are used instead, to reach the roundings' edges: 1 a 12-digit
   number and a tail at the 12-digit rounding ("5", "49999", ...), 2 a
   17-digit number with "5" after it, 3 twelve nines and such a tail (0 the
   8 bytes as they are); a tenth byte gives the decimal exponent and an
   eleventh a step of a few doubles from the nearest one. */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <gmp.h>
#include "numtext.h"

/* m 10^k as num/den, both positive */
static void Scale(mpz_t num, mpz_t den, int k)
{
    mpz_t p;

    mpz_init(p);
    mpz_ui_pow_ui(p, 10, (unsigned long)(k < 0 ? -k : k));
    if (k >= 0)
        mpz_mul(num, num, p);
    else
        mpz_mul(den, den, p);
    mpz_clear(p);
}

/* Sign of |v| - 10^k, exactly */
static int CompareWithPowerOfTen(const mpz_t num, const mpz_t den, int k)
{
    mpz_t a, b;
    int sign;

    mpz_init_set(a, den);
    mpz_init_set_ui(b, 1);
    Scale(a, b, k);         /* den 10^k = a / b */
    mpz_mul(b, b, num);     /* num / den vs 10^k:  num b vs a */
    sign = mpz_cmp(b, a);
    mpz_clear(a);
    mpz_clear(b);
    return sign;
}

/* The calculator's text of v: the exact value rounded half to even to 17
   digits, then half up to 12, in "%g" form with a three-digit exponent */
static std::string Reference(double v)
{
    mpz_t num, den, q, r;
    uint64_t n17, n12;
    int e, exponent;
    char buf[32];
    std::string digits, text;

    if (isnan(v))
        return "nan";
    if (isinf(v))
        return v < 0 ? "-inf" : "inf";
    if (v == 0)
        return "0";

    /* |v| = m 2^e exactly */
    double f = frexp(fabs(v), &e);
    uint64_t m = (uint64_t)ldexp(f, 53);
    e -= 53;
    mpz_inits(num, den, q, r, NULL);
    mpz_set_ui(num, m);
    mpz_set_ui(den, 1);
    if (e >= 0)
        mpz_mul_2exp(num, num, (mp_bitcnt_t)e);
    else
        mpz_mul_2exp(den, den, (mp_bitcnt_t)-e);

    /* exponent = floor(log10 |v|) */
    exponent = (int)floor(log10(fabs(v)));
    while (CompareWithPowerOfTen(num, den, exponent) < 0)
        exponent--;
    while (CompareWithPowerOfTen(num, den, exponent + 1) >= 0)
        exponent++;

    Scale(num, den, 16 - exponent);
    mpz_tdiv_qr(q, r, num, den);
    mpz_mul_2exp(r, r, 1);
    int c = mpz_cmp(r, den);
    if (c > 0 || (c == 0 && mpz_odd_p(q)))
        mpz_add_ui(q, q, 1);
    n17 = mpz_get_ui(q);
    mpz_clears(num, den, q, r, NULL);
    if (n17 == 100000000000000000ULL) {
        n17 /= 10;
        exponent++;
    }

    n12 = n17 / 100000 + (n17 % 100000 >= 50000);
    if (n12 == 1000000000000ULL) {
        n12 /= 10;
        exponent++;
    }
    digits = std::to_string(n12);
    digits.erase(digits.find_last_not_of('0') + 1);

    text = v < 0 ? "-" : "";
    if (exponent < -4 || exponent >= 12) {
        text += digits[0];
        if (digits.size() > 1)
            text += "." + digits.substr(1);
        snprintf(buf, sizeof buf, "e%c%03d", exponent < 0 ? '-' : '+', abs(exponent));
        text += buf;
    } else if (exponent >= 0) {
        size_t whole = (size_t)exponent + 1;
        if (digits.size() < whole)
            digits.resize(whole, '0');
        text += digits.substr(0, whole);
        if (digits.size() > whole)
            text += "." + digits.substr(whole);
    } else {
        text += "0." + std::string((size_t)(-exponent - 1), '0') + digits;
    }
    return text;
}

static double Edge(uint64_t u, const uint8_t *extra)
{
    static const char *const tails[4] = {"5", "49999", "50000000000001", "4999999999999999999"};
    /* each exponent from -20 to 107, then every fifth from -330 to 305 */
    int exponent = extra[1] < 128 ? extra[1] - 20 : (extra[1] - 128) * 5 - 330;
    int steps = (int8_t)extra[2] % 8;
    std::string number;
    char buf[48];
    double v;

    switch (extra[0] % 4) {
    case 1:
        number = std::to_string(100000000000ULL + u % 900000000000ULL) + tails[(u >> 60) & 3];
        break;
    case 2:
        number = std::to_string(10000000000000000ULL + u % 90000000000000000ULL) + "5";
        break;
    default:
        number = std::string(12, '9') + tails[(u >> 60) & 3];
        break;
    }
    snprintf(buf, sizeof buf, "%c.%se%d", number[0], number.c_str() + 1, exponent);
    v = strtod(buf, nullptr);
    for (; steps > 0; steps--)
        v = nextafter(v, HUGE_VAL);
    for (; steps < 0; steps++)
        v = nextafter(v, -HUGE_VAL);
    return u >> 59 & 1 ? -v : v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char out[NUMBER_TEXT_SIZE];
    uint64_t u;
    double v;

    if (size < 8)
        return 0;
    memcpy(&u, data, sizeof u);
    if (size >= 11 && data[8] % 4)
        v = Edge(u, data + 8);
    else
        memcpy(&v, &u, sizeof v);

    memset(out, 'x', sizeof out);
    FormatNumber(v, out);
    if (!memchr(out, 0, sizeof out)) {
        fprintf(stderr, "fuzz_numtext: %a: no end to the text\n", v);
        abort();
    }
    std::string ours = out, theirs = Reference(v);
    if (ours != theirs || (isfinite(v) && ours.size() > 19)) {
        fprintf(stderr, "fuzz_numtext: %a (%.17g)\n  FormatNumber: \"%s\"\n  reference:    \"%s\"\n", v, v,
                ours.c_str(), theirs.c_str());
        abort();
    }
    return 0;
}
