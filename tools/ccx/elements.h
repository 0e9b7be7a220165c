// The element families the translator reads: for solids the node layout,
// faces and the quadrature that integrates their masses; shells and beams
// are told apart by their family and take their geometry elsewhere.
#ifndef ZEL_CCX_ELEMENTS_H
#define ZEL_CCX_ELEMENTS_H

#include <string_view>
#include <vector>

namespace ccx {

enum class Shape { Tetrahedron, Wedge, Hexahedron };

// One face of an element: its nodes as positions in the element's node list,
// corners and mid-side nodes in turn along the boundary, numbered so that
// the face's normal points out of the element.
struct ElementFace {
  int corner_count;
  int node_count;
  int nodes[8];
};

// Shape function values N[q][i] and their derivatives dN[q][i][d] with
// respect to the reference coordinates at the points q of a quadrature
// rule with weights w[q].
struct Quadrature {
  std::vector<double> weight;
  std::vector<double> value;       // point-major, node_count per point
  std::vector<double> derivative;  // point-major, 3 per node
};

enum class Family { Solid, Shell, Beam };

struct ElementKind {
  Shape shape;  // for shells and beams, of the solid the solver expands them into
  int node_count;
  int corner_count;
  bool quadratic;
  std::vector<ElementFace> faces;
  Quadrature quadrature;
  Family family = Family::Solid;
  // Shells and beams: for each node of the expanded solid, in the result
  // file's order, the position of the element node it stands for.
  std::vector<int> expansion;
};

// The kind of an element type name as written after TYPE= (upper case): a
// solid (C3D4, C3D10, C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20, C3D20R), a
// shell (S3, S4, S4R, S6, S8, S8R) or a beam (B31, B31R, B32, B32R); else
// null.
const ElementKind *find_element_kind(std::string_view type);

// The names find_element_kind accepts, for messages.
extern const char kSupportedElementTypes[];

}  // namespace ccx

#endif  // ZEL_CCX_ELEMENTS_H
