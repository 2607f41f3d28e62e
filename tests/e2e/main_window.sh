#!/usr/bin/env bash
# The main window of the real Quellwipe.exe, started without arguments and
# driven by keyboard and mouse: files chosen in the real open-file dialog and
# shredded; a switch to German that the next start keeps; method and pass
# count kept on close; the scheduling commands' warning; every panel
# photographed in English and German, and the window at 192 DPI.
# Runs inside wine-run.sh --shell.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
shots=${QW_SHOTS:-$WINEPREFIX/shots}
mkdir -p "$shots"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
language=English
dpi=96

xid() { # the X window of the main window, once it is mapped
    local i id
    for ((i = 0; i < 50; i++)); do
        id=$(xdotool search --onlyvisible --name "^Quellwipe\$" 2>/dev/null | head -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "${id:-0}"
}
keys() {
    timeout 5 xdotool windowfocus --sync "$(xid)" 2>/dev/null
    xdotool key --delay 100 "$@"
    sleep 0.5
}
click_at() { # x y at 96 DPI inside the main window
    local g
    read -r -a g <<<"$(xdotool getwindowgeometry "$(xid)" |
        sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')"
    xdotool mousemove $((g[0] + $1 * dpi / 96)) $((g[1] + $2 * dpi / 96)) click 1
    sleep 0.7
}
photo() { sleep 0.5; import -window "$(xid)" "$shots/main-$1-$language-$dpi.png" 2>/dev/null; }
face() { wine "$tool" text QuellwipeMainWindow - | tr -d '\r'; }
message() { wine "$tool" text '#32770' Quellwipe | tr -d '\r'; }
start() {
    wine "$exe" &
    program=$!
    wine "$tool" wait QuellwipeMainWindow - 60000
}
closed() { # the program has ended within 20 s
    local i
    for ((i = 0; i < 200; i++)); do
        kill -0 "$program" 2>/dev/null || { wait "$program"; return 0; }
        sleep 0.1
    done
    kill "$program" 2>/dev/null
    return 1
}
tab() { click_at "$1" 52; } # a tab's caption, by its x

check "the main window opens without arguments" start
check "its buttons carry their texts and mnemonics" \
    grep -q '&Add files...' <<<"$(face)"
photo files

# Two files typed into the real open-file dialog, shredded with Yes.
echo one >"$c/one.txt"
echo two >"$c/two.txt"
wine "$tool" click QuellwipeMainWindow - '&Add files...'
check "the open-file dialog opens" wine "$tool" wait '#32770' Open 10000
xdotool search --onlyvisible --name '^Open$' windowactivate --sync 2>/dev/null
xdotool type --delay 20 '"C:\one.txt" "C:\two.txt"'
xdotool key Return
sleep 1.5
photo files-listed
wine "$tool" click QuellwipeMainWindow - 'Shre&d now'
wine "$tool" wait '#32770' Quellwipe 10000
check "shred now asks first" grep -q 'Do you want to shred all files in the list' <<<"$(message)"
wine "$tool" click '#32770' Quellwipe '&Yes'
for _ in $(seq 50); do [ -e "$c/one.txt" ] || [ -e "$c/two.txt" ] || break; sleep 0.2; done
check "both files are shredded" test ! -e "$c/one.txt" -a ! -e "$c/two.txt"
sleep 2 # the run ends: its progress window closes, the window is enabled

# Each panel; scheduling says it is not available yet.
for panel in "folders 104" "drives 148" "bin 215" "tasks 305"; do
    read -r name x <<<"$panel"
    tab "$x"
    if [ "$name" = tasks ]; then
        wine "$tool" wait '#32770' Quellwipe 5000 &&
            check "the scheduler panel warns that scheduling is not available" \
                grep -q 'Taskloom.dll' <<<"$(message)"
        wine "$tool" click '#32770' Quellwipe OK
        sleep 0.5
    fi
    photo "$name"
done
tab 40

# Method, pass count and language by keyboard; the close keeps them.
keys alt+t alt+s ctrl+a 7 Tab
keys alt+l Down
wine "$tool" wait '#32770' Quellwipe 10000
check "the language change is told in German" \
    grep -q 'Die Sprache wurde' <<<"$(message)"
wine "$tool" click '#32770' Quellwipe OK
sleep 0.5
check "the setting holds Deutsch" test "$(reg_value Language)" = Deutsch
wine "$tool" click QuellwipeMainWindow - 'S&chließen'
check "the window closes and the program ends" closed
check "the method is kept" test "$(reg_value Method)" = 0x1
check "the pass count is kept" test "$(reg_value PassCount)" = 0x7

# The next start is German; every panel photographed.
language=Deutsch
start
check "the next start is German" grep -q 'Dateien hin&zufügen...' <<<"$(face)"
photo files
for panel in "folders 104" "drives 160"; do
    read -r name x <<<"$panel"
    tab "$x"
    photo "$name"
done
wine "$tool" close QuellwipeMainWindow -
closed

# A file and a folder dragged from a Linux file manager join their lists.
echo dropped >"$c/dropped.txt"
mkdir -p "$c/dropdir"
start
check "an X drag source drops a file and a folder on the window" \
    /usr/bin/python3 "$(dirname "$0")/xdnd_drop.py" "$(xid)" 300 200 "$c/dropped.txt" "$c/dropdir"
sleep 1
items=$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')
check "the dropped file is listed as $(win_path "$c/dropped.txt")" grep -qixF "$(win_path "$c/dropped.txt")" <<<"$items"
check "the dropped folder is not among the files" test "$(grep -ic dropdir <<<"$items")" -eq 0
photo dropped
tab 104
check "the dropped folder is listed as $(win_path "$c/dropdir")" \
    grep -qixF "$(win_path "$c/dropdir")" <<<"$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')"
wine "$tool" close QuellwipeMainWindow -
closed

# Twice the DPI: the window and its fonts double.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
dpi=192
start
read -r -a g <<<"$(xdotool getwindowgeometry "$(xid)" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p') 0 0"
check "at 192 DPI the window is twice its size (${g[0]}x${g[1]})" test "${g[0]}" -eq 1320
photo files
wine "$tool" close QuellwipeMainWindow -
closed

finish
