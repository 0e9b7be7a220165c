// LU decomposition with partial pivoting (P A = L U) of dense matrices held
// as arrays of row pointers, with the solve and the inverse built on it.
//
// The decomposition and the inverse copy the caller's rows into one
// contiguous block: the work is then done in panels whose trailing updates
// are BLAS matrix products, and the result is copied back row by row only
// once it is known to be good, so a singular matrix leaves the caller's
// rows as they were.
#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltools";

// Columns factored one at a time before the rest of the matrix is updated
// by one matrix product.
constexpr int32_t kPanelWidth = 64;

bool rows_usable(double *const *rows, int32_t n) {
  if (rows == nullptr || n < 1) return false;
  return std::all_of(rows, rows + n, [](const double *row) { return row != nullptr; });
}

bool permutation_usable(const int32_t *perm, int32_t n) {
  return perm != nullptr && std::all_of(perm, perm + n, [n](int32_t row) { return row >= 0 && row < n; });
}

bool report_unusable(const char *operation) {
  ZEL_Error("Cannot %s: a null matrix, row, permutation or vector, or an order below 1.", operation);
  return false;
}

void report_singular(int32_t column) {
  ZEL_Error("The matrix is singular or nearly singular: column %d has no pivot large enough to divide by.",
            column + 1);
}

// A factored matrix whose U has a zero on its diagonal cannot be solved
// with: the division would hand back infinities as a solution.
bool diagonal_nonzero(double *const *lu, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (lu[i][i] == 0.0) {
      report_singular(i);
      return false;
    }
  }
  return true;
}

std::vector<double> gather(double *const *rows, int32_t n) {
  const std::size_t size = static_cast<std::size_t>(n);
  std::vector<double> block(size * size);
  for (std::size_t i = 0; i < size; ++i) std::copy_n(rows[i], size, &block[i * size]);
  return block;
}

void scatter(const std::vector<double> &block, double *const *rows, int32_t n) {
  const std::size_t size = static_cast<std::size_t>(n);
  for (std::size_t i = 0; i < size; ++i) std::copy_n(&block[i * size], size, rows[i]);
}

// A pivot this small next to the largest entry of the matrix is rounding
// noise: dividing by it gives a factorization with no digit of the matrix
// left in it.
double smallest_usable_pivot(const std::vector<double> &a, int32_t n) {
  double largest = 0.0;
  for (double value : a) largest = std::max(largest, std::abs(value));
  return largest * n * std::numeric_limits<double>::epsilon();
}

// Factors columns first .. first + width - 1 of every row from `first` on,
// one column at a time: the largest magnitude in the column is the pivot
// (the first such row on ties) and its row is exchanged whole.
bool factor_panel(double *a, int32_t n, int32_t first, int32_t width, int32_t *perm, double tiny) {
  const std::size_t stride = static_cast<std::size_t>(n);
  const int32_t end = first + width;
  for (int32_t k = first; k < end; ++k) {
    int32_t pivot = k;
    double largest = std::abs(a[k * stride + k]);
    for (int32_t i = k + 1; i < n; ++i) {
      const double magnitude = std::abs(a[i * stride + k]);
      if (magnitude > largest) {
        largest = magnitude;
        pivot = i;
      }
    }
    if (!(largest > tiny)) {
      report_singular(k);
      return false;
    }
    if (pivot != k) {
      std::swap(perm[k], perm[pivot]);
      std::swap_ranges(a + k * stride, a + (k + 1) * stride, a + pivot * stride);
    }
    const double *pivot_row = a + k * stride;
    for (int32_t i = k + 1; i < n; ++i) {
      double *row = a + i * stride;
      const double l = row[k] /= pivot_row[k];
      for (int32_t j = k + 1; j < end; ++j) row[j] -= l * pivot_row[j];
    }
  }
  return true;
}

// Right-looking blocked LU of the n x n row-major block a.
bool factor(std::vector<double> &block, int32_t n, int32_t *perm) {
  const double tiny = smallest_usable_pivot(block, n);
  double *a = block.data();
  const std::size_t stride = static_cast<std::size_t>(n);
  for (int32_t first = 0; first < n; first += kPanelWidth) {
    const int32_t width = std::min(kPanelWidth, n - first);
    if (!factor_panel(a, n, first, width, perm, tiny)) return false;
    const int32_t rest = n - first - width;
    if (rest == 0) break;
    double *a11 = a + first * stride + first;
    double *a12 = a11 + width;
    double *a21 = a11 + width * stride;
    double *a22 = a21 + width;
    // U12 = L11^-1 A12, then A22 -= L21 U12.
    cblas_dtrsm(CblasRowMajor, CblasLeft, CblasLower, CblasNoTrans, CblasUnit, width, rest, 1.0, a11, n, a12, n);
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, rest, rest, width, -1.0, a21, n, a12, n, 1.0, a22, n);
  }
  return true;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_LUPDecomposition(double **a, int n, int *perm) {
  if (!rows_usable(a, n) || perm == nullptr) return report_unusable("decompose the matrix");
  return ZEL_GUARDED(0, {
    std::vector<double> block = gather(a, n);
    std::vector<int32_t> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    if (!factor(block, n, order.data())) return 0;
    scatter(block, a, n);
    std::copy(order.begin(), order.end(), perm);
    return 1;
  });
}

ZEL_API int ZEL_LUPSolve(double **lu, int n, int *perm, double *b) {
  if (!rows_usable(lu, n) || !permutation_usable(perm, n) || b == nullptr) return report_unusable("solve");
  if (!diagonal_nonzero(lu, n)) return 0;
  return ZEL_GUARDED(0, {
    // L y = P b, then U x = y; each step is a dot product along one row.
    std::vector<double> y(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      const double *row = lu[i];
      double sum = b[perm[i]];
      for (int32_t j = 0; j < i; ++j) sum -= row[j] * y[j];
      y[i] = sum;
    }
    for (int32_t i = n - 1; i >= 0; --i) {
      const double *row = lu[i];
      double sum = y[i];
      for (int32_t j = i + 1; j < n; ++j) sum -= row[j] * b[j];
      b[i] = sum / row[i];
    }
    return 1;
  });
}

ZEL_API int ZEL_LUPInvert(double **lu, int n, int *perm) {
  if (!rows_usable(lu, n) || !permutation_usable(perm, n)) return report_unusable("invert the matrix");
  if (!diagonal_nonzero(lu, n)) return 0;
  return ZEL_GUARDED(0, {
    // A^-1 = U^-1 L^-1 P: the permuted identity solved against both
    // triangles at once.
    const std::vector<double> factors = gather(lu, n);
    const std::size_t size = static_cast<std::size_t>(n);
    std::vector<double> inverse(size * size, 0.0);
    for (std::size_t i = 0; i < size; ++i) inverse[i * size + static_cast<std::size_t>(perm[i])] = 1.0;
    cblas_dtrsm(CblasRowMajor, CblasLeft, CblasLower, CblasNoTrans, CblasUnit, n, n, 1.0, factors.data(), n,
                inverse.data(), n);
    cblas_dtrsm(CblasRowMajor, CblasLeft, CblasUpper, CblasNoTrans, CblasNonUnit, n, n, 1.0, factors.data(), n,
                inverse.data(), n);
    scatter(inverse, lu, n);
    return 1;
  });
}

}  // extern "C"
