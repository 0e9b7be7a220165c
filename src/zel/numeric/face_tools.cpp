// Face tools: interior-face stripping, the sketch grid that replaces the
// face list, and the list of geometry nodes.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "body/database.h"
#include "numeric/geometry_tools.h"
#include "platform/c_memory.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltools";

// A face seen as a cycle of node indices: rotated so that its largest index
// leads (the first such one when it repeats), and read onwards from there
// in the direction that makes the two orientations of a cycle read alike.
// The first four vertices in that reading order are held inline, so that
// sorting millions of triangles and quadrilaterals never leaves the key.
struct FaceKey {
  int32_t n;
  std::array<int32_t, 4> lead;
  int32_t forward;   // 1 when the vertex after the leader exceeds the last one
  uint32_t first;    // offset of the face's first vertex in the face list
  uint32_t rotation; // position of the leader among the face's vertices
};

class FaceKeys {
 public:
  explicit FaceKeys(const std::vector<int32_t> &list) : list_(list) {}

  FaceKey make(std::size_t first, int32_t n) const {
    FaceKey key{n, {0, 0, 0, 0}, 0, static_cast<uint32_t>(first), 0};
    if (n == 0) return key;
    const int32_t *v = &list_[first];
    key.rotation = static_cast<uint32_t>(std::max_element(v, v + n) - v);
    key.forward = n > 1 && rotated(key, 1) > rotated(key, n - 1) ? 1 : 0;
    for (int32_t j = 0; j < std::min<int32_t>(n, 4); ++j) key.lead[static_cast<std::size_t>(j)] = reading(key, j);
    return key;
  }

  // Vertex j of the rotated face.
  int32_t rotated(const FaceKey &key, int32_t j) const {
    return list_[key.first + (key.rotation + static_cast<uint32_t>(j)) % static_cast<uint32_t>(key.n)];
  }

  // Vertex j in reading order: the leader, then onwards or backwards.
  int32_t reading(const FaceKey &key, int32_t j) const {
    return rotated(key, j == 0 || key.forward ? j : key.n - j);
  }

  // Orders cycles: fewer vertices first, then vertex by vertex in reading
  // order. Both orientations of one cycle compare equal.
  int compare(const FaceKey &a, const FaceKey &b) const {
    if (a.n != b.n) return a.n < b.n ? -1 : 1;
    if (a.lead != b.lead) return a.lead < b.lead ? -1 : 1;
    for (int32_t j = 4; j < a.n; ++j) {
      const int32_t va = reading(a, j), vb = reading(b, j);
      if (va != vb) return va < vb ? -1 : 1;
    }
    return 0;
  }

  // Equal cycles are ordered by orientation and then by place in the list,
  // so that the result never depends on the sort's whims.
  bool before(const FaceKey &a, const FaceKey &b) const {
    const int order = compare(a, b);
    if (order != 0) return order < 0;
    if (a.forward != b.forward) return a.forward < b.forward;
    return a.first < b.first;
  }

  void append_rotated(const FaceKey &key, std::vector<int32_t> &out) const {
    out.push_back(key.n);
    for (int32_t j = 0; j < key.n; ++j) out.push_back(rotated(key, j));
  }

 private:
  const std::vector<int32_t> &list_;
};

// Which sorted keys survive: a pair of equal cycles with opposite
// orientations is interior and both go; of equal cycles with the same
// orientation the later one stays.
std::vector<bool> surviving_keys(const FaceKeys &keys, const std::vector<FaceKey> &sorted) {
  const std::size_t count = sorted.size();
  std::vector<bool> kept(count, false);
  std::size_t i = 0;
  while (i + 1 < count) {
    if (keys.compare(sorted[i], sorted[i + 1]) != 0) {
      kept[i] = true;
      i += 1;
    } else if (sorted[i].forward == sorted[i + 1].forward) {
      i += 1;
    } else {
      i += 2;
    }
  }
  if (i + 1 == count)
    kept[i] = count == 1 || keys.compare(sorted[i - 1], sorted[i]) != 0 || sorted[i - 1].forward == sorted[i].forward;
  return kept;
}

