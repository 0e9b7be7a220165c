#!/usr/bin/env bash
# Builds the library and runs the example translator on its built-in plate.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
"$here/build/plate_translator" "$@"
