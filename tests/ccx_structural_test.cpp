// Shells and beams: their sections, shape functions, lumped masses and
// inertias on single elements; then plates and beams solved by the
// solver, translated, and checked against their known frequencies, rigid
// motions and slopes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "body.h"
#include "expansion.h"
#include "capture.h"
#include "ccx_jobs.h"
#include "frd_mesh.h"
#include "frd_reader.h"
#include "inp_reader.h"
#include "input_error.h"
#include "scratch_dir.h"
#include "sections.h"
#include "structural.h"
#include "translate.h"
#include "zel.h"

extern "C" void dsygv_(const int *itype, const char *jobz, const char *uplo, const int *n, double *a, const int *lda,
                       double *b, const int *ldb, double *w, double *work, const int *lwork, int *info, size_t,
                       size_t);

namespace {


constexpr double kYoung = 210e9, kPoisson = 0.3, kDensity = 7850.0;
constexpr double kPi = 3.14159265358979323846;

using zel_test::input_error_of;
using zel_test::Translated;

// ---------------------------------------------------------------------
// Sections, shape functions and masses of single elements
// ---------------------------------------------------------------------

ccx::BeamSection beam_section(ccx::BeamProfile profile, std::vector<double> dimensions,
                              std::array<double, 3> axis = {0.0, 1.0, 0.0}) {
  ccx::BeamSection section;
  section.profile = profile;
  section.dimensions = std::move(dimensions);
  section.first_axis = axis;
  return section;
}

TEST(CcxSections, AreaAndSecondMomentsOfEachProfile) {
  using ccx::BeamProfile;
  const double a = 0.05, b = 0.02;
  // A box with walls 1..4 on the +1, +2, -1, -2 sides: its hollow is
  // 0.05 - 0.004 - 0.002 wide, centred at -0.001 along axis 1, and
  // 0.02 - 0.003 - 0.001 high, centred at -0.001 along axis 2.
  const double hollow1 = 0.044, hollow2 = 0.016, hollow_area = hollow1 * hollow2;
  const struct {
    const char *name;
    ccx::BeamSection section;
    double area, first, second, product;
  } cases[] = {
      {"rectangle", beam_section(BeamProfile::Rectangle, {a, b}), a * b, a * b * b * b / 12, b * a * a * a / 12, 0.0},
      {"ellipse", beam_section(BeamProfile::Circle, {a, b}), kPi * a * b / 4, kPi * (a / 2) * std::pow(b / 2, 3) / 4,
       kPi * std::pow(a / 2, 3) * (b / 2) / 4, 0.0},
      {"pipe", beam_section(BeamProfile::Pipe, {a, b}), kPi * (a * a - 0.03 * 0.03),
       kPi * (std::pow(a, 4) - std::pow(0.03, 4)) / 4, kPi * (std::pow(a, 4) - std::pow(0.03, 4)) / 4, 0.0},
      // The hollow off both axes leaves the box a product of inertia.
      {"box", beam_section(BeamProfile::Box, {a, b, 0.004, 0.003, 0.002, 0.001}), a * b - hollow_area,
       a * b * b * b / 12 - hollow_area * (hollow2 * hollow2 / 12 + 0.001 * 0.001),
       b * a * a * a / 12 - hollow_area * (hollow1 * hollow1 / 12 + 0.001 * 0.001), -hollow_area * 0.001 * 0.001},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const ccx::SectionProperties properties = ccx::beam_properties(c.section);
    EXPECT_NEAR(properties.area, c.area, 1e-15 * c.area);
    EXPECT_NEAR(properties.first, c.first, 1e-12 * c.first);
    EXPECT_NEAR(properties.second, c.second, 1e-12 * c.second);
    EXPECT_NEAR(properties.product, c.product, 1e-12 * c.first);
  }
}

// OFFSET1 and OFFSET2 put the section's centre at minus the offsets times
// its extents (a pipe's outer diameter both ways), and every part of the
// section moves with it: a box's hollow too, whose first moment then adds
// to the parallel axes.
TEST(CcxSections, OffsetsMoveTheSectionByItsExtents) {
  using ccx::BeamProfile;
  const double a = 0.05, b = 0.02, o1 = 0.3, o2 = -0.2;
  const double c1 = -o1 * a, c2 = -o2 * b;  // rectangle, ellipse and box
  const double r = 0.05, p1 = -o1 * 2 * r, p2 = -o2 * 2 * r;
  const double ellipse = kPi * a * b / 4, pipe = kPi * (r * r - 0.03 * 0.03);
  const double pipe_moment = kPi * (std::pow(r, 4) - std::pow(0.03, 4)) / 4;
  // The box's hollow, 0.044 x 0.016, sits at (-0.001, -0.001) from its centre.
  const double hollow = 0.044 * 0.016, h1 = c1 - 0.001, h2 = c2 - 0.001;
  const struct {
    const char *name;
    ccx::BeamSection section;
    double centre1, centre2, area, first, second, product;
  } cases[] = {
      {"rectangle", beam_section(BeamProfile::Rectangle, {a, b}), c1, c2, a * b, a * b * (b * b / 12 + c2 * c2),
       a * b * (a * a / 12 + c1 * c1), a * b * c1 * c2},
      {"ellipse", beam_section(BeamProfile::Circle, {a, b}), c1, c2, ellipse, ellipse * (b * b / 16 + c2 * c2),
       ellipse * (a * a / 16 + c1 * c1), ellipse * c1 * c2},
      {"pipe", beam_section(BeamProfile::Pipe, {r, 0.02}), p1, p2, pipe, pipe_moment + pipe * p2 * p2,
       pipe_moment + pipe * p1 * p1, pipe * p1 * p2},
      {"box", beam_section(BeamProfile::Box, {a, b, 0.004, 0.003, 0.002, 0.001}), c1, c2, a * b - hollow,
       a * b * (b * b / 12 + c2 * c2) - hollow * (0.016 * 0.016 / 12 + h2 * h2),
       a * b * (a * a / 12 + c1 * c1) - hollow * (0.044 * 0.044 / 12 + h1 * h1), a * b * c1 * c2 - hollow * h1 * h2},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    c.section.offset = {o1, o2};
    const std::array<double, 2> centre = ccx::section_centre(c.section);
    EXPECT_NEAR(centre[0], c.centre1, 1e-15);
    EXPECT_NEAR(centre[1], c.centre2, 1e-15);
    const ccx::SectionProperties properties = ccx::beam_properties(c.section);
    EXPECT_NEAR(properties.area, c.area, 1e-15 * c.area);
    EXPECT_NEAR(properties.first, c.first, 1e-12 * c.first);
    EXPECT_NEAR(properties.second, c.second, 1e-12 * c.second);
    EXPECT_NEAR(properties.product, c.product, 1e-12 * c.first);
  }
}

const char *const kStructuralTypes[] = {"S3", "S4", "S6", "S8R", "B31", "B32R"};

// Every shape function is 1 at its node and 0 at the others, they sum to
// 1 everywhere, and their derivatives are those of their values.
TEST(CcxShapeFunctions, InterpolateAndDifferentiate) {
  for (const char *type : kStructuralTypes) {
    SCOPED_TRACE(type);
    const ccx::ElementKind &kind = *ccx::find_element_kind(type);
    const int n = kind.node_count;
    const bool beam = kind.family == ccx::Family::Beam;
    double N[8], dN[8][2], Np[8], dNp[8][2], Nm[8], dNm[8][2];
    for (int k = 0; k < n; ++k) {
      const std::array<double, 2> point = ccx::node_reference_point(kind, k);
      ccx::shape_functions(kind, point[0], point[1], N, dN);
      for (int i = 0; i < n; ++i) EXPECT_NEAR(N[i], i == k ? 1.0 : 0.0, 1e-14) << "node " << k << ", function " << i;
    }
    const double r = 0.23, s = beam ? 0.0 : 0.31, h = 1e-6;
    ccx::shape_functions(kind, r, s, N, dN);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += N[i];
    EXPECT_NEAR(sum, 1.0, 1e-14);
    for (int d = 0; d < (beam ? 1 : 2); ++d) {
      ccx::shape_functions(kind, r + (d == 0 ? h : 0), s + (d == 1 ? h : 0), Np, dNp);
      ccx::shape_functions(kind, r - (d == 0 ? h : 0), s - (d == 1 ? h : 0), Nm, dNm);
      for (int i = 0; i < n; ++i)
        EXPECT_NEAR(dN[i][d], (Np[i] - Nm[i]) / (2 * h), 1e-8) << "function " << i << ", direction " << d;
    }
  }
}

struct Lumped {
  double volume;
  std::vector<double> masses, inertias;
};

Lumped lump_shell(const char *type, const std::vector<double> &xyz, double thickness, double offset = 0.0) {
  const ccx::ElementKind &kind = *ccx::find_element_kind(type);
  ccx::ShellSection section;
  section.thickness = thickness;
  section.offset = offset;
  Lumped lumped{0.0, std::vector<double>(kind.node_count), std::vector<double>(6 * kind.node_count)};
  lumped.volume = ccx::lump_shell_mass(kind, xyz.data(), section, kDensity, lumped.masses.data(),
                                       lumped.inertias.data(), {"deck", 1}, 1);
  return lumped;
}

Lumped lump_beam(const char *type, const std::vector<double> &xyz, const ccx::BeamSection &section) {
  const ccx::ElementKind &kind = *ccx::find_element_kind(type);
  Lumped lumped{0.0, std::vector<double>(kind.node_count), std::vector<double>(6 * kind.node_count)};
  lumped.volume = ccx::lump_beam_mass(kind, xyz.data(), section, kDensity, lumped.masses.data(),
                                      lumped.inertias.data(), {"deck", 1}, 1);
  return lumped;
}

// A sheared parallelogram a x b in the plane z = x (area a b sqrt 2), the
// mid-side nodes halfway.
std::vector<double> parallelogram(int node_count) {
  const double corners[4][2] = {{0, 0}, {0.3, 0}, {0.4, 0.2}, {0.1, 0.2}};
  std::vector<double> xyz;
  auto add = [&](double u, double v) { xyz.insert(xyz.end(), {u, v, u}); };
  for (int k = 0; k < 4; ++k) add(corners[k][0], corners[k][1]);
  if (node_count == 8)
    for (int k = 0; k < 4; ++k)
      add(0.5 * (corners[k][0] + corners[(k + 1) % 4][0]), 0.5 * (corners[k][1] + corners[(k + 1) % 4][1]));
  return xyz;
}

TEST(CcxShellMass, TotalsAndSharesOfEachShell) {
  const double t = 0.004, area = 0.3 * 0.2 * std::sqrt(2.0);
  // Half the parallelogram: the triangle of its corners 1, 2 and 4.
  const std::vector<double> triangle3 = {0, 0, 0, 0.3, 0, 0.3, 0.1, 0.2, 0.1};
  std::vector<double> triangle6 = triangle3;
  for (int e = 0; e < 3; ++e)
    for (int d = 0; d < 3; ++d) triangle6.push_back(0.5 * (triangle3[3 * e + d] + triangle3[3 * ((e + 1) % 3) + d]));
  const struct {
    const char *type;
    std::vector<double> xyz;
    double area;
  } cases[] = {
      {"S4", parallelogram(4), area},
      {"S8R", parallelogram(8), area},
      {"S3", triangle3, area / 2},
      {"S6", triangle6, area / 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.type);
    const Lumped lumped = lump_shell(c.type, c.xyz, t);
    EXPECT_NEAR(lumped.volume, c.area * t, 1e-15);
    const double mass = kDensity * c.area * t;
    double sum = 0.0;
    for (double m : lumped.masses) sum += m;
    EXPECT_NEAR(sum, mass, 1e-13 * mass);
    // Linear elements of constant Jacobian share equally; quadratic ones
    // give the mid-side nodes more than the corners.
    const int n = static_cast<int>(lumped.masses.size());
    if (n == 3 || n == 4)
      for (double m : lumped.masses) EXPECT_NEAR(m, mass / n, 1e-13 * mass);
    else
      for (int k = 0; k < n / 2; ++k) EXPECT_LT(lumped.masses[k], lumped.masses[n / 2 + k]) << "node " << k;
  }
}

// The 8-node element shares its mass as the diagonal of its consistent
// mass matrix: over the reference square the integrals of N_i^2 are 2/15
// at the corners and 32/45 at the mid-sides (on a parallelogram, the same
// times a constant Jacobian).
TEST(CcxShellMass, QuadraticSharesFollowTheDiagonal) {
  const Lumped lumped = lump_shell("S8R", parallelogram(8), 0.01);
  const double corner = 2.0 / 15, side = 32.0 / 45, total = 4 * corner + 4 * side;
  const double mass = std::accumulate(lumped.masses.begin(), lumped.masses.end(), 0.0);
  for (int k = 0; k < 8; ++k)
    EXPECT_NEAR(lumped.masses[k] / mass, (k < 4 ? corner : side) / total, 1e-13) << "node " << k;
}

// A square S4 in the plane z = 0: each node carries a quarter of the
// mass and a quarter of rho A (t^3/12 + e^2 t) about x and y, nothing about
// z; the offset e moves the inertia by the parallel axes.
TEST(CcxShellMass, RotaryInertiaAboutTheInPlaneAxes) {
  const std::vector<double> square = {0, 0, 0, 0.2, 0, 0, 0.2, 0.2, 0, 0, 0.2, 0};
  const double t = 0.01, area = 0.04;
  for (double offset : {0.0, 0.5}) {
    SCOPED_TRACE(offset);
    const Lumped lumped = lump_shell("S4", square, t, offset);
    const double e = offset * t, expected = kDensity * area * (t * t * t / 12 + e * e * t) / 4;
    for (int k = 0; k < 4; ++k) {
      const double *J = &lumped.inertias[6 * k];
      EXPECT_NEAR(J[0], expected, 1e-12 * expected);
      EXPECT_NEAR(J[1], expected, 1e-12 * expected);
      EXPECT_NEAR(J[2], 0.0, 1e-15);
      for (int c = 3; c < 6; ++c) EXPECT_NEAR(J[c], 0.0, 1e-15);
    }
  }
}

// A beam along x with its section's first axis along y: the section spans
// a along y and b along z. Its nodes carry rho A L shares and the section's
// inertia: polar about x, b^3 a / 12 about y (first axis), a^3 b / 12 about z.
TEST(CcxBeamMass, MassesAndInertiasAlongTheAxis) {
  const double a = 0.02, b = 0.05, length = 0.8;
  const ccx::BeamSection section = beam_section(ccx::BeamProfile::Rectangle, {a, b}, {0.3, 1.0, 0.0});
  const struct {
    const char *type;
    std::vector<double> xyz;
    std::vector<double> shares;
  } cases[] = {
      {"B31", {0, 0, 0, length, 0, 0}, {0.5, 0.5}},
      {"B32R", {0, 0, 0, length / 2, 0, 0, length, 0, 0}, {1.0 / 6, 2.0 / 3, 1.0 / 6}},
  };
  const double mass = kDensity * a * b * length;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.type);
    const Lumped lumped = lump_beam(c.type, c.xyz, section);
    EXPECT_NEAR(lumped.volume, a * b * length, 1e-15);
    for (size_t k = 0; k < c.shares.size(); ++k) {
      const double share = c.shares[k], *J = &lumped.inertias[6 * k];
      EXPECT_NEAR(lumped.masses[k], share * mass, 1e-12 * mass);
      const double about_y = share * kDensity * length * a * b * b * b / 12;
      const double about_z = share * kDensity * length * b * a * a * a / 12;
      EXPECT_NEAR(J[0], about_y + about_z, 1e-12 * J[0]);
      EXPECT_NEAR(J[1], about_y, 1e-12 * about_y);
      EXPECT_NEAR(J[2], about_z, 1e-12 * about_y);
      for (int p = 3; p < 6; ++p) EXPECT_NEAR(J[p], 0.0, 1e-12 * about_y);
    }
  }
}

