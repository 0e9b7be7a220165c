// The rigid-body parts of a body's modal quantities re-expressed on the six
// rigid coordinates (translations x, y, z, rotations about x, y, z): the
// rigid-body components of the preload and of each load case become a
// resultant force and moment, and the damping matrix takes the six
// coordinates as its first rows and columns.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "body/database.h"
#include "format/block_table.h"
#include "numeric/principal_axes.h"
#include "numeric/rigid_body_count.h"
#include "numeric/rigid_modes.h"
#include "platform/build_profile.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltools";

constexpr double kNegligible = 1e-10;

using Resultant = std::array<double, kRigidMotions>;  // F x, y, z, then M x, y, z
using Matrix6 = std::array<std::array<double, kRigidMotions>, kRigidMotions>;

double negligible_to_zero(double value) { return std::abs(value) <= kNegligible ? 0.0 : value; }

// The rigid modes whose modal forces q can hold: a vector made before
// modes were added is shorter than the mode list.
int32_t rigid_modes_of(const Database &db, const std::vector<double> &q, int32_t k) {
  return std::min({k, db.mode_count(), static_cast<int32_t>(q.size())});
}

// The resultant replaces the first modal forces; there are six at most,
// and never more than the rigid modes it was made from.
void write_resultant(std::vector<double> &q, const Resultant &resultant, int32_t rigid) {
  const int32_t count = std::min(rigid, static_cast<int32_t>(kRigidMotions));
  for (int32_t r = 0; r < count; ++r) q[static_cast<std::size_t>(r)] = negligible_to_zero(resultant[r]);
}

// The generalized mass of a rigid mode, or 0.0 (with a warning) when it has
// none to divide by.
double rigid_mode_mass(Database &db, int number) {
  double mass = 0.0;
  ZEL_Eigenvalue(&db, number, nullptr, nullptr, nullptr, &mass, nullptr);
  if (mass == 0.0)
    ZEL_Warning("Rigid body mode %d has no generalized mass; its modal force is left out of the resultant.",
                number);
  return mass;
}

bool fetch_mode(Database &db, int number, int component, std::vector<double> &values) {
  if (ZEL_Mode(&db, number, kModeShapeSet, values.data(), component)) return true;
  ZEL_Error("Cannot read the mode shape of mode %d.", number);
  return false;
}

std::array<double, 3> cross(const std::array<double, 3> &a, const double *b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Normal equations of the least-squares fit of a rigid motion (v, w) to a
// mode shape, translations t_i ~ v + w x r_i and rotations p_i ~ w at every
// node with unit weight. With C_i w = w x r_i: A = sum [I, C_i; C_i^T,
// C_i^T C_i + I], where C_i^T C_i = |r_i|^2 I - r_i r_i^T.
Matrix6 rigid_fit_matrix(const std::vector<ModeShapeNode> &nodes) {
  Matrix6 a{};
  for (const ModeShapeNode &node : nodes) {
    const auto [x, y, z] = node.position;
    const double c[3][3] = {{0.0, z, -y}, {-z, 0.0, x}, {y, -x, 0.0}};
    const double square = x * x + y * y + z * z;
    for (int i = 0; i < 3; ++i) {
      a[i][i] += 1.0;
      a[3 + i][3 + i] += square + 1.0;
      for (int j = 0; j < 3; ++j) {
        a[i][3 + j] += c[i][j];
        a[3 + j][i] += c[i][j];
        a[3 + i][3 + j] -= node.position[i] * node.position[j];
      }
    }
  }
  return a;
}

// Its right-hand side for one mode: sum [t_i; r_i x t_i + p_i].
Resultant rigid_fit_rhs(const std::vector<ModeShapeNode> &nodes, const std::vector<double> &t,
                        const std::vector<double> &p) {
  Resultant b{};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const std::array<double, 3> moment = cross(nodes[i].position, &t[3 * i]);
    for (int d = 0; d < 3; ++d) {
      b[d] += t[3 * i + d];
      b[3 + d] += moment[d] + p[3 * i + d];
    }
  }
  return b;
}

// The body's rigid-body mass matrix about the origin: [M I, -M [c]x;
// M [c]x, J], with J the inertia tensor whose products of inertia carry
// their negative sign (the global inertia holds them with the opposite one).
Matrix6 rigid_mass_matrix(Database &db) {
  double mass = 0.0;
  std::array<double, 9> inertia{};
  std::array<double, 3> cm{};
  ZEL_TotalMassInertia(&db, &mass, inertia.data(), cm.data());
  const double mc[3] = {mass * cm[0], mass * cm[1], mass * cm[2]};
  const double moment_arm[3][3] = {{0.0, -mc[2], mc[1]}, {mc[2], 0.0, -mc[0]}, {-mc[1], mc[0], 0.0}};
  Matrix6 r{};
  for (int i = 0; i < 3; ++i) {
    r[i][i] = mass;
    for (int j = 0; j < 3; ++j) {
      r[i][3 + j] = -moment_arm[i][j];
      r[3 + i][j] = moment_arm[i][j];
      r[3 + i][3 + j] = i == j ? inertia[3 * i + j] : -inertia[3 * i + j];
    }
  }
  return r;
}

