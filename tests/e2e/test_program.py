#!/usr/bin/env python3
"""End-to-end tests of the real VELMO.exe under wine on Xvfb, each in a prefix and X server of its
own: what the host cannot show. usage: test_program.py BUILD_DIR [--exe=FILE] [TEST ...] (all without
names); FILE is another build of the program than BUILD_DIR/VELMO.exe, started in its own folder
"""
import glob
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from winenv import Session, Skip, pe_arch, poll, unescape  # noqa: E402
from screenshot import screenshot  # noqa: E402
from winhelp import keyword_order  # noqa: E402

HELP_TITLE = "VELMO 2 Help"
REG_SZ = 1
TESTS = {}
# The keys of the rows as a user types them; upper case: Alt with the letter
KEYS = {"~": "Return", "<": "BackSpace", ".": "period", "+": "plus", "-": "minus", "*": "asterisk",
        "/": "slash", "Y": "alt+y", "R": "alt+1", "N": "alt+equal", "S": "alt+s", "D": "alt+d", "C": "alt+c",
        "W": "alt+w", "Q": "alt+2", "P": "ctrl+c", "V": "ctrl+v", "H": "F1", "A": "alt+a", "X": "alt+x",
        "O": "alt+o", "e": "alt+e", "n": "Delete", "w": "Home", "s": "End", "q": "Page_Down", "d": "Insert",
        "c": "Page_Up", "p": "ctrl+Insert", "v": "shift+Insert", "h": "alt+h"}


class TestSession(Session):
    """What only the tests do: the registry and the clipboard through the driver, boxes answered,
    buttons clicked."""

    def reg(self, *args):
        """wine's reg command in this prefix, for programs started afterwards."""
        self._run(self.wine("reg", *args))

    def close_box(self, box, button=1):
        self.drv(f"press {box['hwnd']} {button}")
        self.wait_gone(box)

    def clip_get(self):
        v = self.drv("clip-get")[3:]
        return None if v == "none" else bytes.fromhex(v)

    def clip_set(self, data, terminated=True):
        """Wine writes a 0 over the last byte of the block: an unterminated text loses its last byte."""
        self.drv(("clip-set " if terminated else "clip-set-raw ") + data.hex())

    def reg_get(self):
        v = self.drv("reg-get")[3:].split(" ")
        return None if v == ["missing"] else (int(v[0]), bytes.fromhex(v[1]))

    def reg_set(self, kind, data):
        self.drv(f"reg-set {kind} {data.hex()}")

    def click(self, control_id):
        x, y = self.drv(f"center {control_id}").split()[1:]
        # No --sync: it waits for a motion that never comes when the pointer is already there
        self._run(["xdotool", "mousemove", x, y, "click", "1"])


def test(fn):
    TESTS[fn.__name__] = fn
    return fn


def expect(seen, wanted, what):
    if seen != wanted:
        raise AssertionError(f"{what}: got {seen!r}, expected {wanted!r}")


def expect_lines(s, *wanted):
    s.wait_lines(list(wanted) + [""] * (4 - len(wanted)))


def expect_box(s, text, caption="VELMO 2 - Error", timeout=10):
    box = s.wait_box(timeout)
    expect((box["caption"], box["text"]), (caption, text), "message box")
    s.close_box(box)


def expect_clip(s, wanted, timeout=10):
    seen = []
    poll(lambda: True if seen.append(s.clip_get()) or seen[-1] == wanted else None, timeout,
         lambda: f"clipboard {seen[-1]!r}, expected {wanted!r}")


def quit_program(s):
    s.keys("alt+x")
    expect(s.wait_exit(), 0, "exit code")


def text(value):
    """A quoted value's bytes, its escapes undone: \\n \\r \\t \\xNN, \\[N]c for N times c, \\\\ and \\"."""
    def one(m):
        e = m[1]
        return (chr(int(e[1:], 16)) if e[0] == "x" else e[-1] * int(e[1:-2]) if e[0] == "[" else
                {"n": "\n", "r": "\r", "t": "\t"}.get(e, e))
    return re.sub(r"\\(x[0-9a-fA-F]{2}|\[\d+\].|.)", one, value[1:-1], flags=re.S).encode("latin-1")


