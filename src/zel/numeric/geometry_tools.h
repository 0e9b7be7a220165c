// Node search and face tools over a database's nodes and face list.
#ifndef ZEL_GEOMETRY_TOOLS_H
#define ZEL_GEOMETRY_TOOLS_H

#include <cstdint>
#include <vector>

struct Database;

namespace zel {

// The node indices of the face corners and interface nodes, ascending and
// each once. Negative entries name no node and are left out.
std::vector<int32_t> collect_geometry_nodes(const Database &db);

// Calls visit(offset of the first vertex, vertex count) for each face of a
// face list, in order. A count that is negative or runs past the end of the
// list ends the walk: a damaged list is never read outside its bounds.
template <class Visit>
void for_each_face(const std::vector<int32_t> &face_list, Visit &&visit) {
  std::size_t at = 0;
  while (at < face_list.size()) {
    const int32_t n = face_list[at];
    if (n < 0 || static_cast<std::size_t>(n) > face_list.size() - at - 1) return;
    visit(at + 1, n);
    at += static_cast<std::size_t>(n) + 1;
  }
}

// A face list without its interior faces: a face given twice with opposite
// orientations (shared by two elements) goes, one given twice with the
// same orientation is kept once. Kept faces come in a canonical order, each
// rotated so that its largest node index leads. `face_count` is updated.
std::vector<int32_t> strip_common_faces(const std::vector<int32_t> &face_list, int32_t &face_count);

}  // namespace zel

#endif  // ZEL_GEOMETRY_TOOLS_H
