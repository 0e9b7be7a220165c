// Builder: generalized stiffness, mass and damping entries, modal preload,
// modal load cases and the inertia invariants a translator computed
// itself.
//
// The preload, the load cases and the invariants are laid out per mode
// index, yet modes keep arriving while a translator fills them. Every
// setter first brings the array it writes up to the modes that exist, so a
// value for a mode added late lands inside its array; nothing is ever cut.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "body/mode_lookup.h"
#include "format/blocks.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelset";


// A diagonal generalized mass this close to 1 still counts as unit mass.
constexpr double kUnitMassTolerance = 1e-8;
// Invariant 5 on the diagonal and invariant 9's asymmetry must stay within
// this to pass their entry checks.
constexpr double kInvariantTolerance = 1e-8;

constexpr std::size_t kLoadLabelLimit = 255;

// ------------------------------------------------- generalized matrices

enum class GenMatrix { kStiffness, kMass, kDamping };

struct GenMatrixSlot {
  std::vector<GenEntry> Database::*entries;
  int block;
};

GenMatrixSlot slot_of(GenMatrix matrix) {
  switch (matrix) {
    case GenMatrix::kStiffness:
      return {&Database::gen_stiff, kGeneralizedStiffnessBlock};
    case GenMatrix::kMass:
      return {&Database::gen_mass, kGeneralizedMassBlock};
    case GenMatrix::kDamping:
      break;
  }
  return {&Database::gen_damp, kGeneralizedDampingBlock};
}

// Damping projected on principal axes is indexed by principal axis for the
// rigid-body part; an entry given by mode index would mix the two.
bool damping_accepts_mode_entries(Database &db, int row_number, int col_number) {
  if (db.gen_damp.empty()) {
    db.damping_on_principal_axes = 0;
    return true;
  }
  if (db.damping_on_principal_axes == 0) return true;
  ZEL_Error("Generalized damping (%d, %d) cannot be set by mode number: the damping is already on principal axes.",
            row_number, col_number);
  return false;
}

void record_matrix_facts(Database &db, GenMatrix matrix, const GenEntry &entry) {
  if (matrix == GenMatrix::kDamping) return;
  if (entry.row != entry.col) db.gen_not_diagonal = 1;
  if (matrix == GenMatrix::kMass && entry.row == entry.col && std::fabs(1.0 - entry.value) > kUnitMassTolerance)
    db.gen_mass_not_unit = 1;
}

int set_generalized_entry(Database *db, GenMatrix matrix, int row_number, int col_number, double value) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    if (matrix == GenMatrix::kDamping && !damping_accepts_mode_entries(*db, row_number, col_number)) return 0;
    // A mode the full list cannot take has no index: the entry is refused.
    const int32_t row = lookup_or_add_mode(*db, row_number, db->pair_lookup_memo[0]);
    if (row < 0) return 0;
    const int32_t col = lookup_or_add_mode(*db, col_number, db->pair_lookup_memo[1]);
    if (col < 0) return 0;
    const GenMatrixSlot slot = slot_of(matrix);
    const GenEntry entry{row, col, value};
    // Geometric growth: a dense matrix set entry by entry stays linear.
    (db->*slot.entries).push_back(entry);
    record_matrix_facts(*db, matrix, entry);
    block_flag(*db, slot.block) = 1;
    return 1;
  });
}

// ----------------------------------------------------- preload and loads

// Zero values for modes added since the array was laid out.
void cover_modes(std::vector<double> &values, int32_t mode_count) {
  const auto modes = static_cast<std::size_t>(mode_count);
  if (values.size() >= modes) return;
  if (values.capacity() < modes) values.reserve(std::max(modes, 2 * values.capacity()));
  values.resize(modes, 0.0);
}

bool valid_load_case_index(int index) {
  if (index >= 0) return true;
  ZEL_Error("The load case index %d is illegal.\nThe load case index must be non-negative.", index);
  return false;
}

// Makes load cases 0..count-1 exist: each new one "Load Case <i + 1>",
// unprocessed, with a zero per mode. A failed allocation throws and leaves
// the cases as they were.
void ensure_load_cases(Database &db, int64_t count) {
  std::vector<LoadCase> &cases = db.load_cases;
  const std::size_t held = cases.size();
  if (static_cast<int64_t>(held) >= count) return;
  std::vector<LoadCase> added(static_cast<std::size_t>(count) - held);
  for (std::size_t i = 0; i < added.size(); ++i) {
    char label[32];
    std::snprintf(label, sizeof label, "Load Case %d", static_cast<int>(held + i + 1));
    added[i].label = label;
    added[i].values.assign(static_cast<std::size_t>(db.mode_count()), 0.0);
  }
  cases.reserve(std::max(static_cast<std::size_t>(count), 2 * held));
  std::move(added.begin(), added.end(), std::back_inserter(cases));
}

// ---------------------------------------------------------- invariants

