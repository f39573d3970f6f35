#!/bin/sh
# Installs what is missing, builds Folvane for release with the flags Debian builds
# its packages with (hardening included) into build-package/, and makes the .deb
# there with CPack: build-package/folvane_<version>_<arch>.deb, whose path it prints.
# Install it with `sudo apt install ./build-package/folvane_*.deb`.
# Given the folder of a build already configured (CI passes the tests' build), it
# makes the .deb from that one instead, as it was configured, without a build of its
# own. FOLVANE_WERROR=ON in the environment makes warnings errors, as in
# scripts/build.sh.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
dir="${1:-}"
if [ -z "$dir" ]; then
    dir=build-package
    # All of Debian's hardening, immediate binding included. CMake reads no CPPFLAGS:
    # the preprocessor's flags (_FORTIFY_SOURCE) go with the compiler's. Release adds
    # -O3 and -DNDEBUG after them.
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
        ${FOLVANE_WERROR:+"-DFOLVANE_WERROR=$FOLVANE_WERROR"} >&2
fi
nice -n 10 cmake --build "$dir" --parallel 2 >&2
rm -f "$dir"/folvane_*.deb
(cd "$dir" && cpack -G DEB >&2)
ls "$(cd "$dir" && pwd)"/folvane_*.deb
