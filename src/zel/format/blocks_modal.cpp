// Payloads of the blocks that carry the modes: eigenvalues, mode shapes,
// modal stress and strain, generalized matrices, the mode-shape
// transformation, pre-stress and pre-strain.
#include <cmath>
#include <limits>

#include "format/blocks.h"

namespace zel {

using blocks_detail::read_count;
using blocks_detail::write_count;

namespace {

constexpr int kInt = 4;  // bytes of an int in either encoding
constexpr int64_t kValuesPerNode = 6;

// 1/2 pi: Hz per rad/s.
constexpr double kHertzPerRadian = 0.15915494309188485;

bool fits_in_int(double value) {
  return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

}  // namespace

// ---------------------------------------------------------------- block 7

bool read_eigenvalues(ZelFile &file, uint32_t version, std::vector<double> &eigen) {
  int32_t count = 0;
  if (!read_count(file, count) || !file.fits(count, kInt + 5 * int64_t{file.real_size()})) return false;
  eigen.assign(static_cast<std::size_t>(count) * kEigenRecordValues, 0.0);
  for (std::size_t at = 0; at < eigen.size(); at += kEigenRecordValues) {
    int32_t mode_number = 0;
    if (!file.read_int(mode_number) || !file.read_reals(&eigen[at + 1], kEigenRecordValues - 1)) return false;
    eigen[at] = mode_number;
    if (version != 10) continue;
    // Version 1.0 files hold the eigenvalue alone; a negative one keeps its
    // sign in the frequencies instead of turning them into NaN.
    const double eigenvalue = eigen[at + 1];
    const double radians = std::copysign(std::sqrt(std::fabs(eigenvalue)), eigenvalue);
    eigen[at + 2] = radians * kHertzPerRadian;
    eigen[at + 3] = radians;
    eigen[at + 4] = 1.0;
    eigen[at + 5] = eigenvalue;
  }
  return true;
}

bool write_eigenvalues(ZelFile &file, std::span<const double> eigen) {
  if (eigen.size() % kEigenRecordValues != 0) return false;
  if (!write_count(file, eigen.size() / kEigenRecordValues)) return false;
  for (std::size_t at = 0; at < eigen.size(); at += kEigenRecordValues) {
    if (!fits_in_int(eigen[at])) return false;
    if (!file.write_int(static_cast<int32_t>(eigen[at])) || !file.write_reals(&eigen[at + 1], kEigenRecordValues - 1))
      return false;
  }
  return true;
}

// ---------------------------------------------------------- blocks 8, 18, 29

ModeNumberField mode_number_field(uint32_t version, int value_set) {
  if (version == 20) return ModeNumberField::kIgnored;
  if (version == 10) return ModeNumberField::kAbsent;
  // Stress and strain records gained their mode number one format level
  // after the mode shapes did.
  if (value_set != kModeShapeSet && (version == 30 || version == 31)) return ModeNumberField::kAbsent;
  return ModeNumberField::kStored;
}

namespace {

int64_t mode_values_bytes(const ZelFile &file, int32_t node_count) {
  return kValuesPerNode * node_count * file.real_size();
}

int64_t mode_record_bytes(const ZelFile &file, uint32_t version, int value_set, int32_t node_count) {
  const int64_t number_bytes = mode_number_field(version, value_set) == ModeNumberField::kAbsent ? 0 : kInt;
  return number_bytes + mode_values_bytes(file, node_count);
}

// Whether `mode_count` records of `record_bytes` fit in `room` bytes.
// Records of no bytes (no nodes, no mode numbers) take no room at all; the
// file's size still bounds how many modes a sane file can describe, which
// keeps a hostile count from sizing the per-mode tables.
bool mode_records_fit(const ZelFile &file, int64_t record_bytes, int32_t mode_count, int64_t room) {
  if (mode_count < 0 || room < 0) return false;
  if (record_bytes == 0) return mode_count <= file.size();
  return mode_count <= room / record_bytes;
}

}  // namespace

bool read_modal_head(ZelFile &file, uint32_t version, int value_set, ModalHead &head) {
  if (!read_count(file, head.mode_count) || !read_count(file, head.node_count)) return false;
  const int64_t after_node_list = file.bytes_left() - int64_t{head.node_count} * kInt;
  return mode_records_fit(file, mode_record_bytes(file, version, value_set, head.node_count), head.mode_count,
                          after_node_list);
}

bool read_modal_node_list(ZelFile &file, const ModalHead &head, std::vector<int32_t> &node_ids) {
  if (!file.fits(head.node_count, kInt)) return false;
  node_ids.resize(static_cast<std::size_t>(head.node_count));
  return file.read_ints(node_ids.data(), node_ids.size());
}

bool locate_mode_values(ZelFile &file, uint32_t version, int value_set, const ModalHead &head,
                        ModeValueIndex &index) {
  const ModeNumberField field = mode_number_field(version, value_set);
  const int64_t record_bytes = mode_record_bytes(file, version, value_set, head.node_count);
  if (!mode_records_fit(file, record_bytes, head.mode_count, file.bytes_left())) return false;
  const int64_t values_bytes = mode_values_bytes(file, head.node_count);
  index.offsets.resize(static_cast<std::size_t>(head.mode_count));
  index.mode_numbers.clear();
  if (field == ModeNumberField::kStored) index.mode_numbers.resize(static_cast<std::size_t>(head.mode_count));
  for (int32_t i = 0; i < head.mode_count; ++i) {
    int32_t number = 0;
    if (field != ModeNumberField::kAbsent && !file.read_int(number)) return false;
    if (field == ModeNumberField::kStored) index.mode_numbers[static_cast<std::size_t>(i)] = number;
    const int64_t offset = file.tell();
    if (offset < 0 || !file.seek(offset + values_bytes)) return false;
    index.offsets[static_cast<std::size_t>(i)] = offset;
  }
  return true;
}

bool read_stored_mode_number(ZelFile &file, int64_t values_offset, int32_t &number) {
  return file.seek(values_offset - kInt) && file.read_int(number);
}

bool read_mode_values(ZelFile &file, int64_t offset, int32_t node_count, double *values) {
  if (node_count < 0) return false;
  const auto count = static_cast<std::size_t>(kValuesPerNode * int64_t{node_count});
  if (const unsigned char *bytes = file.mapped_bytes(offset, count * static_cast<std::size_t>(file.real_size()))) {
    file.decode_reals(bytes, values, count);
    return true;
  }
  return file.seek(offset) && file.fits(static_cast<int64_t>(count), file.real_size()) &&
         file.read_reals(values, count);
}

bool write_modal_head(ZelFile &file, int32_t mode_count, std::span<const int32_t> node_ids) {
  return mode_count >= 0 && file.write_int(mode_count) && write_count(file, node_ids.size()) &&
         file.write_ints(node_ids.data(), node_ids.size());
}

bool write_mode_number(ZelFile &file, uint32_t version, int value_set, int32_t mode_number) {
  switch (mode_number_field(version, value_set)) {
    case ModeNumberField::kAbsent:
      return true;
    case ModeNumberField::kIgnored:
      return file.write_int(0);
    case ModeNumberField::kStored:
      break;
  }
  return file.write_int(mode_number);
}

bool write_mode_record(ZelFile &file, uint32_t version, int value_set, int32_t mode_number,
                       std::span<const double> values) {
  return values.size() % kValuesPerNode == 0 && write_mode_number(file, version, value_set, mode_number) &&
         file.write_reals(values.data(), values.size());
}

// ------------------------------------------------------- blocks 12, 13, 15

namespace {

// Every entry ends with an int the format fixes at 1 and gives no meaning.
constexpr int32_t kEntryTrailer = 1;

}  // namespace

bool read_generalized_matrix(ZelFile &file, GeneralizedMatrix &matrix) {
  int32_t count = 0;
  if (!read_count(file, count) || !file.read_int(matrix.flag)) return false;
  if (!file.fits(count, 3 * kInt + int64_t{file.real_size()})) return false;
  matrix.entries.resize(static_cast<std::size_t>(count));
  for (GenEntry &entry : matrix.entries) {
    int32_t row_number = 0;
    int32_t column_number = 0;
    int32_t trailer = 0;
    if (!file.read_int(row_number) || !file.read_int(column_number) || !file.read_real(entry.value) ||
        !file.read_int(trailer))
      return false;
    if (row_number < 1 || column_number < 1) return false;
    entry.row = row_number - 1;
    entry.col = column_number - 1;
  }
  return true;
}

bool write_generalized_matrix(ZelFile &file, int32_t flag, std::span<const GenEntry> entries,
                              std::span<const int32_t> mode_numbers) {
  if (!write_count(file, entries.size()) || !file.write_int(flag)) return false;
  for (const GenEntry &entry : entries) {
    if (entry.row < 0 || entry.col < 0 || static_cast<std::size_t>(entry.row) >= mode_numbers.size() ||
        static_cast<std::size_t>(entry.col) >= mode_numbers.size())
      return false;
    if (!file.write_int(mode_numbers[static_cast<std::size_t>(entry.row)]) ||
        !file.write_int(mode_numbers[static_cast<std::size_t>(entry.col)]) || !file.write_real(entry.value) ||
        !file.write_int(kEntryTrailer))
      return false;
  }
  return true;
}

// ---------------------------------------------------------------- block 16

bool read_mode_transformation(ZelFile &file, std::vector<int32_t> &modes, std::vector<double> &matrix) {
  int32_t count = 0;
  modes.clear();
  matrix.clear();
  if (!file.read_int(count)) return false;
  if (count <= 0) return true;
  const int64_t matrix_values = int64_t{count} * count;
  if (!file.fits(count, kInt + int64_t{count} * file.real_size())) return false;
  modes.resize(static_cast<std::size_t>(count));
  matrix.resize(static_cast<std::size_t>(matrix_values));
  return file.read_ints(modes.data(), modes.size()) && file.read_reals(matrix.data(), matrix.size());
}

bool write_mode_transformation(ZelFile &file, std::span<const int32_t> modes, std::span<const double> matrix,
                               std::size_t row_stride) {
  const std::size_t n = modes.size();
  if (n > 0 && (row_stride < n || matrix.size() < (n - 1) * row_stride + n)) return false;
  if (!write_count(file, n) || !file.write_ints(modes.data(), n)) return false;
  for (std::size_t row = 0; row < n; ++row)
    if (!file.write_reals(&matrix[row * row_stride], n)) return false;
  return true;
}

// ---------------------------------------------------------- blocks 31, 32

bool read_pre_value_count(ZelFile &file, int32_t &node_count) { return read_count(file, node_count); }

bool read_pre_values(ZelFile &file, int32_t node_count, std::vector<double> &values) {
  const int64_t count = kValuesPerNode * int64_t{node_count};
  if (node_count < 0 || !file.fits(count, file.real_size())) return false;
  values.resize(static_cast<std::size_t>(count));
  return file.read_reals(values.data(), values.size());
}

bool write_pre_values(ZelFile &file, std::span<const double> values) {
  if (values.size() % kValuesPerNode != 0) return false;
  return write_count(file, values.size() / kValuesPerNode) &&
         file.write_reals(values.data(), values.size());
}

}  // namespace zel
