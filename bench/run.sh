#!/usr/bin/env bash
# Times the calculator on a fixed set of workloads and, where they are
# installed, the same workloads in GNU bc, PARI/GP and Python; prints a table
# of medians with the ratio of the calculator to the fastest peer.
#
#   bench/run.sh [path/to/vantrel]
#   BENCH_RUNS=3 BENCH_TIMEOUT=60 BENCH_ONLY=fact bench/run.sh
#
# Each run is bounded by BENCH_TIMEOUT seconds (a run that hits it is shown as
# ">T"); runs longer than 10 s are timed once. Uses hyperfine when present,
# else /usr/bin/time.
set -u

VANTREL=${1:-build/vantrel}
RUNS=${BENCH_RUNS:-3}
LIMIT=${BENCH_TIMEOUT:-60}
ONLY=${BENCH_ONLY:-}
[ -x "$VANTREL" ] || { echo "calculator not found: $VANTREL (build it first: make build)" >&2; exit 1; }
VANTREL=$(cd "$(dirname "$VANTREL")" && pwd)/$(basename "$VANTREL")

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

have() { command -v "$1" >/dev/null 2>&1; }
HAVE_BC=0; have bc && HAVE_BC=1
HAVE_GP=0; have gp && HAVE_GP=1
HAVE_PY=0; have python3 && HAVE_PY=1
HAVE_MPMATH=0
[ $HAVE_PY = 1 ] && python3 -c 'import mpmath' 2>/dev/null && HAVE_MPMATH=1
HAVE_HYPERFINE=0; have hyperfine && HAVE_HYPERFINE=1

# ------------------------------------------------------------ workloads
# Each workload writes, for every tool that can run it, an input file
# $WORK/<name>.<tool> (tool: vantrel, bc, gp, py) and, for the calculator,
# the preset digit in $WORK/<name>.preset.

SEMIPRIME=131622776601696326447676124687   # 316227766016849 * 416227766016863

workload_names=()
add() { workload_names+=("$1"); }

write_factorial() {  # name n
    local n=$1 w=$2
    printf 'A=%s!\nP.A\n#X:\n' "$n" > "$WORK/$w.vantrel"; echo 5 > "$WORK/$w.preset"
    printf 'define f(n) { auto i, r; r = 1; for (i = 2; i <= n; i++) r *= i; return r; }\nf(%s)\n' "$n" > "$WORK/$w.bc"
    printf 'print(%s!)\n' "$n" > "$WORK/$w.gp"
    printf 'import math, sys\nsys.set_int_max_str_digits(0)\nprint(math.factorial(%s))\n' "$n" > "$WORK/$w.py"
}

write_power() {
    local w=$1
    printf 'A=3^1000000\nP.A\n#X:\n' > "$WORK/$w.vantrel"; echo 5 > "$WORK/$w.preset"
    printf '3^1000000\n' > "$WORK/$w.bc"
    printf 'print(3^1000000)\n' > "$WORK/$w.gp"
    printf 'import sys\nsys.set_int_max_str_digits(0)\nprint(3**1000000)\n' > "$WORK/$w.py"
}

# Two integers of about 500000 digits (3^1048000 and 7^591600) and their
# product; nothing is printed, the product is computed and kept.
write_product() {
    local w=$1
    printf 'A=3^1048000\nB=7^591600\nC=A*B\n#X:\n' > "$WORK/$w.vantrel"; echo 6 > "$WORK/$w.preset"
    printf 'a=3^1048000\nb=7^591600\nc=a*b\n' > "$WORK/$w.bc"
    printf 'a=3^1048000;b=7^591600;c=a*b;\n' > "$WORK/$w.gp"
    printf 'a=3**1048000\nb=7**591600\nc=a*b\n' > "$WORK/$w.py"
}

write_constant() {  # name kind digits
    local w=$1 kind=$2 d=$3 v bcx gpx mpx
    case $kind in
        pi) v='PI'; bcx='4*a(1)'; gpx='Pi'; mpx='mp.pi' ;;
        e) v='EXP'; bcx='e(1)'; gpx='exp(1)'; mpx='mp.e' ;;
        sqrt2) v='SQRT(2)'; bcx='sqrt(2)'; gpx='sqrt(2)'; mpx='mp.sqrt(2)' ;;
    esac
    printf '#FF:%s\nA=%s\nP.A\n#X:\n' "$d" "$v" > "$WORK/$w.vantrel"; echo 5 > "$WORK/$w.preset"
    printf 'scale=%s\n%s\n' "$d" "$bcx" > "$WORK/$w.bc"
    printf 'default(realprecision, %s);\nprint(%s)\n' "$d" "$gpx" > "$WORK/$w.gp"
    if [ $HAVE_MPMATH = 1 ]; then
        printf 'from mpmath import mp\nmp.dps = %s\nprint(%s)\n' "$d" "$mpx" > "$WORK/$w.py"
    elif [ "$kind" = sqrt2 ]; then
        printf 'from decimal import Decimal, getcontext\ngetcontext().prec = %s\nprint(Decimal(2).sqrt())\n' "$d" > "$WORK/$w.py"
    elif [ "$kind" = e ]; then
        printf 'from decimal import Decimal, getcontext\ngetcontext().prec = %s\nprint(Decimal(1).exp())\n' "$d" > "$WORK/$w.py"
    fi
}

write_factorise() {
    local w=$1
    printf 'F.%s\n#X:\n' "$SEMIPRIME" > "$WORK/$w.vantrel"; echo 5 > "$WORK/$w.preset"
    printf 'print(factor(%s))\n' "$SEMIPRIME" > "$WORK/$w.gp"
}

