// Reads a solver input deck (.inp): nodes, solid, shell and beam elements,
// node and element sets, materials with their densities and the sections
// of the elements, following
// *INCLUDE. Keywords it does not need are skipped with their data lines.
#ifndef ZEL_CCX_INP_READER_H
#define ZEL_CCX_INP_READER_H

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "elements.h"
#include "input_error.h"
#include "sections.h"

namespace ccx {

struct Element {
  int id;
  const ElementKind *kind;
  std::string type;
  size_t first_node;  // into Mesh::connectivity
  Where where;
};

struct Material {
  bool has_density = false;
  double density = 0.0;
  Where where;
};

struct SolidSection {
  std::string element_set;
  std::string material;
  Where where;
};

// Elements of a type the translator cannot take, counted per type.
struct UnsupportedElements {
  std::string type;
  int count = 0;
  Where first;
};

struct Mesh {
  std::string file;                    // the deck read_inp was given
  std::string title;
  std::vector<int> node_ids;           // in order of definition
  std::vector<double> coordinates;     // x, y, z per node
  std::unordered_map<int, size_t> node_index;
  std::vector<Element> elements;
  std::vector<int> connectivity;       // node IDs
  // Set and material names are upper case: the solver ignores case. A set
  // holds each ID once, in order of first mention.
  std::map<std::string, std::vector<int>> node_sets;
  std::map<std::string, std::vector<int>> element_sets;
  std::map<std::string, Material> materials;
  std::vector<SolidSection> sections;
  std::vector<ShellSection> shell_sections;
  std::vector<BeamSection> beam_sections;
  std::vector<UnsupportedElements> unsupported;
};

// InputError naming the file and line of the first fault.
Mesh read_inp(const std::string &path);

}  // namespace ccx

#endif  // ZEL_CCX_INP_READER_H
