#!/usr/bin/env python3
"""Starts VELMO.exe on a private X server, types a short calculation and saves
a screenshot of the window, and pictures of the About box and the Sound dialog
beside it (OUT-about.png, OUT-sound.png).

usage: screenshot.py BUILD_DIR OUT.png
"""
import os
import struct
import sys

from png import png
from winenv import Session


def bmp_to_png(bmp):
    """A 24-bit bottom-up BMP as PNG bytes."""
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height = struct.unpack_from("<ii", bmp, 18)
    stride, rows = (width * 3 + 3) & ~3, []
    for y in range(height - 1, -1, -1):
        row = bmp[offset + y * stride: offset + y * stride + width * 3]
        rows.append(bytes(b for i in range(0, len(row), 3) for b in (row[i + 2], row[i + 1], row[i])))
    return png(width, height, rows, alpha=False)


def screenshot(s, path, window=None):
    """The main window, or another window of the driver's list, with its frame as on the screen, as
    a PNG file."""
    bmp = os.path.join(s.dir, "shot.bmp")
    s.drv("shot " + (f"{window['hwnd']} " if window else "") + "Z:" + bmp.replace("/", "\\"))
    with open(bmp, "rb") as f, open(path, "wb") as out:
        out.write(bmp_to_png(f.read()))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, out = (os.path.abspath(a) for a in sys.argv[1:])
    with Session(os.path.join(build, "VELMO.exe"), os.path.join(build, "tests", "velmodrv.exe"),
                 os.path.join(build, "run")) as s:
        s.start()
        s.keys("1", "period", "5", "Return", "2", "alt+y", "1", "0", "Return", "7", "slash")
        s.wait_lines(["1.42857142857", "2.25"])
        s.keys("4", "period", "2")
        s.wait_lines(["4.2", "1.42857142857", "2.25"])
        screenshot(s, out)
        for key, name in (("alt+a", "about"), ("alt+o", "sound")):
            s.keys(key)
            dialog = s.wait_box()
            screenshot(s, out.replace(".png", f"-{name}.png"), dialog)
            s.keys("Escape", target=dialog)
            s.wait_gone(dialog)
        s.keys("alt+x")
        s.wait_exit()
    print(out)


if __name__ == "__main__":
    main()
