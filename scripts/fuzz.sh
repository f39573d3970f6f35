#!/bin/sh
# Installs what is missing, builds the libFuzzer targets of fuzz/ with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/, and runs each for
# SECONDS (default 60) on a copy of its seeds in fuzz/corpus/<target>, so the
# committed corpus never grows. Fails when any target finds a crash, a sanitizer
# report, a broken check, a hang or a leak; the input that did it is kept in
# build-fuzz/findings/<target>/ (run the target on that file to see it again).
# FOLVANE_FUZZ_SEED=N fixes libFuzzer's seed, so that runs of the same length try the
# same inputs (CI does this; unset, every run explores from a new seed).
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in
'' | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
    ;;
esac

./scripts/install-deps.sh
# FOLVANE_WERROR=ON in the environment makes warnings errors, as in scripts/build.sh.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DFOLVANE_FUZZ=ON -DBUILD_TESTING=OFF ${FOLVANE_WERROR:+"-DFOLVANE_WERROR=$FOLVANE_WERROR"}
targets="config lists export scanfile"
set --
for t in $targets; do
    set -- "$@" "fuzz_$t"
done
cmake --build build-fuzz --parallel 2 --target "$@"

# The targets write their files into a folder of this run, removed whatever happens.
work=$(mktemp -d "${TMPDIR:-/tmp}/folvane-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
export FOLVANE_FUZZ_TMP="$work"
export LC_ALL=C.UTF-8 TZ=UTC
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

status=0
for t in $targets; do
    corpus="$work/corpus-$t"
    findings="build-fuzz/findings/$t"
    mkdir -p "$corpus" "$findings"
    cp fuzz/corpus/"$t"/* "$corpus"/
    dictionary=""
    if [ -f "fuzz/$t.dict" ]; then
        dictionary="-dict=fuzz/$t.dict"
    fi
    log="build-fuzz/fuzz_$t.log"
    echo "fuzz.sh: fuzz_$t for $seconds s" >&2
    # -timeout: an input that takes five minutes counts as a hang (generous: CI machines
    # are shared, and a starved run is slow without being stuck).
    if nice -n 10 "build-fuzz/fuzz/fuzz_$t" $dictionary -max_total_time="$seconds" -timeout=300 \
        -seed="${FOLVANE_FUZZ_SEED:-0}" \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz.sh: fuzz_$t: ${runs:-?} inputs in $seconds s, nothing found" >&2
    else
        status=1
        tail -n 60 "$log" >&2
        echo "fuzz.sh: fuzz_$t found a fault; the input is in $findings/, the whole output in $log" >&2
    fi
done
exit "$status"
