#!/bin/sh
# Builds the fuzz targets (preset "fuzz": clang-14, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs them:
#   sh tools/fuzz.sh [SECONDS] [TARGET|all]
# SECONDS (default 60) is each target's time; TARGET is rows, numread,
# numtext or power (default all). Two jobs run at once, one a core, on a copy
# of the kept corpus build/fuzz/corpus/TARGET (seeded from
# tests/fuzz/corpus/TARGET); their new inputs are then merged into it
# (-merge=1), so a later run starts where this one ended. At the end, for
# each target: runs, runs per second in the first and the last minute,
# coverage and peak RSS. A finding fails the run and is kept in
# build/fuzz/findings/TARGET. VELMO_FUZZ_RUNS, if set, ends each job after
# that many runs, if the time has not ended it first.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=${2:-all}
[ "$targets" = all ] && targets="rows numread numtext power"
cmake --preset fuzz >/dev/null
for t in $targets; do
    cmake --build --preset fuzz --target "fuzz_$t" >/dev/null
done
# AddressSanitizer holds freed memory back (its quarantine) to catch a use
# after free. At its default of 256 MB a process's RSS climbs for a million
# runs or more, though the targets keep nothing from run to run; 32 MB still
# holds some hundreds of runs' worth, and the RSS stays flat.
ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}
export ASAN_OPTIONS
status=0 root=$PWD
for t in $targets; do
    fuzzer=$PWD/build/fuzz/tests/fuzz/fuzz_$t
    kept=build/fuzz/corpus/$t run=build/fuzz/run/$t findings=build/fuzz/findings/$t
    rm -rf "$run" "$findings"
    mkdir -p "$kept" "$run/corpus" "$findings"
    cp tests/fuzz/corpus/"$t"/* "$kept"/* "$run/corpus/" 2>/dev/null || true
    # Rows longer than this find nothing new (tests/fuzz/fuzz_rows.cpp)
    case $t in
        rows) options="-max_len=96 -timeout=20" ;;
        numread) options="-max_len=2048 -timeout=10" ;;
        numtext) options="-max_len=16 -timeout=10" ;;
        power) options="-max_len=20 -timeout=10" ;;
    esac
    echo "fuzz_$t: $seconds s, 2 jobs"
    # shellcheck disable=SC2086 # $options holds several options, split on purpose
    if ! (cd "$run" && "$fuzzer" -jobs=2 -workers=2 -max_total_time="$seconds" -runs="${VELMO_FUZZ_RUNS:--1}" \
            -rss_limit_mb=4096 $options \
            -print_final_stats=1 -artifact_prefix="$root/$findings/" corpus >jobs.log 2>&1) \
       || [ -n "$(find "$findings" -type f)" ]; then
        tail -n 40 "$run"/fuzz-*.log
        echo "fuzz_$t FAILED: reproduce with $fuzzer $findings/<file>"
        status=1
        continue
    fi
    "$fuzzer" -merge=1 "$kept" "$run/corpus" >"$run/merge.log" 2>&1
    python3 tools/fuzzstats.py "fuzz_$t" "$run"/fuzz-*.log
done
exit $status
