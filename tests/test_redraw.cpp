/* How often the display lines are written: the results, sounds and messages
   stay as they were, the redraw storms go */
#include "engine_fixture.h"
#include "velmo.h"

static int WritesSince(int before)
{
    return fake::world.textWrites - before;
}

TEST_F(Engine, ClearOfAFullStackWritesEachLineOnce)
{
    std::vector<double> values;
    for (int i = 0; i < STACK_SIZE; i++)
        values.push_back(i + 0.5);
    Load(values);
    EXPECT_EQ(Lines(), (Texts{"1023.5", "1022.5", "1021.5", "1020.5"}));

    int before = fake::world.textWrites;
    Press(CMD_CLEAR);
    EXPECT_TRUE(Stack().empty());
    EXPECT_EQ(Lines(), (Texts{"", "", "", ""}));
    EXPECT_EQ(Events(), (Texts{"sound:clear.wav"}));
    EXPECT_EQ(WritesSince(before), 4);

    Press(CMD_CLEAR);               /* nothing to clear: the sound only */
    EXPECT_EQ(Events(), (Texts{"sound:clear.wav"}));
    EXPECT_EQ(WritesSince(before), 4);
    EXPECT_EQ(calculator.entryDone, 1);
}

TEST_F(Engine, OperationsWriteOnlyTheLinesThatChange)
{
    Load({1, 2, 3, 4, 5});
    int before = fake::world.textWrites;
    Press(CMD_ADD);
    EXPECT_EQ(Lines(), (Texts{"9", "3", "2", "1"}));
    EXPECT_EQ(WritesSince(before), 4);

    SetUp();
    Load({7, 7, 7, 7, 7});
    before = fake::world.textWrites;
    Press(CMD_DROP);
    Press(CMD_ENTER);
    Press(CMD_SQUARE);
    Press(CMD_SQRT);
    EXPECT_EQ(Lines(), (Texts{"7", "7", "7", "7"}));
    EXPECT_EQ(Stack().size(), 5u);
    EXPECT_EQ(Events(), (Texts{"sound:drop.wav", "sound:enter.wav", "sound:square.wav", "sound:4.wav",
                               "sound:9.wav", "sound:sqrt.wav", "sound:7.wav"}));
    EXPECT_EQ(WritesSince(before), 2);      /* X: "49", then "7" again */
}

TEST_F(Engine, MathErrorShowsTheStackWithoutItsOperands)
{
    Load({7, 1e100, 1e100});
    Texts shown;
    fake::world.onBox = [&](const fake::Box &) { shown = Lines(); };
    Press(CMD_MULT);
    EXPECT_EQ(shown, (Texts{"7", "", "", ""}));
    EXPECT_EQ(Lines(), (Texts{"1e+100", "1e+100", "7", ""}));
}

TEST_F(Engine, PasteWritesTheLinesOnceAtTheEnd)
{
    soundOn = 0;
    Load({2});
    int before = fake::world.textWrites;
    fake::PutClipboardBytes(std::string("12.5+3*100 7", 13));
    PasteFromClipboard();
    EXPECT_EQ(Stack(), (std::vector<double>{7, 100, 43.5}));
    EXPECT_EQ(Lines(), (Texts{"7", "100", "43.5", ""}));
    EXPECT_EQ(WritesSince(before), 3);
    EXPECT_EQ(calculator.entryDone, 1);

    Keys("5");                      /* typing after a paste writes at once */
    EXPECT_EQ(Line(0), "5");
    EXPECT_EQ(WritesSince(before), 7);
}

TEST_F(Engine, PasteWithSoundShowsEachKeyAsItsSoundPlays)
{
    fake::PutClipboardBytes(std::string("12", 3));
    PasteFromClipboard();
    EXPECT_EQ(Events(), (Texts{"sound:1.wav", "sound:2.wav"}));
    EXPECT_EQ(fake::world.textWrites, 2);   /* "1", then "12" */
    EXPECT_EQ(Line(0), "12");
}

TEST_F(Engine, MessagesInAPasteShowOverTheLinesAsTheyAre)
{
    soundOn = 0;
    std::vector<Texts> shown;
    fake::world.onBox = [&](const fake::Box &) { shown.push_back(Lines()); };
    fake::PutClipboardBytes(std::string("7/0+\xb5", 6));
    fake::Fail(fake::SET_CLIPBOARD_DATA);
    PasteFromClipboard();
    EXPECT_EQ(Boxes(), (Texts{"Not enough numbers on the stack", "Not enough numbers on the stack",
                              fake::StringText(IDS_NO_COPY)}));
    EXPECT_EQ(shown, (std::vector<Texts>{{"7", "", "", ""}, {"70", "", "", ""}, {"70", "", "", ""}}));
    EXPECT_EQ(Lines(), (Texts{"70", "", "", ""}));
}

TEST_F(Engine, BeepsInAPasteGoWithTheLinesAsTheyAre)
{
    soundOn = 0;
    std::vector<Texts> shown;
    fake::world.onBeep = [&]() { shown.push_back(Lines()); };
    fake::PutClipboardBytes(std::string("1..2", 5));
    PasteFromClipboard();
    EXPECT_EQ(shown, (std::vector<Texts>{{"1.", "", "", ""}}));
    EXPECT_EQ(Lines(), (Texts{"1.2", "", "", ""}));
}
