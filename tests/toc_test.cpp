// Opening a ZEL file: version detection, the content summary, the offset of
// every block, block access, and files that lie about their counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "format/block_table.h"
#include "format/zeltoc.h"
#include "io/zelfile.h"
#include "scratch_dir.h"
#include "zel.h"

namespace {

namespace fs = std::filesystem;
using zel_test::ScratchDir;
using zel::FileMode;
using zel::ZelFile;
using zel_test::capture;


struct DatabaseDeleter {
  void operator()(Database *db) const { ZEL_UnLink(db); }
};
using DatabasePtr = std::unique_ptr<Database, DatabaseDeleter>;

// Writes a ZEL file the way the format lays it out: the version code, the
// header, the content summary, then each present block's fields in order.
// The block writers below follow the field lists of the block formats, not
// the size rules, so comparing offsets tests the rules.
class FileBuilder {
 public:
  using BlockWriter = std::function<void(ZelFile &)>;

  FileBuilder(std::string path, uint32_t version)
      : path_(std::move(path)), version_(version) {}

  void add(int id, BlockWriter writer) { blocks_[static_cast<std::size_t>(id - 1)] = std::move(writer); }
  void flag(int id, char value) { extra_flags_.push_back({id, value}); }

  // Writes the file; gives the offset at which each block index starts
  // (the end of the previous present block for an absent one).
  std::array<int64_t, zel::kBlockCount> write() {
    std::array<int64_t, zel::kBlockCount> starts{};
    std::FILE *stream = std::fopen(path_.c_str(), "wb");
    EXPECT_NE(stream, nullptr);
    ZelFile out;
    out.attach(stream, path_, FileMode::kWrite, zel::is_xdr_version(version_),
               !zel::is_single_precision_version(version_));
    out.write_int(static_cast<int32_t>(version_));
    starts[1] = out.tell();
    out.write_text("Cantilever", 128);
    out.write_text("2006-03-05", 32);
    out.write_text("cantilever.dat", 128);
    out.write_text("solver", 16);
    for (int i = 0; i < 3; ++i) out.write_text("", 80);
    starts[2] = out.tell();
    std::array<char, 100> summary{};
    for (int b = zel::kFirstOptionalBlock; b < zel::kBlockCount; ++b)
      if (blocks_[static_cast<std::size_t>(b)]) summary[static_cast<std::size_t>(zel::kBlocks[b].content_position)] = 1;
    for (auto [id, value] : extra_flags_) summary[static_cast<std::size_t>(zel::kBlocks[id - 1].content_position)] = value;
    out.write_chars(summary.data(), summary.size());
    for (int b = zel::kFirstOptionalBlock; b < zel::kBlockCount; ++b) {
      starts[static_cast<std::size_t>(b)] = out.tell();
      if (blocks_[static_cast<std::size_t>(b)]) blocks_[static_cast<std::size_t>(b)](out);
    }
    end_ = out.tell();
    return starts;
  }
  int64_t end() const { return end_; }

