#!/usr/bin/env python3
"""VELMO.HLP against the Windows 3.1 help format, the only one WinHelp 3.1 (Win32s) and NT 3.51 read:
the file header and directory, |SYSTEM version 1.21 with the records 3.1 knows, no internal file that
3.1 lacks, |FONT with 20-byte face names, the B-trees with 3.1's key formats and page sizes, keywords
in 3.1's order, and |TOPIC with only 3.1's records and formatting commands. Each rule failed is named.

usage: test_hlp.py VELMO.HLP
"""
import struct
import sys

from winhelp import keyword_order

# Internal files of a 3.1 help file (bitmaps are |bm0, |bm1, ...) and each B-tree's form:
# flags, page size, key and record format
KNOWN = {"|SYSTEM", "|TOPIC", "|FONT", "|CONTEXT", "|CTXOMAP", "|KWBTREE", "|KWDATA", "|KWMAP", "|TTLBTREE",
         "|Phrases", "|TOMAP"}
TREES = {"directory": (0x0402, 1024, b"z4"), "|CONTEXT": (0x0002, 2048, b"L4"), "|KWBTREE": (0x0002, 2048, b"i24"),
         "|TTLBTREE": (0x0002, 2048, b"Lz")}
SYSTEM_RECORDS = {1: "title", 2: "copyright", 3: "contents", 4: "macro", 5: "icon", 6: "window", 8: "citation"}
FACE_SIZE, DESCRIPTOR_SIZE = 20, 11
TOPIC_BLOCK, BLOCK_STRIDE = 4096, 0x4000
# Formatting commands of 3.1 text and the size of what follows each (None: read specially)
COMMANDS = {0x80: 2, 0x81: 0, 0x82: 0, 0x83: 0, 0x86: None, 0x87: None, 0x88: None, 0x89: 0, 0x8B: 0, 0x8C: 0,
            0xC8: None, 0xE2: 4, 0xE3: 4}
failures = []


def check(ok, rule):
    print(("ok   " if ok else "FAIL ") + rule)
    if not ok:
        failures.append(rule)
    return ok


def btree(data, pos):
    """The header of the B-tree at pos: magic, flags, page size, format, root page, levels, entries."""
    magic, flags, page, fmt, _, _, root, _, _, levels, total = struct.unpack_from("<HHH16shhhhhhi", data, pos)
    return magic, flags, page, fmt.rstrip(b"\0"), root, levels, total


def leaf_entries(data, pos, entry):
    """Each leaf entry of the B-tree at pos, split by entry(bytes, offset) -> (value, next offset)."""
    _, _, page, _, at, levels, total = btree(data, pos)
    base = pos + 38
    for _ in range(levels - 1):
        at = struct.unpack_from("<h", data, base + at * page + 4)[0]
    out = []
    while at != -1 and len(out) <= total:
        count, following = struct.unpack_from("<h2xh", data, base + at * page + 2)
        off = base + at * page + 8
        for _ in range(count):
            value, off = entry(data, off)
            out.append(value)
        at = following
    return out


def stringz(data, off):
    end = data.index(b"\0", off)
    return data[off:end], end + 1


def tree_form(name, data, pos):
    magic, flags, page, fmt, _, _, _ = btree(data, pos)
    check((magic, flags, page, fmt) == (0x293B,) + TREES[name],
          f"{name} B-tree: flags {flags:#06x}, page size {page}, format {fmt.decode()!r}, as 3.1 writes it")


