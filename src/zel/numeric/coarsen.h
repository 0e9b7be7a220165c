// Mesh coarsening: the faces around a node of a finely meshed, nearly flat
// region merge into one polygon that no longer uses the node; nearly
// co-linear vertices may then leave the polygon outlines.
//
// The working mesh is a copy of the body's faces and node coordinates, so
// the database's face list changes only once the whole pass has succeeded.
#ifndef ZEL_COARSEN_H
#define ZEL_COARSEN_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

struct Database;

namespace zel {

// What a coarsening text "r,a,c[,id,...,0][,preserve_str]" asks for, as
// written (not yet checked against the supported ranges).
struct CoarsenRequest {
  double resolution = 0.0;         // fraction of the body size
  double face_angle = 0.0;         // degrees
  bool colinear_removal = false;
  std::vector<int32_t> kept_ids;   // node IDs that must stay
  bool preserve_stress_strain = false;
};

// Reads the text as far as it goes and never past its terminator.
CoarsenRequest parse_coarsen_request(const char *text);

// One face of the working mesh: `count` vertices at `first` in the vertex
// pool. A slot whose face was absorbed into a polygon is no longer present.
struct FaceSlot {
  std::size_t first = 0;
  int32_t count = 0;
  bool present = true;
  std::array<double, 3> normal{};
};

struct CoarseMesh {
  int32_t node_count = 0;
  std::vector<std::array<double, 3>> xyz;  // per node index
  // A node takes part while it has a record: it lies on a face, is not
  // preserved and has not been removed.
  std::vector<uint8_t> has_record;
  // Each node's faces, ascending and each once, at list_begin[node]; a
  // list never grows, so the lists share one array.
  std::vector<std::size_t> list_begin;
  std::vector<int32_t> list_size;
  std::vector<int32_t> list_faces;

  std::vector<FaceSlot> slots;
  std::vector<int32_t> pool;               // vertices of every face
  std::size_t pool_garbage = 0;            // pool entries no face uses
  std::vector<int32_t> absorbed_by;        // per slot: the node whose merge emptied it, or -1
  // Nodes still listing a polygon they were cut out of (see cut_pinches).
  std::unordered_map<int32_t, std::vector<int32_t>> cut_out;

  double body_size = 0.0;                  // bounding-box diagonal of every node

  bool has_node_record(int32_t v) const { return v >= 0 && v < node_count && has_record[static_cast<std::size_t>(v)] != 0; }
  std::span<int32_t> faces_of(int32_t node) {
    return {list_faces.data() + list_begin[static_cast<std::size_t>(node)],
            static_cast<std::size_t>(list_size[static_cast<std::size_t>(node)])};
  }
  std::span<int32_t> vertices_of(int32_t face) {
    const FaceSlot &slot = slots[static_cast<std::size_t>(face)];
    return {pool.data() + slot.first, static_cast<std::size_t>(slot.count)};
  }
  double squared_distance(int32_t a, int32_t b) const;
};

// The working mesh of a body's faces, with face normals, node face lists
// and the body size. Throws bad_alloc, leaving the database untouched.
CoarseMesh build_coarse_mesh(const Database &db);

// Puts `vertices` into slot `face`, in place of what it held.
void store_polygon(CoarseMesh &mesh, int32_t face, std::span<const int32_t> vertices);
// Empties slot `face` for good.
void release_face(CoarseMesh &mesh, int32_t face);

// Buffers reused from node to node, so that the pass does not allocate per
// node once they have grown to the largest neighbourhood met.
struct MergeScratch {
  std::vector<int32_t> polygon;
  std::vector<int32_t> taken;               // slots emptied by the running chaining attempt
  std::vector<int32_t> referrers;           // nodes that may list an absorbed face
  std::vector<std::pair<int32_t, std::size_t>> occurrences;  // (node, polygon position)
  std::vector<std::size_t> next_same;       // next polygon position holding the same node
  std::vector<uint8_t> valid;
};

// Removes node `node` when every vertex around it lies within the squared
// distance `reach`, its faces are flat within `cos_angle` and they chain
// into one ring. True when the faces were merged.
bool remove_flat_node(CoarseMesh &mesh, int32_t node, double reach, double cos_angle, MergeScratch &scratch);

// Drops polygon vertices that add nothing but a short, nearly straight step.
void remove_colinear_vertices(CoarseMesh &mesh);

// The present faces as a flat face list; `face_count` tells how many.
std::vector<int32_t> flat_face_list(const CoarseMesh &mesh, int32_t &face_count);

}  // namespace zel

#endif  // ZEL_COARSEN_H
