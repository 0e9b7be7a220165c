// Mode queries: the one-mode cache over a built body's temporary stores and
// over a ZEL file, unit conversion, pre-stress and pre-strain, the
// uncached single and double reads, the set node lists, and eigenvalues.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/mode_list.h"
#include "capture.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "scratch_dir.h"
#include "zel.h"
#include "zel_file_builder.h"

using zel_test::capture;

namespace {

// The body every test starts from is the test-data builder's sample: nodes
// 10, 20, 30, 40; modes numbered 1, 2, 3; the stress set holds nodes 30
// then 10, the strain set node 20; values mode_value(set, mode index,
// position, component).
const zel_test::ZelBody &sample() {
  static const zel_test::ZelBody body = zel_test::sample_body(316);
  return body;
}

const zel_test::ModalValues &modal(int set) {
  return set == zel::kModeShapeSet ? *sample().mode_shapes : set == zel::kStressSet ? *sample().stress
                                                                                     : *sample().strain;
}

const std::vector<int32_t> &set_nodes(int set) { return modal(set).node_ids; }
std::size_t set_size(int set) { return set_nodes(set).size(); }

constexpr int kModeNumbers[] = {1, 2, 3};

double stored_value(int set, int mode_index, int position, int component) {
  return zel_test::mode_value(set, mode_index, position, component);
}

std::vector<double> stored_mode(int set, int mode_index) {
  std::vector<double> values;
  for (std::size_t p = 0; p < set_size(set); ++p)
    for (int c = 0; c < 6; ++c) values.push_back(stored_value(set, mode_index, static_cast<int>(p), c));
  return values;
}

// Pre-stress (set 1) and pre-strain (set 2) rows, six per set position.
const std::vector<double> &stored_pre_values(int set) {
  return set == zel::kStressSet ? *sample().pre_stress : *sample().pre_strain;
}

// The three values of one component of every position, as ZEL_Mode lays
// them out, from six values per position.
std::vector<double> component_of(const std::vector<double> &six, int component) {
  std::vector<double> three;
  for (std::size_t p = 0; p < six.size() / 6; ++p)
    for (int c = 0; c < 3; ++c) three.push_back(six[6 * p + 3 * static_cast<std::size_t>(component) + c]);
  return three;
}

std::vector<double> mode_of(Database *db, int number, int set, int component) {
  std::vector<double> values(3 * static_cast<std::size_t>(ZEL_ModeNodeCount(db, set)), -1.0);
  if (ZEL_Mode(db, number, set, values.data(), component) != 1) return {};
  return values;
}

// ----------------------------------------------------------- built bodies

// The sample's nodes, modes, stresses, strains and pre-values through the
// builder, with room for one mode more.
Database *built_body() {
  Database *db = ZEL_Create(4, 4);
  for (const zel_test::BodyNode &node : sample().nodes)
    EXPECT_EQ(ZEL_SetNodeCoordinates(db, node.id, node.x, node.y, node.z), 1);
  for (int set = 0; set < zel::kValueSetCount; ++set)
    for (int m = 0; m < 3; ++m) {
      std::vector<double> values = stored_mode(set, m);
      for (std::size_t p = 0; p < set_size(set); ++p)
        EXPECT_EQ(ZEL_SetModeVec(db, kModeNumbers[m], set_nodes(set)[p], set, values.data() + 6 * p), 1);
    }
  for (int set = 1; set < zel::kValueSetCount; ++set) {
    std::vector<double> rows = stored_pre_values(set);
    for (std::size_t p = 0; p < set_size(set); ++p)
      EXPECT_EQ(ZEL_SetModeVec(db, 0, set_nodes(set)[p], set, rows.data() + 6 * p), 1);
  }
  return db;
}

// ------------------------------------------------------ file-backed bodies

// A read-only stream over a file that counts the bytes read through it,
// unbuffered so that every read of the library reaches the count.
struct CountingFile {
  int fd = -1;
  off64_t position = 0;
  int64_t bytes_read = 0;

  std::FILE *open(const std::string &path) {
    fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    cookie_io_functions_t io{};
    io.read = [](void *cookie, char *buffer, std::size_t size) -> ssize_t {
      auto *self = static_cast<CountingFile *>(cookie);
      const ssize_t got = ::pread(self->fd, buffer, size, self->position);
      if (got > 0) {
        self->position += got;
        self->bytes_read += got;
      }
      return got;
    };
    io.seek = [](void *cookie, off64_t *offset, int whence) -> int {
      auto *self = static_cast<CountingFile *>(cookie);
      struct stat status {};
      if (::fstat(self->fd, &status) != 0) return -1;
      const off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? self->position : status.st_size;
      self->position = base + *offset;
      *offset = self->position;
      return 0;
    };
    io.close = [](void *cookie) -> int { return ::close(static_cast<CountingFile *>(cookie)->fd); };
    std::FILE *stream = fopencookie(this, "rb", io);
    if (stream != nullptr) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
  }
};

// The sample written as a ZEL file of one version code and read back by
// ZEL_CreateFromZEL; the body's stream is then swapped for a counting one
// over the same file, so tests can see what each query reads.
class BodyFile {
 public:
  BodyFile(const zel_test::ScratchDir &dir, uint32_t version)
      : path_(dir.file("body.zel")), version_(version) {
    EXPECT_TRUE(zel_test::write_zel_file(zel_test::sample_body(version), path_));
  }

