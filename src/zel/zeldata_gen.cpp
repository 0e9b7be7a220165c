// Queries: the generalized stiffness, mass and damping matrices, as their
// sparse entries or as dense matrices over all modes, over a caller's
// selection of modes, or (damping) over the six rigid-body coordinates on
// the principal axes followed by the selected modes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "body/database.h"
#include "body/mode_list.h"
#include "body/node_index.h"
#include "numeric/rigid_body_count.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeldata";

// The rigid-body coordinates that head a damping matrix on principal axes:
// translations x, y, z, then rotations about x, y, z.
constexpr int32_t kRigidCoordinates = 6;

enum class GenMatrix { kStiffness, kMass, kDamping };

const char *name_of(GenMatrix which) {
  switch (which) {
    case GenMatrix::kStiffness: return "stiffness";
    case GenMatrix::kMass: return "mass";
    case GenMatrix::kDamping: break;
  }
  return "damping";
}

std::vector<GenEntry> &list_of(Database &db, GenMatrix which) {
  switch (which) {
    case GenMatrix::kStiffness: return db.gen_stiff;
    case GenMatrix::kMass: return db.gen_mass;
    case GenMatrix::kDamping: break;
  }
  return db.gen_damp;
}

// The entries the queries hand out: the stored list; for stiffness and
// mass without one, a diagonal entry per mode with the value the
// eigenvalue query gives (`fallback` holds them). Damping has no fallback.
const std::vector<GenEntry> &entries_of(Database &db, GenMatrix which, std::vector<GenEntry> &fallback) {
  const std::vector<GenEntry> &list = list_of(db, which);
  if (!list.empty() || which == GenMatrix::kDamping) return list;
  fallback.reserve(static_cast<std::size_t>(db.mode_count()));
  for (int32_t index = 0; index < db.mode_count(); ++index) {
    double mass = 0.0;
    double stiffness = 0.0;
    ZEL_Eigenvalue(&db, db.mode_numbers[static_cast<std::size_t>(index)], nullptr, nullptr, nullptr, &mass,
                   &stiffness);
    fallback.push_back(GenEntry{index, index, which == GenMatrix::kMass ? mass : stiffness});
  }
  return fallback;
}

int32_t entry_count(Database &db, GenMatrix which) {
  const std::vector<GenEntry> &list = list_of(db, which);
  if (!list.empty() || which == GenMatrix::kDamping) return static_cast<int32_t>(list.size());
  return db.mode_count();
}

// Where a mode index of an entry lands in a dense matrix: a row/column, or
// one of these.
constexpr int32_t kNotSelected = -1;  // a mode the caller left out: dropped
constexpr int32_t kOutside = -2;      // no place of the matrix stands for it

// Writes each entry (r, c, v) at (place(r), place(c)) and at its mirror, in
// stored order, so that the last entry given for a pair wins. Indices read
// from a file can name modes that do not exist; such entries are skipped,
// with one warning, rather than written outside the caller's matrix.
template <class Place, class Cell>
void scatter_symmetric(const std::vector<GenEntry> &entries, GenMatrix which, int32_t size, Place place,
                       Cell cell) {
  long outside = 0;
  for (const GenEntry &entry : entries) {
    const int32_t row = place(entry.row);
    const int32_t col = place(entry.col);
    if (row == kOutside || col == kOutside) {
      ++outside;
    } else if (row != kNotSelected && col != kNotSelected) {
      cell(row, col) = entry.value;
      cell(col, row) = entry.value;
    }
  }
  if (outside > 0)
    ZEL_Warning("Ignoring %ld generalized %s entries that lie outside the %d x %d matrix.", outside,
                name_of(which), size, size);
}

// The caller's row pointers, each to `size` doubles; all checked before
// anything is written.
bool rows_usable(double *const *rows, int32_t size) {
  if (rows == nullptr || size < 1) return false;
  return std::all_of(rows, rows + size, [](const double *row) { return row != nullptr; });
}

void zero_rows(double *const *rows, int32_t size) {
  for (int32_t r = 0; r < size; ++r) std::fill_n(rows[r], size, 0.0);
}

// For each mode index, its position among the caller's selected mode
// numbers (ascending, found by binary search), or kNotSelected.
std::vector<int32_t> selected_positions(const Database &db, const int *selected, int32_t count) {
  std::vector<int32_t> positions(static_cast<std::size_t>(db.mode_count()));
  for (std::size_t index = 0; index < positions.size(); ++index)
    positions[index] = SelectedModeIndex(db.mode_numbers[index], selected, count);
  return positions;
}

int32_t place_of_mode(const std::vector<int32_t> &positions, int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= positions.size()) return kOutside;
  return positions[static_cast<std::size_t>(index)];
}

int sparse(Database *db, GenMatrix which, double *values, int *rows, int *cols) {
  if (db == nullptr) return 0;
  return ZEL_GUARDED(0, {
    std::vector<GenEntry> fallback;
    const std::vector<GenEntry> &entries = entries_of(*db, which, fallback);
    if (entries.empty() || values == nullptr || rows == nullptr || cols == nullptr) return 0;
    for (std::size_t e = 0; e < entries.size(); ++e) {
      values[e] = entries[e].value;
      rows[e] = entries[e].row;
      cols[e] = entries[e].col;
    }
    return 1;
  });
}

