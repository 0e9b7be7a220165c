#include "numeric/rigid_body_count.h"

#include <algorithm>
#include <cmath>

#include "body/database.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltools";

// A first mode below kRigidHz followed by one above kFlexibleHz, or a
// frequency more than kGapRatio times the one before it, ends the
// rigid-body modes.
constexpr double kRigidHz = 0.1;
constexpr double kFlexibleHz = 10.0;
constexpr double kGapRatio = 10000.0;

// Rigid-body modes come out of a solver at exactly 0 Hz or at a little
// numerical noise. Measured against an exact 0 any noise would be a jump,
// and six rigid modes would count as one; so the previous frequency counts
// as at least this much.
constexpr double kFrequencyFloorHz = 1e-5;

double frequency_in_hz(Database &db, int32_t index) {
  double hz = 0.0;
  ZEL_Eigenvalue(&db, db.mode_numbers[static_cast<std::size_t>(index)], nullptr, &hz, nullptr, nullptr, nullptr);
  return hz;
}

}  // namespace

int32_t rigid_body_mode_count(Database &db) {
  const int32_t modes = db.mode_count();
  if (modes < 2) return 0;
  const double first = frequency_in_hz(db, 0);
  double previous = first;
  for (int32_t index = 1; index < modes; ++index) {
    const double hz = frequency_in_hz(db, index);
    if (std::abs(first) < kRigidHz && hz > kFlexibleHz) return index;
    if (std::abs(hz) > kGapRatio * std::max(std::abs(previous), kFrequencyFloorHz)) return index;
    previous = hz;
  }
  return 0;
}

}  // namespace zel

using namespace zel;

extern "C" ZEL_API int ZEL_RigidBodyModeCount(Database *db) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, { return rigid_body_mode_count(*db); });
}
