#!/usr/bin/env bash
# The installer and uninstaller of one architecture under wine: an older
# build installed and used, then upgraded in place; every file and key where
# the program and its companions look; installing twice changes nothing; the
# uninstaller waits for a running Quellwipe.exe and then removes everything
# of ours except what the user keeps. Runs inside wine-run.sh --shell.
set -uo pipefail
QW_BARE_INSTALL=1
. "$(dirname "$0")/common.sh"
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
c="$WINEPREFIX/drive_c"
shots=${QW_SHOTS:-$WINEPREFIX/shots}
mkdir -p "$shots"
# The installer lays out the application folder itself, where a program of
# its architecture finds Program Files.
rm -rf "$app_dir"
# The other architecture's system folder must stay untouched.
if [ "$QW_ARCH" = x86_64 ]; then
    arch=x64 folder='C:\Program Files\Quellwipe' other_system="$c/windows/syswow64" machine=8664
else
    arch=x86 folder='C:\Program Files (x86)\Quellwipe' other_system="$c/windows/system32" machine=014c
fi
app_dir="$c/${folder#C:\\}"
app_dir=${app_dir//\\//}
exe="$app_dir/Quellwipe.exe"
setup="$(dirname "$QW_DIST")/QuellwipeSetup-$arch.exe"
uninstaller="$app_dir/Uninstall.exe"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellwipe'
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quellwipe"
verb='HKCU\Software\Classes\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shell\Quellwipe'
cd "$c"

# Both registry views and the files of the prefix, apart from temporary
# files and what wine keeps for itself. HKCU\Software\Classes and its CLSID
# key are the user's class root, always there on Windows; wine makes them
# when the program first writes its Recycle Bin verb.
snapshot() {
    local out="$WINEPREFIX/$1"
    : >"$out.reg"
    for hive in 'HKLM\Software' 'HKCU\Software'; do
        /usr/lib/wine/wine64 reg export "$hive" "$out.raw" /y >/dev/null 2>&1
        iconv -f UTF-16LE -t UTF-8 "$out.raw" | tr -d '\r' | grep -v '^Windows Registry' |
            sed -e '/^\[HKEY_CURRENT_USER\\Software\\Wine\\/,/^$/d' \
                -e '/^\[HKEY_CURRENT_USER\\Software\\Classes\(\\CLSID\)\?\]$/,/^$/d' >>"$out.reg"
    done
    rm -f "$out.raw"
    (cd "$c" && find . -path ./windows/temp -prune -o -path './users/*/AppData/Local/Temp' \
        -prune -o -path './users/*/Temp' -prune -o -print | sort) >"$out.files"
}
same() { # snapshot, snapshot: equal, or the differences shown
    diff "$WINEPREFIX/$1.reg" "$WINEPREFIX/$2.reg" && diff "$WINEPREFIX/$1.files" "$WINEPREFIX/$2.files"
}
entry_value() { # value of the Apps & Features entry, in this architecture's view
    $native reg query "$entry" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
installed_version() { # file version and product version of an installed binary
    wine "$tool" version "$(win_path "$1")" | tr -d '\r'
}
# The uninstaller runs on from a copy of itself in the temporary folder, so
# the first process ends at once: done when it has removed its own entry.
wait_uninstalled() {
    for _ in $(seq 120); do
        [ -e "$uninstaller" ] || $native reg query "$entry" >/dev/null 2>&1 || return 0
        sleep 0.5
    done
    return 1
}
# The uninstaller's first page in the language it speaks: waits for it,
# takes its picture and prints its texts.
uninstaller_window() { # title, picture name
    wine "$tool" wait '#32770' "$1" 30000 || return 1
    sleep 1
    import -window root "$shots/$2.png" 2>/dev/null
    wine "$tool" text '#32770' "$1" | tr -d '\r'
}
server() { # the in-process server a class names in this architecture's view
    $native reg query "HKCR\\CLSID\\$1\\InprocServer32" /ve 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *(Default) *REG_SZ *//p'
}
pe_machine() { # the machine a Windows program is built for, as hex
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
click() { # button: presses it on the one wizard, whose title changes by page
    wine "$tool" click '#32770' - "$1" && sleep 1
}

# The user's own folder for programs, where one install goes later.
mkdir -p "$c/Apps"
snapshot before

# --- An older build, installed and used --------------------------------------
older="$WINEPREFIX/QuellwipeSetup-older.exe"
cmake -DDIST="$QW_DIST" -DNSI="$source_dir/installer/quellwipe.nsi" -DPUBLISHER=Quellwipe \
    -DICON="$source_dir/src/app/win32/quellwipe.ico" -DARCH=$arch -DVERSION=0.0.1 \
    -DOUT="$older" -DWORK="$WINEPREFIX/older" -P "$source_dir/cmake/make-installer.cmake" >/dev/null
check "an older build installs silently" wine "$older" /S
check "its Apps & Features entry shows its version" test "$(entry_value DisplayVersion)" = 0.0.1
echo x >target.bin
quellwipe '"/s" "Before upgrade" "C:\target.bin"'
wine reg add "$key" /v PassCount /t REG_DWORD /d 7 /f >/dev/null 2>&1
wine reg add "$key" /v Method /t REG_DWORD /d 1 /f >/dev/null 2>&1
cp "$app_dir/log.txt" "$WINEPREFIX/log-before.txt"
wine reg export 'HKCU\Software\Quellwipe' "$WINEPREFIX/settings-before.reg" /y >/dev/null 2>&1

# --- The upgrade, then the same install again ----------------------------------
check "the build's installer upgrades it silently" wine "$setup" /S
check "the upgrade keeps the log" cmp -s "$app_dir/log.txt" "$WINEPREFIX/log-before.txt"
wine reg export 'HKCU\Software\Quellwipe' "$WINEPREFIX/settings-after.reg" /y >/dev/null 2>&1
check "the upgrade keeps the settings" \
    cmp -s "$WINEPREFIX/settings-before.reg" "$WINEPREFIX/settings-after.reg"
snapshot once
wine "$setup" /S
snapshot twice
check "installing twice leaves what installing once does" same once twice

# --- What the install holds -----------------------------------------------------
check "the application folder holds the build's files" \
    diff -r --exclude=Uninstall.exe --exclude=log.txt "$QW_DIST" "$app_dir"
check "with the help file and the sub-folder options page" \
    test -s "$app_dir/HLP/Quellwipe.chm" -a -s "$app_dir/HLP/ShredHlp.html"
check "Taskloom.dll in the system folder the program checks" \
    cmp -s "$QW_DIST/Taskloom.dll" "$system_dir/Taskloom.dll"
check "and not in the other architecture's" test ! -e "$other_system/Taskloom.dll"
for binary in "$exe" "$app_dir/Shellvane.dll" "$system_dir/Taskloom.dll" "$uninstaller" "$setup"; do
    check "$(basename "$binary") carries version $QW_VERSION" \
        test "$(installed_version "$binary")" = "$QW_VERSION.0 $QW_VERSION"
    check "and is a $arch program" test "$(pe_machine "$binary")" = $machine
done
check "Taskloom's class names it in the system folder" \
    grep -qix 'C:\\windows\\sys[a-z0-9]*\\Taskloom.dll' <<<"$(server '{4CF5566A-64AA-4738-BACF-C84A90FC557D}')"
check "Shellvane's class names it in the application folder" \
    test "$(server '{51917337-5113-4EC2-9CB6-C6212D0EF3E9}')" = "$folder\\Shellvane.dll"
check "the scheduler's ProgID is registered" \
    grep -q '{4CF5566A-64AA-4738-BACF-C84A90FC557D}' <($native reg query 'HKCR\TaskScheduler.Schedule\CLSID' /ve)
check "AppPath names the install folder" test "$(reg_value AppPath)" = "$folder"
while IFS='|' read -r name want; do
    check "Apps & Features $name" test "$(entry_value "$name")" = "$want"
done <<EOF
DisplayName|Quellwipe
DisplayVersion|$QW_VERSION
Publisher|Quellwipe
DisplayIcon|$folder\\Quellwipe.exe,0
UninstallString|"$folder\\Uninstall.exe"
QuietUninstallString|"$folder\\Uninstall.exe" /S
EOF
size_kb=$(($(entry_value EstimatedSize)))
actual_kb=$(($(du -sk --apparent-size --exclude=Uninstall.exe "$app_dir" | cut -f1) + $(du -k --apparent-size "$QW_DIST/Taskloom.dll" | cut -f1)))
check "Apps & Features size ($size_kb KB) is what was installed ($actual_kb KB)" \
    test $((size_kb * 10)) -ge $((actual_kb * 9)) -a $((size_kb * 10)) -le $((actual_kb * 11))
while IFS='|' read -r shortcut target; do
    check "Start menu: $shortcut" grep -aqF "$target" "$menu/$shortcut.lnk"
done <<EOF
Quellwipe|Quellwipe.exe
Quellwipe Help|Quellwipe.chm
Uninstall Quellwipe|Uninstall.exe
EOF

# --- The installed program ---------------------------------------------------
echo secret >target.bin
quellwipe '"/s" "Installed" "C:\target.bin"'
check "a /s run of the installed program shreds its target" test ! -e target.bin
check "and logs Success after the earlier run's lines" \
    test "$(tr -d '\r' <"$app_dir/log.txt")" = "$(printf 'Task Name:Before upgrade\nSuccess\n\nTask Name:Installed\nSuccess\n')"
check "an interactive start warns of no missing companion" test -z "$(start_warnings)"
check "and writes the Recycle Bin verb" /usr/lib/wine/wine64 reg query "$verb\\command" /ve

# --- Uninstalling while the program runs ---------------------------------------
wine "$exe" &
running=$!
wine "$tool" wait QuellwipeMainWindow - 60000
# _?= keeps the uninstaller in place, so its exit code is seen; it must be
# the unquoted end of the command line.
wine "$tool" run "$folder\\Uninstall.exe" "\"$folder\\Uninstall.exe\" /S _?=$folder"
refused=$?
check "the uninstaller refuses while Quellwipe.exe runs (exit $refused)" test $refused -eq 2
check "and removes nothing" test -f "$exe" -a -f "$system_dir/Taskloom.dll"
wine "$setup" /S
check "an upgrade refuses too (exit 2)" test $? -eq 2
wine "$tool" close QuellwipeMainWindow -
wait "$running"

# --- The uninstaller's settings page, in English, cancelled ---------------------
# Output elsewhere: a window left open must not hold the test's pipe.
wine "$uninstaller" >/dev/null 2>&1 &
page=$(uninstaller_window 'Quellwipe Uninstall' uninstaller-en)
check "the uninstaller asks in English about settings and log" \
    grep -qF 'Remove my settings and log' <<<"$page"
click Cancel && sleep 1
check "a cancelled uninstall leaves the install" test -f "$uninstaller" -a -f "$exe"

# --- Silent uninstall: settings and log kept -----------------------------------
wine "$uninstaller" /S
check "a silent uninstall finishes" wait_uninstalled
check "only the log remains of the application folder" \
    test "$(cd "$app_dir" && find . | sort | tr '\n' ' ')" = ". ./log.txt "
check "the settings remain" test "$(reg_value PassCount)" = 0x7
# Apart from the settings key and the kept log, the prefix is as before.
# The user's own folder (the erasure record, certificates) is proof of what
# was shredded: no uninstall takes it.
users_own() { # snapshot name: its files without the user's own folder
    grep -v -e '/AppData/Local/Quellwipe\(/\|$\)' "$WINEPREFIX/$1.files"
}
only_users_own_remain() { # snapshot name
    diff "$WINEPREFIX/before.reg" "$WINEPREFIX/$1.reg" &&
        diff "$WINEPREFIX/before.files" <(users_own "$1")
}
only_kept_remain() { # snapshot name
    snapshot "$1"
    diff "$WINEPREFIX/before.files" <(users_own "$1" | grep -v -e '/Quellwipe$' -e '/Quellwipe/log.txt$') &&
        diff "$WINEPREFIX/before.reg" <(sed '/^\[HKEY_CURRENT_USER\\Software\\Quellwipe/,/^$/d' "$WINEPREFIX/$1.reg")
}
check "nothing else of ours remains" only_kept_remain uninstalled

# --- Uninstall in German, removing settings and log -----------------------------
wine "$setup" /S
$native reg add "$entry" /v 'Installer Language' /d 1031 /f >/dev/null 2>&1
wine "$uninstaller" >/dev/null 2>&1 &
page=$(uninstaller_window 'Deinstallation von Quellwipe' uninstaller-de)
check "the uninstaller asks in German about settings and log" \
    grep -qF 'Meine Einstellungen und das Protokoll entfernen' <<<"$page"
click 'Meine Einstellungen und das Protokoll entfernen'
click 'Weiter >'
click 'Deinstallieren'
check "the German uninstall finishes" wait_uninstalled
wine "$tool" wait '#32770' - 5000 && click 'Beenden'
snapshot removed
check "with settings and log removed nothing of ours remains but the user's own folder" \
    only_users_own_remain removed

# --- A folder of the user's choice, kept by an upgrade ---------------------------
# /D= must be the unquoted end of the command line.
chosen='C:\Apps\Quell wipe'
line=$(win_path "$setup")
wine "$tool" run "$line" "\"$line\" /S /D=$chosen"
check "/D= installs into the folder given" test -f "$c/Apps/Quell wipe/Quellwipe.exe"
wine "$setup" /S
check "an upgrade stays in that folder" \
    test "$(entry_value InstallLocation)|$(reg_value AppPath)" = "$chosen|$chosen"
check "and its components are registered from there" \
    test "$(server '{51917337-5113-4EC2-9CB6-C6212D0EF3E9}')" = "$chosen\Shellvane.dll"
uninstaller="$c/Apps/Quell wipe/Uninstall.exe"
wine "$uninstaller" /S
check "its silent uninstall finishes" wait_uninstalled
check "and leaves nothing but the settings" only_kept_remain chosen

finish
