// Payloads of the blocks that describe the body without its modes: header,
// coordinates, old-style topology, global properties, nodal masses and
// inertias, units, element faces and interface nodes.
#include <algorithm>
#include <limits>
#include <new>

#include "format/blocks.h"
#include "zel.h"

namespace zel {

namespace blocks_detail {

bool read_count(ZelFile &file, int32_t &count) { return file.read_int(count) && count >= 0; }

bool write_count(ZelFile &file, std::size_t count) {
  return count <= static_cast<std::size_t>(std::numeric_limits<int32_t>::max()) &&
         file.write_int(static_cast<int32_t>(count));
}

}  // namespace blocks_detail

using blocks_detail::read_count;
using blocks_detail::write_count;

namespace {

constexpr int kInt = 4;  // bytes of an int in either encoding

// Bytes of one element's faces (F records of 2 + V ints) when they fit in
// what is left of the file, else -1; guards F x (V + 2) against overflow.
int64_t face_records_bytes(const ZelFile &file, int32_t faces, int32_t vertices) {
  const int64_t ints_per_face = int64_t{vertices} + 2;
  if (!file.fits(ints_per_face, kInt)) return -1;
  if (!file.fits(faces, ints_per_face * kInt)) return -1;
  return int64_t{faces} * ints_per_face * kInt;
}

}  // namespace

// ---------------------------------------------------------------- block 2

bool read_header(ZelFile &file, Header &header) {
  return file.read_text(header.title, kTitleChars) && file.read_text(header.date, kDateChars) &&
         file.read_text(header.input_file_name, kInputFileNameChars) &&
         file.read_text(header.input_file_type, kInputFileTypeChars) &&
         file.read_text(header.comment[0], kCommentChars) && file.read_text(header.comment[1], kCommentChars) &&
         file.read_text(header.comment[2], kCommentChars);
}

bool write_header(ZelFile &file, const Header &header) {
  return file.write_text(header.title, kTitleChars) && file.write_text(header.date, kDateChars) &&
         file.write_text(header.input_file_name, kInputFileNameChars) &&
         file.write_text(header.input_file_type, kInputFileTypeChars) &&
         file.write_text(header.comment[0], kCommentChars) && file.write_text(header.comment[1], kCommentChars) &&
         file.write_text(header.comment[2], kCommentChars);
}

// ---------------------------------------------------------------- block 4

bool read_coordinates_head(ZelFile &file, CoordinatesHead &head) {
  return read_count(file, head.node_count) && read_count(file, head.coords_per_node);
}

bool read_coordinates(ZelFile &file, const CoordinatesHead &head, NodeTable &nodes) {
  const int64_t real_bytes = file.real_size();
  const int64_t record_bytes = kInt + int64_t{head.coords_per_node} * real_bytes;
  if (head.node_count < 0 || head.coords_per_node < 0 || !file.fits(head.node_count, record_bytes)) return false;
  nodes.clear();
  nodes.resize(static_cast<std::size_t>(head.node_count));
  // Only a record that fits tells how many values K may take.
  if (nodes.empty()) return true;
  const std::size_t kept = std::min<std::size_t>(static_cast<std::size_t>(head.coords_per_node), 3);
  auto node = nodes.begin();
  return file.read_records(nodes.size(), static_cast<std::size_t>(record_bytes), [&](const unsigned char *record) {
    double xyz[3] = {0.0, 0.0, 0.0};
    node->id = file.decode_int(record);
    file.decode_reals(record + kInt, xyz, kept);
    node->x = xyz[0];
    node->y = xyz[1];
    node->z = xyz[2];
    ++node;
    return true;
  });
}

bool write_coordinates(ZelFile &file, std::span<const NodeRecord> nodes) {
  if (!write_count(file, nodes.size()) || !file.write_int(3)) return false;
  const std::size_t real_bytes = static_cast<std::size_t>(file.real_size());
  auto node = nodes.begin();
  return file.write_records(nodes.size(), kInt + 3 * real_bytes, [&](unsigned char *record) {
    const double xyz[3] = {node->x, node->y, node->z};
    file.encode_int(node->id, record);
    file.encode_reals(xyz, record + kInt, 3);
    ++node;
  });
}

// ---------------------------------------------------------------- block 5

namespace {

struct ElementEntry {
  int32_t label;
  int32_t faces;     // F
  int32_t vertices;  // V of each face
};

// Reads the E element entries and checks that the face records they
// announce fit in the file; gives the face-list length in ints.
bool read_element_entries(ZelFile &file, int32_t element_count, std::vector<ElementEntry> &elements,
                          int64_t &face_list_ints) {
  if (!file.fits(element_count, 3 * kInt)) return false;
  elements.resize(static_cast<std::size_t>(element_count));
  int64_t record_bytes = 0;
  face_list_ints = 0;
  for (ElementEntry &element : elements) {
    if (!file.read_int(element.label) || !read_count(file, element.faces) || !read_count(file, element.vertices))
      return false;
    const int64_t bytes = face_records_bytes(file, element.faces, element.vertices);
    if (bytes < 0 || bytes > file.bytes_left() - record_bytes) return false;
    record_bytes += bytes;
    face_list_ints += int64_t{element.faces} * (int64_t{element.vertices} + 1);
  }
  return record_bytes <= file.bytes_left();
}

}  // namespace

bool read_element_topology(ZelFile &file, const NodeIndex &node_index, OldTopology &topology) {
  if (!file.read_int(topology.face_count) || !read_count(file, topology.element_count)) return false;
  std::vector<ElementEntry> elements;
  int64_t face_list_ints = 0;
  if (!read_element_entries(file, topology.element_count, elements, face_list_ints)) return false;
  topology.face_list.clear();
  topology.face_list.reserve(static_cast<std::size_t>(face_list_ints));
  std::vector<int32_t> record;
  for (const ElementEntry &element : elements) {
    record.resize(static_cast<std::size_t>(element.vertices) + 2);
    for (int32_t f = 0; f < element.faces; ++f) {
      if (!file.read_ints(record.data(), record.size())) return false;
      topology.face_list.push_back(element.vertices);
      for (std::size_t v = 2; v < record.size(); ++v) topology.face_list.push_back(node_index.find(record[v]));
    }
  }
  return true;
}

namespace {

constexpr int32_t kFewestGroupedVertices = 2;
constexpr int32_t kMostGroupedVertices = 13;
constexpr int32_t kVertexGroups = kMostGroupedVertices - kFewestGroupedVertices + 1;

// Calls visit(start) with the start of every face of a face list, in
// order; false when a vertex count is negative or runs past the end of the
// list.
template <class Visit>
bool walk_face_starts(std::span<const int32_t> face_list, Visit &&visit) {
  std::size_t at = 0;
  while (at < face_list.size()) {
    const int32_t vertices = face_list[at];
    if (vertices < 0 || static_cast<std::size_t>(vertices) >= face_list.size() - at) return false;
    visit(at);
    at += static_cast<std::size_t>(vertices) + 1;
  }
  return true;
}

bool find_face_starts(std::span<const int32_t> face_list, std::vector<std::size_t> &starts) {
  starts.clear();
  return walk_face_starts(face_list, [&](std::size_t start) { starts.push_back(start); });
}

// One old-style face record: two unused ints, then the vertices' node IDs.
bool write_face_record(ZelFile &file, std::span<const int32_t> vertices, std::span<const NodeRecord> nodes,
                       std::vector<int32_t> &record) {
  record.assign({0, 0});
  for (int32_t index : vertices) {
    if (index < 0 || static_cast<std::size_t>(index) >= nodes.size()) return false;
    record.push_back(nodes[static_cast<std::size_t>(index)].id);
  }
  return file.write_ints(record.data(), record.size());
}

}  // namespace

bool face_list_is_well_formed(std::span<const int32_t> face_list, int32_t face_count) {
  int64_t faces = 0;
  return walk_face_starts(face_list, [&](std::size_t) { ++faces; }) && faces == face_count;
}

bool write_element_topology(ZelFile &file, std::span<const int32_t> face_list, std::span<const NodeRecord> nodes) {
  std::vector<std::size_t> starts;
  if (!find_face_starts(face_list, starts)) return false;
  std::array<int32_t, kVertexGroups> faces_in_group{};
  int32_t grouped_faces = 0;
  for (std::size_t start : starts) {
    const int32_t vertices = face_list[start];
    if (vertices < kFewestGroupedVertices || vertices > kMostGroupedVertices) continue;
    ++faces_in_group[static_cast<std::size_t>(vertices - kFewestGroupedVertices)];
    ++grouped_faces;
  }
  if (!file.write_int(grouped_faces) || !file.write_int(kVertexGroups)) return false;
  for (int32_t group = 0; group < kVertexGroups; ++group) {
    const int32_t entry[3] = {group, faces_in_group[static_cast<std::size_t>(group)],
                              group + kFewestGroupedVertices};
    if (!file.write_ints(entry, 3)) return false;
  }
  std::vector<int32_t> record;
  for (int32_t vertices = kFewestGroupedVertices; vertices <= kMostGroupedVertices; ++vertices) {
    for (std::size_t start : starts) {
      if (face_list[start] != vertices) continue;
      if (!write_face_record(file, face_list.subspan(start + 1, static_cast<std::size_t>(vertices)), nodes, record))
        return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------- block 6

bool read_global_properties(ZelFile &file, GlobalProperties &properties) {
  return file.read_real(properties.mass) && file.read_reals(properties.cm.data(), properties.cm.size()) &&
         file.read_reals(properties.inertia.data(), properties.inertia.size());
}

bool write_global_properties(ZelFile &file, const GlobalProperties &properties) {
  return file.write_real(properties.mass) && file.write_reals(properties.cm.data(), properties.cm.size()) &&
         file.write_reals(properties.inertia.data(), properties.inertia.size());
}

// ---------------------------------------------------------------- block 9

namespace {

// Node lookups for a block that usually lists the nodes in the node
// table's own order, as the writer does: the entry's own position is tried
// before the hashed index. Only a table of strictly ascending IDs has no
// duplicate whose first position the index would give instead.
class NodeLookup {
 public:
  explicit NodeLookup(const Database &db)
      : db_(db), unique_ids_(std::adjacent_find(db.nodes.begin(), db.nodes.end(), [](const NodeRecord &a,
                                                                                     const NodeRecord &b) {
                               return a.id >= b.id;
                             }) == db.nodes.end()) {}

  int32_t index_of(int32_t id, int32_t guess) const {
    if (unique_ids_ && guess < db_.node_count() && db_.nodes[static_cast<std::size_t>(guess)].id == id) return guess;
    return db_.node_sorted.find(id);
  }

 private:
  const Database &db_;
  bool unique_ids_;
};

}  // namespace

bool read_nodal_masses(ZelFile &file, Database &db) {
  int32_t entry_count = 0;
  int32_t values_per_entry = 0;
  if (!read_count(file, entry_count) || !file.read_int(values_per_entry) || values_per_entry < 1) return false;
  if (values_per_entry > 1) {
    ZEL_Warning("Each node must possess a single scalar mass");
    ZEL_Warning("Generating scalar by averaging %d values", values_per_entry);
  }
  const auto values_count = static_cast<std::size_t>(values_per_entry);
  if (!file.fits(entry_count, kInt + int64_t{values_per_entry} * file.real_size())) return false;
  // Only an entry that fits tells how many values K may take.
  if (entry_count == 0) return true;
  std::vector<double> values(values_count);
  const std::size_t record_bytes = kInt + values_count * static_cast<std::size_t>(file.real_size());
  const NodeLookup lookup(db);
  int32_t entry = 0;
  return file.read_records(static_cast<std::size_t>(entry_count), record_bytes, [&](const unsigned char *record) {
    const int32_t id = file.decode_int(record);
    file.decode_reals(record + kInt, values.data(), values_count);
    double mass = 0.0;
    for (double value : values) mass += value;
    mass /= values_per_entry;
    const int32_t index = lookup.index_of(id, entry++);
    if (index < 0) return true;
    NodeRecord &node = db.nodes[static_cast<std::size_t>(index)];
    if (node.mass != 0.0) ZEL_Warning("Redefining mass of Node %d", id);
    node.mass = mass;
    return true;
  });
}

bool write_nodal_masses(ZelFile &file, std::span<const NodeRecord> nodes) {
  if (!write_count(file, nodes.size()) || !file.write_int(1)) return false;
  auto node = nodes.begin();
  return file.write_records(nodes.size(), kInt + static_cast<std::size_t>(file.real_size()), [&](unsigned char *record) {
    file.encode_int(node->id, record);
    file.encode_reals(&node->mass, record + kInt, 1);
    ++node;
  });
}

// ---------------------------------------------------------------- block 10

namespace {

constexpr int kFirstRotation = 4;
constexpr int kLastRotation = 6;

// Slot of NodalInertia by (row - 4, column - 4).
constexpr int kInertiaSlot[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};

bool is_rotation(int dof) { return dof >= kFirstRotation && dof <= kLastRotation; }

// Decodes a row or column char; a value outside 4..6 is reported with
// `message` and ends the block.
bool decode_rotation(const ZelFile &file, const unsigned char *bytes, const char *message, int &dof) {
  dof = static_cast<signed char>(file.decode_char(bytes));
  if (is_rotation(dof)) return true;
  ZEL_Error(message, dof);
  return false;
}

bool apply_inertia_entry(NodeRecord &node, int slot, double value) {
  if (!node.inertia) {
    node.inertia.reset(new (std::nothrow) NodalInertia{});
    if (!node.inertia) {
      ZEL_Error("Error allocating memory for inertia matrix for node %d\n", node.id);
      return false;
    }
  }
  double &stored = (*node.inertia)[static_cast<std::size_t>(slot)];
  if (stored != 0.0 && stored != value) ZEL_Warning("Redefining mass of Nodal inertia %d", node.id);
  stored = value;
  return true;
}

}  // namespace

int inertia_slot(int row, int column) {
  if (!is_rotation(row) || !is_rotation(column)) return -1;
  return kInertiaSlot[row - kFirstRotation][column - kFirstRotation];
}

// An inertia entry: node ID, row and column chars, value.
std::size_t inertia_record_bytes(const ZelFile &file) {
  return kInt + 2 * static_cast<std::size_t>(file.char_width()) + static_cast<std::size_t>(file.real_size());
}

bool read_nodal_inertias(ZelFile &file, Database &db) {
  int32_t entry_count = 0;
  if (!read_count(file, entry_count)) return false;
  const std::size_t char_bytes = static_cast<std::size_t>(file.char_width());
  return file.read_records(
      static_cast<std::size_t>(entry_count), inertia_record_bytes(file), [&](const unsigned char *record) {
        const int32_t id = file.decode_int(record);
        int row = 0;
        int column = 0;
        double value = 0.0;
        if (!decode_rotation(file, record + kInt,
                             "Row index of nodal inertia entries should be 4, 5, or 6.  %d encoutered\n", row) ||
            !decode_rotation(file, record + kInt + char_bytes,
                             "Column index of nodal inertia entries should be 4, 5, or 6.  %d encoutered\n", column))
          return false;
        file.decode_reals(record + kInt + 2 * char_bytes, &value, 1);
        const int32_t index = db.node_sorted.find(id);
        if (index < 0) return true;
        return apply_inertia_entry(db.nodes[static_cast<std::size_t>(index)], inertia_slot(row, column), value);
      });
}

std::vector<InertiaEntry> nodal_inertia_entries(std::span<const NodeRecord> nodes) {
  static constexpr std::array<std::array<int32_t, 2>, 6> kUpperTriangle{
      {{4, 4}, {4, 5}, {4, 6}, {5, 5}, {5, 6}, {6, 6}}};
  std::vector<InertiaEntry> entries;
  for (const NodeRecord &node : nodes) {
    if (!node.inertia) continue;
    for (const auto &[row, column] : kUpperTriangle) {
      const double value = (*node.inertia)[static_cast<std::size_t>(inertia_slot(row, column))];
      if (value != 0.0) entries.push_back({node.id, row, column, value});
    }
  }
  return entries;
}

bool write_nodal_inertias(ZelFile &file, std::span<const InertiaEntry> entries) {
  if (!write_count(file, entries.size())) return false;
  const std::size_t char_bytes = static_cast<std::size_t>(file.char_width());
  auto entry = entries.begin();
  return file.write_records(entries.size(), inertia_record_bytes(file), [&](unsigned char *record) {
    file.encode_int(entry->node_id, record);
    file.encode_char(static_cast<char>(entry->row), record + kInt);
    file.encode_char(static_cast<char>(entry->column), record + kInt + char_bytes);
    file.encode_reals(&entry->value, record + kInt + 2 * char_bytes, 1);
    ++entry;
  });
}

// ---------------------------------------------------------------- block 11

bool read_units(ZelFile &file, std::array<std::string, 4> &unit_names) {
  for (std::string &name : unit_names)
    if (!file.read_text(name, kUnitNameChars)) return false;
  return true;
}

bool write_units(ZelFile &file, const std::array<std::string, 4> &unit_names) {
  for (const std::string &name : unit_names)
    if (!file.write_text(name, kUnitNameChars)) return false;
  return true;
}

// ---------------------------------------------------------------- block 14

namespace {

constexpr int32_t kFaceBlockHeadBytes = 16;

}  // namespace

bool read_element_faces(ZelFile &file, int32_t &face_count, std::vector<int32_t> &face_list) {
  int32_t block_bytes = 0;
  int32_t reserved = 0;
  int32_t list_ints = 0;
  if (!file.read_int(block_bytes) || !file.read_int(reserved) || !read_count(file, face_count) ||
      !read_count(file, list_ints))
    return false;
  if (int64_t{block_bytes} != kFaceBlockHeadBytes + int64_t{list_ints} * kInt) return false;
  if (!file.fits(list_ints, kInt)) return false;
  face_list.resize(static_cast<std::size_t>(list_ints));
  return file.read_ints(face_list.data(), face_list.size()) && face_list_is_well_formed(face_list, face_count);
}

bool write_element_faces(ZelFile &file, int32_t face_count, std::span<const int32_t> face_list) {
  // What the reader would refuse is not written.
  if (!face_list_is_well_formed(face_list, face_count)) return false;
  const std::size_t block_bytes = kFaceBlockHeadBytes + face_list.size() * kInt;
  return write_count(file, block_bytes) && file.write_int(0) && file.write_int(face_count) &&
         write_count(file, face_list.size()) && file.write_ints(face_list.data(), face_list.size());
}

// ---------------------------------------------------------------- block 17

bool read_interface_nodes(ZelFile &file, std::vector<int32_t> &node_indices) {
  int32_t count = 0;
  if (!read_count(file, count) || !file.fits(count, kInt)) return false;
  node_indices.resize(static_cast<std::size_t>(count));
  return file.read_ints(node_indices.data(), node_indices.size());
}

bool write_interface_nodes(ZelFile &file, std::span<const int32_t> node_indices) {
  return write_count(file, node_indices.size()) &&
         file.write_ints(node_indices.data(), node_indices.size());
}

}  // namespace zel
