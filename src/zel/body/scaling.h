// Rescaling a whole database from one set of units into another.
#ifndef ZEL_SCALING_H
#define ZEL_SCALING_H

#include "body/units.h"

struct Database;

namespace zel {

// Multiplies every value held in memory by the factor of its dimension
// (`factors` in `unit_factor` order) and empties the mode caches, so the
// next mode fetch converts anew.
void scale_database(Database &db, const UnitFactors &factors);

}  // namespace zel

#endif  // ZEL_SCALING_H
