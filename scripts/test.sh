#!/usr/bin/env bash
# Sets up the machine, builds every preset and runs every test: the native
# portable core, then the x86_64 and i686 Windows builds under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
status=0
for preset in linux win64 win32; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" || status=1
done
exit $status
