#!/bin/sh
# Installs, with apt-get, whatever the build and the tests need and this
# machine lacks. The i686 program runs under Debian's 32-bit wine, which
# comes from the i386 architecture. The speech test and benchmark hear the
# program through a PulseAudio server of their own (wine's sound driver for
# it needs libpulse of each architecture) and match what they hear with
# numpy and scipy. The Python tests run under pytest. The manifests' test reads YAML and checks JSON schemas (python3-yaml,
# python3-jsonschema). The fuzz targets of the number code compare with MPFR
# (libmpfr-dev). The reproducibility check builds as another user (sudo) and
# in another language (locales-all).
set -eu
needed="cmake make g++ binutils googletest libbenchmark-dev clang-14 libclang-rt-14-dev
        g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
        wine wine64 wine32:i386 fonts-wine libwine-dev python3 xvfb xdotool espeak-ng sox halibut p7zip-full nsis zip
        osslsigncode openssl faketime pulseaudio pulseaudio-utils libpulse0 libpulse0:i386 python3-numpy
        python3-yaml python3-jsonschema libmpfr-dev
        python3-pytest python3-pefile python3-scipy reprotest diffoscope-minimal disorderfs sudo locales-all
        shellcheck flake8"
missing=""
for package in $needed; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
        || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update
    # shellcheck disable=SC2086 # a list of package names, split on purpose
    DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
    # The tests start pulseaudio themselves: on a PipeWire desktop, its PulseAudio service
    # (pipewire-pulse) stays the one that starts at login
    case " $missing " in *" pulseaudio "*)
        if dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed"; then
            systemctl --global disable pulseaudio.service pulseaudio.socket || true
        fi ;;
    esac
fi
