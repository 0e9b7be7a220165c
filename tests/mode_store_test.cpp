// The temporary value store: its file, layout, growth and removal.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "body/tempstore.h"
#include "capture.h"
#include "file_size_limit.h"
#include "scoped_env.h"

using zel::TempStore;
using zel_test::capture;
using zel_test::FileSizeLimit;
using zel_test::ScopedEnv;
using zel_test::TempDir;

namespace {

std::vector<char> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes of a store's file through its descriptor: a store with a
// generated name has no name left on disk.
std::vector<char> store_bytes(const TempStore &store) {
  return file_bytes("/proc/self/fd/" + std::to_string(fileno(store.file.fp)));
}

template <class T>
T value_at(const std::vector<char> &bytes, std::size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

bool exists(const std::string &path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

// Six values that tell slot, position and component apart.
std::vector<double> record(int slot, int position) {
  std::vector<double> values(6);
  for (int c = 0; c < 6; ++c) values[c] = slot * 1000.0 + position + c * 0.125;
  return values;
}

class ModeStore : public ::testing::Test, protected zel_test::PrivateStoreDirectory {};

}  // namespace

TEST_F(ModeStore, NamedStoreIsLaidOutAsZeroSlotsOfSixValuesPerPosition) {
  ScopedEnv path("KOR_TMP_MOD", dir.file("modes.tmp"));
  TempStore store;
  const auto printed = capture([&] { ASSERT_TRUE(store.create(0, 2, 100, true)); });
  EXPECT_EQ(printed.out, "Temp modeshape file: " + dir.file("modes.tmp") + "\n");
  EXPECT_EQ(printed.err, "");
  EXPECT_EQ(store.name(), dir.file("modes.tmp"));

  std::vector<char> bytes = file_bytes(store.name());
  ASSERT_EQ(bytes.size(), 9600u);
  for (char byte : bytes) ASSERT_EQ(byte, 0);

  ASSERT_TRUE(store.write_record(1, 7, record(1, 7).data()));
  ASSERT_TRUE(store.write_value(0, 99, 5, -2.5));
  ASSERT_TRUE(store.flush());
  bytes = file_bytes(store.name());
  EXPECT_EQ(store.slot_offset(1), 4800);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(value_at<double>(bytes, 4800 + (6 * 7 + c) * 8), record(1, 7)[c]);
  EXPECT_EQ(value_at<double>(bytes, (6 * 99 + 5) * 8), -2.5);
  EXPECT_EQ(value_at<double>(bytes, (6 * 99 + 4) * 8), 0.0);
}

TEST_F(ModeStore, SinglePrecisionStoreHoldsFloatsAndReadsBackDoubles) {
  ScopedEnv path("KOR_TMP_STR", dir.file("stress.tmp"));
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(1, 3, 4, false)); });
  EXPECT_EQ(store.value_size(), 4);
  const std::vector<double> values = {0.1, -1e30, 3.0, 1e-3, 7.0, -0.0};
  ASSERT_TRUE(store.write_record(2, 3, values.data()));
  ASSERT_TRUE(store.flush());

  const std::vector<char> bytes = file_bytes(store.name());
  ASSERT_EQ(bytes.size(), 3u * 4 * 6 * 4);
  for (int c = 0; c < 6; ++c)
    EXPECT_EQ(value_at<float>(bytes, (2 * 24 + 6 * 3 + c) * 4), static_cast<float>(values[c]));

  std::vector<double> slot(24, 99.0);
  store.read_slot(2, slot.data(), 4);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(slot[18 + c], static_cast<double>(static_cast<float>(values[c])));
  for (int i = 0; i < 18; ++i) EXPECT_EQ(slot[i], 0.0);
}

TEST_F(ModeStore, WholeSlotsAreRewrittenAndReadBackAlone) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 3, 5, true)); });
  std::vector<double> first(30), second(30);
  for (int i = 0; i < 30; ++i) {
    first[i] = i + 0.5;
    second[i] = -i - 0.25;
  }
  store.write_slot(0, first.data(), 5);
  store.write_slot(1, second.data(), 5);
  store.write_slot(0, second.data(), 2);

  std::vector<double> slot(30);
  store.read_slot(0, slot.data(), 5);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(slot[i], i < 12 ? second[i] : first[i]) << i;
  store.read_slot(1, slot.data(), 5);
  EXPECT_EQ(slot, second);
  store.read_slot(2, slot.data(), 5);
  EXPECT_EQ(slot, std::vector<double>(30, 0.0));
}

