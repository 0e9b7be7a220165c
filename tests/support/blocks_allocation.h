// The largest single allocation a piece of code asks for, so a test can
// prove that a hostile count never sizes a giant buffer (an overcommitting
// system would otherwise grant it silently).
//
// Include this header in exactly one source of a test program: it replaces
// the program's global operator new and delete.
#ifndef ZEL_TEST_BLOCKS_ALLOCATION_H
#define ZEL_TEST_BLOCKS_ALLOCATION_H

#include <algorithm>
#include <cstdlib>
#include <new>

namespace zel_test {

inline std::size_t &largest_allocation() {
  static std::size_t largest = 0;
  return largest;
}

// Runs `body` and gives the largest single allocation it requested.
template <class Body>
std::size_t largest_allocation_in(Body &&body) {
  largest_allocation() = 0;
  body();
  return largest_allocation();
}

// Far more than any well-formed test block needs, far less than a count
// taken on trust would ask for.
constexpr std::size_t kModestAllocation = std::size_t{1} << 20;

}  // namespace zel_test

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  zel_test::largest_allocation() = std::max(zel_test::largest_allocation(), size);
  return std::malloc(size == 0 ? 1 : size);
}
void *operator new(std::size_t size) {
  if (void *memory = operator new(size, std::nothrow)) return memory;
  throw std::bad_alloc();
}
// Kept out of line: inlined, the compiler would pair the free() with the
// new-expression and report a mismatch that the replacement does not have.
[[gnu::noinline]] void operator delete(void *memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }

#endif  // ZEL_TEST_BLOCKS_ALLOCATION_H
