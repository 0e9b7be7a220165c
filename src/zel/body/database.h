// The record of one flexible body.
//
// Field names follow the library's vocabulary; containers own their
// contents, so releasing a database is destroying it. Counts that the file
// format or the reports expose are explicit fields beside their containers.
#ifndef ZEL_DATABASE_H
#define ZEL_DATABASE_H

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "body/mode_list.h"
#include "format/block_table.h"
#include "body/node_index.h"
#include "body/table_memory.h"
#include "platform/build_profile.h"
#include "body/tempstore.h"
#include "zel.h"
#include "io/zelfile.h"

namespace zel {

// Nodal inertia: Ixx, Iyy, Izz, Ixy, Ixz, Iyz.
using NodalInertia = std::array<double, 6>;

struct NodeRecord {
  int32_t id = 0;
  double x = 0.0, y = 0.0, z = 0.0;
  double mass = 0.0;
  std::unique_ptr<NodalInertia> inertia;  // null until an inertia is set
};

using NodeTable = std::vector<NodeRecord, TableAllocator<NodeRecord>>;

struct GenEntry {
  int32_t row;  // mode index
  int32_t col;  // mode index
  double value;
};

struct LoadCase {
  // The whole stored field: up to 256 characters, which a file may fill
  // without a terminator. Copies handed to callers hold at most 255.
  std::string label;
  int32_t processed = 0;
  std::vector<double> values;  // one per mode index
};

// Per mode: slots 0..3 hold the largest translation, rotation, von Mises
// stress and von Mises strain with the node where each occurs.
// A node ID of 0 read from a file means the slot was never computed; since
// 0 is also a legal node ID, a slot computed here says so in `computed`.
struct ModeStatistics {
  std::array<int32_t, 13> node_id{};
  std::array<double, 13> value{};
  std::array<bool, 13> computed{};
};

// Value sets: 0 mode shapes (every node), 1 modal stress, 2 modal strain.
constexpr int kModeShapeSet = 0;
constexpr int kStressSet = 1;
constexpr int kStrainSet = 2;
constexpr int kValueSetCount = 3;

// Mode number 0 of the stress and strain sets names the pre-stress and
// pre-strain vectors; in the mode-shape set, and in the reduced library,
// which has neither vector, it is an ordinary mode number.
constexpr bool names_pre_values(int32_t number, int set) {
  return !profile::kCore && number == 0 && set != kModeShapeSet;
}

// A node subset carrying per-mode values. Set 0 is the node table itself
// (set position = node index) and keeps these containers empty; sets 1
// and 2 list their nodes in order of entry.
struct ValueSet {
  std::vector<int32_t> node_of_position;  // node index of each set position
  NodeIndex position_of_id;               // node ID -> set position
  LookupMemo position_memo;               // where the value setters last found a node
};

// Unit slots in `unit_factor` order and in `unit_name` order.
enum UnitFactor { kForceFactor = 0, kLengthFactor = 1, kMassFactor = 2, kTimeFactor = 3 };
enum UnitName { kMassName = 0, kLengthName = 1, kTimeName = 2, kForceName = 3 };

constexpr int kExistsFlagCount = 100;

// Header field limits in characters, terminator not counted.
constexpr std::size_t kTitleLimit = 127;
constexpr std::size_t kInputFileNameLimit = 127;
constexpr std::size_t kInputFileTypeLimit = 15;
constexpr std::size_t kCommentLimit = 79;

}  // namespace zel

struct Database {
  Database *next = nullptr;

  zel::ZelFile file;                       // the ZEL file read from, if any
  std::array<zel::TempStore, 3> temp;      // per value set, while building
  std::vector<float> float_buffer;         // scratch for double -> single

  int32_t gen_not_diagonal = 0;
  int32_t gen_mass_not_unit = 0;
  std::array<double, 4> unit_factor{1.0, 1.0, 1.0, 1.0};
  std::array<int64_t, 32> toc{};           // offset of each block index
  uint32_t version = 31;

  std::string title;
  std::string date;
  std::string input_file_name;
  std::string input_file_type;
  std::array<std::string, 3> comment;

  // Block-present flags by content position (see block_exists()).
  std::array<uint8_t, zel::kExistsFlagCount> exists{};

  // Nodes, in node-index order. ZEL_Create sizes the table and its index
  // for the expected count; beyond it they grow geometrically, as growing
  // by a fixed step would make adding n nodes cost O(n^2) copies.
  int32_t expected_nodes = 0;
  zel::NodeTable nodes;
  zel::NodeIndex node_sorted;              // node ID -> node index
  std::array<zel::ValueSet, 3> sets;       // sets[0] unused: see ValueSet
  std::optional<int32_t> mode_shape_nodes; // set_count(0) when not every node

