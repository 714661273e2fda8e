#!/usr/bin/env python3
"""Gives a WinHelp file a window definition for its main window, and a date.

usage: hlpwindow.py FILE.HLP DATE

halibut writes no window definition. Without one, a viewer started before the
file is loaded (as WinHelp starts it) keeps its own caption instead of the
file's title.
The definition names only "main", so the caption is the file's title. A new
|SYSTEM is written at the end of the file and the directory pointed at it.
halibut dates the file with the time it runs; DATE (seconds since 1970, the
source's time) replaces it, so that the same source gives the same file.
"""
import struct
import sys

HELP_MAGIC = 0x00035F3F
BTREE_MAGIC = 0x293B
SYSTEM_MAGIC = 0x036C
WINDOW_RECORD = 6
NAME_VALID = 0x0002


def fail(message):
    sys.exit(f"hlpwindow: {message}")


def window_record():
    # flags, type[10], name[9], caption[51], x, y, width, height, maximize, two colours
    data = struct.pack("<H10s9s51s5h2I", NAME_VALID, b"", b"main", b"", 0, 0, 0, 0, 0, 0, 0)
    return struct.pack("<HH", WINDOW_RECORD, len(data)) + data


def system_records(system):
    """(type, data) of each record after the 12-byte |SYSTEM header."""
    pos = 12
    while pos + 4 <= len(system):
        kind, size = struct.unpack_from("<HH", system, pos)
        yield kind, system[pos + 4:pos + 4 + size]
        pos += 4 + size


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, date = sys.argv[1], int(sys.argv[2])
    data = bytearray(open(path, "rb").read())
    magic, directory, _, size = struct.unpack_from("<IiiI", data, 0)
    if magic != HELP_MAGIC or size != len(data):
        fail("not a WinHelp file")
    tree = directory + 9
    btree_magic, = struct.unpack_from("<H", data, tree)
    levels, = struct.unpack_from("<H", data, tree + 32)
    if btree_magic != BTREE_MAGIC or levels != 1:
        fail("directory is not a single leaf page")
    leaf = tree + 38
    entries, = struct.unpack_from("<h", data, leaf + 2)
    pos, where = leaf + 8, None
    for _ in range(entries):
        end = data.index(b"\0", pos)
        if data[pos:end] == b"|SYSTEM":
            where = end + 1
        pos = end + 5
    if where is None:
        fail("no |SYSTEM")
    offset, = struct.unpack_from("<i", data, where)
    _, used, flags = struct.unpack_from("<iiB", data, offset)
    if struct.unpack_from("<H", data, offset + 9)[0] != SYSTEM_MAGIC:
        fail("bad |SYSTEM header")
    # Magic, minor and major version, then the date; the old |SYSTEM stays in the file
    struct.pack_into("<I", data, offset + 9 + 6, date)
    system = bytes(data[offset + 9:offset + 9 + used])
    if any(kind == WINDOW_RECORD for kind, _ in system_records(system)):
        fail("already has window definitions")
    system += window_record()
    struct.pack_into("<i", data, where, len(data))
    data += struct.pack("<iiB", len(system) + 9, len(system), flags) + system
    struct.pack_into("<I", data, 12, len(data))
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
