#!/usr/bin/env bash
# Shellvane.dll under wine, registered by the real regsvr32 of its
# architecture: the registry rows, the handler as Explorer drives it (wine's
# Explorer never loads context-menu handlers), the exact command line it
# starts, and the real Quellwipe.exe started on two files.
set -uo pipefail
. "$(dirname "$0")/common.sh"

harness() { wine "$QW_SHELL_HARNESS" "$@" | tr -d '\r'; }
c="$WINEPREFIX/drive_c"
clsid='{51917337-5113-4EC2-9CB6-C6212D0EF3E9}'
name='Quell Wipe Context Menu'
approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
rows=("HKCR\\CLSID\\$clsid" "HKCR\\CLSID\\$clsid\\InProcServer32"
    "HKCR\\*\\shellex\\ContextMenuHandlers\\$name" "HKCR\\Folder\\shellex\\ContextMenuHandlers\\$name")

# Every value under the handler's keys and the Approved value, as reg prints them.
registry_rows() {
    for k in "${rows[@]}"; do
        $native reg query "$k" 2>/dev/null | tr -d '\r' | grep REG_ | sed 's/^ *//' |
            while IFS= read -r line; do printf '%s: %s\n' "$k" "$line"; done
    done
    $native reg query "$approved" /v "$clsid" 2>/dev/null | tr -d '\r' | grep REG_ |
        sed 's|^ *|Approved: |'
}
regsvr() { $native regsvr32 /s "$@" >/dev/null 2>&1; }

# --- registration of a stand-in application folder ---------------------------
stand="$c/Program Files/Stand-in Wipe"
stand_win='C:\Program Files\Stand-in Wipe'
mkdir -p "$stand/Lang"
cp "$QW_DIST/Shellvane.dll" "$stand/"
cp "$QW_RECORDER" "$stand/Quellwipe.exe"
printf '[Tarnwell Language Pack]\r\n9606=Stand-in shred\r\n' >"$stand/Lang/English.ini"
printf '[Tarnwell Language Pack]\r\n9606=Sicher löschen mit Quellwipe\r\n' >"$stand/Lang/Deutsch.ini"
started="$stand/started.txt"

regsvr "$stand_win\\Shellvane.dll"
check "regsvr32 registers the extension" test $? -eq 0
expected=$(printf '%s\n' \
    "HKCR\\CLSID\\$clsid: (Default)    REG_SZ    $name" \
    "HKCR\\CLSID\\$clsid\\InProcServer32: (Default)    REG_SZ    $stand_win\\Shellvane.dll" \
    "HKCR\\CLSID\\$clsid\\InProcServer32: ThreadingModel    REG_SZ    Apartment" \
    "HKCR\\*\\shellex\\ContextMenuHandlers\\$name: (Default)    REG_SZ    $clsid" \
    "HKCR\\Folder\\shellex\\ContextMenuHandlers\\$name: (Default)    REG_SZ    $clsid" \
    "Approved: $clsid    REG_SZ    $name")
once=$(registry_rows)
check "the registry holds exactly the six rows" test "$once" = "$expected"
regsvr "$stand_win\\Shellvane.dll"
check "registering twice is registering once" test "$(registry_rows)" = "$once"

# --- the handler as Explorer drives it ----------------------------------------
objects=$(harness objects)
check "objects, interfaces and DllCanUnloadNow as Explorer needs them" test $? -eq 0
grep FAIL <<<"$objects"

check "without settings the item reads \"Quell Wipe\"" test "$(harness menu)" = "Quell Wipe"
wine reg add "$key" /v AppPath /t REG_SZ /d "$stand_win" /f >/dev/null 2>&1
check "without a language the English pack gives the item" test "$(harness menu)" = "Stand-in shred"
for language in Deutsch Deutsch.ini; do
    wine reg add "$key" /v Language /t REG_SZ /d "$language" /f >/dev/null 2>&1
    check "Language \"$language\" gives the German item" \
        test "$(harness menu)" = "Sicher löschen mit Quellwipe"
