// Eigenvalues, mode-shape / stress / strain blocks with their per-mode
// ints and value offsets, generalized matrices, the mode-shape
// transformation, pre-stress and pre-strain.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "blocks_files.h"
#include "format/blocks.h"

namespace {

using zel::ModeNumberField;
using zel::ZelFile;
using zel_test::BlockFile;
using zel_test::Encoding;

// Values every precision holds exactly, distinct per position.
std::vector<double> sample_values(std::size_t count, double base) {
  std::vector<double> values(count);
  for (std::size_t k = 0; k < count; ++k) values[k] = base + 0.25 * static_cast<double>(k) - 3.0;
  return values;
}

TEST(ModeNumberFields, FollowTheFormatLevel) {
  struct Row {
    uint32_t version;
    ModeNumberField shapes;
    ModeNumberField stress;
  };
  const Row rows[] = {
      {10, ModeNumberField::kAbsent, ModeNumberField::kAbsent},
      {20, ModeNumberField::kIgnored, ModeNumberField::kIgnored},
      {30, ModeNumberField::kStored, ModeNumberField::kAbsent},
      {31, ModeNumberField::kStored, ModeNumberField::kAbsent},
      {40, ModeNumberField::kStored, ModeNumberField::kStored},
      {41, ModeNumberField::kStored, ModeNumberField::kStored},
      {50, ModeNumberField::kStored, ModeNumberField::kStored},
      {51, ModeNumberField::kStored, ModeNumberField::kStored},
      {60, ModeNumberField::kStored, ModeNumberField::kStored},
      {0x13C, ModeNumberField::kStored, ModeNumberField::kStored},
      {0x33C, ModeNumberField::kStored, ModeNumberField::kStored},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(zel::mode_number_field(row.version, zel::kModeShapeSet), row.shapes) << row.version;
    EXPECT_EQ(zel::mode_number_field(row.version, zel::kStressSet), row.stress) << row.version;
    EXPECT_EQ(zel::mode_number_field(row.version, zel::kStrainSet), row.stress) << row.version;
  }
}

// Writes a modal block of `modes` modes over `node_ids`, mode numbers
// 7, 8, ..., values from sample_values(6 N, mode number).
bool write_modal_block(ZelFile &file, uint32_t version, int set, int32_t modes,
                       const std::vector<int32_t> &node_ids) {
  if (!zel::write_modal_head(file, modes, node_ids)) return false;
  for (int32_t i = 0; i < modes; ++i) {
    const std::vector<double> values = sample_values(6 * node_ids.size(), 7.0 + i);
    if (!zel::write_mode_record(file, version, set, 7 + i, values)) return false;
  }
  return true;
}

struct ReadModalBlock {
  zel::ModalHead head;
  std::vector<int32_t> node_ids;
  zel::ModeValueIndex index;
};

bool read_modal_block(ZelFile &file, uint32_t version, int set, ReadModalBlock &block) {
  return zel::read_modal_head(file, version, set, block.head) &&
         zel::read_modal_node_list(file, block.head, block.node_ids) &&
         zel::locate_mode_values(file, version, set, block.head, block.index);
}

// The sizes and offsets the container and the mode queries rely on.
TEST(ModeShapeBlockLayout, XdrDoubleWithTwoModesOfThreeNodes) {
  BlockFile file(zel_test::kXdrDouble);
  ASSERT_TRUE(file.write([](ZelFile &f) { return write_modal_block(f, 0x13C, zel::kModeShapeSet, 2, {1, 2, 3}); }));
  EXPECT_EQ(file.size(), 316);
  ReadModalBlock block;
  ASSERT_TRUE(read_modal_block(file.reader(), 0x13C, zel::kModeShapeSet, block));
  ASSERT_EQ(block.index.offsets.size(), 2u);
  EXPECT_EQ(block.index.offsets[0], 8 + 12 + 4);
  EXPECT_EQ(block.index.offsets[1], 172);
}

TEST(ModeShapeBlockLayout, VersionOneHasNoModeNumbers) {
  BlockFile file(zel_test::kNativeDouble);
  ASSERT_TRUE(file.write([](ZelFile &f) { return write_modal_block(f, 10, zel::kModeShapeSet, 2, {1, 2, 3}); }));
  EXPECT_EQ(file.size(), 308);
  ReadModalBlock block;
  ASSERT_TRUE(read_modal_block(file.reader(), 10, zel::kModeShapeSet, block));
  ASSERT_EQ(block.index.offsets.size(), 2u);
  EXPECT_EQ(block.index.offsets[0], 20);
  EXPECT_EQ(block.index.offsets[1], 164);
}

TEST(StressBlockLayout, TenOfFiveHundredNodes) {
  for (const Encoding &encoding : zel_test::kAllEncodings) {
    BlockFile file(encoding);
    std::vector<int32_t> listed(10);
    for (int32_t k = 0; k < 10; ++k) listed[static_cast<std::size_t>(k)] = 50 * k + 3;
    ASSERT_TRUE(file.write([&](ZelFile &f) { return write_modal_block(f, 40, zel::kStressSet, 3, listed); }));
    const int64_t r = encoding.double_precision ? 8 : 4;
    EXPECT_EQ(file.size(), 8 + 40 + 3 * (4 + 60 * r)) << encoding.name;
  }
}

struct ModalCase {
  Encoding encoding;
  uint32_t version;
  int set;
};

class ModalBlocks : public ::testing::TestWithParam<ModalCase> {};

TEST_P(ModalBlocks, RoundTripThroughTheRecordedOffsets) {
  const ModalCase c = GetParam();
  BlockFile file(c.encoding);
  const std::vector<int32_t> node_ids{40, 10, 30, 20};
  ASSERT_TRUE(file.write([&](ZelFile &f) { return write_modal_block(f, c.version, c.set, 3, node_ids); }));

  ZelFile &in = file.reader();
  ReadModalBlock block;
  ASSERT_TRUE(read_modal_block(in, c.version, c.set, block));
  EXPECT_EQ(block.head.mode_count, 3);
  EXPECT_EQ(block.head.node_count, 4);
  EXPECT_EQ(block.node_ids, node_ids);
  EXPECT_EQ(in.bytes_left(), 0) << "the walk ends at the block's end";
  if (zel::mode_number_field(c.version, c.set) == ModeNumberField::kStored)
    EXPECT_EQ(block.index.mode_numbers, (std::vector<int32_t>{7, 8, 9}));
  else
    EXPECT_TRUE(block.index.mode_numbers.empty()) << "nothing to take mode numbers from";

  ASSERT_EQ(block.index.offsets.size(), 3u);
  std::vector<double> values(24);
  for (int32_t i = 2; i >= 0; --i) {  // any order: each read seeks
    ASSERT_TRUE(zel::read_mode_values(in, block.index.offsets[static_cast<std::size_t>(i)], 4, values.data()));
    EXPECT_EQ(values, sample_values(24, 7.0 + i)) << "mode index " << i;
  }
}

TEST_P(ModalBlocks, TruncatedOrHostileBlocksFailCleanly) {
  const ModalCase c = GetParam();
  BlockFile file(c.encoding);
  ASSERT_TRUE(file.write([&](ZelFile &f) { return write_modal_block(f, c.version, c.set, 2, {1, 2, 3}); }));
  const int64_t whole = file.size();
  file.truncate(whole - 1);
  ReadModalBlock block;
  EXPECT_FALSE(read_modal_block(file.reader(), c.version, c.set, block)) << "last value cut";
  // The head alone passes only for a block that fits; the walk checks again.
  ZelFile &in = file.reader();
  zel::ModalHead claimed{2, 3};
  ASSERT_TRUE(in.seek(8 + 12));
  EXPECT_FALSE(zel::locate_mode_values(in, c.version, c.set, claimed, block.index));

  EXPECT_FALSE(file.write([](ZelFile &f) { return zel::write_modal_head(f, -1, std::vector<int32_t>{1}); }));
  EXPECT_FALSE(file.write([&](ZelFile &f) {
    return zel::write_modal_head(f, 1, std::vector<int32_t>{1}) &&
           zel::write_mode_record(f, c.version, c.set, 1, std::vector<double>(7));
  })) << "values are six per node";

  ASSERT_TRUE(file.write([](ZelFile &f) { return f.write_int(2000000000) && f.write_int(1) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_modal_head(file.reader(), c.version, c.set, block.head));
  ASSERT_TRUE(file.write([](ZelFile &f) { return f.write_int(1) && f.write_int(-1); }));
  EXPECT_FALSE(zel::read_modal_head(file.reader(), c.version, c.set, block.head));
  ASSERT_TRUE(file.write([](ZelFile &f) { return f.write_int(-1) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_modal_head(file.reader(), c.version, c.set, block.head));
  ASSERT_TRUE(file.write([](ZelFile &f) { return f.write_int(1) && f.write_int(1000000000); }));
  EXPECT_FALSE(zel::read_modal_head(file.reader(), c.version, c.set, block.head)) << "node list beyond the file";
}

std::vector<ModalCase> modal_cases() {
  std::vector<ModalCase> cases;
  for (const Encoding &encoding : zel_test::kAllEncodings)
    for (uint32_t version : {10u, 20u, 30u, 40u, 0x13Cu})
      for (int set : {zel::kModeShapeSet, zel::kStressSet, zel::kStrainSet}) cases.push_back({encoding, version, set});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EncodingsVersionsAndSets, ModalBlocks, ::testing::ValuesIn(modal_cases()),
                         [](const ::testing::TestParamInfo<ModalCase> &info) {
                           return std::string(info.param.encoding.name) + "V" +
                                  std::to_string(info.param.version) + "Set" + std::to_string(info.param.set);
                         });

// Version 1.0 records without nodes take no bytes: the mode count is then
// bounded by the file's size instead, so it cannot size a giant table.
TEST(ModeShapeBlockLayout, EmptyVersionOneRecordsStillBoundTheModeCount) {
  BlockFile file(zel_test::kNativeDouble);
  ASSERT_TRUE(file.write([](ZelFile &f) { return f.write_int(5) && f.write_int(0); }));
  ReadModalBlock block;
  ASSERT_TRUE(read_modal_block(file.reader(), 10, zel::kModeShapeSet, block));
  EXPECT_EQ(block.index.offsets, std::vector<int64_t>(5, 8));
  ASSERT_TRUE(file.write([](ZelFile &f) { return f.write_int(2000000000) && f.write_int(0); }));
  EXPECT_FALSE(zel::read_modal_head(file.reader(), 10, zel::kModeShapeSet, block.head));
  EXPECT_FALSE(zel::locate_mode_values(file.reader(), 10, zel::kModeShapeSet, {2000000000, 0}, block.index));
}

class ModalEncodings : public ::testing::TestWithParam<Encoding> {
 protected:
  BlockFile file_{GetParam()};
  int64_t r() const { return GetParam().double_precision ? 8 : 4; }
};

TEST_P(ModalEncodings, EigenvaluesRoundTrip) {
  const std::vector<double> eigen{7, 4.0, 0.5, 3.0, 1.0, 4.0, 8, 16.0, 0.75, 4.0, 2.0, 32.0};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_eigenvalues(f, eigen); }));
  EXPECT_EQ(file_.size(), 4 + 2 * (4 + 5 * r()));
  std::vector<double> read;
  ASSERT_TRUE(zel::read_eigenvalues(file_.reader(), 0x13C, read));
  EXPECT_EQ(read, eigen);
  EXPECT_FALSE(file_.write([&](ZelFile &f) { return zel::write_eigenvalues(f, std::vector<double>(7)); }));
}

// A version 1.0 record means only its eigenvalue; the rest is derived.
TEST_P(ModalEncodings, VersionOneEigenvaluesDeriveTheOtherColumns) {
  const double lambda = 4.0 * std::numbers::pi * std::numbers::pi;
  ASSERT_TRUE(file_.write([&](ZelFile &f) {
    return zel::write_eigenvalues(f, std::vector<double>{3, lambda, 99.0, 99.0, 99.0, 99.0, 4, -lambda, 0, 0, 0, 0});
  }));
  std::vector<double> read;
  ASSERT_TRUE(zel::read_eigenvalues(file_.reader(), 10, read));
  ASSERT_EQ(read.size(), 12u);
  const double tolerance = GetParam().double_precision ? 1e-12 : 1e-5;
  const double stored = read[1];  // the eigenvalue as the precision kept it
  EXPECT_EQ(read[0], 3.0);
  EXPECT_NEAR(read[2], 1.0, tolerance);
  EXPECT_NEAR(read[3], 2.0 * std::numbers::pi, tolerance * 10);
  EXPECT_EQ(read[4], 1.0);
  EXPECT_EQ(read[5], stored);
  // A negative eigenvalue keeps its sign instead of giving NaN.
  EXPECT_NEAR(read[8], -1.0, tolerance);
  EXPECT_NEAR(read[9], -2.0 * std::numbers::pi, tolerance * 10);
  EXPECT_EQ(read[10], 1.0);
  EXPECT_EQ(read[11], read[7]);
}

TEST_P(ModalEncodings, HostileEigenvalueCountsFail) {
  std::vector<double> read;
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-1); }));
  EXPECT_FALSE(zel::read_eigenvalues(file_.reader(), 0x13C, read));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1 << 30) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_eigenvalues(file_.reader(), 0x13C, read));
  EXPECT_TRUE(read.empty());
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(0); }));
  EXPECT_TRUE(zel::read_eigenvalues(file_.reader(), 0x13C, read)) << "an empty table is a table";
}

