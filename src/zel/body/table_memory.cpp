#include "body/table_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace zel {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

constexpr std::size_t round_up(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

// A large block sits inside a request one huge page longer, at the first
// huge-page boundary past the request's start, and the request's address
// is kept just before it: the request is aligned for a pointer at least,
// so the block starts a pointer's width or more into it and ends inside it.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= sizeof(void *));
void *start_of_request(void *block) { return static_cast<void **>(block)[-1]; }

}  // namespace

void *allocate_table_memory(std::size_t bytes) {
  if (bytes < kHugePage) return ::operator new(bytes);
  if (bytes > static_cast<std::size_t>(-1) / 2) throw std::bad_alloc();
  const std::size_t length = round_up(bytes, kHugePage);
  void *request = ::operator new(length + kHugePage);
  const auto start = reinterpret_cast<std::uintptr_t>(request);
  auto *block = reinterpret_cast<void *>(round_up(start + 1, kHugePage));
  static_cast<void **>(block)[-1] = request;
#ifdef MADV_HUGEPAGE
  madvise(block, length, MADV_HUGEPAGE);
#endif
  return block;
}

void release_table_memory(void *block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  ::operator delete(bytes < kHugePage ? block : start_of_request(block));
}

}  // namespace zel
