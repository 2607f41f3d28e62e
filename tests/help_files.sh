#!/usr/bin/env bash
# Checks the help: every page the contents, the index and the pages name
# exists with the anchor named, the project compiles every page and the
# contents reach each one, the built .chm is a compiled help file holding
# them all, and the sub-folder options page uses the words of the window in
# both languages. Run with <data folder> <Quellwipe.chm>.
set -u
export LC_ALL=C
data=$1
chm=$2
project=$data/help
loose=$data/HLP
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The .chm is compiled from both folders side by side.
page_file() { # name
    if [ -f "$project/$1" ]; then
        echo "$project/$1"
    elif [ -f "$loose/$1" ]; then
        echo "$loose/$1"
    fi
}

# A reference "page.html#anchor" (or "#anchor" within `from`) resolves.
resolves() { # from, reference
    local from=$1 ref=$2 name anchor file
    case $ref in
    *:*) return 1 ;; # the help is read offline: no web addresses, no ms-its: tricks
    '#'*) name=$(basename "$from") anchor=${ref#\#} ;;
    *'#'*) name=${ref%%#*} anchor=${ref#*#} ;;
    *) name=$ref anchor= ;;
    esac
    file=$(page_file "$name")
    [ -n "$file" ] || return 1
    [ -z "$anchor" ] || grep -qE "(id|name)=\"$anchor\"" "$file"
}

pages=()
for f in "$project"/*.html "$loose"/*.html; do
    pages+=("$(basename "$f")")
done
[ ${#pages[@]} -ge 19 ] || fail "only ${#pages[@]} pages found"

for list in "$project"/Quellwipe.hhc "$project"/Quellwipe.hhk; do
    locals=$(grep -oE '<param name="Local" value="[^"]*"' "$list" | sed 's/.*value="//; s/"$//')
    [ -n "$locals" ] || fail "$(basename "$list") names no page"
    for ref in $locals; do
        resolves "$list" "$ref" || fail "$(basename "$list") names $ref, which does not exist"
    done
    # Windows reads them in the code page of the help's language, not UTF-8.
    if grep -qP '[\xC2-\xF4][\x80-\xBF]' "$list"; then
        fail "$(basename "$list") is UTF-8, not Windows-1252"
    fi
done

for name in "${pages[@]}"; do
    file=$(page_file "$name")
    for ref in $(grep -oE '(href|src)="[^"]*"' "$file" | sed 's/^[a-z]*="//; s/"$//'); do
        resolves "$file" "$ref" || fail "$name links to $ref, which does not resolve"
    done
    grep -qi '<script' "$file" && fail "$name holds a script"
    grep -qi 'charset=utf-8' "$file" || fail "$name does not declare its encoding"
    grep -qx "$name" <(tr -d '\r' <"$project/Quellwipe.hhp") || fail "the project does not compile $name"
    grep -qF "value=\"$name" "$project/Quellwipe.hhc" || fail "the contents do not reach $name"
done
# Each language has its own branch of the contents, and the start page
# leads to the German part.
for top in "Quellwipe Help (English)" "Quellwipe-Hilfe (Deutsch)"; do
    grep -qF "value=\"$top\"" "$project/Quellwipe.hhc" || fail "the contents lack \"$top\""
done
grep -qx 'Default topic=en-index.html' <(tr -d '\r' <"$project/Quellwipe.hhp") ||
    fail "the help does not open on the English start page"
grep -qF 'href="de-index.html"' "$project/en-index.html" || fail "the English start page has no way to the German part"

# The options page names the choices as the window shows them.
for pack in English Deutsch; do
    for key in 9700 9701 9702 9703 9704; do
        text=$(grep -m1 "^$key=" "$data/Lang/$pack.ini" | cut -d= -f2- | tr -d '\r&')
        [ -n "$text" ] || fail "$pack.ini lacks key $key"
        grep -qF "$text" "$loose/ShredHlp.html" || fail "ShredHlp.html lacks the $pack text \"$text\""
    done
done

if [ "$(head -c 4 "$chm" 2>/dev/null)" != ITSF ]; then
    fail "$chm is not a compiled help file"
else
    for name in "${pages[@]}" help.css Quellwipe.hhc Quellwipe.hhk; do
        grep -qaF "/$name" "$chm" || fail "$chm does not hold $name"
    done
fi

if [ $failures -gt 0 ]; then
    echo "$failures problems in the help"
    exit 1
fi
echo "help: ${#pages[@]} pages, every reference resolves, $chm holds them all"