// One whitespace-separated decimal integer, as formatted input reads it; a
// token that is not one, or that does not fit an int32, gives nothing.
std::optional<int32_t> read_integer(std::FILE *file) {
  int c;
  do c = std::fgetc(file);
  while (c != EOF && std::isspace(c));
  const bool negative = c == '-';
  if (c == '-' || c == '+') c = std::fgetc(file);
  if (c == EOF || !std::isdigit(c)) return std::nullopt;
  int64_t value = 0;
  for (; c != EOF && std::isdigit(c); c = std::fgetc(file)) {
    value = value * 10 + (c - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (c != EOF) std::ungetc(c, file);
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

struct FileCloser {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using SketchFile = std::unique_ptr<std::FILE, FileCloser>;

// The faces of a sketch file after its face count, as node indices; nothing
// (with the warning given) when a face is malformed or names an unknown node.
std::optional<std::vector<int32_t>> read_sketch_faces(Database &db, std::FILE *file, int32_t faces) {
  std::vector<int32_t> list;
  list.reserve(1000);
  for (int32_t f = 1; f <= faces; ++f) {
    // A face needs at least one vertex; the list grows with what the file
    // really holds, never by a count it merely claims.
    const std::optional<int32_t> n = read_integer(file);
    if (!n || *n < 1) {
      ZEL_Warning("Incorrect definition of face %d.  Aborting.", f);
      return std::nullopt;
    }
    list.push_back(*n);
    for (int32_t v = 0; v < *n; ++v) {
      const std::optional<int32_t> id = read_integer(file);
      if (!id) {
        ZEL_Warning("Incorrect definition of face %d.  Aborting.", f);
        return std::nullopt;
      }
      const int index = ZEL_NodeIndex(&db, *id);
      if (index < 0) {
        ZEL_Warning("Incorrect definition of face %d.  No node %d. Aborting.", f, *id);
        return std::nullopt;
      }
      list.push_back(index);
    }
  }
  return list;
}

}  // namespace

std::vector<int32_t> collect_geometry_nodes(const Database &db) {
  std::vector<int32_t> nodes;
  nodes.reserve(db.face_list.size() + db.interface_nodes.size());
  for_each_face(db.face_list, [&](std::size_t first, int32_t n) {
    nodes.insert(nodes.end(), db.face_list.begin() + static_cast<std::ptrdiff_t>(first),
                 db.face_list.begin() + static_cast<std::ptrdiff_t>(first) + n);
  });
  nodes.insert(nodes.end(), db.interface_nodes.begin(), db.interface_nodes.end());
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  nodes.erase(nodes.begin(), std::lower_bound(nodes.begin(), nodes.end(), 0));
  return nodes;
}


std::vector<int32_t> strip_common_faces(const std::vector<int32_t> &face_list, int32_t &face_count) {
  const FaceKeys keys(face_list);
  std::vector<FaceKey> sorted;
  sorted.reserve(static_cast<std::size_t>(std::max(face_count, 0)));
  for_each_face(face_list, [&](std::size_t first, int32_t n) { sorted.push_back(keys.make(first, n)); });
  std::sort(sorted.begin(), sorted.end(), [&](const FaceKey &a, const FaceKey &b) { return keys.before(a, b); });

  const std::vector<bool> kept = surviving_keys(keys, sorted);
  std::vector<int32_t> stripped;
  stripped.reserve(face_list.size());
  face_count = 0;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (!kept[i]) continue;
    keys.append_rotated(sorted[i], stripped);
    ++face_count;
  }
  return stripped;
}

}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API void ZEL_StripCommonFaces(Database *db) {
  if (!CheckZEL(db)) return;
  const int line = __LINE__;
  if (db->face_list.empty()) {
    report_memory_failure(line, kModule);
    return;
  }
  ZEL_GUARDED_VOID({
    ZEL_Info("Stripping interior faces");
    int32_t face_count = db->face_count;
    std::vector<int32_t> stripped = strip_common_faces(db->face_list, face_count);
    db->face_list = std::move(stripped);
    db->face_count = face_count;
    // The corners of the faces that went may no longer carry geometry.
    db->geometry_nodes.reset();
  });
}

ZEL_API void ZEL_SketchGrid(Database *db, const char *path) {
  if (!CheckZEL(db)) return;
  if (path == nullptr) {
    ZEL_Warning("Failed to apply sketch file.  Usage: sketch(filename)");
    return;
  }
  ZEL_GUARDED_VOID({
    const SketchFile file(std::fopen(path, "r"));
    if (!file) {
      ZEL_Warning("Failed to open sketch file %s", path);
      return;
    }
    const std::optional<int32_t> faces = read_integer(file.get());
    if (!faces || *faces < 0) {
      ZEL_Warning("Sketch file %s does not start with a face count", path);
      return;
    }
    ZEL_Info("Using sketch file %s to replace %d faces with %d", path, db->face_count, *faces);
    std::optional<std::vector<int32_t>> list = read_sketch_faces(*db, file.get(), *faces);
    if (!list) return;
    db->face_list = std::move(*list);
    db->face_count = *faces;
    // The sketch is the body's face list from now on: it is written with
    // the body, and its corners are the geometry nodes.
    if (*faces > 0) block_flag(*db, kFacesBlock) = 1;
    db->geometry_nodes.reset();
  });
}

ZEL_API int *ZEL_GeometryNodes(Database *db, int *count) {
  if (count != nullptr) *count = 0;
  if (!CheckZEL(db)) return nullptr;
  if (count == nullptr) {
    ZEL_Error("The geometry nodes need a place for their count.");
    return nullptr;
  }
  const int line = __LINE__;
  return ZEL_GUARDED(static_cast<int *>(nullptr), {
    if (!db->geometry_nodes) {
      if (db->face_list.empty() && db->interface_nodes.empty()) {
        report_memory_failure(line, kModule);
        return static_cast<int32_t *>(nullptr);
      }
      if (db->face_list.empty()) {
        ZEL_Error("Missing element face information");
        return static_cast<int32_t *>(nullptr);
      }
      db->geometry_nodes = collect_geometry_nodes(*db);
    }
    if (db->geometry_nodes->empty()) {
      report_memory_failure(line, kModule);
      return static_cast<int32_t *>(nullptr);
    }
    int32_t *nodes = copy_to_caller_array(db->geometry_nodes->data(), db->geometry_nodes->size());
    *count = static_cast<int>(db->geometry_nodes->size());
    return nodes;
  });
}

}  // extern "C"
