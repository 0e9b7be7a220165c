// Removal of one node: the neighbourhood and flatness tests, and the merge
// of the faces around the node into one polygon.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "numeric/coarsen.h"

namespace zel {
namespace {

FaceSlot &slot_of(CoarseMesh &mesh, int32_t face) { return mesh.slots[static_cast<std::size_t>(face)]; }

// Every corner still taking part, of every face the node lists, lies within
// the squared distance `reach` of it.
bool within_reach(CoarseMesh &mesh, int32_t node, double reach) {
  for (int32_t face : mesh.faces_of(node)) {
    if (!slot_of(mesh, face).present) continue;
    for (int32_t v : mesh.vertices_of(face))
      if (mesh.has_node_record(v) && !(mesh.squared_distance(v, node) <= reach)) return false;
  }
  return true;
}

// The first listed face is the reference plane; every later face still
// present must have a plane of its own within the face angle of it, wound
// either way. Without a reference face (its slot emptied) nothing is flat.
bool nearly_flat(CoarseMesh &mesh, int32_t node, double cos_angle) {
  const std::span<int32_t> faces = mesh.faces_of(node);
  if (faces.size() < 2) return false;
  const FaceSlot &reference = slot_of(mesh, faces[0]);
  if (!reference.present) return false;
  for (std::size_t k = 1; k < faces.size(); ++k) {
    const FaceSlot &face = slot_of(mesh, faces[k]);
    if (!face.present) continue;
    const double cos_between = face.normal[0] * reference.normal[0] + face.normal[1] * reference.normal[1] +
                               face.normal[2] * reference.normal[2];
    if (face.count < 3 || !(std::fabs(cos_between) >= cos_angle)) return false;
  }
  return true;
}

// Keeps in the node's list only the faces that still hold the node, each
// turned so that the node leads and the cyclic order stays.
std::span<int32_t> faces_around(CoarseMesh &mesh, int32_t node) {
  const std::span<int32_t> faces = mesh.faces_of(node);
  std::size_t kept = 0;
  for (int32_t face : faces) {
    if (!slot_of(mesh, face).present) continue;
    const std::span<int32_t> v = mesh.vertices_of(face);
    const auto lead = std::find(v.begin(), v.end(), node);
    if (lead == v.end()) continue;
    std::rotate(v.begin(), lead, v.end());
    faces[kept++] = face;
  }
  mesh.list_size[static_cast<std::size_t>(node)] = static_cast<int32_t>(kept);
  return faces.first(kept);
}

void reverse_after_lead(CoarseMesh &mesh, int32_t face) {
  const std::span<int32_t> v = mesh.vertices_of(face);
  if (v.size() > 1) std::reverse(v.begin() + 1, v.end());
}

// The face that continues the ring from its last vertex: one leaving from
// it, else one arriving at it, which is turned round.
int32_t continuing_face(CoarseMesh &mesh, std::span<const int32_t> faces, int32_t last) {
  for (int32_t face : faces)
    if (slot_of(mesh, face).present && slot_of(mesh, face).count >= 2 && mesh.vertices_of(face)[1] == last)
      return face;
  for (int32_t face : faces)
    if (slot_of(mesh, face).present && slot_of(mesh, face).count >= 2 && mesh.vertices_of(face).back() == last) {
      reverse_after_lead(mesh, face);
      return face;
    }
  return -1;
}

void take(CoarseMesh &mesh, int32_t face, MergeScratch &scratch) {
  slot_of(mesh, face).present = false;
  scratch.taken.push_back(face);
}

bool give_back(CoarseMesh &mesh, MergeScratch &scratch) {
  for (int32_t face : scratch.taken) slot_of(mesh, face).present = true;
  scratch.taken.clear();
  return false;
}

// One chaining attempt from the face at `start`: the polygon runs through
// the vertices after the node of every face, each face joining where the
// polygon ends. A failed attempt puts every face back.
bool chain_from(CoarseMesh &mesh, std::span<const int32_t> faces, std::size_t start, MergeScratch &scratch) {
  std::vector<int32_t> &polygon = scratch.polygon;
  polygon.clear();
  scratch.taken.clear();
  const std::span<int32_t> first = mesh.vertices_of(faces[start]);
  polygon.insert(polygon.end(), first.begin() + 1, first.end());
  take(mesh, faces[start], scratch);
  for (std::size_t joined = 1; joined < faces.size(); ++joined) {
    const int32_t next = polygon.empty() ? -1 : continuing_face(mesh, faces, polygon.back());
    if (next < 0) return give_back(mesh, scratch);
    const std::span<int32_t> v = mesh.vertices_of(next);
    polygon.insert(polygon.end(), v.begin() + 2, v.end());
    take(mesh, next, scratch);
  }
  if (polygon.empty()) return give_back(mesh, scratch);
  return true;
}

// Chains the faces into one ring from every start face as it stands, then
// from every start face but the first turned round (the turn stays). The
// position of the start face that succeeded, or -1.
std::ptrdiff_t chain_ring(CoarseMesh &mesh, std::span<const int32_t> faces, MergeScratch &scratch) {
  for (std::size_t start = 0; start < faces.size(); ++start)
    if (chain_from(mesh, faces, start, scratch)) return static_cast<std::ptrdiff_t>(start);
  for (std::size_t start = 0; start < faces.size(); ++start) {
    if (start > 0) reverse_after_lead(mesh, faces[start]);
    if (chain_from(mesh, faces, start, scratch)) return static_cast<std::ptrdiff_t>(start);
  }
  return -1;
}

// The nodes that may list one of the merged faces: the polygon's vertices,
// and the nodes cut out of a merged polygon before (they list it still).
// Returns how many of them were cut out before; those come last.
std::size_t gather_referrers(CoarseMesh &mesh, std::span<const int32_t> faces, MergeScratch &scratch) {
  scratch.referrers.assign(scratch.polygon.begin(), scratch.polygon.end());
  const std::size_t vertices = scratch.referrers.size();
  if (mesh.cut_out.empty()) return 0;
  for (int32_t face : faces) {
    const auto found = mesh.cut_out.find(face);
    if (found == mesh.cut_out.end()) continue;
    scratch.referrers.insert(scratch.referrers.end(), found->second.begin(), found->second.end());
    mesh.cut_out.erase(found);
  }
  return scratch.referrers.size() - vertices;
}

// Every later node that lists a face absorbed by the merge at `node` lists
// the polygon's slot instead, each face once. Earlier nodes are never
// visited again and keep their lists.
void redirect_references(CoarseMesh &mesh, int32_t node, int32_t home, const std::vector<int32_t> &referrers) {
  for (int32_t referrer : referrers) {
    if (referrer <= node || !mesh.has_node_record(referrer)) continue;
    const std::span<int32_t> list = mesh.faces_of(referrer);
    bool changed = false;
    for (int32_t &face : list)
      if (mesh.absorbed_by[static_cast<std::size_t>(face)] == node) {
        face = home;
        changed = true;
      }
    if (!changed) continue;
    std::sort(list.begin(), list.end());
    mesh.list_size[static_cast<std::size_t>(referrer)] =
        static_cast<int32_t>(std::unique(list.begin(), list.end()) - list.begin());
  }
}

// For each polygon position, the next position holding the same node (the
// polygon's size when there is none).
void link_repeats(MergeScratch &scratch) {
  const std::vector<int32_t> &polygon = scratch.polygon;
  scratch.occurrences.clear();
  for (std::size_t at = 0; at < polygon.size(); ++at) scratch.occurrences.emplace_back(polygon[at], at);
  std::sort(scratch.occurrences.begin(), scratch.occurrences.end());
  scratch.next_same.assign(polygon.size(), polygon.size());
  for (std::size_t k = 0; k + 1 < scratch.occurrences.size(); ++k)
    if (scratch.occurrences[k].first == scratch.occurrences[k + 1].first)
      scratch.next_same[scratch.occurrences[k].second] = scratch.occurrences[k + 1].second;
}

// Where the ring runs through one node twice, the shorter side of the
// pinch is marked for cutting: the loop between the two visits when it is
// short, or the stretch around the ring's ends when that is. Only entries
// of nodes still taking part may be cut. False when a side to be cut holds
// a node that must stay: cutting around it would leave it stranded in the
// outline, with a notch in the surface.
bool mark_pinches(const CoarseMesh &mesh, MergeScratch &scratch) {
  const std::vector<int32_t> &polygon = scratch.polygon;
  const std::size_t n = polygon.size();
  const std::size_t short_loop = n * 3 / 10;  // 30 percent of the ring, rounded down
  link_repeats(scratch);
  std::vector<uint8_t> &valid = scratch.valid;
  valid.assign(n, 1);
  bool blocked = false;
  auto cut = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
      if (mesh.has_node_record(polygon[k])) valid[k] = 0;
      else blocked = true;
    }
  };
  for (std::size_t p = 0; p < n; ++p) {
    if (!valid[p]) continue;
    for (std::size_t q = scratch.next_same[p]; q < n; q = scratch.next_same[q]) {
      if (q - p < short_loop) {
        cut(p + 1, q);
      } else if ((n - q) + p < short_loop) {
        cut(0, p);
        cut(q, n);
      }
    }
  }
  return !blocked;
}

