// A temporary value store: one file of fixed slots, one per mode, that
// holds the values of one value set while a body is being built.
#ifndef ZEL_TEMPSTORE_H
#define ZEL_TEMPSTORE_H

#include <cstdint>
#include <vector>

#include "zelfile.h"

namespace zel {

struct TempStore {
  ZelFile file;
  int open = 0;                      // 1 once the store file exists
  std::vector<int64_t> slot_offset;  // file offset of each mode slot

  TempStore() = default;
  TempStore(const TempStore &) = delete;
  TempStore &operator=(const TempStore &) = delete;
  // The store is the database's own: it is closed and deleted with it.
  ~TempStore() { discard(); }

  void discard() noexcept;
};

}  // namespace zel

#endif  // ZEL_TEMPSTORE_H
