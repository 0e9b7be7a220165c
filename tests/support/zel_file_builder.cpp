#include "zel_file_builder.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

#include "format/block_table.h"

namespace zel_test {
namespace {

using zel::ZelFile;
using BlockWriter = std::function<bool(ZelFile &)>;

constexpr double kHertzPerRadian = 0.15915494309188485;

// The nearest single-precision value, so that a body reads back alike in
// either precision.
double single_exact(double value) { return static_cast<double>(static_cast<float>(value)); }

std::vector<zel::NodeRecord> node_records(const std::vector<BodyNode> &nodes) {
  std::vector<zel::NodeRecord> records(nodes.size());
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    records[n].id = nodes[n].id;
    records[n].x = nodes[n].x;
    records[n].y = nodes[n].y;
    records[n].z = nodes[n].z;
    records[n].mass = nodes[n].mass;
    if (nodes[n].inertia) records[n].inertia = std::make_unique<zel::NodalInertia>(*nodes[n].inertia);
  }
  return records;
}

bool write_modal(ZelFile &file, uint32_t version, const ModalValues &modal) {
  if (!zel::write_modal_head(file, modal.mode_count, modal.node_ids)) return false;
  // Where the int is skipped by readers, write it as a stored number so a
  // reader that takes it gets the wrong one.
  const uint32_t record_version =
      zel::mode_number_field(version, modal.set) == zel::ModeNumberField::kIgnored ? 40 : version;
  std::vector<double> values(6 * modal.node_ids.size());
  for (int32_t mode = 0; mode < modal.mode_count; ++mode) {
    for (std::size_t at = 0; at < values.size(); ++at)
      values[at] = modal.value ? modal.value(mode, static_cast<int>(at / 6), static_cast<int>(at % 6))
                               : mode_value(modal.set, mode, static_cast<int>(at / 6), static_cast<int>(at % 6));
    const auto listed = static_cast<std::size_t>(mode);
    const int32_t number = listed < modal.mode_numbers.size() ? modal.mode_numbers[listed] : mode + 1;
    if (!zel::write_mode_record(file, record_version, modal.set, number, values)) return false;
  }
  return true;
}

bool write_generalized(ZelFile &file, const GeneralizedBlock &matrix) {
  // Mode index i is written as mode number i + 1, so the reader's
  // number - 1 gives the index back.
  int32_t largest = -1;
  for (const zel::GenEntry &entry : matrix.entries) largest = std::max({largest, entry.row, entry.col});
  std::vector<int32_t> numbers(static_cast<std::size_t>(largest + 1));
  for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int32_t>(i + 1);
  return zel::write_generalized_matrix(file, matrix.flag, matrix.entries, numbers);
}

bool write_invariant(ZelFile &file, zel::Invariant invariant, int32_t mode_count, std::vector<double> values) {
  if (values.empty()) {
    values.resize(static_cast<std::size_t>(zel::invariant_value_count(invariant, mode_count)));
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = 0.25 * static_cast<double>(k + 1);
  }
  return zel::write_invariant(file, invariant, mode_count, values);
}

// The writer of every block the body carries, by block index.
std::vector<std::pair<int, BlockWriter>> block_writers(const ZelBody &body,
                                                       const std::vector<zel::NodeRecord> &nodes) {
  const uint32_t v = body.version;
  std::vector<std::pair<int, BlockWriter>> w;
  if (body.coordinates) w.emplace_back(3, [&](ZelFile &f) { return zel::write_coordinates(f, nodes); });
  if (body.faces && body.old_style_faces)
    w.emplace_back(4, [&](ZelFile &f) { return zel::write_element_topology(f, body.faces->list, nodes); });
  if (body.global_properties)
    w.emplace_back(5, [&](ZelFile &f) { return zel::write_global_properties(f, *body.global_properties); });
  if (body.eigen) w.emplace_back(6, [&](ZelFile &f) { return zel::write_eigenvalues(f, *body.eigen); });
  if (body.mode_shapes) w.emplace_back(7, [&, v](ZelFile &f) { return write_modal(f, v, *body.mode_shapes); });
  if (body.masses) w.emplace_back(8, [&](ZelFile &f) { return zel::write_nodal_masses(f, nodes); });
  if (body.inertias)
    w.emplace_back(9, [&](ZelFile &f) { return zel::write_nodal_inertias(f, zel::nodal_inertia_entries(nodes)); });
  if (body.units) w.emplace_back(10, [&](ZelFile &f) { return zel::write_units(f, *body.units); });
  if (body.gen_stiff) w.emplace_back(11, [&](ZelFile &f) { return write_generalized(f, *body.gen_stiff); });
  if (body.gen_mass) w.emplace_back(12, [&](ZelFile &f) { return write_generalized(f, *body.gen_mass); });
  if (body.faces && !body.old_style_faces)
    w.emplace_back(13, [&](ZelFile &f) {
      return zel::write_element_faces(f, body.faces->face_count, body.faces->list);
    });
  if (body.gen_damp) w.emplace_back(14, [&](ZelFile &f) { return write_generalized(f, *body.gen_damp); });
  if (body.transformation)
    w.emplace_back(15, [&](ZelFile &f) {
      return zel::write_mode_transformation(f, body.transformation->modes, body.transformation->matrix,
                                            body.transformation->modes.size());
    });
  if (body.interface_nodes)
    w.emplace_back(16, [&](ZelFile &f) { return zel::write_interface_nodes(f, *body.interface_nodes); });
  if (body.stress) w.emplace_back(17, [&, v](ZelFile &f) { return write_modal(f, v, *body.stress); });
  if (body.invariants) {
    const int32_t modes = body.mode_shapes ? body.mode_shapes->mode_count : 0;
    const zel::Invariant invariants[] = {zel::Invariant::k1, zel::Invariant::k2, zel::Invariant::k3,
                                         zel::Invariant::k4, zel::Invariant::k5, zel::Invariant::k7,
                                         zel::Invariant::k8, zel::Invariant::k9};
    for (int k = 0; k < 8; ++k)
      w.emplace_back(18 + k, [&body, modes, k, invariant = invariants[k]](ZelFile &f) {
        return write_invariant(f, invariant, modes, body.invariant_values[static_cast<std::size_t>(k)]);
      });
  }
  if (body.preload)
    w.emplace_back(26, [&](ZelFile &f) {
      return zel::write_preload(f, body.preload->processed, body.preload->values);
    });
  if (body.loads)
    w.emplace_back(27, [&](ZelFile &f) {
      return zel::write_modal_loads(f, body.loads->cases, 0, body.loads->mode_count);
    });
  if (body.strain) w.emplace_back(28, [&, v](ZelFile &f) { return write_modal(f, v, *body.strain); });
  if (body.statistics) w.emplace_back(29, [&](ZelFile &f) { return zel::write_statistics(f, *body.statistics); });
  if (body.pre_stress) w.emplace_back(30, [&](ZelFile &f) { return zel::write_pre_values(f, *body.pre_stress); });
  if (body.pre_strain) w.emplace_back(31, [&](ZelFile &f) { return zel::write_pre_values(f, *body.pre_strain); });
  // Older versions have no content positions for the later blocks.
  if (zel::has_short_content_summary(v))
    std::erase_if(w, [](const auto &block) {
      return zel::content_position(block.first) >= zel::kShortContentSummaryPositions;
    });
  return w;
}

bool write_file(ZelFile &file, const ZelBody &body) {
  const std::vector<zel::NodeRecord> nodes = node_records(body.nodes);
  const auto writers = block_writers(body, nodes);
  std::array<char, zel::kExistsFlagCount> summary{};
  for (const auto &block : writers) summary[static_cast<std::size_t>(zel::content_position(block.first))] = 1;
  if (!file.write_int(static_cast<int32_t>(body.version)) || !zel::write_header(file, body.header) ||
      !file.write_chars(summary.data(), summary.size()))
    return false;
  for (const auto &block : writers)
    if (!block.second(file)) return false;
  return std::fflush(file.fp) == 0;
}

std::vector<double> sample_eigenvalues(uint32_t version) {
  std::vector<double> eigen;
  for (int mode = 0; mode < 3; ++mode) {
    const double radians = mode + 2.0;
    const double eigenvalue = radians * radians;
    // Version 1.0 derives the last four columns; its file holds zeros there.
    const bool derived = version == 10;
    eigen.insert(eigen.end(), {double(mode + 1), eigenvalue, derived ? 0.0 : single_exact(radians * kHertzPerRadian),
                               derived ? 0.0 : radians, derived ? 0.0 : 1.0, derived ? 0.0 : eigenvalue});
  }
  return eigen;
}

}  // namespace

