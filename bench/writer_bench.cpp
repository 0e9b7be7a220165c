// The writer against the disk: a built body of 100,000 nodes and 100
// modes (XDR double, about 480 MB) written with the default options, its
// modes already orthonormal and no invariants to compute, beside the same
// number of bytes written sequentially with write(2), plainly and with the
// disk started on them as the writer starts it. All end with the file
// synced to disk, as the writer does before renaming it into place.
// Reported with the write: the peak anonymous resident memory while it
// runs, sampled every few milliseconds (the mode stores are read through
// a file mapping, whose page-cache pages count as resident too but belong
// to the file), and the node table's size for scale.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "io/write_behind.h"
#include "zel.h"

namespace {

constexpr int kNodes = 100000;
constexpr int kModes = 100;
constexpr std::size_t kStartDiskEvery = static_cast<std::size_t>(zel::WriteBehind::kStartEvery);

Database *built_body() {
  zel_bench::bench_directory();
  Database *db = ZEL_Create(kNodes, kModes);
  for (int id = 1; id <= kNodes; ++id) {
    ZEL_SetNodeCoordinates(db, id, id * 0.001, std::sin(id * 0.01), std::cos(id * 0.01));
    ZEL_SetNodalMass(db, id, 0.5);
  }
  const std::vector<double> values = zel_bench::random_values(6 * static_cast<std::size_t>(kNodes));
  for (int number = 1; number <= kModes; ++number) {
    for (int id = 1; id <= kNodes; ++id)
      ZEL_SetModeVec(db, number, id, 0, const_cast<double *>(&values[6 * static_cast<std::size_t>(id - 1)]));
    ZEL_SetGeneralizedMass(db, number, number, 1.0);
    ZEL_SetGeneralizedStiffness(db, number, number, 100.0 * number * number);
  }
  return db;
}

Database *body() {
  static Database *db = built_body();
  return db;
}

void BM_WriteBody(benchmark::State &state) {
  Database *db = body();
  const std::string path = zel_bench::bench_directory().file("written.zel");
  const long before = zel_bench::anonymous_resident_kib();
  long peak = 0;
  for (auto _ : state)
    peak = std::max(peak, zel_bench::peak_anonymous_kib([&] {
                      if (zel_bench::quiet_write(db, path) != 1) state.SkipWithError("the write failed");
                    }));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
  state.counters["anon_MiB_before"] = static_cast<double>(before) / 1024.0;
  state.counters["anon_MiB_peak"] = static_cast<double>(peak) / 1024.0;
  state.counters["node_table_MiB"] =
      static_cast<double>(db->nodes.capacity() * sizeof(zel::NodeRecord)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_WriteBody)->Unit(benchmark::kMillisecond)->Iterations(3)->Apply(zel_bench::fastest_of_seven);

// The same number of bytes as the written file, 1 MiB per call; with
// `start_disk_early`, the disk is started on every few megabytes as they
// are written, as the writer does with its mode values, instead of on all
// of them by the final sync.
void write_same_bytes(benchmark::State &state, bool start_disk_early) {
  const std::string written = zel_bench::bench_directory().file("written.zel");
  const std::size_t bytes = std::filesystem::exists(written) ? std::filesystem::file_size(written) : 0;
  if (bytes == 0) {
    state.SkipWithError("run BM_WriteBody first");
    return;
  }
  const std::string path = zel_bench::bench_directory().file("plain.bin");
  const std::vector<char> chunk(std::size_t{1} << 20, 'z');
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    for (std::size_t done = 0, started = 0; done < bytes;) {
      const ssize_t put = ::write(fd, chunk.data(), std::min(chunk.size(), bytes - done));
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
      if (start_disk_early && done - started >= kStartDiskEvery) {
        ::sync_file_range(fd, static_cast<off_t>(started), static_cast<off_t>(done - started), SYNC_FILE_RANGE_WRITE);
        started = done;
      }
    }
    ::fsync(fd);
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void BM_WriteSameBytes(benchmark::State &state) { write_same_bytes(state, false); }
BENCHMARK(BM_WriteSameBytes)->Unit(benchmark::kMillisecond)->Iterations(3)->Apply(zel_bench::fastest_of_seven);

// The yardstick for the writer's own pacing: what is left of the ratio to
// it is the encoding and the statistics, not the order of the disk's work.
void BM_WriteSameBytesStartingTheDisk(benchmark::State &state) { write_same_bytes(state, true); }
BENCHMARK(BM_WriteSameBytesStartingTheDisk)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Apply(zel_bench::fastest_of_seven);

}  // namespace
