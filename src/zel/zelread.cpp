// File -> Database: the blocks of a ZEL file read in a fixed order with
// the consistency checks between them. Mode shapes, modal stresses and
// strains stay in the file: only where each mode's values start is kept,
// and the file stays open for the queries to read them on demand.
#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "body/database.h"
#include "format/block_table.h"
#include "format/blocks.h"
#include "format/reader.h"
#include "format/zeltoc.h"
#include "numeric/geometry_tools.h"
#include "platform/messages.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelread";

constexpr int64_t kHeaderOffset = 4;

bool fail(const char *message) {
  ZEL_Error("%s", message);
  return false;
}

// Moves to block b; false when the file does not have it. A body being
// built flags blocks present without having a file to find them in.
bool at_block(Database &db, int b) {
  if (block_flag(db, b) == 0 || db.file.fp == nullptr) return false;
  // A stream may refuse to seek past its end, where a damaged file can
  // place a block. Such a block is read from the end, so that it fails
  // with its own message instead of being read from wherever the last
  // block left off.
  if (!db.file.seek(db.toc[static_cast<std::size_t>(b)])) db.file.seek(db.file.size());
  return true;
}

// Reads up to n ints from the start of block b (where the file is) and
// goes back there, so the block's decoder reads it whole. Gives how many
// were read: the counts the checks need come before the decoder runs.
int leading_ints(Database &db, int b, int32_t *values, int n) {
  int read = 0;
  while (read < n && db.file.read_int(values[read])) ++read;
  db.file.seek(db.toc[static_cast<std::size_t>(b)]);
  return read;
}

// A reference to a node index that the node table does not have becomes
// -1, which every consumer reads as "no node".
void drop_missing_node(const Database &db, int32_t &index) {
  if (index < 0 || index >= db.node_count()) index = -1;
}

void index_nodes(Database &db) {
  db.node_sorted.clear();
  db.node_sorted.reserve(db.node_count());
  for (int32_t i = 0; i < db.node_count(); ++i) db.node_sorted.insert(db.nodes[static_cast<std::size_t>(i)].id, i);
}

// The mode number of each of `mode_count` modes: as stored in the block
// when the version stores it, else from the eigenvalue record of the same
// index, else index + 1.
std::vector<int32_t> mode_numbers_of(const Database &db, ModeNumberField field, const ModeValueIndex &index,
                                     int32_t mode_count) {
  if (field == ModeNumberField::kStored) return index.mode_numbers;
  std::vector<int32_t> numbers(static_cast<std::size_t>(mode_count));
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const std::size_t record = i * kEigenRecordValues;
    numbers[i] = record < db.eigen.size() ? static_cast<int32_t>(db.eigen[record]) : static_cast<int32_t>(i + 1);
  }
  return numbers;
}

// ------------------------------------------------------------ the blocks

// The outcome of the unit names does not matter to the rest of the file.
void read_unit_names(Database &db) {
  db.unit_factor = {1.0, 1.0, 1.0, 1.0};
  if (!at_block(db, kUnitsBlock)) {
    db.unit_name = kDefaultUnitNames;
    return;
  }
  read_units(db.file, db.unit_name);
  for (std::string &name : db.unit_name) {
    char label[kUnitNameChars + 1] = {};
    name.copy(label, kUnitNameChars);
    if (!ZEL_ConvertUnitsLabel(label)) break;
    name = label;
  }
}

bool read_header_block(Database &db) {
  Header header;
  const bool read = db.file.seek(kHeaderOffset) && read_header(db.file, header);
  db.title = header.title;
  db.date = header.date;
  db.input_file_name = header.input_file_name;
  db.input_file_type = header.input_file_type;
  db.comment = header.comment;
  return read || fail("Problem reading Header information");
}

bool read_coordinates_block(Database &db) {
  if (!at_block(db, kCoordinatesBlock)) return true;
  constexpr const char *kProblem = "Problem reading Node Coordinates Data";
  int32_t counts[2] = {};
  const int read = leading_ints(db, kCoordinatesBlock, counts, 2);
  if (read < 1) return fail(kProblem);
  if (counts[0] <= 0) return fail("Out of memory while reading Nodal Coordinate block");
  if (read < 2) return fail(kProblem);
  if (counts[1] != 3)
    ZEL_Error("Node location should only be specified with 3 coordinates, not %ld", static_cast<long>(counts[1]));
  const CoordinatesHead head{counts[0], counts[1]};
  if (!db.file.skip(8) || !read_coordinates(db.file, head, db.nodes)) return fail(kProblem);
  db.mode_shape_nodes.reset();
  index_nodes(db);
  return true;
}

