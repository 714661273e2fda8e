/* Every fallible call of a realistic session made to fail in turn: the
   clipboard, global memory, the registry, the INI file, help and the
   dialogs. Each failure must give its message (or the fatal sequence) and
   leave the stack, the display and the stored setting as they were. */
#include <functional>
#include <string.h>
#include "engine_fixture.h"
#include "tavlib.h"
#include "velmo.h"
#include "window.h"

namespace {

const char soundKey[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";

struct Snapshot
{
    std::vector<double> stack;
    std::vector<std::string> lines;
    int entryDone;
    std::string stored;     /* the Sound setting's bytes as stored, "-" when missing */
    int sound;
};

bool operator==(const Snapshot &a, const Snapshot &b)
{
    return a.stack.size() == b.stack.size()
           && (a.stack.empty() || memcmp(a.stack.data(), b.stack.data(), a.stack.size() * sizeof(double)) == 0)
           && a.lines == b.lines && a.entryDone == b.entryDone && a.stored == b.stored;
}

std::ostream &operator<<(std::ostream &out, const Snapshot &s)
{
    out << "stack [";
    for (double v : s.stack)
        out << v << " ";
    out << "] lines [" << s.lines[0] << "|" << s.lines[1] << "|" << s.lines[2] << "|" << s.lines[3]
        << "] entryDone " << s.entryDone << " stored '" << s.stored << "'";
    return out;
}

const char *const callNames[fake::CALL_COUNT] = {
    "OpenClipboard", "EmptyClipboard", "GetClipboardData", "SetClipboardData",
    "GlobalAlloc", "GlobalLock",
    "RegCreateKeyExA", "RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExA", "RegCloseKey",
    "DialogBoxParamA", "WinHelpA",
    "WritePrivateProfileStringA", "GetPrivateProfileStringA",
    "LoadLibraryA", "GetProcAddress",
};

/* What the user must see when a call fails in a step, and how the setting ends */
struct Outcome
{
    Texts events;           /* error sounds, beeps and boxes, in order */
    bool fatal;
    int soundAfter;         /* soundOn after the step; -1: as before */
    bool storedChanges;     /* the failed call came after the setting was written */
    bool proceeds;          /* the step does its work all the same */
};

}

class FaultSweep : public Engine
{
protected:
    bool ini = false;
    std::vector<std::pair<const char *, std::function<void()>>> steps;

    void SetUp() override
    {
        Engine::SetUp();
        fake::world.windowProc = MainWndProc;
        LoadText(IDS_SOUND_KEY, soundKeyName, sizeof(soundKeyName));
        MainWndProc(mainWindow, WM_CREATE, 0, 0);
        soundOn = 0;
        fake::PutClipboardBytes(std::string("old", 4));
        if (ini) {
            fake::world.version = 0x80000003;
            fake::world.profiles["velmo.ini"][""]["sound"] = "1";
        } else {
            fake::PutRegValue(soundKey, REG_SZ, std::string("1", 2));
        }
        fake::world.onDialog = [](const std::string &name, DLGPROC procedure) {
            if (name == "DIAL_SOUND") {
                procedure(fake::DialogWindow(), WM_COMMAND, IDC_SOUND_OFF, 0);
                procedure(fake::DialogWindow(), WM_COMMAND, IDC_OK, 0);
            }
        };
        steps = {
            {"start", [] { soundOn = LoadIntSetting(soundKeyName, 0); }},
            {"type", [this] { Commands("12.5~3*"); }},
            {"copy", [this] { Command(CMD_COPY); }},
            {"paste", [this] { Command(CMD_PASTE); }},
            {"add", [this] { Commands("+"); }},
            {"sound", [this] { Command(CMD_SOUND); }},
            {"help", [this] { Command(CMD_HELP); }},
            {"about", [this] { Command(CMD_ABOUT); }},
            {"copy again", [this] { Command(CMD_COPY); }},
        };
        fake::world.events.clear();
    }

    void Command(UINT code) { MainWndProc(mainWindow, WM_COMMAND, code, 0); }

    void Commands(const char *keys)
    {
        for (; *keys; keys++)
            Command(*keys == '~' ? CMD_ENTER : (UINT)(unsigned char)*keys);
    }

    std::string Stored()
    {
        if (ini) {
            auto &section = fake::world.profiles["velmo.ini"][""];
            return section.count("sound") ? section["sound"] : "-";
        }
        const fake::RegValue *value = fake::FindRegValue(soundKey);
        return value ? std::to_string(value->type) + ":" + value->data : "-";
    }

    Snapshot Take()
    {
        return {Stack(), Lines(), calculator.entryDone, Stored(), soundOn};
    }

    /* Error sounds, beeps and boxes since the last call */
    Texts UserEvents()
    {
        Texts seen;
        for (const std::string &e : Events())
            if (e == "sound:error.wav" || e == "beep" || e.rfind("box:", 0) == 0)
                seen.push_back(e);
        return seen;
    }

