// Matrix pencils (A, B) for the generalized eigensolver, held column by
// column, and the two ways to solve them that the tests and benchmarks
// compare: the library's four QZ steps and LAPACK's dggev. Header-only so
// that the benchmarks share it.
#ifndef ZEL_TEST_PENCILS_H
#define ZEL_TEST_PENCILS_H

#include <cmath>
#include <cstddef>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "zel.h"

extern "C" void dggev_(const char *jobvl, const char *jobvr, const int *n, double *a, const int *lda, double *b,
                       const int *ldb, double *alphar, double *alphai, double *beta, double *vl, const int *ldvl,
                       double *vr, const int *ldvr, double *work, const int *lwork, int *info, std::size_t jobvl_len,
                       std::size_t jobvr_len);

namespace zel_test {

// An n x n matrix, column-major with leading dimension n.
struct Square {
  int n = 0;
  std::vector<double> values;

  explicit Square(int order) : n(order), values(static_cast<std::size_t>(order) * order, 0.0) {}
  double &operator()(int i, int j) { return values[static_cast<std::size_t>(j) * n + i]; }  // 0-based
  double operator()(int i, int j) const { return values[static_cast<std::size_t>(j) * n + i]; }
};

inline Square random_square(int n, std::mt19937_64 &rng) {
  std::normal_distribution<double> normal;
  Square m(n);
  for (double &v : m.values) v = normal(rng);
  return m;
}

// transpose(W) diag(d) W.
inline Square congruence(const Square &w, const std::vector<double> &d) {
  const int n = w.n;
  Square out(n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum += w(k, i) * d[static_cast<std::size_t>(k)] * w(k, j);
      out(i, j) = sum;
      out(j, i) = sum;
    }
  return out;
}

// The symmetric definite pair K = W^T diag(lambda) W, M = W^T W with a
// well-conditioned random W near the identity, so that the eigenvalues of
// K x = lambda M x are the given ones and the eigenvectors the columns of
// inverse(W).
inline std::pair<Square, Square> symmetric_definite_pencil(const std::vector<double> &lambda, unsigned seed) {
  const int n = static_cast<int>(lambda.size());
  std::mt19937_64 rng(seed);
  Square w = random_square(n, rng);
  const double scale = 0.3 / std::sqrt(static_cast<double>(n));
  for (double &v : w.values) v *= scale;
  for (int i = 0; i < n; ++i) w(i, i) += 1.0;
  return {congruence(w, lambda), congruence(w, std::vector<double>(static_cast<std::size_t>(n), 1.0))};
}

// Eigenvalues (alfr + i alfi) / beta and, when asked for, the eigenvectors
// by columns (a complex pair as real and imaginary parts in two columns).
struct Eigensystem {
  std::vector<double> alfr;
  std::vector<double> alfi;
  std::vector<double> beta;
  std::vector<double> vectors;
  int ierr = 0;
};

// The library's four steps on copies of A and B stored with leading
// dimension nm >= n; the vectors come back with leading dimension nm.
inline Eigensystem qz_solve(const Square &a, const Square &b, int nm, bool with_vectors, double eps1 = 0.0) {
  const int n = a.n;
  std::vector<double> aa(static_cast<std::size_t>(nm) * n, 0.0);
  std::vector<double> bb(aa.size(), 0.0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      aa[static_cast<std::size_t>(j) * nm + i] = a(i, j);
      bb[static_cast<std::size_t>(j) * nm + i] = b(i, j);
    }
  Eigensystem out;
  out.alfr.assign(static_cast<std::size_t>(n), 0.0);
  out.alfi = out.beta = out.alfr;
  out.vectors.assign(aa.size(), 0.0);
  const int matz = with_vectors ? 1 : 0;
  ZEL_QZHESS(&nm, &n, aa.data(), bb.data(), &matz, out.vectors.data());
  ZEL_QZITT(&nm, &n, aa.data(), bb.data(), &eps1, &matz, out.vectors.data(), &out.ierr);
  ZEL_QZVALL(&nm, &n, aa.data(), bb.data(), out.alfr.data(), out.alfi.data(), out.beta.data(), &matz,
             out.vectors.data());
  if (with_vectors)
    ZEL_QZVECC(&nm, &n, aa.data(), bb.data(), out.alfr.data(), out.alfi.data(), out.beta.data(),
               out.vectors.data());
  return out;
}

// LAPACK's generalized eigensolver on copies; right eigenvectors when asked.
inline Eigensystem lapack_solve(Square a, Square b, bool with_vectors) {
  const int n = a.n;
  Eigensystem out;
  out.alfr.assign(static_cast<std::size_t>(n), 0.0);
  out.alfi = out.beta = out.alfr;
  out.vectors.assign(with_vectors ? a.values.size() : 1, 0.0);
  const char no = 'N';
  const char vectors = with_vectors ? 'V' : 'N';
  const int one = 1;
  const int ldvr = with_vectors ? n : 1;
  int lwork = -1;
  double best_work = 0.0;
  double unused = 0.0;
  dggev_(&no, &vectors, &n, a.values.data(), &n, b.values.data(), &n, out.alfr.data(), out.alfi.data(),
         out.beta.data(), &unused, &one, out.vectors.data(), &ldvr, &best_work, &lwork, &out.ierr, 1, 1);
  lwork = static_cast<int>(best_work);
  std::vector<double> work(static_cast<std::size_t>(lwork));
  dggev_(&no, &vectors, &n, a.values.data(), &n, b.values.data(), &n, out.alfr.data(), out.alfi.data(),
         out.beta.data(), &unused, &one, out.vectors.data(), &ldvr, work.data(), &lwork, &out.ierr, 1, 1);
  if (out.ierr != 0) throw std::runtime_error("dggev failed");
  return out;
}

}  // namespace zel_test

#endif  // ZEL_TEST_PENCILS_H
