// The mode list, the value sets and the mode, stress, strain, pre-stress and
// pre-strain setters.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/mode_list.h"
#include "capture.h"
#include "scoped_env.h"
#include "zel.h"

using zel_test::capture;
using zel_test::ScopedEnv;
using zel_test::TempDir;

namespace {

constexpr char kNoDatabase[] = "ERROR:  The database has not been initialized.\n";

bool exists(const std::string &path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

std::vector<double> file_doubles(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<double> values(bytes.size() / sizeof(double));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(double));
  return values;
}

std::vector<double> six(double base) { return {base, base + 1, base + 2, base + 3, base + 4, base + 5}; }

// Every store goes to a private TMP; no KOR_TMP_* path leaks in from outside.
class ModeSetters : public ::testing::Test, protected zel_test::PrivateStoreDirectory {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // Values of one mode of a set, read back whole from its store.
  std::vector<double> slot(Database *db, int set, int mode_index) {
    std::vector<double> values(6 * static_cast<std::size_t>(db->set_count(set)));
    EXPECT_TRUE(db->temp[set].read_slot(mode_index, values.data(), db->set_count(set)));
    return values;
  }

};

}  // namespace

TEST_F(ModeSetters, ModesAreIndexedInOrderOfFirstAppearanceUpToTheMaximum) {
  Database *db = ZEL_Create(10, 3);
  EXPECT_EQ(ZEL_LookupOrAddMode(db, 7), 0);
  EXPECT_EQ(ZEL_LookupOrAddMode(db, 0), 1);
  EXPECT_EQ(ZEL_LookupOrAddMode(db, 7), 0);
  EXPECT_EQ(ZEL_AddMode(db, 7), 2);  // no duplicate check
  EXPECT_EQ(ZEL_ModeIndex(db, 7), 0);
  EXPECT_EQ(ZEL_ModeIndex(db, 0), 1);
  EXPECT_EQ(ZEL_ModeIndex(db, 5), -1);
  EXPECT_EQ(ZEL_ModeNumber(db, 1), 0);
  EXPECT_EQ(ZEL_ModeNumber(db, 2), 7);
  EXPECT_EQ(ZEL_ModeNumber(db, 3), -1);
  EXPECT_EQ(ZEL_ModeNumber(db, -1), -1);

  const auto printed = capture([&] { EXPECT_EQ(ZEL_LookupOrAddMode(db, 9), -1); });
  EXPECT_EQ(printed.err,
            "ERROR:  Insufficient room for mode 9 in temporary mode shape file.  \n"
            "ERROR:  Specify larger number of modes in ZEL_Create.\nERROR:  \n");
  EXPECT_EQ(db->mode_count(), 3);

  Database *no_modes = ZEL_Create(10, 0);
  double values[6] = {1, 2, 3, 4, 5, 6};
  const auto refused = capture([&] { EXPECT_EQ(ZEL_SetModeVec(no_modes, 1, 5, 0, values), 0); });
  EXPECT_EQ(refused.err.rfind("ERROR:  Insufficient room for mode 1 in temporary mode shape file.", 0), 0u);
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(ModeSetters, NullHandlesAreReportedWithTheFailingResult) {
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_ModeIndex(nullptr, 1), -1);
    EXPECT_EQ(ZEL_ModeNumber(nullptr, 0), -1);
    EXPECT_EQ(ZEL_AddMode(nullptr, 1), -1);
    EXPECT_EQ(ZEL_ModeNodeIndex(nullptr, 1, 1), -1);
    EXPECT_EQ(ZEL_SetMode(nullptr, 1, 1, 0, 1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(ZEL_SetPreStrainVec(nullptr, 1, nullptr), 0);
  });
  std::string six_times;
  for (int i = 0; i < 6; ++i) six_times += kNoDatabase;
  EXPECT_EQ(printed.err, six_times);
}

