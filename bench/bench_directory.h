// A private directory under TMP (or /tmp) that becomes TMP for a whole
// benchmark run, so that temporary stores and files land in it; removed
// with everything in it at exit.
#ifndef ZEL_BENCH_DIRECTORY_H
#define ZEL_BENCH_DIRECTORY_H

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zel_bench {

class BenchDirectory {
 public:
  BenchDirectory() {
    const char *tmp = std::getenv("TMP");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zel_bench_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    path_ = pattern;
    setenv("TMP", path_.c_str(), 1);
    unsetenv("KOR_TMP_MOD");
  }
  ~BenchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  BenchDirectory(const BenchDirectory &) = delete;
  BenchDirectory &operator=(const BenchDirectory &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const char *name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace zel_bench

#endif  // ZEL_BENCH_DIRECTORY_H