 private:
  std::string path_;
  uint32_t version_;
  std::array<BlockWriter, zel::kBlockCount> blocks_{};
  std::vector<std::pair<int, char>> extra_flags_;
  int64_t end_ = 0;
};

void ints(ZelFile &out, std::initializer_list<int32_t> values) {
  for (int32_t v : values) out.write_int(v);
}
void reals(ZelFile &out, std::size_t n, double value = 0.5) {
  for (std::size_t i = 0; i < n; ++i) out.write_real(value + static_cast<double>(i));
}

// Blocks written field by field from their layouts.
FileBuilder::BlockWriter nodal_coords(int n) {
  return [n](ZelFile &out) {
    ints(out, {n, 3});
    for (int i = 0; i < n; ++i) {
      ints(out, {100 + i});
      reals(out, 3);
    }
  };
}

FileBuilder::BlockWriter mode_vectors(int modes, int nodes, bool mode_numbers) {
  return [=](ZelFile &out) {
    ints(out, {modes, nodes});
    for (int j = 0; j < nodes; ++j) ints(out, {100 + j});
    for (int i = 0; i < modes; ++i) {
      if (mode_numbers) ints(out, {7 + i});
      reals(out, 6 * static_cast<std::size_t>(nodes));
    }
  };
}

FileBuilder::BlockWriter modal_loads(int modes, int cases) {
  return [=](ZelFile &out) {
    ints(out, {modes, cases});
    for (int c = 0; c < cases; ++c) {
      out.write_text("gravity", 256);
      ints(out, {0});
      reals(out, static_cast<std::size_t>(modes));
    }
  };
}

// A leading mode count, then `per_mode` reals for each mode (or mode pair).
FileBuilder::BlockWriter per_mode_block(int modes, int per_mode, bool pairs) {
  return [=](ZelFile &out) {
    ints(out, {modes});
    reals(out, static_cast<std::size_t>(per_mode * modes * (pairs ? modes : 1)));
  };
}

FileBuilder::BlockWriter reals_only(int n) {
  return [n](ZelFile &out) { reals(out, static_cast<std::size_t>(n)); };
}

FileBuilder::BlockWriter raw_ints(std::initializer_list<int32_t> values) {
  std::vector<int32_t> copy(values);
  return [copy](ZelFile &out) { out.write_ints(copy.data(), copy.size()); };
}

// Every optional block, each with its own small counts.
void add_every_block(FileBuilder &file, bool mode_numbers) {
  const int modes = 3;
  file.add(4, nodal_coords(4));
  file.add(5, [](ZelFile &out) {
    ints(out, {3, 2});            // T faces, E elements
    ints(out, {1, 2, 3, 2, 1, 4});  // {label, F, V} x 2
    ints(out, {0, 0, 100, 101, 102, 0, 0, 101, 102, 103, 0, 0, 100, 101, 102, 103});
  });
  file.add(6, reals_only(13));
  file.add(7, [](ZelFile &out) {
    ints(out, {modes});
    for (int i = 0; i < modes; ++i) {
      ints(out, {7 + i});
      reals(out, 5);
    }
  });
  file.add(8, mode_vectors(modes, 4, mode_numbers));
  file.add(9, [](ZelFile &out) {
    ints(out, {2, 3});
    for (int i = 0; i < 2; ++i) {
      ints(out, {100 + i});
      reals(out, 3);
    }
  });
  file.add(10, [](ZelFile &out) {
    ints(out, {2});
    for (int i = 0; i < 2; ++i) {
      ints(out, {100 + i});
      out.write_char(4);
      out.write_char(5);
      reals(out, 1);
    }
  });
  file.add(11, [](ZelFile &out) {
    for (const char *name : {"KILOGRAM", "METER", "SECOND", "NEWTON"}) out.write_text(name, 16);
  });
  auto generalized = [](ZelFile &out) {
    ints(out, {2, modes});
    for (int i = 0; i < 2; ++i) {
      ints(out, {7 + i, 7 + i});
      reals(out, 1);
      ints(out, {1});
    }
  };
  file.add(12, generalized);
  file.add(13, generalized);
  file.add(14, raw_ints({16 + 4 * 7, 0, 2, 7, 3, 0, 1, 2, 2, 2, 3}));
  file.add(15, generalized);
  file.add(16, [](ZelFile &out) {
    ints(out, {2, 7, 8});
    reals(out, 4);
  });
  file.add(17, raw_ints({3, 0, 1, 2}));
  file.add(18, mode_vectors(modes, 2, mode_numbers));
  file.add(19, reals_only(1));
  file.add(20, reals_only(3));
  file.add(21, per_mode_block(modes, 3, false));
  file.add(22, per_mode_block(modes, 3, false));
  file.add(23, per_mode_block(modes, 3, true));
  file.add(24, reals_only(9));
  file.add(25, per_mode_block(modes, 9, false));
  file.add(26, per_mode_block(modes, 9, true));
  file.add(27, [](ZelFile &out) {
    ints(out, {modes, 0});
    reals(out, modes);
  });
  file.add(28, modal_loads(modes, 2));
  file.add(29, mode_vectors(modes, 3, mode_numbers));
  file.add(30, [](ZelFile &out) {
    ints(out, {2});
    for (int i = 0; i < 2; ++i) {
      for (int k = 0; k < 13; ++k) ints(out, {100 + k});
      reals(out, 13);
    }
  });
  file.add(31, [](ZelFile &out) {
    ints(out, {2});
    reals(out, 12);
  });
  file.add(32, [](ZelFile &out) {
    ints(out, {1});
    reals(out, 6);
  });
}

// Opens `path` the way the reader does up to the table of contents.
struct Opened {
  DatabasePtr db;
  bool encoding_ok = false;
  bool toc_ok = false;
  zel_test::Printed printed;
};

Opened open_file(const std::string &path) {
  Opened opened;
  opened.db.reset(ZEL_Create(0, 0));
  Database &db = *opened.db;
  std::FILE *stream = std::fopen(path.c_str(), "rb");
  EXPECT_NE(stream, nullptr);
  db.file.attach(stream, path, FileMode::kRead, false, true);
  opened.printed = capture([&] {
    opened.encoding_ok = zel::detect_encoding(db.file, db.version);
    opened.toc_ok = opened.encoding_ok && zel::build_table_of_contents(db);
  });
  return opened;
}

// --- Layout of the fixed part and the empty file ---------------------------

class EmptyFile : public testing::TestWithParam<std::pair<uint32_t, int64_t>> {};

INSTANTIATE_TEST_SUITE_P(Toc, EmptyFile,
                         testing::Values(std::pair<uint32_t, int64_t>{60, 648}, std::pair<uint32_t, int64_t>{572, 648},
                                         std::pair<uint32_t, int64_t>{316, 2580},
                                         std::pair<uint32_t, int64_t>{41, 2580}));

TEST_P(EmptyFile, EveryOptionalBlockStartsWhereTheSummaryEnds) {
  const auto [version, expected_size] = GetParam();
  ScratchDir dir;
  const std::string path = dir.file("empty.zel");
  FileBuilder(path, version).write();
  EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), expected_size);

  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok) << opened.printed.err;
  EXPECT_EQ(opened.printed.err, "");
  const Database &db = *opened.db;
  EXPECT_EQ(db.version, version);
  const int64_t w = zel::is_xdr_version(version) ? 4 : 1;
  EXPECT_EQ(db.toc[0], 0);
  EXPECT_EQ(db.toc[1], 4);
  EXPECT_EQ(db.toc[2], 4 + 544 * w);
  for (int b = 3; b < zel::kBlockCount; ++b) EXPECT_EQ(db.toc[b], expected_size) << "block index " << b;
}

