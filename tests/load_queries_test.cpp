// Preload, load-case, modal statistics and body-size queries: on bodies
// read from files written by the test-data builder and on built bodies.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "body/database.h"
#include "body_files.h"
#include "capture.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

using zel_test::capture;

namespace {

constexpr char kNoDatabase[] = "ERROR:  The database has not been initialized.\n";
constexpr uint32_t kXdrDouble = 316;

using MaxQuery = int (*)(Database *, int, int *, double *);

struct Statistic {
  int node_id = -1;
  double value = -1.0;
  int result = -1;
};

Statistic ask(MaxQuery query, Database *db, int number) {
  Statistic s;
  s.result = query(db, number, &s.node_id, &s.value);
  return s;
}

// The values a copying query hands out through `query(&count)`, released.
template <class Query>
std::vector<double> copied(Query query) {
  int count = -1;
  double *values = query(&count);
  EXPECT_EQ(values == nullptr, count == 0);
  std::vector<double> copy(values, values + (values == nullptr ? 0 : count));
  ZEL_FreeMemory(values);
  return copy;
}

class FileQueries : public zel_test::BodyFiles {};

TEST_F(FileQueries, PreloadLoadCasesAndStatisticsReadBackAsWritten) {
  zel_test::ZelBody body = zel_test::sample_body(kXdrDouble);
  body.preload->processed = 1;
  body.loads->cases[1].label = std::string(256, 'p');  // fills the field: no terminator in the file
  Database *db = open(body);
  ASSERT_NE(db, nullptr);

  EXPECT_EQ(ZEL_ModalPreloadExist(db), 1);
  EXPECT_EQ(copied([&](int *n) { return ZEL_GetModalPreload(db, n); }), body.preload->values);
  EXPECT_EQ(db->preload_processed, 1);

  ASSERT_EQ(ZEL_GetModalLoadCaseCount(db), 2);
  for (int c = 0; c < 2; ++c) {
    const zel::LoadCase &written = body.loads->cases[static_cast<std::size_t>(c)];
    EXPECT_EQ(copied([&](int *n) { return ZEL_GetModalLoad(db, c, n); }), written.values) << c;
    EXPECT_EQ(ZEL_ModalLoadProcessed(db, c), written.processed) << c;
    char label[256];
    ASSERT_EQ(ZEL_GetModalLoadCaseLabel(db, c, label), 1);
    EXPECT_EQ(std::string(label), written.label.substr(0, 255)) << "255 chars and the terminator fill the buffer";
  }
  EXPECT_EQ(db->load_cases[1].label.size(), 256u) << "the field is held whole, so a rewrite keeps its bytes";

  EXPECT_EQ(ZEL_ModalStatisticsExist(db), 1);
  const MaxQuery queries[] = {ZEL_GetMaxModeDisplacement, ZEL_GetMaxModeRotation, ZEL_GetMaxVonMisesStress,
                              ZEL_GetMaxVonMisesStrain};
  for (int mode = 0; mode < 3; ++mode)
    for (int slot = 0; slot < 4; ++slot) {
      const zel::ModeStatistics &written = (*body.statistics)[static_cast<std::size_t>(mode)];
      const Statistic s = ask(queries[slot], db, mode + 1);
      EXPECT_EQ(s.result, 1);
      EXPECT_EQ(s.node_id, written.node_id[static_cast<std::size_t>(slot)]) << mode << " " << slot;
      EXPECT_EQ(s.value, written.value[static_cast<std::size_t>(slot)]) << mode << " " << slot;
    }
}

TEST_F(FileQueries, IndicesOutsideTheLoadCasesAndNullOutputsAreRefused) {
  Database *db = open(zel_test::sample_body(kXdrDouble));
  ASSERT_NE(db, nullptr);
  int count = -1;
  char label[256] = "untouched";
  for (int index : {-1, 2, 1000}) {
    count = -1;
    EXPECT_EQ(ZEL_GetModalLoad(db, index, &count), nullptr) << index;
    EXPECT_EQ(count, 0) << index;
    EXPECT_EQ(ZEL_ModalLoadProcessed(db, index), 0) << index;
    EXPECT_EQ(ZEL_GetModalLoadCaseLabel(db, index, label), 0) << index;
  }
  EXPECT_STREQ(label, "untouched");
  EXPECT_EQ(ZEL_GetModalLoadCaseLabel(db, 0, nullptr), 0);
  double *without_count = ZEL_GetModalLoad(db, 0, nullptr);
  ASSERT_NE(without_count, nullptr) << "the count may be null";
  EXPECT_EQ(without_count[2], 3.0);
  ZEL_FreeMemory(without_count);

  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_GetMaxModeDisplacement(nullptr, 1, nullptr, nullptr), 0);
    EXPECT_EQ(ZEL_GetModalPreload(nullptr, &count), nullptr);
    EXPECT_EQ(ZEL_GetModalLoadCaseCount(nullptr), 0);
    EXPECT_EQ(ZEL_BodySize(nullptr), 0.0);
  });
  EXPECT_EQ(printed.err, kNoDatabase);
  EXPECT_EQ(ZEL_GetMaxModeRotation(db, 99, nullptr, nullptr), 0) << "an unknown mode";
}

