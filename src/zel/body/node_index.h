// The ID -> position index of a node table or value set.
//
// Lookups are hashed (O(1)); the ID-sorted view that reports and files need
// is kept in step while IDs arrive in ascending order and re-sorted lazily
// otherwise, so building a million-node table costs O(n log n) at worst
// instead of the O(n^2) of a sorted-array insertion.
#ifndef ZEL_NODE_INDEX_H
#define ZEL_NODE_INDEX_H

#include <cstdint>
#include <span>
#include <vector>

#include "body/table_memory.h"

namespace zel {

// {node ID, position}; the layout of the format's sorted ID tables.
struct IdPos {
  int32_t id;
  int32_t pos;
};

class NodeIndex {
 public:
  // Position of the first entry added under `id`, or -1.
  int32_t find(int32_t id) const;

  // Adds {id, pos} without a duplicate check. An ID added twice keeps its
  // first position for find() and appears twice in sorted(), the later one
  // after the earlier.
  void insert(int32_t id, int32_t pos);

  // Moves the entry found for `id` to position `pos`; false when absent.
  bool reassign(int32_t id, int32_t pos);

  // Every entry sorted by ID ascending; equal IDs in insertion order.
  // Valid until the next insert or clear.
  std::span<const IdPos> sorted() const;

  int32_t size() const { return static_cast<int32_t>(entries_.size()); }
  // Room for `count` entries in all, so that inserts up to that number
  // allocate nothing; a refused allocation leaves the index as it was.
  void reserve(int32_t count);
  void clear();

 private:
  struct Slot {
    int32_t id;
    int32_t pos;  // -1 marks an empty slot
  };
  std::size_t slot_of(int32_t id) const;
  void rehash(std::size_t table_size);

  static uint64_t random_multiplier();

  uint64_t multiplier_ = random_multiplier();
  std::vector<Slot, TableAllocator<Slot>> table_;
  unsigned shift_ = 64;
  mutable std::vector<IdPos, TableAllocator<IdPos>> entries_;
  mutable bool entries_sorted_ = true;
};

}  // namespace zel

#endif  // ZEL_NODE_INDEX_H
