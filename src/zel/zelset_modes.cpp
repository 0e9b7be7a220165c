// Builder: the mode list, mode shapes, modal stresses and strains (kept in
// the temporary stores) and pre-stress and pre-strain (kept in memory).
#include <algorithm>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "body/mode_list.h"
#include "body/mode_lookup.h"
#include "body/tempstore.h"
#include "platform/build_profile.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelset";

// Pre-stress and pre-strain rows are counted out in steps of this many.
constexpr std::size_t kPreValueStep = 1000;

// Present flags of the mode-shape, modal-stress and modal-strain blocks.
constexpr int kValueFlag[kValueSetCount] = {content_position(kModeShapesBlock), content_position(kModalStressBlock),
                                            content_position(kModalStrainBlock)};

bool valid_set(int set) {
  if (set >= kModeShapeSet && set < profile::kValueSets) return true;
  ZEL_Error(profile::kUnknownValueSet, set);
  return false;
}

// The keys of the node table and a value set's positions, entry by
// entry, for the lookup memos.
auto node_id_at(const Database &db) {
  return [&db](int32_t i) { return db.nodes[static_cast<std::size_t>(i)].id; };
}

auto set_node_id_at(const Database &db, int set) {
  return [&db, set](int32_t p) {
    return db.nodes[static_cast<std::size_t>(db.sets[set].node_of_position[static_cast<std::size_t>(p)])].id;
  };
}

// The per-value path of a fill runs millions of times: its steps (marked
// always_inline) share one call frame.

// Node index of node `id`, the node added when new (-1 on failure),
// through the database's memo.
[[gnu::always_inline]] inline int32_t lookup_or_add_node(Database &db, int32_t id) {
  const int32_t index = db.node_lookup_memo.find(id, db.node_count(), node_id_at(db),
                                                 [&db](int32_t key) { return ZEL_NodeIndex(&db, key); });
  return index >= 0 ? index : ZEL_LookupOrAddNode(&db, id);
}

// Position in set 1 or 2 of the node at `node_index`, which enters the set
// at the next free position when it is not in it yet. Set 0 gives the node
// index itself. A failed allocation throws and leaves the set unchanged.
[[gnu::always_inline]] inline int32_t enter_value_set(Database &db, int set, int32_t node_index) {
  if (set == kModeShapeSet) return node_index;
  ValueSet &values = db.sets[set];
  const int32_t id = db.nodes[static_cast<std::size_t>(node_index)].id;
  const int32_t known = values.position_memo.find(id, db.set_count(set), set_node_id_at(db, set),
                                                  [&values](int32_t key) { return values.position_of_id.find(key); });
  if (known >= 0) return known;
  // Room first, so that nothing after the index insert can fail.
  std::vector<int32_t> &nodes = values.node_of_position;
  if (nodes.size() == nodes.capacity()) nodes.reserve(nodes.size() * 2 + 1000);
  const int32_t position = static_cast<int32_t>(nodes.size());
  values.position_of_id.insert(id, position);
  nodes.push_back(node_index);
  return position;
}

// The position of node `id` in a set as the memos guess it, or -1.
[[gnu::always_inline]] inline int32_t guess_position(Database &db, int set, int32_t id) {
  if (set == kModeShapeSet) return db.node_lookup_memo.guess(id, db.node_count(), node_id_at(db));
  return db.sets[set].position_memo.guess(id, db.set_count(set), set_node_id_at(db, set));
}

// The bulk of a fill, without a call: six values of a mode and a node the
// memos guess, landing right after the values staged before them. False
// (nothing done) for anything else.
[[gnu::always_inline]] inline bool append_values(Database &db, int32_t number, int32_t id, int set,
                                                 const double *values) {
  TempStore &store = db.temp[set];
  if (!store.is_open()) return false;
  const int32_t slot = db.mode_lookup_memo.guess(number, db.mode_count(), mode_number_at(db));
  if (slot < 0) return false;
  const int32_t position = guess_position(db, set, id);
  if (position < 0 || position >= store.positions() || !store.append_record(slot, position, values)) return false;
  if (db.cache_mode[set] == slot) db.cache_mode[set] = -1;  // the cached copy is stale now
  if (set == kModeShapeSet && db.computed_invariants != 0) nodal_data_changed(db);
  db.exists[kValueFlag[set]] = 1;
  return true;
}

