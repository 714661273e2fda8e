/* Typing numbers: the X line as edit buffer, Enter, backspace, the width limit */
#include "engine_fixture.h"

TEST_F(Engine, TypedTextStaysOnTheXLineUntilAPushOrPopRewritesIt)
{
    Keys("007");
    EXPECT_EQ(Lines(), (Texts{"007", "", "", ""}));
    EXPECT_EQ(Stack(), (std::vector<double>{7}));
    EXPECT_EQ(calculator.entryDone, 0);

    Keys("~5.");
    EXPECT_EQ(Lines(), (Texts{"5.", "7", "", ""}));
    Keys("~");
    EXPECT_EQ(Line(0), "5.");
    EXPECT_EQ(calculator.entryDone, 1);

    Keys("~");  /* the duplicate is pushed formatted, the others redrawn */
    EXPECT_EQ(Lines(), (Texts{"5", "5", "7", ""}));
}

TEST_F(Engine, PointStartsWithZeroAndOnlyOnce)
{
    Keys(".");
    EXPECT_EQ(Line(0), "0.");
    EXPECT_EQ(Events(), (Texts{"sound:point.wav"}));
    Keys("5.");
    EXPECT_EQ(Line(0), "0.5");
    EXPECT_EQ(Events(), (Texts{"sound:5.wav", "sound:point.wav", "beep"}));
    EXPECT_EQ(Stack(), (std::vector<double>{0.5}));
}

TEST_F(Engine, EnterFinishesOrDuplicates)
{
    Keys("5~~3");
    EXPECT_EQ(Stack(), (std::vector<double>{3, 5, 5}));

    SetUp();
    Keys("~");
    EXPECT_EQ(Events(), (Texts{"sound:enter.wav", "beep"}));
    EXPECT_TRUE(Stack().empty());
    EXPECT_EQ(calculator.entryDone, 1);
}

TEST_F(Engine, BackspaceEditsDropsOrBeeps)
{
    Keys("12<");
    EXPECT_EQ(Line(0), "1");
    EXPECT_EQ(Stack(), (std::vector<double>{1}));
    Events();

    Keys("<");  /* the last character takes the number with it */
    EXPECT_TRUE(Stack().empty());
    EXPECT_EQ(Line(0), "");
    EXPECT_EQ(calculator.entryDone, 1);
    EXPECT_EQ(Events(), (Texts{"sound:back.wav", "sound:drop.wav"}));

    Load({4});
    Keys("<");  /* a finished X is left alone */
    EXPECT_EQ(Events(), (Texts{"sound:back.wav", "beep", "beep"}));
    EXPECT_EQ(Stack(), (std::vector<double>{4}));
    EXPECT_EQ(Line(0), "4");
}

TEST_F(Engine, TextWiderThanTheXLineIsRefused)
{
    std::string digits(24, '9');            /* 24 digits of 8 pixels: 192 of 198 */
    Keys(digits.c_str());
    Events();
    Keys("9");
    EXPECT_EQ(Events(), (Texts{"beep"}));   /* no digit sound */
    EXPECT_EQ(Line(0), digits);
    Keys(".");                              /* 196 pixels still fit */
    EXPECT_EQ(Line(0), digits + ".");

    SetUp();
    fake::world.lineWidth = 200;            /* exactly as wide as the line */
    Keys(std::string(25, '1').c_str());
    EXPECT_EQ(Line(0), std::string(25, '1'));
    EXPECT_EQ(fake::world.openDCs, 0);
}

TEST_F(Engine, LongDigitRunGivesTheNearestDouble)
{
    fake::world.lineWidth = 1000;
    Keys("0.1000000000000000055511151231257827");
    EXPECT_EQ(Stack(), (std::vector<double>{0.1}));
    SetUp();
    fake::world.lineWidth = 1000;
    Keys("123456789012345678901234567890");
    EXPECT_EQ(Stack(), (std::vector<double>{1.2345678901234568e29}));
}

TEST_F(Engine, RefusedOperationLeavesTheEntryOpen)
{
    Keys("7~0/5");
    EXPECT_EQ(Boxes(), (Texts{"Division by zero"}));
    EXPECT_EQ(Line(0), "05");
    EXPECT_EQ(Stack(), (std::vector<double>{5, 7}));
}

TEST_F(Engine, OtherCodesOnlyFinishTheEntry)
{
    Keys("12\n3 4a");
    EXPECT_EQ(Stack(), (std::vector<double>{4, 3, 12}));
    EXPECT_TRUE(Boxes().empty());
    Press(0x100 + '5');                     /* only the low byte counts */
    EXPECT_EQ(Stack(), (std::vector<double>{5, 4, 3, 12}));
}

TEST_F(Engine, NewNumberOnAFullStackIsRefusedAndStaysFinished)
{
    Load(std::vector<double>(STACK_SIZE, 2.5));
    Keys("5");
    EXPECT_EQ(Events(), (Texts{"sound:error.wav", "box:Cannot add any more numbers to the stack"}));
    EXPECT_EQ(calculator.entryDone, 1);
    Keys("6.");                             /* still refused: X is never overwritten */
    EXPECT_EQ(calculator.values[0], 2.5);
    EXPECT_EQ(Line(0), "2.5");
    EXPECT_EQ(calculator.depth, STACK_SIZE);
    EXPECT_EQ(Boxes().size(), 3u);
}
