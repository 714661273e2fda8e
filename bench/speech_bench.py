#!/usr/bin/env python3
"""Times VELMO 2's spoken feedback from a recording of its real sound under wine.

    python3 bench/speech_bench.py measure BUILD_DIR OUT.json
    python3 bench/speech_bench.py report RESULTS_DIR    # markdown, from speech-win64.json and speech-win32.json

measure: the program of BUILD_DIR, sound on, in a prefix of its own architecture, plays into a
private PulseAudio server and is recorded (tests/support/hearing.py). The driver posts keys one at a time,
each once the sound of the one before has ended, and takes the time of each post on its own clock
(QueryPerformanceCounter); it also plays a reference sound itself, several times, at times it
takes the same way. The matcher finds every expected file in the recording, so the start and
length of each word are known. The recording is laid on Python's clock by the times its blocks
came from parec (Recorder.clock: when the sink played its first sample), and the driver's clock
on Python's by the shortest of 20 readings. Figures:
  - a spoken result against the sum of its wave files: the silence between its words;
  - from a posted key to when the sink played the first sample of its word. An idle sink mixes
    20 ms ahead and a new sound waits for its next mix, so this holds 0 to 20 ms that a sound card,
    which starts a new sound at once, would not;
  - the same for the driver's own sndPlaySoundA calls: the sound path alone. A key's time less the
    median of these is the program's own part;
  - the first key, which loads WINMM, apart.
Where the program cannot run here, OUT.json says {"skipped": reason}.
"""
import json
import os
import statistics
import sys
import time

from winenv import Session, Skip, unescape

ENTER, SUB, MULT, ADD, DIV = 13, 45, 42, 43, 47
RECIP, CH_SGN, SQRT, SQUARE = 177, 178, 179, 186
SOUND = {ENTER: "enter.wav", SUB: "sub.wav", MULT: "mult.wav", ADD: "add.wav", DIV: "div.wav", RECIP: "recip.wav",
         CH_SGN: "ch_sgn.wav", SQRT: "sqrt.wav", SQUARE: "square.wav", **{48 + d: f"{d}.wav" for d in range(10)}}
# Typed numbers, one digit each, finished by Enter; then operations, each spoken with its result.
# None is refused: no root of a negative number, no zero divisor
DIGITS = "738296451372859"
OPERATIONS = [SQRT, CH_SGN, RECIP, SQUARE, ADD, MULT, SQRT, CH_SGN, DIV, SUB, SQRT, SQUARE]
REFERENCE, REFERENCES = "error.wav", 5
REG_SZ = 1


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def clock_offset(s):
    """Seconds to subtract from a driver time to get Python's monotonic clock, from the shortest of
    20 round trips, read at its middle; and that round trip."""
    trips = []
    for _ in range(20):
        before = time.monotonic()
        us = float(s.drv("clock").split()[1])
        after = time.monotonic()
        trips.append((after - before, us / 1e6 - (before + after) / 2))
    return min(trips)


