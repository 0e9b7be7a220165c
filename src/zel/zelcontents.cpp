// The contents report: a human-readable dump of one block of a body, read
// through the queries so that it shows what a consumer would get (current
// units, computed invariants) for a file and for a body built in memory.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "body/database.h"
#include "format/block_table.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltoc";

// Query results handed out with malloc, released on every path.
struct FreeMemory {
  void operator()(void *memory) const { ZEL_FreeMemory(memory); }
};
using QueryArray = std::unique_ptr<double, FreeMemory>;

const char *yes_no(bool yes) { return yes ? "Yes" : "No"; }

void print_banner(std::FILE *out, int id, const char *title) {
  const std::string dashes(74, '-');
  const std::string blank_line = "|" + std::string(72, ' ') + "|\n";
  std::fprintf(out, "\n\n%s\n%s", dashes.c_str(), blank_line.c_str());
  std::fprintf(out, "|    Block %3d:      %-30s                      |\n", id, title);
  std::fprintf(out, "%s%s\n\n\n", blank_line.c_str(), dashes.c_str());
}

void print_rule(std::FILE *out, char mark, int width, const char *end) {
  std::fprintf(out, "%s%s", std::string(static_cast<std::size_t>(width), mark).c_str(), end);
}

// Node indices in ascending node-ID order.
std::vector<int32_t> nodes_by_id(Database &db) {
  std::vector<int32_t> order;
  order.reserve(db.nodes.size());
  for (const IdPos &entry : db.node_sorted.sorted()) order.push_back(entry.pos);
  return order;
}

void print_version(Database &db, std::FILE *out) {
  std::fprintf(out, "ZEL version:%4.1f\n", version_shown(db.version));
  std::fprintf(out, "Precision: %s   \n", is_single_precision_version(db.version) ? "Single" : "Double");
  std::fprintf(out, "Platform independent (XDR encoded): %s \n\n", yes_no(is_xdr_version(db.version)));
}

void print_header(Database &db, std::FILE *out) {
  char title[128], date[32], input_file_name[128], input_file_type[16];
  char comments[3][80];
  ZEL_Header(&db, title, date, input_file_name, input_file_type, comments[0], comments[1], comments[2]);
  std::fprintf(out, "Title: %s\nDate: %s\nInput file name: %s\nInput file type: %s\nComments:\n", title, date,
               input_file_name, input_file_type);
  for (const char *comment : comments) std::fprintf(out, "  %s\n", comment);
  std::fprintf(out, "\n");
}

void print_content_summary(Database &db, std::FILE *out) {
  std::fprintf(out, "Existence:\n");
  for (int b = 0; b < kBlockCount; ++b)
    std::fprintf(out, "%30s %s\n", kBlocks[static_cast<std::size_t>(b)].exists_label,
                 yes_no(ZEL_Exists(&db, b) != 0));
  std::fprintf(out, "\n");
}

void print_coordinates(Database &db, std::FILE *out) {
  for (int32_t index : nodes_by_id(db)) {
    double xyz[3];
    ZEL_NodeCoordinates(&db, index, xyz);
    std::fprintf(out, "%4d %20.10le %20.10le %20.10le \n", ZEL_NodeID(&db, index), xyz[0], xyz[1], xyz[2]);
  }
  std::fprintf(out, "\n");
}

void print_element_topology(Database &, std::FILE *out) {
  std::fprintf(out, "Obsolete: Reported as part of face list, block 14\n\n");
}

void print_global_properties(Database &db, std::FILE *out) {
  double mass = 0.0, inertia[9], cm[3];
  if (ZEL_TotalMassInertia(&db, &mass, inertia, cm) != 1) {
    std::fprintf(out, "No global body property information\n");
    return;
  }
  std::fprintf(out, "Mass: %lf\n", mass);
  std::fprintf(out, "Center of Mass: %lf %lf %lf\n", cm[0], cm[1], cm[2]);
  std::fprintf(out, "Inertia Tensor: %lf %lf %lf\n", inertia[0], inertia[1], inertia[2]);
  std::fprintf(out, "                %lf %lf %lf\n", inertia[3], inertia[4], inertia[5]);
  std::fprintf(out, "                %lf %lf %lf\n\n", inertia[6], inertia[7], inertia[8]);
}

