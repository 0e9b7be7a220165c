// The rewriting of a value set's store: the recombination, in blocks of
// nodes, with its file work on a second thread or on the caller's.
#include "body/store_rewrite.h"

#include <cblas.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/tempstore.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel_test::capture;

constexpr int kModes = 5;
constexpr int kNewModes = 3;  // fewer than the old: the transformation's rows are longer than the new modes
constexpr int kPositions = 1001;
// What one position of a block in flight costs: old and new values, twice.
constexpr std::size_t kBytesPerPosition = 2 * 48 * (kModes + kNewModes);

double old_value(int mode, std::size_t at) { return std::sin(0.37 * static_cast<double>(at) + 1.3 * mode); }

// T[i][j] for old mode i, new mode j, kModes x kModes.
std::vector<double> transformation() {
  std::vector<double> t(kModes * kModes);
  for (std::size_t k = 0; k < t.size(); ++k) t[k] = std::cos(0.91 * static_cast<double>(k)) - 0.25;
  return t;
}

struct BuiltBody {
  Database *db = ZEL_Create(kPositions, kModes);
  BuiltBody() {
    for (int node = 0; node < kPositions; ++node) ZEL_AddNode(db, 1 + node);
    double first[6] = {};
    for (int mode = 1; mode <= kModes; ++mode) ZEL_SetModeVec(db, mode, 1, 0, first);
    std::vector<double> values(6 * kPositions);
    for (int mode = 0; mode < kModes; ++mode) {
      for (std::size_t at = 0; at < values.size(); ++at) values[at] = old_value(mode, at);
      db->temp[0].write_slot(mode, values.data(), kPositions);
    }
  }
  ~BuiltBody() { ZEL_UnLink(db); }
  BuiltBody(const BuiltBody &) = delete;
  BuiltBody &operator=(const BuiltBody &) = delete;
};

// Every new mode of a recombined store, one after the other.
std::vector<double> recombined(BuiltBody &body, const zel::RecombinationPlan &plan) {
  zel::TempStore store;
  bool made = false;
  capture([&] { made = zel::recombine_store(*body.db, 0, transformation(), kModes, kNewModes, "Test file: %s", store, plan); });
  EXPECT_TRUE(made);
  std::vector<double> values(static_cast<std::size_t>(kNewModes) * 6 * kPositions);
  if (!made) return values;
  EXPECT_EQ(store.positions(), kPositions);
  for (int j = 0; j < kNewModes; ++j) EXPECT_TRUE(store.read_slot(j, values.data() + j * 6 * kPositions, kPositions));
  return values;
}

// Blocks of one position, of 64 with a short last one, and one block for
// everything; the file work on a second thread and on the caller's: every
// value the product of the transformation with the old ones, and both ways
// give the same bits.
TEST(StoreRewrite, RecombinationIsTheProductAcrossBlockBoundaries) {
  BuiltBody body;
  const std::vector<double> t = transformation();
  const int threads_before = openblas_get_num_threads();
  for (const std::size_t budget : {kBytesPerPosition, 64 * kBytesPerPosition, zel::RecombinationPlan{}.budget_bytes}) {
    const std::vector<double> overlapped = recombined(body, {budget, true});
    const std::vector<double> sequential = recombined(body, {budget, false});
    EXPECT_EQ(openblas_get_num_threads(), threads_before);
    double worst = 0.0;
    for (int j = 0; j < kNewModes; ++j)
      for (std::size_t at = 0; at < 6 * kPositions; ++at) {
        double expected = 0.0;
        for (int i = 0; i < kModes; ++i) expected += t[static_cast<std::size_t>(i * kModes + j)] * old_value(i, at);
        worst = std::max(worst, std::fabs(overlapped[j * 6 * kPositions + at] - expected));
      }
    EXPECT_LT(worst, 1e-13) << "budget " << budget;
    EXPECT_EQ(overlapped, sequential) << "budget " << budget;
  }
}

// A body read from a file cut short in its last mode: the first blocks
// read, a later one does not. The recombination stops with the read
// message, on either thread, and the body keeps reading from its file.
TEST(StoreRewrite, ReadFailureMidwayStopsTheRecombination) {
  const zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  const int n = db->mode_count();
  ASSERT_EQ(db->set_count(0), 4);
  const int64_t last_mode = db->temp_slot_offset[0][static_cast<std::size_t>(n - 1)];
  ASSERT_EQ(::truncate(path.c_str(), last_mode + 2 * 6 * db->file.real_size()), 0);
  std::vector<double> identity(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) identity[static_cast<std::size_t>(i * n + i)] = 1.0;
  const std::size_t one_position = 2 * 48 * static_cast<std::size_t>(2 * n);
  for (const bool overlap : {true, false}) {
    zel::TempStore store;
    bool made = true;
    const auto printed = capture([&] {
      made = zel::recombine_store(*db, 0, identity, n, n, "Test file: %s", store, {one_position, overlap});
    });
    EXPECT_FALSE(made) << "overlap " << overlap;
    EXPECT_NE(printed.err.find("ERROR:  Failed to extract mode information for ZEL."), std::string::npos)
        << printed.err;
    EXPECT_FALSE(db->temp[0].is_open());
  }
  std::vector<double> first(6 * 4);
  EXPECT_EQ(ZEL_Read_Mode_Double(db, db->mode_numbers[0], 0, first.data()), 1);
  ZEL_UnLink(db);
}

}  // namespace
