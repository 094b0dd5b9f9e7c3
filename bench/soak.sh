#!/usr/bin/env bash
# Soak run (not part of the test suite): Orlo on a demo network of 1,000 game servers and
# 200 chat users, with five talk conversations and a repeating file download beside it, for
# SECONDS (default 600). Memory and responsiveness are printed every 10 s, the verdict at
# the end. Runs on a virtual X display (Xvfb) when there is no display.
# Usage: bash bench/soak.sh [SECONDS [ORLO-ARGUMENTS...]] (ORLO_SOAK_PARTS: see bench/soak.cpp)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
ORLO_BUILD_TARGET=orlo-soak bash scripts/build.sh
cmake --build build --target orlo-with-demo --parallel 2 >/dev/null
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# An address of its own, so a demo already running elsewhere on this computer is not in the way.
address=127.$((RANDOM % 200 + 20)).$((RANDOM % 250)).1
run=(env ORLO_SOAK_SECONDS="$seconds" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
    build/bench/orlo-soak --demo --demo-address "$address" --peer-address "$address"
    --demo-servers 1000 --demo-chatters 200 --demo-chat-interval 500 "$@")
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "${run[@]}"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
