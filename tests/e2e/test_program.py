"""End-to-end tests of the real VELMO.exe under wine on Xvfb, each in a prefix and X server of its
own: what the host cannot show.

    pytest tests/e2e/test_program.py --build=build/win64 [--exe=FILE] [-k rows]

FILE is another build of the program than BUILD/VELMO.exe, started in its own folder.
"""
import glob
import os
import re
import shutil
import sys
import time

import pytest

import program
import soundlist
from program import REG_SZ, back_to_main, expect_box, expect_clip, expect_exit, expect_lines, open_about, \
    quit_program, sound_dialog, viewer_keys, wait_page, wait_viewer
from screenshot import screenshot
from winenv import pe_arch, unescape
from winhelp import keyword_order

TABLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "*", "*.rows")
# The keys of the rows as a user types them; upper case: Alt with the letter
KEYS = {"~": "Return", "<": "BackSpace", ".": "period", "+": "plus", "-": "minus", "*": "asterisk",
        "/": "slash", "Y": "alt+y", "R": "alt+1", "N": "alt+equal", "S": "alt+s", "D": "alt+d", "C": "alt+c",
        "W": "alt+w", "Q": "alt+2", "P": "ctrl+c", "V": "ctrl+v", "H": "F1", "A": "alt+a", "X": "alt+x",
        "O": "alt+o", "e": "alt+e", "n": "Delete", "w": "Home", "s": "End", "q": "Page_Down", "d": "Insert",
        "c": "Page_Up", "p": "ctrl+Insert", "v": "shift+Insert", "h": "alt+h"}
# The Windows versions each architecture's program is for, as wine's prefix names them
SYSTEMS = {"win32": ("win31", "nt351", "win95", "nt40", "winxp", "win10"), "win64": ("winxp64", "win10")}
# Where the session also finds an index entry in WinHelp: the viewers that read only the 3.1 format
# (Win32s, NT 3.51), and Windows XP's
INDEXED = {"win31", "nt351", "winxp"}
# What GetVersion says there: not Windows NT (the top bit), and the major version (Windows 10 says 6.2
# to a program without a manifest, like the driver)
REPORTED = {"win31": (True, {3}), "nt351": (False, {3}), "win95": (True, {4}), "nt40": (False, {4}),
            "winxp": (False, {5}), "winxp64": (False, {5}), "win10": (False, {6, 10})}


def pytest_generate_tests(metafunc):
    # test_systems: one session for each Windows version of the tree's architecture (all of them
    # where there is no program to tell it: each then fails for want of it, the other tests run)
    if "version" in metafunc.fixturenames:
        exe = os.path.join(metafunc.config.option.build or "", "VELMO.exe")
        metafunc.parametrize("version", SYSTEMS[pe_arch(exe)] if os.path.isfile(exe) else
                             sorted({v for versions in SYSTEMS.values() for v in versions}))


@pytest.fixture
def s(option):
    """A fresh session for the program under test, BUILD/VELMO.exe or --exe."""
    if not option.build:
        pytest.fail("--build=BUILD_DIR: the build tree to test")
    with program.session(option.build, option.exe) as session:
        yield session


def text(value):
    """A quoted value's bytes, its escapes undone: \\n \\r \\t \\xNN, \\[N]c for N times c, \\\\ and \\"."""
    def one(m):
        e = m[1]
        return (chr(int(e[1:], 16)) if e[0] == "x" else e[-1] * int(e[1:-2]) if e[0] == "[" else
                {"n": "\n", "r": "\r", "t": "\t"}.get(e, e))
    return re.sub(r"\\(x[0-9a-fA-F]{2}|\[\d+\].|.)", one, value[1:-1], flags=re.S).encode("latin-1")


def e2e_chains():
    """The chains of rows tagged e2e in the tables of tests/: a row, then the rows that go on from it."""
    chains, chain = [], None
    for table in sorted(glob.glob(TABLES)):
        with open(table) as f:
            for row in f.read().splitlines():
                if not row.startswith("& "):
                    chain = [] if row.endswith(" e2e") else None
                    chains += [chain] if chain is not None else []
                if chain is not None:
                    chain.append(row)
    return chains


def type_row(s, row):
    w = re.findall(r'(?:"(?:\\.|[^"])*"|\{[^}]*\}|[^ "{])+', row.removeprefix("& "))
    arrow = w.index("=>")
    for option in w[:arrow - 1]:
        if option.startswith("clip="):
            s.drv("clip-clear") if option == "clip=-" else s.clip_set(text(option[5:]))
        else:
            assert option == "sound=0", f"{option} cannot be set on the real program"
    s.keys(*(KEYS.get(k, k) for k in w[arrow - 1] if k != "_"))
    for word in w[arrow + 2:]:
        if word.startswith("{"):
            expect_box(s, word[1:-1])
        elif word.startswith("clip="):
            expect_clip(s, text(word[5:]))
    expect_lines(s, *(w[arrow + 1].split("|") if w[arrow + 1] != "-" else []))


