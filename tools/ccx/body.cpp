#include "body.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "structural.h"

namespace ccx {
namespace {

constexpr int kMaxElementNodes = 20;
// The Jacobian of an element whose nodes lie in one plane is zero only in
// exact arithmetic: rounded, it comes out a few units of the last place of
// the product of its columns' lengths, of either sign. Below this fraction
// of that product the element counts as flat.
constexpr double kFlatness = 1e-12;

struct FaceKey {
  std::array<int, 4> corners;
  bool operator==(const FaceKey &other) const { return corners == other.corners; }
};

struct FaceKeyHash {
  size_t operator()(const FaceKey &key) const {
    size_t hash = 1469598103934665603ull;
    for (int id : key.corners) hash = (hash ^ static_cast<uint32_t>(id)) * 1099511628211ull;
    return hash;
  }
};

// Two elements share a face when they share its corners, whatever their
// order or the element kinds.
FaceKey face_key(const Mesh &mesh, const Element &element, const ElementFace &face) {
  FaceKey key{{-1, -1, -1, -1}};
  // Corners and mid-side nodes alternate along a quadratic face.
  const int stride = face.node_count / face.corner_count;
  for (int k = 0; k < face.corner_count; ++k) key.corners[k] = mesh.connectivity[element.first_node + face.nodes[k * stride]];
  // Insertion sort: at most four corners.
  for (int k = 1; k < face.corner_count; ++k)
    for (int j = k; j > 0 && key.corners[j - 1] > key.corners[j]; --j) std::swap(key.corners[j - 1], key.corners[j]);
  return key;
}

std::string element_name(const Element &element) {
  return "element " + std::to_string(element.id) + " (" + element.type + ")";
}

std::string count_of(const UnsupportedElements &entry) {
  return std::to_string(entry.count) + (entry.count == 1 ? " element" : " elements");
}

void check_supported(const Mesh &mesh) {
  if (mesh.unsupported.empty()) return;
  const UnsupportedElements &first = mesh.unsupported.front();
  std::string message = "unsupported element type " + first.type + " (" + count_of(first) + ")";
  for (size_t k = 1; k < mesh.unsupported.size(); ++k)
    message += (k == 1 ? "; also " : ", ") + mesh.unsupported[k].type + " (" + count_of(mesh.unsupported[k]) + ")";
  fail(first.first, message + "; the translator reads " + kSupportedElementTypes);
}

double section_density(const Mesh &mesh, const std::string &name, const Where &where) {
  const auto material = mesh.materials.find(name);
  if (material == mesh.materials.end()) fail(where, "material " + name + " is not defined");
  if (!material->second.has_density)
    fail(material->second.where, "material " + name + " has no *DENSITY, so its mass is unknown");
  if (!(material->second.density > 0.0))
    fail(material->second.where, "material " + name + " has a density that is not positive");
  return material->second.density;
}

// What an element's section gives it; a later section of the same element
// replaces an earlier one, as the solver takes them.
struct ElementSection {
  Family family = Family::Solid;
  double density = 0.0;
  const ShellSection *shell = nullptr;
  const BeamSection *beam = nullptr;
};

template <class Section>
void assign_section(const Mesh &mesh, const Section &section, ElementSection assigned,
                    std::unordered_map<int, ElementSection> &sections) {
  const auto set = mesh.element_sets.find(section.element_set);
  if (set == mesh.element_sets.end()) fail(section.where, "element set " + section.element_set + " is not defined");
  assigned.density = section_density(mesh, section.material, section.where);
  for (int id : set->second) sections[id] = assigned;
}

std::unordered_map<int, ElementSection> element_sections(const Mesh &mesh) {
  std::unordered_map<int, ElementSection> sections;
  for (const SolidSection &section : mesh.sections) assign_section(mesh, section, {}, sections);
  for (const ShellSection &section : mesh.shell_sections) {
    if (!section.has_thickness) fail(section.where, "*SHELL SECTION without its thickness");
    assign_section(mesh, section, {Family::Shell, 0.0, &section, nullptr}, sections);
  }
  for (const BeamSection &section : mesh.beam_sections) {
    check_beam_section(section);
    assign_section(mesh, section, {Family::Beam, 0.0, nullptr, &section}, sections);
  }
  return sections;
}

const char *section_keyword(Family family) {
  switch (family) {
    case Family::Shell:
      return "*SHELL SECTION";
    case Family::Beam:
      return "*BEAM SECTION";
    case Family::Solid:
      break;
  }
  return "*SOLID SECTION";
}

double lump_mass(const Element &element, const ElementSection &section, const double *xyz, double *masses,
                 double *inertias) {
  const ElementKind &kind = *element.kind;
  switch (kind.family) {
    case Family::Shell:
      return lump_shell_mass(kind, xyz, *section.shell, section.density, masses, inertias, element.where, element.id);
    case Family::Beam:
      return lump_beam_mass(kind, xyz, *section.beam, section.density, masses, inertias, element.where, element.id);
    case Family::Solid:
      break;
  }
  std::fill_n(inertias, 6 * kind.node_count, 0.0);
  return lump_element_mass(kind, xyz, section.density, masses, element.where, element.id);
}

}  // namespace

double lump_element_mass(const ElementKind &kind, const double *xyz, double density, double *masses,
                         const Where &where, int element_id) {
  const int n = kind.node_count;
  const Quadrature &rule = kind.quadrature;
  double volume = 0.0, diagonal[kMaxElementNodes] = {};
  std::fill(masses, masses + n, 0.0);
  for (size_t q = 0; q < rule.weight.size(); ++q) {
    // J[a][b] = d x_a / d xi_b
    double J[3][3] = {};
    const double *dN = rule.derivative.data() + q * n * 3;
    for (int i = 0; i < n; ++i)
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) J[a][b] += xyz[3 * i + a] * dN[3 * i + b];
    const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                       J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                       J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
    double column_lengths = 1.0;
    for (int b = 0; b < 3; ++b) column_lengths *= std::sqrt(J[0][b] * J[0][b] + J[1][b] * J[1][b] + J[2][b] * J[2][b]);
    if (!(det > kFlatness * column_lengths))
      fail(where, "element " + std::to_string(element_id) + " is inverted or flat");
    const double dv = rule.weight[q] * det;
    volume += dv;
    const double *N = rule.value.data() + q * n;
    for (int i = 0; i < n; ++i) {
      masses[i] += N[i] * dv;
      diagonal[i] += N[i] * N[i] * dv;
    }
  }
  if (kind.quadratic) {
    double trace = 0.0;
    for (int i = 0; i < n; ++i) trace += diagonal[i];
    for (int i = 0; i < n; ++i) masses[i] = diagonal[i] * (volume / trace);
  }
  for (int i = 0; i < n; ++i) masses[i] *= density;
  return volume;
}

