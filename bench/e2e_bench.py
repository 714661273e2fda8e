#!/usr/bin/env python3
"""Times the real VELMO.exe under wine on a private Xvfb, from the driver's own process.

    python3 bench/e2e_bench.py BUILD_DIR OUT.json [--exe VELMO.exe] [--commands N] ...

BUILD_DIR is a win64 or win32 build tree with VELMO.exe and tests/velmodrv.exe;
the program runs in a prefix of its own architecture. Where that cannot run
here, OUT.json says {"skipped": reason} and the exit code is 0. The
expected display lines of every step come from a model of the calculator
below (the number text is worked out here from Python's exactly rounded
decimal digits), so a step counts as done only when all four lines show
what the program must show.
"""
import argparse
import json
import math
import os
import random
import statistics
import sys
import time

from winenv import Session, Skip

ENTER, ADD, SUB, MULT, DIV = 13, 43, 45, 42, 47
POINT = 46
RAISE, RECIP, CH_SGN, SQRT, DROP, CLEAR, SWAP, SQUARE = 176, 177, 178, 179, 180, 182, 183, 186
PASTE = 184
THRESHOLD = math.sqrt(1.7976931348623157e308)
NAMES = {ENTER: "enter", ADD: "add", SUB: "sub", MULT: "mult", DIV: "div", RAISE: "raise", RECIP: "recip",
         CH_SGN: "ch_sgn", SQRT: "sqrt", DROP: "drop", CLEAR: "clear", SWAP: "swap", SQUARE: "square"}


def number_text(v):
    """The display's form: 17 significant digits, then half up to 12, a three-digit exponent."""
    if v == 0:
        return "0"
    mantissa, exp = ("%.16e" % abs(v)).split("e")
    digits, exp = mantissa.replace(".", ""), int(exp)
    d = int(digits[:12]) + (int(digits[12:]) >= 50000)
    if d == 10 ** 12:
        d, exp = 10 ** 11, exp + 1
    text = str(d).rstrip("0")
    sign = "-" if v < 0 else ""
    if exp < -4 or exp >= 12:
        body = text[0] + ("." + text[1:] if len(text) > 1 else "")
        return f"{sign}{body}e{'-' if exp < 0 else '+'}{abs(exp):03d}"
    if exp >= 0:
        whole = (text + "0" * 12)[:exp + 1]
        rest = text[exp + 1:]
        return sign + whole + ("." + rest if rest else "")
    return sign + "0." + "0" * (-exp - 1) + text


class Calculator:
    """The engine as the display shows it; refuses nothing, so callers pick valid commands."""

    def __init__(self):
        self.stack, self.typing, self.xtext = [], False, None

    def lines(self):
        shown = [number_text(v) for v in reversed(self.stack[-4:])] + [""] * 4
        if self.xtext is not None:
            shown[0] = self.xtext
        return shown[:4]

    def push(self, v, text=None):
        self.stack.append(v)
        self.xtext = text

    def pop(self):
        self.xtext = None
        return self.stack.pop()

    def key(self, code):
        """Applies one command; returns False (and changes nothing) for one it would refuse."""
        s = self.stack
        if code in (ADD, SUB, MULT, DIV, RAISE, SWAP) and len(s) < 2:
            return False
        if code in (RECIP, CH_SGN, SQRT, SQUARE, DROP) and len(s) < 1:
            return False
        if code in (DIV, RECIP) and s[-1] == 0 or code == SQRT and s[-1] < 0:
            return False
        if 48 <= code <= 57 or code == POINT:
            text = self.xtext if self.typing else ""
            if code == POINT and "." in text:
                return False
            text = text + chr(code)
            text = "0." if text == "." else text
            if self.typing:
                s[-1], self.xtext = float(text), text
            else:
                self.push(float(text), text)
                self.typing = True
            return True
        if code == ENTER:
            if not self.typing:
                if not s:
                    return False
                self.push(s[-1])
            self.typing = False
            return True
        self.typing = False
        if code in (ADD, SUB, MULT, DIV, RAISE):
            x, y = s[-1], s[-2]
            r = {ADD: lambda: y + x, SUB: lambda: y - x, MULT: lambda: y * x, DIV: lambda: y / x,
                 RAISE: lambda: y ** x}[code]()
            if not abs(r) < THRESHOLD:
                return False
            self.pop(), self.pop(), self.push(r)
        elif code in (RECIP, CH_SGN, SQRT, SQUARE):
            x = s[-1]
            r = {RECIP: lambda: 1 / x, CH_SGN: lambda: -x, SQRT: lambda: math.sqrt(x), SQUARE: lambda: x * x}[code]()
            if not abs(r) < THRESHOLD:
                return False
            self.pop(), self.push(r)
        elif code == SWAP:
            x, y = self.pop(), self.pop()
            self.push(x), self.push(y)
        elif code == DROP:
            self.pop()
        elif code == CLEAR:
            while s:
                self.pop()
        return True


