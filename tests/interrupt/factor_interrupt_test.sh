#!/bin/bash
# Ctrl-C with piped input stops a factorisation in the elliptic curve stage
# and in the quadratic sieve (the variant without the curve library goes
# there at once) within a second of its processor time: the unsplit number
# is reported with "?",
# no sieve child process or scratch directory is left (the library's sieve
# runs in a child only when the own one fails), and the calculator goes on
# with the next line.
#   factor_interrupt_test.sh BINARY NOECM_BINARY
set -u
. "$(dirname "$0")/session.sh"
# 66 digits, two primes of 33: minutes of curves, seconds of sieving.
n=989234667557735747402586651223134321623179241010008294358914834363

stop_during() {  # stage binary
    local stage=$1
    shift
    local scratch
    scratch=$(mktemp -d)
    TMPDIR=$scratch start_session "$@" 0
    printf 'F.%s\nA=7\nP.A\n' "$n" >&3
    sleep 1  # the curves run first; the variant without them sieves at once
    local before
    before=$(cpu_ms $pid)
    kill -INT $pid
    wait_for '^? ? A= 7 $' || fail "$stage: the next line did not run"
    local ms=$(( $(cpu_ms $pid) - before ))
    [ $ms -lt 1000 ] || fail "$stage: the search took $ms ms of processor time to stop"
    grep -q "^\(? \)\?_*??  $n\$" output || fail "$stage: no unsplit remainder marked ?"
    ps --ppid $pid >/dev/null && fail "$stage: the sieve child is still running"
    ls -d "$scratch"/vantrel-sieve-* >/dev/null 2>&1 && fail "$stage: the sieve left its directory"
    printf '#X:\n' >&3
    wait $pid
    exec 3>&-
    cd / && rm -rf "$work" "$scratch"
    trap - EXIT
}

stop_during curves "$1"
stop_during sieve "$2"
echo ok
