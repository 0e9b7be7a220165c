// A translator setting a dense 1,000 x 1,000 generalized mass entry by
// entry: 10^6 calls that must stay linear in the number of entries (the
// list grows geometrically, and the row and column lookups follow the
// fill's runs instead of scanning the mode list).
#include <benchmark/benchmark.h>

#include "body/database.h"
#include "zel.h"

namespace {

constexpr int kModes = 1000;

// Modes numbered 1..1000: registered by a mode-shape pass before the
// matrix (range 1), or added by the matrix's own first row (range 0).
void BM_DenseGeneralizedMassEntryByEntry(benchmark::State &state) {
  const bool modes_first = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    Database *db = ZEL_Create(0, kModes);
    if (modes_first)
      for (int m = 1; m <= kModes; ++m) ZEL_AddMode(db, m);
    state.ResumeTiming();
    for (int row = 1; row <= kModes; ++row)
      for (int col = 1; col <= kModes; ++col) ZEL_SetGeneralizedMass(db, row, col, row == col ? 1.0 : 1e-3);
    state.PauseTiming();
    if (db->gen_mass.size() != std::size_t{kModes} * kModes || db->gen_mass.back().row != kModes - 1)
      state.SkipWithError("the entries did not land as set");
    ZEL_UnLink(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kModes} * kModes);
}
BENCHMARK(BM_DenseGeneralizedMassEntryByEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
