#!/usr/bin/env bash
# The main window of the real Quellwipe.exe, started without arguments and
# driven like a person, by keyboard and mouse: files chosen in the real
# open-file dialog and a folder in the real browse dialog, shredded; the
# sub-folder options writing only what changed; the about window; F1 and the
# help viewer; the Recycle Bin after its warning; a switch to German that the
# next start keeps; method and pass count kept on close; the free space of an
# image drive wiped from the drive panel; every panel and dialog
# photographed in English and German, and the window at 192 DPI.
# Runs inside wine-run.sh --shell.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/ntfs_image.sh"
. "$here/common.sh"
. "$here/main_window_common.sh"

shot() { echo "$shots/$photo_prefix$1-$language-$dpi.png"; }
photo_all() { # every panel and dialog of the running window, in its language
    local options=alt+o options_title='Sub Folder Options' about='About Quellwipe'
    if [ "$language" = Deutsch ]; then
        options=alt+u options_title=Unterordner-Optionen about='Über Quellwipe'
    fi
    photo files
    check "the empty file list has an edge and says what to do ($language, $dpi DPI)" \
        list_face "$(shot files)" empty
    page 1
    photo folders
    check "the empty folder list has an edge and says what to do ($language, $dpi DPI)" \
        list_face "$(shot folders)" empty
    keys "$options"
    photo subfolders "$options_title"
    dialog_keys "$options_title" Escape
    page 2
    photo drives
    page 3
    photo bin
    page 4
    sleep 2
    photo tasks
    keys alt+b
    photo about "$about"
    dialog_keys "$about" Escape
    # Listed: a file and a folder dropped on the window; the hint gives way.
    echo listed >"$c/listed.txt"
    mkdir -p "$c/listed dir"
    page 0
    /usr/bin/python3 "$here/xdnd_drop.py" "$(xid)" 300 200 "$c/listed.txt" "$c/listed dir"
    sleep 1
    photo files-listed
    check "the listed file shows without the hint ($language, $dpi DPI)" \
        list_face "$(shot files-listed)" listed
    page 1
    photo folders-listed
    check "the listed folder shows without the hint ($language, $dpi DPI)" \
        list_face "$(shot folders-listed)" listed
}
rules() { echo "$(reg_value Folder)/$(reg_value Remove)"; }
rules_are() { # expected: the rules settle to it within 5 s
    local i
    for ((i = 0; i < 25; i++)); do
        [ "$(rules)" = "$1" ] && return 0
        sleep 0.2
    done
    echo "  the rules are $(rules)"
    return 1
}

check "the main window opens without arguments" start
check "its buttons carry their texts and mnemonics" grep -q '&Add files...' <<<"$(face)"
photo files
check "the empty file list has an edge and says what to do" list_face "$(shot files)" empty
check "the hint is no entry of the list" test -z "$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')"

# Two files typed into the real open-file dialog, shredded with Yes.
echo one >"$c/one.txt"
echo two >"$c/two.txt"
keys alt+a
check "the open-file dialog opens" wine "$tool" wait '#32770' Open 10000
xdotool search --onlyvisible --name '^Open$' windowfocus --sync 2>/dev/null
xdotool type --delay 20 '"C:\one.txt" "C:\two.txt"'
xdotool key Return
sleep 1.5
photo files-listed
check "the listed files show without the hint" list_face "$(shot files-listed)" listed
keys alt+d
wine "$tool" wait '#32770' Quellwipe 10000
check "shred now asks first" grep -q 'Do you want to shred all files in the list' <<<"$(message)"
wine "$tool" click '#32770' Quellwipe '&Yes'
check "both files are shredded" bash -c "$(declare -f gone); gone '$c/one.txt' && gone '$c/two.txt'"
sleep 2 # the run ends: its progress window closes, the window is enabled

# Typed names that name nothing are refused, each with a message naming it:
# "b.txt." and "b.txt " (Windows reads both as b.txt) and a missing file.
echo b >"$c/b.txt"
keys alt+a
wine "$tool" wait '#32770' Open 10000
xdotool search --onlyvisible --name '^Open$' windowfocus --sync 2>/dev/null
xdotool type --delay 20 '"C:\b.txt" "C:\b.txt." "C:\b.txt " "C:\nothing.txt"'
xdotool key Return
refusals=
for _ in 1 2 3; do
    wine "$tool" wait '#32770' Quellwipe 10000 || break
    refusals+="$(message)|"
    wine "$tool" click '#32770' Quellwipe OK
    sleep 0.7