// Component argument that stands for the whole six-value record.
constexpr int kWholeRecord = -1;

// Where one node's values of one mode go: the store, the mode's slot and
// the node's position in the set.
struct ValueTarget {
  TempStore *store;
  int32_t slot;
  int32_t position;
};

void report_unreachable(int32_t number, int32_t id, int component) {
  if (component == kWholeRecord)
    ZEL_Error("Couldn't seek to mode %ld node %ld position in temporary file", static_cast<long>(number),
              static_cast<long>(id));
  else
    ZEL_Error("Couldn't seek to mode %ld node %ld dof %ld position in temporary file", static_cast<long>(number),
              static_cast<long>(id), static_cast<long>(component + 1));
}

// Registers the mode, creates the set's store and adds the node (to the
// set too) as needed; false after the messages.
[[gnu::always_inline]] inline bool locate_value(Database &db, int32_t number, int32_t id, int set, int component, ValueTarget &target) {
  const int32_t slot = lookup_or_add_mode(db, number, db.mode_lookup_memo);
  if (slot < 0) return false;
  if (!OpenTempStore(db, set)) return false;
  TempStore &store = db.temp[set];
  const int32_t node = lookup_or_add_node(db, id);
  if (node < 0) return false;
  target = ValueTarget{&store, slot, enter_value_set(db, set, node)};
  // A set that outgrows the store widens it instead of spilling into the
  // next mode's slot; only a refused widening leaves the node unreachable.
  if (store.ensure_positions(target.position + 1)) return true;
  report_unreachable(number, id, component);
  return false;
}

// Stores the whole record (`values` holds six) or one component of it.
[[gnu::always_inline]] inline int store_values(Database &db, int32_t number, int32_t id, int set, int component, const double *values) {
  ValueTarget target{};
  if (!locate_value(db, number, id, set, component, target)) return 0;
  const bool written = component == kWholeRecord
                           ? target.store->write_record(target.slot, target.position, values)
                           : target.store->write_value(target.slot, target.position, component, *values);
  if (db.cache_mode[set] == target.slot) db.cache_mode[set] = -1;  // the cached copy is stale now
  if (set == kModeShapeSet) nodal_data_changed(db);
  if (!written) return 0;
  db.exists[kValueFlag[set]] = 1;
  return 1;
}

std::vector<double> &pre_values(Database &db, int set) {
  return set == kStressSet ? db.pre_stress : db.pre_strain;
}

int set_pre_values(Database *db, int set, int id, const double *values) {
  if (!CheckZEL(db)) return 0;
  const char *what = set == kStressSet ? "Pre-Stress" : "Pre-Strain";
  if (values == nullptr) {
    ZEL_Error("The %s of node %d was given without its six values.", what, id);
    return 0;
  }
  return ZEL_GUARDED(0, {
    const int32_t node = lookup_or_add_node(*db, id);
    if (node < 0) return 0;
    const std::size_t position = static_cast<std::size_t>(enter_value_set(*db, set, node));
    std::vector<double> &rows = pre_values(*db, set);
    if (6 * position + 6 > rows.size()) {
      // Whole steps of rows (new ones zero), enough for this position
      // however far the set ran ahead of them; reserving geometrically
      // keeps the copies linear.
      const std::size_t capacity = (position / kPreValueStep + 1) * kPreValueStep;
      try {
        rows.reserve(std::max(6 * capacity, 2 * rows.size()));
        rows.resize(6 * capacity, 0.0);
      } catch (const std::bad_alloc &) {
        report_memory_failure(__LINE__, kModule, what);
        return 0;
      }
    }
    std::copy_n(values, 6, rows.begin() + static_cast<std::ptrdiff_t>(6 * position));
    if (db->cache_mode[set] == db->mode_count()) db->cache_mode[set] = -1;  // it held the old rows
    block_flag(*db, set == kStressSet ? kPreStressBlock : kPreStrainBlock) = 1;
    return 1;
  });
}