  Database *open(CountingFile &counter) const {
    Database *db = ZEL_CreateFromZEL(path_.c_str());
    EXPECT_NE(db, nullptr);
    if (db != nullptr) count_reads(db, counter);
    return db;
  }

  // Re-binds the body to the file (after the file changed) through `counter`.
  void count_reads(Database *db, CountingFile &counter) const {
    db->file.close();  // before the counter takes the new descriptor
    db->file.attach(counter.open(path_), path_, zel::FileMode::kRead, zel::is_xdr_version(version_),
                    !zel::is_single_precision_version(version_));
  }

  const std::string &path() const { return path_; }
  int64_t mode_bytes(int set) const {
    return 6 * static_cast<int64_t>(set_size(set)) * (zel::is_single_precision_version(version_) ? 4 : 8);
  }

 private:
  std::string path_;
  uint32_t version_;
};

// ------------------------------------------------- behaviour of both kinds

struct BodyKind {
  const char *name;
  uint32_t version;     // of the file; 0 for a built body
  bool mapped = false;  // the file read where it lies in memory, not through a counting stream
};

class ModeQueries : public ::testing::TestWithParam<BodyKind> {
 protected:
  void SetUp() override {
    if (GetParam().mapped) {
      file = std::make_unique<BodyFile>(dir, GetParam().version);
      db = ZEL_CreateFromZEL(file->path().c_str());
      ASSERT_NE(db, nullptr);
      ASSERT_NE(db->file.mapped_bytes(0, 1), nullptr);
    } else if (GetParam().version != 0) {
      file = std::make_unique<BodyFile>(dir, GetParam().version);
      db = file->open(counter);
    } else {
      capture([&] { db = built_body(); });
    }
    ASSERT_NE(db, nullptr);
  }
  void TearDown() override { ZEL_Terminate(); }

  zel_test::ScratchDir dir;
  std::unique_ptr<BodyFile> file;
  CountingFile counter;
  Database *db = nullptr;
};

TEST_P(ModeQueries, ModesOfEverySetInSetOrder) {
  for (int set = 0; set < zel::kValueSetCount; ++set)
    for (int m = 0; m < 3; ++m)
      for (int component = 0; component < 2; ++component)
        EXPECT_EQ(mode_of(db, kModeNumbers[m], set, component), component_of(stored_mode(set, m), component))
            << "set " << set << " mode " << kModeNumbers[m] << " component " << component;
}

TEST_P(ModeQueries, ModeByNodeFindsTheNodesSetPosition) {
  double values[3];
  // Node 10 is position 1 of the stress set, position 0 of the shapes.
  ASSERT_EQ(ZEL_ModeByNode(db, 2, 1, 10, values, 1), 1);
  EXPECT_EQ(std::vector<double>(values, values + 3),
            (std::vector<double>{stored_value(1, 1, 1, 3), stored_value(1, 1, 1, 4), stored_value(1, 1, 1, 5)}));
  ASSERT_EQ(ZEL_ModeByNode(db, 1, 0, 10, values, 0), 1);
  EXPECT_EQ(values[2], stored_value(0, 0, 0, 2));
}

TEST_P(ModeQueries, BadRequestsFailWithoutMessage) {
  std::vector<double> values(12, 5.0);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 8, 0, values.data(), 0), 0);  // no mode 8
    EXPECT_EQ(ZEL_Mode(db, 1, 3, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Mode(db, 1, 0, values.data(), -1), 0);
    EXPECT_EQ(ZEL_Mode(db, 1, 0, nullptr, 0), 0);
    EXPECT_EQ(ZEL_Mode(nullptr, 1, 0, values.data(), 0), 0);
    // Mode number 0 is an ordinary (absent) mode of the shapes.
    EXPECT_EQ(ZEL_Mode(db, 0, 0, values.data(), 0), 0);
    // ModeByNode zeroes its output whatever fails.
    EXPECT_EQ(ZEL_ModeByNode(db, 1, 2, 10, values.data(), 0), 0);  // node 10 carries no strain
    EXPECT_EQ(std::vector<double>(values.begin(), values.begin() + 3), std::vector<double>(3, 0.0));
    values[0] = 5;
    EXPECT_EQ(ZEL_ModeByNode(db, 8, 0, 10, values.data(), 0), 0);
    EXPECT_EQ(values[0], 0.0);
    values[0] = 5;
    EXPECT_EQ(ZEL_ModeByNode(db, 1, 0, 10, values.data(), 2), 0);
    EXPECT_EQ(values[0], 0.0);
  });
  EXPECT_EQ(printed.err, "");
}

