#!/usr/bin/env bash
# Times the real Quellwipe.exe under wine, on a virtual display, against GNU
# shred on the same freshly written file on the same file system, in the
# same run. See bench/README.md.
#
#   bench/program_bench.sh [--arch win64|win32|both] [--size MB] [--repeat R]
#                          [--methods quick,thorough,folder,depth]
#                          [--files N] [--depth N] [--no-window-cost]
#                          [--dist DIR] [--wintool EXE] [--engine QW_BENCH]
#                          [--baseline DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = --inner ]; then
    # Inside wine-run.sh --shell: a fresh prefix, its wineserver and Xvfb.
    shift
    size_mb=$1 repeat=$2 methods=$3 window_cost=$4 arch=$5 engine=$6 empty=$7 files=$8 depth=$9
    baseline=${10}
    . "$root/tests/e2e/common.sh"
    wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
    # Xvfb has no window manager, and wine 8.0 waits 2 s for one to withdraw
    # a managed window when the progress window is hidden or destroyed: a
    # fixed cost per run that no desktop has. Unmanaged windows skip it.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # Inside drive C: of the prefix, so on the disk that holds the build
    # folder (never tmpfs): every tool writes to the same file system.
    dir="$WINEPREFIX/drive_c/qwbench"
    mkdir -p "$dir"
    target="$dir/target.bin"
    wintarget='C:\qwbench\target.bin'
    tree="$dir/tree"
    wintree='C:\qwbench\tree'
    echo "file system: $(df -T "$dir" | awk 'NR==2 {print $2" on "$1}'), $(nproc) cores, $(date -u +%F)"

    # Random content without waiting on /dev/urandom for every file.
    seed="$dir/seed.bin"
    head -c $((16 << 20)) /dev/urandom >"$seed"
    fresh_file() {
        rm -f "$target"
        local i
        for ((i = 0; i < size_mb; i += 16)); do cat "$seed"; done | head -c $((size_mb << 20)) >"$target"
        sync
    }
    # `files` files of 8 KiB in folders of 100 each.
    fresh_tree() {
        rm -rf "$tree"
        mkdir -p "$tree"
        local d
        for ((d = 0; d * 100 < files; d++)); do
            mkdir "$tree/d$d"
            local n=$((files - d * 100))
            ((n > 100)) && n=100
            head -c $((n * 8192)) "$seed" | (cd "$tree/d$d" && split -b 8192 -a 3 - f)
        done
        sync
    }
    # A chain of one-letter folders with one file at its bottom.
    fresh_chain() {
        rm -rf "$tree"
        local path=$tree i
        for ((i = 0; i < depth; i++)); do path+=/a; done
        mkdir -p "$path"
        head -c 8192 "$seed" >"$path/f"
        sync
    }
    seconds() { # command...: runs it, prints its wall time in seconds
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        echo "$end - $start" | bc -l
    }
    gone() { # tool, path: the data must be gone after a timed run
        if [ -e "$2" ]; then
            echo "ODD: $1 left $2 in place; its time means nothing" >&2
            exit 1
        fi
    }
    exe_win=$(win_path "$exe")
    # Another build of the program, timed in the same run (before and after
    # a change); it reads the same settings and language files.
    if [ -n "$baseline" ]; then
        mkdir -p "$app_dir.base"
        cp -r "$baseline/." "$app_dir.base/"
        base_win=$(win_path "$app_dir.base/Quellwipe.exe")
    fi
    # The program's own time, from its start to its end, as a scheduled
    # task starts it; not the helper that starts it.
    qw_time() { # arguments after "/s" "bench"
        local program=${QW_PROGRAM:-$exe_win}
        local line="\"$program\" \"/s\" \"bench\"" a
        for a in "$@"; do line+=" \"$a\""; done
        wine "$tool" timedrun "$program" "$line" 2>/dev/null | tr -d '\r' | tail -1
    }
    shred_tree() { find "$tree" -type f -exec shred -n0 -z -u {} + && rm -rf "$tree"; }
    dd_passes() { # n: n passes of zeroes over the file, each synced, as the disk allows
        local i
        for ((i = 0; i < $1; i++)); do
            dd if=/dev/zero of="$target" bs=1M count="$size_mb" conv=notrunc,fdatasync status=none
        done
        rm -f "$target"
    }
    median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
    ratio() { echo "$1 / $2" | bc -l; }

    # Start-up and shut-down: wine's own (an empty program) and the
    # program's on an empty file.
    declare -a t_empty=() t_startup=() t_base_startup=()
    empty_win=$(win_path "$empty")
    for ((r = 0; r < repeat; r++)); do
        t_empty+=("$(wine "$tool" timedrun "$empty_win" "\"$empty_win\"" 2>/dev/null | tr -d '\r' | tail -1)")
        : >"$target"
        sync
        t_startup+=("$(qw_time /O0 /T1 "$wintarget")")
        gone "Quellwipe (empty file)" "$target"
        if [ -n "$baseline" ]; then
            : >"$target"
            sync
            t_base_startup+=("$(QW_PROGRAM=$base_win qw_time /O0 /T1 "$wintarget")")
            gone "the baseline (empty file)" "$target"
        fi
    done
    e=$(median "${t_empty[@]}")
    s=$(median "${t_startup[@]}")
    printf 'an empty program under wine:             %6.3f s\n' "$e"
    printf 'Quellwipe on an empty file (start, end): %6.3f s, %+.3f s above the empty program\n' \
        "$s" "$(echo "$s - $e" | bc -l)"
    if [ -n "$baseline" ]; then
        b=$(median "${t_base_startup[@]}")
        printf 'the baseline on an empty file:           %6.3f s, %+.3f s above the empty program\n' \
            "$b" "$(echo "$b - $e" | bc -l)"
    fi
    echo "median of $repeat; ratios: shred/Quellwipe above 1 = Quellwipe faster; Quellwipe/engine"
    echo "and Quellwipe/dd: how far the whole program is from the engine and from the disk"
    echo

    printf '%-6s %-9s %9s %9s %9s %9s %8s %8s %8s %9s %7s' arch method Quellwipe shred engine dd \
        shred/qw qw/eng qw/dd /V0 qw/V0
    [ "$window_cost" = 1 ] && printf ' %10s %7s' no-window window
    [ -n "$baseline" ] && printf ' %9s %8s' baseline base/qw
    printf '\n'
    IFS=, read -ra method_list <<<"$methods"
    for method in "${method_list[@]}"; do
        tools=(qw shred engine)
        case $method in
        quick)
            qw_args=(/O0 /T1 "$wintarget") shred_cmd=(shred -n0 -z -u "$target") passes=1
            tools+=(dd unverified)
            ;;
        thorough)
            qw_args=(/O1 /T1 "$wintarget") shred_cmd=(shred -n3 -u "$target") passes=3
            tools+=(dd unverified)
            ;;
        folder | depth) qw_args=(/O0 /T1 /F2 /R2 "$wintree") shred_cmd=(shred_tree) ;;
        *) echo "unknown method $method" >&2 && exit 2 ;;
        esac
        [ "$window_cost" = 1 ] && tools+=(bare)
        [ -n "$baseline" ] && tools+=(base)
        declare -a t_qw=() t_shred=() t_engine=() t_dd=() t_bare=() t_base=() t_nov=()
        for ((r = 0; r < repeat; r++)); do
            # The order rotates so that no tool always runs on a cache or
            # disk left busy by the same neighbour.
            for ((k = 0; k < ${#tools[@]}; k++)); do
                tool_name=${tools[(k + r) % ${#tools[@]}]}
                case $method in
                quick | thorough) fresh_file && data=$target ;;
                folder) fresh_tree && data=$tree ;;
                depth) fresh_chain && data=$tree ;;
                esac
                case $tool_name in
                qw) t_qw+=("$(qw_time "${qw_args[@]}")") ;;
                shred) t_shred+=("$(seconds "${shred_cmd[@]}")") ;;
                engine)
                    kind=$method
                    [ "$method" = depth ] && kind=folder
                    t_engine+=("$("$engine" --time-path "$data" --method "$kind" 2>/dev/null || echo fail)")
                    ;;
                dd) t_dd+=("$(seconds dd_passes $passes)") ;;
                # The same run without reading the last pass back.
                unverified) t_nov+=("$(qw_time /V0 "${qw_args[@]}")") ;;
                bare) t_bare+=("$(QW_BENCH_NO_PROGRESS=1 qw_time "${qw_args[@]}")") ;;
                base) t_base+=("$(QW_PROGRAM=$base_win qw_time "${qw_args[@]}")") ;;
                esac
                gone "$tool_name" "$data"
            done
        done
        # QW_BENCH_TIMELINE=<folder>: one more run, not timed, notes where
        # its time went (bench/README.md) into <folder>/timeline-<method>.txt.
        if [ -n "${QW_BENCH_TIMELINE:-}" ]; then
            case $method in
            quick | thorough) fresh_file && data=$target ;;
            folder) fresh_tree && data=$tree ;;
            depth) fresh_chain && data=$tree ;;
            esac
            rm -f "$dir/timeline.txt"
            QW_TIMELINE='C:\qwbench\timeline.txt' qw_time "${qw_args[@]}" >/dev/null
            mkdir -p "$QW_BENCH_TIMELINE"
            cp "$dir/timeline.txt" "$QW_BENCH_TIMELINE/timeline-$method.txt"
            gone timeline "$data"
        fi
        qw=$(median "${t_qw[@]}")
        sh=$(median "${t_shred[@]}")
        en=$(median "${t_engine[@]}")
        label=$method
        [ "$method" = folder ] && label="folder $files"
        [ "$method" = depth ] && label="depth $depth"
        if [ ${#t_dd[@]} -gt 0 ]; then
            dd=$(median "${t_dd[@]}")
            nov=$(median "${t_nov[@]}")
            printf '%-6s %-9s %9.3f %9.3f %9.3f %9.3f %8.2f %8.2f %8.2f %9.3f %7.2f' "$arch" \
                "$label" "$qw" "$sh" "$en" "$dd" "$(ratio "$sh" "$qw")" "$(ratio "$qw" "$en")" \
                "$(ratio "$qw" "$dd")" "$nov" "$(ratio "$qw" "$nov")"
        else
            printf '%-6s %-9s %9.3f %9.3f %9.3f %9s %8.2f %8.2f %8s %9s %7s' "$arch" "$label" "$qw" \
                "$sh" "$en" - "$(ratio "$sh" "$qw")" "$(ratio "$qw" "$en")" - - -
        fi
        if [ "$window_cost" = 1 ]; then
            bare=$(median "${t_bare[@]}")
            printf ' %10.3f %6.1f%%' "$bare" "$(echo "($qw - $bare) * 100 / $qw" | bc -l)"
        fi
        if [ -n "$baseline" ]; then
            base=$(median "${t_base[@]}")
            printf ' %9.3f %8.2f' "$base" "$(ratio "$base" "$qw")"
        fi
        printf '\n'
        if [ "${QW_BENCH_RUNS:-0}" = 1 ]; then
            echo "  runs: qw ${t_qw[*]} | shred ${t_shred[*]} | engine ${t_engine[*]} | dd ${t_dd[*]:-} | base ${t_base[*]:-}"
        fi
    done
    rm -rf "$dir"
    exit 0
fi

archs=win64 size_mb=512 repeat=3 methods=quick,thorough,folder window_cost=1 dist= wintool=
files=3000 depth=1000 engine= baseline=
while [ $# -gt 0 ]; do
    case $1 in
    --arch) archs=$2 && shift ;;
    --size) size_mb=$2 && shift ;;
    --repeat) repeat=$2 && shift ;;
    --methods) methods=$2 && shift ;;
    --files) files=$2 && shift ;;
    --depth) depth=$2 && shift ;;
    --no-window-cost) window_cost=0 ;;
    --dist) dist=$2 && shift ;;
    --wintool) wintool=$2 && shift ;;
    --engine) engine=$2 && shift ;;
    --baseline) baseline=$(cd "$2" && pwd) && shift ;;
    *) sed -n '2,11s/^# \{0,1\}//p' "$0" && exit 2 ;;
    esac
    shift
