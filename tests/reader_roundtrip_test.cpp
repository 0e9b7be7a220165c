// Files of every version code, written by the test-data builder, read back
// whole: every block lands in its field, mode data stays in the file at the
// recorded offsets, and a clean file prints nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel_test::capture;
using zel_test::ZelBody;

class EveryVersion : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override { ASSERT_TRUE(zel_test::write_zel_file(body, path)); }
  void TearDown() override { ZEL_Terminate(); }

  // The stored values of mode index `mode` of `set`, read at the offset the
  // reader recorded.
  std::vector<double> stored_mode(Database &db, int set, int mode) const {
    std::vector<double> values(6 * static_cast<std::size_t>(db.set_count(set)));
    EXPECT_TRUE(zel::read_mode_values(db.file, db.temp_slot_offset[set][static_cast<std::size_t>(mode)],
                                      db.set_count(set), values.data()));
    return values;
  }

  void expect_mode_values(Database &db, int set) const {
    ASSERT_EQ(db.temp_slot_offset[set].size(), 3u) << "set " << set;
    for (int mode = 0; mode < 3; ++mode) {
      const std::vector<double> values = stored_mode(db, set, mode);
      for (std::size_t k = 0; k < values.size(); ++k)
        ASSERT_EQ(values[k], zel_test::mode_value(set, mode, static_cast<int>(k / 6), static_cast<int>(k % 6)))
            << "set " << set << " mode " << mode << " value " << k;
    }
  }

  bool carries_later_blocks() const { return !zel::has_short_content_summary(version); }

  const uint32_t version = GetParam();
  const ZelBody body = zel_test::sample_body(version);
  zel_test::ScratchDir dir;
  const std::string path = dir.file("body.zel");
};

