#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again.
set -euo pipefail
. "$(dirname "$0")/../cmake/wine-env.sh"
qw_wine_decide

packages=(
    cmake ninja-build g++ googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libwine-dev
    wine wine64 xvfb xauth xdotool ntfs-3g fuse3
    clang imagemagick nsis strace fp-utils python3-xlib
    nlohmann-json3-dev libssl-dev chromium
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# wine32 runs the i686 build. Where 32-bit programs cannot run, its
# packages' install scripts would fail too: it is left out.
if [ "$QW_WINE64_ONLY" = 0 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' ||
        missing+=(wine32:i386)
fi
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
