#include "io/write_behind.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>

namespace zel {

namespace {

// Asks the disk to start on [from, to) without waiting; the final sync
// reports any failure, so a refusal here is not one.
void start_disk(int descriptor, int64_t from, int64_t to) {
#if defined(__linux__)
  (void)::sync_file_range(descriptor, from, to - from, SYNC_FILE_RANGE_WRITE);
#else
  (void)descriptor;
  (void)from;
  (void)to;
#endif
}

}  // namespace

WriteBehind::WriteBehind(ZelFile &file) : file_(file), started_up_to_(std::max<int64_t>(file.tell(), 0)) {}

bool WriteBehind::written() {
  const int64_t here = file_.tell();
  if (file_.fp == nullptr || here - started_up_to_ < kStartEvery) return true;
  if (std::fflush(file_.fp) != 0) return false;
  start_disk(::fileno(file_.fp), started_up_to_, here);
  started_up_to_ = here;
  return true;
}

}  // namespace zel
