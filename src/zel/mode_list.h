// The mode list (mode number -> mode index) and the value sets' node
// positions, for the library's own use.
#ifndef ZEL_MODE_LIST_H
#define ZEL_MODE_LIST_H

#include <cstdint>

#include "database.h"

namespace zel {

// Mode index of the first mode numbered `number`, or -1.
int32_t find_mode(const Database &db, int32_t number);

// Position in set 1 or 2 of the node at `node_index`, which enters the set
// at the next free position when it is not in it yet. Set 0 gives the node
// index itself. A failed allocation throws and leaves the set unchanged.
int32_t enter_value_set(Database &db, int set, int32_t node_index);

}  // namespace zel

// Position of mode `number` in `modes`, `count` mode numbers in ascending
// order, or -1 (binary search).
int SelectedModeIndex(int number, const int *modes, int count);

#endif  // ZEL_MODE_LIST_H
