#!/usr/bin/env bash
# Times the calculator on a fixed set of workloads and, where they are
# installed, the same workloads in GNU bc, PARI/GP and Python; prints a table
# of medians with the ratio of the calculator to the fastest peer and to gp.
#
#   bench/run.sh [path/to/vantrel]
#   BENCH_RUNS=3 BENCH_TIMEOUT=60 BENCH_ONLY=fact bench/run.sh
#   BENCH_DIGITS="1000 10000 100000 1000000" BENCH_TIMEOUT=600 bench/run.sh
#   BENCH_TOOLS="gp py" BENCH_DIGITS=1000000 BENCH_ONLY=_1000000 bench/run.sh
#   BENCH_THREADS=2 BENCH_DIGITS=10000000 BENCH_ONLY="pi e_ ln2 mul10m" bench/run.sh
#   BENCH_DIGITS="100000 1000000" BENCH_LARGE_DIGITS=10000000 BENCH_SKIP="semi85 semi90" bench/run.sh
#
# Each run is bounded by BENCH_TIMEOUT seconds (a run that hits it is shown as
# ">T"); runs longer than 10 s are timed once. Uses hyperfine when present,
# else /usr/bin/time. BENCH_DIGITS lists the digit counts of the function
# rows; BENCH_LARGE_DIGITS further digit counts for the rows named in
# BENCH_LARGE_ROWS only (default "pi e sqrt2 ln2"); BENCH_ONLY is one or more
# words (blank-separated), a row runs when its name contains one of them;
# BENCH_SKIP words leave out the rows whose name contains one of them;
# BENCH_TOOLS lists the programs that run. The
# calculator's column runs on one thread (--threads 1, as the peers); with
# BENCH_THREADS=N above 1 (default: the machine's cores) a second column runs
# it on N threads and the last column gives the speed-up of N threads over 1.
set -u

VANTREL=${1:-build/vantrel}
RUNS=${BENCH_RUNS:-3}
LIMIT=${BENCH_TIMEOUT:-60}
ONLY=${BENCH_ONLY:-}
read -ra DIGITS <<< "${BENCH_DIGITS:-1000 10000 100000}"
read -ra ONLY_WORDS <<< "$ONLY"
read -ra SKIP_WORDS <<< "${BENCH_SKIP:-}"
read -ra LARGE_DIGITS <<< "${BENCH_LARGE_DIGITS:-}"
read -ra LARGE_ROWS <<< "${BENCH_LARGE_ROWS:-pi e sqrt2 ln2}"
TOOLS=" ${BENCH_TOOLS:-vantrel bc gp py} "
THREADS=${BENCH_THREADS:-$(nproc 2>/dev/null || echo 1)}
[[ $THREADS =~ ^[1-9][0-9]*$ ]] || { echo "BENCH_THREADS: not a thread count: $THREADS" >&2; exit 1; }
for d in "${DIGITS[@]}" "${LARGE_DIGITS[@]}"; do
    [[ $d =~ ^[1-9][0-9]*$ ]] && [ "$d" -le 14000000 ] ||
        { echo "BENCH_DIGITS: not a digit count from 1 to 14000000: $d" >&2; exit 1; }
done
if [[ $TOOLS == *" vantrel "* ]]; then
    [ -x "$VANTREL" ] || { echo "calculator not found: $VANTREL (build it first: make build)" >&2; exit 1; }
    VANTREL=$(cd "$(dirname "$VANTREL")" && pwd)/$(basename "$VANTREL")
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

have() { command -v "$1" >/dev/null 2>&1; }
selected() { [[ $TOOLS == *" $1 "* ]]; }
HAVE_BC=0; have bc && selected bc && HAVE_BC=1
HAVE_GP=0; have gp && selected gp && HAVE_GP=1
HAVE_PY=0; have python3 && selected py && HAVE_PY=1
HAVE_MPMATH=0
PYTHON=python3
if [ $HAVE_PY = 1 ]; then
    # The interpreter itself, not a launcher script in front of it (a version
    # manager's shim adds about half a second to every run).
    PYTHON=$(python3 -c 'import sys; print(sys.executable)' 2>/dev/null) || PYTHON=python3
    [ -x "$PYTHON" ] || PYTHON=python3
    "$PYTHON" -c 'import mpmath' 2>/dev/null && HAVE_MPMATH=1
fi
HAVE_HYPERFINE=0; have hyperfine && HAVE_HYPERFINE=1