done
check "only b.txt itself is listed" \
    test "$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')" = 'C:\b.txt'
check "the dotted and the blank-ended name are refused as naming nothing of their own" \
    test "$(grep -oF "$(pack_text 9100 | cut -c1-40)" <<<"$refusals" | wc -l)" -eq 2
check "the missing name is refused as not found" grep -qF 'C:\nothing.txt' <<<"$refusals"
keys alt+m
wine "$tool" wait '#32770' Quellwipe 10000 && wine "$tool" click '#32770' Quellwipe '&Yes'
sleep 0.7

# The sub-folder options write only the rule that changed.
page 1
keys alt+o
check "the sub-folder options open" wine "$tool" wait '#32770' 'Sub Folder Options' 10000
photo subfolders 'Sub Folder Options'
press 'Sub Folder Options' 'Al&ways' 'Alwa&ys' OK
check "OK writes both changed rules" rules_are 0x2/0x2
wine reg delete "$key" /v Remove /f >/dev/null 2>&1
keys alt+o
wine "$tool" wait '#32770' 'Sub Folder Options' 10000 && press 'Sub Folder Options' OK
check "OK without a change writes nothing" rules_are 0x2/
keys alt+o
wine "$tool" wait '#32770' 'Sub Folder Options' 10000 && press 'Sub Folder Options' 'Alwa&ys' Cancel
check "Cancel writes nothing" rules_are 0x2/
keys alt+o
wine "$tool" wait '#32770' 'Sub Folder Options' 10000 && press 'Sub Folder Options' 'Alwa&ys' OK
check "changing only the remove rule writes it" rules_are 0x2/0x2

# A folder chosen in the real browse dialog, shredded by those rules.
mkdir -p "$c/keep/sub"
echo top >"$c/keep/top.txt"
echo deep >"$c/keep/sub/deep.txt"
keys alt+a
check "the browse dialog opens" wine "$tool" wait '#32770' - 10000
sleep 1
xdotool search --onlyvisible --name '^Browse for Folder$' windowfocus --sync 2>/dev/null
# From the OK button back to the tree; My Computer, C:, then "keep".
xdotool key --delay 300 shift+Tab m Right Down Right
xdotool type --delay 100 keep
xdotool key Return
sleep 2
photo folders-listed
keys alt+d
when_asked 'Do you want to shred all folders' '&Yes'
check "the folder, its files and its sub-folder are shredded and removed" gone "$c/keep"
sleep 2

# About.
keys alt+b
check "the about window opens" wine "$tool" wait '#32770' 'About Quellwipe' 10000
check "it shows the version" grep -q "$QW_VERSION" \
    <<<"$(wine "$tool" text '#32770' 'About Quellwipe' | tr -d '\r')"
photo about 'About Quellwipe'
check "Esc closes it" dialog_keys 'About Quellwipe' Escape

# The Recycle Bin from its panel, after its warning; don't show it again.
trash="$XDG_DATA_HOME/Trash"
mkdir -p "$trash/files" "$trash/info"
echo binned >"$trash/files/binned.txt"
printf '[Trash Info]\nPath=/tmp/binned.txt\nDeletionDate=2026-12-07T10:00:00\n' \
    >"$trash/info/binned.txt.trashinfo"
page 3
photo bin
keys alt+d
for _ in $(seq 50); do message 2>/dev/null | grep -q 'Make sure it holds nothing' && break; sleep 0.2; done
check "the bin's warning shows" grep -q 'Make sure it holds nothing' <<<"$(message)"
wine "$tool" click '#32770' Quellwipe 'Do not show this warning again'
wine "$tool" click '#32770' Quellwipe OK
when_asked 'Do you want to continue' '&Yes'
check "the Recycle Bin is shredded" gone "$trash/files/binned.txt"
check "the warning is switched off" test "$(reg_value BinAlertDisabled)" = 0x1
sleep 2

