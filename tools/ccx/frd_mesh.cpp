#include "frd_mesh.h"

#include <algorithm>

#include "input_error.h"

namespace ccx {
namespace {

// More nodes than the largest element the file can describe.
constexpr size_t kMaxElementNodes = 20;
constexpr size_t kValueWidth = 12;

bool fixed_int(std::string_view line, size_t start, size_t width, int &value) {
  return line.size() >= start + width && parse_int(line.substr(start, width), value);
}

class MeshParser {
 public:
  MeshParser(std::string_view text, const std::string &name) : text_(text), name_(name) {}

  FrdMesh parse() {
    LineCursor lines(text_);
    std::string_view line;
    while (lines.next(line)) {
      line_ = lines.line_number();
      read_line(line);
    }
    return std::move(mesh_);
  }

 private:
  enum class Block { None, Nodes, Elements };

  Where here() const { return {name_, line_}; }

  void read_line(std::string_view line) {
    const std::string_view text = trim(line);
    if (text.substr(0, 2) == "2C" || text.substr(0, 2) == "3C") {
      block_ = text[0] == '2' ? Block::Nodes : Block::Elements;
      // The last field of the block's header tells narrow (0) from wide IDs.
      const size_t blank = text.find_last_of(" \t");
      id_width_ = blank != std::string_view::npos && trim(text.substr(blank)) == "0" ? 5 : 10;
      element_ = nullptr;
      return;
    }
    if (block_ == Block::None || line.size() < 3 || line[0] != ' ' || line[1] != '-') return;
    if (line[2] == '3') {
      block_ = Block::None;
    } else if (line[2] == '1') {
      block_ == Block::Nodes ? read_node(line) : read_element(line);
    } else if (line[2] == '2' && block_ == Block::Elements) {
      read_element_nodes(line);
    }
  }

  void read_node(std::string_view line) {
    int id;
    std::array<double, 3> xyz;
    if (!fixed_int(line, 3, id_width_, id)) fail(here(), "a node record without a node number");
    for (size_t d = 0; d < 3; ++d) {
      const size_t start = 3 + id_width_ + kValueWidth * d;
      if (line.size() < start + kValueWidth) fail(here(), "node " + std::to_string(id) + " has no coordinate " +
                                                              std::to_string(d + 1));
      xyz[d] = finite_number(line.substr(start, kValueWidth), here(), "coordinate");
    }
    if (!mesh_.coordinates.emplace(id, xyz).second) fail(here(), "node " + std::to_string(id) + " is given twice");
  }

  void read_element(std::string_view line) {
    int id, type;
    if (!fixed_int(line, 3, id_width_, id) || !fixed_int(line, 3 + id_width_, 5, type))
      fail(here(), "an element record without an element number and type");
    const auto [entry, added] = mesh_.elements.try_emplace(id);
    if (!added) fail(here(), "element " + std::to_string(id) + " is given twice");
    entry->second.type = type;
    element_ = &entry->second;
    element_id_ = id;
  }

  void read_element_nodes(std::string_view line) {
    if (element_ == nullptr) fail(here(), "element nodes before any element");
    for (size_t start = 3; start < line.size(); start += id_width_) {
      if (trim(line.substr(start, id_width_)).empty()) continue;
      int node;
      if (!fixed_int(line, start, std::min(id_width_, line.size() - start), node))
        fail(here(), quoted(trim(line.substr(start, id_width_))) + " is not a node number");
      if (element_->nodes.size() == kMaxElementNodes)
        fail(here(), "element " + std::to_string(element_id_) + " has more than " +
                         std::to_string(kMaxElementNodes) + " nodes");
      element_->nodes.push_back(node);
    }
  }

  std::string_view text_;
  const std::string &name_;
  std::int64_t line_ = 0;
  Block block_ = Block::None;
  size_t id_width_ = 10;
  FrdElement *element_ = nullptr;
  int element_id_ = 0;
  FrdMesh mesh_;
};

}  // namespace

FrdMesh parse_frd_mesh(std::string_view text, const std::string &name) { return MeshParser(text, name).parse(); }

}  // namespace ccx
