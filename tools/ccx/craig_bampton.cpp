#include "craig_bampton.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "body.h"
#include "dat_reader.h"
#include "frd_reader.h"
#include "input_error.h"
#include "matrix_reader.h"
#include "printout_reader.h"
#include "solver_run.h"

namespace ccx {
namespace {

using DatabasePtr = std::unique_ptr<Database, void (*)(Database *)>;

struct DofHash {
  size_t operator()(const Dof &dof) const {
    return std::hash<long long>()(static_cast<long long>(dof.node) * 4 + dof.direction);
  }
};

// The attachment degrees of freedom at their prescribed values in one mode.
using DofValues = std::unordered_map<Dof, double, DofHash>;
// Where each node's values sit in a result block.
using NodePositions = std::unordered_map<int, size_t>;

const char kResultsWanted[] = "*NODE FILE\nU\n*EL FILE\nS\n";
// The solid's nodes, whose displacements the printout gives with one digit
// more than the result file.
const char kPrintedSet[] = "ZELPRINTED";
constexpr int kIdsPerLine = 16;

std::string printed_set(const std::vector<int> &ids) {
  std::string text = std::string("*NSET, NSET=") + kPrintedSet + "\n";
  for (size_t k = 0; k < ids.size(); ++k)
    text += std::to_string(ids[k]) + ((k + 1) % kIdsPerLine == 0 || k + 1 == ids.size() ? ",\n" : ", ");
  return text;
}

// The constraint modes' displacements from the printout: a constraint
// mode's energy, and so the interface stiffness, is off by the square of
// the rounding of its values, which the stiffest elements magnify.
void take_printed_displacements(std::vector<ModeResults> &constraint, const std::string &dat,
                                const std::string &frd) {
  std::vector<NodalValues> printed = read_printed_displacements(dat);
  if (printed.size() != constraint.size())
    fail_in(dat, "holds " + std::to_string(printed.size()) + " displacement tables for the " +
                     std::to_string(constraint.size()) + " static steps of " + frd);
  for (size_t k = 0; k < constraint.size(); ++k) constraint[k].displacement = std::move(printed[k]);
}

// One mode as the solver gave it.
struct ModeSource {
  const ModeResults *results;
  const std::string *file;
  DofValues prescribed;
  NodePositions positions;
};

ModeSource source_of(const ModeResults &results, const std::string &file, const std::vector<Dof> &dofs,
                     size_t unit_dof) {
  ModeSource mode{&results, &file, {}, {}};
  for (size_t k = 0; k < dofs.size(); ++k) mode.prescribed[dofs[k]] = k == unit_dof ? 1.0 : 0.0;
  const std::vector<int> &ids = results.displacement.node_ids;
  mode.positions.reserve(ids.size());
  for (size_t r = 0; r < ids.size(); ++r) mode.positions[ids[r]] = r;
  return mode;
}

// The displacement of a node that is not an attachment degree of freedom.
const double *displacement_of(const ModeSource &mode, int node) {
  const auto found = mode.positions.find(node);
  if (found == mode.positions.end())
    fail({*mode.file, mode.results->line},
         "result " + std::to_string(mode.results->number) + " has no displacement of node " + std::to_string(node));
  return mode.results->displacement.values.data() + 3 * found->second;
}

// The mode over the rows of the solver's matrices.
std::vector<double> matrix_column(const ModeSource &mode, const std::vector<MatrixDof> &rows) {
  std::vector<double> column(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    const auto known = mode.prescribed.find({rows[r].node, rows[r].direction});
    column[r] = known != mode.prescribed.end() ? known->second
                                               : displacement_of(mode, rows[r].node)[rows[r].direction - 1];
  }
  return column;
}

std::string held(const std::vector<Dof> &dofs) {
  std::string text = "*BOUNDARY\n";
  for (const Dof &dof : dofs)
    text += std::to_string(dof.node) + ", " + std::to_string(dof.direction) + ", " + std::to_string(dof.direction) +
            ", 0.\n";
  return text;
}

std::string prescribed(const Dof &dof, const char *value) {
  return std::to_string(dof.node) + ", " + std::to_string(dof.direction) + ", " + std::to_string(dof.direction) +
         ", " + value + "\n";
}

void refuse(const std::string &what) { throw InputError("the library refused " + what); }

void set_header(Database *db, const ComponentModeRequest &request, const Mesh &mesh, const ComponentModes &modes) {
  std::string title = mesh.title.empty() ? request.body.job : mesh.title;
  std::string input = request.body.job + ".inp";
  std::string type = "CalculiX";
  std::string masses = request.lumped_mass
                           ? "Masses: nodal masses lumped; generalized masses from the nodal masses"
                           : "Masses: nodal masses lumped; generalized masses from the consistent mass matrix";
  std::string content = std::to_string(modes.fixed_eigenvalues.size()) + " fixed-interface modes, " +
                        std::to_string(modes.attachment_dofs.size()) + " constraint modes at " +
                        std::to_string(modes.points.size()) + " attachment points";
  const auto &u = request.body.units;
  std::string units = "Units: " + u[0] + ", " + u[1] + ", " + u[2] + ", " + u[3];
  ZEL_SetHeader(db, title.data(), input.data(), type.data(), masses.data(), content.data(), units.data());
}

void set_nodes(Database *db, const Body &body, const std::vector<AttachmentPoint> &points) {
  for (size_t p = 0; p < body.node_ids.size(); ++p) {
    const double *xyz = body.coordinates.data() + 3 * p;
    if (!ZEL_SetNodeCoordinates(db, body.node_ids[p], xyz[0], xyz[1], xyz[2]) ||
        !ZEL_SetNodalMass(db, body.node_ids[p], body.masses[p]))
      refuse("node " + std::to_string(body.node_ids[p]));
  }
  // A reference node has no mass of its own: the coupling only ties it to
  // the set, whose nodes carry the mass.
  for (const AttachmentPoint &point : points)
    if (point.coupling != Coupling::None &&
        (!ZEL_SetNodeCoordinates(db, point.reference, point.centroid[0], point.centroid[1], point.centroid[2]) ||
         !ZEL_SetNodalMass(db, point.reference, 0.0)))
      refuse("reference node " + std::to_string(point.reference));
  std::vector<int> face;
  for (size_t k = 0; k < body.faces.size(); k += 1 + body.faces[k]) {
    face.assign(body.faces.begin() + k + 1, body.faces.begin() + k + 1 + body.faces[k]);
    ZEL_SetFaceList(db, body.faces[k], face.data());
  }
  for (const AttachmentPoint &point : points)
    if (!ZEL_SetInterfaceNode(db, point.reference)) refuse("interface node " + std::to_string(point.reference));
}

// The translations at the solid's nodes; the reference nodes' translations
// and rotations at their prescribed values; stresses where the solver
// wrote them.
void set_mode(Database *db, int number, const ModeSource &mode, const Body &body,
              const std::vector<AttachmentPoint> &points) {
  double record[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (int id : body.node_ids) {
    std::copy_n(displacement_of(mode, id), 3, record);
    if (!ZEL_SetModeVec(db, number, id, 0, record)) refuse("mode " + std::to_string(number));
  }
  for (const AttachmentPoint &point : points) {
    if (point.coupling == Coupling::None) continue;
    for (int d = 0; d < 3; ++d) {
      record[d] = mode.prescribed.at({point.reference, d + 1});
      record[3 + d] = mode.prescribed.at({point.rotation, d + 1});
    }
    if (!ZEL_SetModeVec(db, number, point.reference, 0, record)) refuse("mode " + std::to_string(number));
  }
  const NodalValues &stress = mode.results->stress;
  for (size_t r = 0; r < stress.node_ids.size(); ++r) {
    if (!std::binary_search(body.node_ids.begin(), body.node_ids.end(), stress.node_ids[r])) continue;
    std::copy_n(stress.values.begin() + 6 * r, 6, record);
    if (!ZEL_SetModeVec(db, number, stress.node_ids[r], 1, record))
      refuse("the stresses of mode " + std::to_string(number));
  }
}

// Psi^T M Psi with the lumped nodal masses, summed over the body's nodes as
// its modes hold them: modes reduced with it are orthonormal to the masses
// the file holds, so that its invariants and its generalized mass tell of
// one mass distribution. (The solver's matrix rows would not do: they leave
// out the degrees of freedom its couplings eliminate, whose nodes weigh.)
std::vector<double> lumped_generalized_mass(const std::vector<ModeSource> &sources, const Body &body) {
  const size_t n = sources.size();
  std::vector<double> mass(n * n, 0.0);
  std::vector<const double *> shapes(n);
  for (size_t k = 0; k < body.node_ids.size(); ++k) {
    for (size_t i = 0; i < n; ++i) shapes[i] = displacement_of(sources[i], body.node_ids[k]);
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i; j < n; ++j)
        mass[i * n + j] += body.masses[k] *
                           (shapes[i][0] * shapes[j][0] + shapes[i][1] * shapes[j][1] + shapes[i][2] * shapes[j][2]);
  }
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < i; ++j) mass[i * n + j] = mass[j * n + i];
  return mass;
}

void set_generalized_matrices(Database *db, const ComponentModes &modes) {
  const int n = modes.size;
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j)
      if (!ZEL_SetGeneralizedStiffness(db, i + 1, j + 1, modes.stiffness[i * n + j]) ||
          !ZEL_SetGeneralizedMass(db, i + 1, j + 1, modes.mass[i * n + j]))
        refuse("the generalized matrices");
}

