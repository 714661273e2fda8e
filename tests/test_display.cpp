/* The stack's bounds, the display lines and the spoken results */
#include <cmath>
#include <limits>
#include "engine_fixture.h"

TEST_F(Engine, LinesShowTheTopFourValues)
{
    Load({1, 2, 3});
    EXPECT_EQ(Lines(), (Texts{"3", "2", "1", ""}));
    Load({4, 5});
    EXPECT_EQ(Lines(), (Texts{"5", "4", "3", "2"}));
    Press(CMD_CLEAR);
    Load({6});
    EXPECT_EQ(Lines(), (Texts{"6", "", "", ""}));
}

TEST_F(Engine, PushShowsItsTextVerbatimAndOtherwiseTheFormattedValue)
{
    PushStatus status = {0};
    EXPECT_EQ(calculator.PushValue("0.", 0.0, status, 0), 1);
    EXPECT_EQ(Line(0), "0.");
    calculator.PushValue("", 1.0 / 3, status, 0);
    EXPECT_EQ(Lines(), (Texts{"0.333333333333", "0", "", ""}));
    EXPECT_EQ(status.blocked, 0);
}

TEST_F(Engine, PushRefusesMagnitudesFromTheOverflowThreshold)
{
    EXPECT_EQ(OverflowThreshold(), 1.3407807929942596e+154);
    const double refused[] = {1.3407807929942596e+154, -1.3407807929942596e+154, 1e300,
                              std::numeric_limits<double>::infinity()};
    for (double v : refused) {
        PushStatus status = {0};
        calculator.PushValue("", v, status, 1);
        EXPECT_EQ(status.blocked, 1) << v;
        EXPECT_EQ(mathError, MATH_OVERFLOWED);
        EXPECT_TRUE(Stack().empty());
        EXPECT_EQ(fake::world.textWrites, 0);
        mathError = 0;
    }
    PushStatus status = {0};
    calculator.PushValue("", 1.34e154, status, 0);
    calculator.PushValue("", std::nan(""), status, 0);
    EXPECT_EQ(status.blocked, 0);
    EXPECT_EQ(calculator.depth, 2);

    mathError = MATH_NUMERICAL;     /* a pending error blocks any push */
    calculator.PushValue("", 1, status, 0);
    EXPECT_EQ(status.blocked, 1);
    EXPECT_EQ(calculator.depth, 2);
}

TEST_F(Engine, FullStackRefusesThe1025thValue)
{
    Load(std::vector<double>(STACK_SIZE - 1, 1.0));
    Load({2});
    EXPECT_EQ(calculator.top, 0);
    EXPECT_EQ(Line(0), "2");

    PushStatus status = {0};
    EXPECT_EQ(calculator.PushValue("", 3, status, 1), 0);
    EXPECT_EQ(Events(), (Texts{"sound:error.wav", "box:Cannot add any more numbers to the stack"}));
    EXPECT_EQ(status.blocked, 0);
    EXPECT_EQ(calculator.depth, STACK_SIZE);
    EXPECT_EQ(Lines(), (Texts{"2", "1", "1", "1"}));

    Press(CMD_ENTER);               /* duplicating meets the same refusal */
    EXPECT_EQ(Boxes().size(), 2u);
    Press(CMD_CLEAR);
    EXPECT_EQ(Lines(), (Texts{"", "", "", ""}));
    EXPECT_EQ(calculator.depth, 0);
    EXPECT_EQ(calculator.top, STACK_SIZE);
}

TEST_F(Engine, PopAndReplaceOnAnEmptyStackChangeNothing)
{
    double out = 42;
    calculator.PopValue(out);
    EXPECT_EQ(out, 42);
    EXPECT_EQ(calculator.top, STACK_SIZE);
    calculator.ReplaceTop("9", 9);
    EXPECT_EQ(Line(0), "");
    EXPECT_EQ(calculator.values[STACK_SIZE - 1], 0.0);
}

TEST_F(Engine, ResultsAreSpokenCharacterByCharacter)
{
    PushStatus status = {0};
    calculator.PushValue("", -1.5e20, status, 1);
    EXPECT_EQ(Events(), (Texts{"sound:minus.wav", "sound:1.wav", "sound:point.wav", "sound:5.wav",
                               "sound:e.wav", "sound:plus.wav", "sound:0.wav", "sound:2.wav",
                               "sound:0.wav"}));

    SetUp();
    Keys("2~3+");
    EXPECT_EQ(Events(), (Texts{"sound:2.wav", "sound:enter.wav", "sound:3.wav", "sound:add.wav",
                               "sound:5.wav"}));
    Load({1, 2});
    Press(CMD_SWAP);                /* values put back are not spoken */
    EXPECT_EQ(Events(), (Texts{"sound:swap.wav"}));
}

TEST_F(Engine, SoundOffPlaysNothingButStillBeeps)
{
    soundOn = 0;
    Keys("~1.2.+");
    EXPECT_EQ(Events(), (Texts{"beep", "beep", "box:Not enough numbers on the stack"}));
}
