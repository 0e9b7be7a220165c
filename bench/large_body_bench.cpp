// A body of a million nodes and 100 modes (4.8 GB of mode data, XDR
// double) through its whole life, one stage per benchmark, in order: built
// and written with the default options, every mode read back (both halves,
// as a simulator does), the nine invariants computed from its nodes, and the
// file compared with itself. Each stage reports its time and the peak
// anonymous resident memory while it ran: memory must stay flat as bodies
// grow, whatever the size of the mode data.
//
// It needs about 10 GB under TMP (the builder's store and the file) and a
// few minutes: run it on its own, in a Release build.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "zel.h"

namespace {

constexpr int kNodes = 1000000;
constexpr int kModes = 100;

const std::string &file_path() {
  static const std::string path = zel_bench::bench_directory().file("large.zel");
  return path;
}

// The same file under a second name: opened as a second body.
const std::string &second_path() {
  static const std::string path = zel_bench::bench_directory().file("large_again.zel");
  return path;
}

// Mode m at node n: a smooth shape per mode, so no two modes are alike.
void fill_node_values(int m, int n, double *values) {
  for (int c = 0; c < 6; ++c) values[c] = std::sin(1e-5 * (n + 1) * (m + 1) + c);
}

void report_peak(benchmark::State &state, long before_kib, long peak_kib) {
  state.counters["anon_MiB_before"] = static_cast<double>(before_kib) / 1024.0;
  state.counters["anon_MiB_peak"] = static_cast<double>(peak_kib) / 1024.0;
}

void BM_BuildAndWrite(benchmark::State &state) {
  const long before = zel_bench::anonymous_resident_kib();
  long peak = 0;
  for (auto _ : state) {
    peak = zel_bench::peak_anonymous_kib([&] {
      Database *db = ZEL_Create(kNodes, kModes);
      double values[6];
      for (int n = 0; n < kNodes; ++n) {
        ZEL_SetNodeCoordinates(db, n + 1, 1e-3 * n, std::sin(1e-3 * n), std::cos(1e-3 * n));
        ZEL_SetNodalMass(db, n + 1, 1e-6);
      }
      for (int m = 0; m < kModes; ++m) {
        for (int n = 0; n < kNodes; ++n) {
          fill_node_values(m, n, values);
          ZEL_SetModeVec(db, m + 1, n + 1, 0, values);
        }
        ZEL_SetGeneralizedMass(db, m + 1, m + 1, 1.0);
        ZEL_SetGeneralizedStiffness(db, m + 1, m + 1, 100.0 * (m + 1) * (m + 1));
      }
      if (zel_bench::quiet_write(db, file_path()) != 1) state.SkipWithError("the write failed");
      ZEL_UnLink(db);
    });
  }
  report_peak(state, before, peak);
}

void BM_ReadEveryMode(benchmark::State &state) {
  const long before = zel_bench::anonymous_resident_kib();
  long peak = 0;
  std::vector<double> half(3 * static_cast<std::size_t>(kNodes));
  for (auto _ : state) {
    peak = zel_bench::peak_anonymous_kib([&] {
      Database *db = ZEL_CreateFromZEL(file_path().c_str());
      if (db == nullptr) return state.SkipWithError("the file cannot be opened");
      for (int m = 0; m < ZEL_ModeCount(db); ++m)
        if (ZEL_Mode(db, ZEL_ModeNumber(db, m), 0, half.data(), 0) != 1 ||
            ZEL_Mode(db, ZEL_ModeNumber(db, m), 0, half.data(), 1) != 1)
          return state.SkipWithError("a mode cannot be read");
      ZEL_UnLink(db);
    });
  }
  report_peak(state, before, peak);
}

void BM_NineInvariants(benchmark::State &state) {
  const long before = zel_bench::anonymous_resident_kib();
  long peak = 0;
  for (auto _ : state) {
    peak = zel_bench::peak_anonymous_kib([&] {
      Database *db = ZEL_CreateFromZEL(file_path().c_str());
      if (db == nullptr) return state.SkipWithError("the file cannot be opened");
      ZEL_ComputeInvariantsFromNodes(db);
      benchmark::DoNotOptimize(ZEL_Invar1(db));
      for (double *values : {ZEL_Invar2(db), ZEL_Invar3(db), ZEL_Invar4(db), ZEL_Invar5(db, 1), ZEL_Invar6(db),
                             ZEL_Invar7(db), ZEL_Invar8(db, 1), ZEL_Invar9(db, 1, 1)}) {
        if (values == nullptr) state.SkipWithError("an invariant cannot be computed");
        ZEL_FreeMemory(values);
      }
      ZEL_UnLink(db);
    });
  }
  report_peak(state, before, peak);
}

void BM_CompareWithItself(benchmark::State &state) {
  if (::link(file_path().c_str(), second_path().c_str()) != 0) return state.SkipWithError("cannot link the file");
  const long before = zel_bench::anonymous_resident_kib();
  long peak = 0;
  for (auto _ : state) {
    peak = zel_bench::peak_anonymous_kib([&] {
      Database *base = ZEL_CreateFromZEL(file_path().c_str());
      Database *candidate = ZEL_CreateFromZEL(second_path().c_str());
      if (base == nullptr || candidate == nullptr || base == candidate)
        return state.SkipWithError("the two names do not open two bodies");
      std::fflush(stdout);
      if (ZEL_Compare(base, candidate, 0, 1e-6) != 0) state.SkipWithError("the file differs from itself");
      ZEL_UnLink(candidate);
      ZEL_UnLink(base);
    });
  }
  report_peak(state, before, peak);
}

// In this order: each stage works on the file the first one wrote.
BENCHMARK(BM_BuildAndWrite)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ReadEveryMode)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_NineInvariants)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CompareWithItself)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
