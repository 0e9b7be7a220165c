// Node reduction: once the inertia invariants are known, a body keeps only
// the nodes needed to draw and attach it (face corners and interface
// nodes); its mode data, value sets, faces and interface nodes follow.
#ifndef ZEL_NODE_REDUCTION_H
#define ZEL_NODE_REDUCTION_H

#include <cstdint>
#include <vector>

struct Database;

namespace zel {

class TempStore;

// Reduces the node table to the geometry nodes, rebuilt from the current
// faces and interface nodes. A body without faces keeps every node. The
// invariants held stay (they describe the whole body). 1 on success; 0
// after the messages, with the body unchanged.
int ReduceToGeometryNodes(Database *db);

// Writes into `store` the values of set `set` at the given old positions,
// in that order, for every mode: one read and one write per mode.
bool WriteShortenedModeFile(Database &db, int set, const std::vector<int32_t> &positions, TempStore &store);

}  // namespace zel

#endif  // ZEL_NODE_REDUCTION_H
