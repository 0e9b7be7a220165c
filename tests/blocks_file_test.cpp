// A whole file of every block, written by the block encoders: the
// container's encoding detection and table of contents must find each
// block where the encoders put it, and each decoder must end exactly where
// the next block begins.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <vector>

#include "format/block_table.h"
#include "format/blocks.h"
#include "allocation_control.h"
#include "blocks_files.h"
#include "capture.h"
#include "body/database.h"
#include "format/zeltoc.h"

namespace {

using zel::ZelFile;
using zel_test::BlockFile;

constexpr int kModes = 2;
constexpr int kFirstBlock = 3;  // block index of nodal_coords
constexpr int kLastShortSummaryBlock = 17;  // modal_stress, content position 16

struct Sample {
  zel::Header header;
  std::vector<zel::NodeRecord> nodes;
  std::vector<int32_t> faces{3, 0, 1, 2, 2, 1, 2};
  std::vector<double> eigen{1, 4.0, 0.25, 2.0, 1.0, 4.0, 2, 9.0, 0.5, 3.0, 1.0, 9.0};
  std::vector<int32_t> mode_numbers{1, 2};
  std::vector<int32_t> stress_nodes{30, 10};
  std::vector<zel::GenEntry> gen{{0, 0, 1.0}, {1, 1, 1.0}, {0, 1, 0.5}};
  std::vector<zel::LoadCase> loads;
  std::vector<zel::ModeStatistics> statistics{2};

