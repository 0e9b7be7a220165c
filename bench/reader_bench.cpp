// Opening and reading a large body as a simulator does, with the file in
// the page cache, so that what is measured is the library, not the disk.
//
// Opening reads none of the mode data: a 1 GB body (100,000 nodes x 200
// modes, XDR double, with nodal masses, 200,000 faces and a modal stress
// set on a tenth of the nodes) must open in under 10 ms.
//
// Reading every mode (100,000 nodes x 200 modes) in each encoding, side by
// side with its yardstick, the same bytes read by pread() into one buffer:
// ZEL_Mode for the translations and the rotations of each mode (at least
// 5 GB/s, within 1.5x of the yardstick) and ZEL_Read_Mode_Double (faster
// still). Throughput counts the bytes of the file's mode records.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "large_body_file.h"
#include "zel.h"

namespace {

using zel_bench::BodyFile;
using zel_bench::BodyShape;
using zel_bench::kFaces;
using zel_bench::kReadBodies;
using zel_bench::kModes;
using zel_bench::kNodes;
using zel_bench::kStressNodes;
using zel_bench::kXdrDouble;
using zel_bench::mode_value;
using zel_bench::read_body;
using zel_bench::single_precision;

constexpr BodyShape kLargeBody{kXdrDouble, kModes, false, true, "large"};
constexpr BodyShape kReorderedBody{kXdrDouble, 2, true, false, "reordered"};

const BodyFile &large_file() {
  static const BodyFile file(kLargeBody);
  return file;
}

// Where the last mode's values must start: after the mode-shape block's
// counts and node list, 199 whole mode records and one mode-number int.
bool offsets_are_right(const Database &db) {
  const int64_t record = 4 + 6 * int64_t{kNodes} * 8;
  const int64_t expected = db.toc[zel::kModeShapesBlock] + 8 + 4 * int64_t{kNodes} + (kModes - 1) * record + 4;
  return db.mode_count() == kModes && db.node_count() == kNodes &&
         db.temp_slot_offset[zel::kModeShapeSet].back() == expected && db.face_count == kFaces &&
         db.set_count(zel::kStressSet) == kStressNodes;
}

void BM_OpenLargeBody(benchmark::State &state) {
  const BodyFile &file = large_file();
  if (!file.written()) {
    state.SkipWithError("cannot write the large body");
    return;
  }
  int64_t file_bytes = 0;
  for (auto _ : state) {
    Database *db = ZEL_CreateFromZEL(file.path().c_str());
    if (db == nullptr || !offsets_are_right(*db)) {
      state.SkipWithError("the large body did not read as written");
      break;
    }
    file_bytes = db->file.size();
    ZEL_UnLink(db);
  }
  // Bytes of body opened per second: the whole file counts, though only its
  // small blocks are read.
  state.SetBytesProcessed(state.iterations() * file_bytes);
  state.SetItemsProcessed(state.iterations());
  state.counters["file_MB"] = static_cast<double>(file_bytes) / 1e6;
}
BENCHMARK(BM_OpenLargeBody)->Unit(benchmark::kMillisecond)->UseRealTime();

// The node table turned around to the mode-shape order on opening: 100,000
// exchanges, each a hashed lookup and an update of the sorted ID view.
void BM_OpenReorderedBody(benchmark::State &state) {
  static const BodyFile file(kReorderedBody);
  if (!file.written()) {
    state.SkipWithError("cannot write the reordered body");
    return;
  }
  for (auto _ : state) {
    Database *db = ZEL_CreateFromZEL(file.path().c_str());
    if (db == nullptr || db->node_count() != kNodes || db->nodes.front().id != kNodes || db->nodes.back().id != 1) {
      state.SkipWithError("the node table did not take the mode-shape order");
      break;
    }
    ZEL_UnLink(db);
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}
BENCHMARK(BM_OpenReorderedBody)->Unit(benchmark::kMillisecond)->UseRealTime();

// A mode fetched from the opened body, to show where the time goes
// instead: one mode is 4.8 MB of XDR doubles.
void BM_ReadOneModeOfLargeBody(benchmark::State &state) {
  const BodyFile &file = large_file();
  Database *db = file.written() ? ZEL_CreateFromZEL(file.path().c_str()) : nullptr;
  if (db == nullptr) {
    state.SkipWithError("cannot open the large body");
    return;
  }
  std::vector<double> values(6 * static_cast<std::size_t>(kNodes));
  int32_t mode = 0;
  for (auto _ : state) {
    const int64_t offset = db->temp_slot_offset[zel::kModeShapeSet][static_cast<std::size_t>(mode)];
    if (!zel::read_mode_values(db->file, offset, kNodes, values.data()) ||
        values[6] != mode_value(mode, 1, 0)) {
      state.SkipWithError("mode values differ from the ones written");
      break;
    }
    mode = (mode + 37) % kModes;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(values.size() * 8));
  state.SetItemsProcessed(state.iterations());
  ZEL_UnLink(db);
}
BENCHMARK(BM_ReadOneModeOfLargeBody)->Unit(benchmark::kMillisecond)->UseRealTime();

// ------------------------------------------------------ every mode read

// Bytes of one mode's values in the file.
int64_t mode_bytes(int64_t encoding) { return 6 * int64_t{kNodes} * (single_precision(encoding) ? 4 : 8); }

void count_every_mode(benchmark::State &state, int64_t encoding) {
  state.SetBytesProcessed(state.iterations() * kModes * mode_bytes(encoding));
  state.SetLabel(kReadBodies[static_cast<std::size_t>(encoding)].name);
}

// The yardstick: each mode's bytes read by pread() into one buffer, as
// they lie in the file, without decoding.
void BM_EveryModeByPread(benchmark::State &state) {
  Database *db = read_body(state.range(0));
  if (db == nullptr) return state.SkipWithError("cannot write or open the body");
  std::vector<unsigned char> bytes(static_cast<std::size_t>(mode_bytes(state.range(0))));
  const int fd = fileno(db->file.fp);
  for (auto _ : state) {
    for (int32_t m = 0; m < kModes; ++m) {
      const int64_t offset = db->temp_slot_offset[zel::kModeShapeSet][static_cast<std::size_t>(m)];
      if (pread(fd, bytes.data(), bytes.size(), offset) != static_cast<ssize_t>(bytes.size()))
        return state.SkipWithError("short read");
    }
    benchmark::DoNotOptimize(bytes.data());
  }
  count_every_mode(state, state.range(0));
}

// A simulator's pattern: the translations, then the rotations, of each mode.
void BM_EveryModeByZelMode(benchmark::State &state) {
  if (zel_bench::time_every_mode_by_zel_mode(state, state.range(0))) count_every_mode(state, state.range(0));
}

// All six values of each mode into the caller's buffer, past the cache.
void BM_EveryModeByReadModeDouble(benchmark::State &state) {
  if (zel_bench::time_every_mode_double(state, state.range(0))) count_every_mode(state, state.range(0));
}

// Encodings 0 to 3: XDR double, native double, XDR single, native single;
// ZEL_Read_Mode_Double reads double-precision files only.
BENCHMARK(BM_EveryModeByPread)->DenseRange(0, 3)->Apply(zel_bench::every_mode_rows);
BENCHMARK(BM_EveryModeByZelMode)->DenseRange(0, 3)->Apply(zel_bench::every_mode_rows);
BENCHMARK(BM_EveryModeByReadModeDouble)->DenseRange(0, 1)->Apply(zel_bench::every_mode_rows);

}  // namespace
