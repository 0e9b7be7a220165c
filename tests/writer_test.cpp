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
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "format/write_options.h"
#include "scoped_env.h"
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

struct Written {
  int result = 0;
  zel_test::Printed printed;
};

// Writes db to path with these options: the result and what was printed.
Written write_printed(Database *db, const std::string &path, const std::string &options) {
  ScopedEnv env("KOR_ZELWRITE_OPTIONS", options);
  Written written;
  written.printed = capture([&] { written.result = ZEL_write_ZEL(db, path.c_str()); });
  return written;
}

// The same, quietly: the write's result.
int write_with(Database *db, const std::string &path, const std::string &options) {
  return write_printed(db, path, options).result;
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

// Options are whole words outside arguments: a word inside a sketch path
// or inside another word's parentheses switches nothing on, and a word
// that is not exactly a known one is kept for a warning.
TEST(WriteOptions, OnlyWholeKnownWordsOutsideArgumentsCount) {
  const struct {
    const char *text;
    std::vector<std::string> unknown;
    bool empty, single, invar, no_xdr;
    uint32_t version;
  } cases[] = {
      {"sketch(/data/faces_not_empty.txt)", {}, false, false, false, false, 0x13C},
      {"sketch('/data/single no_xdr 81_comp.txt') full_invar", {}, false, false, true, false, 0x13C},
      {"sketch(\"a(invar).txt\")", {}, false, false, false, false, 0x13C},
      {"foo(single empty)", {"foo(single empty)"}, false, false, false, false, 0x13C},
      {"singel", {"singel"}, false, false, false, false, 0x13C},
      {"no_xdrsingle my_invar full_invarx", {"no_xdrsingle", "my_invar", "full_invarx"}, false, false, false, false,
       0x13C},
      {"single(2) mks", {"single(2)", "mks"}, false, false, false, false, 0x13C},
      {"empty;single,no_xdr\tinvar", {}, true, true, true, true, 0x23C},
  };
  for (const auto &c : cases) {
    const zel::WriteOptions o = zel::parse_write_options(c.text);
    EXPECT_EQ(o.unknown_words, c.unknown) << c.text;
    EXPECT_EQ(o.empty, c.empty) << c.text;
    EXPECT_EQ(o.single, c.single) << c.text;
    EXPECT_EQ(o.invar, c.invar) << c.text;
    EXPECT_EQ(o.no_xdr, c.no_xdr) << c.text;
    EXPECT_EQ(o.version, c.version) << c.text;
    EXPECT_FALSE(o.malformed) << c.text;
  }
  EXPECT_EQ(zel::parse_write_options("sketch(/data/faces_not_empty.txt)").sketch, "/data/faces_not_empty.txt");
  EXPECT_EQ(zel::parse_write_options("sketch(\"a(invar).txt\")").sketch, "a(invar).txt");
  const zel::WriteOptions full = zel::parse_write_options("full_invar");
  EXPECT_TRUE(full.invar && full.full_invar && !full.fast_invar);
  const zel::WriteOptions fast = zel::parse_write_options("fast_invar");
  EXPECT_TRUE(fast.invar && fast.fast_invar && !fast.full_invar);
}

// Frequencies with a signed exponent, blanks around them, the first of
// two; arguments up to the length limit and not one character more.
TEST(WriteOptions, FrequencyArgumentsAndTheArgumentLimit) {
  const std::pair<const char *, double> frequencies[] = {
      {"lowpass(1e+3)", 1000.0}, {"lowpass(2E2)", 200.0}, {"lowpass( 7 )", 7.0}, {"lowpass(10) lowpass(20)", 10.0}};
  for (const auto &[text, hertz] : frequencies) {
    const zel::WriteOptions o = zel::parse_write_options(text);
    EXPECT_FALSE(o.malformed) << text;
    EXPECT_EQ(o.low_pass, hertz) << text;
  }
  for (const char *text : {"lowpass(1e3-5)", "lowpass(1e)", "highpass(+)", "coarsen", "lowpass 100"}) {
    EXPECT_TRUE(zel::parse_write_options(text).malformed) << text;
  }
  const std::size_t limit = zel::kOptionArgumentLimit;
  const std::string padded = std::string(limit - 3, ' ') + "100";
  const zel::WriteOptions at_limit = zel::parse_write_options(("lowpass(" + padded + ")").c_str());
  EXPECT_FALSE(at_limit.malformed);
  EXPECT_EQ(at_limit.low_pass, 100.0);
  EXPECT_TRUE(zel::parse_write_options(("lowpass( " + padded + ")").c_str()).malformed);
  const std::string path(limit, 'p');
  EXPECT_EQ(zel::parse_write_options(("sketch(\"" + path + "\")").c_str()).sketch, path);
  EXPECT_TRUE(zel::parse_write_options(("sketch(" + path + "q)").c_str()).malformed);
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
    // Writing left the source's stream usable for the body's own reads.
    double translation[3] = {};
    EXPECT_EQ(ZEL_ModeByNode(db, 3, 0, 40, translation, 0), 1);
    EXPECT_EQ(translation[2], zel_test::mode_value(0, 2, 3, 2));
    ZEL_UnLink(db);
    const std::vector<unsigned char> expected = zel_test::zel_file_bytes(written_sample(level.version));
    const std::vector<unsigned char> written = file_bytes(output);
    ASSERT_EQ(written.size(), expected.size()) << level.version;
    const auto differ = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(differ.first == written.end())
        << "version " << level.version << " differs at byte " << (differ.first - written.begin());
  }
}


