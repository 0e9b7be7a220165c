// The QZ algorithm of Moler and Stewart for the generalized eigenproblem
// A x = lambda B x, in four steps called in order:
//   1. A to upper Hessenberg and B to upper triangular form;
//   2. A to quasi-triangular form by implicit QZ sweeps, B kept triangular;
//   3. the 2 x 2 blocks of A split where their eigenvalues are real, and the
//      eigenvalues returned as ratios (alfr + i alfi) / beta;
//   4. the eigenvectors of the triangular pencil, back-transformed by Z.
// Only right-hand transformations are accumulated (in Z). Matrices are held
// column by column with leading dimension nm and addressed 1-based here, as
// in the textbook statement of the algorithm, so that the index arithmetic
// of each step can be checked against it.
//
// Step 2 leaves its negligibility threshold for B (round-off level times the
// row-sum norm of B) in B(n,1), below the triangle, where steps 3 and 4 look
// for it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <vector>

#include "platform/messages.h"
#include "zel.h"

namespace {

constexpr char kModule[] = "zelwrite";

// QZ sweeps allowed per order of the pencil, for the whole reduction.
constexpr int kSweepsPerOrder = 30;
// Sweeps on one eigenvalue after which one ad hoc double shift is made.
constexpr int kSweepsBeforeAdHocShift = 10;
// The third component of the ad hoc shift vector (0, 1, kAdHocShift).
constexpr double kAdHocShift = 1.1605;

// A column-major matrix addressed 1-based: (i, j) is data[(j-1)*nm + i-1].
struct Matrix {
  double *data;
  int nm;
  double &operator()(int i, int j) const {
    return data[static_cast<std::ptrdiff_t>(j - 1) * nm + (i - 1)];
  }
  // The address of element (1, j): a column is contiguous.
  double *column(int j) const { return data + static_cast<std::ptrdiff_t>(j - 1) * nm; }
};

// The Householder reflection that sends a 2-vector (a1, a2) onto the first
// axis (as -r e1), stored as the three numbers that apply it to a pair with
// three multiplications: t = x + u2 y, x += t v1, y += t v2. The zero vector
// gives the identity.
struct Reflector2 {
  double v1 = 0.0;
  double v2 = 0.0;
  double u2 = 0.0;

  void apply(double &x, double &y) const {
    const double t = x + u2 * y;
    x += t * v1;
    y += t * v2;
  }
};

Reflector2 reflector(double a1, double a2) {
  const double s = std::abs(a1) + std::abs(a2);
  if (s == 0.0) return {};
  const double u1 = a1 / s;
  const double u2 = a2 / s;
  const double r = std::copysign(std::sqrt(u1 * u1 + u2 * u2), u1);
  Reflector2 h;
  h.v1 = -(u1 + r) / r;
  h.v2 = -u2 / r;
  h.u2 = h.v2 / h.v1;
  return h;
}

// The same for a 3-vector.
struct Reflector3 {
  double v1 = 0.0;
  double v2 = 0.0;
  double v3 = 0.0;
  double u2 = 0.0;
  double u3 = 0.0;

  void apply(double &x, double &y, double &z) const {
    const double t = x + u2 * y + u3 * z;
    x += t * v1;
    y += t * v2;
    z += t * v3;
  }
};

Reflector3 reflector(double a1, double a2, double a3) {
  const double s = std::abs(a1) + std::abs(a2) + std::abs(a3);
  if (s == 0.0) return {};
  const double u1 = a1 / s;
  const double u2 = a2 / s;
  const double u3 = a3 / s;
  const double r = std::copysign(std::sqrt(u1 * u1 + u2 * u2 + u3 * u3), u1);
  Reflector3 h;
  h.v1 = -(u1 + r) / r;
  h.v2 = -u2 / r;
  h.v3 = -u3 / r;
  h.u2 = h.v2 / h.v1;
  h.u3 = h.v3 / h.v1;
  return h;
}

// Rows r1 and r2 of m, columns first..last.
void reflect_rows(const Reflector2 &h, Matrix m, int r1, int r2, int first, int last) {
  for (int j = first; j <= last; ++j) h.apply(m(r1, j), m(r2, j));
}

void reflect_rows(const Reflector3 &h, Matrix m, int r1, int r2, int r3, int first, int last) {
  for (int j = first; j <= last; ++j) h.apply(m(r1, j), m(r2, j), m(r3, j));
}

// Columns c1 and c2 of m, rows first..last.
void reflect_columns(const Reflector2 &h, Matrix m, int c1, int c2, int first, int last) {
  double *x = m.column(c1);
  double *y = m.column(c2);
  for (int i = first - 1; i < last; ++i) h.apply(x[i], y[i]);
}

void reflect_columns(const Reflector3 &h, Matrix m, int c1, int c2, int c3, int first, int last) {
  double *x = m.column(c1);
  double *y = m.column(c2);
  double *z = m.column(c3);
  for (int i = first - 1; i < last; ++i) h.apply(x[i], y[i], z[i]);
}

// The pencil (A, B) of order n and, when accumulate is set, the product Z
// of the right-hand transformations.
struct Pencil {
  Matrix a;
  Matrix b;
  Matrix z;
  int n;
  bool accumulate;
};

// ---------------------------------------------------------------------
// Step 1: Hessenberg-triangular reduction

void set_identity(Matrix z, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) z(i, j) = (i == j) ? 1.0 : 0.0;
}

