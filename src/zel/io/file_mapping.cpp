#include "io/file_mapping.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <limits>
#include <utility>

namespace zel {
namespace {

// The size of the file behind `fd` now; -1 when the system cannot say.
int64_t current_size(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

bool lies_within(int64_t offset, std::size_t n, int64_t size) {
  return offset >= 0 && offset <= size && n <= static_cast<uint64_t>(size - offset);
}

}  // namespace

void FileMapping::map(int fd, int64_t size) {
  release();
  struct stat status {};
  if (fd < 0 || size <= 0 || static_cast<uint64_t>(size) > std::numeric_limits<std::size_t>::max() ||
      ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < size)
    return;
  void *view = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return;
  base_ = static_cast<const unsigned char *>(view);
  size_ = size;
  fd_ = fd;
}

void FileMapping::release() noexcept {
  if (base_ != nullptr) ::munmap(const_cast<unsigned char *>(base_), static_cast<std::size_t>(size_));
  base_ = nullptr;
  size_ = 0;
  fd_ = -1;
}

const unsigned char *FileMapping::bytes(int64_t offset, std::size_t n) const {
  if (base_ == nullptr || !lies_within(offset, n, size_) || !lies_within(offset, n, current_size(fd_)))
    return nullptr;
  return base_ + offset;
}

void FileMapping::swap(FileMapping &other) noexcept {
  std::swap(base_, other.base_);
  std::swap(size_, other.size_);
  std::swap(fd_, other.fd_);
}

}  // namespace zel
