// Inertia invariants.
//
// Invariants held in the database (set by the builder, read, or computed
// before) win; a body read from a file takes them from their blocks on
// first use and holds them; otherwise they are computed from the nodal
// data and held, marked as computed so that a change of that data drops
// them. A file's invariants cover every node the body had when it was
// written, which a file whose node set was reduced no longer lists.
//
// The rigid invariants (1, 2, 7) sum over every node; the modal ones (3, 4,
// 5, 8, 9) over the nodes that carry mode shapes, from the sums of
// invariant_sums.h:
//   3 (a, i)      = sum m phi_ia
//   4 (a, i)      = sum m (x cross phi_i)_a + sum (J theta_i)_a
//   8 (i) (r, c)  = sum m (x~ phi_i~)_rc = sum m phi_ir x_c - delta_rc sum m x . phi_i
//   5 (i) (a, j)  = sum m (phi_i cross phi_j)_a
//   9 (i, j)(r,c) = sum m (phi_i~ phi_j~)_rc = sum m phi_jr phi_ic - delta_rc sum m phi_i . phi_j
// using a~ b~ = b a^T - (a . b) I.
#include <algorithm>
#include <cmath>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "format/blocks.h"
#include "numeric/invariant_sums.h"
#include "platform/c_memory.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelinvar";

struct InvariantInfo {
  Invariant invariant;
  int number;
  int block;         // block index
  int length_power;  // the unit factor is mass x length^power
};

constexpr InvariantInfo kInvariants[] = {
    {Invariant::k1, 1, invariant_block_index(1), 0}, {Invariant::k2, 2, invariant_block_index(2), 1},
    {Invariant::k3, 3, invariant_block_index(3), 1}, {Invariant::k4, 4, invariant_block_index(4), 2},
    {Invariant::k5, 5, invariant_block_index(5), 2}, {Invariant::k7, 7, invariant_block_index(7), 2},
    {Invariant::k8, 8, invariant_block_index(8), 2}, {Invariant::k9, 9, invariant_block_index(9), 2}};

const InvariantInfo &info_of(Invariant invariant) {
  return *std::find_if(std::begin(kInvariants), std::end(kInvariants),
                       [invariant](const InvariantInfo &info) { return info.invariant == invariant; });
}

bool has_nodal_masses(const Database &db) { return db.exists[content_position(kNodalMassesBlock)] != 0; }

// Calls `use` with the container that holds the invariant.
template <class Db, class Use>
auto with_container(Db &db, Invariant invariant, Use &&use) {
  switch (invariant) {
    case Invariant::k1:
      return use(db.invar1);
    case Invariant::k2:
      return use(db.invar2);
    case Invariant::k3:
      return use(db.invar3);
    case Invariant::k4:
      return use(db.invar4);
    case Invariant::k5:
      return use(db.invar5);
    case Invariant::k7:
      return use(db.invar7);
    case Invariant::k8:
      return use(db.invar8);
    case Invariant::k9:
      break;
  }
  return use(db.invar9);
}

bool is_held(const Database &db, Invariant invariant) {
  return with_container(db, invariant, [](const auto &held) { return !held.empty(); });
}

void hold_computed(Database &db, Invariant invariant, std::vector<double> values) {
  store_invariant(db, invariant, db.mode_count(), values);
  db.computed_invariants |= 1u << info_of(invariant).number;
}

