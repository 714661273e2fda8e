#!/bin/sh
# Packs the files that ship into FOLDER/NAME.zip and the installer
# FOLDER/NAME-setup.exe, and lists their SHA-256 sums in FOLDER/SHA256SUMS.
# The same files give the same bytes: they are staged in FOLDER/NAME with fixed
# modes and SOURCE_DATE_EPOCH as their time, which both the zip and the
# installer record; zip entries are sorted and their DOS times are UTC.
# With VELMO_SIGN_PFX set, VELMO.exe is signed before it is packed, then the
# uninstaller and the installer (tools/sign.sh).
# usage: pack.sh FOLDER NAME SETUP.NSI ICON ARCH VERSION FILE...
set -eu
folder=$1 name=$2 nsi=$3 icon=$4 arch=$5 version=$6
shift 6
: "${SOURCE_DATE_EPOCH:?is not set: the time recorded for every packed file}"
tools=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$folder"
cd "$folder"
rm -rf "$name" "$name.zip" "$name-setup.exe" SHA256SUMS
mkdir "$name"
cp "$@" "$name"

# What makensis is given besides: how to sign, when signing
set --
if [ -n "${VELMO_SIGN_PFX:-}" ]; then
    sh "$tools/sign.sh" "$name/VELMO.exe"
    set -- "-DSIGN=sh \"$tools/sign.sh\""
fi

chmod 755 "$name" "$name"/*.exe
find "$name" -type f ! -name '*.exe' -exec chmod 644 {} +
find "$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
find "$name" | LC_ALL=C sort | TZ=UTC zip -X -9 -q -@ "$name.zip"
makensis -V2 -DARCH="$arch" -DVERSION="$version" -DSTAGE="$PWD/$name" -DICON="$icon" \
    -DOUTFILE="$PWD/$name-setup.exe" "$@" "$nsi"
[ $# -eq 0 ] || echo "Signed VELMO.exe, the uninstaller and the installer"
sha256sum "$name.zip" "$name-setup.exe" >SHA256SUMS
