#!/bin/sh
# Builds the release packages: for win32 and win64, a zip and an installer, made
# in build/<preset>/packages and gathered with their SHA256SUMS in build/release,
# with CHANGELOG.md, and the winget and Scoop manifests written from them
# (build-aux/manifests.py) in build/release/winget and build/release/scoop, which
# are then checked against their schemas and the packages (tests/test_manifests.py).
# The manifests name the packages at $VELMO_RELEASE_URL/<version>/ (CMake's
# VELMO_RELEASE_URL: set here, it is kept in both build trees' caches).
# With VELMO_SIGN_PFX and VELMO_SIGN_PASSWORD set, they are signed (build-aux/sign.sh),
# with time stamps from VELMO_SIGN_TSA when that is set.
# Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
release=build/release
rm -rf "$release"
mkdir -p "$release"
for preset in win64 win32; do
    cmake --preset "$preset" ${VELMO_RELEASE_URL:+"-DVELMO_RELEASE_URL=$VELMO_RELEASE_URL"}
    cmake --build --preset "$preset" --target dist
    cp "build/$preset/packages/"*.zip "build/$preset/packages/"*-setup.exe "$release"
    cat "build/$preset/packages/SHA256SUMS" >>"$release/SHA256SUMS"
done
cp CHANGELOG.md "$release"
python3 build-aux/manifests.py "$release" build/win64/packages/release.json build/win32/packages/release.json
version=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["version"])' build/win64/packages/release.json)
# Debian's Python has pytest, PyYAML and jsonschema (python3-pytest, python3-yaml, python3-jsonschema)
python=python3
python3 -c 'import pytest, yaml, jsonschema' 2>/dev/null || python=/usr/bin/python3
"$python" -m pytest tests/test_manifests.py --project-version="$version" --manifests="$release"
cd "$release"
sha256sum -c SHA256SUMS
ls -l