// Householder reflections from the left, applied to A as well, make B
// upper triangular one column at a time.
void triangularize_b(const Pencil &p) {
  const int n = p.n;
  for (int l = 1; l < n; ++l) {
    double *w = p.b.column(l);  // w[i-1] is b(i, l)
    double below = 0.0;
    for (int i = l + 1; i <= n; ++i) below += std::abs(w[i - 1]);
    if (below == 0.0) continue;
    const double s = below + std::abs(w[l - 1]);
    double sum_sq = 0.0;
    for (int i = l; i <= n; ++i) {
      w[i - 1] /= s;
      sum_sq += w[i - 1] * w[i - 1];
    }
    const double r = std::copysign(std::sqrt(sum_sq), w[l - 1]);
    w[l - 1] += r;
    const double rho = r * w[l - 1];
    const auto reflect = [&](double *target) {
      double t = 0.0;
      for (int i = l; i <= n; ++i) t += w[i - 1] * target[i - 1];
      t = -t / rho;
      for (int i = l; i <= n; ++i) target[i - 1] += t * w[i - 1];
    };
    for (int j = l + 1; j <= n; ++j) reflect(p.b.column(j));
    for (int j = 1; j <= n; ++j) reflect(p.a.column(j));
    w[l - 1] = -s * r;
    for (int i = l + 1; i <= n; ++i) w[i - 1] = 0.0;
  }
}

// Plane reflections reduce A to upper Hessenberg form column by column,
// from the bottom up; each left reflection spoils one element below B's
// diagonal, which a right reflection (accumulated in Z) restores.
void hessenberg_a(const Pencil &p) {
  const int n = p.n;
  for (int k = 1; k <= n - 2; ++k) {
    for (int l = n - 1; l >= k + 1; --l) {
      const int l1 = l + 1;
      if (std::abs(p.a(l, k)) + std::abs(p.a(l1, k)) == 0.0) continue;
      const Reflector2 left = reflector(p.a(l, k), p.a(l1, k));
      reflect_rows(left, p.a, l, l1, k, n);
      p.a(l1, k) = 0.0;
      reflect_rows(left, p.b, l, l1, l, n);

      if (std::abs(p.b(l1, l1)) + std::abs(p.b(l1, l)) == 0.0) continue;
      const Reflector2 right = reflector(p.b(l1, l1), p.b(l1, l));
      reflect_columns(right, p.b, l1, l, 1, l1);
      p.b(l1, l) = 0.0;
      reflect_columns(right, p.a, l1, l, 1, n);
      if (p.accumulate) reflect_columns(right, p.z, l1, l, 1, n);
    }
  }
}

void reduce_to_hessenberg_triangular(const Pencil &p) {
  if (p.accumulate) set_identity(p.z, p.n);
  if (p.n <= 1) return;
  triangularize_b(p);
  hessenberg_a(p);
}

// ---------------------------------------------------------------------
// Step 2: QZ iteration

// Row-sum norms of the Hessenberg A and the triangular B; a zero norm is
// taken as 1 so that the thresholds stay meaningful.
struct Norms {
  double a;
  double b;
};

Norms row_sum_norms(const Pencil &p) {
  Norms norm{0.0, 0.0};
  for (int i = 1; i <= p.n; ++i) {
    double row_a = (i != 1) ? std::abs(p.a(i, i - 1)) : 0.0;
    double row_b = 0.0;
    for (int j = i; j <= p.n; ++j) {
      row_a += std::abs(p.a(i, j));
      row_b += std::abs(p.b(i, j));
    }
    norm.a = std::max(norm.a, row_a);
    norm.b = std::max(norm.b, row_b);
  }
  if (norm.a == 0.0) norm.a = 1.0;
  if (norm.b == 0.0) norm.b = 1.0;
  return norm;
}

// The state of the iteration on the unreduced block that ends at row en.
// Transformations touch rows first_row.. and columns ..last_column: the
// whole matrices when Z is accumulated (so that the full quasi-triangular
// form results), only the block otherwise.
struct Iteration {
  Pencil p;
  double epsa;   // negligible size of an element of A
  double epsb;   // ... of B
  int en;        // last row of the block being reduced
  int na;        // en - 1
  int first_row;
  int last_column;
  int sweeps_left;      // for the whole reduction
  int sweeps_on_block;  // since en last changed
};

// How a sweep starts: at row l (the top of the active part, ld the top of
// the unreduced block), with a single shift (order 1, first column
// (a1, a2)) or a double shift (order 2, first column (a1, a2, a3)).
struct SweepStart {
  int l;
  int ld;
  int order;
  double a1;
  double a2;
  double a3;
};

enum class Prepared { kSweep, kSplit, kExhausted };

// The top row of the unreduced block ending at en: the lowest l whose
// subdiagonal element a(l, l-1) is negligible, or 1.
int top_of_block(const Iteration &it) {
  for (int l = it.en; l >= 2; --l)
    if (std::abs(it.p.a(l, l - 1)) <= it.epsa) return l;
  return 1;
}

// Sets the negligible a(l, l-1) to zero. A 1 x 1 or 2 x 2 block at the
// bottom is then finished: en moves above it and true is returned.
bool split_at(Iteration &it, int l) {
  it.p.a(l, l - 1) = 0.0;
  if (l < it.na) return false;
  it.en = l - 1;
  return true;
}

