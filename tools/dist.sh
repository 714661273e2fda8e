#!/bin/sh
# Builds the release packages: for win32 and win64, a zip and an installer,
# in build/<preset>/packages. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
for preset in win64 win32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" --target dist
done
ls -l build/win64/packages/*.zip build/win64/packages/*.exe \
      build/win32/packages/*.zip build/win32/packages/*.exe