@test
def rows(s):
    """The rows tagged e2e in the tables of tests/, each chain in a program of its own: the keys
    typed for real, the boxes, clipboard and lines checked from outside."""
    chains, chain = [], None
    for row in (r for t in sorted(glob.glob(os.path.join(os.path.dirname(__file__), "..", "*", "*.rows")))
                for r in open(t).read().splitlines()):
        if not row.startswith("& "):
            chain = [] if row.endswith(" e2e") else None
            chains += [chain] if chain is not None else []
        if chain is not None:
            chain.append(row)
    for chain in chains:
        s.start()
        for row in chain:
            w = re.findall(r'(?:"(?:\\.|[^"])*"|\{[^}]*\}|[^ "{])+', row.removeprefix("& "))
            arrow = w.index("=>")
            for option in w[:arrow - 1]:
                if option.startswith("clip="):
                    s.drv("clip-clear") if option == "clip=-" else s.clip_set(text(option[5:]))
                elif option != "sound=0":
                    raise AssertionError(f"{option} cannot be set on the real program: {row}")
            s.keys(*(KEYS.get(k, k) for k in w[arrow - 1] if k != "_"))
            for word in w[arrow + 2:]:
                if word.startswith("{"):
                    expect_box(s, word[1:-1])
                elif word.startswith("clip="):
                    expect_clip(s, text(word[5:]))
            expect_lines(s, *(w[arrow + 1].split("|") if w[arrow + 1] != "-" else []))
        quit_program(s)


@test
def buttons(s):
    s.start()
    for control in (55, 13, 50, 42):                                # 7 Enter 2 *
        s.click(control)
        expect(s.drv("focus"), "ok main", "focus after a click")
    expect_lines(s, "14")
    s.keys("1", "plus")                                             # keys still reach the window
    expect_lines(s, "15")
    s.click(124)                                                    # Exit
    expect(s.wait_exit(), 0, "exit code")


def wait_viewer(s, winhelp=False):
    """The help's window, captioned with its title: the program's own HTML Help window (blank without
    Gecko), or the WinHelp viewer, a process of its own, showing the contents page."""
    want = ("MS_WINHELP", True) if winhelp else ("HH Parent", False)
    viewer = s.wait_window(lambda w: (w["cls"], w["pid"] != s.pid) == want and w["caption"] == HELP_TITLE)
    if not winhelp:
        return viewer
    wait_page(s, viewer, HELP_TITLE)
    expect("Chapter 2: Keys and buttons" in unescape(s.drv(f"rich-text {viewer['hwnd']}")[3:]), True,
           "contents page lists the chapters")
    return viewer


def viewer_keys(s, *keys):
    wid = s._run(["xdotool", "search", "--onlyvisible", "--name", f"^{HELP_TITLE}$"]).split()[0]
    s._run(["xdotool", "windowfocus", "--sync", wid, "key", *keys])


def wait_page(s, viewer, title):
    page = []
    poll(lambda: True if page.append(unescape(s.drv(f"rich-text {viewer['hwnd']}")[3:])) or
         page[-1].startswith(title + "\r\n") else None, 10, lambda: f"help page is not {title!r}: {page[-1][:200]!r}")


def find_in_index(s, viewer, entry="Division by zero", title="Section 6.2: Division by zero"):
    """The viewer's Index button opens its index, which lists the keywords in the order of a 3.1 help
    file; the entry chosen with the arrow keys and Enter shows its page."""
    x, y = s.drv(f"child-center {viewer['hwnd']} &Index").split()[1:]
    s._run(["xdotool", "mousemove", x, y, "click", "1"])
    index = s.wait_window(lambda w: w["pid"] == viewer["pid"] and w["cls"] == "#32770")
    listed = lambda: [unescape(f) for f in s.drv(f"list {index['hwnd']}")[3:].split("\t")]  # noqa: E731
    items = listed()[1:]
    expect((entry in items, items == sorted(items, key=lambda w: keyword_order(w.encode("latin-1")))),
           (True, True), f"index of {len(items)} keywords, with {entry!r}, in 3.1's order")
    x, y = listed()[0].split()[:2]
    s._run(["xdotool", "mousemove", x, y, "click", "1"])
    s._run(["xdotool", "key", "Home"])
    for _ in range(5):                      # arrow keys until the entry is selected (X may drop a key)
        at = int(listed()[0].split()[2])
        if at == items.index(entry):
            break
        s._run(["xdotool", "key", "--delay", "30", *["Down" if at < items.index(entry) else "Up"]
                * abs(items.index(entry) - at)], timeout=30)
    expect(at, items.index(entry), "index entry selected")
    s._run(["xdotool", "key", "Return"])
    s.wait_gone(index)
    wait_page(s, viewer, title)


