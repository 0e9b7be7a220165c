// Mass-weighted modal sums as BLAS products over panels of modes.
//
// A panel holds the translations of `count` consecutive modes mode-major:
// row 3k + a is translation a of the panel's mode k at every node. Filling
// it reads each mode record once, front to back, and writes three
// contiguous rows; the products then see plain row-major matrices:
//   moments(:, panel) = W A^T        W the 4 x N weights m (1, x, y, z)
//   gram(k, l)        = (m A_k) A_l^T
// The mass goes on one side only: splitting it as sqrt(m) on both would
// round values that are exact, and take the sign of a negative mass away.
#include "invariant_sums.h"

#include <cblas.h>

#include <algorithm>
#include <cstdlib>

#include "database.h"
#include "mode_cache.h"

namespace zel {
namespace {

constexpr std::size_t kDefaultBudgetMiB = 512;
constexpr std::size_t kMiB = std::size_t{1} << 20;

// What each node of set 0 contributes besides its mode values.
struct NodeWeights {
  std::size_t count = 0;
  std::vector<double> moments;    // 4 x N: m (1, x, y, z); row 0 is m
  std::vector<int32_t> rotary;    // nodes with a rotary inertia
};

NodeWeights weights_of(const Database &db) {
  NodeWeights w;
  w.count = static_cast<std::size_t>(db.set_count(kModeShapeSet));
  w.moments.resize(4 * w.count);
  for (std::size_t p = 0; p < w.count; ++p) {
    const NodeRecord &node = db.nodes[p];
    w.moments[p] = node.mass;
    w.moments[w.count + p] = node.mass * node.x;
    w.moments[2 * w.count + p] = node.mass * node.y;
    w.moments[3 * w.count + p] = node.mass * node.z;
    if (node.inertia) w.rotary.push_back(static_cast<int32_t>(p));
  }
  return w;
}

struct Panel {
  int32_t first = 0;
  int32_t count = 0;
  std::vector<double> rows;      // 3 count x N
  std::vector<double> weighted;  // the rows times the masses, when asked for
};

// J theta of one mode summed over the nodes with a rotary inertia, J the
// symmetric tensor (Ixx, Iyy, Izz, Ixy, Ixz, Iyz).
void add_rotary(const Database &db, const NodeWeights &w, const double *six, double *sum) {
  for (const int32_t p : w.rotary) {
    const NodalInertia &j = *db.nodes[static_cast<std::size_t>(p)].inertia;
    const double *theta = six + 6 * static_cast<std::size_t>(p) + 3;
    sum[0] += j[0] * theta[0] + j[3] * theta[1] + j[4] * theta[2];
    sum[1] += j[3] * theta[0] + j[1] * theta[1] + j[5] * theta[2];
    sum[2] += j[4] * theta[0] + j[5] * theta[1] + j[2] * theta[2];
  }
}

// Reads modes [first, first + count) into the panel; their rotary sums
// too when `rotary` is given. False when a mode cannot be read.
bool load_panel(Database &db, const NodeWeights &w, int32_t first, int32_t count, Panel &panel,
                std::vector<double> *rotary) {
  panel.first = first;
  panel.count = count;
  panel.rows.resize(3 * static_cast<std::size_t>(count) * w.count);
  for (int32_t k = 0; k < count; ++k) {
    const std::size_t mode = static_cast<std::size_t>(first + k);
    const double *six = LoadCachedMode(&db, db.mode_numbers[mode], kModeShapeSet);
    if (six == nullptr) return false;
    double *rows = panel.rows.data() + 3 * static_cast<std::size_t>(k) * w.count;
    for (std::size_t p = 0; p < w.count; ++p)
      for (std::size_t a = 0; a < 3; ++a) rows[a * w.count + p] = six[6 * p + a];
    if (rotary != nullptr) add_rotary(db, w, six, rotary->data() + 3 * mode);
  }
  return true;
}

int blas_int(std::size_t value) { return static_cast<int>(value); }

void add_moments(const NodeWeights &w, const Panel &panel, ModalSums &sums) {
  const std::size_t width = 3 * static_cast<std::size_t>(sums.mode_count);
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, 4, 3 * panel.count, blas_int(w.count), 1.0,
              w.moments.data(), blas_int(w.count), panel.rows.data(), blas_int(w.count), 0.0,
              sums.moments.data() + 3 * static_cast<std::size_t>(panel.first), blas_int(width));
}

void weigh(const NodeWeights &w, Panel &panel) {
  panel.weighted.resize(panel.rows.size());
  for (std::size_t row = 0; row < panel.rows.size(); row += w.count)
    for (std::size_t p = 0; p < w.count; ++p) panel.weighted[row + p] = w.moments[p] * panel.rows[row + p];
}

// gram(k, l) = (m A_k) A_l^T, into the upper triangle's blocks.
void add_gram_block(const NodeWeights &w, const Panel &k, const Panel &l, ModalSums &sums) {
  const int ldg = 3 * sums.mode_count;
  double *block = sums.gram.data() + static_cast<std::size_t>(3 * k.first) * static_cast<std::size_t>(ldg) +
                  3 * static_cast<std::size_t>(l.first);
  const int n = blas_int(w.count);
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, 3 * k.count, 3 * l.count, n, 1.0, k.weighted.data(), n,
              l.rows.data(), n, 0.0, block, ldg);
}

