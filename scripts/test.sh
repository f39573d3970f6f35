#!/bin/sh
# Installs what is missing, builds everything and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
./scripts/build.sh -DBUILD_TESTING=ON
export LC_ALL=C.UTF-8 TZ=UTC QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel 2 "$@"