def back_to_main(s):
    """No window manager brings the main window back over the viewer: raise and click it, as a user would."""
    s._run(["xdotool", "windowraise", s.wid])
    s.click(184)


def open_about(s):
    """Alt+A shows the About box; Escape closes it."""
    s.keys("alt+a")
    about = s.wait_box()
    expect(about["caption"], "VELMO 2", "About caption")
    s.keys("Escape", target=about)
    s.wait_gone(about)


@test
def help_and_about(s):
    s.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", "winxp", "/f")
    s.start()
    for how in ("F1", "alt+h", 122):
        s.click(how) if how == 122 else s.keys(how)
        viewer = wait_viewer(s, winhelp=True)
        viewer_keys(s, "alt+F4")            # closed from its own window, so that the next one is opened anew
        s.wait_gone(viewer)
        back_to_main(s)
    open_about(s)
    for close in ("alt+x", "alt+F4"):          # Exit, or closing the window, closes the help too
        s.start() if close == "alt+F4" else None
        s.keys("4", "F1")
        viewer = wait_viewer(s, winhelp=True)
        back_to_main(s)
        expect_lines(s, "4")
        s.keys(close)
        expect(s.wait_exit(), 0, "exit code")
        s.wait_gone(viewer)


@test
def html_help(s):
    """On Windows 10 the help is HTML Help, in the program's thread: the keys typed there stay there."""
    s.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", "win10", "/f")
    s.start()
    s.keys("7", "Return", "F1")
    viewer = wait_viewer(s)
    viewer_keys(s, "5", "Page_Up")
    back_to_main(s)
    s.keys("2", "plus")
    expect_lines(s, "9")
    quit_program(s)
    s.wait_gone(viewer)


def sound_dialog(s, *keys):
    """Whether the Sound dialog showed sound on when it opened; then keys typed in it close it."""
    s.keys("alt+o")
    dialog = s.wait_box()
    expect(dialog["caption"], "Sound", "Sound dialog")
    on, off = (s.drv(f"checked {dialog['hwnd']} {id}") == "ok 1" for id in (101, 102))
    expect(off, not on, "one radio button checked")
    s.keys(*keys, target=dialog)
    s.wait_gone(dialog)
    return on


@test
def sound_setting(s):
    """The Sound value stored (type, bytes), keys typed in the dialog, whether it shows sound on, the
    value afterwards. Values of the wrong type, length or form leave sound off and stay."""
    hostile = [(4, b"\x01\0\0\0"), (1, b"1" * 200 + b"\0"), (1, b"-1\0"), (1, b" 1\0"), (1, b"99999999999\0")]
    for kind, stored, keys, on, after in [(1, None, ["Escape"], False, None), (1, None, ["alt+e", "Return"], False, b"1\0"),
                                          (1, b"1\0", ["alt+d", "Escape"], True, b"0\0"),
                                          (1, b"01\0", ["Return"], True, b"01\0")] + [
                                              (k, v, ["Escape"], False, v) for k, v in hostile]:
        s.open_driver()
        if stored:
            s.reg_set(kind, stored)
        s.start()
        expect(sound_dialog(s, *keys), on, f"sound on at the start with {stored[:16] if stored else None!r} stored")
        expect(s.reg_get(), after and (kind, after), f"stored after {keys}")
        quit_program(s)


def calculate(s):
    """Typing, Backspace, Enter, operations, a refused one, copy and paste."""
    s.keys("1", "2", "BackSpace", "5", "Return", "3", "asterisk", "0", "slash")
    expect_box(s, "Division by zero")
    expect_lines(s, "0", "45")
    s.keys("BackSpace", "alt+s", "ctrl+c")
    expect_lines(s, "6.7082039325")
    expect_clip(s, b"6.7082039325")
    s.clip_set(b"2*")
    s.keys("ctrl+v")
    expect_lines(s, "13.416407865")


