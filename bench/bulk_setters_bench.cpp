// Filling a body's nodes and mode shapes: a C translator's loop of
// per-node calls against the many-node calls a binding makes with whole
// arrays. bench/python_bulk_fill_bench.py compares the Python builder with
// the per-node figure of this program.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_support.h"
#include "zel.h"

namespace {

struct Body {
  std::vector<int> ids;
  std::vector<double> xyz, masses, shape;
};

// `nodes` nodes with IDs 1, 3, 5, ... and one set of six values a node,
// given to every mode.
Body body_of(int nodes) {
  Body body;
  for (int k = 0; k < nodes; ++k) body.ids.push_back(2 * k + 1);
  body.xyz = zel_bench::random_values(3 * static_cast<std::size_t>(nodes));
  body.masses.assign(static_cast<std::size_t>(nodes), 0.5);
  body.shape = zel_bench::random_values(6 * static_cast<std::size_t>(nodes));
  return body;
}

void fill_per_node(Database *db, Body &body, int modes) {
  const int nodes = static_cast<int>(body.ids.size());
  for (int k = 0; k < nodes; ++k) {
    const double *xyz = &body.xyz[3 * static_cast<std::size_t>(k)];
    ZEL_SetNodeCoordinates(db, body.ids[k], xyz[0], xyz[1], xyz[2]);
    ZEL_SetNodalMass(db, body.ids[k], body.masses[static_cast<std::size_t>(k)]);
  }
  for (int number = 1; number <= modes; ++number)
    for (int k = 0; k < nodes; ++k) ZEL_SetModeVec(db, number, body.ids[k], 0, &body.shape[6 * static_cast<std::size_t>(k)]);
}

void fill_in_bulk(Database *db, Body &body, int modes) {
  const int nodes = static_cast<int>(body.ids.size());
  ZEL_SetNodeCoordinatesArray(db, nodes, body.ids.data(), body.xyz.data());
  ZEL_SetNodalMassArray(db, nodes, body.ids.data(), body.masses.data());
  for (int number = 1; number <= modes; ++number)
    ZEL_SetModeVecArray(db, number, 0, nodes, body.ids.data(), body.shape.data());
}

template <void (*Fill)(Database *, Body &, int)>
void BM_Fill(benchmark::State &state) {
  zel_bench::bench_directory();
  const int nodes = static_cast<int>(state.range(0));
  const int modes = static_cast<int>(state.range(1));
  Body body = body_of(nodes);
  for (auto _ : state) {
    Database *db = ZEL_Create(nodes, modes);
    Fill(db, body, modes);
    state.PauseTiming();
    if (ZEL_NodeCount(db) != nodes || ZEL_ModeCount(db) != modes) state.SkipWithError("the body was not filled");
    ZEL_UnLink(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{nodes} * modes);
}

// The size (100k nodes, 50 modes) and a smaller one.
void sizes(benchmark::internal::Benchmark *b) {
  b->Args({20000, 20})->Args({100000, 50})->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Named as bench/python_bulk_fill_bench.py asks for them.
BENCHMARK(BM_Fill<fill_per_node>)->Name("BM_FillPerNode")->Apply(sizes);
BENCHMARK(BM_Fill<fill_in_bulk>)->Name("BM_FillInBulk")->Apply(sizes);

}  // namespace
