#!/usr/bin/env bash
# operator-workflow.sh BUILD_DIR SOURCE_DIR
# Drives the real program as an operator would, with keys only, on a display
# of its own, against the simulated board that scripts/run uses.
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
skip=77
# shellcheck source=../../scripts/lib/desktop.sh
source "$source/scripts/lib/desktop.sh"

if ! why=$("$source/scripts/simulated-board" --check); then
    echo "SKIP: cannot simulate a board here: $why"
    exit $skip
fi
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$0" "$@"
fi

work=$(mktemp -d)
log=$work/board.log
cleanup() {
    kill "${program_pid:-}" "${window_manager_pid:-}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- board log"; cat "$log"
    exit 1
}
wait_log() {
    for _ in $(seq 100); do
        grep -qxF "$1" "$log" && return 0
        sleep 0.1
    done
    return 1
}

start_window_manager
"$source/scripts/simulated-board" "$build/Pellmora" "$work" >"$log" 2>&1 &
program_pid=$!

dialog=$(find_window "BRENKA Pondra Power GUI") || fail "the port-selection dialog did not appear"
press "$dialog" Return
status=$(find_window "Device status") || fail "Connect on the first listed port did not report DEVICE CONNECTED"
press "$status" Return
wait_gone "Device status" || fail "Return did not dismiss the Device status box"
[ "$(od -An -c "$work/data.txt" | tr -s ' ')" = " t t y S 0 \n" ] || fail "data.txt holds $(od -c "$work/data.txt")"

window=$(find_window "Power Modes for VAZUVOD4 Pondra") || fail "the power-mode window did not open"
xdotool search --onlyvisible --name "^BRENKA Pondra Power GUI\$" >/dev/null || fail "the dialog went away"

press "$window" Return
test_box=$(find_window "Power consumption test") || fail "Confirm showed no test box"
wait_log "mode 0: SHUTDOWN" || fail "the board did not receive mode 0"
press "$test_box" Return
wait_gone "Power consumption test" || fail "Return did not close the test box"

press "$window" Tab $(printf 'Down %.0s' $(seq 15)) Return
test_box=$(find_window "Power consumption test") || fail "Confirm on mode 15 showed no test box"
wait_log "mode 15: RUN_CoreMark Range 1, 80MHz" || fail "the board did not receive mode 15"
score_box=$(find_window "CoreMark Score Display") || fail "the CoreMark score was not shown"
xdotool search --onlyvisible --name "^Power consumption test\$" >/dev/null || fail "the score did not come while the test box was open"
press "$score_box" Return
wait_gone "CoreMark Score Display" || fail "Return did not close the score box"
press "$test_box" Return
wait_gone "Power consumption test" || fail "Return did not close the test box"
if grep -q '^ignored:' "$log"; then fail "the board received bytes that are no command"; fi
[ "$(grep -c '^mode ' "$log")" -eq 2 ] || fail "the board received other commands than 0 and 15"

press "$window" alt+F4
wait_gone "Power Modes for VAZUVOD4 Pondra" || fail "the power-mode window did not close"
press "$dialog" Return
status=$(find_window "Device status") || fail "Connect after closing the window did not succeed"
press "$status" Return
window=$(find_window "Power Modes for VAZUVOD4 Pondra") || fail "no power-mode window after the second Connect"

press "$window" alt+F4
press "$dialog" alt+F4
for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$program_pid" 2>/dev/null; then fail "the program still runs with all its windows closed"; fi
wait "$program_pid" || fail "the program did not end cleanly with its last window"

echo "PASS: the operator's workflow on the simulated board"
