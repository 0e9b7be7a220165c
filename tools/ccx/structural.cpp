#include "structural.h"

#include <algorithm>
#include <cmath>

namespace ccx {
namespace {

constexpr int kMaxNodes = 8;
// Below this fraction of the product of the tangents' lengths the surface
// element counts as degenerate (see the flatness of solids).
constexpr double kDegenerate = 1e-12;
// A section's first axis closer than this (sine of the angle) to the
// beam's tangent gives no plane for the section.
constexpr double kAxisAlongBeam = 1e-6;

using Vector = std::array<double, 3>;

Vector cross(const Vector &a, const Vector &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vector &a, const Vector &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double norm(const Vector &a) { return std::sqrt(dot(a, a)); }

ElementKind structural_kind(Shape solid, int node_count, int corner_count, Family family, std::vector<int> expansion) {
  return {solid, node_count, corner_count, node_count > corner_count, {}, {}, family, std::move(expansion)};
}

// Gauss-Legendre points on [-1, 1], exact to degree 5: enough for the
// consistent mass of quadratic elements with straight sides.
constexpr double kGaussPoint = 0.7745966692414834;
constexpr double kGauss[3][2] = {{-kGaussPoint, 5.0 / 9}, {0.0, 8.0 / 9}, {kGaussPoint, 5.0 / 9}};

struct ReferencePoint {
  double r, s, weight;
};

// Triangles from the square by collapsing one side, the weights carrying
// the map's Jacobian.
std::vector<ReferencePoint> reference_rule(const ElementKind &kind) {
  std::vector<ReferencePoint> rule;
  if (kind.family == Family::Beam) {
    for (const auto &g : kGauss) rule.push_back({g[0], 0.0, g[1]});
    return rule;
  }
  for (const auto &gi : kGauss)
    for (const auto &gj : kGauss) {
      if (kind.corner_count == 4) {
        rule.push_back({gi[0], gj[0], gi[1] * gj[1]});
      } else {
        const double a = 0.5 * (gi[0] + 1.0), b = 0.5 * (gj[0] + 1.0);
        rule.push_back({a, b * (1.0 - a), 0.25 * gi[1] * gj[1] * (1.0 - a)});
      }
    }
  return rule;
}

void quadrilateral(bool quadratic, double r, double s, double *N, double (*dN)[2]) {
  static const double corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  for (int i = 0; i < 4; ++i) {
    const double a = corner[i][0], b = corner[i][1], fr = 1 + a * r, fs = 1 + b * s;
    if (!quadratic) {
      N[i] = 0.25 * fr * fs;
      dN[i][0] = 0.25 * a * fs;
      dN[i][1] = 0.25 * b * fr;
      continue;
    }
    N[i] = 0.25 * fr * fs * (a * r + b * s - 1);
    dN[i][0] = 0.25 * a * fs * (2 * a * r + b * s);
    dN[i][1] = 0.25 * b * fr * (a * r + 2 * b * s);
  }
  if (!quadratic) return;
  // Mid-sides of the edges 1-2 and 3-4 (s = -1, +1), then 2-3 and 4-1.
  for (int side : {0, 2}) {
    const double b = side == 0 ? -1.0 : 1.0;
    N[4 + side] = 0.5 * (1 - r * r) * (1 + b * s);
    dN[4 + side][0] = -r * (1 + b * s);
    dN[4 + side][1] = 0.5 * b * (1 - r * r);
  }
  for (int side : {1, 3}) {
    const double a = side == 1 ? 1.0 : -1.0;
    N[4 + side] = 0.5 * (1 + a * r) * (1 - s * s);
    dN[4 + side][0] = 0.5 * a * (1 - s * s);
    dN[4 + side][1] = -s * (1 + a * r);
  }
}

void triangle(bool quadratic, double r, double s, double *N, double (*dN)[2]) {
  const double L[3] = {1 - r - s, r, s};
  const double dL[3][2] = {{-1, -1}, {1, 0}, {0, 1}};
  for (int i = 0; i < 3; ++i) {
    N[i] = quadratic ? L[i] * (2 * L[i] - 1) : L[i];
    const double factor = quadratic ? 4 * L[i] - 1 : 1.0;
    dN[i][0] = factor * dL[i][0];
    dN[i][1] = factor * dL[i][1];
  }
  if (!quadratic) return;
  for (int e = 0; e < 3; ++e) {
    const int a = e, b = (e + 1) % 3;
    N[3 + e] = 4 * L[a] * L[b];
    for (int d = 0; d < 2; ++d) dN[3 + e][d] = 4 * (dL[a][d] * L[b] + L[a] * dL[b][d]);
  }
}

void line(bool quadratic, double r, double *N, double (*dN)[2]) {
  if (!quadratic) {
    N[0] = 0.5 * (1 - r), N[1] = 0.5 * (1 + r);
    dN[0][0] = -0.5, dN[1][0] = 0.5;
    return;
  }
  N[0] = 0.5 * r * (r - 1), N[1] = 1 - r * r, N[2] = 0.5 * r * (r + 1);
  dN[0][0] = r - 0.5, dN[1][0] = -2 * r, dN[2][0] = r + 0.5;
  for (int i = 0; i < 3; ++i) dN[i][1] = 0.0;
}

// The masses and the rotary inertia of one element summed over its
// integration points, then shared out to its nodes.
class Lumping {
 public:
  explicit Lumping(const ElementKind &kind) : kind_(kind) {}

  // dv: the volume the point stands for; radius: the integrals of the
  // squared distance from the reference surface or axis per unit volume,
  // as an inertia tensor (xx, yy, zz, xy, xz, yz).
  void add(const double *N, double dv, const double *radius) {
    volume_ += dv;
    for (int i = 0; i < kind_.node_count; ++i) {
      masses_[i] += N[i] * dv;
      diagonal_[i] += N[i] * N[i] * dv;
    }
    for (int c = 0; c < 6; ++c) inertia_[c] += radius[c] * dv;
  }

  double finish(double density, double *masses, double *inertias) const {
    const int n = kind_.node_count;
    double trace = 0.0;
    for (int i = 0; i < n; ++i) trace += diagonal_[i];
    for (int i = 0; i < n; ++i) {
      const double share = kind_.quadratic ? diagonal_[i] / trace : masses_[i] / volume_;
      masses[i] = density * volume_ * share;
      for (int c = 0; c < 6; ++c) inertias[6 * i + c] = density * inertia_[c] * share;
    }
    return volume_;
  }

 private:
  const ElementKind &kind_;
  double volume_ = 0.0;
  double masses_[kMaxNodes] = {}, diagonal_[kMaxNodes] = {}, inertia_[6] = {};
};

// Adds spread (I - a a^T): the inertia per unit mass of mass lying along
// the unit vector a at mean squared distance `spread`.
void add_along(const Vector &axis, double spread, double *tensor) {
  const double diagonal[3] = {1 - axis[0] * axis[0], 1 - axis[1] * axis[1], 1 - axis[2] * axis[2]};
  for (int d = 0; d < 3; ++d) tensor[d] += spread * diagonal[d];
  tensor[3] -= spread * axis[0] * axis[1];
  tensor[4] -= spread * axis[0] * axis[2];
  tensor[5] -= spread * axis[1] * axis[2];
}

// Adds -product (a b^T + b a^T): the inertia per unit mass of mass whose
// mean product of distances along the unit vectors a and b (at right
// angles) is `product`.
void add_across(const Vector &a, const Vector &b, double product, double *tensor) {
  for (int d = 0; d < 3; ++d) tensor[d] -= 2 * product * a[d] * b[d];
  tensor[3] -= product * (a[0] * b[1] + b[0] * a[1]);
  tensor[4] -= product * (a[0] * b[2] + b[0] * a[2]);
  tensor[5] -= product * (a[1] * b[2] + b[1] * a[2]);
}

Vector interpolate(const double (*dN)[2], int column, const double *xyz, int n) {
  Vector sum = {0.0, 0.0, 0.0};
  for (int i = 0; i < n; ++i)
    for (int d = 0; d < 3; ++d) sum[d] += dN[i][column] * xyz[3 * i + d];
  return sum;
}

}  // namespace

const ElementKind *find_structural_kind(std::string_view type) {
  static const ElementKind tri3 = structural_kind(Shape::Wedge, 3, 3, Family::Shell, {0, 1, 2, 0, 1, 2});
  static const ElementKind tri6 = structural_kind(Shape::Wedge, 6, 3, Family::Shell,
                                                  {0, 1, 2, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5});
  static const ElementKind quad4 = structural_kind(Shape::Hexahedron, 4, 4, Family::Shell, {0, 1, 2, 3, 0, 1, 2, 3});
  static const ElementKind quad8 = structural_kind(
      Shape::Hexahedron, 8, 4, Family::Shell, {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7});
  static const ElementKind line2 = structural_kind(Shape::Hexahedron, 2, 2, Family::Beam, {0, 1, 1, 0, 0, 1, 1, 0});
  static const ElementKind line3 = structural_kind(
      Shape::Hexahedron, 3, 2, Family::Beam, {0, 2, 2, 0, 0, 2, 2, 0, 1, 2, 1, 0, 0, 2, 2, 0, 1, 2, 1, 0});
  if (type == "S3") return &tri3;
  if (type == "S6") return &tri6;
  if (type == "S4" || type == "S4R") return &quad4;
  if (type == "S8" || type == "S8R") return &quad8;
  if (type == "B31" || type == "B31R") return &line2;
  if (type == "B32" || type == "B32R") return &line3;
  return nullptr;
}

void shape_functions(const ElementKind &kind, double r, double s, double *N, double (*dN)[2]) {
  if (kind.family == Family::Beam)
    line(kind.quadratic, r, N, dN);
  else if (kind.corner_count == 4)
    quadrilateral(kind.quadratic, r, s, N, dN);
  else
    triangle(kind.quadratic, r, s, N, dN);
}

std::array<double, 2> node_reference_point(const ElementKind &kind, int k) {
  static const double quad[8][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}};
  static const double tri[6][2] = {{0, 0}, {1, 0}, {0, 1}, {0.5, 0}, {0.5, 0.5}, {0, 0.5}};
  if (kind.family == Family::Beam) {
    if (!kind.quadratic) return {k == 0 ? -1.0 : 1.0, 0.0};
    return {k - 1.0, 0.0};
  }
  if (kind.corner_count == 4) return {quad[k][0], quad[k][1]};
  return {tri[k][0], tri[k][1]};
}

double lump_shell_mass(const ElementKind &kind, const double *xyz, const ShellSection &section, double density,
                       double *masses, double *inertias, const Where &where, int element_id) {
  const double t = section.thickness, offset = section.offset * t;
  // Per unit volume: t^2 / 12 about the mid-surface, moved to the nodes.
  const double spread = t * t / 12 + offset * offset;
  Lumping lumping(kind);
  double N[kMaxNodes], dN[kMaxNodes][2];
  for (const ReferencePoint &point : reference_rule(kind)) {
    shape_functions(kind, point.r, point.s, N, dN);
    const Vector a = interpolate(dN, 0, xyz, kind.node_count), b = interpolate(dN, 1, xyz, kind.node_count);
    Vector normal = cross(a, b);
    const double area = norm(normal);
    if (!(area > kDegenerate * norm(a) * norm(b)))
      fail(where, "element " + std::to_string(element_id) + " is degenerate (its corners lie on a line)");
    for (double &c : normal) c /= area;
    double radius[6] = {};
    add_along(normal, spread, radius);
    lumping.add(N, point.weight * area * t, radius);
  }
  return lumping.finish(density, masses, inertias);
}

double lump_beam_mass(const ElementKind &kind, const double *xyz, const BeamSection &section, double density,
                      double *masses, double *inertias, const Where &where, int element_id) {
  const SectionProperties properties = beam_properties(section);
  const Vector first_axis = {section.first_axis[0], section.first_axis[1], section.first_axis[2]};
  Lumping lumping(kind);
  double N[kMaxNodes], dN[kMaxNodes][2];
  for (const ReferencePoint &point : reference_rule(kind)) {
    shape_functions(kind, point.r, 0.0, N, dN);
    Vector tangent = interpolate(dN, 0, xyz, kind.node_count);
    const double length = norm(tangent);
    if (!(length > 0.0)) fail(where, "element " + std::to_string(element_id) + " has no length");
    for (double &c : tangent) c /= length;
    Vector axis1 = first_axis;
    const double along = dot(axis1, tangent);
    for (int d = 0; d < 3; ++d) axis1[d] -= along * tangent[d];
    const double across = norm(axis1);
    if (!(across > kAxisAlongBeam * norm(first_axis)))
      fail(where, "the section's first axis lies along element " + std::to_string(element_id));
    for (double &c : axis1) c /= across;
    const Vector axis2 = cross(tangent, axis1);
    // The section spreads its mass along axis 2 by the moment about axis 1,
    // and the other way round; an offset section adds its parallel-axis
    // terms. Its mass stays at the nodes: a nodal mass has no place off its
    // node, so the first moment of an offset section, which would tie the
    // node's translations to its rotations, is beyond the lumping.
    double radius[6] = {};
    add_along(axis2, properties.first / properties.area, radius);
    add_along(axis1, properties.second / properties.area, radius);
    add_across(axis1, axis2, properties.product / properties.area, radius);
    lumping.add(N, point.weight * length * properties.area, radius);
  }
  return lumping.finish(density, masses, inertias);
}

int structural_faces(const ElementKind &kind, const int *nodes, std::vector<int> &faces) {
  if (kind.family == Family::Shell) {
    faces.push_back(kind.corner_count);
    faces.insert(faces.end(), nodes, nodes + kind.corner_count);
    return 1;
  }
  for (int k = 0; k + 1 < kind.node_count; ++k) faces.insert(faces.end(), {2, nodes[k], nodes[k + 1]});
  return kind.node_count - 1;
}

}  // namespace ccx