  Sample() {
    header.title = "whole file";
    nodes.resize(3);
    for (int n = 0; n < 3; ++n) {
      nodes[static_cast<std::size_t>(n)].id = 10 * (n + 1);
      nodes[static_cast<std::size_t>(n)].x = n + 0.5;
      nodes[static_cast<std::size_t>(n)].mass = 2.0;
    }
    nodes[1].inertia = std::make_unique<zel::NodalInertia>(zel::NodalInertia{1, 1, 1, 0.5, 0, 0});
    loads.resize(1);
    loads[0].label = "case";
    loads[0].values = {1.5, -1.5};
    statistics[1].node_id[0] = 20;
  }
};

const std::vector<double> &mode_values(std::size_t nodes) {
  static std::vector<double> values;
  values.assign(6 * nodes, 0.0);
  for (std::size_t k = 0; k < values.size(); ++k) values[k] = 0.125 * static_cast<double>(k);
  return values;
}

bool write_modal(ZelFile &f, uint32_t version, int set, const std::vector<int32_t> &ids) {
  if (!zel::write_modal_head(f, kModes, ids)) return false;
  for (int i = 0; i < kModes; ++i)
    if (!zel::write_mode_record(f, version, set, i + 1, mode_values(ids.size()))) return false;
  return true;
}

bool write_invariant(ZelFile &f, zel::Invariant invariant) {
  const auto count = static_cast<std::size_t>(zel::invariant_value_count(invariant, kModes));
  return zel::write_invariant(f, invariant, kModes, std::vector<double>(count, 0.5));
}

// The encoder of each block index, given the version code.
using Encoder = std::function<bool(ZelFile &, uint32_t)>;

std::vector<Encoder> encoders(const Sample &s) {
  std::vector<Encoder> e(zel::kBlockCount);
  std::vector<int32_t> node_ids;
  for (const zel::NodeRecord &node : s.nodes) node_ids.push_back(node.id);
  e[3] = [&s](ZelFile &f, uint32_t) { return zel::write_coordinates(f, s.nodes); };
  e[4] = [&s](ZelFile &f, uint32_t) { return zel::write_element_topology(f, s.faces, s.nodes); };
  e[5] = [](ZelFile &f, uint32_t) { return zel::write_global_properties(f, {}); };
  e[6] = [&s](ZelFile &f, uint32_t) { return zel::write_eigenvalues(f, s.eigen); };
  e[7] = [node_ids](ZelFile &f, uint32_t v) { return write_modal(f, v, zel::kModeShapeSet, node_ids); };
  e[8] = [&s](ZelFile &f, uint32_t) { return zel::write_nodal_masses(f, s.nodes); };
  e[9] = [&s](ZelFile &f, uint32_t) { return zel::write_nodal_inertias(f, zel::nodal_inertia_entries(s.nodes)); };
  e[10] = [](ZelFile &f, uint32_t) { return zel::write_units(f, zel::kDefaultUnitNames); };
  e[11] = [&s](ZelFile &f, uint32_t) { return zel::write_generalized_matrix(f, kModes, s.gen, s.mode_numbers); };
  e[12] = [&s](ZelFile &f, uint32_t) { return zel::write_generalized_matrix(f, kModes, s.gen, s.mode_numbers); };
  e[13] = [&s](ZelFile &f, uint32_t) { return zel::write_element_faces(f, 2, s.faces); };
  e[14] = [&s](ZelFile &f, uint32_t) { return zel::write_generalized_matrix(f, 1, s.gen, s.mode_numbers); };
  e[15] = [&s](ZelFile &f, uint32_t) {
    return zel::write_mode_transformation(f, s.mode_numbers, std::vector<double>{1, 0, 0, 1}, kModes);
  };
  e[16] = [](ZelFile &f, uint32_t) { return zel::write_interface_nodes(f, std::vector<int32_t>{2, 0}); };
  e[17] = [&s](ZelFile &f, uint32_t v) { return write_modal(f, v, zel::kStressSet, s.stress_nodes); };
  const zel::Invariant invariants[] = {zel::Invariant::k1, zel::Invariant::k2, zel::Invariant::k3,
                                       zel::Invariant::k4, zel::Invariant::k5, zel::Invariant::k7,
                                       zel::Invariant::k8, zel::Invariant::k9};
  for (int k = 0; k < 8; ++k) e[18 + k] = [invariant = invariants[k]](ZelFile &f, uint32_t) {
    return write_invariant(f, invariant);
  };
  e[26] = [](ZelFile &f, uint32_t) { return zel::write_preload(f, 0, std::vector<double>{0.5, 0.25}); };
  e[27] = [&s](ZelFile &f, uint32_t) { return zel::write_modal_loads(f, s.loads, 0, kModes); };
  e[28] = [&s](ZelFile &f, uint32_t v) { return write_modal(f, v, zel::kStrainSet, s.stress_nodes); };
  e[29] = [&s](ZelFile &f, uint32_t) { return zel::write_statistics(f, s.statistics); };
  e[30] = [](ZelFile &f, uint32_t) { return zel::write_pre_values(f, std::vector<double>(12, 1.0)); };
  e[31] = [](ZelFile &f, uint32_t) { return zel::write_pre_values(f, std::vector<double>(12, -1.0)); };
  return e;
}

bool block_written(uint32_t version, int b) {
  return !zel::has_short_content_summary(version) || b <= kLastShortSummaryBlock;
}

// Writes the whole file; `starts` gets the offset of every block written.
bool write_sample_file(ZelFile &f, uint32_t version, const Sample &s, std::array<int64_t, 32> &starts) {
  std::array<char, zel::kExistsFlagCount> summary{};
  for (int b = kFirstBlock; b < zel::kBlockCount; ++b)
    summary[static_cast<std::size_t>(zel::content_position(b))] = block_written(version, b) ? 1 : 0;
  if (!f.write_int(static_cast<int32_t>(version)) || !zel::write_header(f, s.header) ||
      !f.write_chars(summary.data(), summary.size()))
    return false;
  const std::vector<Encoder> e = encoders(s);
  for (int b = kFirstBlock; b < zel::kBlockCount; ++b) {
    if (!block_written(version, b)) continue;
    starts[static_cast<std::size_t>(b)] = f.tell();
    if (!e[static_cast<std::size_t>(b)](f, version)) return false;
  }
  return true;
}

// Decodes block b at the current position; false on a failed decode.
bool decode_block(ZelFile &f, uint32_t version, int b, Database &db) {
  int32_t stored = 0;
  std::vector<double> values;
  zel::GeneralizedMatrix matrix;
  switch (b) {
    case 3: {
      zel::CoordinatesHead head;
      return zel::read_coordinates_head(f, head) && zel::read_coordinates(f, head, db.nodes);
    }
    case 4: {
      zel::OldTopology topology;
      return zel::read_element_topology(f, db.node_sorted, topology);
    }
    case 5: {
      zel::GlobalProperties properties;
      return zel::read_global_properties(f, properties);
    }
    case 6:
      return zel::read_eigenvalues(f, version, db.eigen);
    case 7:
    case 17:
    case 28: {
      const int set = b == 7 ? zel::kModeShapeSet : b == 17 ? zel::kStressSet : zel::kStrainSet;
      zel::ModalHead head;
      std::vector<int32_t> ids;
      zel::ModeValueIndex index;
      return zel::read_modal_head(f, version, set, head) && zel::read_modal_node_list(f, head, ids) &&
             zel::locate_mode_values(f, version, set, head, index);
    }
    case 8:
      return zel::read_nodal_masses(f, db);
    case 9:
      return zel::read_nodal_inertias(f, db);
    case 10:
      return zel::read_units(f, db.unit_name);
    case 11:
    case 12:
    case 14:
      return zel::read_generalized_matrix(f, matrix);
    case 13:
      return zel::read_element_faces(f, db.face_count, db.face_list);
    case 15:
      return zel::read_mode_transformation(f, db.transform_modes, db.transform);
    case 16:
      return zel::read_interface_nodes(f, db.interface_nodes);
    case 26: {
      zel::PreloadHead head;
      return zel::read_preload_head(f, head) && zel::read_preload_values(f, head.mode_count, db.preload);
    }
    case 27: {
      zel::ModalLoadsHead head;
      return zel::read_modal_loads_head(f, head) && zel::read_load_cases(f, head, db.load_cases);
    }
    case 29:
      return zel::read_statistics(f, db.statistics);
    case 30:
    case 31: {
      int32_t count = 0;
      return zel::read_pre_value_count(f, count) && zel::read_pre_values(f, count, values);
    }
    default: {
      const zel::Invariant invariants[] = {zel::Invariant::k1, zel::Invariant::k2, zel::Invariant::k3,
                                           zel::Invariant::k4, zel::Invariant::k5, zel::Invariant::k7,
                                           zel::Invariant::k8, zel::Invariant::k9};
      return zel::read_invariant(f, invariants[b - 18], kModes, values, stored) && stored == kModes;
    }
  }
}

// The sample file of the version code under test, and where its blocks start.
class WholeFile : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(file.write([&](ZelFile &f) { return write_sample_file(f, version, sample, starts); }));
  }

  // The sample's node table, as the reader has it when blocks 9, 10 and 5
  // are decoded.
  void add_sample_nodes(Database &db) const {
    for (const zel::NodeRecord &node : sample.nodes) {
      db.node_sorted.insert(node.id, db.node_count());
      db.nodes.emplace_back().id = node.id;
    }
  }

  const uint32_t version = GetParam();
  BlockFile file{{zel::is_xdr_version(version), !zel::is_single_precision_version(version), ""}};
  const Sample sample;
  std::array<int64_t, 32> starts{};
};

