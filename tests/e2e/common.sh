# Shared by the end-to-end scripts; sourced inside wine-run.sh --shell.
# The application folder is installed into the prefix, so what a run writes
# beside the program (its log) stays in the throw-away prefix.
app_dir="$WINEPREFIX/drive_c/Program Files/Quellwipe"
mkdir -p "$app_dir"
cp -r "$QW_DIST/." "$app_dir/"
exe="$app_dir/Quellwipe.exe"
# 64-bit regsvr32 and reg only through wine64; plain wine runs the 32-bit ones.
native=wine
[ "${QW_ARCH:-x86_64}" = x86_64 ] && native=/usr/lib/wine/wine64
# The system folder as the program sees it.
system_dir="$WINEPREFIX/drive_c/windows/system32"
if [ "${QW_ARCH:-x86_64}" != x86_64 ] && [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    system_dir="$WINEPREFIX/drive_c/windows/syswow64"
fi
# Installed as a user's machine has it: the scheduler component in the
# system folder, both components registered, so that no start warns about
# them. QW_BARE_INSTALL=1 leaves both out.
if [ "${QW_BARE_INSTALL:-0}" != 1 ]; then
    if [ -f "$app_dir/Taskloom.dll" ]; then
        cp "$app_dir/Taskloom.dll" "$system_dir/"
        $native regsvr32 /s 'C:\windows\system32\Taskloom.dll' >/dev/null 2>&1
    fi
    $native regsvr32 /s 'C:\Program Files\Quellwipe\Shellvane.dll' >/dev/null 2>&1
fi
tool="$QW_WINTOOL"
key='HKCU\Software\Quellwipe\Shred'
failures=0
checks=0

check() { # description, command...
    local what=$1
    shift
    checks=$((checks + 1))
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

finish() {
    echo "$((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}

# The data of one value as `reg query` prints it, or nothing.
reg_value() {
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

pack_text() { # key: the English text as the pack holds it
    grep -a "^$1=" "$app_dir/Lang/English.ini" | head -1 | cut -d= -f2- | tr -d '\r'
}

# A Linux path as wine names it, worked out from the prefix's drive links as
# wine does (the deepest drive whose folder holds the path; a to z on a tie)
# without starting wine: a winepath started while wine is busy can print
# nothing, and an empty program path fails a run at random. The last name is
# kept as it is, so a link is named, not what it points to.
win_path() {
    local path=$1 dir name= drive target letter rest best_len=-1
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        dir=$(realpath "$path")
    else
        dir=$(realpath -m "$(dirname "$path")")
        name=$(basename "$path")
    fi
    for drive in "$WINEPREFIX"/dosdevices/[a-z]:; do
        target=$(realpath -e "$drive" 2>/dev/null) || continue
        [ "$target" = / ] && target=
        case "$dir/" in
        "$target"/*)
            if [ ${#target} -gt $best_len ]; then
                best_len=${#target}
                letter=${drive##*/}
                rest=${dir#"$target"}
            fi
            ;;
        esac
    done
    if [ $best_len -lt 0 ]; then
        echo "win_path: no wine drive holds $path" >&2
        return 1
    fi
    rest=${rest#/}
    [ -n "$name" ] && rest=${rest:+$rest/}$name
    case $path in ?*/) [ -n "$rest" ] && rest+=/ ;; esac
    rest=${rest//\//\\}
    echo "${letter^^}\\$rest"
}

# Starts the program without targets, answers each warning with OK, and
# prints which companions were reported missing, until the main window shows.
start_warnings() {
    local title seen=() shown
    title=$(pack_text 9606)
    wine "$exe" &
    local pid=$! deadline=$((SECONDS + 90))
    while [ $SECONDS -lt $deadline ]; do
        if wine "$tool" wait '#32770' "$title" 500; then
            shown=$(wine "$tool" text '#32770' "$title" | tr -d '\r')
            grep -qF "$(pack_text 9060 | cut -c1-40)" <<<"$shown" && seen+=(scheduler)
            grep -qF "$(pack_text 9059 | cut -c1-40)" <<<"$shown" && seen+=(extension)
            wine "$tool" click '#32770' "$title" OK
            # The click is posted: wait until this warning has gone.
            for _ in $(seq 20); do
                [ "$(wine "$tool" text '#32770' "$title" 2>/dev/null | tr -d '\r')" != "$shown" ] && break
                sleep 0.5
            done
        elif wine "$tool" wait QuellwipeMainWindow - 200; then
            break
        fi
    done
    wine "$tool" close QuellwipeMainWindow -
    wait "$pid"
    echo "${seen[*]}"
}

# Runs Quellwipe.exe with exactly this command line after the program name.
quellwipe() {
    wine "$tool" run "$(win_path "$exe")" "\"$(win_path "$exe")\" $1"
}

# Holds a Windows path open as another program would, until let_go; the
# holder is running and has the file once this returns.
hold_open() {
    wine "$tool" hold "$1" 60000 >"$WINEPREFIX/held.txt" &
    holder=$!
    local i
    for ((i = 0; i < 100; i++)); do
        grep -q held "$WINEPREFIX/held.txt" 2>/dev/null && break
        sleep 0.1
    done
}
let_go() {
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
}

# The user's own folder of the program (%LOCALAPPDATA%\Quellwipe): the
# erasure record, the certificates, the second log.
users_folder() {
    find "$WINEPREFIX/drive_c/users" -maxdepth 4 -path '*/AppData/Local/Quellwipe' 2>/dev/null | head -1
}