TEST_P(ModeQueries, ModeZeroOfStressAndStrainIsThePreValues) {
  for (int set = 1; set < zel::kValueSetCount; ++set)
    for (int component = 0; component < 2; ++component)
      EXPECT_EQ(mode_of(db, 0, set, component), component_of(stored_pre_values(set), component));
  // Asked in between modes, the pre-values do not stand in for a mode.
  EXPECT_EQ(mode_of(db, 2, 1, 0), component_of(stored_mode(1, 1), 0));
  EXPECT_EQ(mode_of(db, 0, 1, 0), component_of(stored_pre_values(1), 0));
}

TEST_P(ModeQueries, MillimetreBodyReadInMetres) {
  db->unit_factor[zel::kLengthFactor] = 0.001;
  for (int m = 0; m < 3; ++m) {
    const std::vector<double> translations = mode_of(db, kModeNumbers[m], 0, 0);
    const std::vector<double> expected = component_of(stored_mode(0, m), 0);
    ASSERT_EQ(translations.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(translations[i], expected[i] * 0.001);
    EXPECT_EQ(mode_of(db, kModeNumbers[m], 0, 1), component_of(stored_mode(0, m), 1));
  }
  // Strains carry no unit.
  EXPECT_EQ(mode_of(db, 1, 2, 0), component_of(stored_mode(2, 0), 0));
}

TEST_P(ModeQueries, StressesScaleByForceOverLengthSquared) {
  db->unit_factor[zel::kLengthFactor] = 0.001;
  for (int component = 0; component < 2; ++component) {
    const std::vector<double> stress = mode_of(db, 2, 1, component);
    const std::vector<double> pre = mode_of(db, 0, 1, component);
    const std::vector<double> expected = component_of(stored_mode(1, 1), component);
    const std::vector<double> expected_pre = component_of(stored_pre_values(1), component);
    ASSERT_EQ(stress.size(), expected.size());
    ASSERT_EQ(pre.size(), expected_pre.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(stress[i], expected[i] * 1e6);
    for (std::size_t i = 0; i < expected_pre.size(); ++i) EXPECT_DOUBLE_EQ(pre[i], expected_pre[i] * 1e6);
  }
}

TEST_P(ModeQueries, UnitChangeEmptiesTheCache) {
  // The sample's processed load case could only be rescaled knowing the
  // rigid-body mode count; it is no part of this test.
  db->load_cases.clear();
  ASSERT_EQ(ZEL_SetUnits(db, "tonne", "mm", "s", "N"), 1);
  const std::vector<double> in_millimetres = mode_of(db, 1, 0, 0);
  ASSERT_EQ(in_millimetres, component_of(stored_mode(0, 0), 0));
  ASSERT_EQ(ZEL_SetUnits(db, "tonne", "m", "s", "N"), 1);
  const std::vector<double> in_metres = mode_of(db, 1, 0, 0);
  ASSERT_EQ(in_metres.size(), in_millimetres.size());
  for (std::size_t i = 0; i < in_metres.size(); ++i) EXPECT_DOUBLE_EQ(in_metres[i], in_millimetres[i] / 1000);
}

TEST_P(ModeQueries, UncachedReadsInTheStoresPrecisionOnly) {
  const bool double_store = !zel::is_single_precision_version(GetParam().version);
  EXPECT_EQ(ZEL_Double_Prec(db), double_store ? 1 : 0);
  std::vector<double> doubles(6 * set_size(0), -1.0);
  std::vector<float> floats(6 * set_size(0), -1.0f);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Read_Mode_Double(db, 2, 0, doubles.data()), double_store ? 1 : 0);
    EXPECT_EQ(ZEL_Read_Mode_Single(db, 2, 0, floats.data()), double_store ? 0 : 1);
  });
  EXPECT_EQ(printed.err, "");
  const std::vector<double> expected = stored_mode(0, 1);
  if (double_store) {
    EXPECT_EQ(doubles, expected);
  } else {
    EXPECT_EQ(std::vector<double>(floats.begin(), floats.end()), expected);
  }
}

TEST_P(ModeQueries, UncachedReadsOfPreValuesInEitherPrecision) {
  db->unit_factor[zel::kLengthFactor] = 0.1;  // stress factor 100
  std::vector<double> doubles(6 * set_size(1));
  std::vector<float> floats(6 * set_size(1));
  ASSERT_EQ(ZEL_Read_Mode_Double(db, 0, 1, doubles.data()), 1);
  ASSERT_EQ(ZEL_Read_Mode_Single(db, 0, 1, floats.data()), 1);
  const std::vector<double> &rows = stored_pre_values(1);
  const double factor = 1.0 / (0.1 * 0.1);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(doubles[i], rows[i] * factor);
    EXPECT_EQ(floats[i], static_cast<float>(rows[i]) * static_cast<float>(factor));
  }
  std::vector<double> strain(6 * set_size(2));
  ASSERT_EQ(ZEL_Read_Mode_Double(db, 0, 2, strain.data()), 1);
  EXPECT_EQ(strain, stored_pre_values(2));
}

