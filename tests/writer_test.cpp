// The writer: option texts and the version codes they give; files that
// reopen with what was written, byte for byte where the format fixes
// every byte; the exported mode range; and writes that fail (refused
// options, the body's own file, a disk that fills up) leaving the target
// as it was and nothing behind.
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "scoped_env.h"
#include "write_options.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

using zel_test::capture;
using zel_test::ScopedEnv;
using zel_test::TempDir;

std::vector<unsigned char> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes db to path with these options, quietly; the write's result.
int write_with(Database *db, const std::string &path, const std::string &options) {
  ScopedEnv env("KOR_ZELWRITE_OPTIONS", options);
  int result = 0;
  capture([&] { result = ZEL_write_ZEL(db, path.c_str()); });
  return result;
}

// ------------------------------------------------------------ options

struct OptionCase {
  const char *text;
  uint32_t version;
  std::vector<std::string> conflicts;
};

TEST(WriteOptions, WordsGiveTheVersionCodeAndTheConflicts) {
  const std::string sparse = "8.1 compatible ZEL cannot have sparse stress or strain modes";
  const OptionCase cases[] = {
      {"", 0x13C, {}},
      {"no_xdr single", 0x23C, {}},
      {"single", 0x33C, {}},
      {"full_str no_xdr", 40, {}},
      {"full_str", 41, {}},
      {"full_str single no_xdr", 50, {}},
      {"full_str single", 51, {}},
      {"82_comp", 20, {}},
      {"81_comp no_xdr single", 10, {"8.1 compatible ZEL cannot be single precision"}},
      {"81_comp fast_invar", 10, {"8.1 compatible ZEL cannot contain Invariants"}},
      {"82_comp,sparse_str,invar",
       20,
       {"8.2 compatible ZEL cannot contain Invariants", "8.2 compatible ZEL cannot have sparse stress or strain modes"}},
      {"full_str sparse_str", 41, {"Cannot specify full and sparse stress and strain modes."}},
      {"82_comp 81_comp sparse_str",
       10,
       {"8.2 compatible ZEL cannot have sparse stress or strain modes", sparse}},
  };
  for (const OptionCase &c : cases) {
    const zel::WriteOptions options = zel::parse_write_options(c.text);
    EXPECT_EQ(options.version, c.version) << c.text;
    EXPECT_EQ(options.conflicts, c.conflicts) << c.text;
    EXPECT_FALSE(options.malformed) << c.text;
  }
  EXPECT_FALSE(zel::parse_write_options("82_comp").use_xdr());
  EXPECT_TRUE(zel::parse_write_options("82_comp").double_precision());
  EXPECT_TRUE(zel::parse_write_options("full_str").use_xdr());
}

TEST(WriteOptions, ArgumentsAreReadBetweenTheirDelimiters) {
  const zel::WriteOptions o =
      zel::parse_write_options("lowpass(100) highpass( 5.5e-1) coarsen(0.1,20,1,7,preserve_str) sketch('a b.txt')");
  EXPECT_EQ(o.low_pass, 100.0);
  EXPECT_EQ(o.high_pass, 0.55);
  EXPECT_EQ(o.coarsen, "0.1,20,1,7,preserve_str");
  EXPECT_EQ(o.sketch, "a b.txt");
  EXPECT_EQ(zel::parse_write_options("sketch(\"grid.txt\")").sketch, "grid.txt");
  EXPECT_EQ(zel::parse_write_options("sketch(grid.txt)").sketch, "grid.txt");
  EXPECT_EQ(zel::parse_write_options("coarsen()").coarsen, "");
  const zel::WriteOptions none = zel::parse_write_options(nullptr);
  EXPECT_EQ(none.low_pass, 1.0e8);
  EXPECT_EQ(none.high_pass, -1.0);
}

TEST(WriteOptions, AnUnreadableArgumentNamesItsOption) {
  const std::pair<const char *, const char *> cases[] = {
      {"lowpass(abc)", "lowpass("},        {"lowpass(100", "lowpass("},   {"highpass()", "highpass("},
      {"coarsen(0.1,20,1", "coarsen("},    {"coarsen(0.1;20)", "coarsen("}, {"sketch", "sketch("},
      {"sketch(\"unclosed", "sketch("},    {"sketch()", "sketch("},
  };
  for (const auto &[text, option] : cases) {
    const zel::WriteOptions o = zel::parse_write_options(text);
    ASSERT_TRUE(o.malformed) << text;
    EXPECT_EQ(*o.malformed, std::string("Malformed argument of the write option ") + option + ".") << text;
  }
  const std::string long_argument = "lowpass(" + std::string(zel::kOptionArgumentLimit + 1, '1') + ")";
  EXPECT_TRUE(zel::parse_write_options(long_argument.c_str()).malformed);
}

