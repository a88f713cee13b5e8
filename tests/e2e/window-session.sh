# window-session.sh, sourced with BUILD_DIR SOURCE_DIR by the tests of the
# Pellmora Sweep window: a display of its own with a window manager, a
# scratch folder $work for the window's settings and files, and at exit the
# window ($window_pid) and simulator ($simulator_pid) ended and $work removed.
build=$(realpath "$1")
source=$(realpath "$2")
# shellcheck source=../../scripts/lib/desktop.sh
source "$source/scripts/lib/desktop.sh"

# SCREEN: the display's size, 1600x1000 unless the test asks for another.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run --auto-servernum --server-args="-screen 0 ${SCREEN:-1600x1000}x24" "$0" "$@"
fi

work=$(mktemp -d)
cleanup() {
    kill "${window_pid:-}" "${simulator_pid:-}" "${window_manager_pid:-}" 2>/dev/null || true
    # On SIGTERM the window ends in order, saving its settings into $work.
    [ -z "${window_pid:-}" ] || wait "$window_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The strict simulated board and its meter: $simulator_pid, the board's
# $terminal and the meter's address $meter.
start_strict_board() {
    "$build/simulator/pellmora-board-simulator" --strict --meter 0 >"$work/board.log" &
    simulator_pid=$!
    for _ in $(seq 50); do [ "$(wc -l <"$work/board.log")" -ge 2 ] && break; sleep 0.1; done
    terminal=$(sed -n 1p "$work/board.log")
    meter=tcp:$(sed -n 's/^meter //p' "$work/board.log")
    [ -n "$terminal" ] && [ "$meter" != tcp: ] || fail "the simulator did not start"
}

export XDG_CONFIG_HOME=$work/config
start_window_manager
