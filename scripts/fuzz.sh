#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz and runs each for a fixed
# number of inputs from its seed corpus:
# - reader_fuzz from fuzz/corpus: sample files of every version code written
#   by tests/support/zel_file_builder, and two (native, XDR) whose mode
#   shapes list only some of the nodes;
# - ccx_fuzz from fuzz/ccx_corpus: a real solver run of every element type
#   the translator reads (fuzz/make_ccx_corpus.py).
#   scripts/fuzz.sh [reader runs] [translator runs]     (default 20000, 5000)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs="${1:-20000}"
ccx_runs="${2:-5000}"

# libFuzzer's runtime ships in clang's compiler-rt package.
"$here/scripts/ensure-deps.sh" clang libclang-rt-dev

dir="$here/build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_FUZZ=ON \
  -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$dir" -j2 --target reader_fuzz ccx_fuzz

# New inputs go to a scratch corpus; the committed seeds stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# run TARGET SEEDS [libFuzzer options...]: the targets report every damaged
# input on stderr, so that goes to a log whose end is shown only when the
# fuzzer finds a fault.
run() {
  local target=$1 seeds=$2
  shift 2
  local log="$dir/$target.log"
  mkdir -p "$work/$target"
  if ! "$dir/fuzz/$target" -seed=1 -artifact_prefix="$dir/$target-" "$@" "$work/$target" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target found a fault; the input is saved as $dir/$target-* (see $log)" >&2
    exit 1
  fi
  echo -n "$target: "
  grep -E "^Done [0-9]+ runs" "$log"
}

# Both run under a memory limit, so that an allocation the input does not
# bound is a finding.
limits=(-rss_limit_mb=1024 -malloc_limit_mb=256)
run reader_fuzz "$here/fuzz/corpus" -runs="$runs" -max_len=16384 "${limits[@]}"
# A translation takes milliseconds; a hang is a finding after 10 s.
run ccx_fuzz "$here/fuzz/ccx_corpus" -runs="$ccx_runs" -max_len=65536 -timeout=10 "${limits[@]}"