// ------------------------------------------------- bodies built and written

constexpr double kPi = 3.14159265358979323846;

// Exact in single precision.
double built_value(int set, int mode, int id, int component) {
  return (set + 1) * 64.0 + mode * 8.0 + id * 0.5 + component * 0.125;
}

// A strip of 2 x 4 nodes (IDs 1..8) drawn by `quads` quads (three cover
// every node),
// with masses, one inertia, interface nodes, `modes` modes whose
// frequencies are `hertz`, a stress set (nodes 3, 5), a strain set (node
// 8), damping, preload and a load case. Every mode has generalized mass
// 1.0 but the modes numbered in `massless`, which have none.
Database *build_body(const std::vector<double> &hertz = {1.0, 2.0, 3.0}, int quads = 3,
                     const std::vector<int> &massless = {}) {
  Database *db = ZEL_Create(8, static_cast<int>(hertz.size()));
  ZEL_SetHeader(db, const_cast<char *>("strip"), const_cast<char *>("strip.fem"), const_cast<char *>("FEM"),
                const_cast<char *>("c1"), const_cast<char *>("c2"), const_cast<char *>("c3"));
  for (int id = 1; id <= 8; ++id) {
    ZEL_SetNodeCoordinates(db, id, (id - 1) / 2, (id - 1) % 2, 0.25 * id);
    ZEL_SetNodalMass(db, id, 0.5 * id);
  }
  ZEL_SetNodalInertia(db, 4, 1.0, 2.0, 3.0, 0.25, 0.0, 0.5);
  for (int q = 0; q < quads; ++q) ZEL_SetFace(db, 4, 2 * q + 1, 2 * q + 3, 2 * q + 4, 2 * q + 2);
  ZEL_SetInterfaceNode(db, 1);
  ZEL_SetInterfaceNode(db, 8);
  const int stress_ids[] = {3, 5};
  for (std::size_t m = 0; m < hertz.size(); ++m) {
    const int number = static_cast<int>(m) + 1;
    double v[6];
    for (int id = 1; id <= 8; ++id) {
      for (int c = 0; c < 6; ++c) v[c] = built_value(0, number, id, c);
      ZEL_SetModeVec(db, number, id, 0, v);
    }
    for (const int id : stress_ids) {
      for (int c = 0; c < 6; ++c) v[c] = built_value(1, number, id, c);
      ZEL_SetModeVec(db, number, id, 1, v);
    }
    for (int c = 0; c < 6; ++c) v[c] = built_value(2, number, 8, c);
    ZEL_SetModeVec(db, number, 8, 2, v);
    const double omega = 2.0 * kPi * hertz[m];
    ZEL_SetGeneralizedStiffness(db, number, number, omega * omega);
    if (std::find(massless.begin(), massless.end(), number) == massless.end())
      ZEL_SetGeneralizedMass(db, number, number, 1.0);
    ZEL_SetGeneralizedDamping(db, number, number, 0.125);
    ZEL_SetModalPreload(db, number, 0.5 * number);
    ZEL_SetModalLoad(db, 0, number, -0.25 * number);
  }
  ZEL_SetModalLoadLabel(db, 0, "gravity");
  return db;
}

// The six values of node `id` in a mode of a set; all zero when the node
// has none.
std::array<double, 6> six_values(Database *db, int number, int set, int id) {
  std::array<double, 6> v{};
  ZEL_ModeByNode(db, number, set, id, v.data(), 0);
  ZEL_ModeByNode(db, number, set, id, v.data() + 3, 1);
  return v;
}

std::array<double, 6> built_values(int set, int number, int id) {
  std::array<double, 6> v{};
  for (int c = 0; c < 6; ++c) v[static_cast<std::size_t>(c)] = built_value(set, number, id, c);
  return v;
}

struct LevelCase {
  const char *options;
  int version;
};

