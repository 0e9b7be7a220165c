// Rescaling everything a database holds when its units change.
#include <gtest/gtest.h>

#include <cmath>

#include "body/database.h"
#include "capture.h"
#include "zel.h"

namespace {

using zel::GenEntry;
using zel_test::capture;

// A body in kg, mm, s, N with one value of every kind the scaling touches.
class ScalingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = ZEL_Create(10, 4);
    ZEL_SetUnits(db, "kg", "mm", "s", "N");
    ZEL_SetNodeCoordinates(db, 1, 1000.0, -2000.0, 3000.0);
    ZEL_SetNodalMass(db, 1, 2.0);
    ZEL_SetNodalInertia(db, 1, 1e6, 2e6, 3e6, 4e6, 5e6, 6e6);
    ZEL_SetNodeCoordinates(db, 2, 10.0, 0.0, 0.0);  // no inertia: must stay without
    db->mode_numbers = {1, 2, 3, 4};
    db->gen_stiff = {GenEntry{0, 0, 4000.0}, GenEntry{1, 2, 500.0}};
    db->gen_mass = {GenEntry{0, 0, 2e6}};
    db->gen_damp = {GenEntry{0, 1, 8.0}, GenEntry{0, 7, 8.0}, GenEntry{7, 8, 8.0}};
    // Mode number, eigenvalue, Hz, rad/s, generalized mass, stiffness.
    db->eigen = {1.0, 100.0, 1.5915494309189535, 10.0, 1.0, 100.0};
    db->eigen_count = 1;
    db->preload = {1000.0, 2000.0, 3000.0, 4000.0};
    db->load_cases.push_back(zel::LoadCase{"pull", 0, {10.0, 20.0, 30.0, 40.0}});
    db->global_mass = 2.0;
    db->global_cm = {1000.0, 0.0, -1000.0};
    db->global_inertia.fill(1e6);
    db->invar1 = {2.0};
    db->invar2 = {2000.0, 0.0, 0.0};
    db->invar3.assign(12, 1000.0);
    db->invar4.assign(12, 1e6);
    db->invar5.assign(4, std::vector<double>(12, 1e6));
    db->invar7.assign(9, 1e6);
    db->invar8.assign(4, std::array<double, 9>{});
    db->invar8[3][8] = 1e6;
    db->invar9.assign(16, std::array<double, 9>{});
    db->invar9[15][0] = 1e6;
    db->statistics.resize(1);
    db->statistics[0].value = {1000.0, 0.5, 1.0, 0.25, 7.0};
    db->cache_mode = {2, 0, 1};
  }
  void TearDown() override { ZEL_Terminate(); }

  Database *db = nullptr;
};

TEST_F(ScalingTest, MillimetreToMetre) {
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
  const zel::NodeRecord &node = db->nodes[0];
  EXPECT_DOUBLE_EQ(node.x, 1.0);
  EXPECT_DOUBLE_EQ(node.y, -2.0);
  EXPECT_DOUBLE_EQ(node.z, 3.0);
  EXPECT_DOUBLE_EQ(node.mass, 2.0);
  EXPECT_DOUBLE_EQ((*node.inertia)[0], 1.0);
  EXPECT_DOUBLE_EQ((*node.inertia)[5], 6.0);
  EXPECT_FALSE(db->nodes[1].inertia);
  EXPECT_DOUBLE_EQ(db->gen_stiff[0].value, 4.0);
  EXPECT_DOUBLE_EQ(db->gen_stiff[1].value, 0.5);
  EXPECT_DOUBLE_EQ(db->gen_mass[0].value, 2.0);
  EXPECT_DOUBLE_EQ(db->gen_damp[0].value, 0.008);
  // Eigenvalue x 1000 (stiffness / 1000 over mass / 1e6); frequencies kept.
  EXPECT_DOUBLE_EQ(db->eigen[0], 1.0);
  EXPECT_DOUBLE_EQ(db->eigen[1], 100000.0);
  EXPECT_DOUBLE_EQ(db->eigen[2], 1.5915494309189535);
  EXPECT_DOUBLE_EQ(db->eigen[3], 10.0);
  EXPECT_DOUBLE_EQ(db->eigen[4], 1e-6);
  EXPECT_DOUBLE_EQ(db->eigen[5], 0.1);
  EXPECT_DOUBLE_EQ(db->preload[3], 4.0);
  EXPECT_DOUBLE_EQ(db->load_cases[0].values[0], 0.01);
  // The mode caches are emptied, so the next fetch converts anew.
  EXPECT_EQ(db->cache_mode, (std::array<int32_t, 3>{-1, -1, -1}));
}

