// Header, nodes, masses, inertias, faces, interface nodes and the global
// mass properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "capture.h"
#include "body/database.h"
#include "allocation_control.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

using zel_test::capture;

namespace {

class Builder : public ::testing::Test {
 protected:
  void SetUp() override { db = ZEL_Create(100, 2); }
  void TearDown() override { ZEL_Terminate(); }

  std::vector<int> sorted_ids() const {
    std::vector<int> ids;
    for (const zel::IdPos &pair : db->node_sorted.sorted()) ids.push_back(pair.id);
    return ids;
  }
  std::vector<int> faces() const { return db->face_list; }

  Database *db = nullptr;
};


}  // namespace

TEST_F(Builder, NodesGetIndicesInOrderOfFirstMentionAndSortedIds) {
  EXPECT_EQ(ZEL_LookupOrAddNode(db, 30), 0);
  EXPECT_EQ(ZEL_LookupOrAddNode(db, 10), 1);
  EXPECT_EQ(ZEL_LookupOrAddNode(db, 20), 2);
  EXPECT_EQ(ZEL_LookupOrAddNode(db, 10), 1);
  EXPECT_EQ(sorted_ids(), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(ZEL_NodeIndex(db, 20), 2);
  EXPECT_EQ(ZEL_NodeIndex(db, 25), -1);
  EXPECT_EQ(db->node_count(), 3);
}

TEST_F(Builder, NegativeAndExtremeIdsSortAsSignedValues) {
  for (int id : {5, -7, 2147483647, -2147483647 - 1, 0}) ZEL_AddNode(db, id);
  EXPECT_EQ(sorted_ids(), (std::vector<int>{-2147483647 - 1, -7, 0, 5, 2147483647}));
  EXPECT_EQ(ZEL_NodeIndex(db, -2147483647 - 1), 3);
  EXPECT_EQ(ZEL_NodeIndex(db, 2147483647), 2);
}

TEST_F(Builder, AddNodeDoesNotLookForDuplicates) {
  EXPECT_EQ(ZEL_AddNode(db, 4), 0);
  EXPECT_EQ(ZEL_AddNode(db, 4), 1);
  EXPECT_EQ(db->node_count(), 2);
  EXPECT_EQ(sorted_ids(), (std::vector<int>{4, 4}));
  EXPECT_EQ(ZEL_NodeIndex(db, 4), 0);
}

TEST_F(Builder, EmptyDatabaseAndNullHandleLookups) {
  EXPECT_EQ(ZEL_NodeIndex(db, 1), -1);
  int index = 0;
  const auto printed = capture([&] { index = ZEL_NodeIndex(nullptr, 1); });
  EXPECT_EQ(index, -1);
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
  EXPECT_EQ(capture([&] { index = ZEL_AddNode(nullptr, 1); }).err,
            "ERROR:  The database has not been initialized.\n");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(capture([&] { index = ZEL_LookupOrAddNode(nullptr, 1); }).err,
            "ERROR:  The database has not been initialized.\n");
  EXPECT_EQ(index, -1);
  EXPECT_EQ(capture([&] { index = ZEL_SetNodalMass(nullptr, 1, 1.0); }).err,
            "ERROR:  The database has not been initialized.\n");
  EXPECT_EQ(index, 0);
}

TEST_F(Builder, GrowthPastAThousandNodesKeepsIndexAndValueSetsRight) {
  // Set 1 lists node indices by set position; they must still name the
  // same records after the node table has grown many times.
  std::vector<int> ids(2500);
  std::iota(ids.begin(), ids.end(), 1);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  for (std::size_t i = 0; i < ids.size(); ++i) {
    ASSERT_EQ(ZEL_SetNodeCoordinates(db, ids[i], ids[i] * 1.0, 0.0, 0.0), 1);
    if (i % 3 == 0) {
      db->sets[zel::kStressSet].position_of_id.insert(ids[i], db->set_count(zel::kStressSet));
      db->sets[zel::kStressSet].node_of_position.push_back(static_cast<int32_t>(i));
    }
  }
  EXPECT_GE(db->node_capacity(), 2500);
  for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ZEL_NodeIndex(db, ids[i]), static_cast<int>(i));
  const zel::ValueSet &stress = db->sets[zel::kStressSet];
  for (int position = 0; position < db->set_count(zel::kStressSet); ++position) {
    const zel::NodeRecord &node = db->nodes[stress.node_of_position[position]];
    ASSERT_EQ(stress.position_of_id.find(node.id), position);
    ASSERT_EQ(node.x, node.id * 1.0);
  }
  const std::vector<int> sorted = sorted_ids();
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
  EXPECT_EQ(sorted.size(), 2500u);
  EXPECT_EQ(db->set_count(zel::kModeShapeSet), 2500);
}

