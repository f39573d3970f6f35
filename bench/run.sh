#!/bin/bash
# Times folvane-cli against du (and ncdu and gdu when installed) on generated trees of
# 300,000 and 2,000,000 entries with a warm cache, and on the first of them with a cold
# one (the page cache dropped before every run, as root only), and measures its peak
# memory per entry. Then times folvane-cli, du and find on two deep trees: a comb 10,000 levels
# deep and a chain of 100,000 nested folders, and last the window's steps on the
# largest tree (bench/window.sh). See bench/README.md.
#
# Settings (environment):
#   FOLVANE_BENCH_DIR    where the trees live (default /tmp/folvane-bench); a tree of
#                        the right size and seed is reused
#   FOLVANE_BENCH_SIZES  tree sizes in entries (default "300000 2000000"); memory is
#                        measured on the last; empty: no such trees (deep trees only)
#   FOLVANE_BENCH_DEEP   1 (default): also the deep trees; 0: not
#   FOLVANE_BENCH_COMB   levels of the comb (default 10000); 0: no comb
#   FOLVANE_BENCH_CHAIN  levels of the chain (default 100000); 0: no chain
#   FOLVANE_BENCH_SLOW   seconds (default 30): a deep tree on which folvane-cli's check
#                        run took longer is timed in one round, without warm-up
#   FOLVANE_BENCH_TIMEOUT seconds (default 1800): folvane-cli's check run on a deep
#                        tree is stopped after this long and the tree is not timed
#   FOLVANE_BENCH_THREADS thread counts (default "1 <cores>") for more folvane-cli
#                        rows, "folvane-cli-tN" = folvane-cli --threads N; the row
#                        "folvane-cli" is the default (one thread per core, more
#                        while they wait for the disk)
#   FOLVANE_BENCH_COLD   tree sizes timed with a cold cache as well (default: the
#                        first of FOLVANE_BENCH_SIZES); empty: none. Needs root (the
#                        page cache is dropped before every run); skipped otherwise
#   FOLVANE_BENCH_COLD_RUNS rounds with a cold cache (default 5, no warm-up)
#   FOLVANE_BENCH_WINDOW 1 (default): also the window's timings on the largest tree
#                        (bench/window.sh, its settings apply); 0: not
#   FOLVANE_BENCH_SEED   generator seed (default 1)
#   FOLVANE_BENCH_RUNS   timed runs per tool and tree (default 7; 2 warm-up runs before)
#   FOLVANE_BENCH_BUILD  build directory (default <repo>/build-bench)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FOLVANE_BENCH_BUILD:-$ROOT/build-bench}
DIR=${FOLVANE_BENCH_DIR:-/tmp/folvane-bench}
SIZES=${FOLVANE_BENCH_SIZES-"300000 2000000"}
WINDOW=${FOLVANE_BENCH_WINDOW:-1}
DEEP=${FOLVANE_BENCH_DEEP:-1}
COMB=${FOLVANE_BENCH_COMB:-10000}
CHAIN=${FOLVANE_BENCH_CHAIN:-100000}
SLOW=${FOLVANE_BENCH_SLOW:-30}
TIMEOUT=${FOLVANE_BENCH_TIMEOUT:-1800}
THREADS=${FOLVANE_BENCH_THREADS-"1 $(nproc)"}
COLD=${FOLVANE_BENCH_COLD-${SIZES%% *}}
COLD_RUNS=${FOLVANE_BENCH_COLD_RUNS:-5}
SEED=${FOLVANE_BENCH_SEED:-1}
RUNS=${FOLVANE_BENCH_RUNS:-7}
WARMUP=2
MEMORY_RUNS=3

die() { echo "run.sh: $*" >&2; exit 1; }
log() { echo ">> $*" >&2; }

[ "$DEEP" = 1 ] || COMB=0 CHAIN=0
DEEP_TREES=()
[ "$COMB" = 0 ] || DEEP_TREES+=("comb-$COMB")
[ "$CHAIN" = 0 ] || DEEP_TREES+=("chain-$CHAIN")
[ -n "$SIZES" ] || [ "${#DEEP_TREES[@]}" -gt 0 ] || die "nothing to do: FOLVANE_BENCH_SIZES is empty and no deep tree is asked for"

