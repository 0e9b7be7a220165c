#include "format/write_blocks.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>

#include "body/invariants.h"
#include "body/mode_cache.h"
#include "format/blocks.h"
#include "io/write_behind.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelwrite";

// Mode values move from the store to the file this many records at a time,
// so a mode of any size passes through a buffer of fixed size.
constexpr int32_t kRecordsPerChunk = 8192;
constexpr int kValuesPerRecord = 6;

std::size_t at(int64_t i) { return static_cast<std::size_t>(i); }

// ------------------------------------------------------------ geometry

void warn_about_nodes_at_origin(const Database &db) {
  std::vector<int32_t> at_origin;
  for (const NodeRecord &node : db.nodes)
    if (node.x == 0.0 && node.y == 0.0 && node.z == 0.0) at_origin.push_back(node.id);
  if (at_origin.size() <= 1) return;
  ZEL_Warning("Found %d node(s) with coordinates (0,0,0).  They are:", static_cast<int>(at_origin.size()));
  for (const int32_t id : at_origin) ZEL_Warning("   %d", id);
}

bool write_coordinates_block(ZelFile &file, Database &db, WritePlan &) {
  ZEL_Info("\nNode info:\n   Count: %ld", static_cast<long>(db.node_count()));
  warn_about_nodes_at_origin(db);
  return write_coordinates(file, db.nodes);
}

bool write_topology_block(ZelFile &file, Database &db, WritePlan &) {
  return write_element_topology(file, db.face_list, db.nodes);
}

bool write_global_block(ZelFile &file, Database &db, WritePlan &) {
  GlobalProperties properties;
  ZEL_TotalMassInertia(&db, &properties.mass, properties.inertia.data(), properties.cm.data());
  const auto &i = properties.inertia;
  ZEL_Info("\nGlobal body properties:");
  ZEL_Info("Mass          : %lf\n", properties.mass);
  ZEL_Info("Center of Mass: %lf %lf %lf", properties.cm[0], properties.cm[1], properties.cm[2]);
  ZEL_Info("Inertia Tensor: %lf %lf %lf", i[0], i[1], i[2]);
  ZEL_Info("                %lf %lf %lf", i[3], i[4], i[5]);
  ZEL_Info("                %lf %lf %lf", i[6], i[7], i[8]);
  return write_global_properties(file, properties);
}

bool write_masses_block(ZelFile &file, Database &db, WritePlan &) {
  const auto massless = std::count_if(db.nodes.begin(), db.nodes.end(), [](const NodeRecord &n) { return n.mass == 0.0; });
  if (massless > 0) ZEL_Warning("Found %d massless node(s)", static_cast<int>(massless));
  return write_nodal_masses(file, db.nodes);
}

bool write_inertias_block(ZelFile &file, Database &db, WritePlan &) {
  const std::vector<InertiaEntry> entries = nodal_inertia_entries(db.nodes);
  ZEL_Info("\nNodal inertia info:\n   Sparse matrix entries: %ld", static_cast<long>(entries.size()));
  return write_nodal_inertias(file, entries);
}

bool write_units_block(ZelFile &file, Database &db, WritePlan &) {
  char names[4][kUnitNameChars + 1] = {};
  ZEL_Units(&db, names[0], names[1], names[2], names[3]);
  ZEL_Info("\nUnits:\n   Mass:   %s\n   Length: %s\n   Time:   %s\n   Force:  %s", names[0], names[1], names[2],
           names[3]);
  return write_units(file, {names[0], names[1], names[2], names[3]});
}

bool write_faces_block(ZelFile &file, Database &db, WritePlan &) {
  if (!write_element_faces(file, db.face_count, db.face_list)) return false;
  ZEL_Info("\nNumber of Element Faces: %d", db.face_count);
  return true;
}

bool write_interface_block(ZelFile &file, Database &db, WritePlan &) {
  return write_interface_nodes(file, db.interface_nodes);
}

// ------------------------------------------------------ modes and matrices

bool write_eigenvalues_block(ZelFile &file, Database &db, WritePlan &plan) {
  ZEL_Info("\nEigenvalue info:\n   Modes: %ld", static_cast<long>(plan.exported_modes()));
  std::vector<double> records;
  records.reserve(at(kEigenRecordValues * plan.exported_modes()));
  for (int32_t index = plan.first_mode; index < plan.last_mode; ++index) {
    const int32_t number = db.mode_numbers[at(index)];
    double value[5] = {};
    ZEL_Eigenvalue(&db, number, &value[0], &value[1], &value[2], &value[3], &value[4]);
    records.push_back(number);
    records.insert(records.end(), value, value + 5);
  }
  return write_eigenvalues(file, records);
}

