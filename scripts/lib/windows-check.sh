#!/usr/bin/env bash
# windows-check.sh ROOT SETUP: scripts/windows --check. Installs SETUP under
# Wine in a private prefix on an Xvfb display, walks the operator's workflow
# in Pellmora.exe on COM1 (the board simulator's pseudo-terminal), runs
# pellmora-sweep.exe against a Linux run of the same modes, runs Pellmora
# Sweep, and uninstalls; prints one verdict line, exit 0 only when every
# step was seen. Screenshots of the windows go to docs/windows-*.png.
set -euo pipefail
root=$1 setup=$2
if [ -z "${PELLMORA_WINDOWS_CHECK_DISPLAY:-}" ]; then
    "$root/scripts/ensure-packages" windows-check
    [ -f "$setup" ] || { echo "no installer at $setup: run scripts/windows first" >&2; exit 1; }
    "$root/scripts/build" >/dev/null
    PELLMORA_WINDOWS_CHECK_DISPLAY=1 exec xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" "$0" "$@"
fi
# shellcheck source=desktop.sh
source "$root/scripts/lib/desktop.sh"
version=$(basename "$setup" | sed 's/^Pellmora-\(.*\)-setup\.exe$/\1/')
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko to offer: nothing here uses them.
export WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; kill "${simulator_pid:-}" "${window_manager_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

started=$(date +%s)
passed=0
timings=()
# step NAME COMMAND...: runs a step, timed; the first that fails ends the check.
step() {
    local name=$1 from
    shift
    from=$(date +%s)
    if "$@" >"$work/step.log" 2>&1; then
        passed=$((passed + 1))
        timings+=("$name $(( $(date +%s) - from )) s")
        return 0
    fi
    echo "windows check: FAILED at $name after $(( $(date +%s) - started )) s (${timings[*]:-})" >&2
    sed 's/^/    /' "$work/step.log" >&2
    echo "windows check: FAILED, $passed of $steps steps"
    exit 1
}
# Waits longer than find_window does: Wine starts a program slowly the first time.
wine_window() {
    for _ in $(seq 6); do find_window "$1" && return 0; done
    echo "no window \"$1\"" >&2
    return 1
}
shoot() { import -window "$1" "$root/docs/$2"; }
user_folder=$WINEPREFIX/drive_c/users/$(whoami)
install=$user_folder/AppData/Local/Programs/Pellmora
start_menu="$user_folder/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Pellmora"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellmora'
winpath() { winepath -w "$1" 2>/dev/null; }

# Each program's and the installer's version record and icon, read back from the files.
read_back_resources() {
    local stage binary
    stage=$(dirname "$setup")/stage/Pellmora-$version
    for binary in "$stage/Pellmora.exe" "$stage/pellmora-sweep.exe" "$stage/pellmora-sweep-window.exe" "$setup"; do
        wrestool -x --raw -t 16 "$binary" >"$work/version.bin"
        strings -el "$work/version.bin" | tr '\n' ' ' | grep -q "ProductName Pellmora" \
            || { echo "$(basename "$binary"): no version record of Pellmora"; return 1; }
        wrestool -x -t 14 "$binary" >"$work/icon.ico"
        echo "$(basename "$binary"): $(strings -el "$work/version.bin" | grep -A1 -x FileVersion | tail -n 1), icon" \
             "$(icotool -l "$work/icon.ico" | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')"
        [ "$(icotool -l "$work/icon.ico" | wc -l)" -ge 1 ] || { echo "$(basename "$binary"): no icon"; return 1; }
    done
}

