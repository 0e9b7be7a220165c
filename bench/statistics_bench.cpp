// Modal statistics computed on first request: a 100,000-node x 200-mode
// body (960 MB of mode data) opened from a file without a statistics
// block, the largest translation of every mode asked for once. Each mode
// is fetched once and scanned once; the target is at least 1 GB/s of mode
// data. Files in XDR and in native encoding, both double precision, were
// just written and sit in the page cache: the library is measured, not the
// disk.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

constexpr int kNodes = 100000;
constexpr int kModes = 200;
constexpr int64_t kBytesPerMode = 6 * int64_t{kNodes} * 8;

// The body's file for a version code, written once per run.
const std::string &body_file(uint32_t version) {
  static std::string paths[2];
  std::string &path = paths[zel::is_xdr_version(version) ? 0 : 1];
  if (!path.empty()) return path;
  zel_test::ZelBody body;
  body.version = version;
  body.masses = body.inertias = body.invariants = false;
  zel_test::ModalValues modes;
  for (int n = 0; n < kNodes; ++n) {
    body.nodes.push_back({n + 1, double(n), 0.0, 0.0, 0.0, std::nullopt});
    modes.node_ids.push_back(n + 1);
  }
  modes.mode_count = kModes;
  body.mode_shapes = modes;
  const std::string file = zel_bench::bench_directory().file(("body" + std::to_string(version) + ".zel").c_str());
  if (zel_test::write_zel_file(body, file)) path = file;
  return path;
}

// The builder's values grow with the node position: the largest
// translation of every mode is at the last node.
double expected_largest(int mode) {
  double square = 0.0;
  for (int c = 0; c < 3; ++c) square += std::pow(zel_test::mode_value(0, mode, kNodes - 1, c), 2);
  return std::sqrt(square);
}

void BM_DisplacementStatisticsOfEveryMode(benchmark::State &state) {
  const uint32_t version = static_cast<uint32_t>(state.range(0));
  const std::string &path = body_file(version);
  if (path.empty()) {
    state.SkipWithError("cannot write the body");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    Database *db = ZEL_CreateFromZEL(path.c_str());
    state.ResumeTiming();
    if (db == nullptr) {
      state.SkipWithError("cannot open the body");
      return;
    }
    for (int m = 0; m < kModes; ++m) {
      int node = 0;
      double largest = 0.0;
      if (ZEL_GetMaxModeDisplacement(db, m + 1, &node, &largest) != 1 || node != kNodes ||
          largest != expected_largest(m)) {
        state.SkipWithError("a statistic came out wrong");
        break;
      }
    }
    state.PauseTiming();
    ZEL_UnLink(db);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * kModes * kBytesPerMode);
  state.SetItemsProcessed(state.iterations() * kModes);
}
BENCHMARK(BM_DisplacementStatisticsOfEveryMode)
    ->Arg(316)  // XDR, double precision
    ->Arg(60)   // native, double precision
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
