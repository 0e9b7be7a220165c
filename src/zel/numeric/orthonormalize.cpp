// Mode orthonormalization: eigenmodes of the generalized matrices, mass
// normalization, and the mode data, loads, damping and invariants carried
// over to the new modes.
#include "numeric/orthonormalize.h"

#include <cblas.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <numeric>
#include <vector>

#include "body/database.h"
#include "body/invariants.h"
#include "body/store_rewrite.h"
#include "body/tempstore.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "platform/build_profile.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelwrite";

constexpr double kOneOverTwoPi = 0.15915494309188485;
// A diagonal generalized mass this small is no mass at all.
constexpr double kZeroMass = 1e-15;
// Eigenvalues up to this size (and at most this share of the seventh one)
// may belong to rigid-body modes.
constexpr double kRigidBodyEigenvalue = 1.0;
constexpr double kRigidBodyShare = 0.001;
constexpr int32_t kRigidBodyModes = 6;
constexpr char kOrthogonalStore[] = "Orthogonal mode file: %s";

// Fields of an eigenvalue record.
enum RecordField { kNumberField = 0, kEigenvalueField, kHertzField, kRadiansField, kMassField, kStiffnessField };
constexpr std::size_t kRecordSize = 6;

double *record_of(std::vector<double> &records, int32_t mode) {
  return records.data() + kRecordSize * static_cast<std::size_t>(mode);
}

std::size_t cell(int32_t row, int32_t col, int32_t n) {
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(n) + static_cast<std::size_t>(col);
}

bool not_orthonormal(const Database &db) { return db.gen_not_diagonal != 0 || db.gen_mass_not_unit != 0; }


// The eigenvalue and the two frequencies that follow from it.
void set_eigenvalue(Database &db, double *record, double lambda) {
  const double scaled = ZEL_UCF(&db) * lambda;
  const double omega = scaled >= 0.0 ? std::sqrt(scaled) : -std::sqrt(-scaled);
  record[kEigenvalueField] = lambda;
  record[kRadiansField] = omega;
  record[kHertzField] = omega * kOneOverTwoPi;
}

std::vector<double> identity(int32_t n) {
  std::vector<double> matrix(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0.0);
  for (int32_t i = 0; i < n; ++i) matrix[cell(i, i, n)] = 1.0;
  return matrix;
}

// x^T A y over n x n row-major A.
double quadratic_form(const std::vector<double> &a, const double *x, const double *y, int32_t n) {
  std::vector<double> ay(static_cast<std::size_t>(n));
  cblas_dgemv(CblasRowMajor, CblasNoTrans, n, n, 1.0, a.data(), n, y, 1, 0.0, ay.data(), 1);
  return cblas_ddot(n, x, 1, ay.data(), 1);
}

// ------------------------------------------------------------ the full problem

// Eigenvectors in columns of a row-major n x n matrix and their
// eigenvalues, as QZ gives them.
struct Eigenpairs {
  std::vector<double> vectors;
  std::vector<double> values;
};

