#include "mode_list.h"

#include <algorithm>
#include <cstdlib>

#include "database.h"

namespace zel {

int32_t find_mode(const Database &db, int32_t number) {
  const auto found = std::find(db.mode_numbers.begin(), db.mode_numbers.end(), number);
  return found == db.mode_numbers.end() ? -1 : static_cast<int32_t>(found - db.mode_numbers.begin());
}

int32_t enter_value_set(Database &db, int set, int32_t node_index) {
  if (set == kModeShapeSet) return node_index;
  ValueSet &values = db.sets[set];
  const int32_t id = db.nodes[static_cast<std::size_t>(node_index)].id;
  const int32_t known = values.position_of_id.find(id);
  if (known >= 0) return known;
  // Room first, so that nothing after the index insert can fail.
  std::vector<int32_t> &nodes = values.node_of_position;
  if (nodes.size() == nodes.capacity()) nodes.reserve(nodes.size() * 2 + 1000);
  const int32_t position = static_cast<int32_t>(nodes.size());
  values.position_of_id.insert(id, position);
  nodes.push_back(node_index);
  return position;
}

}  // namespace zel

int SelectedModeIndex(int number, const int *modes, int count) {
  if (modes == nullptr || count <= 0) return -1;
  const void *found = std::bsearch(&number, modes, static_cast<std::size_t>(count), sizeof(int), zel::By_Id);
  return found == nullptr ? -1 : static_cast<int>(static_cast<const int *>(found) - modes);
}