TEST(Toc, NodalCoordinatesStartAt648NativeAnd2580Xdr) {
  ScratchDir dir;
  for (auto [version, start, r] : {std::tuple<uint32_t, int64_t, int64_t>{60, 648, 8}, {316, 2580, 8}, {828, 2580, 4}}) {
    const std::string path = dir.file("coords.zel");
    FileBuilder file(path, version);
    file.add(4, nodal_coords(2));
    file.write();
    Opened opened = open_file(path);
    ASSERT_TRUE(opened.toc_ok) << opened.printed.err;
    EXPECT_EQ(opened.db->toc[3], start);
    EXPECT_EQ(opened.db->toc[4], start + 8 + 2 * (4 + 3 * r));
    EXPECT_EQ(ZEL_size_of_block(opened.db.get(), 3), static_cast<unsigned long long>(8 + 2 * (4 + 3 * r)));
  }
}

// --- Size rules --------------------------------------------------------------

// The offsets computed from the counts must match where a writer following
// the block layouts actually put every block.
class EveryBlock : public testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(Toc, EveryBlock, testing::Values(40u, 41u, 60u, 316u, 572u, 828u));

TEST_P(EveryBlock, OffsetsMatchWhereTheBlocksWereWritten) {
  ScratchDir dir;
  const std::string path = dir.file("full.zel");
  FileBuilder file(path, GetParam());
  add_every_block(file, true);
  const auto starts = file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok) << opened.printed.err;
  EXPECT_EQ(opened.printed.err, "");
  for (int b = 0; b < zel::kBlockCount; ++b) EXPECT_EQ(opened.db->toc[b], starts[b]) << "block id " << b + 1;
  EXPECT_EQ(opened.db->toc[31] + static_cast<int64_t>(ZEL_size_of_block(opened.db.get(), 31)), file.end());
}

TEST(Toc, VersionOneHasNoModeNumberSlotAndOnlySeventeenPositions) {
  ScratchDir dir;
  const std::string path = dir.file("v10.zel");
  FileBuilder file(path, 10);
  add_every_block(file, false);
  const auto starts = file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok) << opened.printed.err;
  // Blocks 19 to 32 are ignored: they stand where block 18 ends, as if absent.
  for (int b = 0; b <= 18; ++b) EXPECT_EQ(opened.db->toc[b], starts[b]) << "block id " << b + 1;
  for (int b = 19; b < zel::kBlockCount; ++b) EXPECT_EQ(opened.db->toc[b], starts[18]) << "block id " << b + 1;
  for (int b = 18; b < zel::kBlockCount; ++b) EXPECT_EQ(ZEL_Exists(opened.db.get(), b), 0) << b;
}

// One block alone in a file, sized from its counts.
struct SingleBlock {
  const char *what;
  uint32_t version;
  int id;
  FileBuilder::BlockWriter writer;
  unsigned long long expected_size;
};

void PrintTo(const SingleBlock &block, std::ostream *out) { *out << block.what; }

class SingleBlockSize : public testing::TestWithParam<SingleBlock> {};