bool solve_pencil(Database &db, int32_t n, Eigenpairs &pairs) {
  std::vector<double> a(static_cast<std::size_t>(n) * n), b(a.size()), z(a.size());
  std::vector<double> alfr(static_cast<std::size_t>(n)), alfi(alfr.size()), beta(alfr.size());
  // Both matrices are symmetric, so row order is column order.
  ZEL_GenStiffFull(&db, a.data(), n);
  ZEL_GenMassFull(&db, b.data(), n);
  const int matz = 1;
  const double eps1 = 0.0;
  int ierr = 0;
  ZEL_Info("  (Finding upper Hessenberg and upper triangular forms)");
  ZEL_QZHESS(&n, &n, a.data(), b.data(), &matz, z.data());
  ZEL_Info("  (Converting upper Hessenberg form to quasi-upper triangular)");
  ZEL_QZITT(&n, &n, a.data(), b.data(), &eps1, &matz, z.data(), &ierr);
  if (ierr != 0) {
    // An unfinished reduction gives eigenpairs that only look right.
    ZEL_Error("The generalized eigenvalue problem did not converge (eigenvalue %d); the modes are left as "
              "they were.",
              ierr);
    return false;
  }
  ZEL_Info("  (Calculating Eigenvalues)");
  ZEL_QZVALL(&n, &n, a.data(), b.data(), alfr.data(), alfi.data(), beta.data(), &matz, z.data());
  ZEL_Info("  (Calculating Eigenvectors)");
  ZEL_QZVECC(&n, &n, a.data(), b.data(), alfr.data(), alfi.data(), beta.data(), z.data());

  pairs.vectors.resize(a.size());
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) pairs.vectors[cell(i, j, n)] = z[cell(j, i, n)];
  pairs.values.resize(static_cast<std::size_t>(n));
  for (int32_t j = 0; j < n; ++j) {
    const std::size_t k = static_cast<std::size_t>(j);
    if (beta[k] == 0.0) {
      ZEL_Warning("Mode %d is not physically meaningful\nIt contains an infinite eigenvalue.  Ignoring this mode.\n",
                  j + 1);
      pairs.values[k] = kInfiniteEigenvalue;
      continue;
    }
    if (alfi[k] != 0.0) {
      ZEL_Warning("Flexible component is not physically meaningful\nIt contains an eigenvalue with a nonzero "
                  "imaginary part, %lf\nThis imaginary part is being ignored.  Please verify that this is "
                  "acceptable.",
                  alfi[k] / beta[k]);
      ZEL_Warning("The complex eigenvalue belongs to mode %d.", j + 1);
    }
    pairs.values[k] = alfr[k] / beta[k];
  }
  return true;
}

// Ascending eigenvalues; equal ones in the reverse of QZ's order. Sorted as
// indices and then permuted in place along the permutation's cycles.
void sort_eigenpairs(Eigenpairs &pairs, int32_t n) {
  std::vector<int32_t> order(static_cast<std::size_t>(n));
  std::iota(order.rbegin(), order.rend(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t p, int32_t q) {
    return pairs.values[static_cast<std::size_t>(p)] < pairs.values[static_cast<std::size_t>(q)];
  });
  // where[k]: the position that now holds the pair wanted at position k.
  std::vector<int32_t> where(order), position(static_cast<std::size_t>(n));
  for (int32_t k = 0; k < n; ++k) position[static_cast<std::size_t>(where[static_cast<std::size_t>(k)])] = k;
  for (int32_t k = 0; k < n; ++k) {
    const int32_t from = where[static_cast<std::size_t>(k)];
    if (from == k) continue;
    SwapEigenpairs(pairs.values.data(), pairs.vectors.data(), n, k, from);
    // The pair that stood at k is now at `from`.
    const int32_t displaced = position[static_cast<std::size_t>(k)];
    where[static_cast<std::size_t>(displaced)] = from;
    position[static_cast<std::size_t>(from)] = displaced;
  }
}

void report_eigenvalues(Database &db, const std::vector<double> &values, int32_t n) {
  ZEL_Info("%49s", "");
  ZEL_Info("  Real Eigenvalues and Natural Frequencies [Hz] :");
  ZEL_Info("  ===============================================");
  const double seventh = n > kRigidBodyModes ? values[kRigidBodyModes] : 0.0;
  const double ucf = ZEL_UCF(&db);
  for (int32_t j = 0; j < n; ++j) {
    const double lambda = values[static_cast<std::size_t>(j)];
    const bool candidate = std::fabs(lambda) <= kRigidBodyEigenvalue &&
                           (n <= kRigidBodyModes || std::fabs(lambda) <= kRigidBodyShare * seventh);
    if (lambda == kInfiniteEigenvalue)
      ZEL_Info(" %3d : Infinity.  Possible mass singularity.  Ignored.", j + 1);
    else if (lambda >= 0.0 && candidate)
      ZEL_Info(" %3d : %20.14e  %20.14e (probable rigid body mode)", j + 1, lambda,
               std::sqrt(ucf * lambda) * kOneOverTwoPi);
    else if (lambda >= 0.0)
      ZEL_Info(" %3d : %20.14e  %20.14e", j + 1, lambda, std::sqrt(ucf * lambda) * kOneOverTwoPi);
    else if (candidate)
      ZEL_Info(" %3d : %20.14e  Sqrt undefined.     (probable rigid body mode)", j + 1, lambda);
    else
      ZEL_Info(" %3d : %20.14e  Sqrt undefined.  Possible problem with input data.", j + 1, lambda);
  }
}