// A table read from a file has the file's record count: modes it lacks are
// computed, never read past its end.
TEST_F(FileQueries, StatisticsOfModesTheFileTableLacksAreComputed) {
  zel_test::ZelBody body = zel_test::sample_body(kXdrDouble);
  body.statistics->resize(1);
  Database *db = open(body);
  ASSERT_NE(db, nullptr);
  const Statistic read = ask(ZEL_GetMaxModeDisplacement, db, 1);
  EXPECT_EQ(read.node_id, 40);
  EXPECT_EQ(read.value, 1.0) << "mode 1 comes from the file";
  const Statistic computed = ask(ZEL_GetMaxModeDisplacement, db, 3);
  // Largest at the last listed node (position 3, node 40) of mode index 2.
  double square = 0.0;
  for (int c = 0; c < 3; ++c) square += std::pow(zel_test::mode_value(0, 2, 3, c), 2);
  EXPECT_EQ(computed.result, 1);
  EXPECT_EQ(computed.node_id, 40);
  EXPECT_DOUBLE_EQ(computed.value, std::sqrt(square));
}

TEST_F(FileQueries, StatisticsAreComputedFromAFileWithoutTheBlock) {
  zel_test::ZelBody body = zel_test::sample_body(kXdrDouble);
  body.statistics.reset();
  Database *db = open(body);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ZEL_ModalStatisticsExist(db), 0);
  // Stress: nodes 30, 10 (positions 0, 1); the larger values sit at
  // position 1. Strain: node 20 alone.
  const auto von_mises = [](int set, int mode, int position) {
    double v[6];
    for (int c = 0; c < 6; ++c) v[c] = zel_test::mode_value(set, mode, position, c);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - v[0] * v[1] - v[1] * v[2] - v[2] * v[0] +
                     3 * (v[3] * v[3] + v[4] * v[4] + v[5] * v[5]));
  };
  const Statistic stress = ask(ZEL_GetMaxVonMisesStress, db, 2);
  EXPECT_EQ(ZEL_ModalStatisticsExist(db), 1);
  EXPECT_EQ(stress.node_id, 10);
  EXPECT_DOUBLE_EQ(stress.value, von_mises(1, 1, 1));
  const Statistic strain = ask(ZEL_GetMaxVonMisesStrain, db, 3);
  EXPECT_EQ(strain.node_id, 20);
  EXPECT_DOUBLE_EQ(strain.value, von_mises(2, 2, 0));
  EXPECT_EQ(db->statistics.size(), 3u);
}

// Built bodies: the values are set mode by mode through the temporary
// stores.
class BuiltStatistics : public ::testing::Test, protected zel_test::PrivateStoreDirectory {
 protected:
  void TearDown() override { ZEL_Terminate(); }
  Database *db = ZEL_Create(8, 4);
};

TEST_F(BuiltStatistics, LargestTranslationAndRotationAndTheirNodes) {
  ASSERT_EQ(ZEL_SetMode(db, 1, 5, 0, 1, 1, 1, 0, 0, 2), 1);
  ASSERT_EQ(ZEL_SetMode(db, 1, 17, 0, 3, 4, 0, 0, 2, 0), 1);  // ties the rotation of node 5
  const Statistic translation = ask(ZEL_GetMaxModeDisplacement, db, 1);
  EXPECT_EQ(translation.result, 1);
  EXPECT_EQ(translation.node_id, 17);
  EXPECT_EQ(translation.value, 5.0);
  const Statistic rotation = ask(ZEL_GetMaxModeRotation, db, 1);
  EXPECT_EQ(rotation.node_id, 5) << "ties go to the node listed first";
  EXPECT_EQ(rotation.value, 2.0);
  // Held: a changed mode does not change the answer.
  ASSERT_EQ(ZEL_SetMode(db, 1, 5, 0, 9, 9, 9, 0, 0, 0), 1);
  EXPECT_EQ(ask(ZEL_GetMaxModeDisplacement, db, 1).node_id, 17);
}

TEST_F(BuiltStatistics, VonMisesOfUniaxialStressAndOfPureShear) {
  ASSERT_EQ(ZEL_SetMode(db, 1, 5, 1, 100, 0, 0, 0, 0, 0), 1);
  ASSERT_EQ(ZEL_SetMode(db, 2, 5, 1, 0, 0, 0, 10, 0, 0), 1);
  ASSERT_EQ(ZEL_SetMode(db, 2, 5, 2, 0, 0, 0, 0, 0, 10), 1);
  const Statistic uniaxial = ask(ZEL_GetMaxVonMisesStress, db, 1);
  EXPECT_EQ(uniaxial.node_id, 5);
  EXPECT_EQ(uniaxial.value, 100.0);
  EXPECT_EQ(ask(ZEL_GetMaxVonMisesStress, db, 2).value, std::sqrt(300.0));
  EXPECT_EQ(ask(ZEL_GetMaxVonMisesStrain, db, 2).value, std::sqrt(300.0));
}

