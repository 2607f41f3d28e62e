# The program's windows driven like a person: keys, clicks, photographs and
# the messages they show. Sourced after common.sh by the window scripts.
c="$WINEPREFIX/drive_c"
shots=${QW_SHOTS:-$WINEPREFIX/shots}
mkdir -p "$shots"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
language=English
dpi=96
page_now=0
# Of several windows titled alike (the main window and a message over it),
# `head` takes the first, the main window; `tail` the newest.
window_pick=head
photo_prefix=main-
# The main window redraws a whole panel after a key; a message window needs
# no pause.
key_delay=120 key_pause=0.5 photo_pause=0.5

xid() { # [title]: the X window of a window by its title, once it is mapped
    local i id
    for ((i = 0; i < 50; i++)); do
        id=$(xdotool search --onlyvisible --name "^${1:-Quellwipe}\$" 2>/dev/null | $window_pick -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "${id:-0}"
}
geometry() { # [X window]: x y width height of the window
    xdotool getwindowgeometry "${1:-$(xid)}" |
        sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p; s/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' |
        tr '\n' ' '
}
keys() { # presses keys in the window
    timeout 5 xdotool windowfocus --sync "$(xid)" 2>/dev/null
    xdotool key --delay $key_delay "$@"
    sleep $key_pause
}
click_at() { # x y at 96 DPI inside the window
    local g
    read -r -a g <<<"$(geometry)"
    xdotool mousemove $((g[0] + $1 * dpi / 96)) $((g[1] + $2 * dpi / 96)) click 1
}
photo() { # name [title]: the window as it is now
    sleep $photo_pause
    snap "$(xid "${2:-Quellwipe}")" "$shots/$photo_prefix$1-$language-$dpi.png"
}
snap() { # window file: its picture; without a window, import would wait for a click
    [ -n "$1" ] || {
        echo "no window to photograph for $2" >&2
        return 1
    }
    timeout 60 import -window "$1" "$2" 2>/dev/null
}
brightness() { # png x y width height, at 96 DPI: the mean there, 0 black to 1 white
    convert "$1" -crop "$(($4 * dpi / 96))x$(($5 * dpi / 96))+$(($2 * dpi / 96))+$(($3 * dpi / 96))" \
        +repage -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null
}
list_face() { # png empty|listed: the files or folders list (24 76 460 222) shows its
    # edge, and its hint in the middle only while it is empty
    local edge middle
    edge=$(brightness "$1" 24 90 1 190)
    middle=$(brightness "$1" 40 150 420 80)
    echo "  ${1##*/}: edge ${edge:-none}, middle ${middle:-none}"
    awk -v e="${edge:-1}" -v m="${middle:-1}" -v want="$2" \
        'BEGIN { exit !(e < 0.9 && (want == "empty" ? m < 0.999 : m > 0.9995)) }'
}
focused() { # class and text of the main window's control that has the keyboard focus
    wine "$tool" focus QuellwipeMainWindow - | tr -d '\r'
}
face() { wine "$tool" text QuellwipeMainWindow - | tr -d '\r'; }
message() { wine "$tool" text '#32770' Quellwipe | tr -d '\r'; }
page() { # n: shows panel n (0 files, 1 folders, 2 drives, 3 Recycle Bin, 4 tasks) by Ctrl+Tab
    # Forwards or backwards, never past the tasks panel, which asks the
    # scheduler each time it shows.
    local i
    for ((i = page_now; i < $1; i++)); do keys ctrl+Tab; done
    for ((i = page_now; i > $1; i--)); do keys ctrl+shift+Tab; done
    page_now=$1
}
dialog_keys() { # title keys...: presses keys in that dialog and waits until it has closed
    local title=$1 i
    shift
    wine "$tool" wait '#32770' "$title" 10000 || return 1
    timeout 5 xdotool windowfocus --sync "$(xid "$title")" 2>/dev/null
    xdotool key --delay 150 "$@"
    for ((i = 0; i < 50; i++)); do
        wine "$tool" wait '#32770' "$title" 100 || return 0
    done
    return 1
}
answer() { # title button: waits for a message window and presses a button
    wine "$tool" wait '#32770' "$1" 10000 && wine "$tool" click '#32770' "$1" "$2"
    sleep 0.7
}
gone() { # path: removed within 30 s
    local i
    for ((i = 0; i < 150; i++)); do
        [ -e "$1" ] || return 0
        sleep 0.2
    done
    return 1
}
start() {
    wine "$exe" &
    program=$!
    page_now=0
    wine "$tool" wait QuellwipeMainWindow - 60000 && sleep 1
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
when_asked() { # text button: presses the button of the message showing the text, within 10 s
    local i
    for ((i = 0; i < 50; i++)); do
        if message 2>/dev/null | grep -qF "$1"; then
            wine "$tool" click '#32770' Quellwipe "$2"
            sleep 0.7
            return 0
        fi
        sleep 0.2
    done
    return 1
}
press() { # title button...: presses buttons of a dialog, the last of which closes it
    local title=$1 i
    shift
    sleep 0.5
    for button; do wine "$tool" click '#32770' "$title" "$button" && sleep 0.3; done
    for ((i = 0; i < 50; i++)); do
        wine "$tool" wait '#32770' "$title" 100 || return 0
    done
    return 1
}
