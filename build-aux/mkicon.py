#!/usr/bin/env python3
"""Makes the program's .ico from text: 16-colour pictures drawn letter by
letter, and a list of shapes drawn in true colour with smooth edges.

usage: mkicon.py OUT.ico PICTURE.txt... SHAPES.txt

A PICTURE is one square image of 16, 32 or 48 rows of as many letters, each
letter one of the 16 standard colours or '.' for transparent. SHAPES has the
true-colour images, each a "size N [SCALE]" line followed by rounded
rectangles drawn in order, lengths in pixels of that size times SCALE:
    colour NAME RRGGBB[AA]                  a colour for the lines below
    NAME X Y WIDTH HEIGHT [RADIUS]          a rectangle in colour NAME
    keys X Y WIDTH HEIGHT RADIUS STEP NAME...  a row of them, STEP apart
Lines starting with '#' are comments. The .ico holds the pictures in the
order given, then the true-colour images; one of 256 pixels is stored as PNG.
"""
import math
import struct
import sys

from png import png

# The standard 16-colour palette, in its index order
PALETTE = [
    ("k", 0x000000), ("r", 0x800000), ("g", 0x008000), ("o", 0x808000),
    ("n", 0x000080), ("p", 0x800080), ("t", 0x008080), ("s", 0xC0C0C0),
    ("d", 0x808080), ("R", 0xFF0000), ("G", 0x00FF00), ("Y", 0xFFFF00),
    ("B", 0x0000FF), ("M", 0xFF00FF), ("C", 0x00FFFF), ("W", 0xFFFFFF),
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}
# A pixel row is sampled at this many heights; each sample covers its pixels exactly across
SAMPLES = 16


def text_lines(path):
    with open(path, encoding="ascii") as f:
        return [(n, line.rstrip("\n")) for n, line in enumerate(f, 1) if not line.startswith("#")]


def read_picture(path):
    lines = text_lines(path)
    rows = [row for _, row in lines]
    if len(rows) not in (16, 32, 48) or any(len(r) != len(rows) for r in rows):
        sys.exit(f"{path}: need 16, 32 or 48 rows of as many letters")
    for n, row in lines:
        for x, letter in enumerate(row):
            if letter != "." and letter not in INDEX:
                sys.exit(f"{path}:{n}: column {x + 1}: unknown colour {letter!r}")
    return rows


def bitmap(size, bits, pixel_rows, mask_rows, palette=b""):
    """An icon image: header, palette, colour bitmap and transparency mask, bottom-up."""
    pixels = b"".join(row.ljust(-(-len(row) // 4) * 4, b"\0") for row in reversed(pixel_rows))
    mask = b""
    for row in reversed(mask_rows):
        line = int("".join("1" if clear else "0" for clear in row), 2)
        mask += line.to_bytes(size // 8, "big").ljust(-(-size // 32) * 4, b"\0")
    # Height counts the colour bitmap and the mask together
    return struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0,
                       len(pixels) + len(mask), 0, 0, len(palette) // 4, 0) + palette + pixels + mask


def paletted(rows):
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for _, c in PALETTE)
    return bitmap(len(rows), 4, [bytes(INDEX.get(row[i], 0) << 4 | INDEX.get(row[i + 1], 0)
                                       for i in range(0, len(row), 2)) for row in rows],
                  [[letter == "." for letter in row] for row in rows], colours)


def read_shapes(path):
    """{size: [(rgba, x, y, width, height, radius)]} in the file's order."""
    colours, images, shapes, scale = {}, {}, None, 1
    for n, line in text_lines(path):
        words = line.split()
        try:
            if not words:
                continue
            if words[0] == "colour":
                value = int(words[2], 16) if len(words[2]) == 8 else int(words[2], 16) << 8 | 0xFF
                colours[words[1]] = tuple((value >> s & 0xFF) / 255 for s in (24, 16, 8, 0))
            elif words[0] == "size":
                shapes = images[int(words[1])] = []
                scale = float(words[2]) if len(words) > 2 else 1
            elif words[0] == "keys":
                x, y, w, h, r, step = (float(v) * scale for v in words[1:7])
                shapes += [(colours[name], x + i * step, y, w, h, r) for i, name in enumerate(words[7:])]
            else:
                x, y, w, h, r = (float(v) * scale for v in (words[1:] + ["0"])[:5])
                shapes.append((colours[words[0]], x, y, w, h, r))
        except (IndexError, KeyError, ValueError, AttributeError, TypeError):
            sys.exit(f"{path}:{n}: cannot read {line!r}")
    return images


def span(x, w, y, h, r, at):
    """Where a rounded rectangle crosses the line at height 'at', if it does."""
    if not y <= at < y + h:
        return None
    into_corner = max(y + r - at, at - (y + h - r), 0)
    inset = r - math.sqrt(r * r - into_corner * into_corner)
    return x + inset, x + w - inset


def render(shapes, size):
    """Rows of premultiplied RGBA, each channel 0 to 1."""
    canvas = [[[0.0] * 4 for _ in range(size)] for _ in range(size)]
    for colour, x, y, w, h, r in shapes:
        r = min(r, w / 2, h / 2)
        for py in range(max(int(y), 0), min(math.ceil(y + h), size)):
            spans = [s for i in range(SAMPLES) if (s := span(x, w, y, h, r, py + (i + 0.5) / SAMPLES))]
            if not spans:
                continue
            lefts, rights = [s[0] for s in spans], [s[1] for s in spans]
            # Pixels that every sample covers whole
            whole = range(math.ceil(max(lefts)), int(min(rights)) if len(spans) == SAMPLES else 0)
            for px in range(max(int(min(lefts)), 0), min(math.ceil(max(rights)), size)):
                cover = colour[3] if px in whole else colour[3] / SAMPLES * sum(
                    min(right, px + 1) - max(left, px) for left, right in spans if left < px + 1 and right > px)
                old = canvas[py][px]
                canvas[py][px] = [colour[i] * cover + old[i] * (1 - cover) for i in range(3)]
                canvas[py][px].append(cover + old[3] * (1 - cover))
    return canvas


def straight(pixel):
    """A premultiplied pixel as RGBA bytes."""
    alpha = round(pixel[3] * 255)
    return [round(c / pixel[3] * 255) if alpha else 0 for c in pixel[:3]] + [alpha]


def truecolour(canvas):
    rows = [[straight(p) for p in row] for row in canvas]
    return bitmap(len(rows), 32, [bytes(v for r, g, b, a in row for v in (b, g, r, a)) for row in rows],
                  [[a == 0 for _, _, _, a in row] for row in rows])


def png_image(canvas):
    size = len(canvas)
    return png(size, size, [bytes(v for p in row for v in straight(p)) for row in canvas], alpha=True)


def icon_file(images):
    """images: (size, bits per pixel, data); a size of 256 is written as 0."""
    entries, data = b"", b""
    for size, bits, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits,
                               len(image), 6 + 16 * len(images) + len(data))
        data += image
    return struct.pack("<HHH", 0, 1, len(images)) + entries + data


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    images = [(len(rows), 4, paletted(rows)) for rows in map(read_picture, sys.argv[2:-1])]
    for size, shapes in read_shapes(sys.argv[-1]).items():
        canvas = render(shapes, size)
        images.append((size, 32, png_image(canvas) if size == 256 else truecolour(canvas)))
    with open(sys.argv[1], "wb") as f:
        f.write(icon_file(images))


if __name__ == "__main__":
    main()