// What a reader finds in a file of each format level written from the
// built body: the version code, the header, nodes, masses, faces, modes,
// eigenvalues and, where the level carries them, stress spread over all
// nodes (older levels) or kept as a set (level 60), strain and loads.
TEST(Writer, EveryFormatLevelReopensWithWhatWasWritten) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const LevelCase levels[] = {{"", 0x13C},       {"no_xdr", 0x3C},          {"single", 0x33C},
                              {"single no_xdr", 0x23C}, {"full_str", 41},   {"full_str no_xdr", 40},
                              {"full_str single", 51},  {"full_str single no_xdr", 50},
                              {"82_comp", 20},    {"81_comp", 10}};
  for (const LevelCase &level : levels) {
    SCOPED_TRACE(level.options);
    Database *built = build_body();
    const std::string path = dir.file("level.zel");
    ASSERT_EQ(write_with(built, path, level.options), 1);
    ZEL_UnLink(built);
    Database *db = nullptr;
    capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(ZEL_Version(db), level.version & 0xFF);
    char title[129] = {};
    ZEL_Header(db, title, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ(title, "strip");
    ASSERT_EQ(ZEL_NodeCount(db), 8);
    ASSERT_EQ(ZEL_ModeCount(db), 3);
    int faces = 0, size = 0;
    ZEL_FaceListSize(db, &faces, &size);
    EXPECT_EQ(faces, 3);
    for (int index = 0; index < 8; ++index) {
      const int id = ZEL_NodeID(db, index);
      double xyz[3];
      ZEL_NodeCoordinates(db, index, xyz);
      EXPECT_EQ(xyz[2], 0.25 * id);
      EXPECT_EQ(ZEL_NodalMass(db, index), 0.5 * id);
    }
    const bool short_summary = level.version <= 31;
    const int stress_nodes = (level.version & 0xFF) < 60 ? 8 : 2;
    EXPECT_EQ(ZEL_ModeNodeCount(db, 1), stress_nodes);
    for (int number = 1; number <= 3; ++number) {
      double frequency = 0.0;
      ZEL_Eigenvalue(db, number, nullptr, &frequency, nullptr, nullptr, nullptr);
      EXPECT_NEAR(frequency, number, 1e-6 * number);
      EXPECT_EQ(six_values(db, number, 0, 6), built_values(0, number, 6));
      EXPECT_EQ(six_values(db, number, 1, 5), built_values(1, number, 5));
      if (stress_nodes == 8) {
        EXPECT_EQ(six_values(db, number, 1, 4), (std::array<double, 6>{}));
      }
      if (!short_summary) {
        EXPECT_EQ(six_values(db, number, 2, 8), built_values(2, number, 8));
      }
    }
    if (!short_summary) {
      int count = 0;
      double *load = ZEL_GetModalLoad(db, 0, &count);
      ASSERT_EQ(count, 3);
      EXPECT_EQ(load[2], -0.75);
      ZEL_FreeMemory(load);
    }
    ZEL_UnLink(db);
  }
}

// A stress node whose values are zero in every mode: listed as the set
// has it, left out by sparse_str, and the set spread over every node by a
// level without partial sets.
TEST(Writer, StressNodesFollowTheSparseAndFullOptions) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::pair<const char *, int> cases[] = {{"", 3}, {"sparse_str", 2}, {"full_str", 8}};
  for (const auto &[options, listed] : cases) {
    Database *db = build_body();
    double zeros[6] = {};
    for (int number = 1; number <= 3; ++number) ZEL_SetModeVec(db, number, 7, 1, zeros);
    const std::string path = dir.file("stress.zel");
    ASSERT_EQ(write_with(db, path, options), 1);
    ZEL_UnLink(db);
    Database *read = ZEL_CreateFromZEL(path.c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ZEL_ModeNodeCount(read, 1), listed) << options;
    EXPECT_EQ(six_values(read, 2, 1, 5), built_values(1, 2, 5)) << options;
    ZEL_UnLink(read);
  }
}

// What some options leave in the file: "empty" the geometry and mass
// properties without modes; "MKS" the body in SI units (built in
// millimetres and megagrams); "no_ortho" the generalized matrices instead
// of eigenvalues.
TEST(Writer, PreparationOptionsShapeTheWrittenBody) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const struct {
    const char *options;
    int modes;
    double x_of_node_8;  // built at 3 (mm in the MKS case)
    int eigenvalues, stiffness, invariant1;
  } cases[] = {
      {"", 3, 3.0, 1, 0, 0},
      {"empty", 0, 3.0, 0, 0, 1},
      {"MKS", 3, 0.003, 1, 0, 0},
      {"no_ortho", 3, 3.0, 0, 1, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.options);
    Database *db = build_body();
    if (std::string(c.options) == "MKS") ZEL_SetUnits(db, "MEGAGRAM", "MILLIMETER", "SECOND", "NEWTON");
    const std::string path = dir.file("prepared.zel");
    ASSERT_EQ(write_with(db, path, c.options), 1);
    ZEL_UnLink(db);
    Database *read = nullptr;
    capture([&] { read = ZEL_CreateFromZEL(path.c_str()); });
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ZEL_ModeCount(read), c.modes);
    double xyz[3];
    ZEL_NodeCoordinates(read, ZEL_NodeIndex(read, 8), xyz);
    EXPECT_DOUBLE_EQ(xyz[0], c.x_of_node_8);
    // Blocks by index: 6 eigenvalues, 11 generalized stiffness, 18 invariant 1.
    EXPECT_EQ(ZEL_Exists(read, 6), c.eigenvalues);
    EXPECT_EQ(ZEL_Exists(read, 11), c.stiffness);
    EXPECT_EQ(ZEL_Exists(read, 18), c.invariant1);
    if (c.modes == 3) {
      EXPECT_EQ(six_values(read, 2, 0, 8)[3], built_value(0, 2, 8, 3));
    }
    ZEL_UnLink(read);
  }
}

