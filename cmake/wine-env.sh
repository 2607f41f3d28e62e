# Sourced by the wine scripts: a private prefix, home and XDG folders under
# $1, never the user's own ~/.wine or ~/.local; and how wine is started.
qw_wine_env() {
    local root=$1
    qw_wine_select
    export WINEPREFIX="$root/prefix"
    export HOME="$root/home"
    export XDG_DATA_HOME="$root/home/.local/share"
    export XDG_CONFIG_HOME="$root/home/.config"
    export XDG_CACHE_HOME="$root/home/.cache"
    # No debugger: a crashing program ends instead of waiting for one.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d;mscoree=;mshtml="
    export WINEDEBUG="${WINEDEBUG:--all}"
    # Wine reads Unix names and arguments in the locale's encoding.
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
}

qw_wine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
qw_wine64_only_reason="this machine cannot execute 32-bit programs: the i686 build is compiled but not run"

# True when the kernel runs a 32-bit x86 program: a static one of 95 bytes
# that exits with 42, so the answer needs no i386 package.
qw_machine_runs_32bit() {
    local probe status
    probe=$(mktemp "${TMPDIR:-/tmp}/qw-i386.XXXXXX") || return 1
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00''\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00''\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00''\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5f\x00\x00\x00\x5f\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00''\x31\xdb\xb3\x2a\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" >/dev/null 2>&1
    status=$?
    rm -f "$probe"
    [ $status -eq 42 ]
}

# Decides once (the answer is exported to every script, test and tool this
# one starts) whether 32-bit programs run here. QW_WINE64_ONLY=1 takes the
# 64-bit-only path on any machine.
qw_wine_decide() {
    case "${QW_WINE64_ONLY:-}" in
    1 | 0) return 0 ;;
    esac
    if qw_machine_runs_32bit; then
        export QW_WINE64_ONLY=0
    else
        export QW_WINE64_ONLY=1
    fi
}

# Ends a 32-bit run (QW_ARCH other than x86_64) where none can execute: 77,
# which CTest reports as skipped.
qw_wine_skip_32bit_here() {
    qw_wine_decide
    if [ "$QW_WINE64_ONLY" = 1 ] && [ "${QW_ARCH:-x86_64}" != x86_64 ]; then
        echo "skipped: $qw_wine64_only_reason"
        exit 77
    fi
}

# Debian's wine starts the 32-bit loader whenever wine32 is installed, and
# its helpers (winepath, wineboot ...) start wine-stable by name. Where 32-bit
# programs cannot run, both names lead to the 64-bit loader instead.
qw_wine_select() {
    qw_wine_decide
    [ "$QW_WINE64_ONLY" = 1 ] || return 0
    case ":$PATH:" in
    *":$qw_wine_dir/wine64-only:"*) ;;
    *) export PATH="$qw_wine_dir/wine64-only:$PATH" ;;
    esac
    export WINELOADER=/usr/lib/wine/wine64
    if [ -z "${QW_WINE64_TOLD:-}" ]; then
        echo "$qw_wine64_only_reason" >&2
        export QW_WINE64_TOLD=1
    fi
}

# For the scripts that run the whole suite or the demo: with QW_WINE64_ONLY=1
# on a machine that does run 32-bit programs, starts the script again where
# none can (the i386 dynamic loader hidden in a mount namespace of its own),
# so that a stray 32-bit start fails here as it would there. The i386 half of
# wine is hidden too: such a machine has none of its files, and a build step
# that reads one must fail here as well. Without the rights for that, the
# forced path runs as it is.
qw_wine64_only_sandbox() { # script, its arguments...
    [ "${QW_WINE64_ONLY:-}" = 1 ] || return 0
    [ -z "${QW_WINE64_SANDBOX:-}" ] || return 0
    [ -e /lib/ld-linux.so.2 ] || return 0
    qw_machine_runs_32bit || return 0
    if unshare --mount --propagation private true 2>/dev/null; then
        export QW_WINE64_SANDBOX=1
        exec unshare --mount --propagation private bash -c \
            'mount --bind /dev/null /lib/ld-linux.so.2 &&
             { [ ! -d /usr/lib/i386-linux-gnu/wine ] || mount -t tmpfs none /usr/lib/i386-linux-gnu/wine; } &&
             exec bash "$@"' - "$@"
    fi
}

# A wineserver that inherits a captured pipe keeps it open; start it apart.
qw_wineserver_start() {
    wineserver -p </dev/null >/dev/null 2>&1
}

qw_wineserver_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
