#include "frd_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>

#include "input_error.h"

namespace ccx {
namespace {

// The type of a step whose results are eigenmodes.
constexpr int kFrequencyStep = 2;
constexpr int kStaticStep = 0;
constexpr int kBinaryFormat = 2;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A number filling a field, blanks around it allowed.
bool field_to_double(std::string_view field, double &value) {
  const char *begin = field.data(), *end = begin + field.size();
  while (begin < end && is_blank(*begin)) ++begin;
  while (end > begin && is_blank(end[-1])) --end;
  if (begin < end && *begin == '+') ++begin;
  if (begin == end) return false;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end;
}

bool field_to_int(std::string_view field, int &value) {
  const char *begin = field.data(), *end = begin + field.size();
  while (begin < end && is_blank(*begin)) ++begin;
  while (end > begin && is_blank(end[-1])) --end;
  if (begin == end) return false;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end;
}

// Splits a record into numbers. Fixed-width fields of negative numbers run
// together ("1-2.5E+00-1.0E+00"), so a sign right after a digit or a point
// starts a new number as a blank does.
std::vector<std::string_view> split_numbers(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) break;
    const size_t start = i++;
    while (i < line.size() && !is_blank(line[i])) {
      const char previous = line[i - 1];
      if ((line[i] == '-' || line[i] == '+') && (std::isdigit(static_cast<unsigned char>(previous)) || previous == '.'))
        break;
      ++i;
    }
    tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// What a result block's header line ("  100C...") says: columns as the
// solver writes them.
struct BlockHeader {
  int step_type = -1;
  int step_number = 0;
  double value = 0.0;
  int node_count = 0;
  int format = 1;
};

struct Target {
  NodalValues *values = nullptr;
  std::vector<int> order;  // stored position of each column
  const char *name = "";
};

class FrdParser {
 public:
  FrdParser(std::string_view text, const std::string &name, int step_type = kFrequencyStep)
      : text_(text), name_(name), step_type_(step_type) {}

  std::vector<ModeResults> parse() {
    LineCursor lines(text_);
    std::string_view line;
    while (lines.next(line)) {
      line_ = lines.line_number();
      read_line(line);
    }
    return finish();
  }

 private:
  Where here() const { return {name_, line_}; }

  void read_line(std::string_view line) {
    if (line.size() >= 3 && line[0] == ' ' && line[1] == '-') {
      switch (line[2]) {
        case '1':
          return read_record(line, true);
        case '2':
          return read_record(line, false);
        case '3':
          return end_block();
        case '4':
          return start_result(line);
        case '5':
          return read_component(line);
      }
      return;
    }
    const std::string_view text = trim(line);
    if (text.substr(0, 4) == "1PGM") {
      const std::vector<std::string_view> tokens = split_numbers(text.substr(4));
      if (tokens.empty() || !field_to_double(tokens[0], generalized_mass_))
        fail(here(), "the generalized mass of the next mode is not a number");
      if (!std::isfinite(generalized_mass_))
        fail(here(), "the generalized mass " + quoted(tokens[0]) + " of the next mode is not finite");
    } else if (text.substr(0, 4) == "100C") {
      read_block_header(line);
    }
  }

  void read_block_header(std::string_view line) {
    if (line.size() < 63) fail(here(), "result block header too short");
    header_ = BlockHeader{};
    if (!field_to_double(line.substr(12, 12), header_.value) || !field_to_int(line.substr(56, 2), header_.step_type) ||
        !field_to_int(line.substr(58, 5), header_.step_number))
      fail(here(), "result block header not understood");
    if (!std::isfinite(header_.value))
      fail(here(), "the result block's value " + quoted(trim(line.substr(12, 12))) + " is not finite");
    field_to_int(line.substr(24, 12), header_.node_count);
    if (line.size() >= 75 && !field_to_int(line.substr(73, 2), header_.format)) header_.format = 1;
    if (header_.format == kBinaryFormat)
      fail(here(), "binary results cannot be read; have the solver write its results as text");
  }