TEST_F(Builder, SettingTheMassOfAnUnknownNodeAddsIt) {
  ZEL_SetNodeCoordinates(db, 1, 0, 0, 0);
  EXPECT_EQ(ZEL_SetNodalMass(db, 99, 2.5), 1);
  EXPECT_EQ(ZEL_NodeIndex(db, 99), 1);
  EXPECT_EQ(db->nodes[1].mass, 2.5);
  EXPECT_EQ(db->nodes[1].x, 0.0);
  EXPECT_EQ(zel::block_flag(*db, zel::kNodalMassesBlock), 1);
  EXPECT_EQ(ZEL_AddNodalMass(db, 99, 0.5), 1);
  EXPECT_EQ(db->nodes[1].mass, 3.0);
}

TEST_F(Builder, SettersMarkTheirBlocksPresent) {
  ZEL_SetNodeCoordinates(db, 1, 1, 2, 3);
  EXPECT_EQ(db->exists[0], 1);
  ZEL_SetNodalInertia(db, 1, 1, 1, 1, 0, 0, 0);
  EXPECT_EQ(db->exists[6], 1);
  ZEL_SetFace(db, 3, 1, 2, 3);
  EXPECT_EQ(db->exists[12], 1);
  ZEL_SetInterfaceNode(db, 1);
  EXPECT_EQ(db->exists[15], 1);
  double cm[3] = {0, 0, 0}, inertia[9] = {};
  capture([&] { ZEL_SetGlobalMass(db, 0.0, cm, inertia); });
  EXPECT_EQ(db->exists[2], 1);
}

TEST_F(Builder, InertiaEntriesNameSymmetricSlots) {
  EXPECT_EQ(ZEL_SetNodalInertiaEntry(db, 5, 2, 1, 7.0), 1);
  ASSERT_TRUE(db->nodes[0].inertia);
  EXPECT_EQ((*db->nodes[0].inertia)[3], 7.0);
  EXPECT_EQ(ZEL_SetNodalInertiaEntry(db, 5, 1, 2, 8.0), 1);
  EXPECT_EQ((*db->nodes[0].inertia)[3], 8.0);
  ZEL_SetNodalInertiaEntry(db, 5, 3, 1, 9.0);
  ZEL_SetNodalInertiaEntry(db, 5, 2, 3, 10.0);
  ZEL_SetNodalInertiaEntry(db, 5, 3, 3, 11.0);
  EXPECT_EQ(*db->nodes[0].inertia, (zel::NodalInertia{0.0, 0.0, 11.0, 8.0, 9.0, 10.0}));
}

TEST_F(Builder, InertiaEntryOutsideTheTensorIsRejectedAndAddsNothing) {
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetNodalInertiaEntry(db, 5, 4, 1, 1.0); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  Nodal inertia entry (4, 1) of node 5 is outside rows and columns 1 to 3.\n");
  EXPECT_EQ(ZEL_SetNodalInertiaEntry(db, 5, 1, 0, 1.0), 0);
  EXPECT_EQ(db->node_count(), 0);
  EXPECT_EQ(db->exists[6], 0);
}

TEST_F(Builder, WholeInertiaReplacesAllSix) {
  ZEL_SetNodalInertia(db, 3, 1, 2, 3, 4, 5, 6);
  EXPECT_EQ(*db->nodes[0].inertia, (zel::NodalInertia{1, 2, 3, 4, 5, 6}));
}