void print_eigenvalues(Database &db, std::FILE *out) {
  const int modes = ZEL_ModeCount(&db);
  if (modes == 0) {
    std::fprintf(out, "No eigenvalue information\n\n");
    return;
  }
  std::fprintf(out,
               "  mode   eigenvalue          Hertz            radians           Gen. Mass.       Gen. Stiff.   \n");
  print_rule(out, '=', 93, "\n");
  for (int index = 0; index < modes; ++index) {
    const int number = ZEL_ModeNumber(&db, index);
    double value[5];
    if (ZEL_Eigenvalue(&db, number, &value[0], &value[1], &value[2], &value[3], &value[4]) != 1) return;
    std::fprintf(out, "%5d %17.10le %17.10le %17.10le %17.10le %17.10le\n", number, value[0], value[1], value[2],
                 value[3], value[4]);
  }
  std::fprintf(out, "\n");
}

// How one value set's modes are shown: its words and the format of a
// node's six values.
struct ModalSetReport {
  int set;
  const char *count_line;
  const char *mode_heading;
  const char *columns;
  const char *first_three;
  const char *last_three;
  const char *absent;  // null: the count line is printed even for no modes
};

constexpr ModalSetReport kModeShapeReport{
    kModeShapeSet,
    "Number of Mode Shapes %d\n\n",
    "\nMODE NUMBER %d=================================\n\n",
    " ID             dx               dy               dz               ax               ay               az\n",
    " % 16.9e % 16.9e % 16.9e",
    " % 16.9e % 16.9e % 16.9e\n",
    nullptr};

constexpr const char *kStressColumns =
    "   ID        sigma_x          sigma_y          sigma_z           tau_xy           tau_xz           tau_yz\n";
constexpr const char *kStrainColumns =
    "   ID      epsilon_x        epsilon_y        epsilon_z         gamma_xy         gamma_xz         gamma_yz\n";

constexpr ModalSetReport kStressReport{kStressSet,
                                       "Number of Stress Shapes %d\n\n",
                                       "\nSTRESS SHAPE NUMBER %d=================================\n\n",
                                       kStressColumns,
                                       " %16.9e %16.9e %16.9e",
                                       " %16.9e %16.9e %16.9e\n",
                                       "\tNo Modal Stress Information\n\n"};

constexpr ModalSetReport kStrainReport{kStrainSet,
                                       "Number of Strain Shapes %d\n\n",
                                       "\nSTRAIN SHAPE NUMBER %d=================================\n\n",
                                       kStrainColumns,
                                       " %16.9e %16.9e %16.9e",
                                       " %16.9e %16.9e %16.9e\n",
                                       "\tNo Modal Strain Information\n\n"};

void print_columns(std::FILE *out, const char *columns) {
  std::fprintf(out, "%s", columns);
  print_rule(out, '~', 108, "\n\n");
}

// The first `rows` nodes of a set in one mode (number 0 of sets 1 and 2:
// the pre-values), fetched once through the one-mode cache. False when the
// mode cannot be read.
bool print_set_rows(Database &db, std::FILE *out, const ModalSetReport &report, int number, int32_t rows) {
  const int32_t positions = ZEL_ModeNodeCount(&db, report.set);
  std::vector<double> first(3 * static_cast<std::size_t>(positions));
  std::vector<double> last(first.size());
  if (ZEL_Mode(&db, number, report.set, first.data(), 0) != 1) return false;
  if (ZEL_Mode(&db, number, report.set, last.data(), 1) != 1) return false;
  for (int32_t p = 0; p < std::min(rows, positions); ++p) {
    const double *a = &first[3 * static_cast<std::size_t>(p)];
    const double *b = &last[3 * static_cast<std::size_t>(p)];
    std::fprintf(out, "%5d ", ZEL_ModeNodeID(&db, report.set, p));
    std::fprintf(out, report.first_three, a[0], a[1], a[2]);
    std::fprintf(out, report.last_three, b[0], b[1], b[2]);
  }
  return true;
}

