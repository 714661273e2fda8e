"""What VELMO 2 says, heard: a private PulseAudio server records what wine plays, and a matcher
finds the expected wave files in the recording, in order, each whole, with silence between them.
The end-to-end speech test and the speech benchmark use it; tests/test_hearing.py checks the
matcher.

    with Recorder(folder) as rec:               # Skip where no server can start
        env = {"PULSE_SERVER": rec.server}      # for wine
        rec.start(); ...; recording = rec.stop()
    result = match(recording, ["1.wav", "point.wav", "5.wav"], load_waves(build_dir))
    print(result.report()); assert result.ok
"""
import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import wave
from dataclasses import dataclass

import numpy as np
import scipy.fft
import scipy.signal

import soundlist
from winenv import Skip

# The wave files' rate, at which they are compared; recordings are made at the sink's own rate, so
# that nothing is resampled on the way to them and a late block stays a run of exact zeros
RATE = 22050
RECORD_RATE = 2 * RATE
# Normalized cross-correlation of a file with its recorded word, as a whole and in each quarter.
# Thresholds and what they rest on: docs/performance.md
THRESHOLD = 0.80
PART_THRESHOLD = 0.70
PARTS = 4
# Compared below 5 kHz: wine's resampling of the 22050 Hz files takes away most of what lies above
# 7 kHz, which is much of a "t" or an "s"
BELOW_5KHZ = scipy.signal.firwin(101, 5000, fs=RATE)
# Halving the recording's rate: nothing above 10 kHz is kept
BELOW_10KHZ = scipy.signal.firwin(101, 10000, fs=RECORD_RATE)
# The files are also compared delayed by eighths of a sample, -3/8 to +1/2 (-1/2 is +1/2 a sample
# sooner): the resampling on the way may leave a word between two samples, and half a sample turns
# 5 kHz by 45 degrees. After a dropout the rest of a word may lie at another of these delays
DELAYS = np.arange(-3, 5) / 8
# Silence is below 1% of full scale (the wave files are cut at 1%); a recorded silence is exact zeros
FLOOR = 0.01
# How far a word's start may lie from where its first sound rises above FLOOR
SEARCH = int(0.010 * RATE)
# A block that reached the sound server late (an underrun) leaves a run of exact zeros inside a word,
# after which the word goes on where it stopped, or later in the file: a dropout. The recording is
# cut into pieces at every run of SILENCE zeros (at RECORD_RATE); a word's pieces may lie up to PAUSE
# apart
SILENCE = 4
PAUSE = int(0.5 * RATE)
PIECE = int(0.005 * RATE)
# A word is whole when no more than MOST_LOST of it is missing: not in the recording (wine ends most
# sounds 1 to 9 ms early, in the files' 10 ms fade), or in 2 ms frames where the file sounds and the
# recording, even in the frames beside, is 12 dB or more below it
FRAME = int(0.002 * RATE)
MOST_LOST = int(0.020 * RATE)
# The resampling on the way rings a little past a word's last sample
TAIL = int(0.003 * RATE)
# What parec asks the sound server for: how far ahead the sink mixes when nothing plays (seconds)
LATENCY = 0.020

# The files a result's text speaks, for the tests that build what they expect to hear
spoken = soundlist.spoken


def ms(samples):
    """Samples at RATE in milliseconds."""
    return samples / RATE * 1000


def load_wave(path, rate=RATE):
    with wave.open(path) as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (1, 2, rate), \
            f"{path}: not {rate} Hz 16-bit mono"
        return np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64) / 32768


def load_waves(folder):
    """The program's wave files, named in resources/sounds.txt, from folder."""
    return {name: load_wave(os.path.join(folder, name)) for name in soundlist.NAMES}


