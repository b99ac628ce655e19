#!/usr/bin/env bash
# Runs a window test on an X server of its own with a window manager: Xvfb on a free display, openbox on
# it. Where either is missing the test is skipped (exit 77).
set -uo pipefail

if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null; then
    echo "Xvfb or openbox is not installed: skipped"
    exit 77
fi

work=$(mktemp -d)
x_pid=
wm_pid=
finish() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null && wait "$x_pid" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display and writes its number once it takes connections.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
x_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:" && cat "$work/xvfb.log"
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# The window manager says when it has started by running the start-up command.
HOME="$work" openbox --sm-disable --startup "touch $work/wm-ready" >"$work/wm.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    [ -e "$work/wm-ready" ] && break
    sleep 0.1
done
if [ ! -e "$work/wm-ready" ]; then
    echo "openbox did not start:" && cat "$work/wm.log"
    exit 1
fi

QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" "$@"
