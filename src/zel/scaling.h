// Rescaling a whole database from one set of units into another.
#ifndef ZEL_SCALING_H
#define ZEL_SCALING_H

#include "units.h"

struct Database;

namespace zel {

// True when every value can be rescaled: processed preload and load cases
// split into rigid-body forces and flexible components, so they need the
// rigid-body mode count. Prints why when it cannot.
bool can_scale_database(Database &db);

// Multiplies every value held in memory by the factor of its dimension
// (`factors` in `unit_factor` order) and empties the mode caches, so the
// next mode fetch converts anew. The caller has checked can_scale_database.
void scale_database(Database &db, const UnitFactors &factors);

}  // namespace zel

#endif  // ZEL_SCALING_H