// Holds the invariant's block of the file the body was read from, in the
// current units; false when there is no such block, or when the block
// does not fit the body (another mode count, cut short) and the nodal
// data can stand in for it.
bool hold_file_invariant(Database &db, Invariant invariant) {
  const InvariantInfo &info = info_of(invariant);
  if (is_held(db, invariant) || db.invariant_blocks_ignored || db.file.fp == nullptr || block_flag(db, info.block) == 0)
    return false;
  const int32_t modes = db.mode_count();
  std::vector<double> values;
  int32_t stored_modes = modes;
  const bool whole = db.file.seek(db.toc[static_cast<std::size_t>(info.block)]) &&
                     read_invariant(db.file, invariant, modes, values, stored_modes);
  if (stored_modes != modes) ZEL_Error("nm!=ModeCount at line %d in file %s", __LINE__, kModule);
  if (!whole) ZEL_Warning("Invariant %d block of the file is cut short", info.number);
  if ((!whole || stored_modes != modes) && has_nodal_masses(db)) return false;
  double factor = db.unit_factor[kMassFactor];
  for (int k = 0; k < info.length_power; ++k) factor *= db.unit_factor[kLengthFactor];
  values.resize(static_cast<std::size_t>(invariant_value_count(invariant, modes)), 0.0);
  for (double &value : values) value *= factor;
  store_invariant(db, invariant, modes, values);
  return true;
}

// The node's inertia as a full symmetric tensor, row order.
std::array<double, 9> full_tensor(const NodalInertia &i) {
  return {i[0], i[3], i[4], i[3], i[1], i[5], i[4], i[5], i[2]};
}

// ------------------------------------------------------- modal invariants

// S_i (b, a) = sum m x_b phi_ia of mode i.
double first_moment(const ModalSums &sums, std::size_t i, int b, int a) {
  return sums.moments[static_cast<std::size_t>(1 + b) * 3 * sums.mode_count + 3 * i + a];
}

// sum m phi_ia phi_jb
double gram(const ModalSums &sums, std::size_t i, int a, std::size_t j, int b) {
  return sums.gram[(3 * i + a) * 3 * sums.mode_count + 3 * j + b];
}

// The invariant's values in file order from the sums.
std::vector<double> derive(const ModalSums &sums, Invariant invariant) {
  const std::size_t m = static_cast<std::size_t>(sums.mode_count);
  std::vector<double> values(static_cast<std::size_t>(invariant_value_count(invariant, sums.mode_count)));
  for (std::size_t i = 0; i < m; ++i) {
    const auto s = [&](int b, int a) { return first_moment(sums, i, b, a); };
    switch (invariant) {
      case Invariant::k3:
        for (int a = 0; a < 3; ++a) values[a * m + i] = sums.moments[3 * i + a];
        break;
      case Invariant::k4:
        values[i] = s(1, 2) - s(2, 1) + sums.rotary[3 * i];
        values[m + i] = s(2, 0) - s(0, 2) + sums.rotary[3 * i + 1];
        values[2 * m + i] = s(0, 1) - s(1, 0) + sums.rotary[3 * i + 2];
        break;
      case Invariant::k8: {
        const double trace = s(0, 0) + s(1, 1) + s(2, 2);
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) values[9 * i + 3 * r + c] = s(c, r) - (r == c ? trace : 0.0);
        break;
      }
      case Invariant::k5:
        for (std::size_t j = 0; j < m; ++j) {
          const auto g = [&](int a, int b) { return gram(sums, i, a, j, b); };
          double *row = &values[3 * m * i];
          row[j] = g(1, 2) - g(2, 1);
          row[m + j] = g(2, 0) - g(0, 2);
          row[2 * m + j] = g(0, 1) - g(1, 0);
        }
        break;
      case Invariant::k9:
        for (std::size_t j = 0; j < m; ++j) {
          const double dot = gram(sums, i, 0, j, 0) + gram(sums, i, 1, j, 1) + gram(sums, i, 2, j, 2);
          double *cell = &values[9 * (i * m + j)];
          for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) cell[3 * r + c] = gram(sums, j, r, i, c) - (r == c ? dot : 0.0);
        }
        break;
      default:
        break;
    }
  }
  return values;
}

bool needs_pairs(Invariant invariant) { return invariant == Invariant::k5 || invariant == Invariant::k9; }