TEST_P(ModeQueries, SetNodeLists) {
  EXPECT_EQ(ZEL_ModeNodeCount(db, 0), 4);
  EXPECT_EQ(ZEL_ModeNodeCount(db, 1), 2);
  EXPECT_EQ(ZEL_ModeNodeCount(db, 2), 1);
  EXPECT_EQ(ZEL_ModeNodeCount(db, 3), 0);
  EXPECT_EQ(ZEL_ModeNodeID(db, 1, 0), 30);
  EXPECT_EQ(ZEL_ModeNodeID(db, 1, 1), 10);
  EXPECT_EQ(ZEL_ModeNodeID(db, 0, 2), 30);
  EXPECT_EQ(ZEL_ModeNodeID(db, 2, 1), 0);
  EXPECT_EQ(ZEL_ModeNodeID(db, 1, -1), 0);
  EXPECT_EQ(ZEL_ModeNodeID(db, -1, 0), 0);
  for (int set = 0; set < zel::kValueSetCount; ++set) EXPECT_EQ(ZEL_ModeExist(db, set), 1);
  EXPECT_EQ(ZEL_ModeExist(db, 3), 0);
}

const BodyKind kBodyKinds[] = {
    {"Built", 0},
    {"NativeDoubleFile", 60},
    {"NativeSingleFile", 572},
    {"XdrDoubleFile", 316},
    {"XdrSingleFile", 828},
    {"NativeDoubleMapped", 60, true},
    {"NativeSingleMapped", 572, true},
    {"XdrDoubleMapped", 316, true},
    {"XdrSingleMapped", 828, true},
};

INSTANTIATE_TEST_SUITE_P(Bodies, ModeQueries, ::testing::ValuesIn(kBodyKinds),
                         [](const ::testing::TestParamInfo<BodyKind> &info) { return info.param.name; });

// ------------------------------------------------------------ file reads

class FileModeReads : public ::testing::Test {
 protected:
  void SetUp() override {
    file = std::make_unique<BodyFile>(dir, 316);
    db = file->open(counter);
    ASSERT_NE(db, nullptr);
  }
  void TearDown() override { ZEL_Terminate(); }

  // Bytes read from the file while `body` runs.
  int64_t bytes_read_by(const std::function<void()> &body) {
    const int64_t before = counter.bytes_read;
    body();
    return counter.bytes_read - before;
  }

  // Cuts the file right after the first value of a mode, so that mode's
  // read comes up short.
  void cut_inside(int set, int mode_index) {
    const int64_t offset = db->temp_slot_offset[set][static_cast<std::size_t>(mode_index)];
    ASSERT_EQ(::truncate(file->path().c_str(), offset + 8), 0);
    file->count_reads(db, counter);
  }

  zel_test::ScratchDir dir;
  std::unique_ptr<BodyFile> file;
  CountingFile counter;
  Database *db = nullptr;
};

TEST_F(FileModeReads, TheSameModeTwiceReadsTheFileOnce) {
  const int64_t one_mode = file->mode_bytes(0);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 1, 0, 0); }), one_mode);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 1, 0, 1); }), 0);
  double values[3];
  EXPECT_EQ(bytes_read_by([&] { ZEL_ModeByNode(db, 1, 0, 20, values, 0); }), 0);
}

TEST_F(FileModeReads, ModesABAReadThreeTimes) {
  const int64_t one_mode = file->mode_bytes(0);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 1, 0, 0); }), one_mode);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 3, 0, 0); }), one_mode);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 1, 0, 0); }), one_mode);
}

TEST_F(FileModeReads, EachSetKeepsItsOwnMode) {
  mode_of(db, 1, 0, 0);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 1, 1, 0); }), file->mode_bytes(1));
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 2, 2, 0); }), file->mode_bytes(2));
  EXPECT_EQ(bytes_read_by([&] {
              mode_of(db, 1, 0, 0);
              mode_of(db, 1, 1, 1);
              mode_of(db, 2, 2, 1);
            }),
            0);
}

TEST_F(FileModeReads, PreValuesComeFromMemory) {
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 0, 1, 0); }), 0);
  // and do not hide the mode whose index follows the last one.
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 3, 1, 0); }), file->mode_bytes(1));
}

TEST_F(FileModeReads, UncachedReadsReadEveryTime) {
  std::vector<double> values(6 * set_size(0));
  mode_of(db, 1, 0, 0);
  EXPECT_EQ(bytes_read_by([&] { ZEL_Read_Mode_Double(db, 1, 0, values.data()); }), file->mode_bytes(0));
  EXPECT_EQ(bytes_read_by([&] { ZEL_Read_Mode_Double(db, 1, 0, values.data()); }), file->mode_bytes(0));
  // and leave the cached mode where it was.
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 1, 0, 0); }), 0);
}

TEST_F(FileModeReads, ShortReadsReportTheModeAndLeaveNothingCached) {
  cut_inside(0, 1);
  std::vector<double> values(6 * set_size(0));
  EXPECT_EQ(mode_of(db, 1, 0, 0), component_of(stored_mode(0, 0), 0));
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto printed = capture([&] { EXPECT_EQ(ZEL_Mode(db, 2, 0, values.data(), 0), 0); });
    EXPECT_EQ(printed.err, "ERROR:  Problem reading mode shape 2\n") << "attempt " << attempt;
  }
  const auto printed = capture([&] { EXPECT_EQ(ZEL_Read_Mode_Double(db, 2, 0, values.data()), 0); });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading mode shape 2\n");
}

