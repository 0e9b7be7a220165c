// Keeps the files this process writes below a size for one scope, as a
// disk that fills up would: writing beyond it fails (with the signal it
// would raise ignored).
#ifndef ZEL_TEST_FILE_SIZE_LIMIT_H
#define ZEL_TEST_FILE_SIZE_LIMIT_H

#include <signal.h>
#include <sys/resource.h>

namespace zel_test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

}  // namespace zel_test

#endif  // ZEL_TEST_FILE_SIZE_LIMIT_H
