// The generalized eigensolver on the problem the mode orthonormalization
// poses, a symmetric definite pair (K, M) of order n with eigenvectors:
// the library's four QZ steps against LAPACK's dggev on the same pencil.
// Each run checks the eigenvalues against the pencil's known spectrum, so
// a wrong answer fails the benchmark instead of timing it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "../tests/support/pencils.h"

namespace {

struct Problem {
  std::vector<double> lambda;  // ascending
  zel_test::Square k;
  zel_test::Square m;
};

// Eigenvalues uniform in [1, 1000], fixed seeds.
const Problem &problem(int n) {
  static std::vector<Problem> made;
  for (const Problem &p : made)
    if (p.k.n == n) return p;
  std::mt19937_64 rng(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> uniform(1.0, 1000.0);
  std::vector<double> lambda(static_cast<std::size_t>(n));
  for (double &value : lambda) value = uniform(rng);
  auto [k, m] = zel_test::symmetric_definite_pencil(lambda, 7u);
  std::sort(lambda.begin(), lambda.end());
  made.push_back({lambda, std::move(k), std::move(m)});
  return made.back();
}

bool spectrum_matches(const zel_test::Eigensystem &e, const std::vector<double> &lambda) {
  std::vector<double> found;
  for (std::size_t k = 0; k < e.beta.size(); ++k) found.push_back(e.alfr[k] / e.beta[k]);
  std::sort(found.begin(), found.end());
  for (std::size_t k = 0; k < found.size(); ++k)
    if (!(std::abs(found[k] - lambda[k]) <= 1e-8 * lambda[k])) return false;
  return found.size() == lambda.size();
}

template <class Solve>
void run(benchmark::State &state, Solve solve) {
  const Problem &p = problem(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const zel_test::Eigensystem e = solve(p);
    benchmark::DoNotOptimize(e.vectors.data());
    if (e.ierr != 0 || !spectrum_matches(e, p.lambda)) {
      state.SkipWithError("wrong eigenvalues");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));  // eigenpairs
}

void BM_QzWithVectors(benchmark::State &state) {
  run(state, [](const Problem &p) { return zel_test::qz_solve(p.k, p.m, p.k.n, true); });
}

void BM_LapackDggevWithVectors(benchmark::State &state) {
  run(state, [](const Problem &p) { return zel_test::lapack_solve(p.k, p.m, true); });
}

BENCHMARK(BM_QzWithVectors)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LapackDggevWithVectors)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace
