#!/usr/bin/env bash
# Builds one parser's fuzz target with clang's libFuzzer, ASan and UBSan and
# runs it for a bounded time (QW_FUZZ_SECONDS, default 60) from the shipped
# files and the documented examples. Any crash, leak or undefined behaviour
# fails the test.
set -euo pipefail
target=$1 # movie, skin or splash
src=$(cd "$2" && pwd)
out=$(realpath -m "$3/$target")
seconds=${QW_FUZZ_SECONDS:-60}
mkdir -p "$out/corpus" "$out/found"

sources=("$src/src/player/text_lines.cpp")
case $target in
movie) sources+=("$src/src/player/movie_format.cpp" "$src/src/player/movie_state.cpp"
                 "$src/src/player/variable_store.cpp") ;;
skin) sources+=("$src/src/player/skin_format.cpp") ;;
splash) sources+=("$src/src/player/splash_format.cpp") ;;
*) echo "unknown fuzz target $target" >&2; exit 2 ;;
esac
binary=$out/${target}_fuzz
newest=$(ls -t "${sources[@]}" "$src/tests/fuzz/${target}_fuzz.cpp" "$src"/src/player/*.h | head -1)
if [ ! -x "$binary" ] || [ "$newest" -nt "$binary" ]; then
    nice -n 10 clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -I"$src/src" "${sources[@]}" \
        "$src/tests/fuzz/${target}_fuzz.cpp" -o "$binary"
fi

# Seeds: the shipped files of this kind and the examples of the format's
# document.
case $target in
movie) ext=movie ;;
skin) ext=skn ;;
splash) ext=spl ;;
esac
find "$src/data" -name "*.$ext" -exec cp {} "$out/corpus/" \; 2>/dev/null || true
doc=$src/docs/$target-format.md
if [ -f "$doc" ]; then
    awk -v dir="$out/corpus" '/^```/{n++; next} n%2==1{print > (dir "/doc" int(n/2))}' "$doc"
fi

cd "$out/found"
nice -n 10 "$binary" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=1024 \
    -dict="$src/tests/fuzz/$target.dict" -print_final_stats=1 "$out/corpus" 2>&1 | tail -15
