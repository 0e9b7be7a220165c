// Reads the modal results of a solver result file (.frd, ASCII): for each
// mode the displacements and, when present, the stresses and total strains
// at the nodes.
#ifndef ZEL_CCX_FRD_READER_H
#define ZEL_CCX_FRD_READER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ccx {

// Values of one result block: `width` values per node, in node_ids order.
struct NodalValues {
  std::vector<int> node_ids;
  std::vector<double> values;
  int width = 0;
};

struct ModeResults {
  int number = 0;              // the mode's number in its step
  double frequency = 0.0;      // cycles per time unit, as the block states it
  double generalized_mass = 1.0;
  std::int64_t line = 0;       // where its displacements start
  NodalValues displacement;    // x, y, z
  NodalValues stress;          // xx, yy, zz, xy, xz, yz (empty when absent)
  NodalValues strain;          // the same order; tensor shear strains, as written
};

// Modes in file order. InputError naming file and line on a malformed block,
// a mode given twice, or a file without the displacements of a frequency step.
std::vector<ModeResults> read_frd(const std::string &path);
// The same over text already in memory; `name` names it in messages.
std::vector<ModeResults> parse_frd(std::string_view text, const std::string &name);
// The results of the static steps instead, one entry per step, numbered as
// the steps are (no frequency, generalized mass 1).
std::vector<ModeResults> read_static_frd(const std::string &path);

}  // namespace ccx

#endif  // ZEL_CCX_FRD_READER_H