def directory(data):
    magic, start, free, size = struct.unpack_from("<IiiI", data, 0)
    check((magic, free, size) == (0x00035F3F, -1, len(data)), "header: magic, no free list, the file's size")
    reserved, used, flags = struct.unpack_from("<iiB", data, start)
    check(flags == 4, "directory's file header flags 4")
    tree_form("directory", data, start + 9)
    files = dict(leaf_entries(data, start + 9, lambda d, o: (
        (stringz(d, o)[0].decode("latin-1"), struct.unpack_from("<i", d, stringz(d, o)[1])[0]), stringz(d, o)[1] + 4)))
    check(list(files) == sorted(files), "directory names in byte order")
    spans = sorted((off, off + struct.unpack_from("<i", data, off)[0]) for off in files.values())
    check(all(0 < a < b <= len(data) for a, b in spans) and all(b <= c for (_, b), (c, _) in zip(spans, spans[1:])),
          "internal files inside the file, none overlapping")
    extra = sorted(n for n in files if n not in KNOWN and not (n.startswith("|bm") and n[3:].isdigit()))
    check(not extra, f"only internal files 3.1 knows (also there: {', '.join(extra) or 'none'})")
    return {n: data[off + 9:off + 9 + struct.unpack_from("<i", data, off + 4)[0]] for n, off in files.items()}


def system(body):
    magic, minor, major, _, flags = struct.unpack_from("<HHHIH", body, 0)
    check((magic, major, minor) == (0x036C, 1, 21), f"|SYSTEM version {major}.{minor}, 3.1's is 1.21")
    check(flags in (0, 4), f"|SYSTEM flags {flags}: 4k topic blocks, uncompressed or LZ77")
    kinds, pos, windows = [], 12, True
    while pos + 4 <= len(body):
        kind, size = struct.unpack_from("<HH", body, pos)
        kinds.append(kind)
        pos += 4 + size
        windows = size == 90 and windows if kind == 6 else windows
    check(pos == len(body) and windows, "|SYSTEM records fill it exactly; window records of 90 bytes")
    check(set(kinds) <= set(SYSTEM_RECORDS), f"|SYSTEM records only of 3.1's types (has {sorted(set(kinds))})")
    check(kinds.count(1) == 1, "|SYSTEM has one title")
    return flags


def font(body):
    faces, descriptors, face_at, desc_at = struct.unpack_from("<4H", body, 0)
    check(face_at == 8 and desc_at - face_at == faces * FACE_SIZE, f"|FONT: face names of {FACE_SIZE} bytes after "
          f"an 8-byte header (has {(desc_at - face_at) // max(faces, 1)})")
    check(len(body) == desc_at + descriptors * DESCRIPTOR_SIZE, "|FONT: 11-byte descriptors fill it")
    indexes = [struct.unpack_from("<H", body, desc_at + i * DESCRIPTOR_SIZE + 3)[0] for i in range(descriptors)]
    check(all(i < faces for i in indexes), "|FONT descriptors name existing faces")
    return descriptors


def keywords(files):
    words = [w for w in leaf_entries(files["|KWBTREE"], 0, lambda d, o: (
        (stringz(d, o)[0],) + struct.unpack_from("<hi", d, stringz(d, o)[1]), stringz(d, o)[1] + 6))]
    check([w[0] for w in words] == sorted((w[0] for w in words), key=keyword_order) and len(words) > 0,
          f"{len(words)} keywords in 3.1's order (without case, letters and digits last)")
    data = files["|KWDATA"]
    check(all(0 <= at and at + 4 * n <= len(data) for _, n, at in words) and
          sum(n for _, n, _ in words) * 4 == len(data), "|KWDATA holds each keyword's topics")
    count, = struct.unpack_from("<H", files["|KWMAP"], 0)
    check(len(files["|KWMAP"]) == 2 + 6 * count and count >= 1, "|KWMAP: a count and 6 bytes a leaf page")
    return words


def compressed(data, pos, size):
    """A compressed number of size 1 (short) or 2 (long) bytes, twice that if its lowest bit is set."""
    fmt = "<B" if size == 1 else "<H"
    first, = struct.unpack_from(fmt, data, pos)
    return pos + (2 * size if first & 1 else size)


def number(data, pos, size):
    """The value of an unsigned compressed number."""
    small, large = ("<B", "<H") if size == 1 else ("<H", "<I")
    value, = struct.unpack_from(large if data[pos] & 1 else small, data, pos)
    return value >> 1


