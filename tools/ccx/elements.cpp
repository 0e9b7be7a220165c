#include "elements.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "structural.h"

namespace ccx {
namespace {

using Point = std::array<double, 3>;
using Exponents = std::array<int, 3>;

struct ReferenceCell {
  std::vector<Point> corners;
  std::vector<std::array<int, 2>> edges;   // mid-side node k sits on edge k
  std::vector<std::vector<int>> faces;     // corners, outward
};

// Corners at the usual solver numbering: hexahedron corners 1-4 on the
// bottom, 5-8 above them; wedge corners 1-3 below 4-6; the mid-side nodes
// follow in edge order.
ReferenceCell reference_cell(Shape shape) {
  switch (shape) {
    case Shape::Tetrahedron:
      return {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
              {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}},
              {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
    case Shape::Wedge:
      return {{{0, 0, -1}, {1, 0, -1}, {0, 1, -1}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}},
              {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}},
              {{0, 2, 1}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}}};
    case Shape::Hexahedron:
      return {{{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
              {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}},
              {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}};
  }
  throw std::logic_error("unknown element shape");
}

// The polynomial space each family interpolates in: complete linear or
// quadratic on tetrahedra, triangle times line on wedges, (tri)linear and
// serendipity quadratic on hexahedra.
bool in_basis(Shape shape, bool quadratic, const Exponents &e) {
  const int highest = quadratic ? 2 : 1;
  if (e[0] > highest || e[1] > highest || e[2] > highest) return false;
  switch (shape) {
    case Shape::Tetrahedron:
      return e[0] + e[1] + e[2] <= highest;
    case Shape::Wedge:
      return e[2] < 2 ? e[0] + e[1] <= highest : e[0] + e[1] <= 1;
    case Shape::Hexahedron:
      return (e[0] == 2) + (e[1] == 2) + (e[2] == 2) <= 1;
  }
  return false;
}

double power(double x, int n) { return n == 0 ? 1.0 : n == 1 ? x : x * x; }

double monomial(const Exponents &e, const Point &p) {
  return power(p[0], e[0]) * power(p[1], e[1]) * power(p[2], e[2]);
}

double monomial_derivative(const Exponents &e, const Point &p, int d) {
  if (e[d] == 0) return 0.0;
  Exponents lowered = e;
  --lowered[d];
  return e[d] * monomial(lowered, p);
}

// Inverse of a small dense matrix (row-major) by Gauss-Jordan elimination
// with partial pivoting.
std::vector<double> inverse(std::vector<double> a, int n) {
  std::vector<double> b(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) b[i * n + i] = 1.0;
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    for (int r = col + 1; r < n; ++r)
      if (std::fabs(a[r * n + col]) > std::fabs(a[pivot * n + col])) pivot = r;
    if (std::fabs(a[pivot * n + col]) < 1e-12) throw std::logic_error("element nodes do not span the basis");
    for (int k = 0; k < n; ++k) {
      std::swap(a[col * n + k], a[pivot * n + k]);
      std::swap(b[col * n + k], b[pivot * n + k]);
    }
    const double scale = 1.0 / a[col * n + col];
    for (int k = 0; k < n; ++k) {
      a[col * n + k] *= scale;
      b[col * n + k] *= scale;
    }
    for (int r = 0; r < n; ++r) {
      if (r == col || a[r * n + col] == 0.0) continue;
      const double factor = a[r * n + col];
      for (int k = 0; k < n; ++k) {
        a[r * n + k] -= factor * a[col * n + k];
        b[r * n + k] -= factor * b[col * n + k];
      }
    }
  }
  return b;
}

// Gauss-Legendre points and weights on [-1, 1].
void gauss_legendre(int n, std::vector<double> &points, std::vector<double> &weights) {
  points.assign(n, 0.0);
  weights.assign(n, 0.0);
  for (int i = 0; i < n; ++i) {
    double x = std::cos(M_PI * (i + 0.75) / (n + 0.5));
    double derivative = 1.0;
    for (int iteration = 0; iteration < 100; ++iteration) {
      double p0 = 1.0, p1 = x;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      derivative = n * (x * p1 - p0) / (x * x - 1.0);
      const double step = p1 / derivative;
      x -= step;
      if (std::fabs(step) < 1e-16) break;
    }
    points[i] = x;
    weights[i] = 2.0 / ((1.0 - x * x) * derivative * derivative);
  }
}

struct WeightedPoint {
  Point point;
  double weight;
};

