// Rewriting the mode-shape store of a 100,000-node, 200-mode body: the
// recombination by a dense transformation (read every old mode, combine,
// write the new store) and the reduction to 10,000 geometry nodes, each
// against reading the store once and writing a store of the same shape
// once. The stores live in a private directory under TMP.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <numeric>
#include <stdexcept>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "body/store_rewrite.h"
#include "body/tempstore.h"
#include "numeric/node_reduction.h"
#include "numeric/orthonormalize.h"
#include "zel.h"

namespace {

constexpr int kNodes = 100000;
constexpr int kModes = 200;
constexpr int kGeometryNodes = 10000;

// The body, its store filled with fixed-seed values, built once.
Database *body() {
  static Database *db = [] {
    zel_bench::bench_directory();
    Database *made = ZEL_Create(kNodes, kModes);
    for (int node = 0; node < kNodes; ++node) ZEL_AddNode(made, 1 + node);
    double first[6] = {};
    for (int mode = 0; mode < kModes; ++mode)
      if (ZEL_SetModeVec(made, mode + 1, 1, 0, first) != 1) throw std::runtime_error("mode refused");
    const std::vector<double> values = zel_bench::random_values(6 * static_cast<std::size_t>(kNodes));
    for (int mode = 0; mode < kModes; ++mode)
      if (!made->temp[0].write_slot(mode, values.data(), kNodes)) throw std::runtime_error("store refused");
    if (!made->temp[0].flush()) throw std::runtime_error("store refused");
    // A dense transformation: every new mode draws on every old one.
    made->transform = zel_bench::random_values(static_cast<std::size_t>(kModes) * kModes);
    return made;
  }();
  return db;
}

// The yardstick: every old slot read once, and `modes` slots of `positions`
// records written once into a new store.
void BM_ReadAndWriteStoreOnce(benchmark::State &state) {
  Database *db = body();
  const int32_t positions = static_cast<int32_t>(state.range(0));
  std::vector<double> slot(6 * static_cast<std::size_t>(kNodes));
  for (auto _ : state) {
    zel::TempStore store;
    if (!zel::create_replacement_store(*db, 0, kModes, positions, "Bench file: %s", store))
      throw std::runtime_error("no store");
    for (int mode = 0; mode < kModes; ++mode) {
      db->temp[0].read_slot(mode, slot.data(), kNodes);
      store.write_slot(mode, slot.data(), positions);
    }
    store.flush();
    benchmark::DoNotOptimize(slot.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kModes} * 6 * (kNodes + positions) * 8);
}
BENCHMARK(BM_ReadAndWriteStoreOnce)
    ->Arg(kNodes)
    ->Arg(kGeometryNodes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->Apply(zel_bench::fastest_of_seven);

// Full recombination; each iteration replaces the store by the next.
void BM_WriteOrthogonalModeFile(benchmark::State &state) {
  Database *db = body();
  for (auto _ : state)
    if (zel::WriteOrthogonalModeFile(db, 0, kModes) != 1) throw std::runtime_error("rewrite failed");
  state.SetBytesProcessed(state.iterations() * int64_t{kModes} * 6 * kNodes * 8 * 2);
}
BENCHMARK(BM_WriteOrthogonalModeFile)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->Apply(zel_bench::fastest_of_seven);

// The two ways of running the recombination side by side: the file work on
// a second thread beside a one-thread product (1), or all on one thread
// with the product on every BLAS thread (0). CPU time is the process's:
// every thread's.
void BM_RecombineStore(benchmark::State &state) {
  Database *db = body();
  zel::RecombinationPlan plan;
  plan.overlap_io = state.range(0) != 0;
  for (auto _ : state) {
    zel::TempStore store;
    if (!zel::recombine_store(*db, 0, db->transform, kModes, kModes, "Bench file: %s", store, plan))
      throw std::runtime_error("rewrite failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kModes} * 6 * kNodes * 8 * 2);
}
BENCHMARK(BM_RecombineStore)
    ->ArgName("overlap")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->Apply(zel_bench::fastest_of_seven);

// The arithmetic floor of the recombination: the same product over data
// already in memory (2 x 200 x 200 x 600,000 flops), in blocks of 3,000
// nodes.
void BM_CombineInMemory(benchmark::State &state) {
  constexpr int kBlockValues = 6 * 3000;
  const std::vector<double> old_values = zel_bench::random_values(static_cast<std::size_t>(kModes) * kBlockValues);
  std::vector<double> new_values(old_values.size());
  const std::vector<double> &transform = body()->transform;
  for (auto _ : state)
    for (int block = 0; block < (6 * kNodes) / kBlockValues; ++block) {
      cblas_dgemm(CblasRowMajor, CblasTrans, CblasNoTrans, kModes, kBlockValues, kModes, 1.0, transform.data(),
                  kModes, old_values.data(), kBlockValues, 0.0, new_values.data(), kBlockValues);
      benchmark::DoNotOptimize(new_values.data());
    }
  state.counters["GFlops"] = benchmark::Counter(2.0 * kModes * kModes * 6.0 * kNodes * 1e-9 * state.iterations(),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CombineInMemory)->Unit(benchmark::kMillisecond)->Iterations(3)->Apply(zel_bench::fastest_of_seven);

// The store part of the node reduction: every tenth node kept.
void BM_WriteShortenedModeFile(benchmark::State &state) {
  Database *db = body();
  std::vector<int32_t> kept(kGeometryNodes);
  for (int p = 0; p < kGeometryNodes; ++p) kept[static_cast<std::size_t>(p)] = 10 * p;
  for (auto _ : state) {
    zel::TempStore store;
    if (!zel::WriteShortenedModeFile(*db, 0, kept, store)) throw std::runtime_error("reduction failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kModes} * 6 * (kNodes + kGeometryNodes) * 8);
}
BENCHMARK(BM_WriteShortenedModeFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