// Holds the modal invariants of the group (3, 4, 8, and with `pairs` 5 and
// 9) that are neither held nor on file, computed in one pass over the
// modes. Without nodal masses they are zero. False when a mode cannot be
// read.
bool hold_modal_invariants(Database &db, bool pairs) {
  std::vector<Invariant> missing;
  for (const Invariant invariant : {Invariant::k3, Invariant::k4, Invariant::k8, Invariant::k5, Invariant::k9}) {
    if (needs_pairs(invariant) && !pairs) continue;
    if (!is_held(db, invariant) && !hold_file_invariant(db, invariant)) missing.push_back(invariant);
  }
  if (missing.empty()) return true;
  const bool with_pairs = std::any_of(missing.begin(), missing.end(), needs_pairs);
  ModalSums sums;
  if (has_nodal_masses(db)) {
    if (!compute_modal_sums(db, with_pairs, invariant_memory_budget(), sums)) return false;
  } else {
    const std::size_t width = 3 * static_cast<std::size_t>(db.mode_count());
    sums = ModalSums{db.mode_count(), std::vector<double>(4 * width), std::vector<double>(width),
                     std::vector<double>(with_pairs ? width * width : 0)};
  }
  for (const Invariant invariant : missing) hold_computed(db, invariant, derive(sums, invariant));
  return true;
}

// The held modal invariant, computed first when needed; false when there
// are no modes or it cannot be had.
bool modal_invariant_held(Database &db, Invariant invariant) {
  if (db.mode_count() == 0) return false;
  if (!is_held(db, invariant) && !hold_modal_invariants(db, needs_pairs(invariant))) return false;
  // Modes added after the builder set it have zero entries.
  cover_modal_invariant(db, invariant);
  return is_held(db, invariant);
}

bool valid_mode_index(const Database &db, int index) { return index >= 0 && index < db.mode_count(); }

}  // namespace

double current_invariant1(Database &db) {
  hold_file_invariant(db, Invariant::k1);
  if (!db.invar1.empty()) return db.invar1[0];
  if (!has_nodal_masses(db)) return db.global_mass;
  double total = 0.0;
  for (const NodeRecord &node : db.nodes) total += node.mass;
  return total;
}

std::array<double, 3> current_invariant2(Database &db) {
  hold_file_invariant(db, Invariant::k2);
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
  hold_file_invariant(db, Invariant::k7);
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
  const double mass = current_invariant1(db);
  if (db.invar1.empty()) hold_computed(db, Invariant::k1, {mass});
  return mass;
}

std::array<double, 3> inertia_invariant2(Database &db) {
  const std::array<double, 3> moment = current_invariant2(db);
  if (db.invar2.empty()) hold_computed(db, Invariant::k2, {moment.begin(), moment.end()});
  return moment;
}

std::array<double, 9> inertia_invariant7(Database &db) {
  const std::array<double, 9> tensor = current_invariant7(db);
  if (db.invar7.empty()) hold_computed(db, Invariant::k7, {tensor.begin(), tensor.end()});
  return tensor;
}

namespace {

// A component-major array of 3 x n values (component c of mode m at
// c n + m) laid out again for `modes` modes, new modes zero.
std::vector<double> component_major(const std::vector<double> &values, std::size_t modes) {
  const std::size_t held = values.size() / 3;
  std::vector<double> wider(3 * modes, 0.0);
  for (std::size_t c = 0; c < 3; ++c)
    std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(c * held), std::min(held, modes),
                wider.begin() + static_cast<std::ptrdiff_t>(c * modes));
  return wider;
}

void cover_rows(std::vector<std::vector<double>> &rows, std::size_t modes) {
  if (rows.size() >= modes && (rows.empty() || rows[0].size() >= 3 * modes)) return;
  std::vector<std::vector<double>> wider(modes);
  for (std::size_t i = 0; i < modes; ++i)
    wider[i] = component_major(i < rows.size() ? rows[i] : std::vector<double>{}, modes);
  rows.swap(wider);
}