bool read_global_properties_block(Database &db) {
  if (!at_block(db, kGlobalPropertiesBlock)) return true;
  GlobalProperties properties;
  if (!read_global_properties(db.file, properties)) return fail("Problem reading Global Body Properties");
  db.global_mass = properties.mass;
  db.global_cm = properties.cm;
  db.global_inertia = properties.inertia;
  return true;
}

bool read_eigenvalues_block(Database &db) {
  if (!at_block(db, kEigenvaluesBlock)) return true;
  constexpr const char *kProblem = "Problem reading Eigenvalue Data";
  int32_t count = 0;
  if (leading_ints(db, kEigenvaluesBlock, &count, 1) < 1 || count < 0) return fail(kProblem);
  db.eigen_count = count;
  if (count > 0 && !read_eigenvalues(db.file, db.version, db.eigen)) return fail(kProblem);
  return true;
}

// Makes the room a value set's node tables take. Unlike the rest of a
// modal block, these have no message of the block's own: memory refused
// for them is the common memory failure, reported with `line`.
template <class MakeRoom>
bool node_tables_made(MakeRoom &&make_room, int line) {
  try {
    make_room();
    return true;
  } catch (const std::bad_alloc &) {
    report_memory_failure(line, kModule);
    return false;
  }
}

bool room_made_for_node_list(const ModalHead &head, std::vector<int32_t> &node_ids) {
  return node_tables_made([&] { node_ids.reserve(static_cast<std::size_t>(head.node_count)); }, __LINE__);
}

// The listed nodes move to the front of the node table in list order, each
// node's coordinates, mass and inertia moving with it. False when the list
// names a node the table lacks, or one node twice: values would then be
// paired with the wrong node.
bool order_nodes_as(Database &db, const std::vector<int32_t> &node_ids) {
  for (std::size_t j = 0; j < node_ids.size(); ++j) {
    const int32_t id = node_ids[j];
    if (id != 0 && id != db.nodes[j].id) ZEL_SwapNodesByID(&db, id, db.nodes[j].id);
  }
  for (std::size_t j = 0; j < node_ids.size(); ++j)
    if (node_ids[j] != 0 && node_ids[j] != db.nodes[j].id) return false;
  return true;
}

bool read_mode_shapes_block(Database &db) {
  if (!at_block(db, kModeShapesBlock)) return true;
  constexpr const char *kProblem = "Problem encountered while caching Mode shape Data";
  int32_t counts[2] = {};
  const int read = leading_ints(db, kModeShapesBlock, counts, 2);
  if (read < 1) return fail(kProblem);
  if (db.eigen_count > 0 && counts[0] != db.eigen_count)
    return fail("Number of mode shapes does not match the number of eigenvalues");
  // Mode shapes may cover only the first nodes of the list's order; a
  // list longer than the node table would pair values with no node.
  ModalHead head;
  std::vector<int32_t> node_ids;
  if (read < 2 || !read_modal_head(db.file, db.version, kModeShapeSet, head) || head.node_count > db.node_count())
    return fail(kProblem);
  if (!room_made_for_node_list(head, node_ids)) return false;
  if (!read_modal_node_list(db.file, head, node_ids) || !order_nodes_as(db, node_ids)) return fail(kProblem);
  db.mode_shape_nodes = head.node_count;
  if (head.mode_count == 0) return true;
  ModeValueIndex index;
  if (!locate_mode_values(db.file, db.version, kModeShapeSet, head, index)) return fail(kProblem);
  db.mode_numbers = mode_numbers_of(db, mode_number_field(db.version, kModeShapeSet), index, head.mode_count);
  db.temp_slot_offset[kModeShapeSet] = std::move(index.offsets);
  return true;
}

bool read_nodal_masses_block(Database &db) {
  if (!at_block(db, kNodalMassesBlock)) return true;
  return read_nodal_masses(db.file, db) || fail("Problem reading Nodal Mass information");
}

bool read_nodal_inertias_block(Database &db) {
  if (!at_block(db, kNodalInertiasBlock)) return true;
  return read_nodal_inertias(db.file, db) || fail("Problem reading Nodal Inertia information");
}

