#!/usr/bin/env python3
"""Starts VELMO.exe on a private X server, types a short calculation and saves
a screenshot of the window.

usage: screenshot.py BUILD_DIR OUT.png
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from winenv import Session  # noqa: E402


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, png = (os.path.abspath(a) for a in sys.argv[1:])
    with Session(os.path.join(build, "VELMO.exe"), os.path.join(build, "tests", "velmodrv.exe"),
                 os.path.join(build, "run")) as s:
        s.start()
        s.keys("1", "period", "5", "Return", "2", "alt+y", "1", "0", "Return", "7", "slash")
        s.wait_lines(["1.42857142857", "2.25"])
        s.keys("4", "period", "2")
        s.wait_lines(["4.2", "1.42857142857", "2.25"])
        s.screenshot(png)
        s.keys("alt+x")
        s.wait_exit()
    print(png)


if __name__ == "__main__":
    main()
