#!/usr/bin/env bash
# Logs in with the keyboard only, on a virtual X display: starts telnormer on a fresh demo
# database with clean settings in English, types Alt+D, the database path, Alt+U, ADMIN, Alt+P,
# admin, Enter through xdotool, and checks that the window "Demo - Veltrano Telnormer" appears.
# Exits 0 when it does, 1 when it does not.
set -euo pipefail
cd "$(dirname "$0")/.."
self=$(pwd)/scripts/keyboard-login.sh
main_title="Demo - Veltrano Telnormer"
login_title="Database Login"

if [ "${1:-}" != --on-display ]; then
    ./scripts/install-deps.sh
    . scripts/build-targets.sh
    build_targets telnormer vdbtool
    work=$(mktemp -d /tmp/telnormer.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    "$build/tools/vdbtool/vdbtool" demo "$work/Demo.vdb" >/dev/null
    status=0
    xvfb-run -a -s "-screen 0 1280x1024x24" "$self" --on-display "$build/src/startup/telnormer" \
        "$work" || status=$?
    exit "$status"
fi

# On the virtual display.
program=$2
work=$3
mkdir -m 700 "$work/runtime"
env -u WAYLAND_DISPLAY LANGUAGE=en LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 QT_QPA_PLATFORM=xcb \
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    "$program" >"$work/telnormer.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true' EXIT

# find_window TITLE SECONDS: prints the id of the shown window with exactly that title.
find_window() {
    local i id
    for ((i = 0; i < $2 * 10; i++)); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

fail() {
    echo "keyboard-login: FAILED: $1"
    if ! kill -0 "$pid" 2>/dev/null; then
        local status=0
        wait "$pid" || status=$?
        echo "the program has ended, exit status $status"
    fi
    echo "shown windows:"
    for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        echo "  $id \"$(xdotool getwindowname "$id")\""
    done
    echo "program output:"
    sed 's/^/  /' "$work/telnormer.log"
    exit 1
}

login=$(find_window "$login_title" 30) || fail "the window \"$login_title\" did not appear"
# No window manager runs here to give the dialog the focus, so do what one would.
timeout 10 xdotool windowfocus --sync "$login" || fail "the login dialog cannot get the focus"
sleep 0.5

xdotool key alt+d
xdotool type --delay 20 "$work/Demo.vdb"
xdotool key alt+u
xdotool type --delay 20 ADMIN
xdotool key alt+p
xdotool type --delay 20 admin
xdotool key Return

main=$(find_window "$main_title" 30) || fail "the window \"$main_title\" did not appear"
echo "keyboard-login: OK: the window \"$main_title\" is shown (id $main)"