TEST_F(ScalingTest, SecondToMillisecond) {
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "mm", "ms", "N"), 1);
  EXPECT_DOUBLE_EQ(db->eigen[2], 1.5915494309189535e-3);
  EXPECT_DOUBLE_EQ(db->eigen[3], 0.01);
  EXPECT_DOUBLE_EQ(db->gen_damp[0].value, 8000.0);
  EXPECT_DOUBLE_EQ(db->nodes[0].mass, 2.0);
  EXPECT_DOUBLE_EQ(db->gen_mass[0].value, 2e6);
  EXPECT_DOUBLE_EQ(db->gen_stiff[0].value, 4000.0);
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 1000.0);
}

// On principal axes, indices 0..2 are the rigid-body translations.
TEST_F(ScalingTest, PrincipalAxesDampingByKindOfIndex) {
  db->damping_on_principal_axes = 1;
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
  EXPECT_DOUBLE_EQ(db->gen_damp[0].value, 8000.0);  // translation - translation
  EXPECT_DOUBLE_EQ(db->gen_damp[1].value, 8.0);     // translation - flexible
  EXPECT_DOUBLE_EQ(db->gen_damp[2].value, 0.008);   // flexible - flexible
}

TEST_F(ScalingTest, BodyPropertiesInvariantsAndStatistics) {
  ASSERT_EQ(ZEL_SetUnits(db, "gram", "m", "s", "N"), 1);  // M = 1000, L = 0.001
  EXPECT_DOUBLE_EQ(db->global_mass, 2000.0);
  EXPECT_DOUBLE_EQ(db->global_cm[0], 1.0);
  EXPECT_DOUBLE_EQ(db->global_cm[2], -1.0);
  EXPECT_DOUBLE_EQ(db->global_inertia[4], 1000.0);
  EXPECT_DOUBLE_EQ(db->invar1[0], 2000.0);
  EXPECT_DOUBLE_EQ(db->invar2[0], 2000.0);
  EXPECT_DOUBLE_EQ(db->invar3[11], 1000.0);
  EXPECT_DOUBLE_EQ(db->invar4[11], 1000.0);
  EXPECT_DOUBLE_EQ(db->invar5[3][11], 1000.0);
  EXPECT_DOUBLE_EQ(db->invar7[8], 1000.0);
  EXPECT_DOUBLE_EQ(db->invar8[3][8], 1000.0);
  EXPECT_DOUBLE_EQ(db->invar8[0][0], 0.0);
  EXPECT_DOUBLE_EQ(db->invar9[15][0], 1000.0);
  const std::array<double, 13> &stats = db->statistics[0].value;
  EXPECT_DOUBLE_EQ(stats[0], 1.0);      // displacement x L
  EXPECT_DOUBLE_EQ(stats[1], 0.5);      // rotation kept
  EXPECT_DOUBLE_EQ(stats[2], 1e6);      // stress x F / L^2
  EXPECT_DOUBLE_EQ(stats[3], 0.25);     // strain kept
}

TEST_F(ScalingTest, DirectCallAppliesTheFactorsEachTime) {
  db->unit_factor = {1.0, 10.0, 1.0, 1.0};
  ZEL_ScaleDatabase(db);
  ZEL_ScaleDatabase(db);
  EXPECT_DOUBLE_EQ(db->nodes[0].x, 100000.0);
  EXPECT_DOUBLE_EQ(db->nodes[1].x, 1000.0);
  EXPECT_EQ(capture([] { ZEL_ScaleDatabase(nullptr); }).err, "ERROR:  The database has not been initialized.\n");
}

// Processed preload and loads start with rigid-body forces, scaled by F
// alone, for at most three rigid-body modes; the rest by L F. Three modes
// at 0 Hz and one at 50 Hz make three rigid-body modes.
TEST_F(ScalingTest, ProcessedModalForcesScaleTheirRigidBodyForcesByForceAlone) {
  db->eigen = {1, 0, 0, 0, 1, 0, 2, 0, 0, 0, 1, 0, 3, 0, 0, 0, 1, 0, 4, 98696.044, 50.0, 314.159, 1, 98696.044};
  db->eigen_count = 4;
  db->preload_processed = 1;
  db->load_cases[0].processed = 1;
  db->load_cases.push_back(zel::LoadCase{"push", 0, {10.0, 20.0, 30.0, 40.0}});
  db->body_size = 500.0;
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
  EXPECT_EQ(db->preload, (std::vector<double>{1000.0, 2000.0, 3000.0, 4.0}));
  EXPECT_EQ(db->load_cases[0].values, (std::vector<double>{10.0, 20.0, 30.0, 0.04}));
  EXPECT_EQ(db->load_cases[1].values, (std::vector<double>{0.01, 0.02, 0.03, 0.04}));
  EXPECT_DOUBLE_EQ(db->body_size, 0.5);  // a length like any other
}

}  // namespace
