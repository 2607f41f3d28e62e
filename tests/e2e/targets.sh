#!/usr/bin/env bash
# Scheduled-task command lines run by the real Quellwipe.exe under wine on
# real files and folders: what is gone, what stays, the log's exact bytes,
# and settings left as they were.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
app='C:\Program Files\Quellwipe'
wine reg add "$key" /v AppPath /t REG_SZ /d "$app" /f >/dev/null 2>&1
settings_before=$(wine reg query "$key" | tr -d '\r')
log="$app_dir/log.txt"
rm -f "$log"
cd "$c"

# Files, one of them named outside any ANSI code page, one read-only and
# hidden (unattended runs ask nothing), thoroughly with two rounds.
mkdir -p e2e
head -c 300000 /dev/urandom >e2e/one.bin
echo "unicode" >"e2e/Ünïcode ファイル.txt"
echo "protected" >e2e/protected.txt
wine attrib +r +h 'C:\e2e\protected.txt' >/dev/null 2>&1
quellwipe '"/s" "Files task" "/O1" "/T2" "C:\e2e\one.bin" "C:\e2e\Ünïcode ファイル.txt" "C:\e2e\protected.txt"'
check "files run exits with 0" test $? -eq 0
check "the files are gone" test -z "$(ls -A e2e)"
check "the log has the task line and Success" \
    test "$(cat "$log")" = "$(printf 'Task Name:Files task\r\nSuccess\r\n\r')"

# A folder tree with subfolder rule and remove rule "always": all gone.
rm -f "$log"
mkdir -p tree/sub/deep
echo a >tree/a.txt
echo b >tree/sub/b.txt
head -c 70000 /dev/urandom >tree/sub/deep/c.bin
quellwipe '"/s" "Folder task" "/O0" "/T3" "/F2" "/R2" "C:\tree"'
check "the folder and its tree are gone" test ! -e tree
check "the folder run logs Success" \
    test "$(cat "$log")" = "$(printf 'Task Name:Folder task\r\nSuccess\r\n\r')"

# Rule "never": only the folder's own files go; it stays with its subfolder.
mkdir -p keep/sub
echo a >keep/a.txt
echo b >keep/sub/b.txt
quellwipe '"/s" "Top only" "/O0" "/T3" "/F0" "/R0" "C:\keep\"'
check "rule never shreds the folder's own files" test ! -e keep/a.txt
check "rule never keeps subfolders and their files" test -f keep/sub/b.txt

# A path longer than 260 characters.
deep=long
for i in 1 2 3 4 5; do deep="$deep/$(printf 'd%.0s' $(seq 1 55))$i"; done
mkdir -p "$deep"
echo deep >"$deep/file.txt"
winlong='C:\'$(echo "$deep" | tr / '\\')'\file.txt'
quellwipe "\"/s\" \"Long\" \"/O1\" \"/T1\" \"$winlong\""
check "a file behind a path of ${#winlong} characters is shredded" test ! -e "$deep/file.txt"

# A missing target is logged with the pack's raw text; no Success.
rm -f "$log"
quellwipe '"/s" "Missing" "/O0" "/T3" "C:\no-such-file.txt"'
check "a missing target is logged, and no Success" \
    test "$(cat "$log")" = "$(printf 'Task Name:Missing\r\n%s\r\n\r' "$(pack_text 9053)")"

# A task started by wine's scheduler gets its parameters without the program
# name as its command line.
rm -f "$log"
echo x >sched.txt
wine "$tool" run "$(win_path "$exe")" '"/s" "Scheduled" "/O0" "/T3" "C:\sched.txt"'
check "a command line without the program name still runs its targets" test ! -e sched.txt
check "and logs its task" grep -q "^Task Name:Scheduled" "$log"

# A drive root is never taken for a folder. (Wiping a real drive's free space
# is for images only: this root is one that no drive of the prefix has.)
rm -f "$log"
quellwipe '"/s" "Root" "/O0" "/T3" "/F2" "/R2" "Q:\"'
check "a drive root that names no drive is not found" \
    test "$(cat "$log")" = "$(printf 'Task Name:Root\r\n%s\r\n\r' "$(pack_text 9053)")"

