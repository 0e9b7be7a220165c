// The motions of shell and beam nodes, which the solver reports only on the
// solids it expands them into: each node's translation and rotation are
// fitted to the expanded nodes around it as a rigid motion of its fibre
// (shells) or cross-section (beams). A shell's fibre does not see the
// rotation about the normal; that one is half the curl of the mid-surface
// translations, averaged over the node's elements.
#ifndef ZEL_CCX_EXPANSION_H
#define ZEL_CCX_EXPANSION_H

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "frd_mesh.h"
#include "frd_reader.h"
#include "inp_reader.h"

namespace ccx {

using Motion = std::array<double, 6>;  // x, y, z, rotations about x, y, z

class Expansion {
 public:
  // InputError (naming `frd`) when an element has no expanded counterpart
  // of the expected size, or its expanded nodes fix no rotation.
  Expansion(const Mesh &mesh, const FrdMesh &results, const std::string &frd);

  bool empty() const { return nodes_.empty(); }

  // The motions of the shell and beam nodes in one mode; InputError when
  // an expanded node has no displacement.
  std::unordered_map<int, Motion> motions(const ModeResults &mode) const;

  // The values of a stress or strain block at the top surface (the
  // expanded node furthest along the normal) of each shell node.
  std::unordered_map<int, std::array<double, 6>> top_surface(const NodalValues &values) const;

 private:
  struct FittedNode {
    int id;
    std::vector<int> expanded;              // IDs in the result file
    std::vector<std::array<double, 3>> offsets;
    std::vector<std::array<double, 3>> rotation_basis;
    std::vector<double> fit;                // (3 + basis) x (3 x expanded), row-major
    std::array<double, 3> normal = {0.0, 0.0, 0.0};  // shells: mean unit normal
    int top = -1;                           // shells: the expanded node on the top surface
  };
  // The half curl of one shell element's mid-surface translations at one
  // of its nodes: weights per element node.
  struct CurlStencil {
    size_t node;                            // into nodes_
    std::array<double, 3> normal;
    std::vector<std::pair<size_t, std::array<double, 3>>> weights;
  };

  void collect(const Mesh &mesh, const FrdMesh &results, const std::string &frd);
  void add_curls(const Mesh &mesh, const Element &element, const size_t *place);
  void build_fits(const std::string &frd);

  std::vector<FittedNode> nodes_;
  std::unordered_map<int, size_t> index_;   // original node ID -> nodes_
  std::vector<char> shell_only_;
  std::vector<CurlStencil> curls_;
  std::string frd_;
};

}  // namespace ccx

#endif  // ZEL_CCX_EXPANSION_H