// The solver's results of the normal modes and the constraint modes, in
// that order, each with the attachment degrees of freedom it prescribes.
std::vector<ModeSource> mode_sources(const std::vector<ModeResults> &normal, const std::string &normal_file,
                                     const std::vector<ModeResults> &constraint, const std::string &constraint_file,
                                     const std::vector<Dof> &dofs) {
  if (constraint.size() != dofs.size())
    fail_in(constraint_file, "holds " + std::to_string(constraint.size()) + " static results for " +
                                 std::to_string(dofs.size()) + " attachment degrees of freedom");
  std::vector<ModeSource> sources;
  for (const ModeResults &mode : normal) sources.push_back(source_of(mode, normal_file, dofs, dofs.size()));
  for (size_t k = 0; k < constraint.size(); ++k) sources.push_back(source_of(constraint[k], constraint_file, dofs, k));
  return sources;
}

std::vector<double> eigenvalues_of(const std::vector<ModeResults> &modes, const std::string &dat) {
  const std::vector<Eigenvalue> table = read_dat(dat);
  std::vector<double> values;
  for (const ModeResults &mode : modes) {
    const auto entry = std::find_if(table.begin(), table.end(), [&](const Eigenvalue &e) { return e.mode == mode.number; });
    if (entry == table.end()) fail_in(dat, "no eigenvalue for mode " + std::to_string(mode.number));
    values.push_back(entry->value);
  }
  return values;
}

}  // namespace

