// Mode lookups through a memo, for setters that name modes in runs.
#ifndef ZEL_MODE_LOOKUP_H
#define ZEL_MODE_LOOKUP_H

#include <cstdint>

#include "body/database.h"
#include "body/mode_list.h"
#include "zel.h"

namespace zel {

// The keys of the mode list, entry by entry, for a lookup memo.
inline auto mode_number_at(const Database &db) {
  return [&db](int32_t i) { return db.mode_numbers[static_cast<std::size_t>(i)]; };
}

// Mode index of `number` through `memo`, or -1.
[[gnu::always_inline]] inline int32_t lookup_mode(Database &db, int32_t number, LookupMemo &memo) {
  return memo.find(number, db.mode_count(), mode_number_at(db), [&db](int32_t key) { return find_mode(db, key); });
}

// Mode index of `number` through `memo`, the mode added when new (-1 with
// the room message when the list is full).
[[gnu::always_inline]] inline int32_t lookup_or_add_mode(Database &db, int32_t number, LookupMemo &memo) {
  const int32_t index = lookup_mode(db, number, memo);
  return index >= 0 ? index : ZEL_AddMode(&db, number);
}

}  // namespace zel

#endif  // ZEL_MODE_LOOKUP_H