def step(kind, code, lines=None):
    return "\t".join([kind, str(code)] + (lines if lines is not None else []))


NUMBERS = ["7", "12", "42", "365", "1000", "2.5", "0.75", "12.5", "99.99", "3.14159", "1024", "0.125", "86400",
           "1.08", "250", "19.95", "6", "9", "100", "0.5", "2", "3"]
OPERATIONS = [(ADD, 20), (SUB, 14), (MULT, 14), (DIV, 10), (ENTER, 8), (SWAP, 6), (DROP, 5), (CH_SGN, 4),
              (SQRT, 4), (SQUARE, 4), (RECIP, 3), (RAISE, 3), (CLEAR, 1)]


def command_mix(count, seed):
    """Steps of a user's session, at least count of them timed, each changing what the display shows."""
    rng, calc, steps, kinds = random.Random(seed), Calculator(), [], []
    ops, weights = zip(*OPERATIONS)
    while len(kinds) < count:
        depth = len(calc.stack)
        if depth < 2 or (depth < 10 and rng.random() < 0.3):
            if calc.typing:
                calc.key(ENTER)  # finishes the number; the display does not change
                steps.append(step("n", ENTER))
            number, saved, before = rng.choice(NUMBERS), (list(calc.stack), calc.typing, calc.xtext), calc.lines()
            calc.key(ord(number[0]))
            if calc.lines() == before:  # the same text pushed onto equal values: nothing to see
                calc.stack, calc.typing, calc.xtext = saved
                continue
            steps.append(step("t", ord(number[0]), calc.lines()))
            kinds.append("digit")
            for ch in number[1:]:  # each further key lengthens the X line
                calc.key(ord(ch))
                steps.append(step("t", ord(ch), calc.lines()))
                kinds.append("digit" if ch != "." else "point")
            continue
        code = rng.choices(ops, weights)[0]
        if code == RAISE and not (calc.stack[-1] in (2.0, 3.0) and abs(calc.stack[-2]) <= 1000
                                  and calc.stack[-2] == int(calc.stack[-2])):
            continue  # powers kept exact, so that the model's digits are the program's
        if code == CLEAR and depth < 5:
            continue
        if code == ENTER and calc.typing:
            continue
        saved = (list(calc.stack), calc.typing, calc.xtext)
        before = calc.lines()
        if not calc.key(code) or calc.lines() == before:
            calc.stack, calc.typing, calc.xtext = saved
            continue
        steps.append(step("t", code, calc.lines()))
        kinds.append(NAMES[code])
    return steps, kinds


def full_stack_clear():
    """Fills the stack to 1024 values, then a timed Clear."""
    steps = [step("w", CLEAR, [""] * 4), step("n", ord("1"))]
    steps += [step("n", ENTER)] * 1024  # the first only finishes the "1"
    steps.append(step("w", CH_SGN, ["-1", "1", "1", "1"]))
    steps.append(step("t", CLEAR, [""] * 4))
    return steps


# 81 characters of a calculation, as a user would paste it: numbers ended by
# spaces or operators
PASTE_TEXT = "1234.5 678.25+12*3.75/1000-2.5*99.99+0.125-42/7*365.25+86400-3.14159*2 1.5/+19.9-"


def paste_steps():
    assert len(PASTE_TEXT) == 81
    calc = Calculator()
    for ch in PASTE_TEXT + "\n":
        if ch in "0123456789.+-*/":
            assert calc.key(ord(ch)), ch
        else:
            calc.typing = False
    return [step("w", CLEAR, [""] * 4), "c\t" + PASTE_TEXT.encode().hex(), step("t", PASTE, calc.lines())]


