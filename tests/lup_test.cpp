// The LUP decomposition, solve and inverse, checked against LAPACK's
// dgetrf, dgetrs and dgetri on a table of matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "capture.h"
#include "zel.h"

extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgetrs_(const char *trans, const int *n, const int *nrhs, const double *a, const int *lda, const int *ipiv,
             double *b, const int *ldb, int *info);
void dgetri_(const int *n, double *a, const int *lda, const int *ipiv, double *work, const int *lwork, int *info);
}

namespace {

using zel_test::capture;
using Matrix = std::vector<std::vector<double>>;

std::vector<double *> row_pointers(Matrix &a) {
  std::vector<double *> rows;
  for (std::vector<double> &row : a) rows.push_back(row.data());
  return rows;
}

// A determinant as its sign and the logarithm of its magnitude, which
// stays finite for large matrices.
struct Determinant {
  int sign = 1;
  double log_magnitude = 0.0;
  void times(double factor) {
    if (factor < 0.0) sign = -sign;
    log_magnitude += std::log(std::abs(factor));
  }
};

// What LAPACK makes of a: the solution of a x = b, the inverse and the
// determinant, or info > 0 for a singular matrix.
struct Reference {
  int info = 0;
  std::vector<int> perm;  // the original row at each position of P A
  Matrix lu;
  std::vector<double> x;
  Matrix inverse;
  Determinant determinant;
};

Reference lapack(const Matrix &a, const std::vector<double> &b) {
  const int n = static_cast<int>(a.size());
  std::vector<double> column_major(a.size() * a.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) column_major[static_cast<std::size_t>(j * n + i)] = a[i][j];
  std::vector<int> ipiv(a.size());
  Reference ref;
  dgetrf_(&n, &n, column_major.data(), &n, ipiv.data(), &ref.info);
  if (ref.info != 0) return ref;
  ref.perm.resize(a.size());
  std::iota(ref.perm.begin(), ref.perm.end(), 0);
  ref.lu.assign(a.size(), std::vector<double>(a.size()));
  for (int i = 0; i < n; ++i) {
    std::swap(ref.perm[static_cast<std::size_t>(i)], ref.perm[static_cast<std::size_t>(ipiv[i] - 1)]);
    for (int j = 0; j < n; ++j) ref.lu[i][j] = column_major[static_cast<std::size_t>(j * n + i)];
  }
  for (int i = 0; i < n; ++i)
    ref.determinant.times(column_major[static_cast<std::size_t>(i * n + i)] * (ipiv[i] != i + 1 ? -1.0 : 1.0));
  ref.x = b;
  const int one = 1;
  int info = 0;
  dgetrs_("N", &n, &one, column_major.data(), &n, ipiv.data(), ref.x.data(), &n, &info);
  const int lwork = 64 * n;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  dgetri_(&n, column_major.data(), &n, ipiv.data(), work.data(), &lwork, &info);
  ref.inverse.assign(a.size(), std::vector<double>(a.size()));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) ref.inverse[i][j] = column_major[static_cast<std::size_t>(j * n + i)];
  return ref;
}

Determinant determinant_of(const Matrix &lu, const std::vector<int> &perm) {
  Determinant det;
  for (std::size_t i = 0; i < lu.size(); ++i) det.times(lu[i][i]);
  // The sign of the permutation, from its cycles.
  std::vector<bool> seen(perm.size(), false);
  for (std::size_t start = 0; start < perm.size(); ++start) {
    std::size_t length = 0;
    for (std::size_t i = start; !seen[i]; i = static_cast<std::size_t>(perm[i]), ++length) seen[i] = true;
    if (length > 0 && length % 2 == 0) det.sign = -det.sign;
  }
  return det;
}

Matrix random_matrix(int n, unsigned seed, double diagonal_boost) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  Matrix a(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n)));
  for (int i = 0; i < n; ++i) {
    for (double &v : a[i]) v = value(rng);
    a[i][i] += diagonal_boost;
  }
  return a;
}

Matrix hilbert(int n) {
  Matrix a(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n)));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) a[i][j] = 1.0 / (i + j + 1);
  return a;
}