// The mesh options reach the faces before they are written: a plate of
// 5 x 5 nodes in 16 quads coarsened into fewer, larger faces.
TEST(Writer, CoarsenOptionMergesTheFacesItWrites) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *db = ZEL_Create(25, 0);
  for (int id = 0; id < 25; ++id) ZEL_SetNodeCoordinates(db, id + 1, id % 5, id / 5, 0.0);
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column) {
      const int corner = 5 * row + column + 1;
      ZEL_SetFace(db, 4, corner, corner + 1, corner + 6, corner + 5);
    }
  const std::string path = dir.file("coarse.zel");
  ASSERT_EQ(write_with(db, path, "coarsen(0.5,10,0)"), 1);
  ZEL_UnLink(db);
  Database *read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  int faces = 0, size = 0;
  ZEL_FaceListSize(read, &faces, &size);
  EXPECT_GT(faces, 0);
  EXPECT_LT(faces, 16);
  ZEL_UnLink(read);
}

// Invariants computed while writing describe the modes written: the
// orthonormalization that comes first must not leave zeros standing in for
// the modal invariants. A check of the file against its own nodes agrees.
TEST(Writer, InvariantsComputedOnWritingAgreeWithTheWrittenModes) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *db = build_body();
  for (int number = 1; number <= 3; ++number) ZEL_SetGeneralizedMass(db, number, number, 2.0);
  const std::string path = dir.file("invariants.zel");
  ASSERT_EQ(write_with(db, path, "full_invar"), 1);
  ZEL_UnLink(db);
  Database *stored = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(stored, nullptr);
  double *from_file = ZEL_Invar3(stored);
  ASSERT_NE(from_file, nullptr);
  const std::vector<double> file_values(from_file, from_file + 9);
  ZEL_FreeMemory(from_file);
  ZEL_ComputeInvariantsFromNodes(stored);
  double *from_nodes = ZEL_Invar3(stored);
  ASSERT_NE(from_nodes, nullptr);
  double largest = 0.0;
  for (int k = 0; k < 9; ++k) {
    EXPECT_NEAR(file_values[static_cast<std::size_t>(k)], from_nodes[k], 1e-9 * std::abs(from_nodes[k]) + 1e-12) << k;
    largest = std::max(largest, std::abs(from_nodes[k]));
  }
  EXPECT_GT(largest, 1.0);
  ZEL_FreeMemory(from_nodes);
  ZEL_UnLink(stored);
}

// Generalized matrices land on the modes they belong to when read back:
// kept with their own mode numbers (no_ortho, modes numbered 7, 8, 9), and
// damping turned onto the principal axes (full_invar), whose indices run
// past the mode list.
TEST(Writer, GeneralizedMatricesReadBackOnTheirModes) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string path = dir.file("matrices.zel");
  Database *db = ZEL_Create(2, 3);
  ZEL_SetNodeCoordinates(db, 1, 0.0, 0.0, 0.0);
  ZEL_SetNodeCoordinates(db, 2, 1.0, 0.0, 0.0);
  for (int number = 7; number <= 9; ++number) {
    ZEL_SetMode(db, number, 1, 0, 1.0, 0.0, 0.0, 0.0, 0.0, number);
    ZEL_SetMode(db, number, 2, 0, 0.0, 1.0, 0.0, 0.0, 0.0, number);
    ZEL_SetGeneralizedStiffness(db, number, number, 10.0 * number);
    ZEL_SetGeneralizedMass(db, number, number, 1.0);
  }
  ASSERT_EQ(write_with(db, path, "no_ortho"), 1);
  ZEL_UnLink(db);
  Database *read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  double stiffness[9];
  ZEL_GenStiffFull(read, stiffness, 3);
  EXPECT_EQ(std::vector<double>(stiffness, stiffness + 9), (std::vector<double>{70, 0, 0, 0, 80, 0, 0, 0, 90}));
  ZEL_UnLink(read);

  db = build_body();
  ASSERT_EQ(write_with(db, path, "full_invar"), 1);
  ZEL_UnLink(db);
  read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(ZEL_NumberOfGenDamp(read), 3);
  double *rows[9];
  double damping[9][9];
  for (int r = 0; r < 9; ++r) rows[r] = damping[r];
  const int selected[] = {1, 2, 3};
  ASSERT_EQ(ZEL_GenDampPrincipalAndSelected(read, rows, 3, const_cast<int *>(selected)), 1);
  EXPECT_EQ(damping[7][7], 0.125);
  ZEL_UnLink(read);
}

