// The rigid-body mode count, the rigid-mode participation table, and the
// conversion of preload, load cases and damping onto the rigid coordinates.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "numeric/principal_axes.h"
#include "scoped_env.h"
#include "zel.h"

namespace {

using zel::GenEntry;
using zel_test::capture;
using zel_test::ScopedEnv;
using Vec3 = std::array<double, 3>;

constexpr char kNoDatabase[] = "ERROR:  The database has not been initialized.\n";
constexpr double kTwentyHzStiffness = 15791.367041742973;  // (2 pi 20)^2 for a unit mass

Vec3 cross(const Vec3 &a, const Vec3 &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// A mode that moves the body rigidly: translation v, rotation w about the
// axes through the origin.
struct RigidMotion {
  Vec3 v{}, w{};
  Vec3 at(const Vec3 &r) const {
    const Vec3 spin = cross(w, r);
    return {v[0] + spin[0], v[1] + spin[1], v[2] + spin[2]};
  }
};

const RigidMotion kTranslation[3] = {{{1, 0, 0}, {}}, {{0, 1, 0}, {}}, {{0, 0, 1}, {}}};
const RigidMotion kRotation[3] = {{{}, {1, 0, 0}}, {{}, {0, 1, 0}}, {{}, {0, 0, 1}}};

struct BodyNode {
  Vec3 r;
  double mass;
};

// Six unit masses on the axes about the point (1, 0, 0).
const std::vector<BodyNode> kOffsetCross = {{{2, 0, 0}, 1}, {{0, 0, 0}, 1}, {{1, 2, 0}, 1},
                                            {{1, -2, 0}, 1}, {{1, 0, 3}, 1}, {{1, 0, -3}, 1}};

// A body whose modes 1..R are the given rigid motions (0 Hz, generalized
// mass sum m |t|^2) followed by `flexible` modes at 20 Hz of unit mass.
class RigidBody : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  void build(const std::vector<BodyNode> &nodes, const std::vector<RigidMotion> &rigid, int flexible) {
    db = ZEL_Create(static_cast<int>(nodes.size()), 20);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const int id = 100 + static_cast<int>(i);
      ZEL_SetNodeCoordinates(db, id, nodes[i].r[0], nodes[i].r[1], nodes[i].r[2]);
      ZEL_SetNodalMass(db, id, nodes[i].mass);
    }
    const int modes = static_cast<int>(rigid.size()) + flexible;
    for (int m = 0; m < modes; ++m) {
      double g = 0.0;
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        std::array<double, 6> values{};
        if (m < static_cast<int>(rigid.size())) {
          const Vec3 t = rigid[m].at(nodes[i].r);
          values = {t[0], t[1], t[2], rigid[m].w[0], rigid[m].w[1], rigid[m].w[2]};
          g += nodes[i].mass * (t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        } else {
          values = {0.0, 0.0, 0.01 * (static_cast<double>(i) - m), 0.0, 0.0, 0.0};
        }
        ASSERT_EQ(ZEL_SetModeVec(db, m + 1, 100 + static_cast<int>(i), 0, values.data()), 1);
      }
      const bool is_rigid = m < static_cast<int>(rigid.size());
      db->gen_mass.push_back(GenEntry{m, m, is_rigid ? g : 1.0});
      if (!is_rigid) db->gen_stiff.push_back(GenEntry{m, m, kTwentyHzStiffness});
    }
  }

  zel_test::PrivateStoreDirectory stores;
  Database *db = nullptr;
};

TEST(RigidBodyModeCount, CountsTheModesBeforeTheFirstFrequencyJump) {
  struct Case {
    std::vector<double> hz;
    int count;
  };
  const Case cases[] = {
      {{0, 0, 0, 0, 0, 0, 12.5}, 6},  // a free body
      {{15, 40, 90}, 0},              // a clamped one
      {{1, 2, 3}, 0},
      {{5}, 0},
      {{1e-5, 0.5}, 1},
      // Noise about an exact 0 is no jump: the six rigid modes stay six.
      {{0, 3e-4, 0, 2e-4, 0, 1e-4, 5.0}, 6},
  };
  for (const Case &c : cases) {
    Database *db = ZEL_Create(0, 10);
    for (std::size_t m = 0; m < c.hz.size(); ++m) {
      db->mode_numbers.push_back(static_cast<int>(m) + 1);
      db->eigen.insert(db->eigen.end(), {m + 1.0, 0.0, c.hz[m], 0.0, 1.0, 0.0});
    }
    db->eigen_count = static_cast<int>(c.hz.size());
    EXPECT_EQ(ZEL_RigidBodyModeCount(db), c.count) << "first frequency " << c.hz[0];
  }
  EXPECT_EQ(capture([] { EXPECT_EQ(ZEL_RigidBodyModeCount(nullptr), 0); }).err, kNoDatabase);
  ZEL_Terminate();
}