void print_modal_set(Database &db, std::FILE *out, const ModalSetReport &report) {
  const bool present = ZEL_ModeExist(&db, report.set) != 0;
  if (!present && report.absent != nullptr) {
    std::fprintf(out, "%s", report.absent);
    return;
  }
  const int modes = present ? ZEL_ModeCount(&db) : 0;
  std::fprintf(out, report.count_line, modes);
  const int32_t positions = ZEL_ModeNodeCount(&db, report.set);
  for (int index = 0; index < modes; ++index) {
    const int number = ZEL_ModeNumber(&db, index);
    std::fprintf(out, report.mode_heading, number);
    print_columns(out, report.columns);
    if (!print_set_rows(db, out, report, number, positions)) return;
  }
}

void print_mode_shapes(Database &db, std::FILE *out) { print_modal_set(db, out, kModeShapeReport); }
void print_modal_stress(Database &db, std::FILE *out) { print_modal_set(db, out, kStressReport); }
void print_modal_strain(Database &db, std::FILE *out) { print_modal_set(db, out, kStrainReport); }

void print_nodal_masses(Database &db, std::FILE *out) {
  for (int32_t index : nodes_by_id(db))
    std::fprintf(out, "%4d\t%le\n", ZEL_NodeID(&db, index), ZEL_NodalMass(&db, index));
  std::fprintf(out, "\n");
}

void print_nodal_inertias(Database &db, std::FILE *out) {
  bool any = false;
  for (int32_t index : nodes_by_id(db)) {
    double t[9];
    if (ZEL_NodalInertia(&db, index, t) != 1) continue;
    any = true;
    std::fprintf(out, "Inertia Tensor of Node %5d: %lf %lf %lf\n", ZEL_NodeID(&db, index), t[0], t[1], t[2]);
    std::fprintf(out, "                              %lf %lf %lf\n", t[3], t[4], t[5]);
    std::fprintf(out, "                              %lf %lf %lf\n", t[6], t[7], t[8]);
  }
  if (!any) std::fprintf(out, "\tNo Nodal Inertia information.\n");
  std::fprintf(out, "\n");
}

void print_units(Database &db, std::FILE *out) {
  char mass[16], length[16], time[16], force[16];
  ZEL_Units(&db, mass, length, time, force);
  std::fprintf(out, "Units:\nMass Units    %s\nLength Units  %s\nTime Units    %s\nForce Units   %s\n\n", mass,
               length, time, force);
}

// One generalized matrix as its sparse entries.
struct GeneralizedReport {
  int (*count)(Database *);
  int (*entries)(Database *, double *, int *, int *);
  bool mode_numbers;  // rows and columns shown as mode numbers, else as given
  const char *absent;
};

void print_generalized(Database &db, std::FILE *out, const GeneralizedReport &report) {
  const int count = report.count(&db);
  if (count <= 0) {
    std::fprintf(out, "%s\n", report.absent);
    return;
  }
  std::vector<double> values(static_cast<std::size_t>(count));
  std::vector<int> rows(values.size()), cols(values.size());
  if (report.entries(&db, values.data(), rows.data(), cols.data()) != 1) return;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (report.mode_numbers && values[k] == 0.0) continue;
    const int row = report.mode_numbers ? ZEL_ModeNumber(&db, rows[k]) : rows[k];
    const int col = report.mode_numbers ? ZEL_ModeNumber(&db, cols[k]) : cols[k];
    std::fprintf(out, "%5d   %5d   %20.10le\n", row, col, values[k]);
  }
  std::fprintf(out, "\n");
}

void print_generalized_stiffness(Database &db, std::FILE *out) {
  print_generalized(db, out,
                    {ZEL_NumberOfGenStiff, ZEL_GenStiffSparse, true, "No generalized stiffness information.\n"});
}

void print_generalized_mass(Database &db, std::FILE *out) {
  print_generalized(db, out,
                    {ZEL_NumberOfGenMass, ZEL_GenMassSparse, true, "No generalized mass information in ZEL\n"});
}

void print_generalized_damping(Database &db, std::FILE *out) {
  if (db.damping_on_principal_axes != 0)
    std::fprintf(out,
                 "Note:\tThe generalized damping matrix has been projected onto principal\n"
                 "\tcoordinates.  The first 6 rows and columns correspond VELMO\n"
                 "\tprincipal rigid body degrees of freedom.  The remaining rows\n"
                 "\tand columns correspond to flexible modes.\n\n");
  else
    std::fprintf(out,
                 "Note:\tThe generalized damping matrix has not been projected onto\n"
                 "\tprincipal coordinates.  Rows and columns correspond to rigid body\n"
                 "\tand flexible modes.\n\n");
  print_generalized(db, out,
                    {ZEL_NumberOfGenDamp, ZEL_GenDampSparse, false, "No generalized damping information in ZEL.\n"});
}

