#!/usr/bin/env bash
# Taskloom.dll registered by the real regsvr32 of its architecture, driven by
# a C++ client by DISPID and by VBScript by name, starting the real program
# through Job.Run, and unregistered without a trace.
# Registered here and nowhere before: what registration adds is compared.
QW_BARE_INSTALL=1
. "$(dirname "$0")/common.sh"

case "$QW_DIST" in
*win64) sys=/usr/lib/wine/wine64 ;; # the 64-bit regsvr32 and cscript
*) sys=wine ;;
esac
dll=$(win_path "$app_dir/Taskloom.dll")

# Both registry views, as the 64-bit reg sees them.
classes() {
    /usr/lib/wine/wine64 reg export 'HKLM\Software\Classes' "$1" /y >/dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | grep -v '^Windows Registry' >"$1.txt"
}

# cscript registers its own classes the first time it runs.
echo 'WScript.Quit 0' >"$WINEPREFIX/drive_c/nothing.vbs"
wine cscript //nologo 'C:\nothing.vbs'
/usr/lib/wine/wine64 cscript //nologo 'C:\nothing.vbs'
classes "$WINEPREFIX/before.reg"
check "regsvr32 registers" $sys regsvr32 /s "$dll"
classes "$WINEPREFIX/once.reg"
check "regsvr32 a second time succeeds" $sys regsvr32 /s "$dll"
classes "$WINEPREFIX/twice.reg"
check "registering twice writes what once does" cmp -s "$WINEPREFIX/once.reg.txt" "$WINEPREFIX/twice.reg.txt"
diff "$WINEPREFIX/before.reg.txt" "$WINEPREFIX/once.reg.txt" | grep '^>' >"$WINEPREFIX/added.txt"
added() { grep -qiF -- "$1" "$WINEPREFIX/added.txt"; }
check "the class names its server with apartment threading" \
    added '"ThreadingModel"="Apartment"'
check "both ProgIDs" added 'Classes\TaskScheduler.Schedule.1\CLSID]'
check "the version-independent ProgID names the current one" added '@="TaskScheduler.Schedule.1"'
check "the type library" added '{C2BC67AB-3B9D-4ADC-97B3-58F162E7DB64}\1.0\409'
for iid in 80F9ED7C-EB6B-421D-B83A-39DF72CB4C88 C02137AD-9E0D-4AC9-BCEC-8A2A157A6BFB \
    E8E756C0-B239-4084-9A1E-EC70D12432BE 084A6FBB-9C37-4D41-9C35-F4EDFEEB8332; do
    check "interface $iid with the type-library marshaler" \
        grep -qiA3 "Interface\\\\{$iid}\\\\ProxyStubClsid32\]" "$WINEPREFIX/added.txt"
done
grep '^> \[' "$WINEPREFIX/added.txt"

cp "$(dirname "$0")/taskloom.vbs" "$WINEPREFIX/drive_c/taskloom.vbs"
# The program as a scheduled task finds it installed: AppPath names its folder.
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
target="$WINEPREFIX/drive_c/run-me.bin"
head -c 300000 /dev/urandom >"$target"
$sys cscript //nologo 'C:\taskloom.vbs' "$(win_path "$exe")" "$(win_path "$target")" \
    "$(win_path "$app_dir")" | tee "$WINEPREFIX/run.txt"
check "the task was made and run" grep -q 'end of script' "$WINEPREFIX/run.txt"

# Wine's scheduler service now and then misses a run request that comes
# right after a change to the task file: ask again, as a user would.
for attempt in 1 2 3; do
    for _ in $(seq 1 20); do
        [ -e "$target" ] || break 2
        sleep 0.5
    done
    echo "the task has not started yet: Run again ($attempt)"
    $sys cscript //nologo 'C:\taskloom.vbs' qw-run
done
check "Job.Run started Quellwipe.exe, which shredded the file" test ! -e "$target"
for _ in $(seq 1 20); do
    grep -aq 'Success' "$app_dir/log.txt" 2>/dev/null && break
    sleep 0.5
done
check "the scheduled run logged Success" grep -aq 'Success' "$app_dir/log.txt"
check "the log names the task" grep -aq 'Run by the scheduler' "$app_dir/log.txt"

check "C++ client by DISPID" wine "$QW_TASKLOOM_CLIENT"

$sys cscript //nologo 'C:\taskloom.vbs' >"$WINEPREFIX/vbs.txt"
vbs_failures=$?
cat "$WINEPREFIX/vbs.txt"
check "VBScript client by name" test "$vbs_failures" -eq 0
check "the script ran to its end" grep -q 'end of script' "$WINEPREFIX/vbs.txt"


check "regsvr32 /u unregisters" $sys regsvr32 /u /s "$dll"
rm -f "$WINEPREFIX/drive_c/windows/tasks/"*.job
classes "$WINEPREFIX/after.reg"
diff "$WINEPREFIX/before.reg.txt" "$WINEPREFIX/after.reg.txt" >"$WINEPREFIX/left.txt"
check "unregistering leaves no key behind" test ! -s "$WINEPREFIX/left.txt"
cat "$WINEPREFIX/left.txt" | head -20

# Both builds in one prefix, each in its own registry view; the 32-bit run
# takes the 64-bit build from its application folder beside its own.
other="$(dirname "$QW_DIST")/win64/Taskloom.dll"
if [ "$sys" = wine ] && [ -f "$other" ]; then
    mkdir -p "$WINEPREFIX/drive_c/x64"
    cp "$other" "$WINEPREFIX/drive_c/x64/"
    check "the 32-bit build registers beside the 64-bit one" wine regsvr32 /s "$dll"
    check "the 64-bit build registers beside the 32-bit one" \
        /usr/lib/wine/wine64 regsvr32 /s 'C:\x64\Taskloom.dll'
    echo 'Set s = CreateObject("TaskScheduler.Schedule") : s.Refresh : WScript.Echo "listed " & s.Count' \
        >"$WINEPREFIX/drive_c/both.vbs"
    check "a 32-bit client creates a Schedule" sh -c "wine cscript //nologo 'C:\\both.vbs' | grep -q listed"
    check "a 64-bit client creates a Schedule" \
        sh -c "/usr/lib/wine/wine64 cscript //nologo 'C:\\both.vbs' | grep -q listed"
    wine regsvr32 /u /s "$dll"
    /usr/lib/wine/wine64 regsvr32 /u /s 'C:\x64\Taskloom.dll'
    classes "$WINEPREFIX/after-both.reg"
    diff "$WINEPREFIX/before.reg.txt" "$WINEPREFIX/after-both.reg.txt" >"$WINEPREFIX/left.txt"
    check "unregistering both leaves no key behind" test ! -s "$WINEPREFIX/left.txt"
    head -20 "$WINEPREFIX/left.txt"
fi

finish
