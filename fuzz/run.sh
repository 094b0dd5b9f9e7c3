#!/usr/bin/env bash
# Builds every libFuzzer target with clang-14 (address and undefined-behaviour sanitizers)
# and runs each for SECONDS (default 60) on its corpus in fuzz/corpus/<target>/.
# Usage: bash fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DORLO_BUILD_FUZZ=ON -DORLO_BUILD_TESTS=OFF -DORLO_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_all --parallel 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p fuzz/out
for t in "${targets[@]}"; do
    corpus="fuzz/corpus/$t"
    mkdir -p "$corpus" "fuzz/out/$t"
    echo "== $t (${seconds}s)"
    build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="fuzz/out/$t/" \
        "fuzz/out/$t" "$corpus" 2>&1 | grep -E "stat::number_of_executed_units|ERROR|SUMMARY|Done" || true
done
