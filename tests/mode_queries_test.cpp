// Mode queries: the one-mode cache over a built body's temporary stores and
// over a ZEL file, unit conversion, pre-stress and pre-strain, the
// uncached single and double reads, the set node lists, and eigenvalues.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "blocks.h"
#include "capture.h"
#include "database.h"
#include "mode_list.h"
#include "scratch_dir.h"
#include "zel.h"

using zel_test::capture;

namespace {

// The body every test starts from: nodes 10, 20, 30; modes numbered 7 and
// 9; the stress set holds nodes 30 then 10, the strain set node 20.
constexpr int kNodeIds[] = {10, 20, 30};
constexpr int kModeNumbers[] = {7, 9};
const std::vector<int> kSetNodes[zel::kValueSetCount] = {{10, 20, 30}, {30, 10}, {20}};

// A stored value that single precision holds exactly and that tells set,
// mode, position and component apart.
double stored_value(int set, int mode_index, int position, int component) {
  return 1000.0 * set + 100.0 * (mode_index + 1) + 10.0 * position + component + 0.25;
}

std::vector<double> stored_mode(int set, int mode_index) {
  std::vector<double> values;
  for (std::size_t p = 0; p < kSetNodes[set].size(); ++p)
    for (int c = 0; c < 6; ++c) values.push_back(stored_value(set, mode_index, static_cast<int>(p), c));
  return values;
}

// Pre-stress (set 1) and pre-strain (set 2) rows, six per set position.
std::vector<double> stored_pre_values(int set) {
  std::vector<double> values;
  for (std::size_t p = 0; p < kSetNodes[set].size(); ++p)
    for (int c = 0; c < 6; ++c) values.push_back(-(100.0 * set + 10.0 * static_cast<double>(p) + c + 0.5));
  return values;
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

void add_nodes(Database *db) {
  for (int id : kNodeIds) ASSERT_EQ(ZEL_SetNodeCoordinates(db, id, id, 0.0, 0.0), 1);
}

// ----------------------------------------------------------- built bodies

Database *built_body() {
  Database *db = ZEL_Create(3, 4);
  add_nodes(db);
  for (int set = 0; set < zel::kValueSetCount; ++set)
    for (int m = 0; m < 2; ++m) {
      const std::vector<double> values = stored_mode(set, m);
      for (std::size_t p = 0; p < kSetNodes[set].size(); ++p)
        EXPECT_EQ(ZEL_SetModeVec(db, kModeNumbers[m], kSetNodes[set][p], set,
                                 const_cast<double *>(values.data() + 6 * p)),
                  1);
    }
  for (int set = 1; set < zel::kValueSetCount; ++set) {
    std::vector<double> rows = stored_pre_values(set);
    for (std::size_t p = 0; p < kSetNodes[set].size(); ++p)
      EXPECT_EQ(ZEL_SetModeVec(db, 0, kSetNodes[set][p], set, rows.data() + 6 * p), 1);
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

struct Encoding {
  bool xdr;
  bool double_precision;
};

// Writes the mode-shape, stress and strain blocks of the test body with
// the block encoders and finds each mode's values as the reader does.
class BodyFile {
 public:
  BodyFile(const zel_test::ScratchDir &dir, Encoding encoding, uint32_t version = 31)
      : path_(dir.file("body.zel")), encoding_(encoding), version_(version) {
    std::vector<int64_t> block_starts;
    {
      zel::ZelFile out;
      out.attach(std::fopen(path_.c_str(), "wb"), path_, zel::FileMode::kWrite, encoding.xdr,
                 encoding.double_precision);
      for (int set = 0; set < zel::kValueSetCount; ++set) {
        block_starts.push_back(out.tell());
        EXPECT_TRUE(zel::write_modal_head(out, 2, kSetNodes[set]));
        for (int m = 0; m < 2; ++m)
          EXPECT_TRUE(zel::write_mode_record(out, version, set, kModeNumbers[m], stored_mode(set, m)));
      }
    }
    zel::ZelFile in;
    in.attach(std::fopen(path_.c_str(), "rb"), path_, zel::FileMode::kRead, encoding.xdr, encoding.double_precision);
    for (int set = 0; set < zel::kValueSetCount; ++set) {
      zel::ModalHead head;
      std::vector<int32_t> ids;
      zel::ModeValueIndex index;
      EXPECT_TRUE(in.seek(block_starts[static_cast<std::size_t>(set)]));
      EXPECT_TRUE(zel::read_modal_head(in, version, set, head));
      EXPECT_TRUE(zel::read_modal_node_list(in, head, ids));
      EXPECT_TRUE(zel::locate_mode_values(in, version, set, head, index));
      offsets_[set] = index.offsets;
    }
  }

  // A body bound to this file as a read body is: nodes, sets, mode list and
  // offsets in memory, values left in the file, read through `counter`.
  Database *attach(CountingFile &counter) const {
    Database *db = ZEL_Create(0, 0);
    add_nodes(db);
    db->mode_numbers.assign(std::begin(kModeNumbers), std::end(kModeNumbers));
    for (int set = 1; set < zel::kValueSetCount; ++set)
      for (int id : kSetNodes[set]) zel::enter_value_set(*db, set, ZEL_NodeIndex(db, id));
    db->pre_stress = stored_pre_values(1);
    db->pre_strain = stored_pre_values(2);
    for (int set = 0; set < zel::kValueSetCount; ++set) db->temp_slot_offset[set] = offsets_[set];
    zel::block_flag(*db, zel::kModeShapesBlock) = 1;
    zel::block_flag(*db, zel::kModalStressBlock) = 1;
    zel::block_flag(*db, zel::kModalStrainBlock) = 1;
    db->file.attach(counter.open(path_), path_, zel::FileMode::kRead, encoding_.xdr, encoding_.double_precision);
    return db;
  }

  const std::string &path() const { return path_; }
  int64_t mode_bytes(int set) const {
    return 6 * static_cast<int64_t>(kSetNodes[set].size()) * (encoding_.double_precision ? 8 : 4);
  }
  int64_t offset(int set, int mode_index) const { return offsets_[set][static_cast<std::size_t>(mode_index)]; }

 private:
  std::string path_;
  Encoding encoding_;
  uint32_t version_;
  std::vector<int64_t> offsets_[zel::kValueSetCount];
};

// ------------------------------------------------- behaviour of both kinds

struct BodyKind {
  const char *name;
  bool from_file;
  Encoding encoding;
};

class ModeQueries : public ::testing::TestWithParam<BodyKind> {
 protected:
  void SetUp() override {
    if (GetParam().from_file) {
      file = std::make_unique<BodyFile>(dir, GetParam().encoding);
      db = file->attach(counter);
    } else {
      capture([&] { db = built_body(); });
    }
  }
  void TearDown() override { ZEL_Terminate(); }

  zel_test::ScratchDir dir;
  std::unique_ptr<BodyFile> file;
  CountingFile counter;
  Database *db = nullptr;
};

TEST_P(ModeQueries, ModesOfEverySetInSetOrder) {
  for (int set = 0; set < zel::kValueSetCount; ++set)
    for (int m = 0; m < 2; ++m)
      for (int component = 0; component < 2; ++component)
        EXPECT_EQ(mode_of(db, kModeNumbers[m], set, component), component_of(stored_mode(set, m), component))
            << "set " << set << " mode " << kModeNumbers[m] << " component " << component;
}

TEST_P(ModeQueries, ModeByNodeFindsTheNodesSetPosition) {
  double values[3];
  // Node 10 is position 1 of the stress set, position 0 of the shapes.
  ASSERT_EQ(ZEL_ModeByNode(db, 9, 1, 10, values, 1), 1);
  EXPECT_EQ(std::vector<double>(values, values + 3),
            (std::vector<double>{stored_value(1, 1, 1, 3), stored_value(1, 1, 1, 4), stored_value(1, 1, 1, 5)}));
  ASSERT_EQ(ZEL_ModeByNode(db, 7, 0, 10, values, 0), 1);
  EXPECT_EQ(values[2], stored_value(0, 0, 0, 2));
}

TEST_P(ModeQueries, ModeByNodeGivesZerosWhenItFails) {
  double values[3] = {5, 5, 5};
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_ModeByNode(db, 7, 2, 10, values, 0), 0);  // node 10 carries no strain
    EXPECT_EQ(std::vector<double>(values, values + 3), std::vector<double>(3, 0.0));
    values[0] = 5;
    EXPECT_EQ(ZEL_ModeByNode(db, 8, 0, 10, values, 0), 0);  // no mode 8
    EXPECT_EQ(values[0], 0.0);
    values[0] = 5;
    EXPECT_EQ(ZEL_ModeByNode(db, 7, 0, 10, values, 2), 0);  // no component 2
    EXPECT_EQ(values[0], 0.0);
  });
  EXPECT_EQ(printed.err, "");
}

TEST_P(ModeQueries, BadRequestsFailWithoutMessage) {
  std::vector<double> values(9);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 8, 0, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Mode(db, 7, 3, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Mode(db, 7, 0, values.data(), -1), 0);
    EXPECT_EQ(ZEL_Mode(db, 7, 0, nullptr, 0), 0);
    EXPECT_EQ(ZEL_Mode(nullptr, 7, 0, values.data(), 0), 0);
    // Mode number 0 is an ordinary (absent) mode of the shapes.
    EXPECT_EQ(ZEL_Mode(db, 0, 0, values.data(), 0), 0);
  });
  EXPECT_EQ(printed.err, "");
}

