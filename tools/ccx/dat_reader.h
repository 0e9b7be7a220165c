// Reads the eigenvalue table of a solver printout (.dat).
#ifndef ZEL_CCX_DAT_READER_H
#define ZEL_CCX_DAT_READER_H

#include <string>
#include <string_view>
#include <vector>

namespace ccx {

struct Eigenvalue {
  int mode;
  double value;  // (rad / time)^2
  int line;
};

// In table order. InputError naming file and line when there is no table or
// a mode is listed twice.
std::vector<Eigenvalue> read_dat(const std::string &path);
std::vector<Eigenvalue> parse_dat(std::string_view text, const std::string &name);

}  // namespace ccx

#endif  // ZEL_CCX_DAT_READER_H