// The face list is walked within its stored length: a vertex count that
// would run past the end stops the walk instead of reading beyond it.
void print_faces(Database &db, std::FILE *out) {
  int faces = 0, size = 0;
  ZEL_FaceListSize(&db, &faces, &size);
  std::fprintf(out, "number of faces %d\n\n", faces);
  std::vector<int> list(static_cast<std::size_t>(size));
  if (size > 0 && ZEL_ElementFaces(&db, list.data()) != 1) return;
  int at = 0;
  for (int face = 1; face <= faces && at < size; ++face) {
    const int vertices = list[static_cast<std::size_t>(at++)];
    if (vertices < 0 || vertices > size - at) break;
    std::fprintf(out, "  %5d      ", face);
    for (int v = 0; v < vertices; ++v) std::fprintf(out, "%7d", ZEL_NodeID(&db, list[static_cast<std::size_t>(at++)]));
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "\n");
}

void print_transformation(Database &db, std::FILE *out) {
  const int modes = ZEL_ModeCount(&db);
  std::vector<double> matrix(static_cast<std::size_t>(modes) * static_cast<std::size_t>(modes));
  if (modes == 0 || ZEL_Transformation(&db, matrix.data()) != 1) {
    std::fprintf(out, "\tNo Mode Shape Transformation, modes used as is.\n\n");
    return;
  }
  std::fprintf(out, "Number of modes: %d\n\n", modes);
  for (std::size_t row = 0; row < static_cast<std::size_t>(modes); ++row) {
    for (std::size_t col = 0; col < static_cast<std::size_t>(modes); ++col)
      std::fprintf(out, "%10.5le ", matrix[row * static_cast<std::size_t>(modes) + col]);
    std::fprintf(out, "\n");
  }
}

void print_interface_nodes(Database &db, std::FILE *out) {
  int count = 0;
  const std::unique_ptr<int, FreeMemory> ids(ZEL_InterfaceNodeIDs(&db, &count));
  for (int k = 0; k < count; ++k) std::fprintf(out, "%4d %4d \n", k + 1, ids.get()[k]);
}

void print_invariant1(Database &db, std::FILE *out) { std::fprintf(out, "\t%f \n\n", ZEL_Invar1(&db)); }

void print_invariant2(Database &db, std::FILE *out) {
  const QueryArray moment(ZEL_Invar2(&db));
  if (moment == nullptr) {
    std::fprintf(out, "\tNo Invariant 2 information\n\n");
    return;
  }
  const double *m = moment.get();
  std::fprintf(out, "\t%f\t%f\t%f \n\n", m[0], m[1], m[2]);
}

// Invariants 3, 4 and each mode's invariant 5 are 3 x M, component-major:
// the x, y, z of mode j are entries j, M + j and 2M + j.
void print_component_major_rows(Database &db, std::FILE *out, const double *values) {
  const std::size_t modes = static_cast<std::size_t>(ZEL_ModeCount(&db));
  for (std::size_t j = 0; j < modes; ++j)
    std::fprintf(out, "%5d, %18.10le%18.10le%18.10le \n", ZEL_ModeNumber(&db, static_cast<int>(j)), values[j],
                 values[modes + j], values[2 * modes + j]);
}

void print_per_mode_vectors(Database &db, std::FILE *out, double *(*query)(Database *), const char *absent) {
  const QueryArray values(query(&db));
  if (values == nullptr) {
    std::fprintf(out, "%s", absent);
    return;
  }
  print_component_major_rows(db, out, values.get());
  std::fprintf(out, "\n");
}

void print_invariant3(Database &db, std::FILE *out) {
  print_per_mode_vectors(db, out, ZEL_Invar3, "\tNo Invariant 3 information\n\n");
}

void print_invariant4(Database &db, std::FILE *out) {
  print_per_mode_vectors(db, out, ZEL_Invar4, "\tNo Invariant 4 information\n\n");
}

