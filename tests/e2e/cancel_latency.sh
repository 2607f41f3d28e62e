#!/usr/bin/env bash
# A click on Cancel in the progress window of a long unattended run is
# answered at once: the window is hidden within 200 ms of the click, and the
# program ends soon after. Runs inside wine-run.sh --shell.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1

# Big enough that the first pass still writes when the click arrives: a
# click during the flush at the end of a pass waits for the disk.
mkdir -p "$c/cancel"
head -c $((1 << 30)) /dev/zero >"$c/cancel/big.bin"
sync "$c/cancel/big.bin"

quellwipe '"/s" "Cancel task" "/O1" "/T3" "C:\cancel\big.bin"' &
program=$!
check "the progress window appears" wine "$tool" wait QuellwipeProgressWindow - 30000
cancel=$(pack_text 9901)
latency=$(wine "$tool" clickwait QuellwipeProgressWindow - "${cancel:-Cancel}" 200 | tr -d '\r')
echo "Cancel answered in ${latency:-?} ms"
check "Cancel hides the window within 200 ms" \
    awk -v ms="${latency:-99999}" 'BEGIN { exit !(ms < 200) }'

# The run ends after the cancelled pass is flushed.
ended=1
for _ in $(seq 1 150); do
    if ! kill -0 "$program" 2>/dev/null; then
        ended=0
        break
    fi
    sleep 0.1
done
check "the program ends within 15 s of the click" test "$ended" -eq 0
wait "$program" 2>/dev/null
# Half-written, it stays under its name, and the log names it so that it can
# be shredded again: removed, its unwritten rest would stay on the disk.
check "the cancelled file stays whole in size" test "$(stat -c %s "$c/cancel/big.bin")" -eq $((1 << 30))
check "and the log names it" grep -qF 'C:\cancel\big.bin' "$app_dir/log.txt"
finish