void mirror_upper_triangle(std::vector<double> &matrix, std::size_t n) {
  for (std::size_t r = 1; r < n; ++r)
    for (std::size_t c = 0; c < r; ++c) matrix[r * n + c] = matrix[c * n + r];
}

// Modes per panel: all of them when they fit the budget, else as many as
// fit an outer panel (weighed too when pairs are formed) beside an inner
// one, at least one.
int32_t panel_modes(std::size_t nodes, int32_t modes, bool with_pairs, std::size_t budget) {
  const std::size_t mode_bytes = 3 * sizeof(double) * std::max<std::size_t>(nodes, 1);
  const std::size_t copies = with_pairs ? 2 : 1;
  if (copies * static_cast<std::size_t>(modes) * mode_bytes <= budget) return modes;
  return static_cast<int32_t>(std::clamp<std::size_t>(budget / ((copies + 1) * mode_bytes), 1, modes));
}

}  // namespace

std::size_t invariant_memory_budget() {
  const char *text = std::getenv("ZEL_INVARIANT_MEMORY");
  if (text != nullptr) {
    char *end = nullptr;
    const unsigned long long mib = std::strtoull(text, &end, 10);
    if (end != text && *end == '\0' && mib > 0 && mib < (std::size_t{1} << 40)) return mib * kMiB;
  }
  return kDefaultBudgetMiB * kMiB;
}

bool compute_modal_sums(Database &db, bool with_pairs, std::size_t budget, ModalSums &sums) {
  const int32_t modes = db.mode_count();
  const std::size_t width = 3 * static_cast<std::size_t>(modes);
  sums.mode_count = modes;
  sums.moments.assign(4 * width, 0.0);
  sums.rotary.assign(width, 0.0);
  sums.gram.assign(with_pairs ? width * width : 0, 0.0);
  const NodeWeights w = weights_of(db);
  if (modes == 0 || w.count == 0) return true;

  const int32_t step = panel_modes(w.count, modes, with_pairs, budget);
  Panel outer;
  Panel inner;
  for (int32_t first = 0; first < modes; first += step) {
    if (!load_panel(db, w, first, std::min(step, modes - first), outer, &sums.rotary)) return false;
    add_moments(w, outer, sums);
    if (!with_pairs) continue;
    weigh(w, outer);
    add_gram_block(w, outer, outer, sums);
    for (int32_t next = first + step; next < modes; next += step) {
      if (!load_panel(db, w, next, std::min(step, modes - next), inner, nullptr)) return false;
      add_gram_block(w, outer, inner, sums);
    }
  }
  if (with_pairs) mirror_upper_triangle(sums.gram, width);
  return true;
}

}  // namespace zel
