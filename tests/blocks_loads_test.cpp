// The stored inertia invariants, modal preload, modal load cases and modal
// statistics.
#include <gtest/gtest.h>

#include <vector>

#include "blocks_files.h"
#include "format/blocks.h"

namespace {

using zel::Invariant;
using zel::ZelFile;
using zel_test::BlockFile;
using zel_test::Encoding;

constexpr Invariant kAllInvariants[] = {Invariant::k1, Invariant::k2, Invariant::k3, Invariant::k4,
                                        Invariant::k5, Invariant::k7, Invariant::k8, Invariant::k9};

std::vector<double> sample_values(std::size_t count) {
  std::vector<double> values(count);
  for (std::size_t k = 0; k < count; ++k) values[k] = 0.5 * static_cast<double>(k) - 11.0;
  return values;
}

class LoadBlocks : public ::testing::TestWithParam<Encoding> {
 protected:
  BlockFile file_{GetParam()};
  int64_t w() const { return GetParam().xdr ? 4 : 1; }
  int64_t r() const { return GetParam().double_precision ? 8 : 4; }
};

TEST(InvariantShapes, CountValuesForMModes) {
  const int64_t expected[] = {1, 3, 12, 12, 48, 9, 36, 144};  // M = 4
  for (std::size_t k = 0; k < std::size(kAllInvariants); ++k)
    EXPECT_EQ(zel::invariant_value_count(kAllInvariants[k], 4), expected[k]) << k;
  // Beyond what 64 bits hold: saturates instead of wrapping into a small count.
  EXPECT_EQ(zel::invariant_value_count(Invariant::k9, 2147483647), INT64_MAX);
  EXPECT_EQ(zel::invariant_value_count(Invariant::k5, 2147483647), INT64_MAX);
  EXPECT_EQ(zel::invariant_value_count(Invariant::k9, 1000000000), 9 * int64_t{1000000000} * 1000000000);
  EXPECT_FALSE(zel::invariant_has_mode_count(Invariant::k1));
  EXPECT_FALSE(zel::invariant_has_mode_count(Invariant::k2));
  EXPECT_FALSE(zel::invariant_has_mode_count(Invariant::k7));
  EXPECT_TRUE(zel::invariant_has_mode_count(Invariant::k3));
  EXPECT_TRUE(zel::invariant_has_mode_count(Invariant::k9));
}

TEST_P(LoadBlocks, EveryInvariantRoundTripsWithItsSize) {
  const int32_t m = 3;
  for (Invariant invariant : kAllInvariants) {
    const int64_t count = zel::invariant_value_count(invariant, m);
    const std::vector<double> values = sample_values(static_cast<std::size_t>(count));
    ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_invariant(f, invariant, m, values); }));
    EXPECT_EQ(file_.size(), (zel::invariant_has_mode_count(invariant) ? 4 : 0) + count * r());
    std::vector<double> read;
    int32_t stored = -1;
    ASSERT_TRUE(zel::read_invariant(file_.reader(), invariant, m, read, stored));
    EXPECT_EQ(stored, m);
    EXPECT_EQ(read, values);
    EXPECT_FALSE(file_.write([&](ZelFile &f) {
      return zel::write_invariant(f, invariant, m, std::span(values).first(values.size() - 1));
    })) << "a value short";
  }
}

// Invariant 9 for M = 3: 4 + 81 r bytes, the matrix of mode pair (1, 2)
// starting at value 9 (1 * 3 + 2) = 45.
TEST_P(LoadBlocks, InvariantNineKeepsModePairsInRowOrder) {
  Database db;
  db.invar9.resize(9);
  for (std::size_t pair = 0; pair < 9; ++pair)
    for (std::size_t k = 0; k < 9; ++k) db.invar9[pair][k] = 10.0 * static_cast<double>(pair) + static_cast<double>(k);
  const std::vector<double> values = zel::invariant_values(db, Invariant::k9);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_invariant(f, Invariant::k9, 3, values); }));
  EXPECT_EQ(file_.size(), 4 + 81 * r());
  ZelFile &in = file_.reader();
  ASSERT_TRUE(in.seek(4 + 45 * r()));
  double first = 0.0;
  ASSERT_TRUE(in.read_real(first));
  EXPECT_EQ(first, db.invar9[1 * 3 + 2][0]);

  Database again;
  std::vector<double> read;
  int32_t stored = 0;
  ASSERT_TRUE(zel::read_invariant(file_.reader(), Invariant::k9, 3, read, stored));
  ASSERT_TRUE(zel::store_invariant(again, Invariant::k9, 3, read));
  EXPECT_EQ(again.invar9, db.invar9);
}

