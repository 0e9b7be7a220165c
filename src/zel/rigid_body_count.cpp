#include "rigid_body_count.h"

namespace zel {

// SEAM: the count comes from the frequency-gap rule of the numeric tools
// (rigid-body modes first, then a jump in frequency), which this library
// does not carry yet. Until it does, the count is reported as unknown and
// the operations that need it refuse rather than guess.
std::optional<int32_t> rigid_body_mode_count(Database &) { return std::nullopt; }

}  // namespace zel