// How modal forces become a resultant. The full library falls back on the
// body's geometry without nodal masses (or when told to ignore them); the
// reduced one knows only the nodal masses and leaves forces it cannot
// convert as they are.
enum class Conversion { kNodalMass, kGeometry, kNone };

Conversion conversion_for(Database &db) {
  const bool has_masses = block_flag(db, kNodalMassesBlock) != 0;
  if constexpr (profile::kCore) return has_masses ? Conversion::kNodalMass : Conversion::kNone;
  return has_masses && std::getenv("KOR_MFORCE_NO_FEA_MASS") == nullptr ? Conversion::kNodalMass
                                                                        : Conversion::kGeometry;
}

bool convert_modal_forces(Database &db, std::vector<double> &q, int32_t k, Conversion conversion) {
  switch (conversion) {
    case Conversion::kNodalMass:
      return RigidForcesFromNodalMass(db, q, k);
    case Conversion::kGeometry:
      return RigidForcesFromGeometry(db, q, k);
    case Conversion::kNone:
      break;
  }
  return false;
}

// A converted component is only ever exactly kNegligible beyond the six
// resultant entries; the reduced library warns about it too.
bool shows_rigid_component(double value) {
  return profile::kCore ? std::abs(value) >= kNegligible : std::abs(value) > kNegligible;
}

void warn_about_rigid_preload(const Database &db, int32_t k) {
  const int32_t rigid = rigid_modes_of(db, db.preload, k);
  for (int32_t m = 0; m < rigid; ++m)
    if (shows_rigid_component(db.preload[static_cast<std::size_t>(m)]))
      ZEL_Warning("ZEL contains a preload with a rigid body component which is being ignored");
}

// The damping matrix on the rigid coordinates: with T the 6 x k rigid
// participation of the rigid modes and D the N x N damping, P = [T D_rr
// T^T, T D_rf; D_fr T^T, D_ff], S x S with S = N - k + 6.
std::vector<GenEntry> damping_on_rigid_coordinates(const std::vector<double> &d, int32_t modes, int32_t k,
                                                   const std::array<std::vector<double>, kRigidMotions> &t) {
  const std::size_t n = static_cast<std::size_t>(modes);
  const std::size_t rigid = static_cast<std::size_t>(k);
  const std::size_t size = n - rigid + kRigidMotions;
  std::vector<double> p(size * size, 0.0);
  // td[a][c] = sum over rigid i of T[a][i] D[i][c].
  std::vector<double> td(kRigidMotions * n, 0.0);
  for (std::size_t a = 0; a < kRigidMotions; ++a)
    for (std::size_t i = 0; i < rigid; ++i)
      for (std::size_t c = 0; c < n; ++c) td[a * n + c] += t[a][i] * d[i * n + c];
  for (std::size_t a = 0; a < kRigidMotions; ++a) {
    for (std::size_t b = 0; b < kRigidMotions; ++b)
      for (std::size_t j = 0; j < rigid; ++j) p[a * size + b] += td[a * n + j] * t[b][j];
    for (std::size_t f = 0; f < n - rigid; ++f) {
      p[a * size + kRigidMotions + f] = td[a * n + rigid + f];
      for (std::size_t j = 0; j < rigid; ++j) p[(kRigidMotions + f) * size + a] += d[(rigid + f) * n + j] * t[a][j];
    }
  }
  for (std::size_t f = 0; f < n - rigid; ++f)
    std::copy_n(&d[(rigid + f) * n + rigid], n - rigid, &p[(kRigidMotions + f) * size + kRigidMotions]);

  std::vector<GenEntry> entries;
  for (std::size_t r = 0; r < size; ++r)
    for (std::size_t c = 0; c < size; ++c)
      if (std::abs(p[r * size + c]) > kNegligible)
        entries.push_back(GenEntry{static_cast<int32_t>(r), static_cast<int32_t>(c), p[r * size + c]});
  return entries;
}

}  // namespace

// Resultant of the inertial forces the rigid modes' modal forces stand
// for: sum over rigid modes m and nodes i of (m_i / g_m) q_m t_i, and its
// moment about the origin.
bool RigidForcesFromNodalMass(Database &db, std::vector<double> &q, int32_t k) {
  const int32_t rigid = rigid_modes_of(db, q, k);
  if (rigid == 0) return true;
  const std::vector<ModeShapeNode> nodes = mode_shape_nodes(db);
  std::vector<double> t(3 * nodes.size());
  Resultant resultant{};
  for (int32_t m = 0; m < rigid; ++m) {
    const int number = db.mode_numbers[static_cast<std::size_t>(m)];
    const double g = rigid_mode_mass(db, number);
    if (g == 0.0) continue;
    if (!fetch_mode(db, number, 0, t)) return false;
    const double scale = q[static_cast<std::size_t>(m)] / g;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const double weight = nodes[i].mass * scale;
      const std::array<double, 3> moment = cross(nodes[i].position, &t[3 * i]);
      for (int d = 0; d < 3; ++d) {
        resultant[d] += weight * t[3 * i + d];
        resultant[3 + d] += weight * moment[d];
      }
    }
  }
  write_resultant(q, resultant, rigid);
  return true;
}

