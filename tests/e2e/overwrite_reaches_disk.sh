#!/usr/bin/env bash
# What a shred leaves on the disk. Files on small file-system images, mapped
# as drives, are shredded by the real Quellwipe.exe; then the images are
# unmounted and their raw bytes searched for the files' contents.
#   D: NTFS through ntfs-3g: resident (in the MFT record) and cluster data.
#   E: ext4 through a loop device: the kernel caches writes there, so an
#      overwrite that is never flushed is dropped by the truncation and the
#      old contents stay on the disk (wine 8.0 ignores FILE_FLAG_WRITE_THROUGH).
# Control cases show that the search sees what an ordinary delete leaves.
# Runs inside wine-run.sh --shell; exits 77 (skipped) where FUSE can't be used.
# shellcheck source-path=SCRIPTDIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/ntfs_image.sh"
. "$here/common.sh"
. "$here/image_checks.sh"
run_limit=30

non_resident() { # image, path
    qw_ntfs_data_resident "$1" "$2"
    [ $? = 1 ]
}

no_files_left() { # mount point
    local left
    left=$(find "$1" -type f)
    [ -z "$left" ] || echo "  left: $left"
    [ -z "$left" ]
}

ntfs_img=$QW_IMAGE_DIR/ntfs.img
ntfs_mnt=$QW_IMAGE_DIR/ntfs
ext_img=$QW_IMAGE_DIR/ext4.img
ext_mnt=$QW_IMAGE_DIR/ext4

fresh_ntfs() {
    qw_ntfs_create "$ntfs_img" 32 && qw_ntfs_mount "$ntfs_img" "$ntfs_mnt"
}

fresh_ext4() {
    qw_ext4_create "$ext_img" 32 && qw_ext4_mount "$ext_img" "$ext_mnt"
}

# The drive's files on the disk before the shred, as for any file that has
# been there a while. On NTFS the image is unmounted to look at where the
# data is kept, then mounted again.
settle() { # kind, big file, small file
    if [ "$1" = ntfs ]; then
        qw_ntfs_unmount "$ntfs_mnt" || return 1
        check "the small file's data is resident in its MFT record" \
            qw_ntfs_data_resident "$ntfs_img" "/$3"
        check "the 300 KB file's data has clusters of its own" \
            non_resident "$ntfs_img" "/$2"
        qw_ntfs_mount "$ntfs_img" "$ntfs_mnt"
    else
        sync -f "$ext_mnt/$3"
    fi
}

# Quellwipe.exe with the given method arguments shreds a 300 KB file and a
# tiny one on a fresh image of the kind; nothing of them may be left.
shred_case() { # kind, method arguments...
    local kind=$1 letter img mnt big small start
    shift
    local name="$kind $*:"
    start=$(now)
    echo "--- shred on $kind with $*"
    if [ "$kind" = ntfs ]; then
        letter=D img=$ntfs_img mnt=$ntfs_mnt
        fresh_ntfs || { check "$name fresh NTFS image" false; return; }
    else
        letter=E img=$ext_img mnt=$ext_mnt
        fresh_ext4 || { check "$name fresh ext4 image" false; return; }
    fi
    big=$(qw_marker big)
    small=$(qw_marker small)
    write_big "$mnt/secret.txt" "$big"
    printf '%s' "$small" >"$mnt/tiny.txt"
    settle "$kind" secret.txt tiny.txt || { check "$name files on the disk before the shred" false; return; }
    check "$name both contents are in the image before the shred" \
        all_found "$img" "$big" "$small"

    local line="\"/s\" \"Shred test\""
    for switch; do
        line+=" \"$switch\""
    done
    line+=" \"$letter:\\secret.txt\" \"$letter:\\tiny.txt\""
    check "$name Quellwipe ends with exit code 0 within $run_limit s" shred_run "$line"
    check "$name secret.txt is gone" test ! -e "$mnt/secret.txt"
    check "$name tiny.txt is gone" test ! -e "$mnt/tiny.txt"
    check "$name no file (renamed or not) is left on $letter:" no_files_left "$mnt"

    # Unmounting is the only flush between the shred and the search.
    if [ "$kind" = ntfs ]; then
        check "$name the image unmounts clean" qw_ntfs_unmount "$mnt"
    else
        check "$name the image unmounts" qw_ext4_unmount "$mnt"
    fi
    check "$name nothing of the 300 KB file is left in the image" absent "$img" "$big"
    check "$name nothing of the tiny file is left in the image" absent "$img" "$small"
    timed "case $kind $*" "$start"
}