install_silently() {
    wine wineboot --init
    wine "$setup" /S
    wineserver -w
    for program in Pellmora.exe pellmora-sweep.exe pellmora-sweep-window.exe Uninstall.exe platforms/qwindows.dll; do
        [ -f "$install/$program" ] || { echo "not installed: $install/$program"; return 1; }
    done
    for entry in Pellmora.lnk "Pellmora Sweep.lnk"; do
        [ -f "$start_menu/$entry" ] || { echo "no Start-menu entry $entry"; return 1; }
    done
    wine reg query "$uninstall_key" /v DisplayVersion | grep -q "$version"
    wine reg query "$uninstall_key" /v UninstallString | grep -q 'Uninstall.exe'
}

# The board simulator's terminal as COM1, as the issue's recipe has it.
map_com1() {
    "$root/build/simulator/pellmora-board-simulator" --meter 0 >"$work/board.log" &
    simulator_pid=$!
    for _ in $(seq 50); do [ "$(wc -l <"$work/board.log")" -ge 2 ] && break; sleep 0.1; done
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(sed -n 1p "$work/board.log")" /f
    wineserver -k
    wine wineboot -u
    wineserver -w
}

# The operator's workflow: the dialog connects to COM1, the power-mode
# window sends mode 15, the CoreMark report shows in its box.
walk_the_program() {
    map_com1
    mkdir -p "$work/program"
    (cd "$work/program" && wine "$install/Pellmora.exe" >/dev/null 2>&1 &)
    dialog=$(wine_window "BRENKA Pondra Power GUI")
    sleep 1
    shoot "$dialog" windows-dialog.png
    press "$dialog" Return
    status=$(wine_window "Device status")
    press "$status" Return
    # The port the dialog listed and connected to, handed on in data.txt.
    [ "$(tr -d '\r\n' <"$work/program/data.txt" 2>/dev/null)" = COM1 ] \
        || { echo "data.txt names $(od -c "$work/program/data.txt" 2>/dev/null | head -2)"; return 1; }
    window=$(wine_window "Power Modes for VAZUVOD4 Pondra")
    press "$window" Tab $(printf 'Down %.0s' $(seq 15))
    sleep 0.5
    shoot "$window" windows-power-modes.png
    press "$window" Return
    test_box=$(wine_window "Power consumption test")
    for _ in $(seq 100); do grep -q '^mode 15: ' "$work/board.log" && break; sleep 0.1; done
    grep -q '^mode 15: ' "$work/board.log" || { echo "the board was never sent 15"; return 1; }
    score_box=$(wine_window "CoreMark Score Display")
    sleep 0.5
    shoot "$score_box" windows-score-box.png
    press "$score_box" Return
    press "$test_box" Return
    wineserver -k
}

# pellmora-sweep.exe against the Linux build over the same modes: the same
# columns and modes, currents within 2 %; then history and check from it.
sweep_from_the_command_line() {
    local meter
    meter=tcp:$(sed -n 's/^meter //p' "$work/board.log")
    wine "$install/pellmora-sweep.exe" run --port COM1 --meter "$meter" --reset none --modes 0-5 --boot 0.1 --settle 0.1 \
        --samples 3 --quiet --out "$(winpath "$work/windows-run")"
    "$root/build/pellmora-sweep" run --port "$(sed -n 1p "$work/board.log")" --meter "$meter" --reset none --modes 0-5 \
        --boot 0.1 --settle 0.1 --samples 3 --quiet --history none --out "$work/linux-run"
    python3 - "$work/windows-run/results.csv" "$work/linux-run/results.csv" <<'EOF'
import csv, sys
windows, linux = (list(csv.DictReader(open(path, newline=""))) for path in sys.argv[1:])
assert list(windows[0]) == list(linux[0]), "other columns"
assert [r["index"] for r in windows] == [r["index"] for r in linux] == [str(i) for i in range(6)], "other modes"
for w, l in zip(windows, linux):
    ratio = float(w["mean_a"]) / float(l["mean_a"])
    assert abs(ratio - 1) < 0.02, f"mode {w['index']}: {w['mean_a']} A here, {l['mean_a']} A on Linux"
EOF
    [ -f "$user_folder/AppData/Local/pellmora/history.sqlite" ] || { echo "no history in %LOCALAPPDATA%\\pellmora"; return 1; }
    wine "$install/pellmora-sweep.exe" history --format csv | grep -q 'completed'
    wine "$install/pellmora-sweep.exe" check "$(winpath "$work/windows-run")"
}

