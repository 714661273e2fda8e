#!/usr/bin/env python3
"""End-to-end tests of the real VELMO.exe under wine on Xvfb.

usage: test_program.py BUILD_DIR [TEST ...]
Each test runs in a fresh Wine prefix and X server of its own; it types real
keys and clicks with xdotool and checks the program from outside through the
driver (velmodrv.exe). Without names, every test runs.
"""
import glob
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winenv import Session, Skip, poll, unescape  # noqa: E402

ERROR = "VELMO 2 - Error"
HELP_TITLE = "VELMO 2 Help"
HELP_CHAPTER = "Chapter 2: Keys and buttons"
CMD_HELP = 122
SOUND_KEY_VALUE = 1     # REG_SZ
TESTS = {}
checks = 0


def test(fn):
    TESTS[fn.__name__] = fn
    return fn


def expect(seen, wanted, what):
    global checks
    checks += 1
    if seen != wanted:
        raise AssertionError(f"{what}: got {seen!r}, expected {wanted!r}")


def expect_lines(s, *wanted):
    global checks
    checks += 1
    s.wait_lines(list(wanted))


def expect_box(s, text, caption=ERROR):
    """The program's message box: its caption and text; answered with OK."""
    box = s.wait_box()
    expect((box["caption"], box["text"]), (caption, text), "message box")
    s.close_box(box)


def expect_clip(s, wanted):
    """The clipboard comes to hold wanted: the copy may still be on its way."""
    global checks
    checks += 1
    seen = []
    poll(lambda: True if seen.append(s.clip_get()) or seen[-1] == wanted else None, 10,
         lambda: f"clipboard {seen[-1]!r}, expected {wanted!r}")


def expect_exit(s, code=0):
    expect(s.wait_exit(), code, "exit code")


# The keys of the rows as a user types them; upper case: Alt with the letter
KEYS = {"~": "Return", "<": "BackSpace", ".": "period", "+": "plus", "-": "minus", "*": "asterisk",
        "/": "slash", "Y": "alt+y", "R": "alt+1", "N": "alt+equal", "S": "alt+s", "D": "alt+d", "C": "alt+c",
        "W": "alt+w", "Q": "alt+2", "P": "ctrl+c", "V": "ctrl+v", "H": "F1", "A": "alt+a", "X": "alt+x",
        "O": "alt+o", "e": "alt+e", "n": "Delete", "w": "Home", "s": "End", "q": "Page_Down", "d": "Insert",
        "c": "Page_Up", "p": "ctrl+Insert", "v": "shift+Insert", "h": "alt+h"}


def words(row):
    """A row's words: "..." and {...} are one word each."""
    return re.findall(r'(?:"(?:\\.|[^"])*"|\{[^}]*\}|[^ "{])+', row)


def text(value):
    """A quoted value's bytes, its escapes undone: \\n \\r \\t \\xNN, \\[N]c for N times c, \\ and \\"."""
    def one(m):
        e = m[1]
        return (chr(int(e[1:], 16)) if e[0] == "x" else e[-1] * int(e[1:-2]) if e[0] == "[" else
                {"n": "\n", "r": "\r", "t": "\t"}.get(e, e))
    return re.sub(r"\\(x[0-9a-fA-F]{2}|\[\d+\].|.)", one, value[1:-1], flags=re.S).encode("latin-1")


@test
def rows(s):
    """The rows tagged e2e in the tables of tests/, each chain in a program of its own: the keys
    typed for real, the lines, boxes and clipboard checked from outside."""
    tables = glob.glob(os.path.join(os.path.dirname(__file__), "..", "*", "*.rows"))
    chains, chain = [], None
    for row in (r for t in sorted(tables) for r in open(t).read().splitlines()):
        if not row.startswith("& "):
            chain = [] if row.endswith(" e2e") else None
            chains += [chain] if chain is not None else []
        if chain is not None:
            chain.append(row)
    for chain in chains:
        s.start()
        for row in chain:
            w = words(row[2:] if row.startswith("& ") else row)
            arrow = w.index("=>")
            for option in w[:arrow - 1]:
                name, value = option.split("=", 1)
                if name == "clip":
                    s.clip_clear() if value == "-" else s.clip_set(text(value))
                elif option != "sound=0":
                    raise AssertionError(f"{option} cannot be set on the real program: {row}")
            s.keys(*(KEYS.get(k, k) for k in w[arrow - 1] if k != "_"))
            for word in w[arrow + 2:]:
                if word.startswith("{"):
                    expect_box(s, word[1:-1])
                elif word.startswith("clip="):
                    expect_clip(s, text(word[5:]))
            expect_lines(s, *(w[arrow + 1] + "|||").split("|")[:4] if w[arrow + 1] != "-" else ["", "", "", ""])
        s.keys("alt+x")
        expect_exit(s)


