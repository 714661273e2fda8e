#!/bin/sh
# Builds the fuzz targets (preset "fuzz", clang-14) and runs each one, from a
# copy of its seed corpus, for SECONDS seconds (default 20). New inputs stay
# under build/fuzz/run; any finding fails the run and is kept there.
#   sh tools/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_keys fuzz_clipboard fuzz_settings
status=0
for target in keys clipboard settings; do
    run=build/fuzz/run/$target
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/findings"
    cp tests/fuzz/corpus/$target/* "$run/corpus/"
    echo "fuzz_$target: $seconds s"
    if ! build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=20 \
            -rss_limit_mb=4096 -max_len=4096 -print_final_stats=1 \
            -artifact_prefix="$run/findings/" "$run/corpus" >"$run/log" 2>&1; then
        tail -n 60 "$run/log"
        echo "fuzz_$target FAILED: reproduce with build/fuzz/tests/fuzz/fuzz_$target $run/findings/<file>"
        status=1
        continue
    fi
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$run/log" || true
done
exit $status