# Ctrl+C in the console (Wine gives the program its CTRL_C_EVENT) stops a
# sweep in order: exit 130, the finished modes kept, the resume command said.
stop_with_ctrl_c() {
    local meter status
    meter=tcp:$(sed -n 's/^meter //p' "$work/board.log")
    wine "$install/pellmora-sweep.exe" run --port COM1 --meter "$meter" --reset none --boot 0.1 --settle 1 --samples 3 \
        --history none --out "$(winpath "$work/stopped-run")" 2>"$work/stopped.log" &
    local wine_pid=$!
    for _ in $(seq 200); do [ "$(grep -c '^[0-9]' "$work/stopped-run/results.csv" 2>/dev/null)" -ge 1 ] && break; sleep 0.1; done
    pkill -INT -f 'pellmora-sweep.exe run'
    status=0
    wait "$wine_pid" || status=$?
    cat "$work/stopped.log"
    [ "$status" = 130 ] || { echo "exit $status, not 130"; return 1; }
    grep -q -- '--resume' "$work/stopped.log"
    [ "$(grep -c '^[0-9]' "$work/stopped-run/results.csv")" -ge 1 ]
}

# Pellmora Sweep over every mode, and a picture of it when it has finished.
sweep_in_the_window() {
    local meter
    meter=tcp:$(sed -n 's/^meter //p' "$work/board.log")
    printf 'index,range,nplc,settle_s,samples\n' >"$work/plan.csv"
    for mode in $(seq 0 17); do printf '%s,auto,1,0.1,3\n' "$mode" >>"$work/plan.csv"; done
    wine "$install/pellmora-sweep-window.exe" --port COM1 --meter "$meter" --reset none --boot 0.1 \
        --plan "$(winpath "$work/plan.csv")" --out "$(winpath "$work/window-results")" --history none >/dev/null 2>&1 &
    window=$(wine_window "Pellmora Sweep")
    xdotool windowsize --sync "$window" 1366 740 windowmove --sync "$window" 0 0 || true
    sleep 1
    press "$window" alt+s
    for _ in $(seq 1200); do
        [ "$(grep -c '^[0-9]' "$work"/window-results/sweep-*/results.csv 2>/dev/null)" = 18 ] && break
        sleep 0.1
    done
    [ "$(grep -c '^[0-9]' "$work"/window-results/sweep-*/results.csv 2>/dev/null)" = 18 ] || { echo "the window's run did not finish"; return 1; }
    sleep 3
    shoot "$window" windows-sweep.png
    wineserver -k
}

uninstall_silently() {
    wine "$install/Uninstall.exe" /S
    wineserver -w
    # The uninstaller goes on from a copy of itself in the temporary folder.
    for _ in $(seq 300); do [ -e "$install" ] || break; sleep 0.1; done
    [ ! -e "$install" ] || { echo "left in $install:"; find "$install"; return 1; }
    [ ! -e "$start_menu" ] || { echo "left in the Start menu: $start_menu"; return 1; }
    ! wine reg query "$uninstall_key" >/dev/null 2>&1 || { echo "the uninstaller's registry entry is still there"; return 1; }
}

start_window_manager
steps=7
step resources read_back_resources
cp "$work/step.log" "$work/resources.log"
step install install_silently
step program walk_the_program
step command-line sweep_from_the_command_line
step ctrl-c stop_with_ctrl_c
step window sweep_in_the_window
step uninstall uninstall_silently
sed 's/^/    /' "$work/resources.log"
echo "windows check: PASSED, $passed of $steps steps in $(( $(date +%s) - started )) s (${timings[*]})"
