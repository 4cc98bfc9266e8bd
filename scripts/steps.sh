# Sourced by the project's scripts: runs their steps so that none fails
# unseen. A step's output is kept aside; when it fails, the command, its exit
# status and the last lines of what it printed go to stderr.

VELMORA_STEP_TAIL=${VELMORA_STEP_TAIL:-20}

# run_step COMMAND [ARGUMENT...]: returns the command's own status.
run_step() {
    local log status=0
    log=$(mktemp /tmp/velmora-step.XXXXXX) || return 1
    "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        report_failure "$status" "$log" "$@"
    fi
    rm -f "$log"
    return "$status"
}

# report_failure STATUS LOG COMMAND...: says what failed and how it ended.
report_failure() {
    local status=$1 log=$2
    shift 2
    {
        echo "FAILED (exit status $status): $*"
        if [ -s "$log" ]; then
            echo "  its last lines:"
            tail -n "$VELMORA_STEP_TAIL" "$log" | sed 's/^/    /'
        else
            echo "  it printed nothing"
        fi
    } >&2
}