def test_rows(s):
    """The rows tagged e2e in the tables of tests/, each chain in a program of its own: the keys
    typed for real, the boxes, clipboard and lines checked from outside."""
    chains = e2e_chains()
    assert chains, f"no rows tagged e2e in {TABLES}"
    for chain in chains:
        s.start()
        for row in chain:
            try:
                type_row(s, row)
            except AssertionError as e:
                raise AssertionError(f"{e}\n  in the row: {row}") from None
        quit_program(s)


def test_buttons(s):
    s.start()
    for control in (55, 13, 50, 42):                                # 7 Enter 2 *
        s.click(control)
        focus = s.drv("focus")
        assert focus == "ok main", f"focus after clicking {control}: {focus!r}, expected 'ok main'"
    expect_lines(s, "14")
    s.keys("1", "plus")                                             # keys still reach the window
    expect_lines(s, "15")
    s.click(124)                                                    # Exit
    expect_exit(s)


def find_in_index(s, viewer, entry="Division by zero", title="Section 6.2: Division by zero"):
    """The viewer's Index button opens its index, which lists the keywords in the order of a 3.1 help
    file; the entry chosen with the arrow keys and Enter shows its page."""
    x, y = s.drv(f"child-center {viewer['hwnd']} &Index").split()[1:]
    s._run(["xdotool", "mousemove", x, y, "click", "1"])
    index = s.wait_window(lambda w: w["pid"] == viewer["pid"] and w["cls"] == "#32770")

    def listed():
        """Where to click in the list and the selected item's number, then the items; read anew each time."""
        return [unescape(f) for f in s.drv(f"list {index['hwnd']}")[3:].split("\t")]
    items = listed()[1:]
    assert entry in items, f"{entry!r} not in the index of {len(items)} keywords: {items}"
    ordered = sorted(items, key=lambda w: keyword_order(w.encode("latin-1")))
    assert items == ordered, f"index of {len(items)} keywords not in 3.1's order: {items}, expected {ordered}"
    x, y = listed()[0].split()[:2]
    s._run(["xdotool", "mousemove", x, y, "click", "1"])
    s._run(["xdotool", "key", "Home"])
    for _ in range(5):                      # arrow keys until the entry is selected (X may drop a key)
        at = int(listed()[0].split()[2])
        if at == items.index(entry):
            break
        s._run(["xdotool", "key", "--delay", "30", *["Down" if at < items.index(entry) else "Up"]
                * abs(items.index(entry) - at)], timeout=30)
    assert at == items.index(entry), f"index entry {at} selected, expected {items.index(entry)} ({entry!r})"
    s._run(["xdotool", "key", "Return"])
    s.wait_gone(index)
    wait_page(s, viewer, title)


def test_help_and_about(s):
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
        expect_exit(s)
        s.wait_gone(viewer)


def test_html_help(s):
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


def test_sound_setting(s):
    """The Sound value stored (type, bytes), keys typed in the dialog, whether it shows sound on, the
    value afterwards. Values of the wrong type, length or form leave sound off and stay."""
    hostile = [(4, b"\x01\0\0\0"), (1, b"1" * 200 + b"\0"), (1, b"-1\0"), (1, b" 1\0"), (1, b"99999999999\0")]
    cases = [(1, None, ["Escape"], False, None), (1, None, ["alt+e", "Return"], False, b"1\0"),
             (1, b"1\0", ["alt+d", "Escape"], True, b"0\0"), (1, b"01\0", ["Return"], True, b"01\0")]
    for kind, stored, keys, on, after in cases + [(k, v, ["Escape"], False, v) for k, v in hostile]:
        s.open_driver()
        if stored:
            s.reg_set(kind, stored)
        s.start()
        shown = sound_dialog(s, *keys)
        assert shown == on, \
            f"sound on at the start with {stored[:16] if stored else None!r} stored: {shown}, expected {on}"
        value, wanted = s.reg_get(), after and (kind, after)
        assert value == wanted, f"stored after {keys}: got {value!r}, expected {wanted!r}"
        quit_program(s)


