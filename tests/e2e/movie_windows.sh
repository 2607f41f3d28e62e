#!/usr/bin/env bash
# The message windows and the shell alert of the real Quellwipe.exe as movie
# windows under wine: each frame opened by a real run and answered by
# keyboard and by mouse, with the answer's effect; German texts; dragging
# by the title; a missing skin; the don't-show-again box; the progress
# window of a real shred cancelled by Esc; 96 and 192 DPI.
# Every window is photographed into QW_SHOTS. Runs inside wine-run.sh --shell.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
shots=${QW_SHOTS:-$WINEPREFIX/shots}
mkdir -p "$shots"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
title=Quellwipe
dpi=96
language=English

xid() { # the X window of the program's window, once it is mapped
    local i id
    for ((i = 0; i < 30; i++)); do
        id=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | tail -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "${id:-0}"
}
geometry() { # x y width height of the window
    xdotool getwindowgeometry "$(xid)" |
        sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p; s/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' |
        tr '\n' ' '
}
keys() { # presses keys in the window
    local id
    id=$(xid)
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key --delay 80 "$@"
}
click_at() { # x y at 96 DPI inside the window
    local g
    read -r -a g <<<"$(geometry)"
    xdotool mousemove $((g[0] + $1 * dpi / 96)) $((g[1] + $2 * dpi / 96)) click 1
}
photo() { # name: the window as it is now
    import -window "$(xid)" "$shots/$1-$language-$dpi.png" 2>/dev/null
}
shown() { wine "$tool" text '#32770' "$title" | tr -d '\r'; }
ended() { # pid: the program ends within 20 s; one that does not is ended
    local i
    for ((i = 0; i < 200; i++)); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; return 0; }
        sleep 0.1
    done
    echo "  still running; its windows show:"
    shown | sed 's/^/    /'
    wine "$tool" close '#32770' "$title"
    sleep 1
    kill "$1" 2>/dev/null
    wait "$1"
    return 1
}
# Starts a targets run and waits for its first window.
ask() {
    quellwipe "$1" &
    program=$!
    wine "$tool" wait '#32770' "$title" 30000
}
victim() { echo data >"$c/$1"; }
# Waits for the window after the one just answered.
next_window() {
    local i now
    for ((i = 0; i < 100; i++)); do
        now=$(shown)
        [ -n "$now" ] && [ "$now" != "$1" ] && break
        sleep 0.1
    done
    sleep 0.3
}

# Frame 3 (Yes, No): Enter is Yes, Esc and Tab+Space refuse, a click on Yes.
victim v.txt
ask '"C:\v.txt"'
check "the confirmation shows its text and Yes and No" \
    test "$(shown)" = "$(printf 'Do you want to shred the following item permanently?\nC:\\v.txt\nIt cannot be recovered afterwards.\n&Yes\n&No')"
photo frame3
keys Return
ended $program
check "Enter answers Yes: the file is shredded" test ! -e "$c/v.txt"
for way in Escape "Tab space"; do
    victim v.txt
    ask '"C:\v.txt"'
    # shellcheck disable=SC2086
    keys $way
    ended $program
    check "$way refuses: the file stays" test -e "$c/v.txt"
done
ask '"C:\v.txt"'
click_at 144 149
ended $program
check "a click on Yes shreds the file" test ! -e "$c/v.txt"

# Frame 2 (OK, Cancel) for a missing target: OK goes on, Cancel stops.
for answer in Return Escape; do
    victim after.txt
    ask '"C:\missing.txt" "C:\after.txt"'
    prev=$(shown)
    keys Return # the confirmation of both
    next_window "$prev"
    [ "$answer" = Return ] && photo frame2
    now=$(shown)
    check "a missing target is told with OK and Cancel" \
        test "$now" = "$(printf 'The following item was not found and was skipped:\nC:\\missing.txt\nOK\nCancel')"
    keys "$answer"
    ended $program
    if [ "$answer" = Return ]; then
        check "OK goes on to the next target" test ! -e "$c/after.txt"
    else
        check "Cancel stops the run" test -e "$c/after.txt"
    fi
done

# Frame 1 (OK): a protected folder.
ask '"C:\windows"'
prev=$(shown)
keys Return
next_window "$prev"
photo frame1
now=$(shown)
check "a protected folder is told with OK only" \
    test "$now" = "$(printf 'The following folder is a protected system folder and was left unchanged:\nC:\\windows\nOK')"
keys Return
check "OK ends the run" ended $program

# Dragging the title area moves the window.
victim v.txt
ask '"C:\v.txt"'
read -r -a before <<<"$(geometry)"
xdotool mousemove $((before[0] + 60)) $((before[1] + 12)) mousedown 1 sleep 0.3 \
    mousemove_relative -- 120 80 sleep 0.3 mouseup 1
sleep 0.5
read -r -a after <<<"$(geometry)"
check "the title drags the window by (120, 80) from (${before[0]}, ${before[1]}) to (${after[0]}, ${after[1]})" \
    test $((after[0] - before[0])) -eq 120 -a $((after[1] - before[1])) -eq 80
keys Escape
ended $program

# A missing skin: the fixed English text, then the window closes unanswered.
mv "$app_dir/Mask/Mask.skn" "$app_dir/Mask/Mask.skn.away"
ask '"C:\v.txt"'
check "a missing skin shows the fixed text" \
    test "$(shown | grep -v '^OK$')" = "Couldn't load or apply the Mask skin."
