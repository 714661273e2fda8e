#!/bin/sh
# Builds every preset and runs all tests: on the host, and the Windows build
# of the number tests under wine. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
for preset in host win64 win32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done
ctest --preset host
ctest --preset win64
