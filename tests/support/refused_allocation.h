// Allocations that fail on request, so a test can show what an operation
// does when memory runs out.
//
// Include this header in exactly one source of a test program: it replaces
// the program's global operator new and delete.
#ifndef ZEL_TEST_REFUSED_ALLOCATION_H
#define ZEL_TEST_REFUSED_ALLOCATION_H

#include <cstdlib>
#include <new>

namespace zel_test {

// While non-zero, every allocation of at least this many bytes fails
// (1: every allocation).
inline std::size_t &refused_from_bytes() {
  static std::size_t bytes = 0;
  return bytes;
}

// Runs `body` with allocations of at least `bytes` bytes refused.
template <class Body>
void with_allocations_refused_from(std::size_t bytes, Body &&body) {
  refused_from_bytes() = bytes;
  body();
  refused_from_bytes() = 0;
}

}  // namespace zel_test

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  const std::size_t refused = zel_test::refused_from_bytes();
  return refused != 0 && size >= refused ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void *operator new(std::size_t size) {
  if (void *memory = operator new(size, std::nothrow)) return memory;
  throw std::bad_alloc();
}
// Kept out of line: inlined, the compiler would pair the free() with the
// new-expression and report a mismatch that the replacement does not have.
[[gnu::noinline]] void operator delete(void *memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }

#endif  // ZEL_TEST_REFUSED_ALLOCATION_H