// The same beam with its section offset: the nodes keep their masses, and
// their inertias gain rho A L share (|d|^2 I - d d^T), d the section's
// centre from the axis, -OFFSET1 a along y and -OFFSET2 b along z (the
// tangent x the first axis).
TEST(CcxBeamMass, OffsetSectionsAddTheParallelAxes) {
  const double a = 0.02, b = 0.05, length = 0.8, area = a * b;
  const struct {
    std::array<double, 2> offset;
    double dy, dz;
  } cases[] = {{{0.5, 0.0}, -a / 2, 0.0}, {{0.0, 0.25}, 0.0, -b / 4}, {{-1.0, 0.5}, a, -b / 2}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "offsets " << c.offset[0] << ", " << c.offset[1]);
    ccx::BeamSection section = beam_section(ccx::BeamProfile::Rectangle, {a, b});
    section.offset = c.offset;
    const Lumped lumped = lump_beam("B31", {0, 0, 0, length, 0, 0}, section);
    EXPECT_NEAR(lumped.volume, area * length, 1e-15);
    const double half = 0.5 * kDensity * length * area;
    const double expected[6] = {half * ((a * a + b * b) / 12 + c.dy * c.dy + c.dz * c.dz),
                                half * (b * b / 12 + c.dz * c.dz),
                                half * (a * a / 12 + c.dy * c.dy),
                                0.0,
                                0.0,
                                -half * c.dy * c.dz};
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(lumped.masses[k], half, 1e-12 * half) << "node " << k;
      for (int e = 0; e < 6; ++e)
        EXPECT_NEAR(lumped.inertias[6 * k + e], expected[e], 1e-12 * expected[0]) << "node " << k << ", entry " << e;
    }
  }
}