std::vector<int> skin_faces(const Mesh &mesh, int &face_count) {
  std::unordered_map<FaceKey, int, FaceKeyHash> uses;
  uses.reserve(mesh.elements.size() * 4);
  for (const Element &element : mesh.elements)
    for (const ElementFace &face : element.kind->faces) ++uses[face_key(mesh, element, face)];
  std::vector<int> faces;
  face_count = 0;
  for (const Element &element : mesh.elements)
    for (const ElementFace &face : element.kind->faces) {
      if (uses[face_key(mesh, element, face)] != 1) continue;
      faces.push_back(face.node_count);
      for (int k = 0; k < face.node_count; ++k) faces.push_back(mesh.connectivity[element.first_node + face.nodes[k]]);
      ++face_count;
    }
  return faces;
}

Body build_body(const Mesh &mesh) {
  check_supported(mesh);
  if (mesh.elements.empty()) fail_in(mesh.file, "no solid, shell or beam elements");
  const std::unordered_map<int, ElementSection> sections = element_sections(mesh);

  Body body;
  for (const Element &element : mesh.elements)
    for (int k = 0; k < element.kind->node_count; ++k) {
      const int id = mesh.connectivity[element.first_node + k];
      if (mesh.node_index.count(id) == 0)
        fail(element.where, element_name(element) + " refers to node " + std::to_string(id) + ", which is not defined");
      body.node_ids.push_back(id);
    }
  std::sort(body.node_ids.begin(), body.node_ids.end());
  body.node_ids.erase(std::unique(body.node_ids.begin(), body.node_ids.end()), body.node_ids.end());
  std::unordered_map<int, size_t> position;
  position.reserve(body.node_ids.size());
  body.coordinates.resize(3 * body.node_ids.size());
  for (size_t p = 0; p < body.node_ids.size(); ++p) {
    position[body.node_ids[p]] = p;
    const size_t source = mesh.node_index.at(body.node_ids[p]);
    std::copy_n(mesh.coordinates.begin() + 3 * source, 3, body.coordinates.begin() + 3 * p);
  }

  body.masses.assign(body.node_ids.size(), 0.0);
  body.inertias.assign(6 * body.node_ids.size(), 0.0);
  double xyz[3 * kMaxElementNodes], masses[kMaxElementNodes], inertias[6 * kMaxElementNodes];
  size_t places[kMaxElementNodes];
  for (const Element &element : mesh.elements) {
    const auto section = sections.find(element.id);
    if (section == sections.end() || section->second.family != element.kind->family)
      fail(element.where, element_name(element) + " is in no " + section_keyword(element.kind->family));
    for (int k = 0; k < element.kind->node_count; ++k) {
      places[k] = position.at(mesh.connectivity[element.first_node + k]);
      std::copy_n(body.coordinates.begin() + 3 * places[k], 3, xyz + 3 * k);
    }
    const double volume = lump_mass(element, section->second, xyz, masses, inertias);
    // Finite inputs can still overflow (an offset of 1e200 thicknesses
    // squared): such a body would be written with infinite masses.
    if (!std::all_of(masses, masses + element.kind->node_count, [](double m) { return std::isfinite(m); }) ||
        !std::all_of(inertias, inertias + 6 * element.kind->node_count, [](double j) { return std::isfinite(j); }))
      fail(element.where, element_name(element) +
                              "'s mass or rotary inertia overflows (its size, section, offset or density is too large)");
    body.volume += volume;
    body.mass += section->second.density * volume;
    for (int k = 0; k < element.kind->node_count; ++k) {
      body.masses[places[k]] += masses[k];
      for (int c = 0; c < 6; ++c) body.inertias[6 * places[k] + c] += inertias[6 * k + c];
    }
  }
  body.faces = skin_faces(mesh, body.face_count);
  for (const Element &element : mesh.elements)
    if (element.kind->family != Family::Solid)
      body.face_count += structural_faces(*element.kind, &mesh.connectivity[element.first_node], body.faces);
  return body;
}

}  // namespace ccx
