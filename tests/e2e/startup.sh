#!/usr/bin/env bash
# The real Quellwipe.exe from the application folder under wine: what a
# first start writes to the registry, the single-instance rule, and a
# targets start that writes no settings. Runs inside wine-run.sh --shell.
set -euo pipefail
. "$(dirname "$0")/common.sh"

# The current drive is C:, so a log without an application folder lands in C:\.
cd "$WINEPREFIX/drive_c"

# A targets start on a fresh profile writes no setting at all.
wine "$exe" /s Nightly 'C:\nothing-here.txt' || true
check "targets start leaves the settings key unmade" \
    bash -c "! wine reg query '$key' >/dev/null 2>&1"
check "targets start logs its task name at the drive root" \
    grep -q "^Task Name:Nightly"$'\r'"\$" log.txt

# First interactive start: AppPath is the program's folder, nothing else.
wine "$exe" &
first=$!
check "main window opens" wine "$tool" wait QuellwipeMainWindow - 60000
expected_path='C:\Program Files\Quellwipe'
check "AppPath is the program folder without trailing backslash ($expected_path)" \
    test "$(reg_value AppPath)" = "$expected_path"
for name in PassCount Method Language; do
    check "$name is not written" test -z "$(reg_value "$name")"
done

# A second interactive start says another instance runs, and ends.
wine "$exe" &
second=$!
title=$(pack_text 9606)
check "second instance shows its message" wine "$tool" wait '#32770' "$title" 30000
shown=$(wine "$tool" text '#32770' "$title" | tr -d '\r')
first_line=$(pack_text 9065 | cut -d'#' -f1)
check "the message is the pack's text for another running instance" \
    grep -qF "$first_line" <<<"$shown"
wine "$tool" click '#32770' "$title" OK
check "second instance exits with code 0" wait "$second"

wine "$tool" close QuellwipeMainWindow -
check "first instance exits with code 0 when its window closes" wait "$first"

finish
