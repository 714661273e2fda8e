#!/usr/bin/env python3
"""Prints the benchmark table from the results of tools/bench.sh.

    python3 bench/report.py RESULTS_DIR [--before OLD_RESULTS_DIR]

RESULTS_DIR holds numbers.json and keys.json (Google Benchmark), e2e.json
(bench/e2e_bench.py) and sizes.json. With --before, an older run's figures
stand beside this one's.
"""
import argparse
import json
import os
import sys

FRAME_MS = 1000 / 60
SIZE_LIMIT = 128 * 1024


def load(directory, name):
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return json.load(f)


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
    def __init__(self, title, head):
        self.title, self.head, self.rows = title, head, []

    def add(self, *cells):
        self.rows.append([str(c) for c in cells])

    def text(self):
        lines = [f"### {self.title}", "", "| " + " | ".join(self.head) + " |",
                 "|" + "|".join("---" for _ in self.head) + "|"]
        lines += ["| " + " | ".join(r) + " |" for r in self.rows]
        return "\n".join(lines) + "\n"


def verdict(ok):
    return "met" if ok else "NOT met"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("results")
    ap.add_argument("--before")
    a = ap.parse_args()

    now = {k: load(a.results, k + ".json") for k in ("numbers", "keys", "e2e", "sizes")}
    old = {k: (load(a.before, k + ".json") if a.before else None) for k in ("numbers", "keys", "e2e", "sizes")}
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

    # -- the real program under wine
    e, eo = now["e2e"], old["e2e"]
    if e:
        t = Table("VELMO.exe under wine on Xvfb (ms from the posted command to the four lines showing its result)",
                  ["what", "n"] + [f"{c} {s}" for c in cols() for s in ("median", "p95", "p99", "max")])

        def row(label, key, sub=None):
            cur = e[key] if sub is None else e[key].get(sub)
            prev = (eo[key] if sub is None else eo[key].get(sub)) if eo else None
            if not cur:
                return
            cells = []
            if two:
                cells += [fmt(prev[s], 2) if prev else "-" for s in ("median_ms", "p95_ms", "p99_ms", "max_ms")]
            cells += [fmt(cur[s], 2) for s in ("median_ms", "p95_ms", "p99_ms", "max_ms")]
            t.add(label, cur["n"], *cells)
        row("every command below", "every_command")
        row("user's mix", "mix")
        for kind in sorted(e["mix_by_kind"]):
            row(f"  {kind}", "mix_by_kind", kind)
        row("Clear of 1,024 values", "clear_full")
        row("81-character paste", "paste81")
        tables.append(t)
        p99 = e["every_command"]["p99_ms"]
        worst = max(e["clear_full"]["max_ms"], e["paste81"]["p99_ms"], e["mix"]["p99_ms"])
        targets.append(("every command within 16.7 ms at the 99th percentile",
                        f"p99 {p99:.2f} ms over all; mix p99 {e['mix']['p99_ms']:.2f}, Clear max "
                        f"{e['clear_full']['max_ms']:.2f}, paste p99 {e['paste81']['p99_ms']:.2f}",
                        verdict(p99 <= FRAME_MS and worst <= FRAME_MS)))

        t = Table("Start-up and memory under wine", ["what"] + cols())
        s_now, s_old = e["startup_ms"], eo["startup_ms"] if eo else None

        def add(label, cur, prev, digits=1):
            t.add(label, *([fmt(prev, digits) if prev is not None else "-"] if two else []), fmt(cur, digits))
        add("VELMO.exe start-up, median ms", s_now["velmo"], s_old and s_old["velmo"])
        add("notepad start-up, median ms", s_now["notepad"], s_old and s_old["notepad"])
        add("ratio VELMO / notepad", s_now["velmo"] / s_now["notepad"],
            s_old and s_old["velmo"] / s_old["notepad"], 2)
        f_now, f_old = e.get("startup_fastest_ms"), eo.get("startup_fastest_ms") if eo else None
        if f_now:
            add("VELMO.exe start-up, fastest ms", f_now["velmo"], f_old and f_old["velmo"])
            add("notepad start-up, fastest ms", f_now["notepad"], f_old and f_old["notepad"])
        add("runs each", len(e["startup_runs_ms"]["velmo"]), eo and len(eo["startup_runs_ms"]["velmo"]), 0)
        kib = 1 / 1024
        add("VELMO.exe peak working set after the session, KiB", e["peak_ws"] * kib, eo and eo["peak_ws"] * kib, 0)
        add("VELMO.exe peak working set at start-up, KiB", e["startup_peak_ws"]["velmo"] * kib,
            eo and eo["startup_peak_ws"]["velmo"] * kib, 0)
        add("notepad peak working set at start-up, KiB", e["startup_peak_ws"]["notepad"] * kib,
            eo and eo["startup_peak_ws"]["notepad"] * kib, 0)
        tables.append(t)
        ratio = s_now["velmo"] / s_now["notepad"]
        targets.append(("start-up no slower than notepad", f"{s_now['velmo']:.1f} ms vs {s_now['notepad']:.1f} ms "
                        f"(ratio {ratio:.2f})", verdict(ratio <= 1)))

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
