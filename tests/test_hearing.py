"""The matcher of tests/support/hearing.py, seen to pass and to fail, without wine or a sound server,
on the wave files of the build tree given with --build.

A recording is made here from the wave files as the way to the recorder changes them: at twice
their rate, each word a fraction of a sample late and a little quieter, 25 to 45 ms of exact
silence between words, and two dropouts: 6 ms of silence put into one word (the rest of it comes
later), 4 ms put over part of another (what it covers is lost). The words: every file once, in a
shuffled order, then a spoken result. The matcher must pass it, finding every word where it was
put, and fail it reordered, with a word dropped, cut short, or swapped for another file. No file
may sound like another above the matcher's threshold.
"""
import random

import numpy as np
import pytest
import scipy.signal

import hearing

# Doubling the rate: nothing above 10 kHz, as on the way to the recorder
BELOW_10KHZ = scipy.signal.firwin(201, 10000, fs=hearing.RECORD_RATE)


def doubled(samples):
    return scipy.signal.resample_poly(samples, 2, 1, window=BELOW_10KHZ)


def made_recording(names, waves, rng):
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


@pytest.fixture(scope="module")
def waves(option):
    if not option.build:
        pytest.fail("--build BUILD_DIR (the tree with the program's wave files) is needed")
    return hearing.load_waves(option.build)


@pytest.fixture(scope="module")
def made(waves):
    """Every file once, shuffled, then a spoken result: the names, the recording, where each word was
    put, the dropouts' words, and what the matcher found."""
    rng = random.Random(18)
    names = sorted(waves)
    rng.shuffle(names)
    names += hearing.spoken("-1.5e+020")
    recording, starts, dropouts = made_recording(names, waves, rng)
    result = hearing.match(recording, names, waves)
    print(result.report())
    return names, recording, starts, dropouts, result


def test_made_recording_passes(made):
    result = made[4]
    assert result.ok, result.failure


def test_words_found_where_put(made):
    _, _, starts, _, result = made
    assert len(result.words) == len(starts)
    misplaced = [f"{word.name} found at {word.start / hearing.RATE:.4f} s, put at {start / hearing.RATE:.4f} s"
                 for word, start in zip(result.words, starts) if abs(word.start - start) > hearing.FRAME // 2]
    assert not misplaced


def test_dropouts_seen(made):
    _, _, _, dropouts, result = made
    unseen = [i + 1 for i in dropouts if not (result.words[i].dropped or result.words[i].lost)]
    assert not unseen, f"the dropouts in words {unseen} not seen"


@pytest.mark.parametrize("how", hearing.FAULTS)
def test_fault_fails(made, waves, how):
    names, recording, _, _, result = made
    assert result.ok, "the made recording did not pass"
    # The last "point", the third word of the spoken result
    at = len(names) - 1 - names[::-1].index("point.wav")
    faulty = hearing.match(hearing.altered(recording, result.words, how, at), names, waves)
    print(faulty.report(every_word=False))
    assert not faulty.ok, f"{how} word {at + 1} ({names[at]}) passed"


def test_no_file_sounds_like_another(waves):
    """Every file played once; at each word, the highest correlation of any other file."""
    names = sorted(waves)
    recording, starts, _ = made_recording(names, waves, random.Random(1))
    ear = hearing.Ear(recording, waves)
    score, name, played = max((ear.score_at(name, ear.onset(start - hearing.SEARCH)), name, played)
                              for played, start in zip(names, starts) for name in names if name != played)
    print(f"most alike: {name} where {played} was played, ncc {score:.3f} (threshold {hearing.THRESHOLD})")
    assert score < hearing.THRESHOLD, f"{name} and {played} sound alike"
