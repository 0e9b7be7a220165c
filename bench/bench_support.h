// Shared by the benchmark programs: a private temporary directory and
// fixed-seed data.
#ifndef ZEL_BENCH_SUPPORT_H
#define ZEL_BENCH_SUPPORT_H

#include <cstdlib>
#include <random>
#include <vector>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zel_bench {

// A private directory under TMP (or /tmp) that becomes TMP for a whole
// benchmark run, so that temporary stores and files land in it; removed
// with everything in it at exit.
class BenchDirectory {
 public:
  BenchDirectory() {
    const char *tmp = std::getenv("TMP");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zel_bench_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    path_ = pattern;
    setenv("TMP", path_.c_str(), 1);
    for (const char *path_variable : {"KOR_TMP_MOD", "KOR_TMP_STR", "KOR_TMP_STN"}) unsetenv(path_variable);
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

// The one directory of this run.
inline BenchDirectory &bench_directory() {
  static BenchDirectory directory;
  return directory;
}

// `count` reproducible values in [-1, 1).
inline std::vector<double> random_values(std::size_t count) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<double> values(count);
  for (double &v : values) v = value(random);
  return values;
}

}  // namespace zel_bench

#endif  // ZEL_BENCH_SUPPORT_H
