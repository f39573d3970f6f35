#!/bin/bash
# Times folvane-cli's exports of the whole tree (every entry, pre-order) of the
# 1,000,000-entry tree of run.sh in each format, and how much each raises the peak
# memory above the scan alone. See bench/README.md ("Exports").
#
# Settings (environment): FOLVANE_BENCH_DIR, FOLVANE_BENCH_SEED, FOLVANE_BENCH_BUILD
# as for run.sh; FOLVANE_BENCH_EXPORT_TREE entries of the tree (default 1000000);
# FOLVANE_BENCH_ROUNDS timed rounds of each (default 5); FOLVANE_BENCH_FORMATS
# (default "csv text html xml xlsx").
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FOLVANE_BENCH_BUILD:-$ROOT/build-bench}
DIR=${FOLVANE_BENCH_DIR:-/tmp/folvane-bench}
SEED=${FOLVANE_BENCH_SEED:-1}
N=${FOLVANE_BENCH_EXPORT_TREE:-1000000}
ROUNDS=${FOLVANE_BENCH_ROUNDS:-5}
FORMATS=${FOLVANE_BENCH_FORMATS:-csv text html xml xlsx}

log() { echo ">> $*" >&2; }

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target folvane-cli folvane-make-tree >/dev/null
CLI=$BUILD/src/cli/folvane-cli

mkdir -p "$DIR/results" "$DIR/exports"
tree=$DIR/tree-$N-s$SEED
if [ ! -f "$tree.made" ]; then
    rm -rf "$tree"
    log "making $tree"
    "$BUILD/bench/folvane-make-tree" --entries "$N" --seed "$SEED" "$tree" >"$tree.tmp"
    mv "$tree.tmp" "$tree.made"
fi
"$CLI" --quiet "$tree" # warm the cache

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# Wall seconds and peak KiB of one run, on one line.
measure() {
    /usr/bin/time -f '%e %M' -o "$DIR/time.txt" "$@" >/dev/null 2>&1
    cat "$DIR/time.txt"
}
# Median wall seconds and median peak KiB of $ROUNDS runs of the command.
rounds() {
    local runs=()
    for _ in $(seq "$ROUNDS"); do runs+=("$(measure "$@")"); done
    printf '%s\n' "${runs[@]}" | awk '{print $1}' | median
    printf '%s\n' "${runs[@]}" | awk '{print $2}' | median
}

STAMP=$(date -u +%Y%m%dT%H%M%SZ)
REPORT=$DIR/results/export-$STAMP.txt
{
    echo "Folvane export benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), medians of $ROUNDS runs"
    echo "machine: $(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo), $(nproc) cores"
    echo "tree: $tree ($N entries below the top; the export has one row more)"
    echo
    mapfile -t scan < <(rounds "$CLI" --quiet "$tree")
    printf '%-6s %9s %10s %10s %12s %14s\n' format "total s" "export s" "peak MiB" "file MiB" "growth B/row"
    printf '%-6s %9.2f %10s %10.1f %12s %14s\n' scan "${scan[0]}" - "$(echo "${scan[1]} / 1024" | bc -l)" - -
    for format in $FORMATS; do
        out=$DIR/exports/tree.$format
        mapfile -t run < <(rounds "$CLI" --quiet --format "$format" --output "$out" "$tree")
        bytes=$(stat -c %s "$out")
        awk -v f="$format" -v t="${run[0]}" -v s="${scan[0]}" -v m="${run[1]}" -v ms="${scan[1]}" \
            -v b="$bytes" -v n="$N" 'BEGIN {
            printf "%-6s %9.2f %10.2f %10.1f %12.1f %14.1f\n", f, t, t - s, m / 1024, b / 1048576, (m - ms) * 1024 / (n + 1) }'
    done
} | tee "$REPORT"
log "report: $REPORT"
