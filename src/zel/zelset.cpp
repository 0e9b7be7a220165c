// Builder: header, nodes, masses, inertias, faces, interface nodes and the
// global mass properties.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelset";
constexpr int kMaxFaceIds = 256;
constexpr double kConsistencyTolerance = 1e-8;

// The database's node index is built by whoever fills the node table; a
// table filled without it (as a reader may) gets one on first lookup.
void ensure_node_index(Database &db) {
  if (db.node_sorted.size() == db.node_count()) return;
  db.node_sorted.clear();
  db.node_sorted.reserve(db.node_count());
  for (int32_t i = 0; i < db.node_count(); ++i) db.node_sorted.insert(db.nodes[i].id, i);
}

int32_t add_node(Database &db, int32_t id) {
  const int32_t index = db.node_count();
  // Room first, so that a failed allocation leaves table and index as they were.
  if (db.nodes.size() == db.nodes.capacity()) db.nodes.reserve(db.nodes.size() * 2 + 1000);
  ensure_node_index(db);
  db.node_sorted.insert(id, index);
  NodeRecord node;
  node.id = id;
  db.nodes.push_back(std::move(node));
  return index;
}

// The node of `id`, added when new, for a setter to change: invariants
// computed from the nodes no longer hold.
NodeRecord &node_of(Database &db, int32_t id) {
  nodal_data_changed(db);
  ensure_node_index(db);
  int32_t index = db.node_sorted.find(id);
  if (index < 0) index = add_node(db, id);
  return db.nodes[static_cast<std::size_t>(index)];
}

NodalInertia &inertia_of(NodeRecord &node) {
  if (!node.inertia) node.inertia = std::make_unique<NodalInertia>();
  return *node.inertia;
}

// Slot of the symmetric entry (row, col), both 1..3, in Ixx, Iyy, Izz,
// Ixy, Ixz, Iyz order.
int inertia_slot(int row, int col) {
  static constexpr int kSlot[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};
  return kSlot[row - 1][col - 1];
}

struct HeaderField {
  std::string Database::*field;
  std::size_t limit;
  const char *too_big;
  const char *echo;
};

const HeaderField kHeaderFields[] = {
    {&Database::title, kTitleLimit, "Title too big: max size %ld, specified size %ld.\nTruncating title.",
     "Title: %s"},
    {&Database::input_file_name, kInputFileNameLimit,
     "Input file name too big: max size %ld, specified size %ld.\nTruncating input file name.", "Name : %s"},
    {&Database::input_file_type, kInputFileTypeLimit,
     "Input file type spec too big: max size %ld, specified size %ld.\nTruncating input file type.",
     "Type : %s"},
};

// The creation date in asctime form, its line feed turned into a blank.
std::string creation_date() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64] = {0};
  asctime_r(&local, text);
  std::replace(text, text + std::strlen(text), '\n', ' ');
  return text;
}

// Cuts `text` to `limit` characters with the field's warning, turns its
// line feeds (in the caller's own string too) into blanks, and echoes it.
std::string header_text(char *text, std::size_t limit, const char *too_big, const char *echo, int comment) {
  const std::size_t length = std::strlen(text);
  if (length > limit) {
    if (comment > 0)
      ZEL_Warning(too_big, comment, static_cast<long>(limit), static_cast<long>(length), comment);
    else
      ZEL_Warning(too_big, static_cast<long>(limit), static_cast<long>(length));
  }
  std::replace(text, text + length, '\n', ' ');
  std::string stored(text, std::min(length, limit));
  if (comment > 0)
    ZEL_Info(echo, comment, stored.c_str());
  else
    ZEL_Info(echo, stored.c_str());
  return stored;
}

// Relative difference of a compared value b from a reference a: absolute
// below a reference of magnitude 1, relative to |a| above it.
double relative_difference(double a, double b) {
  const double scale = std::fabs(a) <= 1.0 ? 1.0 : std::fabs(a);
  return std::fabs(a - b) / scale;
}

bool disagree(double reference, double compared) {
  return relative_difference(reference, compared) > kConsistencyTolerance;
}