@test
def sound(s):
    """The same session, showing the same, with sound off; on; on without the wave files; on
    without WINMM, which only the first sound loads."""
    quiet = os.path.join(s.dir, "no-waves", "VELMO.exe")
    os.makedirs(os.path.dirname(quiet))
    shutil.copy(s.exe, quiet)
    no_winmm = {"WINEDLLOVERRIDES": s.env["WINEDLLOVERRIDES"] + ";winmm=d"}
    for how, stored, env, exe, loads in (("sound off", b"0", None, s.exe, False), ("sound on", b"1", None, s.exe, True),
                                         ("no wave files", b"1", None, quiet, True),
                                         ("no WINMM", b"1", no_winmm, s.exe, False)):
        s.open_driver()
        s.reg_set(REG_SZ, stored + b"\0")
        s.start(extra_env=env, exe=exe)
        winmm = lambda: "winmm.dll" in s.drv(f"modules {s.pid}").split("\t")  # noqa: E731
        expect(winmm(), False, f"{how}: WINMM loaded before the first sound")
        calculate(s)
        expect(winmm(), loads, f"{how}: WINMM loaded after the session")
        quit_program(s)


def spoken_session(s):
    """Digits with a point, Backspace, Enter, a power and a product spoken as 1e+020 and 1.5e+020, a
    change of sign spoken as -1.5e+020, a refused square root, a paste of "2*" and Copy."""
    s.keys("1", "period", "5", "7", "BackSpace", "Return", "1", "0", "Return", "2", "0", "alt+y", "asterisk", "Delete",
           "alt+s")
    # The box shows after some 38 words have been spoken, one after another; Copy comes after 9 more
    expect_box(s, "Negative argument of square root", timeout=60)
    s.clip_set(b"2*")
    s.keys("ctrl+v")
    expect_lines(s, "-3e+020")
    s.keys("ctrl+c")
    expect_clip(s, b"-3e+020", timeout=30)


def speech_module():
    try:
        import hearing
    except ImportError as e:
        raise AssertionError(f"{e} in {sys.executable}: the sound tests need numpy (Debian python3-numpy)") from None
    return hearing


@test
def speech(s):
    """The program's sound, recorded from a sound server of the test's own: with sound on, the wave
    files of spoken_session in order, each whole, with silence between and around them, and the
    matcher seen to fail on that recording reordered, with a word dropped, cut short or swapped;
    with sound off, silence. The recordings stay in the tests' folder (build/<tree>/e2e)."""
    hearing = speech_module()
    spoken = hearing.spoken
    heard = (["1.wav", "point.wav", "5.wav", "7.wav", "back.wav", "enter.wav", "1.wav", "0.wav", "enter.wav", "2.wav",
              "0.wav", "raise.wav", *spoken("1e+020"), "mult.wav", *spoken("1.5e+020"), "ch_sgn.wav",
              *spoken("-1.5e+020"), "error.wav", "2.wav", "mult.wav", *spoken("-3e+020")])
    waves = hearing.load_waves(os.path.dirname(s.exe))
    with hearing.Recorder(s.workdir) as recorder:
        s.env["PULSE_SERVER"] = recorder.server
        recordings = {}
        for stored in (b"1", b"0"):
            s.open_driver()
            s.reg_set(REG_SZ, stored + b"\0")
            recorder.start()
            s.start()
            spoken_session(s)
            recorder.wait_quiet(1.0, 30)
            recordings[stored] = recorder.stop()
            quit_program(s)
            hearing.save_wave(os.path.join(s.workdir, f"speech-{'on' if stored == b'1' else 'off'}.wav"),
                              recordings[stored])
    result = hearing.match(recordings[b"1"], heard, waves)
    print(f"sound on: {len(recordings[b'1']) / hearing.RECORD_RATE:.1f} s recorded\n{result.report()}")
    expect(result.ok, True, "the program's words, heard")
    # The last "point": the third word of -1.5e+020, before "5"
    at = len(heard) - 1 - heard[::-1].index("point.wav")
    expect(hearing.seen_to_fail(recordings[b"1"], heard, result.words, waves, at), [], "faults the matcher missed")
    quiet = recordings[b"0"]
    print(f"sound off: {len(quiet) / hearing.RECORD_RATE:.1f} s recorded, loudest sample {abs(quiet).max():.6f}")
    expect(abs(quiet).max(), 0.0, "loudest sample with sound off")


