// Nearest-node searches and the exchange of two nodes' places.
#include <algorithm>
#include <cstdint>
#include <queue>
#include <utility>
#include <vector>

#include "platform/c_memory.h"
#include "body/database.h"
#include "body/invariants.h"
#include "numeric/geometry_tools.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltools";

// The nodes a search walks, in scan order: the interface nodes in their
// stored order, or every node in index order.
class Candidates {
 public:
  Candidates(const Database &db, bool interface_only) : db_(db), interface_only_(interface_only) {
    // An interface entry naming no node (a damaged file) is passed over,
    // never followed outside the node table.
    if (interface_only)
      for (int32_t index : db.interface_nodes)
        if (index >= 0 && index < db.node_count()) interface_.push_back(index);
  }

  std::size_t size() const { return interface_only_ ? interface_.size() : db_.nodes.size(); }
  int32_t node(std::size_t scan) const { return interface_only_ ? interface_[scan] : static_cast<int32_t>(scan); }

  // Squared distance of the candidate at scan position `scan` from p.
  double distance(std::size_t scan, const double *p) const {
    const NodeRecord &n = db_.nodes[static_cast<std::size_t>(node(scan))];
    const double dx = n.x - p[0], dy = n.y - p[1], dz = n.z - p[2];
    return dx * dx + dy * dy + dz * dz;
  }

 private:
  const Database &db_;
  bool interface_only_;
  std::vector<int32_t> interface_;
};

struct Hit {
  double distance;
  std::size_t scan;
};

// Nearest first; among equal distances the earlier scanned first.
bool nearer_or_earlier(const Hit &a, const Hit &b) {
  return a.distance < b.distance || (a.distance == b.distance && a.scan < b.scan);
}

// Nearest first; among equal distances the later scanned first.
bool nearer_or_later(const Hit &a, const Hit &b) {
  return a.distance < b.distance || (a.distance == b.distance && a.scan > b.scan);
}

// The k hits that come first in nearer_or_earlier order, sorted. A bounded
// max-heap keeps the k best seen so far: O(n log k) however large k is.
std::vector<Hit> k_nearest(const Candidates &candidates, const double *p, std::size_t k) {
  if (k == 0) return {};
  std::priority_queue<Hit, std::vector<Hit>, decltype(&nearer_or_earlier)> best(nearer_or_earlier);
  for (std::size_t scan = 0; scan < candidates.size(); ++scan) {
    const Hit hit{candidates.distance(scan, p), scan};
    if (best.size() < k) {
      best.push(hit);
    } else if (nearer_or_earlier(hit, best.top())) {
      best.pop();
      best.push(hit);
    }
  }
  std::vector<Hit> hits(best.size());
  for (std::size_t i = hits.size(); i-- > 0; best.pop()) hits[i] = best.top();
  return hits;
}

int32_t *caller_node_indices(const Candidates &candidates, const std::vector<Hit> &hits, int *count) {
  int32_t *indices = new_caller_array<int32_t>(hits.size());
  for (std::size_t i = 0; i < hits.size(); ++i) indices[i] = candidates.node(hits[i].scan);
  *count = static_cast<int>(hits.size());
  return indices;
}

bool search_arguments_usable(Database *db, const double *point, const int *count) {
  if (!CheckZEL(db)) return false;
  if (point == nullptr || count == nullptr) {
    ZEL_Error("A node search needs a point and a place for the count.");
    return false;
  }
  return true;
}

void exchange_index(int32_t &index, int32_t a, int32_t b) {
  if (index == a)
    index = b;
  else if (index == b)
    index = a;
}

