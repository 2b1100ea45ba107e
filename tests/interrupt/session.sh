# Shared by the Ctrl-C tests (sourced): start_session BINARY ARGS... runs
# the calculator in a scratch directory reading the fifo on descriptor 3,
# with its output in ./output; fail and wait_for report on that output.
start_session() {
    work=$(mktemp -d)
    trap 'exec 3>&-; kill -9 $pid 2>/dev/null; rm -rf "$work"' EXIT
    cd "$work" || exit 1
    mkfifo input
    "$@" < input > output 2>&1 &
    pid=$!
    exec 3> input
}
fail() { echo "FAIL: $*"; tail -c 600 output | cut -c1-200; exit 1; }
# Waits up to sixty seconds for a line matching the pattern, so that a
# loaded machine or a sanitizer build does not make the test flaky.
wait_for() {
    for _ in $(seq 600); do grep -q "$1" output && return 0; sleep 0.1; done
    return 1
}
# Milliseconds of processor time the process has used itself (children not
# counted): unlike the clock, load elsewhere on the machine does not stretch
# it, so a bound on it holds on a busy machine.
#   cpu_ms PID
cpu_ms() {
    local stat fields
    stat=$(cat "/proc/$1/stat") || return 1
    read -r -a fields <<< "${stat##*) }"  # from field 3 (state) on
    echo $(( (fields[11] + fields[12]) * 1000 / $(getconf CLK_TCK) ))
}
# Waits up to sixty seconds for at least N lines matching the pattern.
wait_for_count() {
    for _ in $(seq 600); do
        [ "$(grep -c "$1" output)" -ge "$2" ] && return 0
        sleep 0.1
    done
    return 1
}