    Outcome Expected(fake::Call call, const std::string &step, int soundBefore)
    {
        Texts error = soundBefore ? Texts{"sound:error.wav"} : Texts{};
        auto box = [](const char *text) { return std::string("box:") + text; };
        Outcome o{{}, false, -1, false, false};

        switch (call) {
        case fake::REG_OPEN_KEY: case fake::REG_QUERY_VALUE: case fake::GET_PROFILE:
            o.soundAfter = 0;   /* read as missing: the default, off */
            break;
        case fake::REG_CLOSE_KEY:
            if (step == "start") {
                o.events = {box("Cannot store/retrieve data to/from the registry")};
                o.soundAfter = 1;
            } else {
                o.events = {box("Cannot store/retrieve data to/from the registry")};
                o.storedChanges = true;
            }
            break;
        case fake::REG_CREATE_KEY: case fake::REG_SET_VALUE: case fake::WRITE_PROFILE:
            o.events = {box("Cannot store/retrieve data to/from the registry")};
            break;
        case fake::DIALOG_BOX:
            o.fatal = true;
            break;
        case fake::WIN_HELP:
            o.events = {box("Help error")};
            break;
        case fake::LOAD_LIBRARY: case fake::GET_PROC_ADDRESS:
            o.proceeds = true;  /* no WINMM: silence, every key still works */
            break;
        default:
            if (step == "paste") {
                o.events = error;
                o.events.push_back(box("Cannot paste number from Clipboard"));
            } else {
                o.events = {box("Cannot copy number to Clipboard")};
            }
        }
        if (step == "sound" && o.soundAfter < 0)
            o.soundAfter = 0;   /* the choice made in the dialog holds for this run */
        return o;
    }

    /* Runs the session; returns the step in which call number n of this kind
       was made, or -1 */
    int Run(fake::Call call, int n, const std::function<void(int, const Snapshot &)> &after)
    {
        int failedIn = -1;
        for (size_t i = 0; i < steps.size(); i++) {
            Snapshot before = Take();
            int callsBefore = call < fake::CALL_COUNT ? fake::world.calls[call] : 0;
            steps[i].second();
            if (call < fake::CALL_COUNT && callsBefore < n && fake::world.calls[call] >= n)
                failedIn = (int)i;
            if (after)
                after((int)i, before);
        }
        return failedIn;
    }

    /* keysLeft: a key whose close failed stays open */
    void CheckTidy(int keysLeft)
    {
        EXPECT_EQ(calculator.depth, STACK_SIZE - calculator.top);
        EXPECT_EQ(mathError, 0);
        EXPECT_EQ(fake::world.openKeys, keysLeft);
        EXPECT_EQ(fake::world.openDCs, 0);
        EXPECT_EQ(fake::LiveBlocks(), 0);
        EXPECT_FALSE(fake::world.clipboardOpen);
        for (const fake::Box &b : fake::world.boxes)
            EXPECT_EQ(b.caption, "VELMO 2 - Error");
    }

    void Sweep()
    {
        /* A clean session first: how many calls of each kind it makes */
        std::vector<Snapshot> clean;
        Run(fake::CALL_COUNT, 1, [&](int, const Snapshot &) { clean.push_back(Take()); });
        ASSERT_EQ(Stack(), (std::vector<double>{75}));
        ASSERT_EQ(Lines(), (Texts{"75", "", "", ""}));
        ASSERT_EQ(Stored(), ini ? "0" : "1:" + std::string("0", 2));
        ASSERT_EQ(fake::ClipboardText(), "75");
        ASSERT_TRUE(fake::world.boxes.empty());
        int counts[fake::CALL_COUNT];
        memcpy(counts, fake::world.calls, sizeof counts);

        int swept = 0;
        for (int c = 0; c < fake::CALL_COUNT; c++) {
            fake::Call call = (fake::Call)c;
            for (int n = 1; n <= counts[c]; n++, swept++) {
                SCOPED_TRACE(std::string(callNames[c]) + " call " + std::to_string(n)
                             + (ini ? " (INI file)" : " (registry)"));
                SetUp();
                fake::Fail(call, n);
                if (Expected(call, "", 0).fatal) {
                    /* The fatal sequence ends the process: watched from outside */
                    fake::world.echoBoxes = true;
                    EXPECT_EXIT(Run(call, n, nullptr), ::testing::ExitedWithCode(1),
                                "^\\[box\\] VELMO 2 - Fatal Error \\| Cannot create dialog box\n"
                                "\\[box\\]  \\| velmo/window/mainwnd.cpp/[0-9]+\n$");
                    continue;
                }
                int checked = -1;
                int failedIn = Run(call, n, [&](int i, const Snapshot &before) {
                    Texts seen = UserEvents();
                    if (fake::world.calls[call] < n || checked >= 0)
                        return;
                    checked = i;
                    Outcome o = Expected(call, steps[i].first, before.sound);
                    SCOPED_TRACE(std::string("step ") + steps[i].first);
                    EXPECT_EQ(seen, o.events);
                    Snapshot now = Take();
                    if (o.storedChanges) {
                        EXPECT_NE(now.stored, before.stored);
                        now.stored = before.stored;
                    }
                    EXPECT_EQ(now, o.proceeds ? clean[i] : before);
                    EXPECT_EQ(soundOn, o.soundAfter < 0 ? (o.proceeds ? clean[i].sound : before.sound)
                                                        : o.soundAfter);
                    CheckTidy(call == fake::REG_CLOSE_KEY);
                });
                EXPECT_GE(failedIn, 0);
                EXPECT_EQ(checked, failedIn);
                CheckTidy(call == fake::REG_CLOSE_KEY);
            }
        }
        EXPECT_GT(swept, 15);
        RecordProperty("failed_calls", swept);
    }
};

TEST_F(FaultSweep, EveryFailingCallOfARegistrySession)
{
    Sweep();
}

TEST_F(FaultSweep, EveryFailingCallOfAnIniFileSession)
{
    ini = true;
    SetUp();
    Sweep();
}
