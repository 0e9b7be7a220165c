// Pairing the nodes of two meshes of one part, 100,000 nodes each, as
// `zel mac` does: the nearest-node grid built and queried once per base
// node, beside the library's linear scan on a sample of the queries.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "node_grid.h"
#include "zel.h"

namespace {

// A jittered lattice of nx x ny x nz nodes filling a 1 x 1 x thickness box.
std::vector<double> mesh_nodes(int nx, int ny, int nz, double thickness, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  std::vector<double> xyz;
  xyz.reserve(3 * static_cast<std::size_t>(nx) * ny * nz);
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        xyz.push_back((i + 0.5 + jitter(random)) / nx);
        xyz.push_back((j + 0.5 + jitter(random)) / ny);
        xyz.push_back(thickness * (k + 0.5 + jitter(random)) / nz);
      }
  return xyz;
}

struct TwoMeshes {
  std::vector<double> base, other;
};

// A block (100 x 100 x 10 against 80 x 80 x 16 nodes) or a plate
// (316 x 316 x 1 against 250 x 400 x 1).
const TwoMeshes &meshes(bool plate) {
  static const TwoMeshes block{mesh_nodes(100, 100, 10, 0.1, 1), mesh_nodes(80, 80, 16, 0.1, 2)};
  static const TwoMeshes flat{mesh_nodes(316, 316, 1, 0.0, 3), mesh_nodes(250, 400, 1, 0.0, 4)};
  return plate ? flat : block;
}

const char *shape_name(bool plate) { return plate ? "plate" : "block"; }

void BM_PairWithGrid(benchmark::State &state) {
  const bool plate = state.range(0) != 0;
  const TwoMeshes &m = meshes(plate);
  const int base_count = static_cast<int>(m.base.size() / 3), other_count = static_cast<int>(m.other.size() / 3);
  for (auto _ : state) {
    NodeGrid *grid = node_grid_new(m.other.data(), other_count);
    long paired = 0;
    for (int p = 0; p < base_count; ++p) paired += node_grid_nearest(grid, m.base.data() + 3 * p, 0.05) >= 0;
    node_grid_free(grid);
    benchmark::DoNotOptimize(paired);
  }
  state.SetLabel(shape_name(plate));
  state.counters["base_nodes"] = base_count;
  state.counters["other_nodes"] = other_count;
}
BENCHMARK(BM_PairWithGrid)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The library's search walks every node for each query: 200 of the
// 100,000 queries, so that the whole pairing's time is 500 times this.
void BM_PairWithLibraryScan(benchmark::State &state) {
  const bool plate = state.range(0) != 0;
  const TwoMeshes &m = meshes(plate);
  const int other_count = static_cast<int>(m.other.size() / 3);
  Database *db = ZEL_Create(other_count, 1);
  for (int q = 0; q < other_count; ++q) ZEL_SetNodeCoordinates(db, q + 1, m.other[3 * q], m.other[3 * q + 1], m.other[3 * q + 2]);
  const int sample = 200, stride = static_cast<int>(m.base.size() / 3) / sample;
  for (auto _ : state) {
    long sum = 0;
    for (int s = 0; s < sample; ++s) {
      std::array<double, 3> point{m.base[3 * s * stride], m.base[3 * s * stride + 1], m.base[3 * s * stride + 2]};
      sum += ZEL_ClosestNode(db, point.data(), 0);
    }
    benchmark::DoNotOptimize(sum);
  }
  ZEL_UnLink(db);
  state.SetLabel(std::string(shape_name(plate)) + ", 200 queries");
}
BENCHMARK(BM_PairWithLibraryScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