# Names decided as given: a protected folder by any alias is refused, a
# trailing dot names another file, a link in a tree is never followed.
desktop=$(ls -d "$c"/users/*/Desktop | grep -v /Public/ | head -1)
desktop_win='C:\users\'$(basename "$(dirname "$desktop")")'\Desktop'
echo "on the desktop" >"$desktop/note.txt"
rm -f "$log"
quellwipe "\"/s\" \"Aliases\" \"/F2\" \"/R2\" \"$desktop_win\\.\" \"$desktop_win\\..\\Desktop\" \"$desktop_win.\""
check "the Desktop named with \\. or \\.. is refused and kept" \
    test "$(cat "$desktop/note.txt" 2>/dev/null)" = "on the desktop"
check "both aliases are logged as protected, the trailing dot as not found" \
    test "$(grep -c "^$(pack_text 9039 | cut -c1-30)" "$log")-$(grep -c "^$(pack_text 9053 | cut -c1-30)" "$log")" = 2-1
mkdir -p td
echo plain >td/foo
echo dotted >td/foo.
quellwipe '"/s" "Dot" "C:\td\foo."'
check "\"foo.\" is shredded and \"foo\" is not" test "$(cat td/foo)" = plain -a ! -e td/foo.
# The same name given rooted (no drive letter) and relative to the current
# folder: completed as given, so again only "foo." goes.
echo dotted >td/foo.
quellwipe '"/s" "Rooted" "\td\foo."'
check "rooted \"\\td\\foo.\" shreds \"foo.\" only" test "$(cat td/foo)" = plain -a ! -e td/foo.
echo dotted >td/foo.
(cd td && quellwipe '"/s" "Relative" "foo."')
check "relative \"foo.\" shreds \"foo.\" only" test "$(cat td/foo)" = plain -a ! -e td/foo.
mkdir -p outside tree2/sub
head -c 200000 /dev/urandom >outside/precious.bin
cp outside/precious.bin precious.copy
echo x >tree2/sub/x.txt
ln -s "$c/outside" tree2/sub/link
rm -f "$log"
quellwipe '"/s" "Links" "/F2" "/R2" "C:\tree2"'
check "a folder link's target keeps its content byte for byte" cmp -s outside/precious.bin precious.copy
check "the tree's own file is shredded" test ! -e tree2/sub/x.txt
# Wine 8.0 cannot remove a folder link without touching its target: the
# link stays, and the run says so instead of logging Success.
check "the link stays and is reported, without Success" \
    test -L tree2/sub/link -a "$(grep -c Success "$log")" = 0 -a "$(grep -c 'C:\\tree2\\sub\\link' "$log")" = 1

# A method or pass count out of range is corrected (quick; 3 rounds), never
# read as "no pass": every byte is written, as the system calls show, before
# the file goes. After the last pass the file is read back once, whole;
# "/V0" leaves that out.
if command -v strace >/dev/null; then
    for run in '"/O2" "/T3"':70000:70000 '"/O1" "/T0"':630000:70000 '"/O0" "/V0"':70000:0; do
        expected_read=${run##*:}
        run=${run%:*}
        head -c 70000 /dev/urandom >range.bin
        rm -f "$log"
        # Under strace wine now and then fails to start the helper at all
        # ("ShellExecuteEx failed"): then nothing ran, and it is started again.
        for _ in 1 2 3; do
            strace -f -qq -y -e trace=pwrite64,write,pread64,read -o range.trace \
                wine "$tool" run "$(win_path "$exe")" "\"$(win_path "$exe")\" \"/s\" \"Range\" ${run%:*} \"C:\\range.bin\""
            [ -e "$log" ] && break
        done
        written=$(grep -a 'range\.bin>' range.trace | grep -aE '^[0-9]+ +(pwrite64|write)\(' |
            sed -nE 's/.*= ([0-9]+)$/\1/p' | awk '{ n += $1 } END { print n + 0 }')
        read_back=$(grep -a 'range\.bin>' range.trace | grep -aE '^[0-9]+ +(pread64|read)\(' |
            sed -nE 's/.*= ([0-9]+)$/\1/p' | awk '{ n += $1 } END { print n + 0 }')
        check "${run%:*} writes ${run#*:} bytes before the file goes, and logs Success" \
            test "$written" = "${run#*:}" -a ! -e range.bin -a "$(grep -c Success "$log")" = 1
        check "${run%:*} reads $expected_read bytes back" test "$read_back" = "$expected_read"
        rm -f range.trace
    done
else
    echo "skip: no strace to count the bytes written"
fi

# A subfolder the system refuses to remove is reported with the error it
# gave, not taken for one that is not empty. Wine 8.0 refuses it where the
# parent may not change: immutable, which needs root and ext2/3/4 or alike.
mkdir -p fixed/sub
if chattr +i fixed 2>/dev/null; then
    trap 'chattr -i "$c/fixed" 2>/dev/null' EXIT
    rm -f "$log"
    quellwipe '"/s" "Fixed" "/O0" "/T3" "/F2" "/R2" "C:\fixed"'
    chattr -i fixed
    check "an empty subfolder that may not go stays and is logged with error 5, not 145" \
        test -d fixed/sub -a "$(grep -c 'C:\\fixed\\sub#Error 5: ' "$log")-$(grep -c 'Error 145' "$log")-$(grep -c Success "$log")" = 1-0-0
else
    echo "skip: no immutable folder here to refuse a removal"
fi

check "the settings are as they were" \
    test "$(wine reg query "$key" | tr -d '\r')" = "$settings_before"
finish
