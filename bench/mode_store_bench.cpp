// Filling the temporary mode-shape store through ZEL_SetModeVec, in both
// call orders, against this machine's sequential write bandwidth (the same
// byte count written with one large write() to a file in the same
// directory), and reading whole slots back against a plain memory copy.
//
// Every store lives in a private directory under TMP (or /tmp) that is
// removed at exit; stores are removed after each iteration.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "zel.h"

namespace {

constexpr int kNodes = 100000;
constexpr int kModes = 100;
constexpr int kFirstNodeId = 1001;
constexpr std::size_t kValuesPerMode = 6 * static_cast<std::size_t>(kNodes);
constexpr std::size_t kStoreBytes = kValuesPerMode * kModes * sizeof(double);

// Fixed-seed values, taken as a translator holds them: in the order it
// hands them over. Filling mode by mode, node n of mode m takes record
// (n + 7919 m) mod kNodes of one random table; filling node by node,
// record (100 n + m) mod kNodes. The library sees values already in memory
// and laid out for the call order, as a translator's arrays are.
enum class CallOrder { kNodeMajor, kModeMajor };

const std::vector<double> &random_table() {
  static const std::vector<double> table = zel_bench::random_values(kValuesPerMode);
  return table;
}

int64_t first_record(CallOrder order, int outer) {
  return (order == CallOrder::kModeMajor ? int64_t{7919} * outer : int64_t{kModes} * outer) % kNodes;
}

const double *node_values(CallOrder order, int node, int mode) {
  const int64_t record = order == CallOrder::kModeMajor ? (first_record(order, mode) + node) % kNodes
                                                         : (first_record(order, node) + mode) % kNodes;
  return random_table().data() + 6 * record;
}

// Reads every slot back and compares it value by value with what was set.
bool store_holds_every_value(Database *db, CallOrder order, int set) {
  std::vector<int> position(kNodes);
  for (int node = 0; node < kNodes; ++node) {
    position[node] = ZEL_ModeNodeIndex(db, set, kFirstNodeId + node);
    if (position[node] < 0) return false;
  }
  std::vector<double> slot(kValuesPerMode);
  for (int mode = 0; mode < kModes; ++mode) {
    const int index = ZEL_ModeIndex(db, mode + 1);
    if (index < 0) return false;
    db->temp[set].read_slot(index, slot.data(), kNodes);
    for (int node = 0; node < kNodes; ++node) {
      if (std::memcmp(node_values(order, node, mode), slot.data() + 6 * static_cast<std::size_t>(position[node]),
                      6 * sizeof(double)) != 0)
        return false;
    }
  }
  return true;
}

void set_value(Database *db, int set, int node, int mode, const double *values) {
  if (ZEL_SetModeVec(db, mode + 1, kFirstNodeId + node, set, const_cast<double *>(values)) != 1)
    throw std::runtime_error("value refused");
}

// The inner loop walks the table record by record (wrapping at its end).
void fill(Database *db, CallOrder order, int modes, int set) {
  const double *table = random_table().data();
  const int outer_count = order == CallOrder::kModeMajor ? modes : kNodes;
  const int inner_count = order == CallOrder::kModeMajor ? kNodes : modes;
  for (int outer = 0; outer < outer_count; ++outer) {
    int64_t record = first_record(order, outer);
    for (int inner = 0; inner < inner_count; ++inner) {
      if (order == CallOrder::kModeMajor)
        set_value(db, set, inner, outer, table + 6 * record);
      else
        set_value(db, set, outer, inner, table + 6 * record);
      if (++record == kNodes) record = 0;
    }
  }
}

void BM_FillModeStore(benchmark::State &state, CallOrder order, int set) {
  zel_bench::bench_directory();
  random_table();
  for (auto _ : state) {
    Database *db = ZEL_Create(kNodes, kModes);
    fill(db, order, kModes, set);
    state.PauseTiming();
    const bool intact = store_holds_every_value(db, order, set);
    ZEL_UnLink(db);
    if (!intact) state.SkipWithError("the store does not hold the values set");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kStoreBytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kNodes * kModes);
}

void BM_FillNodeMajor(benchmark::State &state) { BM_FillModeStore(state, CallOrder::kNodeMajor, zel::kModeShapeSet); }
void BM_FillModeMajor(benchmark::State &state) { BM_FillModeStore(state, CallOrder::kModeMajor, zel::kModeShapeSet); }
// Modal stresses: the set's own node positions instead of node indices.
void BM_FillStressModeMajor(benchmark::State &state) {
  BM_FillModeStore(state, CallOrder::kModeMajor, zel::kStressSet);
}

// The reference: the store's byte count in one write() to a new file in
// the same directory.
void BM_SequentialWriteBandwidth(benchmark::State &state) {
  const std::string path = zel_bench::bench_directory().path() + "/sequential.bin";
  std::vector<char> bytes(kStoreBytes);
  for (std::size_t i = 0; i < bytes.size(); i += 4096) bytes[i] = static_cast<char>(i >> 12);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::size_t written = 0;
    while (fd >= 0 && written < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    if (fd >= 0) ::close(fd);
    state.PauseTiming();
    ::unlink(path.c_str());
    if (written != bytes.size()) state.SkipWithError("short write");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kStoreBytes));
}

// Reading a whole slot back (one mode of every node) against copying the
// same bytes between two memory buffers.
constexpr int kReadModes = 8;

void BM_ReadSlot(benchmark::State &state) {
  zel_bench::bench_directory();
  Database *db = ZEL_Create(kNodes, kReadModes);
  fill(db, CallOrder::kModeMajor, kReadModes, zel::kModeShapeSet);
  std::vector<double> slot(kValuesPerMode);
  int mode = 0;
  for (auto _ : state) {
    db->temp[zel::kModeShapeSet].read_slot(mode, slot.data(), kNodes);
    benchmark::DoNotOptimize(slot.data());
    mode = (mode + 1) % kReadModes;
  }
  const int last_read = (mode + kReadModes - 1) % kReadModes;
  if (std::memcmp(node_values(CallOrder::kModeMajor, kNodes - 1, last_read), slot.data() + kValuesPerMode - 6, 6 * sizeof(double)) != 0)
    state.SkipWithError("a slot read back differs from what was set");
  ZEL_UnLink(db);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kValuesPerMode * 8));
}

void BM_MemoryCopyOfASlot(benchmark::State &state) {
  std::vector<double> from(random_table()), to(kValuesPerMode);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kValuesPerMode * sizeof(double));
    benchmark::DoNotOptimize(to.data());
  }
  if (to != from) state.SkipWithError("copy differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kValuesPerMode * 8));
}

}  // namespace

BENCHMARK(BM_SequentialWriteBandwidth)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FillNodeMajor)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FillModeMajor)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FillStressModeMajor)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ReadSlot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemoryCopyOfASlot)->Unit(benchmark::kMicrosecond);
