// Builder: coordinates, masses, inertias and mode values of many nodes in
// one call, for bindings that hold whole arrays and pay per call. Each is
// the loop over its per-node setter a translator would write, so values,
// messages, new nodes and the mode store's rules are the per-node ones.
#include "body/database.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelset_bulk";

// The arrays must hold `count` rows; nothing is set when they cannot.
bool valid_rows(int count, const int *ids, const double *values, const char *what) {
  if (count < 0) {
    ZEL_Error("The %s of a negative number of nodes (%d) were given.", what, count);
    return false;
  }
  if (count > 0 && (ids == nullptr || values == nullptr)) {
    ZEL_Error("The %s of %d nodes were given without their %s.", what, count,
              ids == nullptr ? "node IDs" : "values");
    return false;
  }
  return true;
}

// Calls set(id, row) node after node, `width` values a row, and stops at
// the first refusal: the nodes before it keep what they were given, as
// after the same loop of per-node calls, and one message names the node.
template <class Setter>
int for_each_row(int count, const int *ids, const double *values, int width, Setter &&set) {
  for (int k = 0; k < count; ++k)
    if (!set(ids[k], values + static_cast<std::ptrdiff_t>(width) * k)) return 0;
  return 1;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_SetNodeCoordinatesArray(Database *db, int count, const int *ids, const double *xyz) {
  if (!CheckZEL(db) || !valid_rows(count, ids, xyz, "coordinates")) return 0;
  return ZEL_GUARDED(0, {
    return for_each_row(count, ids, xyz, 3, [db](int id, const double *row) {
      return ZEL_SetNodeCoordinates(db, id, row[0], row[1], row[2]);
    });
  });
}

ZEL_API int ZEL_SetNodalMassArray(Database *db, int count, const int *ids, const double *masses) {
  if (!CheckZEL(db) || !valid_rows(count, ids, masses, "masses")) return 0;
  return ZEL_GUARDED(0, {
    return for_each_row(count, ids, masses, 1,
                        [db](int id, const double *row) { return ZEL_SetNodalMass(db, id, row[0]); });
  });
}

ZEL_API int ZEL_SetNodalInertiaArray(Database *db, int count, const int *ids, const double *inertias) {
  if (!CheckZEL(db) || !valid_rows(count, ids, inertias, "inertias")) return 0;
  return ZEL_GUARDED(0, {
    return for_each_row(count, ids, inertias, 6, [db](int id, const double *row) {
      return ZEL_SetNodalInertia(db, id, row[0], row[1], row[2], row[3], row[4], row[5]);
    });
  });
}

ZEL_API int ZEL_SetModeVecArray(Database *db, int number, int set, int count, const int *ids, const double *values) {
  if (!CheckZEL(db) || !valid_rows(count, ids, values, "mode values")) return 0;
  return ZEL_GUARDED(0, {
    // The per-node setter only reads its six values; its pointer is not const for older callers.
    return for_each_row(count, ids, values, 6, [db, number, set](int id, const double *row) {
      return ZEL_SetModeVec(db, number, id, set, const_cast<double *>(row));
    });
  });
}

}  // extern "C"