// Mass-orthonormalizes the columns of the finite eigenpairs: modified
// Gram-Schmidt, twice, so that the result is orthonormal to round-off
// however close two eigenvalues lie (QZ's vectors of a cluster are only as
// orthogonal as the gaps allow). False, naming the mode, for a column
// without positive mass.
bool mass_orthonormalize(const std::vector<double> &mass, Eigenpairs &pairs, int32_t n) {
  std::vector<double> column(static_cast<std::size_t>(n)), weighted(column.size());
  std::vector<std::vector<double>> done;  // M x_k of the columns finished
  for (int32_t j = 0; j < n && pairs.values[static_cast<std::size_t>(j)] != kInfiniteEigenvalue; ++j) {
    for (int32_t i = 0; i < n; ++i) column[static_cast<std::size_t>(i)] = pairs.vectors[cell(i, j, n)];
    for (int pass = 0; pass < 2; ++pass)
      for (std::size_t k = 0; k < done.size(); ++k) {
        const double projection = cblas_ddot(n, done[k].data(), 1, column.data(), 1);
        cblas_daxpy(n, -projection, pairs.vectors.data() + k, n, column.data(), 1);
      }
    cblas_dgemv(CblasRowMajor, CblasNoTrans, n, n, 1.0, mass.data(), n, column.data(), 1, 0.0, weighted.data(), 1);
    const double s = cblas_ddot(n, column.data(), 1, weighted.data(), 1);
    if (!(s > 0.0)) {
      ZEL_Error("Mode %d has a generalized mass that is not positive (%g): the modes cannot be mass normalized.",
                j + 1, s);
      return false;
    }
    const double scale = 1.0 / std::sqrt(s);
    for (int32_t i = 0; i < n; ++i) pairs.vectors[cell(i, j, n)] = column[static_cast<std::size_t>(i)] * scale;
    cblas_dscal(n, scale, weighted.data(), 1);
    done.push_back(weighted);
  }
  return true;
}

// --------------------------------------------------------- the scratch state

// Everything the operation changes, computed before any of it is installed.
struct Staged {
  int32_t n = 0;                        // modes before
  std::vector<double> transform;        // n x n
  std::vector<double> records;          // n eigenvalue records
  bool renumber = false;                // modes become 1, 2, 3 ...
  bool drop_gen_matrices = false;       // the stiffness and mass lists are spent
  std::vector<int32_t> kept;            // old indices of the kept modes (columns)
  bool recombine = false;               // mode data, loads, damping change
  std::vector<GenEntry> gen_damp;
  std::vector<std::vector<double>> loads;
  std::vector<double> preload;
  std::array<TempStore, kValueSetCount> stores;
  std::array<bool, kValueSetCount> store_built{};
  // Modal invariants carried over (held ones only).
  std::vector<double> invar3, invar4;
  std::vector<std::vector<double>> invar5;
  std::vector<std::array<double, 9>> invar8, invar9;

  int32_t count() const { return static_cast<int32_t>(kept.size()); }
};

