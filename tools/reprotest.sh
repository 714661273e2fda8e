#!/bin/sh
# Checks that the release packages are reproducible. The packages of build/win64
# and build/win32 are made (dist, unsigned), then made a second time from a copy
# of the same source in another folder, later, under another umask, time zone
# and language, with only what the packages need, and every file that ships is
# compared: each file of the package folder (VELMO.exe, the wave files, the help
# files, the texts), the zip, the installer and SHA256SUMS, and the winget and
# Scoop manifests written from each build's packages. A difference names
# the file and its first differing byte (and diffoscope's summary, where it is
# installed); the exit code is then 1.
# usage: reprotest.sh
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)
unset VELMO_SIGN_PFX VELMO_SIGN_PASSWORD
for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target dist >/dev/null
done
epoch=$(cat build/win64/source-date-epoch)
[ "$(cat build/win32/source-date-epoch)" = "$epoch" ] || { echo "win64 and win32 were configured at different commits"; exit 1; }

# The files the first builds were made from: git's, as they are in the work tree
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmo-reprotest.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/second-source"
git ls-files -z --cached --others --exclude-standard |
    tar --null --verbatim-files-from -T - --ignore-failed-read -cf - | tar -xf - -C "$scratch/second-source"

# Another folder, umask, time zone and language, and a clock 397 days and 5 hours later
(
    cd "$scratch/second-source"
    umask 077
    export SOURCE_DATE_EPOCH="$epoch" TZ=Pacific/Kiritimati LANG=de_DE.UTF-8 LANGUAGE=de NO_FAKE_STAT=1
    unset LC_ALL
    # Files keep their real times (NO_FAKE_STAT): only the clock is moved
    later() { faketime -m -f +9533h "$@"; }
    echo "Second build: in $PWD, umask $(umask), TZ=$TZ, LANG=$LANG, clock at $(later date -u '+%F %T UTC')"
    for preset in win64 win32; do
        { later cmake --preset "$preset" -DBUILD_TESTING=OFF && later cmake --build --preset "$preset" --target dist; } \
            >"$scratch/$preset.log" 2>&1 || { tail -20 "$scratch/$preset.log"; exit 1; }
    done
)

status=0
for preset in win64 win32; do
    first=build/$preset/packages
    second=$scratch/second-source/build/$preset/packages
    name=$(sed -n 's/^[0-9a-f]*  \(.*\)\.zip$/\1/p' "$first/SHA256SUMS")
    # The package folder: the zip's top folder (VELMO201)
    top=$(python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).namelist()[0].split("/")[0])' "$first/$name.zip")
    compared=0 differing=0
    for file in $(cd "$first" && find "$top" -type f | LC_ALL=C sort) "$name.zip" "$name-setup.exe" SHA256SUMS; do
        compared=$((compared + 1))
        if [ ! -f "$second/$file" ]; then
            echo "$preset: $file: missing in the second build"
        elif where=$(cmp "$first/$file" "$second/$file" 2>&1); then
            echo "$preset: $file: identical"
            continue
        else
            # cmp counts bytes from 1: "A B differ: byte N, line L", or "cmp: EOF on B after byte N"
            case $where in
            *"differ: byte "*) byte=${where#*differ: byte } byte=${byte%%,*}
                echo "$preset: $file: DIFFERS, first at offset $((byte - 1)) (0x$(printf %x $((byte - 1))))" ;;
            *) echo "$preset: $file: DIFFERS: ${where#cmp: }" ;;
            esac
            command -v diffoscope >/dev/null &&
                diffoscope --no-progress "$first/$file" "$second/$file" 2>&1 | head -40
        fi
        differing=$((differing + 1))
    done
    echo "$preset: $compared files compared, $((compared - differing)) identical, $differing differ"
    [ "$differing" -eq 0 ] || status=1
done
# The winget and Scoop manifests, written from each build's four packages
compared=0 differing=0
for side in first second; do
    tree=.
    [ "$side" = first ] || tree=$scratch/second-source
    mkdir "$scratch/$side-release"
    cp "$tree"/build/win64/packages/VELMO-* "$tree"/build/win32/packages/VELMO-* "$scratch/$side-release"
    python3 build-aux/manifests.py "$scratch/$side-release" "$tree/build/win64/packages/release.json" \
        "$tree/build/win32/packages/release.json" >/dev/null
done
for file in $(cd "$scratch/first-release" && find winget scoop -type f | LC_ALL=C sort); do
    compared=$((compared + 1))
    if cmp -s "$scratch/first-release/$file" "$scratch/second-release/$file"; then
        echo "manifests: $file: identical"
    else
        echo "manifests: $file: DIFFERS"
        diff "$scratch/first-release/$file" "$scratch/second-release/$file" | head -20
        differing=$((differing + 1))
    fi
done
echo "manifests: $compared files compared, $((compared - differing)) identical, $differing differ"
[ "$differing" -eq 0 ] && [ "$compared" -eq 4 ] || status=1
echo "Reproducibility check took $(( $(date +%s) - started )) s."
exit $status
