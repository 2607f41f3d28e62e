#!/usr/bin/env bash
# What a free-space wipe and a Recycle Bin shred leave on the disk. The real
# Quellwipe.exe works on small file-system images mapped as drives; then the
# images are unmounted and their raw bytes searched for what was deleted.
#   Free space: files deleted the ordinary way from D: (NTFS through ntfs-3g)
#     and E: (ext4 through a loop device), then the drive's free space wiped.
#   Bin: wine keeps the Recycle Bin in the desktop's trash under
#     $XDG_DATA_HOME, which is pointed into an NTFS image for these runs.
# A free-space wipe only ever targets a drive that is checked to be one of
# these images. Runs inside wine-run.sh --shell; exits 77 (skipped) where
# FUSE can't be used.
# shellcheck source-path=SCRIPTDIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/ntfs_image.sh"
. "$here/common.sh"
. "$here/image_checks.sh"
run_limit=40

same_text() { # what, before, after
    [ "$2" = "$3" ] || echo "  $1 before: $2; after: $3"
    [ "$2" = "$3" ]
}

ntfs_img=$QW_IMAGE_DIR/ntfs.img
ntfs_mnt=$QW_IMAGE_DIR/ntfs
ext_img=$QW_IMAGE_DIR/ext4.img
ext_mnt=$QW_IMAGE_DIR/ext4
image_mb=48

fresh_ntfs() { # [size in MB]
    qw_ntfs_create "$ntfs_img" "${1:-$image_mb}" && qw_ntfs_mount "$ntfs_img" "$ntfs_mnt"
}

# Without its journal and its reserves, so that a fill can take every free
# block (kernel 6.18): with the journal, a deleted file's blocks are handed
# out again only after the next commit, and the block of the fill's own
# folder, given back before the journal was checkpointed, kept its old data
# at home; reserved clusters (2 %) are kept from delayed allocation, and
# 5 % of the blocks from users other than root.
fresh_ext4() {
    local dev
    qw_ext4_create "$ext_img" $image_mb &&
        tune2fs -O ^has_journal -m 0 "$ext_img" >/dev/null &&
        qw_ext4_mount "$ext_img" "$ext_mnt" || return 1
    dev=$(findmnt -n -o SOURCE "$ext_mnt")
    echo 0 >"/sys/fs/ext4/${dev##*/}/reserved_clusters"
}

# The last line of defence before a free-space wipe: the letter leads to a
# mount of one of this script's images, and wine sees a drive of that size.
image_drive() { # letter, mount point
    local link info total
    link=$(readlink -f "$WINEPREFIX/dosdevices/${1,,}:")
    if [ "$link" != "$(readlink -f "$2")" ] || [ "${link#"$QW_IMAGE_DIR"/}" = "$link" ] ||
        ! mountpoint -q "$2"; then
        echo "  ${1^^}: leads to '$link', not to a mounted image of this test"
        return 1
    fi
    info=$(qw_drive_info "$1")
    read -r _ _ _ total <<<"$info"
    if [ -z "$total" ] || [ "$total" -gt $((image_mb * 1048576)) ]; then
        echo "  ${1^^}: reports a size of '${total:-?}' bytes, more than this test's images ($image_mb MB)"
        return 1
    fi
}