INSTANTIATE_TEST_SUITE_P(
    Toc, SingleBlockSize,
    testing::Values(SingleBlock{"XDR mode shapes, M 2, N 3", 316, 8, mode_vectors(2, 3, true), 316},
                    SingleBlock{"version 1.0 mode shapes, M 2, N 3", 10, 8, mode_vectors(2, 3, false), 308},
                    SingleBlock{"version 3.0 modal stress, M 2, N 3", 30, 18, mode_vectors(2, 3, false), 308},
                    SingleBlock{"version 3.1 modal stress, M 2, N 3", 31, 18, mode_vectors(2, 3, false), 308},
                    SingleBlock{"version 3.0 mode shapes, M 2, N 3", 30, 8, mode_vectors(2, 3, true), 316},
                    SingleBlock{"version 4.0 modal strain, M 2, N 3", 40, 29, mode_vectors(2, 3, true), 316},
                    SingleBlock{"native modal loads, M 4, C 2", 60, 28, modal_loads(4, 2), 592},
                    SingleBlock{"XDR modal loads, M 4, C 2", 316, 28, modal_loads(4, 2), 2128},
                    SingleBlock{"invar9 M 3, double", 316, 26, per_mode_block(3, 9, true), 4 + 81 * 8},
                    SingleBlock{"invar9 M 3, single", 828, 26, per_mode_block(3, 9, true), 4 + 81 * 4}),
    [](const testing::TestParamInfo<SingleBlock> &info) { return "case" + std::to_string(info.index); });

TEST_P(SingleBlockSize, FollowsFromTheBlocksCounts) {
  const SingleBlock block = GetParam();
  ScratchDir dir;
  const std::string path = dir.file("single.zel");
  FileBuilder file(path, block.version);
  file.add(block.id, block.writer);
  file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok) << opened.printed.err;
  EXPECT_EQ(ZEL_size_of_block(opened.db.get(), block.id - 1), block.expected_size) << block.what;
  EXPECT_EQ(static_cast<unsigned long long>(file.end() - opened.db->toc[block.id - 1]), block.expected_size)
      << block.what;
}

TEST(Toc, FixedBlocksFollowTheCharWidthAndPrecision) {
  ScratchDir dir;
  const std::string path = dir.file("fixed.zel");
  FileBuilder file(path, 828);  // XDR, single precision
  file.add(6, reals_only(13));
  file.add(11, [](ZelFile &out) { out.write_text("", 64); });
  file.add(24, reals_only(9));
  file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok) << opened.printed.err;
  Database *db = opened.db.get();
  EXPECT_EQ(ZEL_size_of_block(db, 0), 4u);
  EXPECT_EQ(ZEL_size_of_block(db, 1), 2176u);
  EXPECT_EQ(ZEL_size_of_block(db, 2), 400u);
  EXPECT_EQ(ZEL_size_of_block(db, 5), 52u);
  EXPECT_EQ(ZEL_size_of_block(db, 10), 256u);
  EXPECT_EQ(ZEL_size_of_block(db, 23), 36u);
  EXPECT_EQ(ZEL_size_of_block(db, 4), 0u);  // absent
}

// --- Version detection -------------------------------------------------------

struct Detection {
  std::vector<unsigned char> first_bytes;
  uint32_t version;
  bool xdr;
  bool double_precision;
};

void PrintTo(const Detection &detection, std::ostream *out) { *out << "code " << detection.version; }

class VersionCode : public testing::TestWithParam<Detection> {};

INSTANTIATE_TEST_SUITE_P(
    Toc, VersionCode,
    testing::Values(Detection{{0x0A, 0x01, 0, 0}, 10, false, true},       // 266 reads as version 1.0
                    Detection{{0x14, 0xAB, 0xCD, 0xEF}, 20, false, true}, // upper bytes ignored
                    Detection{{0x32, 0, 0, 0}, 50, false, false},
                    Detection{{0x3C, 0, 0, 0}, 60, false, true},
                    Detection{{0x3C, 0x02, 0, 0}, 572, false, false},
                    Detection{{0, 0, 0, 0x1F}, 31, true, true},
                    Detection{{0, 0, 0, 0x33}, 51, true, false},
                    Detection{{0, 0, 0x01, 0x3C}, 316, true, true},       // low byte 0 natively
                    Detection{{0, 0, 0x03, 0x3C}, 828, true, false}));

TEST_P(VersionCode, SetsTheEncodingAndPrecision) {
  const Detection expected = GetParam();
  ScratchDir dir;
  const std::string path = dir.file("code.zel");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(expected.first_bytes.data()), 4);
  }
  ZelFile file;
  file.attach(std::fopen(path.c_str(), "rb"), path, FileMode::kRead, false, true);
  uint32_t version = 0;
  const auto printed = capture([&] { EXPECT_TRUE(zel::detect_encoding(file, version)); });
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(version, expected.version);
  EXPECT_EQ(file.use_xdr, expected.xdr ? 1 : 0);
  EXPECT_EQ(file.double_precision, expected.double_precision ? 1 : 0);
}

struct NotAZel {
  std::vector<unsigned char> start;
  const char *cause;  // the line before "Not a valid ZEL format."
};