// A body whose nodes were only named (a mass and a mode, no coordinates)
// still writes its nodes: without them a reader could place none of it.
TEST(Writer, NodesWithoutCoordinatesAreWrittenAtTheOrigin) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *db = ZEL_Create(1, 1);
  ZEL_SetNodalMass(db, 5, 2.0);
  ZEL_SetMode(db, 1, 5, 0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0);
  ZEL_SetGeneralizedMass(db, 1, 1, 2.0);
  ZEL_SetGeneralizedStiffness(db, 1, 1, 8.0);
  const std::string path = dir.file("named.zel");
  ASSERT_EQ(write_with(db, path, ""), 1);
  ZEL_UnLink(db);
  Database *read = nullptr;
  capture([&] { read = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(ZEL_NodeID(read, 0), 5);
  EXPECT_EQ(ZEL_NodalMass(read, 0), 2.0);
  EXPECT_NEAR(six_values(read, 1, 0, 5)[0], 1.0 / std::sqrt(2.0), 1e-15);
  ZEL_UnLink(read);
}

TEST(Writer, TheFrequencyFilterExportsARangeRenumberedFromOne) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *built = build_body({1.0, 10.0, 50.0, 200.0});
  const std::string path = dir.file("filtered.zel");
  ScopedEnv env("KOR_ZELWRITE_OPTIONS", "lowpass(100) highpass(5)");
  int result = 0;
  const zel_test::Printed printed = capture([&] { result = ZEL_write_ZEL(built, path.c_str()); });
  ZEL_UnLink(built);
  ASSERT_EQ(result, 1);
  EXPECT_NE(printed.out.find("Exporting frequency range [5.000000e+00,1.000000e+02]\n"), std::string::npos);
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(ZEL_ModeCount(db), 2);
  const double hertz[] = {10.0, 50.0};
  for (int number = 1; number <= 2; ++number) {
    EXPECT_EQ(ZEL_ModeNumber(db, number - 1), number);
    double frequency = 0.0;
    ZEL_Eigenvalue(db, number, nullptr, &frequency, nullptr, nullptr, nullptr);
    EXPECT_NEAR(frequency, hertz[number - 1], 1e-9 * hertz[number - 1]);
    EXPECT_EQ(six_values(db, number, 0, 2), built_values(0, number + 1, 2));
  }
  int count = 0;
  double *preload = ZEL_GetModalPreload(db, &count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(preload[0], 1.0);
  ZEL_FreeMemory(preload);
  ZEL_UnLink(db);
}

TEST(Writer, ReportsNodesAtTheOriginOnlyWhenThereIsMoreThanOne) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  for (const int at_origin : {1, 2}) {
    Database *db = build_body();
    for (int id = 1; id <= at_origin; ++id) ZEL_SetNodeCoordinates(db, id, 0.0, 0.0, 0.0);
    int result = 0;
    const zel_test::Printed printed = capture([&] { result = ZEL_write_ZEL(db, dir.file("origin.zel").c_str()); });
    ZEL_UnLink(db);
    EXPECT_EQ(result, 1);
    const bool warned =
        printed.err.find("WARNING:  Found 2 node(s) with coordinates (0,0,0).  They are:\nWARNING:     1\n"
                         "WARNING:     2\n") != std::string::npos;
    EXPECT_EQ(warned, at_origin == 2) << printed.err;
  }
}

// With invariants held, the write reduces the body to the nodes that draw
// and hold it (the triangle's and the interface nodes), unless the
// invariants word names no level.
TEST(Writer, AnInvariantsWordWithoutItsLevelWarnsAndKeepsEveryNode) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string warning = "WARNING:  Illegal invariants option, use full_invar or fast_invar.\n";
  const struct {
    const char *options;
    int nodes_left;
    bool warned;
  } cases[] = {{"invar", 8, true}, {"full_invar", 4, false}};
  for (const auto &c : cases) {
    Database *db = build_body({1.0, 2.0, 3.0}, 0);
    ZEL_SetFace(db, 3, 1, 2, 3);
    double invariant3[3] = {1.0, 2.0, 3.0};
    ZEL_SetInvar3(db, 1, invariant3);
    ScopedEnv env("KOR_ZELWRITE_OPTIONS", c.options);
    int result = 0;
    const zel_test::Printed printed = capture([&] { result = ZEL_write_ZEL(db, dir.file("invar.zel").c_str()); });
    EXPECT_EQ(result, 1) << c.options;
    EXPECT_EQ(printed.err.find(warning) != std::string::npos, c.warned) << c.options;
    EXPECT_EQ(ZEL_NodeCount(db), c.nodes_left) << c.options;
    ZEL_UnLink(db);
  }
}

// An unknown word is named and ignored; a word inside the sketch's path
// switches nothing on: the modes are written.
TEST(Writer, UnknownWordsWarnAndWordsInsideArgumentsSwitchNothingOn) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *db = build_body();
  const std::string path = dir.file("words.zel");
  const Written written = write_printed(db, path, "singel sketch(" + dir.file("faces_not_empty.txt") + ")");
  ZEL_UnLink(db);
  ASSERT_EQ(written.result, 1);
  const std::string &err = written.printed.err;
  EXPECT_EQ(err.rfind("WARNING:  Unknown write option \"singel\" is ignored.\n", 0), 0u) << err;
  Database *read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  // Every mode, at the default level (60, XDR, double precision).
  EXPECT_EQ((std::array{ZEL_ModeCount(read), ZEL_Version(read), ZEL_Double_Prec(read)}), (std::array{3, 60, 1}));
  ZEL_UnLink(read);
}

