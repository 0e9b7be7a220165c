// Mode records reach the file a chunk of nodes at a time, taken in place
// from the store where they can be: a body of more nodes than one chunk
// reads back exactly, on both sides of every chunk boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"

namespace {

constexpr int kNodes = 20000;  // more than two chunks
constexpr int kModes = 2;

double value(int mode, int node, int component) { return std::sin(0.001 * (6 * node + component)) + 10.0 * mode; }

TEST(WriteModeChunks, ModesOfManyNodesReadBackExactly) {
  const zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
  Database *db = ZEL_Create(kNodes, kModes);
  for (int node = 0; node < kNodes; ++node) ZEL_SetNodeCoordinates(db, 1 + node, node, 0.0, 0.0);
  for (int mode = 0; mode < kModes; ++mode) {
    for (int node = 0; node < kNodes; ++node) {
      double values[6];
      for (int c = 0; c < 6; ++c) values[c] = value(mode, node, c);
      ASSERT_EQ(ZEL_SetModeVec(db, mode + 1, 1 + node, 0, values), 1);
    }
    ZEL_SetGeneralizedMass(db, mode + 1, mode + 1, 1.0);
    ZEL_SetGeneralizedStiffness(db, mode + 1, mode + 1, 100.0 * (mode + 1));
  }
  int written = 0;
  zel_test::capture([&] { written = ZEL_write_ZEL(db, path.c_str()); });
  ZEL_UnLink(db);
  ASSERT_EQ(written, 1);

  Database *read = nullptr;
  zel_test::capture([&] { read = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(read, nullptr);
  std::vector<double> shape(6 * kNodes);
  for (int mode = 0; mode < kModes; ++mode) {
    ASSERT_EQ(ZEL_Read_Mode_Double(read, mode + 1, 0, shape.data()), 1);
    int wrong = 0;
    for (int node = 0; node < kNodes; ++node)
      for (int c = 0; c < 6; ++c) wrong += shape[6 * node + c] != value(mode, node, c);
    EXPECT_EQ(wrong, 0) << "mode " << mode + 1;
  }
  ZEL_UnLink(read);
}

}  // namespace
