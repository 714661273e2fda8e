#!/usr/bin/env python3
"""Rewrites halibut's WinHelp file in the Windows 3.1 help format, gives it a window definition for
its main window, and a date.

usage: hlp31.py FILE.HLP DATE

halibut writes the format of WinHelp 4 (|SYSTEM version 1.33), which the WinHelp of Windows 3.1
(Win32s) and NT 3.51 refuse; every later WinHelp reads the 3.1 format too. What differs:
- |SYSTEM: version 1.21, and only the records 3.1 knows (not LCID or CHARSET).
- |FONT: face names of 20 bytes, not 32.
- |KWBTREE: case-blind keys ("i24", not "F24"), in 3.1's order: without case, letters and digits
  after other characters; |KWDATA and |KWMAP follow that order.
- The directory's file header says 4.
The other internal files halibut writes (|TOPIC, |CONTEXT, |CTXOMAP, |TTLBTREE) are in 3.1's form.
halibut writes no window definition. Without one, a viewer started before the file is loaded (as
WinHelp starts it) keeps its own caption instead of the file's title; the definition names only
"main", so the caption is the file's title. halibut dates the file with the time it runs; DATE
(seconds since 1970, the source's time) replaces it, so that the same source gives the same file.
"""
import struct
import sys

HELP_MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
SYSTEM_MAGIC = 0x036C
WINDOW_RECORD = 6
RECORDS_31 = {1, 2, 3, 4, 5, 6, 8}      # title, copyright, contents, macro, icon, window, citation
NAME_VALID = 0x0002
FACE_31, FACE_SIZE = 20, 32
DIRECTORY = (0x0402, 1024, b"z4")
KEYWORDS = (0x0002, 2048, b"i24")


def fail(message):
    sys.exit(f"hlp31: {message}")


def stringz(data, pos):
    return data.index(b"\0", pos) + 1


def read_tree(data, pos, record):
    """The leaf entries of the B-tree at pos, each as bytes; record(data, pos) is the end of one."""
    magic, _, page, _, _, _, at, _, _, levels, total = struct.unpack_from("<HHH16shhhhhhi", data, pos)
    if magic != BTREE_MAGIC:
        fail("bad B-tree")
    base, entries = pos + 38, []
    for _ in range(levels - 1):
        at, = struct.unpack_from("<h", data, base + at * page + 4)
    while at != -1:
        count, following = struct.unpack_from("<h2xh", data, base + at * page + 2)
        pos = base + at * page + 8
        for _ in range(count):
            end = record(data, pos)
            entries.append(data[pos:end])
            pos = end
        at = following
    if len(entries) != total:
        fail("B-tree entries lost")
    return entries


def write_tree(form, entries, key):
    """A B-tree of form (flags, page size, format) holding entries: leaf pages, and above them one
    index page of each leaf's first key when there is more than one leaf. Returns it and its leaves'
    first entry numbers."""
    flags, size, fmt = form
    leaves, firsts = [[]], [0]
    for n, entry in enumerate(entries):
        if 8 + sum(map(len, leaves[-1])) + len(entry) > size:
            leaves.append([])
            firsts.append(n)
        leaves[-1].append(entry)
    pages = []
    for n, leaf in enumerate(leaves):
        body = b"".join(leaf)
        following = n + 1 if n + 1 < len(leaves) else -1
        pages.append(struct.pack("<Hhhh", size - 8 - len(body), len(leaf), n - 1, following) + body)
    if len(leaves) > 1:
        body = b"".join(key(leaf[0]) + struct.pack("<h", n) for n, leaf in enumerate(leaves) if n)
        if 6 + len(body) > size:
            fail("B-tree too big for two levels")
        pages.append(struct.pack("<Hhh", size - 6 - len(body), len(leaves) - 1, 0) + body)
    header = struct.pack("<HHH16shhhhhhi", BTREE_MAGIC, flags, size, fmt, 0, 0, len(pages) - 1, -1, len(pages),
                         1 + (len(leaves) > 1), len(entries))
    return header + b"".join(page.ljust(size, b"\0") for page in pages), firsts


def read_files(data):
    """Each internal file's name and contents, from the file's directory."""
    magic, directory, _, size = struct.unpack_from("<IiiI", data, 0)
    if magic != HELP_MAGIC or size != len(data):
        fail("not a WinHelp file")
    files = {}
    for entry in read_tree(data, directory + 9, lambda d, p: stringz(d, p) + 4):
        name, offset = entry[:-5].decode("latin-1"), struct.unpack_from("<i", entry, len(entry) - 4)[0]
        used, = struct.unpack_from("<i", data, offset + 4)
        files[name] = data[offset + 9:offset + 9 + used]
    return files