// Eigenvalue records from the full problem: T^T M T = I, the eigenvalue
// the stiffness of the orthonormal column.
bool solve_full(Database &db, Staged &staged) {
  const int32_t n = staged.n;
  ZEL_Info("\nSolving Generalized Eigenvalue Problem to orthogonalize mode shapes.");
  Eigenpairs pairs;
  if (!solve_pencil(db, n, pairs)) return false;
  sort_eigenpairs(pairs, n);
  report_eigenvalues(db, pairs.values, n);

  std::vector<double> matrix(static_cast<std::size_t>(n) * n);
  ZEL_GenMassFull(&db, matrix.data(), n);
  ZEL_Info("\n  Appling Gram-Schmidt to eigenvectors \n ");
  if (!mass_orthonormalize(matrix, pairs, n)) return false;

  ZEL_GenStiffFull(&db, matrix.data(), n);
  staged.records.assign(kRecordSize * static_cast<std::size_t>(n), 0.0);
  std::vector<double> column(static_cast<std::size_t>(n));
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < n; ++i) column[static_cast<std::size_t>(i)] = pairs.vectors[cell(i, j, n)];
    double *record = record_of(staged.records, j);
    const double stiffness = quadratic_form(matrix, column.data(), column.data(), n);
    record[kMassField] = 1.0;
    record[kStiffnessField] = stiffness;
    const double lambda = pairs.values[static_cast<std::size_t>(j)];
    set_eigenvalue(db, record, lambda == kInfiniteEigenvalue ? kInfiniteEigenvalue : stiffness);
  }
  staged.transform = std::move(pairs.vectors);
  staged.renumber = true;
  staged.drop_gen_matrices = true;
  return true;
}

void warn_zero_generalized_mass(int32_t mode) {
  if constexpr (profile::kCore)
    ZEL_Warning("Flexible component is not physically meaningful\nIt contains a zero generalized mass\n");
  else
    ZEL_Warning("Mode %d is not physically meaningful.\nIt is associated with a zero generalized mass\n", mode);
}

// Whether the builder gave mode index `index` a generalized mass. Without
// one the queries stand in a mass so small against the stiffness that the
// mode would be written with an eigenvalue of 1e16.
bool has_generalized_mass(const Database &db, int32_t index) {
  return std::any_of(db.gen_mass.begin(), db.gen_mass.end(),
                     [index](const GenEntry &entry) { return entry.row == index && entry.col == index; });
}

// Records from diagonal generalized matrices (BuildEigenTable's work).
bool records_from_diagonal(Database &db, std::vector<double> &records) {
  const int32_t n = db.mode_count();
  records.assign(kRecordSize * static_cast<std::size_t>(n), 0.0);
  for (int32_t i = 0; i < n; ++i) {
    double mass = 0.0;
    double stiffness = 0.0;
    if (!ZEL_Eigenvalue(&db, db.mode_numbers[static_cast<std::size_t>(i)], nullptr, nullptr, nullptr, &mass,
                        &stiffness)) {
      ZEL_Error("Attempting to look at eigenvalues of non-orthogonal data");
      return false;
    }
    double *record = record_of(records, i);
    record[kMassField] = mass;
    record[kStiffnessField] = stiffness;
    if (std::fabs(mass) <= kZeroMass || !has_generalized_mass(db, i)) {
      warn_zero_generalized_mass(i + 1);
      set_eigenvalue(db, record, kInfiniteEigenvalue);
      continue;
    }
    set_eigenvalue(db, record, stiffness / mass);
    if (!not_orthonormal(db)) record[kMassField] = 1.0;
  }
  return true;
}

bool has_records(const Database &db) {
  return db.eigen_count >= db.mode_count() && db.eigen.size() >= kRecordSize * static_cast<std::size_t>(db.mode_count());
}

// ----------------------------------------------------- carrying data over

