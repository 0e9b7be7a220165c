// The sections of shell and beam elements: what the deck gives for them and
// the mass properties that follow.
#ifndef ZEL_CCX_SECTIONS_H
#define ZEL_CCX_SECTIONS_H

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "input_error.h"

namespace ccx {

struct ShellSection {
  std::string element_set;
  std::string material;
  double thickness = 0.0;
  bool has_thickness = false;
  double offset = 0.0;  // of the reference surface from the mid-surface, in thicknesses
  Where where;
};

enum class BeamProfile { Rectangle, Circle, Pipe, Box };

struct BeamSection {
  std::string element_set;
  std::string material;
  BeamProfile profile = BeamProfile::Rectangle;
  std::vector<double> dimensions;
  std::array<double, 3> first_axis = {0.0, 0.0, -1.0};  // the solver's default
  // OFFSET1 and OFFSET2: of the beam's axis from the section's centre, in
  // the section's extents along its axes 1 and 2.
  std::array<double, 2> offset = {0.0, 0.0};
  int lines_read = 0;
  Where where;
};

// The profile a SECTION= value names (RECT, CIRC, PIPE, BOX), else
// InputError at `where`.
BeamProfile beam_profile(std::string_view name, const Where &where);

// Data lines of the keywords; InputError on a value that is missing, not a
// number or not positive.
void read_shell_line(ShellSection &section, const std::vector<std::string_view> &fields, const Where &where);
void read_beam_line(BeamSection &section, const std::vector<std::string_view> &fields, const Where &where);

// InputError when the dimensions are missing or describe no section.
void check_beam_section(const BeamSection &section);

// Where the section's centre sits from the beam's axis, along axes 1 and 2
// (axis 2 = the beam's tangent x axis 1): the offsets times the section's
// extents, which for a pipe is its outer diameter both ways.
std::array<double, 2> section_centre(const BeamSection &section);

// Area and second moments of a beam section about its own axes through the
// beam's axis, the offset included: first = integral of y2^2 (about the
// 1-axis), second = integral of y1^2 (about the 2-axis), product =
// integral of y1 y2, y1 along the first axis.
struct SectionProperties {
  double area = 0.0;
  double first = 0.0;
  double second = 0.0;
  double product = 0.0;
};
SectionProperties beam_properties(const BeamSection &section);

}  // namespace ccx

#endif  // ZEL_CCX_SECTIONS_H
