#!/usr/bin/env bash
# Builds Orlo with its benchmarks (scripts/build.sh) and runs every benchmark in build/bench.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
found=0
for bench in build/bench/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    found=1
    echo "== $(basename "$bench")"
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bench"
done
if [ "$found" = 0 ]; then
    echo "no benchmarks in build/bench" >&2
    exit 1
fi
# A flood ten times longer: the tab keeps its last lines, so memory must stay flat.
echo "== bench_chat_ingest 1000000"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} build/bench/bench_chat_ingest 1000000
