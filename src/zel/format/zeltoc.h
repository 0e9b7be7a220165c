// Opening a ZEL file: its encoding from the version code, the content
// summary and the offset of every block (the file stores none). The block
// layout these follow is in block_table.h.
#ifndef ZEL_ZELTOC_H
#define ZEL_ZELTOC_H

#include <cstdint>

#include "io/zelfile.h"

struct Database;

namespace zel {

// Reads the version code at offset 0 and switches `file` to the encoding
// and precision it selects. False after "Not a valid ZEL format." when
// neither a native nor an XDR reading gives an accepted code.
bool detect_encoding(ZelFile &file, uint32_t &version);

// Reads the content summary of db.file into db.exists (positions 17..99
// cleared for versions before 4.0, even when the read failed) and fills
// db.toc from the block sizes. False after "Problem reading ZEL table of
// contents." when the summary cannot be read. db.version and the file's
// encoding must already be set (detect_encoding).
bool build_table_of_contents(Database &db);

// The byte length of block index b of db's file, from the counts at its
// start; 0 for an absent block, and 0 with the block's message when the
// counts cannot be read, are negative or reach past the end of the file.
// The file position is restored.
uint64_t block_size(Database &db, int b);

}  // namespace zel

#endif  // ZEL_ZELTOC_H
