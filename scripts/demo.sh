#!/usr/bin/env bash
# Builds the library, the examples and the zel program (no tests, no
# benchmarks) in a build folder of its own, runs the example translator on
# its built-in plate, then the example consumer on a bundled sample ZEL file
# (version 6.0, XDR), and the zel program's contents report of that file.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build-demo"
"$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF >/dev/null
echo "== Example translator: building a plate through the builder"
"$dir/plate_translator"
echo
echo "== Example consumer: reading fuzz/corpus/sample_316.zel"
"$dir/zel_consumer" "$here/fuzz/corpus/sample_316.zel"
echo
echo "== A quick look at the same file: zel contents (blocks 1 to 7)"
"$dir/tools/zel" contents "$here/fuzz/corpus/sample_316.zel" 1 2 3 4 5 6 7
