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

import numpy as np

from winenv import Skip, ROOT

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
LOW_PASS = np.sinc(2 * 5000 / RATE * np.arange(-50, 51)) * np.hamming(101)
LOW_PASS /= LOW_PASS.sum()
# Halving the recording's rate: nothing above 10 kHz is kept
HALVING = np.sinc(2 * 10000 / RECORD_RATE * np.arange(-50, 51)) * np.hamming(101)
HALVING /= HALVING.sum()
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
SPEECH = {"+": "plus.wav", "-": "minus.wav", ".": "point.wav", "e": "e.wav",
          **{d: f"{d}.wav" for d in "0123456789"}}


def spoken(text):
    """The wave files that speak a result's text, one a character."""
    return [SPEECH[c] for c in text if c in SPEECH]


def load_wave(path, rate=RATE):
    with wave.open(path) as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (1, 2, rate), \
            f"{path}: not {rate} Hz 16-bit mono"
        return np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64) / 32768


def load_waves(folder):
    """The program's wave files, named in resources/sounds.txt, from folder."""
    with open(os.path.join(ROOT, "resources", "sounds.txt")) as f:
        names = [line.split()[0] for line in f if line.strip() and not line.startswith("#")]
    return {n: load_wave(os.path.join(folder, n)) for n in names}