TEST_F(ModeSetters, SelectedModeIndexSearchesAnAscendingList) {
  const int modes[] = {-4, 1, 2, 9, 30};
  EXPECT_EQ(SelectedModeIndex(-4, modes, 5), 0);
  EXPECT_EQ(SelectedModeIndex(9, modes, 5), 3);
  EXPECT_EQ(SelectedModeIndex(30, modes, 5), 4);
  EXPECT_EQ(SelectedModeIndex(3, modes, 5), -1);
  EXPECT_EQ(SelectedModeIndex(30, modes, 4), -1);
  EXPECT_EQ(SelectedModeIndex(1, modes, 0), -1);
}

TEST_F(ModeSetters, FirstModeValueLaysOutTheNamedStoreAndAThirdModeHasNoRoom) {
  const std::string path = dir.file("modes.bin");
  ScopedEnv named("KOR_TMP_MOD", path);
  Database *db = ZEL_Create(100, 2);
  ZEL_SetNodeCoordinates(db, 500, 0, 0, 0);
  ZEL_SetNodeCoordinates(db, 600, 0, 0, 0);

  auto printed = capture([&] { EXPECT_EQ(ZEL_SetMode(db, 11, 600, 0, 1, 2, 3, 4, 5, 6), 1); });
  EXPECT_EQ(printed.out, "Temp modeshape file: " + path + "\n");
  EXPECT_EQ(printed.err, "");
  printed = capture([&] { EXPECT_EQ(ZEL_SetMode(db, 12, 500, 0, -1, -2, -3, -4, -5, -6), 1); });
  EXPECT_EQ(printed.out, "");  // the store exists already
  ASSERT_TRUE(db->temp[0].flush());

  const std::vector<double> file = file_doubles(path);
  ASSERT_EQ(file.size() * sizeof(double), 9600u);
  // Mode index 0, node index 1; mode index 1, node index 0.
  EXPECT_EQ(std::vector<double>(file.begin() + 6, file.begin() + 12), six(1));
  EXPECT_EQ(std::vector<double>(file.begin() + 600, file.begin() + 606), (std::vector<double>{-1, -2, -3, -4, -5, -6}));
  EXPECT_EQ(zel::block_flag(*db, zel::kModeShapesBlock), 1);

  printed = capture([&] { EXPECT_EQ(ZEL_SetMode(db, 13, 500, 0, 9, 9, 9, 9, 9, 9), 0); });
  EXPECT_EQ(printed.err,
            "ERROR:  Insufficient room for mode 13 in temporary mode shape file.  \n"
            "ERROR:  Specify larger number of modes in ZEL_Create.\nERROR:  \n");
  EXPECT_EQ(file_doubles(path), file);
}

TEST_F(ModeSetters, ModeZeroOfStressOrStrainIsPreValuesInMemoryWithoutAFile) {
  Database *db = ZEL_Create(10, 2);
  std::vector<double> stress = six(10), strain = six(20);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_SetModeVec(db, 0, 42, 1, stress.data()), 1);
    EXPECT_EQ(ZEL_SetModeVec(db, 0, 43, 2, strain.data()), 1);
  });
  EXPECT_EQ(printed.out, "");
  EXPECT_TRUE(dir.entries().empty());
  EXPECT_FALSE(db->temp[1].is_open());
  EXPECT_EQ(db->mode_count(), 0);
  EXPECT_EQ(std::vector<double>(db->pre_stress.begin(), db->pre_stress.begin() + 6), stress);
  EXPECT_EQ(std::vector<double>(db->pre_strain.begin(), db->pre_strain.begin() + 6), strain);
  EXPECT_EQ(db->pre_stress.size(), 6000u);
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 1, 42), 0);
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 2, 43), 0);
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 2, 42), -1);
  EXPECT_EQ(zel::block_flag(*db, zel::kPreStressBlock), 1);
  EXPECT_EQ(zel::block_flag(*db, zel::kPreStrainBlock), 1);
  EXPECT_EQ(zel::block_flag(*db, zel::kModalStressBlock), 0);

  // Mode number 0 of the mode shapes is an ordinary mode.
  capture([&] { EXPECT_EQ(ZEL_SetModeVec(db, 0, 42, 0, stress.data()), 1); });
  EXPECT_EQ(ZEL_ModeIndex(db, 0), 0);
  EXPECT_TRUE(db->temp[0].is_open());
  EXPECT_FALSE(db->temp[1].is_open());
  EXPECT_FALSE(db->temp[2].is_open());
}