TEST_P(EveryVersion, ReadsEveryBlockIntoItsFieldsWithoutAMessage) {
  Database *db = nullptr;
  const auto printed = capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(db, nullptr) << printed.err;
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(printed.err, "");

  EXPECT_EQ(db->version, version);
  EXPECT_EQ(db->file.use_xdr, zel::is_xdr_version(version) ? 1 : 0);
  EXPECT_EQ(db->file.double_precision, zel::is_single_precision_version(version) ? 0 : 1);
  EXPECT_EQ(db->file.name, path);
  EXPECT_EQ(db->title, "sample body");
  EXPECT_EQ(db->date, "Mon Dec  7 08:00:00 2026");
  EXPECT_EQ(db->input_file_name, "sample.fem");
  EXPECT_EQ(db->input_file_type, "FEM");
  EXPECT_EQ(db->comment[2], "third comment");
  EXPECT_EQ(db->unit_name, (std::array<std::string, 4>{"MEGAGRAM", "MILLIMETER", "SECOND", "NEWTON"}));
  EXPECT_EQ(db->unit_factor, (std::array<double, 4>{1.0, 1.0, 1.0, 1.0}));

  ASSERT_EQ(db->node_count(), 4);
  for (int n = 0; n < 4; ++n) {
    const zel::NodeRecord &node = db->nodes[static_cast<std::size_t>(n)];
    EXPECT_EQ(node.id, 10 * (n + 1));
    EXPECT_EQ(node.x, n + 1.0);
    EXPECT_EQ(node.y, 0.5 * (n + 1.0));
    EXPECT_EQ(node.z, -(n + 1.0));
    EXPECT_EQ(node.mass, n + 1.5);
    EXPECT_EQ(node.inertia != nullptr, n == 1);
  }
  ASSERT_TRUE(db->nodes[1].inertia);
  EXPECT_EQ(*db->nodes[1].inertia, (zel::NodalInertia{1.0, 2.0, 3.0, 0.25, 0.0, 0.5}));
  EXPECT_EQ(ZEL_NodeIndex(db, 30), 2);
  EXPECT_EQ(db->global_mass, 12.0);
  EXPECT_EQ(db->global_cm, (std::array<double, 3>{2.5, 1.25, -2.5}));

  ASSERT_EQ(db->eigen_count, 3);
  for (int mode = 0; mode < 3; ++mode) {
    const double *record = &db->eigen[6 * static_cast<std::size_t>(mode)];
    const double radians = mode + 2.0;
    EXPECT_EQ(record[0], mode + 1.0);
    EXPECT_EQ(record[1], radians * radians);
    EXPECT_NEAR(record[2], radians / (2 * M_PI), 1e-6);
    EXPECT_EQ(record[3], radians);
    EXPECT_EQ(record[4], 1.0);
    EXPECT_EQ(record[5], radians * radians);
  }
  EXPECT_EQ(db->mode_numbers, (std::vector<int32_t>{1, 2, 3}));
  expect_mode_values(*db, zel::kModeShapeSet);
  expect_mode_values(*db, zel::kStressSet);
  EXPECT_EQ(db->sets[zel::kStressSet].node_of_position, (std::vector<int32_t>{2, 0}));
  EXPECT_EQ(db->sets[zel::kStressSet].position_of_id.find(10), 1);

  const std::vector<zel::GenEntry> &stiff = db->gen_stiff;
  ASSERT_EQ(stiff.size(), 3u);
  EXPECT_EQ(stiff[2].row, 2);
  EXPECT_EQ(stiff[2].col, 2);
  EXPECT_EQ(stiff[2].value, 16.0);
  EXPECT_EQ(db->gen_mass.size(), 3u);
  ASSERT_EQ(db->gen_damp.size(), 3u);
  EXPECT_EQ(db->gen_damp[1].value, 0.125);
  EXPECT_EQ(db->damping_on_principal_axes, 1);

  EXPECT_EQ(db->face_count, 2);
  // The old topology groups faces by vertex count: the triangle first.
  const std::vector<int32_t> faces = body.old_style_faces ? std::vector<int32_t>{3, 0, 1, 3, 4, 0, 1, 2, 3}
                                                          : std::vector<int32_t>{4, 0, 1, 2, 3, 3, 0, 1, 3};
  EXPECT_EQ(db->face_list, faces);
  EXPECT_EQ(db->transform_modes, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(db->transform, (std::vector<double>{1, 0.5, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(db->interface_nodes, (std::vector<int32_t>{0, 3}));

  if (!carries_later_blocks()) {
    EXPECT_TRUE(db->preload.empty());
    EXPECT_TRUE(db->load_cases.empty());
    EXPECT_TRUE(db->statistics.empty());
    EXPECT_EQ(db->set_count(zel::kStrainSet), 0);
    EXPECT_TRUE(db->pre_stress.empty());
    return;
  }
  EXPECT_EQ(db->preload, (std::vector<double>{0.5, -0.25, 1.0}));
  ASSERT_EQ(db->load_case_count(), 2);
  EXPECT_EQ(db->load_cases[0].label, "gravity");
  EXPECT_EQ(db->load_cases[0].processed, 1);
  EXPECT_EQ(db->load_cases[1].values, (std::vector<double>{-1.0, 0.5, 0.25}));
  ASSERT_EQ(db->statistics.size(), 3u);
  EXPECT_EQ(db->statistics[2].node_id[0], 40);
  EXPECT_EQ(db->statistics[2].value[2], 200.0);
  expect_mode_values(*db, zel::kStrainSet);
  EXPECT_EQ(db->sets[zel::kStrainSet].node_of_position, (std::vector<int32_t>{1}));
  EXPECT_EQ(db->pre_stress, *body.pre_stress);
  EXPECT_EQ(db->pre_strain, *body.pre_strain);
  // Invariants are left in the file for the invariant queries.
  EXPECT_TRUE(db->invar1.empty());
  EXPECT_TRUE(db->invar9.empty());
}

TEST_P(EveryVersion, OneHandlePerPathAndTheGeneralizedMatricesReReadInPlace) {
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(ZEL_CreateFromZEL(path.c_str()), db);

  db->gen_stiff.clear();
  db->gen_damp.clear();
  db->damping_on_principal_axes = 0;
  ASSERT_TRUE(db->file.seek(7));
  EXPECT_EQ(ZEL_ReadGeneralizedStiffness(db), 1);
  EXPECT_EQ(ZEL_ReadGeneralizedDamping(db), 1);
  EXPECT_EQ(db->file.tell(), 7);
  ASSERT_EQ(db->gen_stiff.size(), 3u);
  EXPECT_EQ(db->gen_stiff[1].value, 9.0);
  EXPECT_EQ(db->damping_on_principal_axes, 1);
}

INSTANTIATE_TEST_SUITE_P(Reader, EveryVersion, ::testing::ValuesIn(zel_test::kAllVersionCodes));

}  // namespace
