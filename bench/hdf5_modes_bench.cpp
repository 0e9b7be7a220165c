// Reading every mode of a large body (100,000 nodes x 200 modes, six
// doubles per node) from C, against HDF5 holding the same values: one
// float64 dataset [mode][node][component], once contiguous and once in one
// chunk per mode, uncompressed. The goal: ZEL reads a body's modes at least
// as fast as HDF5 reads the same data.
//
// Each row reads every mode once into the caller's buffers, with the files
// in the page cache and opened outside the timed loop, as a simulator opens
// once: H5Dread of one mode's hyperslab through a dataset and memory space
// kept open, ZEL_Read_Mode_Double, and ZEL_Mode for the translations then
// the rotations. The rows are labelled by store (hdf5_contiguous,
// hdf5_chunked, zel_xdr_double, zel_native_double); throughput counts the
// 4.8 MB of values per mode, the same for every row.
#include <benchmark/benchmark.h>
#include <hdf5.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "large_body_file.h"
#include "zel.h"

namespace {

using zel_bench::kModes;
using zel_bench::kNodes;
using zel_bench::mode_came_back_right;

constexpr int kValuesPerNode = 6;
constexpr hsize_t kModeValues = hsize_t{kNodes} * kValuesPerNode;
constexpr const char *kDatasetName = "modes";

enum Layout { kContiguous = 0, kChunked = 1 };
constexpr const char *kLayoutNames[] = {"hdf5_contiguous", "hdf5_chunked"};
// The ZEL files timed: indices into zel_bench::kReadBodies.
constexpr const char *kZelNames[] = {"zel_xdr_double", "zel_native_double"};

// An HDF5 identifier, closed by its own kind's close function.
class Hdf5Id {
 public:
  Hdf5Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Hdf5Id() {
    if (id_ >= 0) close_(id_);
  }
  Hdf5Id(const Hdf5Id &) = delete;
  Hdf5Id &operator=(const Hdf5Id &) = delete;

  hid_t get() const { return id_; }
  bool valid() const { return id_ >= 0; }

