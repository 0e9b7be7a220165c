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
// then and not halfway through filling.
//
// Writes are staged: each slot has a window of consecutive records in
// memory that collects values until one lands outside it (or out of line
// with what it holds), and then goes to the file in one pwrite(). Filling
// for each mode all nodes, or for each node all modes, thus costs a memory
// store per value and a system call per window. The windows share a fixed
// memory budget. Reads come after the slot's window has been written out:
// double-precision records straight from the file with pread(), which
// copies from the page cache without faulting in the mapping page by page
// (a pass over every mode of a large store would take a fault per page),
// single-precision ones from a shared mapping of the file, widened. A
// reader that only passes double-precision records on (the writer, to its
// encoder) takes them in place from the mapping instead: there a read
// fault maps a run of neighbouring pages at once, and the copy it saves
// costs more.
#ifndef ZEL_TEMPSTORE_H
#define ZEL_TEMPSTORE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "io/zelfile.h"

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
  // system's temporary directory when TMP is unset, and unlinked as soon
  // as it is open (only the descriptor holds it, so even a killed process
  // leaves nothing). Prints the set's messages; false leaves the store
  // closed with no file behind.
  bool create(int set, int32_t slots, int32_t positions, bool double_precision);

  // The same for a store that is to replace a set's current one: always
  // a new unique file in $TMP (a KOR_TMP_* path may name the current
  // store), announced as `created` ("... file: %s"), with the replacement
  // messages.
  bool create_replacement(int32_t slots, int32_t positions, bool double_precision,
                          const char *created);

  // The messages a store prints (tempstore.cpp).
  struct Message;
  struct Texts;

  // Exchanges two stores whole (files, mappings, staged values).
  void swap(TempStore &other) noexcept;

  // Makes room for at least `count` positions per slot, moving every slot
  // to the wider stride (values kept, new records zero). False, with the
  // disk-space or memory message, leaves the store as it was.
  bool ensure_positions(int32_t count) { return count <= positions_ || widen(count); }

  bool is_open() const { return base_ != nullptr; }
  const std::string &name() const { return file.name; }
  int32_t slot_count() const { return slots_; }
  int32_t positions() const { return positions_; }
  int value_size() const { return file.real_size(); }
  // File offset of the slot of mode index `slot`.
  int64_t slot_offset(int32_t slot) const { return static_cast<int64_t>(slot) * slot_bytes(); }

  // The caller keeps slot < slot_count(), position < positions(),
  // component < 6 and count <= positions(). Writes and reads give false
  // when the file refused staged values (an I/O error: the grid's room was
  // reserved at creation); the values stay staged for the next attempt.
  bool write_record(int32_t slot, int32_t position, const double values[6]) {
    return append_record(slot, position, values) || stage(slot, int64_t{6} * position, values, 6);
  }
  // The common case of write_record, inline: a record right after the
  // last one staged in the slot's window. False (nothing written) when
  // the record is not that.
  bool append_record(int32_t slot, int32_t position, const double values[6]) {
    Window &window = windows_[static_cast<std::size_t>(slot)];
    const int64_t at_value = int64_t{6} * position - window.first;
    if (at_value != window.hi || at_value + 6 > appendable_values_) return false;
    unsigned char *to = window.bytes + at_value * 8;
    std::memcpy(to, values, 6 * sizeof(double));
    // Filling node by node, a window's next record comes only after
    // every other slot's: fetching its line now hides the miss.
    __builtin_prefetch(to + 4 * 48, 1);
    window.hi += 6;
    return true;
  }
  bool write_value(int32_t slot, int32_t position, int component, double value);
  // Replaces `count` records of a slot from position `first`.
  bool write_records(int32_t slot, int32_t first, const double *values, int32_t count);
  bool write_slot(int32_t slot, const double *values, int32_t count) { return write_records(slot, 0, values, count); }

  // `count` records of a slot from position `first`, as doubles (6 x count
  // values); first + count <= positions().
  bool read_records(int32_t slot, int32_t first, double *values, int32_t count);
  bool read_slot(int32_t slot, double *values, int32_t count) { return read_records(slot, 0, values, count); }
  // The same records where they lie in the store's mapping, for a reader
  // that only passes them on: no copy. Null for a single-precision store,
  // a range outside the grid, or staged values the file refused. Valid
  // until the store is next written to, widened or discarded.
  const double *mapped_records(int32_t slot, int32_t first, int32_t count);

  // Writes every staged value to the file.
  bool flush();

  // The store's message for a write the file refused.
  void report_no_room() const;

  // Unmaps and closes the store and deletes its file.
  void discard() noexcept;

  // The store file as a native-order stream (name, precision), for code
  // that reads or copies it as a file after flush().
  ZelFile file;

 private:
  int64_t slot_bytes() const { return static_cast<int64_t>(positions_) * 6 * value_size(); }
  // Consecutive values of one slot collected in memory: `bytes` holds
  // window_values_ values from value `first` of the slot (-1 while it has
  // no buffer, so that no value index lands at `hi`); values
  // [first + lo, first + hi) are staged and not yet in the file.
  struct Window {
    int64_t first = -1;
    int64_t lo = 0;
    int64_t hi = 0;
    unsigned char *bytes = nullptr;  // a buffer of the arena; only staged values are read
    bool staged() const { return hi > lo; }
  };

  bool create_with(const Texts &texts, int32_t slots, int32_t positions, bool double_precision);
  unsigned char *at(int64_t offset) const { return base_ + offset; }
  bool widen(int32_t count);
  bool stage(int32_t slot, int64_t first, const double *values, int64_t n);
  bool stage_in_window(int32_t slot, int64_t first, const double *values, int64_t n);
  bool write_out(int32_t slot);
  bool take_buffer(Window &window);
  void drop_unmapped_tail() noexcept;

  int fd() const { return file.fp != nullptr ? fileno(file.fp) : -1; }

  unsigned char *base_ = nullptr;  // the mapped grid
  int64_t mapped_bytes_ = 0;
  const Message *no_room_ = nullptr;  // the store's disk-space message
  int32_t slots_ = 0;
  int32_t positions_ = 0;
  std::vector<Window> windows_;  // one per slot
  int64_t window_values_ = 0;    // values a window holds: whole records
  // window_values_ for a double-precision store, else 0: the limit of the
  // inline append (which copies doubles as they are).
  int64_t appendable_values_ = 0;
  // The windows' buffers: one block within the memory budget (huge pages
  // where the system gives them, so that writing to many windows in turn
  // does not thrash the TLB), made on the first staged value.
  struct FreeBlock {
    void operator()(unsigned char *block) const { std::free(block); }
  };
  std::unique_ptr<unsigned char, FreeBlock> arena_;
  int32_t buffer_count_ = 0;
  std::vector<unsigned char *> free_buffers_;
  int32_t next_to_release_ = 0;  // where the search for a buffer to free starts
  // The file this store created (device, inode): deleting by name never
  // removes a file that has since replaced it under the same path.
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

}  // namespace zel

#endif  // ZEL_TEMPSTORE_H