TEST_P(ModeQueries, ModeZeroOfStressAndStrainIsThePreValues) {
  for (int set = 1; set < zel::kValueSetCount; ++set)
    for (int component = 0; component < 2; ++component)
      EXPECT_EQ(mode_of(db, 0, set, component), component_of(stored_pre_values(set), component));
  // Asked in between modes, the pre-values do not stand in for a mode.
  EXPECT_EQ(mode_of(db, 9, 1, 0), component_of(stored_mode(1, 1), 0));
  EXPECT_EQ(mode_of(db, 0, 1, 0), component_of(stored_pre_values(1), 0));
}

TEST_P(ModeQueries, MillimetreBodyReadInMetres) {
  db->unit_factor[zel::kLengthFactor] = 0.001;
  for (int m = 0; m < 2; ++m) {
    const std::vector<double> translations = mode_of(db, kModeNumbers[m], 0, 0);
    const std::vector<double> expected = component_of(stored_mode(0, m), 0);
    ASSERT_EQ(translations.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_DOUBLE_EQ(translations[i], expected[i] * 0.001);
    EXPECT_EQ(mode_of(db, kModeNumbers[m], 0, 1), component_of(stored_mode(0, m), 1));
  }
  // Strains carry no unit.
  EXPECT_EQ(mode_of(db, 7, 2, 0), component_of(stored_mode(2, 0), 0));
}

TEST_P(ModeQueries, StressesScaleByForceOverLengthSquared) {
  db->unit_factor[zel::kLengthFactor] = 0.001;
  for (int component = 0; component < 2; ++component) {
    const std::vector<double> stress = mode_of(db, 9, 1, component);
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
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "mm", "s", "N"), 1);
  const std::vector<double> in_millimetres = mode_of(db, 7, 0, 0);
  ASSERT_EQ(in_millimetres, component_of(stored_mode(0, 0), 0));
  ASSERT_EQ(ZEL_SetUnits(db, "kg", "m", "s", "N"), 1);
  const std::vector<double> in_metres = mode_of(db, 7, 0, 0);
  ASSERT_EQ(in_metres.size(), in_millimetres.size());
  for (std::size_t i = 0; i < in_metres.size(); ++i) EXPECT_DOUBLE_EQ(in_metres[i], in_millimetres[i] / 1000);
}

