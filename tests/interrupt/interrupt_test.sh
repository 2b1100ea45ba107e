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
kill -INT $pid
for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 $pid 2>/dev/null || break; sleep 0.3; done
kill -0 $pid 2>/dev/null && fail "two Ctrl-C did not end the calculator"
wait $pid
status=$?
[ "$status" = 130 ] || fail "exit status $status, expected 130"
[ "$(cat OUT.TXT)" = "A= 5 " ] || fail "output file not flushed: $(cat OUT.TXT)"
echo ok