void print_invariant5(Database &db, std::FILE *out) {
  for (int i = 0; i < ZEL_ModeCount(&db); ++i) {
    const QueryArray values(ZEL_Invar5(&db, i));
    if (values == nullptr) {
      std::fprintf(out, "\tNo Invariant 5 information for mode %d.\n\n", ZEL_ModeNumber(&db, i));
      continue;
    }
    std::fprintf(out, "\nMode: %d \n", ZEL_ModeNumber(&db, i));
    print_component_major_rows(db, out, values.get());
  }
}

void print_matrix3(std::FILE *out, const double *m) {
  for (int row = 0; row < 3; ++row)
    std::fprintf(out, "   %18.10le%18.10le%18.10le \n", m[3 * row], m[3 * row + 1], m[3 * row + 2]);
}

void print_invariant7(Database &db, std::FILE *out) {
  const QueryArray tensor(ZEL_Invar7(&db));
  if (tensor == nullptr) {
    std::fprintf(out, "\tNo Invariant 7 information.\n\n");
    return;
  }
  print_matrix3(out, tensor.get());
  std::fprintf(out, "\n");
}

// A 3 x 3 invariant of a mode or mode pair under its heading, or the line
// saying it is absent.
void print_titled_matrix(std::FILE *out, double *matrix, const char *heading, const char *absent, int i, int j) {
  const QueryArray held(matrix);
  std::fprintf(out, held == nullptr ? absent : heading, i, j);
  if (held != nullptr) print_matrix3(out, held.get());
}

void print_invariant8(Database &db, std::FILE *out) {
  for (int i = 0; i < ZEL_ModeCount(&db); ++i)
    print_titled_matrix(out, ZEL_Invar8(&db, i), "\nMode: %d\n", "\tNo Invariant 8 information for mode %d.\n\n",
                        ZEL_ModeNumber(&db, i), 0);
}

void print_invariant9(Database &db, std::FILE *out) {
  const int modes = ZEL_ModeCount(&db);
  for (int i = 0; i < modes; ++i)
    for (int j = 0; j < modes; ++j)
      print_titled_matrix(out, ZEL_Invar9(&db, i, j), "\nModes: %d %d\n",
                          "\tNo Invariant 9 information for mode pair (%d, %d).\n\n", ZEL_ModeNumber(&db, i),
                          ZEL_ModeNumber(&db, j));
}

void print_preload(Database &db, std::FILE *out) {
  int count = 0;
  const QueryArray preload(ZEL_ModalPreloadExist(&db) != 0 ? ZEL_GetModalPreload(&db, &count) : nullptr);
  if (preload == nullptr) {
    std::fprintf(out, "\tNo Preload information.\n\n");
    return;
  }
  for (int k = 0; k < count; ++k) std::fprintf(out, "\n%d %lf\n", ZEL_ModeNumber(&db, k), preload.get()[k]);
}

void print_modal_loads(Database &db, std::FILE *out) {
  const int cases = ZEL_GetModalLoadCaseCount(&db);
  if (cases == 0) {
    std::fprintf(out, "\tNo Modal Load information.\n\n");
    return;
  }
  for (int c = 0; c < cases; ++c) {
    char label[256] = "";
    ZEL_GetModalLoadCaseLabel(&db, c, label);
    std::fprintf(out,
                 ZEL_ModalLoadProcessed(&db, c) != 0 ? "\nCase: %s     (already projected on principal axes)\n"
                                                     : "\nCase: %s     (not yet projected on principal axes)\n",
                 label);
    int count = 0;
    const QueryArray values(ZEL_GetModalLoad(&db, c, &count));
    if (values == nullptr) {
      std::fprintf(out, "\tNo Modal load information for load case %s.\n\n", label);
      continue;
    }
    for (int k = 0; k < count; ++k) std::fprintf(out, "%d %lf\n", ZEL_ModeNumber(&db, k), values.get()[k]);
  }
}

