# Sourced by the scripts that need the sample proxies: starts the test bed (an echo judge on 127.0.0.1:18080 and
# seven fake proxies on 18081-18087, the ports the sample list names) and waits until it is ready.
#   start_testbed TESTBED_PROGRAM FOLDER   sets testbed (its pid) and judge_url; the log is FOLDER/testbed.log
start_testbed() {
    local program=$1 folder=$2
    rm -f "$folder/testbed.ready"
    "$program" --judge-port 18080 --base-port 18081 --ready-file "$folder/testbed.ready" \
        >"$folder/testbed.log" 2>&1 &
    testbed=$!
    for _ in $(seq 1 100); do
        [ -f "$folder/testbed.ready" ] && break
        sleep 0.05
    done
    if [ ! -f "$folder/testbed.ready" ]; then
        echo "The sample proxies could not start (are ports 18080-18087 taken?):" >&2
        cat "$folder/testbed.log" >&2
        return 1
    fi
    judge_url=$(sed -n 's/^judge_url=//p' "$folder/testbed.ready")
}
