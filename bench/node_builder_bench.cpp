// Building the node table: a million nodes through ZEL_SetNodeCoordinates
// in ascending and in random ID order, and looking them up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "database.h"
#include "zel.h"

namespace {

std::vector<int> node_ids(int count, bool shuffled) {
  std::vector<int> ids(static_cast<std::size_t>(count));
  std::iota(ids.begin(), ids.end(), 1);
  if (shuffled) std::shuffle(ids.begin(), ids.end(), std::mt19937(20261207));
  return ids;
}

void set_coordinates(benchmark::State &state, bool shuffled) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<int> ids = node_ids(count, shuffled);
  for (auto _ : state) {
    Database *db = ZEL_Create(count, 0);
    for (int id : ids) ZEL_SetNodeCoordinates(db, id, id * 0.5, 1.0, 2.0);
    state.PauseTiming();
    // The node of the last ID set must be the last index given.
    if (ZEL_NodeIndex(db, ids.back()) != count - 1) state.SkipWithError("wrong node index");
    ZEL_UnLink(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_SetNodeCoordinatesAscending(benchmark::State &state) { set_coordinates(state, false); }
void BM_SetNodeCoordinatesRandomOrder(benchmark::State &state) { set_coordinates(state, true); }

void BM_NodeIndexLookup(benchmark::State &state) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<int> ids = node_ids(count, true);
  Database *db = ZEL_Create(count, 0);
  for (int id : ids) ZEL_AddNode(db, id);
  std::vector<int> probes = node_ids(count, true);
  long long checksum = 0;
  for (auto _ : state) {
    for (int id : probes) checksum += ZEL_NodeIndex(db, id);
  }
  // Every index 0..count-1 is found once per pass.
  const long long per_pass = static_cast<long long>(count) * (count - 1) / 2;
  if (checksum != per_pass * static_cast<long long>(state.iterations())) state.SkipWithError("wrong lookups");
  state.SetItemsProcessed(state.iterations() * count);
  ZEL_UnLink(db);
}

}  // namespace

BENCHMARK(BM_SetNodeCoordinatesAscending)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetNodeCoordinatesRandomOrder)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeIndexLookup)->Arg(1000000)->Unit(benchmark::kMillisecond);
