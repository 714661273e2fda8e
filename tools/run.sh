#!/bin/sh
# Builds the x86_64 program and starts it under wine, in a Wine prefix of its
# own, from the program's directory so that the sound files are found; its
# sounds play through the desktop's PulseAudio or PipeWire. With no display it
# runs on Xvfb instead, makes a screenshot after a short calculation and
# prints the PNG's path.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake --preset win64
cmake --build --preset win64 --target VELMO velmodrv
if [ -n "${DISPLAY:-}" ]; then
    # Wine plays the sounds through the desktop's PulseAudio, or PipeWire's PulseAudio service
    # (pipewire-pulse), whose socket it finds through XDG_RUNTIME_DIR: the desktop user's, not root's
    [ -n "${PULSE_SERVER:-}" ] || [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ] ||
        echo "No PulseAudio or PipeWire (pipewire-pulse) socket for $(id -un): VELMO 2 runs without sound" >&2
    cd build/win64
    exec ../../tests/support/wine-run ./VELMO.exe
fi
# The wine session reads the program's PE header with pefile, which Debian's Python has (python3-pefile)
python=python3
python3 -c 'import pefile' 2>/dev/null || python=/usr/bin/python3
PYTHONPATH=build-aux exec "$python" tests/support/screenshot.py build/win64 build/win64/velmo-screenshot.png
