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

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "bench_support.h"
#include "body/database.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "zel.h"

namespace {

constexpr int32_t kNodes = 100000;
constexpr int32_t kModes = 200;
constexpr uint32_t kXdrDouble = 316;
constexpr uint32_t kNativeDouble = 60;
constexpr uint32_t kXdrSingle = 828;
constexpr uint32_t kNativeSingle = 572;

// Value of component c of node position p in mode m: a checkable digest,
// as a file of the given precision holds it.
double mode_value(int32_t m, int32_t p, int c, bool single = false) {
  const double value = m * 1e6 + p * 8.0 + c;
  return single ? static_cast<float>(value) : value;
}

// What a benchmark body holds besides its 100,000 nodes.
struct BodyShape {
  uint32_t version;
  int32_t modes;
  // The mode shapes list the nodes in reverse coordinate order, so opening
  // turns the whole node table around.
  bool reversed_mode_list;
  // Nodal masses, faces and a stress set, as a translator writes them.
  bool complete;
  const char *name;
};

constexpr BodyShape kLargeBody{kXdrDouble, kModes, false, true, "large"};
constexpr BodyShape kReorderedBody{kXdrDouble, 2, true, false, "reordered"};
// The bodies whose modes are read, one per encoding.
constexpr BodyShape kReadBodies[] = {{kXdrDouble, kModes, false, false, "xdr_double"},
                                     {kNativeDouble, kModes, false, false, "native_double"},
                                     {kXdrSingle, kModes, false, false, "xdr_single"},
                                     {kNativeSingle, kModes, false, false, "native_single"}};

constexpr int32_t kFaces = 2 * kNodes;
constexpr int32_t kStressNodes = kNodes / 10;

bool write_modes(zel::ZelFile &file, uint32_t version, int set, int32_t modes, std::span<const int32_t> ids) {
  if (!zel::write_modal_head(file, modes, ids)) return false;
  std::vector<double> values(6 * ids.size());
  for (int32_t m = 0; m < modes; ++m) {
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = mode_value(m, int32_t(k / 6), int(k % 6));
    if (!zel::write_mode_record(file, version, set, m + 1, values)) return false;
  }
  return true;
}

// Nodal masses, triangles over consecutive nodes and the stress set.
bool write_rest_of_body(zel::ZelFile &file, const std::vector<zel::NodeRecord> &nodes, int32_t modes) {
  std::vector<int32_t> faces;
  for (int32_t f = 0; f < kFaces; ++f) faces.insert(faces.end(), {3, f % kNodes, (f + 1) % kNodes, (f + 2) % kNodes});
  std::vector<int32_t> stress_ids(kStressNodes);
  for (int32_t n = 0; n < kStressNodes; ++n) stress_ids[std::size_t(n)] = 10 * n + 1;
  return zel::write_nodal_masses(file, nodes) && zel::write_element_faces(file, kFaces, faces) &&
         write_modes(file, kXdrDouble, zel::kStressSet, modes, stress_ids);
}

// Coordinates, eigenvalues and mode shapes of the body, through the block
// encoders.
bool write_body(zel::ZelFile &file, const BodyShape &shape) {
  std::array<char, zel::kExistsFlagCount> summary{};
  for (int b : {zel::kCoordinatesBlock, 6, zel::kModeShapesBlock}) summary[std::size_t(zel::content_position(b))] = 1;
  if (shape.complete)
    for (int b : {zel::kNodalMassesBlock, zel::kFacesBlock, zel::kModalStressBlock})
      summary[std::size_t(zel::content_position(b))] = 1;
  zel::Header header;
  header.title = "large body";
  if (!file.write_int(static_cast<int32_t>(shape.version)) || !zel::write_header(file, header) ||
      !file.write_chars(summary.data(), summary.size()))
    return false;
  std::vector<zel::NodeRecord> nodes(kNodes);
  std::vector<int32_t> ids(kNodes);
  std::vector<double> eigen;
  for (int32_t n = 0; n < kNodes; ++n) {
    nodes[std::size_t(n)].id = ids[std::size_t(n)] = n + 1;
    nodes[std::size_t(n)].mass = 1.0;
  }
  for (int32_t m = 0; m < shape.modes; ++m) eigen.insert(eigen.end(), {m + 1.0, 100.0 * m, 0.0, 0.0, 1.0, 100.0 * m});
  if (shape.reversed_mode_list) std::reverse(ids.begin(), ids.end());
  if (!zel::write_coordinates(file, nodes) || !zel::write_eigenvalues(file, eigen) ||
      !write_modes(file, shape.version, zel::kModeShapeSet, shape.modes, ids) ||
      (shape.complete && !write_rest_of_body(file, nodes, shape.modes)))
    return false;
  return std::fflush(file.fp) == 0;
}

// A body's file, written once per run and removed at exit.
class BodyFile {
 public:
  explicit BodyFile(const BodyShape &shape)
      : path_("/tmp/zel_reader_bench_" + std::to_string(getpid()) + "_" + shape.name + ".zel") {
    zel::ZelFile file;
    // The version code goes first, in the file's own encoding.
    file.attach(std::fopen(path_.c_str(), "wb"), path_, zel::FileMode::kWrite, zel::is_xdr_version(shape.version),
                !zel::is_single_precision_version(shape.version));
    written_ = file.fp != nullptr && write_body(file, shape);
  }
  ~BodyFile() { std::remove(path_.c_str()); }
  BodyFile(const BodyFile &) = delete;
  BodyFile &operator=(const BodyFile &) = delete;