# The program as a scheduled task finds it installed: AppPath names its
# folder, where the language packs are.
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
# No shell stays inside a mount.
cd "$WINEPREFIX/drive_c" || exit 1

start=$(now)
if ! reason=$(qw_ntfs_available); then
    echo "SKIP: $reason"
    finish
    exit 77
fi
timed "FUSE check (trial mount)" "$start"

# --- D: NTFS through ntfs-3g --------------------------------------------------
start=$(now)
ntfs_ready=0
if fresh_ntfs && check "D: is a fixed NTFS drive with the image's free space" \
    qw_ntfs_map_drive D "$ntfs_mnt"; then
    ntfs_ready=1
fi
timed "NTFS image, mount, map D: (restarts wineserver)" "$start"

if [ $ntfs_ready = 1 ]; then
    echo "--- control: ordinary delete on NTFS"
    start=$(now)
    plain_small=$(qw_marker plainsmall)
    plain_big=$(qw_marker plainbig)
    wine cmd /c "echo $plain_small> D:\\plain.txt"
    write_big "$ntfs_mnt/plain-big.txt" "$plain_big"
    check "control: both contents reach the image while it is mounted" \
        all_found "$ntfs_img" "$plain_small" "$plain_big"
    wine cmd /c 'del D:\plain.txt'
    wine cmd /c 'del D:\plain-big.txt'
    check "control: del removed both files" no_files_left "$ntfs_mnt"
    check "control: the image unmounts clean" qw_ntfs_unmount "$ntfs_mnt"
    check "control: a plain delete leaves the small file's contents in the MFT" \
        found "$ntfs_img" "$plain_small"
    check "control: a plain delete leaves the 300 KB file's contents in its clusters" \
        found "$ntfs_img" "$plain_big"
    timed "control on NTFS" "$start"

    shred_case ntfs /O0 /T3
    shred_case ntfs /O1 /T1
fi

# --- E: ext4 through a loop device --------------------------------------------
start=$(now)
ext_ready=0
if ! reason=$(qw_ext4_available); then
    echo "$reason"
    check "an ext4 image can be loop-mounted (needed to see a missing flush)" false
elif fresh_ext4 && check "E: is a fixed drive with the image's free space" \
    qw_ext4_map_drive E "$ext_mnt"; then
    ext_ready=1
fi
timed "ext4 image, mount, map E: (restarts wineserver)" "$start"

if [ $ext_ready = 1 ]; then
    echo "--- control: delete and overwrites on ext4"
    start=$(now)
    plain=$(qw_marker plain)
    unflushed=$(qw_marker unflushed)
    flushed=$(qw_marker flushed)
    write_big "$ext_mnt/plain.txt" "$plain"
    write_big "$ext_mnt/unflushed.txt" "$unflushed"
    write_big "$ext_mnt/flushed.txt" "$flushed"
    sync -f "$ext_mnt/plain.txt"
    check "control: the three contents are on the disk" \
        all_found "$ext_img" "$plain" "$unflushed" "$flushed"
    wine cmd /c 'del E:\plain.txt'
    # Overwritten in place, then truncated and deleted: what a shredder does,
    # once without and once with a flush before the truncation.
    head -c 300000 /dev/zero | dd of="$ext_mnt/unflushed.txt" conv=notrunc status=none
    truncate -s 0 "$ext_mnt/unflushed.txt" && rm "$ext_mnt/unflushed.txt"
    head -c 300000 /dev/zero | dd of="$ext_mnt/flushed.txt" conv=notrunc,fsync status=none
    truncate -s 0 "$ext_mnt/flushed.txt" && rm "$ext_mnt/flushed.txt"
    check "control: no file left on E:" no_files_left "$ext_mnt"
    check "control: the image unmounts" qw_ext4_unmount "$ext_mnt"
    check "control: a plain delete leaves the contents on the disk" found "$ext_img" "$plain"
    check "control: an overwrite never flushed before the truncation leaves the contents" \
        found "$ext_img" "$unflushed"
    check "control: a flushed overwrite replaces the contents on the disk" \
        absent "$ext_img" "$flushed"
    timed "control on ext4" "$start"

    shred_case ext4 /O0 /T3
    shred_case ext4 /O1 /T1
fi

report
