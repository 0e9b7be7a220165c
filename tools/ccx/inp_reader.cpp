#include "inp_reader.h"

#include <algorithm>
#include <filesystem>
#include <unordered_set>

namespace ccx {
namespace {

constexpr int kMaxIncludeDepth = 16;

struct Keyword {
  std::string name;
  std::map<std::string, std::string> parameters;  // upper-case keys
  Where where;

  const std::string *parameter(const std::string &key) const {
    const auto found = parameters.find(key);
    return found == parameters.end() ? nullptr : &found->second;
  }
  std::string required(const std::string &key) const {
    const std::string *value = parameter(key);
    if (value == nullptr || value->empty()) fail(where, "*" + name + " needs " + key + "=");
    return *value;
  }
};

// "*Solid  Section, elset=Eall" gives SOLID SECTION with ELSET=Eall.
Keyword parse_keyword(std::string_view line, const Where &where) {
  const std::vector<std::string_view> fields = split_fields(line.substr(1));
  Keyword keyword{"", {}, where};
  for (char c : upper(fields[0]))
    if (c != ' ' && c != '\t')
      keyword.name += c;
    else if (!keyword.name.empty() && keyword.name.back() != ' ')
      keyword.name += ' ';
  for (size_t i = 1; i < fields.size(); ++i) {
    const size_t equals = fields[i].find('=');
    if (equals == std::string_view::npos)
      keyword.parameters[upper(fields[i])] = "";
    else
      keyword.parameters[upper(trim(fields[i].substr(0, equals)))] = std::string(trim(fields[i].substr(equals + 1)));
  }
  return keyword;
}

// The node sets or the element sets of a deck. A set holds each ID once, in
// order of first mention: a set that names itself, or another set twice,
// gains nothing, and no set outgrows the IDs its lines name.
class SetFamily {
 public:
  // `defined` lists the IDs the deck defines in order, `index` finds them.
  SetFamily(std::map<std::string, std::vector<int>> &sets, const char *what, const std::vector<int> &defined,
            const std::unordered_map<int, size_t> &index)
      : sets_(sets), what_(what), defined_(defined), index_(index) {}

  void create(const std::string &name) { sets_[name]; }

  void add(const std::string &name, int id) {
    if (seen_[name].insert(id).second) sets_[name].push_back(id);
  }

  void add_set(const std::string &name, std::string_view other, const Where &where) {
    const auto named = sets_.find(upper(other));
    if (named == sets_.end()) fail(where, std::string(what_) + " set " + upper(other) + " is not defined");
    if (named->first == name) return;
    for (int id : named->second) add(name, id);
  }

  // The IDs first, first + step, ... up to last that the deck has defined so
  // far, as the solver bounds a range by them: a range far wider than the
  // deck walks its IDs rather than the range.
  void add_range(const std::string &name, int first, int last, int step) {
    const std::int64_t span = (std::int64_t{last} - first) / step + 1;
    if (span <= static_cast<std::int64_t>(defined_.size())) {
      for (std::int64_t id = first; id <= last; id += step)
        if (index_.count(static_cast<int>(id)) != 0) add(name, static_cast<int>(id));
      return;
    }
    std::vector<int> picked;
    for (int id : defined_)
      if (id >= first && id <= last && (std::int64_t{id} - first) % step == 0) picked.push_back(id);
    std::sort(picked.begin(), picked.end());
    for (int id : picked) add(name, id);
  }

 private:
  std::map<std::string, std::vector<int>> &sets_;
  std::map<std::string, std::unordered_set<int>> seen_;
  const char *what_;
  const std::vector<int> &defined_;
  const std::unordered_map<int, size_t> &index_;
};

class DeckReader {
 public:
  explicit DeckReader(Mesh &mesh)
      : mesh_(mesh),
        node_sets_(mesh.node_sets, "node", mesh.node_ids, mesh.node_index),
        element_sets_(mesh.element_sets, "element", element_ids_, element_index_) {}

  void read_file(const std::string &path, int depth, const Where *included_at) {
    const std::string text = read_whole_file(path, included_at);
    LineCursor lines(text);
    std::string_view line;
    while (lines.next(line)) {
      const Where where{path, lines.line_number()};
      if (line.substr(0, 2) == "**") continue;
      if (trim(line).empty()) continue;
      if (line.front() == '*') {
        finish_data();
        start_keyword(parse_keyword(line, where), depth);
      } else {
        read_data(line, where);
      }
    }
    finish_data();
    data_ = Data::Skipped;
  }

 private:
  enum class Data { Skipped, Heading, Nodes, Elements, NodeSet, ElementSet, Density, ShellSection, BeamSection };