void PrintTo(const NotAZel &bad, std::ostream *out) { *out << bad.cause; }

class NotAZelFile : public testing::TestWithParam<NotAZel> {};

// The unknown code is named as the file's first four bytes read in order.
INSTANTIATE_TEST_SUITE_P(
    Toc, NotAZelFile,
    testing::Values(NotAZel{{0x3C, 0x01, 0, 0}, "Unknown version code 0x3C010000: not a ZEL file."},  // native 316
                    NotAZel{{0, 0, 0, 0x2D}, "Unknown version code 0x0000002D: not a ZEL file."},  // no such version
                    NotAZel{{0, 0, 0, 0x3D}, "Unknown version code 0x0000003D: not a ZEL file."},  // 61 without XDR
                    NotAZel{{0, 0, 0, 0}, "Unknown version code 0x00000000: not a ZEL file."},
                    NotAZel{{0x89, 'P', 'N', 'G'}, "Unknown version code 0x89504E47: not a ZEL file."},  // a picture
                    NotAZel{{0x3C, 0, 0, 0x40}, "Unknown version code 0x3C000040: not a ZEL file."},
                    NotAZel{{0x40, 0, 0x01, 0x3C}, "Unknown version code 0x4000013C: not a ZEL file."},
                    NotAZel{{0x0A, 0, 0}, "The file is truncated: it holds 3 bytes, fewer than the 4 of a version code."},
                    NotAZel{{}, "The file is empty."}));

TEST_P(NotAZelFile, IsRejectedNamingTheCauseFirst) {
  ScratchDir dir;
  const std::string path = dir.file("bad.zel");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(GetParam().start.data()),
              static_cast<std::streamsize>(GetParam().start.size()));
  }
  Opened opened = open_file(path);
  EXPECT_FALSE(opened.encoding_ok);
  EXPECT_EQ(opened.printed.err, std::string("ERROR:  ") + GetParam().cause + "\nERROR:  Not a valid ZEL format.\n");
}

// --- Content summary ---------------------------------------------------------

TEST(ContentSummary, ATruncatedSummaryFailsTheOpen) {
  ScratchDir dir;
  const std::string path = dir.file("truncated.zel");
  FileBuilder(path, 316).write();
  fs::resize_file(path, 2580 - 1);
  Opened opened = open_file(path);
  EXPECT_TRUE(opened.encoding_ok);
  EXPECT_FALSE(opened.toc_ok);
  EXPECT_EQ(opened.printed.err,
            "ERROR:  The file is truncated: it ends at byte 2579, before the end of its content summary at byte "
            "2580.\nERROR:  Problem reading ZEL table of contents.\n");
}

TEST(ContentSummary, OlderVersionsIgnorePositionsFromSeventeenOn) {
  ScratchDir dir;
  for (auto [version, kept] : {std::pair<uint32_t, int>{30, 0}, {31, 0}, {40, 1}, {316, 1}}) {
    const std::string path = dir.file("summary.zel");
    FileBuilder file(path, version);
    file.flag(22, 1);  // invariant 4, content position 20, with no block behind it
    file.flag(17, 1);  // interface nodes, position 15, is honoured by every version
    file.write();
    Opened opened = open_file(path);
    ASSERT_TRUE(opened.encoding_ok);
    EXPECT_EQ(ZEL_Exists(opened.db.get(), 21), kept) << version;
    EXPECT_EQ(opened.db->exists[20], kept) << version;
    EXPECT_EQ(ZEL_Exists(opened.db.get(), 16), 1) << version;
  }
}

// --- Block access --------------------------------------------------------------

TEST(BlockAccess, ExistsAnswersForEveryIndex) {
  DatabasePtr db(ZEL_Create(0, 0));
  for (int b : {0, 1, 2}) EXPECT_EQ(ZEL_Exists(db.get(), b), 1) << b;
  for (int b = 3; b < 32; ++b) EXPECT_EQ(ZEL_Exists(db.get(), b), 0) << b;
  EXPECT_EQ(ZEL_Exists(db.get(), -1), 0);
  EXPECT_EQ(ZEL_Exists(db.get(), 32), 0);
  zel::block_flag(*db, 21) = 0xFF;  // a stored char of -1
  EXPECT_EQ(ZEL_Exists(db.get(), 21), -1);
  zel::block_flag(*db, 13) = 1;
  EXPECT_EQ(ZEL_Exists(db.get(), 13), 1);
  EXPECT_EQ(db->exists[12], 1);

  int result = 1;
  EXPECT_EQ(capture([&] { result = ZEL_Exists(nullptr, 2); }).err, "ERROR:  The database has not been initialized.\n");
  EXPECT_EQ(result, 0);
}