def measure(build_dir, say):
    import hearing
    exe, driver = os.path.join(build_dir, "VELMO.exe"), os.path.join(build_dir, "tests", "velmodrv.exe")
    waves = hearing.load_waves(build_dir)
    keys = [k for d in DIGITS for k in ((48 + int(d), "digit"), (ENTER, "enter"))]
    keys += [(op, "operation") for op in OPERATIONS]
    with Session(exe, driver, os.path.join(build_dir, "bench-speech")) as s, \
            hearing.Recorder(s.workdir) as recorder:
        s.env["PULSE_SERVER"] = recorder.server
        s.open_driver()
        s.drv(f"reg-set {REG_SZ} " + b"1\0".hex())
        recorder.start()
        s.start()
        trip, offset = clock_offset(s)
        reference = windows_path(os.path.join(build_dir, REFERENCE))
        expected, timed, results = [], [], []

        def play(kind):
            """The driver's own sound; the first opens the sound device."""
            timed.append((kind, len(expected), float(s.drv(f"play-timed {reference}").split()[1])))
            expected.append(REFERENCE)
            recorder.wait_quiet(0.2, 10)
        for kind in ["warm-up"] + ["reference"] * REFERENCES:
            play(kind)
        say(f"{len(keys)} keys, each after the sound of the one before")
        for code, kind in keys:
            timed.append((kind, len(expected), float(s.drv(f"post-timed {s.hwnd} {code}").split()[1])))
            recorder.wait_quiet(0.3, 30, heard=True)
            expected.append(SOUND[code])
            if kind == "operation":
                x = unescape(s.drv("lines").split("\t")[1])
                results.append((x, len(expected), len(hearing.spoken(x))))
                expected += hearing.spoken(x)
        for kind in ["reference"] * REFERENCES:
            play(kind)
        origin = recorder.clock()
        samples = recorder.stop()
        s.keys("alt+x")
        s.wait_exit()
    hearing.save_wave(os.path.join(build_dir, "bench-speech", "speech-bench.wav"), samples)
    found = hearing.match(samples, expected, waves)
    say(found.report(every_word=False))
    if not found.ok:
        raise AssertionError("the recording is not the expected words: " + found.failure)
    w = found.words

    def ms(samples):
        return samples / hearing.RATE * 1000
    # From each timed post or call to the start of its word, both on Python's clock
    delays = [(kind, (origin + w[i].start / hearing.RATE - (us / 1e6 - offset)) * 1000) for kind, i, us in timed]
    spoken = [{"text": text, "words": n, "files_ms": ms(sum(x.length for x in w[i:i + n])),
               "span_ms": ms(w[i + n - 1].start + w[i + n - 1].length - w[i].start),
               "gaps_ms": [ms(b.start - a.start - a.length) for a, b in zip(w[i:i + n], w[i + 1:i + n])],
               "after_operation_ms": ms(w[i].start - w[i - 1].start - w[i - 1].length)} for text, i, n in results]
    return {"delays_ms": delays, "spoken": spoken, "clock_trip_ms": trip * 1000, "words": len(w),
            "recorded_s": len(samples) / hearing.RECORD_RATE, "lowest_ncc": min(x.score for x in w),
            "dropouts_ms": [ms(x.dropped) for x in w if x.dropped >= hearing.FRAME // 2]}


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, max(0, -(-len(v) * p // 100) - 1))]


def report(results_dir):
    archs = [("x86_64", "win64"), ("i686", "win32")]
    data = {}
    for arch, tree in archs:
        path = os.path.join(results_dir, f"speech-{tree}.json")
        data[arch] = json.load(open(path)) if os.path.exists(path) else {"skipped": "not run"}
    out = ["### Spoken feedback, heard (ms)", "",
           "| what | n | " + " | ".join(f"{a} median | {a} p95 | {a} max" for a, _ in archs) + " |",
           "|---|---|" + "---|" * 3 * len(archs)]

    def delays(d, kind):
        return [v for k, v in d["delays_ms"] if k == kind]

    def path(d):
        return statistics.median(delays(d, "reference"))

    def row(what, pick):
        cells, n = [], ""
        for arch, _ in archs:
            if "skipped" in data[arch]:
                cells += ["skipped", "", ""]
                continue
            v = pick(data[arch])
            n = n or len(v)
            cells += [f"{statistics.median(v):.1f}", f"{pct(v, 95):.1f}", f"{max(v):.1f}"]
        out.append(f"| {what} | {n} | " + " | ".join(cells) + " |")

    row("silence between two words of a spoken result", lambda d: [g for r in d["spoken"] for g in r["gaps_ms"]])
    row("silence between an operation's word and its result", lambda d: [r["after_operation_ms"] for r in d["spoken"]])
    row("spoken result of two words or more: its length less its files', per word",
        lambda d: [(r["span_ms"] - r["files_ms"]) / r["words"] for r in d["spoken"] if r["words"] > 1])
    row("sound path: the driver's sndPlaySoundA call to its sound", lambda d: delays(d, "reference"))
    for kind, what in (("digit", "a digit"), ("enter", "Enter"), ("operation", "an operation")):
        row(f"posted {what} to the start of its word", lambda d, k=kind: delays(d, k)[1 if k == "digit" else 0:])
        row("the same, less the sound path's median", lambda d, k=kind: [v - path(d) for v in delays(d, k)][
            1 if k == "digit" else 0:])
    row("the first key, which loads WINMM, to the start of its word", lambda d: delays(d, "digit")[:1])
    row("the driver's first sound, which opens the device", lambda d: delays(d, "warm-up"))
    out.append("")
    for arch, _ in archs:
        d = data[arch]
        if "skipped" in d:
            out.append(f"{arch} skipped: {d['skipped']}")
            continue
        total = sum(r["span_ms"] for r in d["spoken"])
        files = sum(r["files_ms"] for r in d["spoken"])
        out.append(f"{arch}: {len(d['spoken'])} spoken results of {sum(r['words'] for r in d['spoken'])} words took "
                   f"{total / 1000:.2f} s for {files / 1000:.2f} s of wave files ({total / files:.2f}x); "
                   f"{d['words']} words matched in {d['recorded_s']:.0f} s recorded, lowest ncc {d['lowest_ncc']:.3f}, "
                   f"dropouts of 1 ms or more in {len(d['dropouts_ms'])} words; clock reading round trip "
                   f"{d['clock_trip_ms']:.2f} ms.")
    print("\n".join(out))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "report":
        return report(sys.argv[2])
    if len(sys.argv) != 4 or sys.argv[1] != "measure":
        sys.exit(__doc__)

    def say(text):
        print(f"[speech] {text}", file=sys.stderr, flush=True)
    try:
        result = measure(os.path.abspath(sys.argv[2]), say)
    except Skip as e:
        result = {"skipped": str(e)}
        say(f"skipped: {e}")
    with open(sys.argv[3], "w") as f:
        json.dump(result, f, indent=1)
    say(f"wrote {sys.argv[3]}")


if __name__ == "__main__":
    main()