using Matrix3 = std::array<std::array<double, 3>, 3>;

// The six stored entries xx, yy, zz, xy, xz, yz as the symmetric tensor.
Matrix3 tensor(const double *J) {
  return {{{J[0], J[3], J[4]}, {J[3], J[1], J[5]}, {J[4], J[5], J[2]}}};
}

Matrix3 rotated_tensor(const Matrix3 &R, const Matrix3 &J) {
  Matrix3 result{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) result[i][j] += R[i][k] * J[k][l] * R[j][l];
  return result;
}

std::vector<double> rotated_points(const Matrix3 &R, const std::vector<double> &xyz) {
  std::vector<double> result(xyz.size(), 0.0);
  for (size_t p = 0; p < xyz.size(); p += 3)
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 3; ++k) result[p + i] += R[i][k] * xyz[p + k];
  return result;
}

// An offset shell and an offset box beam (whose section has a product of
// inertia of its own) lumped along the axes and again turned out of them:
// every node's full tensor, products of inertia with their signs, is the
// first one turned, R J R^T.
TEST(CcxStructuralMass, InertiasTurnWithTheElement) {
  const double cz = std::cos(0.7), sz = std::sin(0.7), cy = std::cos(-0.4), sy = std::sin(-0.4);
  const double cx = std::cos(1.1), sx = std::sin(1.1);
  // R = Rz(0.7) Ry(-0.4) Rx(1.1)
  const Matrix3 R = {{{cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx},
                      {sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx},
                      {-sy, cy * sx, cy * cx}}};
  ccx::BeamSection box = beam_section(ccx::BeamProfile::Box, {0.05, 0.02, 0.004, 0.003, 0.002, 0.001});
  box.offset = {0.3, -0.2};
  ccx::BeamSection turned_box = box;
  for (int i = 0; i < 3; ++i) turned_box.first_axis[i] = R[i][1];
  const std::vector<double> square = {0, 0, 0, 0.2, 0, 0, 0.2, 0.2, 0, 0, 0.2, 0};
  const std::vector<double> beam = {0, 0, 0, 0.4, 0, 0, 0.8, 0, 0};
  const struct {
    const char *name;
    Lumped along, turned;
  } cases[] = {
      {"S4", lump_shell("S4", square, 0.01, 0.5), lump_shell("S4", rotated_points(R, square), 0.01, 0.5)},
      {"B32R", lump_beam("B32R", beam, box), lump_beam("B32R", rotated_points(R, beam), turned_box)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    for (size_t k = 0; k < c.along.masses.size(); ++k) {
      const Matrix3 expected = rotated_tensor(R, tensor(&c.along.inertias[6 * k]));
      const Matrix3 actual = tensor(&c.turned.inertias[6 * k]);
      const double scale = std::max({expected[0][0], expected[1][1], expected[2][2]});
      for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j)
          EXPECT_NEAR(actual[i][j], expected[i][j], 1e-12 * scale) << "node " << k << ", entry " << i << j;
      // The products are no rounding noise: the test sees their signs.
      for (const double product : {expected[0][1], expected[0][2], expected[1][2]})
        EXPECT_GT(std::fabs(product), 1e-3 * scale) << "node " << k;
    }
  }
}

TEST(CcxBeamMass, RefusesDegenerateElementsAndAxes) {
  const ccx::BeamSection along = beam_section(ccx::BeamProfile::Rectangle, {0.01, 0.01}, {2.0, 0.0, 0.0});
  EXPECT_EQ(input_error_of([&] { lump_beam("B31", {0, 0, 0, 1, 0, 0}, along); }),
            "deck:1: the section's first axis lies along element 1");
  const ccx::BeamSection fine = beam_section(ccx::BeamProfile::Rectangle, {0.01, 0.01});
  EXPECT_EQ(input_error_of([&] { lump_beam("B31", {1, 2, 3, 1, 2, 3}, fine); }), "deck:1: element 1 has no length");
  EXPECT_EQ(input_error_of([&] { lump_shell("S3", {0, 0, 0, 1, 1, 1, 2, 2, 2}, 0.01); }),
            "deck:1: element 1 is degenerate (its corners lie on a line)");
}

// ---------------------------------------------------------------------
// Decks
// ---------------------------------------------------------------------

const char kFourNodes[] = "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n4,1,1,0\n*MATERIAL,NAME=STEEL\n*DENSITY\n7850\n";

struct DeckFault {
  const char *name;
  const char *deck;  // after kFourNodes, lines 1 to 8
  const char *message;
};

const DeckFault kDeckFaults[] = {
    {"shell outside every shell section",
     "*ELEMENT,TYPE=S4,ELSET=E\n1,1,2,4,3\n*SOLID SECTION,ELSET=E,MATERIAL=STEEL\n",
     "@:10: element 1 (S4) is in no *SHELL SECTION"},
    {"beam in a shell section", "*ELEMENT,TYPE=B31,ELSET=E\n1,1,2\n*SHELL SECTION,ELSET=E,MATERIAL=STEEL\n0.01\n",
     "@:10: element 1 (B31) is in no *BEAM SECTION"},
    {"shell section without thickness", "*ELEMENT,TYPE=S3,ELSET=E\n1,1,2,3\n*SHELL SECTION,ELSET=E,MATERIAL=STEEL\n",
     "@:11: *SHELL SECTION without its thickness"},
    {"negative thickness", "*ELEMENT,TYPE=S3,ELSET=E\n1,1,2,3\n*SHELL SECTION,ELSET=E,MATERIAL=STEEL\n-0.01\n",
     "@:12: the shell thickness '-0.01' is not positive"},
    {"composite shell", "*SHELL SECTION,ELSET=E,MATERIAL=STEEL,COMPOSITE\n0.01,,STEEL\n",
     "@:9: *SHELL SECTION with COMPOSITE is not supported"},
    {"nodal thickness", "*SHELL SECTION,ELSET=E,MATERIAL=STEEL,NODAL THICKNESS\n0.01\n",
     "@:9: *SHELL SECTION with NODAL THICKNESS is not supported"},
    {"unknown beam profile", "*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=HEX\n0.01,0.01\n",
     "@:9: beam section 'HEX' is not supported; the translator reads RECT, CIRC, PIPE and BOX"},
    {"beam offset not a number", "*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=RECT,OFFSET2=half\n0.01,0.01\n",
     "@:9: 'half' is not a beam offset"},
    {"box with three dimensions", "*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=BOX\n0.05,0.02,0.001\n",
     "@:10: a BOX beam section needs 6 dimensions"},
    {"box walls filling it",
     "*ELEMENT,TYPE=B32R,ELSET=E\n1,1,2,4\n*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=BOX\n"
     "0.05,0.02,0.03,0.001,0.03,0.001\n",
     "@:11: the box's walls leave no hollow inside it"},
    {"pipe wall as thick as its radius",
     "*ELEMENT,TYPE=B31,ELSET=E\n1,1,2\n*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=PIPE\n0.05,0.05\n",
     "@:11: the pipe's wall is not thinner than its outer radius"},
    {"axis without direction",
     "*ELEMENT,TYPE=B31,ELSET=E\n1,1,2\n*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=RECT\n0.05,0.05\n0,0,0\n",
     "@:13: the section's first axis has no direction"},
    {"shell offset too large to square",
     "*ELEMENT,TYPE=S3,ELSET=E\n1,1,2,3\n*SHELL SECTION,ELSET=E,MATERIAL=STEEL,OFFSET=1e200\n0.01\n",
     "@:10: element 1 (S3)'s mass or rotary inertia overflows (its size, section, offset or density is too large)"},
    {"beam offset too large to square",
     "*ELEMENT,TYPE=B31,ELSET=E\n1,1,2\n*BEAM SECTION,ELSET=E,MATERIAL=STEEL,SECTION=RECT,OFFSET1=1e200\n0.05,0.05\n",
     "@:10: element 1 (B31)'s mass or rotary inertia overflows (its size, section, offset or density is too large)"},
    {"solid too heavy to weigh",
     "*MATERIAL,NAME=HEAVY\n*DENSITY\n1e308\n*NODE\n11,0,0,0\n12,10,0,0\n13,0,10,0\n14,0,0,10\n"
     "*ELEMENT,TYPE=C3D4,ELSET=E\n1,11,12,13,14\n*SOLID SECTION,ELSET=E,MATERIAL=HEAVY\n",
     "@:18: element 1 (C3D4)'s mass or rotary inertia overflows (its size, section, offset or density is too large)"},
    {"membranes and springs still refused", "*ELEMENT,TYPE=M3D4\n1,1,2,4,3\n*ELEMENT,TYPE=SPRINGA\n2,1,2\n",
     "@:9: unsupported element type M3D4 (1 element); also SPRINGA (1 element); the translator reads C3D4, C3D10, "
     "C3D6, C3D15, C3D8, C3D8R, C3D8I, C3D20, C3D20R, S3, S4, S4R, S6, S8, S8R, B31, B31R, B32, B32R"},
};