TEST_P(ModalEncodings, GeneralizedMatricesStoreModeNumbersAndReadIndices) {
  const std::vector<zel::GenEntry> entries{{0, 0, 2.5}, {1, 2, -0.75}, {2, 1, -0.75}};
  const std::vector<int32_t> numbers{1, 2, 3};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_generalized_matrix(f, 1, entries, numbers); }));
  EXPECT_EQ(file_.size(), 8 + 3 * (12 + r()));
  zel::GeneralizedMatrix read;
  ASSERT_TRUE(zel::read_generalized_matrix(file_.reader(), read));
  EXPECT_EQ(read.flag, 1);
  ASSERT_EQ(read.entries.size(), entries.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    EXPECT_EQ(read.entries[k].row, entries[k].row);
    EXPECT_EQ(read.entries[k].col, entries[k].col);
    EXPECT_EQ(read.entries[k].value, entries[k].value);
  }
  // The file holds numbers: modes numbered 5, 6, 7 read back as 4, 5, 6.
  ASSERT_TRUE(file_.write([&](ZelFile &f) {
    return zel::write_generalized_matrix(f, 3, entries, std::vector<int32_t>{5, 6, 7});
  }));
  ASSERT_TRUE(zel::read_generalized_matrix(file_.reader(), read));
  EXPECT_EQ(read.entries[1].row, 5);
  EXPECT_EQ(read.entries[1].col, 6);
}

