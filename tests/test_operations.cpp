/* Operations: results, refusals before anything changes, undo after a math error */
#include <cmath>
#include "engine_fixture.h"

struct OperationCase
{
    std::vector<double> before;     /* X last */
    UINT code;
    std::vector<double> after;      /* X first */
    const char *shown;              /* the X line afterwards */
    const char *sound;
};

TEST_F(Engine, OperationsComputeFromYAndX)
{
    const OperationCase cases[] = {
        {{2, 3}, CMD_ADD, {5}, "5", "add.wav"},
        {{7, 2}, CMD_SUB, {5}, "5", "sub.wav"},
        {{6, 3}, CMD_MULT, {18}, "18", "mult.wav"},
        {{1, 3}, CMD_DIV, {1.0 / 3}, "0.333333333333", "div.wav"},
        {{2, 10}, CMD_RAISE, {1024}, "1024", "raise.wav"},
        {{-8, 3}, CMD_RAISE, {-512}, "-512", "raise.wav"},
        {{0, 0}, CMD_RAISE, {1}, "1", "raise.wav"},
        {{0, 2}, CMD_RAISE, {0}, "0", "raise.wav"},
        {{4}, CMD_RECIP, {0.25}, "0.25", "recip.wav"},
        {{5}, CMD_CH_SGN, {-5}, "-5", "ch_sgn.wav"},
        {{2}, CMD_SQRT, {std::sqrt(2.0)}, "1.41421356237", "sqrt.wav"},
        {{12}, CMD_SQUARE, {144}, "144", "square.wav"},
        {{9, 1e-200, 1e-200}, CMD_MULT, {0, 9}, "0", "mult.wav"},
        {{2, 1}, CMD_SWAP, {2, 1}, "2", "swap.wav"},
        {{8, 4}, CMD_DROP, {8}, "8", "drop.wav"},
        {{1, 2, 3}, CMD_CLEAR, {}, "", "clear.wav"},
    };
    for (const OperationCase &c : cases) {
        SCOPED_TRACE(c.code);
        SetUp();
        Load(c.before);
        Press(c.code);
        EXPECT_EQ(Stack(), c.after);
        EXPECT_EQ(Line(0), c.shown);
        std::vector<std::string> events = Events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events[0], std::string("sound:") + c.sound);
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(calculator.depth, STACK_SIZE - calculator.top);
    }
}

TEST_F(Engine, TooFewOperandsAreRefusedBeforeAnySound)
{
    const UINT twoOperands[] = {CMD_MULT, CMD_ADD, CMD_SUB, CMD_DIV, CMD_RAISE, CMD_SWAP};
    const UINT oneOperand[] = {CMD_RECIP, CMD_CH_SGN, CMD_SQRT, CMD_DROP, CMD_COPY, CMD_SQUARE};
    const Texts refused = {"sound:error.wav", "box:Not enough numbers on the stack"};

    for (UINT code : twoOperands) {
        SetUp();
        Keys("4");
        Press(code);
        EXPECT_EQ(Events(), (Texts{"sound:4.wav", refused[0], refused[1]})) << code;
        EXPECT_EQ(Lines(), (Texts{"4", "", "", ""}));
        EXPECT_EQ(calculator.entryDone, 0);
    }
    for (UINT code : oneOperand) {
        SetUp();
        Press(code);
        EXPECT_EQ(Events(), refused) << code;
    }
    SetUp();
    Press(CMD_CLEAR);   /* Clear needs nothing */
    EXPECT_EQ(Events(), (Texts{"sound:clear.wav"}));
}

