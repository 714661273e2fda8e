#!/usr/bin/env python3
"""What a libFuzzer run did, from its jobs' logs: runs, runs per second at the
start and at the end, coverage and peak RSS.

usage: fuzzstats.py NAME fuzz-0.log [fuzz-1.log ...]

libFuzzer's status lines give the runs so far and their average rate; the
rate over a stretch of the run is the difference of two of them:
(n2 - n1) / (n2 / r2 - n1 / r1). "First" and "last" are the first and the
last 60 s of each job, added over the jobs.
"""
import re
import sys

STATUS = re.compile(r"^#(\d+)\s+\w+\s+cov: (\d+) ft: (\d+).* exec/s: (\d+) rss: (\d+)Mb")


def job(path):
    """(seconds, runs, cov, ft, rss) at each status line of one job, and its final stats."""
    points, stats = [], {}
    for line in open(path, errors="replace"):
        m = STATUS.match(line)
        if m and int(m.group(4)):
            runs, cov, ft, rate, rss = map(int, m.groups())
            points.append((runs / rate, runs, cov, ft, rss))
        elif line.startswith("stat::"):
            key, value = line[6:].split(":", 1)
            stats[key.strip()] = int(value)
    return points, stats


def rate(points, start, end):
    """Runs per second between the first status at or after start and the last at or before end."""
    inside = [p for p in points if start <= p[0] <= end]
    if len(inside) < 2 or inside[-1][0] == inside[0][0]:
        return 0.0
    return (inside[-1][1] - inside[0][1]) / (inside[-1][0] - inside[0][0])


def main():
    name, logs = sys.argv[1], sys.argv[2:]
    jobs = [job(p) for p in logs]
    runs = sum(s.get("number_of_executed_units", 0) for _, s in jobs)
    first = sum(rate(p, 0, 60) for p, _ in jobs)
    last = sum(rate(p, p[-1][0] - 60, p[-1][0]) for p, _ in jobs if p)
    cov = max((p[-1][2] for p, _ in jobs if p), default=0)
    ft = max((p[-1][3] for p, _ in jobs if p), default=0)
    rss = max((s.get("peak_rss_mb", 0) for _, s in jobs), default=0)
    after = [next((q[4] for q in p if q[1] >= 100000), None) for p, _ in jobs]
    early = max((a for a in after if a is not None), default=None)
    print(f"{name}: {runs:,} runs in {len(jobs)} jobs; runs/s {first:,.0f} in the first minute, "
          f"{last:,.0f} in the last; cov {cov}, ft {ft}; peak RSS {rss} MB"
          + (f" ({early} MB after 100,000 runs of a job)" if early else ""))


main()
