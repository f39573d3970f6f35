#!/bin/sh
# Installs what is missing, then configures and builds Folvane into build/.
# FOLVANE_WERROR=ON in the environment makes warnings errors (CI sets it); unset, the
# cached setting stays as it was.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
if [ -n "${FOLVANE_WERROR:-}" ]; then
    set -- "-DFOLVANE_WERROR=$FOLVANE_WERROR" "$@"
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build --parallel
