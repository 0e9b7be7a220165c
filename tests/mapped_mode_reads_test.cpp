// Mode values of a body read from a file: every mode of a body large enough
// to cross the readers' runs and blocks, in every encoding, read where it
// lies in the file's mapping and through a stream, against the file's bytes
// decoded here one value at a time; what ZEL_Mode keeps of a mapped mode
// between calls; a file cut short while it is open; the mapping's bounds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "body/database.h"
#include "capture.h"
#include "io/file_mapping.h"
#include "scoped_env.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

using zel_test::capture;

namespace {

static_assert(std::endian::native == std::endian::little, "the native files below are little-endian");

// Past a 4,096-position block and not a whole number of 256-record runs.
constexpr int kNodes = 4700;
constexpr int kModes = 3;
constexpr int kStressNodes = 300;

// Signed, distinct per set, mode, position and component, and exact in
// single precision (under 2^24 eighths).
double value_at(int set, int mode, int position, int component) {
  const double magnitude = (((mode + 1) * 40000.0 + 6 * position + component + 1) * 8 + set) / 8;
  return (mode + position + component) % 2 == 0 ? magnitude : -magnitude;
}

zel_test::ModalValues modal_values(int set, const std::vector<int32_t> &ids) {
  zel_test::ModalValues modal;
  modal.set = set;
  modal.mode_count = kModes;
  modal.node_ids = ids;
  for (int m = 0; m < kModes; ++m) modal.mode_numbers.push_back(m + 1);
  modal.value = [set](int mode, int position, int component) { return value_at(set, mode, position, component); };
  return modal;
}

zel_test::ZelBody large_body(uint32_t version) {
  zel_test::ZelBody body;
  body.version = version;
  body.invariants = false;
  std::vector<int32_t> ids;
  for (int p = 0; p < kNodes; ++p) {
    body.nodes.push_back({p + 1, 0.5 * p, 0.0, 0.0, 1.0, std::nullopt});
    ids.push_back(p + 1);
  }
  body.mode_shapes = modal_values(zel::kModeShapeSet, ids);
  body.eigen = std::vector<double>();
  for (int m = 0; m < kModes; ++m) {
    const double omega = 10.0 * (m + 1);  // unit generalized masses
    body.eigen->insert(body.eigen->end(), {m + 1.0, omega * omega, omega / 6.283185307179586, omega, 1.0, omega * omega});
  }
  // The stress set lists every fifteenth node, last to first.
  std::vector<int32_t> stress_ids;
  for (int p = kStressNodes - 1; p >= 0; --p) stress_ids.push_back(15 * p + 1);
  body.stress = modal_values(zel::kStressSet, stress_ids);
  return body;
}

struct Encoding {
  const char *name;
  uint32_t version;
  bool xdr;
  bool single;
};

const Encoding kEncodings[] = {
    {"NativeDouble", 60, false, false},
    {"NativeSingle", 572, false, true},
    {"XdrDouble", 316, true, false},
    {"XdrSingle", 828, true, true},
};

std::vector<unsigned char> bytes_of(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One value of the file at `offset`, assembled byte by byte.
double straight_decode(const std::vector<unsigned char> &file, std::size_t offset, const Encoding &encoding) {
  const std::size_t width = encoding.single ? 4 : 8;
  uint64_t word = 0;
  for (std::size_t b = 0; b < width; ++b) {
    const uint64_t byte = file.at(offset + b);
    word |= encoding.xdr ? byte << (8 * (width - 1 - b)) : byte << (8 * b);
  }
  return encoding.single ? std::bit_cast<float>(static_cast<uint32_t>(word)) : std::bit_cast<double>(word);
}

// A mode of a set as the file holds it: six values per position.
std::vector<double> straight_mode(const std::vector<unsigned char> &file, const Database &db, int set, int index,
                                  const Encoding &encoding) {
  const auto start = static_cast<std::size_t>(db.temp_slot_offset[set].at(static_cast<std::size_t>(index)));
  const std::size_t width = encoding.single ? 4 : 8;
  std::vector<double> values(6 * static_cast<std::size_t>(db.set_count(set)));
  for (std::size_t v = 0; v < values.size(); ++v) values[v] = straight_decode(file, start + v * width, encoding);
  return values;
}

std::vector<double> half_of(const std::vector<double> &six, int component) {
  std::vector<double> three;
  for (std::size_t p = 0; p < six.size() / 6; ++p)
    for (std::size_t c = 0; c < 3; ++c) three.push_back(six[6 * p + 3 * static_cast<std::size_t>(component) + c]);
  return three;
}

std::vector<double> mode_half(Database *db, int number, int set, int component) {
  std::vector<double> values(3 * static_cast<std::size_t>(ZEL_ModeNodeCount(db, set)), -1.0);
  EXPECT_EQ(ZEL_Mode(db, number, set, values.data(), component), 1) << "mode " << number << " set " << set;
  return values;
}

std::vector<double> whole_mode(Database *db, int number, int set, bool single) {
  const std::size_t n = 6 * static_cast<std::size_t>(ZEL_ModeNodeCount(db, set));
  if (!single) {
    std::vector<double> values(n, -1.0);
    EXPECT_EQ(ZEL_Read_Mode_Double(db, number, set, values.data()), 1);
    return values;
  }
  std::vector<float> floats(n, -1.0f);
  EXPECT_EQ(ZEL_Read_Mode_Single(db, number, set, floats.data()), 1);
  return {floats.begin(), floats.end()};
}

// The three values of the node at `position` of a set, by its ID.
std::vector<double> node_half(Database *db, int number, int set, int position, int component) {
  double values[3] = {-1, -1, -1};
  EXPECT_EQ(ZEL_ModeByNode(db, number, set, ZEL_ModeNodeID(db, set, position), values, component), 1);
  return {values, values + 3};
}

enum class Access { kMapped, kStream };

class EveryModeOfEveryEncoding : public ::testing::TestWithParam<std::tuple<Encoding, Access>> {
 protected:
  void SetUp() override {
    const std::string path = dir.file("large.zel");
    ASSERT_TRUE(zel_test::write_zel_file(large_body(encoding().version), path));
    file = bytes_of(path);
    if (std::get<1>(GetParam()) == Access::kMapped) {
      db = ZEL_CreateFromZEL(path.c_str());
      ASSERT_NE(db, nullptr);
      ASSERT_NE(db->file.mapped_bytes(0, file.size()), nullptr);
    } else {
      db = ZEL_Create(0, 0);
      ASSERT_EQ(ZEL_ReadZEL(db, fmemopen(file.data(), file.size(), "rb"), "large.zel"), 1);
      ASSERT_EQ(db->file.mapped_bytes(0, 1), nullptr);
    }
  }
  void TearDown() override { ZEL_Terminate(); }

  const Encoding &encoding() const { return std::get<0>(GetParam()); }

  zel_test::ScratchDir dir;
  std::vector<unsigned char> file;
  Database *db = nullptr;
};

TEST_P(EveryModeOfEveryEncoding, EveryQueryGivesTheFilesValues) {
  // The decoding here is checked once against the values written.
  ASSERT_EQ(straight_mode(file, *db, zel::kModeShapeSet, 1, encoding())[6 * 4099 + 4], value_at(0, 1, 4099, 4));
  ASSERT_EQ(straight_mode(file, *db, zel::kStressSet, 2, encoding())[6 * 299 + 5], value_at(1, 2, 299, 5));

  for (int set : {zel::kModeShapeSet, zel::kStressSet}) {
    for (int index = 0; index < kModes; ++index) {
      SCOPED_TRACE(::testing::Message() << "set " << set << " mode index " << index);
      const int number = index + 1;
      const std::vector<double> expected = straight_mode(file, *db, set, index, encoding());
      // The halves in both orders: translations first for even indices.
      const int first = index % 2;
      EXPECT_EQ(mode_half(db, number, set, first), half_of(expected, first));
      EXPECT_EQ(mode_half(db, number, set, 1 - first), half_of(expected, 1 - first));
      EXPECT_EQ(whole_mode(db, number, set, encoding().single), expected);
      const int last = db->set_count(set) - 1;
      for (int position : {0, 255, 256, last - 1, last}) {
        const std::vector<double> six(expected.begin() + 6 * position, expected.begin() + 6 * position + 6);
        EXPECT_EQ(node_half(db, number, set, position, 1), half_of(six, 1)) << "position " << position;
      }
      // After a whole-mode query both halves come from the whole mode.
      EXPECT_EQ(mode_half(db, number, set, first), half_of(expected, first));
      EXPECT_EQ(mode_half(db, number, set, 1 - first), half_of(expected, 1 - first));
    }
  }
}

TEST_P(EveryModeOfEveryEncoding, HalvesInTheCurrentUnits) {
  db->unit_factor[zel::kLengthFactor] = 0.25;  // stresses by 1 / 0.25^2 = 16
  for (int set : {zel::kModeShapeSet, zel::kStressSet}) {
    const std::vector<double> expected = straight_mode(file, *db, set, 1, encoding());
    const std::vector<double> stored_translations = half_of(expected, 0);
    const std::vector<double> stored_rotations = half_of(expected, 1);
    const double translation_factor = set == zel::kModeShapeSet ? 0.25 : 16.0;
    const double rotation_factor = set == zel::kModeShapeSet ? 1.0 : 16.0;
    const std::vector<double> rotations = mode_half(db, 2, set, 1);
    const std::vector<double> translations = mode_half(db, 2, set, 0);
    for (std::size_t i = 0; i < translations.size(); ++i) {
      ASSERT_EQ(translations[i], stored_translations[i] * translation_factor) << "set " << set << " value " << i;
      ASSERT_EQ(rotations[i], stored_rotations[i] * rotation_factor) << "set " << set << " value " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, EveryModeOfEveryEncoding,
                         ::testing::Combine(::testing::ValuesIn(kEncodings),
                                            ::testing::Values(Access::kMapped, Access::kStream)),
                         [](const auto &info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Access::kMapped ? "Mapped" : "Stream");
                         });

// ------------------------------------------- what a mapped mode keeps

// The sample body's file, opened where it lies; tests rewrite a mode's
// bytes behind the library's back to see which query reads the file again.
class KeptHalves : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zel_test::write_zel_file(large_body(316), path));
    db = ZEL_CreateFromZEL(path.c_str());
    ASSERT_NE(db, nullptr);
  }
  void TearDown() override { ZEL_Terminate(); }

