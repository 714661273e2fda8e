#!/bin/sh
# The build that tools/reprotest.sh has reprotest run twice, each time in a
# fresh copy of the source: both architectures' packages (unsigned, and only
# what they need: no tests), and the winget and Scoop manifests written from
# them, gathered in OUT:
#   OUT/win64, OUT/win32: the package folder (VELMO201), the zip, the
#     installer and SHA256SUMS, as build/<preset>/packages has them
#   OUT/manifests: winget/ and scoop/, as tools/dist.sh writes them
# The build's output goes to build/reprotest-build.log; its end is shown when
# the build fails.
# usage: reprotest-build.sh OUT
set -eu
out=$1
unset VELMO_SIGN_PFX VELMO_SIGN_PASSWORD
log=build/reprotest-build.log
release=build/reprotest-release
rm -rf "$out" "$release"
mkdir -p "$out/manifests" "$release" build
for preset in win64 win32; do
    { cmake --preset "$preset" -DBUILD_TESTING=OFF && cmake --build --preset "$preset" --target dist; } \
        >>"$log" 2>&1 || { tail -30 "$log"; exit 1; }
    packages=build/$preset/packages
    name=$(sed -n 's/^[0-9a-f]*  \(.*\)\.zip$/\1/p' "$packages/SHA256SUMS")
    # The package folder: the zip's top folder (VELMO201), the only folder there
    top=$(cd "$packages" && find . -mindepth 1 -maxdepth 1 -type d)
    mkdir "$out/$preset"
    cp -R -p "$packages/$top" "$packages/$name.zip" "$packages/$name-setup.exe" "$packages/SHA256SUMS" "$out/$preset"
    cp "$packages/$name.zip" "$packages/$name-setup.exe" "$release"
done
python3 build-aux/manifests.py "$release" build/win64/packages/release.json build/win32/packages/release.json >>"$log"
mv "$release/winget" "$release/scoop" "$out/manifests"
