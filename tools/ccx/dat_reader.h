// Reads the eigenvalue table of a solver printout (.dat).
#ifndef ZEL_CCX_DAT_READER_H
#define ZEL_CCX_DAT_READER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ccx {

struct Eigenvalue {
  int mode;
  double value;  // (rad / time)^2
  std::int64_t line;
};

// In table order. InputError naming file and line when there is no table, a
// mode is listed twice or an eigenvalue is not finite.
std::vector<Eigenvalue> read_dat(const std::string &path);
std::vector<Eigenvalue> parse_dat(std::string_view text, const std::string &name);

}  // namespace ccx

#endif  // ZEL_CCX_DAT_READER_H
