/* The main window's command routing, the Sound and About dialogs, the help
   path and the window background */
#include "engine_fixture.h"
#include "tavlib.h"
#include "velmo.h"
#include "window.h"

class Window : public Engine
{
protected:
    void SetUp() override
    {
        Engine::SetUp();
        LoadText(IDS_SOUND_KEY, soundKeyName, sizeof(soundKeyName));
        MainWndProc(mainWindow, WM_CREATE, 0, 0);
    }

    LRESULT Command(WPARAM code) { return MainWndProc(mainWindow, WM_COMMAND, code, 0); }

    /* The user clicks these controls in the Sound dialog, in order */
    void ClickInSoundDialog(std::vector<int> ids)
    {
        fake::world.onDialog = [ids](const std::string &, DLGPROC procedure) {
            for (int id : ids)
                procedure(fake::DialogWindow(), WM_COMMAND, (WPARAM)id, 0);
        };
        Command(CMD_SOUND);
    }

    const fake::RegValue *StoredSound()
    {
        return fake::FindRegValue("Software\\Mondrel\\VELMO 2\\2.01\\Sound");
    }
};

TEST_F(Window, CalculatorCommandsRunAndLeaveTheFocusOnTheWindow)
{
    fake::world.focus = reinterpret_cast<HWND>(uintptr_t(0x1234));    /* a clicked button */
    Command('2');
    EXPECT_EQ(fake::world.focus, mainWindow);
    Command(CMD_ENTER);
    Command('3');
    Command(CMD_ADD);
    EXPECT_EQ(Line(0), "5");
    Texts defaults;
    for (const std::string &e : Events())
        if (e.rfind("default:", 0) == 0)
            defaults.push_back(e);
    EXPECT_EQ(defaults, Texts(4, "default:273"));

    /* The high word of wParam (the notification) does not change the command */
    Command(MAKEWPARAM(CMD_DIGIT + 7, 1));
    EXPECT_EQ(Line(0), "7");
}

TEST_F(Window, WindowCommandsStopHereAndOthersGoToTheDefault)
{
    EXPECT_EQ(Command(CMD_HELP), 0);
    EXPECT_EQ(Events(), Texts({"help:3:C:\\Program Files\\VELMO 2\\VELMO.HLP"}));
    Load({2.5});
    Command(999);
    Command(CMD_COPY);
    EXPECT_EQ(Events(), Texts({"default:273", "default:273"}));
    EXPECT_EQ(fake::ClipboardText(), "2.5");
}

TEST_F(Window, HelpThatCannotOpenIsReported)
{
    fake::Fail(fake::WIN_HELP);
    Command(CMD_HELP);
    EXPECT_EQ(Boxes(), Texts({"Help error"}));
    EXPECT_EQ(fake::world.focus, mainWindow);
}

TEST_F(Window, ExitAndDestructionCloseHelpAndQuitWithCode0)
{
    Command(CMD_EXIT);
    EXPECT_EQ(Events(), Texts({"help:2:C:\\Program Files\\VELMO 2\\VELMO.HLP", "quit:0"}));
    MainWndProc(mainWindow, WM_DESTROY, 0, 0);
    EXPECT_EQ(Events(), Texts({"help:2:C:\\Program Files\\VELMO 2\\VELMO.HLP", "quit:0"}));
}

TEST_F(Window, PasteReplaysEveryByteAsAnUnsignedCommand)
{
    Load({4});
    fake::PutClipboardBytes(std::string("12.5+", 6));
    Command(CMD_PASTE);
    EXPECT_EQ(Stack(), std::vector<double>({16.5}));

    /* Byte 176 is Raise: 3 to the power 2 */
    Load({3});
    fake::PutClipboardBytes(std::string("2\xb0", 3));
    Command(CMD_PASTE);
    EXPECT_EQ(Stack(), std::vector<double>({9, 16.5}));
    EXPECT_EQ(Lines(), Texts({"9", "16.5", "", ""}));
}

