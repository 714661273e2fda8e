"""VELMO.HLP against the Windows 3.1 help format, the only one WinHelp 3.1 (Win32s) and NT 3.51 read:
the file header and directory, |SYSTEM version 1.21 with the records 3.1 knows, no internal file that
3.1 lacks, |FONT with 20-byte face names, the B-trees with 3.1's key formats and page sizes, keywords
in 3.1's order, and |TOPIC uncompressed with only 3.1's records and formatting commands."""
import struct

import pytest

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


def directory_entry(data, off):
    name, off = stringz(data, off)
    return (name.decode("latin-1"), struct.unpack_from("<i", data, off)[0]), off + 4


def assert_tree_form(name, data, pos):
    magic, flags, page, fmt, _, _, _ = btree(data, pos)
    assert (magic, flags, page, fmt) == (0x293B,) + TREES[name], \
        f"{name} B-tree: magic {magic:#x}, flags {flags:#06x}, page size {page}, format {fmt!r}, not as 3.1 writes it"


@pytest.fixture(scope="module")
def hlp(option):
    """The file, where its directory starts, and {name: offset} of its internal files."""
    data = open(option.hlp, "rb").read()
    start = struct.unpack_from("<i", data, 4)[0]
    return data, start, dict(leaf_entries(data, start + 9, directory_entry))


@pytest.fixture(scope="module")
def files(hlp):
    """The bodies of the internal files, by name."""
    data, _, offsets = hlp
    return {n: data[off + 9:off + 9 + struct.unpack_from("<i", data, off + 4)[0]] for n, off in offsets.items()}


def test_directory(hlp):
    data, start, files = hlp
    magic, _, free, size = struct.unpack_from("<IiiI", data, 0)
    assert (magic, free, size) == (0x00035F3F, -1, len(data)), "header: not the magic, no free list and the file's size"
    assert data[start + 8] == 4, "directory's file header flags not 4"
    assert_tree_form("directory", data, start + 9)
    assert list(files) == sorted(files), "directory names not in byte order"
    spans = sorted((off, off + struct.unpack_from("<i", data, off)[0]) for off in files.values())
    assert all(0 < a < b <= len(data) for a, b in spans), f"internal files outside the file: {spans}"
    assert all(b <= c for (_, b), (c, _) in zip(spans, spans[1:])), f"internal files overlap: {spans}"
    extra = [n for n in files if n not in KNOWN and not (n.startswith("|bm") and n[3:].isdigit())]
    assert extra == [], "internal files 3.1 does not know"


def test_system(files):
    body = files["|SYSTEM"]
    magic, minor, major, _, flags = struct.unpack_from("<HHHIH", body, 0)
    assert (magic, major, minor) == (0x036C, 1, 21), \
        f"|SYSTEM magic {magic:#x}, version {major}.{minor}, not 3.1's 1.21"
    # |TOPIC is read here as it is written, uncompressed in 4k blocks; 3.1 would also read LZ77 (4)
    assert flags == 0, f"|SYSTEM flags {flags}, not 0: uncompressed 4k topic blocks"
    kinds, windows, pos = [], [], 12
    while pos + 4 <= len(body):
        kind, size = struct.unpack_from("<HH", body, pos)
        kinds.append(kind)
        windows += [size] if kind == 6 else []
        pos += 4 + size
    assert pos == len(body), f"|SYSTEM records end at {pos}, the file at {len(body)}"
    assert set(windows) <= {90}, f"|SYSTEM window records of {windows} bytes, not 90"
    assert set(kinds) <= set(SYSTEM_RECORDS), f"|SYSTEM records of types {sorted(set(kinds))}, not only 3.1's"
    assert kinds.count(1) == 1, f"|SYSTEM has {kinds.count(1)} titles, not one"


def test_font(files):
    body = files["|FONT"]
    faces, descriptors, face_at, desc_at = struct.unpack_from("<4H", body, 0)
    assert (face_at, desc_at - face_at) == (8, faces * FACE_SIZE), \
        f"|FONT: face names from {face_at}, {(desc_at - face_at) // max(faces, 1)} bytes each, not 20 from 8"
    assert len(body) == desc_at + descriptors * DESCRIPTOR_SIZE, "|FONT: not 11-byte descriptors to its end"
    indexes = [struct.unpack_from("<H", body, desc_at + i * DESCRIPTOR_SIZE + 3)[0] for i in range(descriptors)]
    assert all(i < faces for i in indexes), f"|FONT descriptors name faces {indexes}; there are {faces}"


@pytest.mark.parametrize("name", ["|CONTEXT", "|KWBTREE", "|TTLBTREE"])
def test_btree_form(files, name):
    assert_tree_form(name, files[name], 0)


def test_keywords(files):
    words = leaf_entries(files["|KWBTREE"], 0, lambda d, o: (
        (stringz(d, o)[0],) + struct.unpack_from("<hi", d, stringz(d, o)[1]), stringz(d, o)[1] + 6))
    keys = [w[0] for w in words]
    assert keys, "no keywords"
    assert keys == sorted(keys, key=keyword_order), "keywords not in 3.1's order: without case, letters and digits last"
    data = files["|KWDATA"]
    assert all(0 <= at and at + 4 * n <= len(data) for _, n, at in words), "keywords' topics outside |KWDATA"
    assert sum(n for _, n, _ in words) * 4 == len(data), "|KWDATA holds more than the keywords' topics"
    count, = struct.unpack_from("<H", files["|KWMAP"], 0)
    assert count >= 1 and len(files["|KWMAP"]) == 2 + 6 * count, "|KWMAP: not a count and 6 bytes a leaf page"


def test_ctxomap(files):
    count, = struct.unpack_from("<H", files["|CTXOMAP"], 0)
    assert len(files["|CTXOMAP"]) == 2 + 8 * count, f"|CTXOMAP of {len(files['|CTXOMAP'])} bytes for {count} entries"


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


def test_topic(files):
    contexts = set(leaf_entries(files["|CONTEXT"], 0, lambda d, o: (struct.unpack_from("<I", d, o)[0], o + 8)))
    body = files["|TOPIC"]
    stream = b"".join(body[i + 12:i + TOPIC_BLOCK] for i in range(0, len(body), TOPIC_BLOCK))
    pos, kinds, seen, jumps, count = 12, [], set(), set(), 0
    while pos not in (0, -1) and count < 100000:
        at = (pos // BLOCK_STRIDE) * (TOPIC_BLOCK - 12) + pos % BLOCK_STRIDE - 12
        _, _, _, following, length1, kind = struct.unpack_from("<iiiiiB", stream, at)
        kinds.append(kind)
        if kind == 0x20:
            assert commands(stream, paragraph(stream, at + 21), at + length1, seen, jumps), \
                f"|TOPIC text record at {pos}: not read to its end (formatting commands {sorted(map(hex, seen))})"
        pos, count = following, count + 1
    assert set(kinds) <= {2, 0x20}, f"|TOPIC records of types {sorted(set(kinds))}, not only topic headers and 3.1 text"
    assert kinds.count(2) > 0, "no topics"
    assert jumps - contexts == set(), "jumps to no context of |CONTEXT"