TEST(InvariantContainers, HoldTheFileOrder) {
  Database db;
  const int32_t m = 2;
  const std::vector<double> invar5 = sample_values(12);
  ASSERT_TRUE(zel::store_invariant(db, Invariant::k5, m, invar5));
  ASSERT_EQ(db.invar5.size(), 2u);
  EXPECT_EQ(db.invar5[1], std::vector<double>(invar5.begin() + 6, invar5.end()));
  ASSERT_TRUE(zel::store_invariant(db, Invariant::k8, m, sample_values(18)));
  EXPECT_EQ(db.invar8[1][0], sample_values(18)[9]);
  ASSERT_TRUE(zel::store_invariant(db, Invariant::k3, m, sample_values(6)));
  ASSERT_TRUE(zel::store_invariant(db, Invariant::k1, m, sample_values(1)));
  for (Invariant invariant : {Invariant::k1, Invariant::k3, Invariant::k5, Invariant::k8})
    EXPECT_EQ(zel::invariant_values(db, invariant),
              sample_values(static_cast<std::size_t>(zel::invariant_value_count(invariant, m))));
  EXPECT_FALSE(zel::store_invariant(db, Invariant::k5, m, sample_values(11)));
  EXPECT_EQ(db.invar5.size(), 2u) << "a refused store keeps what was there";
}

// The leading count is handed back for the caller to compare; the values
// are read for the caller's M either way.
TEST_P(LoadBlocks, InvariantWithAnotherModeCountIsReadForTheCallersCount) {
  ASSERT_TRUE(file_.write([](ZelFile &f) { return zel::write_invariant(f, Invariant::k3, 3, sample_values(9)); }));
  std::vector<double> read;
  int32_t stored = 0;
  ASSERT_TRUE(zel::read_invariant(file_.reader(), Invariant::k3, 2, read, stored));
  EXPECT_EQ(stored, 3);
  EXPECT_EQ(read, sample_values(6));
  EXPECT_FALSE(zel::read_invariant(file_.reader(), Invariant::k3, 4, read, stored)) << "12 values in a file of 9";
  EXPECT_FALSE(zel::read_invariant(file_.reader(), Invariant::k9, 100000, read, stored));
  EXPECT_FALSE(zel::read_invariant(file_.reader(), Invariant::k3, -1, read, stored));
}

TEST_P(LoadBlocks, PreloadRoundTrips) {
  const std::vector<double> values = sample_values(4);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_preload(f, 1, values); }));
  EXPECT_EQ(file_.size(), 8 + 4 * r());
  ZelFile &in = file_.reader();
  zel::PreloadHead head;
  ASSERT_TRUE(zel::read_preload_head(in, head));
  EXPECT_EQ(head.mode_count, 4);
  EXPECT_EQ(head.processed, 1);
  std::vector<double> read;
  ASSERT_TRUE(zel::read_preload_values(in, head.mode_count, read));
  EXPECT_EQ(read, values);

  // A negative count is the caller's mismatch to report; no values follow it.
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-6) && f.write_int(0); }));
  ZelFile &negative = file_.reader();
  ASSERT_TRUE(zel::read_preload_head(negative, head));
  EXPECT_EQ(head.mode_count, -6);
  EXPECT_FALSE(zel::read_preload_values(negative, head.mode_count, read));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1 << 30) && f.write_int(0) && f.write_real(1.0); }));
  ZelFile &hostile = file_.reader();
  ASSERT_TRUE(zel::read_preload_head(hostile, head));
  EXPECT_FALSE(zel::read_preload_values(hostile, head.mode_count, read));
}

std::vector<zel::LoadCase> two_load_cases(std::size_t modes) {
  std::vector<zel::LoadCase> cases(2);
  cases[0].label = "gravity  ";  // trailing blanks belong to the label
  cases[0].processed = 1;
  cases[0].values = sample_values(modes);
  cases[1].label = std::string(300, 'L');
  cases[1].values = sample_values(modes + 3);
  return cases;
}

TEST_P(LoadBlocks, ModalLoadsRoundTripWithTheirLabels) {
  const std::vector<zel::LoadCase> cases = two_load_cases(4);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_modal_loads(f, cases, 0, 4); }));
  EXPECT_EQ(file_.size(), 8 + 2 * (256 * w() + 4 + 4 * r()));
  ZelFile &in = file_.reader();
  zel::ModalLoadsHead head;
  ASSERT_TRUE(zel::read_modal_loads_head(in, head));
  EXPECT_EQ(head.mode_count, 4);
  EXPECT_EQ(head.case_count, 2);
  std::vector<zel::LoadCase> read;
  ASSERT_TRUE(zel::read_load_cases(in, head, read));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].label, "gravity  ");
  EXPECT_EQ(read[0].processed, 1);
  EXPECT_EQ(read[0].values, cases[0].values);
  EXPECT_EQ(read[1].label, std::string(256, 'L')) << "a field without a terminator is kept whole";
  EXPECT_EQ(read[1].processed, 0);
  EXPECT_EQ(read[1].values, sample_values(4));
}

