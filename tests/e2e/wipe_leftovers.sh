#!/usr/bin/env bash
# What a free-space wipe does with the folder a stopped wipe left on a small
# NTFS image mapped as D:. Fillers under the wipe's names are shredded first
# and the drive ends as free as before; a folder of that name that holds a
# file of someone else's is named in the log, left byte for byte, and the
# run is no "Success". Exits 77 (skipped) where FUSE can't be used.
# shellcheck source-path=SCRIPTDIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/ntfs_image.sh"
. "$here/common.sh"
. "$here/image_checks.sh"
run_limit=40
img=$QW_IMAGE_DIR/ntfs.img
mnt=$QW_IMAGE_DIR/ntfs
left="$mnt/SHREDTMP.\$\$\$"

wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
cd "$WINEPREFIX/drive_c" || exit 1
if ! reason=$(qw_ntfs_available); then
    echo "SKIP: $reason"
    finish
    exit 77
fi
qw_ntfs_create "$img" 32 && qw_ntfs_mount "$img" "$mnt" &&
    check "D: is the NTFS image" qw_ntfs_map_drive D "$mnt" || { finish; exit 1; }
free_before=$(qw_drive_info D)

# A stopped wipe's leftover: two fillers that take most of the drive, and
# the start of its record tree, as a wipe on NTFS leaves them.
mkdir -p "$left/R/d0"
printf 'record' >"$left/R/d0/f1"
head -c $((12 * 1048576)) /dev/zero >"$left/SHRED000.TMP"
head -c $((8 * 1048576)) /dev/zero >"$left/SHRED001.TMP"
marker=$(qw_marker leftover)
# Fillers grow in steps of 512 bytes.
yes "$marker" | head -c 307200 >"$left/SHRED002.TMP"
sync "$left"/*
start=$(now)
check "fillers: Quellwipe ends with exit code 0" shred_run '"/s" "Left" "/O0" "D:\"'
timed "wipe over a leftover of fillers" "$start"
check "fillers: the log is Success" grep -q '^Success' "$app_dir/log.txt"
check "fillers: the leftover folder is gone" test ! -e "$left"
# The 20 MB of fillers are free again. The file table keeps what it grew
# by for the record fill (12 clusters here, ntfs-3g 2022): 256 KiB allowed.
free_again() {
    local was now_free
    read -r _ _ was _ <<<"$free_before"
    read -r _ _ now_free _ <<<"$(qw_drive_info D)"
    [ "$now_free" -ge $((was - 262144)) ] || echo "  free before: $was; after: $now_free"
    [ "$now_free" -ge $((was - 262144)) ]
}
check "fillers: D: is free again but for the file table's growth" free_again
check "fillers: the image unmounts clean" qw_ntfs_unmount "$mnt"
check "fillers: nothing of a leftover filler's content is in the image" absent "$img" "$marker"
qw_ntfs_mount "$img" "$mnt" || { finish; exit 1; }

# A leftover holding a file that is not the wipe's: left and named.
mkdir "$left"
head -c 4096 /dev/urandom >"$left/notes.txt"
head -c 4096 /dev/zero >"$left/SHRED000.TMP"
sum=$(cat "$left"/* | md5sum)
start=$(now)
ran=$(shred_run '"/s" "Left" "/O0" "D:\"')
echo "$ran"
check "foreign: Quellwipe ends with exit code 1, as something was left" grep -q 'exit code 1;' <<<"$ran"
timed "wipe over a foreign leftover" "$start"
check "foreign: the leftover is named in the log" grep -q 'SHREDTMP' "$app_dir/log.txt"
check "foreign: no Success" bash -c "! grep -q '^Success' '$app_dir/log.txt'"
check "foreign: both files are kept byte for byte" test "$(cat "$left"/* | md5sum)" = "$sum"
check "foreign: nothing else of the wipe is left" test "$(ls "$mnt" | grep -c SHREDTMP)" = 1
qw_ntfs_unmount "$mnt" >/dev/null
finish
