// The ID -> position index against a plain reference model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <random>
#include <vector>

#include "body/node_index.h"
#include "zel.h"
#include "allocation_control.h"

using zel::IdPos;
using zel::NodeIndex;

namespace {

std::vector<int32_t> ids_of(std::span<const IdPos> pairs) {
  std::vector<int32_t> ids;
  for (const IdPos &pair : pairs) ids.push_back(pair.id);
  return ids;
}

}  // namespace

TEST(NodeIndex, MatchesAReferenceMapUnderRandomInsertsAndInterleavedSortedViews) {
  NodeIndex index;
  std::map<int32_t, int32_t> reference;
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> any_id(-50000, 50000);
  for (int32_t pos = 0; pos < 20000; ++pos) {
    const int32_t id = any_id(random);
    if (reference.count(id)) continue;
    index.insert(id, pos);
    reference[id] = pos;
    if (pos % 997 == 0) {
      const auto &sorted = index.sorted();
      ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                                 [](const IdPos &a, const IdPos &b) { return a.id < b.id; }));
    }
  }
  for (const auto &[id, pos] : reference) ASSERT_EQ(index.find(id), pos);
  for (int32_t probe = -50000; probe <= 50000; probe += 7)
    ASSERT_EQ(index.find(probe), reference.count(probe) ? reference[probe] : -1);
  std::vector<IdPos> expected;
  for (const auto &[id, pos] : reference) expected.push_back({id, pos});
  const auto &sorted = index.sorted();
  ASSERT_EQ(sorted.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(sorted[i].id, expected[i].id);
    EXPECT_EQ(sorted[i].pos, expected[i].pos);
  }
}

TEST(NodeIndex, DuplicatesKeepTheFirstForLookupAndInsertionOrderWhenSorted) {
  NodeIndex index;
  index.insert(9, 0);
  index.insert(3, 1);
  index.insert(9, 2);
  index.insert(1, 3);
  EXPECT_EQ(index.find(9), 0);
  const auto &sorted = index.sorted();
  EXPECT_EQ(ids_of(sorted), (std::vector<int32_t>{1, 3, 9, 9}));
  EXPECT_EQ(sorted[2].pos, 0);
  EXPECT_EQ(sorted[3].pos, 2);
}

TEST(NodeIndex, ReassignMovesLookupAndSortedEntry) {
  NodeIndex index;
  for (int32_t id : {40, 10, 30, 20}) index.insert(id, index.size());
  EXPECT_TRUE(index.reassign(30, 0));
  EXPECT_TRUE(index.reassign(40, 2));
  EXPECT_FALSE(index.reassign(50, 1));
  EXPECT_EQ(index.find(30), 0);
  EXPECT_EQ(index.find(40), 2);
  EXPECT_EQ(index.sorted()[2].pos, 0);
  EXPECT_EQ(index.sorted()[3].pos, 2);
}

TEST(NodeIndex, EmptyAndClearedIndexFindsNothing) {
  NodeIndex index;
  EXPECT_EQ(index.find(0), -1);
  EXPECT_FALSE(index.reassign(0, 0));
  index.insert(0, 0);
  index.clear();
  EXPECT_EQ(index.find(0), -1);
  EXPECT_EQ(index.size(), 0);
  EXPECT_TRUE(index.sorted().empty());
}

TEST(ById, ComparesFirstIntAsSigned) {
  const IdPos low{-5, 9}, high{3, 0}, same{3, 7};
  EXPECT_EQ(By_Id(&low, &high), -1);
  EXPECT_EQ(By_Id(&high, &low), 1);
  EXPECT_EQ(By_Id(&high, &same), 0);
}

TEST(NodeIndex, RefusedGrowthLeavesEveryEntryFindable) {
  NodeIndex index;
  // 512 entries fill the first hash table to its load limit; the next one
  // needs a table twice as large (16 KB), and only that allocation fails.
  for (int32_t id = 0; id < 512; ++id) index.insert(1000 + id, id);
  zel_test::with_allocations_refused_from(2048 * 8, [&] { EXPECT_THROW(index.insert(5000, 512), std::bad_alloc); });
  for (int32_t id = 0; id < 512; ++id) ASSERT_EQ(index.find(1000 + id), id) << "ID " << 1000 + id;
  EXPECT_EQ(index.find(5000), -1);
  EXPECT_EQ(index.size(), 512);
  index.insert(5000, 512);
  EXPECT_EQ(index.find(5000), 512);
}

TEST(NodeIndex, ReservedRoomTakesThatManyInsertsWithoutAllocating) {
  NodeIndex index;
  index.insert(-3, 0);
  index.reserve(5000);
  zel_test::with_allocations_refused_from(1, [&] {
    try {
      for (int32_t pos = 1; pos < 5000; ++pos) index.insert(pos * 7919, pos);
    } catch (const std::bad_alloc &) {
    }
  });
  ASSERT_EQ(index.size(), 5000);
  EXPECT_EQ(index.find(-3), 0);
  for (int32_t pos = 1; pos < 5000; ++pos) ASSERT_EQ(index.find(pos * 7919), pos);
  // A smaller reservation shrinks nothing.
  index.reserve(10);
  EXPECT_EQ(index.find(4999 * 7919), 4999);
}

TEST(NodeIndex, RefusedReservationLeavesEveryEntryFindable) {
  NodeIndex index;
  for (int32_t id = 0; id < 300; ++id) index.insert(id * 3, id);
  // Room for 100000 sorted entries (800 KB) is granted, their hash table
  // (2 MiB) refused.
  zel_test::with_allocations_refused_from(std::size_t{2} << 20,
                                          [&] { EXPECT_THROW(index.reserve(100000), std::bad_alloc); });
  EXPECT_EQ(index.size(), 300);
  for (int32_t id = 0; id < 300; ++id) ASSERT_EQ(index.find(id * 3), id);
  EXPECT_EQ(index.find(1), -1);
  index.insert(1, 300);
  EXPECT_EQ(index.find(1), 300);
  EXPECT_EQ(index.sorted()[1].id, 1);
}

// Blocks from 2 MiB up are placed on a huge-page boundary inside a larger
// request; every block must still be usable to its last byte (the
// sanitizer build checks the bounds) and come from operator new.
TEST(TableAllocator, EveryBlockIsUsableToItsEndAndLargeOnesSitOnHugePages) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  zel::TableAllocator<double> allocator;
  for (std::size_t count : {std::size_t{1}, std::size_t{1000}, kHugePage / 8 - 1, kHugePage / 8, kHugePage / 8 + 1,
                            3 * kHugePage / 8 + 5}) {
    SCOPED_TRACE(count);
    double *block = allocator.allocate(count);
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    EXPECT_EQ(address % 16, 0u);
    if (count * sizeof(double) >= kHugePage) {
      EXPECT_EQ(address % kHugePage, 0u);
    }
    std::fill(block, block + count, 1.5);
    EXPECT_EQ(block[count - 1], 1.5);
    allocator.deallocate(block, count);
    zel_test::with_allocations_refused_from(1, [&] { EXPECT_THROW(allocator.allocate(count), std::bad_alloc); });
  }
  EXPECT_THROW(allocator.allocate(std::size_t{1} << 62), std::bad_array_new_length);
}
