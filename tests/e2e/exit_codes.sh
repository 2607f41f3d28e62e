#!/usr/bin/env bash
# The exit code of real runs under wine: 0 shredded, 1 something left, 2
# cancelled, 3 not started; the Task Scheduler's record of a task's last
# result; the log in the user's folder when the application folder's
# cannot be written; and the erasure record all these runs leave.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
log="$app_dir/log.txt"
mkdir -p "$c/codes"
own=$(users_folder)
[ -n "$own" ] && rm -f "$own/erasure.jsonl"

head -c 100000 /dev/urandom >"$c/codes/a.bin"
quellwipe '"/s" "Clean" "/O1" "/T1" "C:\codes\a.bin"'
code=$?
check "a run that shreds everything exits 0" test $code -eq 0 -a ! -e "$c/codes/a.bin"

head -c 100000 /dev/urandom >"$c/codes/b.bin"
quellwipe '"/s" "Missing" "C:\codes\b.bin" "C:\codes\gone.bin"'
check "a run with a missing target exits 1" test $? -eq 1 -a ! -e "$c/codes/b.bin"

head -c 100000 /dev/urandom >"$c/codes/held.bin"
hold_open 'C:\codes\held.bin'
quellwipe '"/s" "Held" "C:\codes\held.bin"'
code=$?
let_go
check "a run on a file held open exits 1 ($code) and the file stays" \
    test "$code" -eq 1 -a -s "$c/codes/held.bin"

head -c 100000 /dev/urandom >"$c/codes/c.bin"
rm -f "$log"
quellwipe '"/s" "Bad switch" "/F7" "C:\codes\c.bin"'
check "a run with an unknown rule exits 3 and touches nothing" test $? -eq 3 -a -s "$c/codes/c.bin"
check "and its log says which switch" grep -aq '/F7' "$log"
check "and no Success" test "$(grep -ac Success "$log")" = 0

# Cancelled in its progress window: 2. Its caption counts the items done.
head -c 1000 /dev/urandom >"$c/codes/small.bin"
head -c $((512 << 20)) /dev/zero >"$c/codes/big.bin"
quellwipe '"/s" "Cancelled" "/O1" "/T3" "C:\codes\small.bin" "C:\codes\big.bin"' &
program=$!
check "the progress window counts the first of two items done" \
    wine "$tool" wait QuellwipeProgressWindow 'Shredding - 1 of 2 done' 30000
shots=${QW_SHOTS:-$WINEPREFIX/shots}
mkdir -p "$shots"
sleep 0.5
window=$(xdotool search --onlyvisible --name '^Shredding - 1 of 2 done$' 2>/dev/null | head -1)
[ -n "$window" ] && timeout 60 import -window "$window" "$shots/progress-counted-English-96.png" 2>/dev/null
wine "$tool" clickwait QuellwipeProgressWindow - "$(pack_text 9901)" 2000 >/dev/null
wait "$program"
code=$?
check "a cancelled run exits 2" test $code -eq 2
rm -f "$c/codes/big.bin"

# "Run now" of a task whose target is missing: the scheduler keeps the exit
# code in the task file (the fixed part's exit code at byte 40).
cp "$(dirname "$0")/taskloom.vbs" "$c/taskloom.vbs"
rm -f "$log"
$native cscript //nologo 'C:\taskloom.vbs' "$(win_path "$exe")" 'C:\codes\never-there.bin' \
    "$(win_path "$app_dir")" >/dev/null
for _ in $(seq 1 60); do
    grep -aq 'never-there\|Not found\|%s' "$log" 2>/dev/null && break
    sleep 0.5
done
check "the scheduled run logged its missing target" grep -aq 'Run by the scheduler' "$log"
job="$c/windows/tasks/qw-run.job"
result=
for _ in $(seq 1 20); do
    result=$(od -An -tu4 -j40 -N4 "$job" 2>/dev/null | tr -d ' ')
    [ "$result" = 1 ] && break
    sleep 0.5
