#!/usr/bin/env bash
# Makes the Debian package from the build, unpacks it into a temporary root and checks what a
# user gets: the programs and the demo's helpers where Orlo looks for them, the desktop entry
# (which also opens orlo: links), icon and README, the declared dependencies, and an installed
# orlo whose --version names the build the files belong to.
set -euo pipefail
cpack=$1
build_dir=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

# Packed in a folder of its own: tests running beside this one read the build folder.
if ! "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack failed"
fi
deb=$work/out/orlo_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(cd "$work/out" && ls ./*.deb 2>/dev/null)"

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in bin/orlo bin/orlo-pxo-sim libexec/orlo/orlo-demo-chatters libexec/orlo/orlo-demo-game; do
    [ -x "$root/usr/$f" ] || fail "/usr/$f missing or not executable"
done
for f in share/applications/orlo.desktop share/icons/hicolor/scalable/apps/orlo.svg share/doc/orlo/README.md \
         share/doc/orlo/docs/demo-lobby.png; do
    [ -s "$root/usr/$f" ] || fail "/usr/$f missing"
done
desktop=$root/usr/share/applications/orlo.desktop
grep -qx 'Exec=orlo %u' "$desktop" || fail "desktop entry does not pass links to orlo"
grep -qx 'MimeType=x-scheme-handler/orlo;' "$desktop" || fail "desktop entry does not take orlo: links"
grep -qx 'Icon=orlo' "$desktop" || fail "desktop entry names another icon"

# dpkg-shlibdeps found the Qt libraries (without it the package would install and not start).
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libqt6widgets6*) ;; *) fail "Depends lacks the Qt libraries: '$depends'" ;; esac
case "$(dpkg-deb -f "$deb" Recommends)" in *ngircd*) ;; *) fail "the demo's ngircd is not recommended" ;; esac

got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/orlo" --version)
[ "$got" = "Orlo build $version" ] || fail "--version says '$got', the build is $version"
echo "package check passed: $(basename "$deb")"
