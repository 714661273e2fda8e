#!/usr/bin/env python3
"""Hostile input to the real VELMO.exe under wine: clipboard contents no
calculator text looks like, and stored Sound values of the wrong type, length
or form. The program must keep running with the stated outcome and the stack
it had.

usage: test_hostile.py BUILD_DIR [TEST ...]
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_program as tp  # noqa: E402
from test_program import expect, expect_box, expect_lines, sound_dialog  # noqa: E402

TESTS = {}
REG_SZ, REG_DWORD = 1, 4
MIB = 1 << 20


def test(fn):
    TESTS[fn.__name__] = fn
    return fn


def paste(s, data, *boxes):
    """Ctrl+V with data on the clipboard; answers the boxes it must show, in order."""
    s.clip_set(data)
    s.keys("ctrl+v")
    for text in boxes:
        expect_box(s, text)


def no_box(s):
    expect([w["caption"] for w in s.windows() if w["cls"] == "#32770" and w["pid"] == s.pid], [],
           "message boxes")


@test
def hostile_clipboard(s):
    s.start()
    s.keys("7", "Return", "8", "Return")
    expect_lines(s, "8", "7", "", "")

    # 1 MiB: only its first 81 bytes count. They add 5; the rest would clear
    # the stack, multiply and type digits if it were replayed.
    head = b"5+" + b" " * 79
    data = head + (b"\xb6*9" * MIB)[:MIB - len(head)]
    started = time.monotonic()
    paste(s, data)
    expect_lines(s, "13", "7", "", "")
    expect(time.monotonic() - started < 20, True, "1 MiB paste finishes quickly")
    no_box(s)

    # Binary bytes that name no command only finish the entry; nothing after a 0 byte counts
    s.keys("4")
    paste(s, bytes(range(1, 8)) + b"\x0b\x0c\x0e\x0f\x10\x1f\x7f\x80\x9f\xff" + b"\0" + b"\xb6\xb6+")
    expect_lines(s, "4", "13", "7", "")
    s.keys("5")                     # a new number: the paste finished the old one
    expect_lines(s, "5", "4", "13", "7")
    no_box(s)

    # Only a line feed: it finishes the number being typed
    s.keys("Page_Up", "7", "Return", "8", "Return", "9")
    paste(s, b"\n")
    s.keys("6")
    expect_lines(s, "6", "9", "8", "7")
    no_box(s)

    # Bytes 128-255: the first 81 are 128-208, which hold the operations 176-183 and 186.
    # On X = 3, Y = 2: 2 ^ 3 = 8, 1 / 8, -0.125, its root refused, Drop, then Copy, Swap
    # and Square lack operands. Every refusal shows its box; the program goes on.
    s.keys("Page_Up", "2", "Return", "3", "Return")
    paste(s, bytes(range(128, 256)), "Negative argument of square root",
          "Not enough numbers on the stack", "Not enough numbers on the stack",
          "Not enough numbers on the stack")
    expect_lines(s, "", "", "", "")
    s.keys("1", "Return", "2", "plus")
    expect_lines(s, "3", "", "", "")
    s.keys("alt+x")
    tp.expect_exit(s)


@test
def hostile_sound_setting(s):
    cases = [
        (REG_DWORD, b"\x01\x00\x00\x00"),
        (REG_SZ, b"1" * 200 + b"\0"),
        (REG_SZ, b"-1\0"),
        (REG_SZ, b" 1\0"),
        (REG_SZ, b"99999999999\0"),
    ]
    s.open_driver()
    for kind, data in cases:
        s.reg_set(kind, data)
        s.start()
        no_box(s)
        s.keys("2", "Return", "3", "plus")
        expect_lines(s, "5", "", "", "")
        expect(sound_dialog(s, "Escape"), False, f"sound off for stored {data[:16]!r}")
        expect(s.reg_get(), (kind, data), "stored value left as it was")
        expect_lines(s, "5", "", "", "")
        s.keys("alt+x")
        tp.expect_exit(s)


if __name__ == "__main__":
    tp.main(TESTS, __doc__)
