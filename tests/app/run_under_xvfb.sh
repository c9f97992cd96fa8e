#!/bin/sh
# Runs a window test on X11 under Xvfb with the openbox window manager (which activates
# windows as a desktop's does); exits 77 (skipped) where no X server can start.
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed"; exit 77; }
. "$(dirname "$0")/wait_for_server.sh"
runtime=$(mktemp -d) || exit 77
Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp >"$runtime/display" 2>"$runtime/xvfb.log" &
xvfb_pid=$!
wait_for_server Xvfb "$xvfb_pid" "$runtime/xvfb.log" -s "$runtime/display"
display=":$(head -n 1 "$runtime/display")"
wm_pid=
if command -v openbox >/dev/null 2>&1; then
    DISPLAY="$display" openbox >"$runtime/openbox.log" 2>&1 &
    wm_pid=$!
    sleep 0.5
fi
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$@"
status=$?
[ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
kill "$xvfb_pid" 2>/dev/null
wait 2>/dev/null
rm -rf "$runtime"
exit "$status"