  const std::string &path() const { return path_; }
  bool written() const { return written_; }

 private:
  std::string path_;
  bool written_ = false;
};

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

// The body of kReadBodies[encoding], written on first use, and opened.
Database *read_body(int64_t encoding) {
  static std::unique_ptr<BodyFile> files[std::size(kReadBodies)];
  static Database *bodies[std::size(kReadBodies)] = {};
  const auto e = static_cast<std::size_t>(encoding);
  if (bodies[e] == nullptr) {
    files[e] = std::make_unique<BodyFile>(kReadBodies[e]);
    if (files[e]->written()) bodies[e] = ZEL_CreateFromZEL(files[e]->path().c_str());
  }
  return bodies[e];
}

bool single_precision(int64_t encoding) {
  return zel::is_single_precision_version(kReadBodies[static_cast<std::size_t>(encoding)].version);
}

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
  Database *db = read_body(state.range(0));
  if (db == nullptr) return state.SkipWithError("cannot write or open the body");
  const bool single = single_precision(state.range(0));
  std::vector<double> translations(3 * std::size_t{kNodes});
  std::vector<double> rotations(3 * std::size_t{kNodes});
  for (auto _ : state) {
    for (int32_t m = 0; m < kModes; ++m) {
      if (ZEL_Mode(db, m + 1, zel::kModeShapeSet, translations.data(), 0) != 1 ||
          ZEL_Mode(db, m + 1, zel::kModeShapeSet, rotations.data(), 1) != 1 ||
          translations[3] != mode_value(m, 1, 0, single) || rotations.back() != mode_value(m, kNodes - 1, 5, single))
        return state.SkipWithError("a mode came back wrong");
    }
  }
  count_every_mode(state, state.range(0));
}

// All six values of each mode into the caller's buffer, past the cache.
void BM_EveryModeByReadModeDouble(benchmark::State &state) {
  Database *db = read_body(state.range(0));
  if (db == nullptr) return state.SkipWithError("cannot write or open the body");
  std::vector<double> values(6 * std::size_t{kNodes});
  for (auto _ : state) {
    for (int32_t m = 0; m < kModes; ++m) {
      if (ZEL_Read_Mode_Double(db, m + 1, zel::kModeShapeSet, values.data()) != 1 ||
          values[6] != mode_value(m, 1, 0) || values.back() != mode_value(m, kNodes - 1, 5))
        return state.SkipWithError("a mode came back wrong");
    }
  }
  count_every_mode(state, state.range(0));
}

// Encodings 0 to 3: XDR double, native double, XDR single, native single;
// ZEL_Read_Mode_Double reads double-precision files only.
BENCHMARK(BM_EveryModeByPread)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(zel_bench::fastest_of_seven);
BENCHMARK(BM_EveryModeByZelMode)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(zel_bench::fastest_of_seven);
BENCHMARK(BM_EveryModeByReadModeDouble)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(zel_bench::fastest_of_seven);

}  // namespace