// Removes the marked entries; the later nodes among them keep listing the
// polygon, so they are remembered in `cut_out`.
void cut_pinches(int32_t node, MergeScratch &scratch, std::vector<int32_t> &cut_out) {
  std::vector<int32_t> &polygon = scratch.polygon;
  std::size_t kept = 0;
  for (std::size_t k = 0; k < polygon.size(); ++k) {
    if (scratch.valid[k]) polygon[kept++] = polygon[k];
    else if (polygon[k] > node) cut_out.push_back(polygon[k]);
  }
  polygon.resize(kept);
}

// A vertex repeating the one before it, or a last vertex closing the
// polygon onto its first, adds no edge; a cut-off loop leaves its pinch
// node twice in a row.
void drop_repeated_vertices(std::vector<int32_t> &polygon) {
  polygon.erase(std::unique(polygon.begin(), polygon.end()), polygon.end());
  while (polygon.size() > 1 && polygon.back() == polygon.front()) polygon.pop_back();
}

// Remembers the later nodes cut out of the polygon in `home`: those cut out
// of the merged faces before and those cut out now.
void remember_cut_outs(CoarseMesh &mesh, int32_t node, int32_t home, std::span<const int32_t> carried,
                       std::vector<int32_t> &cut_out) {
  for (int32_t v : carried)
    if (v > node) cut_out.push_back(v);
  if (cut_out.empty()) return;
  std::sort(cut_out.begin(), cut_out.end());
  cut_out.erase(std::unique(cut_out.begin(), cut_out.end()), cut_out.end());
  mesh.cut_out[home] = std::move(cut_out);
}