// Blocks 12, 13 and 15 differ only in where they go and what they say.
struct GeneralizedBlockRead {
  int block;
  std::vector<GenEntry> Database::*entries;
  bool keeps_principal_axes_flag;
  const char *out_of_memory;
  const char *problem;
};

constexpr GeneralizedBlockRead kGeneralizedStiffness{
    kGeneralizedStiffnessBlock, &Database::gen_stiff, false, "Out of memory while reading Generalized Stiffness block",
    "Problem reading Generalized Stiffness information"};
constexpr GeneralizedBlockRead kGeneralizedMass{kGeneralizedMassBlock, &Database::gen_mass, false,
                                                "Out of memory while reading Generalized Mass block",
                                                "Problem reading Generalized Mass information"};
constexpr GeneralizedBlockRead kGeneralizedDamping{
    kGeneralizedDampingBlock, &Database::gen_damp, true, "Out of memory while reading Generalized Damping Block",
    "Problem reading Generalized Damping information"};

// Re-reads the block's entries (row and column as mode indices), keeping
// the file position; true when the block is absent or read whole.
bool reread_generalized(Database &db, const GeneralizedBlockRead &matrix) {
  const int64_t resume = db.file.tell();
  if (!at_block(db, matrix.block)) return true;
  GeneralizedMatrix read;
  const bool whole = read_generalized_matrix(db.file, read);
  db.*matrix.entries = std::move(read.entries);
  if (matrix.keeps_principal_axes_flag) db.damping_on_principal_axes = read.flag;
  if (resume >= 0) db.file.seek(resume);
  return whole;
}

bool read_generalized_block(Database &db, const GeneralizedBlockRead &matrix) {
  (db.*matrix.entries).clear();
  if (!at_block(db, matrix.block)) return true;
  int32_t count = 0;
  if (leading_ints(db, matrix.block, &count, 1) < 1) return fail(matrix.problem);
  if (count <= 0) return fail(matrix.out_of_memory);
  return reread_generalized(db, matrix) || fail(matrix.problem);
}

bool read_face_list(Database &db) {
  constexpr const char *kProblem = "Problem reading Element Faces";
  int32_t head[4] = {};  // S, reserved, F, L
  if (leading_ints(db, kFacesBlock, head, 4) < 4) return fail(kProblem);
  if (head[3] <= 0) return fail("Out of memory while reading Element Faces Block");
  return read_element_faces(db.file, db.face_count, db.face_list) || fail(kProblem);
}

bool read_old_style_topology(Database &db) {
  constexpr const char *kProblem = "Problem when reading old style element block";
  int32_t head[2] = {};  // T, E
  if (leading_ints(db, kElementTopologyBlock, head, 2) < 2) return fail(kProblem);
  if (head[1] <= 0) return fail("Out of memory while reading Element Topology Block");
  OldTopology topology;
  if (!read_element_topology(db.file, db.node_sorted, topology)) return fail(kProblem);
  db.face_list = std::move(topology.face_list);
  // T is only a total stated beside the faces; the faces themselves are
  // what consumers walk and size their work by.
  db.face_count = 0;
  for_each_face(db.face_list, [&](std::size_t, int32_t) { ++db.face_count; });
  return true;
}

// The conversion's tables are the old block's, and so is a failure to
// make room for them.
bool convert_old_style_topology(Database &db) {
  try {
    return read_old_style_topology(db);
  } catch (const std::bad_alloc &) {
    return fail("Out of memory while reading Element Topology Block");
  }
}

bool read_faces(Database &db) {
  bool read = true;
  if (at_block(db, kFacesBlock))
    read = read_face_list(db);
  else if (at_block(db, kElementTopologyBlock))
    read = convert_old_style_topology(db);
  if (!read) return false;
  for_each_face(db.face_list, [&](std::size_t first, int32_t vertices) {
    for (std::size_t v = first; v < first + static_cast<std::size_t>(vertices); ++v)
      drop_missing_node(db, db.face_list[v]);
  });
  return true;
}

constexpr char kTransformationProblem[] = "Problem when reading Mode Shape Transformation";

bool read_transformation_block(Database &db) {
  if (!at_block(db, kTransformationBlock)) return true;
  return read_mode_transformation(db.file, db.transform_modes, db.transform) || fail(kTransformationProblem);
}

constexpr char kInterfaceNodesProblem[] = "Problem when reading Interface Nodes";