// A generalized matrix as a block holds it: entries indexed from the first
// exported mode, which readers take as mode number - 1.
struct MatrixToWrite {
  int32_t flag = 0;
  std::vector<GenEntry> entries;
  int32_t size = 0;  // rows (and columns) the indices run over
};

// Stiffness and mass as their queries hand them out (a diagonal from the
// eigenvalues when no list was set), for every mode.
template <class Count, class Sparse>
MatrixToWrite queried_matrix(Database &db, Count count_of, Sparse sparse) {
  MatrixToWrite matrix{db.mode_count(), {}, db.mode_count()};
  const std::size_t count = at(std::max(count_of(&db), 0));
  std::vector<double> values(count);
  std::vector<int> rows(count), cols(count);
  if (count > 0 && sparse(&db, values.data(), rows.data(), cols.data()))
    for (std::size_t e = 0; e < count; ++e) matrix.entries.push_back(GenEntry{rows[e], cols[e], values[e]});
  return matrix;
}

bool exported(const WritePlan &plan, int32_t index) { return index >= plan.first_mode && index < plan.last_mode; }

// Damping on principal axes is indexed by the six rigid coordinates and
// the flexible modes after them, not by mode index: it goes as it is.
MatrixToWrite damping_matrix(const Database &db, const WritePlan &plan) {
  MatrixToWrite matrix{db.damping_on_principal_axes, {}, plan.exported_modes()};
  if (db.damping_on_principal_axes != 0) {
    matrix.entries = db.gen_damp;
    for (const GenEntry &entry : db.gen_damp) matrix.size = std::max({matrix.size, entry.row + 1, entry.col + 1});
    return matrix;
  }
  for (const GenEntry &entry : db.gen_damp)
    if (exported(plan, entry.row) && exported(plan, entry.col))
      matrix.entries.push_back(GenEntry{entry.row - plan.first_mode, entry.col - plan.first_mode, entry.value});
  return matrix;
}

MatrixToWrite matrix_to_write(Database &db, const WritePlan &plan, int block_index) {
  switch (block_index) {
    case kGeneralizedStiffnessBlock:
      return queried_matrix(db, ZEL_NumberOfGenStiff, ZEL_GenStiffSparse);
    case kGeneralizedMassBlock:
      return queried_matrix(db, ZEL_NumberOfGenMass, ZEL_GenMassSparse);
    default:
      break;
  }
  return damping_matrix(db, plan);
}

// Readers take each entry's mode number less one as its index, whatever
// the body's own mode numbers: index i is written as i + 1.
bool write_matrix(ZelFile &file, const MatrixToWrite &matrix) {
  std::vector<int32_t> numbers(at(matrix.size));
  std::iota(numbers.begin(), numbers.end(), 1);
  return write_generalized_matrix(file, matrix.flag, matrix.entries, numbers);
}

bool write_stiffness_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_matrix(file, matrix_to_write(db, plan, kGeneralizedStiffnessBlock));
}

bool write_mass_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_matrix(file, matrix_to_write(db, plan, kGeneralizedMassBlock));
}

bool write_damping_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_matrix(file, matrix_to_write(db, plan, kGeneralizedDampingBlock));
}

// The first mode_count rows and columns of the transformation, whose rows
// are as long as the mode list was before the orthonormalization dropped
// modes.
bool write_transformation_block(ZelFile &file, Database &db, WritePlan &plan) {
  const std::size_t n = at(db.mode_count());
  const std::vector<int32_t> &listed = db.transform_modes.empty() ? db.mode_numbers : db.transform_modes;
  if (listed.size() < n || plan.transform_stride < n || db.transform.size() < plan.transform_stride * n) return false;
  return write_mode_transformation(file, std::span(listed).first(n), db.transform, plan.transform_stride);
}

// ------------------------------------------------------- value sets

struct SetWording {
  const char *info;
  const char *all_zero;
};

SetWording wording_of(int set) {
  switch (set) {
    case kModeShapeSet:
      return {"\nTrans Mode info:\n   Modes: %ld\n   Nodes: %ld", "The mode shape for mode %d has only zero entries\n"};
    case kStressSet:
      return {"\nStress Mode info:\n   Modes: %ld\n   Nodes: %ld",
              "The modal stresses for mode %d have only zero entries\n"};
    default:
      break;
  }
  return {"\nStrain Mode info:\n   Modes: %ld\n   Nodes: %ld", "The modal strains for mode %d have only zero entries\n"};
}