// Where the caller's global mass properties disagree with the nodal data
// (or the invariants set), the caller hears of it; the values still count.
void check_global_mass(Database &db, double mass, const double *cm, const double *inertia) {
  const double invariant1 = current_invariant1(db);
  if (disagree(invariant1, mass))
    ZEL_Warning("Global mass is inconsistent with INVAR1 setting or sum of nodal masses.");

  std::array<double, 3> centre = current_invariant2(db);
  if (invariant1 != 0.0) {
    for (double &c : centre) c /= invariant1;
  } else if (mass != 0.0) {
    for (double &c : centre) c /= mass;
  } else {
    ZEL_Info("Global mass is being set to zero.");
  }
  for (int i = 0; i < 3; ++i) {
    if (disagree(cm[i], centre[i])) {
      ZEL_Warning("Global center of mass is inconsistent with INVAR2 setting or nodal data.");
      break;
    }
  }

  // The caller's products of inertia carry the opposite sign of invariant 7's.
  const std::array<double, 9> invariant7 = current_invariant7(db);
  for (int k = 0; k < 9; ++k) {
    const double given = (k % 4 == 0) ? inertia[k] : -inertia[k];
    if (disagree(given, invariant7[k])) {
      ZEL_Warning("Global mass inertia is inconsistent with INVAR7 setting or nodal data.");
      break;
    }
  }
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_SetHeader(Database *db, char *title, char *input_file_name, char *input_file_type,
                          char *comment1, char *comment2, char *comment3) {
  if (!CheckZEL(db)) return 0;
  char *texts[6] = {title, input_file_name, input_file_type, comment1, comment2, comment3};
  static const char *const kNames[6] = {"title", "input file name", "input file type",
                                        "comment 1", "comment 2", "comment 3"};
  for (int k = 0; k < 6; ++k) {
    if (texts[k] == nullptr) {
      ZEL_Error("Cannot set the header: the %s is missing (null string).", kNames[k]);
      return 0;
    }
  }
  return ZEL_GUARDED(0, {
    std::string date = creation_date();
    std::string fields[6];
    for (int k = 0; k < 3; ++k) {
      const HeaderField &f = kHeaderFields[k];
      fields[k] = header_text(texts[k], f.limit, f.too_big, f.echo, 0);
    }
    for (int c = 1; c <= 3; ++c)
      fields[2 + c] = header_text(texts[2 + c], kCommentLimit,
                                  "Comment %d too big: max size %ld, specified size %ld.\nTruncating Comment %d.",
                                  "Comment %d: %s", c);
    db->date = std::move(date);
    for (int k = 0; k < 3; ++k) db->*kHeaderFields[k].field = std::move(fields[k]);
    for (int c = 0; c < 3; ++c) db->comment[c] = std::move(fields[3 + c]);
    return 1;
  });
}

ZEL_API int ZEL_NodeIndex(Database *db, int id) {
  if (!CheckZEL(db)) return -1;
  if (db->node_count() == 0) return -1;
  return ZEL_GUARDED(-1, {
    ensure_node_index(*db);
    return db->node_sorted.find(id);
  });
}

ZEL_API int ZEL_AddNode(Database *db, int id) {
  if (!CheckZEL(db)) return -1;
  return ZEL_GUARDED(-1, { return add_node(*db, id); });
}

ZEL_API int ZEL_LookupOrAddNode(Database *db, int id) {
  if (!CheckZEL(db)) return -1;
  const int index = ZEL_NodeIndex(db, id);
  if (index >= 0) return index;
  const int added = ZEL_AddNode(db, id);
  return added >= 0 ? added : -1;
}

ZEL_API int ZEL_SetNodeCoordinates(Database *db, int id, double x, double y, double z) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    NodeRecord &node = node_of(*db, id);
    node.x = x;
    node.y = y;
    node.z = z;
    block_flag(*db, kCoordinatesBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetNodalMass(Database *db, int id, double mass) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    node_of(*db, id).mass = mass;
    block_flag(*db, kNodalMassesBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_AddNodalMass(Database *db, int id, double mass) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    node_of(*db, id).mass += mass;
    block_flag(*db, kNodalMassesBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetNodalInertiaEntry(Database *db, int id, int row, int col, double value) {
  if (!CheckZEL(db)) return 0;
  if (row < 1 || row > 3 || col < 1 || col > 3) {
    ZEL_Error("Nodal inertia entry (%d, %d) of node %d is outside rows and columns 1 to 3.", row, col, id);
    return 0;
  }
  return ZEL_GUARDED(0, {
    inertia_of(node_of(*db, id))[static_cast<std::size_t>(inertia_slot(row, col))] = value;
    block_flag(*db, kNodalInertiasBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetNodalInertia(Database *db, int id, double ixx, double iyy, double izz, double ixy,
                                double ixz, double iyz) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    inertia_of(node_of(*db, id)) = NodalInertia{ixx, iyy, izz, ixy, ixz, iyz};
    block_flag(*db, kNodalInertiasBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetFaceList(Database *db, int n, int *ids) {
  if (!CheckZEL(db)) return 0;
  if (n < 1) return 0;
  if (ids == nullptr) {
    ZEL_Error("A face of %d nodes was given without its node IDs.", n);
    return 0;
  }
  return ZEL_GUARDED(0, {
    // A vertex repeating the one before it, or a last vertex closing the
    // face onto its first, adds no edge and is dropped.
    std::vector<int32_t> vertices;
    vertices.reserve(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
      const int32_t index = ZEL_LookupOrAddNode(db, ids[j]);
      if (index < 0) return 0;
      const bool last = j == n - 1;
      if (j > 0 && (index == vertices.back() || (last && index == vertices.front()))) continue;
      vertices.push_back(index);
    }
    if (vertices.size() < 2) return 0;
    if (db->face_list.capacity() < db->face_list.size() + vertices.size() + 1)
      db->face_list.reserve(std::max(db->face_list.capacity() * 2, db->face_list.size() + vertices.size() + 100));
    db->face_list.push_back(static_cast<int32_t>(vertices.size()));
    db->face_list.insert(db->face_list.end(), vertices.begin(), vertices.end());
    db->face_count += 1;
    db->geometry_nodes.reset();  // the cached geometry-node list no longer covers every face
    block_flag(*db, kFacesBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetFace(Database *db, int n, ...) {
  if (!CheckZEL(db)) return 0;
  if (n > kMaxFaceIds) {
    ZEL_Error("A face given by ZEL_SetFace has %d node IDs; at most %d are allowed.", n, kMaxFaceIds);
    return 0;
  }
  int ids[kMaxFaceIds];
  va_list args;
  va_start(args, n);
  for (int j = 0; j < n; ++j) ids[j] = va_arg(args, int);
  va_end(args);
  return ZEL_SetFaceList(db, n, ids);
}

ZEL_API int ZEL_SetInterfaceNode(Database *db, int id) {
  if (!CheckZEL(db)) return 0;
  const int index = ZEL_NodeIndex(db, id);
  if (index < 0) return 0;
  return ZEL_GUARDED(0, {
    std::vector<int32_t> &list = db->interface_nodes;
    if (std::find(list.begin(), list.end(), index) == list.end()) {
      list.push_back(index);
      db->geometry_nodes.reset();
    }
    block_flag(*db, kInterfaceNodesBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetGlobalMass(Database *db, double mass, double *cm, double *inertia) {
  if (!CheckZEL(db)) return 0;
  if (cm == nullptr || inertia == nullptr) {
    ZEL_Error("The global mass properties need a centre of mass and an inertia tensor.");
    return 0;
  }
  return ZEL_GUARDED(0, {
    check_global_mass(*db, mass, cm, inertia);
    // Without nodal masses the rigid invariants come from these.
    nodal_data_changed(*db);
    db->global_mass = mass;
    std::copy_n(cm, 3, db->global_cm.begin());
    std::copy_n(inertia, 9, db->global_inertia.begin());
    block_flag(*db, kGlobalPropertiesBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_CalculateGlobalMassFromNodeMass(Database *db) {
  if (!CheckZEL(db)) return 0;
  // The invariants are not held here: the body may still grow.
  return ZEL_GUARDED(0, {
    store_global_mass_properties(*db, current_invariant1(*db), current_invariant2(*db), current_invariant7(*db));
    return 1;
  });
}

ZEL_API const char *zelset_VersionId(void) { return "zelset 1.0"; }

}  // extern "C"