TEST(CcxStructuralDeck, NamesFileAndLineOfEveryFault) {
  for (const DeckFault &fault : kDeckFaults) {
    SCOPED_TRACE(fault.name);
    zel_test::ScratchDir dir;
    const std::string path = dir.file("job.inp");
    std::ofstream(path) << kFourNodes << fault.deck;
    std::string expected = fault.message;
    expected.replace(0, 1, path);
    EXPECT_EQ(input_error_of([&] { ccx::build_body(ccx::read_inp(path)); }), expected);
  }
}

// A deck of two shells and a beam: sections as given, masses, inertias and
// faces over the model's own nodes.
TEST(CcxStructuralDeck, ReadsSectionsAndDrawsShellsAndBeams) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("job.inp");
  std::ofstream(path) << kFourNodes
                      << "*NODE\n5,2,0,0\n6,3,0,0\n"
                         "*ELEMENT,TYPE=S3,ELSET=PLATE\n1,1,2,3\n2,2,4,3\n"
                         "*ELEMENT,TYPE=B32R,ELSET=FRAME\n3,2,5,6\n"
                         "*SHELL SECTION,ELSET=PLATE,MATERIAL=STEEL,OFFSET=0.5\n0.01\n"
                         "*BEAM SECTION,ELSET=FRAME,MATERIAL=STEEL,SECTION=CIRC,OFFSET2=0.5\n0.02,0.04\n0,0,1\n1,0,0\n";
  const ccx::Mesh mesh = ccx::read_inp(path);
  ASSERT_EQ(mesh.shell_sections.size(), 1u);
  EXPECT_EQ(mesh.shell_sections[0].thickness, 0.01);
  EXPECT_EQ(mesh.shell_sections[0].offset, 0.5);
  ASSERT_EQ(mesh.beam_sections.size(), 1u);
  EXPECT_EQ(mesh.beam_sections[0].dimensions, (std::vector<double>{0.02, 0.04}));
  EXPECT_EQ(mesh.beam_sections[0].first_axis, (std::array<double, 3>{0, 0, 1}));  // the third line is not an axis
  EXPECT_EQ(mesh.beam_sections[0].offset, (std::array<double, 2>{0.0, 0.5}));

  const ccx::Body body = ccx::build_body(mesh);
  EXPECT_EQ(body.node_ids, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  const double shell_volume = 1.0 * 0.01, beam_volume = kPi * 0.01 * 0.02 * 2.0;
  EXPECT_NEAR(body.volume, shell_volume + beam_volume, 1e-15);
  EXPECT_NEAR(body.mass, kDensity * (shell_volume + beam_volume), 1e-12);
  EXPECT_EQ(body.face_count, 4);
  EXPECT_EQ(body.faces, (std::vector<int>{3, 1, 2, 3, 3, 2, 4, 3, 2, 2, 5, 2, 5, 6}));
  // Node 6 ends the beam: its inertia about the axis x is the ellipse's
  // polar moment, moved by the parallel axes to its centre half its 0.04
  // off the axis, times rho and its sixth of the length.
  const double polar = kPi * 0.01 * 0.02 * (0.01 * 0.01 + 0.02 * 0.02) / 4 + kPi * 0.01 * 0.02 * 0.02 * 0.02;
  EXPECT_NEAR(body.inertias[6 * 5], kDensity * polar * 2.0 / 6, 1e-12);
}

// ---------------------------------------------------------------------
// The result file's mesh
// ---------------------------------------------------------------------

TEST(CcxFrdMesh, ReadsExpandedNodesAndElements) {
  const std::string text =
      "    1C\n"
      "    2C                            2                                     1\n"
      " -1        26 1.00000E+00-2.50000E-03 0.00000E+00\n"
      " -1        27-1.00000E+00 0.00000E+00 3.00000E-03\n"
      " -3\n"
      "    3C                             1                                     1\n"
      " -1         7    1    0    1\n"
      " -2        26        27        28        29        30        31        32        33\n"
      " -3\n";
  const ccx::FrdMesh mesh = ccx::parse_frd_mesh(text, "job.frd");
  ASSERT_EQ(mesh.coordinates.size(), 2u);
  EXPECT_EQ(mesh.coordinates.at(26), (std::array<double, 3>{1.0, -2.5e-3, 0.0}));
  EXPECT_EQ(mesh.coordinates.at(27), (std::array<double, 3>{-1.0, 0.0, 3e-3}));
  ASSERT_EQ(mesh.elements.count(7), 1u);
  EXPECT_EQ(mesh.elements.at(7).type, 1);
  EXPECT_EQ(mesh.elements.at(7).nodes, (std::vector<int>{26, 27, 28, 29, 30, 31, 32, 33}));

  const struct {
    const char *name, *text, *message;
  } faults[] = {
      {"node twice", "    2C 2 1\n -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n"
                     " -1         1 0.00000E+00 0.00000E+00 0.00000E+00\n",
       "job.frd:3: node 1 is given twice"},
      {"short node", "    2C 2 1\n -1         1 0.00000E+00\n", "job.frd:2: node 1 has no coordinate 2"},
      {"bad coordinate", "    2C 2 1\n -1         1 0.00000E+00 abc         0.00000E+00\n",
       "job.frd:2: 'abc' is not a coordinate"},
      {"nodes before element", "    3C 1 1\n -2         1\n", "job.frd:2: element nodes before any element"},
      {"too many nodes",
       "    3C 1 1\n -1         1    4    0    1\n"
       " -2         1         2         3         4         5         6         7         8         9        10\n"
       " -2         1         2         3         4         5         6         7         8         9        10\n"
       " -2        21\n",
       "job.frd:5: element 1 has more than 20 nodes"},
  };
  for (const auto &fault : faults) {
    SCOPED_TRACE(fault.name);
    EXPECT_EQ(input_error_of([&] { ccx::parse_frd_mesh(fault.text, "job.frd"); }), fault.message);
  }
}

// ---------------------------------------------------------------------
// Motions fitted to expanded nodes written by hand
// ---------------------------------------------------------------------

// Which side of the mid-surface the node at position j of an expanded
// shell lies on: -1, 0 or 1 (wedges of the triangles S3; bricks of S8).
int shell_layer(size_t size, size_t j) {
  if (size == 6) return j < 3 ? -1 : 1;
  static const int brick[20] = {-1, -1, -1, -1, 1, 1, 1, 1, -1, -1, -1, -1, 0, 0, 0, 0, 1, 1, 1, 1};
  return brick[j];
}

// The solids the solver would expand the deck's shells and beams into:
// element e's node j gets ID 1000 e + j, offset from its element node by
// half the thickness along the normal, or across a 0.02 x 0.04 section in
// y and z (beams).
ccx::FrdMesh expand_by_hand(const ccx::Mesh &mesh, const std::array<double, 3> &normal) {
  ccx::FrdMesh results;
  for (const ccx::Element &element : mesh.elements) {
    const ccx::ElementKind &kind = *element.kind;
    ccx::FrdElement &expanded = results.elements[element.id];
    for (size_t j = 0; j < kind.expansion.size(); ++j) {
      const int id = 1000 * element.id + static_cast<int>(j);
      const size_t node = mesh.node_index.at(mesh.connectivity[element.first_node + kind.expansion[j]]);
      std::array<double, 3> xyz = {mesh.coordinates[3 * node], mesh.coordinates[3 * node + 1],
                                   mesh.coordinates[3 * node + 2]};
      if (kind.family == ccx::Family::Shell) {
        const double side = 0.005 * shell_layer(kind.expansion.size(), j);
        for (int d = 0; d < 3; ++d) xyz[d] += side * normal[d];
      } else {
        static const int across[20] = {-1, -1, 1, 1, -1, -1, 1, 1, -1, 0, 1, 0, -1, -1, 1, 1, -1, 0, 1, 0};
        static const int up[20] = {-1, -1, -1, -1, 1, 1, 1, 1, -1, -1, -1, -1, 0, 0, 0, 0, 1, 1, 1, 1};
        xyz[1] += 0.01 * across[j];
        xyz[2] += 0.02 * up[j];
      }
      expanded.nodes.push_back(id);
      results.coordinates[id] = xyz;
    }
  }
  return results;
}