double largest_difference(const std::vector<double> &a, const std::vector<double> &b) {
  double worst = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

double largest_magnitude(const std::vector<double> &a) {
  double worst = 0.0;
  for (double v : a) worst = std::max(worst, std::abs(v));
  return worst;
}

struct LupCase {
  std::string name;
  std::function<Matrix()> matrix;
  double tolerance;  // relative to the largest magnitude of each result
};

class AgainstLapack : public ::testing::TestWithParam<LupCase> {};

TEST_P(AgainstLapack, SolveInverseAndDeterminantAgree) {
  const LupCase &c = GetParam();
  Matrix a = c.matrix();
  const int n = static_cast<int>(a.size());
  std::vector<double> b(a.size());
  for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = 1.0 + 0.5 * i;
  const Reference ref = lapack(a, b);
  ASSERT_EQ(ref.info, 0) << "the table holds regular matrices only";

  std::vector<double *> rows = row_pointers(a);
  std::vector<int> perm(a.size());
  ASSERT_EQ(ZEL_LUPDecomposition(rows.data(), n, perm.data()), 1);
  std::vector<int> sorted = perm;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < n; ++i) ASSERT_EQ(sorted[static_cast<std::size_t>(i)], i) << "not a permutation";
  // The same rows, ties included, and so the same factors.
  EXPECT_EQ(perm, ref.perm);
  for (int i = 0; i < n; ++i)
    ASSERT_LE(largest_difference(a[i], ref.lu[i]), c.tolerance * largest_magnitude(ref.lu[i])) << "factor row " << i;

  const Determinant det = determinant_of(a, perm);
  EXPECT_EQ(det.sign, ref.determinant.sign);
  EXPECT_NEAR(det.log_magnitude, ref.determinant.log_magnitude, c.tolerance);

  std::vector<double> x = b;
  ASSERT_EQ(ZEL_LUPSolve(rows.data(), n, perm.data(), x.data()), 1);
  EXPECT_LE(largest_difference(x, ref.x), c.tolerance * largest_magnitude(ref.x));

  ASSERT_EQ(ZEL_LUPInvert(rows.data(), n, perm.data()), 1);
  for (int i = 0; i < n; ++i)
    ASSERT_LE(largest_difference(a[i], ref.inverse[i]), c.tolerance * largest_magnitude(ref.inverse[i]))
        << "row " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, AgainstLapack,
    ::testing::Values(LupCase{"order1", [] { return Matrix{{-4.0}}; }, 1e-15},
                      LupCase{"pivoting", [] { return Matrix{{0.0, 1.0}, {2.0, 3.0}}; }, 1e-15},
                      // Pivot candidates of equal magnitude in both columns:
                      // the first of them is taken.
                      LupCase{"pivot_ties", [] { return Matrix{{2.0, 1.0, 1.0}, {-2.0, 3.0, 1.0}, {2.0, -3.0, 4.0}}; },
                              1e-15},
                      LupCase{"well_conditioned", [] { return random_matrix(7, 1, 4.0); }, 1e-13},
                      // Across a panel boundary, with no help from the diagonal.
                      LupCase{"general_65", [] { return random_matrix(65, 2, 0.0); }, 1e-9},
                      LupCase{"hilbert_8", [] { return hilbert(8); }, 1e-5},
                      LupCase{"order500", [] { return random_matrix(500, 3, 0.0); }, 1e-8}),
    [](const ::testing::TestParamInfo<LupCase> &info) { return info.param.name; });

TEST(Lup, DecompositionOfASmallMatrixByHand) {
  Matrix a{{0.0, 1.0}, {2.0, 3.0}};
  std::vector<double *> rows = row_pointers(a);
  int perm[2];
  ASSERT_EQ(ZEL_LUPDecomposition(rows.data(), 2, perm), 1);
  EXPECT_EQ(perm[0], 1);
  EXPECT_EQ(perm[1], 0);
  EXPECT_EQ(a, (Matrix{{2.0, 3.0}, {0.0, 1.0}}));  // L21 = 0, U = [[2, 3], [0, 1]]
  double b[2] = {1.0, 5.0};
  ASSERT_EQ(ZEL_LUPSolve(rows.data(), 2, perm, b), 1);
  EXPECT_EQ(b[0], 1.0);
  EXPECT_EQ(b[1], 1.0);
}