@test
def win32s_sound(s):
    """Under Win32s (wine's win31) the program's WINMM is SYSTEM\\WIN32S\\WINMM.DLL. Wine is told to
    load WINMM only from a file (native), and the prefix's WINMM, a PE file marked as wine's builtin,
    is moved there with its mark taken away so that wine loads it as such a file. The sounds of a
    calculation are heard, from that copy. Then, with that copy in the system folder only, the
    program loads no WINMM and calculates in silence."""
    hearing = speech_module()
    system = os.path.join(s.prefix, "drive_c", "windows", "system32")
    in_win32s, in_system = os.path.join(system, "win32s", "WINMM.DLL"), os.path.join(system, "winmm.dll")
    builtin = open(in_system, "rb").read()
    expect(builtin[64:80], b"Wine builtin DLL", "the mark of wine's builtin WINMM")
    os.remove(in_system)
    os.makedirs(os.path.dirname(in_win32s))
    open(in_win32s, "wb").write(builtin.replace(b"Wine builtin DLL", b"Wine native DLL!", 1))
    s.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", "win31", "/f")
    # The Sound setting lives in VELMO.INI under Win32s
    open(os.path.join(s.prefix, "drive_c", "windows", "VELMO.INI"), "wb").write(b"Sound=1\r\n")
    native = {"WINEDLLOVERRIDES": s.env["WINEDLLOVERRIDES"] + ";winmm=n"}
    heard = ["5.wav", "enter.wav", "2.wav", "add.wav", "7.wav"]
    with hearing.Recorder(s.workdir) as recorder:
        s.env["PULSE_SERVER"] = recorder.server
        for copy in ("win32s", "system"):
            if copy == "system":
                os.rename(in_win32s, in_system)
            recorder.start()
            s.start(extra_env=native)
            s.keys("5", "Return", "2", "plus")
            expect_lines(s, "7")
            recorder.wait_quiet(1.0, 30)
            recording = recorder.stop()
            path = s.drv(f"module-path {s.pid} winmm.dll")[3:]
            quit_program(s)
            if copy == "win32s":
                expect(path.lower(), r"c:\windows\system32\win32s\winmm.dll", "WINMM loaded from")
                result = hearing.match(recording, heard, hearing.load_waves(os.path.dirname(s.exe)))
                print(f"WINMM in WIN32S: {len(recording) / hearing.RECORD_RATE:.1f} s recorded\n{result.report()}")
                expect(result.ok, True, "the program's words, heard")
            else:
                print(f"WINMM in the system folder only: {len(recording) / hearing.RECORD_RATE:.1f} s recorded, "
                      f"loudest sample {abs(recording).max():.6f}")
                expect(path, "none", "WINMM loaded from")
                expect(abs(recording).max(), 0.0, "loudest sample with WINMM in the system folder only")


@test
def show_command(s):
    """The program's window is shown as it was started: the driver starts it with a STARTUPINFO asking
    for SW_SHOWMINNOACTIVE, then SW_SHOWMAXIMIZED, then with no show command (SW_SHOWDEFAULT)."""
    exe = "Z:" + s.exe.replace("/", "\\")
    s.open_driver()
    for show, wanted in ((7, "1 0 1"), (3, "0 1 1"), ("-", "0 0 1")):
        s.drv(f"launch {show} {exe}")
        hwnd = int(s.drv("wait-window 20000", timeout=40).split()[1])
        expect(s.drv("window-state")[3:], wanted, f"iconic, zoomed, visible when started with show command {show}")
        s.drv(f"press {hwnd} 124")                 # Exit
        s.wait_gone({"hwnd": hwnd, "caption": "VELMO 2"})


@test
def dpi(s):
    """At 96, 120 and 144 DPI the longest number that can be typed is shown whole and one digit
    more is refused; a screenshot of each is left in the test's folder."""
    widths = set()
    for dpi in (96, 120, 144):
        if s.driver:                                # each process reads the DPI when it starts
            s.drv("quit")
            s.driver.wait(10)
        s.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
        s.start()
        client = int(s.drv("extent 1").split()[1])
        longest = max(n for n in range(1, 90) if int(s.drv("extent " + "1" * n).split()[2]) <= client)
        s.keys(*["1"] * (longest + 1))
        expect_lines(s, "1" * longest)
        screenshot(s, os.path.join(s.workdir, f"velmo-{dpi}dpi.png"))
        quit_program(s)
        widths.add(client)
    expect(len(widths), 3, "X line widths at three DPIs")


