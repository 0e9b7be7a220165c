// The generalized eigensolver: the four QZ steps against LAPACK's dggev on
// symmetric definite pairs (eigenvalues, M-orthonormal eigenvectors) and on
// pencils with complex or infinite eigenvalues; the round-off level; the
// small and malformed calls; the iteration budget running out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pencils.h"
#include "zel.h"

using zel_test::Eigensystem;
using zel_test::Square;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

using Complex = std::complex<double>;

// Finite eigenvalues, ordered by real then imaginary part.
std::vector<Complex> finite_eigenvalues(const Eigensystem &e) {
  std::vector<Complex> values;
  for (std::size_t k = 0; k < e.beta.size(); ++k)
    if (e.beta[k] != 0.0) values.emplace_back(e.alfr[k] / e.beta[k], e.alfi[k] / e.beta[k]);
  std::sort(values.begin(), values.end(), [](Complex x, Complex y) {
    return x.real() != y.real() ? x.real() < y.real() : x.imag() < y.imag();
  });
  return values;
}

// Largest |ours - reference| / |reference| over the sorted finite spectra.
double relative_difference(const Eigensystem &ours, const Eigensystem &reference) {
  const std::vector<Complex> x = finite_eigenvalues(ours);
  const std::vector<Complex> y = finite_eigenvalues(reference);
  if (x.size() != y.size()) return std::numeric_limits<double>::infinity();
  double worst = 0.0;
  for (std::size_t k = 0; k < x.size(); ++k) worst = std::max(worst, std::abs(x[k] - y[k]) / std::abs(y[k]));
  return worst;
}

// The eigenvectors scaled to unit M-norm are M-orthonormal: |V^T M V - I|
// at most 1e-12, except that two eigenvectors lose orthogonality as any
// backward-stable solution's do, in proportion to round-off times the
// spectrum's size over their eigenvalues' gap: |v_p^T M v_q| may reach
// n u max|lambda| / |lambda_p - lambda_q|. Gives the count of violations.
int m_orthonormality_violations(const Eigensystem &e, const Square &m) {
  const int n = m.n;
  const auto at = [n](const std::vector<double> &x, int i, int j) { return x[static_cast<std::size_t>(j) * n + i]; };
  std::vector<double> mv(static_cast<std::size_t>(n) * n, 0.0);  // M V
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k)
      for (int i = 0; i < n; ++i) mv[static_cast<std::size_t>(j) * n + i] += m(i, k) * at(e.vectors, k, j);
  const auto inner = [&](int p, int q) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += at(e.vectors, i, p) * at(mv, i, q);
    return sum;
  };
  std::vector<double> norm(static_cast<std::size_t>(n));
  std::vector<double> lambda(static_cast<std::size_t>(n));
  double largest = 0.0;
  for (int j = 0; j < n; ++j) {
    const std::size_t k = static_cast<std::size_t>(j);
    norm[k] = std::sqrt(inner(j, j));
    lambda[k] = e.alfr[k] / e.beta[k];
    largest = std::max(largest, std::abs(lambda[k]));
  }
  const double roundoff = std::ldexp(1.0, -53);
  int violations = 0;
  for (int q = 0; q < n; ++q)
    for (int p = 0; p < n; ++p) {
      const std::size_t pk = static_cast<std::size_t>(p);
      const std::size_t qk = static_cast<std::size_t>(q);
      const double entry = inner(p, q) / (norm[pk] * norm[qk]) - (p == q ? 1.0 : 0.0);
      const double allowed =
          p == q ? 1e-12 : std::max(1e-12, n * roundoff * largest / std::abs(lambda[pk] - lambda[qk]));
      if (!(std::abs(entry) <= allowed)) ++violations;
    }
  return violations;
}

