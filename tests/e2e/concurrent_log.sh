#!/usr/bin/env bash
# Six unattended runs started at once share one log, three rounds: every
# status sits under its own run's task line (a reader takes the nearest task
# line above), one run naming a missing file logs only its not-found line,
# and every named file is gone.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
log="$app_dir/log.txt"
rm -f "$log"
mkdir -p "$c/runs"
rounds=3
missing=14
for round in $(seq $rounds); do
    pids=()
    tasks=(11 12 13 14 15 16)
    for task in "${tasks[@]}"; do
        [ $task -ne $missing ] && head -c 8388608 /dev/urandom >"$c/runs/f$task.bin"
        quellwipe "\"/s\" \"task$task\" \"/O0\" \"/T1\" \"C:\\runs\\f$task.bin\"" &
        pids+=($!)
    done
    codes=
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}"
        codes+="${tasks[$i]}:$? "
    done
    check "round $round: the run of the missing file exits with 1, the others with 0 ($codes)" \
        test "$codes" = "11:0 12:0 13:0 14:1 15:0 16:0 "
    check "round $round: every named file is gone" test -z "$(ls -A "$c/runs")"
done

echo "--- the log after $rounds rounds"
tr -d '\r' <"$log"
echo "---"
not_found=$(pack_text 9053)
# Each status with the run the nearest task line above gives it; a status
# without its empty line or a line of neither kind is reported as such.
attributed=$(tr -d '\r' <"$log" | awk '
    /^Task Name:/ { owner = substr($0, 11); expect_blank = 0; next }
    expect_blank { if ($0 != "") print "no empty line after a status"; expect_blank = 0; next }
    $0 == "" { print "stray empty line"; next }
    { print owner ": " $0; expect_blank = 1 }
    END { if (expect_blank) print "no empty line after the last status" }' | sort | uniq -c | sed 's/^ *//')
expected=$(for task in 11 12 13 14 15 16; do
    if [ $task -eq $missing ]; then
        echo "$rounds task$task: $not_found"
    else
        echo "$rounds task$task: Success"
    fi
done | sort)
check "every status belongs to its own run" test "$attributed" = "$expected"
[ "$attributed" = "$expected" ] || diff <(echo "$expected") <(echo "$attributed")
lines=$(wc -l <"$log")
check "every line ends with CR LF" test "$(grep -c $'\r$' "$log")" -eq "$lines"
echo "log: $lines lines, $(grep -c '^Task Name:' "$log") task lines for $((rounds * 6)) runs"
finish
