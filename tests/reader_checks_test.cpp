// The reader's consistency checks and their messages, the node-table
// reorder, the mode-number rules of the older versions, and references to
// nodes a damaged file does not have.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/database_list.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel_test::Printed;
using zel_test::ZelBody;

// Eigenvalue records numbered `numbers`, eigenvalue (index + 2)^2.
std::vector<double> eigen_records(const std::vector<int32_t> &numbers) {
  std::vector<double> eigen;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const double radians = static_cast<double>(i) + 2.0;
    eigen.insert(eigen.end(), {double(numbers[i]), radians * radians, radians / 8, radians, 1.0, radians * radians});
  }
  return eigen;
}

class ReaderChecks : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // Writes the body and opens it, capturing what the reader prints.
  Database *open(const ZelBody &body) {
    EXPECT_TRUE(zel_test::write_zel_file(body, path));
    Database *db = nullptr;
    printed = zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
    EXPECT_EQ(printed.out, "");
    return db;
  }

  // Opens a body the reader must refuse; gives what it printed.
  std::string refused(const ZelBody &body) {
    EXPECT_EQ(open(body), nullptr);
    // The half-read database is released, not left in the list.
    EXPECT_EQ(zel::first_database(), nullptr);
    return printed.err;
  }

  zel_test::ScratchDir dir;
  const std::string path = dir.file("checked.zel");
  Printed printed;
};

TEST_F(ReaderChecks, NodeTableTakesTheModeShapeOrderWithCoordinatesMassesAndInertias) {
  ZelBody body = zel_test::sample_body(316);
  body.mode_shapes->node_ids = {40, 10, 30, 20};
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "");
  const int32_t ids[] = {40, 10, 30, 20};
  for (std::size_t j = 0; j < 4; ++j) {
    const zel::NodeRecord &node = db->nodes[j];
    const double x = ids[j] / 10.0;
    EXPECT_EQ(node.id, ids[j]);
    EXPECT_EQ(node.x, x);
    EXPECT_EQ(node.z, -x);
    EXPECT_EQ(node.mass, x + 0.5);
    EXPECT_EQ(ZEL_NodeIndex(db, ids[j]), static_cast<int>(j));
  }
  ASSERT_TRUE(db->nodes[3].inertia);
  EXPECT_EQ((*db->nodes[3].inertia)[1], 2.0);
  EXPECT_FALSE(db->nodes[1].inertia);
  // The stress set names its nodes by their new places.
  EXPECT_EQ(db->sets[zel::kStressSet].node_of_position, (std::vector<int32_t>{2, 1}));
}

TEST_F(ReaderChecks, Version20TakesModeNumbersFromTheEigenvalueRecords) {
  ZelBody body = zel_test::sample_body(20);
  body.eigen = eigen_records({7, 8, 9});
  Database *db = open(body);  // the skipped ints hold 1, 2, 3
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{7, 8, 9}));
}

TEST_F(ReaderChecks, Version10DerivesFrequenciesAndNumbersModesFromTheirRecords) {
  ZelBody body = zel_test::sample_body(10);
  body.eigen = eigen_records({4, 5, 6});
  for (std::size_t at = 2; at < 6; ++at) (*body.eigen)[at] = -7.0;  // whatever the file holds
  (*body.eigen)[1] = 4 * M_PI * M_PI;
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{4, 5, 6}));
  EXPECT_NEAR(db->eigen[2], 1.0, 1e-12);
  EXPECT_NEAR(db->eigen[3], 2 * M_PI, 1e-12);
  EXPECT_EQ(db->eigen[4], 1.0);
  EXPECT_EQ(db->eigen[5], 4 * M_PI * M_PI);
}

TEST_F(ReaderChecks, StressWithoutModeShapesSuppliesTheModeNumbersWithAWarning) {
  ZelBody body = zel_test::sample_body(316);
  body.mode_shapes.reset();
  body.stress->mode_numbers = {5, 6, 7};
  body.strain->mode_numbers = {5, 6, 7};
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "WARNING:  Stress modes are being processed before mode shapes\n");
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{5, 6, 7}));
  EXPECT_EQ(db->temp_slot_offset[zel::kStressSet].size(), 3u);
  EXPECT_TRUE(db->temp_slot_offset[zel::kModeShapeSet].empty());
}

