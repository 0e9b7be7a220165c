// Watches and refuses the program's allocations, so a test can prove that a
// hostile count never sizes a giant buffer (an overcommitting system would
// grant it silently) and show what an operation does when memory runs out.
//
// Include this header in exactly one source of a test program: it replaces
// the program's global operator new and delete.
#ifndef ZEL_TEST_ALLOCATION_CONTROL_H
#define ZEL_TEST_ALLOCATION_CONTROL_H

#include <algorithm>
#include <cstdlib>
#include <new>

namespace zel_test {

struct AllocationControl {
  std::size_t largest = 0;         // largest single request since reset
  std::size_t refuse_from = 0;     // non-zero: requests of at least this many bytes fail
  std::size_t refuse_exactly = 0;  // non-zero: requests of exactly this many bytes fail
};

inline AllocationControl &allocation_control() {
  static AllocationControl control;
  return control;
}

// Runs `body` and gives the largest single allocation it requested.
template <class Body>
std::size_t largest_allocation_in(Body &&body) {
  allocation_control().largest = 0;
  body();
  return allocation_control().largest;
}

// Runs `body` with allocations of at least `bytes` bytes refused
// (1: every allocation).
template <class Body>
void with_allocations_refused_from(std::size_t bytes, Body &&body) {
  allocation_control().refuse_from = bytes;
  body();
  allocation_control().refuse_from = 0;
}

// Runs `body` with allocations of exactly `bytes` bytes refused.
template <class Body>
void with_allocations_refused_of_size(std::size_t bytes, Body &&body) {
  allocation_control().refuse_exactly = bytes;
  body();
  allocation_control().refuse_exactly = 0;
}

// Far more than any well-formed test body needs, far less than a count
// taken on trust would ask for.
constexpr std::size_t kModestAllocation = std::size_t{1} << 20;

}  // namespace zel_test

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  zel_test::AllocationControl &control = zel_test::allocation_control();
  control.largest = std::max(control.largest, size);
  if ((control.refuse_from != 0 && size >= control.refuse_from) ||
      (control.refuse_exactly != 0 && size == control.refuse_exactly))
    return nullptr;
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

#endif  // ZEL_TEST_ALLOCATION_CONTROL_H