TEST_F(RigidBody, ParticipationOfTheRigidMotionsInEachMode) {
  build(kOffsetCross, {kTranslation[0], kRotation[2]}, 1);
  std::array<std::array<double, 3>, 6> table{};
  std::array<double *, 6> rows{};
  for (int r = 0; r < 6; ++r) rows[r] = table[r].data();
  ASSERT_EQ(ZEL_RigidModes2VELMO(db, rows.data(), 3), 1);
  EXPECT_EQ(table[0][0], 1.0);
  EXPECT_EQ(table[1][0], 0.0);
  EXPECT_EQ(table[2][0], 0.0);
  EXPECT_EQ(table[5][1], 1.0);
  // About the origin the body's centre (1, 0, 0) moves along y in a
  // rotation about z: sum m x / sum m |e_z x r|^2 = 6 / 16.
  EXPECT_DOUBLE_EQ(table[1][1], 0.375);

  // Massless nodes weigh nothing: 0.0, not a division by zero.
  for (zel::NodeRecord &node : db->nodes) node.mass = 0.0;
  ASSERT_EQ(ZEL_RigidModes2VELMO(db, rows.data(), 3), 1);
  EXPECT_EQ(table[0][0], 0.0);
  EXPECT_EQ(table[5][1], 0.0);

  table[0][0] = 42.0;
  rows[4] = nullptr;
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_RigidModes2VELMO(db, rows.data(), 3), 0);
    EXPECT_EQ(ZEL_RigidModes2VELMO(nullptr, rows.data(), 3), 0);
  });
  EXPECT_EQ(printed.err,
            std::string("ERROR:  Cannot fill the rigid-mode table: it needs six rows and at most 3 modes.\n") +
                kNoDatabase);
  EXPECT_EQ(table[0][0], 42.0);
}

// Modal forces on a body whose rigid modes are unit translations and unit
// rotations about the axes through the origin, the body's centre at
// (1, 0, 0): 3 on the y translation (g = 6) gives F = (0, 3, 0) and
// M = c x F = (0, 0, 3); 1 on the z rotation (g = Jzz = 16) gives
// F = e_z x (6, 0, 0) / 16 = (0, 0.375, 0) and M = J e_z / 16 = (0, 0, 1).
TEST_F(RigidBody, ResultantsOfPreloadAndLoadsEqualTheHandComputedOnes) {
  const std::vector<double> modal = {0, 3, 0, 0, 0, 1, 7};
  const std::vector<double> resultant = {0, 3.375, 0, 0, 0, 4, 7};
  for (const char *no_fea_mass : {static_cast<const char *>(nullptr), "1"}) {
    ScopedEnv variant("KOR_MFORCE_NO_FEA_MASS",
                      no_fea_mass ? std::optional<std::string>(no_fea_mass) : std::nullopt);
    build(kOffsetCross, {kTranslation[0], kTranslation[1], kTranslation[2], kRotation[0], kRotation[1], kRotation[2]},
          1);
    ASSERT_EQ(ZEL_RigidBodyModeCount(db), 6);
    db->preload = modal;
    db->load_cases.push_back(zel::LoadCase{"pull", 0, modal});
    auto printed = capture([&] { ZEL_RigidBodyForcesOnPrincipalAxes(db); });
    const std::string ignored = "WARNING:  ZEL contains a preload with a rigid body component which is being ignored\n";
    EXPECT_EQ(printed.err, ignored + ignored);  // one per non-zero rigid entry
    for (std::size_t m = 0; m < modal.size(); ++m) {
      EXPECT_NEAR(db->preload[m], resultant[m], 1e-12) << "entry " << m << (no_fea_mass ? " from geometry" : "");
      EXPECT_NEAR(db->load_cases[0].values[m], resultant[m], 1e-12) << "entry " << m;
    }
    EXPECT_EQ(db->preload_processed, 1);
    EXPECT_EQ(db->load_cases[0].processed, 1);

    // Converting twice does nothing.
    const std::vector<double> once = db->preload;
    printed = capture([&] { ZEL_RigidBodyForcesOnPrincipalAxes(db); });
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(db->preload, once);
    ZEL_Terminate();
  }
}

