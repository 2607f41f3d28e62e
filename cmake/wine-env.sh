# Sourced by the wine scripts: a private prefix, home and XDG folders under
# $1, never the user's own ~/.wine or ~/.local.
qw_wine_env() {
    local root=$1
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

# A wineserver that inherits a captured pipe keeps it open; start it apart.
qw_wineserver_start() {
    wineserver -p </dev/null >/dev/null 2>&1
}

qw_wineserver_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
