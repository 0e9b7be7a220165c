// The nine inertia invariants: a closed-form body, the plain sums over
// nodes on bodies with everything that changes them (masses of every
// sign, inertias, rotations, one mode, blocks smaller than the nodes, a
// mode-shape set that leaves nodes out), the file's blocks and their
// units, and what becomes of computed values when the body changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "capture.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using Matrix3 = std::array<double, 9>;

// Takes a caller's array and releases it.
std::vector<double> taken(double *values, std::size_t count) {
  std::vector<double> copy;
  if (values != nullptr) copy.assign(values, values + count);
  ZEL_FreeMemory(values);
  return copy;
}

// The invariants (all but 6) in file order.
struct Invariants {
  double i1 = 0.0;
  std::vector<double> i2, i3, i4, i5, i7, i8, i9;
};

Invariants queried(Database *db) {
  const int m = ZEL_ModeCount(db);
  const std::size_t mm = static_cast<std::size_t>(m);
  Invariants q;
  q.i1 = ZEL_Invar1(db);
  q.i2 = taken(ZEL_Invar2(db), 3);
  q.i3 = taken(ZEL_Invar3(db), 3 * mm);
  q.i4 = taken(ZEL_Invar4(db), 3 * mm);
  q.i7 = taken(ZEL_Invar7(db), 9);
  for (int i = 0; i < m; ++i) {
    const std::vector<double> row = taken(ZEL_Invar5(db, i), 3 * mm);
    q.i5.insert(q.i5.end(), row.begin(), row.end());
    const std::vector<double> cell = taken(ZEL_Invar8(db, i), 9);
    q.i8.insert(q.i8.end(), cell.begin(), cell.end());
    for (int j = 0; j < m; ++j) {
      const std::vector<double> pair = taken(ZEL_Invar9(db, i, j), 9);
      q.i9.insert(q.i9.end(), pair.begin(), pair.end());
    }
  }
  return q;
}

// a~ b~ = b a^T - (a . b) I, scaled by s, added to out.
void add_skew_product(const double *a, const double *b, double s, double *out) {
  const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[3 * r + c] += s * (b[r] * a[c] - (r == c ? dot : 0.0));
}

void add_cross(const double *a, const double *b, double s, double *out, std::size_t stride) {
  out[0] += s * (a[1] * b[2] - a[2] * b[1]);
  out[stride] += s * (a[2] * b[0] - a[0] * b[2]);
  out[2 * stride] += s * (a[0] * b[1] - a[1] * b[0]);
}

// The sums as written, node by node and pair by pair, through the public
// queries only.
Invariants plain_sums(Database *db) {
  const int m = ZEL_ModeCount(db);
  const std::size_t mm = static_cast<std::size_t>(m);
  const int nodes = ZEL_NodeCount(db);
  const int shaped = ZEL_ModeNodeCount(db, 0);
  Invariants s;
  s.i2.assign(3, 0.0);
  s.i7.assign(9, 0.0);
  s.i3.assign(3 * mm, 0.0);
  s.i4.assign(3 * mm, 0.0);
  s.i5.assign(3 * mm * mm, 0.0);
  s.i8.assign(9 * mm, 0.0);
  s.i9.assign(9 * mm * mm, 0.0);
  std::vector<double> mass(static_cast<std::size_t>(nodes));
  std::vector<double> x(3 * mass.size());
  std::vector<Matrix3> inertia(mass.size());
  for (int p = 0; p < nodes; ++p) {
    ZEL_NodalMassAndGeometry(db, p, &mass[p], &x[3 * p]);
    ZEL_NodalInertia(db, p, inertia[p].data());
    s.i1 += mass[p];
    for (int a = 0; a < 3; ++a) s.i2[a] += mass[p] * x[3 * p + a];
    add_skew_product(&x[3 * p], &x[3 * p], -mass[p], s.i7.data());
    for (int k = 0; k < 9; ++k) s.i7[k] += inertia[p][k];
  }
  std::vector<std::vector<double>> phi(mm), theta(mm);
  for (std::size_t i = 0; i < mm; ++i) {
    phi[i].resize(3 * static_cast<std::size_t>(shaped));
    theta[i].resize(phi[i].size());
    ZEL_Mode(db, ZEL_ModeNumber(db, static_cast<int>(i)), 0, phi[i].data(), 0);
    ZEL_Mode(db, ZEL_ModeNumber(db, static_cast<int>(i)), 0, theta[i].data(), 1);
  }
  for (std::size_t i = 0; i < mm; ++i)
    for (int p = 0; p < shaped; ++p) {
      const double *f = &phi[i][3 * p];
      for (int a = 0; a < 3; ++a) s.i3[a * mm + i] += mass[p] * f[a];
      add_cross(&x[3 * p], f, mass[p], &s.i4[i], mm);
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) s.i4[a * mm + i] += inertia[p][3 * a + b] * theta[i][3 * p + b];
      add_skew_product(&x[3 * p], f, mass[p], &s.i8[9 * i]);
      for (std::size_t j = 0; j < mm; ++j) {
        add_cross(f, &phi[j][3 * p], mass[p], &s.i5[3 * mm * i + j], mm);
        add_skew_product(f, &phi[j][3 * p], mass[p], &s.i9[9 * (i * mm + j)]);
      }
    }
  return s;
}

