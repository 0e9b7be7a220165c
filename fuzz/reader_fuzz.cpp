// Any bytes, opened as a ZEL file from memory: the read must end in a
// clean success or a clean failure, the mode offsets it records must lie
// inside the file, and a file that was read can be walked again.
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

// Sizes every block and re-reads the generalized matrices: both walk the
// file again from the recorded offsets.
void revisit_blocks(Database &db) {
  for (int b = 0; b < 32; ++b) ZEL_size_of_block(&db, b);
  ZEL_ReadGeneralizedStiffness(&db);
  ZEL_ReadGeneralizedMass(&db);
  ZEL_ReadGeneralizedDamping(&db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  if (size == 0) return 0;  // a memory stream needs at least one byte
  std::vector<unsigned char> bytes(data, data + size);
  std::FILE *stream = fmemopen(bytes.data(), bytes.size(), "rb");
  if (stream == nullptr) return 0;
  Database *db = ZEL_Create(0, 0);
  if (ZEL_ReadZEL(db, stream, "fuzz input") == 1) {
    read_recorded_modes(*db);
    revisit_blocks(*db);
  }
  ZEL_UnLink(db);
  return 0;
}
