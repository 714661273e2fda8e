#!/usr/bin/env python3
"""The wave files beside VELMO.exe: every name the program plays, in a form every Windows plays.

usage: test_sounds.py DIR [TEXT]

Checks each file: a plain RIFF WAVE with one 16-byte PCM format chunk and
one data chunk, mono, 16 bits, 22050 Hz, sound in it, and shorter than
0.45 s. Prints each file's length and how long the program speaks TEXT
(default "-1.5e+020"), one file after another as it plays them.
"""
import os
import struct
import sys

SPEECH = {"+": "plus.wav", "-": "minus.wav", ".": "point.wav", "e": "e.wav",
          **{d: f"{d}.wav" for d in "0123456789"}}
NAMES = sorted(set(SPEECH.values()) | {f"{n}.wav" for n in (
    "enter", "back", "add", "sub", "mult", "div", "raise", "recip", "ch_sgn", "sqrt", "square", "swap", "drop",
    "clear", "error")})
RATE, LONGEST = 22050, 0.45


def read_wave(path):
    """Seconds of sound in a wave file, and its loudest sample; AssertionError on anything else. The
    form every Windows plays: the 44-byte header of one 16-byte PCM format chunk and one data chunk."""
    data = open(path, "rb").read()
    riff, size, wave, fmt, fmt_size, tag, channels, rate, per_second, align, bits, chunk, samples = \
        struct.unpack_from("<4sI4s4sIHHIIHH4sI", data)
    assert (riff, size, wave, fmt, fmt_size, chunk, samples) == (b"RIFF", len(data) - 8, b"WAVE", b"fmt ", 16, b"data",
                                                                 len(data) - 44), "not one format and one data chunk"
    assert (tag, channels, rate, per_second, align, bits) == (1, 1, RATE, RATE * 2, 2, 16), "not 22050 Hz 16-bit mono PCM"
    values = struct.unpack(f"<{samples // 2}h", data[44:])
    return len(values) / RATE, max(map(abs, values), default=0)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    folder, text = sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else "-1.5e+020"
    lengths, failed = {}, []
    for name in NAMES:
        try:
            seconds, peak = read_wave(os.path.join(folder, name))
            assert seconds < LONGEST, f"{seconds:.3f} s long"
            assert peak > 8000, f"nearly silent (peak {peak})"
            lengths[name] = seconds
            print(f"{name:12} {seconds:.3f} s")
        except (OSError, AssertionError) as e:
            failed.append(name)
            print(f"FAIL {name}: {e}")
    if failed:
        sys.exit(1)
    total = sum(lengths[SPEECH[c]] for c in text if c in SPEECH)
    print(f"{len(NAMES)} files; speaking {text!r} plays {sum(c in SPEECH for c in text)} files, {total:.3f} s")


if __name__ == "__main__":
    main()
