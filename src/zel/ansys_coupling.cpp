// Generalized masses between two groups of modes, for bodies whose mode
// set comes in two groups (numbers 1..a, then a+1..a+b) that the solver
// made mass-orthogonal only within each group.
//
// With Phi_A the records of the first group at a block of nodes (one row
// of six values per node and mode) and W Phi_B those of the second group
// weighted node by node (translations times the mass, rotations times the
// rotary inertia), the coupling block is the sum over node blocks of
// Phi_A (W Phi_B)^T: one BLAS product per block, every mode record read
// once. The entries go into the generalized mass list only once every one
// of them is known, so a coupling that fails leaves the list as it was.
#include <cblas.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "body/database.h"
#include "body/mode_cache.h"
#include "numeric/invariant_sums.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelwrite";
constexpr std::size_t kValuesPerNode = 6;
constexpr std::size_t kMostBlockNodes = 4096;

// The mode indices of numbers first..first+count-1; empty after the error
// when one of them is not a mode of the body.
std::vector<int32_t> mode_indices(Database &db, int first, int count) {
  std::vector<int32_t> indices(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    indices[static_cast<std::size_t>(k)] = ZEL_ModeIndex(&db, first + k);
    if (indices[static_cast<std::size_t>(k)] < 0) {
      ZEL_Error("Mode number %d does not exist.", first + k);
      return {};
    }
  }
  return indices;
}

// Translations times the node's mass; rotations times its rotary inertia
// (none: no rotary term).
void weight_records(const Database &db, int32_t first, std::size_t count, double *records) {
  for (std::size_t p = 0; p < count; ++p) {
    const NodeRecord &node = db.nodes[static_cast<std::size_t>(first) + p];
    double *r = records + kValuesPerNode * p;
    for (int a = 0; a < 3; ++a) r[a] *= node.mass;
    const double theta[3] = {r[3], r[4], r[5]};
    if (!node.inertia) {
      std::fill_n(r + 3, 3, 0.0);
      continue;
    }
    const NodalInertia &j = *node.inertia;  // Ixx, Iyy, Izz, Ixy, Ixz, Iyz
    r[3] = j[0] * theta[0] + j[3] * theta[1] + j[4] * theta[2];
    r[4] = j[3] * theta[0] + j[1] * theta[1] + j[5] * theta[2];
    r[5] = j[4] * theta[0] + j[5] * theta[1] + j[2] * theta[2];
  }
}

// The a x b coupling block (row i: mode first[i], column j: mode
// second[j]); false after the read's message when a mode cannot be read.
bool coupling_block(Database &db, const std::vector<int32_t> &first_group, const std::vector<int32_t> &second_group,
                    std::vector<double> &coupling) {
  const std::size_t a = first_group.size();
  const std::size_t b = second_group.size();
  const std::size_t nodes = static_cast<std::size_t>(db.set_count(kModeShapeSet));
  if (a == 0 || b == 0) return true;
  const std::size_t node_bytes = sizeof(double) * kValuesPerNode * (a + b);
  const std::size_t step =
      std::clamp<std::size_t>(invariant_memory_budget() / node_bytes, 1, std::min(nodes, kMostBlockNodes));
  std::vector<double> left(a * kValuesPerNode * step);
  std::vector<double> right(b * kValuesPerNode * step);
  for (std::size_t first = 0; first < nodes; first += step) {
    const std::size_t count = std::min(step, nodes - first);
    const std::size_t width = kValuesPerNode * count;
    const int32_t start = static_cast<int32_t>(first);
    const int32_t n = static_cast<int32_t>(count);
    for (std::size_t i = 0; i < a; ++i)
      if (!ReadModeRecords(db, kModeShapeSet, first_group[i], start, n, &left[i * width])) return false;
    for (std::size_t j = 0; j < b; ++j) {
      if (!ReadModeRecords(db, kModeShapeSet, second_group[j], start, n, &right[j * width])) return false;
      weight_records(db, start, count, &right[j * width]);
    }
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, static_cast<int>(a), static_cast<int>(b),
                static_cast<int>(width), 1.0, left.data(), static_cast<int>(width), right.data(),
                static_cast<int>(width), 1.0, coupling.data(), static_cast<int>(b));
  }
  return true;
}

// Appends (i, j) and (j, i) for every coupling value. The room is made
// first, so the appends themselves cannot fail half-way.
void install_coupling(Database &db, const std::vector<int32_t> &first_group, const std::vector<int32_t> &second_group,
                      const std::vector<double> &coupling) {
  const std::size_t a = first_group.size();
  const std::size_t b = second_group.size();
  if (a == 0 || b == 0) return;
  db.gen_mass.reserve(db.gen_mass.size() + 2 * a * b);
  for (std::size_t i = 0; i < a; ++i)
    for (std::size_t j = 0; j < b; ++j) {
      const double value = coupling[i * b + j];
      db.gen_mass.push_back(GenEntry{first_group[i], second_group[j], value});
      db.gen_mass.push_back(GenEntry{second_group[j], first_group[i], value});
    }
  db.gen_not_diagonal = 1;
  block_flag(db, kGeneralizedMassBlock) = 1;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_AnsysAddGenMass(Database *db, int a, int b) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    if (db->set_count(kModeShapeSet) == 0) {
      report_memory_failure(__LINE__, kModule);
      return 0;
    }
    if (a < 0 || b < 0 || int64_t{a} + b != db->mode_count()) {
      ZEL_Error("Mode count mismatch while generating additional generalized masses.");
      return 0;
    }
    const std::vector<int32_t> first_group = mode_indices(*db, 1, a);
    const std::vector<int32_t> second_group = mode_indices(*db, a + 1, b);
    if (first_group.size() != static_cast<std::size_t>(a) || second_group.size() != static_cast<std::size_t>(b))
      return 0;
    std::vector<double> coupling(static_cast<std::size_t>(a) * static_cast<std::size_t>(b), 0.0);
    if (!coupling_block(*db, first_group, second_group, coupling)) return 0;
    install_coupling(*db, first_group, second_group, coupling);
    return 1;
  });
}

}  // extern "C"