wine "$tool" click '#32770' "$title" OK
ended $program
check "and the window closes: the file stays" test -e "$c/v.txt"
# A scheduled run has nobody to answer: its progress window closes unasked,
# which cancels the run, and the run ends.
victim sched.bin
quellwipe '"/s" "Skinless" "/O0" "/T1" "C:\sched.bin"' &
program=$!
check "a scheduled run without its skin ends unanswered" ended $program
check "and logs no Success" bash -c "! grep -q Success '$app_dir/log.txt'"
mv "$app_dir/Mask/Mask.skn.away" "$app_dir/Mask/Mask.skn"

# The Recycle Bin warning: don't show again, ticked by keyboard.
wine reg delete "$key" /v BinAlertDisabled /f >/dev/null 2>&1
ask '"recycle"'
prev=$(shown)
keys Return # the confirmation
next_window "$prev"
photo shell_alert
now=$(shown)
check "the shell alert shows its text, its check box and OK and Cancel" \
    test "$now" = "$(printf '%s\nDo not show this warning again\nOK\nCancel' "$(pack_text 9062)")"
keys shift+Tab space Return
next_window "$now"
photo bin_empty
keys Return
ended $program
check "don't show again writes BinAlertDisabled" test "$(reg_value BinAlertDisabled)" = 0x1

# The progress window of a real shred: photographed, then Esc cancels after
# the current block, and the cancelled file keeps none of its data.
progress_run() {
    head -c $((1 << 30)) /dev/zero >"$c/big.bin"
    quellwipe '"/s" "Big" "/O1" "/T1" "C:\big.bin"' &
    program=$!
    wine "$tool" wait QuellwipeProgressWindow - 30000 || return 1
    local i id=
    for ((i = 0; i < 30; i++)); do
        id=$(xdotool search --onlyvisible --class quellwipe 2>/dev/null | tail -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    sleep 0.5
    progress_texts=$(wine "$tool" text QuellwipeProgressWindow - | tr -d '\r')
    import -window "$id" "$shots/progress-$language-$dpi.png" 2>/dev/null
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key Escape
    ended $program
}
progress_run
check "the progress window shows the file and Cancel" \
    test "$(head -1 <<<"$progress_texts")" = 'C:\big.bin' -a "$(tail -1 <<<"$progress_texts")" = Cancel
check "Esc cancels the shred: the file keeps none of its data" test ! -s "$c/big.bin"

# The middle and big windows in every frame, shown by the program's own
# player from the application folder: Enter gives the default button's
# answer, Esc the frame's Cancel or none.
app_win=$(win_path "$app_dir")
message() { # size frame text key: prints the answer
    wine "$tool" message "$app_win" "$language" "$1" "$2" warning "$3" >"$WINEPREFIX/answer.txt" &
    local pid=$!
    wine "$tool" wait '#32770' "$title" 30000
    sleep 0.3
    photo "$(tr '[:upper:]' '[:lower:]' <<<"$1")-frame$2"
    [ "$1" = Small ] && wine "$tool" scrolls '#32770' "$title" && echo "  (scrolls)"
    keys "$4"
    wait $pid
    sed -n 's/^answer=//p' "$WINEPREFIX/answer.txt" | tr -d '\r'
}
expected_enter=(- Ok Ok Yes Yes)
expected_esc=(- "" Cancel "" Cancel)
for size in Middle Big; do
    for frame in 1 2 3 4; do
        text="The $size window, frame $frame: a message of two sentences. It wraps."
        check "$size frame $frame: Enter answers '${expected_enter[frame]}'" \
            test "$(message $size $frame "$text" Return)" = "${expected_enter[frame]}"
        check "$size frame $frame: Esc answers '${expected_esc[frame]}'" \
            test "$(message $size $frame "$text" Escape)" = "${expected_esc[frame]}"
    done
done
long=$(for i in $(seq 1 40); do printf 'Sentence %s of a very long message. ' "$i"; done)
check "a message too long for its window scrolls, and OK still answers" \
    test "$(message Small 1 "$long" Return)" = "$(printf '  (scrolls)\nOk')"

# German texts, then everything again at 192 DPI for the pictures.
wine reg add "$key" /v Language /t REG_SZ /d Deutsch /f >/dev/null 2>&1
language=Deutsch
ask '"C:\v.txt"'
photo frame3
now=$(shown)
check "a German run shows German texts" \
    test "$(tail -3 <<<"$now")" = "$(printf 'Es kann danach nicht wiederhergestellt werden.\n&Ja\n&Nein')"
keys Escape
ended $program
progress_run
check "the German progress window says Abbrechen" test "$(tail -1 <<<"$progress_texts")" = Abbrechen

wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
dpi=192
for language in Deutsch English; do
    wine reg add "$key" /v Language /t REG_SZ /d $language /f >/dev/null 2>&1
    ask '"C:\v.txt"'
    read -r -a g <<<"$(geometry) 0 0 0 0"
    check "at 192 DPI the $language window is twice its size (${g[2]}x${g[3]})" \
        test "${g[2]}" -eq 800 -a "${g[3]}" -eq 360
    photo frame3
    keys Escape
    ended $program
    wine reg delete "$key" /v BinAlertDisabled /f >/dev/null 2>&1
    ask '"recycle"'
    prev=$(shown)
    keys Return
    next_window "$prev"
    photo shell_alert
    keys Escape
    ended $program
    ask '"C:\missing.txt"'
    prev=$(shown)
    keys Return
    next_window "$prev"
    photo frame2
    keys Escape
    ended $program
    ask '"C:\windows"'
    prev=$(shown)
    keys Return
    next_window "$prev"
    photo frame1
    keys Return
    ended $program
    progress_run
    for size in Middle Big; do
        for frame in 1 2 3 4; do
            message $size $frame "The $size window in frame $frame." Escape >/dev/null
        done
    done
done
finish