std::size_t square_side(std::size_t cells) {
  std::size_t side = static_cast<std::size_t>(std::sqrt(static_cast<double>(cells)));
  while (side * side > cells) --side;
  while ((side + 1) * (side + 1) <= cells) ++side;
  return side;
}

void cover_cells(std::vector<std::array<double, 9>> &cells, std::size_t modes) {
  const std::size_t held = square_side(cells.size());
  if (held >= modes) return;
  std::vector<std::array<double, 9>> wider(modes * modes, std::array<double, 9>{});
  for (std::size_t i = 0; i < held; ++i)
    std::copy_n(cells.begin() + static_cast<std::ptrdiff_t>(i * held), held,
                wider.begin() + static_cast<std::ptrdiff_t>(i * modes));
  cells.swap(wider);
}

}  // namespace

namespace {

const InvariantInfo *info_of_number(int number) {
  const auto found = std::find_if(std::begin(kInvariants), std::end(kInvariants),
                                  [number](const InvariantInfo &info) { return info.number == number; });
  return found == std::end(kInvariants) ? nullptr : found;
}

}  // namespace

bool invariant_held(const Database &db, int number) {
  const InvariantInfo *info = info_of_number(number);
  return info != nullptr && is_held(db, info->invariant);
}

bool hold_invariant(Database &db, Invariant invariant) {
  switch (invariant) {
    case Invariant::k1: inertia_invariant1(db); return true;
    case Invariant::k2: inertia_invariant2(db); return true;
    case Invariant::k7: inertia_invariant7(db); return true;
    default: return modal_invariant_held(db, invariant);
  }
}

bool hold_every_modal_invariant(Database &db) { return db.mode_count() > 0 && hold_modal_invariants(db, true); }

void cover_modal_invariant(Database &db, Invariant invariant) {
  const std::size_t modes = static_cast<std::size_t>(db.mode_count());
  switch (invariant) {
    case Invariant::k3:
    case Invariant::k4: {
      std::vector<double> &values = invariant == Invariant::k3 ? db.invar3 : db.invar4;
      if (values.size() < 3 * modes) values = component_major(values, modes);
      break;
    }
    case Invariant::k5:
      cover_rows(db.invar5, modes);
      break;
    case Invariant::k8:
      if (db.invar8.size() < modes) db.invar8.resize(modes, std::array<double, 9>{});
      break;
    case Invariant::k9:
      cover_cells(db.invar9, modes);
      break;
    default:
      break;
  }
}

void mark_invariant_set(Database &db, int number) {
  db.computed_invariants &= ~(1u << number);
  db.set_invariants |= 1u << number;
}

void hold_read_modal_invariants(Database &db) {
  for (Invariant invariant : {Invariant::k3, Invariant::k4, Invariant::k5, Invariant::k8, Invariant::k9})
    hold_file_invariant(db, invariant);
}

void forget_computed_invariants(Database &db) {
  for (const InvariantInfo &info : kInvariants)
    if ((db.computed_invariants & (1u << info.number)) != 0)
      with_container(db, info.invariant, [](auto &held) { held.clear(); });
  db.computed_invariants = 0;
}

void nodal_data_changed(Database &db) {
  if (db.computed_invariants != 0) forget_computed_invariants(db);
}

void store_global_mass_properties(Database &db, double invariant1, const std::array<double, 3> &invariant2,
                                  const std::array<double, 9> &invariant7) {
  db.global_mass = invariant1;
  for (int a = 0; a < 3; ++a) db.global_cm[a] = invariant1 != 0.0 ? invariant2[a] / invariant1 : 0.0;
  // Written as 0.0 - x so that a zero product stays +0.0.
  for (int k = 0; k < 9; ++k) db.global_inertia[k] = (k % 4 == 0) ? invariant7[k] : 0.0 - invariant7[k];
}

}  // namespace zel

