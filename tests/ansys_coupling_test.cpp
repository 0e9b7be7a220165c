// Generalized masses between the two mode groups of a body.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "scoped_env.h"
#include "zel.h"

using zel_test::capture;

namespace {

class AnsysCoupling : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }
};

std::vector<zel::GenEntry> mass_entries(Database *db) { return db->gen_mass; }

bool same_entries(const std::vector<zel::GenEntry> &a, const std::vector<zel::GenEntry> &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k].row != b[k].row || a[k].col != b[k].col || a[k].value != b[k].value) return false;
  return true;
}

struct PairCase {
  const char *name;
  bool with_inertia;
  double expected;
};

// One node of mass 2, translations (1, 0, 0) and (1, 1, 0); with the unit
// inertia and the rotation (0, 0, 1) in both modes the rotary term adds 1.
TEST_F(AnsysCoupling, OneNodePairGivesMassAndRotaryTermsInBothPlaces) {
  for (const PairCase &c : {PairCase{"translations only", false, 2.0}, PairCase{"with inertia", true, 3.0}}) {
    SCOPED_TRACE(c.name);
    Database *db = ZEL_Create(1, 2);
    ZEL_SetNodeCoordinates(db, 7, 0.0, 0.0, 0.0);
    ZEL_SetNodalMass(db, 7, 2.0);
    if (c.with_inertia) ZEL_SetNodalInertia(db, 7, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0);
    ZEL_SetMode(db, 1, 7, 0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0);
    ZEL_SetMode(db, 2, 7, 0, 1.0, 1.0, 0.0, 0.0, 0.0, 1.0);
    ZEL_SetGeneralizedMass(db, 1, 1, 1.0);
    ZEL_SetGeneralizedMass(db, 2, 2, 1.0);

    EXPECT_EQ(ZEL_AnsysAddGenMass(db, 1, 1), 1);
    double full[4] = {};
    ASSERT_EQ(ZEL_GenMassFull(db, full, 2), 1);
    EXPECT_DOUBLE_EQ(full[1], c.expected);
    EXPECT_DOUBLE_EQ(full[2], c.expected);
    EXPECT_EQ(full[0], 1.0) << "the diagonal stays as the translator set it";
    EXPECT_EQ(full[3], 1.0);
    EXPECT_EQ(db->gen_not_diagonal, 1);
    ZEL_UnLink(db);
  }
}

TEST_F(AnsysCoupling, AnEmptyGroupAddsNothing) {
  for (int a : {0, 2}) {
    Database *db = ZEL_Create(1, 2);
    ZEL_SetNodalMass(db, 1, 1.0);
    ZEL_SetMode(db, 1, 1, 0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    ZEL_SetMode(db, 2, 1, 0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(ZEL_AnsysAddGenMass(db, a, 2 - a), 1) << "a = " << a;
    EXPECT_TRUE(db->gen_mass.empty());
    ZEL_UnLink(db);
  }
}

TEST_F(AnsysCoupling, FailuresLeaveTheMassListAsItWas) {
  struct FailureCase {
    const char *name;
    int first_number, second_number, a, b;
    const char *message;
  };
  const FailureCase cases[] = {
      {"group sizes off the mode count", 1, 2, 1, 2,
       "ERROR:  Mode count mismatch while generating additional generalized masses.\n"},
      {"negative group size", 1, 2, 3, -1,
       "ERROR:  Mode count mismatch while generating additional generalized masses.\n"},
      {"modes not numbered 1..a+b", 1, 5, 1, 1,
       "ERROR:  Mode number 2 does not exist.\n"},
  };
  for (const FailureCase &c : cases) {
    SCOPED_TRACE(c.name);
    Database *db = ZEL_Create(1, 2);
    ZEL_SetNodalMass(db, 1, 1.0);
    ZEL_SetMode(db, c.first_number, 1, 0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    ZEL_SetMode(db, c.second_number, 1, 0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    ZEL_SetGeneralizedMass(db, c.first_number, c.first_number, 4.0);
    const std::vector<zel::GenEntry> before = mass_entries(db);
    int result = -1;
    const zel_test::Printed printed = capture([&] { result = ZEL_AnsysAddGenMass(db, c.a, c.b); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed.err, c.message);
    EXPECT_TRUE(same_entries(db->gen_mass, before));
    ZEL_UnLink(db);
  }
}

TEST_F(AnsysCoupling, ABodyWithoutNodesGivesTheMemoryMessage) {
  Database *db = ZEL_Create(0, 2);
  const zel_test::Printed printed = capture([&] { EXPECT_EQ(ZEL_AnsysAddGenMass(db, 0, 0), 0); });
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_NE(printed.err.find(" in file zelwrite."), std::string::npos) << printed.err;
}

// Many node blocks (a budget of 1 MiB holds fewer nodes than the body has)
// must give the plain sum over every node, inertias of every shape
// included.
TEST_F(AnsysCoupling, NodeBlocksAddUpToTheSumOverEveryNode) {
  zel_test::ScopedEnv budget("ZEL_INVARIANT_MEMORY", "1");
  constexpr int kNodes = 9000;
  constexpr int kA = 3;
  constexpr int kB = 2;
  Database *db = ZEL_Create(kNodes, kA + kB);
  auto value = [](int node, int mode, int dof) { return std::sin(0.37 * node + 1.3 * mode + 0.71 * dof); };
  for (int p = 0; p < kNodes; ++p) {
    ZEL_SetNodalMass(db, p + 1, 1.0 + (p % 7));
    if (p % 3 == 0) ZEL_SetNodalInertia(db, p + 1, 2.0, 3.0, 4.0, 0.5 * (p % 5), -0.25, 0.125);
  }
  for (int mode = 1; mode <= kA + kB; ++mode)
    for (int p = 0; p < kNodes; ++p) {
      double v[6];
      for (int d = 0; d < 6; ++d) v[d] = value(p, mode, d);
      ZEL_SetModeVec(db, mode, p + 1, 0, v);
    }
  ASSERT_EQ(ZEL_AnsysAddGenMass(db, kA, kB), 1);
  ASSERT_EQ(db->gen_mass.size(), 2u * kA * kB);

  for (std::size_t k = 0; k < db->gen_mass.size(); k += 2) {
    const zel::GenEntry &entry = db->gen_mass[k];
    const int i = entry.row + 1;
    const int j = entry.col + 1;
    double expected = 0.0;
    for (int p = 0; p < kNodes; ++p) {
      const zel::NodeRecord &node = db->nodes[static_cast<std::size_t>(p)];
      for (int d = 0; d < 3; ++d) expected += node.mass * value(p, i, d) * value(p, j, d);
      double tensor[9];
      if (!ZEL_NodalInertia(db, p, tensor)) continue;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) expected += value(p, j, 3 + r) * tensor[3 * r + c] * value(p, i, 3 + c);
    }
    EXPECT_NEAR(entry.value, expected, 1e-9 * std::fabs(expected) + 1e-9) << i << ", " << j;
    const zel::GenEntry &mirror = db->gen_mass[k + 1];
    EXPECT_EQ(mirror.row, entry.col);
    EXPECT_EQ(mirror.col, entry.row);
    EXPECT_EQ(mirror.value, entry.value);
    EXPECT_LE(i, kA);
    EXPECT_GT(j, kA);
  }
}

}  // namespace
