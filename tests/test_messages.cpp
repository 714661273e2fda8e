/* Error boxes and fatal checks */
#include "engine_fixture.h"
#include "tavlib.h"

TEST_F(Engine, ShowMessageUsesTheErrorOrFatalCaption)
{
    ShowMessage(mainWindow, IDS_NO_PASTE, 0);
    ShowMessage(nullptr, IDS_NO_ACCELS, 1);
    ASSERT_EQ(fake::world.boxes.size(), 2u);
    EXPECT_EQ(fake::world.boxes[0].owner, mainWindow);
    EXPECT_EQ(fake::world.boxes[0].caption, "VELMO 2 - Error");
    EXPECT_EQ(fake::world.boxes[0].text, "Cannot paste number from Clipboard");
    EXPECT_EQ(fake::world.boxes[1].owner, nullptr);
    EXPECT_EQ(fake::world.boxes[1].caption, "VELMO 2 - Fatal Error");
    EXPECT_EQ(fake::world.boxes[1].text, "Cannot load accelerators");
    EXPECT_EQ(fake::world.boxes[1].flags, unsigned(MB_TASKMODAL | MB_ICONEXCLAMATION));
}

TEST_F(Engine, PassedFatalCheckDoesNothing)
{
    FatalCheck(0, IDS_NO_DIALOG, "velmo/main.cpp", 10);
    EXPECT_TRUE(fake::world.boxes.empty());
    EXPECT_EQ(fake::world.timersKilled, 0);
}

/* The boxes of a dying process are read from its stderr */
#define FATALLY(statement) { fake::world.echoBoxes = true; statement; }

TEST(FatalCheckDeathTest, ShowsBothBoxesAndEndsWithExitCode1)
{
    EXPECT_EXIT(FATALLY(FatalCheck(1, IDS_FATAL_CAPTION, "tavlib/helppath.cpp", 42)),
                ::testing::ExitedWithCode(1),
                "\\[box\\] VELMO 2 - Fatal Error \\| VELMO 2 - Fatal Error\n"
                "\\[box\\]  \\| tavlib/helppath.cpp/42\n");
}

TEST(FatalCheckDeathTest, LongSourcePathIsCutToKeepTheLine)
{
    std::string path(300, 'd');
    EXPECT_EXIT(FATALLY(FatalCheck(1, IDS_NO_DIALOG, path.c_str(), 1234567)),
                ::testing::ExitedWithCode(1),
                "Cannot create dialog box\n\\[box\\]  \\| d{75}/1234567\n");
}

TEST(FatalCheckDeathTest, OverlongSettingPathIsFatal)
{
    std::string name(1000, 'n');
    EXPECT_EXIT(FATALLY(SaveSetting(name.c_str(), "1")), ::testing::ExitedWithCode(1),
                "VELMO 2 - Fatal Error \\| Cannot store/retrieve data to/from the registry\n");
    EXPECT_EXIT(FATALLY(LoadIntSetting(name.c_str(), 0)), ::testing::ExitedWithCode(1),
                "Cannot store/retrieve data to/from the registry\n\\[box\\]  \\| tavlib/");
}
