#!/usr/bin/env bash
# Installs what is missing, builds Orlo and starts it. Without a display it runs on a
# virtual one (Xvfb) and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/src/app/orlo "$@"
fi
echo "No display found: Orlo runs on a virtual X display (Xvfb)."
exec xvfb-run -a -s "-screen 0 1280x1024x24" build/src/app/orlo "$@"
