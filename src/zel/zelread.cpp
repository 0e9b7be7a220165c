// File -> Database.
#include "database.h"
#include "reader.h"
#include "messages.h"

namespace zel {

// The block decoders this needs arrive with the file-format work; until
// then opening a file fails with a plain message instead of reading.
bool read_zel_file(Database &db, std::FILE *stream, const char *path) {
  db.file.fp = stream;
  db.file.name = path;
  ZEL_Error("Reading ZEL files is not available in this build: %s", path);
  return false;
}

}  // namespace zel

extern "C" ZEL_API const char *zelread_VersionId(void) { return "zelread 0.1"; }
