// A large body (100,000 nodes x 200 modes) written straight through the
// block encoders in any encoding, and every one of its modes read back the
// two ways a simulator reads them. Shared by the reader's benchmark and the
// comparison of mode reading with HDF5, so that both time the same file.
#ifndef ZEL_LARGE_BODY_FILE_H
#define ZEL_LARGE_BODY_FILE_H

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

namespace zel_bench {

inline constexpr int32_t kNodes = 100000;
inline constexpr int32_t kModes = 200;
inline constexpr uint32_t kXdrDouble = 316;
inline constexpr uint32_t kNativeDouble = 60;
inline constexpr uint32_t kXdrSingle = 828;
inline constexpr uint32_t kNativeSingle = 572;

inline constexpr int32_t kFaces = 2 * kNodes;
inline constexpr int32_t kStressNodes = kNodes / 10;

// Value of component c of node position p in mode m: a checkable digest,
// as a file of the given precision holds it.
inline double mode_value(int32_t m, int32_t p, int c, bool single = false) {
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

// Every value of mode index m, six per node, node after node.
inline void fill_mode_values(int32_t m, std::vector<double> &values) {
  for (std::size_t k = 0; k < values.size(); ++k) values[k] = mode_value(m, int32_t(k / 6), int(k % 6));
}

inline bool write_modes(zel::ZelFile &file, uint32_t version, int set, int32_t modes, std::span<const int32_t> ids) {
  if (!zel::write_modal_head(file, modes, ids)) return false;
  std::vector<double> values(6 * ids.size());
  for (int32_t m = 0; m < modes; ++m) {
    fill_mode_values(m, values);
    if (!zel::write_mode_record(file, version, set, m + 1, values)) return false;
  }
  return true;
}

// Nodal masses, triangles over consecutive nodes and the stress set.
inline bool write_rest_of_body(zel::ZelFile &file, const std::vector<zel::NodeRecord> &nodes, int32_t modes) {
  std::vector<int32_t> faces;
  for (int32_t f = 0; f < kFaces; ++f) faces.insert(faces.end(), {3, f % kNodes, (f + 1) % kNodes, (f + 2) % kNodes});
  std::vector<int32_t> stress_ids(kStressNodes);
  for (int32_t n = 0; n < kStressNodes; ++n) stress_ids[std::size_t(n)] = 10 * n + 1;
  return zel::write_nodal_masses(file, nodes) && zel::write_element_faces(file, kFaces, faces) &&
         write_modes(file, kXdrDouble, zel::kStressSet, modes, stress_ids);
}

// Coordinates, eigenvalues and mode shapes of the body, through the block
// encoders.
inline bool write_body(zel::ZelFile &file, const BodyShape &shape) {
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

// A large file of one benchmark run, written on construction by
// write(path) and removed at exit. It lies in /tmp, named for this process
// so that two runs side by side do not share it.
class ScratchFile {
 public:
  template <class Write>
  ScratchFile(const std::string &name, Write write)
      : path_("/tmp/zel_bench_" + std::to_string(getpid()) + "_" + name), written_(write(path_)) {}
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile &) = delete;
  ScratchFile &operator=(const ScratchFile &) = delete;

  const std::string &path() const { return path_; }
  bool written() const { return written_; }

 private:
  std::string path_;
  bool written_;
};

// A body's file, written in the encoding of its version code.
class BodyFile : public ScratchFile {
 public:
  explicit BodyFile(const BodyShape &shape)
      : ScratchFile(std::string(shape.name) + ".zel", [&shape](const std::string &path) {
          zel::ZelFile file;
          // The version code goes first, in the file's own encoding.
          file.attach(std::fopen(path.c_str(), "wb"), path, zel::FileMode::kWrite, zel::is_xdr_version(shape.version),
                      !zel::is_single_precision_version(shape.version));
          return file.fp != nullptr && write_body(file, shape);
        }) {}
};

// ------------------------------------------------------ every mode read

// The bodies whose modes are read, one per encoding: XDR double, native
// double, XDR single, native single.
inline constexpr BodyShape kReadBodies[] = {{kXdrDouble, kModes, false, false, "xdr_double"},
                                            {kNativeDouble, kModes, false, false, "native_double"},
                                            {kXdrSingle, kModes, false, false, "xdr_single"},
                                            {kNativeSingle, kModes, false, false, "native_single"}};

// The body of kReadBodies[encoding], written on first use, and opened;
// null when it cannot be written or opened.
inline Database *read_body(int64_t encoding) {
  static std::unique_ptr<BodyFile> files[std::size(kReadBodies)];
  static Database *bodies[std::size(kReadBodies)] = {};
  const auto e = static_cast<std::size_t>(encoding);
  if (bodies[e] == nullptr) {
    files[e] = std::make_unique<BodyFile>(kReadBodies[e]);
    if (files[e]->written()) bodies[e] = ZEL_CreateFromZEL(files[e]->path().c_str());
  }
  return bodies[e];
}

// Whether the six values per node of mode index m, in double precision,
// came back as written: a value of the second node and the last value tell
// a wrong mode, a shifted node or a short read.
inline bool mode_came_back_right(int32_t m, const std::vector<double> &values) {
  return values[6] == mode_value(m, 1, 0) && values.back() == mode_value(m, kNodes - 1, 5);
}

inline bool single_precision(int64_t encoding) {
  return zel::is_single_precision_version(kReadBodies[static_cast<std::size_t>(encoding)].version);
}

// Times reading every mode of read_body(encoding) in a simulator's pattern:
// the translations, then the rotations, of each mode, each into its buffer
// of 3 x nodes. False, with the run marked failed, when the body cannot be
// had or a mode comes back other than written.
inline bool time_every_mode_by_zel_mode(benchmark::State &state, int64_t encoding) {
  Database *db = read_body(encoding);
  if (db == nullptr) return state.SkipWithError("cannot write or open the body"), false;
  const bool single = single_precision(encoding);
  std::vector<double> translations(3 * std::size_t{kNodes});
  std::vector<double> rotations(3 * std::size_t{kNodes});
  for (auto _ : state)
    for (int32_t m = 0; m < kModes; ++m)
      if (ZEL_Mode(db, m + 1, zel::kModeShapeSet, translations.data(), 0) != 1 ||
          ZEL_Mode(db, m + 1, zel::kModeShapeSet, rotations.data(), 1) != 1 ||
          translations[3] != mode_value(m, 1, 0, single) || rotations.back() != mode_value(m, kNodes - 1, 5, single))
        return state.SkipWithError("a mode came back wrong"), false;
  return true;
}

// Times reading all six values of each mode of read_body(encoding), a
// double-precision body, into one buffer of 6 x nodes, past the cache;
// false as above.
inline bool time_every_mode_double(benchmark::State &state, int64_t encoding) {
  Database *db = read_body(encoding);
  if (db == nullptr) return state.SkipWithError("cannot write or open the body"), false;
  std::vector<double> values(6 * std::size_t{kNodes});
  for (auto _ : state)
    for (int32_t m = 0; m < kModes; ++m)
      if (ZEL_Read_Mode_Double(db, m + 1, zel::kModeShapeSet, values.data()) != 1 || !mode_came_back_right(m, values))
        return state.SkipWithError("a mode came back wrong"), false;
  return true;
}

// How every-mode rows run: milliseconds of wall time, the fastest of seven
// beside the median.
inline void every_mode_rows(benchmark::internal::Benchmark *b) {
  b->Unit(benchmark::kMillisecond)->UseRealTime()->Apply(fastest_of_seven);
}

}  // namespace zel_bench

#endif  // ZEL_LARGE_BODY_FILE_H