// X (rows x n) T(:, 0..c-1) -> rows x c, T n x n row-major.
std::vector<double> times_transform(const double *x, int32_t rows, const Staged &s) {
  std::vector<double> result(static_cast<std::size_t>(rows) * static_cast<std::size_t>(s.count()));
  if (rows > 0)
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, rows, s.count(), s.n, 1.0, x, s.n,
                s.transform.data(), s.n, 0.0, result.data(), s.count());
  return result;
}

// T(:, 0..c-1)^T X (n x cols) -> c x cols.
std::vector<double> transform_times(const double *x, int32_t cols, const Staged &s) {
  std::vector<double> result(static_cast<std::size_t>(s.count()) * static_cast<std::size_t>(cols));
  if (cols > 0)
    cblas_dgemm(CblasRowMajor, CblasTrans, CblasNoTrans, s.count(), cols, s.n, 1.0, s.transform.data(), s.n, x,
                cols, 0.0, result.data(), cols);
  return result;
}

// A per-mode vector (shorter ones are padded with zeros: modes added after
// it was laid out) as a row vector times T.
bool transform_vector(const std::vector<double> &values, const Staged &s, std::vector<double> &result) {
  if (values.size() > static_cast<std::size_t>(s.n)) return false;
  std::vector<double> padded(values);
  padded.resize(static_cast<std::size_t>(s.n), 0.0);
  result = times_transform(padded.data(), 1, s);
  return true;
}

bool transform_loads(const Database &db, Staged &s) {
  s.loads.resize(db.load_cases.size());
  for (std::size_t k = 0; k < db.load_cases.size(); ++k)
    if (!transform_vector(db.load_cases[k].values, s, s.loads[k])) {
      ZEL_Error("Failed to transform modal loads following orthonormalization.\n");
      return false;
    }
  if (!db.preload.empty() && !transform_vector(db.preload, s, s.preload)) {
    ZEL_Error("Failed to transform modal loads following orthonormalization.\n");
    return false;
  }
  return true;
}

// Full problem: D' = T^T D T, upper triangle. Diagonal problem: each entry
// divided by its modes' factors, entries of dropped modes left out.
void transform_damping(Database &db, Staged &s, const std::vector<double> &factors) {
  if (db.gen_damp.empty()) return;
  if (!db.gen_not_diagonal) {
    std::vector<int32_t> new_index(static_cast<std::size_t>(s.n), -1);
    for (int32_t j = 0; j < s.count(); ++j) new_index[static_cast<std::size_t>(s.kept[static_cast<std::size_t>(j)])] = j;
    for (const GenEntry &entry : db.gen_damp) {
      if (entry.row < 0 || entry.col < 0 || entry.row >= s.n || entry.col >= s.n) continue;
      const int32_t row = new_index[static_cast<std::size_t>(entry.row)];
      const int32_t col = new_index[static_cast<std::size_t>(entry.col)];
      if (row < 0 || col < 0) continue;
      const double product = factors[static_cast<std::size_t>(entry.row)] * factors[static_cast<std::size_t>(entry.col)];
      s.gen_damp.push_back(GenEntry{row, col, product != 0.0 ? entry.value / product : entry.value});
    }
    return;
  }
  std::vector<double> damping(static_cast<std::size_t>(s.n) * s.n);
  ZEL_GenDampFull(&db, damping.data(), s.n);
  const std::vector<double> right = times_transform(damping.data(), s.n, s);  // n x c
  const std::vector<double> both = transform_times(right.data(), s.count(), s);
  for (int32_t r = 0; r < s.count(); ++r)
    for (int32_t c = r; c < s.count(); ++c)
      if (both[cell(r, c, s.count())] != 0.0) s.gen_damp.push_back(GenEntry{r, c, both[cell(r, c, s.count())]});
}

bool held_and_not_computed(const Database &db, int number, bool held) {
  return held && (db.computed_invariants & (1u << number)) == 0;
}

