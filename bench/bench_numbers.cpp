/* Number text and number reading against the C library on the same values */
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "fpu.h"
#include "numtext.h"

/* Integers, fractions, huge, tiny and subnormal values */
static const double values[] = {
    0.0, 1.0, 7.0, 42.0, -365.0, 86400.0, 123456789.0, 999999999999.0, 1e15, 4294967296.0,
    0.5, -0.25, 0.1, 2.0 / 3.0, 3.141592653589793, 1.0 / 7.0, 12.75, -1234.5678, 0.0001, 99.99,
    1e100, 6.02214076e23, 1.3407807929942596e+153, 1.7976931348623157e308, -2.5e200, 9.8765e150,
    1e-100, 1.5e-7, 2.2250738585072014e-308, -6.62607015e-34, 1e-300, 3.3e-250,
    4.9406564584124654e-324, 1e-310, -2.5e-320, 1.23456789e-315,
};
static const int valueCount = sizeof values / sizeof values[0];

static void FormatOurs(benchmark::State &state)
{
    char out[NUMBER_TEXT_SIZE];

    for (auto _ : state) {
        for (double v : values) {
            FormatNumber(v, out);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * valueCount);
}
BENCHMARK(FormatOurs);

static void FormatWith(benchmark::State &state, int precision)
{
    char out[NUMBER_TEXT_SIZE];

    for (auto _ : state) {
        for (double v : values) {
            snprintf(out, sizeof out, "%.*g", precision, v);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * valueCount);
}
BENCHMARK_CAPTURE(FormatWith, snprintf_12g, 12);
BENCHMARK_CAPTURE(FormatWith, snprintf_17g, 17);

/* Texts that typing can build: digits and at most one point */
static const char *const texts[] = {
    "7", "42", "0.", "5.", "007", "0.5", "12.75", "3.14159265358", "123456789012",
    "0.000001", "86400", "99.99", "1234.5678", "0.1", "2.718281828459", "1000000",
    "999999999999999999999", "123456789012345678901234567890", "0.30000000000000004",
    "9007199254740993",
};
static const int textCount = sizeof texts / sizeof texts[0];

static void ReadOurs(benchmark::State &state)
{
    double value = 0;

    for (auto _ : state) {
        for (const char *t : texts) {
            ReadNumber(t, &value);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * textCount);
}
BENCHMARK(ReadOurs);

static void ReadStrtod(benchmark::State &state)
{
    double value = 0;

    for (auto _ : state) {
        for (const char *t : texts) {
            value = strtod(t, NULL);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * textCount);
}
BENCHMARK(ReadStrtod);

/* The C library's text with the exponent widened to three digits */
static void WidenExponent(char *text)
{
    char *e = strchr(text, 'e');
    size_t digits;

    if (!e)
        return;
    digits = strlen(e + 2);
    if (digits < 3) {
        memmove(e + 2 + 3 - digits, e + 2, digits + 1);
        memset(e + 2, '0', 3 - digits);
    }
}

/* Both sides must agree before their speeds are worth comparing */
int main(int argc, char **argv)
{
    char ours[NUMBER_TEXT_SIZE], theirs[NUMBER_TEXT_SIZE];
    double a = 0, b;
    int bad = 0;

    SetMathUnit();              /* as the program does; an x87 build needs it */
    for (double v : values) {
        FormatNumber(v, ours);
        snprintf(theirs, sizeof theirs, "%.12g", v);
        WidenExponent(theirs);
        if (strcmp(ours, theirs) != 0) {
            fprintf(stderr, "FormatNumber gives %s, snprintf %s\n", ours, theirs);
            bad = 1;
        }
    }
    for (const char *t : texts) {
        b = strtod(t, NULL);
        if (!ReadNumber(t, &a) || a != b) {
            fprintf(stderr, "ReadNumber(\"%s\") gives %.17g, strtod %.17g\n", t, a, b);
            bad = 1;
        }
    }
    if (bad)
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