TEST_P(WholeFile, EveryBlockIsFoundWhereItWasWrittenAndEndsWhereTheNextBegins) {
  Database db;
  std::FILE *stream = std::fopen(file.path().c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  db.file.attach(stream, file.path(), zel::FileMode::kRead, false, true);
  ASSERT_TRUE(zel::detect_encoding(db.file, db.version));
  ASSERT_EQ(db.version, version);
  ASSERT_TRUE(zel::build_table_of_contents(db));
  add_sample_nodes(db);

  zel::Header header;
  ASSERT_TRUE(db.file.seek(4));
  ASSERT_TRUE(zel::read_header(db.file, header));
  EXPECT_EQ(header.title, "whole file");
  int64_t end_of_previous = 4 + 644 * db.file.char_width();
  for (int b = kFirstBlock; b < zel::kBlockCount; ++b) {
    if (!block_written(version, b)) continue;
    const auto at = static_cast<std::size_t>(b);
    EXPECT_EQ(starts[at], end_of_previous) << "block id " << b + 1;
    ASSERT_EQ(db.toc[at], starts[at]) << "block id " << b + 1;
    ASSERT_TRUE(db.file.seek(db.toc[at]));
    ASSERT_TRUE(decode_block(db.file, version, b, db)) << "block id " << b + 1;
    end_of_previous = db.file.tell();
  }
  EXPECT_EQ(end_of_previous, db.file.size());
  EXPECT_EQ(db.face_list, sample.faces);
  EXPECT_EQ(db.unit_name, zel::kDefaultUnitNames);
  EXPECT_EQ(db.nodes[1].mass, 2.0);
  ASSERT_TRUE(db.nodes[1].inertia);
  EXPECT_EQ((*db.nodes[1].inertia)[3], 0.5);
}

std::vector<char> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put_file_bytes(const std::string &path, const std::vector<char> &bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Random damage to a valid file: a few bytes overwritten, sometimes the
// end cut off. Every decoder started at every block's offset must fail or
// succeed cleanly, never read outside the file (the sanitizer build checks
// that) and never allocate out of proportion to the file's size.
TEST_P(WholeFile, DamagedFilesDecodeCleanly) {
  const std::vector<char> valid = file_bytes(file.path());
  std::mt19937 random(version);
  for (int round = 0; round < 200; ++round) {
    std::vector<char> damaged = valid;
    for (int hit = 0; hit < 4; ++hit)
      damaged[std::uniform_int_distribution<std::size_t>(0, damaged.size() - 1)(random)] =
          static_cast<char>(random());
    if (round % 4 == 0) damaged.resize(std::uniform_int_distribution<std::size_t>(0, damaged.size())(random));
    put_file_bytes(file.path(), damaged);
    std::array<std::size_t, zel::kBlockCount> largest{};
    zel_test::capture([&] {
      for (int b = kFirstBlock; b < zel::kBlockCount; ++b) {
        if (!block_written(version, b)) continue;
        Database db;
        add_sample_nodes(db);
        ZelFile &in = file.reader();
        largest[static_cast<std::size_t>(b)] = zel_test::largest_allocation_in([&] {
          if (in.seek(starts[static_cast<std::size_t>(b)])) decode_block(in, version, b, db);
        });
      }
    });
    const std::size_t bound = 16 * damaged.size() + zel_test::kModestAllocation;
    for (int b = kFirstBlock; b < zel::kBlockCount; ++b)
      ASSERT_LE(largest[static_cast<std::size_t>(b)], bound) << "block id " << b + 1 << ", round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(VersionCodes, WholeFile,
                         ::testing::Values(10u, 20u, 30u, 31u, 40u, 41u, 50u, 51u, 60u, 0x13Cu, 0x23Cu, 0x33Cu),
                         [](const ::testing::TestParamInfo<uint32_t> &info) {
                           return "Code" + std::to_string(info.param);
                         });

}  // namespace