// ------------------------------------------------- files written again

// The statistics the writer records for the sample body's modes: the
// largest translation and rotation, von Mises stress and strain, each at
// the first node where it occurs.
std::vector<zel::ModeStatistics> expected_statistics(const zel_test::ZelBody &body) {
  std::vector<zel::ModeStatistics> statistics(3);
  const zel_test::ModalValues *sets[3] = {&*body.mode_shapes, &*body.stress, &*body.strain};
  for (int mode = 0; mode < 3; ++mode) {
    zel::ModeStatistics &record = statistics[static_cast<std::size_t>(mode)];
    for (int set = 0; set < 3; ++set) {
      const std::vector<int32_t> &ids = sets[set]->node_ids;
      for (int part = 0; part < (set == 0 ? 2 : 1); ++part) {
        const int slot = set == 0 ? part : set + 1;
        double largest = 0.0;
        for (std::size_t p = 0; p < ids.size(); ++p) {
          double v[6];
          for (int c = 0; c < 6; ++c) v[c] = zel_test::mode_value(set, mode, static_cast<int>(p), c);
          const double squared =
              set == 0 ? v[3 * part] * v[3 * part] + v[3 * part + 1] * v[3 * part + 1] + v[3 * part + 2] * v[3 * part + 2]
                       : v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - v[0] * v[1] - v[1] * v[2] - v[0] * v[2] +
                             3.0 * (v[3] * v[3] + v[4] * v[4] + v[5] * v[5]);
          if (squared > largest) {
            largest = squared;
            record.node_id[static_cast<std::size_t>(slot)] = ids[p];
          }
        }
        record.value[static_cast<std::size_t>(slot)] = std::sqrt(largest);
      }
    }
  }
  return statistics;
}

// What the writer makes of the sample body: its eigenvalue table stands
// (the modes are already mass-orthonormal), the global properties come
// from its invariants, and the statistics from its modes.
zel_test::ZelBody written_sample(uint32_t version) {
  zel_test::ZelBody body = zel_test::sample_body(version);
  body.loads.reset();  // the rigid-body loads would be turned onto the principal axes
  body.gen_stiff.reset();
  body.gen_mass.reset();
  // Each default invariant block holds 0.25, 0.5, 0.75, ...
  const double mass = 0.25;
  body.global_properties = zel::GlobalProperties{mass, {0.25 / mass, 0.5 / mass, 0.75 / mass}, {}};
  for (int k = 0; k < 9; ++k) {
    const double value = 0.25 * (k + 1);
    body.global_properties->inertia[static_cast<std::size_t>(k)] = k % 4 == 0 ? value : 0.0 - value;
  }
  body.statistics = expected_statistics(body);
  body.preload->processed = 1;  // its rigid-body part is on the principal axes now
  return body;
}

struct FormatLevel {
  uint32_t version;
  const char *options;
};

TEST(Writer, RewritesAFileByteForByteAtEveryEncodingOfTheCurrentLevel) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const FormatLevel levels[] = {{316, ""}, {60, "no_xdr"}, {828, "single"}, {572, "single no_xdr"}};
  for (const FormatLevel &level : levels) {
    zel_test::ZelBody source = zel_test::sample_body(level.version);
    source.loads.reset();
    const std::string input = dir.file("input.zel"), output = dir.file("output.zel");
    ASSERT_TRUE(zel_test::write_zel_file(source, input));
    Database *db = ZEL_CreateFromZEL(input.c_str());
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(write_with(db, output, level.options), 1) << level.options;
    ZEL_UnLink(db);
    const std::vector<unsigned char> expected = zel_test::zel_file_bytes(written_sample(level.version));
    const std::vector<unsigned char> written = file_bytes(output);
    ASSERT_EQ(written.size(), expected.size()) << level.version;
    const auto differ = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(differ.first == written.end())
        << "version " << level.version << " differs at byte " << (differ.first - written.begin());
  }
}

}  // namespace
