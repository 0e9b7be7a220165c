// Rewriting a value set's store: the orthonormalization replaces every
// mode by a combination of the old ones, the node reduction keeps some of
// the positions. Either way the new store is built beside the old one, from
// the values as stored (before unit conversion), and takes its place only
// when the caller has everything else ready too.
#ifndef ZEL_STORE_REWRITE_H
#define ZEL_STORE_REWRITE_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct Database;

namespace zel {

class TempStore;

// Whether the body holds values of a set (0 mode shapes, 1 modal stress,
// 2 modal strain).
bool set_has_values(const Database &db, int set);

// Whether the values of a set are held in double precision.
bool set_in_double_precision(const Database &db, int set);

// A new store for set `set` with room for the body's modes and `positions`
// records per mode, announced as `created` ("... file: %s").
bool create_replacement_store(Database &db, int set, int32_t slots, int32_t positions, const char *created,
                              TempStore &store);

// Makes `replacement` the set's store: the old one, when the library made
// it, is closed and deleted (a body's ZEL file is never touched); the set's
// one-mode cache is emptied. `replacement` ends up closed.
void install_store(Database &db, int set, TempStore &replacement);

// How a recombination moves its data. The defaults are the library's; the
// tests shrink the budget to cross many block boundaries with few values.
struct RecombinationPlan {
  // Memory for the old and new values of the blocks of nodes in flight:
  // large enough that each read and write of a mode's part of a block
  // moves tens of kilobytes, since a system call costs dearly on virtual
  // machines.
  std::size_t budget_bytes = std::size_t{32} << 20;
  // Reads of the next block and writes of the last on a second thread
  // while the product runs on one BLAS thread; else all on the caller's
  // thread, the product on as many BLAS threads as the library has.
  bool overlap_io = true;
};

// Fills `store` (created here, announced as `created`) with `new_count`
// modes of set `set`: new mode j = sum over i < old_count of
// transform[i * old_count + j] x old mode i, the old modes being the
// body's first `old_count`. For each block of nodes one product with the
// transformation. False after the messages.
bool recombine_store(Database &db, int set, const std::vector<double> &transform, int32_t old_count,
                     int32_t new_count, const char *created, TempStore &store,
                     const RecombinationPlan &plan = RecombinationPlan{});

// Fills `store` (created here, announced as `created`) with the values of
// set `set` at the given old positions, in that order, for every mode: one
// read and one write per mode. False after the messages.
bool select_store_positions(Database &db, int set, const std::vector<int32_t> &positions, const char *created,
                            TempStore &store);

}  // namespace zel

#endif  // ZEL_STORE_REWRITE_H
