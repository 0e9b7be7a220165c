// Shells and beams: their kinds, the shape functions of their reference
// surface or axis, and their lumped masses and rotary inertias.
#ifndef ZEL_CCX_STRUCTURAL_H
#define ZEL_CCX_STRUCTURAL_H

#include <array>
#include <string_view>
#include <vector>

#include "elements.h"
#include "input_error.h"
#include "sections.h"

namespace ccx {

const ElementKind *find_structural_kind(std::string_view type);

// Values N[i] and derivatives dN[i][0..1] (beams: dN[i][0] only) of the
// element's shape functions at reference point (r, s); corner and mid-side
// nodes in the solver's order, beams' middle node second.
void shape_functions(const ElementKind &kind, double r, double s, double *N, double (*dN)[2]);

// The reference coordinates of the element's node k.
std::array<double, 2> node_reference_point(const ElementKind &kind, int k);

// Lumped masses of one element as for solids (row sums of the consistent
// mass matrix for linear elements, its diagonal scaled for quadratic ones)
// and rotary inertias (six per node: xx, yy, zz, xy, xz, yz, about the
// node) shared out in the same proportions. Gives the element's volume:
// area times thickness, or section area times length. InputError at
// `where` for a degenerate element.
double lump_shell_mass(const ElementKind &kind, const double *xyz, const ShellSection &section, double density,
                       double *masses, double *inertias, const Where &where, int element_id);
double lump_beam_mass(const ElementKind &kind, const double *xyz, const BeamSection &section, double density,
                      double *masses, double *inertias, const Where &where, int element_id);

// The faces that draw one element, appended as for the skin (vertex count,
// then node IDs): a shell's corners in order, a beam's axis as two-node
// segments.
int structural_faces(const ElementKind &kind, const int *nodes, std::vector<int> &faces);

}  // namespace ccx

#endif  // ZEL_CCX_STRUCTURAL_H