# The other panels; the scheduler panel lists no task of the program.
page 2
photo drives
page 4
check "the scheduler panel shows without a warning" bash -c "! wine '$tool' wait '#32770' Quellwipe 3000"
check "and lists no task" test -z "$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')"
photo tasks
page 1
photo folders

# Method, pass count and language by keyboard; the close keeps them.
page 0
keys alt+t alt+s ctrl+a 7 Tab
keys alt+l Down
wine "$tool" wait '#32770' Quellwipe 10000
check "the language change is told in German" grep -q 'Die Sprache wurde' <<<"$(message)"
wine "$tool" click '#32770' Quellwipe OK
sleep 0.5
check "the setting holds Deutsch" test "$(reg_value Language)" = Deutsch
keys F1
check "F1 opens the help file" wine "$tool" wait - 'Quellwipe Help' 20000
sleep 1
wine "$tool" close - 'Quellwipe Help'
for _ in $(seq 50); do wine "$tool" wait - 'Quellwipe Help' 100 || break; done
wine "$tool" click QuellwipeMainWindow - 'S&chließen'
check "the window closes and the program ends" closed
check "the method is kept" test "$(reg_value Method)" = 0x1
check "the pass count is kept" test "$(reg_value PassCount)" = 0x7

# The next start is German; the free space of an image drive is wiped from
# the drive panel (never the machine's own disk).
language=Deutsch
image_ready=0
if why=$(qw_ntfs_available); then
    img=$QW_IMAGE_DIR/ntfs.img mnt=$QW_IMAGE_DIR/ntfs
    if qw_ntfs_create "$img" 16 && qw_ntfs_mount "$img" "$mnt" && qw_ntfs_map_drive D "$mnt"; then
        secret=$(qw_marker freed)
        printf '%s' "$secret" >"$mnt/secret.txt"
        sync "$mnt/secret.txt"
        rm "$mnt/secret.txt"
        image_ready=1
    fi
else
    echo "skipped: the drive panel's wipe: $why"
fi
# An update program beside Quellwipe: its button joins the row, which must
# still show every button whole (see the photos).
mkdir -p "$app_dir/Update"
: >"$app_dir/Update/Update.exe"
start
check "the next start is German" grep -q 'Dateien hin&zufügen...' <<<"$(face)"
check "with an update program the row holds all seven buttons" \
    test "$(grep -cxE 'Ü&ber|&Hilfe|Protok&oll|Ber&ichte|&Aktualisieren|Mi&nimieren|S&chließen' <<<"$(face)")" -eq 7
photo_all
if [ "$image_ready" = 1 ]; then
    page 2
    keys alt+l d alt+f
    check "the wipe asks first, in German" grep -q 'freien Speicherplatz' <<<"$(message)"
    wine "$tool" click '#32770' Quellwipe OK
    # The wipe starts, fills D: and removes its files again.
    sleep 2
    for _ in $(seq 300); do
        [ -z "$(find "$mnt" -mindepth 1 -name 'SHRED*')" ] &&
            ! wine "$tool" wait QuellwipeProgressWindow - 100 && break
        sleep 0.2
    done
    check "the wipe's files are gone from D:" test -z "$(find "$mnt" -mindepth 1 -name 'SHRED*')"
fi
wine "$tool" close QuellwipeMainWindow -
closed
if [ "$image_ready" = 1 ]; then
    qw_ntfs_unmount "$mnt" >/dev/null
    check "nothing of the deleted file is left in the image" bash -c "! grep -q -a -F '$secret' '$img'"
fi

# A file and a folder dragged from a Linux file manager join their lists.
echo dropped >"$c/dropped.txt"
mkdir -p "$c/dropdir"
start
check "an X drag source drops a file and a folder on the window" \
    /usr/bin/python3 "$here/xdnd_drop.py" "$(xid)" 300 200 "$c/dropped.txt" "$c/dropdir"
