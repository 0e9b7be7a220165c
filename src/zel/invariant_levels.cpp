// The writer's preparation of the inertia invariants: moving the body's
// reference frame to its centre of mass, and having the invariants of a
// level computed and held before the blocks are written.
#include <array>
#include <cmath>
#include <vector>

#include "database.h"
#include "invariants.h"
#include "messages.h"
#include "zel.h"

namespace zel {
namespace {

using Vector3 = std::array<double, 3>;

// I7' = I7 - 2 (I2 . c) I + I1 |c|^2 I + I2 c^T + c I2^T - I1 c c^T, the
// parallel-axis terms of moving every node by -c.
void shift_invariant7(std::vector<double> &i7, double i1, const Vector3 &i2, const Vector3 &c) {
  const double i2c = i2[0] * c[0] + i2[1] * c[1] + i2[2] * c[2];
  const double cc = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k)
      i7[3 * r + k] += (r == k ? i1 * cc - 2.0 * i2c : 0.0) + i2[r] * c[k] + c[r] * i2[k] - i1 * c[r] * c[k];
}

// I4' = I4 - c x I3 and I8' = I8 - I3 c^T + (c . I3) I, mode by mode.
void shift_modal_invariants(Database &db, const Vector3 &c) {
  const bool moves4 = !db.invar4.empty();
  const bool moves8 = !db.invar8.empty();
  if (!moves4 && !moves8) return;
  double *i3 = ZEL_Invar3(&db);
  if (i3 == nullptr) return;
  const std::size_t m = static_cast<std::size_t>(db.mode_count());
  for (std::size_t i = 0; i < m; ++i) {
    const Vector3 f{i3[i], i3[m + i], i3[2 * m + i]};
    if (moves4) {
      db.invar4[i] -= c[1] * f[2] - c[2] * f[1];
      db.invar4[m + i] -= c[2] * f[0] - c[0] * f[2];
      db.invar4[2 * m + i] -= c[0] * f[1] - c[1] * f[0];
    }
    if (moves8) {
      const double cf = c[0] * f[0] + c[1] * f[1] + c[2] * f[2];
      for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) db.invar8[i][3 * r + k] += (r == k ? cf : 0.0) - f[r] * c[k];
    }
  }
  ZEL_FreeMemory(i3);
}

}  // namespace

void ShiftLbrfToCm(Database *db) {
  if (db == nullptr || db->nodes.empty()) return;
  double mass = 0.0;
  Vector3 moment{};
  for (const NodeRecord &node : db->nodes) {
    mass += node.mass;
    moment[0] += node.mass * node.x;
    moment[1] += node.mass * node.y;
    moment[2] += node.mass * node.z;
  }
  if (mass == 0.0 || std::isnan(mass)) return;
  const double inverse = 1.0 / mass;
  const Vector3 c{moment[0] * inverse, moment[1] * inverse, moment[2] * inverse};

  // Invariants computed from the nodes are had again from the moved ones;
  // those the builder set or the file gave move with the frame exactly.
  forget_computed_invariants(*db);
  const double i1 = current_invariant1(*db);
  const Vector3 i2 = current_invariant2(*db);
  shift_modal_invariants(*db, c);
  if (!db->invar7.empty()) shift_invariant7(db->invar7, i1, i2, c);
  if (!db->invar2.empty())
    for (int a = 0; a < 3; ++a) db->invar2[a] -= i1 * c[a];
  forget_computed_invariants(*db);

  for (NodeRecord &node : db->nodes) {
    node.x -= c[0];
    node.y -= c[1];
    node.z -= c[2];
  }
  ZEL_Info("Shifting LBRF to CM at (%.3e,%.3e,%.3e)\n", c[0], c[1], c[2]);
  db->global_cm = {0.0, 0.0, 0.0};
}

}  // namespace zel