@test
def buttons(s):
    s.start()
    for control in (55, 13, 50):                                    # 7 Enter 2
        s.click(control)
    expect_lines(s, "2", "7", "", "")
    expect(s.focus(), "main", "focus after a click")
    s.click(42)                                                     # *
    expect_lines(s, "14", "", "", "")
    expect(s.focus(), "main", "focus after a click")
    s.keys("1", "plus")                                             # keys still reach the window
    expect_lines(s, "15", "", "", "")
    s.click(124)                                                    # Exit
    expect_exit(s)


def wait_viewer(s):
    """The help viewer, a process of its own, showing VELMO.HLP: its caption is the file's title
    and its page the contents, which begins with the title and lists the chapters."""
    viewer = s.wait_window(lambda w: w["pid"] != s.pid and w["cls"] == "MS_WINHELP" and w["caption"] == HELP_TITLE)
    expect(viewer["caption"], HELP_TITLE, "help viewer caption")
    page = []

    def contents():
        page[:] = [unescape(s.drv(f"rich-text {viewer['hwnd']}")[3:])]
        return True if page[0].startswith(HELP_TITLE + "\r\n") and HELP_CHAPTER in page[0] else None
    poll(contents, 10, lambda: f"help page is not the contents: {page[0][:200]!r}")
    return viewer


def back_to_main(s):
    """The viewer opens over the window and no window manager brings it back: raise it and click
    it, as a user would."""
    s._run(["xdotool", "windowraise", s.wid])
    s.click(184)


@test
def help_and_about(s):
    s.start()
    for how in ("F1", "alt+h", CMD_HELP):
        if how == CMD_HELP:
            s.click(how)
        else:
            s.keys(how)
        viewer = wait_viewer(s)
        # Closed from its own window, so that the next one is opened anew
        wid = s._run(["xdotool", "search", "--onlyvisible", "--name", f"^{HELP_TITLE}$"]).split()[0]
        s._run(["xdotool", "windowfocus", "--sync", wid, "key", "alt+F4"])
        s.wait_gone(viewer)
        back_to_main(s)
    s.keys("alt+a")
    about = s.wait_box()
    expect(about["caption"], "VELMO 2", "About caption")
    s.keys("Escape", target=about)
    s.wait_gone(about)
    s.keys("F1")
    viewer = wait_viewer(s)
    back_to_main(s)
    s.keys("4")
    expect_lines(s, "4")
    s.keys("alt+x")
    expect_exit(s)
    s.wait_gone(viewer)


def sound_dialog(s, *keys):
    """Opens the Sound dialog with Alt+o, types keys into it and waits for it to close;
    returns whether it showed sound on when it opened."""
    s.keys("alt+o")
    dialog = s.wait_box()
    expect(dialog["caption"], "Sound", "Sound dialog")
    on = s.checked(dialog, 101)
    expect(s.checked(dialog, 102), not on, "one radio button checked")
    s.keys(*keys, target=dialog)
    s.wait_gone(dialog)
    return on


@test
def sound_setting(s):
    s.start()
    expect(sound_dialog(s, "Escape"), False, "sound off with nothing stored")
    expect(s.reg_get(), None, "nothing stored without a change")
    sound_dialog(s, "alt+e", "Return")
    expect(s.reg_get(), (SOUND_KEY_VALUE, b"1\0"), "stored on")
    s.keys("alt+x")
    expect_exit(s)

    s.start()
    expect(sound_dialog(s, "alt+d", "Escape"), True, "a stored \"1\" starts with sound on")
    expect(s.reg_get(), (SOUND_KEY_VALUE, b"0\0"), "Disable and Escape store off")
    s.keys("alt+x")
    expect_exit(s)

    # "01" reads as on; closed unchanged, the dialog leaves the text as it was
    s.reg_set(SOUND_KEY_VALUE, b"01\0")
    s.start()
    expect(sound_dialog(s, "Return"), True, "\"01\" is on")
    expect(s.reg_get(), (SOUND_KEY_VALUE, b"01\0"), "unchanged setting not rewritten")
    s.keys("alt+x")
    expect_exit(s)


@test
def closing_the_window(s):
    s.start()
    s.keys("3", "Return", "alt+h")
    viewer = wait_viewer(s)
    back_to_main(s)
    s.keys("alt+F4")
    expect_exit(s)
    s.wait_gone(viewer)


def winmm_loaded(s):
    return "winmm.dll" in s.drv(f"modules {s.pid}").split("\t")[1:]


