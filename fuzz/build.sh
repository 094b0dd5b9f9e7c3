#!/usr/bin/env bash
# Builds every fuzz/fuzz_*.cpp with libFuzzer and sanitizers into build-fuzz/.
# A target names the sources it needs on a line "// Links: src/a.cpp src/b.cpp";
# they must be QtCore-only code without moc.
#   fuzz/build.sh                  build all
#   build-fuzz/fuzz_largeint -max_total_time=60 fuzz/corpus/largeint
set -euo pipefail
cd "$(dirname "$0")/.."
CXX=${CXX:-clang++-14}
OUT=build-fuzz
mkdir -p "$OUT"
QT_FLAGS=$(pkg-config --cflags --libs Qt6Core)
FLAGS=(-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc)
for target in fuzz/fuzz_*.cpp; do
    name=$(basename "$target" .cpp)
    links=$(sed -n 's|^// Links: *||p' "$target")
    echo "building $name"
    # shellcheck disable=SC2086
    "$CXX" "${FLAGS[@]}" "$target" $links $QT_FLAGS -o "$OUT/$name"
done
