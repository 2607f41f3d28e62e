#!/usr/bin/env bash
# Sets up the machine, builds the x86_64 application folder and starts
# Quellwipe.exe from it under wine, on a virtual display, in a wine prefix of
# its own: the first start stores the application folder in the settings,
# which are printed; the window is closed after a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64
root=$(pwd)/build/win64/wine
cmake/wine-template.sh "$root/template"
export QW_WINE_TEMPLATE="$root/template" QW_WINE_DISPLAY=1 TMPDIR="$root"
export QW_DIST="$(pwd)/dist/win64" QW_WINTOOL="$(pwd)/build/win64/tests/qw_wintool.exe"
cmake/wine-run.sh --shell bash -c '
    set -e
    wine "$QW_DIST/Quellwipe.exe" &
    program=$!
    wine "$QW_WINTOOL" wait QuellwipeMainWindow - 60000
    echo "Quellwipe.exe is running from $(winepath -w "$QW_DIST" 2>/dev/null)"
    echo "Its settings after the first start:"
    wine reg query "HKCU\\Software\\Quellwipe\\Shred" | tr -d "\r"
    sleep 3
    wine "$QW_WINTOOL" close QuellwipeMainWindow -
    wait $program
    echo "Quellwipe.exe closed."
'