TEST_F(ReaderChecks, StrainWithoutModeShapesOrStressSuppliesTheModeNumbers) {
  ZelBody body = zel_test::sample_body(60);
  body.mode_shapes.reset();
  body.stress.reset();
  body.pre_stress.reset();
  body.preload.reset();  // read before the strain block: no modes yet
  body.loads.reset();
  body.strain->mode_numbers = {4, 8, 12};
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "WARNING:  Strain modes are being processed before mode shapes\n");
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{4, 8, 12}));
}

TEST_F(ReaderChecks, StressAloneSuppliesNumbersFromEigenvaluesWhereTheVersionStoresNone) {
  ZelBody body = zel_test::sample_body(31);
  body.mode_shapes.reset();
  body.eigen = eigen_records({11, 12, 13});
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{11, 12, 13}));
  EXPECT_EQ(db->temp_slot_offset[zel::kStressSet].size(), 3u);
}

TEST_F(ReaderChecks, StressOrStrainModesInAnotherOrderStopTheRead) {
  ZelBody body = zel_test::sample_body(41);
  body.stress->mode_numbers = {1, 2, 4};
  EXPECT_EQ(refused(body), "ERROR:  Stress modes are in a different order than mode shapes\n");
  body = zel_test::sample_body(828);
  body.strain->mode_numbers = {2, 1, 3};
  EXPECT_EQ(refused(body), "ERROR:  Strain modes are in a different order than mode shapes\n");
}

TEST_F(ReaderChecks, FewerStressModesThanEigenvaluesIsReportedAndTheReadGoesOn) {
  ZelBody body = zel_test::sample_body(316);
  body.eigen = eigen_records({1, 2, 3, 4, 5});
  body.mode_shapes->mode_count = 5;
  body.mode_shapes->mode_numbers = {1, 2, 3, 4, 5};
  body.stress->mode_count = 4;
  body.stress->mode_numbers = {1, 2, 3, 4};
  body.preload.reset();
  body.loads.reset();
  body.strain.reset();
  body.pre_strain.reset();
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "ERROR:  Number of stress modes does not match the number of eigenvalues\n");
  EXPECT_EQ(db->mode_count(), 4);
  EXPECT_EQ(db->eigen_count, 5);
  EXPECT_EQ(db->temp_slot_offset[zel::kStressSet].size(), 4u);
}

TEST_F(ReaderChecks, MoreStressModesThanModeShapesStopTheRead) {
  ZelBody body = zel_test::sample_body(316);
  body.stress->mode_count = 4;
  EXPECT_EQ(refused(body),
            "ERROR:  Number of stress modes does not match the number of eigenvalues\n"
            "ERROR:  Problem when reading Modal Stress info\n");
}

TEST_F(ReaderChecks, ModeCountsThatDisagreeWithTheEigenvaluesOrTheLoadsStopTheRead) {
  ZelBody body = zel_test::sample_body(316);
  body.mode_shapes->mode_count = 2;
  EXPECT_EQ(refused(body), "ERROR:  Number of mode shapes does not match the number of eigenvalues\n");
  body = zel_test::sample_body(316);
  body.preload->values.pop_back();
  EXPECT_EQ(refused(body), "ERROR:  Number of modal preloads does not match the number of modes\n");
  body = zel_test::sample_body(316);
  body.loads->mode_count = 2;
  EXPECT_EQ(refused(body), "ERROR:  Number of modal load components does not match the number of modes\n");
}

