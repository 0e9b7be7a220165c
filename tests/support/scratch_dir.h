// A private temporary directory for one test's files, removed with
// everything in it when the test ends.
#ifndef ZEL_TEST_SCRATCH_DIR_H
#define ZEL_TEST_SCRATCH_DIR_H

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace zel_test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel_scratch_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch directory");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  std::string file(const std::string &name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace zel_test

#endif  // ZEL_TEST_SCRATCH_DIR_H