TEST_F(ModeSetters, ALaterValueReplacesAnEarlierOneAndAnEntryTouchesOneComponent) {
  Database *db = ZEL_Create(4, 2);
  capture([&] {
    ZEL_SetMode(db, 3, 1, 0, 1, 2, 3, 4, 5, 6);
    ZEL_SetMode(db, 3, 1, 0, 7, 8, 9, 10, 11, 12);
    EXPECT_EQ(ZEL_SetModeEntry(db, 3, 1, 0, 4, -0.5), 1);
    EXPECT_EQ(ZEL_SetModeEntry(db, 4, 2, 0, 0, 2.5), 1);
  });
  EXPECT_EQ(slot(db, 0, 0), (std::vector<double>{7, 8, 9, 10, -0.5, 12, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(slot(db, 0, 1), (std::vector<double>{0, 0, 0, 0, 0, 0, 2.5, 0, 0, 0, 0, 0}));
}

TEST_F(ModeSetters, StressNodesTakeSetPositionsInOrderOfFirstValue) {
  Database *db = ZEL_Create(10, 2);
  for (int id : {1, 2, 3}) ZEL_SetNodeCoordinates(db, id, id, 0, 0);
  capture([&] {
    EXPECT_EQ(ZEL_SetMode(db, 1, 3, 1, 1, 1, 1, 1, 1, 1), 1);
    EXPECT_EQ(ZEL_SetMode(db, 2, 1, 1, 2, 2, 2, 2, 2, 2), 1);
    EXPECT_EQ(ZEL_SetMode(db, 1, 3, 2, 5, 5, 5, 5, 5, 5), 1);
  });
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 1, 3), 0);
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 1, 1), 1);
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 1, 2), -1);
  EXPECT_EQ(ZEL_ModeNodeIndex(db, 0, 3), 2);
  EXPECT_EQ(db->sets[1].node_of_position, (std::vector<int32_t>{2, 0}));
  EXPECT_EQ(slot(db, 1, 0), (std::vector<double>{1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(slot(db, 1, 1), (std::vector<double>{0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2}));
  EXPECT_EQ(slot(db, 2, 0), std::vector<double>(6, 5.0));

  std::vector<double> pre = six(0.5);
  EXPECT_EQ(ZEL_SetPreStressVec(db, 1, pre.data()), 1);
  EXPECT_EQ(std::vector<double>(db->pre_stress.begin() + 6, db->pre_stress.begin() + 12), pre);
  EXPECT_EQ(std::vector<double>(db->pre_stress.begin(), db->pre_stress.begin() + 6), std::vector<double>(6, 0.0));
  EXPECT_EQ(db->set_count(1), 2);
  EXPECT_EQ(zel::block_flag(*db, zel::kModalStressBlock), 1);
  EXPECT_EQ(zel::block_flag(*db, zel::kModalStrainBlock), 1);
}

TEST_F(ModeSetters, PreStressRowsGrowInWholeStepsPastAllStressNodes) {
  Database *db = ZEL_Create(3000, 1);
  capture([&] {
    for (int id = 1; id <= 2500; ++id) ASSERT_EQ(ZEL_SetMode(db, 1, id, 1, id, 0, 0, 0, 0, 0), 1);
  });
  std::vector<double> pre = six(7);
  EXPECT_EQ(ZEL_SetPreStressVec(db, 2500, pre.data()), 1);
  EXPECT_EQ(db->pre_stress.size(), 6u * 3000);
  EXPECT_EQ(std::vector<double>(db->pre_stress.begin() + 6 * 2499, db->pre_stress.begin() + 6 * 2500), pre);
  EXPECT_EQ(ZEL_SetPreStressVec(db, 2501, pre.data()), 1);
  EXPECT_EQ(db->pre_stress.size(), 6u * 3000);
}

TEST_F(ModeSetters, OutOfRangeSetsAndComponentsAreRejected) {
  Database *db = ZEL_Create(10, 2);
  std::vector<double> values = six(1);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_SetModeVec(db, 1, 1, 3, values.data()), 0);
    EXPECT_EQ(ZEL_SetModeEntry(db, 1, 1, 0, 6, 1.0), 0);
    EXPECT_EQ(ZEL_SetModeEntry(db, 1, 1, 0, -1, 1.0), 0);
    EXPECT_EQ(ZEL_ModeNodeIndex(db, -1, 1), -1);
    EXPECT_EQ(ZEL_SetModeVec(db, 1, 1, 0, nullptr), 0);
    EXPECT_EQ(ZEL_SetPreStressVec(db, 1, nullptr), 0);
  });
  EXPECT_EQ(printed.err,
            "ERROR:  Value set 3 is none of 0 (mode shapes), 1 (modal stress) and 2 (modal strain).\n"
            "ERROR:  Component 6 of mode 1 at node 1 is none of 0 to 5.\n"
            "ERROR:  Component -1 of mode 1 at node 1 is none of 0 to 5.\n"
            "ERROR:  Value set -1 is none of 0 (mode shapes), 1 (modal stress) and 2 (modal strain).\n"
            "ERROR:  Mode 1 of node 1 was given without its six values.\n"
            "ERROR:  The Pre-Stress of node 1 was given without its six values.\n");
  EXPECT_EQ(db->node_count(), 0);
  EXPECT_EQ(db->mode_count(), 0);
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(ModeSetters, AnUnopenableNamedStoreFailsTheValueWithTheOpenMessage) {
  const std::string path = dir.file("no/such/dir/modes.bin");
  ScopedEnv named("KOR_TMP_MOD", path);
  Database *db = ZEL_Create(10, 2);
  const auto printed = capture([&] { EXPECT_EQ(ZEL_SetMode(db, 1, 1, 0, 1, 2, 3, 4, 5, 6), 0); });
  EXPECT_EQ(printed.err,
            "ERROR:  Unable to open temporary mode shape file " + path +
                ".\nERROR:  To write elsewhere, specify directory name in environment variable TMP,\n"
                "ERROR:  or specify path name (file name) in environment variable KOR_TMP_MOD.\n");
  EXPECT_EQ(zel::block_flag(*db, zel::kModeShapesBlock), 0);
}