// The eigenvectors as complex columns: a complex pair's columns k, k+1 hold
// the real and imaginary parts of eigenvector k, and eigenvector k+1 is its
// conjugate.
std::vector<std::vector<Complex>> complex_vectors(const Eigensystem &e, int nm) {
  const int n = static_cast<int>(e.alfr.size());
  const auto at = [&](int i, int j) { return e.vectors[static_cast<std::size_t>(j) * nm + i]; };
  std::vector<std::vector<Complex>> x(static_cast<std::size_t>(n), std::vector<Complex>(static_cast<std::size_t>(n)));
  for (int k = 0; k < n; ++k) {
    const bool pair = e.alfi[static_cast<std::size_t>(k)] != 0.0 && k + 1 < n;
    for (int i = 0; i < n; ++i) {
      const Complex value(at(i, k), pair ? at(i, k + 1) : 0.0);
      x[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)] = value;
      if (pair) x[static_cast<std::size_t>(k + 1)][static_cast<std::size_t>(i)] = std::conj(value);
    }
    if (pair) ++k;
  }
  return x;
}

// max over eigenpairs of |beta A x - alpha B x| / ((|beta| |A| + |alpha| |B|) |x|)
// in the max norm, complex pairs included.
double eigenpair_residual(const Square &a, const Square &b, const Eigensystem &e) {
  const int n = a.n;
  const auto norm = [n](const Square &m) {
    double largest = 0.0;
    for (int i = 0; i < n; ++i) {
      double row = 0.0;
      for (int j = 0; j < n; ++j) row += std::abs(m(i, j));
      largest = std::max(largest, row);
    }
    return largest;
  };
  const std::vector<std::vector<Complex>> vectors = complex_vectors(e, n);
  double worst = 0.0;
  for (int k = 0; k < n; ++k) {
    const std::vector<Complex> &x = vectors[static_cast<std::size_t>(k)];
    const Complex alpha(e.alfr[static_cast<std::size_t>(k)], e.alfi[static_cast<std::size_t>(k)]);
    const double beta = e.beta[static_cast<std::size_t>(k)];
    double largest_x = 0.0;
    double largest_r = 0.0;
    for (int i = 0; i < n; ++i) {
      Complex r = 0.0;
      for (int j = 0; j < n; ++j) r += (beta * a(i, j) - alpha * b(i, j)) * x[static_cast<std::size_t>(j)];
      largest_r = std::max(largest_r, std::abs(r));
      largest_x = std::max(largest_x, std::abs(x[static_cast<std::size_t>(i)]));
    }
    worst = std::max(worst, largest_r / ((std::abs(beta) * norm(a) + std::abs(alpha) * norm(b)) * largest_x));
  }
  return worst;
}

// ---------------------------------------------------------------------
// Symmetric definite pairs, as the mode orthonormalization poses them

enum class Spectrum { kSpread, kClustered, kWide };

// Eigenvalues in random order: uniform in [1, 1000]; groups of four
// eigenvalues 1% apart around centres from 1 to 1000; or logarithmically
// spaced over six decades from 0.01.
std::vector<double> spectrum(Spectrum kind, int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> lambda(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    double &value = lambda[static_cast<std::size_t>(k)];
    switch (kind) {
      case Spectrum::kSpread:
        value = 1.0 + 999.0 * uniform(rng);
        break;
      case Spectrum::kClustered:
        value = std::pow(1000.0, static_cast<double>(k / 4) / std::max(1, (n - 1) / 4)) * (1.0 + 0.01 * (k % 4));
        break;
      case Spectrum::kWide:
        value = 0.01 * std::pow(1e6, static_cast<double>(k) / (n - 1));
        break;
    }
  }
  std::shuffle(lambda.begin(), lambda.end(), rng);
  return lambda;
}

struct SymmetricCase {
  int n;
  Spectrum kind;
  const char *name;
};

class SymmetricDefinite : public ::testing::TestWithParam<SymmetricCase> {};