// The modal invariants the builder set or the file held, for the new
// modes: 3, 4 and 8 are linear in the modes (I' = I T), 5 and 9 bilinear.
void transform_invariants(Database &db, Staged &s) {
  hold_read_modal_invariants(db);
  // Only those held: laying out one that is not would leave zeros that
  // pass for held values and keep it from ever being computed.
  const std::pair<Invariant, int> modal[] = {
      {Invariant::k3, 3}, {Invariant::k4, 4}, {Invariant::k5, 5}, {Invariant::k8, 8}, {Invariant::k9, 9}};
  for (const auto &[invariant, number] : modal)
    if (invariant_held(db, number)) cover_modal_invariant(db, invariant);
  const std::size_t n = static_cast<std::size_t>(s.n);
  const std::size_t c = static_cast<std::size_t>(s.count());
  if (held_and_not_computed(db, 3, db.invar3.size() == 3 * n)) s.invar3 = times_transform(db.invar3.data(), 3, s);
  if (held_and_not_computed(db, 4, db.invar4.size() == 3 * n)) s.invar4 = times_transform(db.invar4.data(), 3, s);
  if (held_and_not_computed(db, 8, db.invar8.size() == n)) {
    const std::vector<double> flat = transform_times(db.invar8.front().data(), 9, s);
    s.invar8.resize(c);
    for (std::size_t j = 0; j < c; ++j) std::copy_n(flat.data() + 9 * j, 9, s.invar8[j].data());
  }
  const bool invar5_laid_out = db.invar5.size() == n && std::all_of(db.invar5.begin(), db.invar5.end(), [n](const std::vector<double> &row) { return row.size() == 3 * n; });
  if (held_and_not_computed(db, 5, invar5_laid_out)) {
    // Per old mode i a 3 x n array: contract its modes, then the i.
    std::vector<double> rows;
    rows.reserve(3 * n * n);
    for (const std::vector<double> &row : db.invar5) rows.insert(rows.end(), row.begin(), row.end());
    const std::vector<double> inner = times_transform(rows.data(), static_cast<int32_t>(3 * n), s);  // n x 3c
    const std::vector<double> both = transform_times(inner.data(), static_cast<int32_t>(3 * c), s);   // c x 3c
    s.invar5.assign(c, std::vector<double>(3 * c));
    for (std::size_t j = 0; j < c; ++j) std::copy_n(both.data() + 3 * c * j, 3 * c, s.invar5[j].data());
  }
  if (held_and_not_computed(db, 9, db.invar9.size() == n * n)) {
    // Cell (i, k) of 9 values: contract k per i, then i.
    std::vector<double> inner(n * c * 9);
    for (std::size_t i = 0; i < n; ++i) {
      const std::vector<double> part = transform_times(db.invar9[i * n].data(), 9, s);  // c x 9
      std::copy(part.begin(), part.end(), inner.begin() + static_cast<std::ptrdiff_t>(i * c * 9));
    }
    const std::vector<double> both = transform_times(inner.data(), static_cast<int32_t>(9 * c), s);  // c x 9c
    s.invar9.resize(c * c);
    for (std::size_t cellno = 0; cellno < c * c; ++cellno) std::copy_n(both.data() + 9 * cellno, 9, s.invar9[cellno].data());
  }
}

// The kept modes' columns first, in order, the dropped ones after them;
// the kept records likewise, cut to the kept.
void move_kept_first(Staged &s) {
  std::vector<int32_t> columns(s.kept);
  for (int32_t j = 0; j < s.n; ++j)
    if (!std::binary_search(s.kept.begin(), s.kept.end(), j)) columns.push_back(j);
  std::vector<double> transform(s.transform.size());
  for (int32_t i = 0; i < s.n; ++i)
    for (int32_t j = 0; j < s.n; ++j) transform[cell(i, j, s.n)] = s.transform[cell(i, columns[static_cast<std::size_t>(j)], s.n)];
  s.transform = std::move(transform);
  std::vector<double> records;
  for (int32_t old : s.kept) records.insert(records.end(), record_of(s.records, old), record_of(s.records, old) + kRecordSize);
  s.records = std::move(records);
}