  void start_keyword(const Keyword &keyword, int depth) {
    data_ = Data::Skipped;
    set_name_.clear();
    generate_ = keyword.parameter("GENERATE") != nullptr;
    if (keyword.name == "HEADING") {
      data_ = Data::Heading;
    } else if (keyword.name == "NODE") {
      data_ = Data::Nodes;
      if (const std::string *set = keyword.parameter("NSET")) set_name_ = upper(*set);
    } else if (keyword.name == "ELEMENT") {
      start_elements(keyword);
    } else if (keyword.name == "NSET") {
      data_ = Data::NodeSet;
      set_name_ = upper(keyword.required("NSET"));
      node_sets_.create(set_name_);
    } else if (keyword.name == "ELSET") {
      data_ = Data::ElementSet;
      set_name_ = upper(keyword.required("ELSET"));
      element_sets_.create(set_name_);
    } else if (keyword.name == "MATERIAL") {
      material_ = upper(keyword.required("NAME"));
      mesh_.materials[material_] = Material{false, 0.0, keyword.where};
    } else if (keyword.name == "DENSITY") {
      if (material_.empty()) fail(keyword.where, "*DENSITY outside a *MATERIAL");
      data_ = Data::Density;
    } else if (keyword.name == "SOLID SECTION") {
      mesh_.sections.push_back({upper(keyword.required("ELSET")), upper(keyword.required("MATERIAL")), keyword.where});
    } else if (keyword.name == "SHELL SECTION") {
      start_shell_section(keyword);
    } else if (keyword.name == "BEAM SECTION") {
      start_beam_section(keyword);
    } else if (keyword.name == "INCLUDE") {
      include(keyword, depth);
    } else if (keyword.name == "STEP") {
      material_.clear();
    }
  }

  void start_elements(const Keyword &keyword) {
    data_ = Data::Elements;
    element_type_ = upper(keyword.required("TYPE"));
    element_kind_ = find_element_kind(element_type_);
    if (const std::string *set = keyword.parameter("ELSET")) {
      set_name_ = upper(*set);
      element_sets_.create(set_name_);
    }
    if (element_kind_ == nullptr) {
      for (UnsupportedElements &entry : mesh_.unsupported)
        if (entry.type == element_type_) return;
      mesh_.unsupported.push_back({element_type_, 0, keyword.where});
    }
  }

  void start_shell_section(const Keyword &keyword) {
    // Layers and thicknesses per node would weigh the shell otherwise than
    // its one thickness.
    for (const char *unsupported : {"COMPOSITE", "NODAL THICKNESS"})
      if (keyword.parameter(unsupported) != nullptr)
        fail(keyword.where, std::string("*SHELL SECTION with ") + unsupported + " is not supported");
    data_ = Data::ShellSection;
    ShellSection section;
    section.element_set = upper(keyword.required("ELSET"));
    section.material = upper(keyword.required("MATERIAL"));
    section.where = keyword.where;
    if (const std::string *offset = keyword.parameter("OFFSET"))
      section.offset = finite_number(*offset, keyword.where, "shell offset");
    mesh_.shell_sections.push_back(section);
  }

  void start_beam_section(const Keyword &keyword) {
    data_ = Data::BeamSection;
    BeamSection section;
    section.element_set = upper(keyword.required("ELSET"));
    section.material = upper(keyword.required("MATERIAL"));
    section.profile = beam_profile(keyword.required("SECTION"), keyword.where);
    section.where = keyword.where;
    const char *const offsets[] = {"OFFSET1", "OFFSET2"};
    for (int axis = 0; axis < 2; ++axis)
      if (const std::string *offset = keyword.parameter(offsets[axis]))
        section.offset[axis] = finite_number(*offset, keyword.where, "beam offset");
    mesh_.beam_sections.push_back(section);
  }

  // Relative paths are taken from the including file's folder.
  void include(const Keyword &keyword, int depth) {
    if (depth >= kMaxIncludeDepth)
      fail(keyword.where,
           "*INCLUDE nested more than " + std::to_string(kMaxIncludeDepth) + " files deep (a file including itself?)");
    std::filesystem::path target = keyword.required("INPUT");
    if (target.is_relative()) target = std::filesystem::path(keyword.where.file).parent_path() / target;
    read_file(target.string(), depth + 1, &keyword.where);
  }

  void read_data(std::string_view line, const Where &where) {
    switch (data_) {
      case Data::Skipped:
        return;
      case Data::Heading:
        if (mesh_.title.empty()) mesh_.title = std::string(trim(line));
        return;
      case Data::Nodes:
        return read_node(split_fields(line), where);
      case Data::Elements:
        return read_element_line(line, where);
      case Data::NodeSet:
        return read_set_line(split_fields(line), where, node_sets_);
      case Data::ElementSet:
        return read_set_line(split_fields(line), where, element_sets_);
      case Data::Density:
        return read_density(split_fields(line), where);
      case Data::ShellSection:
        return read_shell_line(mesh_.shell_sections.back(), split_fields(line), where);
      case Data::BeamSection:
        return read_beam_line(mesh_.beam_sections.back(), split_fields(line), where);
    }
  }

