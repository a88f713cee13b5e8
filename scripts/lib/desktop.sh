# Helpers for driving the program's windows with keys, as an operator would,
# on an X display with a window manager. Sourced by the end-to-end test and
# the screenshot script.

# find_window TITLE: waits up to 10 s for a visible window with exactly that title; prints its id.
find_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1) && [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# wait_gone TITLE: waits up to 10 s until no visible window has that title.
wait_gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# press WINDOW KEY...: brings the window to the front and, once it has the
# keyboard, types the keys into it.
press() {
    local window=$1
    shift
    xdotool windowactivate --sync "$window"
    for _ in $(seq 50); do
        [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] && break
        sleep 0.02
    done
    xdotool key --delay 50 "$@"
}

# start_window_manager: a plain one, so windows take focus and close on Alt+F4.
start_window_manager() {
    openbox --sm-disable >/dev/null 2>&1 &
    window_manager_pid=$!
    sleep 0.5
}
