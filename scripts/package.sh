#!/usr/bin/env bash
# Installs what is missing, builds the programs the package holds into build/ and makes the
# Debian package there; prints its path. Install it with: sudo apt install ./build/orlo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Only what the package holds: the tests and benchmarks build with scripts/test.sh.
ORLO_BUILD_TARGET=orlo-with-demo bash scripts/build.sh
cd build
# "CPack: - package: /path/orlo_38_amd64.deb generated."
deb=$(cpack -G DEB | sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p')
[ -f "$deb" ] || { echo "cpack made no package" >&2; exit 1; }
echo "$deb"
