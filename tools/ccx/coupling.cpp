#include "coupling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace ccx {
namespace {

// The solver reads at most four terms on an equation's data line.
constexpr int kTermsPerLine = 4;
// Below this fraction of the square of the set's size the moment of the
// set about some axis through its centroid vanishes: the nodes lie on a
// line and leave a rotation of a distributing coupling undetermined.
constexpr double kCollinear = 1e-10;
// Coefficients this small against an equation's largest are round-off.
constexpr double kRoundOff = 1e-12;

struct Term {
  int node;
  int direction;
  double coefficient;
};

// The solver reads numbers of at most 20 characters: 13 digits fit.
std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.12e", value);
  return text;
}

std::string node_line(int id, const std::array<double, 3> &at) {
  return std::to_string(id) + ", " + number(at[0]) + ", " + number(at[1]) + ", " + number(at[2]) + "\n";
}

// One homogeneous equation; the first term is the one the solver
// eliminates. Terms of round-off size against the largest are dropped.
std::string equation(std::vector<Term> terms) {
  double largest = 0.0;
  for (const Term &term : terms) largest = std::max(largest, std::fabs(term.coefficient));
  terms.erase(std::remove_if(terms.begin() + 1, terms.end(),
                             [&](const Term &term) { return std::fabs(term.coefficient) <= kRoundOff * largest; }),
              terms.end());
  std::string text = "*EQUATION\n" + std::to_string(terms.size()) + "\n";
  for (size_t k = 0; k < terms.size(); ++k) {
    text += std::to_string(terms[k].node) + ", " + std::to_string(terms[k].direction) + ", " +
            number(terms[k].coefficient);
    text += (k + 1) % kTermsPerLine == 0 || k + 1 == terms.size() ? "\n" : ", ";
  }
  return text;
}

using Matrix3 = std::array<std::array<double, 3>, 3>;

// The nodes' places relative to the centroid, and the set's moment
// J = sum (|r_i|^2 I - r_i r_i^T) about it, all nodes weighing the same.
Matrix3 moment_of(const Mesh &mesh, const AttachmentPoint &point, std::vector<std::array<double, 3>> &offsets) {
  Matrix3 J{};
  offsets.clear();
  for (int id : point.nodes) {
    const double *xyz = mesh.coordinates.data() + 3 * mesh.node_index.at(id);
    const std::array<double, 3> d = {xyz[0] - point.centroid[0], xyz[1] - point.centroid[1], xyz[2] - point.centroid[2]};
    offsets.push_back(d);
    const double square = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) J[a][b] += (a == b ? square : 0.0) - d[a] * d[b];
  }
  return J;
}

// The reference node takes the mean translation of the set, and the
// rotation that fits the set's motion best in the least-squares sense:
// J theta = sum r_i x u_i. Six equations over the set's degrees of freedom
// (columns 3i + d) and the reference and rotation nodes' (the last six).
std::vector<std::vector<double>> distributing_rows(const Mesh &mesh, const AttachmentPoint &point) {
  std::vector<std::array<double, 3>> r;
  const Matrix3 J = moment_of(mesh, point, r);
  const size_t n = point.nodes.size(), own = 3 * n;
  std::vector<std::vector<double>> rows(6, std::vector<double>(own + 6, 0.0));
  for (int k = 0; k < 3; ++k) {
    for (size_t i = 0; i < n; ++i) rows[k][3 * i + k] = 1.0;
    rows[k][own + k] = -static_cast<double>(n);
  }
  // (r x u)_k = r_{k+1} u_{k+2} - r_{k+2} u_{k+1}, indices cyclic.
  for (int k = 0; k < 3; ++k) {
    const int next = (k + 1) % 3, after = (k + 2) % 3;
    std::vector<double> &row = rows[3 + k];
    for (size_t i = 0; i < n; ++i) {
      row[3 * i + after] += r[i][next];
      row[3 * i + next] -= r[i][after];
    }
    for (int l = 0; l < 3; ++l) row[own + 3 + l] = -J[k][l];
  }
  return rows;
}

