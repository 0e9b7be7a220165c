// Damaged files: every prefix of a valid file of each version code, and
// copies with random bytes changed (fixed seed), are read from memory. Each
// read either fails with a message or succeeds; none reads outside a
// buffer (the sanitizer build checks that), hangs, or asks for memory out
// of proportion to the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <initializer_list>
#include <string>
#include <random>
#include <vector>

#include "allocation_control.h"
#include "body/database.h"
#include "zel.h"
#include "zel_file_builder.h"

namespace {

struct Outcome {
  bool read = false;
  std::string err;
};

// Standard error goes to one temporary file for a whole test (a capture
// per read would cost more than the read); each read's share is the text
// appended while it ran.
class ErrorLog {
 public:
  ErrorLog() {
    char path[] = "/tmp/zel_reader_errors_XXXXXX";
    const int log = mkstemp(path);
    unlink(path);
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(log, STDERR_FILENO);
    close(log);
  }
  ~ErrorLog() {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  ErrorLog(const ErrorLog &) = delete;
  ErrorLog &operator=(const ErrorLog &) = delete;

  template <class Body>
  std::string during(Body &&body) {
    std::fflush(stderr);
    const off_t start = lseek(STDERR_FILENO, 0, SEEK_CUR);
    body();
    std::fflush(stderr);
    const off_t end = lseek(STDERR_FILENO, 0, SEEK_CUR);
    std::string text(static_cast<std::size_t>(std::max<off_t>(end - start, 0)), '\0');
    if (pread(STDERR_FILENO, text.data(), text.size(), start) != static_cast<ssize_t>(text.size()))
      text = "(unreadable)";
    return text;
  }

 private:
  int saved_ = -1;
};

// Reads the bytes as a ZEL file and releases the database.
Outcome read_from_memory(ErrorLog &log, std::vector<unsigned char> bytes) {
  Outcome outcome;
  outcome.err = log.during([&] {
    std::FILE *stream = fmemopen(bytes.data(), bytes.size(), "rb");
    if (stream == nullptr) return;
    Database *db = ZEL_Create(0, 0);
    outcome.read = ZEL_ReadZEL(db, stream, "in memory") == 1;
    ZEL_UnLink(db);
  });
  return outcome;
}

class DamagedFile : public ::testing::TestWithParam<uint32_t> {
 protected:
  const std::vector<unsigned char> valid = zel_test::zel_file_bytes(zel_test::sample_body(GetParam()));
  ErrorLog log;
};

TEST_P(DamagedFile, EveryPrefixFailsWithAMessage) {
  ASSERT_GT(valid.size(), 648u);
  const Outcome whole = read_from_memory(log, valid);
  ASSERT_TRUE(whole.read) << whole.err;
  const std::size_t largest = zel_test::largest_allocation_in([&] {
    for (std::size_t size = 1; size < valid.size(); ++size) {
      const Outcome cut = read_from_memory(log, std::vector<unsigned char>(valid.begin(), valid.begin() + size));
      // Every byte of the file belongs to a block the reader reads or
      // steps over, so any cut leaves something missing.
      ASSERT_FALSE(cut.read) << "prefix of " << size << " bytes";
      ASSERT_EQ(cut.err.rfind("ERROR:  ", 0), 0u) << "prefix of " << size << " bytes: " << cut.err;
    }
  });
  EXPECT_LE(largest, zel_test::kModestAllocation);
}

TEST_P(DamagedFile, ChangedBytesEitherReadOrFailWithAMessage) {
  std::mt19937 random(20261207u + GetParam());
  std::uniform_int_distribution<std::size_t> position(0, valid.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> changes(1, 4);
  int failed = 0;
  const std::size_t largest = zel_test::largest_allocation_in([&] {
    for (int copy = 0; copy < 400; ++copy) {
      std::vector<unsigned char> damaged = valid;
      for (int n = changes(random); n > 0; --n) damaged[position(random)] = static_cast<unsigned char>(byte(random));
      const Outcome outcome = read_from_memory(log, damaged);
      if (outcome.read) continue;
      ++failed;
      ASSERT_EQ(outcome.err.rfind("ERROR:  ", 0), 0u) << "copy " << copy << ": " << outcome.err;
    }
  });
  EXPECT_LE(largest, zel_test::kModestAllocation);
  // Most single-byte changes land in values, which read as other values;
  // the counts and flags they hit must still have been refused somewhere.
  EXPECT_GT(failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Reader, DamagedFile, ::testing::ValuesIn(zel_test::kAllVersionCodes));

void append_ints(std::vector<unsigned char> &bytes, std::initializer_list<int32_t> values) {
  for (int32_t value : values) {
    const auto *first = reinterpret_cast<const unsigned char *>(&value);
    bytes.insert(bytes.end(), first, first + sizeof value);
  }
}

// A memory stream refuses to seek past its end. A block whose offset lies
// there cannot be reached, and must not be read from wherever the previous
// block left off: here that would be a stress count of 2^30 modes.
TEST(UnreachableBlock, IsReadAsNothingWithItsOwnMessage) {
  std::vector<unsigned char> bytes;
  append_ints(bytes, {10});
  bytes.resize(4 + 544, ' ');
  bytes.resize(4 + 544 + 100, 0);
  for (std::size_t position : {4, 8, 16}) bytes[4 + 544 + position] = 1;  // mode shapes, units, stress
  append_ints(bytes, {0, 0});              // mode shapes: no modes, no nodes
  append_ints(bytes, {1 << 30, 7, 0, 0});  // a units block cut short
  ErrorLog log;
  Outcome outcome;
  const std::size_t largest = zel_test::largest_allocation_in([&] { outcome = read_from_memory(log, bytes); });
  EXPECT_FALSE(outcome.read);
  EXPECT_EQ(outcome.err,
            "ERROR:  The file ends at byte 672, inside block 11 (units), which should run from byte 656 to byte 720: "
            "the file is truncated or the block is damaged.\n"
            "ERROR:  Problem in modal stress block\nERROR:  Problem when reading Modal Stress info\n");
  EXPECT_LE(largest, zel_test::kModestAllocation);
}

}  // namespace
