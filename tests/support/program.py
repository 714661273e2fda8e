"""The running VELMO.exe driven as a user does, for the end-to-end tests: a wine session with the
registry, the clipboard and the buttons reached through the driver, and the steps several tests take
(a calculation, the Sound dialog, the help viewer, About, Exit), each checked as it goes.

    with program.session(build) as s:       # pytest's skip where the session cannot run here
        s.start()
        program.calculate(s)
        program.quit_program(s)
"""
import contextlib
import os

import pytest

from winenv import Session, Skip, poll, unescape

HELP_TITLE = "VELMO 2 Help"
REG_SZ = 1


class ProgramSession(Session):
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


@contextlib.contextmanager
def skipping(context):
    """The context entered, or the test skipped where it cannot run here (winenv's Skip: i386 code
    on a kernel without it, no sound server...)."""
    with contextlib.ExitStack() as stack:
        try:
            entered = stack.enter_context(context)
        except Skip as e:
            pytest.skip(str(e))
        yield entered


def session(build, exe=None, arch=None):
    """A fresh session for exe (BUILD/VELMO.exe) in a prefix of its architecture, or arch, driven by
    the build's velmodrv.exe; its folder under BUILD/e2e."""
    build = os.path.abspath(build)
    return skipping(ProgramSession(exe or os.path.join(build, "VELMO.exe"),
                                   os.path.join(build, "tests", "velmodrv.exe"), os.path.join(build, "e2e"), arch))


def expect_lines(s, *wanted):
    s.wait_lines(list(wanted) + [""] * (4 - len(wanted)))


def expect_box(s, text, caption="VELMO 2 - Error", timeout=10):
    box = s.wait_box(timeout)
    seen = (box["caption"], box["text"])
    assert seen == (caption, text), f"message box: got {seen!r}, expected {(caption, text)!r}"
    s.close_box(box)


def expect_clip(s, wanted, timeout=10):
    seen = []
    poll(lambda: True if seen.append(s.clip_get()) or seen[-1] == wanted else None, timeout,
         lambda: f"clipboard {seen[-1]!r}, expected {wanted!r}")


def expect_exit(s):
    code = s.wait_exit()
    assert code == 0, f"exit code {code}, expected 0"


def quit_program(s):
    s.keys("alt+x")
    expect_exit(s)


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


def sound_dialog(s, *keys):
    """Whether the Sound dialog showed sound on when it opened; then keys typed in it close it."""
    s.keys("alt+o")
    dialog = s.wait_box()
    assert dialog["caption"] == "Sound", f"Sound dialog: got {dialog['caption']!r}, expected 'Sound'"
    on, off = (s.drv(f"checked {dialog['hwnd']} {id}") == "ok 1" for id in (101, 102))
    assert off != on, f"one radio button checked: on {on}, off {off}"
    s.keys(*keys, target=dialog)
    s.wait_gone(dialog)
    return on


def wait_page(s, viewer, title):
    page = []
    poll(lambda: True if page.append(unescape(s.drv(f"rich-text {viewer['hwnd']}")[3:])) or
         page[-1].startswith(title + "\r\n") else None, 10, lambda: f"help page is not {title!r}: {page[-1][:200]!r}")


def wait_viewer(s, winhelp=False):
    """The help's window, captioned with its title: the program's own HTML Help window (blank without
    Gecko), or the WinHelp viewer, a process of its own, showing the contents page."""
    want = ("MS_WINHELP", True) if winhelp else ("HH Parent", False)
    viewer = s.wait_window(lambda w: (w["cls"], w["pid"] != s.pid) == want and w["caption"] == HELP_TITLE)
    if not winhelp:
        return viewer
    wait_page(s, viewer, HELP_TITLE)
    page = unescape(s.drv(f"rich-text {viewer['hwnd']}")[3:])
    assert "Chapter 2: Keys and buttons" in page, f"contents page does not list the chapters: {page[:200]!r}"
    return viewer


def viewer_keys(s, *keys):
    wid = s._run(["xdotool", "search", "--onlyvisible", "--name", f"^{HELP_TITLE}$"]).split()[0]
    s._run(["xdotool", "windowfocus", "--sync", wid, "key", *keys])


def back_to_main(s):
    """No window manager brings the main window back over the viewer: raise and click it, as a user would."""
    s._run(["xdotool", "windowraise", s.wid])
    s.click(184)


def open_about(s):
    """Alt+A shows the About box; Escape closes it."""
    s.keys("alt+a")
    about = s.wait_box()
    assert about["caption"] == "VELMO 2", f"About caption: got {about['caption']!r}, expected 'VELMO 2'"
    s.keys("Escape", target=about)
    s.wait_gone(about)