TEST_P(ModeQueries, UncachedReadsInTheStoresPrecisionOnly) {
  const bool double_store = !GetParam().from_file || GetParam().encoding.double_precision;
  EXPECT_EQ(ZEL_Double_Prec(db), double_store ? 1 : 0);
  std::vector<double> doubles(6 * 3, -1.0);
  std::vector<float> floats(6 * 3, -1.0f);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Read_Mode_Double(db, 9, 0, doubles.data()), double_store ? 1 : 0);
    EXPECT_EQ(ZEL_Read_Mode_Single(db, 9, 0, floats.data()), double_store ? 0 : 1);
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
  std::vector<double> doubles(6 * 2);
  std::vector<float> floats(6 * 2);
  ASSERT_EQ(ZEL_Read_Mode_Double(db, 0, 1, doubles.data()), 1);
  ASSERT_EQ(ZEL_Read_Mode_Single(db, 0, 1, floats.data()), 1);
  const std::vector<double> rows = stored_pre_values(1);
  const double factor = 1.0 / (0.1 * 0.1);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(doubles[i], rows[i] * factor);
    EXPECT_EQ(floats[i], static_cast<float>(rows[i]) * static_cast<float>(factor));
  }
  std::vector<double> strain(6);
  ASSERT_EQ(ZEL_Read_Mode_Double(db, 0, 2, strain.data()), 1);
  EXPECT_EQ(strain, stored_pre_values(2));
}

