# Helpers shared by the shell end-to-end scripts (sourced, not run).

fail() { echo "FAIL: $*" >&2; exit 1; }

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
wait_for() {
    local limit=$(( $1 * 10 )); shift
    for (( i = 0; i < limit; i++ )); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# use_work_folder: a fresh folder in $work, and $pids, whose processes are killed and the
# folder removed when the script exits.
use_work_folder() {
    work=$(mktemp -d)
    pids=()
    trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; rm -rf "$work"' EXIT
}