TEST_F(ModeStore, GeneratedNamesAreUniqueOwnerOnlyFilesInTmpUnlinkedAtOnce) {
  TempStore modes, strain;
  const auto printed = capture([&] {
    ASSERT_TRUE(modes.create(0, 1, 10, true));
    ASSERT_TRUE(strain.create(2, 1, 10, true));
  });
  EXPECT_EQ(modes.name().rfind(dir.path() + "/zel_", 0), 0u) << modes.name();
  EXPECT_EQ(strain.name().rfind(dir.path() + "/zel_", 0), 0u) << strain.name();
  EXPECT_NE(modes.name(), strain.name());
  EXPECT_EQ(printed.out,
            "Temp modeshape file: " + modes.name() + "\nTemp modal strain file: " + strain.name() + "\n");

  // Held by the descriptor alone, so that no death of the process leaves them.
  EXPECT_TRUE(dir.entries().empty());
  struct stat status {};
  ASSERT_EQ(::fstat(fileno(modes.file.fp), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(status.st_nlink, 0u);

  ASSERT_TRUE(modes.write_value(0, 9, 5, 3.5));
  std::vector<double> values(60);
  ASSERT_TRUE(modes.read_slot(0, values.data(), 10));
  EXPECT_EQ(values[59], 3.5);
  modes.discard();
  EXPECT_FALSE(modes.is_open());
}

TEST_F(ModeStore, AFileTakingAGeneratedNameLaterIsNotTheStoresToDelete) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 1, 1, true)); });
  const std::string name = store.name();
  std::ofstream(name) << "someone else's";
  store.discard();
  EXPECT_TRUE(exists(name));
}

TEST_F(ModeStore, WithoutTmpTheSystemTemporaryDirectoryIsUsed) {
  TempDir system_dir;
  ScopedEnv no_tmp("TMP", std::nullopt);
  ScopedEnv tmpdir("TMPDIR", system_dir.path());
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 1, 1, true)); });
  EXPECT_EQ(store.name().rfind(system_dir.path() + "/zel_", 0), 0u) << store.name();
}

TEST_F(ModeStore, NamedPathReplacesWhatIsThereWithoutWritingThroughIt) {
  const std::string target = dir.file("precious");
  std::ofstream(target) << "keep me";
  const std::string link = dir.file("link.tmp");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ScopedEnv path("KOR_TMP_MOD", link);

  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 1, 2, true)); });
  EXPECT_EQ(file_bytes(link).size(), 96u);
  const std::vector<char> untouched = file_bytes(target);
  EXPECT_EQ(std::string(untouched.begin(), untouched.end()), "keep me");
}

TEST_F(ModeStore, DiscardLeavesAFileThatReplacedTheStoreUnderItsName) {
  ScopedEnv path("KOR_TMP_MOD", dir.file("shared.tmp"));
  TempStore first, second;
  capture([&] {
    ASSERT_TRUE(first.create(0, 1, 2, true));
    ASSERT_TRUE(second.create(0, 1, 3, true));
  });
  first.write_value(0, 1, 1, 4.0);  // its own, now nameless, file
  first.discard();
  EXPECT_EQ(file_bytes(second.name()).size(), 144u);
  second.discard();
  EXPECT_FALSE(exists(dir.file("shared.tmp")));
}

TEST_F(ModeStore, AFlushedStoreReadsBackThroughItsFileStream) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(2, 2, 3, false)); });
  ASSERT_TRUE(store.write_record(1, 2, record(1, 2).data()));
  ASSERT_TRUE(store.flush());
  ASSERT_TRUE(store.file.seek(store.slot_offset(1) + 2 * 6 * 4));
  std::vector<double> values(6);
  ASSERT_TRUE(store.file.read_reals(values.data(), 6));
  for (int c = 0; c < 6; ++c) EXPECT_EQ(values[c], static_cast<double>(static_cast<float>(record(1, 2)[c])));
  EXPECT_FALSE(store.file.read_reals(values.data(), 1));  // the end of the grid
}

