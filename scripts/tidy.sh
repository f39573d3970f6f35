#!/bin/sh
# Runs clang-tidy (the checks of .clang-tidy) over the sources of the libraries and the
# program that need no GUI, with the flags of build/compile_commands.json; any finding
# fails the run. Files to check may be named, otherwise all of them are.
set -eu
cd "$(dirname "$0")/.."

tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
    ./scripts/install-deps.sh
    tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
fi

# The flags come from the build, so it must be configured; generated headers are
# not needed by these sources.
if [ ! -f build/compile_commands.json ]; then
    ./scripts/install-deps.sh
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
fi

if [ "$#" -eq 0 ]; then
    set -- $(find src/catalog src/files src/config src/lists src/export src/actions src/treemap src/scanfile src/cli -name '*.cpp' | sort)
fi

status=0
for f in "$@"; do
    "$tidy" -p build --quiet --warnings-as-errors='*' "$f" || status=1
done
exit "$status"
