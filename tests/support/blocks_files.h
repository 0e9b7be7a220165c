// Temporary ZEL files in each encoding and precision, for the block tests:
// write a block through the encoders, read it back through the decoders,
// and damage it on the way (truncation) to play a hostile file.
#ifndef ZEL_TEST_BLOCKS_FILES_H
#define ZEL_TEST_BLOCKS_FILES_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "io/zelfile.h"

namespace zel_test {

struct Encoding {
  bool xdr;
  bool double_precision;
  const char *name;  // usable as a test-name suffix
};

inline constexpr Encoding kNativeDouble{false, true, "NativeDouble"};
inline constexpr Encoding kNativeSingle{false, false, "NativeSingle"};
inline constexpr Encoding kXdrDouble{true, true, "XdrDouble"};
inline constexpr Encoding kXdrSingle{true, false, "XdrSingle"};
inline constexpr Encoding kAllEncodings[] = {kNativeDouble, kNativeSingle, kXdrDouble, kXdrSingle};

// A file under /tmp, created with mkstemp and removed when this goes.
class BlockFile {
 public:
  explicit BlockFile(Encoding encoding);
  ~BlockFile();
  BlockFile(const BlockFile &) = delete;
  BlockFile &operator=(const BlockFile &) = delete;

  // Replaces the file's contents with what `encode` writes; false when
  // the file cannot be opened or `encode` gives false.
  bool write(const std::function<bool(zel::ZelFile &)> &encode);
  // The file opened for reading at offset 0 (the previous reader closed).
  zel::ZelFile &reader();
  int64_t size() const;
  void truncate(int64_t size);
  const std::string &path() const { return path_; }

 private:
  Encoding encoding_;
  std::string path_;
  std::unique_ptr<zel::ZelFile> reader_;
};

}  // namespace zel_test

#endif  // ZEL_TEST_BLOCKS_FILES_H