def write_files(files):
    """The help file: header, directory, then the internal files in the directory's order."""
    names = sorted(files, key=lambda n: n.encode("latin-1"))

    def directory(offsets):
        entries = [n.encode("latin-1") + b"\0" + struct.pack("<i", o) for n, o in zip(names, offsets)]
        return write_tree(DIRECTORY, entries, lambda e: e[:-4])[0]
    offsets, pos = [], 16 + 9 + len(directory([0] * len(names)))
    for name in names:
        offsets.append(pos)
        pos += 9 + len(files[name])
    tree = directory(offsets)
    out = struct.pack("<IiiI", HELP_MAGIC, 16, -1, pos) + struct.pack("<iiB", len(tree) + 9, len(tree), 4) + tree
    for name in names:
        out += struct.pack("<iiB", len(files[name]) + 9, len(files[name]), 0) + files[name]
    return out


def window_record():
    # flags, type[10], name[9], caption[51], x, y, width, height, maximize, two colours
    data = struct.pack("<H10s9s51s5h2I", NAME_VALID, b"", b"main", b"", 0, 0, 0, 0, 0, 0, 0)
    return struct.pack("<HH", WINDOW_RECORD, len(data)) + data


def system_31(system, date):
    """|SYSTEM at version 1.21 with the 3.1 records, the window definition added, dated DATE."""
    magic, _, _, _, flags = struct.unpack_from("<HHHIH", system, 0)
    if magic != SYSTEM_MAGIC:
        fail("bad |SYSTEM header")
    out, pos = struct.pack("<HHHIH", SYSTEM_MAGIC, 21, 1, date, flags), 12
    while pos + 4 <= len(system):
        kind, size = struct.unpack_from("<HH", system, pos)
        if kind == WINDOW_RECORD:
            fail("already has window definitions")
        out += system[pos:pos + 4 + size] if kind in RECORDS_31 else b""
        pos += 4 + size
    return out + window_record()


def font_31(font):
    """|FONT with 20-byte face names."""
    faces, descriptors, names, after = struct.unpack_from("<4H", font, 0)
    if names != 8 or after - names != faces * FACE_SIZE:
        fail("|FONT is not of halibut's form")
    table = [font[names + i * FACE_SIZE:names + (i + 1) * FACE_SIZE].rstrip(b"\0") for i in range(faces)]
    if any(len(name) >= FACE_31 for name in table):
        fail("a face name too long for 3.1")
    return (struct.pack("<4H", faces, descriptors, 8, 8 + faces * FACE_31)
            + b"".join(name.ljust(FACE_31, b"\0") for name in table) + font[after:])


def keyword_order(word):
    """3.1 compares keywords without case, letters and digits after all other characters."""
    return [(chr(c).isalnum(), ord(chr(c).lower())) for c in word]


def keywords_31(files):
    """|KWBTREE with 3.1's keys in 3.1's order, |KWDATA in that order, and |KWMAP for its pages."""
    entries, data, ordered, kwdata = read_tree(files["|KWBTREE"], 0, lambda d, p: stringz(d, p) + 6), \
        files["|KWDATA"], [], b""
    for entry in sorted(entries, key=lambda e: keyword_order(e[:-7])):
        count, at = struct.unpack_from("<hi", entry, len(entry) - 6)
        ordered.append(entry[:-6] + struct.pack("<hi", count, len(kwdata)))
        kwdata += data[at:at + 4 * count]
    tree, firsts = write_tree(KEYWORDS, ordered, lambda e: e[:-6])
    files["|KWBTREE"], files["|KWDATA"] = tree, kwdata
    files["|KWMAP"] = struct.pack("<H", len(firsts)) + b"".join(
        struct.pack("<ih", n, page) for page, n in enumerate(firsts))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, date = sys.argv[1], int(sys.argv[2])
    files = read_files(open(path, "rb").read())
    files["|SYSTEM"] = system_31(files["|SYSTEM"], date)
    files["|FONT"] = font_31(files["|FONT"])
    if "|KWBTREE" in files:
        keywords_31(files)
    open(path, "wb").write(write_files(files))


if __name__ == "__main__":
    main()