# ------------------------------------------------------------ workloads
# Each workload writes, for every tool that can run it, an input file
# $WORK/<name>.<tool> (tool: vantrel, bc, gp, py) and, for the calculator,
# the preset digit in $WORK/<name>.preset.

# Factorisation rows (numbers made with gp's random primes): balanced
# semiprimes of 30 to 60 digits, a 70-digit number with a 20-digit factor,
# 2^128+1, the square of a 16-digit prime times a 20-digit prime, and a
# product of 30 primes of 7 digits.
FACTOR_ROWS=(
    'factor30 131622776601696326447676124687'   # 316227766016849 * 416227766016863
    'factor40 1301746877907324029797242890502097443667'
    'factor50 26363922850086253858330444028624380172616291460219'
    'factor60 283853534626126146885105681263171932154097303937949744905949'
    'factor70_p20 6270634918598968652448255370114208895862207369412880780149287010891491'
    'factor_2p128 2^128+1'
    'factor_sq16 876865417596089139190872554935592230051792907083133'
    'factor_small30 16741971665039378104898834545308002594224940470334198901823698839445123898389451115822996177781094537796744087978443548462071854137623932449941251648200903007964298902258006092677442593446428802274109'
    # Balanced semiprimes of 60 to 90 digits, two primes of half the digits
    # each, drawn by gp after setrand(20261209) (bench/README.md).
    'semi60 822974570393974974381602468228594841480075874850874077384429'
    'semi65 99161502252777698685069121992034558002054336226509986685775622113'
    'semi70 7063741281432433831851864340896653407919717430506456178872096066307571'
    'semi75 715302071162014215412905898633268503744447005178750927078681271812434668533'
    'semi80 34736605621979332041853425984084035591158820411413307637404138076072958219835309'
    'semi85 1546998608257481292705806390354299323582388849975692729548402902960604510150331971171'
    'semi90 383256746788172280957403398569944252133213919176103820622150773822284255706707185109833329'
)

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

# Two integers of about 10^7 digits (3^20959032 and 7^11833067) and their
# product, at the largest preset; nothing is printed.
write_product10m() {
    local w=$1
    printf 'A=3^20959032\nB=7^11833067\nC=A*B\n#X:\n' > "$WORK/$w.vantrel"; echo 9 > "$WORK/$w.preset"
    printf 'a=3^20959032;b=7^11833067;c=a*b;\n' > "$WORK/$w.gp"
    printf 'a=3**20959032\nb=7**11833067\nc=a*b\n' > "$WORK/$w.py"
}

# Function rows: name, calculator expression, gp expression, mpmath
# expression, bc expression, Python decimal expression (the last two empty
# where that peer has no such row). The calculator's SIN/COS/TAN take degrees,
# with the suffix R radians; `#FF:d` sets d decimal places.
FUNCTIONS=(
    'pi|PI|Pi|mp.pi|4*a(1)|'
    'e|EXP|exp(1)|mp.e|e(1)|Decimal(1).exp()'
    'sqrt2|SQR2|sqrt(2)|mp.sqrt(2)|sqrt(2)|Decimal(2).sqrt()'
    'cbrt2|2^(1/3)|2^(1/3)|mp.cbrt(2)||'
    'ln2|LN(2)|log(2)|mp.log(2)||Decimal(2).ln()'
    'ln1.5|LN(1.5)|log(3/2)|mp.log(mp.mpf(3)/2)||Decimal("1.5").ln()'
    'log10_7|LOG10(7)|log(7)/log(10)|mp.log10(7)||Decimal(7).log10()'
    'sin1|SINR(1)|sin(1)|mp.sin(1)||'
    'cos1|COSR(1)|cos(1)|mp.cos(1)||'
    'tan1|TANR(1)|tan(1)|mp.tan(1)||'
    'sin7deg|SIN(7)|sin(7*Pi/180)|mp.sin(mp.pi*7/180)||'
    'atan1_3|ATAN(1/3)|atan(1/3)|mp.atan(mp.mpf(1)/3)||'
    'pow2pi|2^PI|2^Pi|mp.mpf(2)**mp.pi||'
    'asin1_3|ASIN(1/3)|asin(1/3)|mp.asin(mp.mpf(1)/3)||'
    'acos1_3|ACOS(1/3)|acos(1/3)|mp.acos(mp.mpf(1)/3)||'
    'sinh1|SINH(1)|sinh(1)|mp.sinh(1)||'
    'tanh1|TANH(1)|tanh(1)|mp.tanh(1)||'
    'atanh1_3|ATANH(1/3)|atanh(1/3)|mp.atanh(mp.mpf(1)/3)||'
)

