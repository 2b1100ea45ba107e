#!/bin/bash
# Ctrl-C at the calculator: the first abandons the running line (here a block
# that replays itself for ever) and returns to the prompt with the variables
# kept; two in quick succession end the calculator through its orderly exit,
# so that the lines written with #FW are on disk.
#   interrupt_test.sh BINARY
set -u
bin=$1
. "$(dirname "$0")/session.sh"
start_session "$bin" 0
wait_for '^Vantrel' || fail "no banner"

printf '#FW:OUT.TXT\nA=5\nW.A\n{\nB=B+1\nIF(B>0)DO\n}\nX~1\n' >&3
# The replay echoes its statements: the block is running.
wait_for 'B=B+1$' || fail "the block did not start"
kill -INT $pid
wait_for '^interrupted$' || fail "no interrupted line"
printf 'P.A\nC=B*0+7\nP.C\n' >&3
wait_for '^interrupted$' || fail "no interrupted line"
wait_for '^? A= 5 $' || fail "A lost after the interrupt"
wait_for ' C= 7 $' || fail "no prompt after the interrupt"

sleep 2.5  # a single Ctrl-C again later only abandons
kill -INT $pid
sleep 0.3
kill -0 $pid 2>/dev/null || fail "a lone Ctrl-C ended the calculator"
# The second must come within two seconds of the first; a loaded machine may
# stall this script longer, so Ctrl-C comes again until the calculator ends
# (a late one only abandons, as a lone one does).
for _ in $(seq 30); do
    kill -INT $pid 2>/dev/null || break
    for _ in 1 2 3 4 5; do kill -0 $pid 2>/dev/null || break 2; sleep 0.1; done
done
kill -0 $pid 2>/dev/null && fail "two Ctrl-C did not end the calculator"
wait $pid
status=$?
[ "$status" = 130 ] || fail "exit status $status, expected 130"
[ "$(cat OUT.TXT)" = "A= 5 " ] || fail "output file not flushed: $(cat OUT.TXT)"
echo ok