  // Mode index `index` of the shapes now holds mode index `source`'s bytes.
  void overwrite_mode(int index, int source) {
    const std::vector<unsigned char> bytes = bytes_of(path);
    const auto offset = [&](int i) { return static_cast<std::size_t>(db->temp_slot_offset[0][i]); };
    const std::size_t length = 6 * 8 * static_cast<std::size_t>(kNodes);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data() + offset(source), length, static_cast<off_t>(offset(index))),
              static_cast<ssize_t>(length));
    ::close(fd);
  }

  std::vector<double> written(int index, int component) const {
    std::vector<double> values;
    for (int p = 0; p < kNodes; ++p)
      for (int c = 0; c < 3; ++c) values.push_back(value_at(0, index, p, 3 * component + c));
    return values;
  }

  zel_test::ScratchDir dir;
  std::string path = dir.file("kept.zel");
  Database *db = nullptr;
};

TEST_F(KeptHalves, TheOtherHalfAnswersTheNextCallAndAWholeModeQueryReadsAgain) {
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(0, 0));
  overwrite_mode(0, 2);
  EXPECT_EQ(mode_half(db, 1, 0, 1), written(0, 1));  // kept from the first call
  const std::vector<double> rewritten = written(2, 0);
  EXPECT_EQ(node_half(db, 1, 0, 7, 0), std::vector<double>(rewritten.begin() + 21, rewritten.begin() + 24));
  // Now the whole rewritten mode is cached: both halves come from it.
  EXPECT_EQ(mode_half(db, 1, 0, 1), written(2, 1));
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(2, 0));
}

