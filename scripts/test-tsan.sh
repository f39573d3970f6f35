#!/bin/sh
# Installs what is missing, builds the scan's tests with ThreadSanitizer
# (RelWithDebInfo, as the scan is built for use) into build-tsan/ and runs them
# through CTest: the catalog tests, which scan with several threads, and the
# command-line tests, which start folvane-cli to scan. Only these: the rest of the
# program runs on one thread. Any report fails the run, also one from a folvane-cli
# a test starts and whose exit status it does not look at.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DFOLVANE_TSAN=ON
cmake --build build-tsan --parallel 2 --target catalog_tests folvane-cli cli_tests

# Reports go to files (one per process), so one from a program whose standard error a
# test captures is not lost; they are printed below. The folder is open to all, as
# some tests scan from a child that dropped privileges.
logs="$PWD/build-tsan/tsan-logs"
rm -rf "$logs"
mkdir -p "$logs"
chmod 1777 "$logs"
export LC_ALL=C.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:log_path=$logs/tsan"
status=0
ctest --test-dir build-tsan --output-on-failure --parallel 2 -L '^(catalog|cli)$' "$@" || status=$?

reports=$(find "$logs" -type f -size +0 | sort)
if [ -n "$reports" ]; then
    for f in $reports; do
        echo "==== ThreadSanitizer report: $f" >&2
        cat "$f" >&2
    done
    echo "test-tsan.sh: ThreadSanitizer reports above" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
