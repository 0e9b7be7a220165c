// Environment variables and private directories that last for one scope.
#ifndef ZEL_TEST_SCOPED_ENV_H
#define ZEL_TEST_SCOPED_ENV_H

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zel_test {

// Sets a variable (or unsets it, given nullopt) and restores the value it
// had, or its absence, at the end of the scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string> &value) : name_(std::move(name)) {
    if (const char *old = std::getenv(name_.c_str())) saved_ = old;
    if (value)
      setenv(name_.c_str(), value->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ~ScopedEnv() {
    if (saved_)
      setenv(name_.c_str(), saved_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// A new empty directory under the system's temporary directory, removed
// with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

  // Names of the entries in the directory, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// A private TMP for the temporary value stores, with no store path from
// KOR_TMP_MOD, KOR_TMP_STR or KOR_TMP_STN leaking in from outside.
struct PrivateStoreDirectory {
  TempDir dir;
  ScopedEnv tmp{"TMP", dir.path()};
  ScopedEnv mode_path{"KOR_TMP_MOD", std::nullopt};
  ScopedEnv stress_path{"KOR_TMP_STR", std::nullopt};
  ScopedEnv strain_path{"KOR_TMP_STN", std::nullopt};
};

}  // namespace zel_test

#endif  // ZEL_TEST_SCOPED_ENV_H
