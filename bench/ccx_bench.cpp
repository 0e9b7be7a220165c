// Translating a solver's modal analysis: a 60,000-node, 30-mode model whose
// result file is about 100 MB must translate in under 10 s, most of it
// reading the results at 100 MB/s or more. The model is made here, in the
// solver's own text layout, with fixed-seed values.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "bench_support.h"
#include "frd_reader.h"
#include "input_error.h"
#include "translate.h"
#include "zel.h"

namespace {

// 100 x 25 x 24 nodes: a brick mesh of 99 x 24 x 23 cells.
constexpr int kNx = 99, kNy = 24, kNz = 23;
constexpr int kModes = 30;
constexpr double kPi = 3.14159265358979323846;

int node_id(int i, int j, int k) { return 1 + i + (kNx + 1) * (j + (kNy + 1) * k); }
int node_count() { return (kNx + 1) * (kNy + 1) * (kNz + 1); }
double frequency(int mode) { return 10.0 * mode + 0.123456; }

std::string deck() {
  std::string text = "*HEADING\nGenerated brick\n*NODE, NSET=NALL\n";
  char line[128];
  for (int k = 0; k <= kNz; ++k)
    for (int j = 0; j <= kNy; ++j)
      for (int i = 0; i <= kNx; ++i) {
        std::snprintf(line, sizeof line, "%d, %.6f, %.6f, %.6f\n", node_id(i, j, k), 0.01 * i, 0.01 * j, 0.01 * k);
        text += line;
      }
  text += "*ELEMENT, TYPE=C3D8, ELSET=EALL\n";
  int element = 0;
  for (int k = 0; k < kNz; ++k)
    for (int j = 0; j < kNy; ++j)
      for (int i = 0; i < kNx; ++i) {
        std::snprintf(line, sizeof line, "%d, %d, %d, %d, %d, %d, %d, %d, %d\n", ++element, node_id(i, j, k),
                      node_id(i + 1, j, k), node_id(i + 1, j + 1, k), node_id(i, j + 1, k), node_id(i, j, k + 1),
                      node_id(i + 1, j, k + 1), node_id(i + 1, j + 1, k + 1), node_id(i, j + 1, k + 1));
        text += line;
      }
  return text + "*MATERIAL, NAME=STEEL\n*DENSITY\n7850.\n*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n";
}

// The displacement blocks of every mode, values of both signs so that
// negative fields run together as the solver writes them.
std::string results() {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::string text = "    1C\n    1UUSER\n";
  char line[128];
  std::snprintf(line, sizeof line, "    2C%26d%37d\n", node_count(), 1);
  text += line;
  for (int id = 1; id <= node_count(); ++id) {
    std::snprintf(line, sizeof line, " -1%10d%12.5E%12.5E%12.5E\n", id, 0.01 * id, 0.0, 0.0);
    text += line;
  }
  text += " -3\n";
  for (int mode = 1; mode <= kModes; ++mode) {
    std::snprintf(line, sizeof line, "    1PGM                1.000000E+00\n  100CL%5d%12.7f%12d%20s%2d%5d%-10s%2d\n",
                  100 + mode, frequency(mode), node_count(), "", 2, mode, "MODAL", 1);
    text += line;
    text += " -4  DISP        4    1\n -5  D1          1    2    1    0\n -5  D2          1    2    2    0\n"
            " -5  D3          1    2    3    0\n -5  ALL         1    2    0    0    1ALL\n";
    for (int id = 1; id <= node_count(); ++id) {
      std::snprintf(line, sizeof line, " -1%10d%12.5E%12.5E%12.5E\n", id, value(random), value(random), value(random));
      text += line;
    }
    text += " -3\n";
  }
  return text + " 9999\n";
}

std::string eigenvalue_table() {
  std::string text = "     E I G E N V A L U E   O U T P U T\n\n MODE NO    EIGENVALUE\n\n";
  char line[128];
  for (int mode = 1; mode <= kModes; ++mode) {
    const double omega = 2 * kPi * frequency(mode);
    std::snprintf(line, sizeof line, "%7d   %.7E   %.7E   %.7E   0.0000000E+00\n", mode, omega * omega, omega,
                  frequency(mode));
    text += line;
  }
  return text;
}

// The model's three files, made once per run.
struct Model {
  std::string job = zel_bench::bench_directory().file("model");
  std::string frd_text = results();
  Model() {
    std::ofstream(job + ".inp") << deck();
    std::ofstream(job + ".frd") << frd_text;
    std::ofstream(job + ".dat") << eigenvalue_table();
  }
};

const Model &model() {
  static const Model made;
  return made;
}

void BM_ReadResults(benchmark::State &state) {
  const std::string &text = model().frd_text;
  for (auto _ : state) {
    const std::vector<ccx::ModeResults> modes = ccx::parse_frd(text, "model.frd");
    if (modes.size() != kModes || modes.back().displacement.node_ids.size() != static_cast<size_t>(node_count()))
      state.SkipWithError("the results were not read whole");
    benchmark::DoNotOptimize(modes.back().displacement.values.back());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadResults)->Unit(benchmark::kMillisecond);

// Standard output goes to /dev/null for the scope: the builder echoes the
// header of every body it makes.
class QuietStdout {
 public:
  QuietStdout() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  QuietStdout(const QuietStdout &) = delete;
  QuietStdout &operator=(const QuietStdout &) = delete;

 private:
  int saved_;
};

// From the three files (in the disk cache) to the written body, with the
// invariants computed as the command computes them by default.
void BM_TranslateModel(benchmark::State &state) {
  ccx::Request request;
  request.job = model().job;
  request.output = model().job + ".zel";
  request.write_options = ccx::kDefaultWriteOptions;
  for (auto _ : state) {
    const QuietStdout quiet;
    ccx::Summary summary;
    Database *db = ccx::build_database(request, summary);
    if (summary.node_count != node_count() || summary.mode_count != kModes)
      state.SkipWithError("the model was not translated whole");
    if (!ccx::write_body(db, request)) state.SkipWithError("the body was not written");
    ZEL_UnLink(db);
  }
  state.counters["nodes"] = node_count();
  state.counters["modes"] = kModes;
}
BENCHMARK(BM_TranslateModel)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
