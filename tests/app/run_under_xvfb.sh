#!/bin/sh
# Runs a window test on X11 under Xvfb with the openbox window manager (which activates
# windows as a desktop's does); exits 77 (skipped) where no X server can start.
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed"; exit 77; }
runtime=$(mktemp -d) || exit 77
Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp >"$runtime/display" 2>"$runtime/xvfb.log" &
xvfb_pid=$!
tries=0
while [ ! -s "$runtime/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 50 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "Xvfb did not start:"; cat "$runtime/xvfb.log"
        kill "$xvfb_pid" 2>/dev/null; rm -rf "$runtime"; exit 77
    fi
    sleep 0.1
done
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