TEST_F(ModeSetters, StoreFilesAreGoneAfterUnLinkAndAfterTerminate) {
  // Generated stores never show on disk; stores the caller named do until release.
  Database *first = ZEL_Create(5, 1);
  Database *second = ZEL_Create(5, 1);
  capture([&] {
    for (int set = 0; set < 3; ++set) ASSERT_EQ(ZEL_SetMode(first, 1, 1, set, 1, 2, 3, 4, 5, 6), 1);
    ScopedEnv modes("KOR_TMP_MOD", dir.file("modes")), stress("KOR_TMP_STR", dir.file("stress")),
        strain("KOR_TMP_STN", dir.file("strain"));
    for (int set = 0; set < 3; ++set) ASSERT_EQ(ZEL_SetMode(second, 1, 1, set, 1, 2, 3, 4, 5, 6), 1);
  });
  ASSERT_EQ(dir.entries(), (std::vector<std::string>{"modes", "strain", "stress"}));
  ZEL_UnLink(first);
  EXPECT_EQ(dir.entries().size(), 3u);
  EXPECT_TRUE(exists(second->temp[2].name()));
  ZEL_Terminate();
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(ModeSetters, NodesBeyondTheExpectedCountWidenTheStoreInsteadOfSpilling) {
  Database *db = ZEL_Create(2, 3);
  std::vector<std::vector<double>> expected(3);
  capture([&] {
    for (int mode = 0; mode < 3; ++mode)
      for (int node = 0; node < 5; ++node) {
        std::vector<double> values = six(100.0 * mode + 10.0 * node);
        ASSERT_EQ(ZEL_SetModeVec(db, mode + 1, node + 1, 1, values.data()), 1);
        expected[mode].insert(expected[mode].end(), values.begin(), values.end());
      }
  });
  EXPECT_GE(db->temp[1].positions(), 5);
  for (int mode = 0; mode < 3; ++mode) EXPECT_EQ(slot(db, 1, mode), expected[mode]) << mode;
}

TEST_F(ModeSetters, NodeMajorAndModeMajorCallOrdersStoreTheSameValues) {
  constexpr int kNodes = 300, kModes = 7;
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<double> values(static_cast<std::size_t>(kNodes) * kModes * 6);
  for (double &v : values) v = value(random);
  auto at = [&](int node, int mode) { return values.data() + (static_cast<std::size_t>(node) * kModes + mode) * 6; };

  Database *node_major = ZEL_Create(kNodes, kModes);
  Database *mode_major = ZEL_Create(kNodes, kModes);
  capture([&] {
    for (int node = 0; node < kNodes; ++node)
      for (int mode = 0; mode < kModes; ++mode) ASSERT_EQ(ZEL_SetModeVec(node_major, mode + 1, 9000 - node, 0, at(node, mode)), 1);
    for (int mode = 0; mode < kModes; ++mode)
      for (int node = 0; node < kNodes; ++node) ASSERT_EQ(ZEL_SetModeVec(mode_major, mode + 1, 9000 - node, 0, at(node, mode)), 1);
  });
  for (int mode = 0; mode < kModes; ++mode) {
    const std::vector<double> a = slot(node_major, 0, mode);
    EXPECT_EQ(a, slot(mode_major, 0, mode)) << mode;
    EXPECT_EQ(std::vector<double>(a.begin() + 6 * 123, a.begin() + 6 * 124),
              std::vector<double>(at(123, mode), at(123, mode) + 6));
  }
}

TEST_F(ModeSetters, ASinglePrecisionDatabaseKeepsAFloatStore) {
  const std::string path = dir.file("strain.bin");
  ScopedEnv named("KOR_TMP_STN", path);
  Database *db = ZEL_Create(100, 2);
  db->file.double_precision = 0;
  capture([&] { ASSERT_EQ(ZEL_SetMode(db, 1, 8, 2, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6), 1); });
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 4800);
  const std::vector<double> read = slot(db, 2, 0);
  EXPECT_EQ(read[0], static_cast<double>(0.1f));
  EXPECT_EQ(read[5], static_cast<double>(0.6f));
}

