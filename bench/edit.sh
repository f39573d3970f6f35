#!/bin/bash
# Times the edits of a scan's tree on a tree made by folvane-make-tree (2,000,000
# entries unless told): removing one file, reading a folder of about 1,000 entries
# again (its scan and replaceFolder), each with the Total Tree's order brought up to
# date, beside a whole scan and a whole sort. See bench/README.md ("Edits").
#
# Settings (environment): FOLVANE_BENCH_DIR, FOLVANE_BENCH_SEED, FOLVANE_BENCH_BUILD
# as for run.sh; FOLVANE_BENCH_EDIT_TREE entries of the tree (default 2000000);
# FOLVANE_BENCH_ROUNDS rounds of each edit (default 20).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FOLVANE_BENCH_BUILD:-$ROOT/build-bench}
DIR=${FOLVANE_BENCH_DIR:-/tmp/folvane-bench}
SEED=${FOLVANE_BENCH_SEED:-1}
N=${FOLVANE_BENCH_EDIT_TREE:-2000000}
ROUNDS=${FOLVANE_BENCH_ROUNDS:-20}

log() { echo ">> $*" >&2; }

log "building Release in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target folvane-cli folvane-make-tree folvane-edit-bench >/dev/null

mkdir -p "$DIR/results"
tree=$DIR/tree-$N-s$SEED
if [ ! -f "$tree.made" ]; then
    rm -rf "$tree"
    log "making $tree (a few minutes for 2,000,000 entries)"
    "$BUILD/bench/folvane-make-tree" --entries "$N" --seed "$SEED" "$tree" >"$tree.tmp"
    mv "$tree.tmp" "$tree.made"
fi
# Warm the cache.
"$BUILD/src/cli/folvane-cli" --quiet "$tree"

STAMP=$(date -u +%Y%m%dT%H%M%SZ)
REPORT=$DIR/results/edit-$STAMP.txt
{
    echo "Folvane edit benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $ROUNDS rounds of each edit"
    echo "machine: $(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo), $(nproc) cores"
    echo "tree: $tree ($N entries)"
    echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$BUILD/bench/folvane-edit-bench" --rounds "$ROUNDS" "$tree" | sed 's/^/  /'
    echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$REPORT"
log "report: $REPORT"