done
# The help text is the item's own, in the pack's language.
objects=$(harness objects)
check "with the German pack, command strings and menu flags hold as well" test $? -eq 0
grep FAIL <<<"$objects"
wine reg add "$key" /v Language /t REG_SZ /d "" /f >/dev/null 2>&1
check "an empty Language gives the English item" test "$(harness menu)" = "Stand-in shred"

# Two files (a blank, a name outside any ANSI code page), a folder, and a
# path longer than 260 characters, which a 259-byte read would cut.
mkdir -p "$c/sel/a folder"
echo one >"$c/sel/with blank.txt"
echo two >"$c/sel/Ünïcode ファイル.txt"
deep=sel
for i in 1 2 3 4 5; do deep="$deep/$(printf 'd%.0s' $(seq 1 55))$i"; done
mkdir -p "$c/$deep" && echo deep >"$c/$deep/f.txt"
long='C:\'$(tr / '\\' <<<"$deep")'\f.txt'
selection=('C:\sel\with blank.txt' 'C:\sel\Ünïcode ファイル.txt' 'C:\sel\a folder' "$long")
check "InvokeCommand with a command offset succeeds" test "$(harness invoke "${selection[@]}")" = 0x00000000
for _ in $(seq 50); do [ -s "$started" ] && break; sleep 0.2; done
want="line=\"$stand_win\\Quellwipe.exe\" \"C:\\sel\\with blank.txt\" \"C:\\sel\\Ünïcode ファイル.txt\" \"C:\\sel\\a folder\" \"$long\""
check "the program in the application folder gets exactly the quoted paths (${#long}-character path kept)" \
    test "$(head -1 "$started" 2>/dev/null)" = "$want"
check "its working folder is the application folder" \
    test "$(sed -n 2p "$started" 2>/dev/null)" = "folder=$stand_win"

# Only our own offset and verb run the program.
rm -f "$started"
check "command offset 3 is E_INVALIDARG" \
    test "$(harness offset 3 'C:\sel\with blank.txt')" = 0x80070057
check "a foreign verb is E_FAIL, given the ANSI way and Explorer's way" \
    test "$(harness verb open 'C:\sel\with blank.txt')" = "0x80004005 0x80004005"
check "InvokeCommand without a selection returns S_OK" test "$(harness bare)" = 0x00000000
sleep 2
check "and none of them starts anything" test ! -e "$started"
check "our own verb, in any case, runs either way" \
    test "$(harness verb QuellWipe 'C:\sel\with blank.txt')" = "0x00000000 0x00000000"
for _ in $(seq 50); do [ "$(grep -c '^line=' "$started" 2>/dev/null)" = 2 ] && break; sleep 0.2; done
check "and starts the program once for each call" test "$(grep '^line=' "$started" 2>/dev/null)" = \
    "$(printf 'line="%s\\Quellwipe.exe" "C:\\sel\\with blank.txt"\n' "$stand_win"{,})"

# --- a selection longer than one command line ---------------------------------
# 400 paths of 105 characters: about 43,000 characters, more than the 32,767
# of a command line. Each launch must hold only whole quoted paths.
rm -f "$started"
mkdir -p "$c/sel/long"
list="$c/sel/long.lst"
: >"$list"
pad=$(printf 'x%.0s' $(seq 78))
for i in $(seq 1000 1399); do
    : >"$c/sel/long/$i long name $pad"
    printf 'C:\\sel\\long\\%s\r\n' "$i long name $pad" >>"$list"
