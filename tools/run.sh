#!/bin/sh
# Builds the x86_64 program and starts it under wine, in a Wine prefix of its
# own, from the program's directory so that the sound files are found. With no
# display it runs on Xvfb instead, makes a screenshot after a short
# calculation and prints the PNG's path.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --preset win64
cmake --build --preset win64 --target VELMO velmodrv
if [ -n "${DISPLAY:-}" ]; then
    cd build/win64
    exec ../../tools/wine-run ./VELMO.exe
fi
exec python3 tools/screenshot.py build/win64 build/win64/velmo-screenshot.png