// Merges the faces around the node into one polygon in the slot of its
// first face. A closed ring means the node was interior and leaves; on an
// open boundary the node closes the polygon and stays. A merge whose
// pinches cannot be cut is given up, leaving every face in place.
bool merge_faces(CoarseMesh &mesh, int32_t node, MergeScratch &scratch) {
  const std::span<int32_t> faces = faces_around(mesh, node);
  if (faces.empty()) return false;
  const std::ptrdiff_t start = chain_ring(mesh, faces, scratch);
  if (start < 0) return false;
  std::vector<int32_t> &polygon = scratch.polygon;
  uint8_t &record = mesh.has_record[static_cast<std::size_t>(node)];
  // The ring closes on its first vertex, which need not be written twice.
  const bool closed = polygon.size() >= 2 && polygon.front() == polygon.back();
  if (closed) {
    polygon.pop_back();
    record = 0;
  } else {
    polygon.push_back(node);
  }
  if (!mark_pinches(mesh, scratch)) {
    record = 1;
    return give_back(mesh, scratch);
  }

  const int32_t home = faces[0];
  const std::array<double, 3> normal = slot_of(mesh, faces[static_cast<std::size_t>(start)]).normal;
  for (int32_t face : faces.subspan(1)) {
    mesh.absorbed_by[static_cast<std::size_t>(face)] = node;
    release_face(mesh, face);
  }
  const std::size_t carried = gather_referrers(mesh, faces, scratch);
  redirect_references(mesh, node, home, scratch.referrers);
  std::vector<int32_t> cut_out;
  cut_pinches(node, scratch, cut_out);
  remember_cut_outs(mesh, node, home, std::span<const int32_t>(scratch.referrers).last(carried), cut_out);
  drop_repeated_vertices(polygon);
  store_polygon(mesh, home, polygon);
  FaceSlot &merged = slot_of(mesh, home);
  merged.present = true;
  merged.normal = normal;
  return true;
}

}  // namespace

bool remove_flat_node(CoarseMesh &mesh, int32_t node, double reach, double cos_angle, MergeScratch &scratch) {
  return mesh.has_node_record(node) && within_reach(mesh, node, reach) && nearly_flat(mesh, node, cos_angle) &&
         merge_faces(mesh, node, scratch);
}

}  // namespace zel
