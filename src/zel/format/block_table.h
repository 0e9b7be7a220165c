// The ZEL file's table of blocks: what each of the 32 blocks is called,
// where its present flag sits in the content summary, how the contents
// report labels it, and how long it is.
//
// Primitive sizes: an int is 4 bytes; a char is w bytes (1 native, 4 XDR);
// a real is r bytes (4 single precision, 8 double precision).
//
// File layout. The file stores no offsets: blocks are laid end to end in id
// order, an absent block takes no bytes, and nothing separates blocks.
//
//   offset        length   contents
//   0             4        block 1, version code (int, in the file's own encoding)
//   4             544 w    block 2, header: title 128, date 32, input file
//                          name 128, input file type 16, comments 3 x 80 chars
//   4 + 544 w     100 w    block 3, content summary: one flag per content
//                          position; nonzero = present
//   4 + 644 w     ...      every present block of ids 4..32, in id order
//
// Version code (block 1). Low byte = 10 x format version.
//
//   code             version   encoding   precision
//   10, 20, 30       1.0-3.0   native     double   summary positions 17..99 ignored
//   31               3.1       XDR        double   summary positions 17..99 ignored
//   40 / 41          4.0/4.1   native/XDR double
//   50 / 51          5.0/5.1   native/XDR single
//   low byte >= 60   byte/10   XDR when bit 0x100 is set, single when bit 0x200 is set;
//                              no bit above 0x3FF
//
// Opening decides the encoding from the first four bytes (detect_encoding in
// zeltoc.h): a native read whose low byte is 10..50 (step 10) is native with
// that code; a low byte >= 60 without bit 0x100 (and none above 0x3FF) is
// native; otherwise the bytes are re-read big-endian and must give 31, 41,
// 51 or >= 60 with bit 0x100 set and none above 0x3FF.
//
// Block sizes. N, M, K, C, E are the counts at the block's own start:
//
//   id  name                        size in bytes
//    1  version_code                4
//    2  header                      544 w
//    3  content_summary             100 w
//    4  nodal_coords                8 + N (4 + K r)           N nodes, K coordinates
//    5  element_topology            8 + 12 E + sum 4 F (V + 2)  E element entries of
//                                   {label, F faces, V vertices}, T total faces first
//    6  global_body_props           13 r
//    7  eigenvalues                 4 + N (4 + 5 r)
//    8  mode_shapes                 8 + 4 N + M (4 + 6 N r)   M modes, N nodes
//                                   (version 10: no mode-number int, 8 + 4 N + 6 M N r)
//    9  nodal_masses                8 + N (4 + K r)
//   10  nodal_inertias              4 + N (4 + 2 w + r)
//   11  units                       64 w
//   12  generalized_stiff           8 + N (12 + r)
//   13  generalized_mass            8 + N (12 + r)
//   14  element_faces               first int S (the block's own length)
//   15  generalized_damping         8 + N (12 + r)
//   16  mode_shape_transformation   4 + N (4 + N r)
//   17  interface_nodes             4 (N + 1)
//   18  modal_stress                as 8
//   19  invar1                      r
//   20  invar2                      3 r
//   21  invar3                      4 + 3 M r
//   22  invar4                      4 + 3 M r
//   23  invar5                      4 + 3 M^2 r
//   24  invar7                      9 r          (there is no invariant 6 block)
//   25  invar8                      4 + 9 M r
//   26  invar9                      4 + 9 M^2 r
//   27  preload                     8 + M r
//   28  modal_loads                 8 + C (256 w + 4 + M r)   M modes, C cases
//   29  modal_strain                as 8
//   30  modal_statistics            4 + 13 N (4 + r)
//   31  pre_stress                  4 + 6 N r
//   32  pre_strain                  4 + 6 N r
#ifndef ZEL_BLOCK_TABLE_H
#define ZEL_BLOCK_TABLE_H

#include <array>
#include <cstdint>

