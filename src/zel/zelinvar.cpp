// Inertia invariants.
//
// Invariants held in the database (set by the builder, or read) win; a
// body read from a file takes them from their blocks on first use and
// holds them; otherwise they are computed from the nodal data. A file's
// invariants cover every node the body had when it was written, which a
// file whose node set was reduced no longer lists.
#include <algorithm>
#include <vector>

#include "blocks.h"
#include "database.h"
#include "invariants.h"
#include "zel.h"

namespace zel {
namespace {

// Block indices of invariants 1, 2 and 7.
constexpr int kInvariant1Block = 18;
constexpr int kInvariant2Block = 19;
constexpr int kInvariant7Block = 23;

bool has_nodal_masses(const Database &db) { return db.exists[content_position(kNodalMassesBlock)] != 0; }

// Fills `held` from the invariant's block of the file the body was read
// from, converted by `factor` into the current units; false when there is
// no such block. A block cut short keeps what was read, the rest zero.
bool hold_file_invariant(Database &db, Invariant invariant, int block_index, double factor,
                         std::vector<double> &held) {
  if (!held.empty() || db.file.fp == nullptr || block_flag(db, block_index) == 0) return false;
  const std::size_t count = static_cast<std::size_t>(invariant_value_count(invariant, db.mode_count()));
  std::vector<double> values(count, 0.0);
  int32_t stored_count = 0;
  if (db.file.seek(db.toc[static_cast<std::size_t>(block_index)]))
    read_invariant(db.file, invariant, db.mode_count(), values, stored_count);
  values.resize(count, 0.0);
  for (double &value : values) value *= factor;
  held = std::move(values);
  return true;
}

double mass_factor(const Database &db) { return db.unit_factor[kMassFactor]; }
double length_factor(const Database &db) { return db.unit_factor[kLengthFactor]; }

// The node's inertia as a full symmetric tensor, row order.
std::array<double, 9> full_tensor(const NodalInertia &i) {
  return {i[0], i[3], i[4], i[3], i[1], i[5], i[4], i[5], i[2]};
}

}  // namespace

double current_invariant1(Database &db) {
  hold_file_invariant(db, Invariant::k1, kInvariant1Block, mass_factor(db), db.invar1);
  if (!db.invar1.empty()) return db.invar1[0];
  if (!has_nodal_masses(db)) return db.global_mass;
  double total = 0.0;
  for (const NodeRecord &node : db.nodes) total += node.mass;
  return total;
}

std::array<double, 3> current_invariant2(Database &db) {
  hold_file_invariant(db, Invariant::k2, kInvariant2Block, mass_factor(db) * length_factor(db), db.invar2);
  std::array<double, 3> moment{};
  if (!db.invar2.empty()) {
    std::copy_n(db.invar2.begin(), 3, moment.begin());
  } else if (has_nodal_masses(db)) {
    for (const NodeRecord &node : db.nodes) {
      moment[0] += node.mass * node.x;
      moment[1] += node.mass * node.y;
      moment[2] += node.mass * node.z;
    }
  } else if (db.global_mass != 0.0) {
    for (int a = 0; a < 3; ++a) moment[a] = db.global_mass * db.global_cm[a];
  }
  return moment;
}

std::array<double, 9> current_invariant7(Database &db) {
  const double length = length_factor(db);
  hold_file_invariant(db, Invariant::k7, kInvariant7Block, mass_factor(db) * length * length, db.invar7);
  std::array<double, 9> tensor{};
  if (!db.invar7.empty()) {
    std::copy_n(db.invar7.begin(), 9, tensor.begin());
  } else if (has_nodal_masses(db)) {
    for (const NodeRecord &node : db.nodes) {
      // -m x~ x~ = m (|x|^2 I - x x^T)
      const double x[3] = {node.x, node.y, node.z};
      const double square = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) tensor[r * 3 + c] += node.mass * ((r == c ? square : 0.0) - x[r] * x[c]);
      if (node.inertia) {
        const std::array<double, 9> own = full_tensor(*node.inertia);
        for (int k = 0; k < 9; ++k) tensor[k] += own[k];
      }
    }
  } else if (db.global_mass != 0.0) {
    // The caller's tensor carries products of inertia with the opposite sign.
    for (int k = 0; k < 9; ++k) tensor[k] = (k % 4 == 0) ? db.global_inertia[k] : -db.global_inertia[k];
  }
  return tensor;
}

double inertia_invariant1(Database &db) {
  if (db.invar1.empty()) db.invar1.assign(1, current_invariant1(db));
  return db.invar1[0];
}

std::array<double, 3> inertia_invariant2(Database &db) {
  const std::array<double, 3> moment = current_invariant2(db);
  if (db.invar2.empty()) db.invar2.assign(moment.begin(), moment.end());
  return moment;
}

std::array<double, 9> inertia_invariant7(Database &db) {
  const std::array<double, 9> tensor = current_invariant7(db);
  if (db.invar7.empty()) db.invar7.assign(tensor.begin(), tensor.end());
  return tensor;
}

void store_global_mass_properties(Database &db, double invariant1, const std::array<double, 3> &invariant2,
                                  const std::array<double, 9> &invariant7) {
  db.global_mass = invariant1;
  for (int a = 0; a < 3; ++a) db.global_cm[a] = invariant1 != 0.0 ? invariant2[a] / invariant1 : 0.0;
  // Written as 0.0 - x so that a zero product stays +0.0.
  for (int k = 0; k < 9; ++k) db.global_inertia[k] = (k % 4 == 0) ? invariant7[k] : 0.0 - invariant7[k];
}

}  // namespace zel

extern "C" ZEL_API const char *zelinvar_VersionId(void) { return "zelinvar 0.1"; }