TEST_F(ModeStore, FullDiskIsReportedAtCreationAndLeavesNoFile) {
  TempStore store;
  zel_test::Printed printed;
  {
    FileSizeLimit limit(4096);
    printed = capture([&] { EXPECT_FALSE(store.create(0, 10, 1000, true)); });
  }
  const std::string name = printed.out.substr(std::strlen("Temp modeshape file: "),
                                              printed.out.size() - std::strlen("Temp modeshape file: ") - 1);
  EXPECT_EQ(printed.err,
            "ERROR:  Insufficient disk space for temporary mode shape file  " + name +
                ".\nERROR:  To write elsewhere, specify directory name in environment variable TMP,\n"
                "ERROR:  or specify path name (file name) in environment variable KOR_TMP_MOD.\n");
  EXPECT_FALSE(store.is_open());
  EXPECT_FALSE(exists(name));
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(ModeStore, EmptyGridIsAMemoryFailureBeforeAnyFile) {
  TempStore store;
  const auto printed = capture([&] { EXPECT_FALSE(store.create(0, 3, 0, true)); });
  EXPECT_EQ(printed.err.rfind("ERROR:  Failed to allocate memory at line ", 0), 0u) << printed.err;
  EXPECT_NE(printed.err.find(" in file zelset.\n"), std::string::npos);
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(ModeStore, GrowingMovesEverySlotToTheWiderStrideAndZeroesNewRecords) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 3, 2, true)); });
  for (int slot = 0; slot < 3; ++slot)
    for (int position = 0; position < 2; ++position) store.write_record(slot, position, record(slot, position).data());

  ASSERT_TRUE(store.ensure_positions(3));  // writes the staged values out first
  EXPECT_EQ(store.positions(), 4);
  EXPECT_EQ(store.slot_offset(2), 2 * 4 * 48);
  const std::vector<char> bytes = store_bytes(store);
  ASSERT_EQ(bytes.size(), 3u * 4 * 48);
  for (int slot = 0; slot < 3; ++slot) {
    std::vector<double> values(24);
    store.read_slot(slot, values.data(), 4);
    for (int position = 0; position < 4; ++position)
      for (int c = 0; c < 6; ++c) {
        const double expected = position < 2 ? record(slot, position)[c] : 0.0;
        EXPECT_EQ(values[6 * position + c], expected) << slot << " " << position << " " << c;
        EXPECT_EQ(value_at<double>(bytes, ((slot * 4 + position) * 6 + c) * 8), expected);
      }
  }
  EXPECT_TRUE(store.ensure_positions(4));
  EXPECT_EQ(store.positions(), 4);
}

TEST_F(ModeStore, GrowthRefusedByTheDiskKeepsTheStoreAsItWas) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 2, 100, true)); });
  store.write_record(1, 99, record(1, 99).data());
  zel_test::Printed printed;
  {
    FileSizeLimit limit(9600);
    printed = capture([&] { EXPECT_FALSE(store.ensure_positions(101)); });
  }
  EXPECT_EQ(printed.err.rfind("ERROR:  Insufficient disk space for temporary mode shape file  " + store.name(), 0),
            0u)
      << printed.err;
  EXPECT_EQ(store.positions(), 100);
  EXPECT_EQ(store_bytes(store).size(), 9600u);
  std::vector<double> values(600);
  store.read_slot(1, values.data(), 100);
  EXPECT_EQ(std::vector<double>(values.begin() + 594, values.end()), record(1, 99));
}

TEST_F(ModeStore, ValuesOutOfLineWithTheStagedRunKeepEverythingSetBefore) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 2, 50, true)); });
  // Jumps back and forth inside one window, whole records and components.
  for (int position : {5, 6, 2, 40, 3, 7, 0}) ASSERT_TRUE(store.write_record(1, position, record(1, position).data()));
  ASSERT_TRUE(store.write_value(1, 6, 2, -1.0));
  ASSERT_TRUE(store.write_value(1, 49, 5, -2.0));
  ASSERT_TRUE(store.write_record(1, 5, record(1, 50).data()));

  std::vector<double> expected(300, 0.0);
  for (int position : {6, 2, 40, 3, 7, 0})
    std::copy_n(record(1, position).begin(), 6, expected.begin() + 6 * position);
  std::copy_n(record(1, 50).begin(), 6, expected.begin() + 30);
  expected[6 * 6 + 2] = -1.0;
  expected[6 * 49 + 5] = -2.0;
  std::vector<double> slot(300);
  ASSERT_TRUE(store.read_slot(1, slot.data(), 50));
  EXPECT_EQ(slot, expected);
  ASSERT_TRUE(store.read_slot(0, slot.data(), 50));
  EXPECT_EQ(slot, std::vector<double>(300, 0.0));
}