int32_t node_of_position(const Database &db, int set, int32_t position) {
  return set == kModeShapeSet ? position : db.sets[at(set)].node_of_position[at(position)];
}

const std::vector<double> &pre_values_of(const Database &db, int set) {
  return set == kStressSet ? db.pre_stress : db.pre_strain;
}

int pre_values_block(int set) { return set == kStressSet ? kPreStressBlock : kPreStrainBlock; }

bool any_nonzero(const double *values) {
  return std::any_of(values, values + kValuesPerRecord, [](double v) { return v != 0.0; });
}

// The positions of a stress or strain set where the pre-values (when the
// body has them) or some exported mode are non-zero: each mode read once.
bool nonzero_positions(Database &db, const WritePlan &plan, int set, std::vector<int32_t> &positions) {
  const int32_t count = db.set_count(set);
  std::vector<char> nonzero(at(count), 0);
  const std::vector<double> &pre = pre_values_of(db, set);
  if (block_flag(db, pre_values_block(set)) != 0)
    for (int32_t p = 0; p < count && at(kValuesPerRecord * (p + 1)) <= pre.size(); ++p)
      nonzero[at(p)] = any_nonzero(&pre[at(kValuesPerRecord * p)]);
  std::vector<double> mode(at(kValuesPerRecord) * at(count));
  for (int32_t index = plan.first_mode; index < plan.last_mode; ++index) {
    if (!ReadModeRecords(db, set, index, 0, count, mode.data())) return false;
    for (int32_t p = 0; p < count; ++p) nonzero[at(p)] |= any_nonzero(&mode[at(kValuesPerRecord * p)]);
  }
  for (int32_t p = 0; p < count; ++p)
    if (nonzero[at(p)]) positions.push_back(p);
  return true;
}

bool select_set_nodes(Database &db, const WritePlan &plan, int set, SetSelection &selection) {
  const int32_t count = db.set_count(set);
  if (plan.expands_partial_sets() && count != db.node_count()) {
    selection.positions.assign(at(db.node_count()), -1);
    for (int32_t p = 0; p < count; ++p) selection.positions[at(node_of_position(db, set, p))] = p;
    for (const NodeRecord &node : db.nodes) selection.node_ids.push_back(node.id);
    return true;
  }
  if (plan.sparse_sets && set != kModeShapeSet) {
    if (!nonzero_positions(db, plan, set, selection.positions)) return false;
    for (const int32_t p : selection.positions) selection.node_ids.push_back(db.nodes[at(node_of_position(db, set, p))].id);
    return true;
  }
  for (int32_t p = 0; p < count; ++p) selection.node_ids.push_back(db.nodes[at(node_of_position(db, set, p))].id);
  return true;
}

const SetSelection *selection_of(Database &db, WritePlan &plan, int set) {
  std::optional<SetSelection> &held = plan.selections[at(set)];
  if (!held) {
    SetSelection selection;
    if (!select_set_nodes(db, plan, set, selection)) return nullptr;
    held = std::move(selection);
  }
  return &*held;
}

// Largest squared translation and rotation (mode shapes), or squared von
// Mises value (stress, strain), with the node where each first occurs.
struct ModeExtremes {
  std::array<double, 2> value{};
  std::array<int32_t, 2> node_id{};
  bool all_zero = true;

  void take(int set, const double *v, int32_t node_id_of_record) {
    if (all_zero) all_zero = !any_nonzero(v);
    if (set == kModeShapeSet) {
      keep(0, v[0] * v[0] + v[1] * v[1] + v[2] * v[2], node_id_of_record);
      keep(1, v[3] * v[3] + v[4] * v[4] + v[5] * v[5], node_id_of_record);
      return;
    }
    keep(0,
         v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - v[0] * v[1] - v[1] * v[2] - v[0] * v[2] +
             3.0 * (v[3] * v[3] + v[4] * v[4] + v[5] * v[5]),
         node_id_of_record);
  }
  void keep(int slot, double squared, int32_t id) {
    if (squared > value[at(slot)]) {
      value[at(slot)] = squared;
      node_id[at(slot)] = id;
    }
  }
};

