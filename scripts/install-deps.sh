#!/bin/sh
# Installs every Debian package that building, checking (clang-tidy), testing,
# fuzzing (clang's libFuzzer, zlib to read workbooks back), benchmarking and packaging
# Folvane needs (the .deb: CPack's dpkg-shlibdeps and file, the icon's PNG sizes, the
# manual pages, and the checks of the launcher entry, metadata and package).
# Safe to run again: apt-get skips what is already there.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config clang-tidy-14
clang-14 libclang-rt-14-dev zlib1g-dev
qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-qpa-plugins libgl-dev
libpugixml-dev libxlsxwriter-dev
libgtest-dev libgmock-dev libbenchmark-dev
adwaita-icon-theme
util-linux time hyperfine ncdu gdu
linux-perf valgrind heaptrack
python3 python3-openpyxl python3-html5lib libxml2-utils
dpkg-dev file librsvg2-bin scdoc man-db desktop-file-utils appstream lintian
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