def summary(us):
    ms = sorted(v / 1000 for v in us)

    def pct(p):
        return ms[min(len(ms) - 1, max(0, math.ceil(p / 100 * len(ms)) - 1))]
    return {"n": len(ms), "median_ms": statistics.median(ms), "p95_ms": pct(95), "p99_ms": pct(99),
            "max_ms": ms[-1]}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_steps(s, steps, timeout):
    path = os.path.join(s.dir, "steps.txt")
    with open(path, "w") as f:
        f.write("\n".join(steps) + "\n")
    reply = s.drv(f"bench-run {s.hwnd} {windows_path(path)}", timeout=timeout).split()
    return [float(v) for v in reply[2:]]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build_dir")
    ap.add_argument("out_json")
    ap.add_argument("--exe", help="the VELMO.exe to time (default: the build tree's)")
    ap.add_argument("--workdir", help="where the Wine prefixes go (default: BUILD_DIR/bench-e2e)")
    ap.add_argument("--commands", type=int, default=1500)
    ap.add_argument("--clears", type=int, default=5)
    ap.add_argument("--pastes", type=int, default=30)
    ap.add_argument("--starts", type=int, default=15)
    ap.add_argument("--seed", type=int, default=2)
    a = ap.parse_args()

    exe = os.path.abspath(a.exe or os.path.join(a.build_dir, "VELMO.exe"))
    driver = os.path.join(a.build_dir, "tests", "velmodrv.exe")
    workdir = a.workdir or os.path.join(a.build_dir, "bench-e2e")
    result = {"exe": exe, "exe_bytes": os.path.getsize(exe)}

    def say(text):
        print(f"[e2e] {text}", file=sys.stderr, flush=True)

    try:
        result.update(measure(a, exe, driver, workdir, say))
    except Skip as e:
        result = {"skipped": str(e)}
        say(f"skipped: {e}")
    with open(a.out_json, "w") as f:
        json.dump(result, f, indent=1)
    say(f"wrote {a.out_json}")


def measure(a, exe, driver, workdir, say):
    result = {}
    with Session(exe, driver, workdir) as s:
        s.open_driver()
        # Our bare window is the floor: a class and one empty window, built as VELMO.exe is
        programs = {"velmo": windows_path(exe), "bare": windows_path(os.path.join(a.build_dir, "velmobare.exe")),
                    "notepad": "C:\\windows\\system32\\notepad.exe"}
        say(f"start-up: {a.starts} runs each of VELMO.exe, the bare window and notepad, in turn")
        starts = {kind: [] for kind in programs}
        peaks = {kind: [] for kind in programs}
        for i in range(a.starts + 1):
            order = list(programs)[i % 3:] + list(programs)[:i % 3]
            for kind in order:
                us, peak = s.drv(f"bench-launch {kind} {programs[kind]}", timeout=60).split()[1:]
                if i:  # the first round only warms the caches
                    starts[kind].append(float(us) / 1000)
                    peaks[kind].append(int(peak))
        result["startup_ms"] = {k: statistics.median(v) for k, v in starts.items()}
        result["startup_fastest_ms"] = {k: min(v) for k, v in starts.items()}
        result["startup_runs_ms"] = starts
        result["startup_peak_ws"] = {k: max(v) for k, v in peaks.items()}

        s.start()
        steps, kinds = command_mix(a.commands, a.seed)
        say(f"{len(kinds)} timed commands of a user's mix")
        t0 = time.monotonic()
        times = run_steps(s, steps, 600)
        assert len(times) == len(kinds), (len(times), len(kinds))
        say(f"  done in {time.monotonic() - t0:.1f} s")
        result["mix"] = summary(times)
        by_kind = {}
        for k, t in zip(kinds, times):
            by_kind.setdefault(k, []).append(t)
        result["mix_by_kind"] = {k: summary(v) for k, v in sorted(by_kind.items())}

        say(f"Clear of a full stack, {a.clears} times")
        clears = []
        for _ in range(a.clears):
            clears += run_steps(s, full_stack_clear(), 600)
        result["clear_full"] = summary(clears)
        result["clear_full_runs_ms"] = [c / 1000 for c in clears]

        say(f"81-character paste, {a.pastes} times")
        pastes = []
        for _ in range(a.pastes):
            pastes += run_steps(s, paste_steps(), 120)
        result["paste81"] = summary(pastes)

        every = times + clears + pastes
        result["every_command"] = summary(every)
        peak, current = (int(v) for v in s.drv(f"bench-memory {s.pid}").split()[1:])
        result["peak_ws"], result["ws"] = peak, current
    return result


if __name__ == "__main__":
    main()
