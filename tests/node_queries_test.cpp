// Header, node, interface-node, face and global-mass queries.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

class NodeQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    db = ZEL_Create(10, 0);
    ZEL_SetNodeCoordinates(db, 30, 1.0, 2.0, 3.0);
    ZEL_SetNodeCoordinates(db, 10, 4.0, 5.0, 6.0);
    ZEL_SetNodalMass(db, 10, 2.5);
    ZEL_SetNodalInertia(db, 10, 1, 2, 3, 4, 5, 6);
  }
  void TearDown() override { ZEL_Terminate(); }
  Database *db = nullptr;
};

}  // namespace

TEST_F(NodeQueries, NodesByIndex) {
  EXPECT_EQ(ZEL_NodeCount(db), 2);
  EXPECT_EQ(ZEL_NodeID(db, 1), 10);
  EXPECT_EQ(ZEL_NodeID(db, 2), 0);
  EXPECT_EQ(ZEL_NodeID(db, -1), 0);
  double xyz[3];
  EXPECT_EQ(ZEL_NodeCoordinates(db, 1, xyz), 1);
  EXPECT_EQ((std::array<double, 3>{xyz[0], xyz[1], xyz[2]}), (std::array<double, 3>{4, 5, 6}));
  EXPECT_EQ(ZEL_NodalMass(db, 1), 2.5);
  EXPECT_EQ(ZEL_NodalMass(db, 5), 0.0);
  double mass = -1;
  EXPECT_EQ(ZEL_NodalMassAndGeometry(db, 0, &mass, xyz), 1);
  EXPECT_EQ(mass, 0.0);
  EXPECT_EQ(xyz[2], 3.0);
}

