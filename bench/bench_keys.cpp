/* HandleKey on the Win32 stand-in: typing, each operation, Enter and Clear */
#include <benchmark/benchmark.h>
#include <string.h>
#include "fakewin.h"
#include "globals.h"
#include "resource.h"

static void Start()
{
    fake::Reset();
    calculator = RpnStack();
    mathError = 0;
    soundOn = 0;
    mainWindow = fake::MainWindow();
}

/* The stand-in's display lines as the program would have left them */
static void SetLines(const char *x, const char *y, const char *z, const char *t)
{
    const char *texts[4] = {x, y, z, t};

    for (int i = 0; i < 4; i++) {
        fake::world.controls[IDC_LINE_X + i] = texts[i];
        strcpy(calculator.lineTexts[i], texts[i]);
    }
}

/* Y = 1234.5 and X = 6.75 as finished values, without going through the keys */
static void SetOperands()
{
    calculator.values[STACK_SIZE - 2] = 6.75;
    calculator.values[STACK_SIZE - 1] = 1234.5;
    calculator.top = STACK_SIZE - 2;
    calculator.depth = 2;
    calculator.entryDone = 1;
    SetLines("6.75", "1234.5", "", "");
}

/* Lines written to the stand-in per iteration */
static void CountWrites(benchmark::State &state, int before)
{
    state.counters["line_writes"] = benchmark::Counter(fake::world.textWrites - before,
                                                       benchmark::Counter::kAvgIterations);
}

static void TypeTwelveDigits(benchmark::State &state)
{
    static const char digits[] = "123456789012";

    Start();
    for (auto _ : state) {
        calculator.top = STACK_SIZE;
        calculator.depth = 0;
        calculator.entryDone = 1;
        SetLines("", "", "", "");
        for (const char *d = digits; *d; d++)
            calculator.HandleKey((UINT)*d);
    }
    if (calculator.values[STACK_SIZE - 1] != 123456789012.0)
        state.SkipWithError("the typed number is wrong");
    state.SetItemsProcessed(state.iterations() * 12);
    CountWrites(state, 0);
}
BENCHMARK(TypeTwelveDigits);

static void Operation(benchmark::State &state, UINT code)
{
    Start();
    for (auto _ : state) {
        SetOperands();
        calculator.HandleKey(code);
    }
    if (!fake::world.boxes.empty())
        state.SkipWithError("the operation was refused");
    CountWrites(state, 0);
}
BENCHMARK_CAPTURE(Operation, add, CMD_ADD);
BENCHMARK_CAPTURE(Operation, sub, CMD_SUB);
BENCHMARK_CAPTURE(Operation, mult, CMD_MULT);
BENCHMARK_CAPTURE(Operation, div, CMD_DIV);
BENCHMARK_CAPTURE(Operation, raise, CMD_RAISE);
BENCHMARK_CAPTURE(Operation, recip, CMD_RECIP);
BENCHMARK_CAPTURE(Operation, ch_sgn, CMD_CH_SGN);
BENCHMARK_CAPTURE(Operation, sqrt, CMD_SQRT);
BENCHMARK_CAPTURE(Operation, square, CMD_SQUARE);
BENCHMARK_CAPTURE(Operation, swap, CMD_SWAP);
BENCHMARK_CAPTURE(Operation, drop, CMD_DROP);
BENCHMARK_CAPTURE(Operation, copy, CMD_COPY);

static void EnterDuplicating(benchmark::State &state)
{
    Start();
    for (auto _ : state) {
        SetOperands();
        calculator.HandleKey(CMD_ENTER);
    }
    if (calculator.depth != 3)
        state.SkipWithError("Enter did not duplicate X");
    CountWrites(state, 0);
}
BENCHMARK(EnterDuplicating);

static void ClearFullStack(benchmark::State &state)
{
    Start();
    for (int i = 0; i < STACK_SIZE; i++)
        calculator.values[i] = i + 0.5;
    for (auto _ : state) {
        calculator.top = 0;
        calculator.depth = STACK_SIZE;
        calculator.entryDone = 1;
        SetLines("0.5", "1.5", "2.5", "3.5");
        calculator.HandleKey(CMD_CLEAR);
    }
    if (calculator.depth != 0 || fake::world.controls[IDC_LINE_X] != "")
        state.SkipWithError("Clear left values");
    CountWrites(state, 0);
}
BENCHMARK(ClearFullStack);

BENCHMARK_MAIN();
