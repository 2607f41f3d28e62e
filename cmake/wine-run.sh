#!/usr/bin/env bash
# Runs a Windows program under wine in a throw-away copy of the prepared
# prefix, with its own wineserver. QW_WINE_TEMPLATE names the prepared
# prefix; QW_WINE_DISPLAY=1 gives the program an X display of its own.
# "--shell CMD ..." runs CMD (a test script) in that environment instead.
# QW_ARCH names the architecture of what runs (x86_64 unless told): a 32-bit
# run on a machine that cannot execute 32-bit programs ends with 77, skipped.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
qw_wine_skip_32bit_here
template=${QW_WINE_TEMPLATE:?QW_WINE_TEMPLATE names the prepared wine prefix}
run=$(mktemp -d "${TMPDIR:-/tmp}/qw-wine.XXXXXX")
cp -a "$template/." "$run/"
qw_wine_env "$run"
qw_wineserver_start
cleanup() {
    qw_wineserver_stop
    rm -rf "$run"
}
trap cleanup EXIT
launch=(wine)
if [ "${1:-}" = --shell ]; then
    shift
    launch=()
fi
if [ "${QW_WINE_DISPLAY:-0}" = 1 ]; then
    # A window twice its size at 192 DPI needs a screen to match.
    xvfb-run -a -s "-screen 0 ${QW_SCREEN:-1024x768x24}" "${launch[@]}" "$@"
else
    "${launch[@]}" "$@"
fi
