#include "sections.h"

#include <cmath>

namespace ccx {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct ProfileInfo {
  const char *name;
  BeamProfile profile;
  size_t dimension_count;
};

constexpr ProfileInfo kProfiles[] = {{"RECT", BeamProfile::Rectangle, 2},
                                     {"CIRC", BeamProfile::Circle, 2},
                                     {"PIPE", BeamProfile::Pipe, 2},
                                     {"BOX", BeamProfile::Box, 6}};

const ProfileInfo &info(BeamProfile profile) {
  for (const ProfileInfo &entry : kProfiles)
    if (entry.profile == profile) return entry;
  return kProfiles[0];
}

double positive_number(std::string_view field, const Where &where, const std::string &what) {
  const double value = finite_number(field, where, what);
  if (!(value > 0.0)) fail(where, "the " + what + " " + quoted(field) + " is not positive");
  return value;
}

// A shape of the given area and second moments about its own centroid,
// moved to (c1, c2) by the parallel axes.
SectionProperties placed(double area, double first, double second, double c1, double c2) {
  return {area, first + area * c2 * c2, second + area * c1 * c1, area * c1 * c2};
}

// A rectangle of sides w1 (along the first axis) and w2 centred at (c1, c2).
SectionProperties rectangle(double w1, double w2, double c1, double c2) {
  const double area = w1 * w2;
  return placed(area, area * w2 * w2 / 12, area * w1 * w1 / 12, c1, c2);
}

}  // namespace

BeamProfile beam_profile(std::string_view name, const Where &where) {
  for (const ProfileInfo &entry : kProfiles)
    if (upper(name) == entry.name) return entry.profile;
  fail(where, "beam section " + quoted(name) + " is not supported; the translator reads RECT, CIRC, PIPE and BOX");
}

void read_shell_line(ShellSection &section, const std::vector<std::string_view> &fields, const Where &where) {
  if (section.has_thickness) return;  // further lines are of composite layers
  section.thickness = positive_number(fields[0], where, "shell thickness");
  section.has_thickness = true;
}

void read_beam_line(BeamSection &section, const std::vector<std::string_view> &fields, const Where &where) {
  ++section.lines_read;
  if (section.lines_read == 1) {
    const size_t wanted = info(section.profile).dimension_count;
    for (size_t k = 0; k < fields.size() && k < wanted; ++k)
      section.dimensions.push_back(positive_number(fields[k], where, "section dimension"));
    if (section.dimensions.size() < wanted)
      fail(where, "a " + std::string(info(section.profile).name) + " beam section needs " + std::to_string(wanted) +
                      " dimensions");
    return;
  }
  if (section.lines_read > 2) return;
  std::array<double, 3> axis = {0.0, 0.0, 0.0};
  for (size_t k = 0; k < 3 && k < fields.size(); ++k)
    if (!fields[k].empty()) axis[k] = finite_number(fields[k], where, "direction cosine");
  if (std::hypot(axis[0], axis[1], axis[2]) == 0.0) fail(where, "the section's first axis has no direction");
  section.first_axis = axis;
}

void check_beam_section(const BeamSection &section) {
  if (section.dimensions.empty()) fail(section.where, "*BEAM SECTION without its dimensions");
  const std::vector<double> &d = section.dimensions;
  if (section.profile == BeamProfile::Pipe && !(d[1] < d[0]))
    fail(section.where, "the pipe's wall is not thinner than its outer radius");
  if (section.profile == BeamProfile::Box && !(d[2] + d[4] < d[0] && d[3] + d[5] < d[1]))
    fail(section.where, "the box's walls leave no hollow inside it");
}

std::array<double, 2> section_centre(const BeamSection &section) {
  const std::vector<double> &d = section.dimensions;
  // The solver expands a pipe into a square around it.
  const bool pipe = section.profile == BeamProfile::Pipe;
  const double extent1 = pipe ? 2 * d[0] : d[0], extent2 = pipe ? 2 * d[0] : d[1];
  return {-section.offset[0] * extent1, -section.offset[1] * extent2};
}

SectionProperties beam_properties(const BeamSection &section) {
  const std::vector<double> &d = section.dimensions;
  const auto [c1, c2] = section_centre(section);
  switch (section.profile) {
    case BeamProfile::Rectangle:
      return rectangle(d[0], d[1], c1, c2);
    case BeamProfile::Circle: {
      // Semi-axes of the ellipse from its axes' lengths.
      const double a = d[0] / 2, b = d[1] / 2;
      return placed(kPi * a * b, kPi * a * b * b * b / 4, kPi * a * a * a * b / 4, c1, c2);
    }
    case BeamProfile::Pipe: {
      const double outer = d[0], inner = d[0] - d[1];
      const double polar = kPi * (std::pow(outer, 4) - std::pow(inner, 4)) / 4;
      return placed(kPi * (outer * outer - inner * inner), polar, polar, c1, c2);
    }
    case BeamProfile::Box: {
      // Walls t1..t4 on the +1, +2, -1 and -2 sides: the hollow is off
      // centre when opposite walls differ, and then the section's centroid
      // is not its centre.
      const double a = d[0], b = d[1], t1 = d[2], t2 = d[3], t3 = d[4], t4 = d[5];
      const SectionProperties whole = rectangle(a, b, c1, c2);
      const SectionProperties hollow =
          rectangle(a - t1 - t3, b - t2 - t4, c1 + (t3 - t1) / 2, c2 + (t4 - t2) / 2);
      return {whole.area - hollow.area, whole.first - hollow.first, whole.second - hollow.second,
              whole.product - hollow.product};
    }
  }
  return {};
}

}  // namespace ccx