TEST_F(ReaderChecks, PresentBlocksWithNoEntriesAreRefusedWithTheirOwnMessage) {
  ZelBody body = zel_test::sample_body(316);
  body.gen_stiff->entries.clear();
  EXPECT_EQ(refused(body), "ERROR:  Out of memory while reading Generalized Stiffness block\n");
  body = zel_test::sample_body(316);
  body.gen_mass->entries.clear();
  EXPECT_EQ(refused(body), "ERROR:  Out of memory while reading Generalized Mass block\n");
  body = zel_test::sample_body(316);
  body.gen_damp->entries.clear();
  EXPECT_EQ(refused(body), "ERROR:  Out of memory while reading Generalized Damping Block\n");
  body = zel_test::sample_body(316);
  body.interface_nodes->clear();
  EXPECT_EQ(refused(body),
            "ERROR:  Out of memory while reading Interface Nodes block\nERROR:  Problem when reading Interface Nodes\n");
  body = zel_test::sample_body(316);
  body.loads->cases.clear();
  EXPECT_EQ(refused(body), "ERROR:  Out of memory while reading Modal Loads Block\n");
  body = zel_test::sample_body(316);
  body.statistics->clear();
  EXPECT_EQ(refused(body), "ERROR:  Out of memory while reading Modal Statistics Block\n");
  body = zel_test::sample_body(316);
  body.nodes.clear();
  EXPECT_EQ(refused(body), "ERROR:  Out of memory while reading Nodal Coordinate block\n");
}

TEST_F(ReaderChecks, EmptyEigenvaluesAndTransformationLoadNothing) {
  ZelBody body = zel_test::sample_body(40);
  body.eigen->clear();
  body.transformation->modes.clear();
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->eigen_count, 0);
  EXPECT_TRUE(db->transform.empty());
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{1, 2, 3}));
}

// A mode-shape list may name only some of the nodes; one that names more
// nodes than the table has, a node it lacks, or one node twice would pair
// values with the wrong node.
TEST_F(ReaderChecks, ModeShapeListsThatCannotBePairedWithTheNodesStopTheRead) {
  const std::vector<int32_t> lists[] = {{10, 20, 30, 40, 50}, {10, 99}, {20, 20}};
  for (const std::vector<int32_t> &list : lists) {
    ZelBody body = zel_test::sample_body(316);
    body.mode_shapes->node_ids = list;
    EXPECT_EQ(refused(body), "ERROR:  Problem encountered while caching Mode shape Data\n") << list.size();
  }
}

// Three nodes, of which the mode shapes list the first `listed`: the
// listed ones move to the front in list order and alone carry mode
// values; every block after the mode shapes still reads whole.
struct PartialModeShapes {
  uint32_t version;
  std::vector<int32_t> listed;
  std::vector<int32_t> node_order;  // the node table after the read
};

class ReaderPartialModeShapes : public ReaderChecks, public ::testing::WithParamInterface<PartialModeShapes> {};