# The Windows versions each architecture's program is for, as wine's prefix names them
SYSTEMS = {"win32": ("win31", "nt351", "win95", "nt40", "winxp", "win10"), "win64": ("winxp64", "win10")}
# Where the session also finds an index entry in WinHelp: the viewers that read only the 3.1 format
# (Win32s, NT 3.51), and Windows XP's
INDEXED = {"win31", "nt351", "winxp"}
# What GetVersion says there: not Windows NT (the top bit), and the major version (Windows 10 says 6.2
# to a program without a manifest, like the driver)
REPORTED = {"win31": (True, {3}), "nt351": (False, {3}), "win95": (True, {4}), "nt40": (False, {4}), "winxp": (False, {5}),
            "winxp64": (False, {5}), "win10": (False, {6, 10})}


def on_system(s, version):
    """The program with wine set to one Windows version: a calculation, the Sound setting kept where
    that system keeps it (VELMO.INI in the Windows folder under Win32s, the registry elsewhere) and
    read back after a restart, the help in that system's viewer (and under INDEXED its index), and About."""
    s.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f")
    ini = os.path.join(s.prefix, "drive_c", "windows", "VELMO.INI")
    s.start()
    reported = int(s.drv("version").split()[1], 16)
    expect((reported >= 0x80000000) == REPORTED[version][0] and reported & 0xFF in REPORTED[version][1], True,
           f"GetVersion {reported:#010x} under {version}")
    s.keys("7", "Return", "6", "asterisk", "2", "period", "5", "slash")
    expect_lines(s, "16.8")
    expect(sound_dialog(s, "alt+e", "Return"), False, "sound on at the first start")
    quit_program(s)
    stored = open(ini, "rb").read() if os.path.exists(ini) else None
    expect((stored and stored.replace(b"\r", b""), s.reg_get()),
           (b"Sound=1\n", None) if version == "win31" else (None, (REG_SZ, b"1\0")), "the Sound setting's store")
    s.start()
    expect(sound_dialog(s, "Escape"), True, "sound on after a restart")
    s.keys("F1")
    viewer = wait_viewer(s, winhelp=version != "win10")
    find_in_index(s, viewer) if version in INDEXED else None
    back_to_main(s)
    open_about(s)
    quit_program(s)
    s.wait_gone(viewer)


for _version in {v for versions in SYSTEMS.values() for v in versions}:
    TESTS[f"on_{_version}"] = lambda s, v=_version: on_system(s, v)


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
    expect_lines(s, "13", "7")
    expect(time.monotonic() - started < 20, True, "1 MiB paste finishes quickly")
    no_box(s)
    s.keys("Page_Up", "2", "Return", "3", "Return")     # 2 ^ 3, 1 / 8, -0.125, its root refused, Drop...
    s.clip_set(bytes(range(128, 256)))
    s.keys("ctrl+v")
    for message in ["Negative argument of square root"] + ["Not enough numbers on the stack"] * 3:
        expect_box(s, message)
    s.keys("1", "Return", "2", "plus")
    expect_lines(s, "3")
    quit_program(s)


def run(tests, build, exe=None, arch=None):
    """Runs each test on exe (VELMO.exe) in a prefix of its architecture, or arch; exits 77 if it cannot."""
    failed = []
    for name, fn in tests.items():
        started = time.monotonic()
        try:
            with TestSession(exe or os.path.join(build, "VELMO.exe"), os.path.join(build, "tests", "velmodrv.exe"),
                         os.path.join(build, "e2e"), arch) as s:
                fn(s)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)")
        except Skip as e:
            sys.exit(print(f"SKIP: {e}") or 77)
        except AssertionError as e:
            failed.append(name)
            print(f"FAIL {name}: {e}")
    print(f"{len(tests) - len(failed)} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    # --exe=FILE: another build of the program than the tree's VELMO.exe
    exe = sys.argv[2][6:] if len(sys.argv) > 2 and sys.argv[2].startswith("--exe=") else None
    args = sys.argv[3 if exe else 2:]
    # "systems": the Windows versions of the program's architecture, one session each
    names = [n for name in args or TESTS for n in (
        [f"on_{v}" for v in SYSTEMS[pe_arch(os.path.join(build, "VELMO.exe"))]] if name == "systems" else [name])]
    run({name: TESTS[name] for name in names}, build, exe)