bool stage_recombination(Database &db, Staged &s) {
  std::vector<double> factors;
  try {
    factors.reserve(static_cast<std::size_t>(s.n));
  } catch (const std::bad_alloc &) {
    ZEL_Error("Failed to mass normalize the eigen vectors\n");
    return false;
  }
  if (!MassNormalizationFactors(s.records, factors)) return false;
  for (int32_t i = 0; i < s.n; ++i)
    for (int32_t j = 0; j < s.n; ++j) s.transform[cell(i, j, s.n)] /= factors[static_cast<std::size_t>(j)];
  move_kept_first(s);
  transform_damping(db, s, factors);
  if (!transform_loads(db, s)) return false;
  for (int set = 0; set < kValueSetCount; ++set) {
    if (!set_has_values(db, set)) continue;
    if (!recombine_store(db, set, s.transform, s.n, s.count(), kOrthogonalStore, s.stores[static_cast<std::size_t>(set)]))
      return false;
    s.store_built[static_cast<std::size_t>(set)] = true;
  }
  return true;
}

// Moves only, after the last allocation: installing cannot fail halfway.
void install(Database &db, Staged &s) {
  const int32_t c = s.count();
  std::vector<int32_t> numbers(static_cast<std::size_t>(c));
  for (int32_t j = 0; j < c; ++j)
    numbers[static_cast<std::size_t>(j)] =
        s.renumber ? j + 1 : db.mode_numbers[static_cast<std::size_t>(s.kept[static_cast<std::size_t>(j)])];
  for (int32_t j = 0; j < c; ++j) record_of(s.records, j)[kNumberField] = numbers[static_cast<std::size_t>(j)];
  // Without new mode data the modes stay; only the infinite ones at the end go.
  if (!s.recombine && c < s.n) s.transform = identity(c);

  db.transform_modes.swap(db.mode_numbers);
  db.mode_numbers = std::move(numbers);
  db.eigen = std::move(s.records);
  db.eigen_count = c;
  db.transform = std::move(s.transform);
  if (s.drop_gen_matrices) {
    db.gen_stiff.clear();
    db.gen_mass.clear();
  }
  if (s.recombine) {
    db.gen_damp = std::move(s.gen_damp);
    for (std::size_t k = 0; k < s.loads.size(); ++k) db.load_cases[k].values = std::move(s.loads[k]);
    if (!db.preload.empty()) db.preload = std::move(s.preload);
    for (int set = 0; set < kValueSetCount; ++set)
      if (s.store_built[static_cast<std::size_t>(set)]) install_store(db, set, s.stores[static_cast<std::size_t>(set)]);
  } else {
    for (LoadCase &load : db.load_cases) load.values.resize(std::min(load.values.size(), static_cast<std::size_t>(c)));
    db.preload.resize(std::min(db.preload.size(), static_cast<std::size_t>(c)));
  }
  forget_computed_invariants(db);
  if (!s.invar3.empty()) db.invar3 = std::move(s.invar3);
  if (!s.invar4.empty()) db.invar4 = std::move(s.invar4);
  if (!s.invar5.empty()) db.invar5 = std::move(s.invar5);
  if (!s.invar8.empty()) db.invar8 = std::move(s.invar8);
  if (!s.invar9.empty()) db.invar9 = std::move(s.invar9);
  db.cache_mode = {-1, -1, -1};
  db.gen_not_diagonal = 0;
  db.gen_mass_not_unit = 0;
}