TEST_F(FileModeReads, ShortReadsOfStressAndStrain) {
  cut_inside(1, 0);
  std::vector<double> values(6 * set_size(0));
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 1, 1, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Mode(db, 1, 2, values.data(), 0), 0);
  });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading modal stress vector 1\nERROR:  Problem reading modal strain vector 1\n");
}

TEST_F(FileModeReads, MissingPreValuesAreReported) {
  db->pre_stress.clear();
  db->pre_strain.clear();
  std::vector<double> values(6 * set_size(1));
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 0, 1, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Read_Mode_Double(db, 0, 2, values.data()), 0);
  });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading pre stress vector\nERROR:  Problem reading pre strain vector\n");
}

// A file may hold fewer pre-stress rows than its stress set has nodes (the
// reader reports the mismatch and goes on): the rows it lacks read as zero.
TEST(ShortPreStress, RowsBeyondTheFilesCountReadAsZero) {
  zel_test::ScratchDir dir;
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.pre_stress->resize(6);
  const std::string path = dir.file("short.zel");
  ASSERT_TRUE(zel_test::write_zel_file(body, path));
  Database *db = nullptr;
  capture([&] { db = ZEL_CreateFromZEL(path.c_str()); });
  ASSERT_NE(db, nullptr);
  std::vector<double> expected = component_of(stored_pre_values(1), 1);
  std::fill(expected.begin() + 3, expected.end(), 0.0);
  EXPECT_EQ(mode_of(db, 0, 1, 1), expected);
  std::vector<float> floats(6 * set_size(1), -1.0f);
  ASSERT_EQ(ZEL_Read_Mode_Single(db, 0, 1, floats.data()), 1);
  EXPECT_EQ(floats[5], static_cast<float>(stored_pre_values(1)[5]));
  EXPECT_EQ(floats[6], 0.0f);
  ZEL_Terminate();
}

TEST(SingleFileModeReads, UncachedSingleReadUsesASinglePrecisionFactor) {
  zel_test::ScratchDir dir;
  BodyFile file(dir, 572);
  CountingFile counter;
  Database *db = file.open(counter);
  ASSERT_NE(db, nullptr);
  db->unit_factor[zel::kLengthFactor] = 0.001;
  std::vector<float> floats(6 * set_size(0));
  ASSERT_EQ(ZEL_Read_Mode_Single(db, 1, 0, floats.data()), 1);
  const std::vector<double> stored = stored_mode(0, 0);
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const float expected = i % 6 < 3 ? static_cast<float>(stored[i]) * 0.001f : static_cast<float>(stored[i]);
    EXPECT_EQ(floats[i], expected) << i;
  }
  ZEL_Terminate();
}

// ------------------------------------------------- built bodies' stores

class BuiltModeReads : public ::testing::Test {
 protected:
  void SetUp() override {
    capture([&] { db = built_body(); });
  }
  void TearDown() override { ZEL_Terminate(); }

  // Rewrites a mode in the store behind the library's back: a query that
  // then gives the new values read the store, one that gives the old ones
  // answered from the cache.
  void overwrite_in_store(int set, int mode_index, double value) {
    const std::vector<double> values(6 * set_size(set), value);
    ASSERT_TRUE(db->temp[set].write_slot(mode_index, values.data(), static_cast<int32_t>(set_size(set))));
  }

  Database *db = nullptr;
};

TEST_F(BuiltModeReads, TheSameModeTwiceReadsTheStoreOnce) {
  const std::vector<double> first = mode_of(db, 1, 0, 0);
  overwrite_in_store(0, 0, 42.0);
  EXPECT_EQ(mode_of(db, 1, 0, 0), first);
}

TEST_F(BuiltModeReads, ModesABAReadThreeTimes) {
  mode_of(db, 1, 0, 0);
  overwrite_in_store(0, 0, 42.0);
  EXPECT_EQ(mode_of(db, 2, 0, 0), component_of(stored_mode(0, 1), 0));
  EXPECT_EQ(mode_of(db, 1, 0, 0), std::vector<double>(3 * set_size(0), 42.0));
}

TEST_F(BuiltModeReads, ValuesSetAgainReplaceTheCachedOnes) {
  EXPECT_EQ(mode_of(db, 1, 0, 1), component_of(stored_mode(0, 0), 1));
  ASSERT_EQ(ZEL_SetModeEntry(db, 1, 20, 0, 4, -8.0), 1);  // node 20 is position 1
  std::vector<double> expected = component_of(stored_mode(0, 0), 1);
  expected[4] = -8.0;
  EXPECT_EQ(mode_of(db, 1, 0, 1), expected);

  EXPECT_EQ(mode_of(db, 0, 1, 0), component_of(stored_pre_values(1), 0));
  double row[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(ZEL_SetPreStressVec(db, 10, row), 1);  // node 10 is stress position 1
  expected = component_of(stored_pre_values(1), 0);
  std::copy_n(row, 3, expected.begin() + 3);
  EXPECT_EQ(mode_of(db, 0, 1, 0), expected);
}

TEST(BuiltModeFill, ANodeWrittenAgainAfterAQueryReachesTheNextQuery) {
  // The same node and mode again, as a translator that patches a value
  // writes it: the setters' quickest path.
  Database *db = ZEL_Create(1, 1);
  double values[6] = {1, 2, 3, 4, 5, 6};
  capture([&] { ASSERT_EQ(ZEL_SetModeVec(db, 1, 10, 0, values), 1); });
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(mode_of(db, 1, 0, 1), (std::vector<double>{values[3], values[4], values[5]})) << "round " << round;
    for (double &value : values) value += 10;
    ASSERT_EQ(ZEL_SetModeVec(db, 1, 10, 0, values), 1);
  }
  EXPECT_EQ(mode_of(db, 1, 0, 1), (std::vector<double>{values[3], values[4], values[5]}));
  ZEL_Terminate();
}