bool read_interface_nodes_block(Database &db) {
  if (!at_block(db, kInterfaceNodesBlock)) return true;
  int32_t count = 0;
  if (leading_ints(db, kInterfaceNodesBlock, &count, 1) < 1) return fail(kInterfaceNodesProblem);
  if (count <= 0) {
    ZEL_Error("Out of memory while reading Interface Nodes block");
    return fail(kInterfaceNodesProblem);
  }
  if (!read_interface_nodes(db.file, db.interface_nodes)) return fail(kInterfaceNodesProblem);
  for (int32_t &index : db.interface_nodes) drop_missing_node(db, index);
  return true;
}

// Modal stress (set 1) and modal strain (set 2).
struct ValueSetBlockRead {
  int set;
  int block;
  const char *eigen_count_mismatch;
  const char *out_of_memory;
  const char *before_mode_shapes;
  const char *order_mismatch;
  const char *problem;
};

constexpr ValueSetBlockRead kModalStress{kStressSet,
                                         kModalStressBlock,
                                         "Number of stress modes does not match the number of eigenvalues",
                                         "Out of memory while reading Modal Stress Block",
                                         "Stress modes are being processed before mode shapes",
                                         "Stress modes are in a different order than mode shapes",
                                         "Problem when reading Modal Stress info"};
constexpr ValueSetBlockRead kModalStrain{kStrainSet,
                                         kModalStrainBlock,
                                         "Number of strain modes does not match the number of eigenvalues",
                                         "Out of memory while reading Modal Strain Block",
                                         "Strain modes are being processed before mode shapes",
                                         "Strain modes are in a different order than mode shapes",
                                         "Problem when reading Modal Strain info"};

// The set's node list: position -> node index, node ID -> position. A
// listed ID that is not a node of the file gets no node (-1), while its
// values stay reachable by ID.
void enter_set_nodes(Database &db, int set, const std::vector<int32_t> &node_ids) {
  ValueSet &values = db.sets[static_cast<std::size_t>(set)];
  values.node_of_position.clear();
  values.position_of_id.clear();
  values.node_of_position.reserve(node_ids.size());
  values.position_of_id.reserve(static_cast<int32_t>(node_ids.size()));
  for (std::size_t p = 0; p < node_ids.size(); ++p) {
    values.position_of_id.insert(node_ids[p], static_cast<int32_t>(p));
    values.node_of_position.push_back(db.node_sorted.find(node_ids[p]));
  }
}

// The numbers of the first `mode_count` modes of the mode-shape block. A
// block before this one may have cut the mode list short; the numbers of
// the modes it dropped are read again from the mode-shape block, where a
// stored number sits just before each mode's values.
bool renumber_modes(Database &db, int32_t mode_count) {
  const std::vector<int64_t> &shapes = db.temp_slot_offset[kModeShapeSet];
  if (mode_count <= db.mode_count()) {
    db.mode_numbers.resize(static_cast<std::size_t>(mode_count));
    return true;
  }
  if (static_cast<std::size_t>(mode_count) > shapes.size()) return false;
  const ModeNumberField field = mode_number_field(db.version, kModeShapeSet);
  ModeValueIndex stored;
  if (field == ModeNumberField::kStored) {
    const int64_t resume = db.file.tell();
    stored.mode_numbers.resize(static_cast<std::size_t>(mode_count));
    for (std::size_t i = 0; i < stored.mode_numbers.size(); ++i)
      if (!read_stored_mode_number(db.file, shapes[i], stored.mode_numbers[i])) return false;
    if (!db.file.seek(resume)) return false;
  }
  db.mode_numbers = mode_numbers_of(db, field, stored, mode_count);
  return true;
}

