// Reads the displacement tables of a solver printout (.dat), which carry
// seven significant digits where the result file (.frd) carries six.
#ifndef ZEL_CCX_PRINTOUT_READER_H
#define ZEL_CCX_PRINTOUT_READER_H

#include <string>
#include <string_view>
#include <vector>

#include "frd_reader.h"

namespace ccx {

// One table per printed step, in printout order: node IDs and x, y, z.
// InputError naming file and line for a row that is not a node and three
// finite numbers.
std::vector<NodalValues> parse_printed_displacements(std::string_view text, const std::string &name);
std::vector<NodalValues> read_printed_displacements(const std::string &path);

}  // namespace ccx

#endif  // ZEL_CCX_PRINTOUT_READER_H