# Files deleted the ordinary way, then the drive's free space wiped: nothing
# of them may be left in the image, and the wipe leaves nothing behind.
wipe_case() { # kind, image size in MB, method arguments...
    local kind=$1 size=$2 letter img mnt big small before after start
    shift 2
    local name="wipe $kind $*:"
    start=$(now)
    echo "--- free-space wipe on $kind with $*"
    if [ "$kind" = ntfs ]; then
        letter=D img=$ntfs_img mnt=$ntfs_mnt
        fresh_ntfs "$size" || { check "$name fresh NTFS image" false; return; }
    else
        letter=E img=$ext_img mnt=$ext_mnt
        fresh_ext4 || { check "$name fresh ext4 image" false; return; }
    fi
    big=$(qw_marker wipebig)
    write_big "$mnt/secret.txt" "$big"
    # Small files: on NTFS their data stays inside their file records.
    local smalls=() bytes m
    for bytes in 200 400 600; do
        m=$(qw_marker "small$bytes")
        smalls+=("$m")
        { printf '%s' "$m"; head -c $((bytes - ${#m})) /dev/zero | tr '\0' '.'; } >"$mnt/note$bytes.txt"
    done
    sync "$mnt"/*.txt
    [ "$kind" = ntfs ] || sync -f "$mnt"
    check "$name all contents are in the image" all_found "$img" "$big" "${smalls[@]}"
    wine cmd /c "del $letter:\\secret.txt"
    for bytes in 200 400 600; do
        wine cmd /c "del $letter:\\note$bytes.txt"
    done
    check "$name del removed the files" empty_folder_but_lost_found "$mnt"
    check "$name a plain delete leaves the contents in the image" all_found "$img" "$big" "${smalls[@]}"
    before=$(qw_drive_info "$letter")

    if ! check "$name $letter: is this test's image" image_drive "$letter" "$mnt"; then
        return
    fi
    local line="\"/s\" \"Wipe task\""
    for switch; do
        line+=" \"$switch\""
    done
    line+=" \"$letter:\\\""
    check "$name Quellwipe ends with exit code 0 within $run_limit s" shred_run "$line"
    check "$name the log is the task line and Success" log_is 'Task Name:Wipe task\r\nSuccess\r\n\r\n'
    check "$name $letter:\\SHREDTMP.\$\$\$ is gone" test ! -e "$mnt/SHREDTMP.\$\$\$"
    check "$name nothing else is left on $letter:" empty_folder_but_lost_found "$mnt"
    after=$(qw_drive_info "$letter")
    check "$name $letter: has the free space it had before the wipe" \
        same_text "type, file system, free, size" "$before" "$after"

    # Unmounting is the only flush between the wipe and the search.
    if [ "$kind" = ntfs ]; then
        check "$name the image unmounts clean" qw_ntfs_unmount "$mnt"
    else
        check "$name the image unmounts" qw_ext4_unmount "$mnt"
    fi
    check "$name nothing of the deleted 300 KB file is left in the image" absent "$img" "$big"
    for m in "${smalls[@]}"; do
        check "$name nothing of the deleted small file ${m:2:8} is left in the image" \
            absent "$img" "$m"
    done
    timed "case wipe $kind $*" "$start"
}

# Another name of the drive's root is that root: its free space is wiped,
# and nothing on it is shredded as a folder's content.
root_alias_case() { # target naming D:\
    local name="root alias $1:" start
    start=$(now)
    echo "--- $1 is the root of D:"
    fresh_ntfs 16 || { check "$name fresh NTFS image" false; return; }
    echo keep >"$ntfs_mnt/keep.txt"
    mkdir -p "$ntfs_mnt/dir" && echo inner >"$ntfs_mnt/dir/inner.txt"
    check "$name D: is this test's image" image_drive D "$ntfs_mnt" || return
    check "$name Quellwipe ends with exit code 0 within $run_limit s" \
        shred_run "\"/s\" \"Alias\" \"/O0\" \"/F2\" \"/R2\" \"$1\""
    check "$name the free space was wiped and Success logged" log_is 'Task Name:Alias\r\nSuccess\r\n\r\n'
    check "$name the drive's files and folders are untouched" \
        test "$(cat "$ntfs_mnt/keep.txt")/$(cat "$ntfs_mnt/dir/inner.txt")" = keep/inner
    check "$name D:\\SHREDTMP.\$\$\$ is gone" test ! -e "$ntfs_mnt/SHREDTMP.\$\$\$"
    qw_ntfs_unmount "$ntfs_mnt" >/dev/null
    timed "case root alias $1" "$start"
}

# SHREDTMP.$$$ made beforehand by someone else, holding a symbolic link
# named like the first filler file to a file outside the drive: the wipe
# makes a folder of its own, and the linked file keeps every byte.
planted_case() {
    local name="planted folder:" start tmp="$ntfs_mnt/SHREDTMP.\$\$\$"
    local precious="$WINEPREFIX/drive_c/precious.bin"
    start=$(now)
    echo "--- a planted SHREDTMP.\$\$\$ holding a link named SHRED000.TMP"
    fresh_ntfs 16 || { check "$name fresh NTFS image" false; return; }
    head -c 100000 /dev/urandom >"$precious"
    cp "$precious" "$QW_IMAGE_DIR/precious.copy"
    mkdir "$tmp"
    ln -s "$precious" "$tmp/SHRED000.TMP"
    check "$name D: is this test's image" image_drive D "$ntfs_mnt" || return
    check "$name Quellwipe ends with exit code 1 within $run_limit s" \
        shred_run '"/s" "Planted" "/O0" "D:\"' 1
    # Not the wipe's own (wine 8.0 shows the link as a plain file of the
    # linked file's size): named, and no "Success".
    check "$name the wipe names the planted folder" grep -q 'SHREDTMP\.\$\$\$' "$app_dir/log.txt"
    check "$name the wipe does not log Success" bash -c "! grep -q '^Success' '$app_dir/log.txt'"
    check "$name the linked file keeps its bytes" cmp -s "$precious" "$QW_IMAGE_DIR/precious.copy"
    check "$name the planted folder and its link stay" test -L "$tmp/SHRED000.TMP"
    check "$name the wipe's own folder is gone" test ! -e "$ntfs_mnt/SHREDTMP.\$01"
    qw_ntfs_unmount "$ntfs_mnt" >/dev/null
    rm -f "$precious"
    timed "case planted folder" "$start"
}

empty_folder_but_lost_found() { # mount point: only what mkfs made is there
    local left
    left=$(find "$1" -mindepth 1 -not -path "$1/lost+found")
    [ -z "$left" ] || echo "  left: $(echo "$left" | sed "s|^$1/||" | tr '\n' ' ')"
    [ -z "$left" ]
}

# --- the Recycle Bin ------------------------------------------------------------
trash=$ntfs_mnt/xdg/Trash

# One item as wine's SHFileOperation with FOF_ALLOWUNDO leaves it (seen on
# wine 8.0): the item under files/, a .trashinfo under info/ naming where it
# came from by its Unix path.
trash_info() { # name
    printf '[Trash Info]\nPath=%s\nDeletionDate=2026-12-07T10:00:00\n' \
        "$WINEPREFIX/dosdevices/d:/$1" >"$trash/info/$1.trashinfo"
}

# A big file, a tiny one, a folder with a file in it and a folder with a
# subfolder. Prints the markers, one a line.
fill_trash() {
    local m
    mkdir -p "$trash/files" "$trash/info"
    m=$(qw_marker binbig) && echo "$m"
    write_big "$trash/files/report.txt" "$m"
    trash_info report.txt
    m=$(qw_marker binsmall) && echo "$m"
    printf '%s' "$m" >"$trash/files/note.txt"
    trash_info note.txt
    mkdir "$trash/files/album"
    m=$(qw_marker binfolder) && echo "$m"
    write_big "$trash/files/album/photo.txt" "$m"
    trash_info album
    mkdir -p "$trash/files/project/src"
    m=$(qw_marker binnested) && echo "$m"
    printf '%s' "$m" >"$trash/files/project/readme.txt"
    m=$(qw_marker bindeep) && echo "$m"
    write_big "$trash/files/project/src/main.txt" "$m"
    trash_info project
}

five_found() { # image, markers: all five items were made and are there
    [ $# = 6 ] || { echo "  only $(($# - 1)) of 5 items were made"; return 1; }
    all_found "$@"
}

bin_case() {
    local start markers
    start=$(now)
    echo "--- Recycle Bin"
    fresh_ntfs || { check "bin: fresh NTFS image" false; return; }
    mapfile -t markers < <(fill_trash)
    check "bin: the five trashed contents are in the image" five_found "$ntfs_img" "${markers[@]}"
    # Every wine process takes its environment from the shell that starts
    # it; only the Quellwipe run looks into the image's trash.
    local data_home=$XDG_DATA_HOME
    export XDG_DATA_HOME=$ntfs_mnt/xdg
    check "bin: Quellwipe ends with exit code 0 within $run_limit s" \
        shred_run '"/s" "Bin task" "/O0" "/T3" "recycle"'
    export XDG_DATA_HOME=$data_home
    check "bin: the log is the task line and Success" log_is 'Task Name:Bin task\r\nSuccess\r\n\r\n'
    check "bin: the trash holds no item" empty_folder "$trash/files"
    check "bin: the trash holds no item's origin" empty_folder "$trash/info"
    check "bin: the image unmounts clean" qw_ntfs_unmount "$ntfs_mnt"
    local m
    for m in "${markers[@]}"; do
        check "bin: nothing of ${m:2:9} is left in the image" absent "$ntfs_img" "$m"
    done
    timed "case bin" "$start"
}

# The program as a scheduled task finds it installed: AppPath names its
# folder, where the language packs are. The bin warning is off, as a
# scheduled bin task needs it.
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
wine reg add "$key" /v BinAlertDisabled /t REG_DWORD /d 1 /f >/dev/null 2>&1
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
    qw_ntfs_unmount "$ntfs_mnt" >/dev/null
    wipe_case ntfs $image_mb /O0 /T3
    # Smaller: the thorough method writes the free space several times.
    wipe_case ntfs 32 /O1 /T1
    root_alias_case 'D:\.'
    root_alias_case 'D:\..'
    planted_case

    echo "--- control: a trash emptied without Quellwipe"
    start=$(now)
    if fresh_ntfs; then
        mapfile -t plain < <(fill_trash)
        rm -r "${trash:?}/files/"* "${trash:?}/info/"*
        check "control: the image unmounts clean" qw_ntfs_unmount "$ntfs_mnt"
        check "control: emptying the trash leaves all five contents in the image" \
            five_found "$ntfs_img" "${plain[@]}"
    else
        check "control: fresh NTFS image" false
    fi
    timed "control bin" "$start"

    bin_case
fi

# --- E: ext4 through a loop device --------------------------------------------
start=$(now)
ext_ready=0
if ! reason=$(qw_ext4_available); then
    echo "$reason"
    check "an ext4 image can be loop-mounted" false
elif fresh_ext4 && check "E: is a fixed drive with the image's free space" \
    qw_ext4_map_drive E "$ext_mnt"; then
    ext_ready=1
fi
timed "ext4 image, mount, map E: (restarts wineserver)" "$start"

if [ $ext_ready = 1 ]; then
    qw_ext4_unmount "$ext_mnt" >/dev/null
    wipe_case ext4 $image_mb /O0 /T3
fi

report