void record_statistics(Database &db, const WritePlan &plan, int set, int32_t index, const ModeExtremes &extremes) {
  const std::size_t exported_index = at(index - plan.first_mode);
  if (exported_index >= db.statistics.size()) return;
  ModeStatistics &record = db.statistics[exported_index];
  const int first_slot = set == kModeShapeSet ? 0 : set + 1;
  const int slots = set == kModeShapeSet ? 2 : 1;
  for (int k = 0; k < slots; ++k) {
    record.node_id[at(first_slot + k)] = extremes.node_id[at(k)];
    record.value[at(first_slot + k)] = std::sqrt(extremes.value[at(k)]);
    record.computed[at(first_slot + k)] = true;
  }
}

// Records of a mode as they lie in a double-precision store, when no unit
// factor changes them: the encoder takes them from there, with no copy in
// between. Null when they are not to be had so.
const double *records_in_place(Database &db, int set, int32_t index, int32_t first, int32_t count) {
  const bool unscaled =
      std::all_of(db.unit_factor.begin(), db.unit_factor.end(), [](double factor) { return factor == 1.0; });
  if (!unscaled || index >= db.mode_count()) return nullptr;
  return db.temp[at(set)].mapped_records(index, first, count);
}

// Records [first, first + count) of the listed nodes into `chunk`: read
// from the store when the list is the set, gathered from the whole mode
// when it is not.
bool copy_listed_records(Database &db, int set, int32_t index, const SetSelection &selection,
                         const std::vector<double> &whole, int32_t first, int32_t count, double *chunk) {
  if (selection.positions.empty()) return ReadModeRecords(db, set, index, first, count, chunk);
  for (int32_t k = 0; k < count; ++k) {
    const int32_t p = selection.positions[at(first + k)];
    double *row = chunk + kValuesPerRecord * k;
    if (p < 0) std::fill_n(row, kValuesPerRecord, 0.0);
    else std::copy_n(&whole[at(kValuesPerRecord * p)], kValuesPerRecord, row);
  }
  return true;
}

// One mode's values for the listed nodes, a chunk at a time: in place when
// the store can give them so, else through a buffer.
bool write_mode_values(ZelFile &file, Database &db, int set, int32_t index, const SetSelection &selection,
                       ModeExtremes &extremes, WriteBehind &pacing) {
  const int32_t listed = static_cast<int32_t>(selection.node_ids.size());
  std::vector<double> whole;
  if (!selection.positions.empty()) {
    whole.resize(at(kValuesPerRecord) * at(db.set_count(set)));
    if (!ReadModeRecords(db, set, index, 0, db.set_count(set), whole.data())) return false;
  }
  std::vector<double> chunk;
  for (int32_t first = 0; first < listed; first += kRecordsPerChunk) {
    const int32_t count = std::min(kRecordsPerChunk, listed - first);
    const double *values = selection.positions.empty() ? records_in_place(db, set, index, first, count) : nullptr;
    if (values == nullptr) {
      chunk.resize(at(kValuesPerRecord) * at(std::min(listed, kRecordsPerChunk)));
      if (!copy_listed_records(db, set, index, selection, whole, first, count, chunk.data())) return false;
      values = chunk.data();
    }
    for (int32_t k = 0; k < count; ++k)
      extremes.take(set, values + kValuesPerRecord * k, selection.node_ids[at(first + k)]);
    if (!file.write_reals(values, at(kValuesPerRecord * count)) || !pacing.written()) return false;
  }
  return true;
}

bool write_value_set_block(ZelFile &file, Database &db, WritePlan &plan, int set) {
  const SetSelection *selection = selection_of(db, plan, set);
  if (selection == nullptr) return false;
  const SetWording wording = wording_of(set);
  ZEL_Info(wording.info, static_cast<long>(plan.exported_modes()), static_cast<long>(selection->node_ids.size()));
  if (!write_modal_head(file, plan.exported_modes(), selection->node_ids)) return false;
  if (set == kModeShapeSet) ZEL_Info("\nWriting Mode Shapes");
  WriteBehind pacing(file);
  for (int32_t index = plan.first_mode; index < plan.last_mode; ++index) {
    const int32_t number = db.mode_numbers[at(index)];
    ModeExtremes extremes;
    if (!write_mode_number(file, plan.version, set, number) ||
        !write_mode_values(file, db, set, index, *selection, extremes, pacing))
      return false;
    if (extremes.all_zero) ZEL_Warning(wording.all_zero, number);
    record_statistics(db, plan, set, index, extremes);
    ZEL_TimeMonitorStamp();
  }
  return true;
}

