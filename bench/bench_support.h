// Shared by the benchmark programs: a private temporary directory,
// fixed-seed data, and bodies bound to a file as the reader binds them.
#ifndef ZEL_BENCH_SUPPORT_H
#define ZEL_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <cstdlib>
#include <random>
#include <vector>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "body/database.h"
#include "format/blocks.h"
#include "zel.h"

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

// The cores are shared with neighbours whose load comes and goes, so one
// run can take twice another: a figure compared with its yardstick is
// taken as the fastest of seven runs, the least disturbed, besides the
// median.
inline void fastest_of_seven(benchmark::internal::Benchmark *b) {
  b->Repetitions(7)->ComputeStatistics(
      "min", [](const std::vector<double> &runs) { return *std::min_element(runs.begin(), runs.end()); });
}

// `count` reproducible values in [-1, 1).
inline std::vector<double> random_values(std::size_t count) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<double> values(count);
  for (double &v : values) v = value(random);
  return values;
}

// Binds db, whose nodes are in place, to the mode-shape block that starts
// the file at `path`, as a read body is: the file open, each mode's offset
// and number recorded, the values left in the file.
inline void bind_mode_shapes_file(Database *db, const std::string &path, uint32_t version) {
  db->file.attach(std::fopen(path.c_str(), "rb"), path, zel::FileMode::kRead, true, true);
  zel::ModalHead head;
  std::vector<int32_t> listed;
  zel::ModeValueIndex index;
  if (!zel::read_modal_head(db->file, version, zel::kModeShapeSet, head) ||
      !zel::read_modal_node_list(db->file, head, listed) ||
      !zel::locate_mode_values(db->file, version, zel::kModeShapeSet, head, index))
    throw std::runtime_error("cannot locate the modes of " + path);
  db->mode_numbers = index.mode_numbers;
  db->temp_slot_offset[zel::kModeShapeSet] = index.offsets;
}

// ------------------------------------------------ memory of a long call

// The anonymous resident size: the heap, not the page cache of the files
// mapped or read.
inline long anonymous_resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kib = 0;
  while (status >> key)
    if (key == "RssAnon:" && status >> kib) return kib;
  return 0;
}

// The largest anonymous resident size seen while `body` runs.
template <class Body>
inline long peak_anonymous_kib(Body &&body) {
  std::atomic<bool> done{false};
  std::atomic<long> peak{anonymous_resident_kib()};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak.load(), anonymous_resident_kib());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  body();
  done = true;
  sampler.join();
  return peak;
}

// The writer's report goes to /dev/null while it writes; the benchmark's
// own lines stay on standard output.
inline int quiet_write(Database *db, const std::string &path) {
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  const int result = ZEL_write_ZEL(db, path.c_str());
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(null);
  ::close(saved);
  return result;
}

}  // namespace zel_bench

#endif  // ZEL_BENCH_SUPPORT_H
