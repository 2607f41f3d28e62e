#!/usr/bin/env bash
# The real Quellwipe.exe under wine with its companions missing, unregistered
# and present: the warnings of an interactive start, a "/s" run that logs
# only its own targets, and the Recycle Bin verb written at every start.
set -uo pipefail
QW_BARE_INSTALL=1
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
system=$system_dir
scheduler_key='HKCR\CLSID\{4CF5566A-64AA-4738-BACF-C84A90FC557D}'
verb='HKCU\Software\Classes\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shell\Quellwipe'
cd "$c"

verb_value() { # the default value of the verb key or its subkey
    /usr/lib/wine/wine64 reg query "$verb${1:-}" /ve 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *(Default) *REG_SZ *//p'
}

check "nothing installed: both warnings, the scheduler's first" \
    test "$(start_warnings)" = "scheduler extension"
check "the verb's menu text is the pack's key 12000" test "$(verb_value)" = "$(pack_text 12000)"
check "the verb's command quotes the program path" \
    test "$(verb_value '\command')" = '"C:\Program Files\Quellwipe\Quellwipe.exe" recycle'

# An unattended run shows and logs nothing of its companions.
log="$app_dir/log.txt"
rm -f "$log"
echo x >target.txt
timeout 120 wine "$tool" run "$(win_path "$exe")" \
    "\"$(win_path "$exe")\" \"/s\" \"Nightly\" \"C:\\target.txt\""
check "a /s run with both companions missing shreds its target" test ! -e target.txt
check "and its log holds only the task and Success" \
    test "$(cat "$log")" = "$(printf 'Task Name:Nightly\r\nSuccess\r\n\r')"

# The real component: its file alone, a stale class key alone, then both.
cp "$app_dir/Taskloom.dll" "$system/"
check "the component's file without its class key: the scheduler warning" \
    test "$(start_warnings)" = "scheduler extension"
rm "$system/Taskloom.dll"
$native reg add "$scheduler_key" /f >/dev/null 2>&1
check "the class key without the file: the scheduler warning" \
    test "$(start_warnings)" = "scheduler extension"
$native reg delete "$scheduler_key" /f >/dev/null 2>&1
cp "$app_dir/Taskloom.dll" "$system/"
$native regsvr32 /s 'C:\windows\system32\Taskloom.dll' >/dev/null 2>&1
check "the component registered and in the system folder: no scheduler warning" \
    test "$(start_warnings)" = extension

$native regsvr32 /s 'C:\Program Files\Quellwipe\Shellvane.dll' >/dev/null 2>&1
check "both registered and present: no warning at all" test -z "$(start_warnings)"
mv "$app_dir/Shellvane.dll" "$app_dir/Shellvane.moved"
check "the extension registered but its file gone: the extension warning" \
    test "$(start_warnings)" = extension
mv "$app_dir/Shellvane.moved" "$app_dir/Shellvane.dll"

wine reg add "$key" /v Language /t REG_SZ /d Deutsch /f >/dev/null 2>&1
check "after a German start nothing is missing" test -z "$(start_warnings)"
check "the verb's text follows the language of the start" \
    test "$(verb_value)" = "$(grep -a '^12000=' "$app_dir/Lang/Deutsch.ini" | cut -d= -f2- | tr -d '\r')"
finish