bool read_value_set_block(Database &db, const ValueSetBlockRead &s) {
  if (!at_block(db, s.block)) return true;
  int32_t counts[2] = {};
  const int read = leading_ints(db, s.block, counts, 2);
  if (read < 1) return fail(s.problem);
  const int32_t mode_count = counts[0];
  if (db.eigen_count > 0 && mode_count != db.eigen_count) ZEL_Error("%s", s.eigen_count_mismatch);
  ModalHead head;
  std::vector<int32_t> node_ids;
  if (read < 2 || !read_modal_head(db.file, db.version, s.set, head)) return fail(s.problem);
  if (!room_made_for_node_list(head, node_ids)) return false;
  if (!read_modal_node_list(db.file, head, node_ids)) return fail(s.problem);
  // The block's modes are the body's modes from here on, each set keeping
  // its own count of modes with values.
  const bool supplies_mode_numbers = db.mode_numbers.empty();
  if (!supplies_mode_numbers && !renumber_modes(db, mode_count)) return fail(s.problem);
  if (!node_tables_made([&] { enter_set_nodes(db, s.set, node_ids); }, __LINE__)) return false;
  if (mode_count == 0) return true;
  if (supplies_mode_numbers) ZEL_Warning("%s", s.before_mode_shapes);
  ModeValueIndex index;
  if (!locate_mode_values(db.file, db.version, s.set, head, index)) return fail(s.problem);
  const ModeNumberField field = mode_number_field(db.version, s.set);
  if (supplies_mode_numbers)
    db.mode_numbers = mode_numbers_of(db, field, index, mode_count);
  else if (field == ModeNumberField::kStored && index.mode_numbers != db.mode_numbers)
    return fail(s.order_mismatch);
  db.temp_slot_offset[static_cast<std::size_t>(s.set)] = std::move(index.offsets);
  return true;
}

bool read_preload_block(Database &db) {
  if (!at_block(db, kPreloadBlock)) return true;
  constexpr const char *kProblem = "Problem when reading Modal Preloads Block";
  PreloadHead head;
  if (!read_preload_head(db.file, head)) return fail(kProblem);
  db.preload_processed = head.processed;
  if (head.mode_count != db.mode_count()) return fail("Number of modal preloads does not match the number of modes");
  return read_preload_values(db.file, db.mode_count(), db.preload) || fail(kProblem);
}

bool read_modal_loads_block(Database &db) {
  if (!at_block(db, kModalLoadsBlock)) return true;
  constexpr const char *kProblem = "Problem when reading Modal Loads Block";
  int32_t counts[2] = {};  // M, C
  const int read = leading_ints(db, kModalLoadsBlock, counts, 2);
  if (read < 1) return fail(kProblem);
  if (counts[0] != db.mode_count())
    return fail("Number of modal load components does not match the number of modes");
  if (read < 2) return fail(kProblem);
  if (counts[1] <= 0) return fail("Out of memory while reading Modal Loads Block");
  ModalLoadsHead head;
  return (read_modal_loads_head(db.file, head) && read_load_cases(db.file, head, db.load_cases)) || fail(kProblem);
}

bool read_statistics_block(Database &db) {
  if (!at_block(db, kStatisticsBlock)) return true;
  constexpr const char *kProblem = "Problem when reading Modal Statistics Block";
  int32_t count = 0;
  if (leading_ints(db, kStatisticsBlock, &count, 1) < 1) return fail(kProblem);
  if (count <= 0) return fail("Out of memory while reading Modal Statistics Block");
  return read_statistics(db.file, db.statistics) || fail(kProblem);
}

// Pre-stress (set 1) and pre-strain (set 2): six values per set position.
struct PreValuesBlockRead {
  int set;
  int block;
  std::vector<double> Database::*values;
  const char *count_problem;
  const char *node_count_mismatch;
  const char *out_of_memory;
  const char *problem;
};

constexpr PreValuesBlockRead kPreStress{kStressSet,
                                        kPreStressBlock,
                                        &Database::pre_stress,
                                        "Problem occurred while reading Pre-Stress info",
                                        "Number of nodes in pre-stress does not match that in stress modes",
                                        "Out of memory while processing Pre-Stress Block",
                                        "Problem when reading Pre-Stress Block"};
constexpr PreValuesBlockRead kPreStrain{kStrainSet,
                                        kPreStrainBlock,
                                        &Database::pre_strain,
                                        "Problem occurred while reading Pre-Strain info",
                                        "Number of nodes in pre-strain does not match that in strain modes",
                                        "Out of memory while processing Pre-Strain Block",
                                        "Problem when reading Pre-Strain Block"};

// A count that differs from the set's is reported and kept: consumers
// bound their reads by the smaller of the two. A count below zero differs
// too, and leaves nothing to make room for.
bool read_pre_values_block(Database &db, const PreValuesBlockRead &pre) {
  if (!at_block(db, pre.block)) return true;
  int32_t count = 0;
  if (leading_ints(db, pre.block, &count, 1) < 1) return fail(pre.count_problem);
  if (count != db.set_count(pre.set)) ZEL_Error("%s", pre.node_count_mismatch);
  if (count < 0) return fail(pre.out_of_memory);
  return (read_pre_value_count(db.file, count) && read_pre_values(db.file, count, db.*pre.values)) ||
         fail(pre.problem);
}

