#!/bin/bash
# Times scan files on the 2,000,000-entry tree of run.sh: writing one (plain and gzip),
# opening it (plain and gzip), comparing two scans, against a fresh scan of the same
# tree and against ncdu -f and gdu -f reading the same file. Prints a Markdown report
# and keeps it as bench/results/<date>-<time>-scanfile.md. See bench/README.md
# ("Scan files").
#
# Settings (environment): FOLVANE_BENCH_DIR, FOLVANE_BENCH_SEED, FOLVANE_BENCH_BUILD
# as for run.sh; FOLVANE_BENCH_SCANFILE_TREE entries of the tree (default 2000000);
# FOLVANE_BENCH_ROUNDS timed rounds of each (default 3).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FOLVANE_BENCH_BUILD:-$ROOT/build-bench}
DIR=${FOLVANE_BENCH_DIR:-/tmp/folvane-bench}
SEED=${FOLVANE_BENCH_SEED:-1}
N=${FOLVANE_BENCH_SCANFILE_TREE:-2000000}
ROUNDS=${FOLVANE_BENCH_ROUNDS:-3}

log() { echo ">> $*" >&2; }

if [ -z "${FOLVANE_BENCH_BUILD:-}" ]; then
    log "building Release in $BUILD"
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD" --target folvane-cli folvane-make-tree --parallel 2 >/dev/null
fi
CLI=$BUILD/src/cli/folvane-cli

tree=$DIR/tree-$N-s$SEED
if [ ! -f "$tree.made" ]; then
    [ -x "$BUILD/bench/folvane-make-tree" ] || cmake --build "$BUILD" --target folvane-make-tree --parallel 2 >/dev/null
    rm -rf "$tree"
    log "making $tree"
    "$BUILD/bench/folvane-make-tree" --entries "$N" --seed "$SEED" "$tree" >"$tree.tmp"
    mv "$tree.tmp" "$tree.made"
fi
files=$DIR/scanfiles
mkdir -p "$files"
"$CLI" --quiet "$tree" # warm the cache

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# Median wall seconds and peak KiB of ROUNDS runs of a command (after one warm-up).
measure() {
    "$@" >/dev/null 2>&1 || true
    local walls="" peaks=""
    for _ in $(seq "$ROUNDS"); do
        /usr/bin/time -f '%e %M' -o "$files/time.txt" "$@" >/dev/null 2>&1 || true
        read -r wall peak <"$files/time.txt"
        walls+="$wall"$'\n'
        peaks+="$peak"$'\n'
    done
    echo "$(printf '%s' "$walls" | median) $(printf '%s' "$peaks" | median)"
}

row() { # name, what, command...
    local name=$1 what=$2
    shift 2
    log "$name"
    read -r wall peak < <(measure "$@")
    printf '| %s | %s | %s | %s | %.1f |\n' "$name" "$what" "$wall" "$peak" "$(awk -v p="$peak" -v n="$N" 'BEGIN {print p * 1024 / n}')"
}

# The files read below; the earlier scan of the comparison is the same tree again.
"$CLI" --quiet --format ncdu --output "$files/scan.json" "$tree"
"$CLI" --quiet --format ncdu --output "$files/scan.json.gz" "$tree"

report=$(
    echo "# Scan files on $N entries"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $ROUNDS rounds (median), warm cache."
    echo "Scan file: $(du -h --apparent-size "$files/scan.json" | cut -f1) plain, $(du -h --apparent-size "$files/scan.json.gz" | cut -f1) gzip."
    echo "$(ncdu -v 2>&1 | head -1), gdu $(gdu --version 2>&1 | awk '/Version/ {print $2}')."
    echo
    echo "| run | what | wall s | peak KiB | peak bytes/entry |"
    echo "|---|---|---|---|---|"
    row "scan" "folvane-cli TREE (a fresh scan)" "$CLI" --quiet "$tree"
    row "scan + write" "folvane-cli --format ncdu --output scan.json TREE" \
        "$CLI" --quiet --format ncdu --output "$files/out.json" "$tree"
    row "scan + write gzip" "... --output scan.json.gz TREE" \
        "$CLI" --quiet --format ncdu --output "$files/out.json.gz" "$tree"
    row "open" "folvane-cli --from scan.json" "$CLI" --quiet --from "$files/scan.json"
    row "open gzip" "folvane-cli --from scan.json.gz" "$CLI" --quiet --from "$files/scan.json.gz"
    row "open two + compare" "folvane-cli --from scan.json --compare scan.json.gz" \
        "$CLI" --quiet --from "$files/scan.json" --compare "$files/scan.json.gz"
    row "ncdu -f" "ncdu -f scan.json -o /dev/null (reads, then writes again)" \
        ncdu -f "$files/scan.json" -o /dev/null
    row "gdu -f" "gdu -f scan.json -n -p -s (reads, prints the total)" \
        gdu -f "$files/scan.json" -n -p -s
)
rm -rf "$files" # made again by the next run
echo "$report"
mkdir -p "$ROOT/bench/results"
echo "$report" >"$ROOT/bench/results/$(date -u +%Y-%m-%d-%H%M)-scanfile.md"
