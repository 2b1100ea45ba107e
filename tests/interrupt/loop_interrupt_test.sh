#!/bin/bash
# Ctrl-C in loops whose every step is short, so that only the loop's own test
# of the flag can stop them: an index loop of a billion passes in the script
# named on the command line, and a WHILE loop in a script run nested with L:.
# Each stop prints "interrupted", drops the script, stores nothing of the
# stopped statement, and the console takes the next line with the variables
# kept.
#   loop_interrupt_test.sh BINARY
set -u
bin=$1
. "$(dirname "$0")/session.sh"
scripts=$(mktemp -d)
# I. shows its prompt at once (flushed): the handler is in place by then.
printf 'A=5\nI.Z"go\nA=ITG(J,1,999999999,J)\nA=6\n' > "$scripts/ITG.TXT"
start_session "$bin" "0,$scripts/ITG.TXT"
wait_for 'go$' || { rm -rf "$scripts"; fail "no prompt of I."; }
rm -rf "$scripts"  # read whole at the start
printf '1\n' >&3

# The index loop: A keeps 5, and the script's last line never runs.
sleep 0.3  # only makes it likely that the loop is under way
kill -INT $pid
wait_for 'interrupted$' || fail "the index loop was not stopped"
printf 'P.A\n' >&3
wait_for 'A= 5 $' || fail "A changed by the stopped loop or the dropped script"
printf '#X:\n' >&3
wait $pid
exec 3>&-
cd / && rm -rf "$work"
trap - EXIT

# A second session: a second Ctrl-C within two seconds would end this one.
start_session "$bin" 0
wait_for '^Vantrel' || fail "no banner"
# A WHILE loop in a nested script: the nested run is left, the console
# reads the next line, and B (counted up by the script) keeps its last value.
printf 'I.Z"loop\n{\nB=B+1\n}\nWHILE(B>0)DO\n' > LOOP.TXT
printf 'A=1\nB=1\nL:LOOP.TXT\n' >&3
wait_for 'loop$' || fail "the nested run did not start"
printf '1\n' >&3
sleep 0.3
kill -INT $pid
wait_for 'interrupted$' || fail "the nested WHILE loop was not stopped"
printf 'C=B*0+7\nP.C\nO.B-A\n' >&3
wait_for 'C= 7 $' || fail "no console after the nested run"
wait_for 'B>A$' || fail "B lost its count"
printf '#X:\n' >&3
wait $pid
echo ok