TEST_F(ModeStore, ComponentByComponentFillingMatchesRecordFilling) {
  TempStore by_record, by_component;
  capture([&] {
    ASSERT_TRUE(by_record.create(0, 3, 400, false));
    ASSERT_TRUE(by_component.create(0, 3, 400, false));
  });
  for (int position = 0; position < 400; ++position)
    for (int slot = 0; slot < 3; ++slot) {
      const std::vector<double> values = record(slot, position);
      ASSERT_TRUE(by_record.write_record(slot, position, values.data()));
      for (int c = 0; c < 6; ++c) ASSERT_TRUE(by_component.write_value(slot, position, c, values[c]));
    }
  std::vector<double> a(2400), b(2400);
  for (int slot = 0; slot < 3; ++slot) {
    ASSERT_TRUE(by_record.read_slot(slot, a.data(), 400));
    ASSERT_TRUE(by_component.read_slot(slot, b.data(), 400));
    EXPECT_EQ(a, b) << slot;
    EXPECT_EQ(a[6 * 399 + 1], static_cast<double>(static_cast<float>(record(slot, 399)[1])));
  }
}

TEST_F(ModeStore, MoreSlotsThanTheStagingMemoryHoldsAtOnceLoseNothing) {
  // 1100 slots of 400 records: more windows than the staging memory keeps,
  // so filling node by node keeps handing window buffers over.
  constexpr int kSlots = 1100, kPositions = 400;
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, kSlots, kPositions, true)); });
  for (int position : {0, 1, 2, 399})
    for (int slot = 0; slot < kSlots; ++slot) ASSERT_TRUE(store.write_record(slot, position, record(slot, position).data()));
  std::vector<double> values(6 * kPositions);
  for (int slot = 0; slot < kSlots; ++slot) {
    ASSERT_TRUE(store.read_slot(slot, values.data(), kPositions));
    for (int position : {0, 1, 2, 399})
      ASSERT_EQ(std::vector<double>(values.begin() + 6 * position, values.begin() + 6 * position + 6),
                record(slot, position))
          << slot << " " << position;
    ASSERT_EQ(values[6 * 3], 0.0);
  }
}

// A reader that only passes records on takes them where they lie: values
// still staged are written out first, and the range is checked against the
// grid; a single-precision store has no doubles to give.
TEST_F(ModeStore, MappedRecordsAreTheStoredValuesInPlace) {
  TempStore store;
  capture([&] { ASSERT_TRUE(store.create(0, 3, 20, true)); });
  for (int p = 0; p < 20; ++p) ASSERT_TRUE(store.write_record(1, p, record(1, p).data()));
  const double *mapped = store.mapped_records(1, 5, 10);
  ASSERT_NE(mapped, nullptr);
  for (int p = 0; p < 10; ++p)
    EXPECT_EQ(std::vector<double>(mapped + 6 * p, mapped + 6 * p + 6), record(1, 5 + p)) << p;
  EXPECT_NE(store.mapped_records(2, 0, 20), nullptr);
  const struct {
    int slot, first, count;
  } outside[] = {{1, 15, 6}, {3, 0, 1}, {-1, 0, 1}, {1, -1, 2}, {1, 0, 21}};
  for (const auto &range : outside)
    EXPECT_EQ(store.mapped_records(range.slot, range.first, range.count), nullptr)
        << range.slot << " " << range.first << " " << range.count;

  TempStore narrow;
  capture([&] { ASSERT_TRUE(narrow.create(1, 1, 4, false)); });
  EXPECT_EQ(narrow.mapped_records(0, 0, 4), nullptr);
}
