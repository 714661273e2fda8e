#!/bin/sh
# Builds the fuzz target (preset "fuzz", clang-14) and runs it, from a copy of
# its seed corpus, for SECONDS seconds (default 60). New inputs stay under
# build/fuzz/run; a finding fails the run and is kept there.
#   sh tools/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_rows
run=build/fuzz/run
rm -rf "$run"
mkdir -p "$run/corpus" "$run/findings"
cp tests/fuzz/corpus/* "$run/corpus/"
echo "fuzz_rows: $seconds s"
if ! build/fuzz/tests/fuzz/fuzz_rows -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$run/findings/" "$run/corpus" >"$run/log" 2>&1; then
    tail -n 60 "$run/log"
    echo "fuzz_rows FAILED: reproduce with build/fuzz/tests/fuzz/fuzz_rows $run/findings/<file>"
    exit 1
fi
grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$run/log" || true
