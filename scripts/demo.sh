#!/usr/bin/env bash
# Builds the library and the examples (no tests, no benchmarks) in a build
# folder of its own, runs the example translator on its built-in plate,
# then the example consumer on a bundled sample ZEL file (version 6.0, XDR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build-demo"
"$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF >/dev/null
echo "== Example translator: building a plate through the builder"
"$dir/plate_translator"
echo
echo "== Example consumer: reading fuzz/corpus/sample_316.zel"
"$dir/zel_consumer" "$here/fuzz/corpus/sample_316.zel"
