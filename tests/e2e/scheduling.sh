#!/usr/bin/env bash
# Scheduling from the main window of the real Quellwipe.exe, with the real
# Taskloom.dll registered by regsvr32 and wine's own Task Scheduler: a file
# list, a folder list, a drive and the Recycle Bin each become a task, named
# in the task-name window and given a schedule in the program's own schedule
# window (wine has no property sheet); the tasks are read back through the
# component; the panel lists exactly the program's tasks; "Run now" shreds;
# delete and delete all remove the right task files and keep another
# program's task. The windows are photographed in English at 96 DPI and in
# German at 192 DPI.
# Runs inside wine-run.sh --shell.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/ntfs_image.sh"
. "$here/common.sh"
. "$here/main_window_common.sh"

jobs_dir="$c/windows/tasks"
cp "$here/scheduling.vbs" "$c/scheduling.vbs"
tasks_read() { $native cscript //nologo 'C:\scheduling.vbs' | tr -d '\r'; }
name_window() { # the task-name window is up, within 10 s
    local i
    for ((i = 0; i < 50; i++)); do
        message 2>/dev/null | grep -qE 'scheduled task:|geplanten Aufgabe:' && return 0
        sleep 0.2
    done
    return 1
}
schedule_title() { [ "$language" = Deutsch ] && echo 'Zeitplan der Aufgabe' || echo 'Task schedule'; }
name_task() { # name: types it into the task-name window and confirms
    name_window || return 1
    timeout 5 xdotool windowfocus --sync "$(xid Quellwipe)" 2>/dev/null
    xdotool key alt+n ctrl+a
    xdotool type --delay 30 "$1"
    xdotool key Return
    sleep 1
}
in_schedule() { # keys...: typed into the schedule window, which must be up
    wine "$tool" wait '#32770' "$(schedule_title)" 10000 || return 1
    timeout 5 xdotool windowfocus --sync "$(xid "$(schedule_title)")" 2>/dev/null
    xdotool key --delay 150 "$@"
}
typed() { # keys then a text: the text replaces what the focused edit holds
    xdotool key --delay 150 "$1" ctrl+a
    xdotool type --delay 30 "$2"
}
photo_name_window() { # name: the task-name window, the newest window of that title
    sleep 1
    snap "$(xdotool search --onlyvisible --name '^Quellwipe$' | tail -1)" \
        "$shots/main-$1-$language-$dpi.png"
}
confirm_schedule() { dialog_keys "$(schedule_title)" Return; }
pick_task() { # name: clicks it in the scheduler panel's list
    local index point
    index=$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r' | sed 's/ *$//' | grep -nxF "$1" | cut -d: -f1)
    [ -n "$index" ] || return 1
    point=$(wine "$tool" itemat QuellwipeMainWindow - $((index - 1)) | tr -d '\r') || return 1
    xdotool mousemove $point click 1
    sleep 0.5
}
listed() { wine "$tool" items QuellwipeMainWindow - | tr -d '\r' | sed 's/ *$//' | LC_ALL=C sort | tr '\n' '|'; }
has_task() { # expected line of tasks_read
    grep -qxF "$1" <<<"$tasks"
}

# Another program's task, which the program must neither list nor delete.
$native cscript //nologo 'C:\scheduling.vbs' foreign other >/dev/null
check "another program's task exists" test -f "$jobs_dir/other.job"

# A drive to schedule the wipe of: an image as D: where FUSE works.
drive=C
if why=$(qw_ntfs_available); then
    img=$QW_IMAGE_DIR/ntfs.img mnt=$QW_IMAGE_DIR/ntfs
    qw_ntfs_create "$img" 16 && qw_ntfs_mount "$img" "$mnt" && qw_ntfs_map_drive D "$mnt" && drive=D
else
    echo "the drive task names C: instead of an image drive: $why"
fi

check "the main window opens" start

# A file list: an empty name first, then a taken one, then a new one.
echo one >"$c/s1.txt"
echo two >"$c/s2.txt"
check "two files are dropped on the window" \
    /usr/bin/python3 "$here/xdnd_drop.py" "$(xid)" 300 200 "$c/s1.txt" "$c/s2.txt"
sleep 1
keys alt+e
check "Schedule opens the task-name window" name_window
photo_name_window taskname
xdotool key Return
check "OK without a name closes it and asks for a name" when_asked 'Please enter a name for the task' OK
check "the list stays" test "$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r' | wc -l)" -eq 2
keys alt+e
name_task '   '
check "blanks alone are no name either" when_asked 'Please enter a name for the task' OK
check "and make no task" test -z "$(ls "$jobs_dir" | grep -x ' *\.job')"
keys alt+e
name_task other
check "a taken name is refused" when_asked 'A scheduled task with this name already exists' OK
check "and the window stays open for another" name_window
name_task 'night files'
check "the schedule window opens in place of the property sheet" \
    wine "$tool" wait '#32770' 'Task schedule' 10000
photo schedule 'Task schedule'
in_schedule alt+w alt+m alt+f
typed alt+r 2027-01-04
typed alt+t 02:30
photo schedule-weekly 'Task schedule'
check "OK closes the schedule window" confirm_schedule
check "the file list is emptied" test -z "$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')"

# A folder list, daily.
mkdir -p "$c/sched dir"
echo three >"$c/sched dir/s3.txt"
page 1
/usr/bin/python3 "$here/xdnd_drop.py" "$(xid)" 300 200 "$c/sched dir"
sleep 1
keys alt+e
name_task 'nightly folders'
in_schedule alt+d
typed alt+r 2027-02-01
typed alt+t 23:05
check "the folder task gets its schedule" confirm_schedule

# The free space of a drive, monthly on the 12th.
page 2
keys alt+r "$(tr 'A-Z' 'a-z' <<<"$drive")"
sleep 0.5
keys alt+e
name_task 'drive'
in_schedule alt+n Tab ctrl+a 1 2
typed alt+r 2027-03-12
typed alt+t 04:00
photo schedule-monthly 'Task schedule'
check "the drive task gets its schedule" confirm_schedule

# The Recycle Bin, once; then a name taken in other letter case, which the
# Task Scheduler refuses: told with its reason, and the program goes on.
page 3
keys alt+e
name_task bin
in_schedule alt+o
typed alt+r 2027-04-30
typed alt+t 12:00
check "the Recycle Bin task gets its schedule" confirm_schedule
keys alt+e
name_task OTHER
for _ in $(seq 50); do message 2>/dev/null | grep -q 'Error code: 0x' && break; sleep 0.2; done
photo_name_window refused
message
check "a refusal of the Task Scheduler is told with its code" \
    when_asked 'Error code: 0x' OK
check "the window is still there" wine "$tool" wait QuellwipeMainWindow - 10000

tasks=$(tasks_read)
echo "$tasks"
app='C:\Program Files\Quellwipe'
check "the file task: exact application, parameters, folder, creator, weekly Mon+Fri, enabled" has_task \
    "night files|Quellwipe|$app\\Quellwipe.exe|\"/s\" \"night files\" \"/O0\" \"/T3\" \"$(win_path "$c/s1.txt")\" \"$(win_path "$c/s2.txt")\"|$app|1|2|2027-01-04|02:30|34||0"
check "the folder task, daily" has_task \
    "nightly folders|Quellwipe|$app\\Quellwipe.exe|\"/s\" \"nightly folders\" \"/O0\" \"/T3\" \"/F0\" \"/R0\" \"$(win_path "$c/sched dir")\"|$app|1|1|2027-02-01|23:05|||0"
check "the drive task, monthly on the 12th" has_task \
    "drive|Quellwipe|$app\\Quellwipe.exe|\"/s\" \"drive\" \"/O0\" \"/T3\" \"$drive:\\\"|$app|1|3|2027-03-12|04:00||2048|0"
check "the Recycle Bin task, once" has_task \
    "bin|Quellwipe|$app\\Quellwipe.exe|\"/s\" \"bin\" \"/O0\" \"/T3\" \"recycle\"|$app|1|0|2027-04-30|12:00|||0"
check "no task was made of the refused name" test "$(grep -ci '^other|' <<<"$tasks")" -eq 1

# The panel lists exactly the program's tasks.
page 4
sleep 1
check "the panel lists exactly the program's four tasks" test "$(listed)" = 'bin|drive|night files|nightly folders|'
check "and no name ends with a blank a screen reader would read" \
    bash -c "! wine '$tool' items QuellwipeMainWindow - | tr -d '\r' | grep -q ' \$'"
photo tasks

# Run now: the Task Scheduler starts the program, which shreds the files.
pick_task 'night files'
keys alt+w
for attempt in 1 2 3; do
    for _ in $(seq 40); do
        [ -e "$c/s1.txt" ] || [ -e "$c/s2.txt" ] || break 2
        sleep 0.5
    done
    echo "the task has not started yet: Run now again ($attempt)"
    keys alt+w
done
check "Run now shreds the task's files" bash -c "! test -e '$c/s1.txt' && ! test -e '$c/s2.txt'"
for _ in $(seq 40); do grep -aq 'Success' "$app_dir/log.txt" 2>/dev/null && break; sleep 0.5; done
check "the log names the task" grep -aq 'Task Name:night files' "$app_dir/log.txt"
check "and says Success" grep -aq 'Success' "$app_dir/log.txt"
grep -aq 'Success' "$app_dir/log.txt" || tr -d '\r' <"$app_dir/log.txt"
# The keyboard reaches the window again without a click: the focus is back
# on a control, Tab moves it on and Ctrl+Tab pages.
timeout 5 xdotool windowfocus --sync "$(xid)" 2>/dev/null
sleep 0.5
before=$(focused)
keys Tab
after=$(focused)
check "after Run now the focus is back in the window ('$before') and Tab moves it ('$after')" \
    test -n "$before" -a -n "$after" -a "$before" != "$after"
keys ctrl+Tab
check "and Ctrl+Tab shows the next panel, the empty file list" \
    test -z "$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')"
keys ctrl+shift+Tab

# Properties: the program's schedule window shows the stored trigger.
pick_task drive
keys alt+p
check "Properties opens the schedule window" wine "$tool" wait '#32770' 'Task schedule' 10000
shown=$(wine "$tool" text '#32770' 'Task schedule' | tr -d '\r')
check "it shows the stored start date and time" \
    bash -c "grep -qx 2027-03-12 <<<'$shown' && grep -qx 04:00 <<<'$shown'"
check "Esc leaves it unchanged" dialog_keys 'Task schedule' Escape

# Delete: no question, the right file goes, the list follows.
pick_task 'nightly folders'
keys alt+d
sleep 1
check "Delete removes that task's file" test ! -e "$jobs_dir/nightly folders.job"
check "and only that one" test -e "$jobs_dir/drive.job" -a -e "$jobs_dir/bin.job"
check "the panel lists the three left" test "$(listed)" = 'bin|drive|night files|'
wine "$tool" close QuellwipeMainWindow -
closed

# In German at twice the DPI: the panel, the schedule and task-name
# windows, delete all.
language=Deutsch
dpi=192
wine reg add "$key" /v Language /t REG_SZ /d Deutsch /f >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
start
page 4
sleep 1
photo tasks
pick_task bin
keys alt+e
check "the German schedule window opens" wine "$tool" wait '#32770' 'Zeitplan der Aufgabe' 10000
photo schedule 'Zeitplan der Aufgabe'
dialog_keys 'Zeitplan der Aufgabe' Escape
page 3
keys alt+t
check "the German task-name window opens" name_window
photo_name_window taskname
dialog_keys Quellwipe Escape
page 4
wine "$tool" click QuellwipeMainWindow - 'Alle l&öschen'
check "delete all asks first" when_asked 'Möchten Sie alle geplanten Aufgaben' '&Ja'
for _ in $(seq 30); do
    [ -z "$(find "$jobs_dir" -name '*.job' ! -name other.job)" ] && break
    sleep 0.5
done
check "delete all removes every task file of the program" \
    test -z "$(find "$jobs_dir" -name '*.job' ! -name other.job)"
ls "$jobs_dir"; message
check "and keeps the other program's task" test -e "$jobs_dir/other.job"
check "the panel is empty" test -z "$(listed)"
wine "$tool" close QuellwipeMainWindow -
closed

# A list too long for one task: 300 files with paths of 120 characters make
# a line of 36,927 characters, more than a task file keeps (32,641 here).
# Refused after the name with how many would fit, no task file left, the
# list kept; the list cut to that many is made and reads back as written.
long_dir="$c/long list/$(printf 'd%.0s' $(seq 98))"
mkdir -p "$long_dir"
for i in $(seq 1000 1299); do echo "$i" >"$long_dir/$i.txt"; done
long_files() { # first last: drops those files on the file list
    local i files=()
    for i in $(seq "$1" "$2"); do files+=("$long_dir/$i.txt"); done
    /usr/bin/python3 "$here/xdnd_drop.py" "$(xid)" 300 200 "${files[@]}"
}
list_size() { wine "$tool" items QuellwipeMainWindow - | tr -d '\r' | grep -c .; }
lists() { # count: the file list holds that many entries within 20 s
    local i
    for ((i = 0; i < 40; i++)); do
        [ "$(list_size)" -eq "$1" ] && return 0
        sleep 0.5
    done
    return 1
}
no_task() { ! tasks_read | grep -q "^$1|"; }
too_long() { # text: the refusal shows it within 20 s
    local i
    for ((i = 0; i < 100; i++)); do
        message 2>/dev/null | grep -qF "$1" && return 0
        sleep 0.2
    done
    message
    return 1
}
speak() { # language dpi: the next start shows that language at that DPI
    language=$1 dpi=$2
    wine reg add "$key" /v Language /t REG_SZ /d "$1" /f >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$2" /f >/dev/null 2>&1
}
clear_list() {
    keys $removeall
    when_asked '' "$yes"
}
speak Deutsch 192
removeall=alt+l schedule=alt+t
start
long_files 1000 1299
check "300 long paths are listed" lists 300
keys $schedule
name_task longlist
check "the refusal says how many fit, in German" too_long 'nur die ersten 265 dieser 300 Dateien'
photo_name_window too-long
when_asked 'nur die ersten 265' OK
check "no task file is made" test ! -e "$jobs_dir/longlist.job"
check "the list is kept" test "$(list_size)" -eq 300
wine "$tool" close QuellwipeMainWindow -
closed

speak English 96
removeall=alt+m schedule=alt+e yes='&Yes'
start
long_files 1000 1299
lists 300
keys $schedule
name_task longlist
check "300 files: refused, with the limit of 32,641 characters" \
    too_long 'at most 32641 characters, so only the first 265 of these 300 files'
photo_name_window too-long
when_asked 'only the first 265' OK
check "no task file is made" test ! -e "$jobs_dir/longlist.job"
check "the list is kept" test "$(list_size)" -eq 300
check "and the component knows no such task" no_task longlist
clear_list
long_files 1000 1265
lists 266
keys $schedule
name_task longlist
check "266 files: refused as well" too_long 'only the first 265 of these 266 files'
when_asked 'only the first 265' OK
clear_list
long_files 1000 1264
lists 265
keys $schedule
name_task longlist
check "265 files make the task" confirm_schedule
check "and empty the list" lists 0
long_win=$(win_path "$long_dir")
long_line='"/s" "longlist" "/O0" "/T3"'
for i in $(seq 1000 1264); do long_line+=" \"$long_win\\$i.txt\""; done
tasks=$(tasks_read)
check "the task reads back through the component as written (${#long_line} characters)" \
    grep -qF "longlist|Quellwipe|$app\\Quellwipe.exe|$long_line|$app|1|" <<<"$tasks"
check "no other task of that name is left" test "$(grep -c '^longlist|' <<<"$tasks")" -eq 1
page 4
sleep 1
check "the panel lists it" test "$(listed)" = 'longlist|'
wine "$tool" close QuellwipeMainWindow -
closed

# A language that names no pack, a path at that: the program starts in
# English (its title and its texts, never "Error") and stores English; rules
# out of range are stored corrected before any task line could take them.
language=English
wine reg add "$key" /v Language /t REG_SZ /d '..\..\windows\win' /f >/dev/null 2>&1
wine reg add "$key" /v Folder /t REG_DWORD /d 7 /f >/dev/null 2>&1
wine reg add "$key" /v Remove /t REG_DWORD /d 4294967295 /f >/dev/null 2>&1
check "the rules are out of range before the start" \
    test "$(reg_value Folder)/$(reg_value Remove)" = 0x7/0xffffffff
check "a pack-less language starts the main window" start
check "under the English title" wine "$tool" wait QuellwipeMainWindow Quellwipe 1000
wine "$tool" click QuellwipeMainWindow - 'Shre&d now'
check "and says the list is empty in English" when_asked "$(pack_text 9021 | cut -c1-40)" OK
check "the language is stored as English" test "$(reg_value Language)" = English
check "the rules are stored as never" test "$(reg_value Folder)/$(reg_value Remove)" = 0x0/0x0
wine "$tool" close QuellwipeMainWindow -
closed

[ "$drive" = D ] && qw_ntfs_unmount "$mnt" >/dev/null
finish
