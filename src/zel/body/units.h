// Unit vocabulary (canonical names, SI values, accepted spellings) and the
// unit arithmetic that the units module and the scaling share.
#ifndef ZEL_UNITS_H
#define ZEL_UNITS_H

#include <array>
#include <cstddef>
#include <string>

#include "zel.h"

struct Database;

namespace zel {

// A spelling the label conversion accepts and the canonical name it becomes.
struct UnitSynonym {
  const char *spelling;
  const char *canonical;
};

// Everything a build knows about units. Kept as data so that a build
// profile with a smaller vocabulary only swaps the tables it points at.
struct UnitVocabulary {
  // In `unit_name` order: mass, length, time, force. Each table ends with a
  // row whose name is null; row order decides which name a factor gets.
  std::array<const ZEL_UnitRow *, 4> tables;
  const UnitSynonym *synonyms;
  std::size_t synonym_count;
};

extern const UnitVocabulary kUnitVocabulary;

// Equal length and equal characters after conversion to upper case.
bool labels_equal(const char *a, const char *b);

// SI value of one unit called `name` in `table`: 1.0 for an empty name (an
// unset unit counts as SI), 0.0 for a name the table does not hold.
double si_factor(const std::string &name, const ZEL_UnitRow *table);

// The four unit factors that turn values in one set of units into another
// (`unit_factor` order: force, length, mass, time).
using UnitFactors = std::array<double, 4>;

}  // namespace zel

#endif  // ZEL_UNITS_H
