#include "body/node_index.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>

#include "zel.h"

// Records of every sorted lookup table lead with their 32-bit ID.
extern "C" ZEL_API int By_Id(const void *a, const void *b) {
  int32_t left = 0;
  int32_t right = 0;
  std::memcpy(&left, a, sizeof left);
  std::memcpy(&right, b, sizeof right);
  return (left > right) - (left < right);
}

namespace zel {

// Node IDs come from files, and a file may be built to make them collide
// under any fixed hash. Multiply-shift hashing with a random odd multiplier,
// drawn once per process, makes any two IDs collide with probability at
// most 2 / table size whatever the IDs are, at the cost of one multiply.
uint64_t NodeIndex::random_multiplier() {
  static const uint64_t multiplier = [] {
    std::random_device source;
    return ((static_cast<uint64_t>(source()) << 32) ^ source()) | 1u;
  }();
  return multiplier;
}

namespace {
constexpr std::size_t kMinimumTableSize = 1024;

std::size_t hash_id(int32_t id, uint64_t multiplier, unsigned shift) {
  return static_cast<std::size_t>((static_cast<uint64_t>(static_cast<uint32_t>(id)) * multiplier) >> shift);
}

// Linear probing stays short while at most half the slots are taken.
std::size_t table_size_for(std::size_t entries) { return std::max(kMinimumTableSize, std::bit_ceil(2 * entries)); }
}  // namespace

std::size_t NodeIndex::slot_of(int32_t id) const {
  const std::size_t mask = table_.size() - 1;
  std::size_t slot = hash_id(id, multiplier_, shift_);
  while (table_[slot].pos >= 0 && table_[slot].id != id) slot = (slot + 1) & mask;
  return slot;
}

int32_t NodeIndex::find(int32_t id) const {
  if (table_.empty()) return -1;
  return table_[slot_of(id)].pos;
}

void NodeIndex::rehash(std::size_t table_size) {
  // The new table is had before the old one is given up, so a refused
  // allocation leaves every entry findable.
  std::vector<Slot, TableAllocator<Slot>> old(table_size, Slot{0, -1});
  old.swap(table_);
  shift_ = 64 - static_cast<unsigned>(std::countr_zero(table_size));
  for (const Slot &slot : old)
    if (slot.pos >= 0) table_[slot_of(slot.id)] = slot;
}

void NodeIndex::reserve(int32_t count) {
  const auto entries = static_cast<std::size_t>(std::max(count, 0));
  const std::size_t table_size = table_size_for(entries);
  entries_.reserve(entries);
  if (table_.size() < table_size) rehash(table_size);
}

void NodeIndex::insert(int32_t id, int32_t pos) {
  // Both containers grow before anything is stored, so a failed allocation
  // leaves the index as it was.
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + entries_.size() / 2 + 1000);
  if (2 * (entries_.size() + 1) > table_.size()) rehash(table_size_for(entries_.size() + 1));
  const std::size_t slot = slot_of(id);
  if (table_[slot].pos < 0) table_[slot] = Slot{id, pos};
  if (entries_sorted_ && !entries_.empty() && entries_.back().id > id) entries_sorted_ = false;
  entries_.push_back(IdPos{id, pos});
}

bool NodeIndex::reassign(int32_t id, int32_t pos) {
  if (table_.empty()) return false;
  Slot &slot = table_[slot_of(id)];
  if (slot.pos < 0) return false;
  sorted();
  auto entry = std::lower_bound(entries_.begin(), entries_.end(), id,
                                [](const IdPos &e, int32_t key) { return e.id < key; });
  entry->pos = pos;
  slot.pos = pos;
  return true;
}

std::span<const IdPos> NodeIndex::sorted() const {
  if (!entries_sorted_) {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const IdPos &a, const IdPos &b) { return a.id < b.id; });
    entries_sorted_ = true;
  }
  return entries_;
}

void NodeIndex::clear() {
  table_.clear();
  shift_ = 64;
  entries_.clear();
  entries_sorted_ = true;
}

}  // namespace zel
