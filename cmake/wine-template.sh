#!/usr/bin/env bash
# Prepares the wine prefix that every test run copies: made once per build
# folder, since a new prefix takes ~20 s and a copy ~3 s.
set -euo pipefail
dir=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
qw_wine_skip_32bit_here
# A prefix made by the 64-bit loader alone lacks the 32-bit half that the
# 32-bit loader needs, even to start a 64-bit program: one per way.
made="wine64-only=$QW_WINE64_ONLY"
if [ "$(cat "$dir/ready" 2>/dev/null)" = "$made" ]; then
    exit 0
fi
rm -rf "$dir"
qw_wine_env "$dir"
# wineboot's own wineserver writes the registry out when it exits.
wine wineboot --init >/dev/null 2>&1
wineserver -w
# The prefix links Desktop, Documents ... to $HOME: make them plain folders
# so a copied prefix never points back here.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
        rm "$link" && mkdir "$link"
    fi
done
echo "$made" >"$dir/ready"