def calculate(s):
    """Typing, Backspace, Enter, operations, a refused one, copy and paste: what they show, put up
    and copy is the same whatever the sound."""
    s.keys("1", "2", "BackSpace", "5", "Return", "3", "asterisk")
    expect_lines(s, "45", "", "", "")
    s.keys("0", "slash")
    expect_box(s, "Division by zero")
    expect_lines(s, "0", "45", "", "")
    s.keys("BackSpace", "alt+s", "ctrl+c")
    expect_lines(s, "6.7082039325", "", "", "")
    expect_clip(s, b"6.7082039325")
    s.clip_set(b"2*")
    s.keys("ctrl+v")
    expect_lines(s, "13.416407865", "", "", "")


@test
def sound(s):
    """The same session with sound off; on; on without the wave files; on without WINMM, which is
    loaded only by the first sound."""
    quiet = os.path.join(s.dir, "no-waves", "VELMO.exe")
    os.makedirs(os.path.dirname(quiet))
    shutil.copy(s.exe, quiet)
    no_winmm = {"WINEDLLOVERRIDES": s.env["WINEDLLOVERRIDES"] + ";winmm=d"}
    for how, stored, env, exe, loads in (("sound off", b"0", None, s.exe, False),
                                         ("sound on", b"1", None, s.exe, True),
                                         ("no wave files", b"1", None, quiet, True),
                                         ("no WINMM", b"1", no_winmm, s.exe, False)):
        s.open_driver()
        s.reg_set(SOUND_KEY_VALUE, stored + b"\0")
        started = time.monotonic()
        s.start(extra_env=env, exe=exe)
        expect(winmm_loaded(s), False, f"{how}: WINMM loaded before the first sound")
        calculate(s)
        expect(winmm_loaded(s), loads, f"{how}: WINMM loaded after the session")
        s.keys("alt+x")
        expect_exit(s)
        print(f"  {how}: {time.monotonic() - started:.1f} s")


def no_box(s):
    expect([w["caption"] for w in s.windows() if w["cls"] == "#32770" and w["pid"] == s.pid], [], "message boxes")


@test
def hostile_clipboard(s):
    """1 MiB of text, of which the first 81 bytes count, and the bytes 128-255, which hold the
    operations 176-183 and 186: every refusal shows its box, and the program goes on."""
    s.start()
    s.keys("7", "Return", "8", "Return")
    s.clip_set(b"5+" + b" " * 79 + (b"\xb6*9" * (1 << 20))[:(1 << 20) - 81])
    started = time.monotonic()
    s.keys("ctrl+v")
    expect_lines(s, "13", "7", "", "")
    expect(time.monotonic() - started < 20, True, "1 MiB paste finishes quickly")
    no_box(s)
    s.keys("Page_Up", "2", "Return", "3", "Return")     # 2 ^ 3, 1 / 8, -0.125, its root refused, Drop...
    s.clip_set(bytes(range(128, 256)))
    s.keys("ctrl+v")
    for text in ["Negative argument of square root"] + ["Not enough numbers on the stack"] * 3:
        expect_box(s, text)
    expect_lines(s, "", "", "", "")
    s.keys("1", "Return", "2", "plus")
    expect_lines(s, "3", "", "", "")
    s.keys("alt+x")
    expect_exit(s)


@test
def hostile_sound_setting(s):
    """Stored Sound values of the wrong type, length or form: sound stays off, the value as it was."""
    s.open_driver()
    for kind, data in ((4, b"\x01\x00\x00\x00"), (1, b"1" * 200 + b"\0"), (1, b"-1\0"), (1, b" 1\0"),
                       (1, b"99999999999\0")):
        s.reg_set(kind, data)
        s.start()
        no_box(s)
        s.keys("2", "Return", "3", "plus")
        expect_lines(s, "5", "", "", "")
        expect(sound_dialog(s, "Escape"), False, f"sound off for stored {data[:16]!r}")
        expect(s.reg_get(), (kind, data), "stored value left as it was")
        s.keys("alt+x")
        expect_exit(s)


def main(tests=TESTS, doc=__doc__):
    if len(sys.argv) < 2:
        sys.exit(doc)
    build = os.path.abspath(sys.argv[1])
    names = sys.argv[2:] or list(tests)
    failed = []
    for name in names:
        started = time.monotonic()
        try:
            with Session(os.path.join(build, "VELMO.exe"), os.path.join(build, "tests", "velmodrv.exe"),
                         os.path.join(build, "e2e")) as s:
                tests[name](s)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)")
        except Skip as e:
            print(f"SKIP: {e}")
            sys.exit(77)
        except AssertionError as e:
            failed.append(name)
            print(f"FAIL {name}: {e}")
    print(f"{checks} checks, {len(names) - len(failed)} of {len(names)} tests passed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
