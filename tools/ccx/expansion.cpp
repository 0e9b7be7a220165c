#include "expansion.h"

#include <algorithm>
#include <cmath>

#include "structural.h"

namespace ccx {
namespace {

using Vector = std::array<double, 3>;

// A pivot below this fraction of its column's own weight leaves a motion
// the expanded nodes do not fix.
constexpr double kUnfixed = 1e-10;
// The solver expands a node into at most 8 nodes per element around it (it
// shares them where it can); more than this many elements meet at no node
// of a sound mesh, and a file that says otherwise is not held in memory.
constexpr size_t kMaxExpandedNodes = 8 * 64;

Vector cross(const Vector &a, const Vector &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vector &a, const Vector &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vector scaled(const Vector &a, double factor) { return {a[0] * factor, a[1] * factor, a[2] * factor}; }
Vector unit(const Vector &a) { return scaled(a, 1.0 / std::sqrt(dot(a, a))); }

std::string element_name(const Element &element) {
  return "element " + std::to_string(element.id) + " (" + element.type + ")";
}

// Two unit vectors that complete n to a right-handed frame.
std::array<Vector, 2> tangents(const Vector &n) {
  const Vector helper = std::fabs(n[0]) < 0.9 ? Vector{1.0, 0.0, 0.0} : Vector{0.0, 1.0, 0.0};
  const Vector first = unit(cross(helper, n));
  return {first, cross(n, first)};
}

std::unordered_map<int, size_t> rows_of(const NodalValues &values) {
  std::unordered_map<int, size_t> rows;
  rows.reserve(values.node_ids.size());
  for (size_t r = 0; r < values.node_ids.size(); ++r) rows.emplace(values.node_ids[r], r);
  return rows;
}

// Solves (A^T A) X = A^T for X, A being `rows` x `columns` row-major;
// false when a column is not fixed.
bool least_squares_operator(const std::vector<double> &a, size_t rows, size_t columns, std::vector<double> &x) {
  std::vector<double> normal(columns * columns, 0.0);
  for (size_t i = 0; i < columns; ++i)
    for (size_t j = 0; j < columns; ++j)
      for (size_t r = 0; r < rows; ++r) normal[i * columns + j] += a[r * columns + i] * a[r * columns + j];
  x.assign(columns * rows, 0.0);
  for (size_t i = 0; i < columns; ++i)
    for (size_t r = 0; r < rows; ++r) x[i * rows + r] = a[r * columns + i];
  // Gauss-Jordan on [normal | A^T] with partial pivoting.
  std::vector<double> weight(columns);
  for (size_t i = 0; i < columns; ++i) weight[i] = normal[i * columns + i];
  for (size_t col = 0; col < columns; ++col) {
    size_t pivot = col;
    for (size_t r = col + 1; r < columns; ++r)
      if (std::fabs(normal[r * columns + col]) > std::fabs(normal[pivot * columns + col])) pivot = r;
    if (!(std::fabs(normal[pivot * columns + col]) > kUnfixed * weight[col])) return false;
    for (size_t k = 0; k < columns; ++k) std::swap(normal[col * columns + k], normal[pivot * columns + k]);
    for (size_t k = 0; k < rows; ++k) std::swap(x[col * rows + k], x[pivot * rows + k]);
    const double scale = 1.0 / normal[col * columns + col];
    for (size_t k = 0; k < columns; ++k) normal[col * columns + k] *= scale;
    for (size_t k = 0; k < rows; ++k) x[col * rows + k] *= scale;
    for (size_t r = 0; r < columns; ++r) {
      const double factor = normal[r * columns + col];
      if (r == col || factor == 0.0) continue;
      for (size_t k = 0; k < columns; ++k) normal[r * columns + k] -= factor * normal[col * columns + k];
      for (size_t k = 0; k < rows; ++k) x[r * rows + k] -= factor * x[col * rows + k];
    }
  }
  return true;
}

}  // namespace

Expansion::Expansion(const Mesh &mesh, const FrdMesh &results, const std::string &frd) : frd_(frd) {
  collect(mesh, results, frd);
  build_fits(frd);
}

void Expansion::collect(const Mesh &mesh, const FrdMesh &results, const std::string &frd) {
  for (const Element &element : mesh.elements) {
    const ElementKind &kind = *element.kind;
    if (kind.family == Family::Solid) continue;
    const auto expanded = results.elements.find(element.id);
    if (expanded == results.elements.end() || expanded->second.nodes.size() != kind.expansion.size())
      fail_in(frd, element_name(element) +
                       " is not expanded in the results; the translator takes the motions of shells and beams "
                       "from the expanded nodes (*NODE FILE, OUTPUT=3D)");
    const int *nodes = &mesh.connectivity[element.first_node];
    size_t place[8];
    for (int k = 0; k < kind.node_count; ++k) {
      const auto [entry, added] = index_.try_emplace(nodes[k], nodes_.size());
      if (added) {
        nodes_.push_back(FittedNode{nodes[k], {}, {}, {}, {}, {}, -1});
        shell_only_.push_back(1);
      }
      place[k] = entry->second;
      if (kind.family == Family::Beam) shell_only_[place[k]] = 0;
    }
    for (size_t j = 0; j < kind.expansion.size(); ++j) {
      const int id = expanded->second.nodes[j], k = kind.expansion[j];
      FittedNode &node = nodes_[place[k]];
      if (std::find(node.expanded.begin(), node.expanded.end(), id) != node.expanded.end()) continue;
      const auto xyz = results.coordinates.find(id);
      if (xyz == results.coordinates.end())
        fail_in(frd, "node " + std::to_string(id) + " of the expanded " + element_name(element) +
                         " has no coordinates");
      if (node.expanded.size() == kMaxExpandedNodes)
        fail_in(frd, "node " + std::to_string(node.id) + " is expanded into more than " +
                         std::to_string(kMaxExpandedNodes) + " nodes");
      const double *origin = &mesh.coordinates[3 * mesh.node_index.at(nodes[k])];
      node.expanded.push_back(id);
      node.offsets.push_back({xyz->second[0] - origin[0], xyz->second[1] - origin[1], xyz->second[2] - origin[2]});
    }
    if (kind.family == Family::Shell) add_curls(mesh, element, place);
  }
}

void Expansion::add_curls(const Mesh &mesh, const Element &element, const size_t *place) {
  const ElementKind &kind = *element.kind;
  const int n = kind.node_count;
  double N[8], dN[8][2];
  for (int k = 0; k < n; ++k) {
    const std::array<double, 2> point = node_reference_point(kind, k);
    shape_functions(kind, point[0], point[1], N, dN);
    Vector a = {0.0, 0.0, 0.0}, b = {0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i) {
      const double *x = &mesh.coordinates[3 * mesh.node_index.at(mesh.connectivity[element.first_node + i])];
      for (int d = 0; d < 3; ++d) {
        a[d] += dN[i][0] * x[d];
        b[d] += dN[i][1] * x[d];
      }
    }
    // A corner where the element collapses has no tangent plane.
    const double aa = dot(a, a), ab = dot(a, b), bb = dot(b, b), det = aa * bb - ab * ab;
    if (!(det > kUnfixed * aa * bb)) continue;
    const Vector normal = unit(cross(a, b));
    FittedNode &node = nodes_[place[k]];
    for (int d = 0; d < 3; ++d) node.normal[d] += normal[d];
    // The surface gradient of N_i is J (J^T J)^-1 dN_i with J = [a b];
    // half the normal component of the curl weighs u_i by (n x grad N_i) / 2.
    CurlStencil stencil{place[k], normal, {}};
    for (int i = 0; i < n; ++i) {
      const double p = (bb * dN[i][0] - ab * dN[i][1]) / det, q = (aa * dN[i][1] - ab * dN[i][0]) / det;
      const Vector gradient = {p * a[0] + q * b[0], p * a[1] + q * b[1], p * a[2] + q * b[2]};
      stencil.weights.push_back({place[i], scaled(cross(normal, gradient), 0.5)});
    }
    curls_.push_back(std::move(stencil));
  }
}

void Expansion::build_fits(const std::string &frd) {
  for (size_t p = 0; p < nodes_.size(); ++p) {
    FittedNode &node = nodes_[p];
    if (shell_only_[p]) {
      if (!(dot(node.normal, node.normal) > 0.0))
        fail_in(frd, "node " + std::to_string(node.id) + " has no normal: its shells collapse or fold there");
      node.normal = unit(node.normal);
      const std::array<Vector, 2> plane = tangents(node.normal);
      node.rotation_basis = {plane[0], plane[1]};
      double highest = -INFINITY;
      for (size_t k = 0; k < node.offsets.size(); ++k)
        if (dot(node.offsets[k], node.normal) > highest) {
          highest = dot(node.offsets[k], node.normal);
          node.top = static_cast<int>(k);
        }
    } else {
      node.rotation_basis = {Vector{1.0, 0.0, 0.0}, Vector{0.0, 1.0, 0.0}, Vector{0.0, 0.0, 1.0}};
    }
    // Rows: the three displacement components of each expanded node;
    // columns: the translation, then the rotation about each basis vector.
    const size_t columns = 3 + node.rotation_basis.size(), rows = 3 * node.expanded.size();
    std::vector<double> a(rows * columns, 0.0);
    for (size_t k = 0; k < node.expanded.size(); ++k)
      for (int c = 0; c < 3; ++c) {
        double *row = &a[(3 * k + c) * columns];
        row[c] = 1.0;
        for (size_t r = 0; r < node.rotation_basis.size(); ++r)
          row[3 + r] = cross(node.rotation_basis[r], node.offsets[k])[c];
      }
    if (!least_squares_operator(a, rows, columns, node.fit))
      fail_in(frd, "the expanded nodes of node " + std::to_string(node.id) + " do not fix its motion");
  }
}

std::unordered_map<int, Motion> Expansion::motions(const ModeResults &mode) const {
  const NodalValues &values = mode.displacement;
  const std::unordered_map<int, size_t> rows = rows_of(values);
  std::vector<Motion> fitted(nodes_.size());
  std::vector<double> u;
  for (size_t p = 0; p < nodes_.size(); ++p) {
    const FittedNode &node = nodes_[p];
    u.clear();
    for (int id : node.expanded) {
      const auto row = rows.find(id);
      if (row == rows.end())
        fail({frd_, mode.line}, "mode " + std::to_string(mode.number) + " has no displacement of node " +
                                    std::to_string(id) + ", expanded from node " + std::to_string(node.id));
      u.insert(u.end(), values.values.begin() + 3 * row->second, values.values.begin() + 3 * row->second + 3);
    }
    const size_t columns = 3 + node.rotation_basis.size();
    double x[6] = {};
    for (size_t i = 0; i < columns; ++i)
      for (size_t r = 0; r < u.size(); ++r) x[i] += node.fit[i * u.size() + r] * u[r];
    Motion &motion = fitted[p];
    motion = {x[0], x[1], x[2], 0.0, 0.0, 0.0};
    for (size_t r = 0; r < node.rotation_basis.size(); ++r)
      for (int d = 0; d < 3; ++d) motion[3 + d] += x[3 + r] * node.rotation_basis[r][d];
  }
  // Rotations about the normals of shell nodes.
  std::vector<Vector> drilling(nodes_.size(), Vector{0.0, 0.0, 0.0});
  std::vector<int> count(nodes_.size(), 0);
  for (const CurlStencil &stencil : curls_) {
    double half_curl = 0.0;
    for (const auto &[place, weight] : stencil.weights)
      half_curl += dot(weight, {fitted[place][0], fitted[place][1], fitted[place][2]});
    for (int d = 0; d < 3; ++d) drilling[stencil.node][d] += half_curl * stencil.normal[d];
    ++count[stencil.node];
  }
  std::unordered_map<int, Motion> motions;
  motions.reserve(nodes_.size());
  for (size_t p = 0; p < nodes_.size(); ++p) {
    Motion motion = fitted[p];
    if (shell_only_[p]) {
      const double about_normal = dot(drilling[p], nodes_[p].normal) / count[p];
      for (int d = 0; d < 3; ++d) motion[3 + d] += about_normal * nodes_[p].normal[d];
    }
    motions.emplace(nodes_[p].id, motion);
  }
  return motions;
}

std::unordered_map<int, std::array<double, 6>> Expansion::top_surface(const NodalValues &values) const {
  const std::unordered_map<int, size_t> rows = rows_of(values);
  std::unordered_map<int, std::array<double, 6>> top;
  for (const FittedNode &node : nodes_) {
    if (node.top < 0) continue;
    const auto row = rows.find(node.expanded[node.top]);
    if (row == rows.end()) continue;
    std::array<double, 6> &record = top[node.id];
    std::copy_n(values.values.begin() + 6 * row->second, 6, record.begin());
  }
  return top;
}

}  // namespace ccx
