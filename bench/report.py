#!/usr/bin/env python3
"""Prints the benchmark table from the results of tools/bench.sh.

    python3 bench/report.py RESULTS_DIR [--before OLD_RESULTS_DIR]

RESULTS_DIR holds numbers.json and keys.json (Google Benchmark), the same
built for the x87 (numbers-x87.json, keys-x87.json),
e2e-win64.json and e2e-win32.json (bench/e2e_bench.py) and sizes.json. With
--before, an older run's figures stand beside this one's (its e2e.json, if
that is what it has, as the x86_64 ones).
"""
import argparse
import json
import os
import sys

FRAME_MS = 1000 / 60
ARCHS = [("x86_64", "win64"), ("i686", "win32")]
SIZE_LIMIT = 128 * 1024


def load(directory, name):
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


def load_e2e(directory, tree):
    """bench/e2e_bench.py's results for one build tree; an older run's e2e.json is the x86_64 one."""
    names = [f"e2e-{tree}.json"] + (["e2e.json"] if tree == "win64" else [])
    return next((d for d in (load(directory, n) for n in names if directory) if d), None)


def skipped(e2e):
    return bool(e2e) and "skipped" in e2e


def bench_times(data):
    """Benchmark name -> (ns per item or per iteration, counters), from the medians of the repetitions."""
    out = {}
    if not data:
        return out
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        per = b["cpu_time"] * scale
        if b.get("items_per_second"):
            per = 1e9 / b["items_per_second"]
        out[name] = (per, b)
    return out


def fmt(v, digits=1):
    return "-" if v is None else f"{v:,.{digits}f}"


class Table:
    def __init__(self, title, head, notes=()):
        self.title, self.head, self.rows, self.notes = title, head, [], list(notes)

    def add(self, *cells):
        self.rows.append([str(c) for c in cells])

    def text(self):
        lines = [f"### {self.title}", "", "| " + " | ".join(self.head) + " |",
                 "|" + "|".join("---" for _ in self.head) + "|"]
        lines += ["| " + " | ".join(r) + " |" for r in self.rows]
        lines += [""] + self.notes if self.notes else []
        return "\n".join(lines) + "\n"