sleep 1
items=$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')
check "the dropped file is listed as $(win_path "$c/dropped.txt")" grep -qixF "$(win_path "$c/dropped.txt")" <<<"$items"
check "the dropped folder is not among the files" test "$(grep -ic dropdir <<<"$items")" -eq 0
photo dropped
page 1
check "the dropped folder is listed as $(win_path "$c/dropdir")" \
    grep -qixF "$(win_path "$c/dropdir")" <<<"$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')"

# A name holding a bar is refused, not split into two entries: the entry
# removed is the one selected, and Shred now spares it.
removeall=alt+m remove=alt+r shred=alt+d yes='&Yes'
[ "$language" = Deutsch ] && removeall=alt+l remove=alt+e shred=alt+v yes='&Ja'
yes() { wine "$tool" wait '#32770' Quellwipe 10000 && wine "$tool" click '#32770' Quellwipe "$yes"; sleep 0.7; }
page 0
keys $removeall
yes
for f in keep1 'p|q' keep2; do echo "$f" >"$c/$f.txt"; done
/usr/bin/python3 "$here/xdnd_drop.py" "$(xid)" 300 200 "$c/keep1.txt" "$c/p|q.txt" "$c/keep2.txt" &
drop=$!
for _ in $(seq 50); do message 2>/dev/null | grep -qF 'p|q.txt' && break; sleep 0.2; done
check "a name with a bar is refused with a message" grep -qF 'p|q.txt' <<<"$(message)"
import -window root "$shots/main-bar-refused-$language-$dpi.png" 2>/dev/null
wine "$tool" click '#32770' Quellwipe OK
wait "$drop"
sleep 1
items=$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')
check "the other two are one entry each" test "$(grep -c . <<<"$items")" -eq 2
xdotool mousemove $(wine "$tool" itemat QuellwipeMainWindow - 0 | tr -d '\r') click 1
sleep 0.5
keys $remove
items=$(wine "$tool" items QuellwipeMainWindow - | tr -d '\r')
check "removing the first entry leaves keep2 alone" grep -qixF "$(win_path "$c/keep2.txt")" <<<"$items"
check "and keep1 is off the list" test "$(grep -c . <<<"$items")" -eq 1
keys $shred
yes
check "Shred now shreds keep2" bash -c "$(declare -f gone); gone '$c/keep2.txt'"
check "and spares the removed keep1 and the refused name" \
    bash -c "grep -qx keep1 '$c/keep1.txt' && grep -qx 'p|q' '$c/p|q.txt'"
sleep 2
wine "$tool" close QuellwipeMainWindow -
closed

# Twice the DPI: the window and its fonts double.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
dpi=192
start
read -r -a g <<<"$(xdotool getwindowgeometry "$(xid)" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p') 0 0"
check "at 192 DPI the window is twice its size (${g[0]}x${g[1]})" test "${g[0]}" -eq 1320
photo_all
wine "$tool" close QuellwipeMainWindow -
closed
wine reg add "$key" /v Language /t REG_SZ /d English /f >/dev/null 2>&1
language=English
start
photo_all
wine "$tool" close QuellwipeMainWindow -
closed

# The window's runs in the erasure record: no task, what each list held.
record=$(users_folder)/erasure.jsonl
check "the window's runs leave a record that holds" \
    python3 "$(dirname "$0")/../../tools/check_record.py" "$record"
window_runs=$(python3 - "$record" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    if e["type"] == "run-start" and e["task"] is None:
        print("run", *e["targets"])
    elif e["type"] == "item":
        print(" ", e["kind"], e["path"], e["outcome"])
PY
)
echo "$window_runs"
check "the files' run names both and shreds them" grep -qzF \
    "$(printf 'run C:\\one.txt C:\\two.txt\n  file C:\\one.txt shredded\n  file C:\\two.txt shredded')" <<<"$window_runs"
for line in 'file C:\keep\sub\deep.txt shredded' 'file C:\keep\top.txt shredded' \
    'folder C:\keep shredded'; do
    check "the folder's run records: $line" grep -qxF "  $line" <<<"$window_runs"
done
check "the bin's run records its item and the bin" grep -qzP \
    'run recycle\n  recycle-bin-item \S*binned.txt shredded\n(  recycle-bin-item .*\n)*  recycle-bin Recycle Bin shredded' <<<"$window_runs"

finish