// Singular and nearly singular matrices fail with a message and leave the
// caller's rows and permutation as they were; none gives an infinity.
TEST(Lup, SingularMatricesAreReportedAndLeftAlone) {
  const std::string prefix = "ERROR:  The matrix is singular or nearly singular: column ";
  const std::vector<std::pair<Matrix, std::string>> cases = {
      {{{0.0, 1.0, 2.0}, {0.0, 3.0, 4.0}, {0.0, 5.0, 6.0}}, "1"},  // first column zero
      {{{1.0, 2.0}, {2.0, 4.0}}, "2"},                            // exact zero last pivot
      {{{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}, {7.0, 8.0, 9.0}}, "3"}, // rounding noise as last pivot
      {hilbert(14), ""}};                                          // beyond double precision
  for (const auto &[matrix, column] : cases) {
    Matrix a = matrix;
    std::vector<double *> rows = row_pointers(a);
    std::vector<int> perm(a.size(), -7);
    const auto printed = capture([&] {
      EXPECT_EQ(ZEL_LUPDecomposition(rows.data(), static_cast<int>(a.size()), perm.data()), 0);
    });
    EXPECT_EQ(printed.err.rfind(prefix, 0), 0u) << printed.err;
    if (!column.empty()) {
      EXPECT_EQ(printed.err, prefix + column + " has no pivot large enough to divide by.\n");
    }
    EXPECT_EQ(a, matrix);
    EXPECT_EQ(perm, std::vector<int>(a.size(), -7));
  }
  Matrix b{{1.0, 2.0}, {2.0, 4.0}};
  Matrix lapack_copy = b;
  EXPECT_GT(lapack(lapack_copy, {1.0, 1.0}).info, 0) << "LAPACK agrees that it is singular";

  // Factors with a zero on U's diagonal: no solve or inverse from them.
  Matrix lu{{2.0, 1.0}, {0.5, 0.0}};
  std::vector<double *> rows = row_pointers(lu);
  int perm[2] = {0, 1};
  double x[2] = {1.0, 1.0};
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_LUPSolve(rows.data(), 2, perm, x), 0);
    EXPECT_EQ(ZEL_LUPInvert(rows.data(), 2, perm), 0);
  });
  const std::string message = "ERROR:  The matrix is singular or nearly singular: column 2 has no pivot large "
                              "enough to divide by.\n";
  EXPECT_EQ(printed.err, message + message);
  EXPECT_EQ(x[0], 1.0);
  EXPECT_EQ(lu, (Matrix{{2.0, 1.0}, {0.5, 0.0}}));
}

TEST(Lup, UnusableArgumentsAreRefusedBeforeAnythingIsWritten) {
  Matrix a{{1.0, 0.0}, {0.0, 1.0}};
  std::vector<double *> rows = row_pointers(a);
  int perm[2] = {0, 1};
  int bad_perm[2] = {0, 2};
  double b[2] = {3.0, 4.0};
  double *holed[2] = {a[0].data(), nullptr};
  const auto printed = capture([&] {
    EXPECT_EQ(ZEL_LUPDecomposition(nullptr, 2, perm), 0);
    EXPECT_EQ(ZEL_LUPDecomposition(holed, 2, perm), 0);
    EXPECT_EQ(ZEL_LUPDecomposition(rows.data(), 0, perm), 0);
    EXPECT_EQ(ZEL_LUPSolve(rows.data(), 2, bad_perm, b), 0);
    EXPECT_EQ(ZEL_LUPSolve(rows.data(), 2, perm, nullptr), 0);
    EXPECT_EQ(ZEL_LUPInvert(rows.data(), 2, nullptr), 0);
  });
  EXPECT_EQ(printed.err,
            "ERROR:  Cannot decompose the matrix: a null matrix, row, permutation or vector, or an order below 1.\n"
            "ERROR:  Cannot decompose the matrix: a null matrix, row, permutation or vector, or an order below 1.\n"
            "ERROR:  Cannot decompose the matrix: a null matrix, row, permutation or vector, or an order below 1.\n"
            "ERROR:  Cannot solve: a null matrix, row, permutation or vector, or an order below 1.\n"
            "ERROR:  Cannot solve: a null matrix, row, permutation or vector, or an order below 1.\n"
            "ERROR:  Cannot invert the matrix: a null matrix, row, permutation or vector, or an order below 1.\n");
  EXPECT_EQ(b[0], 3.0);
  EXPECT_EQ(a, (Matrix{{1.0, 0.0}, {0.0, 1.0}}));

  // The identity inverts to itself.
  ASSERT_EQ(ZEL_LUPDecomposition(rows.data(), 2, perm), 1);
  ASSERT_EQ(ZEL_LUPInvert(rows.data(), 2, perm), 1);
  EXPECT_EQ(a, (Matrix{{1.0, 0.0}, {0.0, 1.0}}));
}

}  // namespace
