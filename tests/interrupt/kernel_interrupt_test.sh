#!/bin/bash
# Ctrl-C in the middle of long function computations at 100000 digits: the
# line is abandoned within 1.5 s of processor time, the variables and the
# precision stay,
# and the next functions compute correctly (their work space was given back).
#   kernel_interrupt_test.sh BINARY
set -u
bin=$1
. "$(dirname "$0")/session.sh"
start_session "$bin" 5
wait_for '^Vantrel' || fail "no banner"

# A block that computes arctangents, roots and logarithms of ever new
# arguments for ever.
printf '#FF:100000\nA=5\n{\nB=ATAN(SQR(B+2))+LN(B+3)\nIF(B>-1)DO\n}\nX~1\n' >&3
# The replay echoes each statement before it runs: wait for the second pass.
wait_for_count 'B=ATAN' 2 || fail "the block did not start"
before=$(cpu_ms $pid)
kill -INT $pid
wait_for '^interrupted$' || fail "no interrupted line"
used=$(( $(cpu_ms $pid) - before ))
[ "$used" -lt 1500 ] || fail "the line took ${used} ms of processor time to stop"
printf 'P.A\nC=SQR2\nP.C\nD=1/3\nV.D\nP.D\n' >&3
wait_for '^? A= 5 $' || fail "A lost after the interrupt"
wait_for 'C= 1.4142135623730950488016887242096980785696718753769480731766797379' ||
    fail "a root after the interrupt is wrong"
wait_for 'D= .33333333' || fail "no prompt after the interrupt"
# The precision of the line's start: 100000 threes (and the blank after).
line=$(grep 'D= \.' output | head -1)
[ ${#line} -ge 100000 ] || fail "precision lost: ${#line} characters"
printf '#X:\n' >&3
wait $pid
echo ok
