#!/bin/bash
# Runs every fuzz target for SECONDS seconds, two at a time, from the seed
# corpus built out of the session tests; crashes, leaks of the sanitizers and
# time-outs are left in BUILD/artifacts/TARGET/. Fails when any target failed.
#   run_fuzzers.sh BUILD SECONDS
set -u
build=$(cd "$1" && pwd); seconds=$2  # absolute: the session target changes directory
here=$(cd "$(dirname "$0")" && pwd)
corpus=$build/corpus
"$here/make_corpus.sh" "$here/../tests/sessions" "$corpus"
targets="fuzz_session fuzz_line_text fuzz_number_text fuzz_elements fuzz_arith fuzz_kernels"
status=0
# The pool is carved once and never freed, by design.
export ASAN_OPTIONS=detect_leaks=0
run() {
    local t=$1
    mkdir -p "$build/artifacts/$t" "$build/found/$t" "$corpus/$t"
    # The session target gets the calculator's words (functions, commands,
    # huge and tiny numbers) to splice into its lines.
    local dict=()
    [ "$t" = fuzz_session ] && dict=(-dict="$here/session.dict")
    # Slow inputs must not dominate: short inputs, a per-input time limit.
    # The limit is of the clock, which a busy machine stretches (two targets
    # run at once): 60 s, so that only an input that hangs reaches it.
    "$build/$t" -max_total_time="$seconds" -max_len=2000 -timeout=60 -rss_limit_mb=2048 \
        -detect_leaks=0 -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="$build/artifacts/$t/" "$build/found/$t" "$corpus/$t" \
        > "$build/$t.log" 2>&1
    local rc=$?
    echo "$t: exit $rc, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$t.log" | grep -o '[0-9]*$') executions"
    return $rc
}
set -- $targets
while [ $# -gt 0 ]; do
    run "$1" & a=$!
    b=
    if [ $# -gt 1 ]; then run "$2" & b=$!; fi
    wait $a || status=1
    [ -n "$b" ] && { wait $b || status=1; }
    shift; [ $# -gt 0 ] && shift
done
[ $status -ne 0 ] && echo "fuzzing found failures: see $build/artifacts/ and $build/*.log"
exit $status
