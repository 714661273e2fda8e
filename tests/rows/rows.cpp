#include <math.h>
#include <setjmp.h>
#include <string.h>
#include <sstream>
#include <vector>
#include "fakewin.h"
#include "globals.h"
#include "numtext.h"
#include "resource.h"
#include "rows.h"
#include "tavlib.h"
#include "velmo.h"
#include "window.h"

namespace {

typedef std::vector<std::string> Words;

const char soundKey[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";

jmp_buf exitJump;
std::string problem;
std::string shownAtBoxes;   /* the X line at each box and beep, comma-separated */

void Fault(const std::string &what)
{
    if (problem.empty())
        problem = what;
}

/* Words apart by spaces; "..." and {...} are one word each */
Words Split(const std::string &row)
{
    Words words;
    for (size_t i = 0; i < row.size();) {
        if (row[i] == ' ') {
            i++;
            continue;
        }
        size_t j = i;
        char close = 0;
        for (; j < row.size() && (close || row[j] != ' '); j++) {
            if (close && row[j] == '\\')
                j++;
            else if (close && row[j] == close)
                close = 0;
            else if (!close && (row[j] == '"' || row[j] == '{'))
                close = row[j] == '"' ? '"' : '}';
        }
        words.push_back(row.substr(i, j - i));
        i = j;
    }
    return words;
}

/* The text of a quoted value, its escapes undone */
std::string Text(const std::string &value)
{
    std::string out, in = value.size() >= 2 && value[0] == '"' ? value.substr(1, value.size() - 2) : value;
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        char c = in[++i];
        if (c == '[') {
            size_t close = in.find(']', i);
            out += std::string((size_t)atoi(in.c_str() + i + 1), in[close + 1]);
            i = close + 1;
        } else if (c == 'x') {
            out += (char)strtol(in.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
    }
    return out;
}

int Code(char key)
{
    static const char letters[] = "YRNSDCWQPVHAXOenwsqdcpvh";
    static const int codes[] = {CMD_RAISE, CMD_RECIP, CMD_CH_SGN, CMD_SQRT, CMD_DROP, CMD_CLEAR,
                                CMD_SWAP, CMD_SQUARE, CMD_COPY, CMD_PASTE, CMD_HELP, CMD_ABOUT,
                                CMD_EXIT, CMD_SOUND, CMD_ENTER, CMD_CH_SGN, CMD_SWAP, CMD_SQRT,
                                CMD_SQUARE, CMD_DROP, CMD_CLEAR, CMD_COPY, CMD_PASTE, CMD_HELP};
    const char *letter = strchr(letters, key);
    if (key == '~')
        return CMD_ENTER;
    if (key == '<')
        return CMD_BACK;
    if (key && strchr("0123456789.+-*/", key))
        return key;
    return key && letter ? codes[letter - letters] : -1;
}

std::string Shown(double value)
{
    char text[NUMBER_TEXT_SIZE];
    FormatNumber(value, text);
    return text;
}

bool SameBits(double a, double b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

std::string HelpFile()
{
    std::string path = fake::world.modulePath;
    return path.substr(0, path.rfind('\\') + 1) + "VELMO.HLP";
}

/* What the user met during a key: the recorded calls as row events */
Words Happened(size_t &boxSeen, int &defaults)
{
    Words out;
    for (const std::string &e : fake::world.events) {
        std::string rest = e.substr(e.find(':') + 1);
        if (e == "beep") {
            out.push_back("!");
        } else if (e.rfind("sound:", 0) == 0) {
            out.push_back(rest.substr(0, rest.size() - 4));
        } else if (e.rfind("box:", 0) == 0) {
            const fake::Box &box = fake::world.boxes[boxSeen++];
            bool error = box.caption == "VELMO 2 - Error", fatal = box.caption == "VELMO 2 - Fatal Error";
            if (box.caption.empty()) {
                out.push_back("{at:" + box.text.substr(0, box.text.rfind('/')) + "}");
                if (box.owner || box.flags != (MB_TASKMODAL | MB_ICONINFORMATION))
                    Fault("source-position box with the wrong owner or flags");
            } else {
                out.push_back(std::string(fatal ? "{fatal:" : "{") + box.text + "}");
                if (!(error || fatal) || box.owner != (error ? mainWindow : nullptr)
                    || box.flags != (MB_TASKMODAL | MB_ICONEXCLAMATION))
                    Fault("box '" + box.text + "' under '" + box.caption + "', wrong owner or flags");
            }
        } else if (e.rfind("help:", 0) == 0) {
            out.push_back(rest[0] == '3' ? "help" : "helpquit");
            if (rest.substr(2) != HelpFile())
                Fault("help file " + rest.substr(2));
        } else if (e.rfind("dialog:", 0) == 0) {
            out.push_back(rest == "DIAL_ABOUT" ? "about" : "sounddlg");
        } else if (e.rfind("quit:", 0) == 0 || e.rfind("end:", 0) == 0 || e.rfind("exit:", 0) == 0) {
            out.push_back(e.substr(0, e.find(':')) + (rest == "0" ? "" : ":" + rest));
        } else if (e == "timer") {
            out.push_back("timer");
        } else if (e == "default:273") {
            defaults++;
        }
    }
    fake::world.events.clear();
    return out;
}

struct Snapshot
{
    std::vector<double> values;
    std::vector<std::string> lines;
    int entryDone;
    bool operator==(const Snapshot &o) const
    {
        return values.size() == o.values.size()
               && (values.empty() || !memcmp(values.data(), o.values.data(), values.size() * sizeof(double)))
               && lines == o.lines && entryDone == o.entryDone;
    }
};

Snapshot Take()
{
    Snapshot s{std::vector<double>(calculator.values + calculator.top, calculator.values + STACK_SIZE), {},
               calculator.entryDone};
    for (int i = 0; i < 4; i++)
        s.lines.push_back(fake::world.controls[IDC_LINE_X + i]);
    return s;
}

/* The rules every command keeps, whatever it was */
void CheckRules(int keysLeft)
{
    const RpnStack &c = calculator;
    if (c.top < 0 || c.top > STACK_SIZE || c.depth != STACK_SIZE - c.top)
        return Fault("top and depth disagree");
    if (mathError || c.linesPending || c.linesHeld)
        return Fault("math error or line writes left pending");
    for (const std::string &path : fake::world.loaded)
        if (path != "C:\\Windows\\system32\\winmm.dll")
            return Fault("a library loaded from " + path);
    if (fake::world.openDCs || fake::world.clipboardOpen
        || fake::world.blocks.size() != (fake::world.clipboardText ? 1u : 0u)
        || fake::world.openKeys != keysLeft)
        return Fault("a device context, the clipboard, a memory block or a key left open");
    for (int i = 0; i < c.depth; i++)
        if (!(fabs(c.values[c.top + i]) < 1.3407807929942596e+154))
            return Fault("a value at or above the overflow threshold");
    for (int i = 1; i < 4; i++)
        if (fake::world.controls[IDC_LINE_X + i] != (i < c.depth ? Shown(c.values[c.top + i]) : ""))
            return Fault("line " + std::to_string(i) + " does not show the stack");
    const std::string &x = fake::world.controls[IDC_LINE_X];
    double typed = 0;
    if (c.depth ? x != Shown(c.values[c.top]) && !(ReadNumber(x.c_str(), &typed) && SameBits(typed, c.values[c.top]))
                : !x.empty())
        Fault("the X line '" + x + "' is not X");
}

void Apply(const std::string &name, const std::string &value)
{
    fake::World &w = fake::world;
    std::string text = Text(value);
    if (name == "push") {
        std::stringstream list(value);
        for (std::string v; std::getline(list, v, ',');) {
            /* "2.5*1024": 1024 of them */
            int times = v.find('*') == std::string::npos ? 1 : atoi(v.c_str() + v.find('*') + 1);
            for (PushStatus status = {0}; times-- > 0;)
                calculator.PushValue("", strtod(v.c_str(), nullptr), status, 0);
        }
    } else if (name == "sound") {
        soundOn = atoi(value.c_str());
    } else if (name == "width") {
        w.lineWidth = atoi(value.c_str());
    } else if (name == "fail") {
        w.failNth[value.substr(0, value.find(':'))] = value.find(':') == std::string::npos ? -1 : atoi(&value[value.find(':') + 1]);
    } else if (name == "clip" && value == "-") {
        GlobalFree(w.clipboardText);
        w.clipboardText = nullptr;
    } else if (name == "clip" || name == "clipraw") {
        fake::PutClipboardBytes(name == "clip" ? text + '\0' : text);
    } else if (name == "reg") {
        fake::PutRegValue(soundKey, REG_SZ, text + '\0');
    } else if (name == "regraw") {
        fake::PutRegValue(soundKey, REG_SZ, text);
    } else if (name == "regtype") {
        fake::PutRegValue(soundKey, (DWORD)atoi(value.c_str()), fake::FindRegValue(soundKey)->data);
    } else if (name == "ini") {
        w.profile["sound"] = text;
    } else if (name == "os") {
        w.version = value == "win32s" ? 0x80000003 : 0x00000003;
    } else if (name == "dlg") {
        w.onDialog = [value](DLGPROC procedure) {
            std::stringstream list(value);
            for (std::string id; std::getline(list, id, ',');)
                procedure(fake::DialogWindow(), WM_COMMAND, (WPARAM)atoll(id.c_str()), 0);
        };
    } else if (name == "path") {
        w.modulePath = text;
    } else {
        Fault("unknown option " + name);
    }
}

void Check(const std::string &name, const std::string &value)
{
    std::string text = Text(value);
    if (name == "clip") {
        if (fake::ClipboardText() != (value == "-" ? "" : text))
            Fault("clipboard '" + fake::ClipboardText() + "'");
    } else if (name == "reg") {
        const fake::RegValue *v = fake::FindRegValue(soundKey);
        if (value == "-" ? v != nullptr : !v || v->type != REG_SZ || v->data != text + '\0')
            Fault("stored Sound value " + (v ? "'" + v->data + "'" : std::string("missing")));
    } else if (name == "ini") {
        if (fake::world.profile["sound"] != text)
            Fault("INI entry '" + fake::world.profile["sound"] + "'");
    } else if (name == "x") {
        if (!calculator.depth || !SameBits(calculator.values[calculator.top], strtod(value.c_str(), nullptr)))
            Fault("X is not " + value);
    } else if (name == "done") {
        if (calculator.entryDone != atoi(value.c_str()))
            Fault("entryDone is " + std::to_string(calculator.entryDone));
    } else if (name == "loaded") {
        if (fake::world.loaded.size() != (size_t)atoi(value.c_str()))
            Fault("WINMM loaded " + std::to_string(fake::world.loaded.size()) + " times");
    } else if (name == "writes") {
        if (fake::world.textWrites != atoi(value.c_str()))
            Fault(std::to_string(fake::world.textWrites) + " line writes");
    } else if (name == "radio") {
        if (fake::world.checkedRadio != atoi(value.c_str()))
            Fault("radio button " + std::to_string(fake::world.checkedRadio) + " checked");
    } else if (name == "shown") {
        if (shownAtBoxes != text)
            Fault("the X line showed '" + shownAtBoxes + "' at the boxes and beeps");
    } else if (name != "keys") {
        Fault("unknown check " + name);
    }
}

void NoteX()
{
    shownAtBoxes += (shownAtBoxes.empty() ? "" : ",") + fake::world.controls[IDC_LINE_X];
}

void Reset()
{
    fake::Reset();
    ForgetSoundLibrary();
    calculator = RpnStack();
    mathError = 0;
    soundOn = 1;
    mainWindow = fake::MainWindow();
    fake::world.windowProc = MainWndProc;
    fake::world.onExit = [](unsigned code) { longjmp(exitJump, (int)code + 1); };
    fake::world.onBox = NoteX;
    fake::world.onBeep = NoteX;
    LoadText(IDS_SOUND_KEY, soundKeyName, sizeof(soundKeyName));
}

/* Runs the keys; the events they gave */
Words Press(const std::string &keys, int keysLeft)
{
    Words events;
    size_t boxSeen = 0;
    volatile size_t i = 0;
    int exitCode = setjmp(exitJump);
    if (exitCode) {
        int defaults = 0;
        Words last = Happened(boxSeen, defaults);
        events.insert(events.end(), last.begin(), last.end());
        events.push_back(exitCode == 1 ? "exit" : "exit:" + std::to_string(exitCode - 1));
        return events;
    }
    if (!fake::world.created) {
        fake::world.created = true;
        MainWndProc(mainWindow, WM_CREATE, 0, 0);
        fake::world.calls.clear();
    }
    for (; i < keys.size(); i++) {
        char key = keys[i];
        long long code = Code(key);
        if (key == '#') {
            char *end;
            code = strtoll(keys.c_str() + i + 1, &end, 10);
            i = (size_t)(end - keys.c_str()) - 1;
        }
        Snapshot before = Take();
        int defaults = 0;
        int wasOn = soundOn;
        if (key == '@')
            soundOn = LoadIntSetting(soundKeyName, 0);
        else if (key == '$')
            MainWndProc(mainWindow, WM_DESTROY, 0, 0);
        else if (key != '_' && code < 0)
            Fault(std::string("unknown key ") + key);
        else if (key != '_') {
            fake::world.focus = nullptr;
            MainWndProc(mainWindow, WM_COMMAND, (WPARAM)code, 0);
            if (fake::world.focus != mainWindow)
                Fault("the focus is not on the main window");
        }
        for (const std::string &e : fake::world.events)
            if (!wasOn && !soundOn && e.rfind("sound:", 0) == 0)
                Fault(e + " played with sound off");
        Words now = Happened(boxSeen, defaults);
        int command = (int)(code & 0xFFFF);
        bool window = command == CMD_HELP || command == CMD_ABOUT || command == CMD_EXIT
                      || command == CMD_SOUND || command == CMD_PASTE;
        /* a pasted backspace may send Drop back to the window */
        if (strchr("@$_", key) || window ? defaults && command != CMD_PASTE : !defaults)
            Fault("the command did not go on to the default window procedure, or went on wrongly");
        for (const std::string &e : now)
            if ((e == "{Not enough numbers on the stack}" || e == "{Division by zero}"
                 || e == "{Negative argument of square root}") && command != CMD_PASTE && !(Take() == before))
                Fault("a refused command changed the calculator");
        events.insert(events.end(), now.begin(), now.end());
        CheckRules(keysLeft);
        if (!problem.empty()) {
            problem = "key " + std::to_string(i + 1) + " ('" + key + "'): " + problem;
            break;
        }
    }
    return events;
}

std::string Join(const Words &words)
{
    std::string out;
    for (const std::string &w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

}

std::string RunRow(const std::string &row)
{
    Words words = Split(row);
    size_t i = 0;
    problem.clear();
    shownAtBoxes.clear();
    if (!words.empty() && words[0] == "&")
        i++;
    else
        Reset();
    fake::world.textWrites = 0;
    for (; i < words.size() && words[i].find('=') != std::string::npos && words[i] != "=>"; i++)
        Apply(words[i].substr(0, words[i].find('=')), words[i].substr(words[i].find('=') + 1));
    if (i + 2 >= words.size() || words[i + 1] != "=>")
        return "no KEYS => LINES";
    std::string keys = words[i] == "_" ? "" : words[i];
    std::string lines = words[i + 2] == "-" ? "" : words[i + 2];
    Words expected, checks;
    bool listed = false;
    for (i += 3; i < words.size(); i++) {
        if (words[i] == ":")
            listed = true;
        else if (words[i].find('=') != std::string::npos && words[i][0] != '{')
            checks.push_back(words[i]);
        else if (words[i] != "e2e" && listed)
            expected.push_back(words[i]);
    }
    int keysLeft = 0;
    for (const std::string &c : checks)
        if (c.rfind("keys=", 0) == 0)
            keysLeft = atoi(c.c_str() + 5);
    if (!problem.empty())
        return problem;
    fake::world.textWrites = 0;
    fake::world.boxes.clear();
    Words events = Press(keys, keysLeft);
    if (!problem.empty())
        return problem;
    std::string shown = Take().lines[0];
    for (int l = 1; l < 4; l++)
        shown += "|" + fake::world.controls[IDC_LINE_X + l];
    while (shown.size() && shown.back() == '|')
        shown.pop_back();
    if (shown != lines)
        return "lines " + shown;
    if (listed && events != expected)
        return "events: " + Join(events);
    for (const std::string &c : checks)
        Check(c.substr(0, c.find('=')), c.substr(c.find('=') + 1));
    return problem;
}

std::string RunKeys(int sound, int width, const std::string &clip, const std::string &stored,
                    const std::string &keys)
{
    Reset();
    problem.clear();
    soundOn = sound;
    fake::world.lineWidth = width;
    if (!clip.empty())
        fake::PutClipboardBytes(clip);
    if (!stored.empty())
        fake::PutRegValue(soundKey, REG_SZ, stored);
    Press(keys, 0);
    return problem;
}
