// Bulk decoding and encoding of one mode vector (100,000 nodes x 6 reals)
// through ZelFile, against libtirpc's own xdr_vector over a stdio stream.
// Throughput is in bytes of the file. Every run checks what it decoded or
// wrote against the source values, so no path is timed while wrong.
#include <benchmark/benchmark.h>

#include <rpc/xdr.h>
#include <stdlib.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "io/zelfile.h"

namespace {

constexpr std::size_t kValues = 100000 * 6;

// The source mode vector, its files, and the files' removal at exit.
struct Fixture {
  std::filesystem::path dir;
  std::vector<double> values;
  std::string xdr_double;
  std::string xdr_single;
  std::string scratch;

  Fixture() : values(kValues) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel_codec_bench_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    std::mt19937_64 random(20240607);
    std::normal_distribution<double> displacement(0.0, 1e-3);
    for (double &value : values) value = displacement(random);
    xdr_double = write_file("double.zel", true);
    xdr_single = write_file("single.zel", false);
    scratch = (dir / "scratch.zel").string();
  }
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  std::string write_file(const char *name, bool double_precision) const {
    const std::string path = (dir / name).string();
    zel::ZelFile out;
    out.attach(std::fopen(path.c_str(), "wb"), path, zel::FileMode::kWrite, true, double_precision);
    if (!out.write_reals(values.data(), values.size())) std::abort();
    return path;
  }
};

const Fixture &fixture() {
  static const Fixture instance;
  return instance;
}

// True when `decoded` holds the source values, narrowed first for a
// single-precision file.
bool matches_source(const std::vector<double> &decoded, bool double_precision) {
  const std::vector<double> &source = fixture().values;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const double expected = double_precision ? source[i] : static_cast<double>(static_cast<float>(source[i]));
    if (std::bit_cast<uint64_t>(decoded[i]) != std::bit_cast<uint64_t>(expected)) return false;
  }
  return true;
}

std::vector<double> decode_file(const std::string &path, bool double_precision) {
  std::vector<double> decoded(kValues);
  zel::ZelFile in;
  in.attach(std::fopen(path.c_str(), "rb"), path, zel::FileMode::kRead, true, double_precision);
  if (!in.read_reals(decoded.data(), decoded.size())) decoded.clear();
  return decoded;
}

void set_throughput(benchmark::State &state, bool double_precision) {
  const int64_t bytes_each = double_precision ? 8 : 4;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kValues) * bytes_each);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kValues));
}

// --- ZelFile ------------------------------------------------------------------

void BM_ZelFileDecode(benchmark::State &state) {
  const bool double_precision = state.range(0) == 8;
  const std::string &path = double_precision ? fixture().xdr_double : fixture().xdr_single;
  std::vector<double> decoded(kValues);
  zel::ZelFile in;
  in.attach(std::fopen(path.c_str(), "rb"), path, zel::FileMode::kRead, true, double_precision);
  for (auto _ : state) {
    if (!in.seek(0) || !in.read_reals(decoded.data(), decoded.size())) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(decoded.data());
  }
  if (!matches_source(decoded, double_precision)) state.SkipWithError("decoded values differ from the source");
  set_throughput(state, double_precision);
}
BENCHMARK(BM_ZelFileDecode)->Arg(8)->Arg(4)->ArgName("file_real_bytes")->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ZelFileEncode(benchmark::State &state) {
  const bool double_precision = state.range(0) == 8;
  const std::vector<double> &values = fixture().values;
  const std::string &path = fixture().scratch;
  {
    zel::ZelFile out;
    out.attach(std::fopen(path.c_str(), "wb"), path, zel::FileMode::kWrite, true, double_precision);
    for (auto _ : state) {
      if (!out.seek(0) || !out.write_reals(values.data(), values.size())) state.SkipWithError("write failed");
    }
  }
  if (!matches_source(decode_file(path, double_precision), double_precision))
    state.SkipWithError("written bytes do not decode to the source");
  set_throughput(state, double_precision);
}
BENCHMARK(BM_ZelFileEncode)->Arg(8)->Arg(4)->ArgName("file_real_bytes")->UseRealTime()->Unit(benchmark::kMillisecond);

// --- libtirpc baseline: xdr_vector over an xdrstdio stream ------------------------

void BM_LibtirpcDecode(benchmark::State &state) {
  const bool double_precision = state.range(0) == 8;
  const std::string &path = double_precision ? fixture().xdr_double : fixture().xdr_single;
  std::vector<double> decoded(kValues);
  std::vector<float> singles(kValues);
  std::FILE *stream = std::fopen(path.c_str(), "rb");
  XDR xdr;
  xdrstdio_create(&xdr, stream, XDR_DECODE);
  for (auto _ : state) {
    std::fseek(stream, 0, SEEK_SET);
    bool ok;
    if (double_precision) {
      ok = xdr_vector(&xdr, reinterpret_cast<char *>(decoded.data()), kValues, sizeof(double),
                      reinterpret_cast<xdrproc_t>(xdr_double));
    } else {
      ok = xdr_vector(&xdr, reinterpret_cast<char *>(singles.data()), kValues, sizeof(float),
                      reinterpret_cast<xdrproc_t>(xdr_float));
      for (std::size_t i = 0; i < kValues; ++i) decoded[i] = singles[i];
    }
    if (!ok) state.SkipWithError("xdr_vector failed");
    benchmark::DoNotOptimize(decoded.data());
  }
  xdr_destroy(&xdr);
  std::fclose(stream);
  if (!matches_source(decoded, double_precision)) state.SkipWithError("decoded values differ from the source");
  set_throughput(state, double_precision);
}
BENCHMARK(BM_LibtirpcDecode)->Arg(8)->Arg(4)->ArgName("file_real_bytes")->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LibtirpcEncode(benchmark::State &state) {
  const bool double_precision = state.range(0) == 8;
  std::vector<double> values = fixture().values;
  std::vector<float> singles(kValues);
  const std::string &path = fixture().scratch;
  std::FILE *stream = std::fopen(path.c_str(), "wb");
  XDR xdr;
  xdrstdio_create(&xdr, stream, XDR_ENCODE);
  for (auto _ : state) {
    std::fseek(stream, 0, SEEK_SET);
    bool ok;
    if (double_precision) {
      ok = xdr_vector(&xdr, reinterpret_cast<char *>(values.data()), kValues, sizeof(double),
                      reinterpret_cast<xdrproc_t>(xdr_double));
    } else {
      for (std::size_t i = 0; i < kValues; ++i) singles[i] = static_cast<float>(values[i]);
      ok = xdr_vector(&xdr, reinterpret_cast<char *>(singles.data()), kValues, sizeof(float),
                      reinterpret_cast<xdrproc_t>(xdr_float));
    }
    if (!ok) state.SkipWithError("xdr_vector failed");
  }
  xdr_destroy(&xdr);
  std::fclose(stream);
  if (!matches_source(decode_file(path, double_precision), double_precision))
    state.SkipWithError("written bytes do not decode to the source");
  set_throughput(state, double_precision);
}
BENCHMARK(BM_LibtirpcEncode)->Arg(8)->Arg(4)->ArgName("file_real_bytes")->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
