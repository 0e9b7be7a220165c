// Payloads of the derived and load blocks: the stored inertia invariants,
// modal preload, modal load cases and modal statistics.
#include <algorithm>
#include <limits>

#include "format/blocks.h"

namespace zel {

using blocks_detail::read_count;
using blocks_detail::write_count;

namespace {

constexpr int kInt = 4;  // bytes of an int in either encoding
constexpr std::size_t kMatrixValues = 9;

}  // namespace

// ---------------------------------------------------------- blocks 19 - 26

namespace {

// An invariant holds reals_per_unit x M^mode_power reals; the blocks of the
// invariants that depend on M lead with M.
struct InvariantShape {
  int64_t reals_per_unit;
  int mode_power;
};

InvariantShape shape_of(Invariant invariant) {
  switch (invariant) {
    case Invariant::k1:
      return {1, 0};
    case Invariant::k2:
      return {3, 0};
    case Invariant::k3:
    case Invariant::k4:
      return {3, 1};
    case Invariant::k5:
      return {3, 2};
    case Invariant::k7:
      return {9, 0};
    case Invariant::k8:
      return {9, 1};
    case Invariant::k9:
      return {9, 2};
  }
  return {0, 0};
}

}  // namespace

bool invariant_has_mode_count(Invariant invariant) { return shape_of(invariant).mode_power > 0; }

int64_t invariant_value_count(Invariant invariant, int32_t mode_count) {
  const InvariantShape shape = shape_of(invariant);
  int64_t count = shape.reals_per_unit;
  // M^2 terms pass 64 bits for M near 2^31; such a count can only fail.
  for (int power = 0; power < shape.mode_power; ++power)
    if (__builtin_mul_overflow(count, int64_t{mode_count}, &count)) return std::numeric_limits<int64_t>::max();
  return count;
}

bool read_invariant(ZelFile &file, Invariant invariant, int32_t mode_count, std::vector<double> &values,
                    int32_t &stored_count) {
  stored_count = mode_count;
  if (mode_count < 0) return false;
  if (invariant_has_mode_count(invariant) && !file.read_int(stored_count)) return false;
  const int64_t count = invariant_value_count(invariant, mode_count);
  if (!file.fits(count, file.real_size())) return false;
  values.resize(static_cast<std::size_t>(count));
  return file.read_reals(values.data(), values.size());
}

bool write_invariant(ZelFile &file, Invariant invariant, int32_t mode_count, std::span<const double> values) {
  if (mode_count < 0 || static_cast<int64_t>(values.size()) != invariant_value_count(invariant, mode_count))
    return false;
  if (invariant_has_mode_count(invariant) && !file.write_int(mode_count)) return false;
  return file.write_reals(values.data(), values.size());
}

namespace {

// The container of an invariant held as one flat array, or null for the
// invariants held as arrays of arrays (5, 8, 9).
template <class Db>
auto flat_invariant(Db &db, Invariant invariant) -> decltype(&db.invar1) {
  switch (invariant) {
    case Invariant::k1:
      return &db.invar1;
    case Invariant::k2:
      return &db.invar2;
    case Invariant::k3:
      return &db.invar3;
    case Invariant::k4:
      return &db.invar4;
    case Invariant::k7:
      return &db.invar7;
    default:
      return nullptr;
  }
}

template <class Matrix>
void copy_matrices(std::span<const double> values, std::vector<Matrix> &matrices) {
  matrices.resize(values.size() / kMatrixValues);
  for (std::size_t k = 0; k < matrices.size(); ++k)
    std::copy_n(&values[k * kMatrixValues], kMatrixValues, matrices[k].begin());
}

template <class Array>
void append_arrays(const std::vector<Array> &arrays, std::vector<double> &values) {
  for (const Array &array : arrays) values.insert(values.end(), array.begin(), array.end());
}

}  // namespace

bool store_invariant(Database &db, Invariant invariant, int32_t mode_count, std::span<const double> values) {
  if (mode_count < 0 || static_cast<int64_t>(values.size()) != invariant_value_count(invariant, mode_count))
    return false;
  const auto m = static_cast<std::size_t>(mode_count);
  if (std::vector<double> *flat = flat_invariant(db, invariant)) {
    flat->assign(values.begin(), values.end());
  } else if (invariant == Invariant::k5) {
    db.invar5.assign(m, {});
    for (std::size_t i = 0; i < m; ++i) db.invar5[i].assign(&values[i * 3 * m], &values[i * 3 * m] + 3 * m);
  } else {
    copy_matrices(values, invariant == Invariant::k8 ? db.invar8 : db.invar9);
  }
  return true;
}

std::vector<double> invariant_values(const Database &db, Invariant invariant) {
  if (const std::vector<double> *flat = flat_invariant(db, invariant)) return *flat;
  std::vector<double> values;
  if (invariant == Invariant::k5)
    append_arrays(db.invar5, values);
  else
    append_arrays(invariant == Invariant::k8 ? db.invar8 : db.invar9, values);
  return values;
}

// ---------------------------------------------------------------- block 27

bool read_preload_head(ZelFile &file, PreloadHead &head) {
  return file.read_int(head.mode_count) && file.read_int(head.processed);
}

bool read_preload_values(ZelFile &file, int32_t mode_count, std::vector<double> &values) {
  if (mode_count < 0 || !file.fits(mode_count, file.real_size())) return false;
  values.resize(static_cast<std::size_t>(mode_count));
  return file.read_reals(values.data(), values.size());
}

bool write_preload(ZelFile &file, int32_t processed, std::span<const double> values) {
  return write_count(file, values.size()) && file.write_int(processed) &&
         file.write_reals(values.data(), values.size());
}

// ---------------------------------------------------------------- block 28

bool read_modal_loads_head(ZelFile &file, ModalLoadsHead &head) {
  return file.read_int(head.mode_count) && read_count(file, head.case_count);
}

namespace {

// The label up to its first NUL; a field without one is kept whole, so
// that writing the body again gives the same bytes.
std::string stored_label(const std::vector<char> &field) {
  return std::string(field.begin(), std::find(field.begin(), field.end(), '\0'));
}

}  // namespace

bool read_load_cases(ZelFile &file, const ModalLoadsHead &head, std::vector<LoadCase> &cases) {
  const int64_t case_bytes = int64_t{kLoadCaseLabelChars} * file.char_width() + kInt +
                             int64_t{head.mode_count} * file.real_size();
  if (head.mode_count < 0 || head.case_count < 0 || !file.fits(head.case_count, case_bytes)) return false;
  cases.resize(static_cast<std::size_t>(head.case_count));
  std::vector<char> label(kLoadCaseLabelChars);
  for (LoadCase &load_case : cases) {
    if (!file.read_chars(label.data(), label.size()) || !file.read_int(load_case.processed)) return false;
    load_case.label = stored_label(label);
    load_case.values.resize(static_cast<std::size_t>(head.mode_count));
    if (!file.read_reals(load_case.values.data(), load_case.values.size())) return false;
  }
  return true;
}

bool write_modal_loads(ZelFile &file, std::span<const LoadCase> cases, std::size_t first_mode, int32_t mode_count) {
  if (mode_count < 0) return false;
  const auto count = static_cast<std::size_t>(mode_count);
  if (!file.write_int(mode_count) || !write_count(file, cases.size())) return false;
  for (const LoadCase &load_case : cases) {
    if (load_case.values.size() < first_mode + count) return false;
    if (!file.write_text(load_case.label, kLoadCaseLabelChars, '\0') || !file.write_int(load_case.processed) ||
        !file.write_reals(load_case.values.data() + first_mode, count))
      return false;
  }
  return true;
}

// ---------------------------------------------------------------- block 30

bool read_statistics(ZelFile &file, std::vector<ModeStatistics> &statistics) {
  int32_t count = 0;
  constexpr int64_t kSlots = std::tuple_size_v<decltype(ModeStatistics::node_id)>;
  if (!read_count(file, count) || !file.fits(count, kSlots * (kInt + int64_t{file.real_size()}))) return false;
  statistics.resize(static_cast<std::size_t>(count));
  for (ModeStatistics &record : statistics) {
    if (!file.read_ints(record.node_id.data(), record.node_id.size()) ||
        !file.read_reals(record.value.data(), record.value.size()))
      return false;
  }
  return true;
}

bool write_statistics(ZelFile &file, std::span<const ModeStatistics> statistics) {
  if (!write_count(file, statistics.size())) return false;
  for (const ModeStatistics &record : statistics) {
    if (!file.write_ints(record.node_id.data(), record.node_id.size()) ||
        !file.write_reals(record.value.data(), record.value.size()))
      return false;
  }
  return true;
}

}  // namespace zel
