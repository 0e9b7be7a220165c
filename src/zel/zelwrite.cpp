// The writer: one call turns a body into a ZEL file. It reads its options,
// prepares the body (mesh tools, orthonormal modes, frequency filter,
// invariants, principal axes, node reduction, units) and writes the blocks
// in id order into a file that replaces the target only when complete.
//
// Everything that can refuse the write without looking at the data (an
// unreadable option, conflicting options, the body's own file as target,
// a target that cannot be created) is checked before the body is touched.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "body/database.h"
#include "body/invariants.h"
#include "format/blocks.h"
#include "format/write_blocks.h"
#include "format/write_options.h"
#include "numeric/node_reduction.h"
#include "numeric/orthonormalize.h"
#include "platform/build_profile.h"
#include "platform/messages.h"
#include "platform/pending_file.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelwrite";

// Blocks 19 to 26 hold invariants 1 to 5 and 7 to 9.
constexpr int kLastInvariantBlock = kInvariant7Block + 2;

// The reduced library knows no modal strain, statistics, pre-stress or
// pre-strain: its files end with the modal loads.
constexpr int kLastWrittenBlock = profile::kCore ? kModalLoadsBlock : kBlockCount - 1;

uint8_t &summary_flag(WritePlan &plan, int block_index) {
  return plan.summary[static_cast<std::size_t>(content_position(block_index))];
}

// The file the body was read from, or one of its stores, when `path`
// names it.
const ZelFile *own_file_at(const Database &db, const std::string &path) {
  if (names_file_of(path, db.file)) return &db.file;
  for (const TempStore &store : db.temp)
    if (names_file_of(path, store.file)) return &store.file;
  return nullptr;
}

bool refused_before_writing(const Database &db, const std::string &path, const WriteOptions &options) {
  if (options.malformed) {
    ZEL_Error("%s", options.malformed->c_str());
    return true;
  }
  if (const ZelFile *own = own_file_at(db, path)) {
    ZEL_Error("The output ZEL name must be different than the current ZEL name.\n  Current ZEL name:  %s\n  Output "
              "ZEL name:  %s",
              own->name.c_str(), path.c_str());
    return true;
  }
  if (!options.conflicts.empty()) {
    for (const std::string &conflict : options.conflicts) ZEL_Error("%s", conflict.c_str());
    ZEL_Error("Problem writing version number.");
    return true;
  }
  return false;
}

void apply_mesh_options(Database &db, const WriteOptions &options) {
  if (options.lbrf2cm) ShiftLbrfToCm(&db);
  if (options.sketch) ZEL_SketchGrid(&db, options.sketch->c_str());
  if (options.strip_face) ZEL_StripCommonFaces(&db);
  if (options.lbrf2cm) ShiftLbrfToCm(&db);
  if (options.coarsen && !options.coarsen->empty()) ZEL_TrimGeometry(&db, options.coarsen->c_str());
}

bool write_leading_blocks(ZelFile &file, const Database &db, uint32_t version) {
  if (!file.write_int(static_cast<int32_t>(version))) {
    ZEL_Error("Problem writing version number.");
    return false;
  }
  const Header header{db.title, db.date, db.input_file_name, db.input_file_type, db.comment};
  if (!write_header(file, header)) {
    ZEL_Error("Problem writing header information.");
    return false;
  }
  return true;
}

// ------------------------------------------------ summary and preparation

void mark_faces(WritePlan &plan, const Database &db, bool old_topology) {
  if (block_flag(db, kFacesBlock) || block_flag(db, kElementTopologyBlock))
    summary_flag(plan, old_topology ? kElementTopologyBlock : kFacesBlock) = 1;
}

// Readers learn the nodes from the coordinates block alone: the masses,
// modes and faces of nodes it lacks would be lost. A body with nodes writes
// it even when no coordinates were set (they are then 0).
void mark_coordinates(WritePlan &plan, const Database &db) {
  summary_flag(plan, kCoordinatesBlock) = block_flag(db, kCoordinatesBlock) || db.node_count() > 0;
}

