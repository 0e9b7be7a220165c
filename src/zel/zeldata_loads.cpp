// Queries: modal preload, modal load cases, modal statistics and the body
// size.
//
// The statistics table is read with a file that has one; otherwise each
// slot of each mode is computed from the mode data on its first request
// and held, one pass over the mode's cached values.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "body/database.h"
#include "body/mode_cache.h"
#include "body/mode_list.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeldata";

// Statistics slots in use.
enum StatisticsSlot { kDisplacementSlot = 0, kRotationSlot = 1, kStressSlot = 2, kStrainSlot = 3 };

// A caller-owned copy of one value per mode: `mode_count` of them, zero
// for modes the array was not laid out for. Null with *count 0 when there
// is nothing to copy or no memory: these copies fail silently.
double *copy_per_mode(const std::vector<double> &values, int32_t mode_count, int *count) {
  if (count != nullptr) *count = 0;
  if (mode_count <= 0 || values.empty()) return nullptr;
  const auto modes = static_cast<std::size_t>(mode_count);
  auto *copy = static_cast<double *>(std::calloc(modes, sizeof(double)));
  if (copy == nullptr) return nullptr;
  std::copy_n(values.begin(), std::min(values.size(), modes), copy);
  if (count != nullptr) *count = mode_count;
  return copy;
}

const LoadCase *load_case(const Database *db, int index) {
  if (db == nullptr || index < 0 || index >= db->load_case_count()) return nullptr;
  return &db->load_cases[static_cast<std::size_t>(index)];
}

// The largest of a per-position quantity over a set: its position and
// value; position -1 while every value is 0. Ties keep the first.
struct Peak {
  int32_t position = -1;
  double value = 0.0;
};

// Squared magnitude of the three values of `component` at each position.
Peak largest_square_magnitude(const double *values, int32_t positions, int component) {
  Peak peak;
  const double *v = values + 3 * component;
  for (int32_t p = 0; p < positions; ++p, v += 6) {
    const double square = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (square > peak.value) peak = {p, square};
  }
  return peak;
}

// Squared von Mises equivalent of the normal (xx, yy, zz) and shear (xy,
// xz, yz) components at each position; strain is taken as it is stored.
Peak largest_square_von_mises(const double *values, int32_t positions) {
  Peak peak;
  const double *v = values;
  for (int32_t p = 0; p < positions; ++p, v += 6) {
    const double xx = v[0], yy = v[1], zz = v[2], xy = v[3], xz = v[4], yz = v[5];
    const double square =
        xx * xx + yy * yy + zz * zz - xx * yy - yy * zz - zz * xx + 3.0 * (xy * xy + xz * xz + yz * yz);
    if (square > peak.value) peak = {p, square};
  }
  return peak;
}

int value_set_of(int slot) {
  if (slot == kStressSlot) return kStressSet;
  if (slot == kStrainSlot) return kStrainSet;
  return kModeShapeSet;
}

// Fills one slot of mode index `mode` from its values; false when they
// cannot be fetched. A mode whose values are all zero leaves the slot
// uncomputed, so it is looked at again next time.
bool compute_slot(Database &db, int32_t mode, int slot, ModeStatistics &record) {
  const int set = value_set_of(slot);
  const double *values = LoadCachedModeIndex(&db, mode, set);
  if (values == nullptr) return false;
  const int32_t positions = db.set_count(set);
  const int component = slot == kRotationSlot ? 1 : 0;
  const Peak peak = set == kModeShapeSet ? largest_square_magnitude(values, positions, component)
                                         : largest_square_von_mises(values, positions);
  if (peak.position < 0) return true;
  record.node_id[slot] = ZEL_ModeNodeID(&db, set, peak.position);
  record.value[slot] = std::sqrt(peak.value);
  record.computed[slot] = true;
  return true;
}

// A node ID of 0 from a file means never computed; here 0 can be a node.
bool slot_known(const ModeStatistics &record, int slot) { return record.computed[slot] || record.node_id[slot] != 0; }

int max_statistic(Database *db, int number, int slot, int *node_id, double *value) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    if (db->mode_count() == 0) return 0;
    // A file's table holds the file's record count; modes it lacks get
    // records of their own, computed on request.
    const auto modes = static_cast<std::size_t>(db->mode_count());
    if (db->statistics.size() < modes) db->statistics.resize(modes);
    const int32_t mode = find_mode(*db, number);
    if (mode < 0) return 0;
    ModeStatistics &record = db->statistics[static_cast<std::size_t>(mode)];
    const bool computed = slot_known(record, slot) || compute_slot(*db, mode, slot, record);
    if (node_id != nullptr) *node_id = record.node_id[slot];
    if (value != nullptr) *value = record.value[slot];
    return computed ? 1 : 0;
  });
}

