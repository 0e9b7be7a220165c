// File -> Database.
#ifndef ZEL_READER_H
#define ZEL_READER_H

#include <cstdio>

struct Database;

namespace zel {

// Reads the ZEL file open on `stream` (named `path`) into the empty `db`,
// which takes over the stream. False after the reader's own messages.
bool read_zel_file(Database &db, std::FILE *stream, const char *path);

}  // namespace zel

#endif  // ZEL_READER_H