TEST_F(BuiltModeReads, ANewModeIsNotMistakenForTheCachedPreStress) {
  // The pre-stress is cached one past the last mode index: the index the
  // next mode added takes.
  EXPECT_EQ(mode_of(db, 0, 1, 0), component_of(stored_pre_values(1), 0));
  std::vector<double> values = stored_mode(1, 0);
  capture([&] {
    ASSERT_EQ(ZEL_SetModeVec(db, 11, 30, 1, values.data()), 1);
    ASSERT_EQ(ZEL_SetModeVec(db, 11, 10, 1, values.data() + 6), 1);
  });
  EXPECT_EQ(mode_of(db, 11, 1, 0), component_of(stored_mode(1, 0), 0));
}

TEST_F(BuiltModeReads, NodesAddedAfterTheStoreReadAsZero) {
  mode_of(db, 1, 0, 0);
  for (int id = 50; id < 58; ++id) ASSERT_EQ(ZEL_SetNodeCoordinates(db, id, 0, 0, 0), 1);
  const std::size_t nodes = set_size(0) + 8;
  std::vector<double> expected = component_of(stored_mode(0, 0), 0);
  expected.resize(3 * nodes, 0.0);
  EXPECT_EQ(mode_of(db, 1, 0, 0), expected);
  std::vector<double> six(6 * nodes, -1.0);
  ASSERT_EQ(ZEL_Read_Mode_Double(db, 2, 0, six.data()), 1);
  EXPECT_EQ(six[6 * nodes - 1], 0.0);
}

TEST(ModeQueriesWithoutModes, EmptyBodiesAnswerZero) {
  Database *db = ZEL_Create(3, 2);
  ASSERT_EQ(ZEL_SetNodeCoordinates(db, 10, 0, 0, 0), 1);
  std::vector<double> values(3);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 1, 0, values.data(), 0), 0);
    EXPECT_EQ(ZEL_ModeExist(db, 0), 0);
    EXPECT_EQ(ZEL_ModeNodeCount(db, 1), 0);
    EXPECT_EQ(ZEL_Double_Prec(db), 1);
  });
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(ZEL_ModeNodeCount(nullptr, 0), 0);
  EXPECT_EQ(ZEL_ModeNodeID(nullptr, 0, 0), 0);
  EXPECT_EQ(ZEL_Double_Prec(nullptr), 0);
  ZEL_Terminate();
}

// ------------------------------------------------------------ eigenvalues

class Eigenvalues : public ::testing::Test {
 protected:
  void SetUp() override {
    db = ZEL_Create(1, 0);
    db->mode_numbers = {7, 9};
  }
  void TearDown() override { ZEL_Terminate(); }

  struct Outputs {
    double eigenvalue = -1, hz = -1, rad_s = -1, mass = -1, stiffness = -1;
  };
  int query(int number, Outputs &out) {
    return ZEL_Eigenvalue(db, number, &out.eigenvalue, &out.hz, &out.rad_s, &out.mass, &out.stiffness);
  }

  Database *db = nullptr;
};

TEST_F(Eigenvalues, RecordsAnswerFirst) {
  db->eigen = {7, 1, 2, 3, 4, 5, 9, 10, 20, 30, 40, 50};
  db->eigen_count = 2;
  db->gen_stiff = {{1, 1, 100.0}};
  Outputs out;
  ASSERT_EQ(query(9, out), 1);
  EXPECT_EQ(out.eigenvalue, 10);
  EXPECT_EQ(out.hz, 20);
  EXPECT_EQ(out.rad_s, 30);
  EXPECT_EQ(out.mass, 40);
  EXPECT_EQ(out.stiffness, 50);
  EXPECT_EQ(ZEL_Eigenvalue(db, 7, nullptr, nullptr, &out.rad_s, nullptr, nullptr), 1);
  EXPECT_EQ(out.rad_s, 3);
}

// Without eigenvalue records the generalized matrices stand in: the
// stiffness and mass entries of each case, for the mode with index 0
// (number 7), in SI units.
struct FallbackCase {
  const char *name;
  std::vector<zel::GenEntry> stiffness, mass;
  int result;
  double eigenvalue, rad_s, generalized_mass, generalized_stiffness;
};

