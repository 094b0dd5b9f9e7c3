#!/usr/bin/env bash
# Installs what is missing, builds Orlo and runs the whole test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build
ctest -j2 --output-on-failure --timeout 600