TEST_F(Engine, ZeroDivisorAndNegativeRootAreRefused)
{
    const struct { double x; UINT code; const char *message; } cases[] = {
        {0.0, CMD_DIV, "Division by zero"},
        {-0.0, CMD_DIV, "Division by zero"},
        {0.0, CMD_RECIP, "Division by zero"},
        {-0.0, CMD_RECIP, "Division by zero"},
        {-1.0, CMD_SQRT, "Negative argument of square root"},
    };
    for (const auto &c : cases) {
        SetUp();
        Load({3, c.x});
        Press(c.code);
        EXPECT_EQ(Events(), (Texts{"sound:error.wav", std::string("box:") + c.message}));
        EXPECT_EQ(Stack(), (std::vector<double>{c.x, 3}));
        EXPECT_EQ(fake::world.boxes[0].caption, "VELMO 2 - Error");
        EXPECT_EQ(fake::world.boxes[0].flags, 0x2030u);
        EXPECT_EQ(fake::world.boxes[0].owner, mainWindow);
    }
}

TEST_F(Engine, NegativeZeroShowsAsZeroAndIsAZeroDivisor)
{
    Load({0});
    Press(CMD_CH_SGN);
    EXPECT_TRUE(std::signbit(Stack()[0]));
    EXPECT_EQ(Line(0), "0");
    EXPECT_EQ(Events(), (Texts{"sound:ch_sgn.wav", "sound:0.wav"}));
    Press(CMD_RECIP);
    EXPECT_EQ(Boxes(), (Texts{"Division by zero"}));
    Press(CMD_SQRT);
    EXPECT_TRUE(std::signbit(Stack()[0]));
    EXPECT_EQ(Line(0), "0");
}

TEST_F(Engine, MathErrorsRestoreTheOperands)
{
    const struct { double y, x; UINT code; const char *sound, *message; } cases[] = {
        {1e100, 1e100, CMD_MULT, "mult.wav", "Overflow"},
        {1e100, 1e-100, CMD_DIV, "div.wav", "Overflow"},
        {-1e154, 1e154, CMD_SUB, "sub.wav", "Overflow"},
        {5, 1e-160, CMD_RECIP, "recip.wav", "Overflow"},
        {5, 1e78, CMD_SQUARE, "square.wav", "Overflow"},
        {10, 400, CMD_RAISE, "raise.wav", "Overflow"},
        {10, 200, CMD_RAISE, "raise.wav", "Overflow"},
        {-8, 0.5, CMD_RAISE, "raise.wav", "Numerical error"},
        {0, -1, CMD_RAISE, "raise.wav", "Numerical error"},
        {10, -400, CMD_RAISE, "raise.wav", "Numerical error"},
        {10, -310, CMD_RAISE, "raise.wav", "Numerical error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        SetUp();
        Load({7, c.y, c.x});
        size_t heldWhileShown = 0;
        fake::world.onBox = [&](const fake::Box &) { heldWhileShown = Stack().size(); };
        Press(c.code);
        EXPECT_EQ(Events(), (Texts{std::string("sound:") + c.sound, "sound:error.wav",
                                   std::string("box:") + c.message}));
        EXPECT_EQ(Stack(), (std::vector<double>{c.x, c.y, 7}));
        EXPECT_EQ(heldWhileShown, (c.code == CMD_RECIP || c.code == CMD_SQUARE) ? 2u : 1u);
        EXPECT_EQ(mathError, 0);
        EXPECT_EQ(calculator.entryDone, 1);
    }
}

TEST_F(Engine, RestoredOperandsAreShownFormatted)
{
    fake::world.lineWidth = 1000;
    Keys("10~0400");
    Press(CMD_RAISE);
    EXPECT_EQ(Lines(), (Texts{"400", "10", "", ""}));
    EXPECT_EQ(Stack(), (std::vector<double>{400, 10}));
}

TEST_F(Engine, CopyPutsTheFormattedXOnTheClipboard)
{
    Keys("3.10");
    Press(CMD_COPY);
    EXPECT_EQ(fake::ClipboardText(), "3.1");
    EXPECT_EQ(calculator.entryDone, 1);
    Load({1e15});
    Press(CMD_COPY);
    EXPECT_EQ(fake::ClipboardText(), "1e+015");
    EXPECT_TRUE(Events().empty());      /* Copy plays nothing */
}