bool write_mode_shapes_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_value_set_block(file, db, plan, kModeShapeSet);
}
bool write_stress_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_value_set_block(file, db, plan, kStressSet);
}
bool write_strain_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_value_set_block(file, db, plan, kStrainSet);
}

bool write_pre_values_block(ZelFile &file, Database &db, WritePlan &plan, int set) {
  const SetSelection *selection = selection_of(db, plan, set);
  if (selection == nullptr) return false;
  ZEL_Info(set == kStressSet ? "\nPre-Stress info:\n   Nodes: %ld" : "\nPre-Strain info:\n   Nodes: %ld",
           static_cast<long>(selection->node_ids.size()));
  std::vector<double> values(at(kValuesPerRecord) * selection->node_ids.size(), 0.0);
  const int32_t count = db.set_count(set);
  if (count > 0 && !pre_values_of(db, set).empty()) {
    // Held in the units they were given in: the query converts them to the
    // body's current units, as it does the modes written beside them.
    const double *pre = LoadCachedMode(&db, 0, set);
    if (pre == nullptr) return false;
    for (std::size_t k = 0; k < selection->node_ids.size(); ++k) {
      const int32_t p = selection->positions.empty() ? static_cast<int32_t>(k) : selection->positions[k];
      if (p >= 0 && p < count) std::copy_n(pre + kValuesPerRecord * p, kValuesPerRecord, &values[kValuesPerRecord * k]);
    }
  }
  return write_pre_values(file, values);
}

bool write_pre_stress_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_pre_values_block(file, db, plan, kStressSet);
}
bool write_pre_strain_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_pre_values_block(file, db, plan, kStrainSet);
}

// ------------------------------------------------- per-mode arrays

// values[first .. last), a mode without a value written as 0: the
// builder's arrays stop at the last mode given a value.
std::vector<double> exported_values(const std::vector<double> &values, const WritePlan &plan) {
  std::vector<double> slice(at(plan.exported_modes()), 0.0);
  for (int32_t index = plan.first_mode; index < plan.last_mode && at(index) < values.size(); ++index)
    slice[at(index - plan.first_mode)] = values[at(index)];
  return slice;
}

bool write_preload_block(ZelFile &file, Database &db, WritePlan &plan) {
  return write_preload(file, db.preload_processed, exported_values(db.preload, plan));
}

bool write_loads_block(ZelFile &file, Database &db, WritePlan &plan) {
  std::vector<LoadCase> cases;
  cases.reserve(db.load_cases.size());
  for (const LoadCase &load : db.load_cases)
    cases.push_back(LoadCase{load.label, load.processed, exported_values(load.values, plan)});
  return write_modal_loads(file, cases, 0, plan.exported_modes());
}

bool write_statistics_block(ZelFile &file, Database &db, WritePlan &) { return write_statistics(file, db.statistics); }

// The invariant's file-order values for the exported modes only.
std::vector<double> exported_invariant(const std::vector<double> &all, Invariant invariant, int32_t modes,
                                       const WritePlan &plan) {
  if (!invariant_has_mode_count(invariant) || (plan.first_mode == 0 && plan.last_mode == modes)) return all;
  const std::size_t m = at(modes);
  std::vector<double> kept;
  const auto keep_range = [&](std::size_t start, std::size_t stride) {
    for (int32_t i = plan.first_mode; i < plan.last_mode; ++i)
      kept.insert(kept.end(), all.begin() + static_cast<std::ptrdiff_t>(start + stride * at(i)),
                  all.begin() + static_cast<std::ptrdiff_t>(start + stride * at(i) + stride));
  };
  switch (invariant) {
    case Invariant::k3:
    case Invariant::k4:
      for (std::size_t c = 0; c < 3; ++c) keep_range(c * m, 1);
      break;
    case Invariant::k8:
      keep_range(0, 9);
      break;
    case Invariant::k5:
      for (int32_t i = plan.first_mode; i < plan.last_mode; ++i)
        for (std::size_t c = 0; c < 3; ++c) keep_range(3 * m * at(i) + c * m, 1);
      break;
    default:  // k9
      for (int32_t i = plan.first_mode; i < plan.last_mode; ++i) keep_range(9 * m * at(i), 9);
      break;
  }
  return kept;
}

bool write_invariant_block(ZelFile &file, Database &db, const WritePlan &plan, Invariant invariant) {
  // A body without modes has no modal invariant to compute, and its block
  // holds one of no modes: not a reason to refuse the body.
  if (invariant_has_mode_count(invariant) && db.mode_count() == 0) return write_invariant(file, invariant, 0, {});
  if (!hold_invariant(db, invariant)) return false;
  const std::vector<double> all = invariant_values(db, invariant);
  if (at(invariant_value_count(invariant, db.mode_count())) != all.size()) return false;
  return write_invariant(file, invariant, plan.exported_modes(), exported_invariant(all, invariant, db.mode_count(), plan));
}

