#!/usr/bin/env bash
# sweep-window-terminated.sh BUILD_DIR SOURCE_DIR
# SIGTERM to Pellmora Sweep in the middle of a mode, as a session's end
# sends it: the sweep stops in order, the Power Profiler Kit II powering the
# board switches it off, the window exits 0, and the meter's bins go.
set -euo pipefail
# shellcheck source=window-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/window-session.sh" "$@"
export PELLMORA_HISTORY=none
"$build/simulator/pellmora-board-simulator" --ppk2 >"$work/board.log" &
simulator_pid=$!
for _ in $(seq 50); do grep -q '^ppk2 ' "$work/board.log" && break; sleep 0.1; done
terminal=$(sed -n 1p "$work/board.log")
box=ppk2:$(sed -n 's/^ppk2 //p' "$work/board.log")
[ "$box" != ppk2: ] || fail "the simulator did not start"

# The first mode settles for a minute: the signal comes in the middle of it.
printf 'index,range,nplc,settle_s,samples\n0,auto,1,60,3\n' >"$work/plan.csv"
"$build/pellmora-sweep-window" --port "$terminal" --meter supply --supply-unit "$box" --supply 3.3 --reset power \
    --boot 0.2 --plan "$work/plan.csv" --out "$work/results" &
window_pid=$!
window=$(find_window "Pellmora Sweep") || fail "no window"
press "$window" alt+s
for _ in $(seq 200); do ls "$work"/results/sweep-*/.trace.part >/dev/null 2>&1 && break; sleep 0.1; done
ls "$work"/results/sweep-*/.trace.part >/dev/null 2>&1 || fail "the first mode never began"

kill -TERM "$window_pid"
status=0
for _ in $(seq 200); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$window_pid" 2>/dev/null && fail "the window is still open 20 s after SIGTERM"
wait "$window_pid" || status=$?
window_pid=
[ "$status" = 0 ] || fail "the window exited with $status"
[ "$(grep '^ppk2: board' "$work/board.log" | tail -n 1)" = "ppk2: board unpowered" ] \
    || fail "the board was left powered: $(grep '^ppk2: board' "$work/board.log" | tail -n 1)"
leftover=$(ls -A "$work"/results/ 2>/dev/null)
[ -z "$leftover" ] || fail "a folder with no finished mode was left: $leftover"
echo "PASS: SIGTERM stops the window's sweep in order"