TEST_F(BuiltStatistics, AnAllZeroModeIsLookedAtAgainAndNodeZeroIsANode) {
  ASSERT_EQ(ZEL_SetMode(db, 1, 0, 0, 0, 0, 0, 0, 0, 0), 1);
  ASSERT_EQ(ZEL_SetMode(db, 1, 8, 0, 0, 0, 0, 0, 0, 0), 1);
  Statistic zero = ask(ZEL_GetMaxModeDisplacement, db, 1);
  EXPECT_EQ(zero.result, 1);
  EXPECT_EQ(zero.node_id, 0);
  EXPECT_EQ(zero.value, 0.0);
  ASSERT_EQ(ZEL_SetMode(db, 1, 0, 0, 0, 0, 2, 0, 0, 0), 1);
  const Statistic at_node_zero = ask(ZEL_GetMaxModeDisplacement, db, 1);
  EXPECT_EQ(at_node_zero.node_id, 0);
  EXPECT_EQ(at_node_zero.value, 2.0) << "the zero mode was computed again";
  // Node 0 carried the answer: it is held, not computed again.
  ASSERT_EQ(ZEL_SetMode(db, 1, 8, 0, 0, 0, 7, 0, 0, 0), 1);
  EXPECT_EQ(ask(ZEL_GetMaxModeDisplacement, db, 1).value, 2.0);
}

// Mode number 0 names the pre-stress vector in the mode fetch queries; the
// statistics of a mode numbered 0 are those of the mode.
TEST_F(BuiltStatistics, ModeNumberZeroIsAModeNotThePreStress) {
  double pre[6] = {500, 0, 0, 0, 0, 0};
  ASSERT_EQ(ZEL_SetPreStressVec(db, 5, pre), 1);
  ASSERT_EQ(ZEL_SetModeEntry(db, 0, 5, 1, 0, 30.0), 1);
  EXPECT_EQ(ask(ZEL_GetMaxVonMisesStress, db, 0).value, 30.0);
}

TEST(BodySize, DiagonalOfTheFaceBoxHeldOnceComputed) {
  Database *db = ZEL_Create(8, 0);
  EXPECT_EQ(ZEL_BodySize(db), 0.0) << "no nodes";
  ZEL_SetNodeCoordinates(db, 1, 0, 0, 0);
  ZEL_SetNodeCoordinates(db, 2, 3, 0, 0);
  ZEL_SetNodeCoordinates(db, 3, 3, 4, 0);
  ZEL_SetNodeCoordinates(db, 4, 100, 100, 100);  // not a face vertex
  EXPECT_EQ(ZEL_BodySize(db), 0.0) << "no faces";
  int triangle[3] = {1, 2, 3};
  ASSERT_EQ(ZEL_SetFaceList(db, 3, triangle), 1);
  EXPECT_EQ(ZEL_BodySize(db), 5.0);
  ZEL_SetNodeCoordinates(db, 3, 6, 8, 0);
  EXPECT_EQ(ZEL_BodySize(db), 5.0) << "held, not computed again";
  EXPECT_EQ(db->body_size, 5.0);

  // A face list that runs past its end or names no node is walked no
  // further than it goes.
  db->body_size = 0.0;
  db->face_list = {3, 0, 1, 2, 9, 3};
  EXPECT_EQ(ZEL_BodySize(db), 10.0);
  db->body_size = 0.0;
  db->face_list = {2, 1, 77, -1};
  EXPECT_EQ(ZEL_BodySize(db), 3.0);
  ZEL_Terminate();
}

TEST(ModalPreload, CopiesCoverEveryModeEvenOnesAddedAfterThePreload) {
  Database *db = ZEL_Create(0, 4);
  int count = -1;
  EXPECT_EQ(ZEL_ModalPreloadExist(db), 0);
  EXPECT_EQ(ZEL_GetModalPreload(db, &count), nullptr);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(ZEL_SetModalPreload(db, 7, 1.5), 1);
  ASSERT_EQ(ZEL_SetModalLoad(db, 0, 7, 2.5), 1);
  ASSERT_EQ(ZEL_SetGeneralizedMass(db, 8, 8, 1.0), 1);
  EXPECT_EQ(ZEL_ModalPreloadExist(db), 1);
  EXPECT_EQ(copied([&](int *n) { return ZEL_GetModalPreload(db, n); }), (std::vector<double>{1.5, 0.0}));
  EXPECT_EQ(copied([&](int *n) { return ZEL_GetModalLoad(db, 0, n); }), (std::vector<double>{2.5, 0.0}));
  char label[256];
  ASSERT_EQ(ZEL_GetModalLoadCaseLabel(db, 0, label), 1);
  EXPECT_STREQ(label, "Load Case 1");
  ZEL_Terminate();
}

}  // namespace
