#!/bin/bash
# Builds the seed corpora of the fuzz targets from the session tests:
#   make_corpus.sh SESSIONS_DIR OUT_DIR
# session: every session input whole (cut to 2000 bytes) and line by line;
# line_text and number_text: every line (number_text with each operation
# byte); elements: a few hand-made records; arith and kernels: one short
# input per operation or function (their decoders stretch a few bytes into
# whole operands).
set -eu
sessions=$1; out=$2
mkdir -p "$out"/fuzz_session "$out"/fuzz_line_text "$out"/fuzz_number_text "$out"/fuzz_elements \
    "$out"/fuzz_arith "$out"/fuzz_kernels
n=0
for f in "$sessions"/*.in; do
    name=$(basename "$f" .in)
    head -c 2000 "$f" > "$out/fuzz_session/$name"
    while IFS= read -r line || [ -n "$line" ]; do
        n=$((n + 1))
        printf '%s\n' "$line" > "$out/fuzz_session/line$n"
        printf '%s' "$line" > "$out/fuzz_line_text/line$n"
        printf '\000\003%s' "$line" > "$out/fuzz_number_text/lit$n"
    done < "$f"
done
printf 'A=A+1\nL:S.TXT\nP.A\n' > "$out/fuzz_session/self_run"
printf 'B=2\n#RUN:S.TXT\n' > "$out/fuzz_session/self_chain"
printf '1,2.5,-3\n4,5\nLC:S.TXT\nP.B1\nWC:D2,T.TXT\nLC:T.TXT\n' > "$out/fuzz_session/table"
k=0
for x in 1 12345678901234567890 -7.25 .000001 3/7 99999999.99999999 1E5; do
    k=$((k + 1))
    for m in 0 1; do printf "\\00$m\\003%s" "$x" > "$out/fuzz_number_text/m$m-$k"; done
done
printf '\002\020\000\006\000\000\001\000\000\000' > "$out/fuzz_elements/int"
printf '\021\005\000\010\003\014\377\377\377\377\001\001\001\001' > "$out/fuzz_elements/frac"
printf '\034\377\017\002\000\000\100\100\100\100' > "$out/fuzz_elements/reg"
for op in 0 1 2 3 4 5 6 7 10; do printf "\\002\\001\\002\\0$op\\041" > "$out/fuzz_arith/op$op"; done
for fn in 0 1 2 3 4 5 6 7 10 11 12; do printf "\\0$fn\\001\\007\\200\\003" > "$out/fuzz_kernels/fn$fn"; done
