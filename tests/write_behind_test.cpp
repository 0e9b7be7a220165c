// Starting the disk during a long write: the file keeps its bytes and
// position, and bytes the system refuses when they are pushed out early
// fail the write as a refused write does.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "io/write_behind.h"
#include "io/zelfile.h"
#include "scratch_dir.h"

namespace {

using zel::FileMode;
using zel::WriteBehind;
using zel::ZelFile;

constexpr std::size_t kStart = static_cast<std::size_t>(WriteBehind::kStartEvery);

std::vector<char> file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void open_native(ZelFile &file, const std::string &path) {
  std::FILE *stream = std::fopen(path.c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  file.attach(stream, path, FileMode::kWrite, false, true);
}

// Runs of bytes, each followed by one int that waits in the stream's
// buffer, past two starts: what reaches the file is what was written, in
// order, and the position moves only with the writes.
TEST(WriteBehind, TheFileKeepsItsBytesAndPositionAcrossStarts) {
  const zel_test::ScratchDir dir;
  const std::string path = dir.file("paced.bin");
  const std::size_t run = kStart / 3 + 1;  // starts fall inside runs
  std::vector<char> expected;
  {
    ZelFile file;
    open_native(file, path);
    WriteBehind pacing(file);
    for (int32_t k = 0; k < 7; ++k) {
      const std::vector<char> bytes(run, static_cast<char>('a' + k));
      ASSERT_TRUE(file.write_chars(bytes.data(), bytes.size()));
      ASSERT_TRUE(file.write_int(k));
      expected.insert(expected.end(), bytes.begin(), bytes.end());
      const char *tail = reinterpret_cast<const char *>(&k);
      expected.insert(expected.end(), tail, tail + sizeof k);
      ASSERT_TRUE(pacing.written()) << k;
      ASSERT_EQ(file.tell(), static_cast<int64_t>(expected.size())) << k;
    }
    ASSERT_TRUE(file.close_checked());
  }
  ASSERT_GT(expected.size(), 2 * kStart);
  EXPECT_TRUE(file_bytes(path) == expected);
}

// The bytes still in the stream's buffer go to the system at a start; a
// file-size limit refuses them there, and the write must fail with the
// system's reason, not pass on to a sync that might no longer see it.
TEST(WriteBehind, BytesRefusedWhenPushedOutFailTheWriteWithTheSystemsReason) {
  const zel_test::ScratchDir dir;
  const std::string path = dir.file("limited.bin");
  ZelFile file;
  open_native(file, path);
  WriteBehind pacing(file);
  const std::vector<char> bulk(kStart, 'b');
  const std::vector<char> buffered(1000, 't');
  bool pushed = true;
  int error = 0;
  {
    zel_test::FileSizeLimit limit(kStart + 100);
    ASSERT_TRUE(file.write_chars(bulk.data(), bulk.size()));
    ASSERT_TRUE(file.write_chars(buffered.data(), buffered.size()));  // held in the buffer
    errno = 0;
    pushed = pacing.written();
    error = errno;
  }
  EXPECT_FALSE(pushed);
  EXPECT_EQ(error, EFBIG);
  EXPECT_NE(std::ferror(file.fp), 0);
}

}  // namespace
