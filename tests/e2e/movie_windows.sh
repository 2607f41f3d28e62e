#!/usr/bin/env bash
# The message windows and the shell alert of the real Quellwipe.exe as movie
# windows under wine: each frame opened by a real run and answered by
# keyboard and by mouse, with the answer's effect; German texts; dragging
# by the title; a missing skin; the don't-show-again box; the progress
# window of a real shred cancelled by Esc; 96 and 192 DPI.
# Every window is photographed into QW_SHOTS. Runs inside wine-run.sh --shell.
set -uo pipefail
. "$(dirname "$0")/common.sh"
. "$(dirname "$0")/main_window_common.sh"

title=Quellwipe
# One window of a run at a time: the newest is the one to answer.
window_pick=tail
photo_prefix=
key_delay=80 key_pause=0 photo_pause=0

shown() { wine "$tool" text '#32770' "$title" | tr -d '\r'; }
drags() { # X window: dragging its title area by (120, 80) moves it so
    local before after
    read -r -a before <<<"$(geometry "$1")"
    xdotool mousemove $((before[0] + 60)) $((before[1] + 12)) mousedown 1 sleep 0.3 \
        mousemove_relative -- 120 80 sleep 0.3 mouseup 1
    sleep 0.5
    read -r -a after <<<"$(geometry "$1")"
    echo "  moved from (${before[0]}, ${before[1]}) to (${after[0]}, ${after[1]})"
    test $((after[0] - before[0])) -eq 120 -a $((after[1] - before[1])) -eq 80
}
ended() { # pid: the program ends within 20 s (its exit code in status); one that does not is ended
    local i
    status=
    for ((i = 0; i < 200; i++)); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; status=$?; return 0; }
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
for way in Escape "Tab space" alt+n; do
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

# Moved to a monitor of twice the DPI, the window doubles and lays itself
# out again; Alt and the mnemonic still answer.
victim v.txt
ask '"C:\v.txt"'
wine "$tool" dpi '#32770' "$title" 96 192
sleep 0.5
read -r -a g <<<"$(geometry) 0 0 0 0"
check "a live change to 192 DPI doubles the window (${g[2]}x${g[3]})" \
    test "${g[2]}" -eq 800 -a "${g[3]}" -eq 360
dpi=192 photo live_dpi
keys alt+y
ended $program
check "and Alt+Y still answers Yes" test ! -e "$c/v.txt"

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
check "the title drags the window by (120, 80)" drags "$(xid)"
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
# the current block, and the half-written file stays under its name.
progress_run() {
    head -c $((1 << 30)) /dev/zero >"$c/big.bin"
    # Nine passes: on a busy machine too the run outlasts the drag and DPI
    # checks that come before Esc.
    quellwipe '"/s" "Big" "/O1" "/T3" "C:\big.bin"' &
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
    snap "$id" "$shots/progress-$language-$dpi.png"
    if [ "${1:-}" = drag ]; then
        check "the progress window's title drags it while it shreds" drags "$id"
        wine "$tool" dpi QuellwipeProgressWindow - 96 192
        sleep 0.5
        read -r -a g <<<"$(geometry "$id") 0 0 0 0"
        check "a live change to 192 DPI doubles the progress window (${g[2]}x${g[3]})" \
            test "${g[2]}" -eq 920 -a "${g[3]}" -eq 380
        snap "$id" "$shots/progress-live_dpi-$language-192.png"
    fi
    timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key Escape
    ended $program
}
progress_run drag
check "the progress window shows the file and Cancel" \
    test "$(head -1 <<<"$progress_texts")" = 'C:\big.bin' -a "$(tail -1 <<<"$progress_texts")" = Cancel
check "Esc cancels the shred: the half-written file stays, named in the log" \
    test "$(stat -c %s "$c/big.bin")" -eq $((1 << 30)) -a -n "$(grep -F 'C:\big.bin' "$app_dir/log.txt")"

# The middle and big windows as real runs ask them.
past_confirmation() { # command line: starts a run and answers its confirmation
    ask "$1"
    local prev
    prev=$(shown)
    keys Return
    next_window "$prev"
}
read_only() { victim "$1" && wine attrib +r "C:\\$1" >/dev/null 2>&1; }
middle_question=$(printf 'The following file is read-only, hidden or a system file:\nC:\\ro.txt\nDo you want to shred it anyway?\n&Yes\n&No')
# A read-only file: the middle window asks (frame 3, warning); only Yes shreds.
for case in "Return gone" "alt+y gone" "Escape stays" "alt+n stays" "Tab+space stays"; do
    read -r way effect <<<"$case"
    read_only ro.txt
    past_confirmation '"C:\ro.txt"'
    if [ "$way" = Return ]; then
        photo middle-run-frame3
        check "a read-only file is asked about in the middle window" test "$(shown)" = "$middle_question"
    fi
    keys ${way/+space/ space}
    ended $program
    if [ "$effect" = gone ]; then
        check "$way answers Yes: the read-only file is shredded" test ! -e "$c/ro.txt"
    else
        check "$way answers no: the read-only file stays" test -e "$c/ro.txt"
    fi
done
# A file another program holds open: the middle window tells it (frame 1).
victim busy.txt
hold_open 'C:\busy.txt'
past_confirmation '"C:\busy.txt"'
photo middle-run-frame1
check "a file in use is told in the middle window with OK only" \
    test "$(shown)" = "$(printf 'The following file could not be opened for writing and was not shredded:\nC:\\busy.txt\nIt may be in use by another program, or you may not have permission to change it.\nOK')"
keys Return
check "OK ends the run" ended $program
let_go
check "and the file in use keeps its data" test "$(cat "$c/busy.txt")" = data

