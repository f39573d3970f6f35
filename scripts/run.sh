#!/bin/sh
# Installs what is missing, builds everything and starts Folvane. Until the
# window arrives this scans the folder given (or prints the usage).
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" >&2
if [ "$#" -eq 0 ]; then
    exec "$root/build/src/cli/folvane-cli" --help
fi
exec "$root/build/src/cli/folvane-cli" "$@"