const FallbackCase kFallbackCases[] = {
    {"Diagonal", {{1, 1, 9.0}, {0, 0, 100.0}}, {{0, 0, 4.0}}, 1, 25, 5, 4, 100},
    {"NegativeStiffness", {{0, 0, -100.0}}, {{0, 0, 4.0}}, 1, -25, -5, 4, -100},
    {"NoMassStiffAbove1", {{0, 0, 100.0}}, {}, 1, 1e16, 1e8, 1e-14, 100},
    {"NoMassStiffBelow1", {{0, 0, 0.5}}, {}, 1, 0.5e16, std::sqrt(0.5e16), 1e-16, 0.5},
    {"NoEntries", {}, {}, 1, 0, 0, 1e-16, 0},
    // The scan stops at the first off-diagonal entry, even before the
    // mode's own; past the mode's own it is never reached.
    {"OffDiagonalFirst", {{1, 0, 3.0}, {0, 0, 100.0}}, {{0, 0, 4.0}}, 0, 0, 0, 0, 0},
    {"OffDiagonalInMass", {{0, 0, 100.0}}, {{0, 1, 3.0}, {0, 0, 4.0}}, 0, 0, 0, 0, 0},
    {"OffDiagonalAfter", {{0, 0, 100.0}, {0, 1, 3.0}}, {{0, 0, 4.0}}, 1, 25, 5, 4, 100},
};

class EigenvalueFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(EigenvalueFallback, FromTheGeneralizedMatrices) {
  const FallbackCase &c = GetParam();
  Database *db = ZEL_Create(1, 0);
  db->mode_numbers = {7, 9};
  db->gen_stiff = c.stiffness;
  db->gen_mass = c.mass;
  double eigenvalue = -1, hz = -1, rad_s = -1, mass = -1, stiffness = -1;
  EXPECT_EQ(ZEL_Eigenvalue(db, 7, &eigenvalue, &hz, &rad_s, &mass, &stiffness), c.result);
  EXPECT_DOUBLE_EQ(eigenvalue, c.eigenvalue);
  EXPECT_DOUBLE_EQ(rad_s, c.rad_s);
  EXPECT_NEAR(hz, c.rad_s / (2 * M_PI), 1e-12 * std::abs(c.rad_s));
  EXPECT_EQ(mass, c.generalized_mass);
  EXPECT_EQ(stiffness, c.generalized_stiffness);
  ZEL_Terminate();
}

INSTANTIATE_TEST_SUITE_P(Cases, EigenvalueFallback, ::testing::ValuesIn(kFallbackCases),
                         [](const ::testing::TestParamInfo<FallbackCase> &info) { return info.param.name; });

TEST_F(Eigenvalues, TheUnitsConsistencyFactorEntersTheFrequencyOnly) {
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "mm", "s", "N"), 1);  // factor 1000
  db->gen_stiff = {{0, 0, 100.0}};
  db->gen_mass = {{0, 0, 4.0}};
  Outputs out;
  ASSERT_EQ(query(7, out), 1);
  EXPECT_EQ(out.eigenvalue, 25);
  EXPECT_DOUBLE_EQ(out.rad_s, std::sqrt(25000.0));
}

TEST_F(Eigenvalues, AMasslessModeKeepsItsFrequencyOutputs) {
  db->gen_stiff = {{0, 0, 100.0}};
  db->gen_mass = {{0, 0, 0.0}};
  Outputs out;
  ASSERT_EQ(query(7, out), 1);
  EXPECT_EQ(out.stiffness, 100);
  EXPECT_EQ(out.mass, 0);
  EXPECT_EQ(out.eigenvalue, -1);
  EXPECT_EQ(out.rad_s, -1);
  EXPECT_EQ(out.hz, -1);
}

TEST_F(Eigenvalues, UnknownModesLeaveTheOutputsAlone) {
  db->gen_stiff = {{0, 1, 3.0}};
  Outputs out;
  const auto printed = capture([&] { EXPECT_EQ(query(8, out), 0); });
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(out.eigenvalue, -1);
  EXPECT_EQ(out.stiffness, -1);
  EXPECT_EQ(ZEL_Eigenvalue(nullptr, 7, &out.eigenvalue, nullptr, nullptr, nullptr, nullptr), 0);
}

// A file without eigenvalue records answers from its generalized matrices.
TEST(FileEigenvalues, FromTheFilesMatrices) {
  zel_test::ScratchDir dir;
  zel_test::ZelBody body = zel_test::sample_body(316);
  body.eigen.reset();
  body.gen_stiff->entries[1].value = 36.0;
  const std::string path = dir.file("matrices.zel");
  ASSERT_TRUE(zel_test::write_zel_file(body, path));
  Database *db = ZEL_CreateFromZEL(path.c_str());
  ASSERT_NE(db, nullptr);
  double eigenvalue = 0, rad_s = 0;
  ASSERT_EQ(ZEL_Eigenvalue(db, 2, &eigenvalue, nullptr, &rad_s, nullptr, nullptr), 1);
  EXPECT_EQ(eigenvalue, 36);
  EXPECT_EQ(rad_s, 6);
  ZEL_Terminate();
}