// Within 1e-12 of the largest expected entry, or of `scale` when that is
// larger (for sums that cancel to nothing).
void expect_near_all(const std::vector<double> &actual, const std::vector<double> &expected, const char *name,
                     double scale = 0.0) {
  ASSERT_EQ(actual.size(), expected.size()) << name;
  double largest = scale;
  for (double value : expected) largest = std::max(largest, std::fabs(value));
  for (std::size_t k = 0; k < actual.size(); ++k)
    EXPECT_NEAR(actual[k], expected[k], 1e-12 * std::max(largest, 1e-300)) << name << " entry " << k;
}

void expect_equal_sums(const Invariants &q, const Invariants &s) {
  EXPECT_NEAR(q.i1, s.i1, 1e-12 * std::fabs(s.i1));
  expect_near_all(q.i2, s.i2, "invariant 2");
  expect_near_all(q.i3, s.i3, "invariant 3");
  expect_near_all(q.i4, s.i4, "invariant 4");
  expect_near_all(q.i5, s.i5, "invariant 5");
  expect_near_all(q.i7, s.i7, "invariant 7");
  expect_near_all(q.i8, s.i8, "invariant 8");
  expect_near_all(q.i9, s.i9, "invariant 9");
}

// A body of `nodes` random nodes and `modes` random modes; every fifth
// node has no mass (the first has one), one a negative one, every third an
// inertia.
Database *random_body(int nodes, int modes, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  Database *db = ZEL_Create(nodes, modes);
  for (int p = 0; p < nodes; ++p) {
    const int id = 1000 + 7 * p;
    ZEL_SetNodeCoordinates(db, id, value(random), value(random), value(random));
    if (p % 5 != 4) ZEL_SetNodalMass(db, id, p == 3 ? -0.5 : 1.0 + std::fabs(value(random)));
    if (p % 3 == 0)
      ZEL_SetNodalInertia(db, id, 2.0 + value(random), 3.0 + value(random), 2.5 + value(random),
                          0.1 * value(random), 0.1 * value(random), 0.1 * value(random));
  }
  for (int i = 0; i < modes; ++i)
    for (int p = 0; p < nodes; ++p)
      ZEL_SetMode(db, 11 + i, 1000 + 7 * p, 0, value(random), value(random), value(random), value(random),
                  value(random), value(random));
  return db;
}

class InvariantsTest : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }
  zel_test::ScratchDir dir;
};

