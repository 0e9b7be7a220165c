#!/usr/bin/env bash
# Configures and builds into the given folder: build.sh <dir> [cmake args...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/ensure-deps.sh"
dir=$1
shift
cmake -S "$here" -B "$dir" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
