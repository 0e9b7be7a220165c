// Mode records reach the file a chunk of nodes at a time, taken in place
// from the store where they can be, and the disk is started on them every
// few megabytes while the write goes on: a body of more nodes than one
// chunk and more bytes than several such starts reads back exactly in
// every encoding and precision, on both sides of every boundary, and a
// write the system refuses part way says so as any refused block does.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capture.h"
#include "file_size_limit.h"
#include "io/write_behind.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"

namespace {

constexpr int kNodes = 20000;  // more than two chunks
constexpr int kModes = 20;     // single precision: still more than one start of the disk

double value(int mode, int node, int component) { return std::sin(0.001 * (6 * node + component)) + 10.0 * mode; }

Database *built_body() {
  Database *db = ZEL_Create(kNodes, kModes);
  for (int node = 0; node < kNodes; ++node) ZEL_SetNodeCoordinates(db, 1 + node, node, 0.0, 0.0);
  for (int mode = 0; mode < kModes; ++mode) {
    for (int node = 0; node < kNodes; ++node) {
      double values[6];
      for (int c = 0; c < 6; ++c) values[c] = value(mode, node, c);
      ZEL_SetModeVec(db, mode + 1, 1 + node, 0, values);
    }
    ZEL_SetGeneralizedMass(db, mode + 1, mode + 1, 1.0);
    ZEL_SetGeneralizedStiffness(db, mode + 1, mode + 1, 100.0 * (mode + 1));
  }
  return db;
}

struct Encoding {
  const char *options;
  bool single;
};

class WriteModeChunks : public testing::TestWithParam<Encoding> {};

INSTANTIATE_TEST_SUITE_P(EveryEncoding, WriteModeChunks,
                         testing::Values(Encoding{"", false}, Encoding{"single", true}, Encoding{"no_xdr", false},
                                         Encoding{"no_xdr single", true}),
                         [](const testing::TestParamInfo<Encoding> &info) {
                           return std::string(info.param.options[0] == 'n' ? "Native" : "Xdr") +
                                  (info.param.single ? "Single" : "Double");
                         });

TEST_P(WriteModeChunks, ModesOfManyNodesReadBackExactly) {
  const zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  const zel_test::ScopedEnv options("KOR_ZELWRITE_OPTIONS", GetParam().options);
  Database *db = built_body();
  int written = 0;
  zel_test::capture([&] { written = ZEL_write_ZEL(db, path.c_str()); });
  ZEL_UnLink(db);
  ASSERT_EQ(written, 1);

  Database *read = nullptr;
  zel_test::capture([&] { read = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(read, nullptr);
  const double real_bytes = GetParam().single ? 4.0 : 8.0;
  EXPECT_GT(6.0 * kNodes * kModes * real_bytes, 1.0 * zel::WriteBehind::kStartEvery);
  std::vector<double> shape(6 * kNodes);
  std::vector<float> single_shape(6 * kNodes);
  for (int mode = 0; mode < kModes; ++mode) {
    if (GetParam().single) {
      ASSERT_EQ(ZEL_Read_Mode_Single(read, mode + 1, 0, single_shape.data()), 1);
      shape.assign(single_shape.begin(), single_shape.end());
    } else {
      ASSERT_EQ(ZEL_Read_Mode_Double(read, mode + 1, 0, shape.data()), 1);
    }
    int wrong = 0;
    for (int node = 0; node < kNodes; ++node)
      for (int c = 0; c < 6; ++c) {
        const double expected = value(mode, node, c);
        wrong += shape[6 * node + c] != (GetParam().single ? static_cast<float>(expected) : expected);
      }
    EXPECT_EQ(wrong, 0) << "mode " << mode + 1;
  }
  ZEL_UnLink(read);
}

// A limit met in the middle of the mode values, whether by a chunk or by
// the bytes pushed out to start the disk, is the mode block's failure.
TEST(WriteModeChunksRefused, ALimitInsideTheModesNamesTheBlockAndTheReason) {
  const zel_test::ScratchDir dir;
  const std::string path = dir.file("limited.zel");
  Database *db = built_body();
  // Reading each mode settles the temporary store, so the limit meets the
  // output alone.
  std::vector<double> shape(6 * kNodes);
  for (int mode = 1; mode <= kModes; ++mode) ASSERT_EQ(ZEL_Read_Mode_Double(db, mode, 0, shape.data()), 1);
  int written = 1;
  zel_test::Printed printed;
  {
    zel_test::FileSizeLimit limit(static_cast<rlim_t>(zel::WriteBehind::kStartEvery) + 123);
    printed = zel_test::capture([&] { written = ZEL_write_ZEL(db, path.c_str()); });
  }
  ZEL_UnLink(db);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(printed.err, "ERROR:  Problem writing Mode Shapes: File too large\n");
}

}  // namespace
