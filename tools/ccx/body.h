// The body the mesh describes: its nodes, their lumped masses (and rotary
// inertias, for shells and beams) and the faces that a viewer draws.
#ifndef ZEL_CCX_BODY_H
#define ZEL_CCX_BODY_H

#include <string>
#include <vector>

#include "inp_reader.h"

namespace ccx {

struct Body {
  std::vector<int> node_ids;       // nodes of the elements, ascending
  std::vector<double> coordinates; // x, y, z per node
  std::vector<double> masses;      // lumped, per node
  std::vector<double> inertias;    // about each node: xx, yy, zz, xy, xz, yz
  std::vector<int> faces;          // per face: vertex count, then node IDs
  int face_count = 0;
  double volume = 0.0;
  double mass = 0.0;               // sum of density times element volume
};

// Lumped nodal masses of one element from its node coordinates (x, y, z per
// node): the rows of the consistent mass matrix summed for linear elements;
// its diagonal scaled to the element's mass (HRZ) for quadratic ones, whose
// row sums are negative at the corners. Gives the element's volume;
// InputError (at `where`) when the element is inverted or flat.
double lump_element_mass(const ElementKind &kind, const double *xyz, double density, double *masses,
                         const Where &where, int element_id);

// The faces that belong to one element only, outward, corners and mid-side
// nodes along the boundary.
std::vector<int> skin_faces(const Mesh &mesh, int &face_count);

// InputError for unsupported elements, elements without a section of their
// family or a density, undefined nodes, sets and materials.
Body build_body(const Mesh &mesh);

}  // namespace ccx

#endif  // ZEL_CCX_BODY_H
