// The mass-weighted sums over nodes and modes that the modal inertia
// invariants are made of, as dense products.
//
// With N the nodes that carry mode shapes (set 0), M the modes, phi_ia the
// translation a of mode i at a node, x its position, m its mass and J its
// rotary inertia, every modal invariant is a rearrangement of three sums:
//
//   moments  4 x 3M   row 0: sum m phi_ia; row 1 + b: sum m x_b phi_ia
//   rotary   M x 3    sum (J theta_i)_a, theta_i the rotations of mode i
//   gram     3M x 3M  sum m phi_ia phi_jb (only when pairs are asked for)
//
// (column 3i + a, row-major). With A the 3M x N matrix of the translations
// (mode-major), the moments are a product of A with four weighted rows and
// the gram matrix is (m A) A^T: both go to the BLAS, a block of nodes at a
// time, so that each mode record is read once and the scratch stays within
// a memory budget whatever the body.
#ifndef ZEL_INVARIANT_SUMS_H
#define ZEL_INVARIANT_SUMS_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct Database;

namespace zel {

struct ModalSums {
  int32_t mode_count = 0;
  std::vector<double> moments;  // 4 x 3M
  std::vector<double> rotary;   // M x 3
  std::vector<double> gram;     // 3M x 3M, empty unless asked for
};

// Bytes the blocks of mode data may take: ZEL_INVARIANT_MEMORY (MiB) when
// it holds a positive number, else 512 MiB.
std::size_t invariant_memory_budget();

// The sums of every mode of set 0, fetched through the one-mode cache in
// the current units; the gram matrix too when `with_pairs`. False after
// the fetch's own message when a mode cannot be read.
bool compute_modal_sums(Database &db, bool with_pairs, std::size_t budget, ModalSums &sums);

}  // namespace zel

#endif  // ZEL_INVARIANT_SUMS_H