// Mode index of an existing mode, through one of the pair memos; -1 after
// the error when there is no such mode.
int32_t existing_mode(Database &db, int32_t number, int memo) {
  const int32_t index = lookup_mode(db, number, db.pair_lookup_memo[static_cast<std::size_t>(memo)]);
  if (index < 0)
    ZEL_Error("Mode number %d does not exist.  Requested at line %d in file %s.\n", number, __LINE__, kModule);
  return index;
}

// Mode indices of the pair (i, j), both existing; false after the error.
bool existing_pair(Database &db, int i, int j, int32_t &mi, int32_t &mj) {
  mi = existing_mode(db, i, 0);
  if (mi < 0) return false;
  mj = existing_mode(db, j, 1);
  return mj >= 0;
}

bool has_values(const double *values, int invariant) {
  if (values != nullptr) return true;
  ZEL_Error("Inertia Invariant %d was given without its values.", invariant);
  return false;
}

std::size_t modes_of(const Database &db) { return static_cast<std::size_t>(db.mode_count()); }

// Invariants 3 and 4 of one mode.
int set_mode_triple(Database *db, std::vector<double> Database::*invariant, int block, int number, int invariant_id,
                    const double *values) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    const int32_t m = existing_mode(*db, number, 0);
    if (m < 0 || !has_values(values, invariant_id)) return 0;
    std::vector<double> &array = db->*invariant;
    const std::size_t n = modes_of(*db);
    cover_modal_invariant(*db, invariant_id == 3 ? Invariant::k3 : Invariant::k4);
    mark_invariant_set(*db, invariant_id);
    for (std::size_t c = 0; c < 3; ++c) array[c * n + static_cast<std::size_t>(m)] = values[c];
    block_flag(*db, block) = 1;
    return 1;
  });
}

// |a - b| relative to |a| when |a| is above 1, else absolute.
double relative_difference(double a, double b) {
  const double scale = std::fabs(a) <= 1.0 ? 1.0 : std::fabs(a);
  return std::fabs(a - b) / scale;
}

