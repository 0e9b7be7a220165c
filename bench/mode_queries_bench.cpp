// Fetching mode shapes through ZEL_Mode: every mode of a body once, from an
// XDR double-precision ZEL file and from a built body's temporary store,
// and the same mode again (answered by the cache without touching the
// file). Throughput counts the stored bytes of the modes fetched.
//
// The file and the store live in a private directory under TMP (or /tmp)
// that is removed at exit, with them still open: the bodies last the run. The file was just written, so it is read from
// the page cache: what is measured is the library, not the disk.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "format/blocks.h"
#include "zel.h"

namespace {

constexpr int kNodes = 100000;
constexpr int kModes = 50;
constexpr int kFirstNodeId = 1;
constexpr uint32_t kVersion = 31;
constexpr std::size_t kValuesPerMode = 6 * static_cast<std::size_t>(kNodes);
constexpr int64_t kBytesPerMode = static_cast<int64_t>(kValuesPerMode) * 8;

int mode_number(int index) { return 2 * index + 1; }

// Fixed-seed values; mode m is the table rotated by m records, so every
// mode differs and the check below knows each one's first value.
const std::vector<double> &random_table() {
  static const std::vector<double> table = zel_bench::random_values(kValuesPerMode);
  return table;
}

double stored_value(int mode_index, std::size_t value_index) {
  return random_table()[(value_index + 6 * static_cast<std::size_t>(mode_index)) % kValuesPerMode];
}

std::vector<double> stored_mode(int mode_index) {
  std::vector<double> values(kValuesPerMode);
  for (std::size_t i = 0; i < kValuesPerMode; ++i) values[i] = stored_value(mode_index, i);
  return values;
}

void add_nodes(Database *db) {
  for (int n = 0; n < kNodes; ++n) ZEL_SetNodeCoordinates(db, kFirstNodeId + n, n, 0.0, 0.0);
}

// The mode-shape block of the body, written by the block encoders, and a
// body bound to it as a read body is: nodes and mode list in memory, each
// mode's offset recorded, values left in the file.
Database *file_body() {
  static Database *db = [] {
    const std::string path = zel_bench::bench_directory().file("body.zel");
    std::vector<int32_t> ids(kNodes);
    for (int n = 0; n < kNodes; ++n) ids[static_cast<std::size_t>(n)] = kFirstNodeId + n;
    {
      zel::ZelFile out;
      out.attach(std::fopen(path.c_str(), "wb"), path, zel::FileMode::kWrite, true, true);
      bool written = zel::write_modal_head(out, kModes, ids);
      for (int m = 0; m < kModes; ++m)
        written = written && zel::write_mode_record(out, kVersion, zel::kModeShapeSet, mode_number(m), stored_mode(m));
      if (!written) throw std::runtime_error("cannot write " + path);
    }
    Database *body = ZEL_Create(kNodes, 0);
    add_nodes(body);
    zel_bench::bind_mode_shapes_file(body, path, kVersion);
    return body;
  }();
  return db;
}

// The same body built through the builder: its modes in the temporary
// mode-shape store.
Database *built_body() {
  static Database *db = [] {
    Database *body = ZEL_Create(kNodes, kModes);
    add_nodes(body);
    for (int m = 0; m < kModes; ++m) {
      const std::vector<double> values = stored_mode(m);
      for (int n = 0; n < kNodes; ++n)
        ZEL_SetModeVec(body, mode_number(m), kFirstNodeId + n, zel::kModeShapeSet,
                       const_cast<double *>(values.data() + 6 * static_cast<std::size_t>(n)));
    }
    return body;
  }();
  return db;
}

// Fetches every mode once per iteration and checks each against its
// stored first and last translation.
void fetch_every_mode(benchmark::State &state, Database *db) {
  std::vector<double> translations(3 * static_cast<std::size_t>(kNodes));
  for (auto _ : state) {
    for (int m = 0; m < kModes; ++m) {
      if (ZEL_Mode(db, mode_number(m), zel::kModeShapeSet, translations.data(), 0) != 1 ||
          translations[0] != stored_value(m, 0) ||
          translations.back() != stored_value(m, kValuesPerMode - 4)) {
        state.SkipWithError("a mode came back wrong");
        return;
      }
    }
    benchmark::DoNotOptimize(translations.data());
  }
  state.SetBytesProcessed(state.iterations() * kModes * kBytesPerMode);
  state.SetItemsProcessed(state.iterations() * kModes);
}

void BM_FileEveryModeOnce(benchmark::State &state) { fetch_every_mode(state, file_body()); }
BENCHMARK(BM_FileEveryModeOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StoreEveryModeOnce(benchmark::State &state) { fetch_every_mode(state, built_body()); }
BENCHMARK(BM_StoreEveryModeOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

// The mode already cached: no file access at all (the file position stays
// where the one read left it), only the copy of the translations out.
void BM_FileSameModeAgain(benchmark::State &state) {
  Database *db = file_body();
  std::vector<double> translations(3 * static_cast<std::size_t>(kNodes));
  const int number = mode_number(kModes / 2);
  ZEL_Mode(db, number, zel::kModeShapeSet, translations.data(), 0);
  const int64_t position = db->file.tell();
  for (auto _ : state) {
    ZEL_Mode(db, number, zel::kModeShapeSet, translations.data(), 0);
    benchmark::DoNotOptimize(translations.data());
  }
  if (db->file.tell() != position || translations[0] != stored_value(kModes / 2, 0))
    state.SkipWithError("the cached mode was read again");
  state.SetBytesProcessed(state.iterations() * kBytesPerMode);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FileSameModeAgain)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