// Pre-stress (force / length^2) and pre-strain (no dimension) go into the
// file in the file's units, as the modal stresses beside them do: after
// "MKS" from millimetres, or after a change to centimetres.
TEST(Writer, PreValuesAreWrittenInTheUnitsOfTheFile) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const struct {
    const char *options;
    const char *length_before_writing;  // set after the mm declaration; null: none
    double stress_factor;
  } cases[] = {{"", nullptr, 1.0}, {"MKS", nullptr, 1e6}, {"", "cm", 100.0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.options);
    Database *db = build_body();
    ZEL_SetUnits(db, "kg", "mm", "s", "N");
    std::array<double, 6> pre_stress{1.5, -2.0, 3.25, 0.5, -0.75, 8.0}, pre_strain{1e-3, 2e-3, -3e-3, 4e-4, 5e-4, 6e-4};
    ZEL_SetPreStressVec(db, 5, pre_stress.data());
    ZEL_SetPreStrainVec(db, 8, pre_strain.data());
    if (c.length_before_writing != nullptr) ZEL_SetUnits(db, "kg", c.length_before_writing, "s", "N");
    const std::string path = dir.file("pre.zel");
    ASSERT_EQ(write_with(db, path, c.options), 1);
    ZEL_UnLink(db);
    Database *read = ZEL_CreateFromZEL(path.c_str());
    ASSERT_NE(read, nullptr);
    const std::array<double, 6> stress = six_values(read, 0, 1, 5), strain = six_values(read, 0, 2, 8);
    const std::array<double, 6> modal = six_values(read, 2, 1, 5), built = built_values(1, 2, 5);
    for (std::size_t k = 0; k < 6; ++k) {
      EXPECT_DOUBLE_EQ(stress[k], pre_stress[k] * c.stress_factor) << k;
      EXPECT_DOUBLE_EQ(modal[k], built[k] * c.stress_factor) << k;
      EXPECT_EQ(strain[k], pre_strain[k]) << k;
    }
    ZEL_UnLink(read);
  }
}

// The frequency filter's limits belong to the range: a low-pass limit at
// exactly a mode's frequency keeps that mode.
TEST(Writer, ALowPassLimitAtAModesFrequencyKeepsTheMode) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string path = dir.file("limit.zel");
  const std::vector<double> hertz = {1.0, 10.0, 50.0, 200.0};
  Database *db = build_body(hertz);
  ASSERT_EQ(write_with(db, path, ""), 1);
  ZEL_UnLink(db);
  Database *read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  double second = 0.0;
  ZEL_Eigenvalue(read, 2, nullptr, &second, nullptr, nullptr, nullptr);
  ZEL_UnLink(read);
  char option[64];
  std::snprintf(option, sizeof option, "lowpass(%.17g)", second);
  db = build_body(hertz);
  ASSERT_EQ(write_with(db, path, option), 1) << option;
  ZEL_UnLink(db);
  read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(ZEL_ModeCount(read), 2) << option;
  ZEL_UnLink(read);
}

// Invariant 5 of a filtered write is the unfiltered one cut to the
// exported modes: each mode's 3 x M array is read with the stride of all
// the modes the invariant was computed for.
TEST(Writer, FilteredInvariantFiveIsTheFirstModesOfTheWholeOne) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::vector<double> hertz = {1.0, 10.0, 50.0, 200.0};
  const std::string whole_path = dir.file("whole.zel"), cut_path = dir.file("cut.zel");
  for (const auto &[path, options] : {std::pair{whole_path, "full_invar"}, std::pair{cut_path, "full_invar lowpass(60)"}}) {
    Database *db = build_body(hertz);
    ASSERT_EQ(write_with(db, path, options), 1) << options;
    ZEL_UnLink(db);
  }
  Database *whole = ZEL_CreateFromZEL(whole_path.c_str());
  Database *cut = ZEL_CreateFromZEL(cut_path.c_str());
  ASSERT_NE(whole, nullptr);
  ASSERT_NE(cut, nullptr);
  ASSERT_EQ(ZEL_ModeCount(whole), 4);
  ASSERT_EQ(ZEL_ModeCount(cut), 3);
  double largest = 0.0;
  for (int i = 0; i < 3; ++i) {
    double *all = ZEL_Invar5(whole, i);
    double *first = ZEL_Invar5(cut, i);
    ASSERT_NE(all, nullptr);
    ASSERT_NE(first, nullptr);
    for (int a = 0; a < 3; ++a)
      for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(first[a * 3 + j], all[a * 4 + j]) << i << " " << a << " " << j;
        largest = std::max(largest, std::abs(all[a * 4 + j]));
      }
    ZEL_FreeMemory(all);
    ZEL_FreeMemory(first);
  }
  EXPECT_GT(largest, 1.0);
  ZEL_UnLink(whole);
  ZEL_UnLink(cut);
}

