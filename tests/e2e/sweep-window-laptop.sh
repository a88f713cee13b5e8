#!/usr/bin/env bash
# sweep-window-laptop.sh BUILD_DIR SOURCE_DIR, with SCREEN=WIDTHxHEIGHT
# Pellmora Sweep on a bench laptop's screen: it opens inside the screen's
# area, its frame and title bar included, and a sweep started from it with
# its keys runs to its end.
set -euo pipefail
# shellcheck source=window-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/window-session.sh" "$@"
export PELLMORA_HISTORY=none
start_strict_board
printf 'index,range,nplc,settle_s,samples\n0,auto,1,0.1,3\n13,auto,1,0.1,3\n' >"$work/plan.csv"

"$build/pellmora-sweep-window" --port "$terminal" --meter "$meter" --reset "command:kill -USR1 $simulator_pid" \
    --boot 0.2 --plan "$work/plan.csv" --out "$work/results" --settings "$work/window.ini" &
window_pid=$!
window=$(find_window "Pellmora Sweep") || fail "no window"
sleep 1   # the window manager frames and places it

# The frame as the window manager drew it: the client area and the extents around it.
read -r screen_width screen_height < <(xdpyinfo | sed -n 's/ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
# The client area where it lies on the screen (xdotool counts the frame twice).
info=$(xwininfo -id "$window")
X=$(sed -n "s/ *Absolute upper-left X: *//p" <<<"$info"); Y=$(sed -n "s/ *Absolute upper-left Y: *//p" <<<"$info")
WIDTH=$(sed -n "s/ *Width: *//p" <<<"$info"); HEIGHT=$(sed -n "s/ *Height: *//p" <<<"$info")
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3 \4/p')
[ -n "$left" ] || fail "the window manager gave no frame extents"
(( X - left >= 0 && Y - top >= 0 && X + WIDTH + right <= screen_width && Y + HEIGHT + bottom <= screen_height )) \
    || fail "the window ($WIDTH x $HEIGHT at $X,$Y, frame $left $right $top $bottom) does not fit the ${screen_width}x$screen_height screen"

press "$window" alt+s
results=
for _ in $(seq 300); do
    results=$(ls -d "$work"/results/sweep-* 2>/dev/null | head -n 1 || true)
    [ -n "$results" ] && [ "$(grep -c '^[0-9]' "$results/results.csv" 2>/dev/null)" = 2 ] && break
    sleep 0.1
done
[ -n "$results" ] && [ "$(grep -c '^[0-9]' "$results/results.csv")" = 2 ] || fail "the sweep did not finish its two modes"
echo "PASS: the window fits a ${screen_width}x$screen_height screen and runs a sweep there"