// One step of the read; a failed allocation inside it is reported with the
// step's own message where it has one, and by a few steps with the read
// problem after it.
struct Step {
  bool (*read)(Database &);
  const char *out_of_memory;
  const char *then = nullptr;
};

bool run_step(Database &db, const Step &step) {
  try {
    return step.read(db);
  } catch (const std::bad_alloc &) {
    if (step.out_of_memory == nullptr) throw;
    if (step.then != nullptr) ZEL_Error("%s", step.out_of_memory);
    return fail(step.then != nullptr ? step.then : step.out_of_memory);
  }
}

constexpr Step kSteps[] = {
    {read_header_block, nullptr},
    {read_coordinates_block, "Out of memory while reading Nodal Coordinate block"},
    {read_global_properties_block, nullptr},
    {read_eigenvalues_block, "Out of memory while reading Eigenvalues block"},
    {read_mode_shapes_block, "Out of memory while reading Mode Shape block"},
    {read_nodal_masses_block, nullptr},
    {read_nodal_inertias_block, nullptr},
    {[](Database &db) { return read_generalized_block(db, kGeneralizedStiffness); },
     kGeneralizedStiffness.out_of_memory},
    {[](Database &db) { return read_generalized_block(db, kGeneralizedMass); }, kGeneralizedMass.out_of_memory},
    {read_faces, "Out of memory while reading Element Faces Block"},
    {[](Database &db) { return read_generalized_block(db, kGeneralizedDamping); },
     kGeneralizedDamping.out_of_memory},
    {read_transformation_block, "Out of memory while reading Mode Shape Transformation Block",
     kTransformationProblem},
    {read_interface_nodes_block, "Out of memory while reading Interface Nodes block", kInterfaceNodesProblem},
    {[](Database &db) { return read_value_set_block(db, kModalStress); }, kModalStress.out_of_memory},
    {read_preload_block, "Out of memory while reading Modal Preload Block"},
    {read_modal_loads_block, "Out of memory while reading Modal Loads Block"},
    {[](Database &db) { return read_value_set_block(db, kModalStrain); }, kModalStrain.out_of_memory},
    {read_statistics_block, "Out of memory while reading Modal Statistics Block"},
    {[](Database &db) { return read_pre_values_block(db, kPreStress); }, kPreStress.out_of_memory},
    {[](Database &db) { return read_pre_values_block(db, kPreStrain); }, kPreStrain.out_of_memory},
};

// The name only lets later opens of the same path find this body: without
// it the file is still read.
std::string copy_of_name(const char *path) {
  try {
    return path != nullptr ? path : "";
  } catch (const std::bad_alloc &) {
    ZEL_Warning("Failed to allocate memory at line %d in file %s.\n", __LINE__, kModule);
    return {};
  }
}

bool read_file(Database &db, std::FILE *stream, const char *path) {
  db.file.attach(stream, copy_of_name(path), FileMode::kRead, false, true);
  uint32_t version = 0;
  if (!detect_encoding(db.file, version)) return false;
  db.version = version;
  if (!build_table_of_contents(db)) return false;
  db.body_size = 0.0;
  read_unit_names(db);
  for (const Step &step : kSteps)
    if (!run_step(db, step)) return false;
  return true;
}

int read_generalized_entries(Database *db, const GeneralizedBlockRead &matrix) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, { return reread_generalized(*db, matrix) ? 1 : 0; });
}

}  // namespace

bool read_zel_file(Database &db, std::FILE *stream, const char *path) {
  return ZEL_GUARDED(false, { return read_file(db, stream, path); });
}

}  // namespace zel

extern "C" {

ZEL_API int ZEL_ReadZEL(Database *db, FILE *stream, const char *name) {
  if (db == nullptr) return 0;
  return zel::read_zel_file(*db, stream, name) ? 1 : 0;
}

ZEL_API int ZEL_ReadGeneralizedStiffness(Database *db) {
  return zel::read_generalized_entries(db, zel::kGeneralizedStiffness);
}

ZEL_API int ZEL_ReadGeneralizedMass(Database *db) { return zel::read_generalized_entries(db, zel::kGeneralizedMass); }

ZEL_API int ZEL_ReadGeneralizedDamping(Database *db) {
  return zel::read_generalized_entries(db, zel::kGeneralizedDamping);
}

ZEL_API const char *zelread_VersionId(void) { return "zelread 1.0"; }

}  // extern "C"
