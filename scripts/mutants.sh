#!/usr/bin/env bash
# Mutation testing: how many planted faults the tests catch.
#
#   bash scripts/mutants.sh [NAME-REGEX]
#
# Each line of scripts/mutants.txt names one single-line fault: the test folder whose tests
# must catch it, the source file, the exact text to replace (found exactly once in the file),
# the replacement, and what the fault is. Each is planted in turn in a build folder of its
# own (build-mutants), the tests of that folder are built and run, and the file is put back.
# A fault is killed when a test fails; one that does not compile is counted apart. The end
# prints killed/total and the survivors. Nothing in the work tree stays changed.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
list=scripts/mutants.txt
filter=${1:-.}
dir=build-mutants
bash scripts/install-deps.sh >/dev/null
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLO_BUILD_BENCH=OFF \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
cmake --build "$dir" --parallel 2 >/dev/null || { echo "the unmutated tree does not build" >&2; exit 2; }

total=0 killed=0 stillborn=0
survivors=()
restore() { [ -n "${current:-}" ] && cp "$dir/original" "$current"; current=; }
trap restore EXIT INT TERM

while IFS=$'\t' read -r folder file from to what; do
    [[ -z "$folder" || "$folder" == \#* ]] && continue
    name="$file: $what"
    [[ "$name" =~ $filter ]] || continue
    total=$((total + 1))
    count=$(python3 - "$file" "$from" <<'PY'
import sys
print(open(sys.argv[1], encoding="utf-8").read().count(sys.argv[2].encode().decode("unicode_escape")))
PY
)
    if [ "$count" != 1 ]; then
        echo "?  $name: the text to replace is there $count times" >&2
        stillborn=$((stillborn + 1))
        continue
    fi
    cp "$file" "$dir/original"
    current=$file
    python3 - "$file" "$from" "$to" <<'PY'
import sys
path, old, new = sys.argv[1], *(a.encode().decode("unicode_escape") for a in sys.argv[2:4])
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
PY
    tests=$(cd "$dir" && ctest -N -L "^${folder}\$" | sed -n 's/^ *Test *#[0-9]*: \([^ ]*\).*/\1/p')
    if ! cmake --build "$dir" --parallel 2 --target $tests >/dev/null 2>&1; then
        echo "!  $name: does not compile"
        stillborn=$((stillborn + 1))
    elif (cd "$dir" && ctest -j2 -L "^${folder}\$" --timeout 300 >/dev/null 2>&1); then
        echo "-  $name: SURVIVED"
        survivors+=("$name")
    else
        echo "+  $name: killed"
        killed=$((killed + 1))
    fi
    restore
done <"$list"
# The build folder goes back to the unmutated sources.
cmake --build "$dir" --parallel 2 >/dev/null
counted=$((total - stillborn))
echo
echo "killed $killed of $counted mutants ($stillborn not counted: not found or not compiling)"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