TEST_F(Builder, FaceDropsRepeatedAndClosingVertices) {
  EXPECT_EQ(ZEL_SetFace(db, 5, 5, 6, 6, 7, 5), 1);
  EXPECT_EQ(faces(), (std::vector<int>{3, 0, 1, 2}));
  EXPECT_EQ(db->face_count, 1);
  EXPECT_EQ(db->face_list_size(), 4);
}

TEST_F(Builder, FaceOfOneDistinctVertexIsRejectedButItsNodesStay) {
  EXPECT_EQ(ZEL_SetFace(db, 2, 5, 5), 0);
  EXPECT_EQ(db->face_count, 0);
  EXPECT_TRUE(faces().empty());
  EXPECT_EQ(db->node_count(), 1);
  EXPECT_EQ(db->exists[12], 0);
  EXPECT_EQ(ZEL_SetFace(db, 1, 5), 0);
  EXPECT_EQ(ZEL_SetFace(db, 0), 0);
}

TEST_F(Builder, RepeatOfAnEarlierButNotPreviousVertexIsKept) {
  // Only the immediately previous vertex, and the first for the last, count.
  EXPECT_EQ(ZEL_SetFace(db, 4, 1, 2, 1, 3), 1);
  EXPECT_EQ(faces(), (std::vector<int>{4, 0, 1, 0, 2}));
}

TEST_F(Builder, FacesAppendOneAfterAnotherAcrossGrowth) {
  std::vector<int> expected;
  for (int f = 0; f < 300; ++f) {
    int ids[4] = {4 * f + 1, 4 * f + 2, 4 * f + 3, 4 * f + 4};
    ASSERT_EQ(ZEL_SetFaceList(db, 4, ids), 1);
    expected.insert(expected.end(), {4, 4 * f, 4 * f + 1, 4 * f + 2, 4 * f + 3});
  }
  EXPECT_EQ(faces(), expected);
  EXPECT_EQ(db->face_count, 300);
}

TEST_F(Builder, SetFaceTakesAtMost256Ids) {
  std::vector<int> ids(256);
  std::iota(ids.begin(), ids.end(), 1);
  EXPECT_EQ(ZEL_SetFaceList(db, 256, ids.data()), 1);
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetFace(db, 257, 1, 2, 3); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  A face given by ZEL_SetFace has 257 node IDs; at most 256 are allowed.\n");
  EXPECT_EQ(db->face_count, 1);
}

TEST_F(Builder, FaceListWithoutIdsIsRejected) {
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetFaceList(db, 3, nullptr); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  A face of 3 nodes was given without its node IDs.\n");
}

TEST_F(Builder, InterfaceNodesAreKeptOnceAndMustExist) {
  ZEL_SetNodeCoordinates(db, 8, 0, 0, 0);
  ZEL_SetNodeCoordinates(db, 9, 0, 0, 0);
  EXPECT_EQ(ZEL_SetInterfaceNode(db, 9), 1);
  EXPECT_EQ(ZEL_SetInterfaceNode(db, 9), 1);
  EXPECT_EQ(ZEL_SetInterfaceNode(db, 8), 1);
  EXPECT_EQ(db->interface_nodes, (std::vector<int32_t>{1, 0}));
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetInterfaceNode(db, 77); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->node_count(), 2);
}