void start_summary(WritePlan &plan, const Database &db, bool old_topology) {
  for (const int block : {kModeShapesBlock, kNodalMassesBlock, kNodalInertiasBlock, kGeneralizedDampingBlock,
                          kInterfaceNodesBlock, kModalStressBlock})
    summary_flag(plan, block) = block_flag(db, block);
  mark_coordinates(plan, db);
  summary_flag(plan, kUnitsBlock) = 1;
  mark_faces(plan, db, old_topology);
}

int32_t first_index_where(Database &db, int32_t from, bool (*stop)(double hz, double mass, double limit), double limit) {
  for (int32_t index = from; index < db.mode_count(); ++index) {
    double hz = 0.0, mass = 0.0;
    ZEL_Eigenvalue(&db, db.mode_numbers[static_cast<std::size_t>(index)], nullptr, &hz, nullptr, &mass, nullptr);
    if (stop(hz, mass, limit)) return index;
  }
  return -1;
}

// The exported range: from the first mode above the high-pass frequency up
// to the first one above the low-pass frequency or without mass; the first
// exported mode is renumbered 1.
void filter_by_frequency(Database &db, const WriteOptions &options, WritePlan &plan) {
  ZEL_Info("Exporting frequency range [%le,%le]\n", options.high_pass, options.low_pass);
  const int32_t first = first_index_where(
      db, 0, [](double hz, double, double limit) { return hz > limit; }, options.high_pass);
  const int32_t last = first_index_where(
      db, 0, [](double hz, double mass, double limit) { return mass == 0.0 || hz > limit; }, options.low_pass);
  plan.first_mode = first < 0 ? 0 : first;
  // A low-pass limit below the high-pass one leaves nothing, not a
  // negative count.
  plan.last_mode = std::max(last < 0 ? db.mode_count() : last, plan.first_mode);
  if (db.mode_count() == 0) return;
  const int32_t shift = db.mode_numbers[static_cast<std::size_t>(plan.first_mode)] - 1;
  for (int32_t &number : db.mode_numbers) number -= shift;
}

// False when the modes to be written could not be made mass-orthonormal:
// written as they are, they would pass for orthonormal modes they are not.
// A body written without its modes ("empty") does not need them.
bool prepare_modes(Database &db, const WriteOptions &options, WritePlan &plan) {
  if (options.no_ortho) {
    summary_flag(plan, kGeneralizedStiffnessBlock) = 1;
    summary_flag(plan, kGeneralizedMassBlock) = 1;
    plan.first_mode = 0;
    plan.last_mode = db.mode_count();
    return true;
  }
  const bool orthonormal = OrthonormalizeModes(&db) == 1;
  if (!orthonormal && !options.empty) return false;
  summary_flag(plan, kTransformationBlock) = orthonormal || !db.transform.empty();
  summary_flag(plan, kEigenvaluesBlock) = db.mode_count() > 0;
  filter_by_frequency(db, options, plan);
  return true;
}

void set_invariant_flags(WritePlan &plan, std::initializer_list<int> numbers, uint8_t value) {
  for (const int number : numbers) summary_flag(plan, invariant_block_index(number)) = value;
}

// Runs the invariant level the options ask for; false when they name none.
bool compute_invariants(Database &db, const WriteOptions &options, WritePlan &plan, bool &computed) {
  computed = false;
  if (!options.invar) return true;
  if (options.full_invar) {
    ComputeAllInvariants(&db);
    set_invariant_flags(plan, {1, 2, 3, 4, 5, 7, 8, 9}, 1);
  } else if (options.fast_invar) {
    ComputeFastInvariants(&db);
    set_invariant_flags(plan, {1, 2, 3, 4, 7, 8}, 1);
    set_invariant_flags(plan, {5, 9}, 0);
  } else {
    ZEL_Warning("Illegal invariants option, use full_invar or fast_invar.");
    return false;
  }
  computed = true;
  return true;
}

void prepare_invariants(Database &db, const WriteOptions &options, WritePlan &plan, bool &preparation_ok) {
  for (int block = kInvariant1Block; block <= kLastInvariantBlock; ++block)
    summary_flag(plan, block) = block_flag(db, block);
  bool computed = false;
  if (!compute_invariants(db, options, plan, computed)) preparation_ok = false;
  if (!computed && !block_flag(db, kInvariant1Block + 2)) {
    summary_flag(plan, kGlobalPropertiesBlock) =
        block_flag(db, kGlobalPropertiesBlock) ||
        (block_flag(db, kCoordinatesBlock) && block_flag(db, kNodalMassesBlock));
    return;
  }
  ZEL_RigidBodyForcesOnPrincipalAxes(&db);
  ZEL_DampingOnPrincipalAxes(&db);
  if (preparation_ok && ReduceToGeometryNodes(&db) != 1) preparation_ok = false;
  store_global_mass_properties(db, inertia_invariant1(db), inertia_invariant2(db), inertia_invariant7(db));
  summary_flag(plan, kGlobalPropertiesBlock) = 1;
}