// What the consumer example prints (standard output and error) and its
// exit status, given `arguments`.
struct ExampleRun {
  std::string printed;
  int exit_status = -1;
};

// The examples are built at the top of the build tree, one level above
// this test program.
std::string consumer_program() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "zel_consumer").string();
}

ExampleRun run_consumer(const std::string &arguments) {
  const std::string program = consumer_program();
  std::FILE *pipe = ::popen((program + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {};
  ExampleRun run;
  char chunk[256];
  while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) run.printed += chunk;
  const int status = ::pclose(pipe);
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The consumer example, run on the sample file, prints the body through
// the queries.
TEST(ConsumerExample, PrintsTheSampleBody) {
  zel_test::ScratchDir dir;
  const std::string path = dir.file("sample.zel");
  ASSERT_TRUE(zel_test::write_zel_file(zel_test::sample_body(316), path));
  const ExampleRun run = run_consumer(" " + path);
  EXPECT_EQ(run.exit_status, 0);
  // Version code 316 is XDR double precision at format level 60; the
  // records' frequencies were stored in single-precision-exact values;
  // node 40 (position 3) moves by about sqrt(3) x 4120.125 in mode 1.
  EXPECT_EQ(run.printed,
            "Title:       sample body\n"
            "Created:     Mon Dec  7 08:00:00 2026\n"
            "Input file:  sample.fem (FEM)\n"
            "Comment:     first comment\n"
            "Comment:     second comment\n"
            "Comment:     third comment\n"
            "Version:     60, double precision\n"
            "Units:       mass MEGAGRAM, length MILLIMETER, time SECOND, force NEWTON\n"
            "Nodes:       4\n"
            "Modes:       3\n"
            "Faces:       2\n"
            "Interface:   2 nodes\n"
            "Stress:      2 nodes\n"
            "Strain:      1 nodes\n"
            "\n"
            "  Mode       Eigenvalue   Frequency [Hz]        Gen. mass   Gen. stiffness\n"
            "     1                4       0.31830987                1                4\n"
            "     2                9       0.47746482                1                9\n"
            "     3               16       0.63661975                1               16\n"
            "\n"
            "Mode 1 moves node 40 farthest: 7136.27\n");
}

TEST(ConsumerExample, WithoutAFileItPrintsItsUsage) {
  const ExampleRun run = run_consumer("");
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_EQ(run.printed, "usage: " + consumer_program() + " <file.zel>\n");
}

}  // namespace

// ------------------------------------------------- many nodes, both halves

namespace {

// A body of more nodes than ZEL_Mode reads into the cache at a time, whose
// value at (mode, position, component) is exact in single precision and
// names all three. Its units are millimetres, so translations read in
// metres are scaled and rotations are not.
constexpr int kManyPositions = 9000;

double many_value(int mode, int position, int component) { return 1000.0 * position + 10.0 * mode + component; }

zel_test::ZelBody many_node_body(uint32_t version) {
  zel_test::ZelBody body = zel_test::sample_body(version);
  body.nodes.clear();
  std::vector<int32_t> ids;
  for (int p = 0; p < kManyPositions; ++p) {
    body.nodes.push_back({p + 1, double(p), 0.0, 0.0, 1.0, std::nullopt});
    ids.push_back(p + 1);
  }
  body.mode_shapes->node_ids = ids;
  body.mode_shapes->value = many_value;
  body.inertias = false;
  body.invariants = false;
  body.faces.reset();
  body.interface_nodes.reset();
  body.stress.reset();
  body.strain.reset();
  body.pre_stress.reset();
  body.pre_strain.reset();
  body.statistics.reset();
  return body;
}

}  // namespace

// Whichever half is asked for first, and whether the mode was cached or
// not, each half holds its own values at every position, on both sides of
// each block the cache is read in.
TEST(ModeHalves, EveryPositionOfBothHalvesAcrossReadBlocks) {
  for (const uint32_t version : {316u, 572u}) {
    SCOPED_TRACE(version);
    zel_test::ScratchDir dir;
    ASSERT_TRUE(zel_test::write_zel_file(many_node_body(version), dir.file("many.zel")));
    Database *db = ZEL_CreateFromZEL(dir.file("many.zel").c_str());
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(ZEL_SetUnits(db, "KILOGRAM", "METER", "SECOND", "NEWTON"), 1);
    const double length = 1e-3;  // the file is in millimetres
    std::vector<double> half(3 * kManyPositions);
    for (const int mode_index : {0, 2, 1, 2}) {
      for (const int component : {mode_index % 2, 1 - mode_index % 2}) {
        ASSERT_EQ(ZEL_Mode(db, kModeNumbers[mode_index], 0, half.data(), component), 1);
        for (int p = 0; p < kManyPositions; ++p)
          for (int c = 0; c < 3; ++c) {
            const double stored = many_value(mode_index, p, 3 * component + c);
            ASSERT_DOUBLE_EQ(half[3 * std::size_t(p) + std::size_t(c)], component == 0 ? stored * length : stored)
                << "mode index " << mode_index << " position " << p << " component " << 3 * component + c;
          }
      }
    }
    ZEL_Terminate();
  }
}