TEST_F(KeptHalves, TheSameHalfAgainSplitsTheModeAnew) {
  EXPECT_EQ(mode_half(db, 1, 0, 1), written(0, 1));
  overwrite_mode(0, 1);
  EXPECT_EQ(mode_half(db, 1, 0, 1), written(1, 1));
  // The half kept now belongs to the same reading as the one handed out.
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(1, 0));
}

TEST_F(KeptHalves, ANewModeReplacesTheKeptHalf) {
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(0, 0));
  EXPECT_EQ(mode_half(db, 2, 0, 0), written(1, 0));
  EXPECT_EQ(mode_half(db, 2, 0, 1), written(1, 1));
  EXPECT_EQ(mode_half(db, 1, 0, 1), written(0, 1));
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(0, 0));
}

TEST_F(KeptHalves, AFileCutShortWhileOpenReadsAsAShortRead) {
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(0, 0));
  // The file now ends inside mode 2: its pages past the end must not be touched.
  ASSERT_EQ(::truncate(path.c_str(), db->temp_slot_offset[0][1] + 4096 * 48 + 8), 0);
  std::vector<double> values(6 * static_cast<std::size_t>(kNodes));
  for (int component : {0, 1}) {
    const auto printed = capture([&] { EXPECT_EQ(ZEL_Mode(db, 2, 0, values.data(), component), 0); });
    EXPECT_EQ(printed.err, "ERROR:  Problem reading mode shape 2\n") << "component " << component;
  }
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Read_Mode_Double(db, 2, 0, values.data()), 0);
    EXPECT_EQ(ZEL_ModeByNode(db, 2, 0, 1, values.data(), 0), 0);
  });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading mode shape 2\nERROR:  Problem reading mode shape 2\n");
  // What still lies in the file reads as before.
  EXPECT_EQ(mode_half(db, 1, 0, 1), written(0, 1));
}