TEST_P(ReaderPartialModeShapes, ReadWholeWithModeValuesForTheListedNodesOnly) {
  const PartialModeShapes &c = GetParam();
  ZelBody body = zel_test::sample_body(c.version);
  body.nodes.pop_back();
  body.faces = zel_test::FaceList{1, {3, 0, 1, 2}};
  body.interface_nodes = std::vector<int32_t>{0, 2};
  body.mode_shapes->node_ids = c.listed;
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "");

  const int listed = static_cast<int>(c.listed.size());
  EXPECT_EQ(ZEL_NodeCount(db), 3);
  EXPECT_EQ(ZEL_ModeNodeCount(db, 0), listed);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(ZEL_NodeID(db, j), c.node_order[static_cast<std::size_t>(j)]);
  for (int mode = 0; mode < 3; ++mode) {
    double values[3 * 3] = {};
    ASSERT_EQ(ZEL_Mode(db, mode + 1, 0, values, 1), 1);
    for (int p = 0; p < listed; ++p)
      for (int k = 0; k < 3; ++k) EXPECT_EQ(values[3 * p + k], zel_test::mode_value(0, mode, p, 3 + k));
    EXPECT_EQ(values[3 * listed], 0.0) << "nothing is written past the listed nodes";
  }
  double at_node[3] = {1.0, 1.0, 1.0};
  EXPECT_EQ(ZEL_ModeByNode(db, 2, 0, c.listed.back(), at_node, 0), 1);
  EXPECT_EQ(at_node[0], zel_test::mode_value(0, 1, listed - 1, 0));
  EXPECT_EQ(ZEL_ModeByNode(db, 2, 0, c.node_order.back(), at_node, 0), 0) << "a node without mode values";
  EXPECT_EQ(at_node[0], 0.0);

  // The blocks after the mode shapes.
  double stress[2 * 3] = {};
  ASSERT_EQ(ZEL_Mode(db, 3, 1, stress, 0), 1);
  EXPECT_EQ(stress[3], zel_test::mode_value(1, 2, 1, 0));
  EXPECT_EQ(db->preload, body.preload->values);
  ASSERT_EQ(db->load_case_count(), 2);
  EXPECT_EQ(db->load_cases[1].values, body.loads->cases[1].values);
  ASSERT_EQ(db->statistics.size(), 3u);
  EXPECT_EQ(db->statistics[2].value[2], 200.0);
  EXPECT_EQ(db->pre_stress, *body.pre_stress);
  EXPECT_EQ(db->pre_strain, *body.pre_strain);
  double mass = 0.0, inertia[9] = {}, cm[3] = {};
  ASSERT_EQ(ZEL_TotalMassInertia(db, &mass, inertia, cm), 1);
  EXPECT_EQ(mass, 0.25) << "invariant 1 of the file";
  EXPECT_EQ(db->interface_nodes.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(NativeAndXdr, ReaderPartialModeShapes,
                         ::testing::Values(PartialModeShapes{60, {30}, {30, 20, 10}},
                                           PartialModeShapes{60, {20, 30}, {20, 30, 10}},
                                           PartialModeShapes{316, {30}, {30, 20, 10}},
                                           PartialModeShapes{316, {20, 30}, {20, 30, 10}}));

// Each value set keeps its own count of modes: stress values for the
// first two modes, strain values for all three; the blocks between them
// count the stress block's modes.
TEST_F(ReaderChecks, StressAndStrainWithDifferentModeCountsEachKeepTheirOwn) {
  for (const uint32_t version : {60u, 828u}) {
    ZelBody body = zel_test::sample_body(version);
    body.eigen = eigen_records({7, 8, 9});
    body.mode_shapes->mode_numbers = {7, 8, 9};
    body.stress->mode_count = 2;
    body.stress->mode_numbers = {7, 8};
    body.strain->mode_numbers = {7, 8, 9};
    body.preload->values.pop_back();
    body.loads->mode_count = 2;
    for (zel::LoadCase &load : body.loads->cases) load.values.pop_back();
    Database *db = open(body);
    ASSERT_NE(db, nullptr) << printed.err;
    EXPECT_EQ(printed.err, "ERROR:  Number of stress modes does not match the number of eigenvalues\n");
    EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{7, 8, 9}));
    EXPECT_EQ(db->preload.size(), 2u);
    double strain[3] = {};
    ASSERT_EQ(ZEL_Mode(db, 9, 2, strain, 0), 1);
    EXPECT_EQ(strain[1], zel_test::mode_value(2, 2, 0, 1));
    double stress[6] = {};
    EXPECT_EQ(zel_test::capture([&] { EXPECT_EQ(ZEL_Mode(db, 9, 1, stress, 0), 0); }).err,
              "ERROR:  Problem reading modal stress vector 9\n");
    ZEL_Terminate();
  }
}

TEST_F(ReaderChecks, StrainModesBeyondTheModeShapesStopTheRead) {
  ZelBody body = zel_test::sample_body(316);
  body.stress->mode_count = 2;
  body.preload.reset();
  body.loads.reset();
  body.strain->mode_count = 4;
  EXPECT_EQ(refused(body),
            "ERROR:  Number of stress modes does not match the number of eigenvalues\n"
            "ERROR:  Number of strain modes does not match the number of eigenvalues\n"
            "ERROR:  Problem when reading Modal Strain info\n");
}

