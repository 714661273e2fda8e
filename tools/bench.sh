#!/bin/sh
# Builds what the benchmarks need, runs them and prints one table: number
# text and reading against the C library and HandleKey on the host (Google
# Benchmark), built for SSE2 and again for the x87 as the 32-bit program
# computes, then the real VELMO.exe under wine on a private Xvfb, against
# Wine's notepad, and its spoken feedback recorded from a private PulseAudio
# server: x86_64 in a 64-bit prefix, i686 in a 32-bit one (skipped, with the
# reason, where the kernel cannot run i386 code). Installs what is missing
# first.
#
#   VELMO_BENCH_DIR     build trees and results (default build/bench):
#                       host/, win64/, win32/, results/
#   VELMO_BENCH_BEFORE  a results directory of an earlier run to show beside
#   VELMO_BENCH_E2E     extra arguments for bench/e2e_bench.py
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh >&2
dir=${VELMO_BENCH_DIR:-build/bench}
results=$dir/results
mkdir -p "$results"

cmake -S . -B "$dir/host" -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$dir/host" -j2 --target bench_numbers bench_keys >&2
cmake -S . -B "$dir/host-x87" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-mfpmath=387 >&2
cmake --build "$dir/host-x87" -j2 --target bench_numbers bench_keys >&2
for arch in win64:x86_64 win32:i686; do
    cmake -S . -B "$dir/${arch%%:*}" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${arch#*:}.cmake" \
        -DCMAKE_BUILD_TYPE=Release >&2
done
for tree in win64 win32; do
    cmake --build "$dir/$tree" -j2 --target VELMO velmobare velmodrv >&2
done

for b in numbers keys numbers-x87 keys-x87; do
    echo "bench_$b ..." >&2
    case $b in *-x87) tree=host-x87 ;; *) tree=host ;; esac
    "$dir/$tree/bench/bench_${b%-x87}" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/$b.json" --benchmark_out_format=json >&2
done
# The wine session and the matcher the benchmarks share with the tests
export PYTHONPATH="$PWD/tests/support"
# The wine session reads the programs' PE headers with pefile; the spoken feedback's matcher needs
# numpy and scipy. Debian's Python has them
session_python=python3
python3 -c "import numpy, scipy, pefile" 2>/dev/null || session_python=/usr/bin/python3
for tree in win64 win32; do
    echo "VELMO.exe ($tree) under wine ..." >&2
    # shellcheck disable=SC2086 # VELMO_BENCH_E2E holds several arguments, split on purpose
    "$session_python" bench/e2e_bench.py "$dir/$tree" "$results/e2e-$tree.json" ${VELMO_BENCH_E2E:-}
done
# The spoken feedback, recorded
for tree in win64 win32; do
    echo "VELMO.exe ($tree) spoken, recorded ..." >&2
    "$session_python" bench/speech_bench.py measure "$dir/$tree" "$results/speech-$tree.json"
done
printf '{"x86_64": %s, "i686": %s}\n' "$(stat -c %s "$dir/win64/VELMO.exe")" \
    "$(stat -c %s "$dir/win32/VELMO.exe")" > "$results/sizes.json"

{
    echo "Run $(date -u '+%Y-%m-%d %H:%M UTC') on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'),"
    echo "$(nproc) cores, $(/usr/lib/wine/wine64 --version 2>/dev/null), load average $(cut -d' ' -f1-3 /proc/loadavg)."
    echo
    python3 bench/report.py "$results" ${VELMO_BENCH_BEFORE:+--before "$VELMO_BENCH_BEFORE"}
    echo
    python3 bench/speech_bench.py report "$results"
} | tee "$results/table.md"