// ZEL_SetModeVec beyond the inline append.
[[gnu::noinline]] int set_values(Database *db, int32_t number, int32_t id, int set, double *values) {
  if (!CheckZEL(db) || !valid_set(set)) return 0;
  if (names_pre_values(number, set)) return set_pre_values(db, set, id, values);
  if (values == nullptr) {
    ZEL_Error("Mode %d of node %d was given without its six values.", number, id);
    return 0;
  }
  return ZEL_GUARDED(0, { return store_values(*db, number, id, set, kWholeRecord, values); });
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_ModeIndex(Database *db, int number) {
  if (!CheckZEL(db)) return -1;
  return find_mode(*db, number);
}

ZEL_API int ZEL_ModeNumber(Database *db, int index) {
  if (!CheckZEL(db)) return -1;
  if (index < 0 || index >= db->mode_count()) return -1;
  return db->mode_numbers[static_cast<std::size_t>(index)];
}

ZEL_API int ZEL_AddMode(Database *db, int number) {
  if (!CheckZEL(db)) return -1;
  if (db->mode_count() >= db->max_modes) {
    ZEL_Error("Insufficient room for mode %d in temporary mode shape file.  \nSpecify larger number of modes in "
              "ZEL_Create.\n",
              number);
    return -1;
  }
  return ZEL_GUARDED(-1, {
    db->mode_numbers.push_back(number);
    db->cache_mode.fill(-1);  // the pre-values were cached under the index the new mode takes
    return db->mode_count() - 1;
  });
}

ZEL_API int ZEL_LookupOrAddMode(Database *db, int number) {
  if (!CheckZEL(db)) return -1;
  const int index = find_mode(*db, number);
  return index >= 0 ? index : ZEL_AddMode(db, number);
}

ZEL_API int ZEL_ModeNodeIndex(Database *db, int set, int id) {
  if (set == kModeShapeSet) return ZEL_NodeIndex(db, id);
  if (!CheckZEL(db) || !valid_set(set)) return -1;
  return db->sets[set].position_of_id.find(id);
}

ZEL_API int ZEL_SetModeVec(Database *db, int number, int id, int set, double *values) {
  // The inline append needs no saved registers of the general path: it
  // runs first, and the general path is a call of its own.
  const bool a_mode_value = set >= kModeShapeSet && set < profile::kValueSets && !names_pre_values(number, set);
  if (db != nullptr && a_mode_value && values != nullptr && append_values(*db, number, id, set, values)) return 1;
  return set_values(db, number, id, set, values);
}

ZEL_API int ZEL_SetMode(Database *db, int number, int id, int set, double v1, double v2, double v3, double v4,
                        double v5, double v6) {
  double values[6] = {v1, v2, v3, v4, v5, v6};
  return ZEL_SetModeVec(db, number, id, set, values);
}

ZEL_API int ZEL_SetModeEntry(Database *db, int number, int id, int set, int component, double value) {
  if (!CheckZEL(db) || !valid_set(set)) return 0;
  if (component < 0 || component > 5) {
    ZEL_Error("Component %d of mode %d at node %d is none of 0 to 5.", component, number, id);
    return 0;
  }
  return ZEL_GUARDED(0, { return store_values(*db, number, id, set, component, &value); });
}

ZEL_API int ZEL_SetPreStressVec(Database *db, int id, double *values) {
  return set_pre_values(db, kStressSet, id, values);
}

ZEL_API int ZEL_SetPreStrainVec(Database *db, int id, double *values) {
  return set_pre_values(db, kStrainSet, id, values);
}

}  // extern "C"