TEST_P(ModalEncodings, GeneralizedEntriesWithoutAModeFail) {
  zel::GeneralizedMatrix read;
  EXPECT_FALSE(file_.write([](ZelFile &f) {
    return zel::write_generalized_matrix(f, 0, std::vector<zel::GenEntry>{{0, 3, 1.0}}, std::vector<int32_t>{1, 2, 3});
  }));
  ASSERT_TRUE(file_.write([](ZelFile &f) {
    return zel::write_generalized_matrix(f, 0, std::vector<zel::GenEntry>{{0, 0, 1.0}}, std::vector<int32_t>{0});
  }));
  EXPECT_FALSE(zel::read_generalized_matrix(file_.reader(), read)) << "mode number 0 has no index";
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1 << 29) && f.write_int(0); }));
  EXPECT_FALSE(zel::read_generalized_matrix(file_.reader(), read));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-2) && f.write_int(0); }));
  EXPECT_FALSE(zel::read_generalized_matrix(file_.reader(), read));
}

TEST_P(ModalEncodings, TransformationRoundTripsRowByRow) {
  // Rows held with a stride of 3 (the mode count when the write began).
  const std::vector<double> held{1, 2, -9, 3, 4, -9};
  const std::vector<int32_t> modes{5, 6};
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_mode_transformation(f, modes, held, 3); }));
  EXPECT_EQ(file_.size(), 4 + 2 * (4 + 2 * r()));
  std::vector<int32_t> read_modes;
  std::vector<double> read_matrix;
  ASSERT_TRUE(zel::read_mode_transformation(file_.reader(), read_modes, read_matrix));
  EXPECT_EQ(read_modes, modes);
  EXPECT_EQ(read_matrix, (std::vector<double>{1, 2, 3, 4}));

  EXPECT_FALSE(file_.write([&](ZelFile &f) { return zel::write_mode_transformation(f, modes, held, 5); }))
      << "a stride reaching past the matrix";
  for (int32_t count : {0, -4}) {
    ASSERT_TRUE(file_.write([&](ZelFile &f) { return f.write_int(count); }));
    ASSERT_TRUE(zel::read_mode_transformation(file_.reader(), read_modes, read_matrix)) << count;
    EXPECT_TRUE(read_modes.empty());
    EXPECT_TRUE(read_matrix.empty());
  }
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(100000) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_mode_transformation(file_.reader(), read_modes, read_matrix));
}

