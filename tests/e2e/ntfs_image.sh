# shellcheck shell=bash
# Small file-system images for the wine end-to-end scripts: an NTFS image
# mounted through ntfs-3g (FUSE) and an ext4 image mounted through a loop
# device, each mapped to a wine drive letter, and a search of the raw image
# for what a test wrote. Source it inside wine-run.sh --shell.
#
# Images and mount points live in $QW_IMAGE_DIR, made when this file is
# sourced. An EXIT trap unmounts and removes them; a script that sets its own
# EXIT trap must call qw_image_cleanup from it. A detached watchdog does the
# same if the script is killed outright (CTest kills a timed-out test with
# SIGKILL, which runs no trap).

PATH=$PATH:/usr/sbin:/sbin
QW_IMAGE_LIB=$(readlink -f "${BASH_SOURCE[0]}")
QW_IMAGE_DIR=${QW_IMAGE_DIR:-}
QW_IMAGE_TIMEOUT=${QW_IMAGE_TIMEOUT:-30}

# --- NTFS through ntfs-3g ----------------------------------------------------

# Prints why FUSE can't be used here and returns 1, or returns 0 after a trial
# mount worked.
qw_ntfs_available() {
    local needed trial
    if [ ! -c /dev/fuse ]; then
        echo "FUSE unavailable: no /dev/fuse"
        return 1
    fi
    if [ ! -r /dev/fuse ] || [ ! -w /dev/fuse ]; then
        echo "FUSE unavailable: /dev/fuse is not open to $(id -un)"
        return 1
    fi
    for needed in ntfs-3g mkntfs ntfsinfo ntfs-3g.probe; do
        if ! command -v "$needed" >/dev/null; then
            echo "FUSE unavailable: $needed is not installed (Debian package ntfs-3g)"
            return 1
        fi
    done
    # Only a mount shows whether this user may mount at all (ntfs-3g is
    # usually not setuid, and containers may lack CAP_SYS_ADMIN).
    trial=$QW_IMAGE_DIR/trial
    mkdir -p "$trial/mnt" || return 1
    if ! qw_ntfs_create "$trial/ntfs.img" 8 >/dev/null || ! qw_ntfs_mount "$trial/ntfs.img" "$trial/mnt" >/dev/null; then
        echo "FUSE unavailable: ntfs-3g cannot mount an image here: $(head -n 1 "$trial/mnt.log" 2>/dev/null)"
        qw__unmount_all "$trial"
        rm -rf "$trial"
        return 1
    fi
    qw_ntfs_unmount "$trial/mnt" >/dev/null
    rm -rf "$trial"
}

# qw_ntfs_create IMAGE SIZE_MB: a sparse file formatted as NTFS, label QWTEST.
qw_ntfs_create() {
    local image=$1 size=$2
    rm -f "$image"
    truncate -s "${size}M" "$image" || return 1
    if ! mkntfs -F -Q -L QWTEST "$image" >"$image.log" 2>&1; then
        echo "mkntfs failed on $image:"
        cat "$image.log"
        return 1
    fi
}

# qw_ntfs_mount IMAGE MOUNTPOINT
# ntfs-3g stays in the foreground of its own session so that its pid is known
# (unmounting is complete only when it has exited) and so that killing the
# test's process tree leaves it running for the cleanup to unmount. The
# kernel's FUSE cache is write-through for ntfs-3g, which pwrite()s every
# write into the image file at once: the image shows what the file system
# holds without any sync.
qw_ntfs_mount() {
    local image=$1 mnt=$2 pid
    mkdir -p "$mnt" || return 1
    if mountpoint -q "$mnt"; then
        echo "$mnt is already a mount point"
        return 1
    fi
    pid=$(
        setsid ntfs-3g -o "no_detach,uid=$(id -u),gid=$(id -g),umask=022,noatime,big_writes,windows_names" \
            "$image" "$mnt" </dev/null >"$mnt.log" 2>&1 &
        echo $!
    )
    printf 'ntfs\t%s\t%s\t%s\n' "$mnt" "$image" "$pid" >>"$QW_IMAGE_DIR/mounts"
    qw__wait_mounted "$mnt" "$pid"
}