double mode_value(int set, int mode, int position, int component) {
  return (set + 1) * 4096.0 + mode * 256.0 + position * 8.0 + component * 0.125;
}

ZelBody sample_body(uint32_t version) {
  ZelBody body;
  body.version = version;
  body.header.title = "sample body";
  body.header.date = "Mon Dec  7 08:00:00 2026";
  body.header.input_file_name = "sample.fem";
  body.header.input_file_type = "FEM";
  body.header.comment = {"first comment", "second comment", "third comment"};
  for (int n = 0; n < 4; ++n) {
    const double x = n + 1.0;
    body.nodes.push_back({10 * (n + 1), x, 0.5 * x, -x, x + 0.5, std::nullopt});
  }
  body.nodes[1].inertia = zel::NodalInertia{1.0, 2.0, 3.0, 0.25, 0.0, 0.5};
  body.old_style_faces = version == 10 || version == 20;
  body.global_properties = zel::GlobalProperties{12.0, {2.5, 1.25, -2.5}, {1, 0, 0, 0, 2, 0, 0, 0, 3}};
  body.eigen = sample_eigenvalues(version);
  const std::vector<int32_t> numbers{1, 2, 3};
  body.mode_shapes = ModalValues{zel::kModeShapeSet, 3, {10, 20, 30, 40}, numbers, {}};
  body.units = std::array<std::string, 4>{"MEGAGRAM", "MILLIMETER", "SECOND", "NEWTON"};
  body.gen_stiff = GeneralizedBlock{3, {{0, 0, 4.0}, {1, 1, 9.0}, {2, 2, 16.0}}};
  body.gen_mass = GeneralizedBlock{3, {{0, 0, 1.0}, {1, 1, 1.0}, {2, 2, 1.0}}};
  body.faces = FaceList{2, {4, 0, 1, 2, 3, 3, 0, 1, 3}};
  body.gen_damp = GeneralizedBlock{1, {{0, 0, 0.125}, {1, 1, 0.125}, {2, 2, 0.125}}};
  body.transformation = Transformation{numbers, {1, 0.5, 0, 0, 1, 0, 0, 0, 1}};
  body.interface_nodes = std::vector<int32_t>{0, 3};
  body.stress = ModalValues{zel::kStressSet, 3, {30, 10}, numbers, {}};
  body.preload = Preload{0, {0.5, -0.25, 1.0}};
  body.loads = ModalLoads{3, {{"gravity", 1, {1.0, 2.0, 3.0}}, {"pressure", 0, {-1.0, 0.5, 0.25}}}};
  body.strain = ModalValues{zel::kStrainSet, 3, {20}, numbers, {}};
  std::vector<zel::ModeStatistics> statistics(3);
  for (int mode = 0; mode < 3; ++mode) {
    statistics[static_cast<std::size_t>(mode)].node_id = {40, 20, 30, 20};
    statistics[static_cast<std::size_t>(mode)].value = {mode + 1.0, 0.5 * mode, 100.0 * mode, 0.25};
  }
  body.statistics = statistics;
  body.pre_stress = std::vector<double>(12);
  body.pre_strain = std::vector<double>(6);
  for (std::size_t k = 0; k < 12; ++k) (*body.pre_stress)[k] = 0.5 * static_cast<double>(k + 1);
  for (std::size_t k = 0; k < 6; ++k) (*body.pre_strain)[k] = -0.25 * static_cast<double>(k + 1);
  return body;
}

bool write_zel_file(const ZelBody &body, const std::string &path) {
  std::FILE *stream = std::fopen(path.c_str(), "wb");
  if (stream == nullptr) return false;
  ZelFile file;
  file.attach(stream, path, zel::FileMode::kWrite, zel::is_xdr_version(body.version),
              !zel::is_single_precision_version(body.version));
  return write_file(file, body);
}

std::vector<unsigned char> zel_file_bytes(const ZelBody &body) {
  char path[] = "/tmp/zel_builder_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  ::close(fd);
  std::vector<unsigned char> bytes;
  if (write_zel_file(body, path)) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::remove(path);
  return bytes;
}

bool write_bytes(const std::vector<unsigned char> &bytes, const std::string &path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace zel_test