# A drive root: the big window asks before the free space is wiped. The drive
# is a small image of this test's own, in case the wipe does start.
. "$(dirname "$0")/ntfs_image.sh"
drive=
if reason=$(qw_ntfs_available); then
    qw_ntfs_create "$QW_IMAGE_DIR/e.img" 16 && qw_ntfs_mount "$QW_IMAGE_DIR/e.img" "$QW_IMAGE_DIR/e" &&
        qw_ntfs_map_drive E "$QW_IMAGE_DIR/e" >/dev/null && drive=E
else
    echo "SKIP: the big window of a free-space wipe: $reason"
fi
if [ -n "$drive" ]; then
    listing=$(ls -A "$QW_IMAGE_DIR/e")
    for way in Escape Tab+space Return; do
        past_confirmation "\"$drive:\\\""
        if [ $way = Return ]; then
            photo big-run-frame2
            now=$(shown)
            check "a drive root is warned about in the big window with OK and Cancel" \
                test "$now" = "$(printf '%s\nOK\nCancel' "$(pack_text 9027 | tr '#' '\n')")"
            keys Return
        else
            keys ${way/+space/ space}
        fi
        # A small drive may be wiped before another wine process could see
        # the progress window: the exit code tells whether the wipe ran.
        ended $program
        if [ $way = Return ]; then
            check "OK wipes the free space: the run exits 0" test "$status" = 0
        else
            check "$way declines the wipe: the drive is left, the run exits 1" test "$status" = 1
        fi
        check "and the drive keeps only what it had" test "$(ls -A "$QW_IMAGE_DIR/e")" = "$listing"
    done
fi

# A broken movie in the application folder: the player names the file and
# the line, and the window still closes with Esc.
movie="$app_dir/Lang/small_warnings.movie"
cp "$movie" "$movie.good"
export QW_PLAYER_LOG='C:\player.log'
for broken in malformed huge; do
    case $broken in
    malformed) { head -4 "$movie.good" && echo 'control button broken 10 10 eighty 30'; } >"$movie" ;;
    huge) head -c $((3 << 20)) /dev/urandom | base64 >"$movie" ;;
    esac
    rm -f "$c/player.log"
    victim v.txt
    ask '"C:\v.txt"'
    [ $broken = malformed ] && photo broken_movie
    keys Escape
    check "a $broken movie: Esc still closes the window" ended $program
    check "and the file stays" test -e "$c/v.txt"
    check "the player names the $broken file: $(head -1 "$c/player.log" 2>/dev/null | tr -d '\r')" \
        grep -q 'small_warnings.movie:[0-9]' "$c/player.log"
done
unset QW_PLAYER_LOG
mv "$movie.good" "$movie"

# A skin without one window's region: that window shows the fixed text in a
# small window and closes unanswered.
skin="$app_dir/Mask/Mask.skn"
cp "$skin" "$skin.good"
for region in Shell Middle; do
    awk -v r="region ${region}_Mask" '$0 == r { skip = 2 } skip-- <= 0' "$skin.good" >"$skin"
    if [ $region = Shell ]; then
        wine reg delete "$key" /v BinAlertDisabled /f >/dev/null 2>&1
        past_confirmation '"recycle"'
    else
        read_only ro.txt
        past_confirmation '"C:\ro.txt"'
    fi
    photo "no_${region}_Mask"
    check "without ${region}_Mask the fixed text is shown" \
        test "$(shown)" = "$(printf "Couldn't load or apply the Mask skin.\nOK")"
    keys Return
    check "and the run ends unanswered" ended $program
done
check "the unanswered read-only question keeps the file" test -e "$c/ro.txt"
check "the unanswered bin warning writes no BinAlertDisabled" test -z "$(reg_value BinAlertDisabled)"
mv "$skin.good" "$skin"

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

# German texts, then every window again in German at 96 DPI and in both
# languages at 192 DPI, for the pictures.
photo_after_confirmation() { # name, command line: the window after the confirmation
    past_confirmation "$2"
    photo "$1"
    keys Escape
    ended $program
}
for pass in "Deutsch 96" "Deutsch 192" "English 192"; do
    read -r language dpi <<<"$pass"
    wine reg add "$key" /v Language /t REG_SZ /d "$language" /f >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    victim v.txt
    ask '"C:\v.txt"'
    photo frame3
    now=$(shown)
    if [ "$pass" = "Deutsch 96" ]; then
        check "a German run shows German texts" \
            test "$(tail -3 <<<"$now")" = "$(printf 'Es kann danach nicht wiederhergestellt werden.\n&Ja\n&Nein')"
    else
        read -r -a g <<<"$(geometry) 0 0 0 0"
        check "at 192 DPI the $language window is twice its size (${g[2]}x${g[3]})" \
            test "${g[2]}" -eq 800 -a "${g[3]}" -eq 360
    fi
    keys Escape
    ended $program
    progress_run
    [ "$pass" = "Deutsch 96" ] &&
        check "the German progress window says Abbrechen" test "$(tail -1 <<<"$progress_texts")" = Abbrechen
    wine reg delete "$key" /v BinAlertDisabled /f >/dev/null 2>&1
    photo_after_confirmation shell_alert '"recycle"'
    photo_after_confirmation frame2 '"C:\missing.txt"'
    ask '"C:\windows"'
    prev=$(shown)
    keys Return
    next_window "$prev"
    photo frame1
    keys Return
    ended $program
    read_only ro.txt
    photo_after_confirmation middle-run-frame3 '"C:\ro.txt"'
    [ -n "$drive" ] && photo_after_confirmation big-run-frame2 "\"$drive:\\\""
    for size in Middle Big; do
        for frame in 1 2 3 4; do
            message $size $frame "The $size window in frame $frame." Escape >/dev/null
        done
    done
done
finish
