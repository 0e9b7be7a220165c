// The one-mode cache: every mode vector, modal stress vector and modal
// strain vector is fetched through it, one mode per value set at a time,
// so that the mode data is never held in memory whole.
#ifndef ZEL_MODE_CACHE_H
#define ZEL_MODE_CACHE_H

#include <cstdint>

struct Database;

namespace zel {

// The six values per set position of mode `number` of value set `set`, in
// the database's current units, held in db->cache_values[set]: read from
// the set's open temporary store, else from the ZEL file at the mode's
// recorded offset. Mode number 0 of set 1 (2) is the pre-stress
// (pre-strain) vector. A request for the vector the cache already holds
// reads nothing. Null (after the read-failure message when a read failed)
// for a null handle, a bad set, an unknown mode, an empty set or a cache
// that cannot be allocated. The values stay valid until the next load of
// the same set.
const double *LoadCachedMode(Database *db, int32_t number, int set);

// The same for the mode at mode index `index`, which names a mode in every
// set (mode number 0 included); null for an index outside the mode list.
const double *LoadCachedModeIndex(Database *db, int32_t index, int set);

// `count` records of six values of mode index `index` of a set from
// position `first`, as stored (before unit conversion): from the set's
// temporary store, else from the ZEL file. No message on failure.
bool read_stored_records(Database &db, int set, int32_t index, int32_t first, int32_t count, double *values);

// Records [first, first + count) of mode index `index` of value set `set`
// (six values per set position) in the current units, read straight into
// `values` without touching the cache: for the passes over every mode that
// take the nodes a block at a time. False (after the read-failure message
// when a read failed) for a bad set, index or range.
bool ReadModeRecords(Database &db, int set, int32_t index, int32_t first, int32_t count, double *values);

}  // namespace zel

#endif  // ZEL_MODE_CACHE_H
