// The reader when memory runs out: each block's own out-of-memory message
// (and the one that follows it where the block gives two), or the warning
// and a read that goes on when only the copy of the file name fails.
//
// A test refuses one allocation of a chosen size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "allocation_control.h"
#include "body/database.h"
#include "capture.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel_test::ZelBody;

class ReaderMemory : public ::testing::Test {
 protected:
  void TearDown() override { ZEL_Terminate(); }

  // Opens the body's file with allocations of `bytes` refused.
  Database *open_refusing(const ZelBody &body, std::size_t bytes) {
    EXPECT_TRUE(zel_test::write_zel_file(body, path));
    Database *db = nullptr;
    printed = zel_test::capture(
        [&] { zel_test::with_allocations_refused_of_size(bytes, [&] { db = ZEL_CreateFromZEL(path.c_str()); }); });
    EXPECT_EQ(printed.out, "");
    return db;
  }

  zel_test::ScratchDir dir;
  std::string path = dir.file("memory.zel");
  zel_test::Printed printed;
};

// A native double-precision body whose block of interest is the only one
// large enough to need `bytes` at once.
ZelBody native_body() { return zel_test::sample_body(40); }

TEST_F(ReaderMemory, TransformationReportsTheMemoryThenTheReadProblem) {
  ZelBody body = native_body();
  constexpr int32_t kModes = 61;  // a 61 x 61 matrix: 29768 bytes
  body.transformation->modes.assign(kModes, 1);
  body.transformation->matrix.assign(kModes * kModes, 0.5);
  EXPECT_EQ(open_refusing(body, kModes * kModes * sizeof(double)), nullptr);
  EXPECT_EQ(printed.err,
            "ERROR:  Out of memory while reading Mode Shape Transformation Block\n"
            "ERROR:  Problem when reading Mode Shape Transformation\n");
}

TEST_F(ReaderMemory, InterfaceNodesReportTheMemoryThenTheReadProblem) {
  ZelBody body = native_body();
  constexpr std::size_t kNodes = 7001;  // 28004 bytes of indices
  body.interface_nodes->assign(kNodes, 2);
  EXPECT_EQ(open_refusing(body, kNodes * sizeof(int32_t)), nullptr);
  EXPECT_EQ(printed.err,
            "ERROR:  Out of memory while reading Interface Nodes block\n"
            "ERROR:  Problem when reading Interface Nodes\n");
}

TEST_F(ReaderMemory, OldStyleTopologyReportsItsOwnBlock) {
  ZelBody body = zel_test::sample_body(20);
  ASSERT_TRUE(body.old_style_faces);
  // 1999 triangles become a face list of 7996 ints: 31984 bytes.
  constexpr int32_t kTriangles = 1999;
  body.faces = zel_test::FaceList{kTriangles, {}};
  for (int32_t f = 0; f < kTriangles; ++f) body.faces->list.insert(body.faces->list.end(), {3, 0, 1, 2});
  EXPECT_EQ(open_refusing(body, body.faces->list.size() * sizeof(int32_t)), nullptr);
  EXPECT_EQ(printed.err, "ERROR:  Out of memory while reading Element Topology Block\n");
}

// The node lists of the value sets have no message of their block's own:
// memory refused for them is the common memory failure.
constexpr std::size_t kListedNodes = 3001;  // 12004 bytes of node IDs

void expect_memory_failure(const std::string &err) {
  const std::string prefix = "ERROR:  Failed to allocate memory at line ";
  const std::string suffix = " in file zelread.\nERROR:  \n";
  ASSERT_GT(err.size(), prefix.size() + suffix.size()) << err;
  EXPECT_EQ(err.substr(0, prefix.size()), prefix);
  EXPECT_EQ(err.substr(err.size() - suffix.size()), suffix);
  EXPECT_EQ(err.find("Out of memory"), std::string::npos) << err;
}

TEST_F(ReaderMemory, AModeShapeNodeListWithoutRoomIsTheCommonMemoryFailure) {
  ZelBody body = native_body();
  body.mode_shapes->node_ids.clear();
  for (std::size_t n = body.nodes.size(); n < kListedNodes; ++n)
    body.nodes.push_back({static_cast<int32_t>(10 * (n + 1)), 1.0, 2.0, 3.0, 0.0, std::nullopt});
  for (const zel_test::BodyNode &node : body.nodes) body.mode_shapes->node_ids.push_back(node.id);
  EXPECT_EQ(open_refusing(body, kListedNodes * sizeof(int32_t)), nullptr);
  expect_memory_failure(printed.err);
}

TEST_F(ReaderMemory, AStressNodeListWithoutRoomIsTheCommonMemoryFailure) {
  ZelBody body = native_body();
  body.stress->node_ids.assign(kListedNodes, 10);
  EXPECT_EQ(open_refusing(body, kListedNodes * sizeof(int32_t)), nullptr);
  expect_memory_failure(printed.err);
}

TEST_F(ReaderMemory, AFileNameThatCannotBeCopiedIsWarnedAboutAndTheReadGoesOn) {
  // A name long enough to need memory of its own, of a length nothing
  // else of the read asks for.
  path = dir.file(std::string(200, 'n') + ".zel");
  Database *db = open_refusing(native_body(), path.size() + 1);
  ASSERT_NE(db, nullptr) << printed.err;
  const std::string prefix = "WARNING:  Failed to allocate memory at line ";
  const std::string suffix = " in file zelread.\nWARNING:  \n";
  ASSERT_GT(printed.err.size(), prefix.size() + suffix.size()) << printed.err;
  EXPECT_EQ(printed.err.substr(0, prefix.size()), prefix);
  EXPECT_EQ(printed.err.substr(printed.err.size() - suffix.size()), suffix);
  EXPECT_EQ(db->file.name, "");
  EXPECT_EQ(db->node_count(), 4);
  EXPECT_EQ(db->mode_count(), 3);
}

}  // namespace