bool is_symmetric(const double *v) {
  return relative_difference(v[1], v[3]) <= kInvariantTolerance &&
         relative_difference(v[2], v[6]) <= kInvariantTolerance &&
         relative_difference(v[5], v[7]) <= kInvariantTolerance;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_SetGeneralizedStiffness(Database *db, int row, int col, double value) {
  return set_generalized_entry(db, GenMatrix::kStiffness, row, col, value);
}

ZEL_API int ZEL_SetGeneralizedMass(Database *db, int row, int col, double value) {
  return set_generalized_entry(db, GenMatrix::kMass, row, col, value);
}

ZEL_API int ZEL_SetGeneralizedDamping(Database *db, int row, int col, double value) {
  return set_generalized_entry(db, GenMatrix::kDamping, row, col, value);
}

ZEL_API int ZEL_SetModalPreload(Database *db, int number, double value) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    const int32_t m = lookup_or_add_mode(*db, number, db->mode_lookup_memo);
    if (m < 0) return 0;
    const bool created = db->preload.empty();
    cover_modes(db->preload, db->mode_count());
    if (created) db->preload_processed = 0;
    db->preload[static_cast<std::size_t>(m)] = value;
    block_flag(*db, kPreloadBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetModalLoad(Database *db, int index, int number, double value) {
  if (!CheckZEL(db) || !valid_load_case_index(index)) return 0;
  return ZEL_GUARDED(0, {
    const int32_t m = lookup_or_add_mode(*db, number, db->mode_lookup_memo);
    if (m < 0) return 0;
    ensure_load_cases(*db, int64_t{index} + 1);
    std::vector<double> &values = db->load_cases[static_cast<std::size_t>(index)].values;
    cover_modes(values, db->mode_count());
    values[static_cast<std::size_t>(m)] = value;
    block_flag(*db, kModalLoadsBlock) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetModalLoadLabel(Database *db, int index, const char *text) {
  if (!CheckZEL(db) || !valid_load_case_index(index)) return 0;
  if (text == nullptr) {
    ZEL_Error("Load case %d was given a null label.", index);
    return 0;
  }
  return ZEL_GUARDED(0, {
    ensure_load_cases(*db, int64_t{index} + 1);
    std::string &label = db->load_cases[static_cast<std::size_t>(index)].label;
    const std::size_t length = std::strlen(text);
    if (length == 0) {
      label = std::to_string(int64_t{index} + 1);
      return 1;
    }
    if (length > kLoadLabelLimit)
      ZEL_Warning("Modal load label too big: max size %ld, specified size %ld.  Truncating label.",
                  static_cast<long>(kLoadLabelLimit), static_cast<long>(length));
    label.assign(text, std::min(length, kLoadLabelLimit));
    return 1;
  });
}

ZEL_API int ZEL_SetInvar1(Database *db, double mass) {
  if (!CheckZEL(db)) return 0;
  if (!(mass > 0.0)) {
    ZEL_Error("Inertia Invariant 1 must be greater than zero");
    return 0;
  }
  return ZEL_GUARDED(0, {
    db->invar1.assign(1, mass);
    mark_invariant_set(*db, 1);
    block_flag(*db, invariant_block_index(1)) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetInvar2(Database *db, double *moment) {
  if (!CheckZEL(db) || !has_values(moment, 2)) return 0;
  return ZEL_GUARDED(0, {
    db->invar2.assign(moment, moment + 3);
    mark_invariant_set(*db, 2);
    block_flag(*db, invariant_block_index(2)) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetInvar3(Database *db, int number, double *values) {
  return set_mode_triple(db, &Database::invar3, invariant_block_index(3), number, 3, values);
}

ZEL_API int ZEL_SetInvar4(Database *db, int number, double *values) {
  return set_mode_triple(db, &Database::invar4, invariant_block_index(4), number, 4, values);
}

ZEL_API int ZEL_SetInvar5(Database *db, int i, int j, double *values) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    int32_t mi = -1, mj = -1;
    if (!existing_pair(*db, i, j, mi, mj) || !has_values(values, 5)) return 0;
    const std::size_t n = modes_of(*db);
    cover_modal_invariant(*db, Invariant::k5);
    mark_invariant_set(*db, 5);
    if (i == j && std::any_of(values, values + 3, [](double v) { return std::fabs(v) > kInvariantTolerance; }))
      ZEL_Warning("I5(%d, %d) is not zero.\n   (%14.8e, %14.8e, %14.8e)", i, j, values[0], values[1], values[2]);
    // Antisymmetric in the mode pair; on the diagonal the mirrored store
    // is the one that stays.
    for (std::size_t c = 0; c < 3; ++c) {
      db->invar5[static_cast<std::size_t>(mi)][c * n + static_cast<std::size_t>(mj)] = values[c];
      db->invar5[static_cast<std::size_t>(mj)][c * n + static_cast<std::size_t>(mi)] = -values[c];
    }
    block_flag(*db, invariant_block_index(5)) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetInvar6(Database *db, double *diagonal) {
  if (!CheckZEL(db)) return 0;
  const int32_t modes = db->mode_count();
  if (modes > 0 && !has_values(diagonal, 6)) return 0;
  for (int32_t m = 0; m < modes; ++m) {
    if (diagonal[m] != 1.0) {
      ZEL_Error("Inertia Invariant 6 must be an identity matrix.");
      return 0;
    }
    const int number = db->mode_numbers[static_cast<std::size_t>(m)];
    if (!ZEL_SetGeneralizedMass(db, number, number, 1.0)) return 0;
  }
  return 1;
}

ZEL_API int ZEL_SetInvar7(Database *db, double *v) {
  if (!CheckZEL(db) || !has_values(v, 7)) return 0;
  return ZEL_GUARDED(0, {
    db->invar7 = {v[0], v[3], v[4], v[3], v[1], v[5], v[4], v[5], v[2]};
    mark_invariant_set(*db, 7);
    block_flag(*db, invariant_block_index(7)) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetInvar8(Database *db, int number, double *values) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    const int32_t m = existing_mode(*db, number, 0);
    if (m < 0 || !has_values(values, 8)) return 0;
    cover_modal_invariant(*db, Invariant::k8);
    mark_invariant_set(*db, 8);
    std::copy_n(values, 9, db->invar8[static_cast<std::size_t>(m)].begin());
    block_flag(*db, invariant_block_index(8)) = 1;
    return 1;
  });
}

ZEL_API int ZEL_SetInvar9(Database *db, int i, int j, double *values) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    int32_t mi = -1, mj = -1;
    if (!existing_pair(*db, i, j, mi, mj) || !has_values(values, 9)) return 0;
    const std::size_t n = modes_of(*db);
    cover_modal_invariant(*db, Invariant::k9);
    mark_invariant_set(*db, 9);
    if (i == j && !is_symmetric(values))
      ZEL_Warning(
          "I9(%d, %d) is not symmetric.\n   %14.8e %14.8e %14.8e\n   %14.8e %14.8e %14.8e\n   %14.8e %14.8e "
          "%14.8e\n",
          i, j, values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7], values[8]);
    std::array<double, 9> &cell = db->invar9[static_cast<std::size_t>(mi) * n + static_cast<std::size_t>(mj)];
    std::array<double, 9> &mirror = db->invar9[static_cast<std::size_t>(mj) * n + static_cast<std::size_t>(mi)];
    // Each entry then its mirror, in row order: on the diagonal the lower
    // triangle is what stays.
    for (std::size_t r = 0; r < 3; ++r)
      for (std::size_t c = 0; c < 3; ++c) {
        cell[r * 3 + c] = values[r * 3 + c];
        mirror[c * 3 + r] = values[r * 3 + c];
      }
    block_flag(*db, invariant_block_index(9)) = 1;
    return 1;
  });
}

}  // extern "C"