// b(l, l) is negligible: a reflection of rows l and l+1 zeroes a(l+1, l),
// so that the zero moves down the diagonal of B and the infinite
// eigenvalue is deflated at the top of the block.
void chase_zero_pivot(Iteration &it, int l) {
  const Pencil &p = it.p;
  const int l1 = l + 1;
  p.b(l, l) = 0.0;
  const Reflector2 h = reflector(p.a(l, l), p.a(l1, l));
  reflect_rows(h, p.a, l, l1, l, it.last_column);
  reflect_rows(h, p.b, l, l1, l, it.last_column);
  if (l != 1) p.a(l, l - 1) = -p.a(l, l - 1);
}

// The eigenvalues of the bottom 2 x 2 pencil, as the coefficients of
// lambda^2 + 2 t lambda + (a33 a44 - a34 a43) with B's diagonal kept away
// from zero.
struct BottomPencil {
  double a33, a34, a43, a44, b34;
  double t;
  double discriminant;
};

BottomPencil bottom_pencil(const Iteration &it) {
  const Pencil &p = it.p;
  const auto kept_off_zero = [&](double d) { return std::abs(d) < it.epsb ? it.epsb : d; };
  const double b33 = kept_off_zero(p.b(it.na, it.na));
  const double b44 = kept_off_zero(p.b(it.en, it.en));
  BottomPencil bp{};
  bp.a33 = p.a(it.na, it.na) / b33;
  bp.a34 = p.a(it.na, it.en) / b44;
  bp.a43 = p.a(it.en, it.na) / b33;
  bp.a44 = p.a(it.en, it.en) / b44;
  bp.b34 = p.b(it.na, it.en) / b44;
  bp.t = 0.5 * (bp.a43 * bp.b34 - bp.a33 - bp.a44);
  bp.discriminant = bp.t * bp.t + bp.a34 * bp.a43 - bp.a33 * bp.a44;
  return bp;
}

// First column of (M - lambda1)(M - lambda2) for M = A inv(B) at the top of
// the block, divided by a21: the double shift by the complex pair of the
// bottom 2 x 2 pencil.
SweepStart double_shift(const Iteration &it, const BottomPencil &bp, int l, int ld, double a11, double a21) {
  const Pencil &p = it.p;
  const int l1 = l + 1;
  const double b22 = std::abs(p.b(l1, l1)) < it.epsb ? it.epsb : p.b(l1, l1);
  const double a12 = p.a(l, l1) / b22;
  const double a22 = p.a(l1, l1) / b22;
  const double b12 = p.b(l, l1) / b22;
  const double a33 = bp.a33;
  const double a44 = bp.a44;
  const double a1 = ((a33 - a11) * (a44 - a11) - bp.a34 * bp.a43 + bp.a43 * bp.b34 * a11) / a21 + a12 - a11 * b12;
  const double a2 = (a22 - a11) - a21 * b12 - (a33 - a11) - (a44 - a11) + bp.a43 * bp.b34;
  const double a3 = p.a(l1 + 1, l1) / b22;
  return {l, ld, 2, a1, a2, a3};
}

// The single shift: the root of the bottom 2 x 2 pencil nearer to a44.
double single_shift(const BottomPencil &bp) {
  const double r = std::sqrt(bp.discriminant);
  const double plus = -bp.t + r;
  const double minus = -bp.t - r;
  return std::abs(minus - bp.a44) < std::abs(plus - bp.a44) ? minus : plus;
}

// The lowest row m > ld at which a single-shift sweep may start because
// the product of the two consecutive subdiagonal elements a(m, m-1) and
// a(m+1, m) is negligible; ld when there is none.
int single_shift_start(const Iteration &it, int ld, double shift) {
  const Pencil &p = it.p;
  for (int m = it.na - 1; m > ld; --m) {
    double t = p.a(m, m);
    if (std::abs(p.b(m, m)) > it.epsb) t -= shift * p.b(m, m);
    if (std::abs(p.a(m, m - 1)) <= std::abs(t / p.a(m + 1, m)) * it.epsa) return m;
  }
  return ld;
}

// Looks for a split of the block and chooses where and with which shift
// the next sweep starts.
Prepared prepare_sweep(Iteration &it, SweepStart &start) {
  const Pencil &p = it.p;
  int l = top_of_block(it);
  if (l > 1 && split_at(it, l)) return Prepared::kSplit;
  int ld = l;
  bool single = false;
  double shift = 0.0;
  for (;;) {
    const int l1 = l + 1;
    const double b11 = p.b(l, l);
    if (std::abs(b11) <= it.epsb) {
      chase_zero_pivot(it, l);
      l = l1;
      if (split_at(it, l)) return Prepared::kSplit;
      ld = l;
      continue;
    }
    const double a11 = p.a(l, l) / b11;
    const double a21 = p.a(l1, l) / b11;
    if (single) {
      // A start below the block's top leaves a(l, l-1) behind, changed by
      // the first reflection to very nearly its negative.
      if (l != ld) p.a(l, l - 1) = -p.a(l, l - 1);
      start = {l, ld, 1, a11 - shift, a21, 0.0};
      return Prepared::kSweep;
    }
    if (it.sweeps_left == 0) return Prepared::kExhausted;
    if (it.sweeps_on_block == kSweepsBeforeAdHocShift) {
      start = {l, ld, 2, 0.0, 1.0, kAdHocShift};
      return Prepared::kSweep;
    }
    const BottomPencil bp = bottom_pencil(it);
    if (bp.discriminant < 0.0) {
      start = double_shift(it, bp, l, ld, a11, a21);
      return Prepared::kSweep;
    }
    single = true;
    shift = single_shift(bp);
    l = single_shift_start(it, ld, shift);
  }
}