TEST(BlockAccess, GotoMovesToPresentBlocksOnly) {
  ScratchDir dir;
  const std::string path = dir.file("goto.zel");
  FileBuilder file(path, 316);
  file.add(4, nodal_coords(2));
  file.add(18, mode_vectors(1, 2, true));
  const auto starts = file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok);
  Database *db = opened.db.get();

  ASSERT_EQ(ZEL_goto_block(db, 17), 1);
  EXPECT_EQ(db->file.tell(), starts[17]);
  int32_t modes = 0;
  ASSERT_TRUE(db->file.read_int(modes));
  EXPECT_EQ(modes, 1);

  ASSERT_TRUE(db->file.seek(100));
  EXPECT_EQ(ZEL_goto_block(db, 8), 0);  // absent: the position stays
  EXPECT_EQ(ZEL_goto_block(db, 32), 0);
  EXPECT_EQ(db->file.tell(), 100);
  EXPECT_EQ(ZEL_goto_block(db, 1), 1);
  EXPECT_EQ(db->file.tell(), 4);

  DatabasePtr unread(ZEL_Create(0, 0));
  EXPECT_EQ(ZEL_goto_block(unread.get(), 1), 0);  // no file
  EXPECT_EQ(capture([] { EXPECT_EQ(ZEL_goto_block(nullptr, 1), 0); }).err,
            "ERROR:  The database has not been initialized.\n");
}

TEST(BlockAccess, SizingABlockLeavesThePositionAlone) {
  ScratchDir dir;
  const std::string path = dir.file("restore.zel");
  FileBuilder file(path, 60);
  file.add(7, [](ZelFile &out) {
    ints(out, {1, 7});
    reals(out, 5);
  });
  file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok);
  Database *db = opened.db.get();
  ASSERT_TRUE(db->file.seek(17));
  EXPECT_EQ(ZEL_size_of_block(db, 6), 4u + 4u + 5u * 8u);
  EXPECT_EQ(db->file.tell(), 17);
  EXPECT_EQ(ZEL_size_of_block(db, 7), 0u);  // absent
  EXPECT_EQ(capture([] { EXPECT_EQ(ZEL_size_of_block(nullptr, 6), 0u); }).err,
            "ERROR:  The database has not been initialized.\n");
}

// --- Hostile counts ------------------------------------------------------------

struct Hostile {
  int id;
  std::vector<int32_t> counts;  // what the block claims at its start
  const char *message;
  bool past_the_end = false;  // the counts make the block run past the end of the file
};

void PrintTo(const Hostile &hostile, std::ostream *out) { *out << "block " << hostile.id; }

class HostileCounts : public testing::TestWithParam<Hostile> {};

INSTANTIATE_TEST_SUITE_P(
    Toc, HostileCounts,
    testing::Values(Hostile{4, {2000000000, 3}, "Problem in nodal coords block", true},
                    Hostile{4, {-1, 3}, "Problem in nodal coords block"},
                    Hostile{4, {10, -3}, "Problem in nodal coords block"},
                    Hostile{5, {1, 2000000000}, "Problem in old style element topology block"},
                    Hostile{5, {1, 1, 1, 2000000000, 2000000000}, "Problem in old style element topology block"},
                    Hostile{5, {1, 2, 1, 1, -3}, "Problem in old style element topology block"},
                    Hostile{5, {1, 150}, "Problem in old style element topology block"},  // faces run past the end
                    Hostile{7, {-5}, "Problem in eigenvalues block"},
                    Hostile{8, {2000000000, 2000000000}, "Problem in mode shapes block", true},
                    Hostile{8, {4, -1}, "Problem in mode shapes block"},
                    Hostile{9, {100000000, 1}, "Problem in nodal mass block", true},
                    Hostile{10, {-2}, "Problem in nodal inertia block"},
                    Hostile{12, {300000000}, "Problem in generalized stiffness block", true},
                    Hostile{13, {-300000000}, "Problem in generalized mass block"},
                    Hostile{14, {8, 0, 0, 0}, "Problem in element face block"},
                    Hostile{14, {1 << 30, 0, 0, 0}, "Problem in element face block", true},
                    Hostile{15, {1000}, "Problem in generalized damping block", true},
                    Hostile{16, {65536}, "Problem in mode shape transformation block", true},
                    Hostile{17, {2147483647}, "Problem in interface node block", true},
                    Hostile{18, {3, 1000}, "Problem in modal stress block", true},
                    Hostile{21, {2147483647}, "Problem in invar 3 block", true},
                    Hostile{22, {-1}, "Problem in invar 4 block"},
                    Hostile{23, {65536}, "Problem in invar 5 block", true},
                    Hostile{25, {1000}, "Problem in invar 8 block", true},
                    Hostile{26, {2147483647}, "Problem in invar 9 block", true},
                    Hostile{27, {2147483647}, "Problem in modal preload block", true},
                    Hostile{28, {2000000000, 2000000000}, "Problem in modal load block", true},
                    Hostile{29, {-7, 2}, "Problem in modal strain block"},
                    Hostile{30, {50000000}, "Problem in modal statistics block", true},
                    Hostile{31, {1000}, "Problem in nodal pre-stress block", true},
                    Hostile{32, {-1}, "Problem in nodal pre-strain block"}),
    [](const testing::TestParamInfo<Hostile> &info) {
      return "block" + std::to_string(info.param.id) + "_case" + std::to_string(info.index);
    });