TEST_F(ModeSetters, RepeatedNodeIdsAndModeNumbersResolveToTheirFirstEntry) {
  Database *db = ZEL_Create(4, 3);
  for (int id : {5, 7, 5}) ZEL_AddNode(db, id);  // no duplicate check
  for (int number : {3, 4, 3}) ZEL_AddMode(db, number);
  capture([&] {
    // Mode 4 at node 7 sits just before the repeated entries: a guess of
    // "the entry after the last one" would land on them.
    ASSERT_EQ(ZEL_SetMode(db, 3, 5, 0, 1, 1, 1, 1, 1, 1), 1);
    ASSERT_EQ(ZEL_SetMode(db, 4, 7, 0, 2, 2, 2, 2, 2, 2), 1);
    ASSERT_EQ(ZEL_SetMode(db, 3, 5, 0, 3, 3, 3, 3, 3, 3), 1);
  });
  std::vector<double> first(18, 0.0), second(18, 0.0);
  std::fill_n(first.begin(), 6, 3.0);
  std::fill_n(second.begin() + 6, 6, 2.0);
  EXPECT_EQ(slot(db, 0, 0), first);
  EXPECT_EQ(slot(db, 0, 1), second);
  EXPECT_EQ(slot(db, 0, 2), std::vector<double>(18, 0.0));
}
