// Reads the mesh a solver result file (.frd, ASCII) describes: its node
// coordinates and element table. Shells and beams appear there expanded
// into the solids the solver computed them with.
#ifndef ZEL_CCX_FRD_MESH_H
#define ZEL_CCX_FRD_MESH_H

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ccx {

struct FrdElement {
  int type = 0;            // the file's code: 1 8-node brick, 4 20-node brick, 2 and 5 wedges, ...
  std::vector<int> nodes;  // in the file's order
};

struct FrdMesh {
  std::unordered_map<int, std::array<double, 3>> coordinates;
  std::unordered_map<int, FrdElement> elements;
};

// InputError naming file and line on a malformed record or a node or
// element given twice.
FrdMesh parse_frd_mesh(std::string_view text, const std::string &name);

}  // namespace ccx

#endif  // ZEL_CCX_FRD_MESH_H