TEST(ModalLoadsLayout, FourModesTwoCasesInEachEncoding) {
  const std::vector<zel::LoadCase> cases = two_load_cases(4);
  BlockFile native(zel_test::kNativeDouble);
  ASSERT_TRUE(native.write([&](ZelFile &f) { return zel::write_modal_loads(f, cases, 0, 4); }));
  EXPECT_EQ(native.size(), 592);
  BlockFile xdr(zel_test::kXdrDouble);
  ASSERT_TRUE(xdr.write([&](ZelFile &f) { return zel::write_modal_loads(f, cases, 0, 4); }));
  EXPECT_EQ(xdr.size(), 2128);
}

TEST_P(LoadBlocks, ModalLoadsWriteTheExportedModeRange) {
  const std::vector<zel::LoadCase> cases = two_load_cases(4);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_modal_loads(f, cases, 1, 3); }));
  ZelFile &in = file_.reader();
  zel::ModalLoadsHead head;
  std::vector<zel::LoadCase> read;
  ASSERT_TRUE(zel::read_modal_loads_head(in, head));
  ASSERT_TRUE(zel::read_load_cases(in, head, read));
  EXPECT_EQ(read[0].values, std::vector<double>(cases[0].values.begin() + 1, cases[0].values.end()));
  EXPECT_FALSE(file_.write([&](ZelFile &f) { return zel::write_modal_loads(f, cases, 2, 3); }))
      << "the first case has only 4 values";
}

TEST_P(LoadBlocks, HostileModalLoadsFailCleanly) {
  zel::ModalLoadsHead head;
  std::vector<zel::LoadCase> read;
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(4) && f.write_int(-1); }));
  EXPECT_FALSE(zel::read_modal_loads_head(file_.reader(), head));
  EXPECT_EQ(head.mode_count, 4) << "the first count stays for the caller's check";
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-4) && f.write_int(1) && f.write_int(0); }));
  ZelFile &negative = file_.reader();
  ASSERT_TRUE(zel::read_modal_loads_head(negative, head)) << "a negative M is the caller's mismatch to report";
  EXPECT_FALSE(zel::read_load_cases(negative, head, read));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(4) && f.write_int(1000000) && f.write_int(0); }));
  ZelFile &in = file_.reader();
  ASSERT_TRUE(zel::read_modal_loads_head(in, head));
  EXPECT_FALSE(zel::read_load_cases(in, head, read));
  EXPECT_TRUE(read.empty());

  const std::vector<zel::LoadCase> cases = two_load_cases(4);
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_modal_loads(f, cases, 0, 4); }));
  file_.truncate(file_.size() - 1);
  ZelFile &cut = file_.reader();
  ASSERT_TRUE(zel::read_modal_loads_head(cut, head));
  EXPECT_FALSE(zel::read_load_cases(cut, head, read));
}

TEST_P(LoadBlocks, StatisticsRoundTrip) {
  std::vector<zel::ModeStatistics> records(2);
  for (std::size_t k = 0; k < 13; ++k) {
    records[0].node_id[k] = static_cast<int32_t>(k + 1);
    records[1].node_id[k] = -static_cast<int32_t>(k);
    records[0].value[k] = 0.25 * static_cast<double>(k);
    records[1].value[k] = -2.0 * static_cast<double>(k);
  }
  ASSERT_TRUE(file_.write([&](ZelFile &f) { return zel::write_statistics(f, records); }));
  EXPECT_EQ(file_.size(), 4 + 13 * 2 * (4 + r()));
  std::vector<zel::ModeStatistics> read;
  ASSERT_TRUE(zel::read_statistics(file_.reader(), read));
  ASSERT_EQ(read.size(), 2u);
  for (std::size_t n = 0; n < 2; ++n) {
    EXPECT_EQ(read[n].node_id, records[n].node_id);
    EXPECT_EQ(read[n].value, records[n].value);
  }

  ASSERT_TRUE(file_.write([](ZelFile &f) { return zel::write_statistics(f, {}); }));
  EXPECT_EQ(file_.size(), 4);
  ASSERT_TRUE(zel::read_statistics(file_.reader(), read));
  EXPECT_TRUE(read.empty());

  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(1 << 28) && f.write_int(1); }));
  EXPECT_FALSE(zel::read_statistics(file_.reader(), read));
  ASSERT_TRUE(file_.write([](ZelFile &f) { return f.write_int(-1); }));
  EXPECT_FALSE(zel::read_statistics(file_.reader(), read));
}

INSTANTIATE_TEST_SUITE_P(AllEncodings, LoadBlocks, ::testing::ValuesIn(zel_test::kAllEncodings),
                         [](const ::testing::TestParamInfo<Encoding> &info) { return info.param.name; });

}  // namespace
