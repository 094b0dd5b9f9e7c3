#!/usr/bin/env bash
# Installs what building, running and testing Orlo needs on Debian 12 (as root).
set -euo pipefail
# dpkg-dev and file: the Debian package's library dependencies are found with dpkg-shlibdeps.
packages=(cmake ninja-build g++ qt6-base-dev libgl-dev dpkg-dev file xvfb xauth imagemagick ngircd lighttpd
          qstat python3 clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