  ModeResults &mode(int number) {
    const auto [entry, added] = mode_index_.try_emplace(number, modes_.size());
    if (added) {
      modes_.emplace_back();
      modes_.back().number = number;
    }
    return modes_[entry->second];
  }

  void start_result(std::string_view line) {
    const std::vector<std::string_view> tokens = split_numbers(line.substr(3));
    const std::string name = tokens.empty() ? "" : upper(tokens[0]);
    target_ = Target{};
    if (name == "DISP" && header_.step_type != step_type_) {
      if (other_displacement_line_ == 0) other_displacement_line_ = line_;
      return;
    }
    if (header_.step_type != step_type_) return;
    if (name == "DISP") {
      ModeResults &result = mode(header_.step_number);
      if (!result.displacement.node_ids.empty() || result.line != 0)
        fail(here(), "mode " + std::to_string(header_.step_number) +
                         " is given twice (results of more than one frequency step?)");
      result.frequency = header_.value;
      result.generalized_mass = generalized_mass_;
      result.line = line_;
      target_ = {&result.displacement, {}, "DISP"};
    } else if (name == "STRESS") {
      target_ = {&mode(header_.step_number).stress, {}, "STRESS"};
    } else if (name == "TOSTRAIN") {
      target_ = {&mode(header_.step_number).strain, {}, "TOSTRAIN"};
    } else {
      return;
    }
    target_.values->width = name == "DISP" ? 3 : 6;
    // The header's count only hints: a record takes at least 13 bytes.
    target_.values->node_ids.reserve(std::min<size_t>(std::max(header_.node_count, 0), text_.size() / 13));
    generalized_mass_ = 1.0;
  }

  // Component lines name the columns of the records; one marked as not
  // stored (the magnitude "ALL") has no column.
  void read_component(std::string_view line) {
    if (target_.values == nullptr) return;
    const std::vector<std::string_view> tokens = split_numbers(line.substr(3));
    if (tokens.size() >= 6 && tokens[5].substr(0, 1) == "1") return;
    const std::string component = tokens.empty() ? "" : upper(tokens[0]);
    // Shear columns come as xy, yz, zx; the body stores xy, xz, yz.
    static const std::map<std::string, int> kPlaces = {
        {"D1", 0},  {"D2", 1},  {"D3", 2},  {"SXX", 0}, {"SYY", 1}, {"SZZ", 2}, {"SXY", 3}, {"SYZ", 5},
        {"SZX", 4}, {"EXX", 0}, {"EYY", 1}, {"EZZ", 2}, {"EXY", 3}, {"EYZ", 5}, {"EZX", 4}};
    const auto place = kPlaces.find(component);
    if (place == kPlaces.end())
      fail(here(), "unknown component " + component + " in a " + target_.name + " block");
    if (place->second >= target_.values->width)
      fail(here(), "component " + component + " does not belong in a " + target_.name + " block");
    target_.order.push_back(place->second);
  }

  void read_record(std::string_view line, bool starts_node) {
    if (target_.values == nullptr) return;
    NodalValues &values = *target_.values;
    const size_t columns = target_.order.size();
    if (starts_node) {
      check_complete_record();
      record_line_ = line_;
      filled_ = 0;
      int node;
      if (!read_fixed_record(line, node)) read_free_record(line, node);
      return;
    }
    if (values.node_ids.empty()) fail(here(), "continuation record before any node");
    for (std::string_view token : split_numbers(line.substr(3))) store_value(token, columns);
  }

