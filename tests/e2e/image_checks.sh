# Shared by the image tests: timings, and searching raw images for markers.
# Sourced after ntfs_image.sh and common.sh.
timings=()

report() {
    echo "timings:"
    printf '  %s\n' "${timings[@]}"
    finish
    exit
}

now() { echo "${EPOCHREALTIME/,/.}"; }

timed() { # label, start time
    local seconds
    seconds=$(awk -v a="$2" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')
    timings+=("$(printf '%-60s %6s s' "$1" "$seconds")")
}

found() { # image, marker: the marker is in the image
    local count rc
    count=$(qw_image_contains "$1" "$2")
    rc=$?
    echo "  ${2:0:20}... in ${1##*/}: $count"
    [ $rc = 0 ]
}

absent() { # image, marker: the image was read and the marker is not in it
    local count rc
    count=$(qw_image_contains "$1" "$2")
    rc=$?
    echo "  ${2:0:20}... in ${1##*/}: $count"
    [ $rc = 1 ]
}

# About 300 KB: several 64 KiB blocks and a last cluster only partly used.
write_big() { # path, marker
    yes "$2" | head -c 300000 >"$1"
}

all_found() { # image, marker...
    local image=$1 marker ok=0
    shift
    for marker; do
        found "$image" "$marker" || ok=1
    done
    return $ok
}

