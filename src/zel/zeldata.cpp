// Queries: header, nodes, masses, inertias, interface nodes, faces, the
// mode-shape transformation and the global mass properties.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "body/database.h"
#include "body/invariants.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeldata";

bool valid_node(const Database *db, int index) {
  return db != nullptr && index >= 0 && index < db->node_count();
}

// Copies a field into a caller's buffer of `size` bytes, terminated.
void copy_field(char *buffer, std::size_t size, const std::string &field) {
  if (buffer == nullptr) return;
  const std::size_t length = std::min(field.size(), size - 1);
  std::memcpy(buffer, field.data(), length);
  buffer[length] = '\0';
}

// A caller-owned copy of the interface nodes, each mapped through `map`.
// The count always describes the result, so a caller that walks `count`
// entries never walks a null array or a count left from an earlier call.
template <class Map>
int *interface_list(Database *db, int *count, Map map) {
  if (count != nullptr) *count = 0;
  if (db == nullptr || db->interface_nodes.empty()) return nullptr;
  int *list = static_cast<int *>(std::malloc(db->interface_nodes.size() * sizeof(int)));
  if (list == nullptr) return nullptr;
  std::transform(db->interface_nodes.begin(), db->interface_nodes.end(), list, map);
  if (count != nullptr) *count = db->interface_count();
  return list;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_Version(Database *db) { return db == nullptr ? 0 : static_cast<int>(db->version & 0xFF); }

ZEL_API void ZEL_Header(Database *db, char *title, char *date, char *input_file_name, char *input_file_type,
                        char *comment1, char *comment2, char *comment3) {
  if (db == nullptr) return;
  copy_field(title, 128, db->title);
  copy_field(input_file_name, 128, db->input_file_name);
  copy_field(input_file_type, 16, db->input_file_type);
  copy_field(comment1, 80, db->comment[0]);
  copy_field(comment2, 80, db->comment[1]);
  copy_field(comment3, 80, db->comment[2]);
  copy_field(date, 32, db->date);
  if (date != nullptr) {
    const std::size_t length = std::strlen(date);
    if (length > 0 && date[length - 1] == '\n') date[length - 1] = '\0';
  }
}

ZEL_API int ZEL_NodeCount(Database *db) { return db == nullptr ? 0 : db->node_count(); }

ZEL_API int ZEL_NodeID(Database *db, int index) { return valid_node(db, index) ? db->nodes[index].id : 0; }

ZEL_API int ZEL_NodeCoordinates(Database *db, int index, double *xyz) {
  if (db == nullptr || db->nodes.empty() || xyz == nullptr) return 0;
  if (!valid_node(db, index)) {
    xyz[0] = xyz[1] = xyz[2] = 0.0;
    return 0;
  }
  const NodeRecord &node = db->nodes[index];
  xyz[0] = node.x;
  xyz[1] = node.y;
  xyz[2] = node.z;
  return 1;
}

ZEL_API int ZEL_NodeCoordinateList(Database *db, double *xyz, int *count) {
  if (db == nullptr || db->nodes.empty() || xyz == nullptr) return 0;
  for (const NodeRecord &node : db->nodes) {
    *xyz++ = node.x;
    *xyz++ = node.y;
    *xyz++ = node.z;
  }
  if (count != nullptr) *count = db->node_count();
  return 1;
}

ZEL_API double ZEL_NodalMass(Database *db, int index) { return valid_node(db, index) ? db->nodes[index].mass : 0.0; }

ZEL_API int ZEL_NodalInertia(Database *db, int index, double *tensor) {
  if (!valid_node(db, index) || tensor == nullptr || !db->nodes[index].inertia) return 0;
  const NodalInertia &i = *db->nodes[index].inertia;
  const double full[9] = {i[0], i[3], i[4], i[3], i[1], i[5], i[4], i[5], i[2]};
  std::copy_n(full, 9, tensor);
  return 1;
}

ZEL_API int ZEL_NodalMassAndGeometry(Database *db, int index, double *mass, double *xyz) {
  if (mass != nullptr) *mass = ZEL_NodalMass(db, index);
  return ZEL_NodeCoordinates(db, index, xyz);
}

ZEL_API int *ZEL_InterfaceNodes(Database *db, int *count) {
  return interface_list(db, count, [](int32_t index) { return index; });
}

ZEL_API int *ZEL_InterfaceNodeIDs(Database *db, int *count) {
  return interface_list(db, count, [db](int32_t index) { return ZEL_NodeID(db, index); });
}

ZEL_API int ZEL_TotalMassInertia(Database *db, double *mass, double *inertia, double *cm) {
  if (db == nullptr) return 0;
  return ZEL_GUARDED(0, {
    store_global_mass_properties(*db, inertia_invariant1(*db), inertia_invariant2(*db), inertia_invariant7(*db));
    if (mass != nullptr) *mass = db->global_mass;
    if (inertia != nullptr) std::copy_n(db->global_inertia.begin(), 9, inertia);
    if (cm != nullptr) std::copy_n(db->global_cm.begin(), 3, cm);
    return 1;
  });
}

ZEL_API int ZEL_ModeCount(Database *db) { return db == nullptr ? 0 : db->mode_count(); }

ZEL_API void ZEL_FaceListSize(Database *db, int *faces, int *size) {
  if (faces != nullptr) *faces = db == nullptr ? 0 : db->face_count;
  if (size != nullptr) *size = db == nullptr ? 0 : db->face_list_size();
}

ZEL_API int ZEL_ElementFaces(Database *db, int *faces) {
  if (db == nullptr || db->face_list.empty() || faces == nullptr) return 0;
  std::copy(db->face_list.begin(), db->face_list.end(), faces);
  return 1;
}

ZEL_API int ZEL_Transformation(Database *db, double *matrix) {
  if (db == nullptr || db->transform.empty() || matrix == nullptr) return 0;
  // The caller's buffer holds mode_count x mode_count values; a file may
  // carry a matrix of another order, so only the overlap is copied and the
  // rest of the buffer is zero.
  const std::size_t modes = static_cast<std::size_t>(db->mode_count());
  const std::size_t order = db->transform_modes.empty() ? modes : db->transform_modes.size();
  for (std::size_t i = 0; i < modes; ++i)
    for (std::size_t j = 0; j < modes; ++j)
      matrix[i * modes + j] = (i < order && j < order && i * order + j < db->transform.size())
                                  ? db->transform[i * order + j]
                                  : 0.0;
  return 1;
}

ZEL_API int ZEL_DiscreteMethod(void) { return 0; }

ZEL_API const char *zeldata_VersionId(void) { return "zeldata 0.1"; }

}  // extern "C"