// A native file of about 3 kB whose block claims the counts: its size is a
// failure with the block's message, and the following blocks then start
// where it starts.
TEST_P(HostileCounts, GiveSizeZeroWithTheBlocksMessage) {
  const Hostile hostile = GetParam();
  ScratchDir dir;
  const std::string path = dir.file("hostile.zel");
  FileBuilder file(path, 60);
  file.add(hostile.id, [&](ZelFile &out) {
    for (int32_t count : hostile.counts) out.write_int(count);
    std::vector<int32_t> padding(600, 1);
    out.write_ints(padding.data(), padding.size());
  });
  file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok);
  // The table of contents was built through the same sizing; it needs the
  // size of every block but the last.
  const int b = hostile.id - 1;
  if (b + 1 < zel::kBlockCount) {
    const std::string ends = "ERROR:  The file ends at byte " + std::to_string(fs::file_size(path)) +
                             ", inside block " + std::to_string(hostile.id) + " (";
    const std::string cause = "the file is truncated or the block is damaged.\n";
    const std::string own = std::string("ERROR:  ") + hostile.message + "\n";
    if (hostile.past_the_end) {
      EXPECT_EQ(opened.printed.err.rfind(ends, 0), 0u) << opened.printed.err;
      EXPECT_TRUE(opened.printed.err.ends_with(cause + own)) << opened.printed.err;
      EXPECT_EQ(std::count(opened.printed.err.begin(), opened.printed.err.end(), '\n'), 2);
    } else {
      EXPECT_EQ(opened.printed.err, own);
    }
    EXPECT_EQ(opened.db->toc[b + 1], opened.db->toc[b]);
  } else {
    EXPECT_EQ(opened.printed.err, "");
  }
  unsigned long long size = 1;
  EXPECT_EQ(capture([&] { size = ZEL_size_of_block(opened.db.get(), b); }).err,
            std::string("ERROR:  ") + hostile.message + "\n");
  EXPECT_EQ(size, 0u);
}

TEST(HostileCounts, ACountCutOffByTheEndOfTheFileIsAFailure) {
  ScratchDir dir;
  const std::string path = dir.file("cut.zel");
  FileBuilder file(path, 316);
  file.add(28, raw_ints({4}));  // the case count is missing
  file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok);
  EXPECT_EQ(opened.printed.err, "ERROR:  Problem in modal load block\n");
}

// An XDR file (block 4 from byte 2580) with 2 nodes (64 bytes) and 1
// nodal mass, cut short: the first block the cut reaches is named once,
// before the size messages, whose cascade it explains.
TEST(Truncation, TheFirstBlockTheCutReachesIsNamedOnce) {
  const struct {
    std::uintmax_t length;
    std::string cause;
  } kCuts[] = {
      {2610, "The file ends at byte 2610, inside block 4 (nodal_coords), which should run from byte 2580 to byte "
             "2644: the file is truncated or the block is damaged."},
      {2580, "The file ends at byte 2580, where block 4 (nodal_coords) should start: the file is truncated."},
      {2655, "The file ends at byte 2655, inside block 9 (nodal_masses), which should run from byte 2644 to byte "
             "2664: the file is truncated or the block is damaged."},
  };
  ScratchDir dir;
  for (const auto &cut : kCuts) {
    SCOPED_TRACE(cut.length);
    const std::string path = dir.file("cut.zel");
    FileBuilder file(path, 316);
    file.add(4, [](ZelFile &out) {
      ints(out, {2, 3, 1});
      reals(out, 3);
      ints(out, {2});
      reals(out, 3);
    });
    file.add(9, [](ZelFile &out) {
      ints(out, {1, 1, 1});
      reals(out, 1);
    });
    file.write();
    ASSERT_EQ(fs::file_size(path), 2664u);
    fs::resize_file(path, cut.length);
    Opened opened = open_file(path);
    ASSERT_TRUE(opened.toc_ok);
    EXPECT_EQ(opened.printed.err.substr(0, opened.printed.err.find('\n') + 1), "ERROR:  " + cut.cause + "\n");
    EXPECT_EQ(opened.printed.err.find("The file ends", 9), std::string::npos) << opened.printed.err;
    // Asked on its own, a block's size keeps the block's message alone.
    EXPECT_EQ(capture([&] { ZEL_size_of_block(opened.db.get(), cut.length < 2644 ? 3 : 8); }).err,
              cut.length < 2644 ? "ERROR:  Problem in nodal coords block\n" : "ERROR:  Problem in nodal mass block\n");
  }
}

