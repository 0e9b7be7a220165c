// Whole ZEL files for tests and the fuzzer's seed corpus,
// written block by block through the library's own block encoders.
//
// A ZelBody describes one small flexible body and which blocks its file
// carries. sample_body(version) gives a fully populated one:
//
//   nodes        IDs 10, 20, 30, 40 at x = 1, 2, 3, 4 (y = 0.5 x, z = -x),
//                masses 1.5, 2.5, 3.5, 4.5; node 20 has the inertia
//                {Ixx 1, Iyy 2, Izz 3, Ixy 0.25, Ixz 0, Iyz 0.5}
//   modes        3, numbered 1, 2, 3, eigenvalues 4, 9, 16 (version 1.0
//                derives the other four columns; the others store them)
//   mode values  mode_value(set, mode index, position, component)
//   stress set   nodes 30, 10;  strain set  node 20
//   pre-stress   6 values per stress node, pre-strain per strain node
//   faces        a quad (0 1 2 3) and a triangle (0 1 3), by node index
//   interface    node indices 0 and 3
//   matrices     generalized stiffness = eigenvalues, mass = 1, damping
//                0.125 on the diagonal (principal-axes flag 1)
//   + global properties, units "MEGAGRAM" "MILLIMETER" "SECOND" "NEWTON",
//     a 3 x 3 transformation, preload, two load cases, statistics and the
//     eight stored invariants.
//
// Every value is exactly representable in single precision, so a single-
// precision file reads back the same numbers as a double-precision one.
// Blocks at content position 17 and above (invariants, preload, loads,
// strain, statistics, pre-stress and pre-strain) are left out of files of
// versions 1.0 to 3.1, which cannot carry them; versions 1.0 and 2.0 store
// their faces as the old element topology instead of the face list.
//
// Tests change a body freely before writing it (drop a block with reset(),
// list a node that does not exist, shorten a count) to build the damaged
// or inconsistent files the reader must refuse or survive.
#ifndef ZEL_TEST_ZEL_FILE_BUILDER_H
#define ZEL_TEST_ZEL_FILE_BUILDER_H

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/blocks.h"

namespace zel_test {

// Every version code a file can carry, old to new.
inline constexpr uint32_t kAllVersionCodes[] = {10, 20, 30, 31, 40, 41, 50, 51, 60, 316, 572, 828};

struct BodyNode {
  int32_t id = 0;
  double x = 0.0, y = 0.0, z = 0.0;
  double mass = 0.0;
  std::optional<zel::NodalInertia> inertia;  // Ixx, Iyy, Izz, Ixy, Ixz, Iyz
};

// Block 8, 18 or 29: the set's node list and one record per mode. The
// values are mode_value(set, ...), generated one mode at a time as the
// file is written, so a large body never sits in memory whole.
struct ModalValues {
  int set = zel::kModeShapeSet;         // whose mode_value() the records hold
  int32_t mode_count = 0;               // M as written
  std::vector<int32_t> node_ids;        // the set's node list
  // Written where the version stores a mode number; where it keeps an int
  // that readers skip, the same number goes there (so a reader that does
  // not skip it gets it wrong). Records past the list get index + 1.
  std::vector<int32_t> mode_numbers;
  // Overrides mode_value(set, ...) when set: (mode index, position,
  // component) -> value, for bodies whose values follow their node IDs.
  std::function<double(int, int, int)> value;
};

struct FaceList {
  int32_t face_count = 0;
  std::vector<int32_t> list;  // per face: V, then V node indices
};

struct Transformation {
  std::vector<int32_t> modes;
  std::vector<double> matrix;  // modes x modes, row by row
};

struct Preload {
  int32_t processed = 0;
  std::vector<double> values;
};

struct ModalLoads {
  int32_t mode_count = 0;  // M as written; each case has M values
  std::vector<zel::LoadCase> cases;
};

struct GeneralizedBlock {
  int32_t flag = 0;                     // P
  std::vector<zel::GenEntry> entries;   // rows and columns as mode indices
};

struct ZelBody {
  uint32_t version = 316;
  zel::Header header;
  std::vector<BodyNode> nodes;
  bool coordinates = true;  // block 4
  bool masses = true;       // block 9, K = 1
  bool inertias = true;     // block 10, the nonzero upper-triangle terms
  bool invariants = true;   // blocks 19 to 26, for the mode shapes' M
  // The values of invariants 1, 2, 3, 4, 5, 7, 8, 9 as their blocks hold
  // them; an empty one is written as 0.25, 0.5, 0.75, ...
  std::array<std::vector<double>, 8> invariant_values;
  // Faces as block 5 (old topology, node IDs) instead of block 14.
  bool old_style_faces = false;
  std::optional<zel::GlobalProperties> global_properties;  // block 6
  std::optional<std::vector<double>> eigen;                // block 7, 6 per record
  std::optional<ModalValues> mode_shapes;                  // block 8
  std::optional<std::array<std::string, 4>> units;         // block 11
  std::optional<GeneralizedBlock> gen_stiff;               // block 12
  std::optional<GeneralizedBlock> gen_mass;                // block 13
  std::optional<FaceList> faces;                           // block 14 (or 5)
  std::optional<GeneralizedBlock> gen_damp;                // block 15
  std::optional<Transformation> transformation;            // block 16
  std::optional<std::vector<int32_t>> interface_nodes;     // block 17
  std::optional<ModalValues> stress;                       // block 18
  std::optional<Preload> preload;                          // block 27
  std::optional<ModalLoads> loads;                         // block 28
  std::optional<ModalValues> strain;                       // block 29
  std::optional<std::vector<zel::ModeStatistics>> statistics;  // block 30
  std::optional<std::vector<double>> pre_stress;           // block 31, 6 per node
  std::optional<std::vector<double>> pre_strain;           // block 32
};

// The value of `component` (0..5) of set position `position` in mode
// index `mode` of value set `set`: exact in single precision, and distinct
// across sets, modes (below 16), positions (below 32) and components.
double mode_value(int set, int mode, int position, int component);

// The body described at the top of this header, for a file of `version`.
ZelBody sample_body(uint32_t version);

// Writes the body's file at `path`; false when the file cannot be written
// or an encoder refuses the data.
bool write_zel_file(const ZelBody &body, const std::string &path);

// The bytes of the body's file (written through a temporary file).
std::vector<unsigned char> zel_file_bytes(const ZelBody &body);

// Writes `bytes` to `path`; false on failure.
bool write_bytes(const std::vector<unsigned char> &bytes, const std::string &path);

}  // namespace zel_test

#endif  // ZEL_TEST_ZEL_FILE_BUILDER_H