ComponentModeDecks component_mode_decks(const Mesh &mesh, const std::string &model,
                                        const std::vector<AttachmentPoint> &points, int normal_modes,
                                        const std::vector<int> &printed_nodes) {
  std::string with_couplings = model;
  std::vector<Dof> dofs;
  for (const AttachmentPoint &point : points) {
    with_couplings += coupling_deck(mesh, point);
    for (const Dof &dof : point.dofs()) dofs.push_back(dof);
  }
  ComponentModeDecks decks;
  decks.matrices = with_couplings + "*STEP\n*FREQUENCY, SOLVER=MATRIXSTORAGE\n1\n*END STEP\n";
  decks.fixed = with_couplings + held(dofs) + "*STEP\n*FREQUENCY\n" + std::to_string(normal_modes) + "\n" +
                kResultsWanted + "*END STEP\n";
  // Each step moves one degree of freedom by one and puts the one before
  // back; the others stay held where the model data holds them.
  decks.constraint = with_couplings + printed_set(printed_nodes) + held(dofs);
  for (size_t k = 0; k < dofs.size(); ++k) {
    decks.constraint += "*STEP\n*STATIC\n*BOUNDARY\n";
    if (k > 0) decks.constraint += prescribed(dofs[k - 1], "0.");
    decks.constraint += prescribed(dofs[k], "1.") + kResultsWanted + "*NODE PRINT, NSET=" + kPrintedSet +
                        "\nU\n*END STEP\n";
  }
  return decks;
}

