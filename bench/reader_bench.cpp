// Opening a file reads none of its mode data: a 1 GB body (100,000 nodes x
// 200 modes, XDR double, with nodal masses, 200,000 faces and a modal
// stress set on a tenth of the nodes) must open in under 10 ms with the
// file in the page cache, since only each mode's offset is recorded.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "body/database.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "zel.h"

namespace {

constexpr int32_t kNodes = 100000;
constexpr int32_t kModes = 200;
constexpr uint32_t kXdrDouble = 316;

// Value of component c of node position p in mode m: a checkable digest.
double mode_value(int32_t m, int32_t p, int c) { return m * 1e6 + p * 8.0 + c; }

// What a benchmark body holds besides its 100,000 nodes.
struct BodyShape {
  int32_t modes;
  // The mode shapes list the nodes in reverse coordinate order, so opening
  // turns the whole node table around.
  bool reversed_mode_list;
  // Nodal masses, faces and a stress set, as a translator writes them.
  bool complete;
  const char *name;
};

constexpr BodyShape kLargeBody{kModes, false, true, "large"};
constexpr BodyShape kReorderedBody{2, true, false, "reordered"};

constexpr int32_t kFaces = 2 * kNodes;
constexpr int32_t kStressNodes = kNodes / 10;

bool write_modes(zel::ZelFile &file, int set, int32_t modes, std::span<const int32_t> ids) {
  if (!zel::write_modal_head(file, modes, ids)) return false;
  std::vector<double> values(6 * ids.size());
  for (int32_t m = 0; m < modes; ++m) {
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = mode_value(m, int32_t(k / 6), int(k % 6));
    if (!zel::write_mode_record(file, kXdrDouble, set, m + 1, values)) return false;
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
         write_modes(file, zel::kStressSet, modes, stress_ids);
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
  if (!file.write_int(kXdrDouble) || !zel::write_header(file, header) ||
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
      !write_modes(file, zel::kModeShapeSet, shape.modes, ids) ||
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
    file.attach(std::fopen(path_.c_str(), "wb"), path_, zel::FileMode::kWrite, true, true);
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

}  // namespace
