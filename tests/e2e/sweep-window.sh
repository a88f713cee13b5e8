#!/usr/bin/env bash
# sweep-window.sh BUILD_DIR SOURCE_DIR
# Runs a whole sweep in the real Pellmora Sweep window, started with keys on a
# display of its own, against the strict simulated board and its meter with a
# reset by command, then checks the results folder it wrote and the run the
# history recorded.
set -euo pipefail
# shellcheck source=window-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/window-session.sh" "$@"
export PELLMORA_HISTORY=$work/history.sqlite
start_strict_board

# Short settle times; the CoreMark modes settle past their report.
printf 'index,range,nplc,settle_s,samples\n' >"$work/plan.csv"
for mode in $(seq 0 17); do
    settle=0.1; [ "$mode" = 14 ] || [ "$mode" = 15 ] && settle=0.8
    printf '%s,auto,1,%s,3\n' "$mode" "$settle" >>"$work/plan.csv"
done

"$build/pellmora-sweep-window" --port "$terminal" --meter "$meter" --reset "command:kill -USR1 $simulator_pid" \
    --boot 0.2 --plan "$work/plan.csv" --out "$work/results" --board-id e2e-board --firmware e2e-1 &
window_pid=$!
window=$(find_window "Pellmora Sweep") || fail "no window"
press "$window" alt+s

results=
for _ in $(seq 600); do
    results=$(ls -d "$work"/results/sweep-* 2>/dev/null | head -n 1 || true)
    [ -n "$results" ] && [ "$(grep -c '^[0-9]' "$results/results.csv" 2>/dev/null)" = 18 ] && break
    sleep 0.1
done
[ -n "$results" ] || fail "no results folder"
rows=$(grep -c '^[0-9]' "$results/results.csv")
[ "$rows" = 18 ] || fail "results.csv has $rows rows, not 18"
# The window redraws the chart in the background after each mode, so the
# last mode reaches it a little after results.csv.
chart_shows() { grep -q ">$1  " "$results/chart.svg" 2>/dev/null; }
for _ in $(seq 300); do chart_shows 17 && break; sleep 0.1; done
for mode in $(seq 0 17); do
    grep -q "^$mode," "$results/results.csv" || fail "mode $mode is not in results.csv"
    chart_shows "$mode" || fail "the chart does not show mode $mode"
done
grep -q '^15,.*,166.42,' "$results/results.csv" || fail "mode 15 has no CoreMark score"
grep -q 'mode 17: ' "$work/board.log" || fail "the board never took mode 17"
listed=
for _ in $(seq 100); do
    listed=$("$build/pellmora-sweep" history --format csv)
    grep -q ',completed,.*,e2e-board,e2e-1,' <<<"$listed" && break
    sleep 0.1
done
grep -q ",completed,.*,e2e-board,e2e-1,,,18,0,$results\$" <<<"$listed" || fail "the history did not record the run: $listed"
echo "PASS: a whole sweep in the window"