// Everything that names nodes by index follows the two nodes to their new
// places: faces, interface nodes, stress and strain set positions and the
// geometry-node list.
void follow_exchanged_indices(Database &db, int32_t a, int32_t b) {
  for_each_face(db.face_list, [&](std::size_t first, int32_t n) {
    for (std::size_t v = first; v < first + static_cast<std::size_t>(n); ++v) exchange_index(db.face_list[v], a, b);
  });
  for (int32_t &index : db.interface_nodes) exchange_index(index, a, b);
  for (int set = kStressSet; set <= kStrainSet; ++set)
    for (int32_t &index : db.sets[set].node_of_position) exchange_index(index, a, b);
  if (db.geometry_nodes) {
    for (int32_t &index : *db.geometry_nodes) exchange_index(index, a, b);
    std::sort(db.geometry_nodes->begin(), db.geometry_nodes->end());
  }
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_ClosestNode(Database *db, double *point, int interface_only) {
  if (!CheckZEL(db)) return -1;
  if (point == nullptr) {
    ZEL_Error("A node search needs a point.");
    return -1;
  }
  return ZEL_GUARDED(-1, {
    const Candidates candidates(*db, interface_only != 0 && !db->interface_nodes.empty());
    if (candidates.size() == 0) {
      ZEL_Error("There are no nodes to search.");
      return -1;
    }
    std::size_t best = 0;
    double best_distance = candidates.distance(0, point);
    for (std::size_t scan = 1; scan < candidates.size() && best_distance != 0.0; ++scan) {
      const double d = candidates.distance(scan, point);
      if (d < best_distance) {
        best = scan;
        best_distance = d;
      }
    }
    return candidates.node(best);
  });
}

ZEL_API int *ZEL_ClosestNodes(Database *db, double *point, int k, int interface_only, int *count) {
  if (count != nullptr) *count = 0;
  if (!search_arguments_usable(db, point, count)) return nullptr;
  return ZEL_GUARDED(static_cast<int *>(nullptr), {
    const Candidates candidates(*db, interface_only != 0);
    const std::vector<Hit> hits = k_nearest(candidates, point, static_cast<std::size_t>(std::max(k, 0)));
    if (hits.empty()) return static_cast<int32_t *>(nullptr);
    return caller_node_indices(candidates, hits, count);
  });
}

ZEL_API int *ZEL_ClosestNodesInNeighborhood(Database *db, double *point, double radius, int interface_only,
                                            int *count) {
  if (count != nullptr) *count = 0;
  if (!search_arguments_usable(db, point, count)) return nullptr;
  return ZEL_GUARDED(static_cast<int *>(nullptr), {
    const Candidates candidates(*db, interface_only != 0);
    const double reach = radius * radius;
    std::vector<Hit> hits;
    for (std::size_t scan = 0; scan < candidates.size(); ++scan) {
      const double d = candidates.distance(scan, point);
      if (d <= reach) hits.push_back(Hit{d, scan});
    }
    if (hits.empty()) return static_cast<int32_t *>(nullptr);
    std::sort(hits.begin(), hits.end(), nearer_or_later);
    return caller_node_indices(candidates, hits, count);
  });
}

ZEL_API void ZEL_SwapNodesByID(Database *db, int id_a, int id_b) {
  if (!CheckZEL(db)) return;
  const int a = ZEL_NodeIndex(db, id_a);
  const int b = ZEL_NodeIndex(db, id_b);
  if (a < 0 || b < 0 || a == b) return;
  // Stored mode shapes sit in slots by node index; moving the nodes under
  // them would hand each node the other's values.
  if (db->temp[kModeShapeSet].is_open()) {
    ZEL_Error("Cannot exchange nodes %d and %d: mode shapes are already stored by node position.", id_a, id_b);
    return;
  }
  ZEL_GUARDED_VOID({
    // A node may move into or out of the nodes that carry mode shapes.
    nodal_data_changed(*db);
    std::swap(db->nodes[static_cast<std::size_t>(a)], db->nodes[static_cast<std::size_t>(b)]);
    db->node_sorted.reassign(id_a, b);
    db->node_sorted.reassign(id_b, a);
    follow_exchanged_indices(*db, a, b);
  });
}

ZEL_API const char *zeltools_VersionId(void) { return "zeltools 1.0"; }

}  // extern "C"
