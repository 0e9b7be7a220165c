// A component-mode body of a 60,000-node bar held at both ends (one end by
// a rigid coupling, the other by a distributing one) with 20 normal modes:
// everything after the solver's runs (reading the model, its matrices and
// results, the reduction, the database and the written file) must take
// under 10 s. The solver's own time is reported beside it, from one run
// made before the timing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "craig_bampton.h"
#include "input_error.h"

namespace {

// 100 x 25 x 24 nodes of a steel bar 0.99 m long.
constexpr int kCells[3] = {99, 24, 23};
constexpr int kNormalModes = 20;
constexpr double kSpacing = 0.01;

int grid_id(int i, int j, int k) { return 1 + i + (kCells[0] + 1) * (j + (kCells[1] + 1) * k); }

std::string bar_deck() {
  std::string text = "*HEADING\nBar for component modes\n*NODE\n";
  std::string end_sets[2] = {"*NSET, NSET=NEAR\n", "*NSET, NSET=FAR\n"};
  char line[160];
  for (int k = 0; k <= kCells[2]; ++k)
    for (int j = 0; j <= kCells[1]; ++j)
      for (int i = 0; i <= kCells[0]; ++i) {
        std::snprintf(line, sizeof line, "%d, %.4f, %.4f, %.4f\n", grid_id(i, j, k), kSpacing * i, kSpacing * j,
                      kSpacing * k);
        text += line;
        if (i == 0 || i == kCells[0]) end_sets[i == 0 ? 0 : 1] += std::to_string(grid_id(i, j, k)) + "\n";
      }
  text += "*ELEMENT, TYPE=C3D8, ELSET=BAR\n";
  int element = 0;
  for (int k = 0; k < kCells[2]; ++k)
    for (int j = 0; j < kCells[1]; ++j)
      for (int i = 0; i < kCells[0]; ++i) {
        const int corner[8] = {grid_id(i, j, k),         grid_id(i + 1, j, k),         grid_id(i + 1, j + 1, k),
                               grid_id(i, j + 1, k),     grid_id(i, j, k + 1),         grid_id(i + 1, j, k + 1),
                               grid_id(i + 1, j + 1, k + 1), grid_id(i, j + 1, k + 1)};
        text += std::to_string(++element);
        for (int id : corner) text += ", " + std::to_string(id);
        text += "\n";
      }
  return text + end_sets[0] + end_sets[1] +
         "*MATERIAL, NAME=STEEL\n*ELASTIC\n210e9, 0.3\n*DENSITY\n7850.\n*SOLID SECTION, ELSET=BAR, MATERIAL=STEEL\n";
}

// The solver runs once, before any timing; its files are kept for the
// timed translations.
struct SolvedBar {
  SolvedBar() {
    std::ofstream(directory.file("bar.inp")) << bar_deck();
    request.body.job = directory.file("bar");
    request.body.output = directory.file("bar.zel");
    request.attachments = {{"NEAR", ccx::Coupling::Rigid}, {"FAR", ccx::Coupling::Distributing}};
    request.normal_modes = kNormalModes;
    request.solver = ccx::find_on_path("ccx", std::getenv("PATH"));
    request.kept_folder = directory.file("runs");
    if (request.solver.empty()) return;
    ccx::ComponentModes modes;
    const ccx::ComponentModel model = ccx::prepare_component_model(request, modes);
    folder = std::make_unique<ccx::WorkFolder>(request.kept_folder);
    const auto start = std::chrono::steady_clock::now();
    ccx::run_component_solver(request.solver, *folder, model.decks);
    solver_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  zel_bench::BenchDirectory directory;
  ccx::ComponentModeRequest request;
  std::unique_ptr<ccx::WorkFolder> folder;
  double solver_seconds = 0.0;
};

void BM_ComponentBodyAfterTheSolver(benchmark::State &state) {
  static SolvedBar bar;
  if (!bar.folder) {
    state.SkipWithError("ccx is not installed");
    return;
  }
  setenv("KOR_ZELWRITE_OPTIONS", "full_invar", 1);
  int modes_written = 0;
  for (auto _ : state) {
    ccx::ComponentModes modes;
    const ccx::ComponentModel model = ccx::prepare_component_model(bar.request, modes);
    Database *db = ccx::component_body(bar.request, model, *bar.folder, modes);
    const int written = zel_bench::quiet_write(db, bar.request.body.output);
    modes_written = ZEL_ModeCount(db);
    ZEL_UnLink(db);
    if (written != 1) state.SkipWithError("the body was not written");
  }
  state.counters["solver_s"] = bar.solver_seconds;
  state.counters["modes"] = modes_written;
}
BENCHMARK(BM_ComponentBodyAfterTheSolver)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
