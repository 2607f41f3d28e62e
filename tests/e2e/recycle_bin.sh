#!/usr/bin/env bash
# The Recycle Bin the shell empties is the bin that was overwritten. Wine
# keeps the bin in the desktop's trash ($XDG_DATA_HOME/Trash, else
# .local/share/Trash in the home); here the trashes of the emptied runs lie in
# an NTFS image, unmounted before its raw bytes are searched.
#   planted: a folder C:\$Recycle.Bin\<SID> is there as well.
#   no XDG_DATA_HOME: the trash in the home, found without being told.
#   unopenable: an item made on the Unix side that no Win32 call can open
#     (a*b.txt): the bin is not emptied, and the log says so.
#   link: a link to a file outside the trash, which no Win32 call removes
#     under wine 8.0 and whose emptying deletes its target: never followed,
#     the bin is not emptied, and the linked file keeps its bytes.
# Runs inside wine-run.sh --shell; exits 77 (skipped) where FUSE can't be used.
# shellcheck source-path=SCRIPTDIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/ntfs_image.sh"
. "$here/common.sh"
. "$here/image_checks.sh"
run_limit=40
sid=S-1-5-21-0-0-0-1000

log_has_no_success_but() { # the start of a pack text
    local log
    log=$(tr -d '\r' <"$app_dir/log.txt" 2>/dev/null)
    grep -qx Success <<<"$log" && { echo "  the log says Success"; return 1; }
    grep -qF "$1" <<<"$log" || { echo "  the log lacks: $1"; return 1; }
}

# An item as wine's SHFileOperation with FOF_ALLOWUNDO leaves it (wine 8.0):
# the item under files/, a .trashinfo under info/ naming where it came from.
trash_item() { # trash, name
    mkdir -p "$1/files" "$1/info"
    printf '[Trash Info]\nPath=/home/me/%s\nDeletionDate=2026-12-07T10:00:00\n' "$2" \
        >"$1/info/$2.trashinfo"
}

# A big file, a small one and a folder holding a file. Prints the markers.
fill_trash() { # trash, tag
    local m
    trash_item "$1" report.txt
    m=$(qw_marker "$2big") && echo "$m"
    write_big "$1/files/report.txt" "$m"
    trash_item "$1" note.txt
    m=$(qw_marker "$2small") && echo "$m"
    printf '%s' "$m" >"$1/files/note.txt"
    trash_item "$1" album
    mkdir "$1/files/album"
    m=$(qw_marker "$2folder") && echo "$m"
    write_big "$1/files/album/photo.txt" "$m"
}

