#!/usr/bin/env bash
# Sets up the machine, builds every preset and runs every test: the native
# portable core, then the x86_64 and i686 Windows builds under wine. Where
# 32-bit programs cannot run (or with QW_WINE64_ONLY=1), the i686 build is
# compiled and its tests are reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. cmake/wine-env.sh
qw_wine_decide
qw_wine64_only_sandbox scripts/test.sh "$@"
qw_wine_select
status=0
for preset in linux win64 win32; do
    if [ "$preset" = win32 ] && [ "$QW_WINE64_ONLY" = 1 ]; then
        echo "=== $preset (compiled, not run: its tests show as skipped)"
    else
        echo "=== $preset"
    fi
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" || status=1
done
exit $status
