#!/usr/bin/env bash
# Sets up the machine, builds the x86_64 application folder and shows
# Quellwipe.exe at work under wine, on a virtual display, in a wine prefix of
# its own: the build's installer installs the program silently into
# C:\Program Files\Quellwipe, the program starts once interactively and its
# main window is photographed, then
# runs an unattended task on files and a folder made for the purpose; the
# script prints what is left and the activity log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. cmake/wine-env.sh
qw_wine_decide
qw_wine64_only_sandbox scripts/run.sh "$@"
qw_wine_select
cmake --preset win64 >/dev/null
cmake --build --preset win64
root=$(pwd)/build/win64/wine
cmake/wine-template.sh "$root/template"
export QW_WINE_TEMPLATE="$root/template" QW_WINE_DISPLAY=1 TMPDIR="$root"
export QW_DIST="$(pwd)/dist/win64" QW_WINTOOL="$(pwd)/build/win64/tests/qw_wintool.exe"
export QW_SETUP="$(pwd)/dist/QuellwipeSetup-x64.exe" QW_BARE_INSTALL=1
export QW_SHOTS="$(pwd)/build/win64/screenshots"
cmake/wine-run.sh --shell bash -c '
    set -e
    . tests/e2e/common.sh
    rm -rf "$app_dir"
    echo "== QuellwipeSetup-x64.exe /S"
    wine "$QW_SETUP" /S
    (cd "$app_dir" && find . | sort)
    wine "$exe" &
    program=$!
    wine "$tool" wait QuellwipeMainWindow - 60000
    sleep 2
    mkdir -p "$QW_SHOTS"
    import -window root "$QW_SHOTS/run-main-window.png" 2>/dev/null &&
        echo "== The main window, as it showed: $QW_SHOTS/run-main-window.png"
    echo "== Its buttons and labels"
    wine "$tool" text QuellwipeMainWindow - | tr -d "\r" | tr "\n" "|"
    echo
    echo "== The installer recorded the application folder; the first start keeps it"
    wine reg query "$key" | tr -d "\r" | grep -v "^$"
    wine "$tool" close QuellwipeMainWindow -
    wait $program

    demo="$WINEPREFIX/drive_c/Demo"
    mkdir -p "$demo/Reports/2026"
    head -c 300000 /dev/urandom >"$demo/payroll.xlsx"
    echo "not for anyone else" >"$demo/diary.txt"
    echo "quarterly numbers" >"$demo/Reports/q3.txt"
    echo "yearly numbers" >"$demo/Reports/2026/year.txt"
    echo "keep me" >"$demo/keep.txt"
    echo "== Before: C:\\Demo"
    (cd "$demo" && find . | sort)
    line="\"/s\" \"Demo task\" \"/O1\" \"/T1\" \"/F2\" \"/R2\" \"C:\\Demo\\payroll.xlsx\" \"C:\\Demo\\diary.txt\" \"C:\\Demo\\Reports\""
    echo "== Quellwipe.exe $line"
    quellwipe "$line"
    echo "== After: C:\\Demo"
    (cd "$demo" && find . | sort)
    echo "== Activity log ($(win_path "$app_dir")\\log.txt)"
    tr -d "\r" <"$app_dir/log.txt"
    own=$(users_folder)
    if [ -f "$own/erasure.jsonl" ]; then
        echo "== Erasure record ($(win_path "$own")\\erasure.jsonl)"
        cat "$own/erasure.jsonl"
        python3 tools/check_record.py "$own/erasure.jsonl" && echo "(every line chains to the one before)" || true
    fi
    for page in "$own"/Reports/*.html; do
        if [ -f "$page" ]; then echo "== Certificate: $(win_path "$page")"; fi
    done
' 2>&1 | grep -v -e '^X connection' -e 'Read access denied for device'
