// Mode orthonormalization: a mode set that is not orthogonal in the
// body's mass (component, attachment or static correction modes with full
// generalized stiffness and mass matrices) is replaced, before the body is
// written, by the mass-orthonormal eigenmodes of those matrices.
//
// The transformation T (`transform`, n x n row-major) takes old mode i
// (row) to new mode j (column): new mode j = sum_i T[i][j] old mode i. The
// first `mode_count` columns are the modes kept; modes with an infinite
// eigenvalue (zero generalized mass) are dropped.
//
// Every step works on scratch copies; the body changes only when all of
// them succeeded (result 1), otherwise it stays as it was (result 0).
#ifndef ZEL_ORTHONORMALIZE_H
#define ZEL_ORTHONORMALIZE_H

#include <cstdint>
#include <vector>

struct Database;

namespace zel {

// The eigenvalue of a mode with infinite eigenvalue; compared exactly.
constexpr double kInfiniteEigenvalue = 1.2345e20;

// Replaces the modes by mass-orthonormal ones: 1 when done or when there
// was nothing to do, 0 after the messages when the body was left as it was.
int OrthonormalizeModes(Database *db);

// Eigenvalue records from diagonal generalized matrices, when the body has
// none; modes are renumbered 1, 2, 3 ... (the old numbers go to
// `transform_modes`). 1 on success.
int BuildEigenTable(Database *db);

// One factor per eigenvalue record (6 doubles each): the square root of the
// generalized mass, 1 for a zero mass; such a record gets mass 1 and the
// eigenvalue as stiffness. False, naming the mode, for a negative mass.
bool MassNormalizationFactors(std::vector<double> &records, std::vector<double> &factors);

// Rewrites the modes of value set `set` as the first `new_count` columns
// of the body's `transform` applied to them, replacing the set's store.
// 1 when `transform` is absent or the store was replaced.
int WriteOrthogonalModeFile(Database *db, int set, int32_t new_count);

// Swaps values i and j and columns i and j of the n x n row-major matrix.
void SwapEigenpairs(double *values, double *matrix, int32_t n, int32_t i, int32_t j);

}  // namespace zel

#endif  // ZEL_ORTHONORMALIZE_H