TEST_F(ReaderChecks, AnInertiaRowOutsideTheRotationsStopsTheRead) {
  const ZelBody body = zel_test::sample_body(40);
  Database *db = open(body);
  ASSERT_NE(db, nullptr);
  // Native file: the first entry's row char follows the count and the ID.
  const int64_t row_at = db->toc[zel::kNodalInertiasBlock] + 8;
  ZEL_UnLink(db);
  std::FILE *file = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fseek(file, static_cast<long>(row_at), SEEK_SET), 0);
  ASSERT_EQ(std::fputc(3, file), 3);
  std::fclose(file);
  printed = zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(printed.err,
            "ERROR:  Row index of nodal inertia entries should be 4, 5, or 6.  3 encoutered\nERROR:  \n"
            "ERROR:  Problem reading Nodal Inertia information\n");
}

TEST_F(ReaderChecks, ReReadingADamagedGeneralizedMatrixFailsAndKeepsThePosition) {
  Database *db = open(zel_test::sample_body(40));
  ASSERT_NE(db, nullptr);
  // Native file: the first entry's row number follows the count and flag.
  const int64_t row_at = db->toc[11] + 8;
  std::FILE *file = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(file, nullptr);
  const int32_t no_mode = 0;
  ASSERT_EQ(std::fseek(file, static_cast<long>(row_at), SEEK_SET), 0);
  ASSERT_EQ(std::fwrite(&no_mode, sizeof no_mode, 1, file), 1u);
  std::fclose(file);
  ASSERT_TRUE(db->file.seek(100));
  EXPECT_EQ(ZEL_ReadGeneralizedStiffness(db), 0);
  EXPECT_EQ(db->file.tell(), 100);
  EXPECT_EQ(ZEL_ReadGeneralizedMass(db), 1);
  printed = zel_test::capture([&] { EXPECT_EQ(ZEL_ReadGeneralizedDamping(nullptr), 0); });
  EXPECT_EQ(printed.err, "ERROR:  The database has not been initialized.\n");
}


// A body being built has its matrices flagged present but no file to
// re-read them from: there is no block to go to, so nothing is read and
// the entries it holds stay.
TEST_F(ReaderChecks, ReReadingWithoutAFileKeepsTheEntriesHeld) {
  Database *db = ZEL_Create(4, 3);
  ASSERT_NE(db, nullptr);
  const std::vector<zel::GenEntry> entries = {{0, 0, 4.0}, {1, 1, 9.0}};
  db->gen_stiff = entries;
  db->gen_damp = entries;
  db->damping_on_principal_axes = 1;
  zel::block_flag(*db, 11) = 1;
  zel::block_flag(*db, 14) = 1;
  printed = zel_test::capture([&] {
    EXPECT_EQ(ZEL_ReadGeneralizedStiffness(db), 1);
    EXPECT_EQ(ZEL_ReadGeneralizedDamping(db), 1);
  });
  EXPECT_EQ(printed.err, "");
  ASSERT_EQ(db->gen_stiff.size(), 2u);
  EXPECT_EQ(db->gen_stiff[1].value, 9.0);
  ASSERT_EQ(db->gen_damp.size(), 2u);
  EXPECT_EQ(db->gen_damp[0].value, 4.0);
  EXPECT_EQ(db->damping_on_principal_axes, 1);
}

TEST_F(ReaderChecks, UnitNamesAreConvertedUpToTheFirstUnknownOneAndDefaultWhenAbsent) {
  ZelBody body = zel_test::sample_body(316);
  body.units = std::array<std::string, 4>{"kg", "furlong", "s", "N"};
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(db->unit_name, (std::array<std::string, 4>{"KILOGRAM", "furlong", "s", "N"}));
  ZEL_UnLink(db);
  body.units.reset();
  db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(db->unit_name, (std::array<std::string, 4>{"KILOGRAM", "METER", "SECOND", "NEWTON"}));
}

TEST_F(ReaderChecks, AStreamAtAnyPositionIsReadFromItsStartAndKeptOpen) {
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(51), path));
  std::FILE *stream = std::fopen(path.c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(std::fseek(stream, 333, SEEK_SET), 0);
  Database *db = ZEL_Create(0, 0);
  ASSERT_EQ(ZEL_ReadZEL(db, stream, path.c_str()), 1);
  EXPECT_EQ(db->file.fp, stream);
  EXPECT_EQ(db->title, "sample body");
  EXPECT_EQ(ZEL_CreateFromZEL(path.c_str()), db);
}

