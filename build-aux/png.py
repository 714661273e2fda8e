"""PNG files: the icon's 256-pixel image and the run command's screenshots."""
import struct
import zlib


def png(width, height, rows, alpha):
    """rows: height rows of width RGB (or, with alpha, RGBA) pixels as bytes, top row first."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    colour = 6 if alpha else 2
    data = b"".join(b"\0" + bytes(row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))
