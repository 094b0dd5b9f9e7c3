#!/usr/bin/env bash
# Configures and builds Orlo into build/ (release with debug information). Arguments go to
# the configure step; ORLO_BUILD_TARGET names one target to build instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build --parallel 2 ${ORLO_BUILD_TARGET:+--target "$ORLO_BUILD_TARGET"}
