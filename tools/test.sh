#!/bin/sh
# Builds every preset and runs all tests: on the host, and the Windows build
# of the number tests under wine. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
for preset in host host-asan win64 win32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done
# The zips and installers; the win64 installer is tested below
cmake --build --preset win64 --target dist
cmake --build --preset win32 --target dist
ctest --preset host
ctest --preset host-asan
sh tools/fuzz.sh 20
ctest --preset win64
