#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_numread, fuzz_numtext and fuzz_power under
tests/fuzz/corpus/<target>/: the edge values tests/num names, in each
target's input format (see the comment at the top of each target)."""
import os
import struct
from decimal import Decimal, getcontext
from fractions import Fraction

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
getcontext().prec = 1200
STOPS = "e.-+ xE,/:\t;'a_"


def write(target, name, data):
    folder = os.path.join(here, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def typed(text):
    """A text as fuzz_numread's bytes; texts past 80 characters as a long
    text, with runs of a character written as repeats"""
    long = len(text) > 80
    out, i = [1 if long else 0], 0
    while i < len(text):
        c = text[i]
        run = 1
        while i + run < len(text) and text[i + run] == c:
            run += 1
        out.append(int(c) if c.isdigit() else 200 if c == "." else 224 + STOPS.index(c))
        i += 1
        if long:
            while run - 1 >= 32:
                n = min((run - 1) // 32, 16)
                out.append(239 + n)
                i += 32 * n
                run -= 32 * n
    return bytes(out)


def plain(f):
    """The exact decimal of a fraction with a power of two below, without
    exponent"""
    text = format(Decimal(f.numerator) / Decimal(f.denominator), "f")
    return text.rstrip("0").rstrip(".") if "." in text else text


def exact(value):
    return plain(Fraction(value))


def midpoint(a, b):
    return plain((Fraction(a) + Fraction(b)) / 2)


def d(x):
    return struct.pack("<d", x)


hexes = {"0x0.02035b850f175p-1022": float.fromhex("0x0.02035b850f175p-1022"),
         "0x1.41c71038c31e0p-13": float.fromhex("0x1.41c71038c31e0p-13"),
         "0x1.1eb65124880f2p+2": float.fromhex("0x1.1eb65124880f2p+2")}
shown = ["999999999999.5", "999999999999.4", "99999999999.95", "99999999999.995", "0.0000999999999999995",
         "0.0000999999999999449", "1999999999999999.75", "1999999999949999.25", "0.0001", "0.00001", "1e11",
         "1e15", "1.5e-7", "123456789012345", "999999999999", "1e100", "0.66666666666666663", "-1.5e20",
         "-0.0001", "123456.7", "100", "5e-324", "2.2250738585072014e-308", "0", "-0", "-1.23456789012e-100"]

# Reading: the typed numbers of the tests, and long texts at the ends of the range
texts = [".5", "00.000", "12x", "1e5", "1.2.3", ".", "", "..5", "-5", "+5", " 5", "134217727", "4503599627370495.5",
         "9007199254740991", "4503599627370496", "9007199254740993", "0.1", "123456789012345678901234567890"]
texts += [t for t in shown if "e" not in t and not t.startswith("-")]
for i, t in enumerate(texts):
    write("numread", "text%02d" % i, typed(t))
big = float.fromhex("0x1.fffffffffffffp+1023")
longs = {"nines": "9" * 900 + ".5", "tiny": "0." + "0" * 400 + "1",
         "smallest": exact(5e-324), "halfsmallest": midpoint(0.0, 5e-324),
         "smallestnormal": exact(2.2250738585072014e-308),
         "belownormal": midpoint(float.fromhex("0x0.fffffffffffffp-1022"), 2.2250738585072014e-308),
         "overflow": midpoint(big, 2 * Fraction(big) - Fraction(float.fromhex("0x1.ffffffffffffep+1023"))),
         "largest": exact(big)}
for name, t in longs.items():
    write("numread", name, typed(t))

# Writing: the values of tests/num/numbers.rows and test_numbers.cpp, and
# one seed of each edge mode
for i, t in enumerate(shown):
    write("numtext", "value%02d" % i, d(float(t)))
for i, (name, v) in enumerate(hexes.items()):
    write("numtext", "hex%d" % i, d(v))
# Digits 13-17 are 49999 and the rest lies within 2^-40 of one half: only
# these reach the exact comparison of the 17-digit rounding
near_half = [0x01cf1fa335168ce8, 0x0a67ee87b9f86f67, 0x116b249e97b220af, 0x19c035cb38104a4b, 0x27ace887c353adcb,
             0x29d841f0f529b023, 0x2efc8be7b47a6204, 0x2f1c4b41c7f69cd4, 0x3271bef8dd530e5a, 0x3686d4868d738ea8,
             0x3d7c6478f7efba24, 0x4a2974c1acc6e149, 0x4a88a2c1669f10bb, 0x5d6ff19fd75b1b77, 0x6d26394705fed7f2,
             0x6ef0f755ff069514, 0x7101d8bf4dda1b56, 0x7e01ebc52e20fe1e]
for bits in near_half:
    write("numtext", "half%016x" % bits, struct.pack("<Q", bits))
write("numtext", "inf", d(float("inf")))
write("numtext", "nan", d(float("nan")))
for mode in (1, 2, 3):
    for exponent in (15, 20, 31, 32, 133):      # 1e-5, 1, 1e11, 1e12, 1e-305
        write("numtext", "edge%d_%02x" % (mode, exponent), struct.pack("<QBBB", 0x123456789abcdef, mode, exponent, 0))

# The power function: the pairs of the tests, then one seed of each mode
inf, nan = float("inf"), float("nan")
pairs = [(2, 0), (0, -0.0), (0, -1), (-0.0, -2.5), (0, 3), (-0.0, 3), (-2, 0.5), (-5, 4503599627370495.5), (-8, 3),
         (-2, -1), (-1, 9007199254740991), (-1, 4503599627370496), (-2, 511), (-2, 512), (-2, -1075), (1, -1e150),
         (float.fromhex("0x1.0000000000001p+0"), 1e150), (float.fromhex("0x1.fffffffffffffp-1"), 1e150),
         (5e-324, -2), (5e-324, 0.5), (5e-324, 1), (10, 22), (1.5, 7), (0.5, -3), (16, -0.75), (134217727, 2),
         (134217725, 2), (10, 153), (10, -307), (10, -308), (2, -1022), (2, -1023), (float.fromhex("0x1p-511"), 2),
         (float.fromhex("0x1p-1022"), float.fromhex("0x1.0000000000001p+0")), (-float.fromhex("0x1p-1022"), 3),
         (float.fromhex("0x1.c540565bf865bp-326"), float.fromhex("0x1.924b09dcfc42ap+1")),
         (nan, 0), (inf, 2), (inf, -2), (-inf, 0.5), (0.5, inf), (0.5, -inf), (-1, inf), (0, -inf), (nan, 2),
         (2, nan), (10, 309), (1.3407807929942596e154, 2), (-2, 1023), (-2, 1025)]
for i, (y, x) in enumerate(pairs):
    write("power", "pair%02d" % i, d(y) + d(x))
for mode in range(1, 12):
    write("power", "mode%02d" % mode, d(1.2345678901234567) + struct.pack("<Q", 0x4003a5d2c4b1f00d) + bytes([mode]))