// Rules exact for the polynomial degrees the lumping integrates: the
// simplex rules map a cube onto the simplex, whose Jacobian the weights
// carry.
std::vector<WeightedPoint> quadrature_points(Shape shape, int n) {
  std::vector<double> x, w;
  gauss_legendre(n, x, w);
  std::vector<WeightedPoint> rule;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k) {
        const double a = 0.5 * (x[i] + 1.0), b = 0.5 * (x[j] + 1.0), c = 0.5 * (x[k] + 1.0);
        switch (shape) {
          case Shape::Hexahedron:
            rule.push_back({{x[i], x[j], x[k]}, w[i] * w[j] * w[k]});
            break;
          case Shape::Tetrahedron:
            rule.push_back({{a, b * (1.0 - a), c * (1.0 - a) * (1.0 - b)},
                            0.125 * w[i] * w[j] * w[k] * (1.0 - a) * (1.0 - a) * (1.0 - b)});
            break;
          case Shape::Wedge:
            rule.push_back({{a, b * (1.0 - a), x[k]}, 0.25 * w[i] * w[j] * w[k] * (1.0 - a)});
            break;
        }
      }
  return rule;
}

std::vector<ElementFace> element_faces(const ReferenceCell &cell, bool quadratic) {
  std::vector<ElementFace> faces;
  const int corner_count = static_cast<int>(cell.corners.size());
  for (const std::vector<int> &corners : cell.faces) {
    ElementFace face{static_cast<int>(corners.size()), 0, {}};
    for (size_t k = 0; k < corners.size(); ++k) {
      face.nodes[face.node_count++] = corners[k];
      if (!quadratic) continue;
      const int a = corners[k], b = corners[(k + 1) % corners.size()];
      for (size_t e = 0; e < cell.edges.size(); ++e)
        if ((cell.edges[e][0] == a && cell.edges[e][1] == b) || (cell.edges[e][0] == b && cell.edges[e][1] == a))
          face.nodes[face.node_count++] = corner_count + static_cast<int>(e);
    }
    faces.push_back(face);
  }
  return faces;
}

ElementKind make_kind(Shape shape, bool quadratic) {
  const ReferenceCell cell = reference_cell(shape);
  std::vector<Point> nodes = cell.corners;
  if (quadratic)
    for (const auto &edge : cell.edges) {
      const Point &a = cell.corners[edge[0]], &b = cell.corners[edge[1]];
      nodes.push_back({0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1]), 0.5 * (a[2] + b[2])});
    }
  std::vector<Exponents> basis;
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 2; ++j)
      for (int k = 0; k <= 2; ++k)
        if (in_basis(shape, quadratic, {i, j, k})) basis.push_back({i, j, k});
  const int n = static_cast<int>(nodes.size());
  if (static_cast<int>(basis.size()) != n) throw std::logic_error("basis and node count differ");

  // N_i = sum_k C[k][i] m_k with V C = I, V[j][k] = m_k(node j).
  std::vector<double> vandermonde(static_cast<size_t>(n) * n);
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k) vandermonde[j * n + k] = monomial(basis[k], nodes[j]);
  const std::vector<double> coefficients = inverse(vandermonde, n);

  ElementKind kind{shape, n, static_cast<int>(cell.corners.size()), quadratic, element_faces(cell, quadratic), {},
                   Family::Solid, {}};
  for (const WeightedPoint &point : quadrature_points(shape, quadratic ? 4 : 3)) {
    kind.quadrature.weight.push_back(point.weight);
    for (int i = 0; i < n; ++i) {
      double value = 0.0, gradient[3] = {0.0, 0.0, 0.0};
      for (int k = 0; k < n; ++k) {
        const double c = coefficients[k * n + i];
        if (c == 0.0) continue;
        value += c * monomial(basis[k], point.point);
        for (int d = 0; d < 3; ++d) gradient[d] += c * monomial_derivative(basis[k], point.point, d);
      }
      kind.quadrature.value.push_back(value);
      kind.quadrature.derivative.insert(kind.quadrature.derivative.end(), gradient, gradient + 3);
    }
  }
  return kind;
}

}  // namespace

const char kSupportedElementTypes[] =
    "C3D4, C3D10, C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20, C3D20R, S3, S4, S4R, S6, S8, S8R, B31, B31R, B32, B32R";

const ElementKind *find_element_kind(std::string_view type) {
  static const ElementKind tet4 = make_kind(Shape::Tetrahedron, false);
  static const ElementKind tet10 = make_kind(Shape::Tetrahedron, true);
  static const ElementKind wedge6 = make_kind(Shape::Wedge, false);
  static const ElementKind wedge15 = make_kind(Shape::Wedge, true);
  static const ElementKind hex8 = make_kind(Shape::Hexahedron, false);
  static const ElementKind hex20 = make_kind(Shape::Hexahedron, true);
  if (type == "C3D4") return &tet4;
  if (type == "C3D10") return &tet10;
  if (type == "C3D6") return &wedge6;
  if (type == "C3D15") return &wedge15;
  if (type == "C3D8" || type == "C3D8R" || type == "C3D8I") return &hex8;
  if (type == "C3D20" || type == "C3D20R") return &hex20;
  return find_structural_kind(type);
}

}  // namespace ccx
