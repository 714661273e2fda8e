#!/bin/sh
# Builds the release packages: for win32 and win64, a zip and an installer, made
# in build/<preset>/packages and gathered with their SHA256SUMS in build/release.
# With VELMO_SIGN_PFX and VELMO_SIGN_PASSWORD set, they are signed (tools/sign.sh),
# with time stamps from VELMO_SIGN_TSA when that is set.
# Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
release=build/release
rm -rf "$release"
mkdir -p "$release"
for preset in win64 win32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" --target dist
    cp "build/$preset/packages/"*.zip "build/$preset/packages/"*-setup.exe "$release"
    cat "build/$preset/packages/SHA256SUMS" >>"$release/SHA256SUMS"
done
cd "$release"
sha256sum -c SHA256SUMS
ls -l