int full(Database *db, GenMatrix which, double *matrix, int n) {
  if (matrix == nullptr || n < 1) return 0;
  const std::size_t size = static_cast<std::size_t>(n);
  std::fill_n(matrix, size * size, 0.0);
  if (db == nullptr) return 0;
  return ZEL_GUARDED(0, {
    std::vector<GenEntry> fallback;
    const std::vector<GenEntry> &entries = entries_of(*db, which, fallback);
    if (entries.empty()) return 0;
    scatter_symmetric(
        entries, which, n, [n](int32_t index) { return index >= 0 && index < n ? index : kOutside; },
        [matrix, size](int32_t r, int32_t c) -> double & {
          return matrix[static_cast<std::size_t>(r) * size + static_cast<std::size_t>(c)];
        });
    return 1;
  });
}

int selected_form(Database *db, GenMatrix which, double **rows, int n, const int *selected) {
  if (!rows_usable(rows, n) || selected == nullptr) return 0;
  zero_rows(rows, n);
  if (db == nullptr) return 0;
  return ZEL_GUARDED(0, {
    std::vector<GenEntry> fallback;
    const std::vector<GenEntry> &entries = entries_of(*db, which, fallback);
    if (entries.empty()) return 0;
    const std::vector<int32_t> positions = selected_positions(*db, selected, n);
    scatter_symmetric(
        entries, which, n, [&positions](int32_t index) { return place_of_mode(positions, index); },
        [rows](int32_t r, int32_t c) -> double & { return rows[r][c]; });
    return 1;
  });
}

void warn_about_selected_rigid_modes(const Database &db, const int *selected, int32_t n, int32_t rigid) {
  for (int32_t s = 0; s < n; ++s) {
    const int32_t index = find_mode(db, selected[s]);
    if (index >= 0 && index < rigid)
      ZEL_Warning("Ignoring damping on requested mode %d because it is a rigid body mode.\n", selected[s]);
  }
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int SelectedModeIndex(int number, const int *modes, int count) {
  if (modes == nullptr || count <= 0) return -1;
  const void *found = std::bsearch(&number, modes, static_cast<std::size_t>(count), sizeof(int), By_Id);
  return found == nullptr ? -1 : static_cast<int>(static_cast<const int *>(found) - modes);
}

ZEL_API int ZEL_NumberOfGenStiff(Database *db) { return db == nullptr ? 0 : entry_count(*db, GenMatrix::kStiffness); }
ZEL_API int ZEL_NumberOfGenMass(Database *db) { return db == nullptr ? 0 : entry_count(*db, GenMatrix::kMass); }
ZEL_API int ZEL_NumberOfGenDamp(Database *db) { return db == nullptr ? 0 : entry_count(*db, GenMatrix::kDamping); }
ZEL_API int ZEL_GenDampExist(Database *db) { return db != nullptr && !db->gen_damp.empty() ? 1 : 0; }

ZEL_API int ZEL_GenStiffSparse(Database *db, double *values, int *rows, int *cols) {
  return sparse(db, GenMatrix::kStiffness, values, rows, cols);
}
ZEL_API int ZEL_GenMassSparse(Database *db, double *values, int *rows, int *cols) {
  return sparse(db, GenMatrix::kMass, values, rows, cols);
}
ZEL_API int ZEL_GenDampSparse(Database *db, double *values, int *rows, int *cols) {
  return sparse(db, GenMatrix::kDamping, values, rows, cols);
}

ZEL_API int ZEL_GenStiffFull(Database *db, double *matrix, int n) { return full(db, GenMatrix::kStiffness, matrix, n); }
ZEL_API int ZEL_GenMassFull(Database *db, double *matrix, int n) { return full(db, GenMatrix::kMass, matrix, n); }
ZEL_API int ZEL_GenDampFull(Database *db, double *matrix, int n) {
  if (db == nullptr) return 0;
  return full(db, GenMatrix::kDamping, matrix, n);
}

ZEL_API int ZEL_GenStiffSelected(Database *db, double **rows, int n, int *selected) {
  return selected_form(db, GenMatrix::kStiffness, rows, n, selected);
}
ZEL_API int ZEL_GenMassSelected(Database *db, double **rows, int n, int *selected) {
  return selected_form(db, GenMatrix::kMass, rows, n, selected);
}

ZEL_API int ZEL_GenDampPrincipalAndSelected(Database *db, double **rows, int n, int *selected) {
  if (n < 0 || n > INT32_MAX - kRigidCoordinates) return 0;
  const int32_t size = n + kRigidCoordinates;
  if (!rows_usable(rows, size) || (n > 0 && selected == nullptr)) return 0;
  zero_rows(rows, size);
  if (db == nullptr || db->gen_damp.empty()) return 0;
  return ZEL_GUARDED(0, {
    const int32_t rigid = rigid_body_mode_count(*db);
    if (!db->damping_on_principal_axes && !ZEL_DampingOnPrincipalAxes(db)) return 0;
    warn_about_selected_rigid_modes(*db, selected, n, rigid);
    const std::vector<int32_t> positions = selected_positions(*db, selected, n);
    // Rows 0..5 are the rigid-body coordinates; row 6 + f is flexible
    // mode f, which is mode index rigid + f.
    const auto place = [&positions, rigid](int32_t index) {
      if (index < 0) return kOutside;
      if (index < kRigidCoordinates) return index;
      const int32_t position = place_of_mode(positions, index - kRigidCoordinates + rigid);
      return position < 0 ? position : kRigidCoordinates + position;
    };
    scatter_symmetric(db->gen_damp, GenMatrix::kDamping, size, place,
                      [rows](int32_t r, int32_t c) -> double & { return rows[r][c]; });
    return 1;
  });
}

}  // extern "C"