# Working precision in limbs of the presets 0-9; `#FF:` takes at most a
# quarter of it in limbs of 8 digits, i.e. twice the precision in digits.
PRESET_LIMBS=(200 700 2000 7000 20000 70000 200000 700000 2000000 7000000)

# The default preset (5) unless d places need a larger one.
preset_for() {  # digits
    local p=5
    while [ $p -lt 9 ] && [ $((PRESET_LIMBS[p] / 4 * 8)) -lt "$1" ]; do p=$((p + 1)); done
    echo $p
}

# bc needs more than a minute for pi and e already at 10000 digits; it is
# run up to this many digits only.
BC_MAX_DIGITS=100000

write_function() {  # name digits vantrel-expr gp-expr mpmath-expr bc-expr decimal-expr
    local w=$1 d=$2 v=$3 gpx=$4 mpx=$5 bcx=$6 decx=$7
    printf '#FF:%s\nA=%s\nP.A\n#X:\n' "$d" "$v" > "$WORK/$w.vantrel"; preset_for "$d" > "$WORK/$w.preset"
    printf 'default(realprecision, %s);\nprint(%s)\n' "$d" "$gpx" > "$WORK/$w.gp"
    if [ -n "$bcx" ] && [ "$d" -le $BC_MAX_DIGITS ]; then
        printf 'scale=%s\n%s\n' "$d" "$bcx" > "$WORK/$w.bc"
    fi
    if [ $HAVE_MPMATH = 1 ]; then
        printf 'from mpmath import mp\nmp.dps = %s\nprint(%s)\n' "$d" "$mpx" > "$WORK/$w.py"
    elif [ -n "$decx" ]; then
        printf 'from decimal import Decimal, getcontext\ngetcontext().prec = %s\nprint(%s)\n' "$d" "$decx" > "$WORK/$w.py"
    fi
}

write_factorise() {  # name number
    local w=$1 n=$2
    printf 'F.%s\n#X:\n' "$n" > "$WORK/$w.vantrel"; echo 5 > "$WORK/$w.preset"
    printf 'print(factor(%s))\n' "$n" > "$WORK/$w.gp"
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

# The exact harmonic sum of n terms (a fraction of about 0.43 n digits over
# its denominator), listed whole.
write_harmonic() {  # n name
    local n=$1 w=$2
    printf 'V.F\nITG(K,1,%s,1/K)\n#X:\n' "$n" > "$WORK/$w.vantrel"; echo 5 > "$WORK/$w.preset"
    printf 'print(sum(k=1,%s,1/k))\n' "$n" > "$WORK/$w.gp"
    printf 'from fractions import Fraction as F\nimport sys\nsys.set_int_max_str_digits(0)\n' > "$WORK/$w.py"
    printf 's = F(0)\nfor k in range(1, %s + 1):\n    s += F(1, k)\nprint(s)\n' "$n" >> "$WORK/$w.py"
}

write_factorial 10000 fact10k; add fact10k
write_factorial 100000 fact100k; add fact100k
write_power pow3_1e6; add pow3_1e6
write_product mul500k; add mul500k
write_product10m mul10m; add mul10m
for d in "${DIGITS[@]}"; do
    for f in "${FUNCTIONS[@]}"; do
        IFS='|' read -r k v gpx mpx bcx decx <<< "$f"
        write_function "${k}_$d" "$d" "$v" "$gpx" "$mpx" "$bcx" "$decx"; add "${k}_$d"
    done
done
for d in "${LARGE_DIGITS[@]}"; do
    for f in "${FUNCTIONS[@]}"; do
        IFS='|' read -r k v gpx mpx bcx decx <<< "$f"
        [[ " ${LARGE_ROWS[*]} " == *" $k "* ]] || continue
        write_function "${k}_$d" "$d" "$v" "$gpx" "$mpx" "$bcx" "$decx"; add "${k}_$d"
    done
done
for f in "${FACTOR_ROWS[@]}"; do
    read -r k n <<< "$f"
    write_factorise "$k" "$n"; add "$k"
done
write_fractions fractions100; add fractions100
write_harmonic 5000 harmonic5k; add harmonic5k
write_harmonic 20000 harmonic20k; add harmonic20k

# ------------------------------------------------------------- timing

command_for() {  # workload tool -> shell command, empty when not applicable
    local w=$1 t=$2 f="$WORK/$1.$2"
    [ -f "$f" ] || return 0
    case $t in
        vantrel) selected vantrel && echo "$VANTREL --threads 1 $(cat "$WORK/$w.preset") < $f > /dev/null" ;;
        bc) [ $HAVE_BC = 1 ] && echo "BC_LINE_LENGTH=0 bc -lq $f < /dev/null > /dev/null" ;;
        gp) [ $HAVE_GP = 1 ] && echo "gp -q -s 1G -D nbthreads=1 -f $f < /dev/null > /dev/null" ;;
        py) [ $HAVE_PY = 1 ] && echo "$PYTHON $f > /dev/null" ;;
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
            # The report goes to a file: the command's own output is
            # dropped, and a redirection of the command's stderr would drop
            # the report with it.
            /usr/bin/time -f '%e' -o "$WORK/time.txt" timeout "$LIMIT" bash -c "$cmd" >/dev/null 2>/dev/null
            times+=("$(tail -1 "$WORK/time.txt")")
        done
        printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { printf "%.3f\n", a[int((NR + 1) / 2)] }'
    fi
}

