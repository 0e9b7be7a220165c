// File -> Database.
#ifndef ZEL_READER_H
#define ZEL_READER_H

#include <cstdio>

struct Database;

namespace zel {

// Reads the ZEL file open on `stream` (named `path`) into the empty `db`,
// which takes over the stream and keeps it open for the mode data. False
// after the reader's own messages; never throws (a failed allocation is
// reported like any other failure).
bool read_zel_file(Database &db, std::FILE *stream, const char *path);

}  // namespace zel

#endif  // ZEL_READER_H
