#!/bin/sh
# Makes the wave files named in LIST into OUTDIR: spoken words with espeak-ng,
# or a tone with sox; 22050 Hz 16-bit mono PCM, silence trimmed at both ends.
# usage: mksounds.sh LIST OUTDIR
set -eu
list=$1 out=$2
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
format="-D -r 22050 -b 16 -c 1"
grep -v '^[[:space:]]*\(#\|$\)' "$list" | while read -r name _says how what; do
    if [ "$how" = tone ]; then
        # shellcheck disable=SC2086 # sox's options and synth's arguments, split on purpose
        sox $format -n "$tmp/cut.wav" synth $what
    else
        espeak-ng -v en-us -s "$how" -w "$tmp/said.wav" "$what"
        # shellcheck disable=SC2086 # sox's options, split on purpose
        sox "$tmp/said.wav" $format "$tmp/cut.wav" \
            silence 1 0.005 1% reverse silence 1 0.005 1% reverse norm -1
    fi
    # A short fade at both ends: no click where the cut was made
    sox -D "$tmp/cut.wav" "$tmp/$name" fade q 0.003 -0 0.01
    mv "$tmp/$name" "$out/$name"
done