TEST_P(ModeQueries, SetNodeLists) {
  EXPECT_EQ(ZEL_ModeNodeCount(db, 0), 3);
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
    {"Built", false, {false, true}},
    {"NativeDoubleFile", true, {false, true}},
    {"NativeSingleFile", true, {false, false}},
    {"XdrDoubleFile", true, {true, true}},
    {"XdrSingleFile", true, {true, false}},
};

INSTANTIATE_TEST_SUITE_P(Bodies, ModeQueries, ::testing::ValuesIn(kBodyKinds),
                         [](const ::testing::TestParamInfo<BodyKind> &info) { return info.param.name; });

// ------------------------------------------------------------ file reads

class FileModeReads : public ::testing::Test {
 protected:
  void SetUp() override {
    file = std::make_unique<BodyFile>(dir, Encoding{true, true});
    db = file->attach(counter);
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
    ASSERT_EQ(::truncate(file->path().c_str(), file->offset(set, mode_index) + 8), 0);
    db->file.close();  // before the counter takes the new descriptor
    db->file.attach(counter.open(file->path()), file->path(), zel::FileMode::kRead, true, true);
  }

  zel_test::ScratchDir dir;
  std::unique_ptr<BodyFile> file;
  CountingFile counter;
  Database *db = nullptr;
};

TEST_F(FileModeReads, TheSameModeTwiceReadsTheFileOnce) {
  const int64_t one_mode = file->mode_bytes(0);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 7, 0, 0); }), one_mode);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 7, 0, 1); }), 0);
  double values[3];
  EXPECT_EQ(bytes_read_by([&] { ZEL_ModeByNode(db, 7, 0, 20, values, 0); }), 0);
}

TEST_F(FileModeReads, ModesABAReadThreeTimes) {
  const int64_t one_mode = file->mode_bytes(0);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 7, 0, 0); }), one_mode);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 9, 0, 0); }), one_mode);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 7, 0, 0); }), one_mode);
}

TEST_F(FileModeReads, EachSetKeepsItsOwnMode) {
  mode_of(db, 7, 0, 0);
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 7, 1, 0); }), file->mode_bytes(1));
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 9, 2, 0); }), file->mode_bytes(2));
  EXPECT_EQ(bytes_read_by([&] {
              mode_of(db, 7, 0, 0);
              mode_of(db, 7, 1, 1);
              mode_of(db, 9, 2, 1);
            }),
            0);
}

TEST_F(FileModeReads, PreValuesComeFromMemory) {
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 0, 1, 0); }), 0);
  // and do not hide the mode whose index follows the last one.
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 9, 1, 0); }), file->mode_bytes(1));
}

TEST_F(FileModeReads, UncachedReadsReadEveryTime) {
  std::vector<double> values(6 * 3);
  mode_of(db, 7, 0, 0);
  EXPECT_EQ(bytes_read_by([&] { ZEL_Read_Mode_Double(db, 7, 0, values.data()); }), file->mode_bytes(0));
  EXPECT_EQ(bytes_read_by([&] { ZEL_Read_Mode_Double(db, 7, 0, values.data()); }), file->mode_bytes(0));
  // and leave the cached mode where it was.
  EXPECT_EQ(bytes_read_by([&] { mode_of(db, 7, 0, 0); }), 0);
}

TEST_F(FileModeReads, ShortReadsReportTheModeAndLeaveNothingCached) {
  cut_inside(0, 1);
  std::vector<double> values(9);
  EXPECT_EQ(mode_of(db, 7, 0, 0), component_of(stored_mode(0, 0), 0));
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto printed = capture([&] { EXPECT_EQ(ZEL_Mode(db, 9, 0, values.data(), 0), 0); });
    EXPECT_EQ(printed.err, "ERROR:  Problem reading mode shape 9\n") << "attempt " << attempt;
  }
  const auto printed = capture([&] { EXPECT_EQ(ZEL_Read_Mode_Double(db, 9, 0, values.data()), 0); });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading mode shape 9\n");
}

