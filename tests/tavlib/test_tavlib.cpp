/* What the support library does at its limits, which the program's keys
   cannot reach: long names and paths, and the Windows versions */
#include <gtest/gtest.h>
#include <setjmp.h>
#include <string.h>
#include "fakewin.h"
#include "resource.h"
#include "tavlib.h"

static jmp_buf exitJump;

HINSTANCE instance;
HWND mainWindow;

/* Runs call; true when it ended the program */
template <typename Call> static bool Ends(Call call)
{
    fake::Reset();
    fake::world.onExit = [](unsigned) { longjmp(exitJump, 1); };
    if (setjmp(exitJump))
        return true;
    call();
    return false;
}

TEST(Tavlib, SettingKeyPathHoldsAtMost1024Characters)
{
    /* The prefix has 30 characters */
    std::string name(994, 'n');
    EXPECT_FALSE(Ends([&] { EXPECT_EQ(SaveSetting(name.c_str(), "1"), 1); }));
    EXPECT_NE(fake::FindRegValue("Software\\Mondrel\\VELMO 2\\2.01\\" + name), nullptr);
    name += 'n';
    EXPECT_TRUE(Ends([&] { SaveSetting(name.c_str(), "1"); }));
    EXPECT_TRUE(Ends([&] { LoadIntSetting(name.c_str(), 0); }));
    ASSERT_EQ(fake::world.boxes.size(), 2u);
    EXPECT_EQ(fake::world.boxes[0].text, "Cannot store/retrieve data to/from the registry");
    EXPECT_EQ(fake::world.boxes[1].text.rfind("tavlib/settings.cpp/", 0), 0u);
}

TEST(Tavlib, SourcePositionKeepsTheLineOfALongPath)
{
    std::string path(300, 'd');
    EXPECT_TRUE(Ends([&] { FatalCheck(1, IDS_NO_DIALOG, path.c_str(), 1234567); }));
    ASSERT_EQ(fake::world.boxes.size(), 2u);
    EXPECT_EQ(fake::world.boxes[1].text, std::string(75, 'd') + "/1234567");
    EXPECT_FALSE(Ends([] { FatalCheck(0, IDS_NO_DIALOG, "f.cpp", 1); }));
    EXPECT_TRUE(fake::world.events.empty());
}

TEST(Tavlib, IniSettingIsCutTo80Characters)
{
    char text[TEXT_SIZE];
    fake::Reset();
    fake::world.version = 0x80000003;
    fake::world.profile["sound"] = std::string(100, '4');
    LoadSetting("Sound", text);
    EXPECT_EQ(std::string(text), std::string(80, '4'));
}

TEST(Tavlib, WindowsVersions)
{
    const struct { DWORD version; int win32s, newShell; } versions[] = {
        {0x80000003, 1, 0},     /* Win32s on Windows 3.1 */
        {0x00000003, 0, 0},     /* Windows NT 3.51 */
        {0xC0000004, 0, 1},     /* Windows 95 */
        {0x23F00206, 0, 1},     /* Windows 8 */
    };
    for (const auto &v : versions) {
        fake::world.version = v.version;
        EXPECT_EQ(IsWin32s(), v.win32s) << std::hex << v.version;
        EXPECT_EQ(IsNewShell(), v.newShell) << std::hex << v.version;
        EXPECT_EQ(BackgroundBrush() == (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1), !v.newShell);
        EXPECT_NE(BackgroundBrush(), nullptr);
    }
}

/* Only WINMM moves under Win32s: a library without a Win32s folder stays in the system folder */
TEST(Tavlib, SystemLibraryFolders)
{
    const struct { DWORD version; const char *win32s, *path; } cases[] = {
        {0x80000003, "WIN32S", "C:\\WINDOWS\\SYSTEM\\WIN32S\\x.dll"},
        {0x80000003, NULL, "C:\\WINDOWS\\SYSTEM\\x.dll"},
        {0xC0000004, "WIN32S", "C:\\Windows\\system32\\x.dll"},
        {0x23F00206, "WIN32S", "C:\\Windows\\system32\\x.dll"},
    };
    for (const auto &c : cases) {
        SystemProc p = {"x.dll", "F", c.win32s, 0, NULL};
        fake::Reset();
        fake::world.version = c.version;
        EXPECT_EQ(LoadSystemProc(&p), nullptr);
        EXPECT_EQ(LoadSystemProc(&p), nullptr);
        ASSERT_EQ(fake::world.loaded.size(), 1u) << std::hex << c.version;
        EXPECT_EQ(fake::world.loaded[0], c.path);
    }
}
