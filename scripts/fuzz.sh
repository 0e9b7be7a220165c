#!/usr/bin/env bash
# Builds the reader's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz and runs it for a fixed number
# of inputs, starting from the seed corpus in fuzz/corpus: sample files of
# every version code written by tests/support/zel_file_builder, and two
# (native, XDR) whose mode shapes list only some of the nodes.
#   scripts/fuzz.sh [runs]     (default 20000)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs="${1:-20000}"

# libFuzzer's runtime ships in clang's compiler-rt package.
"$here/scripts/ensure-deps.sh" clang libclang-rt-dev

dir="$here/build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_FUZZ=ON \
  -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$dir" -j2 --target reader_fuzz

# New inputs go to a scratch corpus; the committed seeds stay as they are.
work=$(mktemp -d)
log="$dir/reader_fuzz.log"
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The reader reports every damaged input on stderr: keep that in a log and
# show its end only when the fuzzer finds a fault.
if ! "$dir/fuzz/reader_fuzz" -runs="$runs" -seed=1 -max_len=16384 -artifact_prefix="$dir/" "$work" "$here/fuzz/corpus" >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "reader_fuzz found a fault; the input is saved as $dir/crash-* (see $log)" >&2
  exit 1
fi
grep -E "^Done [0-9]+ runs" "$log"