template <Invariant kInvariant>
bool write_invariant_n(ZelFile &file, Database &db, WritePlan &plan) {
  return write_invariant_block(file, db, plan, kInvariant);
}

// ------------------------------------------------------------ the table

using BlockWriter = bool (*)(ZelFile &, Database &, WritePlan &);

struct BlockOutput {
  BlockWriter write;
  const char *failure;
};

// By block index; blocks 1 to 3 are the driver's.
const std::array<BlockOutput, kBlockCount> kOutputs = {{
    {nullptr, nullptr},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {write_coordinates_block, "Problem writing nodal coordinates.\n"},
    {write_topology_block, "Problem writing element topology map."},
    {write_global_block, "Problem writing Global Body Properties."},
    {write_eigenvalues_block, "Problem writing eigenvalues."},
    {write_mode_shapes_block, "Problem writing Mode Shapes."},
    {write_masses_block, "Problem writing Nodal Masses.\n"},
    {write_inertias_block, "Problem writing Nodal Inertia info."},
    {write_units_block, "Problem writing Units strings."},
    {write_stiffness_block, "Problem writing Generalized Stiffness info."},
    {write_mass_block, "Problem writing Generalized Mass info."},
    {write_faces_block, "Problem writing element face info."},
    {write_damping_block, "Problem writing Generalized Damping info."},
    {write_transformation_block, "Problem writing Mode Shape Transformation."},
    {write_interface_block, "Problem writing Interface Nodes."},
    {write_stress_block, "Problem writing Modal Stress.\n"},
    {write_invariant_n<Invariant::k1>, "Problem writing Invariant 1.\n"},
    {write_invariant_n<Invariant::k2>, "Problem writing Invariant 2.\n"},
    {write_invariant_n<Invariant::k3>, "Problem writing Invariant 3.\n"},
    {write_invariant_n<Invariant::k4>, "Problem writing Invariant 4.\n"},
    {write_invariant_n<Invariant::k5>, "Problem writing Invariant 5.\n"},
    {write_invariant_n<Invariant::k7>, "Problem writing Invariant 7.\n"},
    {write_invariant_n<Invariant::k8>, "Problem writing Invariant 8.\n"},
    {write_invariant_n<Invariant::k9>, "Problem writing Invariant 9.\n"},
    {write_preload_block, "Problem writing Preload.\n"},
    {write_loads_block, "Problem writing Modal Loads.\n"},
    {write_strain_block, "Problem writing Modal Strain."},
    {write_statistics_block, "Problem writing Modal Statistics.\n"},
    {write_pre_stress_block, "Problem writing Pre-Stress.\n"},
    {write_pre_strain_block, "Problem writing Pre-Strain.\n"},
}};

}  // namespace

namespace {

// A block the system refused (a full disk, a file-size limit) says why, in
// place of the line its message would otherwise end with.
void report_block_failure(const ZelFile &file, const char *failure, int error) {
  if (file.fp == nullptr || std::ferror(file.fp) == 0 || error == 0) {
    ZEL_Error("%s", failure);
    return;
  }
  std::string text(failure);
  while (!text.empty() && (text.back() == '\n' || text.back() == '.')) text.pop_back();
  ZEL_Error("%s: %s", text.c_str(), std::strerror(error));
}

}  // namespace

bool WritePlan::expands_partial_sets() const { return (version & 0xFFu) < 60; }

void drop_empty_matrix_blocks(Database &db, WritePlan &plan) {
  for (const int block : {kGeneralizedStiffnessBlock, kGeneralizedMassBlock, kGeneralizedDampingBlock}) {
    uint8_t &flag = plan.summary[at(content_position(block))];
    if (flag != 0 && matrix_to_write(db, plan, block).entries.empty()) flag = 0;
  }
}

bool write_body_block(ZelFile &file, Database &db, WritePlan &plan, int block_index) {
  const BlockOutput &output = kOutputs[at(block_index)];
  if (output.write == nullptr) return false;
  const bool written = ZEL_GUARDED(false, { return output.write(file, db, plan); });
  const int error = errno;
  if (!written) report_block_failure(file, output.failure, error);
  return written;
}

}  // namespace zel
