"""The wave files beside VELMO.exe, as resources/sounds.txt lists them, in a form every Windows plays: a plain
RIFF WAVE of one 16-byte PCM format chunk and one data chunk, mono, 16 bits, 22050 Hz, sound in it, shorter
than 0.45 s. The list names every file the program plays."""
import glob
import os
import re
import struct

import pytest

from soundlist import NAMES

RATE, LONGEST = 22050, 0.45
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "velmo")


@pytest.mark.parametrize("name", NAMES)
def test_wave(option, name):
    data = open(os.path.join(option.build, name), "rb").read()
    riff, size, wave, fmt, fmt_size, tag, channels, rate, per_second, align, bits, chunk, samples = \
        struct.unpack_from("<4sI4s4sIHHIIHH4sI", data)
    assert (riff, size, wave, fmt, fmt_size, chunk, samples) == (b"RIFF", len(data) - 8, b"WAVE", b"fmt ", 16, b"data",
                                                                 len(data) - 44), "not one format and one data chunk"
    assert (tag, channels, rate, per_second, align, bits) == (1, 1, RATE, RATE * 2, 2, 16), \
        f"format tag {tag}, {channels} channels, {rate} Hz, {bits} bits: not 22050 Hz 16-bit mono PCM"
    values = struct.unpack(f"<{samples // 2}h", data[44:])
    assert len(values) / RATE < LONGEST, f"{len(values) / RATE:.3f} s long, not under {LONGEST} s"
    assert max(map(abs, values), default=0) > 8000, f"nearly silent: peak {max(map(abs, values), default=0)}"


def test_every_played_file_listed():
    """A name in the program's code that sounds.txt lacks is a file never made (the digits' names are made there)."""
    code = "".join(open(p).read() for p in glob.glob(os.path.join(SOURCE, "**", "*.cpp"), recursive=True))
    played = set(re.findall(r'"(\w+\.wav)"', code)) | {f"{d}.wav" for d in "0123456789"}
    assert played - set(NAMES) == set(), "played by the program but not in resources/sounds.txt"