done
selected=$(tr -d '\r' <"$list")
check "400 long paths: InvokeCommand succeeds" test "$(harness invoke '@C:\sel\long.lst')" = 0x00000000
program_token="\"$stand_win\\Quellwipe.exe\""
received_paths() { # every quoted path, the launches ordered by their first path
    grep '^line=' "$started" 2>/dev/null | sort -t'"' -k4 | grep -o '"[^"]*"' |
        grep -vxF "$program_token" | tr -d '"'
}
for _ in $(seq 100); do [ "$(received_paths | wc -l)" -ge 400 ] && break; sleep 0.2; done
launches=$(grep -c '^line=' "$started")
malformed=0 longest=0
while IFS= read -r body; do
    # Rebuilt from its quoted texts, the line must be itself: a cut path
    # leaves an unclosed quote, which is dropped here.
    [ "$(grep -o '"[^"]*"' <<<"$body" | paste -sd' ')" = "$body" ] || malformed=$((malformed + 1))
    [[ $body == "$program_token "* ]] || malformed=$((malformed + 1))
    [ ${#body} -gt "$longest" ] && longest=${#body}
done < <(grep '^line=' "$started" | sed 's/^line=//')
check "the selection goes in $launches launches, the longest line $longest characters" \
    test "$launches" -ge 2 -a "$longest" -le 32000
check "each launch holds only whole quoted paths after the program" test "$malformed" -eq 0
check "all 400 paths arrive, each once, none cut, in selection order" \
    test "$(received_paths)" = "$selected"

# A path that cannot fit even alone: nothing starts, not even for the others.
rm -f "$started"
{ head -3 "$list"; printf 'C:\\sel\\%s\r\n' "$(printf 'y%.0s' $(seq 32100))"; } >"$c/sel/huge.lst"
check "a path longer than any command line refuses the whole selection" \
    test "$(harness invoke --no-ui '@C:\sel\huge.lst')" = 0x800700ce
sleep 2
check "and starts nothing" test ! -e "$started"

# --- a start that fails is reported --------------------------------------------
# A Quellwipe.exe that is no program: the person sees why, the caller gets
# the error, and Explorer does not take it for done.
mkdir -p "$c/Broken"
echo "not a program" >"$c/Broken/Quellwipe.exe"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Broken' /f >/dev/null 2>&1
harness invoke 'C:\sel\with blank.txt' >"$c/broken.out" &
invoker=$!
check "a failed start shows a message box" wine "$tool" wait '#32770' 'Quell Wipe' 30000
shown=$(wine "$tool" text '#32770' 'Quell Wipe' | tr -d '\r')
echo "$shown" | sed 's/^/    /'
check "it names the program and the system's error" \
    grep -qF 'C:\Broken\Quellwipe.exe' <<<"$shown"
wine "$tool" click '#32770' 'Quell Wipe' OK
wait "$invoker"
failed=$(cat "$c/broken.out")
check "InvokeCommand returns that error ($failed)" grep -qx '0x8007....' <<<"$failed"
grep -qF "Error $((0x${failed:6:4}))" <<<"$shown"
check "the message shows the same error code" test $? -eq 0
wine reg add "$key" /v AppPath /t REG_SZ /d "$stand_win" /f >/dev/null 2>&1

# Without AppPath the extension's own folder is used; when that has no
# Quellwipe.exe, nothing is started, not even one in the current folder.
rm -f "$started"
wine reg delete "$key" /v AppPath /f >/dev/null 2>&1
harness invoke 'C:\sel\with blank.txt' >/dev/null
for _ in $(seq 50); do [ -s "$started" ] && break; sleep 0.2; done
check "without AppPath the program beside the extension is started" \
    test "$(head -1 "$started" 2>/dev/null)" = "line=\"$stand_win\\Quellwipe.exe\" \"C:\\sel\\with blank.txt\""
lonely="$c/Lonely"
mkdir -p "$lonely" "$c/cwd"
cp "$QW_DIST/Shellvane.dll" "$lonely/"
cp "$QW_RECORDER" "$c/cwd/Quellwipe.exe"
regsvr 'C:\Lonely\Shellvane.dll'
check "no Quellwipe.exe beside the extension: InvokeCommand says the file is missing" \
    test "$(cd "$c/cwd" && harness invoke --no-ui 'C:\sel\with blank.txt')" = 0x80070002
sleep 2
check "and none is started, not the current folder's" test ! -e "$c/cwd/started.txt"

# --- unregistration ----------------------------------------------------------
$native regsvr32 /u /s 'C:\Lonely\Shellvane.dll' >/dev/null 2>&1
check "regsvr32 /u unregisters" test $? -eq 0
check "rows 1-5 and the Approved value are gone" test -z "$(registry_rows)"
$native regsvr32 /u /s 'C:\Lonely\Shellvane.dll' >/dev/null 2>&1
check "regsvr32 /u a second time succeeds: what is gone counts as removed" test $? -eq 0
check "DllUnregisterServer then says S_OK" \
    test "$(harness unregister 'C:\Lonely\Shellvane.dll')" = 0x00000000

# The class key deleted by hand: the rest must not stay behind pointing at it.
regsvr 'C:\Lonely\Shellvane.dll'
$native reg delete "HKCR\\CLSID\\$clsid" /f >/dev/null 2>&1
$native reg query "HKCR\\CLSID\\$clsid" >/dev/null 2>&1
check "the class key is deleted by hand" test $? -ne 0
$native regsvr32 /u /s 'C:\Lonely\Shellvane.dll' >/dev/null 2>&1
check "without the class key regsvr32 /u succeeds" test $? -eq 0
left=$(registry_rows)
check "and leaves none of the rows nor the Approved value${left:+: $left}" test -z "$left"
$native regsvr32 /u /s 'C:\Lonely\Shellvane.dll' >/dev/null 2>&1
check "a second regsvr32 /u succeeds too" test $? -eq 0

# A key that is there but cannot be deleted (it has a subkey of another's) is
# reported; everything else is still removed.
regsvr 'C:\Lonely\Shellvane.dll'
folder_key="HKCR\\Folder\\shellex\\ContextMenuHandlers\\$name"
$native reg add "$folder_key\\Other" /ve /d kept /f >/dev/null 2>&1
$native regsvr32 /u /s 'C:\Lonely\Shellvane.dll' >/dev/null 2>&1
check "a key that cannot be removed fails regsvr32 /u" test $? -ne 0
left=$(registry_rows)
check "only that key is left${left:+: $left}" test "$left" = "$folder_key: (Default)    REG_SZ    $clsid"
$native reg delete "$folder_key" /f >/dev/null 2>&1

# --- the real program, started by the extension ------------------------------
# Installed again, so the only window is its confirmation.
regsvr "C:\\Program Files\\Quellwipe\\Shellvane.dll"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
wine reg delete "$key" /v Language /f >/dev/null 2>&1
mkdir -p "$c/real"
head -c 100000 /dev/urandom >"$c/real/first file.bin"
echo "second" >"$c/real/zweite Datei ä.txt"
echo "stays" >"$c/real/neighbour.txt"
before=$(cd "$c" && find real sel -printf '%p %s\n' | sort)
harness invoke 'C:\real\first file.bin' 'C:\real\zweite Datei ä.txt' >/dev/null
title=$(pack_text 9606)
check "Quellwipe.exe asks for confirmation" wine "$tool" wait '#32770' "$title" 60000
# Answered by keyboard: Yes is the default button.
window=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null | head -1)
timeout 10 xdotool windowactivate --sync "$window" >/dev/null 2>&1 ||
    timeout 10 xdotool windowfocus --sync "$window" >/dev/null 2>&1
timeout 10 xdotool key --clearmodifiers Return
for _ in $(seq 100); do [ ! -e "$c/real/first file.bin" ] && [ ! -e "$c/real/zweite Datei ä.txt" ] && break; sleep 0.3; done
check "both files are shredded" test ! -e "$c/real/first file.bin" -a ! -e "$c/real/zweite Datei ä.txt"
after=$(cd "$c" && find real sel -printf '%p %s\n' | sort)
gone=$(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | sort)
check "nothing else changed" test "$gone" = "$(printf '< real/first file.bin 100000\n< real/zweite Datei ä.txt 7')"
finish