using namespace zel;

namespace {

// A caller's copy of `count` held values from `first`, or null.
double *caller_copy(const double *first, std::size_t count) { return copy_to_caller_array(first, count); }

template <class Body>
double *invariant_query(Database *db, Body &&body) {
  if (!CheckZEL(db)) return nullptr;
  return ZEL_GUARDED(static_cast<double *>(nullptr), { return body(*db); });
}

}  // namespace

extern "C" {

ZEL_API double ZEL_Invar1(Database *db) {
  if (!CheckZEL(db)) return 0.0;
  return ZEL_GUARDED(0.0, { return inertia_invariant1(*db); });
}

ZEL_API double *ZEL_Invar2(Database *db) {
  return invariant_query(db, [](Database &d) {
    const std::array<double, 3> moment = inertia_invariant2(d);
    return caller_copy(moment.data(), 3);
  });
}

ZEL_API double *ZEL_Invar3(Database *db) {
  return invariant_query(db, [](Database &d) -> double * {
    if (!modal_invariant_held(d, Invariant::k3)) return nullptr;
    return caller_copy(d.invar3.data(), d.invar3.size());
  });
}

ZEL_API double *ZEL_Invar4(Database *db) {
  return invariant_query(db, [](Database &d) -> double * {
    if (!modal_invariant_held(d, Invariant::k4)) return nullptr;
    return caller_copy(d.invar4.data(), d.invar4.size());
  });
}

ZEL_API double *ZEL_Invar5(Database *db, int i) {
  return invariant_query(db, [i](Database &d) -> double * {
    if (!valid_mode_index(d, i) || !modal_invariant_held(d, Invariant::k5)) return nullptr;
    const std::vector<double> &array = d.invar5[static_cast<std::size_t>(i)];
    return caller_copy(array.data(), array.size());
  });
}

ZEL_API double *ZEL_Invar6(Database *db) {
  return invariant_query(db, [](Database &d) -> double * {
    const std::size_t m = static_cast<std::size_t>(d.mode_count());
    if (m == 0) return nullptr;
    double *mass = new_caller_array<double>(m * m);
    ZEL_GenMassFull(&d, mass, static_cast<int>(m));
    return mass;
  });
}

ZEL_API double *ZEL_Invar7(Database *db) {
  return invariant_query(db, [](Database &d) {
    const std::array<double, 9> tensor = inertia_invariant7(d);
    return caller_copy(tensor.data(), 9);
  });
}

ZEL_API double *ZEL_Invar8(Database *db, int i) {
  return invariant_query(db, [i](Database &d) -> double * {
    if (!valid_mode_index(d, i) || !modal_invariant_held(d, Invariant::k8)) return nullptr;
    return caller_copy(d.invar8[static_cast<std::size_t>(i)].data(), 9);
  });
}

ZEL_API double *ZEL_Invar9(Database *db, int i, int j) {
  return invariant_query(db, [i, j](Database &d) -> double * {
    if (!valid_mode_index(d, i) || !valid_mode_index(d, j) || !modal_invariant_held(d, Invariant::k9))
      return nullptr;
    const std::size_t cell = static_cast<std::size_t>(i) * static_cast<std::size_t>(d.mode_count()) +
                             static_cast<std::size_t>(j);
    return caller_copy(d.invar9[cell].data(), 9);
  });
}

ZEL_API int ZEL_ComputeInvariantsFromNodes(Database *db) {
  if (!CheckZEL(db)) return 0;
  for (const InvariantInfo &info : kInvariants)
    if ((db->set_invariants & (1u << info.number)) == 0)
      with_container(*db, info.invariant, [](auto &held) { held.clear(); });
  db->computed_invariants = 0;
  db->invariant_blocks_ignored = true;
  return 1;
}

ZEL_API const char *zelinvar_VersionId(void) { return "zelinvar 1.0"; }

}  // extern "C"
