// A read-only view of a whole open file in memory. Mode values are decoded
// from where they lie in the page cache instead of being copied through the
// kernel into a buffer first, which halves the memory traffic of a read.
//
// A mapped page past the file's end faults the process, so every view is
// checked against the file's size as it is now, not as it was when mapped:
// a file cut short while a body is open reads as a short read, as through
// a stream. (A cut that lands between that check and the copy cannot be
// caught without a signal handler; no library should install one.)
#ifndef ZEL_FILE_MAPPING_H
#define ZEL_FILE_MAPPING_H

#include <cstddef>
#include <cstdint>

namespace zel {

class FileMapping {
 public:
  FileMapping() = default;
  FileMapping(const FileMapping &) = delete;
  FileMapping &operator=(const FileMapping &) = delete;
  ~FileMapping() { release(); }

  // Maps the first `size` bytes of descriptor `fd` when it is a regular
  // file at least that long; otherwise, or when the system refuses, maps
  // nothing (the caller reads through its stream instead). The descriptor
  // stays the caller's and must stay open while this maps it.
  void map(int fd, int64_t size);
  void release() noexcept;
  bool is_mapped() const { return base_ != nullptr; }

  // The `n` bytes at `offset`, where they lie in memory; null when nothing
  // is mapped or they do not lie wholly inside both the mapping and the
  // file as it is now.
  const unsigned char *bytes(int64_t offset, std::size_t n) const;

  void swap(FileMapping &other) noexcept;

 private:
  const unsigned char *base_ = nullptr;
  int64_t size_ = 0;
  int fd_ = -1;
};

}  // namespace zel

#endif  // ZEL_FILE_MAPPING_H