def save_wave(path, samples, rate=RECORD_RATE):
    with wave.open(path, "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(rate)
        w.writeframes(np.round(np.clip(samples, -1, 32767 / 32768) * 32768).astype("<i2").tobytes())


# -- the matcher

def ncc(a, b):
    energy = np.dot(a, a) * np.dot(b, b)
    return float(np.dot(a, b) / np.sqrt(energy)) if energy > 0 else 0.0


def sliding(values, n):
    """Sums of values over every window of n."""
    sums = np.concatenate(([0.0], np.cumsum(values)))
    return sums[n:] - sums[:-n]


def correlations(signal, kept, piece, lo, hi):
    """The correlation of piece with signal at each offset lo..hi, where only the samples of signal
    that kept marks count; and lo (both clipped to signal)."""
    lo = max(lo, 0)
    hi = max(min(hi, len(signal) - len(piece)), lo)
    seg = signal[lo:hi + len(piece)] * kept[lo:hi + len(piece)]
    energy = sliding(seg * seg, len(piece)) * np.correlate(kept[lo:hi + len(piece)], piece * piece, "valid")
    return np.where(energy > 0, np.correlate(seg, piece, "valid") / np.sqrt(np.maximum(energy, 1e-30)), 0.0), lo


def delayed(tpl, d):
    """tpl, band-limited, delayed by d samples (a fraction of one)."""
    n = len(tpl) + 64
    return np.fft.irfft(np.fft.rfft(tpl, n) * np.exp(-2j * np.pi * np.fft.rfftfreq(n) * d), n)[:len(tpl)]


def low(samples):
    return np.convolve(samples, LOW_PASS, "same")


def silences(recording):
    """The runs of at least SILENCE exact zeros in a recording, as (start, end) at RATE."""
    edges = np.diff(np.concatenate(([0], (recording == 0).astype(np.int8), [0])))
    return [(a // 2, (b + 1) // 2) for a, b in zip(np.flatnonzero(edges == 1), np.flatnonzero(edges == -1))
            if b - a >= SILENCE]


class Word:
    """A file found in the recording: where it starts and ends, its correlation as a whole and by
    quarters, how much of it is missing, and the dropouts in it: how long, and how much of the
    file they lost (samples at RATE)."""

    def __init__(self, name, start, end, length, score, parts, missing, dropped, lost):
        self.name, self.start, self.end, self.length, self.score = name, start, end, length, score
        self.parts, self.missing, self.dropped, self.lost = parts, missing, dropped, lost

    def line(self, i):
        ms = lambda n: n / RATE * 1000  # noqa: E731
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
        w = self.words
        gaps = [(b.start - a.end) / RATE * 1000 for a, b in zip(w, w[1:])]
        lowest = min(w, key=lambda x: x.score)
        dropped = [x for x in w if x.dropped >= FRAME // 2]
        return "\n".join(lines + [
            f"PASS {len(w)} words in order, each whole, silence between and around them: lowest ncc "
            f"{lowest.score:.3f} ({lowest.name}), lowest quarter {min(min(x.parts) for x in w):.2f}, most missing "
            f"{max(x.missing + x.lost for x in w) / RATE * 1000:.0f} ms"
            + (f", gaps {min(gaps):.0f}-{max(gaps):.0f} ms" if gaps else "")
            + (f"; dropouts of 1 ms or more in {len(dropped)} words, "
               f"{sum(x.dropped for x in dropped) / RATE * 1000:.1f} ms" if dropped else "; no dropouts")
            + (f", {self.blips} pieces under 5 ms left out" if self.blips else "")])


class Ear:
    """The recording cut into pieces at its silences, and the files, compared below 5 kHz at RATE."""

    def __init__(self, recording, waves):
        longest = max(len(t) for t in waves.values())
        recording = np.asarray(recording, np.float64)
        self.silences, self.blips = silences(recording), 0
        self.loud = np.concatenate((np.convolve(recording, HALVING, "same")[::2], np.zeros(longest)))
        # Compared away from the silences' edges, which the filters spread by their own length
        self.kept = np.ones(len(self.loud))
        for a, b in self.silences:
            self.kept[max(a - len(LOW_PASS) // 2, 0):b + len(LOW_PASS) // 2] = 0
        self.rec = low(self.loud)
        # Each file also delayed by fractions of a sample, -3/8 to +1/2 (-1/2 is +1/2 a sample sooner,
        # and the two tied): the resampling on the way may leave a word between two samples, and half
        # a sample turns 5 kHz by 45 degrees
        self.waves = {n: [delayed(low(t), d) for d in np.arange(-3, 5) / 8] for n, t in waves.items()}
        self.rise = {n: int(np.flatnonzero(np.abs(t) > FLOOR)[0]) for n, t in waves.items()}
        # Where each file sounds: its level over 2 ms above half FLOOR
        self.sounding = {n: np.convolve(t * t, np.ones(FRAME) / FRAME, "same") > (FLOOR / 2) ** 2
                         for n, t in waves.items()}

    def onset(self, start):
        """The first sample at or after start above FLOOR in a piece of at least PIECE, or None. A
        shorter piece is no word: what a dropout leaves of a word's last moments, or of its first."""
        while True:
            loud = np.flatnonzero(np.abs(self.loud[start:]) > FLOOR)
            if not len(loud):
                return None
            at = start + int(loud[0])
            end = next((a for a, b in self.silences if a > at), None)
            if end is None or end - at >= PIECE:
                return at
            self.blips += 1
            start = next(b for a, b in self.silences if a > at)

    def align(self, versions, lo, hi):
        """The best offset in lo..hi of the file as a whole (whole samples, with its undelayed version)."""
        scores, lo = correlations(self.rec, self.kept, versions[3], lo, hi)
        return lo + int(np.argmax(scores)), float(np.max(scores))

    def fit(self, name, at, earliest=0):
        """File name as it fits best where a sound rises at sample at, piece by piece: the first piece
        of the recording is placed at the file's start, up to SEARCH and MOST_LOST later; each next
        piece where the piece before it ended in the file (a dropout put off the rest), up to as much
        later as the silence before it lasted (the file's own silence, or a dropout that lost what it
        lasted) and MOST_LOST more, and must be PIECE long or longer, correlate above THRESHOLD there
        and end with the file. The word ends where the file has no more sound, where a piece does not
        fit, or where a piece goes on past the file's end."""
        versions, sounding = self.waves[name], self.sounding[name]
        size = len(versions[0])
        more = lambda i: np.count_nonzero(sounding[i:]) > 2 * FRAME  # noqa: E731
        where = np.full(size, -1)
        expect = np.zeros(size)
        before = [b for a, b in self.silences if b <= at]
        piece = max(before[-1] if before else 0, earliest)
        tau, gap, dropped, ending, best = 0, None, 0, at, 0.0
        for a, b in [r for r in self.silences if r[0] >= piece] + [(len(self.rec), len(self.rec))]:
            placed = gap is None or a - piece >= PIECE
            if placed:
                hi = min(SEARCH + MOST_LOST if gap is None else tau + piece - gap + MOST_LOST, size - PIECE)
                lo = min(0 if gap is None else tau - FRAME, hi)
                part, best = self.rec[piece:piece + min(a - piece, size - hi)], -1.0
                for version in versions:
                    scores, start = correlations(version, np.ones(size), part, lo, hi)
                    if np.max(scores) > best:
                        o, v, best = start + int(np.argmax(scores)), version, float(np.max(scores))
                n = min(a - piece, size - o)
                if gap is not None:
                    # The rest of a word: over all of it, and not going on past the file's end
                    kept = self.kept[piece:piece + n]
                    best = ncc(self.rec[piece:piece + n] * kept, v[o:o + n] * kept)
                    best = best if a - piece <= n + TAIL else 0.0
                if best < (PART_THRESHOLD if gap is None else THRESHOLD):
                    break
                # The silence before the piece, less what the file's own silence explains
                dropped += 0 if gap is None else max(piece - gap - (o - tau), 0)
                where[o:o + n], tau, ending = piece + np.arange(n), o + n, a
                # Compared with the version it fitted: the piece after a dropout may lie at another delay
                expect[o:o + n] = v[o:o + n]
                if a - piece > n:
                    break                   # sound goes on past the file's end
            if not more(tau) or b - a > PAUSE:
                break
            # A piece too short to place is left out: the silence before the next goes back to here
            gap, piece = a if placed else gap, b
        known = where >= 0
        if not known.any():
            return Word(name, at - self.rise[name], at, size, best, [0.0] * PARTS, size, 0, 0)
        last = int(np.flatnonzero(known)[-1])
        first_known = int(np.flatnonzero(known)[0])
        at_rec = np.maximum(where, 0)
        compared = self.kept[at_rec] * known
        here = self.rec[at_rec] * compared
        tpl = expect * compared
        parts = [ncc(here[a:b], tpl[a:b])
                 for a, b in ((k * size // PARTS, (k + 1) * size // PARTS) for k in range(PARTS))]
        # The word ends where the file does, or where the last of its pieces does, if that is sooner
        end = min(int(where[last]) + size - last, ending)
        return Word(name, int(where[first_known]) - first_known, end, size, ncc(here, tpl),
                    parts, self.missing(tpl, here, compared), dropped, int(np.count_nonzero(sounding & ~known)))

    @staticmethod
    def missing(tpl, here, compared):
        """Samples of tpl's sound missing from here."""
        frames = len(tpl) // FRAME

        def levels(x):
            return np.sqrt((x[:frames * FRAME] ** 2).reshape(frames, FRAME).mean(axis=1))
        want, got = levels(tpl), levels(here)
        near = np.maximum(got, np.maximum(np.concatenate(([0], got[:-1])), np.concatenate((got[1:], [0]))))
        counted = compared[:frames * FRAME].reshape(frames, FRAME).min(axis=1) > 0
        return int(np.count_nonzero((want > FLOOR / 2) & (near < want / 4) & counted)) * FRAME

    def identify(self, at):
        """The file that sounds most like what rises at sample at, and how much."""
        scores = {n: self.align(v, at - self.rise[n] - SEARCH, at - self.rise[n] + SEARCH)[1]
                  for n, v in self.waves.items()}
        best = max(scores, key=scores.get)
        return f"{best} (ncc {scores[best]:.3f})"


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
                          + f", {word.missing / RATE * 1000:.0f} ms missing, {word.lost / RATE * 1000:.0f} ms lost")
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
    cuts = [0] + [2 * p for w in words for p in (w.start, w.end + TAIL)] + [len(recording)]
    return [recording[a:b] for a, b in zip(cuts, cuts[1:])]


def altered(recording, words, how, at):
    """The recording with the word at index at (and a neighbour) changed: "reorder" swaps it with the
    next word, "drop" leaves it out, "cut" stops it at three quarters, with the rest of its place
    silent, "swap" puts another file's recorded word in its place."""
    p = pieces(recording, words)
    w = 2 * at + 1
    if how == "reorder":
        assert words[at].name != words[at + 1].name
        p[w], p[w + 2] = p[w + 2], p[w]
    elif how == "drop":
        del p[w:w + 2]
    elif how == "cut":
        p[w] = np.concatenate((p[w][:len(p[w]) * 3 // 4], np.zeros(len(p[w]) - len(p[w]) * 3 // 4)))
    elif how == "swap":
        other = next(2 * j + 1 for j in sorted(range(len(words)), key=lambda j: abs(j - at))
                     if words[j].name != words[at].name)
        p[w] = p[other]
    return np.concatenate(p)


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
