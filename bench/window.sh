#!/bin/bash
# Times the real main window, offscreen, on a tree made by folvane-make-tree (1,000,000
# entries unless told; 2,000,000 works the same, made once in a few minutes) and on a
# folder of 100,000 entries, and compares its peak memory with folvane-cli's on the
# same tree; then the treemap of the tree at 1600 x 1000 (folvane-treemap-bench). See
# bench/README.md ("The window", "The treemap").
#
# Settings (environment): FOLVANE_BENCH_DIR, FOLVANE_BENCH_SEED, FOLVANE_BENCH_BUILD
# as for run.sh; FOLVANE_BENCH_WINDOW_TREE entries of the tree (default 1000000);
# FOLVANE_BENCH_WIDE entries of the wide folder (default 100000);
# FOLVANE_BENCH_ROUNDS rounds of each repeatable step (default 5);
# FOLVANE_BENCH_EXPORT_ROUNDS rounds of each export of the Total Tree (default 1; 0
# leaves them out). The exported files go under $FOLVANE_BENCH_DIR/window-exports and
# are removed once timed: on 2,000,000 entries each is hundreds of MB.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FOLVANE_BENCH_BUILD:-$ROOT/build-bench}
DIR=${FOLVANE_BENCH_DIR:-/tmp/folvane-bench}
SEED=${FOLVANE_BENCH_SEED:-1}
N=${FOLVANE_BENCH_WINDOW_TREE:-1000000}
WIDE=${FOLVANE_BENCH_WIDE:-100000}
ROUNDS=${FOLVANE_BENCH_ROUNDS:-5}
EXPORT_ROUNDS=${FOLVANE_BENCH_EXPORT_ROUNDS:-1}
MEMORY_RUNS=3

log() { echo ">> $*" >&2; }

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target folvane-cli folvane-make-tree folvane-window-bench folvane-treemap-bench >/dev/null
CLI=$BUILD/src/cli/folvane-cli
WINDOW=$BUILD/bench/folvane-window-bench
export QT_QPA_PLATFORM=offscreen

mkdir -p "$DIR/results"
tree=$DIR/tree-$N-s$SEED
if [ ! -f "$tree.made" ]; then
    rm -rf "$tree"
    log "making $tree (a few minutes for 2,000,000 entries)"
    "$BUILD/bench/folvane-make-tree" --entries "$N" --seed "$SEED" "$tree" >"$tree.tmp"
    mv "$tree.tmp" "$tree.made"
fi
scratch=$DIR/window-exports
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
wide=$DIR/wide-$WIDE
if [ ! -f "$wide.made" ]; then
    rm -rf "$wide"
    log "making $wide"
    mkdir -p "$wide/folder"
    (cd "$wide/folder" && seq -f 'entry-%06g.dat' "$WIDE" | xargs touch)
    touch "$wide.made"
fi
# Warm the cache.
"$CLI" --quiet "$tree"
"$CLI" --quiet "$wide"

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
peak_kib() {
    /usr/bin/time -v -o "$DIR/time-v.txt" "$@" >/dev/null 2>&1
    awk -F': *' '/Maximum resident set size/ {print $2}' "$DIR/time-v.txt"
}

STAMP=$(date -u +%Y%m%dT%H%M%SZ)
REPORT=$DIR/results/window-$STAMP.txt
{
    echo "Folvane window benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), offscreen, medians of $ROUNDS rounds"
    echo "machine: $(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo), $(nproc) cores"
    echo
    echo "Tree of $N entries ($tree):"
    echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    # Qt's offscreen platform complains of every raise() of the wait dialog.
    "$WINDOW" --rounds "$ROUNDS" --export-rounds "$EXPORT_ROUNDS" --scratch "$scratch" "$tree" \
        2> >(grep -v 'does not support raise' >&2) | sed 's/^/  /'
    echo "Treemap at 1600 x 1000:"
    "$BUILD/bench/folvane-treemap-bench" --rounds "$ROUNDS" "$tree" | sed 's/^/  /'
    echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    echo "Folder of $WIDE entries ($wide):"
    "$WINDOW" --rounds "$ROUNDS" --export-rounds 0 "$wide" | grep expand_largest_folder | sed 's/^/  /'
    echo
    empty=$DIR/empty
    mkdir -p "$empty"
    window_peak=$(for i in $(seq $MEMORY_RUNS); do peak_kib "$WINDOW" --rounds 1 --export-rounds 0 "$tree"; done | median)
    window_base=$(for i in $(seq $MEMORY_RUNS); do peak_kib "$WINDOW" --rounds 1 --export-rounds 0 "$empty"; done | median)
    cli_peak=$(for i in $(seq $MEMORY_RUNS); do peak_kib "$CLI" --quiet "$tree"; done | median)
    cli_base=$(for i in $(seq $MEMORY_RUNS); do peak_kib "$CLI" --quiet "$empty"; done | median)
    awk -v w="$window_peak" -v wb="$window_base" -v c="$cli_peak" -v cb="$cli_base" 'BEGIN {
        printf "Peak resident memory on the tree without the exports (median of 3):\n"
        printf "  window %.1f MiB (%.1f on an empty folder), folvane-cli %.1f MiB (%.1f)\n", w / 1024, wb / 1024, c / 1024, cb / 1024
        printf "  ratio window / folvane-cli: %.2f in all, %.2f above each program'"'"'s empty-folder peak\n", w / c, (w - wb) / (c - cb) }'
} | tee "$REPORT"
log "report: $REPORT"
