// Dense queries of a 1,000 x 1,000 generalized mass whose list holds all
// 10^6 entries (each pair once, in a shuffled order): the full matrix, the
// matrix over every second mode, and the sparse copy. Throughput counts
// list entries; the result is checked against the list.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "zel.h"

namespace {

constexpr int kModes = 1000;
constexpr int64_t kEntries = static_cast<int64_t>(kModes) * kModes;

Database *body() {
  static Database *db = [] {
    Database *d = ZEL_Create(0, kModes);
    for (int m = 0; m < kModes; ++m) d->mode_numbers.push_back(m + 1);
    const std::vector<double> values = zel_bench::random_values(static_cast<std::size_t>(kEntries));
    d->gen_mass.reserve(static_cast<std::size_t>(kEntries));
    for (int r = 0; r < kModes; ++r)
      for (int c = 0; c < kModes; ++c)
        d->gen_mass.push_back(zel::GenEntry{r, c, values[static_cast<std::size_t>(r) * kModes + c]});
    std::shuffle(d->gen_mass.begin(), d->gen_mass.end(), std::mt19937(5));
    return d;
  }();
  return db;
}

// The dense matrix holds, at each entry's place, the entry or the one
// written at its mirror.
void check(const std::vector<double> &matrix, int n, int stride) {
  for (const zel::GenEntry &e : body()->gen_mass) {
    if (e.row % stride != 0 || e.col % stride != 0) continue;
    const double held = matrix[static_cast<std::size_t>(e.row / stride) * n + e.col / stride];
    if (held != e.value && held != matrix[static_cast<std::size_t>(e.col / stride) * n + e.row / stride])
      throw std::runtime_error("wrong matrix");
  }
}

void BM_GenMassFull(benchmark::State &state) {
  Database *db = body();
  std::vector<double> matrix(static_cast<std::size_t>(kEntries));
  for (auto _ : state) {
    if (!ZEL_GenMassFull(db, matrix.data(), kModes)) throw std::runtime_error("query failed");
    benchmark::DoNotOptimize(matrix.data());
  }
  check(matrix, kModes, 1);
  state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_GenMassSelectedHalf(benchmark::State &state) {
  Database *db = body();
  constexpr int n = kModes / 2;
  std::vector<int> selected(n);
  for (int s = 0; s < n; ++s) selected[s] = 2 * s + 1;  // mode indices 0, 2, 4, ...
  std::vector<double> matrix(static_cast<std::size_t>(n) * n);
  std::vector<double *> rows(n);
  for (int r = 0; r < n; ++r) rows[r] = matrix.data() + static_cast<std::size_t>(r) * n;
  for (auto _ : state) {
    if (!ZEL_GenMassSelected(db, rows.data(), n, selected.data())) throw std::runtime_error("query failed");
    benchmark::DoNotOptimize(matrix.data());
  }
  check(matrix, n, 2);
  state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_GenMassSparse(benchmark::State &state) {
  Database *db = body();
  std::vector<double> values(static_cast<std::size_t>(kEntries));
  std::vector<int> rows(values.size());
  std::vector<int> cols(values.size());
  for (auto _ : state) {
    if (!ZEL_GenMassSparse(db, values.data(), rows.data(), cols.data())) throw std::runtime_error("query failed");
    benchmark::DoNotOptimize(values.data());
  }
  if (values.back() != db->gen_mass.back().value) throw std::runtime_error("wrong entries");
  state.SetItemsProcessed(state.iterations() * kEntries);
}

}  // namespace

BENCHMARK(BM_GenMassFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenMassSelectedHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenMassSparse)->Unit(benchmark::kMillisecond);
