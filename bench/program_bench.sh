#!/usr/bin/env bash
# Times the real Quellwipe.exe under wine, on a virtual display, against GNU
# shred on the same freshly written file on the same file system, in the
# same run. See bench/README.md.
#
#   bench/program_bench.sh [--arch win64|win32|both] [--size MB] [--repeat R]
#                          [--methods quick,thorough] [--no-window-cost]
#                          [--dist DIR] [--wintool EXE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = --inner ]; then
    # Inside wine-run.sh --shell: a fresh prefix, its wineserver and Xvfb.
    shift
    size_mb=$1 repeat=$2 methods=$3 window_cost=$4 arch=$5
    . "$root/tests/e2e/common.sh"
    wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
    # Xvfb has no window manager, and wine 8.0 waits 2 s for one to withdraw
    # a managed window when the progress window is hidden or destroyed: a
    # fixed cost per run that no desktop has. Unmanaged windows skip it.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # Inside drive C: of the prefix, so on the disk that holds the build
    # folder (never tmpfs): both tools write to the same file system.
    dir="$WINEPREFIX/drive_c/qwbench"
    mkdir -p "$dir"
    target="$dir/target.bin"
    wintarget='C:\qwbench\target.bin'
    echo "file system: $(df -T "$dir" | awk 'NR==2 {print $2" on "$1}'), ${size_mb} MiB file"

    # Random content without waiting on /dev/urandom for every file.
    seed="$dir/seed.bin"
    head -c $((16 << 20)) /dev/urandom >"$seed"
    fresh_file() {
        rm -f "$target"
        local i
        for ((i = 0; i < size_mb; i += 16)); do cat "$seed"; done | head -c $((size_mb << 20)) >"$target"
        sync
    }
    seconds() { # command...: runs it, prints its wall time in seconds
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        echo "$end - $start" | bc -l
    }
    gone() { # tool: the file must be gone after a timed run
        if [ -e "$target" ]; then
            echo "ODD: $1 left the file in place; its time means nothing" >&2
            exit 1
        fi
    }
    # The program's own time, from its start to its end, as a scheduled
    # task starts it; not the helper that starts it.
    qw_time() { # method, passes
        local exe_win
        exe_win=$(win_path "$exe")
        wine "$tool" timedrun "$exe_win" \
            "\"$exe_win\" \"/s\" \"bench\" \"/O$1\" \"/T$2\" \"$wintarget\"" 2>/dev/null |
            tr -d '\r' | tail -1
    }
    median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

    # Start-up and shut-down of wine and the program, for reading the
    # times of small files: a run on an empty file.
    declare -a startup=()
    for ((r = 0; r < repeat; r++)); do
        : >"$target"
        sync
        startup+=("$(qw_time 0 1)")
        gone "Quellwipe (empty file)"
    done
    printf 'wine + program start-up on an empty file: %.2f s (median of %d)\n' \
        "$(median "${startup[@]}")" "$repeat"

    printf '%-6s %-9s %12s %12s %8s' arch method "Quellwipe s" "shred s" ratio
    [ "$window_cost" = 1 ] && printf ' %14s %12s' "no-window s" "window cost"
    printf '\n'
    IFS=, read -ra method_list <<<"$methods"
    for method in "${method_list[@]}"; do
        case $method in
        quick) qw_args=(0 1) shred_args=(-n0 -z -u) ;;
        thorough) qw_args=(1 1) shred_args=(-n3 -u) ;;
        *) echo "unknown method $method" >&2 && exit 2 ;;
        esac
        declare -a t_qw=() t_shred=() t_bare=()
        for ((r = 0; r < repeat; r++)); do
            # The order rotates so that no tool always runs on a cache or
            # disk left busy by the same neighbour.
            tools=(qw shred)
            [ "$window_cost" = 1 ] && tools+=(bare)
            for ((k = 0; k < ${#tools[@]}; k++)); do
                tool_name=${tools[(k + r) % ${#tools[@]}]}
                fresh_file
                case $tool_name in
                qw) t_qw+=("$(qw_time "${qw_args[@]}")") ;;
                shred) t_shred+=("$(seconds shred "${shred_args[@]}" "$target")") ;;
                bare) t_bare+=("$(QW_BENCH_NO_PROGRESS=1 qw_time "${qw_args[@]}")") ;;
                esac
                gone "$tool_name"
            done
        done
        qw=$(median "${t_qw[@]}")
        sh=$(median "${t_shred[@]}")
        printf '%-6s %-9s %12.2f %12.2f %8.2f' "$arch" "$method" "$qw" "$sh" \
            "$(echo "$sh / $qw" | bc -l)"
        if [ "$window_cost" = 1 ]; then
            bare=$(median "${t_bare[@]}")
            printf ' %14.2f %11.1f%%' "$bare" "$(echo "($qw - $bare) * 100 / $qw" | bc -l)"
        fi
        printf '\n'
    done
    rm -rf "$dir"
    exit 0
fi

archs=win64 size_mb=1024 repeat=3 methods=quick,thorough window_cost=1 dist= wintool=
while [ $# -gt 0 ]; do
    case $1 in
    --arch) archs=$2 && shift ;;
    --size) size_mb=$2 && shift ;;
    --repeat) repeat=$2 && shift ;;
    --methods) methods=$2 && shift ;;
    --no-window-cost) window_cost=0 ;;
    --dist) dist=$2 && shift ;;
    --wintool) wintool=$2 && shift ;;
    *) sed -n '2,8s/^# \{0,1\}//p' "$0" && exit 2 ;;
    esac
    shift
done
[ "$archs" = both ] && archs="win64 win32"
command -v shred >/dev/null && command -v xvfb-run >/dev/null && command -v bc >/dev/null || {
    echo "needs shred, xvfb-run and bc on the PATH" >&2
    exit 1
}

# The prepared prefix lives beside the build, on the disk, like the tests'.
scratch="$root/build/program-bench"
mkdir -p "$scratch"
"$root/cmake/wine-template.sh" "$scratch/template"
for arch in $archs; do
    app=${dist:-$root/dist/$arch}
    tool=${wintool:-$root/build/$arch/tests/qw_wintool.exe}
    for needed in "$app/Quellwipe.exe" "$tool"; do
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
        "$window_cost" "$arch" 2>&1 | grep -v -e '^X connection' -e 'Read access denied'
done