// One implicit QZ sweep: the bulge made by the shift is chased down the
// block by left reflections on A and B, each followed by right reflections
// that restore B's triangle.
void sweep(const Iteration &it, const SweepStart &start) {
  const Pencil &p = it.p;
  const int l = start.l;
  double a1 = start.a1;
  double a2 = start.a2;
  double a3 = start.a3;
  for (int k = l; k <= it.na; ++k) {
    const int k1 = k + 1;
    const int k2 = k + 2;
    const int km1 = std::max(k - 1, l);
    const int last_row = std::min(it.en, k1 + start.order);
    if (k == it.na || start.order == 1) {
      if (k != l) {
        a1 = p.a(k, km1);
        a2 = p.a(k1, km1);
      }
      if (std::abs(a1) + std::abs(a2) == 0.0) return;
      const Reflector2 h = reflector(a1, a2);
      reflect_rows(h, p.a, k, k1, km1, it.last_column);
      reflect_rows(h, p.b, k, k1, km1, it.last_column);
      if (k != l) p.a(k1, km1) = 0.0;
    } else {
      if (k != l) {
        a1 = p.a(k, km1);
        a2 = p.a(k1, km1);
        a3 = p.a(k2, km1);
      }
      if (std::abs(a1) + std::abs(a2) + std::abs(a3) == 0.0) continue;
      const Reflector3 h = reflector(a1, a2, a3);
      reflect_rows(h, p.a, k, k1, k2, km1, it.last_column);
      reflect_rows(h, p.b, k, k1, k2, km1, it.last_column);
      if (k != l) {
        p.a(k1, km1) = 0.0;
        p.a(k2, km1) = 0.0;
      }
      if (std::abs(p.b(k2, k2)) + std::abs(p.b(k2, k1)) + std::abs(p.b(k2, k)) != 0.0) {
        const Reflector3 right = reflector(p.b(k2, k2), p.b(k2, k1), p.b(k2, k));
        reflect_columns(right, p.a, k2, k1, k, it.first_row, last_row);
        reflect_columns(right, p.b, k2, k1, k, it.first_row, last_row);
        p.b(k2, k) = 0.0;
        p.b(k2, k1) = 0.0;
        if (p.accumulate) reflect_columns(right, p.z, k2, k1, k, 1, p.n);
      }
    }
    if (std::abs(p.b(k1, k1)) + std::abs(p.b(k1, k)) == 0.0) continue;
    const Reflector2 right = reflector(p.b(k1, k1), p.b(k1, k));
    reflect_columns(right, p.a, k1, k, it.first_row, last_row);
    reflect_columns(right, p.b, k1, k, it.first_row, last_row);
    p.b(k1, k) = 0.0;
    if (p.accumulate) reflect_columns(right, p.z, k1, k, 1, p.n);
  }
}

// Sweeps on the bottom block until it splits (true) or the budget of the
// whole reduction is spent (false).
bool reduce_bottom_block(Iteration &it) {
  for (;;) {
    SweepStart start{};
    switch (prepare_sweep(it, start)) {
      case Prepared::kSplit:
        return true;
      case Prepared::kExhausted:
        return false;
      case Prepared::kSweep:
        break;
    }
    ++it.sweeps_on_block;
    --it.sweeps_left;
    if (!it.p.accumulate) it.first_row = start.ld;
    sweep(it, start);
  }
}

// Reduces A to quasi-triangular form; 0, or the index of the eigenvalue on
// which the sweep budget ran out.
int reduce_to_quasi_triangular(const Pencil &p, double eps1) {
  const Norms norm = row_sum_norms(p);
  double one = 1.0;
  const double ep = eps1 > 0.0 ? eps1 : EIGPSN(&one);
  Iteration it{p, ep * norm.a, ep * norm.b, p.n, 0, 1, p.n, kSweepsPerOrder * p.n, 0};
  int ierr = 0;
  while (it.en > 2) {
    if (!p.accumulate) it.last_column = it.en;
    it.sweeps_on_block = 0;
    it.na = it.en - 1;
    if (!reduce_bottom_block(it)) {
      ierr = it.en;
      break;
    }
  }
  if (p.n > 1) p.b(p.n, 1) = it.epsb;
  return ierr;
}

// ---------------------------------------------------------------------
// Step 3: eigenvalues

// The eigenvalues (alfr + i alfi) / beta, as written by step 3 ...
struct Eigenvalues {
  double *alfr;
  double *alfi;
  double *beta;
};

// ... and as read by step 4.
struct Roots {
  const double *alfr;
  const double *alfi;
  const double *beta;
};

// A 1 x 1 block: a real eigenvalue, beta made non-negative.
void store_real_root(const Pencil &p, const Eigenvalues &ev, int k) {
  ev.alfr[k - 1] = p.b(k, k) < 0.0 ? -p.a(k, k) : p.a(k, k);
  ev.beta[k - 1] = std::abs(p.b(k, k));
  ev.alfi[k - 1] = 0.0;
}