// Expanded nodes moving rigidly, u = a + w x Y, give each element node the
// translation a + w x X and the rotation w: about every axis, the normal of
// a shell included.
TEST(CcxExpansion, RigidMotionsOfShellsAndBeamsAreExact) {
  const struct {
    const char *name, *elements;
    std::array<double, 3> normal;
  } cases[] = {
      {"tilted triangles", "*ELEMENT,TYPE=S3\n1,1,2,3\n2,2,4,3\n", {-0.6, 0.0, 0.8}},
      {"tilted quadrilateral", "*ELEMENT,TYPE=S8R\n1,1,2,4,3,5,6,7,8\n", {-0.6, 0.0, 0.8}},
      {"beam", "*ELEMENT,TYPE=B32R\n1,1,9,2\n", {0.0, 0.0, 0.0}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    zel_test::ScratchDir dir;
    // Corners in the plane 0.6 x = 0.8 z (normal (-0.6, 0, 0.8)), mid-side
    // nodes halfway; node 9 halfway along the beam.
    std::ofstream(dir.file("job.inp")) << "*NODE\n1,0,0,0\n2,0.8,0,0.6\n3,0,1,0\n4,0.8,1,0.6\n5,0.4,0,0.3\n"
                                          "6,0.8,0.5,0.6\n7,0.4,1,0.3\n8,0,0.5,0\n9,0.4,0,0.3\n"
                                       << c.elements;
    const ccx::Mesh mesh = ccx::read_inp(dir.file("job.inp"));
    const ccx::FrdMesh results = expand_by_hand(mesh, c.normal);
    const ccx::Expansion expansion(mesh, results, "job.frd");

    const std::array<double, 3> a = {0.1, -0.2, 0.3}, w = {0.7, -0.4, 0.5};
    auto rigid = [&](const std::array<double, 3> &x) {
      return std::array<double, 3>{a[0] + w[1] * x[2] - w[2] * x[1], a[1] + w[2] * x[0] - w[0] * x[2],
                                   a[2] + w[0] * x[1] - w[1] * x[0]};
    };
    ccx::ModeResults mode;
    mode.number = 1;
    mode.displacement.width = 3;
    for (const auto &[id, xyz] : results.coordinates) {
      mode.displacement.node_ids.push_back(id);
      const std::array<double, 3> u = rigid(xyz);
      mode.displacement.values.insert(mode.displacement.values.end(), u.begin(), u.end());
    }
    const std::unordered_map<int, ccx::Motion> motions = expansion.motions(mode);
    std::set<int> used(mesh.connectivity.begin(), mesh.connectivity.end());
    ASSERT_EQ(motions.size(), used.size());
    for (const auto &[id, motion] : motions) {
      const size_t node = mesh.node_index.at(id);
      const std::array<double, 3> u =
          rigid({mesh.coordinates[3 * node], mesh.coordinates[3 * node + 1], mesh.coordinates[3 * node + 2]});
      for (int d = 0; d < 3; ++d) {
        EXPECT_NEAR(motion[d], u[d], 1e-13) << "node " << id << ", axis " << d;
        EXPECT_NEAR(motion[3 + d], w[d], 1e-12) << "node " << id << ", axis " << d;
      }
    }
  }
}

TEST(CcxExpansion, RefusesNodesItCannotFit) {
  const struct {
    const char *name, *elements, *message;
  } cases[] = {
      {"folded shells", "*ELEMENT,TYPE=S3\n1,1,2,3\n2,1,3,2\n",
       "job.frd: node 1 has no normal: its shells collapse or fold there"},
      {"missing expanded element", "*ELEMENT,TYPE=S3\n1,1,2,3\n",
       "job.frd: element 1 (S3) is not expanded in the results; the translator takes the motions of shells and "
       "beams from the expanded nodes (*NODE FILE, OUTPUT=3D)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    zel_test::ScratchDir dir;
    std::ofstream(dir.file("job.inp")) << "*NODE\n1,0,0,0\n2,1,0,0\n3,0,1,0\n" << c.elements;
    const ccx::Mesh mesh = ccx::read_inp(dir.file("job.inp"));
    ccx::FrdMesh results = expand_by_hand(mesh, {0.0, 0.0, 1.0});
    if (std::string(c.name) == "missing expanded element") results.elements.clear();
    EXPECT_EQ(input_error_of([&] { ccx::Expansion(mesh, results, "job.frd"); }), c.message);
  }
}

// ---------------------------------------------------------------------
// Models solved by the solver
// ---------------------------------------------------------------------

using Motion = std::array<double, 6>;

// A plate lx x ly of S4 or S8R elements in the plane z = 0, or a beam of
// B31 or B32R elements along x with a rectangular section a (along y, its
// first axis) by b (along z). Nodes sit on a grid of half elements.
struct Model {
  const char *type;
  int nx, ny;  // elements; ny = 0 for a beam
  double lx, ly;
  double thickness;  // plates: t; beams: a, with b = ly
  bool clamped;      // plates along every edge, beams at x = 0
  int modes;
  bool plate() const { return ny > 0; }
  double volume() const { return plate() ? lx * ly * thickness : lx * thickness * ly; }
};

void PrintTo(const Model &model, std::ostream *out) { *out << model.type; }

int grid_id(const Model &model, int i, int j) { return 1 + i + (2 * model.nx + 1) * j; }

std::string model_deck(const Model &model) {
  const bool quadratic = std::string(model.type).find('8') != std::string::npos || model.type[2] == '2';
  const int step = quadratic ? 1 : 2;
  std::ostringstream out;
  out.precision(17);
  out << "*NODE, NSET=NALL\n";
  std::set<int> edge;
  for (int j = 0; j <= 2 * model.ny; j += step)
    for (int i = 0; i <= 2 * model.nx; i += step) {
      if (quadratic && model.plate() && i % 2 == 1 && j % 2 == 1) continue;
      out << grid_id(model, i, j) << ", " << model.lx * i / (2 * model.nx) << ", "
          << (model.plate() ? model.ly * j / (2 * model.ny) : 0.0) << ", 0\n";
      if (model.plate() ? (i == 0 || j == 0 || i == 2 * model.nx || j == 2 * model.ny) : i == 0)
        edge.insert(grid_id(model, i, j));
    }
  out << "*ELEMENT, TYPE=" << model.type << ", ELSET=EALL\n";
  int element = 1;
  for (int j = 0; j < std::max(model.ny, 1); ++j)
    for (int i = 0; i < model.nx; ++i) {
      const int a = 2 * i, b = 2 * j;
      out << element++;
      std::vector<int> nodes;
      if (!model.plate())
        nodes = quadratic ? std::vector<int>{grid_id(model, a, 0), grid_id(model, a + 1, 0), grid_id(model, a + 2, 0)}
                          : std::vector<int>{grid_id(model, a, 0), grid_id(model, a + 2, 0)};
      else
        nodes = {grid_id(model, a, b), grid_id(model, a + 2, b), grid_id(model, a + 2, b + 2),
                 grid_id(model, a, b + 2)};
      if (model.plate() && quadratic)
        for (int id : {grid_id(model, a + 1, b), grid_id(model, a + 2, b + 1), grid_id(model, a + 1, b + 2),
                       grid_id(model, a, b + 1)})
          nodes.push_back(id);
      for (int id : nodes) out << ", " << id;
      out << "\n";
    }
  out << "*NSET, NSET=HELD\n";
  for (int id : edge) out << id << ",\n";
  out << "*MATERIAL, NAME=STEEL\n*ELASTIC\n" << kYoung << ", " << kPoisson << "\n*DENSITY\n" << kDensity << "\n";
  if (model.plate())
    out << "*SHELL SECTION, ELSET=EALL, MATERIAL=STEEL\n" << model.thickness << "\n";
  else
    out << "*BEAM SECTION, ELSET=EALL, MATERIAL=STEEL, SECTION=RECT\n" << model.thickness << ", " << model.ly
        << "\n0, 1, 0\n";
  if (model.clamped) out << "*BOUNDARY\nHELD, 1, 6\n";
  out << "*STEP\n*FREQUENCY\n" << model.modes << "\n*NODE FILE\nU\n*EL FILE\nS\n*END STEP\n";
  return out.str();
}

bool solve(const zel_test::ScratchDir &dir, const std::string &deck) {
  std::ofstream(dir.file("job.inp")) << deck;
  const std::string command = "cd '" + dir.file("") + "' && ccx -i job > ccx.log 2>&1";
  return std::system(command.c_str()) == 0 && std::ifstream(dir.file("job.frd")).good();
}

std::map<int, Motion> motions(Database *db, int mode, int set = 0) {
  const int count = ZEL_ModeNodeCount(db, set);
  std::vector<double> values(6 * static_cast<size_t>(count));
  std::map<int, Motion> by_node;
  if (ZEL_Read_Mode_Double(db, mode, set, values.data()) != 1) return by_node;
  for (int p = 0; p < count; ++p) std::copy_n(values.begin() + 6 * p, 6, by_node[ZEL_ModeNodeID(db, set, p)].begin());
  return by_node;
}

std::array<double, 3> coordinates(Database *db, int id) {
  std::array<double, 3> xyz;
  ZEL_NodeCoordinates(db, ZEL_NodeIndex(db, id), xyz.data());
  return xyz;
}

// The solver's frequencies, and those of the body as a simulation sees it:
// its modal stiffness against the modal mass of the lumped masses and
// inertias (ascending, negative eigenvalues as negative frequencies).
struct Frequencies {
  std::vector<double> solver, lumped;
};

Frequencies frequencies(Database *db) {
  const int n = ZEL_ModeCount(db);
  std::vector<double> k(n * n), m(n * n), w(n), work(64 * n);
  ZEL_GenStiffFull(db, k.data(), n);
  ZEL_GenMassFull(db, m.data(), n);
  Frequencies result;
  auto to_frequency = [](double lambda) { return std::copysign(std::sqrt(std::fabs(lambda)), lambda) / (2 * kPi); };
  for (int i = 0; i < n; ++i) result.solver.push_back(to_frequency(k[i * n + i]));
  const int itype = 1, lwork = static_cast<int>(work.size());
  int info = 0;
  dsygv_(&itype, "N", "U", &n, k.data(), &n, m.data(), &n, w.data(), work.data(), &lwork, &info, 1, 1);
  if (info != 0) return result;
  for (double lambda : w) result.lumped.push_back(to_frequency(lambda));
  return result;
}

Motion cross_offset(const Motion &rigid, const std::array<double, 3> &d) {
  return {rigid[4] * d[2] - rigid[5] * d[1], rigid[5] * d[0] - rigid[3] * d[2], rigid[3] * d[1] - rigid[4] * d[0],
          0.0, 0.0, 0.0};
}

// Every node of a rigid-body mode moves as a node that turns does: the
// same rotation (where the node turns at all: solids' nodes have no
// rotations), and the translation of that rotation about the node. Gives
// the number of nodes that turn.
int expect_rigid(Database *db, int mode) {
  const std::map<int, Motion> shape = motions(db, mode);
  auto turns = [](const Motion &motion) { return motion[3] != 0.0 || motion[4] != 0.0 || motion[5] != 0.0; };
  const auto reference =
      std::find_if(shape.begin(), shape.end(), [&](const auto &entry) { return turns(entry.second); });
  if (reference == shape.end()) {
    ADD_FAILURE() << "no node turns in mode " << mode;
    return 0;
  }
  const Motion &first = reference->second;
  const std::array<double, 3> origin = coordinates(db, reference->first);
  double largest_translation = 0.0, largest_rotation = 0.0, translation_error = 0.0, rotation_error = 0.0;
  int turning = 0;
  for (const auto &[id, motion] : shape) {
    const std::array<double, 3> x = coordinates(db, id);
    const Motion turned = cross_offset(first, {x[0] - origin[0], x[1] - origin[1], x[2] - origin[2]});
    const bool rotates = turns(motion);
    turning += rotates;
    for (int d = 0; d < 3; ++d) {
      largest_translation = std::max(largest_translation, std::fabs(motion[d]));
      largest_rotation = std::max(largest_rotation, std::fabs(motion[3 + d]));
      translation_error = std::max(translation_error, std::fabs(motion[d] - first[d] - turned[d]));
      if (rotates) rotation_error = std::max(rotation_error, std::fabs(motion[3 + d] - first[3 + d]));
    }
  }
  EXPECT_LT(translation_error, 1e-3 * largest_translation) << "mode " << mode;
  EXPECT_LT(rotation_error, 1e-3 * largest_rotation) << "mode " << mode;
  return turning;
}

// At every node with neighbours on both sides along x (and y), the
// rotations are the slopes of the normal translation: theta_y = -dw/dx,
// theta_x = dw/dy for a plate; theta_z = dv/dx and theta_y = -dw/dx for a
// beam. Central differences; `tolerance` of the largest rotation.
void expect_slopes(Database *db, const Model &model, int mode, double tolerance) {
  const std::map<int, Motion> shape = motions(db, mode);
  double largest = 0.0, worst = 0.0;
  int checked = 0;
  const bool quadratic = model.type[2] == '2' || std::string(model.type).find('8') != std::string::npos;
  const int step = quadratic ? 1 : 2;
  for (const auto &[id, motion] : shape) {
    for (int d = 3; d < 6; ++d) largest = std::max(largest, std::fabs(motion[d]));
    const int i = (id - 1) % (2 * model.nx + 1), j = (id - 1) / (2 * model.nx + 1);
    const auto left = shape.find(grid_id(model, i - step, j)), right = shape.find(grid_id(model, i + step, j));
    if (i < step || i + step > 2 * model.nx || left == shape.end() || right == shape.end()) continue;
    const double hx = 2 * step * model.lx / (2 * model.nx);
    double expected[3] = {NAN, -(right->second[2] - left->second[2]) / hx, NAN};
    if (!model.plate()) expected[2] = (right->second[1] - left->second[1]) / hx;
    const auto below = shape.find(grid_id(model, i, j - step)), above = shape.find(grid_id(model, i, j + step));
    if (model.plate()) {
      if (j < step || j + step > 2 * model.ny || below == shape.end() || above == shape.end()) continue;
      expected[0] = (above->second[2] - below->second[2]) / (2 * step * model.ly / (2 * model.ny));
    }
    for (int d = 0; d < 3; ++d)
      if (!std::isnan(expected[d])) worst = std::max(worst, std::fabs(motion[3 + d] - expected[d]));
    ++checked;
  }
  EXPECT_GT(checked, 3);
  EXPECT_LT(worst, tolerance * largest) << "mode " << mode;
}

class CcxStructuralModel : public ::testing::TestWithParam<Model> {
 protected:
  void SetUp() override {
    if (!zel_test::solver_present()) GTEST_SKIP() << "ccx is not installed";
  }
};

// Free bodies: the mass of their volume, six rigid-body modes moving every
// node alike, elastic frequencies near the solver's, and rotations that
// are the slopes of the translations.
TEST_P(CcxStructuralModel, FreeBodyTranslatesWithRotations) {
  const Model model = GetParam();
  zel_test::ScratchDir dir;
  ASSERT_TRUE(solve(dir, model_deck(model))) << zel_test::read_text_file(dir.file("ccx.log"));
  const Translated body(dir.file("job"));
  ASSERT_NE(body.db, nullptr);
  Database *db = body.db;

  const bool quadratic = model.type[2] == '2' || std::string(model.type).find('8') != std::string::npos;
  const int per_row = quadratic ? 2 * model.nx + 1 : model.nx + 1;
  const int rows = model.plate() ? (quadratic ? model.ny + 1 : model.ny + 1) : 1;
  const int mid_rows = model.plate() && quadratic ? model.ny : 0;
  EXPECT_EQ(ZEL_NodeCount(db), per_row * rows + mid_rows * (model.nx + 1));  // the model's own nodes only

  const double mass = kDensity * model.volume();
  double nodal_sum = 0.0;
  for (int i = 0; i < ZEL_NodeCount(db); ++i) nodal_sum += ZEL_NodalMass(db, i);
  EXPECT_NEAR(nodal_sum, mass, 1e-12 * mass);
  EXPECT_NEAR(body.summary.mass, mass, 1e-12 * mass);

  ASSERT_EQ(ZEL_ModeCount(db), model.modes);
  const Frequencies f = frequencies(db);
  ASSERT_EQ(f.lumped.size(), f.solver.size());
  for (int mode = 1; mode <= 6; ++mode) {
    EXPECT_LT(std::fabs(f.solver[mode - 1]), 1e-3 * f.solver[6]) << "mode " << mode;
    EXPECT_EQ(expect_rigid(db, mode), ZEL_NodeCount(db)) << "mode " << mode;
  }
  // The rigid-body modes' modal mass is the body's mass and inertia: for
  // the turn of a beam about its axis, the section's rotary inertia alone.
  std::vector<double> modal_mass(model.modes * model.modes);
  ZEL_GenMassFull(db, modal_mass.data(), model.modes);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j)
      EXPECT_NEAR(modal_mass[i * model.modes + j], i == j ? 1.0 : 0.0, 0.01) << "modes " << i + 1 << ", " << j + 1;
  std::ostringstream shifts;
  for (int mode = 7; mode <= 12; ++mode) {
    EXPECT_NEAR(f.lumped[mode - 1], f.solver[mode - 1], 0.03 * f.solver[mode - 1]) << "mode " << mode;
    shifts << " " << 100 * (f.lumped[mode - 1] / f.solver[mode - 1] - 1) << "%";
  }
  std::cout << model.type << " free: solver " << f.solver[6] << " Hz; lumped shifts of modes 7-12:" << shifts.str()
            << "\n";
  expect_slopes(db, model, 7, 0.015);
}

INSTANTIATE_TEST_SUITE_P(, CcxStructuralModel,
                         ::testing::Values(Model{"S8R", 12, 9, 0.4, 0.3, 0.004, false, 12},
                                           Model{"S4", 20, 15, 0.4, 0.3, 0.004, false, 12},
                                           Model{"B32R", 10, 0, 1.0, 0.03, 0.02, false, 12},
                                           Model{"B31", 20, 0, 1.0, 0.03, 0.02, false, 12}),
                         [](const ::testing::TestParamInfo<Model> &info) { return std::string(info.param.type); });

using CcxClampedModel = CcxStructuralModel;

// Clamped bodies against theory, through the lumped masses: the square
// plate's first frequency (35.985 / a^2 sqrt(D / rho t)) and the
// cantilever's first bending about each axis (Euler-Bernoulli).
TEST_F(CcxClampedModel, FrequenciesOfTheLumpedBodyMatchTheory) {
  const Model plate{"S8R", 16, 16, 0.2, 0.2, 0.002, true, 2};
  const Model beam{"B32", 10, 0, 0.5, 0.02, 0.01, true, 2};
  const double rigidity = kYoung * std::pow(plate.thickness, 3) / (12 * (1 - kPoisson * kPoisson));
  const double plate_first = 35.985 / (plate.lx * plate.lx) * std::sqrt(rigidity / (kDensity * plate.thickness)) /
                             (2 * kPi);
  // a = 0.01 along y, b = 0.02 along z: bending along y is the weaker.
  const double area = beam.thickness * beam.ly, factor = 1.8751040687119611 * 1.8751040687119611 /
                                                          (2 * kPi * beam.lx * beam.lx);
  const double weak = factor * std::sqrt(kYoung * beam.ly * std::pow(beam.thickness, 3) / 12 / (kDensity * area));
  const double strong = factor * std::sqrt(kYoung * beam.thickness * std::pow(beam.ly, 3) / 12 / (kDensity * area));
  const struct {
    Model model;
    std::vector<double> expected;
  } cases[] = {{plate, {plate_first}}, {beam, {weak, strong}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.model.type);
    zel_test::ScratchDir dir;
    ASSERT_TRUE(solve(dir, model_deck(c.model))) << zel_test::read_text_file(dir.file("ccx.log"));
    const Translated body(dir.file("job"));
    ASSERT_NE(body.db, nullptr);
    const Frequencies f = frequencies(body.db);
    ASSERT_EQ(f.lumped.size(), 2u);
    for (size_t m = 0; m < c.expected.size(); ++m) {
      EXPECT_NEAR(f.lumped[m], c.expected[m], 0.02 * c.expected[m]) << "mode " << m + 1;
      std::cout << c.model.type << " clamped mode " << m + 1 << ": theory " << c.expected[m] << ", solver "
                << f.solver[m] << ", lumped " << f.lumped[m] << " Hz\n";
    }
  }
}

using CcxOffsetBeams = CcxStructuralModel;

// Cantilevers of each profile, in four orientations, with OFFSET1 = 0.3
// and OFFSET2 = -0.2: the solids the solver expands them into have their
// section's centre where section_centre puts it, along the first axis and
// along the tangent x the first axis.
TEST_F(CcxOffsetBeams, SolverPutsTheSectionWhereTheTranslatorDoes) {
  zel_test::ScratchDir dir;
  std::ostringstream deck;
  deck << "*NODE\n1,0,0,0\n2,0.1,0,0\n3,0.2,0,0\n4,0.2,0.2,0\n5,0.1,0.2,0\n6,0,0.2,0\n"
          "7,0.5,0,0\n8,0.5,0.1,0\n9,0.5,0.2,0\n10,0.8,0,0\n11,0.8,0,0.1\n12,0.8,0,0.2\n";
  const struct {
    const char *profile, *dimensions, *first_axis;
  } beams[] = {{"RECT", "0.02,0.04", "0,1,0"},
               {"CIRC", "0.02,0.04", "0,1,0"},
               {"PIPE", "0.02,0.005", "0,0,1"},
               {"BOX", "0.05,0.02,0.004,0.003,0.002,0.001", "1,0,0"}};
  for (int e = 0; e < 4; ++e)
    deck << "*ELEMENT,TYPE=B32R,ELSET=E" << e << "\n"
         << e + 1 << "," << 3 * e + 1 << "," << 3 * e + 2 << "," << 3 * e + 3 << "\n"
         << "*BEAM SECTION,ELSET=E" << e << ",MATERIAL=STEEL,SECTION=" << beams[e].profile
         << ",OFFSET1=0.3,OFFSET2=-0.2\n"
         << beams[e].dimensions << "\n" << beams[e].first_axis << "\n";
  deck << "*MATERIAL,NAME=STEEL\n*ELASTIC\n" << kYoung << "," << kPoisson << "\n*DENSITY\n" << kDensity << "\n"
       << "*BOUNDARY\n1,1,6\n4,1,6\n7,1,6\n10,1,6\n*STEP\n*FREQUENCY\n1\n*NODE FILE\nU\n*END STEP\n";
  ASSERT_TRUE(solve(dir, deck.str())) << zel_test::read_text_file(dir.file("ccx.log"));

  const ccx::Mesh mesh = ccx::read_inp(dir.file("job.inp"));
  const ccx::FrdMesh expanded =
      ccx::parse_frd_mesh(zel_test::read_text_file(dir.file("job.frd")), dir.file("job.frd"));
  ASSERT_EQ(mesh.beam_sections.size(), 4u);
  auto position = [&](int id) {
    const size_t i = mesh.node_index.at(id);
    return std::array<double, 3>{mesh.coordinates[3 * i], mesh.coordinates[3 * i + 1], mesh.coordinates[3 * i + 2]};
  };
  for (const ccx::Element &element : mesh.elements) {
    const ccx::BeamSection &section = mesh.beam_sections[element.id - 1];
    SCOPED_TRACE(beams[element.id - 1].profile);
    const int *nodes = &mesh.connectivity[element.first_node];
    const std::array<double, 3> start = position(nodes[0]), end = position(nodes[2]);
    const std::array<double, 3> &axis1 = section.first_axis;
    std::array<double, 3> tangent;
    for (int d = 0; d < 3; ++d) tangent[d] = (end[d] - start[d]) / 0.2;
    const std::array<double, 3> axis2 = {tangent[1] * axis1[2] - tangent[2] * axis1[1],
                                         tangent[2] * axis1[0] - tangent[0] * axis1[2],
                                         tangent[0] * axis1[1] - tangent[1] * axis1[0]};
    // The middle of the expanded nodes' spread across the section, each
    // measured from the beam node it was made from.
    ASSERT_EQ(expanded.elements.count(element.id), 1u);
    const std::vector<int> &solids = expanded.elements.at(element.id).nodes;
    ASSERT_EQ(solids.size(), element.kind->expansion.size());
    std::array<double, 2> low = {INFINITY, INFINITY}, high = {-INFINITY, -INFINITY};
    for (size_t j = 0; j < solids.size(); ++j) {
      const std::array<double, 3> from = position(nodes[element.kind->expansion[j]]);
      const std::array<double, 3> &at = expanded.coordinates.at(solids[j]);
      const std::array<double, 3> *axes[2] = {&axis1, &axis2};
      for (int a = 0; a < 2; ++a) {
        double along = 0.0;
        for (int d = 0; d < 3; ++d) along += (at[d] - from[d]) * (*axes[a])[d];
        low[a] = std::min(low[a], along);
        high[a] = std::max(high[a], along);
      }
    }
    const std::array<double, 2> centre = ccx::section_centre(section);
    EXPECT_NE(centre[0], 0.0);
    EXPECT_NE(centre[1], 0.0);
    for (int a = 0; a < 2; ++a) EXPECT_NEAR(0.5 * (low[a] + high[a]), centre[a], 2e-6) << "axis " << a + 1;
  }
}

// A solid block 0.1 x 0.1 x 0.05 of 2 x 2 x 2 C3D20R with a flange of
// 5 x 2 S8R, 0.25 x 0.1 x 0.004 at mid-height, from x = 0.05 inside the
// block (sharing its nodes there: shells that met solids only along a line
// would hinge on it) to x = 0.3. Node IDs on a lattice of quarter cells.
std::string mixed_deck() {
  auto id = [](int i, int j, int k) { return 1 + i + 13 * (j + 5 * k); };
  std::ostringstream out;
  out.precision(17);
  std::set<int> nodes;
  std::vector<std::vector<int>> bricks, shells;
  const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                            {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  for (int k = 0; k < 4; k += 2)
    for (int j = 0; j < 4; j += 2)
      for (int i = 0; i < 4; i += 2) {
        const int c[8][3] = {{i, j, k},         {i + 2, j, k},     {i + 2, j + 2, k},     {i, j + 2, k},
                             {i, j, k + 2},     {i + 2, j, k + 2}, {i + 2, j + 2, k + 2}, {i, j + 2, k + 2}};
        std::vector<int> brick;
        for (const auto &p : c) brick.push_back(id(p[0], p[1], p[2]));
        for (const auto &e : edges)
          brick.push_back(id((c[e[0]][0] + c[e[1]][0]) / 2, (c[e[0]][1] + c[e[1]][1]) / 2,
                             (c[e[0]][2] + c[e[1]][2]) / 2));
        bricks.push_back(brick);
      }
  for (int j = 0; j < 4; j += 2)
    for (int i = 2; i < 12; i += 2)
      shells.push_back({id(i, j, 2), id(i + 2, j, 2), id(i + 2, j + 2, 2), id(i, j + 2, 2), id(i + 1, j, 2),
                        id(i + 2, j + 1, 2), id(i + 1, j + 2, 2), id(i, j + 1, 2)});
  for (const auto &element : bricks) nodes.insert(element.begin(), element.end());
  for (const auto &element : shells) nodes.insert(element.begin(), element.end());
  out << "*NODE, NSET=NALL\n";
  for (int n : nodes) {
    const int i = (n - 1) % 13, j = (n - 1) / 13 % 5, k = (n - 1) / 65;
    out << n << ", " << 0.025 * i << ", " << 0.025 * j << ", " << 0.0125 * k << "\n";
  }
  int number = 1;
  out << "*ELEMENT, TYPE=C3D20R, ELSET=BLOCK\n";
  for (const auto &element : bricks) {
    out << number++;
    for (size_t k = 0; k < element.size(); ++k) out << (k == 15 ? ",\n" : ", ") << element[k];
    out << "\n";
  }
  out << "*ELEMENT, TYPE=S8R, ELSET=FLANGE\n";
  for (const auto &element : shells) {
    out << number++;
    for (int n : element) out << ", " << n;
    out << "\n";
  }
  out << "*MATERIAL, NAME=STEEL\n*ELASTIC\n" << kYoung << ", " << kPoisson << "\n*DENSITY\n" << kDensity << "\n"
      << "*SOLID SECTION, ELSET=BLOCK, MATERIAL=STEEL\n*SHELL SECTION, ELSET=FLANGE, MATERIAL=STEEL\n0.004\n"
      << "*STEP\n*FREQUENCY\n8\n*NODE FILE\nU\n*EL FILE\nS\n*END STEP\n";
  return out.str();
}

class CcxMixedModel : public CcxStructuralModel {};

// One node table for both families: the block's nodes and the flange's,
// the shared ones once; every node moves and turns in every mode, and the
// flange's nodes hold the stresses of its top surface.
TEST_F(CcxMixedModel, SolidAndShellShareOneNodeTable) {
  zel_test::ScratchDir dir;
  const std::string deck = mixed_deck();
  ASSERT_TRUE(solve(dir, deck)) << zel_test::read_text_file(dir.file("ccx.log"));
  const Translated body(dir.file("job"));
  ASSERT_NE(body.db, nullptr);
  Database *db = body.db;

  // Block: 5 x 5 corner layers of 5 x 5 minus the 2 x 2 face centres each,
  // 2 mid layers of 3 x 3; flange: 4 columns of 5 beyond the block and 4 of 3.
  const int block = 3 * (25 - 4) + 2 * 9, flange = 4 * 5 + 4 * 3;
  EXPECT_EQ(ZEL_NodeCount(db), block + flange);
  const double volume = 0.1 * 0.1 * 0.05 + 0.25 * 0.1 * 0.004;
  EXPECT_NEAR(body.summary.mass, kDensity * volume, 1e-12 * kDensity * volume);
  int faces = 0, size = 0;
  ZEL_FaceListSize(db, &faces, &size);
  EXPECT_EQ(faces, 2 * 2 * 6 + 10);  // the block's skin and the flange's shells

  // The flange's nodes turn, the block's own do not.
  const int flange_turning = flange + 5 + 3 + 5;
  for (int mode = 1; mode <= 6; ++mode) EXPECT_EQ(expect_rigid(db, mode), flange_turning) << "mode " << mode;
  const Frequencies f = frequencies(db);
  std::cout << "mixed: lumped shift of mode 7: " << 100 * (f.lumped[6] / f.solver[6] - 1) << "%\n";

  const std::map<int, Motion> shape = motions(db, 7);
  EXPECT_EQ(shape.size(), static_cast<size_t>(ZEL_NodeCount(db)));
  const int tip = 1 + 12 + 13 * (2 + 5 * 2);  // the flange's free edge, y = 0.05
  ASSERT_EQ(shape.count(tip), 1u);
  EXPECT_GT(std::fabs(shape.at(tip)[2]), 0.0);
  EXPECT_EQ(ZEL_ModeNodeCount(db, 1), ZEL_NodeCount(db));  // stresses at the flange's nodes too

  // Beyond the block, the flange's nodes hold the stresses the solver
  // gives the expanded node above them, on the top surface z = 0.027.
  const std::string frd = dir.file("job.frd");
  const ccx::FrdMesh expanded = ccx::parse_frd_mesh(zel_test::read_text_file(frd), frd);
  std::vector<ccx::ModeResults> results = ccx::read_frd(frd);
  const auto mode7 = std::find_if(results.begin(), results.end(), [](const auto &r) { return r.number == 7; });
  ASSERT_NE(mode7, results.end());
  std::map<int, size_t> row;
  for (size_t r = 0; r < mode7->stress.node_ids.size(); ++r) row[mode7->stress.node_ids[r]] = r;
  auto node_at = [&](const std::array<double, 3> &x) {
    for (const auto &[id, xyz] : expanded.coordinates)
      if (std::fabs(xyz[0] - x[0]) + std::fabs(xyz[1] - x[1]) + std::fabs(xyz[2] - x[2]) < 1e-9) return id;
    return 0;
  };
  int compared = 0;
  for (const auto &[id, stress] : motions(db, 7, 1)) {
    const std::array<double, 3> x = coordinates(db, id);
    if (x[0] < 0.1 + 1e-9) continue;
    const int above = node_at({x[0], x[1], 0.027});
    ASSERT_EQ(row.count(above), 1u) << "node " << id;
    for (int c = 0; c < 6; ++c) EXPECT_EQ(stress[c], mode7->stress.values[6 * row.at(above) + c]) << "node " << id;
    ++compared;
  }
  EXPECT_EQ(compared, flange);
}

class CcxPlainResults : public CcxStructuralModel {};

// Results written on the model's own nodes carry no rotations: the
// translation stops and says which output it needs.
TEST_F(CcxPlainResults, AreRefusedWithTheOutputTheyNeed) {
  zel_test::ScratchDir dir;
  std::string deck = model_deck(Model{"S4", 2, 2, 0.2, 0.2, 0.004, false, 7});
  const std::string request = "*NODE FILE\n";
  deck.replace(deck.find(request), request.size(), "*NODE FILE, OUTPUT=2D\n");
  ASSERT_TRUE(solve(dir, deck)) << zel_test::read_text_file(dir.file("ccx.log"));
  ccx::Request job;
  job.job = dir.file("job");
  ccx::Summary summary;
  EXPECT_EQ(input_error_of([&] { ccx::build_database(job, summary); }),
            dir.file("job.frd") +
                ": element 1 (S4) is not expanded in the results; the translator takes the motions of shells and "
                "beams from the expanded nodes (*NODE FILE, OUTPUT=3D)");
}

}  // namespace