ComponentModel prepare_component_model(const ComponentModeRequest &request, ComponentModes &modes) {
  const std::string inp = request.body.job + ".inp";
  ComponentModel model{read_inp(inp), {}, {}};
  model.body = build_body(model.mesh);
  modes.points = attachment_points(model.mesh, model.body.node_ids, request.attachments);
  modes.attachment_dofs.clear();
  for (const AttachmentPoint &point : modes.points)
    for (const Dof &dof : point.dofs()) modes.attachment_dofs.push_back(dof);
  model.decks =
      component_mode_decks(model.mesh, model_data(inp), modes.points, request.normal_modes, model.body.node_ids);
  return model;
}

void run_component_solver(const std::string &solver, const WorkFolder &folder, const ComponentModeDecks &decks) {
  run_solver(solver, folder, "matrices", decks.matrices);
  run_solver(solver, folder, "fixed", decks.fixed);
  run_solver(solver, folder, "constraint", decks.constraint);
}

Database *component_body(const ComponentModeRequest &request, const ComponentModel &model, const WorkFolder &folder,
                          ComponentModes &modes) {
  const Mesh &mesh = model.mesh;
  const Body &body = model.body;
  const std::vector<MatrixDof> rows = read_dofs(folder.file("matrices.dof"));
  const int size = static_cast<int>(rows.size());
  const SymmetricMatrix stiffness = read_matrix(folder.file("matrices.sti"), size);
  const SymmetricMatrix mass = read_matrix(folder.file("matrices.mas"), size);
  const std::string fixed_frd = folder.file("fixed.frd"), constraint_frd = folder.file("constraint.frd");
  const std::vector<ModeResults> normal = read_frd(fixed_frd);
  std::vector<ModeResults> constraint = read_static_frd(constraint_frd);
  take_printed_displacements(constraint, folder.file("constraint.dat"), constraint_frd);
  modes.fixed_eigenvalues = eigenvalues_of(normal, folder.file("fixed.dat"));
  const std::vector<ModeSource> sources = mode_sources(normal, fixed_frd, constraint, constraint_frd, modes.attachment_dofs);

  std::vector<std::vector<double>> columns;
  for (const ModeSource &source : sources) columns.push_back(matrix_column(source, rows));
  modes.size = static_cast<int>(columns.size());
  modes.stiffness = project(stiffness, columns);
  modes.mass = request.lumped_mass ? lumped_generalized_mass(sources, body) : project(mass, columns);
  modes.node_count = static_cast<int>(body.node_ids.size());
  modes.matrix_size = size;
  modes.mass_total = body.mass;

  const int node_total = static_cast<int>(body.node_ids.size() + modes.points.size());
  DatabasePtr db(ZEL_Create(node_total, modes.size), ZEL_UnLink);
  if (!db) throw InputError("no memory for a body of " + std::to_string(node_total) + " nodes");
  const auto &u = request.body.units;
  if (!ZEL_SetUnits(db.get(), u[0].c_str(), u[1].c_str(), u[2].c_str(), u[3].c_str()))
    throw InputError("units " + u[0] + "," + u[1] + "," + u[2] + "," + u[3] +
                     " are not known (mass, length, time and force, e.g. kg,m,s,N)");
  set_header(db.get(), request, mesh, modes);
  set_nodes(db.get(), body, modes.points);
  for (size_t m = 0; m < sources.size(); ++m) set_mode(db.get(), static_cast<int>(m + 1), sources[m], body, modes.points);
  set_generalized_matrices(db.get(), modes);
  return db.release();
}

Database *build_component_modes(const ComponentModeRequest &request, ComponentModes &modes) {
  const ComponentModel model = prepare_component_model(request, modes);
  const WorkFolder folder(request.kept_folder);
  run_component_solver(request.solver, folder, model.decks);
  return component_body(request, model, folder, modes);
}

}  // namespace ccx
