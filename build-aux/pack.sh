#!/bin/sh
# Packs the files that ship into FOLDER/NAME.zip and the installer
# FOLDER/NAME-setup.exe, and lists their SHA-256 sums in FOLDER/SHA256SUMS.
# The same files give the same bytes: they are staged in FOLDER/NAME with fixed
# modes and SOURCE_DATE_EPOCH as their time, which both the zip and the
# installer record; zip entries are sorted and their DOS times are UTC.
# With VELMO_SIGN_PFX set, VELMO.exe is signed before it is packed, then the
# uninstaller and the installer (build-aux/sign.sh), each with a time stamp when
# VELMO_SIGN_TSA names a time-stamp server.
# The zip's folder, where the files are staged, has an 8.3 name, as every file
# has, so that Windows 3.1 can unpack it: VELMO and the version's digits
# (VELMO201), or VELMO alone where they do not fit.
# usage: pack.sh FOLDER NAME SETUP.NSI ICON ARCH VERSION FILE...
set -eu
folder=$1 name=$2 nsi=$3 icon=$4 arch=$5 version=$6
shift 6
: "${SOURCE_DATE_EPOCH:?is not set: the time recorded for every packed file}"
here=$(cd "$(dirname "$0")" && pwd)
top=VELMO$(printf %s "$version" | tr -d .)
[ ${#top} -le 8 ] || top=VELMO
mkdir -p "$folder"
cd "$folder"
# $name: the folder's name before it was 8.3
rm -rf "$top" "$name" "$name.zip" "$name-setup.exe" SHA256SUMS
mkdir "$top"
cp "$@" "$top"

# What makensis is given besides: how to sign, when signing
set --
if [ -n "${VELMO_SIGN_PFX:-}" ]; then
    sh "$here/sign.sh" "$top/VELMO.exe"
    set -- "-DSIGN=sh \"$here/sign.sh\""
fi

chmod 755 "$top" "$top"/*.exe
find "$top" -type f ! -name '*.exe' -exec chmod 644 {} +
find "$top" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
find "$top" | LC_ALL=C sort | TZ=UTC zip -X -9 -q -@ "$name.zip"
makensis -V2 -DARCH="$arch" -DVERSION="$version" -DSTAGE="$PWD/$top" -DICON="$icon" \
    -DOUTFILE="$PWD/$name-setup.exe" "$@" "$nsi"
[ $# -eq 0 ] || echo "Signed VELMO.exe, the uninstaller and the installer${VELMO_SIGN_TSA:+, time-stamped by $VELMO_SIGN_TSA}"
sha256sum "$name.zip" "$name-setup.exe" >SHA256SUMS
