// A temporary value store: one file of fixed slots, one per mode, that
// holds the values of one value set while a body is being built.
//
// Layout (native byte order, w = 8 for a double-precision store, else 4):
//
//   slot m        starts at  m x 6 x positions x w
//   position p    record of 6 values at  slot start + 6 x p x w
//   component c   value at  slot start + (6 x p + c) x w
//
// `positions` starts at the database's expected node count. The whole grid
// is reserved on disk when the store is created, so a full disk is reported
// then and not halfway through filling. Values reach the file through a
// shared memory mapping: a value costs a store into the page cache, never a
// system call, in whatever order modes, nodes and components arrive, and the
// kernel writes dirty pages back in large runs under its own memory bound.
#ifndef ZEL_TEMPSTORE_H
#define ZEL_TEMPSTORE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "zelfile.h"

namespace zel {

class TempStore {
 public:
  TempStore() = default;
  TempStore(const TempStore &) = delete;
  TempStore &operator=(const TempStore &) = delete;
  // The store is the database's own: it is closed and deleted with it.
  ~TempStore() { discard(); }

  // Creates the store of value set `set` (0 mode shapes, 1 modal stress,
  // 2 modal strain) with `slots` zeroed slots of `positions` records. The
  // file is the path in the set's KOR_TMP_* variable when set, else a new
  // file "zel_XXXXXX" made exclusively (owner-only) in $TMP, or in the
  // system's temporary directory when TMP is unset. Prints the set's
  // messages; false leaves the store closed with no file behind.
  bool create(int set, int32_t slots, int32_t positions, bool double_precision);

  // Makes room for at least `count` positions per slot, moving every slot
  // to the wider stride (values kept, new records zero). False, with the
  // disk-space or memory message, leaves the store as it was.
  bool ensure_positions(int32_t count);

  bool is_open() const { return base_ != nullptr; }
  const std::string &name() const { return file.name; }
  int32_t slot_count() const { return slots_; }
  int32_t positions() const { return positions_; }
  int value_size() const { return file.real_size(); }
  // File offset of the slot of mode index `slot`.
  int64_t slot_offset(int32_t slot) const { return static_cast<int64_t>(slot) * slot_bytes(); }

  // The caller keeps slot < slot_count(), position < positions() and
  // component < 6.
  void write_record(int32_t slot, int32_t position, const double values[6]);
  void write_value(int32_t slot, int32_t position, int component, double value);

  // The first `count` records of a slot, as doubles (6 x count values).
  void read_slot(int32_t slot, double *values, int32_t count) const;
  // Replaces the first `count` records of a slot.
  void write_slot(int32_t slot, const double *values, int32_t count);

  // Unmaps and closes the store and deletes its file.
  void discard() noexcept;

  // The store file as a native-order stream (name, precision), for code
  // that reads or copies it as a file; its values are the mapped grid's.
  ZelFile file;

 private:
  int64_t slot_bytes() const { return static_cast<int64_t>(positions_) * 6 * value_size(); }
  int64_t value_offset(int32_t slot, int32_t position, int component) const {
    return slot_offset(slot) + (static_cast<int64_t>(position) * 6 + component) * value_size();
  }
  unsigned char *at(int64_t offset) const { return base_ + offset; }
  void store_values(int64_t offset, const double *values, std::size_t n);
  void drop_unmapped_tail() noexcept;

  int fd() const { return file.fp != nullptr ? fileno(file.fp) : -1; }

  unsigned char *base_ = nullptr;  // the mapped grid
  int64_t mapped_bytes_ = 0;
  int set_ = 0;
  int32_t slots_ = 0;
  int32_t positions_ = 0;
  // The file this store created (device, inode): deleting by name never
  // removes a file that has since replaced it under the same path.
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

}  // namespace zel

#endif  // ZEL_TEMPSTORE_H