for tool in cmake ninja hyperfine du find timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing: run scripts/install-deps.sh"
done
[ -x /usr/bin/time ] || die "/usr/bin/time is missing: run scripts/install-deps.sh"
# A cold run drops the page cache (and the dentries and inodes) of the whole machine
# first: only root may.
DROP_CACHES="sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'"
if [ -n "$COLD" ] && ! { [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; }; then
    log "not root: no cold-cache timings (they drop the page cache before every run)"
    COLD=""
fi

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target folvane-cli folvane-make-tree >/dev/null
CLI=$BUILD/src/cli/folvane-cli
MAKE_TREE=$BUILD/bench/folvane-make-tree

mkdir -p "$DIR/results"
EMPTY=$DIR/empty
TIME_OUT=$DIR/time-v.txt
rm -rf "$EMPTY"
mkdir -p "$EMPTY"
STAMP=$(date -u +%Y%m%dT%H%M%SZ)
REPORT=$DIR/results/report-$STAMP.txt

# The tools to compare: name, then the command (words; @TREE@ stands for the tree).
TOOLS=("folvane-cli|$CLI --quiet @TREE@" "du|du -s --apparent-size @TREE@")
for t in $THREADS; do TOOLS+=("folvane-cli-t$t|$CLI --quiet --threads $t @TREE@"); done
command -v ncdu >/dev/null && TOOLS+=("ncdu|ncdu -0 -o /dev/null @TREE@")
command -v gdu >/dev/null && TOOLS+=("gdu|gdu --config-file /dev/null -n -p -a @TREE@")
# On the deep trees: find (one byte out per entry) instead of ncdu and gdu.
DEEP_TOOLS=("folvane-cli|$CLI --quiet @TREE@" "du|du -s --apparent-size @TREE@" "find|find @TREE@ -printf x")
for t in $THREADS; do DEEP_TOOLS+=("folvane-cli-t$t|$CLI --quiet --threads $t @TREE@"); done

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

peak_kib() { # peak resident set of one run of "$@", in KiB
    /usr/bin/time -v -o "$TIME_OUT" "$@" >/dev/null 2>&1 || die "failed: $*"
    awk -F': *' '/Maximum resident set size/ {print $2}' "$TIME_OUT"
}

median_peak_kib() {
    local i
    for ((i = 0; i < MEMORY_RUNS; i++)); do peak_kib "$@"; done | median
}

# Makes (or reuses) $1, a tree of $2 entries made by folvane-make-tree with the
# options that follow, and checks it against find and folvane-cli. Leaves the wall
# time of folvane-cli's check run in $tree.check.
prepare_tree() {
    local tree=$1 n=$2
    shift 2
    if [ -d "$tree" ] && [ -f "$tree.made" ]; then
        log "reusing $tree"
    else
        # rm -rf copes with trees far deeper than PATH_MAX.
        rm -rf "$tree" "$tree.made"
        log "making $tree"
        "$MAKE_TREE" "$@" "$tree" >"$tree.tmp"
        mv "$tree.tmp" "$tree.made"
        log "made in $(sed -n 's/^seconds=//p' "$tree.made") s"
    fi

    # find and du also warm the cache for the timed runs.
    local entries files folders bytes names line
    entries=$(find "$tree" -mindepth 1 -printf x | wc -c)
    files=$(find "$tree" ! -type d -printf x | wc -c)
    folders=$(find "$tree" -mindepth 1 -type d -printf x | wc -c)
    bytes=$(find "$tree" ! -type d -printf '%s\n' | awk '{s += $1} END {printf "%.0f\n", s}')
    names=$(find "$tree" -mindepth 1 -printf '%f\0' | wc -c)
    du -s --apparent-size "$tree" >/dev/null
    [ "$entries" -eq "$n" ] || die "$tree holds $entries entries, not $n"
    local started ended status=0
    started=$(date +%s.%N)
    line=$(timeout "$TIMEOUT" "$CLI" "$tree" 2>&1 >/dev/null) || status=$?
    ended=$(date +%s.%N)
    awk -v a="$started" -v b="$ended" 'BEGIN {printf "%.3f\n", b - a}' >"$tree.check"
    if [ "$status" -eq 124 ]; then
        log "folvane-cli did not finish on $tree within $TIMEOUT s"
        echo timeout >"$tree.check"
        return 0
    fi
    [ "$status" -eq 0 ] || die "folvane-cli failed on $tree (exit status $status)"
    local expected="Scanned $entries entries ($files files, $folders folders), $bytes bytes in"
    case "$line" in
        "$expected"*) ;;
        *) die "folvane-cli disagrees with find on $tree: '$line', expected '$expected ...'" ;;
    esac
    # Name bytes without the separators find added.
    echo "$((names - entries))" >"$tree.names"
    log "checked: $entries entries, $files files, $folders folders, $bytes bytes agree with find" \
        "(folvane-cli took $(cat "$tree.check") s)"
}

