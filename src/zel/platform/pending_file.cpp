#include "platform/pending_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace {

std::string directory_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What a file created at the target with fopen would get: the target's
// own permissions when it exists, else 0666 less the process's umask.
mode_t final_permissions(const std::string &target) {
  struct stat status;
  if (::stat(target.c_str(), &status) == 0) return status.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string failure(const char *step) { return std::string(step) + ": " + std::strerror(errno); }

}  // namespace

bool PendingFile::create(const std::string &target, bool xdr_encoding, bool double_precision) {
  abandon();
  const std::string base = base_name_of(target);
  if (base.empty()) {
    errno = EISDIR;
    return false;
  }
  std::string pattern = directory_of(target) + "/." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = ::mkstemp(name.data());
  if (descriptor < 0) return false;
  std::FILE *stream = ::fdopen(descriptor, "wb");
  if (stream == nullptr) {
    const int error = errno;
    ::close(descriptor);
    ::unlink(name.data());
    errno = error;
    return false;
  }
  target_ = target;
  temporary_ = name.data();
  file.attach(stream, temporary_, FileMode::kWrite, xdr_encoding, double_precision);
  return true;
}

bool PendingFile::commit(std::string &problem) {
  std::FILE *stream = file.fp;
  if (stream == nullptr) {
    problem = "no file is open";
    return false;
  }
  bool done = true;
  if (std::fflush(stream) != 0) {
    problem = failure("flush");
    done = false;
  } else if (::fsync(::fileno(stream)) != 0) {
    problem = failure("sync");
    done = false;
  } else if (::fchmod(::fileno(stream), final_permissions(target_)) != 0) {
    problem = failure("permissions");
    done = false;
  }
  if (!file.close_checked() && done) {
    problem = failure("close");
    done = false;
  }
  if (done && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    problem = failure("rename");
    done = false;
  }
  if (done) temporary_.clear();
  abandon();
  return done;
}

void PendingFile::abandon() noexcept {
  file.close();
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool names_file_of(const std::string &path, const ZelFile &file) {
  struct stat wanted, held;
  if (::stat(path.c_str(), &wanted) != 0) return false;
  const bool known = file.fp != nullptr ? ::fstat(::fileno(file.fp), &held) == 0
                                        : !file.name.empty() && ::stat(file.name.c_str(), &held) == 0;
  return known && wanted.st_dev == held.st_dev && wanted.st_ino == held.st_ino;
}

}  // namespace zel