done
echo "the task's last result as wine's scheduler keeps it: ${result:-none}"
check "the Task Scheduler's last result is 1" test "$result" = 1

# A log that cannot be written in the application folder (here a folder of
# that name): the entry goes to the user's own folder.
rm -f "$log"
mkdir -p "$log"
head -c 1000 /dev/urandom >"$c/codes/d.bin"
quellwipe '"/s" "Fallback" "C:\codes\d.bin"'
code=$?
check "the run still exits 0" test $code -eq 0
user_log=$(users_folder)/log.txt
check "its entry is in the user's folder" \
    test -n "$user_log" -a "$(cat "$user_log" 2>/dev/null)" = "$(printf 'Task Name:Fallback\r\nSuccess\r\n\r')"
rmdir "$log"

# One run with names withheld.
wine reg add "$key" /v RecordNames /t REG_DWORD /d 0 /f >/dev/null 2>&1
head -c 5000 /dev/urandom >"$c/codes/secret name.bin"
quellwipe '"/s" "Withheld" "C:\codes\secret name.bin"'
wine reg delete "$key" /v RecordNames /f >/dev/null 2>&1

record=$(users_folder)/erasure.jsonl
checker="$(dirname "$0")/../../tools/check_record.py"
check "the erasure record's lines parse and chain" python3 "$checker" "$record"
# Each run as one line: task, exit code, then its items.
runs=$(python3 - "$record" <<'PY'
import json, sys
runs = {}
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    r = runs.setdefault(e["run"], {"items": []})
    if e["type"] == "run-start":
        r.update(task=e["task"], start=e)
    elif e["type"] == "item":
        detail = (f"{e['bytes']} {e['passes']} {'verified' if e['verified'] else 'unverified'}"
                  if e["outcome"] == "shredded" else f"{e['reason']} {e['code']}")
        r["items"].append(f"{e['kind']} {e['path']} {e['outcome']} {detail}")
    else:
        r["exit"] = e["exit"]
for r in runs.values():
    s = r["start"]
    assert s["computer"] and s["user"] and s["version"] and s["verify"] is True, s
    print(f"{r['task']}|{r['exit']}|{s['method']} {s['rounds']}x{s['passes']}|{';'.join(s['targets'])}|"
          + ";".join(r["items"]))
PY
)
echo "$runs"
expect_run() {
    check "the record holds: $1" grep -qxF "$1" <<<"$runs"
}
expect_run 'Clean|0|thorough 1x3|C:\codes\a.bin|file C:\codes\a.bin shredded 100000 3 verified'
expect_run 'Missing|1|quick 1x1|C:\codes\b.bin;C:\codes\gone.bin|file C:\codes\b.bin shredded 100000 1 verified;unknown C:\codes\gone.bin left not-found 0'
expect_run 'Held|1|quick 1x1|C:\codes\held.bin|file C:\codes\held.bin left cannot-open 32'
expect_run 'Bad switch|3|quick 1x1|C:\codes\c.bin|'
expect_run 'Cancelled|2|thorough 3x9|C:\codes\small.bin;C:\codes\big.bin|file C:\codes\small.bin shredded 1000 9 verified;file C:\codes\big.bin left stopped 0'
expect_run 'Withheld|0|quick 1x1|withheld|file withheld shredded 5000 1 verified'
check "no name of the withheld run is in the record" test "$(grep -c 'secret name' "$record")" = 0

# A line edited by hand, or one taken out, shows.
tampered="$WINEPREFIX/tampered.jsonl"
found() { # what the checker says of the record with a sed script applied
    sed "$1" "$record" >"$tampered"
    python3 "$checker" "$tampered" 2>&1
    echo "exit $?"
}
check "an edited line is found" grep -qz 'line 4 does not chain to line 3.*exit 1' \
    <<<"$(found '3s/"bytes":100000/"bytes":100001/')"
check "a removed line is found" grep -qz 'line 2 does not chain to line 1.*exit 1' \
    <<<"$(found 2d)"
finish
