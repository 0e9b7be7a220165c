// The modal inertia invariants of a body opened from a file (no invariant
// blocks), the mode data fetched from the file as a query does, against
// the same BLAS products on arrays already in memory: what the fetch and
// the blocks cost on top of the arithmetic. Bodies of 50,000 nodes x 30
// modes and 100,000 x 200 (about 1 GB of mode data), with the default
// 512 MiB budget and with 256 MiB.
//
// The file was just written, so it is read from the page cache.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "body/invariants.h"
#include "format/blocks.h"
#include "zel.h"

namespace {

constexpr uint32_t kVersion = 316;

// Translation a of mode m at node n: smooth in n, different per mode.
double translation(int m, int n, int a) { return std::sin(0.001 * (n + 1) * (m + 1) + a); }

std::vector<double> mode_record(int m, int nodes) {
  std::vector<double> values(6 * static_cast<std::size_t>(nodes));
  for (int n = 0; n < nodes; ++n)
    for (int c = 0; c < 6; ++c) values[6 * static_cast<std::size_t>(n) + c] = translation(m, n, c);
  return values;
}

double mass(int n) { return 1.0 + 0.001 * (n % 97); }

// A body bound to a mode-shape block written by the block encoders, as a
// read body is; one per size, kept for the run.
Database *file_body(int nodes, int modes) {
  static std::map<std::pair<int, int>, Database *> bodies;
  Database *&db = bodies[{nodes, modes}];
  if (db != nullptr) return db;
  const std::string path =
      zel_bench::bench_directory().file(("invariants_" + std::to_string(nodes) + "_" + std::to_string(modes)).c_str());
  std::vector<int32_t> ids(static_cast<std::size_t>(nodes));
  for (int n = 0; n < nodes; ++n) ids[static_cast<std::size_t>(n)] = n + 1;
  {
    zel::ZelFile out;
    out.attach(std::fopen(path.c_str(), "wb"), path, zel::FileMode::kWrite, true, true);
    bool written = zel::write_modal_head(out, modes, ids);
    for (int m = 0; m < modes; ++m)
      written = written && zel::write_mode_record(out, kVersion, zel::kModeShapeSet, m + 1, mode_record(m, nodes));
    if (!written) throw std::runtime_error("cannot write " + path);
  }
  db = ZEL_Create(nodes, 0);
  for (int n = 0; n < nodes; ++n) {
    ZEL_SetNodeCoordinates(db, n + 1, 0.01 * n, std::cos(0.01 * n), 0.5);
    ZEL_SetNodalMass(db, n + 1, mass(n));
  }
  zel_bench::bind_mode_shapes_file(db, path, kVersion);
  return db;
}

int64_t mode_bytes(int nodes, int modes) { return int64_t{48} * nodes * modes; }

// Every modal invariant, the pairs first so that one pass over the modes
// gives them all; checked against the first iteration's.
void BM_InvariantsFromFile(benchmark::State &state) {
  const int nodes = static_cast<int>(state.range(0));
  const int modes = static_cast<int>(state.range(1));
  setenv("ZEL_INVARIANT_MEMORY", std::to_string(state.range(2)).c_str(), 1);
  Database *db = file_body(nodes, modes);
  double first = 0.0;
  for (auto _ : state) {
    zel::forget_computed_invariants(*db);
    double *pair = ZEL_Invar9(db, modes - 1, 0);
    double *moment = ZEL_Invar4(db);
    if (pair == nullptr || moment == nullptr) {
      state.SkipWithError("an invariant could not be computed");
      break;
    }
    const double digest = pair[3] + moment[modes];
    if (first == 0.0) first = digest;
    if (digest != first) state.SkipWithError("the invariants changed between runs");
    ZEL_FreeMemory(pair);
    ZEL_FreeMemory(moment);
  }
  unsetenv("ZEL_INVARIANT_MEMORY");
  state.SetBytesProcessed(state.iterations() * mode_bytes(nodes, modes));
}
BENCHMARK(BM_InvariantsFromFile)
    ->Args({50000, 30, 512})
    ->Args({100000, 200, 512})
    ->Args({100000, 200, 256})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The same products on the translations already in memory, mode-major.
void BM_BlasProductsInMemory(benchmark::State &state) {
  const int nodes = static_cast<int>(state.range(0));
  const int modes = static_cast<int>(state.range(1));
  const std::size_t n = static_cast<std::size_t>(nodes);
  const std::size_t width = 3 * static_cast<std::size_t>(modes);
  std::vector<double> rows(width * n), weighted(width * n), weights(4 * n);
  for (std::size_t p = 0; p < n; ++p) {
    weights[p] = mass(static_cast<int>(p));
    for (std::size_t a = 1; a < 4; ++a) weights[a * n + p] = weights[p] * (0.5 + a);
  }
  for (std::size_t r = 0; r < width; ++r)
    for (std::size_t p = 0; p < n; ++p) {
      rows[r * n + p] = translation(static_cast<int>(r / 3), static_cast<int>(p), static_cast<int>(r % 3));
      weighted[r * n + p] = weights[p] * rows[r * n + p];
    }
  std::vector<double> moments(4 * width), gram(width * width);
  const int w = static_cast<int>(width);
  for (auto _ : state) {
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, 4, w, nodes, 1.0, weights.data(), nodes, rows.data(),
                nodes, 0.0, moments.data(), w);
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, w, w, nodes, 1.0, weighted.data(), nodes, rows.data(),
                nodes, 0.0, gram.data(), w);
    benchmark::DoNotOptimize(gram.data());
  }
  state.SetBytesProcessed(state.iterations() * mode_bytes(nodes, modes));
}
BENCHMARK(BM_BlasProductsInMemory)
    ->Args({50000, 30})
    ->Args({100000, 200})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