// A file written with all invariants and written again with the fast set
// carries no invariants 5 and 9: the fast set does not compute them, so
// the old ones would no longer match the modes.
TEST(Writer, RewritingWithTheFastSetLeavesInvariantsFiveAndNineOut) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string full_path = dir.file("full.zel"), fast_path = dir.file("fast.zel");
  Database *db = build_body();
  ASSERT_EQ(write_with(db, full_path, "full_invar"), 1);
  ZEL_UnLink(db);
  db = ZEL_CreateFromZEL(full_path.c_str());
  ASSERT_NE(db, nullptr);
  // Block indices: 21 invariant 4, 22 invariant 5, 24 invariant 8, 25 invariant 9.
  EXPECT_EQ(ZEL_Exists(db, 22), 1);
  EXPECT_EQ(ZEL_Exists(db, 25), 1);
  ASSERT_EQ(write_with(db, fast_path, "fast_invar"), 1);
  ZEL_UnLink(db);
  Database *fast = ZEL_CreateFromZEL(fast_path.c_str());
  ASSERT_NE(fast, nullptr);
  EXPECT_EQ(ZEL_Exists(fast, 21), 1);
  EXPECT_EQ(ZEL_Exists(fast, 24), 1);
  EXPECT_EQ(ZEL_Exists(fast, 22), 0);
  EXPECT_EQ(ZEL_Exists(fast, 25), 0);
  ZEL_UnLink(fast);
}

// The invariants describe the whole body even when the write keeps only
// the nodes that draw and hold it (one quad and the interface nodes: 5 of
// the 8 nodes, 9 of the 18 mass units).
TEST(Writer, InvariantOneStaysTheWholeMassAfterTheNodeReduction) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *db = build_body({1.0, 2.0, 3.0}, 1);
  const std::string path = dir.file("reduced.zel");
  ASSERT_EQ(write_with(db, path, "full_invar"), 1);
  EXPECT_EQ(ZEL_Invar1(db), 18.0);
  ZEL_UnLink(db);
  Database *read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(ZEL_NodeCount(read), 5);
  EXPECT_EQ(ZEL_Invar1(read), 18.0);
  double mass = 0.0, inertia[9], cm[3];
  ZEL_TotalMassInertia(read, &mass, inertia, cm);
  EXPECT_EQ(mass, 18.0);
  ZEL_UnLink(read);
}

// A body without modes (a static part) written with every invariant:
// its modal invariants are of no mode, and its mass is all there.
TEST(Writer, ABodyWithoutModesTakesEveryInvariantLevel) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  for (const char *options : {"full_invar", "fast_invar"}) {
    Database *db = build_body({}, 3);
    const std::string path = dir.file("static.zel");
    ASSERT_EQ(write_with(db, path, options), 1) << options;
    ZEL_UnLink(db);
    Database *read = ZEL_CreateFromZEL(path.c_str());
    ASSERT_NE(read, nullptr) << options;
    EXPECT_EQ(ZEL_ModeCount(read), 0);
    EXPECT_EQ(ZEL_Invar1(read), 18.0) << options;
    ZEL_UnLink(read);
  }
}

// ------------------------------------------------------ failed writes

// The directory holds exactly these names: nothing half-written stays.
void expect_entries(const TempDir &dir, const std::vector<std::string> &names) { EXPECT_EQ(dir.entries(), names); }

