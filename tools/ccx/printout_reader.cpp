#include "printout_reader.h"

#include <cmath>
#include <sstream>

#include "input_error.h"

namespace ccx {

std::vector<NodalValues> parse_printed_displacements(std::string_view text, const std::string &name) {
  std::vector<NodalValues> tables;
  LineCursor lines(text);
  std::string_view line;
  bool in_table = false;
  while (lines.next(line)) {
    const std::string_view content = trim(line);
    if (content.rfind("displacements (vx,vy,vz)", 0) == 0) {
      tables.emplace_back();
      tables.back().width = 3;
      in_table = true;
      continue;
    }
    if (!in_table) continue;
    if (content.empty()) {
      // A blank line follows the title and ends the table.
      in_table = tables.back().node_ids.empty();
      continue;
    }
    std::istringstream row{std::string(content)};
    int id = 0;
    double value[3];
    std::string rest;
    if (!(row >> id >> value[0] >> value[1] >> value[2]) || (row >> rest))
      fail({name, lines.line_number()}, "not a node and three displacements: " + quoted(content));
    for (double v : value)
      if (!std::isfinite(v)) fail({name, lines.line_number()}, "a displacement of node " + std::to_string(id) + " is not finite");
    tables.back().node_ids.push_back(id);
    tables.back().values.insert(tables.back().values.end(), value, value + 3);
  }
  return tables;
}

std::vector<NodalValues> read_printed_displacements(const std::string &path) {
  return parse_printed_displacements(read_whole_file(path), path);
}

}  // namespace ccx