struct Box {
  double low[3];
  double high[3];

  explicit Box(const NodeRecord &node) : low{node.x, node.y, node.z}, high{node.x, node.y, node.z} {}

  void widen(const NodeRecord &node) {
    const double xyz[3] = {node.x, node.y, node.z};
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], xyz[a]);
      high[a] = std::max(high[a], xyz[a]);
    }
  }

  double diagonal() const {
    const double dx = high[0] - low[0], dy = high[1] - low[1], dz = high[2] - low[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
  }
};

// The box of node index 0 and every face vertex. The walk stops at a face
// that runs past the list; vertices outside the node table are skipped.
Box face_box(const Database &db) {
  Box box(db.nodes.front());
  const std::vector<int32_t> &list = db.face_list;
  std::size_t at = 0;
  while (at < list.size()) {
    const int32_t vertices = list[at];
    if (vertices < 0 || static_cast<std::size_t>(vertices) > list.size() - at - 1) break;
    for (std::size_t k = at + 1; k <= at + static_cast<std::size_t>(vertices); ++k)
      if (list[k] >= 0 && list[k] < db.node_count()) box.widen(db.nodes[static_cast<std::size_t>(list[k])]);
    at += static_cast<std::size_t>(vertices) + 1;
  }
  return box;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_ModalPreloadExist(Database *db) { return db != nullptr && !db->preload.empty() ? 1 : 0; }

ZEL_API double *ZEL_GetModalPreload(Database *db, int *count) {
  if (db == nullptr) {
    if (count != nullptr) *count = 0;
    return nullptr;
  }
  return copy_per_mode(db->preload, db->mode_count(), count);
}

ZEL_API int ZEL_GetModalLoadCaseCount(Database *db) { return db == nullptr ? 0 : db->load_case_count(); }

ZEL_API int ZEL_ModalLoadProcessed(Database *db, int index) {
  const LoadCase *found = load_case(db, index);
  return found == nullptr ? 0 : found->processed;
}

ZEL_API int ZEL_GetModalLoadCaseLabel(Database *db, int index, char *label) {
  const LoadCase *found = load_case(db, index);
  if (found == nullptr || label == nullptr) return 0;
  // The caller's buffer holds 256 chars: at most 255 and the terminator.
  const std::size_t length = std::min<std::size_t>(found->label.size(), 255);
  std::memcpy(label, found->label.data(), length);
  label[length] = '\0';
  return 1;
}

ZEL_API double *ZEL_GetModalLoad(Database *db, int index, int *count) {
  const LoadCase *found = load_case(db, index);
  if (found == nullptr) {
    if (count != nullptr) *count = 0;
    return nullptr;
  }
  return copy_per_mode(found->values, db->mode_count(), count);
}

ZEL_API int ZEL_ModalStatisticsExist(Database *db) { return db != nullptr && !db->statistics.empty() ? 1 : 0; }

ZEL_API int ZEL_GetMaxModeDisplacement(Database *db, int number, int *node_id, double *value) {
  return max_statistic(db, number, kDisplacementSlot, node_id, value);
}

ZEL_API int ZEL_GetMaxModeRotation(Database *db, int number, int *node_id, double *value) {
  return max_statistic(db, number, kRotationSlot, node_id, value);
}

ZEL_API int ZEL_GetMaxVonMisesStress(Database *db, int number, int *node_id, double *value) {
  return max_statistic(db, number, kStressSlot, node_id, value);
}

ZEL_API int ZEL_GetMaxVonMisesStrain(Database *db, int number, int *node_id, double *value) {
  return max_statistic(db, number, kStrainSlot, node_id, value);
}

ZEL_API double ZEL_BodySize(Database *db) {
  if (db == nullptr) return 0.0;
  if (db->body_size != 0.0 || db->nodes.empty()) return db->body_size;
  // A body without faces measures 0.0, which is not held: it is measured
  // again once faces arrive.
  db->body_size = face_box(*db).diagonal();
  return db->body_size;
}

}  // extern "C"