void print_statistics(Database &db, std::FILE *out) {
  if (ZEL_ModalStatisticsExist(&db) == 0) {
    std::fprintf(out, "\tNo Modal Statistic Information\n\n");
    return;
  }
  const int modes = ZEL_ModeCount(&db);
  std::fprintf(out, "Number of Modes %d\n\n", modes);
  using Statistic = int (*)(Database *, int, int *, double *);
  constexpr std::array<std::pair<Statistic, const char *>, 4> kLines{{
      {ZEL_GetMaxModeDisplacement, "Max. Trans. Magnitude:      Node ID = %d  Magnitude = %12.6e\n"},
      {ZEL_GetMaxModeRotation, "Max. Small Rot. Magnitude:  Node ID = %d  Magnitude = %12.6e\n"},
      {ZEL_GetMaxVonMisesStress, "Max. Von Mises Stress:      Node ID = %d  Magnitude = %12.6e\n"},
      {ZEL_GetMaxVonMisesStrain, "Max. Von Mises Strain:      Node ID = %d  Magnitude = %12.6e\n"},
  }};
  for (int index = 0; index < modes; ++index) {
    const int number = ZEL_ModeNumber(&db, index);
    std::fprintf(out, "\nMODE NUMBER %d=================================\n\n", number);
    for (const auto &[statistic, format] : kLines) {
      int node = 0;
      double value = 0.0;
      if (statistic(&db, number, &node, &value) != 1) return;
      std::fprintf(out, format, node, value);
    }
  }
}

// Pre-stress and pre-strain: only the rows the body holds are shown, even
// when its set lists more nodes.
void print_pre_values(Database &db, std::FILE *out, const ModalSetReport &report, const char *absent) {
  const std::vector<double> &rows = report.set == kStressSet ? db.pre_stress : db.pre_strain;
  if (rows.empty()) {
    std::fprintf(out, "%s", absent);
    return;
  }
  print_columns(out, report.columns);
  print_set_rows(db, out, report, 0, static_cast<int32_t>(rows.size() / 6));
}

void print_pre_stress(Database &db, std::FILE *out) {
  print_pre_values(db, out, kStressReport, "\tNo Nodal Pre-Stress Information\n\n");
}

void print_pre_strain(Database &db, std::FILE *out) {
  print_pre_values(db, out, kStrainReport, "\tNo Nodal Pre-Strain Information\n\n");
}

struct ReportedBlock {
  const char *title;
  void (*body)(Database &, std::FILE *);
};

// By block index.
constexpr std::array<ReportedBlock, kBlockCount> kReportedBlocks{{
    {"Version Code:", print_version},
    {"Header:", print_header},
    {"Content Summary:", print_content_summary},
    {"Nodal Coords:", print_coordinates},
    {"Element Topology:", print_element_topology},
    {"Global Body Properties:", print_global_properties},
    {"Eigenvalues:", print_eigenvalues},
    {"Mode Shapes:", print_mode_shapes},
    {"Nodal Masses:", print_nodal_masses},
    {"Nodal Inertias:", print_nodal_inertias},
    {"ZEL Default Units:", print_units},
    {"Generalized Stiffness:", print_generalized_stiffness},
    {"Generalized Mass:", print_generalized_mass},
    {"Element Faces:", print_faces},
    {"Generalized Damping:", print_generalized_damping},
    {"Mode Shape Transformation:", print_transformation},
    {"Interface Nodes:", print_interface_nodes},
    {"Node Stress per Mode:", print_modal_stress},
    {"Invariant 1:", print_invariant1},
    {"Invariant 2:", print_invariant2},
    {"Invariant 3:", print_invariant3},
    {"Invariant 4:", print_invariant4},
    {"Invariant 5:", print_invariant5},
    {"Invariant 7:", print_invariant7},
    {"Invariant 8:", print_invariant8},
    {"Invariant 9:", print_invariant9},
    {"Modal Preload:", print_preload},
    {"Modal Loads:", print_modal_loads},
    {"Node Strain per Mode:", print_modal_strain},
    {"Modal Statistics:", print_statistics},
    {"Nodal Pre-Stress:", print_pre_stress},
    {"Nodal Pre-Strain:", print_pre_strain},
}};

}  // namespace
}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API void ZEL_Contents(Database *db, int id, FILE *stream) {
  if (!CheckZEL(db) || id < 1 || id > kBlockCount || stream == nullptr) return;
  ZEL_GUARDED_VOID({
    // The ascending-ID walks need the sorted node index.
    ZEL_NodeIndex(db, 0);
    const ReportedBlock &block = kReportedBlocks[static_cast<std::size_t>(id - 1)];
    print_banner(stream, id, block.title);
    block.body(*db, stream);
  });
}

}  // extern "C"