# 100 statement lines of exact fraction arithmetic; the denominators all
# divide a product of small powers, so every value stays an exact fraction.
write_fractions() {
    local w=$1 i a b c d
    {
        echo 'A=0'
        for i in $(seq 1 97); do
            a=$((i * i + 1)); b=$((i % 16 + 1)); c=$i; d=$(((i * 5) % 13 + 1))
            echo "A=A+$a/$b-($c/$d)^2"
        done
        echo 'V.F'
        echo 'P.A'
        echo '#X:'
    } > "$WORK/$w.vantrel"
    echo 5 > "$WORK/$w.preset"
    {
        echo 'A=0;'
        for i in $(seq 1 97); do
            a=$((i * i + 1)); b=$((i % 16 + 1)); c=$i; d=$(((i * 5) % 13 + 1))
            echo "A=A+$a/$b-($c/$d)^2;"
        done
        echo 'print(A)'
    } > "$WORK/$w.gp"
    {
        echo 'from fractions import Fraction as F'
        echo 'A = F(0)'
        for i in $(seq 1 97); do
            a=$((i * i + 1)); b=$((i % 16 + 1)); c=$i; d=$(((i * 5) % 13 + 1))
            echo "A = A + F($a, $b) - F($c, $d) ** 2"
        done
        echo 'print(A)'
    } > "$WORK/$w.py"
}

write_factorial 10000 fact10k; add fact10k
write_factorial 100000 fact100k; add fact100k
write_power pow3_1e6; add pow3_1e6
write_product mul500k; add mul500k
for d in 1000 10000 100000; do
    for k in pi e sqrt2; do write_constant "${k}_$d" $k $d; add "${k}_$d"; done
done
write_factorise factor30; add factor30
write_fractions fractions100; add fractions100

# ------------------------------------------------------------- timing

command_for() {  # workload tool -> shell command, empty when not applicable
    local w=$1 t=$2 f="$WORK/$1.$2"
    [ -f "$f" ] || return 0
    case $t in
        vantrel) echo "$VANTREL $(cat "$WORK/$w.preset") < $f > /dev/null" ;;
        bc) [ $HAVE_BC = 1 ] && echo "BC_LINE_LENGTH=0 bc -lq $f < /dev/null > /dev/null" ;;
        gp) [ $HAVE_GP = 1 ] && echo "gp -q -s 1G -f $f < /dev/null > /dev/null" ;;
        py) [ $HAVE_PY = 1 ] && echo "python3 $f > /dev/null" ;;
    esac
}

# Median wall time in seconds of a command, "timeout" or "failed".
measure() {
    local cmd=$1 start end status elapsed runs=$RUNS
    start=$(date +%s.%N)
    timeout "$LIMIT" bash -c "$cmd" 2>/dev/null
    status=$?
    end=$(date +%s.%N)
    [ $status = 124 ] && { echo timeout; return; }
    [ $status != 0 ] && { echo failed; return; }
    elapsed=$(echo "$end - $start" | bc -l 2>/dev/null || awk "BEGIN{print $end - $start}")
    # Long runs: the first run is the measurement.
    if awk "BEGIN{exit !($elapsed > 10)}"; then printf '%.3f\n' "$elapsed"; return; fi
    if [ $HAVE_HYPERFINE = 1 ]; then
        hyperfine -N --style none --runs "$runs" --export-csv "$WORK/h.csv" \
            "timeout $LIMIT bash -c '$cmd'" >/dev/null 2>&1 || { echo failed; return; }
        awk -F, 'NR == 2 { printf "%.3f\n", $4 }' "$WORK/h.csv"
    else
        local times=() i
        for i in $(seq 1 "$runs"); do
            times+=("$( { /usr/bin/time -f '%e' timeout "$LIMIT" bash -c "$cmd" >/dev/null 2>/dev/null; } 2>&1 | tail -1)")
        done
        printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { printf "%.3f\n", a[int((NR + 1) / 2)] }'
    fi
}

tools=(vantrel bc gp py)
printf '%-14s %10s %10s %10s %10s %9s\n' workload vantrel bc gp python 'ratio'
printf '%-14s %10s %10s %10s %10s %9s\n' -------- ------- -- -- ------ -----
for w in "${workload_names[@]}"; do
    [ -n "$ONLY" ] && [[ $w != *$ONLY* ]] && continue
    declare -A result=()
    for t in "${tools[@]}"; do
        cmd=$(command_for "$w" "$t")
        if [ -z "$cmd" ]; then result[$t]='-'; else result[$t]=$(measure "$cmd"); fi
    done
    best=''
    for t in bc gp py; do
        v=${result[$t]}
        [[ $v =~ ^[0-9.]+$ ]] || continue
        if [ -z "$best" ] || awk "BEGIN{exit !($v < $best)}"; then best=$v; fi
    done
    ratio='-'
    if [ -n "$best" ] && [[ ${result[vantrel]} =~ ^[0-9.]+$ ]]; then
        ratio=$(awk "BEGIN{ b = $best < 0.001 ? 0.001 : $best; printf \"%.2f\", ${result[vantrel]} / b }")
    fi
    show() { case $1 in timeout) echo ">${LIMIT}s" ;; *) echo "$1" ;; esac; }
    printf '%-14s %10s %10s %10s %10s %9s\n' "$w" "$(show "${result[vantrel]}")" "$(show "${result[bc]}")" \
        "$(show "${result[gp]}")" "$(show "${result[py]}")" "$ratio"
    unset result
done
echo "(median wall seconds of $RUNS runs; ratio = vantrel / fastest peer; '-' not applicable or not installed)"