 private:
  hid_t id_;
  herr_t (*close_)(hid_t);
};

// One mode's values in memory, nodes x 6, in the shape of its selection in
// the file: with a flat memory space instead, a chunked read maps the chunk
// to memory element by element and takes tens of times as long.
Hdf5Id mode_memory_space() {
  const hsize_t shape[] = {1, hsize_t{kNodes}, kValuesPerNode};
  return {H5Screate_simple(3, shape, nullptr), H5Sclose};
}

// Selects mode index m, [m][all nodes][all components], in the dataset's
// file space.
bool select_mode(hid_t file_space, int32_t m) {
  const hsize_t start[] = {hsize_t(m), 0, 0};
  const hsize_t count[] = {1, hsize_t{kNodes}, kValuesPerNode};
  return H5Sselect_hyperslab(file_space, H5S_SELECT_SET, start, nullptr, count, nullptr) >= 0;
}

// The dataset of every mode, written mode by mode from the same values as
// the ZEL bodies.
bool write_modes_dataset(hid_t file, Layout layout) {
  const hsize_t shape[] = {hsize_t{kModes}, hsize_t{kNodes}, kValuesPerNode};
  const hsize_t one_mode[] = {1, hsize_t{kNodes}, kValuesPerNode};
  Hdf5Id file_space(H5Screate_simple(3, shape, nullptr), H5Sclose);
  Hdf5Id creation(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
  if (!file_space.valid() || !creation.valid() || (layout == kChunked && H5Pset_chunk(creation.get(), 3, one_mode) < 0))
    return false;
  Hdf5Id dataset(H5Dcreate2(file, kDatasetName, H5T_IEEE_F64LE, file_space.get(), H5P_DEFAULT, creation.get(),
                            H5P_DEFAULT),
                 H5Dclose);
  Hdf5Id memory_space = mode_memory_space();
  if (!dataset.valid() || !memory_space.valid()) return false;
  std::vector<double> values(kModeValues);
  for (int32_t m = 0; m < kModes; ++m) {
    zel_bench::fill_mode_values(m, values);
    if (!select_mode(file_space.get(), m) ||
        H5Dwrite(dataset.get(), H5T_NATIVE_DOUBLE, memory_space.get(), file_space.get(), H5P_DEFAULT, values.data()) <
            0)
      return false;
  }
  return true;
}

// An HDF5 file holding the modes dataset alone.
bool write_hdf5_file(const std::string &path, Layout layout) {
  Hdf5Id file(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
  return file.valid() && write_modes_dataset(file.get(), layout) && H5Fflush(file.get(), H5F_SCOPE_LOCAL) >= 0;
}

// The modes dataset opened for reading as a careful user keeps it: the file,
// the dataset, its file space and a memory space of one mode, all open
// across modes, so that reading a mode is a selection and one H5Dread.
class Hdf5ModeReader {
 public:
  explicit Hdf5ModeReader(const std::string &path)
      : file_(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose),
        dataset_(file_.valid() ? H5Dopen2(file_.get(), kDatasetName, H5P_DEFAULT) : -1, H5Dclose),
        file_space_(dataset_.valid() ? H5Dget_space(dataset_.get()) : -1, H5Sclose),
        memory_space_(mode_memory_space()) {}

  bool opened() const { return file_space_.valid() && memory_space_.valid(); }

  // Mode index m into values (nodes x 6).
  bool read(int32_t m, std::vector<double> &values) const {
    return select_mode(file_space_.get(), m) && H5Dread(dataset_.get(), H5T_NATIVE_DOUBLE, memory_space_.get(),
                                                        file_space_.get(), H5P_DEFAULT, values.data()) >= 0;
  }

 private:
  Hdf5Id file_;
  Hdf5Id dataset_;
  Hdf5Id file_space_;
  Hdf5Id memory_space_;
};

// The reader of the file of one layout, written on first use; null when the
// file cannot be written or opened.
const Hdf5ModeReader *hdf5_reader(int64_t layout) {
  // The library, opened first, closes itself at exit after the readers
  // below have closed their identifiers, not before.
  static const bool library_opened = H5open() >= 0;
  static std::unique_ptr<zel_bench::ScratchFile> files[std::size(kLayoutNames)];
  static std::unique_ptr<Hdf5ModeReader> readers[std::size(kLayoutNames)];
  const auto l = static_cast<std::size_t>(layout);
  if (readers[l] == nullptr) {
    files[l] = std::make_unique<zel_bench::ScratchFile>(
        std::string(kLayoutNames[l]) + ".h5",
        [layout](const std::string &path) { return write_hdf5_file(path, static_cast<Layout>(layout)); });
    if (files[l]->written()) readers[l] = std::make_unique<Hdf5ModeReader>(files[l]->path());
  }
  return library_opened && readers[l] != nullptr && readers[l]->opened() ? readers[l].get() : nullptr;
}

void count_every_mode(benchmark::State &state, const char *store) {
  state.SetBytesProcessed(state.iterations() * kModes * int64_t{kModeValues} * int64_t{sizeof(double)});
  state.SetLabel(store);
}

void BM_EveryModeByHdf5Read(benchmark::State &state) {
  const Hdf5ModeReader *reader = hdf5_reader(state.range(0));
  if (reader == nullptr) return state.SkipWithError("cannot write or open the HDF5 file");
  std::vector<double> values(kModeValues);
  for (auto _ : state)
    for (int32_t m = 0; m < kModes; ++m)
      if (!reader->read(m, values) || !mode_came_back_right(m, values))
        return state.SkipWithError("a mode came back wrong");
  count_every_mode(state, kLayoutNames[state.range(0)]);
}

void BM_EveryModeByReadModeDouble(benchmark::State &state) {
  if (zel_bench::time_every_mode_double(state, state.range(0))) count_every_mode(state, kZelNames[state.range(0)]);
}

void BM_EveryModeByZelMode(benchmark::State &state) {
  if (zel_bench::time_every_mode_by_zel_mode(state, state.range(0)))
    count_every_mode(state, kZelNames[state.range(0)]);
}

// 0 and 1: contiguous and chunked for HDF5; XDR and native double for ZEL.
BENCHMARK(BM_EveryModeByHdf5Read)->DenseRange(0, 1)->Apply(zel_bench::every_mode_rows);
BENCHMARK(BM_EveryModeByReadModeDouble)->DenseRange(0, 1)->Apply(zel_bench::every_mode_rows);
BENCHMARK(BM_EveryModeByZelMode)->DenseRange(0, 1)->Apply(zel_bench::every_mode_rows);

}  // namespace
