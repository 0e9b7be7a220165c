// LU decomposition with partial pivoting and one solve of a dense n x n
// system, held as row pointers, against LAPACK's dgetrf + dgetrs on the same
// fixed-seed matrix. Each iteration starts from a fresh copy of the matrix
// (copied outside the timed region) and the solution is checked against a
// known x, so the work cannot be skipped or go wrong unnoticed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "bench_support.h"
#include "zel.h"

extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgetrs_(const char *trans, const int *n, const int *nrhs, const double *a, const int *lda, const int *ipiv,
             double *b, const int *ldb, int *info);
}

namespace {

// A system a x = b with x = (1, 1, ..., 1).
struct System {
  std::vector<double> a;  // row order
  std::vector<double> b;
};

const System &system_of(int n) {
  static std::vector<System> systems(4096);
  System &s = systems[static_cast<std::size_t>(n)];
  if (s.a.empty()) {
    s.a = zel_bench::random_values(static_cast<std::size_t>(n) * n);
    s.b.assign(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) s.b[i] += s.a[static_cast<std::size_t>(i) * n + j];
  }
  return s;
}

void check_solution(const std::vector<double> &x) {
  for (double value : x)
    if (std::abs(value - 1.0) > 1e-8) throw std::runtime_error("wrong solution");
}

void BM_LupDecomposeAndSolve(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const System &s = system_of(n);
  std::vector<std::vector<double>> rows(static_cast<std::size_t>(n));
  std::vector<double *> pointers(static_cast<std::size_t>(n));
  std::vector<int> perm(static_cast<std::size_t>(n));
  std::vector<double> x;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < n; ++i) {
      rows[i].assign(s.a.begin() + static_cast<std::ptrdiff_t>(i) * n, s.a.begin() + static_cast<std::ptrdiff_t>(i + 1) * n);
      pointers[i] = rows[i].data();
    }
    x = s.b;
    state.ResumeTiming();
    if (!ZEL_LUPDecomposition(pointers.data(), n, perm.data()) || !ZEL_LUPSolve(pointers.data(), n, perm.data(), x.data()))
      throw std::runtime_error("decomposition failed");
  }
  check_solution(x);
  state.SetItemsProcessed(state.iterations() * 2 * static_cast<int64_t>(n) * n * n / 3);  // flops
}

void BM_LapackDgetrfDgetrs(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const System &s = system_of(n);
  std::vector<double> a(s.a.size());
  std::vector<int> ipiv(static_cast<std::size_t>(n));
  std::vector<double> x;
  const int one = 1;
  for (auto _ : state) {
    state.PauseTiming();
    // LAPACK reads column order: the transpose of the row-order copy, so
    // it is given a^T and solves a^T x = b with 'T'.
    a = s.a;
    x = s.b;
    state.ResumeTiming();
    int info = 0;
    dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
    dgetrs_("T", &n, &one, a.data(), &n, ipiv.data(), x.data(), &n, &info);
    if (info != 0) throw std::runtime_error("LAPACK failed");
  }
  check_solution(x);
  state.SetItemsProcessed(state.iterations() * 2 * static_cast<int64_t>(n) * n * n / 3);
}

}  // namespace

BENCHMARK(BM_LupDecomposeAndSolve)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LapackDgetrfDgetrs)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
