#!/usr/bin/env bash
# Installs what is missing, builds Orlo and starts it on its demo network (everything on
# this computer, nothing to sign up for). Without a display it runs on a virtual one (Xvfb)
# and says so. Extra arguments go to Orlo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Only the program and its demo helpers: the test suite builds with scripts/test.sh.
ORLO_BUILD_TARGET=orlo-with-demo bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/src/app/orlo --demo "$@"
fi
echo "No display found: Orlo runs on a virtual X display (Xvfb)."
exec xvfb-run -a -s "-screen 0 1280x1024x24" build/src/app/orlo --demo "$@"
