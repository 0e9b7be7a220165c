// The writer's preparation of the inertia invariants: moving the body's
// reference frame to its centre of mass, and having the invariants of a
// level computed and held before the blocks are written.
#include <array>
#include <cmath>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "format/blocks.h"
#include "platform/messages.h"
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

namespace {

enum class Level { kRigid, kFast, kAll };

struct LevelInfo {
  std::vector<int> held;  // the invariants the level leaves held
  bool modal;             // computing it needs modes
  const char *insufficient;
  const char *announcement;
};

const LevelInfo &info_of(Level level) {
  static const LevelInfo kRigid{{1, 2, 7},
                                false,
                                "There is insufficient mass data to compute a full set of mass invariants.\n"
                                "Some or all mass invariants will be set to zero.",
                                "Computing *rigid* invariants"};
  static const LevelInfo kFast{{1, 2, 3, 4, 7, 8},
                               true,
                               "There is insufficient mass data to compute a partial set of mass invariants.\n"
                               "Some or all mass invariants will be set to zero.",
                               "Computing fast set of invariants"};
  static const LevelInfo kAll{{1, 2, 3, 4, 5, 7, 8, 9},
                              true,
                              "There is insufficient mass data to compute a full set of mass invariants.\n"
                              "Some or all mass invariants will be set to zero.",
                              "Computing *all* invariants"};
  return level == Level::kRigid ? kRigid : level == Level::kFast ? kFast : kAll;
}

bool enough_mass_data(Database &db, const LevelInfo &level) {
  const auto all_of = [&](auto &&has) {
    for (const int number : level.held)
      if (!has(number)) return false;
    return true;
  };
  if (all_of([&](int number) { return invariant_held(db, number); })) return true;
  if (all_of([&](int number) { return ZEL_goto_block(&db, invariant_block_index(number)) == 1; })) return true;
  return block_flag(db, kNodalMassesBlock) != 0 && (!level.modal || db.mode_count() > 0);
}

void compute_level(Database *db, Level level) {
  if (!CheckZEL(db)) return;
  const LevelInfo &info = info_of(level);
  if (!enough_mass_data(*db, info)) ZEL_Error("%s", info.insufficient);
  ZEL_Info("%s", info.announcement);
  // The pairs are formed in the same pass as the single-mode sums.
  if (level == Level::kAll) hold_every_modal_invariant(*db);
  ZEL_Invar1(db);
  ZEL_FreeMemory(ZEL_Invar2(db));
  ZEL_FreeMemory(ZEL_Invar3(db));
  if (level != Level::kRigid) {
    ZEL_FreeMemory(ZEL_Invar4(db));
    if (level == Level::kAll) ZEL_FreeMemory(ZEL_Invar5(db, 0));
    ZEL_FreeMemory(ZEL_Invar6(db));
  }
  ZEL_FreeMemory(ZEL_Invar7(db));
  if (level != Level::kRigid) ZEL_FreeMemory(ZEL_Invar8(db, 0));
  if (level == Level::kAll) ZEL_FreeMemory(ZEL_Invar9(db, 0, 0));
}

}  // namespace

void ComputeRigidInvariants(Database *db) { compute_level(db, Level::kRigid); }
void ComputeFastInvariants(Database *db) { compute_level(db, Level::kFast); }
void ComputeAllInvariants(Database *db) { compute_level(db, Level::kAll); }

}  // namespace zel
