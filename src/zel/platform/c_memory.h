// Arrays handed to callers: allocated with malloc so that ZEL_FreeMemory
// (and a C caller's free) releases them.
#ifndef ZEL_C_MEMORY_H
#define ZEL_C_MEMORY_H

#include <cstdlib>
#include <cstring>
#include <new>

namespace zel {

// A new caller-owned array of `count` zeroed elements; throws bad_alloc so
// the operation's guard reports the memory failure.
template <class T>
T *new_caller_array(std::size_t count) {
  void *memory = std::calloc(count == 0 ? 1 : count, sizeof(T));
  if (memory == nullptr) throw std::bad_alloc();
  return static_cast<T *>(memory);
}

template <class T>
T *copy_to_caller_array(const T *data, std::size_t count) {
  T *copy = new_caller_array<T>(count);
  if (count != 0) std::memcpy(copy, data, count * sizeof(T));
  return copy;
}

}  // namespace zel

#endif  // ZEL_C_MEMORY_H