def verdict(ok):
    return "met" if ok else "NOT met"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("results")
    ap.add_argument("--before")
    a = ap.parse_args()

    now = {k: load(a.results, k + ".json") for k in ("numbers", "keys", "sizes")}
    old = {k: (load(a.before, k + ".json") if a.before else None) for k in ("numbers", "keys", "sizes")}
    tables, targets = [], []
    two = a.before is not None

    def cols(label_now="now"):
        return (["before", label_now] if two else [label_now])

    # -- number text and reading on the host
    n_now, n_old = bench_times(now["numbers"]), bench_times(old["numbers"])
    if n_now:
        t = Table("Number text and reading (host, ns per value, CPU time, median of repetitions)",
                  ["what"] + cols() + ["vs ours"])
        ours = n_now.get("FormatOurs", (None,))[0]
        for name, label in [("FormatOurs", 'ours, "%.12lg" form'), ("FormatWith/snprintf_12g", 'snprintf "%.12g"'),
                            ("FormatWith/snprintf_17g", 'snprintf "%.17g"')]:
            v = n_now.get(name, (None,))[0]
            b = n_old.get(name, (None,))[0]
            t.add(label, *([fmt(b)] if two else []), fmt(v), f"{v / ours:.2f}x" if v and ours else "-")
        read = n_now.get("ReadOurs", (None,))[0]
        for name, label in [("ReadOurs", "ours, typed-number reading"), ("ReadStrtod", "strtod")]:
            v = n_now.get(name, (None,))[0]
            b = n_old.get(name, (None,))[0]
            t.add(label, *([fmt(b)] if two else []), fmt(v), f"{v / read:.2f}x" if v and read else "-")
        tables.append(t)
        c12 = n_now.get("FormatWith/snprintf_12g", (None,))[0]
        if ours and c12:
            targets.append(('formatter at least as fast as "%.12g"',
                            f"{ours:.1f} ns vs {c12:.1f} ns ({c12 / ours:.1f}x faster)", verdict(ours <= c12)))

    # -- HandleKey on the stand-in
    k_now, k_old = bench_times(now["keys"]), bench_times(old["keys"])
    if k_now:
        t = Table("HandleKey on the host stand-in (ns per command, CPU time; line writes per command)",
                  ["command"] + cols() + (["writes before", "writes now"] if two else ["writes"]))
        for name, (v, b) in k_now.items():
            ob = k_old.get(name)
            w = b.get("line_writes")
            per = v * 12 if name == "TypeTwelveDigits" else v
            row = [name.replace("Operation/", "")]
            if two:
                row.append(fmt(ob[0] * 12 if ob and name == "TypeTwelveDigits" else ob[0] if ob else None))
            row.append(fmt(per))
            if two:
                ow = ob[1].get("line_writes") if ob else None
                row.append(fmt(ow, 0) if ow is not None else "-")
            row.append(fmt(w, 0) if w is not None else "-")
            t.add(*row)
        tables.append(t)

    # -- the same on the x87, as the 32-bit program computes
    n87, k87 = bench_times(load(a.results, "numbers-x87.json")), bench_times(load(a.results, "keys-x87.json"))
    if n87 or k87:
        t = Table("The host benchmarks built for the x87 beside SSE2 (ns per value or command, CPU time)",
                  ["what", "SSE2", "x87", "x87 / SSE2"])
        for sse, x87 in ((n_now, n87), (k_now, k87)):
            for name, (v, _) in sse.items():
                w = x87.get(name, (None,))[0]
                if name.startswith(("FormatWith", "ReadStrtod")):
                    continue
                scale = 12 if name == "TypeTwelveDigits" else 1
                t.add(name.replace("Operation/", ""), fmt(v * scale), fmt(w * scale if w else None),
                      f"{w / v:.2f}" if w else "-")
        tables.append(t)

    # -- the real program under wine, one column group per architecture
    groups = []  # (label, results or None, the run is this one's)
    for arch, tree in ARCHS:
        prev = load_e2e(a.before, tree)
        if two and prev and not skipped(prev):
            groups.append((f"{arch} before", prev, False))
        groups.append((f"{arch} now" if two else arch, load_e2e(a.results, tree), True))
    ran = [d for first in (True, False) for _, d, this in groups if this == first and d and not skipped(d)]
    notes = [f"{label} skipped: {d['skipped']}" for label, d, _ in groups if skipped(d)]
    if ran:
        t = Table("VELMO.exe under wine on Xvfb (ms from the posted command to the four lines showing its result)",
                  ["what", "n"] + [f"{g[0]} {s}" for g in groups for s in ("median", "p95", "p99", "max")], notes)

        def row(label, key, sub=None):
            def pick(d):
                v = d.get(key) if d and not skipped(d) else None
                return v.get(sub) if v and sub else v
            found = [pick(d) for d in ran if pick(d)]
            if not found:
                return
            cells = []
            for _, d, _ in groups:
                v = pick(d)
                cells += (["skipped", "", "", ""] if skipped(d)
                          else [fmt(v[s], 2) if v else "-" for s in ("median_ms", "p95_ms", "p99_ms", "max_ms")])
            t.add(label, found[0]["n"], *cells)
        row("every command below", "every_command")
        row("user's mix", "mix")
        for kind in sorted(set().union(*(d["mix_by_kind"] for d in ran))):
            row(f"  {kind}", "mix_by_kind", kind)
        row("Clear of 1,024 values", "clear_full")
        row("81-character paste", "paste81")
        tables.append(t)

        t = Table("Start-up and memory under wine", ["what"] + [g[0] for g in groups], notes)

        def add(label, get, digits=1):
            t.add(label, *("skipped" if skipped(d) else fmt(get(d) if d else None, digits)
                           for _, d, _ in groups))
        kib = 1 / 1024
        add("VELMO.exe start-up, median ms", lambda d: d["startup_ms"]["velmo"])
        add("bare window start-up, median ms", lambda d: d["startup_ms"].get("bare"))
        add("notepad start-up, median ms", lambda d: d["startup_ms"]["notepad"])
        add("ratio VELMO / bare window", lambda d: d["startup_ms"]["velmo"] / d["startup_ms"]["bare"]
            if "bare" in d["startup_ms"] else None, 2)
        add("ratio VELMO / notepad", lambda d: d["startup_ms"]["velmo"] / d["startup_ms"]["notepad"], 2)
        add("VELMO.exe start-up, fastest ms", lambda d: d.get("startup_fastest_ms", {}).get("velmo"))
        add("bare window start-up, fastest ms", lambda d: d.get("startup_fastest_ms", {}).get("bare"))
        add("notepad start-up, fastest ms", lambda d: d.get("startup_fastest_ms", {}).get("notepad"))
        add("runs each", lambda d: len(d["startup_runs_ms"]["velmo"]), 0)
        add("VELMO.exe peak working set after the session, KiB", lambda d: d["peak_ws"] * kib, 0)
        add("VELMO.exe peak working set at start-up, KiB", lambda d: d["startup_peak_ws"]["velmo"] * kib, 0)
        add("bare window peak working set at start-up, KiB",
            lambda d: d["startup_peak_ws"]["bare"] * kib if "bare" in d["startup_peak_ws"] else None, 0)
        add("notepad peak working set at start-up, KiB", lambda d: d["startup_peak_ws"]["notepad"] * kib, 0)
        tables.append(t)

    for arch, tree in ARCHS:
        e = load_e2e(a.results, tree)
        every, start = (f"every command within 16.7 ms at the 99th percentile, {arch}",
                        f"start-up no slower than notepad, {arch}")
        if skipped(e):
            targets += [(every, "skipped", "not measured"), (start, "skipped", "not measured")]
        elif e:
            p99 = e["every_command"]["p99_ms"]
            worst = max(e["clear_full"]["max_ms"], e["paste81"]["p99_ms"], e["mix"]["p99_ms"])
            targets.append((every, f"p99 {p99:.2f} ms over all; mix p99 {e['mix']['p99_ms']:.2f}, Clear max "
                            f"{e['clear_full']['max_ms']:.2f}, paste p99 {e['paste81']['p99_ms']:.2f}",
                            verdict(p99 <= FRAME_MS and worst <= FRAME_MS)))
            s = e["startup_ms"]
            ratio = s["velmo"] / s["notepad"]
            targets.append((start, f"{s['velmo']:.1f} ms vs {s['notepad']:.1f} ms (ratio {ratio:.2f})",
                            verdict(ratio <= 1)))

    sz, szo = now["sizes"], old["sizes"]
    if sz:
        t = Table("VELMO.exe size (bytes; limit 131,072)", ["build"] + cols())
        for arch in sorted(sz):
            t.add(arch, *([fmt(szo.get(arch), 0) if szo else "-"] if two else []), fmt(sz[arch], 0))
        tables.append(t)
        targets.append(("VELMO.exe at most 128 KiB for i686 and x86_64",
                        ", ".join(f"{k} {v:,}" for k, v in sorted(sz.items())),
                        verdict(all(v <= SIZE_LIMIT for v in sz.values()))))

    t = Table("Targets", ["target", "figures", "verdict"])
    for row in targets:
        t.add(*row)
    tables.append(t)
    sys.stdout.write("\n".join(tb.text() for tb in tables))


if __name__ == "__main__":
    main()
