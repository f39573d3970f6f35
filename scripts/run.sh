#!/bin/sh
# Installs what is missing, builds everything and starts Folvane; a FOLDER given is
# scanned at once.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" >&2
exec "$root/build/src/shell/folvane" "$@"
