#!/bin/bash
# Runs one session test through the real calculator and compares its whole
# standard output with the expected text.
#   run_session.sh BASE BINARY NOGMP_BINARY [NOECM_BINARY NOFLINT_BINARY]
# BASE.in       standard input (required)
# BASE.out      expected standard output (required)
# BASE.args     command-line arguments, one line, split into words (optional)
# BASE.nogmp    if present, run the variant that cannot find the library
# BASE.noecm    if present, run the variant without the elliptic curve library
# BASE.noflint  if present, run the variant without the quadratic sieve's library
# BASE.files/   files copied into the scratch directory the session runs in
# BASE.after/   files the session must have left in that directory, compared whole
# BASE.setup    if present, a bash script run in that directory first (links,
#               directories and files the session needs made on the spot)
# BASE.err      if present, the expected standard error, compared whole
# BASE.status   expected exit status (default 0)
# BASE.timeout  processor seconds the session may use (default 100): a bound
#               that load elsewhere on the machine does not stretch; a session
#               that uses no processor time and does not end is stopped after
#               ten times as many seconds of the clock
set -u
base=$1; bin=$2; nogmp=$3; noecm=${4:-}; noflint=${5:-}
[ -e "$base.nogmp" ] && bin=$nogmp
[ -e "$base.noecm" ] && bin=$noecm
[ -e "$base.noflint" ] && bin=$noflint
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$base.files" ] && cp -r "$base.files/." "$work/"
if [ -f "$base.setup" ]; then
    ( cd "$work" && bash "$base.setup" ) || { echo "setup failed"; exit 1; }
fi
args=()
[ -f "$base.args" ] && read -r -a args < "$base.args"
limit=100
[ -f "$base.timeout" ] && limit=$(cat "$base.timeout")
# Factorisations print progress marks after two seconds, which a busy
# machine reaches sooner: the sessions run without them.
export VANTREL_NO_PROGRESS_MARKS=1
( cd "$work" && ulimit -t "$limit" && timeout $((10 * limit)) "$bin" "${args[@]}" < "$base.in" > "$work/.stdout" 2> "$work/.stderr" )
status=$?
want_status=0
[ -f "$base.status" ] && want_status=$(cat "$base.status")
fail=0
if ! diff -u --label expected --label actual "$base.out" "$work/.stdout"; then
    echo "--- output differs (showing control characters):"
    cat -A "$work/.stdout" | head -50
    fail=1
fi
if [ -f "$base.err" ] && ! diff -u --label "expected stderr" --label "actual stderr" "$base.err" "$work/.stderr"; then
    fail=1
fi
if [ "$status" != "$want_status" ]; then
    echo "exit status $status, expected $want_status"
    cat "$work/.stderr" | head -20
    fail=1
fi
if [ -d "$base.after" ]; then
    for f in "$base.after"/*; do
        name=$(basename "$f")
        if ! diff -u --label "expected $name" --label "actual $name" "$f" "$work/$name"; then
            fail=1
        fi
    done
fi
exit $fail