  void read_node(const std::vector<std::string_view> &fields, const Where &where) {
    int id;
    if (!parse_int(fields[0], id)) fail(where, quoted(fields[0]) + " is not a node number");
    double xyz[3] = {0.0, 0.0, 0.0};
    for (size_t d = 0; d < 3 && d + 1 < fields.size(); ++d)
      if (!fields[d + 1].empty()) xyz[d] = finite_number(fields[d + 1], where, "coordinate");
    const auto [entry, added] = mesh_.node_index.try_emplace(id, mesh_.node_ids.size());
    if (added) {
      mesh_.node_ids.push_back(id);
      mesh_.coordinates.insert(mesh_.coordinates.end(), xyz, xyz + 3);
    } else {
      std::copy(xyz, xyz + 3, mesh_.coordinates.begin() + 3 * entry->second);
    }
    if (!set_name_.empty()) node_sets_.add(set_name_, id);
  }

  // An element's node list may go on over further lines: a supported type
  // ends when all its nodes are read, another one with a line that does
  // not end in a comma.
  void read_element_line(std::string_view line, const Where &where) {
    if (pending_.empty()) pending_where_ = where;
    for (std::string_view field : split_fields(line)) {
      if (field.empty()) continue;
      int value;
      if (!parse_int(field, value)) fail(where, quoted(field) + " is not an element or node number");
      pending_.push_back(value);
    }
    if (element_kind_ == nullptr) {
      if (trim(line).back() != ',') {
        for (UnsupportedElements &entry : mesh_.unsupported)
          if (entry.type == element_type_) ++entry.count;
        pending_.clear();
      }
      return;
    }
    const size_t wanted = 1 + static_cast<size_t>(element_kind_->node_count);
    if (pending_.size() > wanted)
      fail(where, "element " + std::to_string(pending_[0]) + " has more than " +
                      std::to_string(element_kind_->node_count) + " nodes for type " + element_type_);
    if (pending_.size() == wanted) add_pending_element();
  }

  void add_pending_element() {
    mesh_.elements.push_back({pending_[0], element_kind_, element_type_, mesh_.connectivity.size(), pending_where_});
    mesh_.connectivity.insert(mesh_.connectivity.end(), pending_.begin() + 1, pending_.end());
    if (element_index_.try_emplace(pending_[0], element_ids_.size()).second) element_ids_.push_back(pending_[0]);
    if (!set_name_.empty()) element_sets_.add(set_name_, pending_[0]);
    pending_.clear();
  }

  void finish_data() {
    if (data_ == Data::Elements && !pending_.empty() && element_kind_ != nullptr)
      fail(pending_where_, "element " + std::to_string(pending_[0]) + " has " + std::to_string(pending_.size() - 1) +
                               " of the " + std::to_string(element_kind_->node_count) + " nodes of type " +
                               element_type_);
    pending_.clear();
  }

  void read_set_line(const std::vector<std::string_view> &fields, const Where &where, SetFamily &family) {
    if (generate_) {
      int first, last, step = 1;
      if (fields.size() < 2 || !parse_int(fields[0], first) || !parse_int(fields[1], last) ||
          (fields.size() > 2 && !parse_int(fields[2], step)) || step < 1 || last < first)
        fail(where, "GENERATE needs first, last and a positive step");
      family.add_range(set_name_, first, last, step);
      return;
    }
    for (std::string_view field : fields) {
      if (field.empty()) continue;
      int id;
      if (parse_int(field, id))
        family.add(set_name_, id);
      else
        family.add_set(set_name_, field, where);
    }
  }

  void read_density(const std::vector<std::string_view> &fields, const Where &where) {
    Material &material = mesh_.materials[material_];
    if (material.has_density) return;  // further lines are temperature points
    material.density = finite_number(fields[0], where, "density");
    material.has_density = true;
  }

  Mesh &mesh_;
  std::vector<int> element_ids_;  // in order of definition
  std::unordered_map<int, size_t> element_index_;
  SetFamily node_sets_, element_sets_;
  Data data_ = Data::Skipped;
  std::string set_name_;
  bool generate_ = false;
  std::string material_;
  std::string element_type_;
  const ElementKind *element_kind_ = nullptr;
  std::vector<int> pending_;
  Where pending_where_;
};

}  // namespace

Mesh read_inp(const std::string &path) {
  Mesh mesh;
  mesh.file = path;
  DeckReader(mesh).read_file(path, 0, nullptr);
  return mesh;
}

}  // namespace ccx
