// The number of leading rigid-body modes of a body, for the operations that
// treat rigid-body and flexible components of modal quantities apart.
#ifndef ZEL_RIGID_BODY_COUNT_H
#define ZEL_RIGID_BODY_COUNT_H

#include <cstdint>

struct Database;

namespace zel {

// The modes before the first jump in natural frequency (modes in ascending
// frequency, rigid-body modes first); 0 when there is no jump.
int32_t rigid_body_mode_count(Database &db);

}  // namespace zel

#endif  // ZEL_RIGID_BODY_COUNT_H