int orthonormalize(Database &db) {
  if (!not_orthonormal(db) && !db.transform.empty()) return 1;
  Staged s;
  s.n = db.mode_count();
  if (s.n == 0) return 1;
  if (db.gen_not_diagonal) {
    if (!solve_full(db, s)) return 0;
  } else {
    s.transform = identity(s.n);
    if (has_records(db)) {
      s.records.assign(db.eigen.begin(), db.eigen.begin() + static_cast<std::ptrdiff_t>(kRecordSize * s.n));
    } else {
      if (!records_from_diagonal(db, s.records)) return 0;
      s.renumber = true;
      s.drop_gen_matrices = true;
    }
  }
  for (int32_t j = 0; j < s.n; ++j)
    if (record_of(s.records, j)[kEigenvalueField] != kInfiniteEigenvalue) s.kept.push_back(j);
  if (s.kept.empty()) {
    ZEL_Error("Every mode has an infinite eigenvalue: no mode is left to write. Each mode needs a generalized "
              "mass (1.0 for mass-normalized modes).");
    return 0;
  }
  // Dropping modes from the end needs no new mode data; any other change does.
  s.recombine = not_orthonormal(db) || s.kept.back() != s.count() - 1;
  if (s.recombine) {
    if (!stage_recombination(db, s)) return 0;
  } else {
    move_kept_first(s);
  }
  transform_invariants(db, s);
  install(db, s);
  return 1;
}

}  // namespace

bool MassNormalizationFactors(std::vector<double> &records, std::vector<double> &factors) {
  const std::size_t n = records.size() / kRecordSize;
  factors.assign(n, 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    double *record = records.data() + kRecordSize * i;
    const double mass = record[kMassField];
    if (mass == 0.0) continue;
    if (mass < 0.0) {
      ZEL_Error("Mode %d has a negative generalized mass (%g): the modes cannot be mass normalized.",
                static_cast<int>(i) + 1, mass);
      return false;
    }
    factors[i] = std::sqrt(mass);
    record[kMassField] = 1.0;
    record[kStiffnessField] = record[kEigenvalueField];
  }
  return true;
}

void SwapEigenpairs(double *values, double *matrix, int32_t n, int32_t i, int32_t j) {
  std::swap(values[i], values[j]);
  for (int32_t row = 0; row < n; ++row) std::swap(matrix[cell(row, i, n)], matrix[cell(row, j, n)]);
}

int OrthonormalizeModes(Database *db) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, { return orthonormalize(*db); });
}

int BuildEigenTable(Database *db) {
  if (!CheckZEL(db)) return 0;
  if (has_records(*db) && db->mode_count() > 0) return 1;
  return ZEL_GUARDED(0, {
    std::vector<double> records;
    if (!records_from_diagonal(*db, records)) return 0;
    const int32_t n = db->mode_count();
    db->transform_modes = db->mode_numbers;
    for (int32_t i = 0; i < n; ++i) {
      db->mode_numbers[static_cast<std::size_t>(i)] = i + 1;
      record_of(records, i)[kNumberField] = i + 1;
    }
    db->eigen = std::move(records);
    db->eigen_count = n;
    db->gen_stiff.clear();
    db->gen_mass.clear();
    return 1;
  });
}

int WriteOrthogonalModeFile(Database *db, int set, int32_t new_count) {
  if (!CheckZEL(db) || set < 0 || set >= kValueSetCount) return 0;
  if (db->transform.empty()) return 1;
  return ZEL_GUARDED(0, {
    Staged s;
    s.n = static_cast<int32_t>(std::lround(std::sqrt(static_cast<double>(db->transform.size()))));
    // A transformation that is not square would be read past its end.
    if (s.n != db->mode_count() || db->transform.size() != static_cast<std::size_t>(s.n) * static_cast<std::size_t>(s.n) ||
        new_count < 1 || new_count > s.n)
      return 0;
    s.transform = db->transform;
    s.kept.resize(static_cast<std::size_t>(new_count));
    std::iota(s.kept.begin(), s.kept.end(), 0);
    TempStore store;
    if (!recombine_store(*db, set, s.transform, s.n, s.count(), kOrthogonalStore, store)) return 0;
    install_store(*db, set, store);
    return 1;
  });
}

}  // namespace zel
