// Mesh coarsening of a finely triangulated closed box: about a million
// faces around half a million nodes.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "body/database.h"
#include "box_surface.h"
#include "zel.h"

namespace {

// The surface of the unit cube, each side an n x n grid of squares cut into
// two triangles: 12 n^2 faces over 6 n^2 + 2 nodes (IDs from 1).
Database *triangulated_box(int n) {
  Database *db = ZEL_Create(6 * n * n + 2, 0);
  std::map<zel_test::LatticePoint, int32_t> index_of;
  auto node = [&](const zel_test::LatticePoint &p) {
    auto [it, added] = index_of.emplace(p, static_cast<int32_t>(index_of.size()));
    if (added) ZEL_SetNodeCoordinates(db, it->second + 1, double(p[0]) / n, double(p[1]) / n, double(p[2]) / n);
    return it->second;
  };
  std::vector<int32_t> &list = db->face_list;
  list.reserve(static_cast<std::size_t>(12) * n * n * 4);
  zel_test::for_each_box_square(n, [&](const std::array<zel_test::LatticePoint, 4> &square) {
    const int32_t a = node(square[0]), b = node(square[1]), c = node(square[2]), d = node(square[3]);
    list.insert(list.end(), {3, a, b, c, 3, a, c, d});
  });
  db->face_count = 12 * n * n;
  return db;
}

// Whether every face of the list has vertices, all of them nodes.
bool well_formed(const Database *db) {
  std::size_t at = 0, faces = 0;
  while (at < db->face_list.size()) {
    const int32_t n = db->face_list[at];
    if (n <= 0 || at + 1 + static_cast<std::size_t>(n) > db->face_list.size()) return false;
    for (int32_t k = 1; k <= n; ++k)
      if (db->face_list[at + static_cast<std::size_t>(k)] < 0 || db->face_list[at + static_cast<std::size_t>(k)] >= db->node_count())
        return false;
    at += static_cast<std::size_t>(n) + 1;
    ++faces;
  }
  return static_cast<int32_t>(faces) == db->face_count;
}

void BM_TrimGeometryBox(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  Database *db = triangulated_box(n);
  const std::vector<int32_t> faces = db->face_list;
  const int32_t face_count = db->face_count;
  for (auto _ : state) {
    state.PauseTiming();
    db->face_list = faces;
    db->face_count = face_count;
    state.ResumeTiming();
    ZEL_TrimGeometry(db, "0.02,10,1");
    state.PauseTiming();
    if (db->face_count >= face_count || !well_formed(db)) state.SkipWithError("the box was not coarsened into a well-formed list");
    state.counters["faces_left"] = db->face_count;
    state.ResumeTiming();
  }
  ZEL_UnLink(db);
  state.SetItemsProcessed(state.iterations() * face_count);
}
BENCHMARK(BM_TrimGeometryBox)->Arg(289)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
