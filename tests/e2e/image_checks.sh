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


# A targets run with exactly this command line after the program name.
# A run still going after $run_limit s is shown (the texts of any dialog it
# put up) and ended with every other process of the prefix.
shred_run() { # line [exit code, 0 unless given]
    local start pid i rc
    start=$(now)
    rm -f "$app_dir/log.txt"
    quellwipe "$1" &
    pid=$!
    for ((i = 0; i < run_limit * 10; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "  Quellwipe still running after $run_limit s; its dialog says:"
        wine "$tool" text '#32770' - 2>&1 | tr -d '\r' | sed 's/^/    /'
        wineserver -k >/dev/null 2>&1
        wait "$pid"
        wineserver -w
        wineserver -p </dev/null >/dev/null 2>&1
        timed "Quellwipe $1 (ended)" "$start"
        return 1
    fi
    wait "$pid"
    rc=$?
    timed "Quellwipe $1" "$start"
    echo "  exit code $rc; log: $(tr '\r\n' '  ' <"$app_dir/log.txt" 2>/dev/null)"
    [ $rc = "${2:-0}" ]
}

empty_folder() { # path: exists and holds nothing
    local left
    [ -d "$1" ] || { echo "  $1 is missing"; return 1; }
    left=$(find "$1" -mindepth 1)
    [ -z "$left" ] || echo "  left: $(echo "$left" | sed "s|^$1/||" | tr '\n' ' ')"
    [ -z "$left" ]
}

log_is() { # expected text with \r\n escapes: the log's exact bytes
    local expected actual
    expected=$(printf "$1" | od -An -c)
    actual=$(od -An -c <"$app_dir/log.txt" 2>/dev/null)
    [ "$actual" = "$expected" ] || echo "  log bytes:$(echo "$actual" | tr -s ' \n' ' ')"
    [ "$actual" = "$expected" ]
}