# qw_ntfs_unmount MOUNTPOINT: returns once ntfs-3g has exited and the image
# is a clean, unlocked volume again.
qw_ntfs_unmount() {
    local mnt=$1 image
    image=$(qw__record "$mnt" 3)
    qw__unmount_recorded "$mnt" || return 1
    if [ -n "$image" ] && ! ntfs-3g.probe --readwrite "$image" >/dev/null 2>&1; then
        echo "$image is not a clean NTFS volume after unmounting"
        return 1
    fi
}

# qw_ntfs_data_resident IMAGE PATH: 0 when the file's data sits inside its
# MFT record, 1 when it has clusters of its own, 2 when ntfsinfo can't tell.
# The image must be unmounted.
qw_ntfs_data_resident() {
    local answer
    answer=$(ntfsinfo -F "$2" "$1" 2>/dev/null |
        sed -n '/Dumping attribute \$DATA/,/Resident:/s/.*Resident:[[:space:]]*//p')
    case $answer in
    Yes) return 0 ;;
    No) return 1 ;;
    *) return 2 ;;
    esac
}

# qw_ntfs_map_drive LETTER MOUNTPOINT: the mounted image as a fixed NTFS drive.
qw_ntfs_map_drive() {
    qw_map_drive "$1" "$2" "" NTFS
}

# --- ext4 through a loop device ----------------------------------------------
# ntfs-3g never holds a write back, so on its drive an overwrite reaches the
# image even when nobody flushes it. The kernel's own file systems cache
# writes and drop the cached pages of a truncated or deleted file unwritten,
# as the Windows cache does: only there does a missing flush show.

qw_ext4_available() {
    local trial
    if ! command -v mkfs.ext4 >/dev/null; then
        echo "ext4 images unavailable: mkfs.ext4 is not installed (Debian package e2fsprogs)"
        return 1
    fi
    trial=$QW_IMAGE_DIR/trial-ext4
    mkdir -p "$trial/mnt" || return 1
    if ! qw_ext4_create "$trial/ext4.img" 8 >/dev/null || ! qw_ext4_mount "$trial/ext4.img" "$trial/mnt" >/dev/null; then
        echo "loop mounts unavailable: $(head -n 1 "$trial/mnt.log" 2>/dev/null)"
        qw__unmount_all "$trial"
        rm -rf "$trial"
        return 1
    fi
    qw_ext4_unmount "$trial/mnt" >/dev/null
    rm -rf "$trial"
}

# qw_ext4_create IMAGE SIZE_MB
qw_ext4_create() {
    local image=$1 size=$2
    rm -f "$image"
    truncate -s "${size}M" "$image" || return 1
    if ! mkfs.ext4 -q -F -b 4096 -L QWTEST "$image" >"$image.log" 2>&1; then
        echo "mkfs.ext4 failed on $image:"
        cat "$image.log"
        return 1
    fi
}

# qw_ext4_mount IMAGE MOUNTPOINT
qw_ext4_mount() {
    local image=$1 mnt=$2
    mkdir -p "$mnt" || return 1
    if mountpoint -q "$mnt"; then
        echo "$mnt is already a mount point"
        return 1
    fi
    printf 'ext4\t%s\t%s\t\n' "$mnt" "$image" >>"$QW_IMAGE_DIR/mounts"
    if ! mount -o loop,noatime "$image" "$mnt" >"$mnt.log" 2>&1; then
        echo "cannot mount $image: $(cat "$mnt.log")"
        return 1
    fi
    chown "$(id -u):$(id -g)" "$mnt"
}

# qw_ext4_unmount MOUNTPOINT: everything still cached is written to the
# image; the loop device goes away with the mount.
qw_ext4_unmount() {
    qw__unmount_recorded "$1"
}

# qw_ext4_map_drive LETTER MOUNTPOINT: a fixed drive. wine looks the drive's
# device up in the mount table, and a loop device is none it knows
# ("Invalid function" from GetVolumeInformation, wine 8.0); naming the image
# as the device, as an ntfs-3g mount does by itself, serves.
qw_ext4_map_drive() {
    qw_map_drive "$1" "$2" "$(qw__record "$2" 3)" ""
}

# --- drives under wine -------------------------------------------------------

