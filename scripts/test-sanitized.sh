#!/bin/sh
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (Debug, so assert() checks run too) into build-sanitize/
# and runs every test through CTest. Any sanitizer report aborts the process that
# met it and fails the run; an AddressSanitizer or LeakSanitizer report does so even
# from a program a test starts (folvane-cli, a child that drops privileges) whose
# exit status the test does not look at.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# FOLVANE_WERROR=ON in the environment makes warnings errors, as in scripts/build.sh.
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON -DFOLVANE_SANITIZE=ON \
    ${FOLVANE_WERROR:+"-DFOLVANE_WERROR=$FOLVANE_WERROR"}
cmake --build build-sanitize --parallel

# AddressSanitizer and LeakSanitizer reports go to files (one per process), so one
# from a program whose standard error a test captures is not lost; they are printed
# below. UndefinedBehaviorSanitizer reports go to standard error (this runtime has no
# log file for them); like the others they abort the process. LeakSanitizer is on:
# Qt (widgets, charts, the offscreen platform) and fontconfig leave no one-time
# allocations it reports, so no suppressions are needed.
logs="$PWD/build-sanitize/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export LC_ALL=C.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$logs/asan"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
status=0
ctest --test-dir build-sanitize --output-on-failure --parallel 2 "$@" || status=$?

reports=$(find "$logs" -type f -size +0 | sort)
if [ -n "$reports" ]; then
    for f in $reports; do
        echo "==== sanitizer report: $f" >&2
        cat "$f" >&2
    done
    echo "test-sanitized.sh: sanitizer reports above" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