// The same resultant from the node positions alone: each rigid mode's
// motion (v, w) is fitted to its mode shape, and the body's rigid-body mass
// matrix turns the modal-force-weighted sum of the motions into a force
// and a moment.
bool RigidForcesFromGeometry(Database &db, std::vector<double> &q, int32_t k) {
  const int32_t rigid = rigid_modes_of(db, q, k);
  if (rigid == 0) return true;
  const std::vector<ModeShapeNode> nodes = mode_shape_nodes(db);
  Matrix6 fit = rigid_fit_matrix(nodes);
  std::array<double *, kRigidMotions> fit_rows{};
  for (int r = 0; r < kRigidMotions; ++r) fit_rows[r] = fit[r].data();
  std::array<int, kRigidMotions> perm{};
  if (!ZEL_LUPDecomposition(fit_rows.data(), kRigidMotions, perm.data())) {
    ZEL_Error("LU Decomposition failed.\n");
    return false;
  }
  std::vector<double> t(3 * nodes.size());
  std::vector<double> p(3 * nodes.size());
  Resultant motion{};  // sum over m of (v_m, w_m) q_m / g_m
  for (int32_t m = 0; m < rigid; ++m) {
    const int number = db.mode_numbers[static_cast<std::size_t>(m)];
    const double g = rigid_mode_mass(db, number);
    if (g == 0.0) continue;
    if (!fetch_mode(db, number, 0, t) || !fetch_mode(db, number, 1, p)) return false;
    Resultant mode_motion = rigid_fit_rhs(nodes, t, p);
    if (!ZEL_LUPSolve(fit_rows.data(), kRigidMotions, perm.data(), mode_motion.data())) return false;
    for (int r = 0; r < kRigidMotions; ++r) motion[r] += mode_motion[r] * q[static_cast<std::size_t>(m)] / g;
  }
  const Matrix6 mass = rigid_mass_matrix(db);
  Resultant resultant{};
  for (int r = 0; r < kRigidMotions; ++r)
    for (int c = 0; c < kRigidMotions; ++c) resultant[r] += mass[r][c] * motion[c];
  write_resultant(q, resultant, rigid);
  return true;
}

}  // namespace zel

using namespace zel;

extern "C" {

ZEL_API void ZEL_RigidBodyForcesOnPrincipalAxes(Database *db) {
  if (!CheckZEL(db)) return;
  ZEL_GUARDED_VOID({
    const int32_t k = rigid_body_mode_count(*db);
    const Conversion conversion = conversion_for(*db);
    // A vector is marked converted only once it is: a failed conversion
    // leaves modal forces that must not be taken for resultants.
    if (!db->preload.empty() && !db->preload_processed) {
      if (convert_modal_forces(*db, db->preload, k, conversion)) {
        db->preload_processed = 1;
        warn_about_rigid_preload(*db, k);
      } else if (conversion == Conversion::kNone) {
        ZEL_Warning("No mass matrix.  Failed to verify absence of rigid body component in preload.");
      }
    }
    if (k < kRigidMotions && !db->load_cases.empty())
      ZEL_Warning("ZEL only contains %d rigid body modes.\n  The resultant load vector will be mishandled.\n", k);
    for (LoadCase &load : db->load_cases) {
      if (load.processed) continue;
      if (convert_modal_forces(*db, load.values, k, conversion))
        load.processed = 1;
      else if (conversion == Conversion::kNone)
        ZEL_Warning("No mass matrix. Any rigid body force component will be mishandled in \"%s\"\n",
                    load.label.c_str());
    }
  });
}

ZEL_API int ZEL_DampingOnPrincipalAxes(Database *db) {
  if (!CheckZEL(db)) return 0;
  return ZEL_GUARDED(0, {
    if (db->gen_damp.empty() || db->damping_on_principal_axes) return 1;
    const int32_t modes = db->mode_count();
    const int32_t k = std::min(rigid_body_mode_count(*db), modes);
    std::vector<double> d(static_cast<std::size_t>(modes) * static_cast<std::size_t>(modes));
    if (!ZEL_GenDampFull(db, d.data(), modes)) return 0;
    std::array<std::vector<double>, kRigidMotions> participation;
    if (!rigid_participation(*db, k, participation)) return 0;
    db->gen_damp = damping_on_rigid_coordinates(d, modes, k, participation);
    db->damping_on_principal_axes = 1;
    return 1;
  });
}

}  // extern "C"