// The writer replaces a file whole under its name, never in place, so a
// body reading the old file where it lies reads on undisturbed.
TEST_F(KeptHalves, ABodyReadsOnFromItsFileAfterAnotherIsWrittenInItsPlace) {
  EXPECT_EQ(mode_half(db, 1, 0, 0), written(0, 0));
  const std::string other_path = dir.file("other.zel");
  ASSERT_TRUE(zel_test::write_zel_file(large_body(316), other_path));
  Database *other = ZEL_CreateFromZEL(other_path.c_str());
  ASSERT_NE(other, nullptr);
  zel_test::ScopedEnv native("KOR_ZELWRITE_OPTIONS", "no_xdr");
  int result = 0;
  const auto printed = capture([&] { result = ZEL_write_ZEL(other, path.c_str()); });
  ASSERT_EQ(result, 1) << printed.err;
  for (int index = 0; index < kModes; ++index) {
    EXPECT_EQ(mode_half(db, index + 1, 0, 1), written(index, 1)) << index;
    EXPECT_EQ(mode_half(db, index + 1, 0, 0), written(index, 0)) << index;
  }
}

// ------------------------------------------------------ the mapping

TEST(FileMapping, ViewsLieWithinTheMappingAndTheFileAsItIsNow) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("bytes");
  std::ofstream(path, std::ios::binary) << std::string(10000, 'x');
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  zel::FileMapping mapping;
  mapping.map(fd, 8000);  // the first 8,000 bytes only
  ASSERT_TRUE(mapping.is_mapped());
  struct View {
    int64_t offset;
    std::size_t n;
    bool inside;
  };
  const auto check = [&](std::initializer_list<View> views) {
    for (const View &view : views)
      EXPECT_EQ(mapping.bytes(view.offset, view.n) != nullptr, view.inside) << view.offset << " + " << view.n;
  };
  check({{0, 8000, true}, {7999, 1, true}, {8000, 0, true}, {7999, 2, false}, {8001, 0, false},
         {-1, 1, false}, {0, SIZE_MAX, false}, {INT64_MAX, 1, false}});
  EXPECT_EQ(mapping.bytes(100, 1), mapping.bytes(0, 1) + 100);
  ASSERT_EQ(::truncate(path.c_str(), 5000), 0);
  check({{0, 5000, true}, {4999, 2, false}, {6000, 1, false}});
  mapping.release();
  check({{0, 1, false}});
  ::close(fd);
}

TEST(FileMapping, OnlyRegularFilesLongEnoughAreMapped) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("short");
  std::ofstream(path, std::ios::binary) << "12345";
  const int fd = ::open(path.c_str(), O_RDONLY);
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  zel::FileMapping mapping;
  for (const auto &[descriptor, size] : {std::pair{fd, int64_t{6}}, {fd, int64_t{0}}, {pipe_ends[0], int64_t{5}},
                                          {-1, int64_t{5}}}) {
    mapping.map(descriptor, size);
    EXPECT_FALSE(mapping.is_mapped()) << descriptor << " " << size;
  }
  mapping.map(fd, 5);
  EXPECT_TRUE(mapping.is_mapped());
  ::close(fd);
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
}

}  // namespace
