// Memory for the tables that hold an entry per node: the node table, its
// ID index and the index's sorted view.
//
// A million-node body needs tens of megabytes of them, and a process pays
// the kernel for every page it touches for the first time; on a virtual
// machine one such page fault can cost more than filling the page. Blocks
// of 2 MiB and more are therefore aligned to and advised for transparent
// huge pages, so that the kernel may back them 2 MiB at a time. Advice
// the kernel ignores changes nothing but speed.
//
// Every block comes from the global operator new, so whatever watches or
// refuses a program's allocations sees these too.
#ifndef ZEL_TABLE_MEMORY_H
#define ZEL_TABLE_MEMORY_H

#include <cstddef>
#include <new>

namespace zel {

// A block of at least `bytes` bytes, 16-byte aligned; throws
// std::bad_alloc when refused.
void *allocate_table_memory(std::size_t bytes);
// Gives back a block of allocate_table_memory(bytes); null is ignored.
void release_table_memory(void *block, std::size_t bytes) noexcept;

// The allocator of per-node containers.
template <class T>
struct TableAllocator {
  using value_type = T;

  TableAllocator() = default;
  template <class U>
  TableAllocator(const TableAllocator<U> &) noexcept {}

  T *allocate(std::size_t count) {
    static_assert(alignof(T) <= 16);
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T *>(allocate_table_memory(count * sizeof(T)));
  }
  void deallocate(T *block, std::size_t count) noexcept { release_table_memory(block, count * sizeof(T)); }

  template <class U>
  bool operator==(const TableAllocator<U> &) const noexcept {
    return true;
  }
};

}  // namespace zel

#endif  // ZEL_TABLE_MEMORY_H