// Masses 1 at (1, 0, 0) and 3 at (-1, 0, 0), the first with Izz 0.5;
// mode 0 a unit translation along x, mode 1 a unit rotation about z.
TEST_F(InvariantsTest, ARigidBarHasItsHandComputedInvariants) {
  Database *db = ZEL_Create(2, 2);
  ZEL_SetNodeCoordinates(db, 1, 1.0, 0.0, 0.0);
  ZEL_SetNodeCoordinates(db, 2, -1.0, 0.0, 0.0);
  ZEL_SetNodalMass(db, 1, 1.0);
  ZEL_SetNodalMass(db, 2, 3.0);
  ZEL_SetNodalInertia(db, 1, 0.0, 0.0, 0.5, 0.0, 0.0, 0.0);
  ZEL_SetMode(db, 1, 1, 0, 1, 0, 0, 0, 0, 0);
  ZEL_SetMode(db, 1, 2, 0, 1, 0, 0, 0, 0, 0);
  ZEL_SetMode(db, 2, 1, 0, 0, 1, 0, 0, 0, 1);
  ZEL_SetMode(db, 2, 2, 0, 0, -1, 0, 0, 0, 1);
  const Invariants q = queried(db);
  EXPECT_EQ(q.i1, 4.0);
  EXPECT_EQ(q.i2, (std::vector<double>{-2, 0, 0}));
  EXPECT_EQ(q.i3, (std::vector<double>{4, 0, 0, -2, 0, 0}));  // (a, i) at a * 2 + i
  EXPECT_EQ(q.i4, (std::vector<double>{0, 0, 0, 0, 0, 4.5}));
  EXPECT_EQ(q.i5, (std::vector<double>{0, 0, 0, 0, 0, -2, 0, 0, 0, 0, 2, 0}));
  EXPECT_EQ(q.i7, (std::vector<double>{0, 0, 0, 0, 4, 0, 0, 0, 4.5}));
  EXPECT_EQ(q.i8, (std::vector<double>{0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 0, 0}));
  EXPECT_EQ(q.i9, (std::vector<double>{0, 0, 0, 0, -4, 0, 0, 0, -4,   // (0, 0)
                                       0, 0, 0, -2, 0, 0, 0, 0, 0,    // (0, 1)
                                       0, -2, 0, 0, 0, 0, 0, 0, 0,    // (1, 0)
                                       -4, 0, 0, 0, 0, 0, 0, 0, -4}));  // (1, 1)
}

struct SumsCase {
  int nodes;
  int modes;
  const char *budget_mib;  // for the blocks of mode data, null for the default
};

class InvariantSums : public InvariantsTest, public ::testing::WithParamInterface<SumsCase> {};

TEST_P(InvariantSums, EqualThePlainSumsAndHaveTheirSymmetries) {
  const SumsCase &c = GetParam();
  zel_test::ScopedEnv budget("ZEL_INVARIANT_MEMORY",
                             c.budget_mib ? std::optional<std::string>(c.budget_mib) : std::nullopt);
  Database *db = random_body(c.nodes, c.modes, 17u + static_cast<unsigned>(c.modes));
  const Invariants q = queried(db);
  expect_equal_sums(q, plain_sums(db));
  const std::size_t m = static_cast<std::size_t>(c.modes);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < m; ++j) {
      for (std::size_t a = 0; a < 3; ++a)
        EXPECT_EQ(q.i5[3 * m * i + a * m + j], -q.i5[3 * m * j + a * m + i]) << "5 is antisymmetric";
      for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
          EXPECT_EQ(q.i9[9 * (i * m + j) + 3 * r + col], q.i9[9 * (j * m + i) + 3 * col + r])
              << "9 (j, i) is the transpose of (i, j)";
    }
}

// 1 MiB takes the 20,000 nodes in blocks of about 2,500.
INSTANTIATE_TEST_SUITE_P(Bodies, InvariantSums,
                         ::testing::Values(SumsCase{1, 1, nullptr}, SumsCase{12, 1, nullptr},
                                           SumsCase{40, 7, nullptr}, SumsCase{20000, 7, "1"}));

