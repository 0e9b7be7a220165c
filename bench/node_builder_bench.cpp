// Building the node table: a million nodes through ZEL_SetNodeCoordinates,
// in ascending and in random ID order, with and without the node count
// announced to ZEL_Create; and looking them up.
//
// A build is timed from ZEL_Create to the last node; checking the body and
// releasing it are not timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "body/database.h"
#include "zel.h"

namespace {

std::vector<int> node_ids(int count, bool shuffled) {
  std::vector<int> ids(static_cast<std::size_t>(count));
  std::iota(ids.begin(), ids.end(), 1);
  if (shuffled) std::shuffle(ids.begin(), ids.end(), std::mt19937(20261207));
  return ids;
}

double x_of(int id) { return id * 0.5; }

// Nodes that the body does not hold as set: node i must be the i-th ID
// given, found under its ID, with its coordinates.
std::size_t misplaced_nodes(Database *db, const std::vector<int> &ids) {
  if (ZEL_NodeCount(db) != static_cast<int>(ids.size())) return ids.size();
  std::size_t misplaced = 0;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const int index = ZEL_NodeIndex(db, ids[i]);
    double xyz[3] = {};
    if (index != static_cast<int>(i) || ZEL_NodeCoordinates(db, index, xyz) != 1 || xyz[0] != x_of(ids[i]))
      ++misplaced;
  }
  return misplaced;
}

void set_coordinates(benchmark::State &state, bool shuffled, bool announced) {
  const int count = static_cast<int>(state.range(0));
  const std::vector<int> ids = node_ids(count, shuffled);
  int node_capacity = 0;
  for (auto _ : state) {
    Database *db = ZEL_Create(announced ? count : 0, 0);
    for (int id : ids) ZEL_SetNodeCoordinates(db, id, x_of(id), 1.0, 2.0);
    state.PauseTiming();
    if (misplaced_nodes(db, ids) != 0) state.SkipWithError("nodes not as set");
    node_capacity = db->node_capacity();
    ZEL_UnLink(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["node_capacity"] = node_capacity;
}

void BM_SetNodeCoordinatesAscending(benchmark::State &state) { set_coordinates(state, false, true); }
void BM_SetNodeCoordinatesRandomOrder(benchmark::State &state) { set_coordinates(state, true, true); }
void BM_SetNodeCoordinatesAscendingUnannounced(benchmark::State &state) { set_coordinates(state, false, false); }
void BM_SetNodeCoordinatesRandomOrderUnannounced(benchmark::State &state) { set_coordinates(state, true, false); }

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
BENCHMARK(BM_SetNodeCoordinatesAscendingUnannounced)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetNodeCoordinatesRandomOrderUnannounced)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NodeIndexLookup)->Arg(1000000)->Unit(benchmark::kMillisecond);