is_time() { [[ $1 =~ ^[0-9.]+$ ]]; }

# Calculator time over a peer time (a peer time under 1 ms counts as 1 ms);
# a calculator run that reached the limit gives the lower bound ">limit/peer".
ratio_to() {  # vantrel-result peer-result
    local v=$1 p=$2
    is_time "$p" || { echo -; return; }
    if is_time "$v"; then
        awk "BEGIN{ b = $p < 0.001 ? 0.001 : $p; printf \"%.2f\", $v / b }"
    elif [ "$v" = timeout ]; then
        awk "BEGIN{ b = $p < 0.001 ? 0.001 : $p; printf \">%.0f\", $LIMIT / b }"
    else
        echo -
    fi
}

wanted() {  # workload name: selected by BENCH_ONLY and not left out by BENCH_SKIP?
    local word
    for word in "${SKIP_WORDS[@]}"; do [[ $1 == *$word* ]] && return 1; done
    [ ${#ONLY_WORDS[@]} = 0 ] && return 0
    for word in "${ONLY_WORDS[@]}"; do [[ $1 == *$word* ]] && return 0; done
    return 1
}

show() { case $1 in timeout) echo ">${LIMIT}s" ;; *) echo "$1" ;; esac; }

tools=(vantrel bc gp py)
row() { printf '%-16s %10s %10s %10s %10s %10s %9s %9s %9s\n' "$@"; }
row workload vantrel "$THREADS thr" bc gp python ratio 'vs gp' speed-up
row -------- ------- ----- -- -- ------ ----- ----- --------
for w in "${workload_names[@]}"; do
    wanted "$w" || continue
    declare -A result=()
    for t in "${tools[@]}"; do
        cmd=$(command_for "$w" "$t")
        if [ -z "$cmd" ]; then result[$t]='-'; else result[$t]=$(measure "$cmd"); fi
    done
    # The calculator again on THREADS threads.
    result[threads]='-'
    cmd=$(command_for "$w" vantrel)
    if [ "$THREADS" -gt 1 ] && [ -n "$cmd" ]; then
        result[threads]=$(measure "${cmd/--threads 1 /--threads $THREADS }")
    fi
    speedup=-
    is_time "${result[vantrel]}" && is_time "${result[threads]}" &&
        speedup=$(awk "BEGIN{ b = ${result[threads]} < 0.001 ? 0.001 : ${result[threads]}; printf \"%.2f\", ${result[vantrel]} / b }")
    best=''
    for t in bc gp py; do
        v=${result[$t]}
        is_time "$v" || continue
        if [ -z "$best" ] || awk "BEGIN{exit !($v < $best)}"; then best=$v; fi
    done
    row "$w" "$(show "${result[vantrel]}")" "$(show "${result[threads]}")" "$(show "${result[bc]}")" \
        "$(show "${result[gp]}")" "$(show "${result[py]}")" "$(ratio_to "${result[vantrel]}" "$best")" \
        "$(ratio_to "${result[vantrel]}" "${result[gp]}")" "$speedup"
    unset result
done
echo "(median wall seconds of $RUNS runs; vantrel on one thread, '$THREADS thr' on $THREADS; ratio = vantrel / fastest peer,"
echo " vs gp = vantrel / gp, speed-up = vantrel / '$THREADS thr';"
echo " '>N' a lower bound from a calculator run that reached the limit; '-' not applicable or not installed)"
if [ $HAVE_MPMATH = 1 ]; then
    echo "(python: $("$PYTHON" -c 'import mpmath, mpmath.libmp as m; print("mpmath", mpmath.__version__, "backend", m.BACKEND)'))"
fi