// The 2 x 2 block in rows and columns na, en = na + 1, each matrix scaled by
// the sum of its magnitudes. e is the eigenvalue shift taken from the
// diagonal ratio of smaller magnitude; the block's eigenvalues are e + mu
// with mu^2 - 2 c mu - s (a12 - e b12) = 0, whose discriminant is d.
struct Block2 {
  double an, bn;
  double a11, a12, a21, a22;
  double b11, b12, b22;
  double e;
  double c;
  double d;
};

Block2 scaled_block(const Pencil &p, int na, int en) {
  Block2 k{};
  k.an = std::abs(p.a(na, na)) + std::abs(p.a(na, en)) + std::abs(p.a(en, na)) + std::abs(p.a(en, en));
  k.bn = std::abs(p.b(na, na)) + std::abs(p.b(na, en)) + std::abs(p.b(en, en));
  k.a11 = p.a(na, na) / k.an;
  k.a12 = p.a(na, en) / k.an;
  k.a21 = p.a(en, na) / k.an;
  k.a22 = p.a(en, en) / k.an;
  k.b11 = p.b(na, na) / k.bn;
  k.b12 = p.b(na, en) / k.bn;
  k.b22 = p.b(en, en) / k.bn;
  double e = k.a11 / k.b11;
  const double ei = k.a22 / k.b22;
  const double s = k.a21 / (k.b11 * k.b22);
  double t = (k.a22 - e * k.b22) / k.b22;
  if (std::abs(e) > std::abs(ei)) {
    e = ei;
    t = (k.a11 - e * k.b11) / k.b11;
  }
  k.e = e;
  k.c = 0.5 * (t - s * k.b12);
  k.d = k.c * k.c + s * (k.a12 - e * k.b12);
  return k;
}

// Right reflection of columns en and na chosen from (a1, a2); the zero
// vector leaves the columns alone.
void reflect_block_columns(const Pencil &p, int na, int en, double a1, double a2) {
  const Reflector2 h = reflector(a1, a2);
  reflect_columns(h, p.a, en, na, 1, en);
  reflect_columns(h, p.b, en, na, 1, en);
  if (p.accumulate) reflect_columns(h, p.z, en, na, 1, p.n);
}

// Left reflection of rows na and en that zeroes the second of (a1, a2).
void reflect_block_rows(const Pencil &p, int na, int en, double a1, double a2) {
  if (std::abs(a1) + std::abs(a2) == 0.0) return;
  const Reflector2 h = reflector(a1, a2);
  reflect_rows(h, p.a, na, en, na, p.n);
  reflect_rows(h, p.b, na, en, na, p.n);
}

// A 2 x 2 block with real roots and both pivots of B non-negligible: the
// right reflection takes the null vector of the singular A - e B (from its
// larger row) as first column, after which the first columns of A and B are
// parallel and the better scaled one gives the left reflection.
void split_real_pair(const Pencil &p, int na, int en, Block2 k) {
  k.e += k.c + std::copysign(std::sqrt(k.d), k.c);
  const double a11 = k.a11 - k.e * k.b11;
  const double a12 = k.a12 - k.e * k.b12;
  const double a22 = k.a22 - k.e * k.b22;
  if (std::abs(a11) + std::abs(a12) < std::abs(k.a21) + std::abs(a22))
    reflect_block_columns(p, na, en, a22, k.a21);
  else
    reflect_block_columns(p, na, en, a12, a11);
  if (k.an < std::abs(k.e) * k.bn)
    reflect_block_rows(p, na, en, p.a(na, na), p.a(en, na));
  else
    reflect_block_rows(p, na, en, p.b(na, na), p.b(en, na));
}

// Two 1 x 1 blocks where a 2 x 2 block was.
void store_split_block(const Pencil &p, const Eigenvalues &ev, int na, int en) {
  p.a(en, na) = 0.0;
  p.b(en, na) = 0.0;
  store_real_root(p, ev, na);
  store_real_root(p, ev, en);
}

// A complex rotation [[c, -conj(s)], [s, c]] with c real, s = sr - i si;
// imaginary parts are carried negated throughout this step.
struct ComplexRotation {
  double c;
  double sr;
  double si;
};

// The rotation whose first column is parallel to (a1 - i a1i, a2 - i a2i).
ComplexRotation rotation_from(double a1, double a1i, double a2, double a2i) {
  double c = std::sqrt(a1 * a1 + a1i * a1i);
  if (c == 0.0) return {0.0, 1.0, 0.0};
  double sr = (a1 * a2 + a1i * a2i) / c;
  double si = (a1 * a2i - a1i * a2) / c;
  const double r = std::sqrt(c * c + sr * sr + si * si);
  c /= r;
  sr /= r;
  si /= r;
  return {c, sr, si};
}

// Stores an eigenvalue of a complex pair from the diagonal elements
// (tr - i ti) of A and (dr - i di) of B the rotations would produce, with
// beta made real and positive; the root of positive imaginary part goes
// to na.
void store_complex_root(const Block2 &k, const Eigenvalues &ev, int na, int en, double tr, double ti,
                        double dr, double di) {
  const double t = ti * dr - tr * di;
  const int j = t < 0.0 ? en : na;
  const double r = std::sqrt(dr * dr + di * di);
  ev.beta[j - 1] = k.bn * r;
  ev.alfr[j - 1] = k.an * (tr * dr + ti * di) / r;
  ev.alfi[j - 1] = k.an * t / r;
}

