// The payload of every block from id 2 to 32: how its values are laid out
// in a ZEL file, and nothing else. Block sizes, names and content
// positions live in block_table.h; primitive encodings in zelfile.h. Here
// w is the file's char width (1 native, 4 XDR) and r its real size (4
// single, 8 double). Fields run in file order with no gaps.
//
// Decoders read from the current position of an open file and treat its
// bytes as hostile: every count is rejected when negative and checked with
// ZelFile::fits() against the bytes left before anything is allocated or
// read, so a corrupt count gives a clean false, never a giant allocation.
// They print only the messages that belong to a block's own entries (the
// nodal mass and inertia warnings, the inertia row and column errors); the
// block-level "Problem reading ..." messages and the consistency checks
// between blocks are the reader's. Where the reader must check a count
// before the rest of a block is read, the block is decoded in two steps:
// a head with the counts, then the body.
//
// Encoders write at the current position and return false when the stream
// refuses the bytes, or when the data handed in cannot be laid out (an
// index outside the table it refers to); they print nothing.
#ifndef ZEL_BLOCKS_H
#define ZEL_BLOCKS_H

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "body/database.h"
#include "format/block_table.h"
#include "io/zelfile.h"

namespace zel {

// ---------------------------------------------------------------------
// Block 2, header: seven fixed text fields, 544 chars in all.
//   title 128 | date 32 | input file name 128 | input file type 16 |
//   comment 1 80 | comment 2 80 | comment 3 80
// ---------------------------------------------------------------------
constexpr std::size_t kTitleChars = 128;
constexpr std::size_t kDateChars = 32;
constexpr std::size_t kInputFileNameChars = 128;
constexpr std::size_t kInputFileTypeChars = 16;
constexpr std::size_t kCommentChars = 80;
static_assert(kTitleChars + kDateChars + kInputFileNameChars + kInputFileTypeChars + 3 * kCommentChars ==
              kHeaderChars);

struct Header {
  std::string title;
  std::string date;
  std::string input_file_name;
  std::string input_file_type;
  std::array<std::string, 3> comment;
};

// Trailing blanks and NULs of each field are dropped on reading.
bool read_header(ZelFile &file, Header &header);
bool write_header(ZelFile &file, const Header &header);

// ---------------------------------------------------------------------
// Block 4, nodal_coords.
//   int N nodes | int K coordinates per node (3) | N x { int ID, K reals }
// ---------------------------------------------------------------------
struct CoordinatesHead {
  int32_t node_count = 0;
  int32_t coords_per_node = 0;
};

// False when a count cannot be read or is negative; the counts read so far
// are kept, so the caller can report a K other than 3 either way.
bool read_coordinates_head(ZelFile &file, CoordinatesHead &head);
// Fills `nodes` with the head's node count of records (ID and x, y, z,
// nothing else set). Records are K values long: the first three are the
// coordinates, missing ones are 0, surplus ones are skipped, so a K other
// than 3 never shifts one node's values into the next.
bool read_coordinates(ZelFile &file, const CoordinatesHead &head, NodeTable &nodes);
bool write_coordinates(ZelFile &file, std::span<const NodeRecord> nodes);

// ---------------------------------------------------------------------
// Block 5, element_topology (old style, before element faces existed).
//   int T faces | int E elements | E x { int label, int F faces,
//   int V vertices per face } | per element, F x { int, int, V node IDs }
// ---------------------------------------------------------------------
struct OldTopology {
  int32_t face_count = 0;     // T
  int32_t element_count = 0;  // E
  // V, then the V node indices, per face; -1 for an ID not in the table.
  std::vector<int32_t> face_list;
};

bool read_element_topology(ZelFile &file, const NodeIndex &node_index, OldTopology &topology);
// Groups the faces by vertex count into 12 entries, label i holding the
// faces of i + 2 vertices (2 to 13) in face-list order, with the node IDs
// of `nodes`. T counts the faces written: a face of another size has no
// entry to go to and is left out. False for a malformed face list or a
// node index outside `nodes`.
bool write_element_topology(ZelFile &file, std::span<const int32_t> face_list,
                            std::span<const NodeRecord> nodes);

// ---------------------------------------------------------------------
// Block 6, global_body_props: 13 reals.
//   mass | centre of mass x, y, z | inertia tensor 3 x 3 row by row
// ---------------------------------------------------------------------
struct GlobalProperties {
  double mass = 0.0;
  std::array<double, 3> cm{};
  std::array<double, 9> inertia{};
};

bool read_global_properties(ZelFile &file, GlobalProperties &properties);
bool write_global_properties(ZelFile &file, const GlobalProperties &properties);

// ---------------------------------------------------------------------
// Block 7, eigenvalues.
//   int N records | N x { int mode number, real eigenvalue, real Hz,
//   real rad/s, real generalized mass, real generalized stiffness }
// ---------------------------------------------------------------------
constexpr std::size_t kEigenRecordValues = 6;

// `eigen` gets 6 doubles per record, the mode number first. A version 1.0
// file only means the eigenvalue: the other four are derived from it.
bool read_eigenvalues(ZelFile &file, uint32_t version, std::vector<double> &eigen);
// `eigen` holds 6 doubles per record, as read.
bool write_eigenvalues(ZelFile &file, std::span<const double> eigen);

// ---------------------------------------------------------------------
// Blocks 8, 18 and 29: mode_shapes, modal_stress, modal_strain.
//   int M modes | int N nodes | N node IDs |
//   M x { [int mode number], N x 6 reals node by node }
// Whether the per-mode int is there and what it means depends on the
// version code and the value set (see mode_number_field()). The values of
// a node are dx, dy, dz, ax, ay, az for mode shapes and the normal then
// shear components xx, yy, zz, xy, xz, yz for stress and strain.
// ---------------------------------------------------------------------
enum class ModeNumberField {
  kAbsent,   // nothing before the values
  kIgnored,  // an int that holds no meaning and is skipped
  kStored,   // the mode number
};

ModeNumberField mode_number_field(uint32_t version, int value_set);

struct ModalHead {
  int32_t mode_count = 0;  // M
  int32_t node_count = 0;  // N
};

// Where each mode's values start, found without reading them.
struct ModeValueIndex {
  std::vector<int64_t> offsets;  // file offset of each mode's 6 x N reals
  // The stored mode number of each mode, or empty when the version stores
  // none in this block.
  std::vector<int32_t> mode_numbers;
};

// Reads M and N. False when either cannot be read or is negative, or when
// the block they describe is longer than the rest of the file.
bool read_modal_head(ZelFile &file, uint32_t version, int value_set, ModalHead &head);
bool read_modal_node_list(ZelFile &file, const ModalHead &head, std::vector<int32_t> &node_ids);
// Walks the mode records after the node list, leaving the file at the
// block's end.
bool locate_mode_values(ZelFile &file, uint32_t version, int value_set, const ModalHead &head,
                        ModeValueIndex &index);
// The mode number a record stores just before the values at an offset
// found above (only where mode_number_field() is kStored).
bool read_stored_mode_number(ZelFile &file, int64_t values_offset, int32_t &number);
// Reads one mode's 6 x node_count values from an offset found above.
bool read_mode_values(ZelFile &file, int64_t offset, int32_t node_count, double *values);

bool write_modal_head(ZelFile &file, int32_t mode_count, std::span<const int32_t> node_ids);
// One mode record: the per-mode int the version asks for (the mode number,
// or 0 where it is ignored), then `values` (6 per node).
bool write_mode_record(ZelFile &file, uint32_t version, int value_set, int32_t mode_number,
                       std::span<const double> values);
// The per-mode int alone, for a record whose values follow in pieces.
bool write_mode_number(ZelFile &file, uint32_t version, int value_set, int32_t mode_number);

// ---------------------------------------------------------------------
// Block 9, nodal_masses.
//   int N entries | int K values per entry | N x { int ID, K reals }
// ---------------------------------------------------------------------

// Sets the mass of each listed node of `db` (the mean when K > 1, with the
// warnings "Each node must possess a single scalar mass" and "Generating
// scalar by averaging %d values" first). Unknown IDs are skipped; a node
// whose mass is already nonzero gets "Redefining mass of Node %d". False
// on a failed read or a K below 1.
bool read_nodal_masses(ZelFile &file, Database &db);
// Each node's ID and mass, K = 1.
bool write_nodal_masses(ZelFile &file, std::span<const NodeRecord> nodes);

// ---------------------------------------------------------------------
// Block 10, nodal_inertias (sparse).
//   int N entries | N x { int ID, char row, char column, real value }
// Rows and columns are the rotational degrees of freedom 4, 5, 6; an entry
// fills one slot of the node's symmetric 3 x 3 rotary inertia:
//        4    5    6
//   4   Ixx  Ixy  Ixz
//   5   Ixy  Iyy  Iyz
//   6   Ixz  Iyz  Izz
// ---------------------------------------------------------------------
struct InertiaEntry {
  int32_t node_id;
  int32_t row;     // 4..6
  int32_t column;  // 4..6
  double value;
};

// The slot of NodalInertia (Ixx, Iyy, Izz, Ixy, Ixz, Iyz) that (row,
// column) names, or -1 when either is outside 4..6.
int inertia_slot(int row, int column);

// Applies the entries to the nodes of `db`, creating a node's inertia
// zero-filled at its first entry. A row or column outside 4..6 stops the
// block with its error; a slot that changes from a nonzero value gets
// "Redefining mass of Nodal inertia %d"; unknown IDs are skipped.
bool read_nodal_inertias(ZelFile &file, Database &db);
// The nonzero upper-triangle terms of every node, per node in the order
// (4,4), (4,5), (4,6), (5,5), (5,6), (6,6).
std::vector<InertiaEntry> nodal_inertia_entries(std::span<const NodeRecord> nodes);
bool write_nodal_inertias(ZelFile &file, std::span<const InertiaEntry> entries);

// ---------------------------------------------------------------------
// Block 11, units: four 16-char names, mass, length, time, force.
// ---------------------------------------------------------------------
constexpr std::size_t kUnitNameChars = kUnitsChars / 4;
// The units of a file that has no units block.
inline const std::array<std::string, 4> kDefaultUnitNames{"KILOGRAM", "METER", "SECOND", "NEWTON"};

bool read_units(ZelFile &file, std::array<std::string, 4> &unit_names);
bool write_units(ZelFile &file, const std::array<std::string, 4> &unit_names);

// ---------------------------------------------------------------------
// Blocks 12, 13 and 15: generalized stiffness, mass and damping (sparse).
//   int N entries | int P | N x { int row mode number, int column mode
//   number, real value, int 1 }
// P is the principal-axes flag of the damping block and the mode count in
// the other two.
// ---------------------------------------------------------------------
struct GeneralizedMatrix {
  int32_t flag = 0;  // P
  std::vector<GenEntry> entries;
};

// Entries come back as mode indices (mode number - 1). A mode number below
// 1 would give no index at all and fails the block.
bool read_generalized_matrix(ZelFile &file, GeneralizedMatrix &matrix);
// Entries hold mode indices; the file gets mode_numbers[index]. False for
// an index outside `mode_numbers`.
bool write_generalized_matrix(ZelFile &file, int32_t flag, std::span<const GenEntry> entries,
                              std::span<const int32_t> mode_numbers);

// ---------------------------------------------------------------------
// Block 14, element_faces.
//   int S = 16 + 4 L, the block's length | int 0 | int F faces |
//   int L face-list ints | L ints: per face V, then V node indices
// ---------------------------------------------------------------------

// False when S does not match L (every later block would be misplaced) or
// when the list does not hold exactly F well-formed faces.
bool read_element_faces(ZelFile &file, int32_t &face_count, std::vector<int32_t> &face_list);
// False, writing nothing, for a list that is not `face_count` faces.
bool write_element_faces(ZelFile &file, int32_t face_count, std::span<const int32_t> face_list);

// True when `face_list` is exactly `face_count` runs of a vertex count
// V >= 0 followed by V entries.
bool face_list_is_well_formed(std::span<const int32_t> face_list, int32_t face_count);

// ---------------------------------------------------------------------
// Block 16, mode_shape_transformation.
//   int N | N mode numbers | N x N reals, row by row
// N <= 0: no list and no matrix.
// ---------------------------------------------------------------------
bool read_mode_transformation(ZelFile &file, std::vector<int32_t> &modes, std::vector<double> &matrix);
// N = modes.size(); row i of the file is matrix[i * row_stride ...] and
// takes its first N values.
bool write_mode_transformation(ZelFile &file, std::span<const int32_t> modes,
                               std::span<const double> matrix, std::size_t row_stride);

// ---------------------------------------------------------------------
// Block 17, interface_nodes.   int N | N node indices
// ---------------------------------------------------------------------
bool read_interface_nodes(ZelFile &file, std::vector<int32_t> &node_indices);
bool write_interface_nodes(ZelFile &file, std::span<const int32_t> node_indices);

// ---------------------------------------------------------------------
// Blocks 19 to 26: the stored inertia invariants (there is no block for
// invariant 6). M is the file's mode count.
//   id  invariant  leading int  reals    order
//   19  1          -            1        total mass
//   20  2          -            3        mass times centre of mass
//   21  3          M            3 M      component-major: x of every mode,
//   22  4          M            3 M        then y, then z
//   23  5          M            M x 3 M  one array per mode
//   24  7          -            9        one 3 x 3 matrix
//   25  8          M            M x 9    one matrix per mode
//   26  9          M            M x M x 9  one per mode pair (i, j), j fastest
// ---------------------------------------------------------------------
enum class Invariant { k1, k2, k3, k4, k5, k7, k8, k9 };

bool invariant_has_mode_count(Invariant invariant);
// Number of reals of the invariant for M modes.
int64_t invariant_value_count(Invariant invariant, int32_t mode_count);

// Reads the invariant for `mode_count` modes into `values` in file order.
// `stored_count` gets the block's leading int (mode_count when the block
// has none), so the caller can report a mismatch; the values are read
// for `mode_count` modes either way.
bool read_invariant(ZelFile &file, Invariant invariant, int32_t mode_count, std::vector<double> &values,
                    int32_t &stored_count);
// `values` holds invariant_value_count() reals in file order.
bool write_invariant(ZelFile &file, Invariant invariant, int32_t mode_count, std::span<const double> values);

// The file order of an invariant and the database's containers hold the
// same elements in the same order; these move values between the two.
// store_invariant() is false, storing nothing, when `values` does not hold
// invariant_value_count() reals.
bool store_invariant(Database &db, Invariant invariant, int32_t mode_count, std::span<const double> values);
std::vector<double> invariant_values(const Database &db, Invariant invariant);

// ---------------------------------------------------------------------
// Block 27, preload.   int M | int P processed | M reals
// ---------------------------------------------------------------------
struct PreloadHead {
  int32_t mode_count = 0;
  int32_t processed = 0;
};

// M is kept as stored, negative or not, for the caller to compare with its
// mode count; read_preload_values() refuses a negative one.
bool read_preload_head(ZelFile &file, PreloadHead &head);
bool read_preload_values(ZelFile &file, int32_t mode_count, std::vector<double> &values);
bool write_preload(ZelFile &file, int32_t processed, std::span<const double> values);

// ---------------------------------------------------------------------
// Block 28, modal_loads.
//   int M | int C cases | C x { 256-char label, int principal-axes flag,
//   M reals }
// ---------------------------------------------------------------------
struct ModalLoadsHead {
  int32_t mode_count = 0;  // M
  int32_t case_count = 0;  // C
};

// Reads M, then C; a count read before a failure is kept. M is kept as
// stored for the caller to compare with its mode count; a negative C, and
// in read_load_cases() a negative M, fail.
bool read_modal_loads_head(ZelFile &file, ModalLoadsHead &head);
// Labels are kept as stored up to their first NUL (trailing blanks
// included), all 256 characters of a field without one.
bool read_load_cases(ZelFile &file, const ModalLoadsHead &head, std::vector<LoadCase> &cases);
// M = mode_count: each case writes values[first_mode .. first_mode + M);
// false when a case has fewer values. Labels are NUL-padded.
bool write_modal_loads(ZelFile &file, std::span<const LoadCase> cases, std::size_t first_mode,
                       int32_t mode_count);

// ---------------------------------------------------------------------
// Block 30, modal_statistics.   int N | N x { 13 ints, 13 reals }
// ---------------------------------------------------------------------
bool read_statistics(ZelFile &file, std::vector<ModeStatistics> &statistics);
bool write_statistics(ZelFile &file, std::span<const ModeStatistics> statistics);

// ---------------------------------------------------------------------
// Blocks 31 and 32: pre_stress and pre_strain.   int N | N x 6 reals
// ---------------------------------------------------------------------

// The count alone, so the caller can compare it with its node list before
// the values are read; false when unreadable or negative.
bool read_pre_value_count(ZelFile &file, int32_t &node_count);
bool read_pre_values(ZelFile &file, int32_t node_count, std::vector<double> &values);
// `values` holds 6 reals per node.
bool write_pre_values(ZelFile &file, std::span<const double> values);

// Shared by the block sources.
namespace blocks_detail {

// A count that leads a block or record: false when unreadable or negative.
bool read_count(ZelFile &file, int32_t &count);
// A count of things to write: false when an int cannot hold it.
bool write_count(ZelFile &file, std::size_t count);

}  // namespace blocks_detail

}  // namespace zel

#endif  // ZEL_BLOCKS_H
