// The writer's blocks 4 to 32: what goes into each, gathered from the body
// in its current units, with the report lines and warnings that go with
// it. The layouts are the block encoders' (blocks.h).
#ifndef ZEL_WRITE_BLOCKS_H
#define ZEL_WRITE_BLOCKS_H

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "body/database.h"
#include "io/zelfile.h"

namespace zel {

// Which nodes of a value set a file's stress or strain block (and its
// pre-stress or pre-strain block) lists, worked out once for both.
struct SetSelection {
  std::vector<int32_t> node_ids;
  // The set position of each listed node, -1 for a node outside the set
  // (its values are written as zeros); empty when the list is the set
  // itself, position for position.
  std::vector<int32_t> positions;
};

struct WritePlan {
  uint32_t version = 0x13C;
  bool sparse_sets = false;  // stress and strain only where non-zero
  std::array<uint8_t, kExistsFlagCount> summary{};
  int32_t first_mode = 0;    // the exported mode indices [first, last)
  int32_t last_mode = 0;
  // The transformation's row length when the write began.
  std::size_t transform_stride = 0;
  std::array<std::optional<SetSelection>, kValueSetCount> selections;

  int32_t exported_modes() const { return last_mode - first_mode; }
  // Format level 60 writes stress and strain sets as they are; the older
  // levels spread a partial set over every node.
  bool expands_partial_sets() const;
  bool has_block(int block_index) const { return summary[static_cast<std::size_t>(content_position(block_index))] != 0; }
};

// Clears the summary flags of the generalized-matrix blocks that would
// hold no entries: readers refuse a present block of none.
void drop_empty_matrix_blocks(Database &db, WritePlan &plan);

// Writes the block with this index (3..31) at the file's position, with
// its report; false after the block's failure message when it could not
// be written. The statistics records of the exported modes are filled
// while the mode, stress and strain blocks are written.
bool write_body_block(ZelFile &file, Database &db, WritePlan &plan, int block_index);

// The blocks of mode shapes, modal stresses and modal strains, whose
// writers count one progress step per mode written.
constexpr bool holds_mode_values(int block_index) {
  return block_index == kModeShapesBlock || block_index == kModalStressBlock || block_index == kModalStrainBlock;
}

}  // namespace zel

#endif  // ZEL_WRITE_BLOCKS_H
