#!/usr/bin/env python3
"""The matcher of tests/support/hearing.py, seen to pass and to fail, without wine or a sound server.

usage: test_hearing.py DIR    (DIR holds the program's wave files)

A recording is made here from the wave files as the way to the recorder changes them: at twice
their rate, each word a fraction of a sample late and a little quieter, 25 to 45 ms of exact
silence between words, and two dropouts: 6 ms of silence put into one word (the rest of it comes
later), 4 ms put over part of another (what it covers is lost). The words: every file once, in a
shuffled order, then a spoken result. The matcher must pass it, finding every word where it was
put, and fail it reordered, with a word dropped, cut short, or swapped for another file. No file
may sound like another above the matcher's threshold.
"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
try:
    import numpy as np
    import hearing
except ImportError as e:
    sys.exit(f"FAIL: {e} in {sys.executable}: the matcher needs numpy (Debian python3-numpy)")

# Doubling the rate: nothing above 10 kHz, as on the way to the recorder
DOUBLING = 2 * np.sinc(2 * 10000 / hearing.RECORD_RATE * np.arange(-100, 101)) * np.hamming(201)


def doubled(samples):
    stuffed = np.zeros(2 * len(samples))
    stuffed[::2] = samples
    return np.convolve(stuffed, DOUBLING, "same")


def recording(names, waves, rng):
    """The recording at RECORD_RATE, where each word starts (at RATE), and the two dropouts' words."""
    parts, starts, at = [np.zeros(int(0.3 * hearing.RECORD_RATE))], [], int(0.3 * hearing.RATE)
    put_off, covered = len(names) // 3, 2 * len(names) // 3
    for i, name in enumerate(names):
        word = doubled(hearing.delayed(waves[name], rng.uniform(-0.5, 0.5))) * 0.97
        cut = int(len(word) * (0.4 if i == put_off else 0.6))
        if i == put_off:
            word = np.concatenate((word[:cut], np.zeros(int(0.006 * hearing.RECORD_RATE)), word[cut:]))
        elif i == covered:
            word[cut:cut + int(0.004 * hearing.RECORD_RATE)] = 0
        gap = np.zeros(2 * int(rng.uniform(0.025, 0.045) * hearing.RATE))
        starts.append(at)
        parts += [word, gap]
        at += len(word) // 2 + len(gap) // 2
    # As the recorder gives it: 16-bit samples
    return np.round(np.concatenate(parts) * 32768) / 32768, starts, (put_off, covered)


def confusion(waves):
    """The highest correlation of a file with another file's recorded word, and the two files."""
    names = sorted(waves)
    rec, starts, _ = recording(names, waves, random.Random(1))
    ear = hearing.Ear(rec, waves)
    worst = (0.0, None, None)
    for played, at in zip(names, starts):
        rise = ear.onset(at - hearing.SEARCH)
        for name in names:
            if name != played:
                score = ear.align(ear.waves[name], rise - ear.rise[name] - hearing.SEARCH,
                                  rise - ear.rise[name] + hearing.SEARCH)[1]
                worst = max(worst, (score, name, played))
    return worst


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    waves = hearing.load_waves(sys.argv[1])
    rng = random.Random(18)
    names = sorted(waves)
    rng.shuffle(names)
    names += hearing.spoken("-1.5e+020")
    rec, starts, dropouts = recording(names, waves, rng)
    result = hearing.match(rec, names, waves)
    print(result.report())
    failed = [] if result.ok else ["the made recording did not pass"]
    for word, start in zip(result.words, starts):
        if abs(word.start - start) > hearing.FRAME // 2:
            failed.append(f"{word.name} found at {word.start / hearing.RATE:.4f} s, "
                          f"put at {start / hearing.RATE:.4f} s")
    for i in dropouts:
        if result.ok and not result.words[i].dropped and not result.words[i].lost:
            failed.append(f"the dropout in word {i + 1} not seen")
    if result.ok:
        at = len(names) - 1 - names[::-1].index("point.wav")
        missed = hearing.seen_to_fail(rec, names, result.words, waves, at)
        failed += [f"{how} not found" for how in missed]
    score, name, played = confusion(waves)
    print(f"most alike: {name} where {played} was played, ncc {score:.3f} (threshold {hearing.THRESHOLD})")
    if score >= hearing.THRESHOLD:
        failed.append(f"{name} and {played} sound alike")
    for f in failed:
        print(f"FAIL {f}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