// A 2 x 2 block with a complex pair stays; its two eigenvalues are
// computed from the complex rotations that would triangularize it.
void store_complex_pair(const Block2 &k, const Eigenvalues &ev, int na, int en) {
  const double e = k.e + k.c;
  const double ei = std::sqrt(-k.d);
  const double a11r = k.a11 - e * k.b11;
  const double a11i = ei * k.b11;
  const double a12r = k.a12 - e * k.b12;
  const double a12i = ei * k.b12;
  const double a22r = k.a22 - e * k.b22;
  const double a22i = ei * k.b22;
  // Z from the null vector of A - (e + i ei) B, taken from its larger row.
  const ComplexRotation z =
      (std::abs(a11r) + std::abs(a11i) + std::abs(a12r) + std::abs(a12i) <
       std::abs(k.a21) + std::abs(a22r) + std::abs(a22i))
          ? rotation_from(a22r, a22i, -k.a21, 0.0)
          : rotation_from(a12r, a12i, -a11r, -a11i);
  // Q from the first column of B Z, or of A Z, whichever is better scaled.
  const ComplexRotation q =
      (k.an < (std::abs(e) + ei) * k.bn)
          ? rotation_from(z.c * k.a11 + z.sr * k.a12, z.si * k.a12, z.c * k.a21 + z.sr * k.a22, z.si * k.a22)
          : rotation_from(z.c * k.b11 + z.sr * k.b12, z.si * k.b12, z.sr * k.b22, z.si * k.b22);
  const double ssr = q.sr * z.sr + q.si * z.si;
  const double ssi = q.sr * z.si - q.si * z.sr;
  // The diagonal elements of Q^H A Z and Q^H B Z, first then second.
  const double a1r = q.c * z.c * k.a11 + q.c * z.sr * k.a12 + q.sr * z.c * k.a21 + ssr * k.a22;
  const double a1i = q.c * z.si * k.a12 - q.si * z.c * k.a21 + ssi * k.a22;
  const double b1r = q.c * z.c * k.b11 + q.c * z.sr * k.b12 + ssr * k.b22;
  const double b1i = q.c * z.si * k.b12 + ssi * k.b22;
  store_complex_root(k, ev, na, en, a1r, a1i, b1r, b1i);
  const double a2r = ssr * k.a11 - q.sr * z.c * k.a12 - q.c * z.sr * k.a21 + q.c * z.c * k.a22;
  const double a2i = -ssi * k.a11 - q.si * z.c * k.a12 + q.c * z.si * k.a21;
  const double b2r = ssr * k.b11 - q.sr * z.c * k.b12 + q.c * z.c * k.b22;
  const double b2i = -ssi * k.b11 - q.si * z.c * k.b12;
  store_complex_root(k, ev, na, en, a2r, a2i, b2r, b2i);
}

void compute_eigenvalues(const Pencil &p, const Eigenvalues &ev) {
  if (p.n < 1) return;
  const double epsb = p.b(p.n, 1);
  // B(n, 1) lies in B's zero triangle; clear it while the blocks are
  // transformed so that the threshold it carries cannot leak into them.
  if (p.n > 1) p.b(p.n, 1) = 0.0;
  for (int en = p.n; en >= 1;) {
    const int na = en - 1;
    if (en == 1 || p.a(en, na) == 0.0) {
      store_real_root(p, ev, en);
      en -= 1;
      continue;
    }
    if (std::abs(p.b(na, na)) <= epsb) {
      // Infinite eigenvalue at na: zero a(en, na) from the left.
      reflect_block_rows(p, na, en, p.a(na, na), p.a(en, na));
    } else if (std::abs(p.b(en, en)) <= epsb) {
      // Infinite eigenvalue at en: zero a(en, na) from the right.
      reflect_block_columns(p, na, en, p.a(en, en), p.a(en, na));
    } else {
      const Block2 k = scaled_block(p, na, en);
      if (k.d < 0.0) {
        store_complex_pair(k, ev, na, en);
        en -= 2;
        continue;
      }
      split_real_pair(p, na, en, k);
    }
    store_split_block(p, ev, na, en);
    en -= 2;
  }
  if (p.n > 1) p.b(p.n, 1) = epsb;
}

// ---------------------------------------------------------------------
// Step 4: eigenvectors

// x / y for complex numbers, scaled against overflow.
struct Complex {
  double re;
  double im;
};

Complex divide(Complex x, Complex y) {
  if (std::abs(y.im) <= std::abs(y.re)) {
    const double rr = y.im / y.re;
    const double d = y.re + y.im * rr;
    return {(x.re + x.im * rr) / d, (x.im - x.re * rr) / d};
  }
  const double rr = y.re / y.im;
  const double d = y.re * rr + y.im;
  return {(x.re * rr + x.im) / d, (x.im * rr - x.re) / d};
}

// Row i is the lower row of a 2 x 2 block of A (complex eigenvalues), to be
// solved together with the row above.
bool lower_row_of_block(const Pencil &p, int i, double betm) { return i != 1 && betm * p.a(i, i - 1) != 0.0; }