def save_wave(path, samples, rate=RECORD_RATE):
    with wave.open(path, "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(rate)
        w.writeframes(np.round(np.clip(samples, -1, 32767 / 32768) * 32768).astype("<i2").tobytes())


# -- the signal work

def ncc(a, b):
    """Normalized cross-correlation of two signals of one length, at one offset."""
    energy = np.dot(a, a) * np.dot(b, b)
    return float(np.dot(a, b) / np.sqrt(energy)) if energy > 0 else 0.0


def window_sums(values, n):
    """The sums of values over every n in a row; exactly 0 over a run of zeros."""
    sums = np.concatenate(([0.0], np.cumsum(values)))
    return sums[n:] - sums[:-n]


def sliding_dot(longer, shorter):
    """The dot product of shorter with longer at every offset where it lies within longer. By FFT:
    scipy's own choice for these lengths, the direct sum, is several times slower."""
    return scipy.signal.correlate(longer, shorter, "valid", method="fft")


def ncc_at_offsets(longer, shorter, lo, hi, counted=None):
    """The normalized cross-correlation of shorter laid on longer at each offset from lo to hi
    (both kept within longer), counting only the samples of longer that counted marks (all when
    None); and the first offset."""
    lo = max(lo, 0)
    hi = max(min(hi, len(longer) - len(shorter)), lo)
    span = slice(lo, hi + len(shorter))
    mask = np.ones(hi + len(shorter) - lo) if counted is None else counted[span]
    masked = longer[span] * mask
    products = sliding_dot(masked, shorter)
    # The energy of each window of longer, and of shorter where that window counts
    energy = window_sums(masked * masked, len(shorter)) * sliding_dot(mask, shorter * shorter)
    scores, valid = np.zeros(len(products)), energy > 0
    scores[valid] = products[valid] / np.sqrt(energy[valid])
    return scores, lo


def delayed(samples, delay):
    """Band-limited samples delayed by delay samples (a fraction of one), by turning the phase of
    each frequency; the padding keeps what the delay moves past the end from wrapping round."""
    n = scipy.fft.next_fast_len(len(samples) + 64, real=True)
    turn = np.exp(-2j * np.pi * scipy.fft.rfftfreq(n) * delay)
    return scipy.fft.irfft(scipy.fft.rfft(samples, n) * turn, n)[:len(samples)]


def below_5khz(samples):
    return scipy.signal.fftconvolve(samples, BELOW_5KHZ, "same")


def halved(recording):
    """A recording at RECORD_RATE at RATE."""
    return scipy.signal.resample_poly(recording, 1, 2, window=BELOW_10KHZ)


def silences(recording):
    """The runs of at least SILENCE exact zeros in a recording at RECORD_RATE, as (start, end) at RATE."""
    edges = np.diff(np.concatenate(([0], (recording == 0).astype(np.int8), [0])))
    starts, ends = np.flatnonzero(edges == 1), np.flatnonzero(edges == -1)
    return [(start // 2, (end + 1) // 2) for start, end in zip(starts, ends) if end - start >= SILENCE]


# -- the matcher

@dataclass
class Word:
    """A file found in the recording: where it starts and ends, its correlation as a whole and by
    quarters, how much of it is missing, and the dropouts in it: how long, and how much of the
    file they lost (samples at RATE)."""
    name: str
    start: int
    end: int
    length: int
    score: float
    parts: list
    missing: int
    dropped: int
    lost: int

    def line(self, i):
        return (f"{i + 1:3} {self.name:11} at {self.start / RATE:7.3f} s  {ms(self.length):5.1f} ms  "
                f"ncc {self.score:.3f}  quarters {' '.join(f'{p:.2f}' for p in self.parts)}"
                + (f"  missing {ms(self.missing):.0f} ms" if self.missing else "")
                + (f"  dropouts {ms(self.dropped):.1f} ms" if self.dropped >= FRAME // 2 else "")
                + (f"  lost {ms(self.lost):.1f} ms" if self.lost >= FRAME // 2 else ""))


class Result:
    def __init__(self, expected, words, failure, blips=0):
        self.expected, self.words, self.failure, self.blips = expected, words, failure, blips

    @property
    def ok(self):
        return self.failure is None

    def report(self, every_word=True):
        lines = [w.line(i) for i, w in enumerate(self.words)] if every_word else []
        if self.failure:
            return "\n".join(lines + [f"FAIL {self.failure}"])
        words = self.words
        gaps = [ms(b.start - a.end) for a, b in zip(words, words[1:])]
        lowest = min(words, key=lambda w: w.score)
        dropped = [w for w in words if w.dropped >= FRAME // 2]
        return "\n".join(lines + [
            f"PASS {len(words)} words in order, each whole, silence between and around them: lowest ncc "
            f"{lowest.score:.3f} ({lowest.name}), lowest quarter {min(min(w.parts) for w in words):.2f}, "
            f"most missing {ms(max(w.missing + w.lost for w in words)):.0f} ms"
            + (f", gaps {min(gaps):.0f}-{max(gaps):.0f} ms" if gaps else "")
            + (f"; dropouts of 1 ms or more in {len(dropped)} words, "
               f"{ms(sum(w.dropped for w in dropped)):.1f} ms" if dropped else "; no dropouts")
            + (f", {self.blips} pieces under 5 ms left out" if self.blips else "")])


class File:
    """A wave file as the matcher compares it: below 5 kHz, at each of DELAYS; where its sound
    rises above FLOOR; and where it sounds (its level over 2 ms above half FLOOR)."""

    def __init__(self, samples):
        compared = below_5khz(samples)
        self.versions = [delayed(compared, d) for d in DELAYS]
        self.undelayed = self.versions[list(DELAYS).index(0)]
        self.rise = int(np.flatnonzero(np.abs(samples) > FLOOR)[0])
        level = scipy.signal.convolve(samples * samples, np.ones(FRAME) / FRAME, "same")
        self.sounding = level > (FLOOR / 2) ** 2
        # How many of its samples sound from each sample on
        self.sounding_after = np.cumsum(self.sounding[::-1])[::-1]

    def __len__(self):
        return len(self.undelayed)

    def sounds_after(self, i):
        """Whether more than two frames of the file sound from sample i on."""
        return i < len(self) and self.sounding_after[i] > 2 * FRAME

    def best_offset(self, part, lo, hi):
        """Where in the file, from lo to hi, part of the recording fits best, at which of the
        delays, and how well: (offset, version, score)."""
        best = (0, self.undelayed, -1.0)
        for version in self.versions:
            scores, first = ncc_at_offsets(version, part, lo, hi)
            i = int(np.argmax(scores))
            if scores[i] > best[2]:
                best = (first + i, version, float(scores[i]))
        return best


class Placing:
    """A file's samples as the pieces of the recording are placed in it, one after another: the
    recording sample where each one is heard (-1 where none is) and the file at the delay its piece
    fitted, the file sample where the next piece goes on, the recording sample where the last placed
    piece ends, the score of the last piece tried, and how much of the file the dropouts lost so far."""

    def __init__(self, size, at):
        self.heard_at, self.expected = np.full(size, -1), np.zeros(size)
        self.next_sample, self.ending, self.score, self.dropped = 0, at, 0.0, 0


class Ear:
    """The recording cut into pieces at its silences, and the files, compared below 5 kHz at RATE."""

    def __init__(self, recording, waves):
        recording = np.asarray(recording, np.float64)
        self.silences, self.blips = silences(recording), 0
        # At RATE, with room after its end for the longest file; where words rise, from this
        self.halved = np.concatenate((halved(recording), np.zeros(max(len(w) for w in waves.values()))))
        self.compared = below_5khz(self.halved)
        # Compared away from the silences' edges, which the filters spread by their own length
        self.counted = np.ones(len(self.halved))
        reach = len(BELOW_5KHZ) // 2
        for start, end in self.silences:
            self.counted[max(start - reach, 0):end + reach] = 0
        self.files = {name: File(samples) for name, samples in waves.items()}

    def onset(self, start):
        """The first sample at or after start above FLOOR in a piece of at least PIECE, or None. A
        shorter piece is no word: what a dropout leaves of a word's last moments, or of its first."""
        while True:
            loud = np.flatnonzero(np.abs(self.halved[start:]) > FLOOR)
            if not len(loud):
                return None
            at = start + int(loud[0])
            silence = next(((a, b) for a, b in self.silences if a > at), None)
            if silence is None or silence[0] - at >= PIECE:
                return at
            self.blips += 1
            start = silence[1]

    def score_at(self, name, at):
        """How well file name, as a whole, correlates with the recording where its sound rises
        within SEARCH of sample at."""
        file = self.files[name]
        lo = at - file.rise - SEARCH
        scores, _ = ncc_at_offsets(self.compared, file.undelayed, lo, lo + 2 * SEARCH, self.counted)
        return float(np.max(scores))

    def identify(self, at):
        """The file that sounds most like what rises at sample at, and how much."""
        scores = {name: self.score_at(name, at) for name in self.files}
        best = max(scores, key=scores.get)
        return f"{best} (ncc {scores[best]:.3f})"

    def pieces_from(self, start):
        """The recording's pieces from start on, as (start, end, where the next starts): each ends
        where a silence starts; the last at the recording's end."""
        end_of_recording = len(self.compared)
        for end, next_start in [s for s in self.silences if s[0] >= start] + [(end_of_recording, end_of_recording)]:
            yield start, end, next_start
            start = next_start

    def fit(self, name, at, earliest=0):
        """File name as it fits best where a sound rises at sample at, no sooner than earliest,
        piece by piece. The word ends where the file has no more sound, where a piece does not fit,
        or where a piece goes on past the file's end. A piece too short to place (under PIECE, what
        a dropout leaves) is left out: the silence before the next counts from the one before it."""
        file = self.files[name]
        placing = Placing(len(file), at)
        first_start = max([end for start, end in self.silences if end <= at] + [earliest])
        last_end = None
        for start, end, next_start in self.pieces_from(first_start):
            if last_end is None or end - start >= PIECE:
                placed = (self.place_first(file, placing, start, end) if last_end is None
                          else self.place_next(file, placing, start, end, start - last_end))
                if not placed or placed < end - start:
                    break                   # it does not fit, or sound goes on past the file's end
                last_end = end
            if not file.sounds_after(placing.next_sample) or next_start - end > PAUSE:
                break
        return self.word(name, file, placing, at)

    def place_first(self, file, placing, start, end):
        """Places a word's first piece at the file's start, up to SEARCH and MOST_LOST later, if it
        correlates above PART_THRESHOLD there; how many of its samples were placed (0 if none)."""
        latest = min(SEARCH + MOST_LOST, len(file) - PIECE)
        part = self.compared[start:start + min(end - start, len(file) - latest)]
        offset, version, placing.score = file.best_offset(part, 0, latest)
        if placing.score < PART_THRESHOLD:
            return 0
        return self.lay(placing, offset, version, start, end)

    def place_next(self, file, placing, start, end, silence):
        """Places a later piece where the one before ended in the file (a dropout put off the rest),
        up to silence later (the file's own silence, or a dropout that lost what it lasted) and
        MOST_LOST more, if it correlates above THRESHOLD there as a whole and ends with the file;
        how many of its samples were placed (0 if none)."""
        latest = min(placing.next_sample + silence + MOST_LOST, len(file) - PIECE)
        earliest = min(placing.next_sample - FRAME, latest)
        part = self.compared[start:start + min(end - start, len(file) - latest)]
        offset, version, _ = file.best_offset(part, earliest, latest)
        # The whole piece where the part fitted, and not going on past the file's end
        n = min(end - start, len(file) - offset)
        counted = self.counted[start:start + n]
        whole = ncc(self.compared[start:start + n] * counted, version[offset:offset + n] * counted)
        placing.score = whole if end - start <= n + TAIL else 0.0
        if placing.score < THRESHOLD:
            return 0
        # The silence before the piece, less what the file's own silence explains
        placing.dropped += max(silence - (offset - placing.next_sample), 0)
        return self.lay(placing, offset, version, start, end)

    @staticmethod
    def lay(placing, offset, version, start, end):
        """Lays the piece from start to end at file sample offset, as much of it as the file holds,
        to be compared with the version it fitted."""
        n = min(end - start, len(placing.heard_at) - offset)
        placing.heard_at[offset:offset + n] = start + np.arange(n)
        placing.expected[offset:offset + n] = version[offset:offset + n]
        placing.next_sample, placing.ending = offset + n, end
        return n

    def word(self, name, file, placing, at):
        """The Word the placed pieces make."""
        size, heard_at = len(file), placing.heard_at
        known = heard_at >= 0
        if not known.any():
            return Word(name, at - file.rise, at, size, placing.score, [0.0] * PARTS, size, 0, 0)
        first, last = (int(i) for i in np.flatnonzero(known)[[0, -1]])
        # The recording laid out as the file, counted where it was heard and away from silences
        counted = self.counted[np.maximum(heard_at, 0)] * known
        heard = self.compared[np.maximum(heard_at, 0)] * counted
        expected = placing.expected * counted
        bounds = [k * size // PARTS for k in range(PARTS + 1)]
        quarters = [ncc(heard[a:b], expected[a:b]) for a, b in zip(bounds, bounds[1:])]
        # The word ends where the file does, or where the last of its pieces does, if that is sooner
        end = min(int(heard_at[last]) + size - last, placing.ending)
        return Word(name, int(heard_at[first]) - first, end, size, ncc(heard, expected), quarters,
                    missing(expected, heard, counted), placing.dropped,
                    int(np.count_nonzero(file.sounding & ~known)))


def missing(expected, heard, counted):
    """Samples of the expected sound missing from what was heard: in frames where it sounds,
    where what was heard, even in the frames beside, is 12 dB or more below it."""
    frames = len(expected) // FRAME

    def levels(x):
        return np.sqrt((x[:frames * FRAME] ** 2).reshape(frames, FRAME).mean(axis=1))
    want, got = levels(expected), levels(heard)
    got_nearby = np.maximum.reduce([got, np.concatenate(([0], got[:-1])), np.concatenate((got[1:], [0]))])
    whole_frames = counted[:frames * FRAME].reshape(frames, FRAME).min(axis=1) > 0
    return int(np.count_nonzero((want > FLOOR / 2) & (got_nearby < want / 4) & whole_frames)) * FRAME


def match(recording, expected, waves):
    """Finds the files named in expected in a recording made at RECORD_RATE, one after another: each
    must start where the next sound after the one before rises, correlate above THRESHOLD as a
    whole and above PART_THRESHOLD in each quarter, with at most MOST_LOST of it missing or lost;
    nothing may sound before the first, between two, or after the last."""
    ear, words, pos = Ear(recording, waves), [], 0
    for i, name in enumerate(expected):
        at, where = ear.onset(pos), f"word {i + 1} of {len(expected)}, {name}"
        if at is None:
            return Result(expected, words, f"{where}: not heard; silence from {pos / RATE:.3f} s to the end")
        word = ear.fit(name, at, pos)
        if word.score < THRESHOLD:
            return Result(expected, words, f"{where}: at {at / RATE:.3f} s heard {ear.identify(at)}, "
                                           f"{name} only {word.score:.3f}")
        if min(word.parts) < PART_THRESHOLD or word.missing + word.lost > MOST_LOST:
            return Result(expected, words + [word], f"{where}: not whole at {word.start / RATE:.3f} s, quarters "
                          + " ".join(f"{p:.2f}" for p in word.parts)
                          + f", {ms(word.missing):.0f} ms missing, {ms(word.lost):.0f} ms lost")
        words.append(word)
        pos = word.end + TAIL
    after = ear.onset(pos)
    if after is not None:
        return Result(expected, words,
                      f"sound after the last word, at {after / RATE:.3f} s: like {ear.identify(after)}")
    return Result(expected, words, None, ear.blips)


# -- recordings altered as the faults would alter them, to see the matcher fail

def pieces(recording, words):
    """A recording at RECORD_RATE as [silence, word, silence, word, ..., silence]."""
    cuts = [0] + [2 * at for w in words for at in (w.start, w.end + TAIL)] + [len(recording)]
    return [recording[a:b] for a, b in zip(cuts, cuts[1:])]


def altered(recording, words, how, at):
    """The recording with the word at index at (and a neighbour) changed: "reorder" swaps it with the
    next word, "drop" leaves it out, "cut" stops it at three quarters, with the rest of its place
    silent, "swap" puts another file's recorded word in its place."""
    parts = pieces(recording, words)
    word = 2 * at + 1
    if how == "reorder":
        assert words[at].name != words[at + 1].name
        parts[word], parts[word + 2] = parts[word + 2], parts[word]
    elif how == "drop":
        del parts[word:word + 2]
    elif how == "cut":
        kept = len(parts[word]) * 3 // 4
        parts[word] = np.concatenate((parts[word][:kept], np.zeros(len(parts[word]) - kept)))
    elif how == "swap":
        nearest_other = next(j for j in sorted(range(len(words)), key=lambda j: abs(j - at))
                             if words[j].name != words[at].name)
        parts[word] = parts[2 * nearest_other + 1]
    return np.concatenate(parts)


FAULTS = ("reorder", "drop", "cut", "swap")


def seen_to_fail(recording, expected, words, waves, at, say=print):
    """Runs the matcher on the recording altered each of the four ways at word index at; returns the
    faults it did not find."""
    missed = []
    for how in FAULTS:
        result = match(altered(recording, words, how, at), expected, waves)
        say(f"{how} word {at + 1} ({words[at].name}): {result.report(every_word=False)}")
        missed += [how] if result.ok else []
    return missed


# -- the private sound server and its recorder

class Recorder:
    """A PulseAudio server of our own with one null sink, started and stopped by its pid, and parec
    recording the sink's monitor at RECORD_RATE, mono; both log to folder/pulseaudio.log. server is
    the PULSE_SERVER value for wine.

    The sink does not rewind: one that does starts a new sound at once, as a sound card's does, but
    its monitor then loses the first 4 or 5 ms of each sound, and more around a late block. So every
    word is recorded whole, a little later, after what the sink has already mixed (up to LATENCY)."""

    def __init__(self, folder):
        self.folder = folder
        self.server = self.proc = self.parec = self.dir = self.log = None

    def __enter__(self):
        if not (shutil.which("pulseaudio") and shutil.which("parec")):
            raise Skip("no private sound server: pulseaudio and parec (Debian pulseaudio, pulseaudio-utils) "
                       "are not installed; sh tools/install-deps.sh installs them")
        # A short private runtime folder: the socket's path must fit 108 bytes
        self.dir = tempfile.mkdtemp(prefix="velmo-pulse-")
        os.chmod(self.dir, 0o700)
        socket = os.path.join(self.dir, "native")
        # No display and no session bus: the server must not start a D-Bus daemon through X
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER")}
        self.env.update(XDG_RUNTIME_DIR=self.dir, HOME=self.dir)
        os.makedirs(self.folder, exist_ok=True)
        self.log = open(os.path.join(self.folder, "pulseaudio.log"), "wb")
        self.proc = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "-n", "--use-pid-file=no",
             "--log-target=stderr", "--load=module-null-sink sink_name=rec norewinds=1",
             f"--load=module-native-protocol-unix auth-anonymous=1 socket={socket}"],
            env=self.env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log, preexec_fn=die_with_parent)
        self.server = "unix:" + socket
        deadline = time.monotonic() + 10
        while not os.path.exists(socket):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.__exit__()
                raise Skip(f"no private sound server: pulseaudio did not start (see {self.log.name})")
            time.sleep(0.02)
        self.env["PULSE_SERVER"] = self.server
        return self

    def __exit__(self, *exc):
        if self.parec:
            self.stop()
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.log:
            self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True) if self.dir else None

    def start(self):
        """Starts a recording: raw samples from parec's output, each block with the monotonic time it came."""
        self.blocks = []
        self.parec = subprocess.Popen(["parec", "-d", "rec.monitor", "--raw", "--format=s16le", f"--rate={RECORD_RATE}",
                                       "--channels=1", f"--latency-msec={LATENCY * 1000:.0f}"],
                                      env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.log,
                                      preexec_fn=die_with_parent)
        self.reader = threading.Thread(target=self._read, args=(self.parec.stdout,), daemon=True)
        self.reader.start()
        # Recording once the first block has come
        deadline = time.monotonic() + 10
        while not self.blocks:
            if self.parec.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"parec recorded nothing (see {self.log.name})")
            time.sleep(0.01)

    def _read(self, pipe):
        while block := pipe.read1(1 << 16):
            self.blocks.append((time.monotonic(), block))

    def samples(self):
        data = b"".join(b for _, b in list(self.blocks))
        return np.frombuffer(data[:len(data) // 2 * 2], "<i2").astype(np.float64) / 32768

    def wait_quiet(self, seconds, timeout, heard=False):
        """Waits until seconds more have been recorded, the last seconds of them silent; when heard,
        also until a sound has come since the call."""
        deadline, since = time.monotonic() + timeout, len(self.samples())
        while True:
            s = self.samples()
            if (len(s) >= since + seconds * RECORD_RATE and np.abs(s[-int(seconds * RECORD_RATE):]).max() <= FLOOR
                    and (not heard or np.abs(s[since:]).max() > FLOOR)):
                return
            if time.monotonic() > deadline:
                raise AssertionError(f"no sound came in {timeout} s" if heard and np.abs(s[since:]).max() <= FLOOR
                                     else f"still sound {timeout} s after the last key")
            time.sleep(0.1)

    def stop(self):
        """Stops the recording (parec ends on SIGINT); its samples."""
        self.parec.send_signal(signal.SIGINT)
        try:
            self.parec.wait(10)
        except subprocess.TimeoutExpired:
            self.parec.kill()
            self.parec.wait()
        self.reader.join(10)
        self.parec = None
        return self.samples()

    def clock(self):
        """When the sink played the recording's first sample, in seconds of time.monotonic(): from the
        block of parec's that came soonest after its last sample was mixed. An idle sink mixes
        LATENCY ahead of playing; a busy one less, so the soonest block is an idle one."""
        count, soonest = 0, None
        for t, block in list(self.blocks):
            count += len(block) // 2
            at = t - count / RECORD_RATE
            soonest = at if soonest is None else min(soonest, at)
        return soonest + LATENCY


def die_with_parent():
    """PR_SET_PDEATHSIG: nothing outlives a killed test run."""
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)
