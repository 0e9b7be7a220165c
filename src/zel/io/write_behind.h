// Starting the disk early on a long write. The system keeps written bytes
// in memory until a sync or its own flusher (which waits for gigabytes of
// them) sends them to the disk, so a writer that syncs at the end would
// spend all its encoding first and then all the disk's time. Handing each
// few megabytes to the disk as soon as they are written lets the disk work
// while the next ones are encoded; the final sync then finds little left.
//
// Only a hint: the bytes, their order and the file's position stay as they
// are, and a system that cannot take the hint (another platform, a pipe)
// just leaves the whole write to the final sync.
#ifndef ZEL_WRITE_BEHIND_H
#define ZEL_WRITE_BEHIND_H

#include <cstdint>

#include "io/zelfile.h"

namespace zel {

class WriteBehind {
 public:
  // Large enough that the extra flush and call cost nothing beside the
  // bytes, small enough that the disk starts long before the write ends
  // (starts every few hundred kilobytes or every 32 MiB both wrote a large
  // body more slowly).
  static constexpr int64_t kStartEvery = int64_t{8} << 20;

  // Paces `file` (attached for writing) from its current position on.
  explicit WriteBehind(ZelFile &file);

  // Once enough has been written since the last start, pushes the stream's
  // buffer to the system and starts the disk on those bytes, without
  // waiting for it. False when the system refused the buffered bytes (a
  // full disk, a file-size limit): errno and the stream's error say why,
  // as for a refused write.
  bool written();

 private:
  ZelFile &file_;
  int64_t started_up_to_;  // bytes before this offset were handed on
};

}  // namespace zel

#endif  // ZEL_WRITE_BEHIND_H