// Back substitution for the eigenvector of the real eigenvalue
// alfm / betm at en, into column en of B's upper triangle. A 2 x 2 block of
// A above it is solved as a pair of rows.
void real_vector(const Pencil &p, int en, double alfm, double betm, double epsb) {
  p.b(en, en) = 1.0;
  int m = en;  // rows m..en are solved
  bool pending_lower_row = false;
  double zz = 0.0;
  double s = 0.0;
  for (int i = en - 1; i >= 1; --i) {
    const double w = betm * p.a(i, i) - alfm * p.b(i, i);
    double r = 0.0;
    for (int j = m; j <= en; ++j) r += (betm * p.a(i, j) - alfm * p.b(i, j)) * p.b(j, en);
    if (!pending_lower_row && lower_row_of_block(p, i, betm)) {
      zz = w;
      s = r;
      pending_lower_row = true;
      continue;
    }
    m = i;
    if (!pending_lower_row) {
      p.b(i, en) = -r / (w == 0.0 ? epsb : w);
      continue;
    }
    // Rows i and i+1:  w t_i + x t_i+1 = -r,  y t_i + zz t_i+1 = -s.
    const double x = betm * p.a(i, i + 1) - alfm * p.b(i, i + 1);
    const double y = betm * p.a(i + 1, i);
    double q = w * zz - x * y;
    if (q == 0.0) q = epsb;
    const double t = (x * s - zz * r) / q;
    p.b(i, en) = t;
    if (std::abs(x) > std::abs(zz))
      p.b(i + 1, en) = (-r - w * t) / x;
    else
      p.b(i + 1, en) = (-s - y * t) / (zz == 0.0 ? epsb : zz);
    pending_lower_row = false;
  }
}

// Back substitution for the eigenvector of the complex eigenvalue
// (almr + i almi) / betm of the pair at na, en: real part into column na,
// imaginary part into column en. The last component is chosen imaginary so
// that the eigenvector matrix stays triangular.
void complex_vector(const Pencil &p, int na, int en, double almr, double almi, double betm, double epsb) {
  const double y_en = betm * p.a(en, na);
  p.b(na, na) = -almi * p.b(en, en) / y_en;
  p.b(na, en) = (almr * p.b(en, en) - betm * p.a(en, en)) / y_en;
  p.b(en, na) = 0.0;
  p.b(en, en) = 1.0;
  int m = na;
  bool pending_lower_row = false;
  Complex lower_pivot{0.0, 0.0};  // zz + i z1 of the pending row
  Complex lower_sum{0.0, 0.0};    // r + i s of the pending row
  for (int i = na - 1; i >= 1; --i) {
    const Complex w{betm * p.a(i, i) - almr * p.b(i, i), -almi * p.b(i, i)};
    Complex sum{0.0, 0.0};
    for (int j = m; j <= en; ++j) {
      const double x = betm * p.a(i, j) - almr * p.b(i, j);
      const double x1 = -almi * p.b(i, j);
      sum.re += x * p.b(j, na) - x1 * p.b(j, en);
      sum.im += x * p.b(j, en) + x1 * p.b(j, na);
    }
    if (!pending_lower_row && lower_row_of_block(p, i, betm)) {
      lower_pivot = w;
      lower_sum = sum;
      pending_lower_row = true;
      continue;
    }
    m = i;
    if (!pending_lower_row) {
      const Complex pivot = (w.re == 0.0 && w.im == 0.0) ? Complex{epsb, 0.0} : w;
      const Complex t = divide({-sum.re, -sum.im}, pivot);
      p.b(i, na) = t.re;
      p.b(i, en) = t.im;
      continue;
    }
    // Rows i and i+1:  w t_i + x t_i+1 = -sum,  y t_i + lower_pivot t_i+1 = -lower_sum.
    const double x = betm * p.a(i, i + 1) - almr * p.b(i, i + 1);
    const double x1 = -almi * p.b(i, i + 1);
    const double y = betm * p.a(i + 1, i);
    const double zz = lower_pivot.re;
    const double z1 = lower_pivot.im;
    const double r = lower_sum.re;
    const double s = lower_sum.im;
    Complex det{w.re * zz - w.im * z1 - x * y, w.re * z1 + w.im * zz - x1 * y};
    if (det.re == 0.0 && det.im == 0.0) det.re = epsb;
    const Complex lower = divide({y * sum.re - w.re * r + w.im * s, y * sum.im - w.re * s - w.im * r}, det);
    p.b(i + 1, na) = lower.re;
    p.b(i + 1, en) = lower.im;
    Complex upper{0.0, 0.0};
    if (std::abs(y) > std::abs(w.re) + std::abs(w.im)) {
      upper = {(-r - zz * lower.re + z1 * lower.im) / y, (-s - zz * lower.im - z1 * lower.re) / y};
    } else {
      const Complex pivot = (w.re == 0.0 && w.im == 0.0) ? Complex{epsb, 0.0} : w;
      upper = divide({-sum.re - x * lower.re + x1 * lower.im, -sum.im - x * lower.im - x1 * lower.re}, pivot);
    }
    p.b(i, na) = upper.re;
    p.b(i, en) = upper.im;
    pending_lower_row = false;
  }
}

// Z times the upper triangle of B, column by column from the last, each
// column of the product summed in ascending k as contiguous updates.
void back_transform(const Pencil &p) {
  const int n = p.n;
  std::vector<double> product(static_cast<std::size_t>(n));
  for (int j = n; j >= 1; --j) {
    std::fill(product.begin(), product.end(), 0.0);
    for (int k = 1; k <= j; ++k) {
      const double factor = p.b(k, j);
      const double *zk = p.z.column(k);
      for (int i = 0; i < n; ++i) product[static_cast<std::size_t>(i)] += zk[i] * factor;
    }
    std::copy(product.begin(), product.end(), p.z.column(j));
  }
}

