#!/usr/bin/env python3
"""Turns a 32 x 32 text picture into a 16-colour .ico file.

usage: mkicon.py PICTURE.txt OUT.ico
Lines starting with '#' are comments; each other line is one row of 32
letters, each letter one of the 16 standard colours or '.' for transparent.
"""
import struct
import sys

# The standard 16-colour palette, in its index order
PALETTE = [
    ("k", 0x000000), ("r", 0x800000), ("g", 0x008000), ("o", 0x808000),
    ("n", 0x000080), ("p", 0x800080), ("t", 0x008080), ("s", 0xC0C0C0),
    ("d", 0x808080), ("R", 0xFF0000), ("G", 0x00FF00), ("Y", 0xFFFF00),
    ("B", 0x0000FF), ("M", 0xFF00FF), ("C", 0x00FFFF), ("W", 0xFFFFFF),
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}
SIZE = 32


def read_picture(path):
    with open(path, encoding="ascii") as f:
        rows = [line.rstrip("\n") for line in f if not line.startswith("#")]
    if len(rows) != SIZE or any(len(r) != SIZE for r in rows):
        sys.exit(f"{path}: need {SIZE} rows of {SIZE} letters")
    for y, row in enumerate(rows):
        for x, letter in enumerate(row):
            if letter != "." and letter not in INDEX:
                sys.exit(f"{path}: row {y + 1}, column {x + 1}: unknown colour {letter!r}")
    return rows


def icon_bytes(rows):
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0)
                       for _, c in PALETTE)
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):      # bitmaps are stored bottom-up
        indices = [INDEX.get(letter, 0) for letter in row]
        pixels += bytes(indices[i] << 4 | indices[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for letter in row:
            bits = bits << 1 | (letter == ".")
        mask += bits.to_bytes(SIZE // 8, "big")
    # Height counts the colour bitmap and the transparency mask together
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0,
                         len(pixels) + len(mask), 0, 0, 16, 0)
    image = header + colours + bytes(pixels) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data = icon_bytes(read_picture(sys.argv[1]))
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
