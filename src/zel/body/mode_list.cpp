#include "body/mode_list.h"

#include <algorithm>

#include "body/database.h"

namespace zel {

int32_t find_mode(const Database &db, int32_t number) {
  const auto found = std::find(db.mode_numbers.begin(), db.mode_numbers.end(), number);
  return found == db.mode_numbers.end() ? -1 : static_cast<int32_t>(found - db.mode_numbers.begin());
}

bool OpenTempStore(Database &db, int set) {
  TempStore &store = db.temp[static_cast<std::size_t>(set)];
  return store.is_open() || store.create(set, db.max_modes, db.expected_nodes, db.file.double_precision != 0);
}

}  // namespace zel