TEST_F(ReaderChecks, AFileThatIsNotZelIsRefusedAndNoDatabaseRemains) {
  ASSERT_TRUE(zel_test::write_bytes(std::vector<unsigned char>(64, 0x01), path));
  Database *db = nullptr;
  printed = zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(printed.err, "ERROR:  Unknown version code 0x01010101: not a ZEL file.\nERROR:  Not a valid ZEL format.\n");
  EXPECT_EQ(zel::first_database(), nullptr);
  EXPECT_EQ(ZEL_ReadZEL(nullptr, nullptr, "none"), 0);
}

// ------------------------------------------- references to missing nodes

TEST_F(ReaderChecks, StressNodesThatAreNotNodesOfTheFileGetNoNode) {
  ZelBody body = zel_test::sample_body(316);
  body.stress->node_ids = {30, 99};
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err, "");
  const zel::ValueSet &stress = db->sets[zel::kStressSet];
  EXPECT_EQ(stress.node_of_position, (std::vector<int32_t>{2, -1}));
  EXPECT_EQ(stress.position_of_id.find(99), 1);
  EXPECT_EQ(db->set_count(zel::kStressSet), 2);
}

TEST_F(ReaderChecks, FaceAndInterfaceIndicesOutsideTheNodeTableNameNoNode) {
  ZelBody body = zel_test::sample_body(316);
  body.faces->list = {4, 0, 1, 4, 3, 3, -5, 1, 3};
  body.interface_nodes = std::vector<int32_t>{3, 4, -2, 0};
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(db->face_list, (std::vector<int32_t>{4, 0, 1, -1, 3, 3, -1, 1, 3}));
  EXPECT_EQ(db->interface_nodes, (std::vector<int32_t>{3, -1, -1, 0}));
  // Callers index nodes with the geometry nodes: "no node" is not one.
  int count = 0;
  int *nodes = ZEL_GeometryNodes(db, &count);
  ASSERT_NE(nodes, nullptr);
  EXPECT_EQ(std::vector<int>(nodes, nodes + count), (std::vector<int>{0, 1, 3}));
  ZEL_FreeMemory(nodes);
}

TEST_F(ReaderChecks, PreValueCountsThatDifferFromTheirSetAreReportedAndKept) {
  ZelBody body = zel_test::sample_body(572);
  body.pre_stress->resize(18, 1.0);
  body.pre_strain->clear();
  Database *db = open(body);
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.err,
            "ERROR:  Number of nodes in pre-stress does not match that in stress modes\n"
            "ERROR:  Number of nodes in pre-strain does not match that in strain modes\n");
  EXPECT_EQ(db->pre_stress.size(), 18u);
  EXPECT_EQ(db->set_count(zel::kStressSet), 2);
  EXPECT_TRUE(db->pre_strain.empty());
}

// A pre-strain count below zero differs from the strain node count and
// has no room to give: both are reported and the read stops.
TEST_F(ReaderChecks, APreValueCountBelowZeroIsAMismatchWithNoRoom) {
  std::vector<unsigned char> bytes = zel_test::zel_file_bytes(zel_test::sample_body(40));
  // The pre-strain block ends the native double file (the last block is
  // never sized on opening): a count and the six values of the one strain
  // node.
  const std::size_t count_at = bytes.size() - (4 + 6 * 8);
  const int32_t below_zero = -1;
  std::memcpy(&bytes[count_at], &below_zero, sizeof below_zero);
  ASSERT_TRUE(zel_test::write_bytes(bytes, path));
  Database *db = nullptr;
  printed = zel_test::capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(printed.err,
            "ERROR:  Number of nodes in pre-strain does not match that in strain modes\n"
            "ERROR:  Out of memory while processing Pre-Strain Block\n");
}

}  // namespace