TEST_P(ModalEncodings, PreValuesRoundTrip) {
  const std::vector<double> values = sample_values(12, 1.0);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_pre_values(f, values); }));
  EXPECT_EQ(file_.size(), 4 + 6 * 2 * r());
  ZelFile &in = file_.reader();
  int32_t count = 0;
  std::vector<double> read;
  ASSERT_TRUE(zel::read_pre_value_count(in, count));
  EXPECT_EQ(count, 2);
  ASSERT_TRUE(zel::read_pre_values(in, count, read));
  EXPECT_EQ(read, values);

  EXPECT_FALSE(file_.write([&](ZelFile &f) { return zel::write_pre_values(f, std::vector<double>(5)); }));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-3); }));
  EXPECT_FALSE(zel::read_pre_value_count(file_.reader(), count));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1 << 30) && f.write_real(1.0); }));
  ZelFile &hostile = file_.reader();
  ASSERT_TRUE(zel::read_pre_value_count(hostile, count));
  EXPECT_FALSE(zel::read_pre_values(hostile, count, read));
}

INSTANTIATE_TEST_SUITE_P(AllEncodings, ModalEncodings, ::testing::ValuesIn(zel_test::kAllEncodings),
                         [](const ::testing::TestParamInfo<Encoding> &info) { return info.param.name; });

}  // namespace