TEST_P(SymmetricDefinite, AgreesWithLapackAndGivesMOrthonormalVectors) {
  const SymmetricCase c = GetParam();
  if (kSanitized && c.n > 100) GTEST_SKIP() << "too slow under the sanitizers";
  const auto [k, m] = zel_test::symmetric_definite_pencil(spectrum(c.kind, c.n, 17u + c.n), 29u + c.n);
  const Eigensystem ours = zel_test::qz_solve(k, m, c.n, true);
  const Eigensystem reference = zel_test::lapack_solve(k, m, false);

  EXPECT_EQ(ours.ierr, 0);
  EXPECT_TRUE(std::all_of(ours.alfi.begin(), ours.alfi.end(), [](double v) { return v == 0.0; }));
  EXPECT_TRUE(std::all_of(ours.beta.begin(), ours.beta.end(), [](double v) { return v > 0.0; }));
  EXPECT_LE(relative_difference(ours, reference), 1e-10);
  EXPECT_EQ(m_orthonormality_violations(ours, m), 0);
  EXPECT_LE(eigenpair_residual(k, m, ours), 1e-13);
}

INSTANTIATE_TEST_SUITE_P(OrderAndSpectrum, SymmetricDefinite,
                         ::testing::Values(SymmetricCase{10, Spectrum::kSpread, "n10_spread"},
                                           SymmetricCase{10, Spectrum::kClustered, "n10_clustered"},
                                           SymmetricCase{10, Spectrum::kWide, "n10_wide"},
                                           SymmetricCase{100, Spectrum::kSpread, "n100_spread"},
                                           SymmetricCase{100, Spectrum::kClustered, "n100_clustered"},
                                           SymmetricCase{100, Spectrum::kWide, "n100_wide"},
                                           SymmetricCase{300, Spectrum::kSpread, "n300_spread"},
                                           SymmetricCase{300, Spectrum::kClustered, "n300_clustered"},
                                           SymmetricCase{300, Spectrum::kWide, "n300_wide"}),
                         [](const ::testing::TestParamInfo<SymmetricCase> &info) { return info.param.name; });

}  // namespace