// The solver eliminates the first term of each equation, and substitutes
// it into the others where it appears there too, which can leave a later
// equation with nothing to eliminate. Gauss-Jordan elimination over the
// set's degrees of freedom gives an equivalent system in which each
// eliminated degree of freedom appears in its own equation only.
std::string distributing_equations(const Mesh &mesh, const AttachmentPoint &point) {
  std::vector<std::vector<double>> rows = distributing_rows(mesh, point);
  const size_t own = 3 * point.nodes.size(), columns = own + 6;
  std::vector<size_t> pivots;
  std::vector<char> used(own, 0);
  for (size_t k = 0; k < rows.size(); ++k) {
    size_t best_row = k, best_column = own;
    for (size_t row = k; row < rows.size(); ++row)
      for (size_t c = 0; c < own; ++c)
        if (!used[c] && (best_column == own || std::fabs(rows[row][c]) > std::fabs(rows[best_row][best_column]))) {
          best_row = row;
          best_column = c;
        }
    std::swap(rows[k], rows[best_row]);
    const double pivot = rows[k][best_column];
    if (pivot == 0.0) throw InputError("node set " + point.set + " gives a distributing coupling no rotation");
    for (double &value : rows[k]) value /= pivot;
    for (size_t row = 0; row < rows.size(); ++row) {
      if (row == k || rows[row][best_column] == 0.0) continue;
      const double factor = rows[row][best_column];
      for (size_t c = 0; c < columns; ++c) rows[row][c] -= factor * rows[k][c];
      rows[row][best_column] = 0.0;
    }
    used[best_column] = 1;
    pivots.push_back(best_column);
  }
  auto term_of = [&](size_t column, double coefficient) {
    if (column < own) return Term{point.nodes[column / 3], static_cast<int>(column % 3) + 1, coefficient};
    const size_t extra = column - own;
    return Term{extra < 3 ? point.reference : point.rotation, static_cast<int>(extra % 3) + 1, coefficient};
  };
  std::string text;
  for (size_t k = 0; k < rows.size(); ++k) {
    std::vector<Term> terms = {term_of(pivots[k], 1.0)};
    for (size_t c = 0; c < columns; ++c)
      if (c != pivots[k] && rows[k][c] != 0.0) terms.push_back(term_of(c, rows[k][c]));
    text += equation(terms);
  }
  return text;
}

// The set's moment is positive semi-definite, and singular exactly when
// the nodes lie on one line: its determinant against the cube of its trace.
double flatness(const Mesh &mesh, const AttachmentPoint &point) {
  std::vector<std::array<double, 3>> r;
  const Matrix3 J = moment_of(mesh, point, r);
  const double trace = J[0][0] + J[1][1] + J[2][2];
  if (trace == 0.0) return 0.0;
  const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) - J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                     J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
  return det / (trace * trace * trace);
}

}  // namespace

std::vector<Dof> AttachmentPoint::dofs() const {
  if (coupling == Coupling::None) return {{reference, 1}, {reference, 2}, {reference, 3}};
  return {{reference, 1}, {reference, 2}, {reference, 3}, {rotation, 1}, {rotation, 2}, {rotation, 3}};
}

std::vector<AttachmentPoint> attachment_points(const Mesh &mesh, const std::vector<int> &body_nodes,
                                               const std::vector<AttachmentRequest> &requests) {
  int next_id = 0;
  for (int id : mesh.node_ids) next_id = std::max(next_id, id);
  std::vector<AttachmentPoint> points;
  std::set<std::string> named;
  for (const AttachmentRequest &request : requests) {
    AttachmentPoint point;
    point.set = upper(request.set);
    const auto set = mesh.node_sets.find(point.set);
    if (set == mesh.node_sets.end()) fail_in(mesh.file, "node set " + point.set + " is not defined");
    if (!named.insert(point.set).second) throw InputError("node set " + point.set + " is named twice as an attachment point");
    if (set->second.empty()) fail_in(mesh.file, "node set " + point.set + " is empty");
    point.nodes = set->second;
    for (int id : point.nodes) {
      if (!std::binary_search(body_nodes.begin(), body_nodes.end(), id))
        fail_in(mesh.file, "node " + std::to_string(id) + " of node set " + point.set +
                               " is not a node of the solid elements");
      const double *xyz = mesh.coordinates.data() + 3 * mesh.node_index.at(id);
      for (int a = 0; a < 3; ++a) point.centroid[a] += xyz[a] / static_cast<double>(point.nodes.size());
    }
    if (point.nodes.size() == 1) {
      point.reference = point.nodes.front();
    } else {
      point.coupling = request.coupling;
      point.reference = ++next_id;
      point.rotation = ++next_id;
      if (point.coupling == Coupling::Distributing && !(flatness(mesh, point) > kCollinear))
        fail_in(mesh.file, "the nodes of node set " + point.set +
                               " lie on one line, which leaves a rotation of a distributing coupling undetermined");
    }
    points.push_back(std::move(point));
  }
  return points;
}

std::string coupling_deck(const Mesh &mesh, const AttachmentPoint &point) {
  if (point.coupling == Coupling::None) return "";
  std::string text = "*NODE\n" + node_line(point.reference, point.centroid) + node_line(point.rotation, point.centroid);
  if (point.coupling == Coupling::Rigid)
    return text + "*RIGID BODY, NSET=" + point.set + ", REF NODE=" + std::to_string(point.reference) +
           ", ROT NODE=" + std::to_string(point.rotation) + "\n";
  return text + distributing_equations(mesh, point);
}

}  // namespace ccx