TEST_F(InvariantsTest, ModalInvariantsNeedModesAndAModeIndexInRange) {
  Database *db = random_body(5, 0, 3);
  const Invariants s = plain_sums(db);
  EXPECT_NEAR(ZEL_Invar1(db), s.i1, 1e-12 * s.i1);
  for (double *none : {ZEL_Invar3(db), ZEL_Invar4(db), ZEL_Invar5(db, 0), ZEL_Invar8(db, 0), ZEL_Invar9(db, 0, 0)})
    EXPECT_EQ(none, nullptr);
  Database *moving = random_body(5, 2, 3);
  for (double *none : {ZEL_Invar5(moving, 2), ZEL_Invar5(moving, -1), ZEL_Invar8(moving, 2), ZEL_Invar9(moving, 0, 2),
                       ZEL_Invar9(moving, -1, 0)})
    EXPECT_EQ(none, nullptr);
  const zel_test::Printed printed = zel_test::capture([] { EXPECT_EQ(ZEL_Invar2(nullptr), nullptr); });
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
}

TEST_F(InvariantsTest, WithoutNodalMassesTheModalInvariantsAreZero) {
  Database *db = ZEL_Create(2, 1);
  ZEL_SetNodeCoordinates(db, 1, 1.0, 2.0, 3.0);
  ZEL_SetNodalInertia(db, 1, 1, 1, 1, 0, 0, 0);
  ZEL_SetMode(db, 1, 1, 0, 1, 1, 1, 1, 1, 1);
  ZEL_SetGlobalMass(db, 10.0, std::array<double, 3>{1, 2, 3}.data(), std::array<double, 9>{}.data());
  const Invariants q = queried(db);
  EXPECT_EQ(q.i1, 10.0);
  EXPECT_EQ(q.i2, (std::vector<double>{10, 20, 30}));
  EXPECT_EQ(q.i3, std::vector<double>(3, 0.0));
  EXPECT_EQ(q.i4, std::vector<double>(3, 0.0));
  EXPECT_EQ(q.i9, std::vector<double>(9, 0.0));
}

// A file whose mode shapes list two of three nodes: the rigid invariants
// sum over all three, the modal ones over the two.
TEST_F(InvariantsTest, ModalSumsRunOverTheNodesThatCarryModeShapes) {
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.nodes.pop_back();
  body.faces = zel_test::FaceList{1, {3, 0, 1, 2}};
  body.interface_nodes = std::vector<int32_t>{0, 2};
  body.mode_shapes->node_ids = {20, 30};
  body.invariants = false;
  const std::string path = dir.file("partial.zel");
  ASSERT_TRUE(zel_test::write_zel_file(body, path));
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  const Invariants s = plain_sums(db);
  EXPECT_EQ(s.i1, 1.5 + 2.5 + 3.5);
  expect_equal_sums(queried(db), s);
}