# qw_map_drive LETTER MOUNTPOINT [DEVICE [FILESYSTEM]]
# Links the drive, makes it a hard disk in HKLM\Software\Wine\Drives and
# restarts the wineserver, since mountmgr reads both only when it starts.
# Then checks what wine reports: a fixed drive, the file system named, and
# the free space the mount has.
qw_map_drive() {
    local letter=${1,,} mnt=$2 device=${3:-} fs=${4:-}
    ln -sfn "$mnt" "$WINEPREFIX/dosdevices/$letter:" || return 1
    if [ -n "$device" ]; then
        ln -sfn "$device" "$WINEPREFIX/dosdevices/$letter::" || return 1
    fi
    # The 64-bit reg: plain wine starts the 32-bit one, which writes the
    # 32-bit view that the 64-bit mountmgr does not read.
    if ! /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /t REG_SZ /d hd /f >/dev/null 2>&1; then
        echo "cannot set the drive type of $letter: in the registry"
        return 1
    fi
    wineserver -k >/dev/null 2>&1
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    qw_drive_check "$letter" "$mnt" "$fs"
}

# qw_drive_info LETTER: "TYPE FILESYSTEM FREE TOTAL" as a Windows program
# sees the drive (GetDriveType, GetVolumeInformation, GetDiskFreeSpaceEx
# through the scripting runtime). TYPE 2 is a fixed drive.
qw_drive_info() {
    local script="$WINEPREFIX/drive_c/qw_drive_info.vbs"
    printf '%s\r\n' \
        'Set d = CreateObject("Scripting.FileSystemObject").GetDrive(WScript.Arguments(0))' \
        'WScript.Echo d.DriveType & " " & d.FileSystem & " " & d.FreeSpace & " " & d.TotalSize' \
        >"$script"
    wine cscript //nologo 'C:\qw_drive_info.vbs' "${1^^}:" 2>/dev/null | tr -d '\r' |
        grep -E '^[0-9]+ [^ ]* [0-9]+ [0-9]+$'
}

# qw_drive_check LETTER MOUNTPOINT [FILESYSTEM]: prints what wine reports
# and returns 1 unless it is a fixed drive with the mount's free space and
# size (and the file system named, if one is).
qw_drive_check() {
    local letter=${1^^} mnt=$2 fs=${3:-} info type name free total stats
    info=$(qw_drive_info "$letter")
    read -r type name free total <<<"$info"
    stats=$(stat -f -c '%a %b %S' "$mnt") || return 1
    local avail blocks size
    read -r avail blocks size <<<"$stats"
    echo "$letter: wine reports type ${type:-?} (2 = fixed), file system ${name:-?}," \
        "free ${free:-?} of ${total:-?} bytes; the mount has $((avail * size)) of $((blocks * size))"
    [ "$type" = 2 ] || return 1
    [ -z "$fs" ] || [ "$name" = "$fs" ] || return 1
    [ "$free" = $((avail * size)) ] && [ "$total" = $((blocks * size)) ]
}

# --- searching images --------------------------------------------------------

# qw_marker NAME: a string that turns up in an image only if a test put it
# there.
qw_marker() {
    printf 'QW%s%s\n' "$1" "$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')"
}

# qw_image_contains IMAGE MARKER: prints how many lines of the raw image hold
# the marker. Returns 0 when it is there, 1 when it is not, 2 when the image
# can't be read (never to be taken for "not there").
qw_image_contains() {
    local count rc
    count=$(grep -c -a -F -- "$2" "$1")
    rc=$?
    echo "${count:-unreadable}"
    return $rc
}

# --- mounts, cleanup ---------------------------------------------------------

# qw__record MOUNTPOINT FIELD: a field of the mount's record (2 mount point,
# 3 image, 4 pid).
qw__record() {
    [ -f "$QW_IMAGE_DIR/mounts" ] || return 0
    awk -F '\t' -v m="$1" -v f="$2" '$2 == m { v = $f } END { print v }' "$QW_IMAGE_DIR/mounts"
}

qw__alive() { # pid: running and not a zombie
    local state
    [ -n "$1" ] && [ -r "/proc/$1/stat" ] || return 1
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
    [ -n "$state" ] && [ "$state" != Z ]
}