// Any exact rigid motion is recovered by the geometric fit, so both
// variants give the mass-weighted resultant of the mode itself.
TEST_F(RigidBody, BothVariantsRecoverExactRigidModes) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-2.0, 2.0);
  std::uniform_real_distribution<double> mass(0.5, 2.0);
  std::vector<BodyNode> nodes(50);
  for (BodyNode &node : nodes) node = {{coordinate(rng), coordinate(rng), coordinate(rng)}, mass(rng)};
  std::vector<RigidMotion> rigid = {{{0.3, -0.2, 0.5}, {0.1, 0.4, -0.7}}};
  for (int m = 1; m < 6; ++m) rigid.push_back({{coordinate(rng), coordinate(rng), coordinate(rng)},
                                               {coordinate(rng), coordinate(rng), coordinate(rng)}});
  build(nodes, rigid, 1);

  for (int loaded = 0; loaded < 6; ++loaded) {
    const RigidMotion &mode = rigid[static_cast<std::size_t>(loaded)];
    std::array<double, 6> expected{};  // (sum m t, sum m r x t) / g
    for (const BodyNode &node : nodes) {
      const Vec3 t = mode.at(node.r);
      const Vec3 moment = cross(node.r, t);
      for (int d = 0; d < 3; ++d) {
        expected[d] += node.mass * t[d] / db->gen_mass[loaded].value;
        expected[3 + d] += node.mass * moment[d] / db->gen_mass[loaded].value;
      }
    }
    std::vector<double> from_mass(7, 0.0);
    from_mass[static_cast<std::size_t>(loaded)] = 1.0;
    std::vector<double> from_geometry = from_mass;
    ASSERT_TRUE(zel::RigidForcesFromNodalMass(*db, from_mass, 6));
    ASSERT_TRUE(zel::RigidForcesFromGeometry(*db, from_geometry, 6));
    for (int r = 0; r < 6; ++r) {
      EXPECT_NEAR(from_mass[r], expected[r], 1e-12) << "mode " << loaded << " entry " << r;
      EXPECT_NEAR(from_geometry[r], expected[r], 1e-9) << "mode " << loaded << " entry " << r;
    }
  }
}

// Fewer than six rigid modes: only as many resultants as rigid modes are
// written, a massless rigid mode is left out, and a clamped body's loads
// are left alone.
TEST_F(RigidBody, FewRigidModesWriteFewResultants) {
  build(kOffsetCross, {kTranslation[0], kTranslation[1]}, 1);
  db->gen_mass[1].value = 0.0;
  db->preload = {5.0, 6.0, 7.0};
  db->load_cases.push_back(zel::LoadCase{"pull", 0, {1.0, 2.0, 9.0}});
  const auto printed = capture([&] { ZEL_RigidBodyForcesOnPrincipalAxes(db); });
  const std::string massless =
      "WARNING:  Rigid body mode 2 has no generalized mass; its modal force is left out of the resultant.\n";
  EXPECT_EQ(printed.err, massless + "WARNING:  ZEL contains a preload with a rigid body component which is being ignored\n" +
                             "WARNING:  ZEL only contains 2 rigid body modes.\nWARNING:    The resultant load vector "
                             "will be mishandled.\nWARNING:  \n" +
                             massless);
  EXPECT_DOUBLE_EQ(db->preload[0], 5.0);  // 5 on a translation of g = 6 over the body's mass of 6
  EXPECT_EQ(db->preload[1], 0.0);
  EXPECT_EQ(db->preload[2], 7.0);
  EXPECT_DOUBLE_EQ(db->load_cases[0].values[0], 1.0);
  EXPECT_EQ(db->load_cases[0].values[2], 9.0);

  ZEL_Terminate();
  build(kOffsetCross, {}, 3);
  db->load_cases.push_back(zel::LoadCase{"pull", 0, {1.0, 2.0, 9.0}});
  capture([&] { ZEL_RigidBodyForcesOnPrincipalAxes(db); });
  EXPECT_EQ(db->load_cases[0].values, (std::vector<double>{1.0, 2.0, 9.0}));
}

// Three rigid translations: rows 0..2 take the rigid damping, rows 3..5
// are empty, and the flexible entries move up by 6 - 3.
TEST_F(RigidBody, DampingMovesOntoTheRigidCoordinates) {
  build(kOffsetCross, {kTranslation[0], kTranslation[1], kTranslation[2]}, 2);
  db->gen_damp = {GenEntry{0, 0, 2.0}, GenEntry{0, 3, 1.5}, GenEntry{3, 3, 4.0}, GenEntry{3, 4, 0.5},
                  GenEntry{4, 4, 6.0}};
  ASSERT_EQ(ZEL_DampingOnPrincipalAxes(db), 1);
  EXPECT_EQ(db->damping_on_principal_axes, 1);
  const std::vector<GenEntry> expected = {{0, 0, 2.0}, {0, 6, 1.5}, {6, 0, 1.5}, {6, 6, 4.0},
                                          {6, 7, 0.5}, {7, 6, 0.5}, {7, 7, 6.0}};
  ASSERT_EQ(db->gen_damp.size(), expected.size());
  for (std::size_t e = 0; e < expected.size(); ++e) {
    EXPECT_EQ(db->gen_damp[e].row, expected[e].row) << e;
    EXPECT_EQ(db->gen_damp[e].col, expected[e].col) << e;
    EXPECT_DOUBLE_EQ(db->gen_damp[e].value, expected[e].value) << e;
  }
  ASSERT_EQ(ZEL_DampingOnPrincipalAxes(db), 1);  // once only
  EXPECT_EQ(db->gen_damp.size(), expected.size());
}

}  // namespace
