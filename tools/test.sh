#!/bin/sh
# Builds every preset and runs all tests: on the host, and for each Windows
# architecture under wine, the i686 program in a 32-bit prefix and the x86_64
# one in a 64-bit prefix. Installs what is missing first. Where the kernel
# cannot run i386 code, the i686 runtime tests are reported as skipped. Last,
# the packages are built again elsewhere and must be the same bytes.
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)
sh tools/install-deps.sh
# Every shell script and Python file, through shellcheck and flake8
sh tools/lint.sh
for preset in host host-asan win64 win32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done
# The zips and installers, which the install tests use
cmake --build --preset win64 --target dist
cmake --build --preset win32 --target dist
ctest --preset host
ctest --preset host-asan
sh tools/fuzz.sh 20
status=0
for preset in win64 win32; do
    ctest --preset "$preset" >"build/$preset/ctest.log" 2>&1 || status=1
    cat "build/$preset/ctest.log"
done
# Both architectures' packages and the manifests, built twice by reprotest (the
# second time under other conditions), must be the same bytes
sh tools/reprotest.sh >build/reprotest.log 2>&1 || status=1
cat build/reprotest.log

echo "All tests took $(( $(date +%s) - started )) s."
reason=$(tests/support/i386-check) || echo "i686 tests under wine skipped: $reason"
for preset in win64:x86_64 win32:i686; do
    log=build/${preset%%:*}/ctest.log
    echo "${preset#*:}: $(grep -c 'Passed  ' "$log") passed, $(grep -c -E '\*\*\*(Failed|Timeout|Exception|Not Run)' "$log") failed, $(grep -c '\*\*\*Skipped' "$log") skipped"
done
grep -E 'files compared|^reprotest: varied|^Reproducibility check' build/reprotest.log ||
    echo "Reproducibility check: nothing compared (build/reprotest.log)"
exit $status
