// The working mesh of coarsening: built from a body's faces, kept in one
// vertex pool, trimmed of co-linear vertices and written back as a flat
// face list.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "body/database.h"
#include "numeric/coarsen.h"
#include "numeric/geometry_tools.h"

namespace zel {
namespace {

using Vector = std::array<double, 3>;

Vector difference(const Vector &a, const Vector &b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

double dot(const Vector &a, const Vector &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// (p2 - p1) x (p0 - p1) of the first three corners, of unit length unless
// it is zero. A face with fewer corners, or with a corner outside the node
// table, gets the zero normal.
Vector face_normal(const CoarseMesh &mesh, const int32_t *v, int32_t count) {
  if (count < 3) return {};
  for (int k = 0; k < 3; ++k)
    if (v[k] < 0 || v[k] >= mesh.node_count) return {};
  const Vector &p0 = mesh.xyz[static_cast<std::size_t>(v[0])];
  const Vector &p1 = mesh.xyz[static_cast<std::size_t>(v[1])];
  const Vector &p2 = mesh.xyz[static_cast<std::size_t>(v[2])];
  const Vector a = difference(p2, p1), b = difference(p0, p1);
  Vector n = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  const double length = std::sqrt(dot(n, n));
  if (length != 0.0)
    for (double &c : n) c /= length;
  return n;
}

double bounding_box_diagonal(const std::vector<Vector> &xyz) {
  if (xyz.empty()) return 0.0;
  Vector low = xyz.front(), high = xyz.front();
  for (const Vector &p : xyz)
    for (std::size_t c = 0; c < 3; ++c) {
      low[c] = std::min(low[c], p[c]);
      high[c] = std::max(high[c], p[c]);
    }
  const Vector extent = difference(high, low);
  return std::sqrt(dot(extent, extent));
}

// Every node's faces in ascending order, each once even when a face names
// the node twice. Corners outside the node table belong to no list.
void build_node_face_lists(CoarseMesh &mesh) {
  const auto nodes = static_cast<std::size_t>(mesh.node_count);
  std::vector<int32_t> last_face(nodes, -1);
  auto each_corner = [&](auto &&visit) {
    std::fill(last_face.begin(), last_face.end(), -1);
    for (std::size_t f = 0; f < mesh.slots.size(); ++f)
      for (int32_t v : mesh.vertices_of(static_cast<int32_t>(f))) {
        if (v < 0 || v >= mesh.node_count || last_face[static_cast<std::size_t>(v)] == static_cast<int32_t>(f)) continue;
        last_face[static_cast<std::size_t>(v)] = static_cast<int32_t>(f);
        visit(static_cast<std::size_t>(v), static_cast<int32_t>(f));
      }
  };
  mesh.list_size.assign(nodes, 0);
  each_corner([&](std::size_t v, int32_t) { ++mesh.list_size[v]; });
  mesh.list_begin.assign(nodes + 1, 0);
  for (std::size_t v = 0; v < nodes; ++v)
    mesh.list_begin[v + 1] = mesh.list_begin[v] + static_cast<std::size_t>(mesh.list_size[v]);
  mesh.list_faces.resize(mesh.list_begin[nodes]);
  std::vector<std::size_t> next(mesh.list_begin.begin(), mesh.list_begin.end() - 1);
  each_corner([&](std::size_t v, int32_t f) { mesh.list_faces[next[v]++] = f; });
  mesh.has_record.resize(nodes);
  for (std::size_t v = 0; v < nodes; ++v) mesh.has_record[v] = mesh.list_size[v] > 0 ? 1 : 0;
}

void compact_pool(CoarseMesh &mesh) {
  std::vector<int32_t> pool;
  pool.reserve(mesh.pool.size() - mesh.pool_garbage);
  for (FaceSlot &slot : mesh.slots) {
    if (!slot.present) continue;
    const auto begin = mesh.pool.begin() + static_cast<std::ptrdiff_t>(slot.first);
    slot.first = pool.size();
    pool.insert(pool.end(), begin, begin + slot.count);
  }
  mesh.pool = std::move(pool);
  mesh.pool_garbage = 0;
}

// Whether vertex v stays between P, the last vertex that stayed, and the
// next vertex Q: it goes when it repeats P's place, or when both its edges
// are short and nearly in line (within `cos_limit`, either way round).
bool vertex_stays(const CoarseMesh &mesh, int32_t p, int32_t v, int32_t q, double edge_limit, double cos_limit) {
  if (!mesh.has_node_record(p) || !mesh.has_node_record(v) || !mesh.has_node_record(q)) return true;
  const double to_p = mesh.squared_distance(p, v);
  if (to_p == 0.0) return false;
  if (to_p > edge_limit) return true;
  const double to_q = mesh.squared_distance(q, v);
  if (to_q == 0.0 || to_q > edge_limit) return true;
  const Vector &at = mesh.xyz[static_cast<std::size_t>(v)];
  const Vector u1 = difference(mesh.xyz[static_cast<std::size_t>(p)], at);
  const Vector u2 = difference(mesh.xyz[static_cast<std::size_t>(q)], at);
  return !(std::fabs(dot(u1, u2)) / std::sqrt(to_p * to_q) >= cos_limit);
}

}  // namespace

double CoarseMesh::squared_distance(int32_t a, int32_t b) const {
  const Vector d = difference(xyz[static_cast<std::size_t>(a)], xyz[static_cast<std::size_t>(b)]);
  return dot(d, d);
}

CoarseMesh build_coarse_mesh(const Database &db) {
  CoarseMesh mesh;
  mesh.node_count = db.node_count();
  mesh.xyz.reserve(db.nodes.size());
  for (const NodeRecord &node : db.nodes) mesh.xyz.push_back({node.x, node.y, node.z});
  mesh.body_size = bounding_box_diagonal(mesh.xyz);

  // The pool starts as the face list itself: each face's vertices stay
  // where they are and only the count entries go unused.
  mesh.pool = db.face_list;
  mesh.slots.reserve(static_cast<std::size_t>(std::max(db.face_count, 0)));
  std::size_t used = 0;
  for_each_face(db.face_list, [&](std::size_t first, int32_t count) {
    mesh.slots.push_back({first, count, true, face_normal(mesh, db.face_list.data() + first, count)});
    used += static_cast<std::size_t>(count);
  });
  mesh.pool_garbage = mesh.pool.size() - used;
  mesh.absorbed_by.assign(mesh.slots.size(), -1);
  build_node_face_lists(mesh);
  return mesh;
}

void release_face(CoarseMesh &mesh, int32_t face) {
  FaceSlot &slot = mesh.slots[static_cast<std::size_t>(face)];
  slot.present = false;
  mesh.pool_garbage += static_cast<std::size_t>(slot.count);
  slot.count = 0;
}

void store_polygon(CoarseMesh &mesh, int32_t face, std::span<const int32_t> vertices) {
  FaceSlot &slot = mesh.slots[static_cast<std::size_t>(face)];
  mesh.pool_garbage += static_cast<std::size_t>(slot.count);
  slot.count = 0;
  // Merged polygons are appended; once most of the pool is left over from
  // absorbed faces it is packed again, so it stays within twice the mesh.
  if (mesh.pool_garbage > mesh.pool.size() / 2) compact_pool(mesh);
  slot.first = mesh.pool.size();
  slot.count = static_cast<int32_t>(vertices.size());
  mesh.pool.insert(mesh.pool.end(), vertices.begin(), vertices.end());
}

void remove_colinear_vertices(CoarseMesh &mesh) {
  const double edge_limit = (0.05 * mesh.body_size) * (0.05 * mesh.body_size);
  const double cos_limit = std::cos(0.17453292519943295);  // 10 degrees
  for (std::size_t f = 0; f < mesh.slots.size(); ++f) {
    FaceSlot &slot = mesh.slots[f];
    if (!slot.present || slot.count < 4) continue;
    // Kept vertices move to the front in place; the last vertex therefore
    // looks ahead at the first one that stayed.
    int32_t *v = mesh.pool.data() + slot.first;
    int32_t kept = 0;
    int32_t previous = v[slot.count - 1];
    for (int32_t k = 0; k < slot.count; ++k) {
      const int32_t vertex = v[k];
      const int32_t next = k + 1 < slot.count ? v[k + 1] : v[0];
      if (!vertex_stays(mesh, previous, vertex, next, edge_limit, cos_limit)) continue;
      v[kept++] = vertex;
      previous = vertex;
    }
    mesh.pool_garbage += static_cast<std::size_t>(slot.count - kept);
    slot.count = kept;
  }
}

std::vector<int32_t> flat_face_list(const CoarseMesh &mesh, int32_t &face_count) {
  std::vector<int32_t> list;
  list.reserve(mesh.pool.size() - mesh.pool_garbage + mesh.slots.size());
  face_count = 0;
  for (const FaceSlot &slot : mesh.slots) {
    if (!slot.present || slot.count == 0) continue;
    list.push_back(slot.count);
    const auto begin = mesh.pool.begin() + static_cast<std::ptrdiff_t>(slot.first);
    list.insert(list.end(), begin, begin + slot.count);
    ++face_count;
  }
  return list;
}

}  // namespace zel