  // The solver's own layout: a 5- or 10-digit node number after the record
  // key, then 12 characters per value. A line that does not fit it whole is
  // read as blank-separated numbers.
  bool read_fixed_record(std::string_view line, int &node) {
    const size_t node_width = header_.format == 0 ? 5 : 10;
    const size_t count = std::min<size_t>(target_.order.size(), 6);
    if (line.size() != 3 + node_width + 12 * count || !field_to_int(line.substr(3, node_width), node)) return false;
    double values[6];
    for (size_t k = 0; k < count; ++k)
      if (!field_to_double(line.substr(3 + node_width + 12 * k, 12), values[k]) || !std::isfinite(values[k]))
        return false;
    start_node(node);
    NodalValues &stored = *target_.values;
    double *record = stored.values.data() + stored.values.size() - stored.width;
    for (size_t k = 0; k < count; ++k) record[target_.order[k]] = values[k];
    filled_ = count;
    return true;
  }

  void read_free_record(std::string_view line, int &node) {
    const std::vector<std::string_view> tokens = split_numbers(line.substr(3));
    if (tokens.empty() || !field_to_int(tokens[0], node))
      fail(here(), "a node record without a node number");
    start_node(node);
    for (size_t k = 1; k < tokens.size(); ++k) store_value(tokens[k], target_.order.size());
  }

  void start_node(int node) {
    NodalValues &values = *target_.values;
    values.node_ids.push_back(node);
    values.values.resize(values.values.size() + values.width, 0.0);
  }

  void store_value(std::string_view field, size_t columns) {
    NodalValues &values = *target_.values;
    if (filled_ >= columns)
      fail(here(), "node " + std::to_string(values.node_ids.back()) + " has more than the " +
                       std::to_string(columns) + " values of " + target_.name);
    double value;
    if (!field_to_double(field, value)) {
      if (trim(field).empty())
        fail(here(), "value " + std::to_string(filled_ + 1) + " of node " + std::to_string(values.node_ids.back()) +
                         " is missing");
      fail(here(), quoted(trim(field)) + " is not a number");
    }
    if (!std::isfinite(value))
      fail(here(), "value " + std::to_string(filled_ + 1) + " of node " + std::to_string(values.node_ids.back()) +
                       " is not finite");
    values.values[values.values.size() - values.width + target_.order[filled_]] = value;
    ++filled_;
  }

  void check_complete_record() {
    if (target_.values == nullptr || target_.values->node_ids.empty()) return;
    if (filled_ != target_.order.size())
      fail({name_, record_line_}, "node " + std::to_string(target_.values->node_ids.back()) + " has " +
                                      std::to_string(filled_) + " of the " + std::to_string(target_.order.size()) +
                                      " values of " + target_.name);
  }

  void end_block() {
    check_complete_record();
    target_ = Target{};
  }

  std::vector<ModeResults> finish() {
    if (target_.values != nullptr) fail(here(), std::string(target_.name) + " block not closed");
    for (const ModeResults &result : modes_)
      if (result.line == 0)
        fail_in(name_, "mode " + std::to_string(result.number) + " has stresses or strains but no displacements");
    if (modes_.empty()) {
      if (other_displacement_line_ != 0)
        fail({name_, other_displacement_line_},
             "these displacements are not of a frequency step; the file holds no mode shapes");
      fail_in(name_, "no mode shapes: the file holds no displacements of a frequency step");
    }
    return std::move(modes_);
  }

  std::string_view text_;
  const std::string &name_;
  int step_type_;
  std::int64_t line_ = 0;
  BlockHeader header_;
  double generalized_mass_ = 1.0;
  Target target_;
  size_t filled_ = 0;
  std::int64_t record_line_ = 0;
  std::int64_t other_displacement_line_ = 0;
  std::vector<ModeResults> modes_;
  std::map<int, size_t> mode_index_;
};

}  // namespace

std::vector<ModeResults> parse_frd(std::string_view text, const std::string &name) {
  return FrdParser(text, name).parse();
}

std::vector<ModeResults> read_frd(const std::string &path) { return parse_frd(read_whole_file(path), path); }

std::vector<ModeResults> read_static_frd(const std::string &path) {
  return FrdParser(read_whole_file(path), path, kStaticStep).parse();
}

}  // namespace ccx
