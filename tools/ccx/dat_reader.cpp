#include "dat_reader.h"

#include <cmath>
#include <set>

#include "input_error.h"

namespace ccx {
namespace {

constexpr std::string_view kTableTitle = "E I G E N V A L U E   O U T P U T";

std::vector<std::string_view> blank_separated(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (true) {
    i = line.find_first_not_of(" \t", i);
    if (i == std::string_view::npos) break;
    const size_t end = std::min(line.find_first_of(" \t", i), line.size());
    tokens.push_back(line.substr(i, end - i));
    i = end;
  }
  return tokens;
}

// A table row: mode number, eigenvalue, then the frequencies. A NaN would
// pass every comparison with the result file unseen: it is refused.
bool table_row(std::string_view line, const Where &where, int &mode, double &value) {
  const std::vector<std::string_view> tokens = blank_separated(line);
  if (tokens.size() < 3 || !parse_int(tokens[0], mode) || !parse_double(tokens[1], value)) return false;
  if (!std::isfinite(value)) fail(where, quoted(tokens[1]) + " is not a finite eigenvalue");
  return true;
}

}  // namespace

std::vector<Eigenvalue> parse_dat(std::string_view text, const std::string &name) {
  std::vector<Eigenvalue> eigenvalues;
  std::set<int> seen;
  LineCursor lines(text);
  std::string_view line;
  bool in_table = false, rows_started = false;
  bool found_table = false;
  while (lines.next(line)) {
    if (line.find(kTableTitle) != std::string_view::npos) {
      in_table = found_table = true;
      rows_started = false;
      continue;
    }
    if (!in_table) continue;
    int mode;
    double value;
    if (table_row(line, {name, lines.line_number()}, mode, value)) {
      rows_started = true;
      if (!seen.insert(mode).second)
        fail({name, lines.line_number()},
             "mode " + std::to_string(mode) + " is listed twice (eigenvalues of more than one frequency step?)");
      eigenvalues.push_back({mode, value, lines.line_number()});
    } else if (rows_started && !trim(line).empty()) {
      in_table = false;
    }
  }
  if (!found_table || eigenvalues.empty()) fail_in(name, "no eigenvalue table");
  return eigenvalues;
}

std::vector<Eigenvalue> read_dat(const std::string &path) { return parse_dat(read_whole_file(path), path); }

}  // namespace ccx