done
[ "$archs" = both ] && archs="win64 win32"
command -v shred >/dev/null && command -v xvfb-run >/dev/null && command -v bc >/dev/null || {
    echo "needs shred, xvfb-run and bc on the PATH" >&2
    exit 1
}
engine=${engine:-$root/build/linux/bench/qw_bench}
[ -x "$engine" ] || {
    echo "missing $engine (the engine natively): cmake --preset linux && cmake --build --preset linux" >&2
    exit 1
}

# The prepared prefix lives beside the build, on the disk, like the tests'.
scratch="$root/build/program-bench"
mkdir -p "$scratch"
"$root/cmake/wine-template.sh" "$scratch/template"
for arch in $archs; do
    app=${dist:-$root/dist/$arch}
    tool=${wintool:-$root/build/$arch/tests/qw_wintool.exe}
    empty=$(dirname "$tool")/qw_empty_program.exe
    for needed in "$app/Quellwipe.exe" "$tool" "$empty"; do
        [ -f "$needed" ] || {
            echo "missing $needed: cmake --preset $arch && cmake --build --preset $arch" >&2
            exit 1
        }
    done
    machine=x86_64
    [ "$arch" = win64 ] || machine=x86
    QW_WINE_TEMPLATE="$scratch/template" QW_WINE_DISPLAY=1 TMPDIR="$scratch" \
        QW_DIST="$app" QW_WINTOOL="$tool" QW_ARCH=$machine \
        "$root/cmake/wine-run.sh" --shell bash "$0" --inner "$size_mb" "$repeat" "$methods" \
        "$window_cost" "$arch" "$engine" "$empty" "$files" "$depth" "$baseline" 2>&1 |
        grep -v -e '^X connection' -e 'Read access denied'
done
