// Node reduction to the geometry nodes. Everything is built beside the
// body first (new stores, node table, value sets, faces); the body takes
// it over only when every piece is there.
#include "numeric/node_reduction.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "body/database.h"
#include "body/store_rewrite.h"
#include "body/tempstore.h"
#include "numeric/geometry_tools.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelwrite";


// What a value set becomes: the old positions it keeps (in new order) and
// the new node index of each.
struct ReducedSet {
  std::vector<int32_t> old_positions;
  ValueSet set;
  std::vector<double> pre_values;  // rows of the kept positions
};

struct Reduction {
  std::vector<int32_t> kept;       // old node indices, ascending
  std::vector<int32_t> new_index;  // per old node index, -1 when dropped
  std::array<ReducedSet, kValueSetCount> sets;
  std::array<TempStore, kValueSetCount> stores;
  std::array<bool, kValueSetCount> store_built{};
  NodeIndex node_sorted;
  std::vector<int32_t> face_list;
  std::vector<int32_t> interface_nodes;
};

const std::vector<double> &pre_values(const Database &db, int set) {
  return set == kStressSet ? db.pre_stress : db.pre_strain;
}

// Set 0 is the front of the node table: the kept nodes inside it.
void reduce_mode_shape_set(const Database &db, Reduction &r) {
  const int32_t front = db.set_count(kModeShapeSet);
  for (int32_t node : r.kept)
    if (node < front) r.sets[kModeShapeSet].old_positions.push_back(node);
}

// Sets 1 and 2: the kept nodes that belong to the set, in node order; their
// pre-values move with them.
void reduce_value_set(const Database &db, int set, Reduction &r) {
  const std::vector<int32_t> &node_of_position = db.sets[static_cast<std::size_t>(set)].node_of_position;
  std::vector<int32_t> position_of_node(db.nodes.size(), -1);
  for (std::size_t p = 0; p < node_of_position.size(); ++p) {
    const int32_t node = node_of_position[p];
    if (node >= 0 && node < db.node_count() && position_of_node[static_cast<std::size_t>(node)] < 0)
      position_of_node[static_cast<std::size_t>(node)] = static_cast<int32_t>(p);
  }
  ReducedSet &reduced = r.sets[static_cast<std::size_t>(set)];
  const std::vector<double> &rows = pre_values(db, set);
  for (int32_t node : r.kept) {
    const int32_t position = position_of_node[static_cast<std::size_t>(node)];
    if (position < 0) continue;
    const int32_t new_position = static_cast<int32_t>(reduced.old_positions.size());
    reduced.old_positions.push_back(position);
    reduced.set.node_of_position.push_back(r.new_index[static_cast<std::size_t>(node)]);
    reduced.set.position_of_id.insert(db.nodes[static_cast<std::size_t>(node)].id, new_position);
    if (rows.empty()) continue;
    const std::size_t from = 6 * static_cast<std::size_t>(position);
    for (std::size_t c = 0; c < 6; ++c) reduced.pre_values.push_back(from + c < rows.size() ? rows[from + c] : 0.0);
  }
}

std::vector<int32_t> reindexed(const std::vector<int32_t> &indices, const std::vector<int32_t> &new_index) {
  std::vector<int32_t> result(indices);
  for (int32_t &index : result)
    if (index >= 0 && static_cast<std::size_t>(index) < new_index.size()) index = new_index[static_cast<std::size_t>(index)];
  return result;
}

void reindex_faces(const Database &db, Reduction &r) {
  r.face_list = db.face_list;
  for_each_face(r.face_list, [&](std::size_t first, int32_t n) {
    for (std::size_t v = first; v < first + static_cast<std::size_t>(n); ++v)
      if (r.face_list[v] >= 0 && r.face_list[v] < db.node_count())
        r.face_list[v] = r.new_index[static_cast<std::size_t>(r.face_list[v])];
  });
  r.interface_nodes = reindexed(db.interface_nodes, r.new_index);
}

bool stage_reduction(Database &db, Reduction &r) {
  r.new_index.assign(db.nodes.size(), -1);
  for (std::size_t p = 0; p < r.kept.size(); ++p) r.new_index[static_cast<std::size_t>(r.kept[p])] = static_cast<int32_t>(p);
  reduce_mode_shape_set(db, r);
  for (int set : {kStressSet, kStrainSet}) reduce_value_set(db, set, r);
  for (int set = 0; set < kValueSetCount; ++set) {
    const std::size_t k = static_cast<std::size_t>(set);
    if (!set_has_values(db, set) || r.sets[k].old_positions.empty() || db.mode_count() == 0) continue;
    if (!WriteShortenedModeFile(db, set, r.sets[k].old_positions, r.stores[k])) return false;
    r.store_built[k] = true;
  }
  r.node_sorted.reserve(static_cast<int32_t>(r.kept.size()));
  for (std::size_t p = 0; p < r.kept.size(); ++p)
    r.node_sorted.insert(db.nodes[static_cast<std::size_t>(r.kept[p])].id, static_cast<int32_t>(p));
  reindex_faces(db, r);
  return true;
}

void install(Database &db, Reduction &r) {
  NodeTable nodes;
  nodes.reserve(r.kept.size());
  for (int32_t node : r.kept) nodes.push_back(std::move(db.nodes[static_cast<std::size_t>(node)]));
  db.nodes = std::move(nodes);
  db.node_sorted = std::move(r.node_sorted);
  db.node_lookup_memo = LookupMemo{};
  if (db.mode_shape_nodes) db.mode_shape_nodes = static_cast<int32_t>(r.sets[kModeShapeSet].old_positions.size());
  for (int set : {kStressSet, kStrainSet}) {
    const std::size_t k = static_cast<std::size_t>(set);
    db.sets[k] = std::move(r.sets[k].set);
    std::vector<double> &rows = set == kStressSet ? db.pre_stress : db.pre_strain;
    if (!rows.empty()) rows = std::move(r.sets[k].pre_values);
  }
  for (int set = 0; set < kValueSetCount; ++set)
    if (r.store_built[static_cast<std::size_t>(set)]) install_store(db, set, r.stores[static_cast<std::size_t>(set)]);
  db.cache_mode = {-1, -1, -1};
  db.face_list = std::move(r.face_list);
  db.interface_nodes = std::move(r.interface_nodes);
  db.geometry_nodes.reset();
  // The invariants held describe the whole body, not the nodes left: they
  // must not be computed again from these.
  db.set_invariants |= db.computed_invariants;
  db.computed_invariants = 0;
}

int reduce(Database &db) {
  if (db.face_list.empty()) return 1;
  Reduction r;
  r.kept = collect_geometry_nodes(db);
  r.kept.erase(std::lower_bound(r.kept.begin(), r.kept.end(), db.node_count()), r.kept.end());
  if (r.kept.empty() || r.kept.size() == db.nodes.size()) return 1;
  if (!stage_reduction(db, r)) return 0;
  install(db, r);
  return 1;
}

}  // namespace

bool WriteShortenedModeFile(Database &db, int set, const std::vector<int32_t> &positions, TempStore &store) {
  return select_store_positions(db, set, positions, "Shortened mode file: %s", store);
}

int ReduceToGeometryNodes(Database *db) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, { return reduce(*db); });
}

}  // namespace zel
