#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a packaged Orlo needs: the
# program and its demo helpers where the program looks for them, the desktop entry, icon and
# README, and a --version that names the build the files belong to.
set -euo pipefail
build_dir=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
fail() { echo "install check: $*" >&2; exit 1; }
for f in bin/orlo bin/orlo-pxo-sim libexec/orlo/orlo-demo-chatters libexec/orlo/orlo-demo-game; do
    [ -x "$prefix/$f" ] || fail "$f missing or not executable"
done
for f in share/applications/orlo.desktop share/icons/hicolor/scalable/apps/orlo.svg share/doc/orlo/README.md \
         share/doc/orlo/docs/demo-lobby.png; do
    [ -s "$prefix/$f" ] || fail "$f missing"
done
grep -qx 'Exec=orlo' "$prefix/share/applications/orlo.desktop" || fail "desktop entry does not start orlo"
grep -qx 'Icon=orlo' "$prefix/share/applications/orlo.desktop" || fail "desktop entry names another icon"
got=$(env -u DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/orlo" --version)
[ "$got" = "Orlo build $version" ] || fail "--version says '$got', the build is $version"
echo "install check passed: $prefix"