// Corrupting the counts of a valid file at random: every block the sizing
// accepts must lie inside the file, and the offsets must never go back.
TEST(HostileCounts, CorruptedCountsNeverGiveABlockBeyondTheFile) {
  ScratchDir dir;
  const std::string valid = dir.file("valid.zel");
  FileBuilder file(valid, 60);
  add_every_block(file, true);
  file.write();
  std::vector<char> original;
  {
    std::ifstream in(valid, std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string path = dir.file("corrupt.zel");
  std::mt19937 random(4242);
  const auto file_size = static_cast<int64_t>(original.size());
  for (int round = 0; round < 300; ++round) {
    std::vector<char> bytes = original;
    for (int flips = 0; flips < 4; ++flips) {
      const std::size_t at = 648 + random() % (original.size() - 648);
      bytes[at] = static_cast<char>(random());
    }
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    Opened opened = open_file(path);
    ASSERT_TRUE(opened.toc_ok) << round;
    Database *db = opened.db.get();
    capture([&] {
      for (int b = 1; b < zel::kBlockCount; ++b) ASSERT_GE(db->toc[b], db->toc[b - 1]) << round;
      for (int b = zel::kFirstOptionalBlock; b < zel::kBlockCount; ++b) {
        if (zel::kBlocks[b].size_rule == zel::SizeRule::kFixed) continue;
        const auto size = static_cast<int64_t>(ZEL_size_of_block(db, b));
        ASSERT_LE(size, std::max<int64_t>(file_size - db->toc[b], 0)) << "round " << round << " block " << b + 1;
      }
    });
  }
}

TEST(HostileCounts, ANonPositiveTransformationCountIsOneIntOfBlock) {
  ScratchDir dir;
  const std::string path = dir.file("transform.zel");
  FileBuilder file(path, 60);
  file.add(16, raw_ints({-4}));
  file.add(17, raw_ints({1, 0}));
  const auto starts = file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok);
  EXPECT_EQ(opened.printed.err, "");
  EXPECT_EQ(ZEL_size_of_block(opened.db.get(), 15), 4u);
  EXPECT_EQ(opened.db->toc[16], starts[16]);
}

// --- The block table itself ------------------------------------------------------

TEST(BlockTable, IdsPositionsAndMessagesAgreeWithTheFormat) {
  for (int b = 0; b < zel::kBlockCount; ++b) {
    const zel::BlockInfo &block = zel::kBlocks[static_cast<std::size_t>(b)];
    const int id = b + 1;
    EXPECT_EQ(block.id, id);
    const int expected_position = id <= 3 ? -1 : id <= 10 ? id - 4 : id <= 13 ? id - 3 : id - 2;
    EXPECT_EQ(block.content_position, expected_position) << id;
    if (id > 3) {
      EXPECT_EQ(zel::content_position(b), expected_position) << id;
    }
    EXPECT_EQ(block.size_rule == zel::SizeRule::kFixed, block.size_failure == nullptr) << id;
    EXPECT_NE(std::string(block.exists_label).find("(" + std::to_string(id) + ")"), std::string::npos) << id;
  }
  EXPECT_STREQ(zel::kBlocks[15].exists_label, "Mode_Shape_Transformation (16)");
  EXPECT_STREQ(zel::kBlocks[23].name, "invar7");
}

}  // namespace

// The face total T of the old topology block sizes nothing: the element
// table does. A T that cannot be a count leaves the block's length alone.
TEST(HostileCounts, TheOldTopologysFaceTotalDoesNotSizeTheBlock) {
  ScratchDir dir;
  const std::string path = dir.file("topology.zel");
  FileBuilder file(path, 20);
  // T, E, one element {label, F = 1, V = 3}, its face {0, 0, three IDs}.
  file.add(5, raw_ints({-7, 1, 0, 1, 3, 0, 0, 10, 20, 30}));
  file.add(6, raw_ints({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const auto starts = file.write();
  Opened opened = open_file(path);
  ASSERT_TRUE(opened.toc_ok);
  EXPECT_EQ(opened.printed.err, "");
  EXPECT_EQ(ZEL_size_of_block(opened.db.get(), 4), 40u);
  EXPECT_EQ(opened.db->toc[5], starts[5]);
}
