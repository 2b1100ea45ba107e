#!/bin/bash
# Ctrl-C while a statement is evaluated again with more guard places (whose
# output is muted): the line is abandoned, the console's output comes back,
# and the next statements list their values.
#   retry_interrupt_test.sh BINARY
set -u
bin=$1
. "$(dirname "$0")/session.sh"
start_session "$bin" 6
wait_for '^Vantrel' || fail "no banner"

# SINR(2)^2+COSR(2)^2 is exactly 1, on a cut at every place: each attempt
# fails to make the last place sure, so the statement is evaluated again and
# again with more places (up to 600000 digits), muted, before it
# settles on 1. Wherever the interrupt lands (in the first attempt, in a
# muted one, or after the listing) the console must speak afterwards.
printf '#FF:400000\nA=5\nP.A\nP.SINR(2)^2+COSR(2)^2\n' >&3
wait_for 'A= 5 $' || fail "no listing of A"
# Most of the statement's time is spent in the later, muted attempts; the
# pause only makes it likely that the interrupt lands in one of them (the
# checks hold wherever it lands).
sleep 0.6
kill -INT $pid
wait_for 'interrupted$\|COSR(2)^2= 1 $' || fail "neither interrupted nor listed"
printf 'P.1+1\nP.A\n' >&3
wait_for '1+1= 2 $' || fail "the console stayed muted after the interrupt"
wait_for_count 'A= 5 $' 2 || fail "A lost after the interrupt"
printf '#X:\n' >&3
wait $pid
echo ok
