#!/usr/bin/env bash
# Runs every benchmark built in build/bench (build first with scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
found=0
for bench in build/bench/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    found=1
    echo "== $(basename "$bench")"
    "$bench"
done
if [ "$found" = 0 ]; then
    echo "no benchmarks in build/bench; build first" >&2
    exit 1
fi
