#include "blocks_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace zel_test {

BlockFile::BlockFile(Encoding encoding) : encoding_(encoding) {
  char path[] = "/tmp/zel_blocks_XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  path_ = path;
}

BlockFile::~BlockFile() {
  reader_.reset();
  std::remove(path_.c_str());
}

bool BlockFile::write(const std::function<bool(zel::ZelFile &)> &encode) {
  reader_.reset();
  std::FILE *stream = std::fopen(path_.c_str(), "wb");
  if (stream == nullptr) return false;
  zel::ZelFile file;
  file.attach(stream, path_, zel::FileMode::kWrite, encoding_.xdr, encoding_.double_precision);
  return encode(file);
}

zel::ZelFile &BlockFile::reader() {
  reader_ = std::make_unique<zel::ZelFile>();
  std::FILE *stream = std::fopen(path_.c_str(), "rb");
  reader_->attach(stream, path_, zel::FileMode::kRead, encoding_.xdr, encoding_.double_precision);
  return *reader_;
}

int64_t BlockFile::size() const {
  struct stat status {};
  return stat(path_.c_str(), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

void BlockFile::truncate(int64_t size) {
  reader_.reset();
  if (::truncate(path_.c_str(), static_cast<off_t>(size)) != 0) std::abort();
}

}  // namespace zel_test
