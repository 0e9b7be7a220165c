#!/usr/bin/env bash
# Builds the library, the examples and the zel program (no tests, no
# benchmarks) in a build folder of its own, runs the example translator,
# which builds a plate and writes it as build-demo/plate.zel, then the
# example consumer on that file and the zel program's contents report of it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build-demo"
"$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF >/dev/null
echo "== Example translator: building a plate through the builder and writing it"
"$dir/plate_translator" "$dir/plate.zel"
echo
echo "== Example consumer: reading the plate back"
"$dir/zel_consumer" "$dir/plate.zel"
echo
echo "== A quick look at the same file: zel contents (blocks 1 to 7)"
"$dir/tools/zel" contents "$dir/plate.zel" 1 2 3 4 5 6 7
