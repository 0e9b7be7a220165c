#include "translate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "body.h"
#include "dat_reader.h"
#include "expansion.h"
#include "frd_mesh.h"
#include "frd_reader.h"
#include "inp_reader.h"
#include "input_error.h"

namespace ccx {
namespace {

using DatabasePtr = std::unique_ptr<Database, void (*)(Database *)>;

constexpr double kTwoPi = 6.283185307179586;
// gamma_xy = 2 epsilon_xy
constexpr double kEngineeringShear = 2.0;
// The printout keeps 7 digits of an eigenvalue.
constexpr double kEigenvalueAgreement = 1e-5;

std::unordered_map<int, size_t> positions_of(const std::vector<int> &ids) {
  std::unordered_map<int, size_t> position;
  position.reserve(ids.size());
  for (size_t p = 0; p < ids.size(); ++p) position[ids[p]] = p;
  return position;
}

// The eigenvalue of each mode, from the printout, checked against the
// frequency the result file gives, so that files of different runs are
// not mixed.
std::vector<double> eigenvalues_of(const std::vector<ModeResults> &modes, const std::vector<Eigenvalue> &table,
                                   const std::string &dat, const std::string &frd) {
  std::unordered_map<int, const Eigenvalue *> by_mode;
  double largest = 0.0;
  for (const Eigenvalue &entry : table) {
    by_mode[entry.mode] = &entry;
    largest = std::max(largest, std::fabs(entry.value));
  }
  std::vector<double> values;
  for (const ModeResults &mode : modes) {
    const auto found = by_mode.find(mode.number);
    if (found == by_mode.end()) fail_in(dat, "no eigenvalue for mode " + std::to_string(mode.number) + " of " + frd);
    const Eigenvalue &entry = *found->second;
    const double omega = kTwoPi * mode.frequency;
    // Rigid-body modes have eigenvalues of round-off size, whose frequencies mean nothing.
    if (entry.value > 1e-6 * largest &&
        std::fabs(omega * omega - entry.value) > kEigenvalueAgreement * entry.value) {
      char text[160];
      std::snprintf(text, sizeof text, "the eigenvalue %.7e of mode %d disagrees with its frequency %.7e in ",
                    entry.value, mode.number, mode.frequency);
      fail({dat, entry.line}, text + frd + " (files of different runs?)");
    }
    values.push_back(entry.value);
  }
  return values;
}

// Mode shapes in body node order, translations and rotations per node: the
// result file's translations where it has the node, the motions fitted to
// the expanded shells and beams elsewhere, and their rotations.
std::vector<double> mode_shape(const ModeResults &mode, const Body &body,
                               const std::unordered_map<int, size_t> &position, const std::string &frd,
                               const std::optional<Expansion> &expansion) {
  std::vector<double> shape(6 * body.node_ids.size(), 0.0);
  std::vector<char> given(body.node_ids.size(), 0);
  if (expansion)
    for (const auto &[id, motion] : expansion->motions(mode)) {
      const size_t p = position.at(id);
      std::copy_n(motion.begin(), 6, shape.begin() + 6 * p);
      given[p] = 1;
    }
  const NodalValues &values = mode.displacement;
  for (size_t r = 0; r < values.node_ids.size(); ++r) {
    const auto found = position.find(values.node_ids[r]);
    if (found == position.end()) continue;  // a node outside the elements, or an expanded one
    std::copy_n(values.values.begin() + 3 * r, 3, shape.begin() + 6 * found->second);
    given[found->second] = 1;
  }
  for (size_t p = 0; p < given.size(); ++p)
    if (!given[p])
      fail({frd, mode.line}, "mode " + std::to_string(mode.number) + " has no displacement of node " +
                                 std::to_string(body.node_ids[p]));
  return shape;
}

bool has_shells_or_beams(const Mesh &mesh) {
  for (const Element &element : mesh.elements)
    if (element.kind->family != Family::Solid) return true;
  return false;
}

void set_header(Database *db, const Request &request, const Mesh &mesh, const Body &body) {
  std::string title = mesh.title.empty() ? request.job : mesh.title;
  std::string input = request.job + ".inp";
  std::string type = "CalculiX";
  const bool structural = has_shells_or_beams(mesh);
  std::string lumping = structural ? "Masses: consistent, lumped, with rotary inertia; rotations fitted to expansion"
                                   : "Masses: consistent, lumped by row sums (linear) and HRZ (quadratic elements)";
  std::string size = std::to_string(mesh.elements.size()) + (structural ? " elements, " : " solid elements, ") +
                     std::to_string(body.face_count) + (structural ? " faces" : " skin faces");
  std::string units = "Units: " + request.units[0] + ", " + request.units[1] + ", " + request.units[2] + ", " +
                      request.units[3];
  ZEL_SetHeader(db, title.data(), input.data(), type.data(), lumping.data(), size.data(), units.data());
}

void set_nodes(Database *db, const Body &body) {
  for (size_t p = 0; p < body.node_ids.size(); ++p) {
    const double *xyz = body.coordinates.data() + 3 * p;
    if (!ZEL_SetNodeCoordinates(db, body.node_ids[p], xyz[0], xyz[1], xyz[2]) ||
        !ZEL_SetNodalMass(db, body.node_ids[p], body.masses[p]))
      throw InputError("the library refused node " + std::to_string(body.node_ids[p]));
    const double *inertia = body.inertias.data() + 6 * p;
    if (std::any_of(inertia, inertia + 6, [](double value) { return value != 0.0; }) &&
        !ZEL_SetNodalInertia(db, body.node_ids[p], inertia[0], inertia[1], inertia[2], inertia[3], inertia[4],
                             inertia[5]))
      throw InputError("the library refused the inertia of node " + std::to_string(body.node_ids[p]));
  }
  std::vector<int> face(8);
  for (size_t k = 0; k < body.faces.size(); k += 1 + body.faces[k]) {
    face.assign(body.faces.begin() + k + 1, body.faces.begin() + k + 1 + body.faces[k]);
    ZEL_SetFaceList(db, body.faces[k], face.data());
  }
}

int set_interface_nodes(Database *db, const Request &request, const Mesh &mesh) {
  for (const std::string &name : request.interface_sets) {
    const auto set = mesh.node_sets.find(upper(name));
    if (set == mesh.node_sets.end()) fail_in(mesh.file, "node set " + upper(name) + " is not defined");
    for (int id : set->second)
      if (!ZEL_SetInterfaceNode(db, id))
        fail_in(mesh.file, "node " + std::to_string(id) + " of node set " + upper(name) +
                               " is not a node of the solid elements");
  }
  int count = 0;
  ZEL_FreeMemory(ZEL_InterfaceNodes(db, &count));
  return count;
}

// Stresses and strains come in the solver's node order; only the body's
// nodes are kept. The shear components (xy, xz, yz) are multiplied by
// `shear_factor`.
void set_nodal_values(Database *db, int number, int set, const NodalValues &values,
                      const std::unordered_map<int, size_t> &position, double shear_factor) {
  double record[6];
  for (size_t r = 0; r < values.node_ids.size(); ++r) {
    if (position.count(values.node_ids[r]) == 0) continue;
    std::copy_n(values.values.begin() + 6 * r, 6, record);
    for (int k = 3; k < 6; ++k) record[k] *= shear_factor;
    if (!ZEL_SetModeVec(db, number, values.node_ids[r], set, record))
      throw InputError("the library refused the values of mode " + std::to_string(number));
  }
}

// Shell nodes hold the values of their top surface (the side their normal
// points to), where the result file has none of its own for them.
void set_top_surface_values(Database *db, int number, int set, const NodalValues &values,
                            const Expansion &expansion, const std::unordered_map<int, size_t> &position,
                            double shear_factor) {
  std::unordered_set<int> given;
  for (int id : values.node_ids)
    if (position.count(id) != 0) given.insert(id);
  for (auto [id, record] : expansion.top_surface(values)) {
    if (given.count(id) != 0) continue;
    for (int k = 3; k < 6; ++k) record[k] *= shear_factor;
    if (!ZEL_SetModeVec(db, number, id, set, record.data()))
      throw InputError("the library refused the values of mode " + std::to_string(number));
  }
}

void set_mode_shape(Database *db, int number, const std::vector<double> &shape, const Body &body) {
  double record[6];
  for (size_t p = 0; p < body.node_ids.size(); ++p) {
    std::copy_n(shape.begin() + 6 * p, 6, record);
    if (!ZEL_SetModeVec(db, number, body.node_ids[p], 0, record))
      throw InputError("the library refused mode " + std::to_string(number));
  }
}

// Phi^T M Phi of lumped masses and rotary inertias; a, b hold six values
// per node.
double generalized_mass(const double *a, const double *b, const Body &body) {
  double sum = 0.0;
  for (size_t p = 0; p < body.node_ids.size(); ++p, a += 6, b += 6) {
    sum += body.masses[p] * (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
    const double *J = body.inertias.data() + 6 * p;
    sum += a[3] * (J[0] * b[3] + J[3] * b[4] + J[4] * b[5]) + a[4] * (J[3] * b[3] + J[1] * b[4] + J[5] * b[5]) +
           a[5] * (J[4] * b[3] + J[5] * b[4] + J[2] * b[5]);
  }
  return sum;
}

// Phi^T K Phi is diag(lambda_i m_i) exactly, m_i being the generalized
// masses of the solver's own (consistent) mass matrix. Phi^T M Phi with the
// lumped masses is close to diag(m_i) but not equal to it: the writer's
// orthonormalization takes out the difference.
void set_generalized_matrices(Database *db, const std::vector<ModeResults> &modes,
                              const std::vector<double> &eigenvalues, const std::vector<std::vector<double>> &shapes,
                              const Body &body, Summary &summary) {
  const size_t count = modes.size();
  for (size_t i = 0; i < count; ++i) {
    ZEL_SetGeneralizedStiffness(db, modes[i].number, modes[i].number, eigenvalues[i] * modes[i].generalized_mass);
    for (size_t j = i; j < count; ++j) {
      const double sum = generalized_mass(shapes[i].data(), shapes[j].data(), body);
      ZEL_SetGeneralizedMass(db, modes[i].number, modes[j].number, sum);
      const double expected = i == j ? modes[i].generalized_mass : 0.0;
      const double deviation =
          std::fabs(sum - expected) / std::sqrt(modes[i].generalized_mass * modes[j].generalized_mass);
      if (deviation > summary.largest_deviation) {
        summary.largest_deviation = deviation;
        summary.deviation_row = modes[i].number;
        summary.deviation_column = modes[j].number;
      }
    }
  }
}

}  // namespace

const char kDefaultWriteOptions[] = "full_invar";

Database *build_database(const Request &request, Summary &summary) {
  const std::string inp = request.job + ".inp", frd = request.job + ".frd", dat = request.job + ".dat";
  const Mesh mesh = read_inp(inp);
  const Body body = build_body(mesh);
  const std::vector<ModeResults> modes = read_frd(frd);
  const std::vector<double> eigenvalues = eigenvalues_of(modes, read_dat(dat), dat, frd);
  for (const ModeResults &mode : modes)
    if (!(mode.generalized_mass > 0.0))
      fail({frd, mode.line}, "mode " + std::to_string(mode.number) + " has a generalized mass that is not positive");

  DatabasePtr db(ZEL_Create(static_cast<int>(body.node_ids.size()), static_cast<int>(modes.size())), ZEL_UnLink);
  if (!db) throw InputError("no memory for a body of " + std::to_string(body.node_ids.size()) + " nodes");
  const std::string units = request.units[0] + "," + request.units[1] + "," + request.units[2] + "," + request.units[3];
  if (!ZEL_SetUnits(db.get(), request.units[0].c_str(), request.units[1].c_str(), request.units[2].c_str(),
                    request.units[3].c_str()))
    throw InputError("units " + units + " are not known (mass, length, time and force, e.g. kg,m,s,N)");
  set_header(db.get(), request, mesh, body);
  set_nodes(db.get(), body);
  summary.interface_count = set_interface_nodes(db.get(), request, mesh);

  const std::unordered_map<int, size_t> position = positions_of(body.node_ids);
  std::optional<Expansion> expansion;
  if (has_shells_or_beams(mesh)) expansion.emplace(mesh, parse_frd_mesh(read_whole_file(frd), frd), frd);
  std::vector<std::vector<double>> shapes;
  ZEL_TimeMonitor(std::max<int>(static_cast<int>(modes.size()), 1));
  for (const ModeResults &mode : modes) {
    shapes.push_back(mode_shape(mode, body, position, frd, expansion));
    set_mode_shape(db.get(), mode.number, shapes.back(), body);
    // The solver's shear strains are tensor components; the file holds
    // engineering shear strains, twice as large.
    const std::pair<int, const NodalValues *> sets[] = {{1, &mode.stress}, {2, &mode.strain}};
    for (const auto &[set, values] : sets) {
      if (values->node_ids.empty()) continue;
      const double shear_factor = set == 2 ? kEngineeringShear : 1.0;
      set_nodal_values(db.get(), mode.number, set, *values, position, shear_factor);
      if (expansion) set_top_surface_values(db.get(), mode.number, set, *values, *expansion, position, shear_factor);
    }
    ZEL_TimeMonitorStamp();
  }
  set_generalized_matrices(db.get(), modes, eigenvalues, shapes, body, summary);

  summary.node_count = static_cast<int>(body.node_ids.size());
  summary.element_count = static_cast<int>(mesh.elements.size());
  summary.face_count = body.face_count;
  summary.mode_count = static_cast<int>(modes.size());
  summary.volume = body.volume;
  summary.mass = body.mass;
  return db.release();
}

int write_body(Database *db, const Request &request) {
  if (request.write_options)
    setenv("KOR_ZELWRITE_OPTIONS", request.write_options->c_str(), 1);
  else
    setenv("KOR_ZELWRITE_OPTIONS", kDefaultWriteOptions, 0);
  return ZEL_write_ZEL(db, request.output.c_str());
}

}  // namespace ccx