void prepare_statistics(Database &db, WritePlan &plan) {
  db.statistics.clear();
  block_flag(db, kStatisticsBlock) = 0;
  if (plan.exported_modes() != 0) {
    db.statistics.assign(static_cast<std::size_t>(plan.exported_modes()), ModeStatistics{});
    block_flag(db, kStatisticsBlock) = 1;
  }
  summary_flag(plan, kStatisticsBlock) = block_flag(db, kStatisticsBlock);
}

void prepare_empty_body(Database &db, WritePlan &plan, bool old_topology) {
  plan.summary.fill(0);
  for (const int block : {kNodalMassesBlock, kNodalInertiasBlock, kInterfaceNodesBlock})
    summary_flag(plan, block) = block_flag(db, block);
  mark_coordinates(plan, db);
  summary_flag(plan, kUnitsBlock) = 1;
  summary_flag(plan, kGlobalPropertiesBlock) = 1;
  mark_faces(plan, db, old_topology);
  ComputeRigidInvariants(&db);
  set_invariant_flags(plan, {1, 2, 7}, 1);
}

// The plan of what is written; none when the body cannot be written as
// it was given.
std::optional<WritePlan> prepare_body(Database &db, const WriteOptions &options) {
  WritePlan plan;
  plan.version = options.version;
  plan.sparse_sets = options.sparse_str;
  const bool old_topology = options.old_topology();
  start_summary(plan, db, old_topology);
  if (!prepare_modes(db, options, plan)) return std::nullopt;
  const std::size_t cells = db.transform.size();
  while ((plan.transform_stride + 1) * (plan.transform_stride + 1) <= cells) ++plan.transform_stride;
  bool preparation_ok = true;
  prepare_invariants(db, options, plan, preparation_ok);
  for (const int block : {kPreloadBlock, kModalLoadsBlock, kModalStrainBlock, kPreStressBlock, kPreStrainBlock})
    summary_flag(plan, block) = block_flag(db, block);
  prepare_statistics(db, plan);
  if (options.empty) prepare_empty_body(db, plan, old_topology);
  if (options.mks && preparation_ok) ZEL_SetUnits(&db, "KILOGRAM", "METER", "SECOND", "NEWTON");
  drop_empty_matrix_blocks(db, plan);
  for (int block = kLastWrittenBlock + 1; block < kBlockCount; ++block) summary_flag(plan, block) = 0;
  return plan;
}

// The summary's lines in order, with the reduced library's own label where
// it has one (null: the line is not among its sixteen).
struct SummaryLine {
  const char *label;
  const char *core_label;
  int flag;
};