TEST_F(FileModeReads, ShortReadsOfStressAndStrain) {
  cut_inside(1, 0);
  std::vector<double> values(9);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 7, 1, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Mode(db, 7, 2, values.data(), 0), 0);
  });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading modal stress vector 7\nERROR:  Problem reading modal strain vector 7\n");
}

TEST_F(FileModeReads, MissingPreValuesAreReported) {
  db->pre_stress.clear();
  db->pre_strain.clear();
  std::vector<double> values(6 * 2);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 0, 1, values.data(), 0), 0);
    EXPECT_EQ(ZEL_Read_Mode_Double(db, 0, 2, values.data()), 0);
  });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading pre stress vector\nERROR:  Problem reading pre strain vector\n");
}

TEST_F(FileModeReads, PreStressShorterThanItsSetReadsAsZeroBeyondIt) {
  // A file may hold fewer pre-stress rows than its stress set has nodes.
  db->pre_stress.resize(6);
  std::vector<double> expected = component_of(stored_pre_values(1), 1);
  std::fill(expected.begin() + 3, expected.end(), 0.0);
  EXPECT_EQ(mode_of(db, 0, 1, 1), expected);
  std::vector<float> floats(12, -1.0f);
  ASSERT_EQ(ZEL_Read_Mode_Single(db, 0, 1, floats.data()), 1);
  EXPECT_EQ(floats[6], 0.0f);
  EXPECT_EQ(floats[5], static_cast<float>(stored_pre_values(1)[5]));
}

TEST_F(FileModeReads, AModeWithoutARecordedOffsetFailsToRead) {
  db->temp_slot_offset[2].clear();
  std::vector<double> values(3);
  const auto printed = capture([&] { EXPECT_EQ(ZEL_Mode(db, 9, 2, values.data(), 0), 0); });
  EXPECT_EQ(printed.err, "ERROR:  Problem reading modal strain vector 9\n");
}

TEST(SingleFileModeReads, UncachedSingleReadUsesASinglePrecisionFactor) {
  zel_test::ScratchDir dir;
  BodyFile file(dir, Encoding{false, false});
  CountingFile counter;
  Database *db = file.attach(counter);
  db->unit_factor[zel::kLengthFactor] = 0.001;
  std::vector<float> floats(6 * 3);
  ASSERT_EQ(ZEL_Read_Mode_Single(db, 7, 0, floats.data()), 1);
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
    const std::vector<double> values(6 * kSetNodes[set].size(), value);
    ASSERT_TRUE(db->temp[set].write_slot(mode_index, values.data(), static_cast<int32_t>(kSetNodes[set].size())));
  }

  Database *db = nullptr;
};

TEST_F(BuiltModeReads, TheSameModeTwiceReadsTheStoreOnce) {
  const std::vector<double> first = mode_of(db, 7, 0, 0);
  overwrite_in_store(0, 0, 42.0);
  EXPECT_EQ(mode_of(db, 7, 0, 0), first);
}

TEST_F(BuiltModeReads, ModesABAReadThreeTimes) {
  mode_of(db, 7, 0, 0);
  overwrite_in_store(0, 0, 42.0);
  EXPECT_EQ(mode_of(db, 9, 0, 0), component_of(stored_mode(0, 1), 0));
  EXPECT_EQ(mode_of(db, 7, 0, 0), std::vector<double>(9, 42.0));
}

