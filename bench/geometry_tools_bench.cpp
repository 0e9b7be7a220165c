// Interior-face stripping of a hexahedral block and nearest-node searches
// over a million nodes.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "body/database.h"
#include "zel.h"

namespace {

// Every hexahedron of an n x n x n block contributes its six faces,
// outward-oriented, as node indices of the (n+1)^3 lattice: 6 n^3 faces, of
// which the 6 n^2 on the skin survive stripping.
std::vector<int32_t> hexahedral_block_faces(int n) {
  auto index = [n](int i, int j, int k) { return i + (n + 1) * (j + (n + 1) * k); };
  static constexpr int kFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}};
  std::vector<int32_t> list;
  list.reserve(static_cast<std::size_t>(n) * n * n * 6 * 5);
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const std::array<int32_t, 8> corner = {index(i, j, k),         index(i + 1, j, k),
                                               index(i + 1, j + 1, k), index(i, j + 1, k),
                                               index(i, j, k + 1),     index(i + 1, j, k + 1),
                                               index(i + 1, j + 1, k + 1), index(i, j + 1, k + 1)};
        for (const auto &face : kFaces) {
          list.push_back(4);
          for (int v : face) list.push_back(corner[static_cast<std::size_t>(v)]);
        }
      }
  return list;
}

void BM_StripCommonFacesHexBlock(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<int32_t> faces = hexahedral_block_faces(n);
  const int32_t face_count = 6 * n * n * n;
  Database *db = ZEL_Create(0, 0);
  for (auto _ : state) {
    state.PauseTiming();
    db->face_list = faces;
    db->face_count = face_count;
    state.ResumeTiming();
    ZEL_StripCommonFaces(db);
    state.PauseTiming();
    if (db->face_count != 6 * n * n || db->face_list_size() != 5 * db->face_count)
      state.SkipWithError("the skin of the block was not what remained");
    state.ResumeTiming();
  }
  ZEL_UnLink(db);
  state.SetItemsProcessed(state.iterations() * face_count);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(faces.size() * sizeof(int32_t)));
}

// A million nodes scattered in a unit cube, fixed seed.
Database *scattered_nodes(int count) {
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> coordinate(0.0, 1.0);
  Database *db = ZEL_Create(count, 0);
  for (int id = 1; id <= count; ++id)
    ZEL_SetNodeCoordinates(db, id, coordinate(random), coordinate(random), coordinate(random));
  return db;
}

double squared_distance(const Database *db, int index, const std::array<double, 3> &p) {
  const zel::NodeRecord &n = db->nodes[static_cast<std::size_t>(index)];
  return (n.x - p[0]) * (n.x - p[0]) + (n.y - p[1]) * (n.y - p[1]) + (n.z - p[2]) * (n.z - p[2]);
}

void BM_ClosestNodes(benchmark::State &state) {
  const int nodes = static_cast<int>(state.range(0));
  const int k = static_cast<int>(state.range(1));
  Database *db = scattered_nodes(nodes);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(0.0, 1.0);
  for (auto _ : state) {
    std::array<double, 3> p = {coordinate(random), coordinate(random), coordinate(random)};
    int count = 0;
    int *found = ZEL_ClosestNodes(db, p.data(), k, 0, &count);
    state.PauseTiming();
    // Nearest first, and the nearest is the one the single search finds.
    bool ordered = count == k && found[0] == ZEL_ClosestNode(db, p.data(), 0);
    for (int i = 1; ordered && i < count; ++i)
      ordered = squared_distance(db, found[i - 1], p) <= squared_distance(db, found[i], p);
    if (!ordered) state.SkipWithError("the k nearest nodes came out wrong");
    ZEL_FreeMemory(found);
    state.ResumeTiming();
  }
  ZEL_UnLink(db);
  state.SetItemsProcessed(state.iterations() * nodes);
}

void BM_ClosestNodesInNeighborhood(benchmark::State &state) {
  const int nodes = static_cast<int>(state.range(0));
  Database *db = scattered_nodes(nodes);
  std::array<double, 3> p = {0.5, 0.5, 0.5};
  const double radius = 0.05;
  for (auto _ : state) {
    int count = 0;
    int *found = ZEL_ClosestNodesInNeighborhood(db, p.data(), radius, 0, &count);
    state.PauseTiming();
    // About 4/3 pi r^3 of the nodes fall inside: roughly 524 of a million.
    const bool plausible = count > 300 && count < 800 && squared_distance(db, found[count - 1], p) <= radius * radius;
    if (!plausible) state.SkipWithError("the neighbourhood came out wrong");
    ZEL_FreeMemory(found);
    state.ResumeTiming();
  }
  ZEL_UnLink(db);
  state.SetItemsProcessed(state.iterations() * nodes);
}

}  // namespace

BENCHMARK(BM_StripCommonFacesHexBlock)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ClosestNodes)->Args({1000000, 1})->Args({1000000, 10})->Args({1000000, 1000})
    ->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ClosestNodesInNeighborhood)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(10);
