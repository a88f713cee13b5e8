#!/usr/bin/env bash
# install-layout.sh BUILD_DIR: installs into a scratch prefix and packs the
# .deb, then checks what a Debian desktop gets.
set -euo pipefail
build=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
for program in Pellmora pellmora-sweep pellmora-board-simulator; do
    [ -x "$scratch/usr/bin/$program" ] || fail "no bin/$program"
done
desktop=$scratch/usr/share/applications/pellmora.desktop
[ -f "$desktop" ] || fail "no share/applications/pellmora.desktop"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -qx 'Exec=Pellmora' "$desktop" || fail "the desktop entry does not start Pellmora"
grep -qx 'Icon=pellmora' "$desktop" || fail "the desktop entry names another icon"
for size in 16 32 48 64 128 256; do
    icon=$scratch/usr/share/icons/hicolor/${size}x${size}/apps/pellmora.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "the ${size}x${size} icon is $(file -b "$icon")"
done

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt5gui5 libqt5widgets5 libqt5serialport5 fonts-liberation2; do
    grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
contents=$(dpkg-deb -c "$deb")
for program in Pellmora pellmora-sweep; do
    grep -q " ./usr/bin/$program\$" <<<"$contents" || fail "the package lacks /usr/bin/$program"
done
grep -q ' ./usr/share/applications/pellmora.desktop$' <<<"$contents" || fail "the package lacks the desktop entry"
echo "PASS: install layout and package"