{
    echo "Folvane benchmark, $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "machine: $(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo), $(nproc) cores," \
        "$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) RAM, kernel $(uname -r)"
    echo "system:  $(. /etc/os-release && echo "$PRETTY_NAME")"
    echo "bench dir: $DIR on $(df -T "$DIR" | awk 'NR == 2 {print $2}')" \
        "($(findmnt -no OPTIONS -T "$DIR" 2>/dev/null || echo "mount options unknown"))"
    tools="$(du --version | head -1); hyperfine $(hyperfine --version | awk '{print $2}')"
    if command -v ncdu >/dev/null; then tools="$tools; ncdu $(ncdu -v | awk '{print $2}')"; fi
    if command -v gdu >/dev/null; then tools="$tools; gdu $(gdu -v | awk '/Version/ {print $2}')"; fi
    echo "tools: $tools"
    echo "folvane-cli: one thread per core ($(nproc)), up to 16 while they wait for the disk;" \
        "folvane-cli-tN: --threads N"
    echo "seed $SEED; wall time: $RUNS rounds after $WARMUP warm-up rounds, each tool once a round (hyperfine, no shell)"
} | tee "$REPORT"

# Wall time in rounds: each round runs every tool once (hyperfine, no shell), in an
# order that rotates from round to round, so a machine whose speed drifts during the
# run slows all tools alike. The first $warmup rounds are not counted.
# Arguments: tree, name of its results, heading, rounds, warm-up rounds, name of the
# array of tools, and optionally a command hyperfine runs before every timed run.
time_tree() {
    local tree=$1 key=$2 heading=$3 runs=$4 warmup=$5
    local -n tools=$6
    local prepare=()
    [ -z "${7:-}" ] || prepare=(--prepare "$7")
    local raw=$DIR/results/wall-$key-$STAMP.csv round=$DIR/results/round.csv
    local k=${#tools[@]} r i t cmd quoted="'$tree'"
    echo "round,tool,wall_s,user_s,system_s" >"$raw"
    for ((r = -warmup; r < runs; r++)); do
        local args=()
        for ((i = 0; i < k; i++)); do
            t=${tools[(i + r + k * warmup) % k]}
            cmd=${t#*|}
            args+=(-n "${t%%|*}" "${cmd//@TREE@/"$quoted"}")
        done
        hyperfine -N --runs 1 --style none "${prepare[@]}" --export-csv "$round" "${args[@]}" >/dev/null
        # hyperfine's columns: command,mean,stddev,median,user,system,min,max
        ((r < 0)) || awk -F, -v r="$r" 'NR > 1 {print r "," $1 "," $2 "," $5 "," $6}' "$round" >>"$raw"
    done
    rm -f "$round"

    echo
    printf '%s\n' "$heading"
    local names=""
    for t in "${tools[@]}"; do names="$names ${t%%|*}"; done
    awk -F, -v order="$names" '
        function median(a, m,    i, j, v) {
            for (i = 2; i <= m; i++) { v = a[i]; for (j = i - 1; j >= 1 && a[j] > v; j--) a[j + 1] = a[j]; a[j + 1] = v }
            return m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
        }
        NR > 1 { wall[$1, $2] = $3; rounds[$1] = 1 }
        END {
            du_n = 0; for (r in rounds) du_w[++du_n] = wall[r, "du"]
            du_med = median(du_w, du_n)
            printf "  %-14s %10s %17s %10s %14s\n", "tool", "median s", "min-max s", "ratio/du", "paired ratio"
            t = split(order, names, " ")
            for (i = 1; i <= t; i++) {
                m = 0; delete x; delete q
                for (r in rounds) { x[++m] = wall[r, names[i]]; q[m] = wall[r, names[i]] / wall[r, "du"] }
                med = median(x, m); lo = x[1]; hi = x[m]
                printf "  %-14s %10.3f %8.3f-%-8.3f %10.2f %14.2f\n", names[i], med, lo, hi, med / du_med, median(q, m)
            }
            # folvane-cli against gdu, the other tool that reads on several threads.
            g_n = 0; for (r in rounds) if ((r, "gdu") in wall) { g[++g_n] = wall[r, "gdu"]; p[g_n] = wall[r, "folvane-cli"] / wall[r, "gdu"] }
            if (g_n > 0) {
                m = 0; for (r in rounds) f[++m] = wall[r, "folvane-cli"]
                printf "  folvane-cli / gdu: %.2f (medians), %.2f (paired)\n", median(f, m) / median(g, g_n), median(p, g_n)
            }
        }' "$raw"
}

for n in $(printf '%s\n' $SIZES $COLD | awk '!seen[$0]++'); do
    prepare_tree "$DIR/tree-$n-s$SEED" "$n" --entries "$n" --seed "$SEED"
done
for t in "${DEEP_TREES[@]}"; do
    levels=${t#*-}
    if [ "${t%%-*}" = comb ]; then n=$((3 * levels)); else n=$levels; fi
    # A comb made before the deeper folder was listed first is made again.
    if [ "${t%%-*}" = comb ] && [ -f "$DIR/$t.made" ] && ! grep -q '^deeper_first=' "$DIR/$t.made"; then
        rm -f "$DIR/$t.made"
    fi
    prepare_tree "$DIR/$t" "$n" "--${t%%-*}" "$levels"
    if [ "${t%%-*}" = comb ]; then
        first=$(sed -n 's/^deeper_first=//p' "$DIR/$t.made")
        [ "$first" -eq $((levels - 1)) ] ||
            log "warning: the deeper folder is listed first at $first of $((levels - 1)) levels only"
    fi
done

for n in $SIZES; do
    log "timing on $DIR/tree-$n-s$SEED"
    time_tree "$DIR/tree-$n-s$SEED" "$n" \
        "Wall time, $n entries, warm cache (median of $RUNS rounds)" "$RUNS" "$WARMUP" TOOLS | tee -a "$REPORT"
done

# The deep trees: the walk must cost time in proportion to the entries, whatever the
# depth. A folvane-cli that is far off that is timed once, not in rounds.
for t in "${DEEP_TREES[@]}"; do
    tree=$DIR/$t
    levels=${t#*-}
    if [ "${t%%-*}" = comb ]; then
        what="comb $levels levels deep, two empty folders a level ($((3 * levels)) entries)"
    else
        what="chain of $levels nested folders ($levels entries)"
    fi
    check=$(cat "$tree.check")
    if [ "$check" = timeout ]; then
        { echo; echo "Wall time, $what: not timed, folvane-cli took more than $TIMEOUT s"; } | tee -a "$REPORT"
        continue
    fi
    log "timing on $tree"
    if awk -v c="$check" -v s="$SLOW" 'BEGIN {exit !(c > s)}'; then
        time_tree "$tree" "$t" "Wall time, $what, warm cache (1 round: folvane-cli's check run took $check s)" \
            1 0 DEEP_TOOLS | tee -a "$REPORT"
    else
        time_tree "$tree" "$t" "Wall time, $what, warm cache (median of $RUNS rounds)" \
            "$RUNS" "$WARMUP" DEEP_TOOLS | tee -a "$REPORT"
    fi
done

# The same with a cold cache: the page cache, dentries and inodes dropped before every
# run, so each tool reads the tree from the disk as a first scan after a boot does.
# After the warm timings, which a dropped cache would disturb. The extra threads a
# cold scan starts cost memory too: folvane-cli's peak, cold and warm.
for n in $COLD; do
    tree=$DIR/tree-$n-s$SEED
    log "timing on $tree with a cold cache"
    time_tree "$tree" "cold-$n" \
        "Wall time, $n entries, cold cache (page cache dropped before every run; median of $COLD_RUNS rounds)" \
        "$COLD_RUNS" 0 TOOLS "$DROP_CACHES" | tee -a "$REPORT"
    {
        printf '  peak resident memory (median of %s runs):' "$MEMORY_RUNS"
        for t in "${TOOLS[@]}"; do
            name=${t%%|*}
            case "$name" in folvane-cli*) ;; *) continue ;; esac
            read -r -a cmd <<<"${t#*|}"
            cold=$(for ((i = 0; i < MEMORY_RUNS; i++)); do
                sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'
                peak_kib "${cmd[@]/#@TREE@/$tree}"
            done | median)
            warm=$(median_peak_kib "${cmd[@]/#@TREE@/$tree}")
            awk -v name="$name" -v c="$cold" -v w="$warm" 'BEGIN {printf " %s %.1f MiB cold, %.1f warm;", name, c / 1024, w / 1024}'
        done
        echo
    } | tee -a "$REPORT"
done

if [ -z "$SIZES" ]; then
    log "report: $REPORT"
    exit 0
fi

# Peak memory on the largest tree, less each program's peak on an empty folder.
n=${SIZES##* }
tree=$DIR/tree-$n-s$SEED
names=$(cat "$tree.names")
log "measuring peak memory on $tree ($MEMORY_RUNS runs each)"
{
    echo
    printf 'Peak resident memory, %s entries (median of %s runs; baseline = same program on an empty folder)\n' \
        "$n" "$MEMORY_RUNS"
    printf '  %-14s %10s %12s %16s\n' "tool" "peak MiB" "baseline MiB" "bytes per entry"
    for t in "${TOOLS[@]}"; do
        name=${t%%|*}
        read -r -a cmd <<<"${t#*|}"
        base=$(median_peak_kib "${cmd[@]/#@TREE@/$EMPTY}")
        peak=$(median_peak_kib "${cmd[@]/#@TREE@/$tree}")
        awk -v name="$name" -v peak="$peak" -v base="$base" -v n="$n" 'BEGIN {
            printf "  %-14s %10.1f %12.1f %16.1f\n", name, peak / 1024, base / 1024, (peak - base) * 1024 / n }'
        if [ "$name" = folvane-cli ]; then
            folvane_line=$(awk -v peak="$peak" -v base="$base" -v n="$n" -v names="$names" 'BEGIN {
                per = (peak - base) * 1024 / n; avg = names / n; budget = 64 + avg
                printf "folvane-cli: %.1f bytes per entry; average name %.1f bytes; budget 64 + name = %.1f (%s)",
                    per, avg, budget, per <= budget ? "within" : "OVER" }')
        fi
    done
    echo "  $folvane_line"
} | tee -a "$REPORT"

if [ "$WINDOW" = 1 ] && [ -n "$SIZES" ]; then
    log "timing the window on $tree (bench/window.sh)"
    echo | tee -a "$REPORT"
    FOLVANE_BENCH_DIR=$DIR FOLVANE_BENCH_SEED=$SEED FOLVANE_BENCH_BUILD=$BUILD FOLVANE_BENCH_WINDOW_TREE=$n \
        "$ROOT/bench/window.sh" | tee -a "$REPORT"
fi

log "report: $REPORT"