  double global_mass = 0.0;
  std::array<double, 3> global_cm{};
  std::array<double, 9> global_inertia{};
  double body_size = 0.0;

  // Modes: mode number of each mode index; at most max_modes.
  int32_t max_modes = 0;
  std::vector<int32_t> mode_numbers;
  int32_t eigen_count = 0;
  std::vector<double> eigen;               // 6 doubles per mode
  std::vector<double> transform;           // mode_count x mode_count
  std::vector<int32_t> transform_modes;

  // Where each mode's values of a value set live. A body being built keeps
  // them in temp[set]; a body read from a file keeps them in `file`, at
  // temp_slot_offset[set][mode index] (64-bit absolute offsets).
  std::array<std::vector<int64_t>, 3> temp_slot_offset;

  // One-mode cache per value set.
  std::array<int32_t, 3> cache_mode{-1, -1, -1};
  std::array<std::vector<double>, 3> cache_values;
  // What cache_values[set] holds of mode cache_mode[set]: the whole mode,
  // six values per position (kWholeModeCached), or one half only, three
  // values per position at its front (0 the first three of each record,
  // 1 the last three): ZEL_Mode on a mapped file keeps the half it was not
  // asked for, which a caller fetching both wants next.
  static constexpr int kWholeModeCached = -1;
  std::array<int, 3> cache_half{kWholeModeCached, kWholeModeCached, kWholeModeCached};

  std::array<std::string, 4> unit_name;

  std::vector<zel::GenEntry> gen_stiff;
  std::vector<zel::GenEntry> gen_mass;
  std::vector<zel::GenEntry> gen_damp;

  // Faces: for each, its vertex count then that many node indices.
  int32_t face_count = 0;
  std::vector<int32_t> face_list;

  std::vector<int32_t> interface_nodes;    // node indices

  // Inertia invariants; empty until set, read or computed.
  std::vector<double> invar1;              // 1
  std::vector<double> invar2;              // 3
  std::vector<double> invar3;              // 3 x M, [c*M + i]
  std::vector<double> invar4;              // 3 x M
  std::vector<std::vector<double>> invar5; // M arrays of 3 x M
  std::vector<double> invar7;              // 9, row order
  std::vector<std::array<double, 9>> invar8;  // M
  std::vector<std::array<double, 9>> invar9;  // M x M, [i*M + j]

  // Bit k: invariant k is held because it was computed from the nodal
  // data, so it goes when that data changes (a set or read one stays).
  uint32_t computed_invariants = 0;
  uint32_t set_invariants = 0;             // bit k: set by the builder
  bool invariant_blocks_ignored = false;   // compute instead of reading

  std::optional<std::vector<int32_t>> geometry_nodes;  // cached list

  std::vector<zel::LoadCase> load_cases;
  std::vector<double> preload;             // per mode index
  int32_t preload_processed = 0;
  int32_t damping_on_principal_axes = 0;
  std::vector<zel::ModeStatistics> statistics;

  std::vector<double> pre_stress;          // 6 per position of set 1
  std::vector<double> pre_strain;          // 6 per position of set 2

  // Where the mode and node lookups of the value setters last landed.
  zel::LookupMemo mode_lookup_memo;
  zel::LookupMemo node_lookup_memo;
  // Where the row and the column lookups of the generalized-matrix and
  // invariant setters last landed (a dense matrix walks its columns in a
  // run while its row stays put).
  std::array<zel::LookupMemo, 2> pair_lookup_memo;

  int32_t node_count() const { return static_cast<int32_t>(nodes.size()); }
  int32_t mode_count() const { return static_cast<int32_t>(mode_numbers.size()); }
  // Set 0 is the front of the node table: every node of a body being
  // built, the nodes its mode-shape block lists for a body read from a
  // file (the rest carry no mode values).
  int32_t set_count(int set) const {
    if (set != zel::kModeShapeSet) return static_cast<int32_t>(sets[set].node_of_position.size());
    return mode_shape_nodes ? std::min(*mode_shape_nodes, node_count()) : node_count();
  }
  int32_t node_capacity() const { return static_cast<int32_t>(nodes.capacity()); }
  int32_t face_list_size() const { return static_cast<int32_t>(face_list.size()); }
  int32_t interface_count() const { return static_cast<int32_t>(interface_nodes.size()); }
  int32_t load_case_count() const { return static_cast<int32_t>(load_cases.size()); }
};

namespace zel {

inline uint8_t &block_flag(Database &db, int block_index) {
  return db.exists[static_cast<std::size_t>(content_position(block_index))];
}
inline uint8_t block_flag(const Database &db, int block_index) {
  return db.exists[static_cast<std::size_t>(content_position(block_index))];
}

}  // namespace zel

#endif  // ZEL_DATABASE_H
