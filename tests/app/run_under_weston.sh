#!/bin/sh
# Runs a window test on Wayland under weston's headless back end; exits 77 (skipped) where
# no compositor can start.
command -v weston >/dev/null 2>&1 || { echo "weston is not installed"; exit 77; }
. "$(dirname "$0")/wait_for_server.sh"
runtime=$(mktemp -d) || exit 77
socket="brindle-test-$$"
XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --socket="$socket" \
    --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
wait_for_server weston "$weston_pid" "$runtime/weston.log" -S "$runtime/$socket"
# The headless compositor has no seat: Qt 6.4's Wayland text input then reads a missing
# input device when it draws a text box's cursor and crashes now and then. No input method.
# Widgets draw into shared memory: no EGL, whose Mesa drivers keep memory the leak check
# reports from a library already unloaded, where no suppression can name it.
XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
    QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none "$@"
status=$?
kill "$weston_pid" 2>/dev/null
wait "$weston_pid" 2>/dev/null
rm -rf "$runtime"
exit "$status"
