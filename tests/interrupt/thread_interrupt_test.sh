#!/bin/bash
# Ctrl-C while two threads work on one long computation (a million digits of
# a logarithm, then of an exponential, both by binary splitting and long
# products, some 2.5 s of processor time each): the line is abandoned within
# a second of processor time of the two, after which neither computes any
# more, and the same constants then come out right (nothing half-done was
# cached).
#   thread_interrupt_test.sh BINARY
set -u
bin=$1
. "$(dirname "$0")/session.sh"
start_session "$bin" --threads 2 7
wait_for '^Vantrel' || fail "no banner"

stops=0
for line in 'A=LN(3)' 'A=EXP(1/7)'; do
    start=$(cpu_ms $pid)
    printf '#FF:1000000\n%s\n' "$line" >&3
    # Well inside the computation.
    for _ in $(seq 600); do
        [ $(( $(cpu_ms $pid) - start )) -ge 500 ] && break
        sleep 0.05
    done
    before=$(cpu_ms $pid)
    kill -INT $pid
    stops=$((stops + 1))
    wait_for_count 'interrupted$' $stops || fail "no interrupted line for $line"
    used=$(( $(cpu_ms $pid) - before ))
    [ "$used" -lt 1000 ] || fail "$line took ${used} ms of processor time to stop"
    # Both threads are idle at the prompt: no processor time goes by.
    idle=$(cpu_ms $pid)
    sleep 0.5
    [ $(( $(cpu_ms $pid) - idle )) -lt 100 ] || fail "a thread still computes after $line"
    sleep 2.5  # a second Ctrl-C within two seconds would end the calculator
done
printf '#FF:60\nB=PI\nP.B\nC=EXP(1)\nP.C\n#X:\n' >&3
wait_for 'B= 3.141592653589793238462643383279502884197169399375105820974944' || fail "pi wrong after the stop"
wait_for 'C= 2.718281828459045235360287471352662497757247093699959574966967' || fail "e wrong after the stop"
wait $pid
echo ok