void report_contents(const Database &db, WritePlan &plan) {
  const auto yes_no = [](int flag) { return flag != 0 ? "Yes" : "No"; };
  const SummaryLine lines[] = {
      {"Nodal Coords", "Nodal_coords", summary_flag(plan, kCoordinatesBlock)},
      {"Element Faces", "Element_faces", summary_flag(plan, kFacesBlock)},
      {"Eigenvalues", "Eigenvalues", summary_flag(plan, kEigenvaluesBlock)},
      {"Mode Shapes", "Mode_shapes", summary_flag(plan, kModeShapesBlock)},
      {"Global Mass Properties", "Global Mass Properties", summary_flag(plan, kGlobalPropertiesBlock)},
      {"Nodal Masses", "Nodal_masses", summary_flag(plan, kNodalMassesBlock)},
      {"Nodal Inertias", "Nodal_inertias", summary_flag(plan, kNodalInertiasBlock)},
      {"Generalized Stiffness", "Generalized stiffness matrix", block_flag(db, kGeneralizedStiffnessBlock)},
      {"Generalized Mass", "Generalized mass matrix", block_flag(db, kGeneralizedMassBlock)},
      {"Generalized Damping", "Generalized damping", summary_flag(plan, kGeneralizedDampingBlock)},
      {"Mode Transformation", "Mode_Shape_Transformation", summary_flag(plan, kTransformationBlock)},
      {"Stress Modes", "Modal Stress", summary_flag(plan, kModalStressBlock)},
      {"Interface Nodes", "Interface Nodes", summary_flag(plan, kInterfaceNodesBlock)},
      {"Inertia Invariants", "Inertia Invariants", summary_flag(plan, kInvariant1Block)},
      {"Modal Preload", "Modal Preload", summary_flag(plan, kPreloadBlock)},
      {"Modal Loads", "Modal Loads", summary_flag(plan, kModalLoadsBlock)},
      {"Strain Modes", nullptr, summary_flag(plan, kModalStrainBlock)},
      {"Nodal Pre-Stress", nullptr, summary_flag(plan, kPreStressBlock)},
      {"Nodal Pre-Strain", nullptr, summary_flag(plan, kPreStrainBlock)},
  };
  ZEL_Info("\nCreating a ZEL with the following information:\n");
  for (const SummaryLine &line : lines) {
    const char *label = profile::kCore ? line.core_label : line.label;
    if (label != nullptr) ZEL_Info("%30s %s", label, yes_no(line.flag));
  }
}

// One progress step per block, and one per mode of a block of mode values
// (whose block writer stamps them): those hold nearly all of a large
// body's bytes.
int32_t write_steps(const WritePlan &plan) {
  int32_t steps = 0;
  for (int block = kFirstOptionalBlock; block < kBlockCount; ++block)
    if (plan.has_block(block)) steps += holds_mode_values(block) ? std::max(plan.exported_modes(), 1) : 1;
  return std::max(steps, 1);
}

bool write_blocks(ZelFile &file, Database &db, WritePlan &plan) {
  std::array<char, kExistsFlagCount> summary{};
  std::copy(plan.summary.begin(), plan.summary.end(), summary.begin());
  if (!file.write_chars(summary.data(), summary.size())) {
    ZEL_Error("Problem writing content summary.\n");
    return false;
  }
  ZEL_TimeMonitor(write_steps(plan));
  for (int block = kFirstOptionalBlock; block < kBlockCount; ++block) {
    if (!plan.has_block(block)) continue;
    if (!write_body_block(file, db, plan, block)) return false;
    if (!holds_mode_values(block) || plan.exported_modes() == 0) ZEL_TimeMonitorStamp();
  }
  return true;
}

int write_zel(Database &db, const std::string &path) {
  const WriteOptions options = parse_write_options(std::getenv("KOR_ZELWRITE_OPTIONS"));
  for (const std::string &word : options.unknown_words)
    ZEL_Warning("Unknown write option \"%s\" is ignored.", word.c_str());
  if (refused_before_writing(db, path, options)) return 0;
  PendingFile output;
  std::string reason;
  if (!output.create(path, options.use_xdr(), options.double_precision(), reason)) {
    ZEL_Error("Unable to open %s for write: %s", path.c_str(), reason.c_str());
    return 0;
  }
  apply_mesh_options(db, options);
  if (!write_leading_blocks(output.file, db, options.version)) return 0;
  std::optional<WritePlan> plan = prepare_body(db, options);
  if (!plan) {
    ZEL_Error("The modes could not be made mass-orthonormal: %s was not written.", path.c_str());
    return 0;
  }
  report_contents(db, *plan);
  if (!write_blocks(output.file, db, *plan)) return 0;
  std::string problem;
  if (!output.commit(problem)) {
    ZEL_Error("Problem completing %s: %s", path.c_str(), problem.c_str());
    return 0;
  }
  return 1;
}

bool has_database_to_write(Database *db) {
  if constexpr (!profile::kCore) return CheckZEL(db) == 1;
  if (db != nullptr) return true;
  ZEL_Error("There is no database to write.");
  return false;
}

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API int ZEL_write_ZEL(Database *db, const char *path) {
  if (!has_database_to_write(db) || path == nullptr) return 0;
  return ZEL_GUARDED(0, { return write_zel(*db, path); });
}

ZEL_API const char *zelwrite_VersionId(void) { return "zelwrite 1.0"; }

}  // extern "C"