six_found() { # image, markers: all six were made and are there
    [ $# = 7 ] || { echo "  only $(($# - 1)) of 6 contents were made"; return 1; }
    all_found "$@"
}

bin_run() { # label [exit code]; the environment is the caller's
    check "$1: Quellwipe ends with exit code ${2:-0} within $run_limit s" \
        shred_run '"/s" "Bin task" "/O0" "/T3" "recycle"' "${2:-0}"
}

# Installed, with the bin warning off as a scheduled bin task needs it; in
# one start of wine.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quellwipe\\Shred]\r\n"AppPath"="C:\\\\Program Files\\\\Quellwipe"\r\n"BinAlertDisabled"=dword:00000001\r\n' \
    >"$WINEPREFIX/drive_c/settings.reg"
wine regedit /S 'C:\settings.reg' >/dev/null 2>&1
cd "$WINEPREFIX/drive_c" || exit 1

# --- unopenable, and a link: on the prefix's own file system -----------------
start=$(now)
echo "--- an item no Win32 call can open"
home_trash=$XDG_DATA_HOME/Trash
trash_item "$home_trash" 'a*b.txt'
printf 'kept by the shell' >"$home_trash/files/a*b.txt"
trash_item "$home_trash" plain.txt
printf 'plain' >"$home_trash/files/plain.txt"
bin_run unopenable 1
check "unopenable: no Success; the log says the bin was not emptied" \
    log_has_no_success_but "$(pack_text 9091 | cut -c1-50)"
check "unopenable: an item left is not told as a cancelled run" \
    bash -c '! grep -qF "$1" "$2"' - "$(pack_text 9070 | cut -c1-40)" "$app_dir/log.txt"
check "unopenable: the item keeps its bytes" test "$(cat "$home_trash/files/a*b.txt")" = 'kept by the shell'
check "unopenable: the bin was not emptied" test -e "$home_trash/info/a*b.txt.trashinfo" -a \
    -e "$home_trash/info/plain.txt.trashinfo" -a -e "$home_trash/files/plain.txt"
rm -rf "$home_trash"
timed "case unopenable" "$start"

start=$(now)
echo "--- a link in the trash to a file outside it"
trash_item "$home_trash" plain.txt
printf 'plain' >"$home_trash/files/plain.txt"
precious="$WINEPREFIX/drive_c/precious.bin"
head -c 100000 /dev/urandom >"$precious"
cp "$precious" "$precious.copy"
trash_item "$home_trash" link.bin
ln -s "$precious" "$home_trash/files/link.bin"
bin_run link 1
check "link: no Success; the log says the link was left" \
    log_has_no_success_but "$(pack_text 9083 | cut -d"#" -f1)"
check "link: the log names the link" log_has_no_success_but 'Trash\files\link.bin'
check "link: the log says the bin was not emptied" \
    log_has_no_success_but "$(pack_text 9091 | cut -c1-50)"
check "link: the linked file keeps every byte" cmp -s "$precious" "$precious.copy"
check "link: the link is still there" test -L "$home_trash/files/link.bin"
rm -rf "$home_trash"
timed "case link" "$start"

if ! reason=$(qw_ntfs_available); then
    echo "SKIP: the cases on an image: $reason"
    [ "$failures" -eq 0 ] || report
    finish
    exit 77
fi
img=$QW_IMAGE_DIR/ntfs.img
mnt=$QW_IMAGE_DIR/ntfs
qw_ntfs_create "$img" 32 && qw_ntfs_mount "$img" "$mnt" || {
    check "an NTFS image is mounted" false
    report
}

# --- planted: a bin folder on C: besides the real bin, and a link -------------
start=$(now)
echo "--- a planted C:\\\$Recycle.Bin\\$sid"
planted="$WINEPREFIX/drive_c/\$Recycle.Bin/$sid"
mkdir -p "$planted"
printf 'left over' >"$planted/\$RAB12CD.txt"
trash=$mnt/xdg/Trash
home_trash=$mnt/home/.local/share/Trash
mapfile -t planted_markers < <(fill_trash "$trash" planted)
mapfile -t home_markers < <(fill_trash "$home_trash" home)
check "all six contents are in the image" six_found "$img" "${planted_markers[@]}" "${home_markers[@]}"
data_home=$XDG_DATA_HOME
export XDG_DATA_HOME=$mnt/xdg
bin_run planted
export XDG_DATA_HOME=$data_home
check "planted: the log is the task line and Success" log_is 'Task Name:Bin task\r\nSuccess\r\n\r\n'
check "planted: the trash holds no item" empty_folder "$trash/files"
check "planted: the trash holds no record" empty_folder "$trash/info"
check "planted: the folder on C: is left as it was" \
    test "$(cat "$planted/\$RAB12CD.txt")" = 'left over'
timed "case planted" "$start"

# --- no XDG_DATA_HOME: the trash in the home ----------------------------------
start=$(now)
echo "--- no XDG_DATA_HOME: the trash of the home"
saved_home=$HOME
export HOME=$mnt/home
unset XDG_DATA_HOME
bin_run "no XDG_DATA_HOME"
export HOME=$saved_home XDG_DATA_HOME=$data_home
check "no XDG_DATA_HOME: the log is the task line and Success" \
    log_is 'Task Name:Bin task\r\nSuccess\r\n\r\n'
check "no XDG_DATA_HOME: the trash holds no item" empty_folder "$home_trash/files"
timed "case no XDG_DATA_HOME" "$start"

# Unmounting is the only flush between the runs and the search.
check "the image unmounts clean" qw_ntfs_unmount "$mnt"
for m in "${planted_markers[@]}" "${home_markers[@]}"; do
    check "nothing of ${m:2:12} is left in the image" absent "$img" "$m"
done
report