TEST_F(Builder, HeaderIsStoredAndEchoed) {
  char title[] = "Plate", name[] = "plate.op2", type[] = "OP2", c1[] = "one", c2[] = "two", c3[] = "";
  int result = 0;
  const auto printed = capture([&] { result = ZEL_SetHeader(db, title, name, type, c1, c2, c3); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(printed.out, "Title: Plate\nName : plate.op2\nType : OP2\nComment 1: one\nComment 2: two\nComment 3: \n");
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->title, "Plate");
  EXPECT_EQ(db->input_file_type, "OP2");
  EXPECT_EQ(db->comment[1], "two");
  // asctime form with its line feed turned into a blank: 24 + 1 characters.
  ASSERT_EQ(db->date.size(), 25u);
  EXPECT_EQ(db->date.back(), ' ');
  EXPECT_EQ(db->date.find('\n'), std::string::npos);
  EXPECT_EQ(db->date[3], ' ');
  EXPECT_EQ(db->date[19], ' ');
}

TEST_F(Builder, OverlongHeaderTextsAreCutWithOneWarningEach) {
  std::string title(200, 't'), type(16, 'y'), comment(80, 'c');
  char name[] = "n", c1[] = "", c3[] = "";
  int result = 0;
  const auto printed = capture(
      [&] { result = ZEL_SetHeader(db, title.data(), name, type.data(), c1, comment.data(), c3); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(printed.err,
            "WARNING:  Title too big: max size 127, specified size 200.\n"
            "WARNING:  Truncating title.\n"
            "WARNING:  Input file type spec too big: max size 15, specified size 16.\n"
            "WARNING:  Truncating input file type.\n"
            "WARNING:  Comment 2 too big: max size 79, specified size 80.\n"
            "WARNING:  Truncating Comment 2.\n");
  EXPECT_EQ(db->title, std::string(127, 't'));
  EXPECT_EQ(db->input_file_type, std::string(15, 'y'));
  EXPECT_EQ(db->comment[1], std::string(79, 'c'));
}

TEST_F(Builder, HeaderTextsAtTheirLimitsAreNotCut) {
  std::string title(127, 't'), name(127, 'n'), type(15, 'y'), comment(79, 'c');
  int result = 0;
  const auto printed = capture([&] {
    result = ZEL_SetHeader(db, title.data(), name.data(), type.data(), comment.data(), comment.data(),
                           comment.data());
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->input_file_name, name);
  EXPECT_EQ(db->comment[2], comment);
}

TEST_F(Builder, LineFeedsInHeaderTextsBecomeBlanksInBothCopies) {
  char title[] = "T", name[] = "N", type[] = "Y", c1[] = "two\nlines", c2[] = "", c3[] = "";
  capture([&] { ZEL_SetHeader(db, title, name, type, c1, c2, c3); });
  EXPECT_EQ(db->comment[0], "two lines");
  EXPECT_STREQ(c1, "two lines");
}

TEST_F(Builder, NullHeaderTextIsRejectedAndNothingStored) {
  char title[] = "T", name[] = "N", c[] = "";
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetHeader(db, title, name, nullptr, c, c, c); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  Cannot set the header: the input file type is missing (null string).\n");
  EXPECT_EQ(printed.out, "");
  EXPECT_TRUE(db->title.empty());
  EXPECT_TRUE(db->date.empty());
}

class GlobalMass : public Builder {
 protected:
  // One node of mass 2 at (1, 0, 0): invariant 1 = 2, invariant 2 =
  // (2, 0, 0), invariant 7 = diag(0, 2, 2).
  void SetUp() override {
    Builder::SetUp();
    ZEL_SetNodeCoordinates(db, 1, 1.0, 0.0, 0.0);
    ZEL_SetNodalMass(db, 1, 2.0);
  }
  std::string set(double mass, std::array<double, 3> cm, std::array<double, 9> inertia) {
    int result = 0;
    const auto printed = capture([&] { result = ZEL_SetGlobalMass(db, mass, cm.data(), inertia.data()); });
    EXPECT_EQ(result, 1);
    return printed.err;
  }
};

TEST_F(GlobalMass, ConsistentValuesGiveNoWarning) {
  EXPECT_EQ(set(2.0, {1, 0, 0}, {0, 0, 0, 0, 2, 0, 0, 0, 2}), "");
  EXPECT_EQ(db->global_mass, 2.0);
}

TEST_F(GlobalMass, MassWithinOneInAHundredMillionPasses) {
  EXPECT_EQ(set(2.0 * (1 + 1e-9), {1, 0, 0}, {0, 0, 0, 0, 2, 0, 0, 0, 2}), "");
  EXPECT_EQ(set(2.0 * (1 + 1e-7), {1, 0, 0}, {0, 0, 0, 0, 2, 0, 0, 0, 2}),
            "WARNING:  Global mass is inconsistent with INVAR1 setting or sum of nodal masses.\n");
  EXPECT_EQ(db->global_mass, 2.0 * (1 + 1e-7));
}

TEST_F(GlobalMass, CentreAndInertiaEachWarnOnceAndStillStore) {
  EXPECT_EQ(set(2.0, {5, 5, 5}, {9, 9, 9, 9, 9, 9, 9, 9, 9}),
            "WARNING:  Global center of mass is inconsistent with INVAR2 setting or nodal data.\n"
            "WARNING:  Global mass inertia is inconsistent with INVAR7 setting or nodal data.\n");
  EXPECT_EQ(db->global_cm, (std::array<double, 3>{5, 5, 5}));
  EXPECT_EQ(db->global_inertia[4], 9.0);
}

TEST_F(GlobalMass, ProductsOfInertiaCarryTheOppositeSignOfInvariantSeven) {
  // A second node of mass 1 at (1, 1, 0): invariant 7 gains -1 at (0,1), (1,0).
  ZEL_SetNodeCoordinates(db, 2, 1.0, 1.0, 0.0);
  ZEL_SetNodalMass(db, 2, 1.0);
  EXPECT_EQ(set(3.0, {1, 1.0 / 3.0, 0}, {1, 1, 0, 1, 3, 0, 0, 0, 4}), "");
  EXPECT_NE(set(3.0, {1, 1.0 / 3.0, 0}, {1, -1, 0, -1, 3, 0, 0, 0, 4}), "");
}

TEST_F(GlobalMass, LargeNegativeReferenceValuesAreStillChecked) {
  // A product of inertia far from the nodal one must warn whatever its sign.
  ZEL_SetNodeCoordinates(db, 2, 10.0, 10.0, 0.0);
  ZEL_SetNodalMass(db, 2, 1.0);
  EXPECT_EQ(set(3.0, {4, 10.0 / 3.0, 0}, {100, 100, 0, 100, 102, 0, 0, 0, 202}), "");
  EXPECT_EQ(set(3.0, {4, 10.0 / 3.0, 0}, {100, 900, 0, 900, 102, 0, 0, 0, 202}),
            "WARNING:  Global mass inertia is inconsistent with INVAR7 setting or nodal data.\n");
}

TEST_F(GlobalMass, ZeroMassWithoutNodalMassesIsAnnounced) {
  Database *empty = ZEL_Create(0, 0);
  double cm[3] = {0, 0, 0}, inertia[9] = {};
  const auto printed = capture([&] { ZEL_SetGlobalMass(empty, 0.0, cm, inertia); });
  EXPECT_EQ(printed.out, "Global mass is being set to zero.\n");
  EXPECT_EQ(printed.err, "");
}

TEST_F(GlobalMass, MissingCentreOrInertiaIsRejected) {
  double cm[3] = {1, 0, 0};
  int result = 1;
  const auto printed = capture([&] { result = ZEL_SetGlobalMass(db, 2.0, cm, nullptr); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  The global mass properties need a centre of mass and an inertia tensor.\n");
  EXPECT_EQ(db->global_mass, 0.0);
}

TEST_F(GlobalMass, ChecksDoNotFreezeTheInvariants) {
  set(2.0, {1, 0, 0}, {0, 0, 0, 0, 2, 0, 0, 0, 2});
  EXPECT_TRUE(db->invar1.empty());
  ZEL_SetNodalMass(db, 7, 1.0);
  EXPECT_EQ(set(3.0, {2.0 / 3.0, 0, 0}, {0, 0, 0, 0, 2, 0, 0, 0, 2}), "");
}

TEST_F(GlobalMass, CalculatedFromNodalMassesWithInertia) {
  ZEL_SetNodalInertia(db, 1, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0);
  ZEL_SetNodeCoordinates(db, 2, 0.0, 1.0, 0.0);
  ZEL_SetNodalMass(db, 2, 1.0);
  EXPECT_EQ(ZEL_CalculateGlobalMassFromNodeMass(db), 1);
  EXPECT_EQ(db->global_mass, 3.0);
  EXPECT_EQ(db->global_cm, (std::array<double, 3>{2.0 / 3.0, 1.0 / 3.0, 0.0}));
  // Invariant 7: diag(1, 3, 3) from node 1, diag(1, 0, 1) from node 2, no
  // products (x y of node 2 is 0). The stored tensor negates products.
  EXPECT_EQ(db->global_inertia, (std::array<double, 9>{2, 0, 0, 0, 3, 0, 0, 0, 4}));
  EXPECT_EQ(db->exists[2], 0);
}

TEST_F(GlobalMass, CalculatedInertiaTurnsTheSignOfProducts) {
  ZEL_SetNodeCoordinates(db, 2, 1.0, 1.0, 0.0);
  ZEL_SetNodalMass(db, 2, 1.0);
  ZEL_CalculateGlobalMassFromNodeMass(db);
  EXPECT_EQ(db->global_inertia[1], 1.0);
  EXPECT_EQ(db->global_inertia[3], 1.0);
  EXPECT_EQ(db->global_inertia[0], 1.0);
}

TEST_F(GlobalMass, WithoutNodalMassesTheGlobalValuesStand) {
  Database *body = ZEL_Create(0, 0);
  double cm[3] = {1, 2, 3}, inertia[9] = {5, 1, 0, 1, 6, 0, 0, 0, 7};
  capture([&] { ZEL_SetGlobalMass(body, 10.0, cm, inertia); });
  ZEL_CalculateGlobalMassFromNodeMass(body);
  EXPECT_EQ(body->global_mass, 10.0);
  EXPECT_EQ(body->global_cm, (std::array<double, 3>{1, 2, 3}));
  EXPECT_EQ(body->global_inertia, (std::array<double, 9>{5, 1, 0, 1, 6, 0, 0, 0, 7}));
}

// A body read from a file checks against the file's invariant blocks,
// which takes memory; without it the setters fail with the message.
TEST(GlobalMassOfAFile, WithoutMemoryTheSettersFailWithTheMessage) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  Database *body = nullptr;
  capture([&] { body = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(body, nullptr);
  double cm[3] = {1, 2, 3}, inertia[9] = {};
  int set = -1, calculated = -1;
  const auto printed = capture([&] {
    zel_test::with_allocations_refused_from(1, [&] {
      set = ZEL_SetGlobalMass(body, 10.0, cm, inertia);
      calculated = ZEL_CalculateGlobalMassFromNodeMass(body);
    });
  });
  EXPECT_EQ(set, 0);
  EXPECT_EQ(calculated, 0);
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_TRUE(printed.err.ends_with(" in file zelset.\nERROR:  \n")) << printed.err;
  const auto consistent = capture([&] { EXPECT_EQ(ZEL_SetGlobalMass(body, 0.25, cm, inertia), 1); });
  EXPECT_EQ(consistent.err,
            "WARNING:  Global mass inertia is inconsistent with INVAR7 setting or nodal data.\n");
  ZEL_UnLink(body);
}

TEST_F(Builder, NewFacesAndInterfaceNodesRefreshTheGeometryNodeList) {
  ZEL_SetFace(db, 3, 1, 2, 3);
  int count = 0;
  int *nodes = ZEL_GeometryNodes(db, &count);
  EXPECT_EQ(count, 3);
  ZEL_FreeMemory(nodes);
  ZEL_SetFace(db, 3, 3, 4, 5);
  ZEL_SetNodeCoordinates(db, 9, 0, 0, 0);
  ZEL_SetInterfaceNode(db, 9);
  nodes = ZEL_GeometryNodes(db, &count);
  ASSERT_NE(nodes, nullptr);
  EXPECT_EQ(std::vector<int>(nodes, nodes + count), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  ZEL_FreeMemory(nodes);
}

// The node IDs 1..count in a fixed random order.
std::vector<int> shuffled_ids(int count) {
  std::vector<int> ids(static_cast<std::size_t>(count));
  std::iota(ids.begin(), ids.end(), 1);
  std::shuffle(ids.begin(), ids.end(), std::mt19937(20261207));
  return ids;
}

// Sets the coordinates of node `ids[i]` for every i; gives how many calls succeeded.
int add_nodes(Database *body, const std::vector<int> &ids) {
  int added = 0;
  for (int id : ids) added += ZEL_SetNodeCoordinates(body, id, id * 0.5, 0.0, 0.0);
  return added;
}

// Node i must be the i-th ID added.
void expect_found_in_order(Database *body, const std::vector<int> &ids) {
  ASSERT_EQ(ZEL_NodeCount(body), static_cast<int>(ids.size()));
  for (std::size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ZEL_NodeIndex(body, ids[i]), static_cast<int>(i));
}

TEST(AnnouncedNodeCount, ABodyOfTheAnnouncedSizeIsBuiltWithoutAnotherAllocation) {
  std::vector<int> ids = shuffled_ids(3000);
  Database *body = ZEL_Create(3000, 0);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->node_capacity(), 3000);
  int added = 0;
  const auto printed =
      capture([&] { zel_test::with_allocations_refused_from(1, [&] { added = add_nodes(body, ids); }); });
  EXPECT_EQ(added, 3000);
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(body->node_capacity(), 3000);
  // One node more than announced grows the tables instead of failing.
  ids.push_back(3001);
  EXPECT_EQ(ZEL_SetNodeCoordinates(body, 3001, 0.0, 0.0, 0.0), 1);
  EXPECT_GT(body->node_capacity(), 3001);
  expect_found_in_order(body, ids);
  ZEL_UnLink(body);
}

// A count that cannot size the tables leaves an empty body that grows as
// nodes arrive; ZEL_Create fails only when the record itself is refused.
TEST(AnnouncedNodeCount, ACountThatSizesNothingStillGivesAWorkingBody) {
  struct Case {
    const char *what;
    int announced;
    std::size_t refused_from;     // allocations of at least this many bytes fail; 0: none
    std::size_t refused_of_size;  // allocations of exactly this many bytes fail; 0: none
  };
  const Case cases[] = {
      {"zero", 0, 0, 0},
      {"negative", -7, 0, 0},
      {"node table refused", 1000, 1000 * sizeof(zel::NodeRecord), 0},
      // The index of 1000 nodes hashes into 2048 slots of 8 bytes; the node
      // table was granted before it.
      {"index refused", 1000, 0, 2048 * 8},
  };
  const std::vector<int> ids = shuffled_ids(1500);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Database *body = nullptr;
    zel_test::with_allocations_refused_from(c.refused_from, [&] {
      zel_test::with_allocations_refused_of_size(c.refused_of_size, [&] { body = ZEL_Create(c.announced, 0); });
    });
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->expected_nodes, c.announced);
    EXPECT_EQ(body->node_capacity(), 0);
    EXPECT_EQ(add_nodes(body, ids), 1500);
    expect_found_in_order(body, ids);
    ZEL_UnLink(body);
  }
}

TEST(AnnouncedNodeCount, ACountBeyondTheMachinesMemoryAsksForNothing) {
  constexpr int kMostNodes = 2147483647;
  const double memory = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE));
  if (static_cast<double>(kMostNodes) * sizeof(zel::NodeRecord) <= memory) GTEST_SKIP() << "a machine this large";
  Database *body = nullptr;
  const std::size_t largest = zel_test::largest_allocation_in([&] { body = ZEL_Create(kMostNodes, 0); });
  ASSERT_NE(body, nullptr);
  EXPECT_LT(largest, zel_test::kModestAllocation);
  EXPECT_EQ(body->node_capacity(), 0);
  EXPECT_EQ(ZEL_SetNodeCoordinates(body, 7, 1.0, 2.0, 3.0), 1);
  EXPECT_EQ(ZEL_NodeIndex(body, 7), 0);
  ZEL_UnLink(body);
}
