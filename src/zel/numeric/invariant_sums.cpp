// Mass-weighted modal sums as BLAS products over blocks of nodes.
//
// A block holds the translations of every mode at `count` consecutive
// nodes, mode-major: row 3i + a is translation a of mode i at each node of
// the block. Its values are read straight from each mode's records (the
// mode data is never held whole, and each record is read once), and the
// sums grow by one product per block:
//   moments += W A^T      W the 4 x count weights m (1, x, y, z)
//   gram    += (m A) A^T
// The mass goes on one side only: splitting it as sqrt(m) on both would
// round values that are exact, and take the sign of a negative mass away.
#include "numeric/invariant_sums.h"

#include <cblas.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "body/database.h"
#include "body/mode_cache.h"

namespace zel {
namespace {

constexpr std::size_t kDefaultBudgetMiB = 512;
constexpr std::size_t kMiB = std::size_t{1} << 20;
// Past this many nodes a block gains nothing: the products are already
// long enough to run at full speed, and smaller scratch is touched anew
// less.
constexpr std::size_t kMostBlockNodes = 4096;

// Room for values that are written before they are read; unlike a
// vector's, it is not zeroed first.
class Scratch {
 public:
  explicit Scratch(std::size_t size) : values_(new double[std::max<std::size_t>(size, 1)]) {}
  double *data() { return values_.get(); }
  const double *data() const { return values_.get(); }

 private:
  std::unique_ptr<double[]> values_;
};

int blas_int(std::size_t value) { return static_cast<int>(value); }

// The nodes [first, first + count) of set 0 and every mode's translations
// there.
class NodeBlock {
 public:
  NodeBlock(std::size_t modes, std::size_t most_nodes, bool weighted)
      : modes_(modes),
        rows_(3 * modes * most_nodes),
        weighted_rows_(weighted),
        weighted_(weighted ? 3 * modes * most_nodes : 0),
        weights_(4 * most_nodes),
        records_(6 * most_nodes) {}

  // Reads the block, and adds the rotary sums J theta of its nodes. False
  // when a mode cannot be read.
  bool load(Database &db, int32_t first, int32_t count, std::vector<double> &rotary) {
    first_ = first;
    count_ = static_cast<std::size_t>(count);
    fill_weights(db);
    for (std::size_t i = 0; i < modes_; ++i) {
      if (!ReadModeRecords(db, kModeShapeSet, static_cast<int32_t>(i), first, count, records_.data())) return false;
      spread_translations(i);
      add_rotary(db, &rotary[3 * i]);
    }
    return true;
  }

  void add_moments(ModalSums &sums) const {
    const int n = blas_int(count_);
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, 4, blas_int(3 * modes_), n, 1.0, weights_.data(), n,
                rows_.data(), n, 1.0, sums.moments.data(), blas_int(3 * modes_));
  }

  void add_gram(ModalSums &sums) const {
    const int n = blas_int(count_);
    const int width = blas_int(3 * modes_);
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, width, width, n, 1.0, weighted_.data(), n, rows_.data(),
                n, 1.0, sums.gram.data(), width);
  }

 private:
  void fill_weights(const Database &db) {
    for (std::size_t p = 0; p < count_; ++p) {
      const NodeRecord &node = db.nodes[static_cast<std::size_t>(first_) + p];
      weights_.data()[p] = node.mass;
      weights_.data()[count_ + p] = node.mass * node.x;
      weights_.data()[2 * count_ + p] = node.mass * node.y;
      weights_.data()[3 * count_ + p] = node.mass * node.z;
    }
  }

  // The records' translations of mode i into its three rows (and times
  // the masses into the weighted rows).
  void spread_translations(std::size_t i) {
    const double *records = records_.data();
    const double *mass = weights_.data();
    for (std::size_t a = 0; a < 3; ++a) {
      double *row = rows_.data() + (3 * i + a) * count_;
      for (std::size_t p = 0; p < count_; ++p) row[p] = records[6 * p + a];
      if (!weighted_rows_) continue;
      double *weighted = weighted_.data() + (3 * i + a) * count_;
      for (std::size_t p = 0; p < count_; ++p) weighted[p] = mass[p] * row[p];
    }
  }

  // J theta summed over the block's nodes with a rotary inertia, J the
  // symmetric tensor (Ixx, Iyy, Izz, Ixy, Ixz, Iyz).
  void add_rotary(const Database &db, double *sum) const {
    for (std::size_t p = 0; p < count_; ++p) {
      const std::unique_ptr<NodalInertia> &inertia = db.nodes[static_cast<std::size_t>(first_) + p].inertia;
      if (!inertia) continue;
      const NodalInertia &j = *inertia;
      const double *theta = records_.data() + 6 * p + 3;
      sum[0] += j[0] * theta[0] + j[3] * theta[1] + j[4] * theta[2];
      sum[1] += j[3] * theta[0] + j[1] * theta[1] + j[5] * theta[2];
      sum[2] += j[4] * theta[0] + j[5] * theta[1] + j[2] * theta[2];
    }
  }

  std::size_t modes_;
  int32_t first_ = 0;
  std::size_t count_ = 0;
  Scratch rows_;
  bool weighted_rows_;
  Scratch weighted_;
  Scratch weights_;
  Scratch records_;
};

// Nodes per block: as many as the budget holds (the translation rows,
// their weighted copy, one mode's records), at least one, at most
// kMostBlockNodes.
std::size_t block_nodes(std::size_t nodes, std::size_t modes, bool with_pairs, std::size_t budget) {
  const std::size_t node_bytes = sizeof(double) * ((with_pairs ? 6 : 3) * modes + 10);
  return std::clamp<std::size_t>(budget / node_bytes, 1, std::min(nodes, kMostBlockNodes));
}

// (m a) b and (m b) a round differently: the lower triangle takes the
// upper's values, so that invariant 5 is exactly antisymmetric and 9's
// (j, i) exactly the transpose of (i, j).
void mirror_upper_triangle(std::vector<double> &matrix, std::size_t n) {
  for (std::size_t r = 1; r < n; ++r)
    for (std::size_t c = 0; c < r; ++c) matrix[r * n + c] = matrix[c * n + r];
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
  const std::size_t modes = static_cast<std::size_t>(db.mode_count());
  const std::size_t nodes = static_cast<std::size_t>(db.set_count(kModeShapeSet));
  sums.mode_count = static_cast<int32_t>(modes);
  sums.moments.assign(12 * modes, 0.0);
  sums.rotary.assign(3 * modes, 0.0);
  sums.gram.assign(with_pairs ? 9 * modes * modes : 0, 0.0);
  if (modes == 0 || nodes == 0) return true;

  const std::size_t step = block_nodes(nodes, modes, with_pairs, budget);
  NodeBlock block(modes, step, with_pairs);
  for (std::size_t first = 0; first < nodes; first += step) {
    const int32_t count = static_cast<int32_t>(std::min(step, nodes - first));
    if (!block.load(db, static_cast<int32_t>(first), count, sums.rotary)) return false;
    block.add_moments(sums);
    if (with_pairs) block.add_gram(sums);
  }
  if (with_pairs) mirror_upper_triangle(sums.gram, 3 * modes);
  return true;
}

}  // namespace zel
