#!/usr/bin/env bash
# Ends any wineserver a test left behind in this build's wine folder and
# removes the throw-away prefixes; the prepared template stays.
set -u
root=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
for run in "$root"/qw-wine.*; do
    [ -d "$run" ] || continue
    WINEPREFIX="$run/prefix" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$run"
done
exit 0
