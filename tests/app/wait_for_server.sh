# Sourced by run_under_*.sh. wait_for_server NAME PID LOG TEST PATH waits until
# `test TEST PATH` holds; exits 77 (skipped) where the server dies or takes over 5 s.
wait_for_server() {
    tries=0
    while [ ! "$4" "$5" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 50 ] || ! kill -0 "$2" 2>/dev/null; then
            echo "$1 did not start:"; cat "$3"
            kill "$2" 2>/dev/null; rm -rf "$runtime"; exit 77
        fi
        sleep 0.1
    done
}
