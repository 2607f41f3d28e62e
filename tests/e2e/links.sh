#!/usr/bin/env bash
# Links, hard links and files that change under a run, made from the Linux
# side and shredded by the real Quellwipe.exe under wine, in two starts:
#   1. Links wine shows as plain files (inside a folder target, and named
#      themselves) and hard links (to a file outside the run, and a pair whose
#      both names are given): nothing outside what was named changes.
#   2. Another process appends to a file while it is overwritten, and an
#      editor's save replaces a file under its name: what was appended is
#      overwritten (counted in the system calls) or the file stays, and the
#      new file under the old name is never touched. No "Success" over
#      data left readable.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1
log="$app_dir/log.txt"
cd "$c"

logged() { # path: named in the log
    grep -qF "$1" "$log" || echo "  not in the log: $1"
    grep -qF "$1" "$log"
}

no_success() {
    ! grep -q Success "$log" || echo "  the log says Success"
    ! grep -q Success "$log"
}

# --- 1. Links and hard links ---------------------------------------------
mkdir -p E1 E4 E5 HL HL2 outside
head -c 100000 /dev/urandom >outside/victim.txt
head -c 100000 /dev/urandom >outside/victim2.txt
head -c 50000 /dev/urandom >windows/qw_victim.ini
cp outside/victim.txt victim.copy
cp outside/victim2.txt victim2.copy
cp windows/qw_victim.ini qw_victim.copy
ln -s "$c/outside/victim.txt" E1/link.txt
echo own >E1/own.txt
ln -s "$c/outside/victim2.txt" E4/l.txt
# Wine resolves "v." to "v": a link "v." to "v" beside it looks like itself.
head -c 30000 /dev/urandom >E5/v
cp E5/v v.copy
ln -s v E5/v.
ln windows/qw_victim.ini HL/x.ini
echo plain >HL/plain.txt
echo pair >HL2/a.ini
ln HL2/a.ini HL2/b.ini
rm -f "$log"
quellwipe '"/s" "Links" "/O0" "/F2" "/R2" "C:\E1" "C:\E4\l.txt" "C:\E5\v." "C:\HL" "C:\HL2\a.ini" "C:\HL2\b.ini"'
check "a file link inside a folder target: what it points to keeps every byte" \
    cmp -s outside/victim.txt victim.copy
check "  the link stays, the folder's own file is shredded" test -L E1/link.txt -a ! -e E1/own.txt
check "  the link is named in the log" logged 'C:\E1\link.txt'
check "a named file link: what it points to keeps every byte, the link stays" \
    test -L E4/l.txt -a "$(cmp -s outside/victim2.txt victim2.copy && echo same)" = same
check "  and is named in the log" logged 'C:\E4\l.txt'
check "a link \"v.\" to \"v\" beside it: \"v\" keeps every byte, the link stays and is logged" \
    test -L E5/v. -a "$(cmp -s E5/v v.copy && echo same)" = same -a "$(grep -cF 'C:\E5\v.' "$log")" = 1
check "a hard link to a file outside the run: the file keeps every byte" \
    cmp -s windows/qw_victim.ini qw_victim.copy
check "  only the named link goes, beside the folder's own file" test ! -e HL/x.ini -a ! -e HL/plain.txt
check "  and the run reports it" logged 'C:\HL\x.ini'
check "a hard-linked pair whose both names are given is shredded, unreported" \
    test ! -e HL2/a.ini -a ! -e HL2/b.ini -a "$(grep -c 'HL2' "$log")" = 0
check "no Success for the links run" no_success

# --- 2. Files that change under the run ----------------------------------
# Big enough that the overwrite is seen under way before it ends.
size=$((48 * 1048576))
added=$((3 * 1048576))
mkdir -p g s
yes ORIGINAL | tr -d '\n' | head -c $size >g/grow.log
yes SECRETS! | tr -d '\n' | head -c $size >s/t.doc
started() { # file, its first 8 bytes before: the overwrite has begun
    [ -e "$1" ] && [ "$(head -c 8 "$1" | tr -d '\0')" != "$2" ]
}
(
    for _ in $(seq 3000); do started g/grow.log ORIGINAL && break; sleep 0.01; done
    yes APPENDED | tr -d '\n' | head -c $added >>g/grow.log
    for _ in $(seq 3000); do started s/t.doc SECRETS! && break; sleep 0.01; done
    # An editor's save: the old file moved aside, a new one under the name.
    mv s/t.doc s/t.doc.moved && echo innocent >s/t.doc
) &
changer=$!
rm -f "$log"
strace -f -qq -y -e trace=pwrite64 -o change.trace \
    wine "$tool" run "$(win_path "$exe")" "\"$(win_path "$exe")\" \"/s\" \"Change\" \"/O0\" \"C:\\g\\grow.log\" \"C:\\s\\t.doc\""
wait $changer
# Bytes written to grow.log past its first size: what was appended.
beyond=$(grep -a 'grow\.log>' change.trace |
    sed -nE 's/.*, ([0-9]+)\) += ([0-9]+)$/\1 \2/p' |
    awk -v from=$size '$1 >= from { n += $2 } END { print n + 0 }')
if [ -e g/grow.log ]; then
    check "a file that grew and stays holds none of its first data" \
        test "$(grep -c ORIGINAL g/grow.log)" = 0
    check "  and is named in the log" logged 'C:\g\grow.log'
else
    check "what was appended during the shred was overwritten before the file went" \
        test "$beyond" -ge $added
    check "  and the file is not reported" test "$(grep -c 'grow.log' "$log")" = 0
fi
check "the file that took the name keeps its content" test "$(cat s/t.doc)" = innocent
# Emptied once the new name is found taken; under wine the read-back meets
# the other file first (it opens by the old name) and leaves this one
# overwritten. Either way none of its first data is left.
check "  the written file stays aside, none of its data left" \
    test -f s/t.doc.moved -a "$(grep -c SECRETS s/t.doc.moved)" = 0
check "  nothing else is left in its folder" test "$(ls s | wc -l)" = 2
check "  and the run names it, without Success" logged 'C:\s\t.doc'
check "no Success for the changes run" no_success
rm -f change.trace
finish