namespace {

Square random_pencil_half(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  return zel_test::random_square(n, rng);
}

bool all_finite(const std::vector<double> &values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// ---------------------------------------------------------------------
// General pencils: complex pairs, infinite eigenvalues

TEST(GeneralPencil, ComplexPairsAgreeWithLapackWhateverTheLeadingDimension) {
  const int n = 7;
  const Square a = random_pencil_half(n, 3);
  const Square b = random_pencil_half(n, 4);
  const Eigensystem ours = zel_test::qz_solve(a, b, n, true);
  const Eigensystem reference = zel_test::lapack_solve(a, b, false);

  ASSERT_EQ(ours.ierr, 0);
  ASSERT_TRUE(std::any_of(reference.alfi.begin(), reference.alfi.end(), [](double v) { return v != 0.0; }));
  EXPECT_LE(relative_difference(ours, reference), 1e-10);
  EXPECT_LE(eigenpair_residual(a, b, ours), 1e-13);
  for (std::size_t k = 0; k < ours.alfi.size(); ++k) {
    if (ours.alfi[k] == 0.0) continue;
    EXPECT_GT(ours.alfi[k], 0.0) << "a pair starts with its positive imaginary part";
    ++k;
  }

  const int nm = n + 3;
  const Eigensystem padded = zel_test::qz_solve(a, b, nm, true);
  EXPECT_EQ(padded.alfr, ours.alfr);
  EXPECT_EQ(padded.alfi, ours.alfi);
  EXPECT_EQ(padded.beta, ours.beta);
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(padded.vectors[j * nm + i], ours.vectors[j * n + i]);
}

// B singular through zero columns: an order-6 pencil whose infinite
// eigenvalues are deflated during the iteration, and order-2 pencils, never
// iterated, whose zero pivot of B is the last or the first.
TEST(GeneralPencil, SingularBGivesInfiniteEigenvaluesAsZeroBeta) {
  struct Case {
    int n;
    std::vector<int> zero_columns;
  };
  for (const Case &c : {Case{6, {4, 5}}, Case{2, {1}}, Case{2, {0}}}) {
    const Square a = random_pencil_half(c.n, 5);
    Square b = random_pencil_half(c.n, 6);
    for (const int j : c.zero_columns)
      for (int i = 0; i < c.n; ++i) b(i, j) = 0.0;
    const Eigensystem ours = zel_test::qz_solve(a, b, c.n, true);
    const Eigensystem reference = zel_test::lapack_solve(a, b, false);
    SCOPED_TRACE("order " + std::to_string(c.n) + ", first zero column " + std::to_string(c.zero_columns[0]));
    EXPECT_EQ(ours.ierr, 0);
    EXPECT_EQ(std::count(ours.beta.begin(), ours.beta.end(), 0.0), static_cast<long>(c.zero_columns.size()));
    EXPECT_TRUE(all_finite(ours.alfr) && all_finite(ours.alfi) && all_finite(ours.vectors));
    EXPECT_LE(relative_difference(ours, reference), 1e-10);
    EXPECT_LE(eigenpair_residual(a, b, ours), 1e-13);
  }
}

// ---------------------------------------------------------------------
// Small and malformed calls

TEST(SmallOrders, OrderOneGivesTheRatioAndAUnitVector) {
  const int n = 1;
  const int matz = 1;
  const double eps1 = 0.0;
  double a = 3.0;
  double b = -2.0;
  double z = 7.0;  // not yet the identity
  ZEL_QZHESS(&n, &n, &a, &b, &matz, &z);
  EXPECT_EQ(z, 1.0);
  int ierr = -5;
  ZEL_QZITT(&n, &n, &a, &b, &eps1, &matz, &z, &ierr);
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(b, -2.0) << "with one row there is no room for the threshold";
  double alfr = 0.0;
  double alfi = 1.0;
  double beta = 0.0;
  ZEL_QZVALL(&n, &n, &a, &b, &alfr, &alfi, &beta, &matz, &z);
  EXPECT_EQ(alfr, -3.0);
  EXPECT_EQ(alfi, 0.0);
  EXPECT_EQ(beta, 2.0);
  ZEL_QZVECC(&n, &n, &a, &b, &alfr, &alfi, &beta, &z);
  EXPECT_EQ(z, 1.0);
}

TEST(SmallOrders, OrderZeroAndAnOrderBeyondTheLeadingDimensionTouchNothing) {
  for (const auto &[nm, n, expected_ierr] : {std::tuple{3, 0, 0}, std::tuple{2, 3, -1}}) {
    const int matz = 1;
    const double eps1 = 0.0;
    std::vector<double> a(9, 2.0), b(9, 3.0), z(9, 4.0), alfr(3, 5.0), alfi(3, 6.0), beta(3, 7.0);
    const std::vector<double> a0 = a, b0 = b, z0 = z;
    int ierr = 99;
    ZEL_QZHESS(&nm, &n, a.data(), b.data(), &matz, z.data());
    ZEL_QZITT(&nm, &n, a.data(), b.data(), &eps1, &matz, z.data(), &ierr);
    ZEL_QZVALL(&nm, &n, a.data(), b.data(), alfr.data(), alfi.data(), beta.data(), &matz, z.data());
    ZEL_QZVECC(&nm, &n, a.data(), b.data(), alfr.data(), alfi.data(), beta.data(), z.data());
    EXPECT_EQ(ierr, expected_ierr) << "n " << n << " nm " << nm;
    EXPECT_EQ(a, a0);
    EXPECT_EQ(b, b0);
    EXPECT_EQ(z, z0);
    EXPECT_EQ(alfr, std::vector<double>(3, 5.0));
  }
}

TEST(SmallOrders, WithoutAccumulationZIsNotReferencedAndTheEigenvaluesAreTheSame) {
  const int n = 5;
  const Square a = random_pencil_half(n, 8);
  const Square b = random_pencil_half(n, 9);
  const Eigensystem with_z = zel_test::qz_solve(a, b, n, true);
  std::vector<double> aa = a.values, bb = b.values, alfr(n), alfi(n), beta(n);
  const int matz = 0;
  const double eps1 = 0.0;
  int ierr = -1;
  ZEL_QZHESS(&n, &n, aa.data(), bb.data(), &matz, nullptr);
  ZEL_QZITT(&n, &n, aa.data(), bb.data(), &eps1, &matz, nullptr, &ierr);
  ZEL_QZVALL(&n, &n, aa.data(), bb.data(), alfr.data(), alfi.data(), beta.data(), &matz, nullptr);
  EXPECT_EQ(ierr, 0);
  Eigensystem without_z;
  without_z.alfr = alfr;
  without_z.alfi = alfi;
  without_z.beta = beta;
  EXPECT_LE(relative_difference(without_z, with_z), 1e-12);
}

// ---------------------------------------------------------------------
// Tolerance, round-off level and the iteration budget

double row_sum_norm_of_upper_triangle(const std::vector<double> &b, int n) {
  double largest = 0.0;
  for (int i = 0; i < n; ++i) {
    double row = 0.0;
    for (int j = i; j < n; ++j) row += std::abs(b[static_cast<std::size_t>(j) * n + i]);
    largest = std::max(largest, row);
  }
  return largest;
}

TEST(Tolerance, ANonPositiveEps1SelectsTheRoundOffLevelAndBn1CarriesTheThreshold) {
  const int n = 6;
  const int matz = 1;
  const Square a = random_pencil_half(n, 10);
  const Square b = random_pencil_half(n, 11);
  for (const auto &[eps1, level] : {std::pair{0.0, std::ldexp(1.0, -53)}, std::pair{-1.0, std::ldexp(1.0, -53)},
                                    std::pair{1e-6, 1e-6}}) {
    std::vector<double> aa = a.values, bb = b.values, z(aa.size()), alfr(n), alfi(n), beta(n);
    int ierr = -1;
    ZEL_QZHESS(&n, &n, aa.data(), bb.data(), &matz, z.data());
    const double threshold = level * row_sum_norm_of_upper_triangle(bb, n);
    ZEL_QZITT(&n, &n, aa.data(), bb.data(), &eps1, &matz, z.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(bb[n - 1], threshold) << "eps1 " << eps1;
    ZEL_QZVALL(&n, &n, aa.data(), bb.data(), alfr.data(), alfi.data(), beta.data(), &matz, z.data());
    EXPECT_EQ(bb[n - 1], threshold) << "still there for the eigenvectors";
  }
}

TEST(Tolerance, EigpsnIsHalfTheMachineEpsilonAndStoresIt) {
  double x = 1.0;
  EXPECT_EQ(EIGPSN(&x), std::ldexp(1.0, -53));
  EXPECT_EQ(x, std::ldexp(1.0, -53));
  double zero = 0.0;
  EXPECT_EQ(EIGPSN(&zero), 0.0);
  double infinite = std::numeric_limits<double>::infinity();
  EXPECT_EQ(EIGPSN(&infinite), std::numeric_limits<double>::infinity()) << "and it returns";
  EXPECT_EQ(EIGPSN(nullptr), 0.0);
}

// The budget of sweeps runs out when no subdiagonal element can become
// negligible: a tolerance below anything the arithmetic reaches, or a NaN.
// IERR then names the eigenvalue being sought, the last one, and the
// threshold is still left in B(N,1).
TEST(Budget, SweepsRunningOutLeaveTheEigenvalueIndexInIerr) {
  const int n = 5;
  const int matz = 1;
  for (const bool with_nan : {false, true}) {
    Square a = random_pencil_half(n, 12);
    const Square b = random_pencil_half(n, 13);
    if (with_nan) a(2, 1) = std::numeric_limits<double>::quiet_NaN();
    const double eps1 = with_nan ? 0.0 : std::numeric_limits<double>::denorm_min();
    std::vector<double> aa = a.values, bb = b.values, z(aa.size());
    int ierr = 0;
    ZEL_QZHESS(&n, &n, aa.data(), bb.data(), &matz, z.data());
    const double threshold = (with_nan ? std::ldexp(1.0, -53) : eps1) * row_sum_norm_of_upper_triangle(bb, n);
    ZEL_QZITT(&n, &n, aa.data(), bb.data(), &eps1, &matz, z.data(), &ierr);
    EXPECT_EQ(ierr, n) << (with_nan ? "NaN" : "tiny tolerance");
    if (!with_nan) {
      EXPECT_EQ(bb[n - 1], threshold);
    }
  }
}

}  // namespace