// Scales each eigenvector (each complex pair of columns together) so that
// its largest component has magnitude 1.
void normalize_vectors(const Pencil &p, const Roots &ev) {
  const int n = p.n;
  for (int j = 1; j <= n; ++j) {
    double *re = p.z.column(j);
    double *im = nullptr;
    if (ev.alfi[j - 1] != 0.0 && j < n) im = p.z.column(j + 1);
    double largest = 0.0;
    for (int i = 0; i < n; ++i) {
      double size = std::abs(re[i]);
      if (im != nullptr) {
        const double sum = size + std::abs(im[i]);
        size = sum == 0.0 ? 0.0 : sum * std::sqrt((re[i] / sum) * (re[i] / sum) + (im[i] / sum) * (im[i] / sum));
      }
      largest = std::max(largest, size);
    }
    if (largest != 0.0) {
      for (int i = 0; i < n; ++i) re[i] /= largest;
      if (im != nullptr)
        for (int i = 0; i < n; ++i) im[i] /= largest;
    }
    if (im != nullptr) ++j;
  }
}

void compute_eigenvectors(const Pencil &p, const Roots &ev) {
  const int n = p.n;
  if (n < 1) return;
  const double epsb = p.b(n, 1);
  for (int en = n; en >= 1; --en) {
    if (ev.alfi[en - 1] == 0.0) {
      real_vector(p, en, ev.alfr[en - 1], ev.beta[en - 1], epsb);
    } else if (en > 1) {
      const int na = en - 1;
      complex_vector(p, na, en, ev.alfr[na - 1], ev.alfi[na - 1], ev.beta[na - 1], epsb);
      --en;
    }
  }
  back_transform(p);
  normalize_vectors(p, ev);
}

// The order fits the leading dimension and every array the call needs is
// present (Z only when transformations are accumulated).
bool usable(const int *nm, const int *n, std::initializer_list<const void *> arrays, bool accumulate,
            const double *z) {
  if (nm == nullptr || n == nullptr || *n > *nm) return false;
  if (*n <= 0) return true;
  if (accumulate && z == nullptr) return false;
  return std::all_of(arrays.begin(), arrays.end(), [](const void *array) { return array != nullptr; });
}

Pencil pencil(const int *nm, const int *n, double *a, double *b, double *z, bool accumulate) {
  return {{a, *nm}, {b, *nm}, {z, *nm}, *n, accumulate};
}

}  // namespace

extern "C" {

ZEL_API void ZEL_QZHESS(const int *nm, const int *n, double *a, double *b, const int *matz, double *z) {
  ZEL_GUARDED_VOID({
    const bool accumulate = matz != nullptr && *matz != 0;
    if (!usable(nm, n, {a, b}, accumulate, z)) return;
    reduce_to_hessenberg_triangular(pencil(nm, n, a, b, z, accumulate));
  });
}

ZEL_API void ZEL_QZITT(const int *nm, const int *n, double *a, double *b, const double *eps1, const int *matz,
                       double *z, int *ierr) {
  ZEL_GUARDED_VOID({
    const bool accumulate = matz != nullptr && *matz != 0;
    const bool ok = eps1 != nullptr && usable(nm, n, {a, b}, accumulate, z);
    const int result = ok ? reduce_to_quasi_triangular(pencil(nm, n, a, b, z, accumulate), *eps1) : -1;
    if (ierr != nullptr) *ierr = result;
  });
}

ZEL_API void ZEL_QZVALL(const int *nm, const int *n, double *a, double *b, double *alfr, double *alfi,
                        double *beta, const int *matz, double *z) {
  ZEL_GUARDED_VOID({
    const bool accumulate = matz != nullptr && *matz != 0;
    if (!usable(nm, n, {a, b, alfr, alfi, beta}, accumulate, z)) return;
    compute_eigenvalues(pencil(nm, n, a, b, z, accumulate), {alfr, alfi, beta});
  });
}

ZEL_API void ZEL_QZVECC(const int *nm, const int *n, double *a, double *b, const double *alfr,
                        const double *alfi, const double *beta, double *z) {
  ZEL_GUARDED_VOID({
    if (!usable(nm, n, {a, b, alfr, alfi, beta}, true, z)) return;
    compute_eigenvectors(pencil(nm, n, a, b, z, true), {alfr, alfi, beta});
  });
}

// Halves x until adding it to 1 no longer changes 1. The sum is stored
// through a volatile so that it is rounded to double precision even where
// intermediates are kept wider, and so that the test cannot be folded into
// x > 0. The number of halvings is bounded for an infinite x.
ZEL_API double EIGPSN(double *x) {
  return ZEL_GUARDED(0.0, {
    if (x == nullptr) return 0.0;
    constexpr int kMostHalvings = std::numeric_limits<double>::max_exponent -
                                  std::numeric_limits<double>::min_exponent +
                                  std::numeric_limits<double>::digits;
    volatile double level = *x;
    for (int halvings = 0; halvings < kMostHalvings; ++halvings) {
      volatile double sum = 1.0 + level;
      if (!(sum > 1.0)) break;
      level = level * 0.5;
    }
    *x = level;
    return static_cast<double>(level);
  });
}

}  // extern "C"