qw__wait_mounted() { # mountpoint pid
    local mnt=$1 pid=$2 i
    for ((i = 0; i < QW_IMAGE_TIMEOUT * 20; i++)); do
        if mountpoint -q "$mnt"; then
            return 0
        fi
        if ! qw__alive "$pid"; then
            echo "ntfs-3g ended without mounting $mnt: $(tr "\n" " " <"$mnt.log")"
            return 1
        fi
        sleep 0.05
    done
    echo "$mnt not mounted after $QW_IMAGE_TIMEOUT s"
    return 1
}

qw__unmount() { # mountpoint: retries while busy; lazily as the last resort
    local mnt=$1 i
    for ((i = 0; i < QW_IMAGE_TIMEOUT * 5; i++)); do
        mountpoint -q "$mnt" || return 0
        umount "$mnt" 2>/dev/null || fusermount3 -u "$mnt" 2>/dev/null || fusermount -u "$mnt" 2>/dev/null
        mountpoint -q "$mnt" || return 0
        sleep 0.2
    done
    echo "$mnt still busy after $QW_IMAGE_TIMEOUT s; detaching it lazily"
    umount -l "$mnt" 2>/dev/null || fusermount -u -z "$mnt" 2>/dev/null
    return 1
}

qw__wait_exit() { # pid
    local i
    for ((i = 0; i < QW_IMAGE_TIMEOUT * 20; i++)); do
        qw__alive "$1" || return 0
        sleep 0.05
    done
    echo "process $1 still running $QW_IMAGE_TIMEOUT s after its unmount"
    return 1
}

qw__unmount_recorded() { # mountpoint
    local mnt=$1 pid ok=0
    pid=$(qw__record "$mnt" 4)
    qw__unmount "$mnt" || ok=1
    if [ -n "$pid" ]; then
        qw__wait_exit "$pid" || ok=1
    fi
    if [ $ok = 0 ] && [ -f "$QW_IMAGE_DIR/mounts" ]; then
        awk -F '\t' -v m="$mnt" '$2 != m' "$QW_IMAGE_DIR/mounts" >"$QW_IMAGE_DIR/mounts.new" &&
            mv "$QW_IMAGE_DIR/mounts.new" "$QW_IMAGE_DIR/mounts"
    fi
    return $ok
}

qw__mounts_under() { # folder: the mount points below it, deepest first
    awk -v d="$1/" 'index($2, d) == 1 { print $2 }' /proc/self/mounts | sort -r
}

qw__unmount_all() { # folder
    local mnt pid
    while read -r mnt; do
        [ -n "$mnt" ] && qw__unmount "$mnt"
    done < <(qw__mounts_under "$1")
    if [ -f "$QW_IMAGE_DIR/mounts" ]; then
        while IFS=$'\t' read -r _ _ _ pid; do
            [ -n "$pid" ] && qw__wait_exit "$pid"
        done <"$QW_IMAGE_DIR/mounts"
    fi
}

# Unmounts everything below $QW_IMAGE_DIR and removes it. The folder stays
# if a mount could not be detached: rm -rf would reach into it.
qw_image_cleanup() {
    local dir=$QW_IMAGE_DIR
    [ -n "$dir" ] && [ -d "$dir" ] || return 0
    qw__unmount_all "$dir"
    if [ -n "$(qw__mounts_under "$dir")" ]; then
        echo "left mounted: $(qw__mounts_under "$dir" | tr '\n' ' ')" >&2
        return 1
    fi
    rm -rf "$dir"
}

qw__watch() { # owner pid: cleans up once the owner has gone, however it went
    while qw__alive "$1"; do
        sleep 1
    done
    qw_image_cleanup
}

if [ -z "${QW_IMAGE_WATCHDOG:-}" ]; then
    QW_IMAGE_DIR=$(mktemp -d "${TMPDIR:-/tmp}/qw-image.XXXXXX")
    : >"$QW_IMAGE_DIR/mounts"
    trap qw_image_cleanup EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    # Detached twice over, so a kill of the test's process tree misses it.
    (
        QW_IMAGE_WATCHDOG=1 QW_IMAGE_DIR=$QW_IMAGE_DIR setsid bash -c \
            '. "$0" && qw__watch "$1"' "$QW_IMAGE_LIB" $$ </dev/null >/dev/null 2>&1 &
    )
fi