TEST_F(InvariantsTest, TheNodalDataCanBeAskedForInsteadOfTheFilesBlocks) {
  const std::string path = dir.file("recomputed.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ZEL_Invar1(db), 0.25) << "the file's block";
  ASSERT_EQ(ZEL_SetInvar2(db, std::array<double, 3>{1, 2, 3}.data()), 1);
  ASSERT_EQ(ZEL_ComputeInvariantsFromNodes(db), 1);
  const Invariants s = plain_sums(db);
  EXPECT_EQ(ZEL_Invar1(db), s.i1);
  EXPECT_EQ(taken(ZEL_Invar2(db), 3), (std::vector<double>{1, 2, 3})) << "set by the builder";
  expect_near_all(taken(ZEL_Invar9(db, 1, 2), 9), std::vector<double>(&s.i9[9 * 5], &s.i9[9 * 6]), "invariant 9");
  EXPECT_EQ(ZEL_ComputeInvariantsFromNodes(nullptr), 0);
}

TEST_F(InvariantsTest, AFilesBlocksAreTakenInTheCurrentUnits) {
  const std::string path = dir.file("blocks.zel");
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.loads.reset();
  ASSERT_TRUE(zel_test::write_zel_file(body, path));
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  // Stored in megagram and millimetre; read in kilogram and metre.
  ASSERT_EQ(ZEL_SetUnits(db, "KILOGRAM", "METER", "SECOND", "NEWTON"), 1);
  const Invariants q = queried(db);
  EXPECT_DOUBLE_EQ(q.i1, 0.25 * 1e3);
  for (std::size_t k = 0; k < 9; ++k) {
    EXPECT_DOUBLE_EQ(q.i3[k], 0.25 * (k + 1) * 1e3 * 1e-3);
    EXPECT_DOUBLE_EQ(q.i7[k], 0.25 * (k + 1) * 1e3 * 1e-6);
  }
  EXPECT_DOUBLE_EQ(q.i9[9 * 8 + 8], 0.25 * 81 * 1e-3);
}

// Invariant blocks written for three modes in a file whose modal blocks
// end with two: reported, and the nodal data stands in for them.
TEST_F(InvariantsTest, ABlockForAnotherModeCountGivesWayToTheNodalData) {
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.stress->mode_count = 2;
  body.preload->values.pop_back();
  body.loads->mode_count = 2;
  for (zel::LoadCase &load : body.loads->cases) load.values.pop_back();
  body.strain.reset();
  body.pre_strain.reset();
  const std::string path = dir.file("mismatch.zel");
  ASSERT_TRUE(zel_test::write_zel_file(body, path));
  Database *db = nullptr;
  zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(ZEL_ModeCount(db), 2);
  std::vector<double> i3;
  const zel_test::Printed printed = zel_test::capture([&] { i3 = taken(ZEL_Invar3(db), 6); });
  // The blocks of invariants 3, 4 and 8, which are had together.
  EXPECT_TRUE(
      std::regex_match(printed.err, std::regex("(ERROR:  nm!=ModeCount at line [0-9]+ in file zelinvar\n){3}")))
      << printed.err;
  expect_near_all(i3, plain_sums(db).i3, "invariant 3");
}

TEST_F(InvariantsTest, EverySetterOfNodalDataDropsTheComputedInvariants) {
  const std::function<void(Database *)> changes[] = {
      [](Database *db) { ZEL_SetNodeCoordinates(db, 1007, 5, 5, 5); },
      [](Database *db) { ZEL_AddNodalMass(db, 1007, 1.0); },
      [](Database *db) { ZEL_SetNodalInertiaEntry(db, 1000, 1, 2, 0.75); },
      [](Database *db) { ZEL_SetMode(db, 12, 1014, 0, 9, 9, 9, 9, 9, 9); },
      [](Database *db) { ZEL_SetModeEntry(db, 11, 1007, 0, 4, 2.0); },
  };
  for (const auto &change : changes) {
    Database *db = random_body(4, 2, 31);
    queried(db);
    change(db);
    expect_equal_sums(queried(db), plain_sums(db));
    ZEL_UnLink(db);
  }
}

TEST_F(InvariantsTest, ComputedInvariantsGoWhenTheNodalDataChangesAndSetOnesStay) {
  Database *db = random_body(6, 2, 5);
  const Invariants before = queried(db);
  db->invar3.assign(6, 1.0);  // as the builder would have set it
  db->computed_invariants &= ~(1u << 3);
  ZEL_SetNodalMass(db, 1000, 9.0);
  const Invariants after = queried(db);
  EXPECT_EQ(after.i3, std::vector<double>(6, 1.0));
  EXPECT_NE(after.i1, before.i1);
  expect_near_all(after.i9, plain_sums(db).i9, "invariant 9");
}

TEST_F(InvariantsTest, ShiftingTheFrameToTheCentreOfMassMovesTheNodesOnce) {
  Database *db = ZEL_Create(2, 0);
  ZEL_SetNodeCoordinates(db, 1, 0.0, 0.0, 0.0);
  ZEL_SetNodeCoordinates(db, 2, 2.0, 0.0, 0.0);
  ZEL_SetNodalMass(db, 1, 1.0);
  ZEL_SetNodalMass(db, 2, 1.0);
  zel_test::Printed printed = zel_test::capture([&] { zel::ShiftLbrfToCm(db); });
  EXPECT_EQ(printed.out, "Shifting LBRF to CM at (1.000e+00,0.000e+00,0.000e+00)\n\n");
  EXPECT_EQ(db->nodes[0].x, -1.0);
  EXPECT_EQ(db->nodes[1].x, 1.0);
  printed = zel_test::capture([&] { zel::ShiftLbrfToCm(db); });
  EXPECT_EQ(printed.out, "Shifting LBRF to CM at (0.000e+00,0.000e+00,0.000e+00)\n\n");

  Database *massless = ZEL_Create(1, 0);
  ZEL_SetNodeCoordinates(massless, 1, 3.0, 0.0, 0.0);
  printed = zel_test::capture([&] { zel::ShiftLbrfToCm(massless); });
  EXPECT_EQ(printed.out + printed.err, "");
  EXPECT_EQ(massless->nodes[0].x, 3.0);
}

// Invariants the builder set are moved with the frame: afterwards they
// equal the sums over the moved nodes.
TEST_F(InvariantsTest, ShiftingTheFrameMovesSetInvariantsExactly) {
  Database *db = random_body(30, 3, 11);
  queried(db);
  db->computed_invariants = 0;  // as if every one had been set
  zel_test::capture([&] { zel::ShiftLbrfToCm(db); });
  const Invariants moved = queried(db);
  const Invariants sums = plain_sums(db);
  // About the centre of mass the first moments vanish: compare them with
  // the size of the terms they are summed from.
  const double terms = 100.0;
  expect_near_all(moved.i2, sums.i2, "invariant 2", terms);
  expect_near_all(moved.i4, sums.i4, "invariant 4", terms);
  expect_near_all(moved.i7, sums.i7, "invariant 7", terms);
  expect_near_all(moved.i8, sums.i8, "invariant 8", terms);
  expect_near_all(moved.i9, sums.i9, "invariant 9");
}

// ------------------------------------------------ the writer's levels

TEST_F(InvariantsTest, TheFullLevelHoldsEveryInvariantOfThePlainSums) {
  Database *db = random_body(25, 3, 23);
  const zel_test::Printed printed = zel_test::capture([&] { zel::ComputeAllInvariants(db); });
  EXPECT_EQ(printed.out, "Computing *all* invariants\n");
  EXPECT_EQ(printed.err, "");
  for (int number : {1, 2, 3, 4, 5, 7, 8, 9}) EXPECT_TRUE(zel::invariant_held(*db, number)) << number;
  expect_equal_sums(queried(db), plain_sums(db));
  std::vector<double> full(9);
  ZEL_GenMassFull(db, full.data(), 3);
  EXPECT_EQ(taken(ZEL_Invar6(db), 9), full);
}

TEST_F(InvariantsTest, LevelsWithoutModesOrMassesSayTheDataIsInsufficientAndGoOn) {
  Database *db = random_body(4, 0, 29);
  constexpr char kPartial[] =
      "ERROR:  There is insufficient mass data to compute a partial set of mass invariants.\n"
      "ERROR:  Some or all mass invariants will be set to zero.\n";
  zel_test::Printed printed = zel_test::capture([&] { zel::ComputeFastInvariants(db); });
  EXPECT_EQ(printed.err, kPartial);
  EXPECT_EQ(printed.out, "Computing fast set of invariants\n");
  EXPECT_TRUE(zel::invariant_held(*db, 7));
  EXPECT_FALSE(zel::invariant_held(*db, 3));

  // Invariants 1, 2 and 7 set by the builder are enough for the rigid
  // level, and stay as set.
  Database *bare = ZEL_Create(1, 0);
  ZEL_SetNodeCoordinates(bare, 1, 1, 2, 3);
  ZEL_SetInvar1(bare, 5.0);
  ZEL_SetInvar2(bare, std::array<double, 3>{1, 1, 1}.data());
  ZEL_SetInvar7(bare, std::array<double, 6>{1, 2, 3, 0, 0, 0}.data());
  printed = zel_test::capture([&] { zel::ComputeRigidInvariants(bare); });
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(printed.out, "Computing *rigid* invariants\n");
  EXPECT_EQ(ZEL_Invar1(bare), 5.0);
  printed = zel_test::capture([&] { zel::ComputeAllInvariants(ZEL_Create(1, 0)); });
  EXPECT_EQ(printed.err,
            "ERROR:  There is insufficient mass data to compute a full set of mass invariants.\n"
            "ERROR:  Some or all mass invariants will be set to zero.\n");
  printed = zel_test::capture([&] { zel::ComputeAllInvariants(nullptr); });
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
}

}  // namespace