def test_sound(s):
    """The same session, showing the same, with sound off; on; on without the wave files; on
    without WINMM, which only the first sound loads."""
    quiet = os.path.join(s.dir, "no-waves", "VELMO.exe")
    os.makedirs(os.path.dirname(quiet))
    shutil.copy(s.exe, quiet)
    no_winmm = {"WINEDLLOVERRIDES": s.env["WINEDLLOVERRIDES"] + ";winmm=d"}

    def winmm():
        return "winmm.dll" in s.drv(f"modules {s.pid}").split("\t")
    for how, stored, env, exe, loads in (("sound off", b"0", None, s.exe, False), ("sound on", b"1", None, s.exe, True),
                                         ("no wave files", b"1", None, quiet, True),
                                         ("no WINMM", b"1", no_winmm, s.exe, False)):
        s.open_driver()
        s.reg_set(REG_SZ, stored + b"\0")
        s.start(extra_env=env, exe=exe)
        assert not winmm(), f"{how}: WINMM loaded before the first sound"
        program.calculate(s)
        loaded = winmm()
        assert loaded == loads, f"{how}: WINMM {'' if loaded else 'not '}loaded after the session"
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


def hearing_module():
    try:
        import hearing
    except ImportError as e:
        pytest.fail(f"{e} in {sys.executable}: the sound tests need numpy and scipy (python3-numpy, python3-scipy)")
    return hearing


def test_speech(s):
    """The program's sound, recorded from a sound server of the test's own: with sound on, the wave
    files of spoken_session in order, each whole, with silence between and around them, and the
    matcher seen to fail on that recording reordered, with a word dropped, cut short or swapped;
    with sound off, silence. The recordings stay in the tests' folder (build/<tree>/e2e)."""
    hearing = hearing_module()
    spoken = soundlist.spoken
    heard = (["1.wav", "point.wav", "5.wav", "7.wav", "back.wav", "enter.wav", "1.wav", "0.wav", "enter.wav", "2.wav",
              "0.wav", "raise.wav", *spoken("1e+020"), "mult.wav", *spoken("1.5e+020"), "ch_sgn.wav",
              *spoken("-1.5e+020"), "error.wav", "2.wav", "mult.wav", *spoken("-3e+020")])
    waves = hearing.load_waves(os.path.dirname(s.exe))
    with program.skipping(hearing.Recorder(s.workdir)) as recorder:
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
    print(f"sound on: {len(recordings[b'1']) / hearing.RECORD_RATE:.1f} s recorded")
    assert result.ok, f"the program's words, not heard as expected; the matcher's report:\n{result.report()}"
    # The last "point": the third word of -1.5e+020, before "5"
    at = len(heard) - 1 - heard[::-1].index("point.wav")
    missed = hearing.seen_to_fail(recordings[b"1"], heard, result.words, waves, at)
    assert missed == [], f"faults the matcher missed: {missed}"
    quiet = recordings[b"0"]
    print(f"sound off: {len(quiet) / hearing.RECORD_RATE:.1f} s recorded, loudest sample {abs(quiet).max():.6f}")
    assert abs(quiet).max() == 0.0, f"loudest sample with sound off {abs(quiet).max():.6f}, expected silence"


def test_win32s_sound(s):
    """Under Win32s (wine's win31) the program's WINMM is SYSTEM\\WIN32S\\WINMM.DLL. Wine is told to
    load WINMM only from a file (native), and the prefix's WINMM, a PE file marked as wine's builtin,
    is moved there with its mark taken away so that wine loads it as such a file. The sounds of a
    calculation are heard, from that copy. Then, with that copy in the system folder only, the
    program loads no WINMM and calculates in silence."""
    hearing = hearing_module()
    system = os.path.join(s.prefix, "drive_c", "windows", "system32")
    in_win32s, in_system = os.path.join(system, "win32s", "WINMM.DLL"), os.path.join(system, "winmm.dll")
    with open(in_system, "rb") as f:
        builtin = f.read()
    assert builtin[64:80] == b"Wine builtin DLL", f"the mark of wine's builtin WINMM: {builtin[64:80]!r}"
    os.remove(in_system)
    os.makedirs(os.path.dirname(in_win32s))
    with open(in_win32s, "wb") as f:
        f.write(builtin.replace(b"Wine builtin DLL", b"Wine native DLL!", 1))
    s.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", "win31", "/f")
    # The Sound setting lives in VELMO.INI under Win32s
    with open(os.path.join(s.prefix, "drive_c", "windows", "VELMO.INI"), "wb") as f:
        f.write(b"Sound=1\r\n")
    native = {"WINEDLLOVERRIDES": s.env["WINEDLLOVERRIDES"] + ";winmm=n"}
    heard = ["5.wav", "enter.wav", "2.wav", "add.wav", "7.wav"]
    with program.skipping(hearing.Recorder(s.workdir)) as recorder:
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
                wanted = r"c:\windows\system32\win32s\winmm.dll"
                assert path.lower() == wanted, f"WINMM loaded from {path!r}, expected {wanted!r}"
                result = hearing.match(recording, heard, hearing.load_waves(os.path.dirname(s.exe)))
                print(f"WINMM in WIN32S: {len(recording) / hearing.RECORD_RATE:.1f} s recorded")
                assert result.ok, \
                    f"the program's words, not heard as expected; the matcher's report:\n{result.report()}"
            else:
                loudest = abs(recording).max()
                print(f"WINMM in the system folder only: {len(recording) / hearing.RECORD_RATE:.1f} s recorded, "
                      f"loudest sample {loudest:.6f}")
                assert path == "none", f"WINMM loaded from {path!r} with it in the system folder only"
                assert loudest == 0.0, f"loudest sample with WINMM in the system folder only {loudest:.6f}, expected 0"


