#include <math.h>
#include <setjmp.h>
#include <string.h>
#include <functional>
#include <sstream>
#include <windows.h>
#include <mmsystem.h>
#include "fakewin.h"
#include "fpu.h"
#include "globals.h"
#include "numtext.h"
#include "resource.h"
#include "rows.h"
#include "velmo.h"
#include "window.h"

namespace {

typedef std::vector<std::string> Words;

const char soundKey[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";
jmp_buf exitJump;
std::string problem, shownAtBoxes;  /* shownAtBoxes: the X line at each box and beep */
std::string handled;                /* what the dialog procedure returned for each click */

void Fault(const std::string &what)
{
    if (problem.empty())
        problem = what;
}

/* Words apart by spaces; "..." and {...} are one word each */
Words Split(const std::string &row)
{
    Words words(1);
    char close = 0;
    for (size_t i = 0; i < row.size(); i++) {
        if (!close && row[i] == ' ') {
            if (!words.back().empty())
                words.emplace_back();
            continue;
        }
        words.back() += row[i];
        if (close && row[i] == '\\')
            words.back() += row[++i];
        else if (close ? row[i] == close : row[i] == '"' || row[i] == '{')
            close = close ? 0 : row[i] == '"' ? '"' : '}';
    }
    if (words.back().empty())
        words.pop_back();
    return words;
}

/* A quoted value's bytes, its escapes undone */
std::string Text(const std::string &value)
{
    std::string out, in = value[0] == '"' ? value.substr(1, value.size() - 2) : value;
    for (size_t i = 0; i < in.size(); i++) {
        char c = in[i] == '\\' ? in[++i] : 0;
        if (c == 'x')
            out += (char)strtol(in.substr(i + 1, 2).c_str(), nullptr, 16), i += 2;
        else if (c == '[')
            out += std::string((size_t)atoi(&in[i + 1]), in[in.find(']', i) + 1]), i = in.find(']', i) + 1;
        else
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c ? c : in[i];
    }
    return out;
}

int Code(char key)
{
    static const char letters[] = "~<YRNSDCWQPVHAXOenwsqdcpvh";
    static const int codes[] = {CMD_ENTER, CMD_BACK, CMD_RAISE, CMD_RECIP, CMD_CH_SGN, CMD_SQRT, CMD_DROP,
                                CMD_CLEAR, CMD_SWAP, CMD_SQUARE, CMD_COPY, CMD_PASTE, CMD_HELP, CMD_ABOUT,
                                CMD_EXIT, CMD_SOUND, CMD_ENTER, CMD_CH_SGN, CMD_SWAP, CMD_SQRT, CMD_SQUARE,
                                CMD_DROP, CMD_CLEAR, CMD_COPY, CMD_PASTE, CMD_HELP};
    if (key && strchr("0123456789.+-*/", key))
        return key;
    return key && strchr(letters, key) ? codes[strchr(letters, key) - letters] : -1;
}

std::string Shown(double value)
{
    char text[NUMBER_TEXT_SIZE];
    FormatNumber(value, text);
    return text;
}

/* The x87 control word, as another program or a DLL may leave it (Linux's
   64-bit precision), and as a command leaves it; X87_CONTROL_WORD where
   there is no x87 */
void SetControlWord(unsigned short word)
{
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fldcw %0" : : "m"(word));
#else
    (void)word;
#endif
}

unsigned short ControlWord()
{
    unsigned short word = X87_CONTROL_WORD;
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fnstcw %0" : "=m"(word));
#endif
    return word;
}

bool SameBits(double a, double b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

/* The main window's class as registered: RegisterClassExA with the small
   icon, or RegisterClassA; a fault when any of its fields is wrong */
std::string ClassEvent(const std::string &kind)
{
    const WNDCLASSEXA &c = fake::world.windowClass;
    bool ex = kind == "classex";
    if (c.style != (CS_HREDRAW | CS_VREDRAW) || c.lpfnWndProc != MainWndProc || c.cbClsExtra || c.cbWndExtra != DLGWINDOWEXTRA
        || c.hInstance != instance || c.hIcon != fake::Icon(32) || c.hCursor != fake::Arrow()
        || c.hbrBackground != BackgroundBrush() || c.lpszMenuName || !c.lpszClassName || strcmp(c.lpszClassName, "VELMO 2")
        || c.cbSize != (ex ? sizeof c : 0) || c.hIconSm != (ex ? fake::Icon(fake::SmallIconSize()) : nullptr))
        Fault("the window class is not as registered by " + kind);
    return kind;
}

/* What the user met: the recorded calls as row events; counts the calls that
   went on to the default window procedure */
Words Happened(size_t &boxSeen, int &defaults)
{
    Words out;
    std::string helpFile = fake::world.modulePath.substr(0, fake::world.modulePath.rfind('\\') + 1) + "VELMO.HLP";
    for (const std::string &e : fake::world.events) {
        std::string kind = e.substr(0, e.find(':')), rest = e.substr(e.find(':') + 1);
        if (kind == "box") {
            const fake::Box &box = fake::world.boxes[boxSeen++];
            bool fatal = box.caption == "VELMO 2 - Fatal Error";
            if (box.caption.empty() ? box.owner || box.flags != (MB_TASKMODAL | MB_ICONINFORMATION)
                                    : box.owner != (fatal ? nullptr : mainWindow) || box.flags != (MB_TASKMODAL | MB_ICONEXCLAMATION)
                                          || (!fatal && box.caption != "VELMO 2 - Error"))
                Fault("box '" + box.text + "' under '" + box.caption + "', wrong owner or flags");
            out.push_back(box.caption.empty() ? "{at:" + box.text.substr(0, box.text.rfind('/')) + "}"
                                              : (fatal ? "{fatal:" : "{") + box.text + "}");
        } else if (kind == "help" || kind == "htmlhelp") {
            /* WinHelp opens (3) and quits VELMO.HLP; HTML Help opens (1) VELMO.chm and closes all */
            std::string file = rest.substr(rest.find(':') + 1);
            bool open = rest.substr(0, rest.find(':')) == (kind == "help" ? "3" : "1");
            out.push_back(std::string(kind == "help" ? "help" : "chm") + (open ? "" : "quit"));
            if (file != (kind == "help" ? helpFile : open ? helpFile.substr(0, helpFile.size() - 3) + "chm" : ""))
                Fault("help file " + file);
        } else if (kind == "default") {
            defaults++;
        } else if (kind == "class" || kind == "classex") {
            out.push_back(ClassEvent(kind));
        } else if (kind == "sound") {
            /* Played without waiting for its end, a sound is cut short by the
               next: a spoken number would be heard as its last character */
            std::string file = rest.substr(rest.find(':') + 1);
            if (strtoul(rest.c_str(), nullptr, 10) != SND_SYNC)
                Fault(file + " played with flags " + rest.substr(0, rest.find(':')) + ", not SND_SYNC");
            out.push_back(file.substr(0, file.size() - 4));
        } else {
            out.push_back(e == "beep" ? "!" : kind == "dialog" ? (rest == "DIAL_ABOUT" ? "about" : "sounddlg")
                          : rest == "0" || e == "timer" ? kind : e);
        }
    }
    fake::world.events.clear();
    return out;
}

std::string Lines()
{
    std::string lines;
    for (int i = 0; i < 4; i++)
        lines += (i ? "|" : "") + fake::world.controls[IDC_LINE_X + i];
    return lines;
}

/* The calculator's state as the user can meet it again, into out. Taken
   before every key: out keeps its storage from key to key and row to row,
   so that a long row allocates nothing here. */
void State(std::string &out)
{
    out.assign((const char *)(calculator.values + calculator.top), (STACK_SIZE - calculator.top) * sizeof(double));
    for (int i = 0; i < 4; i++)
        out.append(i ? "|" : "").append(fake::world.controls[IDC_LINE_X + i]);
    out += (char)('0' + calculator.entryDone);
}

/* The rules every command keeps, whatever it was */
void CheckRules(int keysLeft)
{
    const RpnStack &c = calculator;
    const fake::World &w = fake::world;
    double typed = 0;
    if (c.top < 0 || c.top > STACK_SIZE || c.depth != STACK_SIZE - c.top || mathError || c.linesPending || c.linesHeld)
        return Fault("top and depth disagree, or a math error or line writes are left pending");
    if (!w.misuse.empty())
        return Fault(w.misuse);
    if (w.openDCs || w.clipboardOpen || w.blocks.size() != (w.clipboardText ? 1u : 0u) || w.openKeys != keysLeft)
        return Fault("a device context, the clipboard, a memory block or a key left open");
    for (const std::string &path : w.loaded)
        if (path.rfind(fake::SystemDirectory() + "\\", 0) != 0)
            return Fault("a library loaded from " + path);
    for (int i = 0; i < c.depth; i++)
        if (!(fabs(c.values[c.top + i]) < 1.3407807929942596e+154))
            return Fault("a value at or above the overflow threshold");
    for (int i = 1; i < 4; i++)
        if (w.controls.at(IDC_LINE_X + i) != (i < c.depth ? Shown(c.values[c.top + i]) : ""))
            return Fault("line " + std::to_string(i) + " does not show the stack");
    const std::string &x = w.controls.at(IDC_LINE_X);
    if (c.depth ? x != Shown(c.values[c.top]) && !(ReadNumber(x.c_str(), &typed) && SameBits(typed, c.values[c.top]))
                : !x.empty())
        Fault("the X line '" + x + "' is not X");
}

void NoteX()
{
    shownAtBoxes += (shownAtBoxes.empty() ? "" : ",") + fake::world.controls[IDC_LINE_X];
}

void Reset()
{
    fake::Reset();
    ForgetSoundLibrary();
    ForgetHelpLibrary();
    calculator = RpnStack();
    mathError = 0;
    soundOn = 1;
    mainWindow = fake::MainWindow();
    instance = fake::Program();
    LoadText(IDS_CLASS_NAME, className, sizeof(className));
    for (int i = 0; i < 4; i++)
        fake::world.controls[IDC_LINE_X + i] = "";
    fake::world.windowProc = MainWndProc;
    fake::world.onExit = [](unsigned code) { longjmp(exitJump, (int)code + 1); };
    fake::world.onBox = fake::world.onBeep = NoteX;
    LoadText(IDS_SOUND_KEY, soundKeyName, sizeof(soundKeyName));
}

void Apply(const std::string &name, const std::string &value)
{
    fake::World &w = fake::world;
    std::string text = Text(value);
    std::stringstream list(value);
    if (name == "push") {
        /* "2.5*1024": 1024 of them, put straight on the stack and shown once */
        for (std::string v; std::getline(list, v, ',');) {
            int times = v.find('*') == std::string::npos ? 1 : atoi(&v[v.find('*') + 1]);
            double pushed = strtod(v.c_str(), nullptr);
            if (times > 1 && times <= calculator.top && fabs(pushed) < OverflowThreshold()) {
                for (; times > 0; times--)
                    calculator.values[--calculator.top] = pushed, calculator.depth++;
                calculator.RefreshLines(1);
            }
            for (; times > 0; times--) {
                PushStatus status = {0};
                calculator.PushValue("", pushed, status, 0);
            }
        }
    } else if (name == "sound" || name == "width") {
        (name == "sound" ? soundOn : w.lineWidth) = atoi(value.c_str());
    } else if (name == "fail") {
        w.failNth[value.substr(0, value.find(':'))] = value.find(':') == std::string::npos ? -1 : atoi(&value[value.find(':') + 1]);
    } else if (name == "clip") {
        GlobalFree(w.clipboardText);
        w.clipboardText = nullptr;
        if (value != "-")
            fake::PutClipboardBytes(text + '\0');
    } else if (name == "clipraw") {
        fake::PutClipboardBytes(text);
    } else if (name == "reg" || name == "regraw") {
        fake::PutRegValue(soundKey, REG_SZ, name == "reg" ? text + '\0' : text);
    } else if (name == "regtype") {
        fake::PutRegValue(soundKey, (DWORD)atoi(value.c_str()), fake::FindRegValue(soundKey)->data);
    } else if (name == "ini") {
        w.profile["sound"] = text;
    } else if (name == "os") {
        w.version = value == "win32s" ? 0x80000003 : value == "win95" ? 0xC0000004 : value == "xp" ? 0x0A280105 : 0x00000003;
    } else if (name == "dlg") {
        w.onDialog = [value]() {
            std::stringstream ids(value);
            for (std::string id; std::getline(ids, id, ',');)
                handled += (handled.empty() ? "" : ",") + std::to_string(fake::world.dialogProc(fake::DialogWindow(), WM_COMMAND, (WPARAM)atoll(id.c_str()), 0));
        };
    } else if (name == "missing") {
        for (std::string f; std::getline(list, f, ',');)
            w.missing.insert(f);
    } else if (name == "path") {
        w.modulePath = text;
    } else {
        Fault("unknown option " + name);
    }
}

void Check(const std::string &name, const std::string &value)
{
    const fake::RegValue *stored = fake::FindRegValue(soundKey);
    std::string text = Text(value), seen;
    int number = atoi(value.c_str());
    if (name == "x" || name == "keys") {
        if (name == "x" && (!calculator.depth || !SameBits(calculator.values[calculator.top], strtod(value.c_str(), nullptr))))
            Fault("X is not " + value);
        return;
    }
    if (name == "clip")
        seen = fake::ClipboardText(), text = value == "-" ? "" : text;
    else if (name == "reg")
        seen = stored ? stored->data + (stored->type == REG_SZ ? "" : "?") : "-", text = value == "-" ? "-" : text + '\0';
    else if (name == "ini")
        seen = fake::world.profile["sound"];
    else if (name == "lib")
        for (const std::string &path : fake::world.loaded)
            seen += (seen.empty() ? "" : ",") + path;
    else if (name == "shown" || name == "handled")
        seen = name == "shown" ? shownAtBoxes : handled;
    else if (name == "stored")
        seen = std::to_string(fake::world.calls["RegSetValueExA"] + fake::world.calls["WritePrivateProfileStringA"]);
    else if (name == "done" || name == "loaded" || name == "writes" || name == "radio")
        seen = std::to_string(name == "done" ? calculator.entryDone : name == "loaded" ? (int)fake::world.loaded.size()
                              : name == "writes" ? fake::world.textWrites : fake::world.checkedRadio),
        text = std::to_string(number);
    else
        return Fault("unknown check " + name);
    if (seen != text)
        Fault(name + " is '" + seen + "'");
}

/* Runs the keys; the events they gave */
Words Press(const std::string &keys, int keysLeft)
{
    Words events;
    size_t boxSeen = 0;
    volatile size_t i = 0;
    int defaults = 0, exitCode = setjmp(exitJump);
    if (exitCode) {
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
    for (; i < keys.size() && problem.empty(); i++) {
        char key = keys[i], *end;
        long long code = key == '#' ? strtoll(&keys[i + 1], &end, 10) : Code(key);
        static std::string before, after;
        State(before);
        int wasOn = soundOn;
        i = key == '#' ? (size_t)(end - keys.c_str()) - 1 : i;
        defaults = 0;
        SetControlWord(0x037F);
        if (key == '@')
            soundOn = LoadIntSetting(soundKeyName, 0);
        else if (key == '$')
            MainWndProc(mainWindow, WM_DESTROY, 0, 0);
        else if (key == '%')
            RegisterMainClass();
        else if (code < 0 && key != '_')
            Fault(std::string("unknown key ") + key);
        else if (key != '_' && (fake::world.focus = nullptr, MainWndProc(mainWindow, WM_COMMAND, (WPARAM)code, 0), fake::world.focus != mainWindow))
            Fault("the focus is not on the main window");
        for (const std::string &e : fake::world.events)
            if (!wasOn && !soundOn && e.rfind("sound:", 0) == 0)
                Fault(e + " played with sound off");
        Words now = Happened(boxSeen, defaults);
        int command = (int)(code & 0xFFFF);
        bool window = command == CMD_HELP || command == CMD_ABOUT || command == CMD_EXIT || command == CMD_SOUND;
        if (!strchr("#@$%_", key) && !window && command != CMD_PASTE && ControlWord() != X87_CONTROL_WORD)
            Fault("the command ran with the math unit as it found it");
        /* calculator commands go on to the default procedure; a pasted backspace may send Drop back */
        if (strchr("@$%_", key) || window ? defaults > 0 : !defaults && command != CMD_PASTE)
            Fault("the command did not go on to the default window procedure, or went on wrongly");
        for (const std::string &e : now)
            if ((e == "{Not enough numbers on the stack}" || e == "{Division by zero}"
                 || e == "{Negative argument of square root}") && command != CMD_PASTE && (State(after), after != before))
                Fault("a refused command changed the calculator");
        events.insert(events.end(), now.begin(), now.end());
        CheckRules(keysLeft);
        if (!problem.empty())
            problem = "key " + std::to_string(i + 1) + " ('" + key + "'): " + problem;
    }
    return events;
}

}

std::string RunRow(const std::string &row)
{
    Words words = Split(row), expected;
    size_t i = !words.empty() && words[0] == "&";
    int keysLeft = 0;
    bool listed = false;
    problem.clear();
    shownAtBoxes.clear();
    handled.clear();
    if (!i)
        Reset();
    for (; i < words.size() && words[i].find('=') != std::string::npos && words[i] != "=>"; i++)
        Apply(words[i].substr(0, words[i].find('=')), words[i].substr(words[i].find('=') + 1));
    if (i + 2 >= words.size() || words[i + 1] != "=>")
        return "no KEYS => LINES";
    std::string keys = words[i] == "_" ? "" : words[i], lines = words[i + 2] == "-" ? "" : words[i + 2];
    for (size_t c = i + 3; c < words.size(); c++)
        if (words[c].rfind("keys=", 0) == 0)
            keysLeft = atoi(&words[c][5]);
    fake::world.textWrites = 0;
    fake::world.boxes.clear();
    Words events = problem.empty() ? Press(keys, keysLeft) : Words();
    std::string shown = Lines();
    shown.erase(shown.find_last_not_of('|') + 1);
    if (problem.empty() && shown != lines && lines != "*")
        Fault("lines " + shown);
    for (i += 3; i < words.size() && problem.empty(); i++) {
        if (words[i] == ":")
            listed = true;
        else if (words[i].find('=') != std::string::npos && words[i][0] != '{')
            Check(words[i].substr(0, words[i].find('=')), words[i].substr(words[i].find('=') + 1));
        else if (words[i] != "e2e" && listed)
            expected.push_back(words[i]);
    }
    if (problem.empty() && listed && events != expected) {
        std::string seen;
        for (const std::string &e : events)
            seen += " " + e;
        Fault("events:" + seen);
    }
    return problem;
}
