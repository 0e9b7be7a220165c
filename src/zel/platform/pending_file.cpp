#include "platform/pending_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel {
namespace {

constexpr char kUniqueSuffix[] = ".XXXXXX";
constexpr std::size_t kUniqueLength = 6;
// Links followed from the target before giving up, as the system does.
constexpr int kMostLinkHops = 40;
// Names tried when a nameless file is given one that another file took.
constexpr int kNamingAttempts = 100;

std::string directory_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file `path` finally names when it is a symbolic link (or a chain of
// them; the last link may dangle, as when writing through it creates the
// file), else `path` itself. False with errno set on a loop or an
// unreadable link.
bool resolve_links(const std::string &path, std::string &resolved) {
  resolved = path;
  for (int hop = 0; hop < kMostLinkHops; ++hop) {
    struct stat status;
    if (::lstat(resolved.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    std::vector<char> link(PATH_MAX);
    const ssize_t length = ::readlink(resolved.c_str(), link.data(), link.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) == link.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string leads_to(link.data(), static_cast<std::size_t>(length));
    resolved = leads_to.front() == '/' ? leads_to : directory_of(resolved) + "/" + leads_to;
  }
  errno = ELOOP;
  return false;
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

// The pattern with its XXXXXX replaced by letters and digits at random.
std::string unique_name(std::string pattern) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  for (std::size_t at = pattern.size() - kUniqueLength; at < pattern.size(); ++at) pattern[at] = kLetters[pick(random)];
  return pattern;
}

// A nameless file is given its name through the process's own view of
// its descriptors; without that view it could never be named.
bool can_name_nameless_files() { return ::access("/proc/self/fd", X_OK) == 0; }

// Whether a failed nameless open means only that the file system (or the
// kernel) has no nameless files, so that a named one may serve instead.
bool lacks_nameless_files(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Holds off the signals that end a program at a user's request, for the
// moment the finished file carries a name of its own that is not yet the
// target's: a signal then would leave that name behind.
class InterruptionsHeld {
 public:
  InterruptionsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &held, &saved_);
  }
  ~InterruptionsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  InterruptionsHeld(const InterruptionsHeld &) = delete;
  InterruptionsHeld &operator=(const InterruptionsHeld &) = delete;

 private:
  sigset_t saved_{};
};

}  // namespace

std::string PendingFile::hidden_name_pattern(const std::string &target) {
  const std::size_t kept = NAME_MAX - 1 - (sizeof kUniqueSuffix - 1);
  return directory_of(target) + "/." + base_name_of(target).substr(0, kept) + kUniqueSuffix;
}

bool PendingFile::create(const std::string &target, bool xdr_encoding, bool double_precision, std::string &problem) {
  abandon();
  if (open_beside(target, xdr_encoding, double_precision)) return true;
  problem = std::strerror(errno);
  return false;
}

// create(), with errno telling why it failed.
bool PendingFile::open_beside(const std::string &target, bool xdr_encoding, bool double_precision) {
  std::string resolved;
  if (!resolve_links(target, resolved)) return false;
  if (base_name_of(resolved).empty()) {
    errno = EISDIR;
    return false;
  }
  int descriptor = -1;
  if (can_name_nameless_files()) {
    descriptor = ::open(directory_of(resolved).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor < 0 && !lacks_nameless_files(errno)) return false;
  }
  if (descriptor >= 0) {
    descriptor_ = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  } else {
    const std::string pattern = hidden_name_pattern(resolved);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0) return false;
    temporary_ = name.data();
  }
  std::FILE *stream = temporary_.empty() && descriptor_ < 0 ? nullptr : ::fdopen(descriptor, "wb");
  if (stream == nullptr) {
    const int error = errno;
    ::close(descriptor);
    abandon();
    errno = error;
    return false;
  }
  target_ = resolved;
  file.attach(stream, temporary_.empty() ? resolved : temporary_, FileMode::kWrite, xdr_encoding, double_precision);
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
    problem = failure("write");
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
  if (done) done = temporary_.empty() ? link_into_place(problem) : commit_named(problem);
  abandon();
  return done;
}

bool PendingFile::commit_named(std::string &problem) {
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    problem = failure("rename");
    return false;
  }
  temporary_.clear();
  return true;
}

// The nameless file gets a hidden name of its own and is renamed from it
// over the target (a link straight to the target cannot replace a file
// already there).
bool PendingFile::link_into_place(std::string &problem) {
  const std::string view = "/proc/self/fd/" + std::to_string(descriptor_);
  const std::string pattern = hidden_name_pattern(target_);
  InterruptionsHeld held;
  for (int attempt = 0; attempt < kNamingAttempts; ++attempt) {
    const std::string name = unique_name(pattern);
    if (::linkat(AT_FDCWD, view.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temporary_ = name;
      return commit_named(problem);
    }
    if (errno != EEXIST) break;
  }
  problem = failure("link");
  return false;
}

void PendingFile::abandon() noexcept {
  file.close();
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
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