def test_show_command(s):
    """The program's window is shown as it was started: the driver starts it with a STARTUPINFO asking
    for SW_SHOWMINNOACTIVE, then SW_SHOWMAXIMIZED, then with no show command (SW_SHOWDEFAULT)."""
    exe = "Z:" + s.exe.replace("/", "\\")
    s.open_driver()
    for show, wanted in ((7, "1 0 1"), (3, "0 1 1"), ("-", "0 0 1")):
        s.drv(f"launch {show} {exe}")
        hwnd = int(s.drv("wait-window 20000", timeout=40).split()[1])
        state = s.drv("window-state")[3:]
        assert state == wanted, \
            f"iconic, zoomed, visible when started with show command {show}: {state}, expected {wanted}"
        s.drv(f"press {hwnd} 124")                 # Exit
        s.wait_gone({"hwnd": hwnd, "caption": "VELMO 2"})


def test_dpi(s):
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
    assert len(widths) == 3, f"X line widths at 96, 120 and 144 DPI: {sorted(widths)}, expected three different"


def test_systems(s, version):
    """The program with wine set to one Windows version: a calculation, the Sound setting kept where
    that system keeps it (VELMO.INI in the Windows folder under Win32s, the registry elsewhere) and
    read back after a restart, the help in that system's viewer (and under INDEXED its index), and About."""
    s.reg("add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f")
    ini = os.path.join(s.prefix, "drive_c", "windows", "VELMO.INI")
    s.start()
    reported = int(s.drv("version").split()[1], 16)
    not_nt, majors = REPORTED[version]
    assert (reported >= 0x80000000) == not_nt and reported & 0xFF in majors, \
        f"GetVersion {reported:#010x} under {version}, expected {'not ' if not_nt else ''}NT, major version in {majors}"
    s.keys("7", "Return", "6", "asterisk", "2", "period", "5", "slash")
    expect_lines(s, "16.8")
    assert not sound_dialog(s, "alt+e", "Return"), "sound on at the first start, expected off"
    quit_program(s)
    if os.path.exists(ini):
        with open(ini, "rb") as f:
            stored = f.read().replace(b"\r", b"")
    else:
        stored = None
    seen = (stored, s.reg_get())
    wanted = (b"Sound=1\n", None) if version == "win31" else (None, (REG_SZ, b"1\0"))
    assert seen == wanted, f"the Sound setting's store (VELMO.INI, registry): got {seen!r}, expected {wanted!r}"
    s.start()
    assert sound_dialog(s, "Escape"), "sound off after a restart, expected on"
    s.keys("F1")
    viewer = wait_viewer(s, winhelp=version != "win10")
    find_in_index(s, viewer) if version in INDEXED else None
    back_to_main(s)
    open_about(s)
    quit_program(s)
    s.wait_gone(viewer)


def test_hostile_clipboard(s):
    """1 MiB of text, of which the first 81 bytes count, and the bytes 128-255, which hold the
    operations 176-183 and 186: every refusal shows its box, and the program goes on."""
    s.start()
    s.keys("7", "Return", "8", "Return")
    s.clip_set(b"5+" + b" " * 79 + (b"\xb6*9" * (1 << 20))[:(1 << 20) - 81])
    started = time.monotonic()
    s.keys("ctrl+v")
    expect_lines(s, "13", "7")
    took = time.monotonic() - started
    assert took < 20, f"1 MiB paste took {took:.1f} s, expected under 20"
    boxes = [w["caption"] for w in s.windows() if w["cls"] == "#32770" and w["pid"] == s.pid]
    assert boxes == [], f"message boxes after the paste: {boxes}"
    s.keys("Page_Up", "2", "Return", "3", "Return")     # 2 ^ 3, 1 / 8, -0.125, its root refused, Drop...
    s.clip_set(bytes(range(128, 256)))
    s.keys("ctrl+v")
    for message in ["Negative argument of square root"] + ["Not enough numbers on the stack"] * 3:
        expect_box(s, message)
    s.keys("1", "Return", "2", "plus")
    expect_lines(s, "3")
    quit_program(s)
