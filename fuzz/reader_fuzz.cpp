// Any bytes, opened as a ZEL file twice: from a memory stream, and from a
// file with a descriptor, which the reader maps and decodes in place. The
// read must end in a clean success or a clean failure, the mode offsets it
// records must lie inside the file, the modes must read through the
// queries, and a file that was read can be walked again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "body/database.h"
#include "format/blocks.h"
#include "zel.h"

namespace {

// Reads the first and last recorded mode of every value set: an offset
// outside the file would read past its end or fail here.
void read_recorded_modes(Database &db) {
  for (int set = zel::kModeShapeSet; set < zel::kValueSetCount; ++set) {
    const std::vector<int64_t> &offsets = db.temp_slot_offset[static_cast<std::size_t>(set)];
    if (offsets.empty()) continue;
    std::vector<double> values(6 * static_cast<std::size_t>(db.set_count(set)));
    for (int64_t offset : {offsets.front(), offsets.back()})
      if (!zel::read_mode_values(db.file, offset, db.set_count(set), values.data())) std::abort();
  }
}

// Both halves of the first and last mode of every set through ZEL_Mode,
// and a node of each through ZEL_ModeByNode: the paths that split a mode
// as they decode it and that cache it whole.
void query_first_and_last_modes(Database &db) {
  for (int set = zel::kModeShapeSet; set < zel::kValueSetCount; ++set) {
    const std::size_t modes = db.temp_slot_offset[static_cast<std::size_t>(set)].size();
    if (modes == 0 || db.set_count(set) < 1) continue;
    std::vector<double> half(3 * static_cast<std::size_t>(db.set_count(set)));
    for (std::size_t index : {std::size_t{0}, modes - 1}) {
      if (index >= db.mode_numbers.size()) continue;
      const int number = db.mode_numbers[index];
      ZEL_Mode(&db, number, set, half.data(), 0);
      ZEL_Mode(&db, number, set, half.data(), 1);
      ZEL_ModeByNode(&db, number, set, ZEL_ModeNodeID(&db, set, 0), half.data(), 1);
    }
  }
}

// Sizes every block and re-reads the generalized matrices: both walk the
// file again from the recorded offsets.
void revisit_blocks(Database &db) {
  for (int b = 0; b < 32; ++b) ZEL_size_of_block(&db, b);
  ZEL_ReadGeneralizedStiffness(&db);
  ZEL_ReadGeneralizedMass(&db);
  ZEL_ReadGeneralizedDamping(&db);
}

// The bytes as a file with a descriptor of its own (in memory).
std::FILE *descriptor_stream(const std::vector<unsigned char> &bytes) {
  const int fd = memfd_create("fuzz input", 0);
  if (fd < 0) return nullptr;
  std::FILE *stream = nullptr;
  if (write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && lseek(fd, 0, SEEK_SET) == 0)
    stream = fdopen(fd, "rb");
  if (stream == nullptr) close(fd);
  return stream;
}

// The body takes the stream over, read or not. A file with a descriptor
// must be mapped, or this target no longer reaches the mapped reads.
void read_and_walk(std::FILE *stream, bool mapped) {
  if (stream == nullptr) return;
  Database *db = ZEL_Create(0, 0);
  if (ZEL_ReadZEL(db, stream, "fuzz input") == 1) {
    if ((db->file.mapped_bytes(0, 1) != nullptr) != mapped) std::abort();
    read_recorded_modes(*db);
    query_first_and_last_modes(*db);
    revisit_blocks(*db);
  }
  ZEL_UnLink(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  if (size == 0) return 0;  // a memory stream needs at least one byte
  std::vector<unsigned char> bytes(data, data + size);
  read_and_walk(fmemopen(bytes.data(), bytes.size(), "rb"), false);
  read_and_walk(descriptor_stream(bytes), true);
  return 0;
}
