#!/usr/bin/env bash
# The certificate of real runs under wine, in English and in German: one
# page per run beside the erasure record, naming what was given, shredded
# and left (with the reason), and carrying the SHA-256 of the run's last
# record line; each page photographed as a browser shows it. The main
# window's button makes and opens the certificates' folder.
set -uo pipefail
. "$(dirname "$0")/common.sh"

c="$WINEPREFIX/drive_c"
shots=${QW_SHOTS:-$WINEPREFIX/shots}
mkdir -p "$shots" "$c/cert"
wine reg add "$key" /v AppPath /t REG_SZ /d 'C:\Program Files\Quellwipe' /f >/dev/null 2>&1

record() { echo "$(users_folder)/erasure.jsonl"; }
reports() { echo "$(users_folder)/Reports"; }
# The certificates written so far, oldest first.
certificates() { ls -1tr "$(reports)"/*.html 2>/dev/null; }
text() { # pack key: the text as that language's pack holds it
    grep -a -m1 "^$2=" "$app_dir/Lang/$1.ini" | cut -d= -f2- | tr -d '\r'
}
has() { grep -qF -- "$2" "$1"; }
# The last line of the record without its line end, hashed.
last_line_hash() { tail -n 1 "$(record)" | sed 's/\r$//' | tr -d '\n' | sha256sum | cut -d' ' -f1; }
photo() { # page language
    # Headless: the page as printed or saved, no display needed.
    timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --user-data-dir="$WINEPREFIX/chromium" --window-size=1000,1100 \
        --screenshot="$shots/certificate-$2.png" "file://$1" >/dev/null 2>&1
    test -s "$shots/certificate-$2.png"
}

# English: one file shredded, one held open by another program, one missing;
# the task's name holds characters neither a page nor a file name may carry.
head -c 200000 /dev/urandom >"$c/cert/a & b.bin"
head -c 1000 /dev/urandom >"$c/cert/held.bin"
hold_open 'C:\cert\held.bin'
quellwipe '"/s" "Nightly <en>" "/O1" "/T2" "C:\cert\a & b.bin" "C:\cert\held.bin" "C:\cert\gone.bin"'
code=$?
let_go
check "the English run exits 1 ($code)" test "$code" -eq 1
page=$(certificates | tail -1)
check "it left a certificate in the Reports folder beside the record" \
    test -n "$page" -a "$(dirname "$page")" = "$(dirname "$(record)")/Reports"
check "named after its start and task, made safe: ${page##*/}" \
    bash -c "[[ '${page##*/}' =~ ^20[0-9]{2}-[01][0-9]-[0-3][0-9]\ [0-9]{6}\ Nightly\ _en_\.html$ ]]"
check "it names the task, escaped" has "$page" 'Nightly &lt;en&gt;'
check "it names the targets" has "$page" '<li>C:\cert\a &amp; b.bin</li><li>C:\cert\held.bin</li><li>C:\cert\gone.bin</li>'
check "it lists the shredded file" has "$page" '<td>C:\cert\a &amp; b.bin</td></tr>'
check "the held file is left as not opened, with the system's code" \
    has "$page" "<td>C:\\cert\\held.bin</td><td>Error 32: $(text English 9147)</td>"
check "the missing one as not found" has "$page" "<td>C:\\cert\\gone.bin</td><td>$(text English 9144)</td>"
check "the method is the thorough one with two rounds" \
    has "$page" "$(text English 9126 | sed "s/%s/$(text English 9916)/; s/%u/2/")"
check "the result is: items left" has "$page" "$(text English 9133)"
hash=$(last_line_hash)
check "its hash is the SHA-256 of the record's last line ($hash)" has "$page" "<code>$hash</code>"
check "nothing of a name is markup" bash -c "! grep -qF '<en>' '$page'"
photo "$page" English
check "the English page is photographed" test -s "$shots/certificate-English.png"

# German: the texts come from the German pack, umlauts and all.
wine reg add "$key" /v Language /t REG_SZ /d Deutsch /f >/dev/null 2>&1
head -c 5000 /dev/urandom >"$c/cert/c.bin"
quellwipe '"C:\cert\c.bin" "C:\cert\weg.bin"' &
program=$!
# A run started by a person asks first (Ja) and tells what it left (OK).
title=$(pack_text 9606)
deadline=$((SECONDS + 40))
while kill -0 "$program" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    if wine "$tool" wait '#32770' "$title" 500; then
        shown=$(wine "$tool" text '#32770' "$title" | tr -d '\r')
        wine "$tool" click '#32770' "$title" '&Ja' >/dev/null 2>&1 ||
            wine "$tool" click '#32770' "$title" OK >/dev/null 2>&1
        # The click is posted: wait until this message has gone.
        for _ in $(seq 20); do
            [ "$(wine "$tool" text '#32770' "$title" 2>/dev/null | tr -d '\r')" != "$shown" ] && break
            sleep 0.3
        done
    fi
done
wait "$program"
code=$?
check "the German run exits 1 ($code)" test "$code" -eq 1
page=$(certificates | tail -1)
check "it left its own certificate: ${page##*/}" bash -c "[[ '${page##*/}' == *' interactive.html' ]]"
check "in German, with umlauts" has "$page" "<h1>$(text Deutsch 9120)</h1>"
check "its result" has "$page" "$(text Deutsch 9133)"
check "the missing file with its German reason" has "$page" "<td>C:\\cert\\weg.bin</td><td>$(text Deutsch 9144)</td>"
check "the shredded one" has "$page" '<td>C:\cert\c.bin</td></tr>'
check "its hash is the record's last line's" has "$page" "<code>$(last_line_hash)</code>"
check "the file is gone" test ! -e "$c/cert/c.bin"
photo "$page" Deutsch
check "the German page is photographed" test -s "$shots/certificate-Deutsch.png"

# The main window's button makes the folder when it is missing and opens it.
rm -rf "$(reports)"
wine "$exe" &
program=$!
wine "$tool" wait QuellwipeMainWindow - 60000
wine "$tool" click QuellwipeMainWindow - 'Ber&ichte'
folder=
for _ in $(seq 1 50); do
    folder=$(reports)
    [ -n "$folder" ] && break
    sleep 0.2
done
check "Berichte makes the Reports folder" test -n "$folder"
check "and opens it in a window of its own" wine "$tool" wait - Reports 20000
wine "$tool" close - Reports
wine "$tool" close QuellwipeMainWindow -
wait "$program"
finish
