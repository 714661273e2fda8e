/* The rules every command must keep, checked against a model of the
   calculator built here from the stack, the number formatter and reader and
   the string table, never by calling the display code under test. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "fakewin.h"
#include "globals.h"
#include "harness.h"
#include "numtext.h"
#include "resource.h"
#include "velmo.h"
#include "window.h"

#define THRESHOLD 1.3407807929942596e+154   /* the square root of the largest double */
#define TYPED_MAX 80                        /* what the X line gives back when read */

namespace {

struct State
{
    RpnStack stack;
    std::string lines[4];
    bool stale;         /* X is finished but the X line still shows it as typed */
};

bool staleX;

State Take()
{
    State s;
    s.stack = calculator;
    for (int i = 0; i < 4; i++)
        s.lines[i] = fake::world.controls[IDC_LINE_X + i];
    s.stale = staleX;
    return s;
}

bool SameBits(double a, double b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

bool SameStack(const RpnStack &a, const RpnStack &b)
{
    return a.top == b.top && a.depth == b.depth && a.top >= 0 && a.top <= STACK_SIZE
           && memcmp(a.values + a.top, b.values + b.top, (STACK_SIZE - a.top) * sizeof(double)) == 0;
}

bool SameLines(const State &a, const State &b)
{
    for (int i = 0; i < 4; i++)
        if (a.lines[i] != b.lines[i])
            return false;
    return true;
}

bool Unchanged(const State &a, const State &b)
{
    return SameStack(a.stack, b.stack) && SameLines(a, b) && a.stack.entryDone == b.stack.entryDone;
}

/* Value i of the stack (0 is X) */
double At(const RpnStack &s, int i)
{
    return s.values[s.top + i];
}

std::string Formatted(const RpnStack &s, int i)
{
    char text[NUMBER_TEXT_SIZE];

    if (i >= s.depth)
        return "";
    FormatNumber(At(s, i), text);
    return text;
}

/* The rest of the stack below the first n values of a and m values of b */
bool SameBelow(const RpnStack &a, int n, const RpnStack &b, int m)
{
    return a.depth - n == b.depth - m && a.depth >= n
           && memcmp(a.values + a.top + n, b.values + b.top + m, (a.depth - n) * sizeof(double)) == 0;
}

int Needed(int k)
{
    switch (k) {
    case 42: case 43: case 45: case 47: case 176: case 183:
        return 2;
    case 177: case 178: case 179: case 180: case 181: case 186:
        return 1;
    }
    return 0;
}

/* The message a command must be refused with before it changes anything, or 0 */
unsigned Refusal(int k, const RpnStack &s)
{
    double x = s.depth ? At(s, 0) : 0.0;

    if (s.depth < Needed(k))
        return IDS_FEW_OPERANDS;
    if ((k == 47 || k == 177) && x == 0.0)
        return IDS_DIV_ZERO;
    if (k == 179 && x < 0.0)
        return IDS_NEG_SQRT;
    return 0;
}

bool IsEntry(int k)
{
    return k == 8 || k == 13 || k == 46 || (k >= '0' && k <= '9');
}

std::vector<std::string> BoxTexts()
{
    std::vector<std::string> texts;
    for (const fake::Box &box : fake::world.boxes)
        texts.push_back(box.text);
    return texts;
}

bool IsTableText(const std::string &text)
{
    static const unsigned ids[] = {
#define VELMO_STRING(num, text) num,
#include "strings.inc"
#undef VELMO_STRING
    };
    for (unsigned id : ids)
        if (!text.empty() && text == fake::StringText(id))
            return true;
    return false;
}

void CheckBoxes()
{
    for (const fake::Box &box : fake::world.boxes) {
        REQUIRE(box.owner == mainWindow);
        REQUIRE(box.caption == fake::StringText(IDS_ERROR_CAPTION));
        REQUIRE(IsTableText(box.text));
        REQUIRE(box.flags == (MB_TASKMODAL | MB_ICONEXCLAMATION));
    }
}

bool OnlyBox(unsigned id)
{
    return fake::world.boxes.size() == 1 && fake::world.boxes[0].text == fake::StringText(id);
}

bool Beeped()
{
    for (const std::string &e : fake::world.events)
        if (e == "beep")
            return true;
    return false;
}

void CheckSounds()
{
    if (soundOn)
        return;
    for (const std::string &e : fake::world.events)
        REQUIRE(e.compare(0, 6, "sound:") != 0);
}

/* The X line read the way the engine reads the number being typed */
std::string TypedText()
{
    char text[TEXT_SIZE];

    GetDlgItemTextA(mainWindow, IDC_LINE_X, text, TEXT_SIZE);
    return text;
}

void CheckShape()
{
    const RpnStack &s = calculator;

    REQUIRE(s.depth == STACK_SIZE - s.top);
    REQUIRE(s.depth >= 0 && s.depth <= STACK_SIZE);
    REQUIRE(s.entryDone == 0 || s.entryDone == 1);
    for (int i = s.top; i < STACK_SIZE; i++)
        REQUIRE(isfinite(s.values[i]) && fabs(s.values[i]) < THRESHOLD);
    REQUIRE(mathError == 0);
    REQUIRE(fake::world.openDCs == 0);
    REQUIRE(!fake::world.clipboardOpen);
    REQUIRE(fake::LiveBlocks() == 0);
    REQUIRE(fake::world.openKeys == 0);
}

/* The text the entry keys make of the number being typed, or "" when the key
   must be refused; *drop is set when backspace removes the whole number */
std::string EntryText(int k, const State &b, bool *drop)
{
    std::string text = b.stack.entryDone ? "" : b.lines[0];
    double value;

    *drop = false;
    if (k == 8) {
        if (text.size() == 1) {
            *drop = true;
            return "";
        }
        if (text.empty())
            return "";
        text.pop_back();
    } else if (k == '.') {
        if (text.find('.') == std::string::npos)
            text += '.';
    } else {
        text += (char)k;
    }
    if (text == ".")
        text = "0.";
    if (!ReadNumber(text.c_str(), &value) || fake::TextWidth(text.c_str()) > fake::world.lineWidth
        || text.size() > TYPED_MAX)
        return "";
    return text;
}

void CheckEntry(int k, const State &b, const State &a)
{
    const RpnStack &s = calculator;
    bool drop;

    if (k == 13) {
        if (b.stack.entryDone && b.stack.depth == 0) {
            REQUIRE(Beeped() && Unchanged(a, b));
        } else if (b.stack.entryDone && b.stack.depth == STACK_SIZE) {
            REQUIRE(OnlyBox(IDS_STACK_FULL) && Unchanged(a, b));
        } else if (b.stack.entryDone) {
            REQUIRE(s.depth == b.stack.depth + 1 && SameBits(At(s, 0), At(b.stack, 0)));
            REQUIRE(SameBelow(s, 1, b.stack, 0));
        } else {
            REQUIRE(SameStack(s, b.stack) && SameLines(a, b));
        }
        REQUIRE(s.entryDone == 1);
        return;
    }

    std::string text = EntryText(k, b, &drop);
    if (drop) {
        REQUIRE(s.depth == b.stack.depth - 1 && SameBelow(s, 0, b.stack, 1));
        REQUIRE(s.entryDone == 1);
        return;
    }
    if (text.empty()) {
        REQUIRE(Beeped() && fake::world.boxes.empty() && Unchanged(a, b));
        return;
    }
    if (b.stack.entryDone && b.stack.depth == STACK_SIZE) {
        /* A full stack refuses the new number, which stays finished */
        REQUIRE(OnlyBox(IDS_STACK_FULL) && Unchanged(a, b));
        return;
    }
    double value = 0.0;
    ReadNumber(text.c_str(), &value);
    REQUIRE(a.lines[0] == text && SameBits(At(s, 0), value) && s.entryDone == 0);
    if (b.stack.entryDone)
        REQUIRE(s.depth == b.stack.depth + 1 && SameBelow(s, 1, b.stack, 0));
    else
        REQUIRE(SameBelow(s, 1, b.stack, 1));
}

void CheckOperation(int k, const State &b, const State &a)
{
    const RpnStack &s = calculator, &p = b.stack;
    double x = p.depth > 0 ? At(p, 0) : 0.0, y = p.depth > 1 ? At(p, 1) : 0.0;

    REQUIRE(s.entryDone == 1);
    if (!fake::world.boxes.empty()) {
        /* A math error: reported once, and the operands put back */
        bool overflow = OnlyBox(IDS_OVERFLOW);
        REQUIRE(overflow || OnlyBox(IDS_NUM_ERROR));
        REQUIRE(overflow ? (Needed(k) > 0 && k != 178 && k != 179 && k != 180 && k != 181
                            && k != 183)
                         : k == 176);
        REQUIRE(SameStack(s, p));
        for (int i = 0; i < 4; i++)
            REQUIRE(a.lines[i] == Formatted(s, i));
        return;
    }
    switch (k) {
    case 42: case 43: case 45: case 47: {
        double r = k == 42 ? y * x : k == 43 ? y + x : k == 45 ? y - x : y / x;
        REQUIRE(s.depth == p.depth - 1 && SameBits(At(s, 0), r) && SameBelow(s, 1, p, 2));
        break;
    }
    case 176:
        REQUIRE(s.depth == p.depth - 1 && SameBelow(s, 1, p, 2));
        REQUIRE(x != 0.0 || SameBits(At(s, 0), 1.0));
        break;
    case 177: case 178: case 179: case 186: {
        double r = k == 177 ? 1.0 / x : k == 178 ? -x : k == 179 ? sqrt(x) : x * x;
        REQUIRE(s.depth == p.depth && SameBits(At(s, 0), r) && SameBelow(s, 1, p, 1));
        break;
    }
    case 180:
        REQUIRE(s.depth == p.depth - 1 && SameBelow(s, 0, p, 1));
        break;
    case 182:
        REQUIRE(s.depth == 0);
        break;
    case 183:
        REQUIRE(s.depth == p.depth && SameBits(At(s, 0), y) && SameBits(At(s, 1), x));
        REQUIRE(SameBelow(s, 2, p, 2));
        break;
    case 181:
        REQUIRE(SameStack(s, p) && SameLines(a, b));
        REQUIRE(fake::ClipboardText() == Formatted(p, 0));
        break;
    default:
        REQUIRE(SameStack(s, p) && SameLines(a, b));
    }
}

void CheckLines(const State &b, const State &a)
{
    const RpnStack &s = calculator;

    for (int i = 1; i < 4; i++)
        REQUIRE(a.lines[i] == Formatted(s, i));
    if (!s.entryDone) {
        double value = 0.0;
        std::string typed = TypedText();
        REQUIRE(s.depth >= 1 && typed == a.lines[0]);
        REQUIRE(ReadNumber(typed.c_str(), &value) && SameBits(value, At(s, 0)));
        staleX = false;
    } else if (a.lines[0] == Formatted(s, 0)) {
        staleX = false;
    } else {
        /* Only a command that changed nothing leaves the typed text in place */
        REQUIRE(!b.stack.entryDone || b.stale);
        REQUIRE(SameStack(s, b.stack) && SameLines(a, b));
        staleX = true;
    }
}

}

void Broken(const char *what, const char *file, int line)
{
    fprintf(stderr, "broken rule at %s:%d: %s\n", file, line, what);
    fprintf(stderr, "entryDone %d top %d depth %d mathError %d lines [%s] [%s] [%s] [%s]\n",
            calculator.entryDone, calculator.top, calculator.depth, mathError,
            fake::world.controls[IDC_LINE_X].c_str(), fake::world.controls[IDC_LINE_Y].c_str(),
            fake::world.controls[IDC_LINE_Z].c_str(), fake::world.controls[IDC_LINE_T].c_str());
    abort();
}

void NewSession(int sound, int lineWidth)
{
    fake::Reset();
    calculator = RpnStack();
    mathError = 0;
    soundOn = sound;
    mainWindow = fake::MainWindow();
    fake::world.windowProc = MainWndProc;
    fake::world.lineWidth = lineWidth;
    staleX = false;
}

void Step(unsigned code)
{
    int k = (int)(code & 0xFF);
    State before = Take();
    unsigned refusal = Refusal(k, calculator);

    fake::world.events.clear();
    fake::world.boxes.clear();
    calculator.HandleKey(code);
    State after = Take();

    CheckShape();
    CheckBoxes();
    CheckSounds();
    if (refusal) {
        std::vector<std::string> expected;
        if (soundOn)
            expected.push_back("sound:error.wav");
        expected.push_back(std::string("box:") + fake::StringText(refusal));
        REQUIRE(fake::world.events == expected);
        REQUIRE(Unchanged(after, before));
    } else if (IsEntry(k)) {
        CheckEntry(k, before, after);
    } else {
        CheckOperation(k, before, after);
    }
    CheckLines(before, after);
}

/* What ReadClipboardText must give for these clipboard bytes */
static std::string ExpectedPaste(const std::string &bytes)
{
    std::string text(PASTE_BUFFER_SIZE, '\0');
    size_t n = 0;

    while (n < bytes.size() && n < 81 && bytes[n])
        text[n] = bytes[n], n++;
    text[n] = '\n';
    return text;
}

void PasteChecked(const std::string &bytes, bool absent)
{
    State start = Take();
    std::vector<std::string> boxes;
    bool unreadable = absent || bytes.empty();  /* an empty block cannot be locked */

    /* Through the main window, as Ctrl+V does it */
    fake::world.boxes.clear();
    if (absent)
        OpenClipboard(nullptr), EmptyClipboard(), CloseClipboard();
    else
        fake::PutClipboardBytes(bytes);
    MainWndProc(mainWindow, WM_COMMAND, CMD_PASTE, 0);
    State direct = Take();
    std::vector<std::string> directBoxes = BoxTexts();
    std::string directClip = fake::ClipboardText();
    CheckShape();
    CheckBoxes();

    /* Again from the same state, one checked step a byte */
    calculator = start.stack;
    for (int i = 0; i < 4; i++)
        fake::world.controls[IDC_LINE_X + i] = start.lines[i];
    staleX = start.stale;
    fake::world.boxes.clear();
    fake::world.events.clear();
    if (absent)
        OpenClipboard(nullptr), EmptyClipboard(), CloseClipboard();
    else
        fake::PutClipboardBytes(bytes);

    char *buffer = new char[PASTE_BUFFER_SIZE];     /* exactly its size: an overrun is caught */
    memset(buffer, 'j', PASTE_BUFFER_SIZE);
    ReadClipboardText(buffer);
    CheckShape();
    if (unreadable) {
        REQUIRE(buffer[0] == 0 && OnlyBox(IDS_NO_PASTE));
        boxes = BoxTexts();
    } else {
        REQUIRE(std::string(buffer, PASTE_BUFFER_SIZE) == ExpectedPaste(bytes));
        REQUIRE(fake::world.boxes.empty());
    }
    std::string keys(buffer);
    delete[] buffer;
    for (unsigned char c : keys) {
        Step(c);
        for (const std::string &t : BoxTexts())
            boxes.push_back(t);
    }

    State replayed = Take();
    REQUIRE(SameStack(replayed.stack, direct.stack));
    REQUIRE(replayed.stack.entryDone == direct.stack.entryDone);
    REQUIRE(SameLines(replayed, direct));
    REQUIRE(boxes == directBoxes);
    REQUIRE(fake::ClipboardText() == directClip);
    if (!unreadable && bytes.find('\0') == std::string::npos && bytes.size() <= 81)
        REQUIRE(keys == bytes + "\n");
}