TEST(Writer, RefusedWritesTouchNeitherTheBodyNorTheDisk) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string path = dir.file("body.zel");
  struct Refusal {
    const char *options;
    const char *errors;
  } refusals[] = {
      {"81_comp fast_invar",
       "ERROR:  8.1 compatible ZEL cannot contain Invariants\nERROR:  Problem writing version number.\n"},
      {"full_str sparse_str lbrf2cm",
       "ERROR:  Cannot specify full and sparse stress and strain modes.\nERROR:  Problem writing version number.\n"},
      {"lowpass(fast)", "ERROR:  Malformed argument of the write option lowpass(.\n"},
  };
  for (const Refusal &refusal : refusals) {
    Database *db = build_body();
    double before[3], after[3];
    ZEL_NodeCoordinates(db, 0, before);
    ScopedEnv env("KOR_ZELWRITE_OPTIONS", refusal.options);
    int result = 1;
    const zel_test::Printed printed = capture([&] { result = ZEL_write_ZEL(db, path.c_str()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed.err, refusal.errors);
    ZEL_NodeCoordinates(db, 0, after);
    EXPECT_EQ(std::vector<double>(before, before + 3), std::vector<double>(after, after + 3)) << refusal.options;
    expect_entries(dir, {});
    ZEL_UnLink(db);
  }
  Database *db = build_body();
  const zel_test::Printed printed = capture([&] { EXPECT_EQ(ZEL_write_ZEL(db, "/nonexistent/dir/body.zel"), 0); });
  EXPECT_EQ(printed.err,
            "ERROR:  Unable to open /nonexistent/dir/body.zel for write: No such file or directory\n");
  ZEL_UnLink(db);
}

TEST(Writer, RefusesTheFileTheBodyWasReadFromHoweverItIsSpelled) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string path = dir.file("source.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  const std::vector<unsigned char> before = file_bytes(path);
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  const std::string other_spelling = dir.path() + "/./source.zel";
  int result = 1;
  const zel_test::Printed printed = capture([&] { result = ZEL_write_ZEL(db, other_spelling.c_str()); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  The output ZEL name must be different than the current ZEL name.\nERROR:    Current "
                         "ZEL name:  " + path + "\nERROR:    Output ZEL name:  " + other_spelling + "\n");
  ZEL_UnLink(db);
  EXPECT_EQ(file_bytes(path), before);
  expect_entries(dir, {"source.zel"});
}

// Modes that cannot be made mass-orthonormal (a stiffness that is not a
// number; no generalized mass at all, whatever the stiffness) are not
// written as if they were: the write fails, says why, and the file that
// was there stays.
TEST(Writer, ModesThatCannotBeOrthonormalizedAreNotWritten) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string path = dir.file("body.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  const std::vector<unsigned char> old_bytes = file_bytes(path);
  const std::string not_written = "ERROR:  The modes could not be made mass-orthonormal: " + path + " was not written.\n";
  const std::string no_mass = "ERROR:  Every mode has an infinite eigenvalue: no mode is left to write. Each mode "
                              "needs a generalized mass (1.0 for mass-normalized modes).\n";
  const struct {
    const char *name;
    std::vector<double> hertz;
    bool nan_stiffness;
    std::string error;
  } cases[] = {
      {"stiffness not a number", {1.0, 2.0, 3.0}, true, "ERROR:  The generalized eigenvalue problem did not converge"},
      {"no mass, stiffness up to 10", {0.1, 0.2, 0.3}, false, no_mass},
      {"no mass, larger stiffness", {1.0, 2.0, 3.0}, false, no_mass},
  };
  for (const auto &c : cases) {
    Database *db = build_body(c.hertz, 3, c.nan_stiffness ? std::vector<int>{} : std::vector<int>{1, 2, 3});
    if (c.nan_stiffness) ZEL_SetGeneralizedStiffness(db, 1, 2, std::nan(""));
    const Written written = write_printed(db, path, "");
    ZEL_UnLink(db);
    const std::string &err = written.printed.err;
    EXPECT_EQ(written.result, 0) << c.name;
    EXPECT_NE(err.find(c.error), std::string::npos) << c.name << ": " << err;
    EXPECT_NE(err.find(not_written), std::string::npos) << c.name << ": " << err;
    EXPECT_EQ(file_bytes(path), old_bytes) << c.name;
    expect_entries(dir, {"body.zel"});
  }
}

// A mode without a generalized mass among modes with one is named and
// left out; the others are written.
TEST(Writer, AModeWithoutGeneralizedMassIsNamedAndLeftOut) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  Database *db = build_body({1.0, 2.0, 3.0}, 3, {2});
  const std::string path = dir.file("two.zel");
  const Written written = write_printed(db, path, "");
  ZEL_UnLink(db);
  ASSERT_EQ(written.result, 1);
  EXPECT_NE(written.printed.err.find(
                "WARNING:  Mode 2 is not physically meaningful.\nWARNING:  It is associated with a zero generalized mass\n"),
            std::string::npos)
      << written.printed.err;
  Database *read = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(ZEL_ModeCount(read), 2);
  const double hertz[] = {1.0, 3.0};
  for (int number = 1; number <= 2; ++number) {
    double frequency = 0.0;
    ZEL_Eigenvalue(read, number, nullptr, &frequency, nullptr, nullptr, nullptr);
    EXPECT_NEAR(frequency, hertz[number - 1], 1e-9) << number;
  }
  EXPECT_EQ(six_values(read, 2, 0, 6), built_values(0, 3, 6));
  ZEL_UnLink(read);
}

// Writes with the file size limited to `limit` bytes, as a disk that
// fills up would; the limit is lifted again before returning.
int write_within(Database *db, const std::string &path, rlim_t limit) {
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = limit;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  int result = 0;
  const zel_test::Printed printed = capture([&] {
    setrlimit(RLIMIT_FSIZE, &limited);
    result = ZEL_write_ZEL(db, path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
  });
  std::signal(SIGXFSZ, old_handler);
  return result;
}

TEST(Writer, AWriteThatFailsAnywhereLeavesTheOldFileAsItWas) {
  zel_test::PrivateStoreDirectory stores;
  TempDir dir;
  const std::string path = dir.file("body.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  const std::vector<unsigned char> old_bytes = file_bytes(path);
  const std::string probe = dir.file("probe.zel");
  Database *db = build_body();
  ASSERT_EQ(write_with(db, probe, ""), 1);
  ZEL_UnLink(db);
  const rlim_t full_size = std::filesystem::file_size(probe);
  std::filesystem::remove(probe);
  // In the version code, the header, the node blocks, the mode shapes and
  // the last block.
  for (const rlim_t limit : {rlim_t{2}, rlim_t{300}, full_size / 3, full_size / 2, full_size - 1}) {
    Database *body = build_body();
    EXPECT_EQ(write_within(body, path, limit), 0) << limit;
    ZEL_UnLink(body);
    EXPECT_EQ(file_bytes(path), old_bytes) << limit;
    expect_entries(dir, {"body.zel"});
  }
}

}  // namespace