namespace zel {

constexpr int kBlockCount = 32;

// Always-present blocks, by index (id - 1).
constexpr int kVersionCodeBlock = 0;
constexpr int kHeaderBlock = 1;
constexpr int kContentSummaryBlock = 2;
constexpr int kFirstOptionalBlock = 3;

// Block indices of the optional blocks the library refers to by name.
constexpr int kCoordinatesBlock = 3;
constexpr int kElementTopologyBlock = 4;
constexpr int kGlobalPropertiesBlock = 5;
constexpr int kEigenvaluesBlock = 6;
constexpr int kModeShapesBlock = 7;
constexpr int kNodalMassesBlock = 8;
constexpr int kNodalInertiasBlock = 9;
constexpr int kUnitsBlock = 10;
constexpr int kGeneralizedStiffnessBlock = 11;
constexpr int kGeneralizedMassBlock = 12;
constexpr int kFacesBlock = 13;
constexpr int kGeneralizedDampingBlock = 14;
constexpr int kTransformationBlock = 15;
constexpr int kInterfaceNodesBlock = 16;
constexpr int kModalStressBlock = 17;
constexpr int kInvariant1Block = 18;  // invariants 2 to 5 follow in order
constexpr int kInvariant7Block = 23;  // invariants 8 and 9 follow (6 has none)
constexpr int kPreloadBlock = 26;
constexpr int kModalLoadsBlock = 27;
constexpr int kModalStrainBlock = 28;
constexpr int kStatisticsBlock = 29;
constexpr int kPreStressBlock = 30;
constexpr int kPreStrainBlock = 31;

// The block index of inertia invariant `number` (1 to 9), -1 for 6.
constexpr int invariant_block_index(int number) {
  return number >= 1 && number <= 5   ? kInvariant1Block + number - 1
         : number >= 7 && number <= 9 ? kInvariant7Block + number - 7
                                      : -1;
}

// The content position of block index b (3..31) holds its present flag:
// positions 7 and 11 belong to no block, so the mapping skips them.
constexpr int content_position(int block_index) {
  return block_index < 10 ? block_index - 3 : block_index < 13 ? block_index - 2 : block_index - 1;
}

// Lengths of the fixed blocks in chars.
constexpr int kHeaderChars = 544;
constexpr int kContentSummaryChars = 100;
constexpr int kUnitsChars = 64;
constexpr int kLoadCaseLabelChars = 256;

// How a block's length follows from the counts at its start.
enum class SizeRule {
  kFixed,                // fixed_ints * 4 + fixed_chars * w + fixed_reals * r
  kNodeRecords,          // 8 + N (4 + K r): blocks 4, 9
  kElementTopology,      // walks the element table: block 5
  kEigenvalues,          // 4 + N (4 + 5 r)
  kModeVectors,          // 8 + 4 N + M (h + 6 N r), h = 4 where records carry a
                         // mode-number int (see mode_number_field in blocks.h), else 0
  kNodalInertias,        // 4 + N (4 + 2 w + r)
  kGeneralizedEntries,   // 8 + N (12 + r)
  kSelfSized,            // the first int
  kTransformation,       // 4 + N (4 + N r)
  kIntList,              // 4 (N + 1)
  kPerMode,              // 4 + reals_per_mode M r
  kPerModePair,          // 4 + reals_per_mode M^2 r
  kPreload,              // 8 + M r
  kModalLoads,           // 8 + C (256 w + 4 + M r)
  kStatistics,           // 4 + 13 N (4 + r)
  kNodalSixValues,       // 4 + 6 N r
};

struct BlockInfo {
  int id;                       // 1..32, as in the file and in messages
  const char *name;             // the format's name of the block
  int content_position;         // its flag in the content summary; -1: always present
  const char *exists_label;     // the contents report's label
  SizeRule size_rule;
  int fixed_ints;               // kFixed only
  int fixed_chars;              // kFixed only
  int fixed_reals;              // kFixed; reals per mode (pair) for kPerMode(Pair)
  const char *size_failure;     // reported when the length cannot be found; null for fixed sizes
};

// Indexed by block index (id - 1).
extern const std::array<BlockInfo, kBlockCount> kBlocks;

// The encoding and precision a version code selects, and how much of the
// format it carries.
constexpr bool is_xdr_version(uint32_t code) {
  return code == 31 || code == 41 || code == 51 || (code & 0x100u) != 0;
}
constexpr bool is_single_precision_version(uint32_t code) {
  return code == 50 || code == 51 || (code & 0x200u) != 0;
}
// Versions 1.0 to 3.1 know only content positions 0..16.
constexpr bool has_short_content_summary(uint32_t code) {
  return code == 10 || code == 20 || code == 30 || code == 31;
}
// The format version shown to people: low byte / 10.
constexpr double version_shown(uint32_t code) { return static_cast<double>(code & 0xFFu) * 0.1; }

constexpr int kShortContentSummaryPositions = 17;

}  // namespace zel

#endif  // ZEL_BLOCK_TABLE_H