TEST_F(NodeQueries, CoordinatesOutOfRangeAreZeroedWithoutMessage) {
  double xyz[3] = {7, 7, 7};
  const auto printed = zel_test::capture([&] { EXPECT_EQ(ZEL_NodeCoordinates(db, 2, xyz), 0); });
  EXPECT_EQ((std::array<double, 3>{xyz[0], xyz[1], xyz[2]}), (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(printed.err, "");
  // Without any node there is nothing to zero against: the output stays.
  Database *empty = ZEL_Create(0, 0);
  double untouched[3] = {7, 7, 7};
  EXPECT_EQ(ZEL_NodeCoordinates(empty, 0, untouched), 0);
  EXPECT_EQ(untouched[0], 7.0);
  int count = -1;
  EXPECT_EQ(ZEL_NodeCoordinateList(empty, untouched, &count), 0);
  EXPECT_EQ(count, -1);
}

TEST_F(NodeQueries, CoordinateListInIndexOrder) {
  double xyz[6];
  int count = 0;
  EXPECT_EQ(ZEL_NodeCoordinateList(db, xyz, &count), 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(xyz[0], 1.0);
  EXPECT_EQ(xyz[5], 6.0);
}

TEST_F(NodeQueries, InertiaIsTheFullSymmetricTensor) {
  double tensor[9];
  EXPECT_EQ(ZEL_NodalInertia(db, 1, tensor), 1);
  const std::array<double, 9> expected{1, 4, 5, 4, 2, 6, 5, 6, 3};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(tensor[k], expected[k]) << k;
  double untouched[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(ZEL_NodalInertia(db, 0, untouched), 0);
  EXPECT_EQ(untouched[0], 9.0);
}

TEST_F(NodeQueries, InterfaceNodesAreFreshCallerArrays) {
  int count = 7;
  EXPECT_EQ(ZEL_InterfaceNodes(db, &count), nullptr);
  EXPECT_EQ(count, 0);
  count = 7;
  EXPECT_EQ(ZEL_InterfaceNodeIDs(db, &count), nullptr);
  EXPECT_EQ(count, 0);
  ZEL_SetInterfaceNode(db, 10);
  ZEL_SetInterfaceNode(db, 30);
  int *indices = ZEL_InterfaceNodes(db, &count);
  ASSERT_NE(indices, nullptr);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(indices[0], 1);
  EXPECT_EQ(indices[1], 0);
  int *ids = ZEL_InterfaceNodeIDs(db, &count);
  ASSERT_NE(ids, nullptr);
  EXPECT_EQ(ids[0], 10);
  EXPECT_EQ(ids[1], 30);
  EXPECT_NE(ids, indices);
  ZEL_FreeMemory(indices);
  ZEL_FreeMemory(ids);
}

TEST_F(NodeQueries, HeaderCopiesSkipNullBuffersAndDropTheDateLineFeed) {
  db->title = "Plate";
  db->date = "Mon Dec  7 07:35:24 2026\n";
  db->comment[2] = "third";
  char title[128], date[32], comment3[80];
  ZEL_Header(db, title, date, nullptr, nullptr, nullptr, nullptr, comment3);
  EXPECT_STREQ(title, "Plate");
  EXPECT_STREQ(date, "Mon Dec  7 07:35:24 2026");
  EXPECT_STREQ(comment3, "third");
}

TEST_F(NodeQueries, FacesAndTheirSizes) {
  int faces = -1, size = -1;
  ZEL_FaceListSize(nullptr, &faces, &size);
  EXPECT_EQ(faces, 0);
  EXPECT_EQ(size, 0);
  int list[4];
  EXPECT_EQ(ZEL_ElementFaces(db, list), 0);
  ZEL_SetFace(db, 3, 10, 30, 40);
  ZEL_FaceListSize(db, &faces, &size);
  EXPECT_EQ(faces, 1);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(ZEL_ElementFaces(db, list), 1);
  EXPECT_EQ(list[0], 3);
  EXPECT_EQ(list[3], 2);
}

TEST(GlobalMassQuery, OneNodeOfMassTwoWithAndWithoutInertia) {
  Database *db = ZEL_Create(1, 0);
  ZEL_SetNodeCoordinates(db, 1, 1.0, 0.0, 0.0);
  ZEL_SetNodalMass(db, 1, 2.0);
  double mass = 0, inertia[9], cm[3];
  EXPECT_EQ(ZEL_TotalMassInertia(db, &mass, inertia, cm), 1);
  EXPECT_EQ(mass, 2.0);
  EXPECT_EQ(cm[0], 1.0);
  EXPECT_EQ((std::array<double, 3>{inertia[0], inertia[4], inertia[8]}), (std::array<double, 3>{0, 2, 2}));
  Database *with_inertia = ZEL_Create(1, 0);
  ZEL_SetNodeCoordinates(with_inertia, 1, 1.0, 0.0, 0.0);
  ZEL_SetNodalMass(with_inertia, 1, 2.0);
  ZEL_SetNodalInertia(with_inertia, 1, 1, 1, 1, 0, 0, 0);
  ZEL_TotalMassInertia(with_inertia, &mass, inertia, cm);
  EXPECT_EQ((std::array<double, 3>{inertia[0], inertia[4], inertia[8]}), (std::array<double, 3>{1, 3, 3}));
  EXPECT_EQ(inertia[1], 0.0);
  ZEL_Terminate();
}

TEST(GlobalMassQuery, WithoutNodalMassesTheGlobalPropertiesGiveTheInvariants) {
  Database *db = ZEL_Create(0, 0);
  double cm[3] = {1, 2, 3}, inertia[9] = {5, -1, 0, -1, 6, 0, 0, 0, 7};
  zel_test::capture([&] { ZEL_SetGlobalMass(db, 10.0, cm, inertia); });
  double mass = 0, out_inertia[9], out_cm[3];
  ZEL_TotalMassInertia(db, &mass, out_inertia, out_cm);
  EXPECT_EQ(mass, 10.0);
  EXPECT_EQ(db->invar2, (std::vector<double>{10, 20, 30}));
  EXPECT_EQ((std::array<double, 3>{out_cm[0], out_cm[1], out_cm[2]}), (std::array<double, 3>{1, 2, 3}));
  for (int k = 0; k < 9; ++k) EXPECT_EQ(out_inertia[k], inertia[k]) << k;
  EXPECT_EQ(ZEL_TotalMassInertia(nullptr, &mass, out_inertia, out_cm), 0);
  ZEL_Terminate();
}

// The sample file's invariant blocks hold 0.25 (k + 1) at value k, far
// from what its four nodal masses (1.5 to 4.5) would give.
TEST(GlobalMassQuery, AFilesInvariantBlocksWinOverItsNodes) {
  zel_test::ScratchDir dir;
  for (const uint32_t version : {40u, 50u, 316u, 572u}) {  // native and XDR, double and single
    const std::string path = dir.file("body" + std::to_string(version) + ".zel");
    ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(version), path));
    Database *db = nullptr;
    zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
    ASSERT_NE(db, nullptr);
    double mass = 0, inertia[9], cm[3];
    ASSERT_EQ(ZEL_TotalMassInertia(db, &mass, inertia, cm), 1);
    EXPECT_EQ(mass, 0.25) << version;
    EXPECT_EQ((std::array<double, 3>{cm[0], cm[1], cm[2]}), (std::array<double, 3>{1, 2, 3})) << version;
    const std::array<double, 9> expected{0.25, -0.5, -0.75, -1.0, 1.25, -1.5, -1.75, -2.0, 2.25};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(inertia[k], expected[k]) << version << " entry " << k;
    ZEL_UnLink(db);
  }
}

TEST(GlobalMassQuery, AFilesInvariantsArriveInTheCurrentUnits) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.preload.reset();  // processed modal forces would need the rigid-body count
  body.loads.reset();
  ASSERT_TRUE(zel_test::write_zel_file(body, path));
  Database *db = nullptr;
  zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(db, nullptr);
  // Megagram and millimetre to kilogram and metre: mass x 1000, first
  // moment x 1, inertia x 0.001.
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
  double mass = 0, inertia[9], cm[3];
  ZEL_TotalMassInertia(db, &mass, inertia, cm);
  EXPECT_DOUBLE_EQ(mass, 250.0);
  EXPECT_DOUBLE_EQ(cm[2], 0.75 / 250.0);
  EXPECT_DOUBLE_EQ(inertia[8], 2.25e-3);
  ZEL_UnLink(db);
}

TEST(TransformationQuery, FillsExactlyTheCallersModesByModesBuffer) {
  Database *db = ZEL_Create(1, 2);
  db->mode_numbers = {1, 2};
  double matrix[4] = {9, 9, 9, 9};
  EXPECT_EQ(ZEL_Transformation(db, matrix), 0);
  // A file's matrix of order 3 for a body of 2 modes: the overlap only.
  db->transform_modes = {1, 2, 3};
  db->transform = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(ZEL_Transformation(db, matrix), 1);
  EXPECT_EQ(std::vector<double>(matrix, matrix + 4), (std::vector<double>{1, 2, 4, 5}));
  db->transform_modes = {1};
  db->transform = {7};
  ZEL_Transformation(db, matrix);
  EXPECT_EQ(std::vector<double>(matrix, matrix + 4), (std::vector<double>{7, 0, 0, 0}));
  ZEL_Terminate();
}