TEST_F(Window, SoundSettingIsStoredOnlyWhenTheDialogChangedIt)
{
    soundOn = 0;
    ClickInSoundDialog({IDC_SOUND_OFF, IDC_OK});
    EXPECT_EQ(fake::world.checkedRadio, IDC_SOUND_OFF);
    EXPECT_EQ(StoredSound(), nullptr);

    /* On and off again before closing: no change, nothing stored */
    ClickInSoundDialog({IDC_SOUND_ON, IDC_SOUND_OFF, IDC_OK});
    EXPECT_EQ(StoredSound(), nullptr);

    ClickInSoundDialog({IDC_SOUND_ON, IDC_OK});
    EXPECT_EQ(soundOn, 1);
    ASSERT_NE(StoredSound(), nullptr);
    EXPECT_EQ(StoredSound()->type, DWORD(REG_SZ));
    EXPECT_EQ(StoredSound()->data, std::string("1", 2));

    /* Escape arrives as command 2 and keeps the choice made */
    ClickInSoundDialog({IDC_SOUND_OFF, IDC_OK});
    EXPECT_EQ(fake::world.checkedRadio, IDC_SOUND_ON);
    EXPECT_EQ(StoredSound()->data, std::string("0", 2));
    EXPECT_EQ(soundOn, 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Window, SoundSettingThatWasNotKeptIsReported)
{
    fake::Fail(fake::REG_SET_VALUE);
    ClickInSoundDialog({IDC_SOUND_OFF, IDC_OK});
    EXPECT_EQ(soundOn, 0);
    EXPECT_EQ(Boxes(), Texts({"Cannot store/retrieve data to/from the registry"}));
    EXPECT_EQ(StoredSound(), nullptr);
}

TEST_F(Window, DialogsEndOnlyOnTheirCloseCommand)
{
    Events();
    EXPECT_EQ(SoundDlgProc(fake::DialogWindow(), WM_COMMAND, IDC_SOUND_ON, 0), 0);
    EXPECT_EQ(SoundDlgProc(fake::DialogWindow(), WM_COMMAND, IDC_OK, 0), 1);
    EXPECT_EQ(AboutDlgProc(fake::DialogWindow(), WM_INITDIALOG, 0, 0), 1);
    EXPECT_EQ(AboutDlgProc(fake::DialogWindow(), WM_COMMAND, MAKEWPARAM(IDC_OK, 1), 0), 0);
    EXPECT_EQ(AboutDlgProc(fake::DialogWindow(), WM_COMMAND, IDC_OK, 0), 1);
    EXPECT_EQ(AboutDlgProc(fake::DialogWindow(), WM_CREATE, IDC_OK, 0), 0);
    EXPECT_EQ(Events(), Texts({"end:0", "end:0"}));
}

TEST_F(Window, BackgroundFollowsTheShell)
{
    fake::world.version = 0x80000003;       /* Windows 3.1 with Win32s */
    EXPECT_EQ(BackgroundBrush(), (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1));
    fake::world.version = 0xC0000A04;       /* Windows 95 */
    EXPECT_NE(BackgroundBrush(), nullptr);
    EXPECT_NE(BackgroundBrush(), (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1));
}

TEST_F(Window, HelpPathFitsExactly)
{
    char out[HELP_PATH_SIZE];
    fake::world.modulePath = "C:\\" + std::string(1010, 'p') + "\\VELMO.EXE";
    BuildHelpPath("VELMO.HLP", out);
    EXPECT_EQ(strlen(out), 1023u);
    EXPECT_STREQ(out + 1014, "VELMO.HLP");
}

#define FATALLY(statement) { fake::world.echoBoxes = true; statement; }

TEST(WindowDeathTest, UnusableProgramPathOrMissingDialogIsFatal)
{
    char out[HELP_PATH_SIZE];
    fake::Reset();
    fake::world.modulePath = "VELMO.EXE";
    EXPECT_EXIT(FATALLY(BuildHelpPath("VELMO.HLP", out)), ::testing::ExitedWithCode(1),
                "VELMO 2 - Fatal Error \\| VELMO 2 - Fatal Error\n\\[box\\]  \\| tavlib/shell.cpp/");
    fake::world.modulePath = "C:\\" + std::string(1011, 'p') + "\\VELMO.EXE";
    EXPECT_EXIT(FATALLY(BuildHelpPath("VELMO.HLP", out)), ::testing::ExitedWithCode(1),
                "VELMO 2 - Fatal Error \\| VELMO 2 - Fatal Error\n");
    fake::Fail(fake::DIALOG_BOX);
    EXPECT_EXIT(FATALLY(MainWndProc(mainWindow, WM_COMMAND, CMD_ABOUT, 0)),
                ::testing::ExitedWithCode(1), "Fatal Error \\| Cannot create dialog box\n");
}