def paragraph(data, pos):
    """The offset after a text record's paragraph information."""
    pos = compressed(data, pos, 2)           # size of the topic text
    pos = compressed(data, pos, 1)           # its length
    bits, = struct.unpack_from("<H", data, pos + 4)
    pos += 6
    pos = compressed(data, pos, 2) if bits & 1 else pos
    for bit in (2, 4, 8, 0x10, 0x20, 0x40):
        pos = compressed(data, pos, 1) if bits & bit else pos
    pos += 3 if bits & 0x100 else 0
    if bits & 0x200:
        stops, pos = number(data, pos, 1) - (16384 if data[pos] & 1 else 64), compressed(data, pos, 1)
        for _ in range(stops):
            stop, pos = number(data, pos, 1), compressed(data, pos, 1)
            pos = compressed(data, pos, 1) if stop & 0x4000 else pos
    return pos


def commands(data, pos, end, seen, jumps):
    """Walks a text record's formatting commands to its 0xFF; False at one 3.1 does not have."""
    while pos < end and data[pos] != 0xFF:
        op = data[pos]
        seen.add(op)
        if op not in COMMANDS:
            return False
        if op in (0xE2, 0xE3):
            jumps.add(struct.unpack_from("<I", data, pos + 1)[0])
        if op == 0xC8:
            pos += 1 + struct.unpack_from("<h", data, pos + 1)[0]
        elif COMMANDS[op] is None:
            kind = data[pos + 1]
            after = compressed(data, pos + 2, 2)
            pos = (compressed(data, after, 1) if kind == 0x22 else after) + number(data, pos + 2, 2)
        else:
            pos += 1 + COMMANDS[op]
    return pos < end


def topic(body, flags, hashes):
    check(flags == 0, "|TOPIC uncompressed, as written here: 4k blocks")
    blocks = [body[i:i + TOPIC_BLOCK] for i in range(0, len(body), TOPIC_BLOCK)]
    stream = b"".join(b[12:] for b in blocks)
    index = lambda p: (p // BLOCK_STRIDE) * (TOPIC_BLOCK - 12) + p % BLOCK_STRIDE - 12  # noqa: E731
    pos, kinds, seen, jumps, count, topics = 12, set(), set(), set(), 0, 0
    while pos not in (0, -1) and count < 100000:
        at = index(pos)
        size, _, _, following, length1, kind = struct.unpack_from("<iiiiiB", stream, at)
        kinds.add(kind)
        topics += kind == 2
        if kind == 0x20 and not commands(stream, paragraph(stream, at + 21), at + length1, seen, jumps):
            check(False, f"|TOPIC text record at {pos} read to its end")
            break
        pos, count = following, count + 1
    check(kinds <= {2, 0x20}, f"|TOPIC records only topic headers and 3.1 text (has {sorted(kinds)})")
    check(set(seen) <= set(COMMANDS), "|TOPIC formatting commands only 3.1's (has "
          + ", ".join(f"{c:#04x}" for c in sorted(seen)) + ")")
    check(jumps <= hashes and topics > 0, f"{topics} topics; {len(jumps)} jumps, each to a context in |CONTEXT")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data = open(sys.argv[1], "rb").read()
    files = directory(data)
    flags = system(files["|SYSTEM"])
    font(files["|FONT"])
    for name in ("|CONTEXT", "|KWBTREE", "|TTLBTREE"):
        tree_form(name, files[name], 0)
    hashes = {h for h in leaf_entries(files["|CONTEXT"], 0, lambda d, o: (struct.unpack_from("<I", d, o)[0], o + 8))}
    keywords(files)
    check(len(files["|CTXOMAP"]) == 2 + 8 * struct.unpack_from("<H", files["|CTXOMAP"], 0)[0],
          "|CTXOMAP: a count and 8 bytes a map entry")
    topic(files["|TOPIC"], flags, hashes)
    sys.exit(f"{len(failures)} rule(s) of the 3.1 format broken" if failures else 0)


if __name__ == "__main__":
    main()