TEST_F(BuiltModeReads, ValuesSetAgainReplaceTheCachedOnes) {
  EXPECT_EQ(mode_of(db, 7, 0, 1), component_of(stored_mode(0, 0), 1));
  ASSERT_EQ(ZEL_SetModeEntry(db, 7, 20, 0, 4, -8.0), 1);
  std::vector<double> expected = component_of(stored_mode(0, 0), 1);
  expected[4] = -8.0;
  EXPECT_EQ(mode_of(db, 7, 0, 1), expected);

  EXPECT_EQ(mode_of(db, 0, 1, 0), component_of(stored_pre_values(1), 0));
  double row[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(ZEL_SetPreStressVec(db, 10, row), 1);
  EXPECT_EQ(mode_of(db, 0, 1, 0), (std::vector<double>{-100.5, -101.5, -102.5, 1, 2, 3}));
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
  mode_of(db, 7, 0, 0);
  for (int id = 40; id < 48; ++id) ASSERT_EQ(ZEL_SetNodeCoordinates(db, id, 0, 0, 0), 1);
  std::vector<double> expected = component_of(stored_mode(0, 0), 0);
  expected.resize(3 * 11, 0.0);
  EXPECT_EQ(mode_of(db, 7, 0, 0), expected);
  std::vector<double> six(6 * 11, -1.0);
  ASSERT_EQ(ZEL_Read_Mode_Double(db, 9, 0, six.data()), 1);
  EXPECT_EQ(six[6 * 10 + 5], 0.0);
}

TEST(ModeQueriesWithoutModes, EmptyBodiesAnswerZero) {
  Database *db = ZEL_Create(3, 2);
  add_nodes(db);
  std::vector<double> values(9);
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_Mode(db, 7, 0, values.data(), 0), 0);
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

TEST_F(Eigenvalues, DiagonalMatricesStandIn) {
  db->gen_stiff = {{0, 0, 9.0}, {1, 1, 100.0}};
  db->gen_mass = {{1, 1, 4.0}};
  Outputs out;
  ASSERT_EQ(query(9, out), 1);
  EXPECT_EQ(out.eigenvalue, 25);
  EXPECT_EQ(out.rad_s, 5);
  EXPECT_NEAR(out.hz, 5 / (2 * M_PI), 1e-12);
  EXPECT_EQ(out.mass, 4);
  EXPECT_EQ(out.stiffness, 100);
}

TEST_F(Eigenvalues, MissingMassIsTinyRelativeToStiffness) {
  db->gen_stiff = {{0, 0, 100.0}, {1, 1, 0.5}};
  Outputs out;
  ASSERT_EQ(query(7, out), 1);
  EXPECT_EQ(out.mass, 1e-14);
  EXPECT_DOUBLE_EQ(out.eigenvalue, 1e16);
  ASSERT_EQ(query(9, out), 1);
  EXPECT_EQ(out.mass, 1e-16);
  EXPECT_DOUBLE_EQ(out.eigenvalue, 0.5e16);
  // Neither matrix holds the mode: no stiffness, the absolute tiny mass.
  db->gen_stiff.clear();
  ASSERT_EQ(query(9, out), 1);
  EXPECT_EQ(out.stiffness, 0);
  EXPECT_EQ(out.mass, 1e-16);
  EXPECT_EQ(out.eigenvalue, 0);
  EXPECT_EQ(out.rad_s, 0);
}

TEST_F(Eigenvalues, AnOffDiagonalFirstEntryZeroesEverything) {
  db->gen_stiff = {{0, 1, 3.0}, {1, 1, 100.0}};
  db->gen_mass = {{1, 1, 4.0}};
  Outputs out;
  EXPECT_EQ(query(9, out), 0);
  EXPECT_EQ((std::vector<double>{out.eigenvalue, out.hz, out.rad_s, out.mass, out.stiffness}),
            std::vector<double>(5, 0.0));
  // The mass matrix is scanned the same way.
  db->gen_stiff = {{1, 1, 100.0}};
  db->gen_mass = {{1, 0, 4.0}, {1, 1, 4.0}};
  out = Outputs{};
  EXPECT_EQ(query(9, out), 0);
  EXPECT_EQ(out.eigenvalue, 0.0);
}

TEST_F(Eigenvalues, AnOffDiagonalEntryAfterTheModesOwnIsNotReached) {
  db->gen_stiff = {{0, 0, 100.0}, {0, 1, 3.0}};
  db->gen_mass = {{0, 0, 4.0}};
  Outputs out;
  EXPECT_EQ(query(7, out), 1);
  EXPECT_EQ(out.eigenvalue, 25);
  EXPECT_EQ(query(9, out), 0);
}

TEST_F(Eigenvalues, NegativeStiffnessGivesNegativeFrequencies) {
  db->gen_stiff = {{0, 0, -100.0}};
  db->gen_mass = {{0, 0, 4.0}};
  Outputs out;
  ASSERT_EQ(query(7, out), 1);
  EXPECT_EQ(out.eigenvalue, -25);
  EXPECT_EQ(out.rad_s, -5);
  EXPECT_NEAR(out.hz, -5 / (2 * M_PI), 1e-12);
}

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

}  // namespace
