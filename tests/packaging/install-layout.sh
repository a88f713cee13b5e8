#!/usr/bin/env bash
# install-layout.sh BUILD_DIR: installs into a scratch prefix and packs the
# .deb, then checks what a Debian desktop gets.
set -euo pipefail
build=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
for program in Pellmora pellmora-sweep pellmora-sweep-window pellmora-board-simulator; do
    [ -x "$scratch/usr/bin/$program" ] || fail "no bin/$program"
done
while read -r entry program; do
    desktop=$scratch/usr/share/applications/$entry
    [ -f "$desktop" ] || fail "no share/applications/$entry"
    desktop-file-validate "$desktop" || fail "$entry does not validate"
    grep -qx "Exec=$program" "$desktop" || fail "$entry does not start $program"
    grep -qx 'Icon=pellmora' "$desktop" || fail "$entry names another icon"
done <<'ENTRIES'
pellmora.desktop Pellmora
pellmora-sweep.desktop pellmora-sweep-window
ENTRIES
for size in 16 32 48 64 128 256; do
    icon=$scratch/usr/share/icons/hicolor/${size}x${size}/apps/pellmora.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    file "$icon" | grep -q "PNG image data, $size x $size" || fail "the ${size}x${size} icon is $(file -b "$icon")"
done

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt5gui5 libqt5widgets5 libqt5serialport5 libqt5sql5-sqlite libqt5sql5-psql fonts-liberation2; do
    grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
contents=$(dpkg-deb -c "$deb")
for program in Pellmora pellmora-sweep pellmora-sweep-window; do
    grep -q " ./usr/bin/$program\$" <<<"$contents" || fail "the package lacks /usr/bin/$program"
done
for entry in pellmora.desktop pellmora-sweep.desktop; do
    grep -q " ./usr/share/applications/$entry\$" <<<"$contents" || fail "the package lacks $entry"
done
echo "PASS: install layout and package"
