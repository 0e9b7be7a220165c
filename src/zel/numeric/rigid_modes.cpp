#include "numeric/rigid_modes.h"

#include <algorithm>
#include <cmath>

#include "body/database.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zeltools";

constexpr double kNegligible = 1e-10;

// The velocity field of unit rigid motion `motion` at every node: a unit
// vector for a translation, e_d x r for a rotation about axis d.
void rigid_motion_field(const std::vector<ModeShapeNode> &nodes, int motion, std::vector<double> &field) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    double *u = &field[3 * i];
    const std::array<double, 3> &r = nodes[i].position;
    switch (motion) {
      case 0: u[0] = 1.0, u[1] = 0.0, u[2] = 0.0; break;
      case 1: u[0] = 0.0, u[1] = 1.0, u[2] = 0.0; break;
      case 2: u[0] = 0.0, u[1] = 0.0, u[2] = 1.0; break;
      case 3: u[0] = 0.0, u[1] = -r[2], u[2] = r[1]; break;
      case 4: u[0] = r[2], u[1] = 0.0, u[2] = -r[0]; break;
      default: u[0] = -r[1], u[1] = r[0], u[2] = 0.0; break;
    }
  }
}

}  // namespace

std::vector<ModeShapeNode> mode_shape_nodes(Database &db) {
  const int32_t count = ZEL_ModeNodeCount(&db, kModeShapeSet);
  std::vector<ModeShapeNode> nodes(static_cast<std::size_t>(std::max(count, 0)));
  for (int32_t position = 0; position < count; ++position) {
    const int32_t index = ZEL_NodeIndex(&db, ZEL_ModeNodeID(&db, kModeShapeSet, position));
    if (index < 0) continue;
    ModeShapeNode &node = nodes[static_cast<std::size_t>(position)];
    node.mass = ZEL_NodalMass(&db, index);
    ZEL_NodeCoordinates(&db, index, node.position.data());
  }
  return nodes;
}

double MassWeightedProjection(const double *u, const double *v, const double *w, int32_t n) {
  double along = 0.0;
  double norm = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double *ui = u + 3 * i;
    const double *vi = v + 3 * i;
    along += w[i] * (ui[0] * vi[0] + ui[1] * vi[1] + ui[2] * vi[2]);
    norm += w[i] * (vi[0] * vi[0] + vi[1] * vi[1] + vi[2] * vi[2]);
  }
  return norm == 0.0 ? 0.0 : along / norm;
}

bool rigid_participation(Database &db, int32_t k, std::array<std::vector<double>, kRigidMotions> &participation) {
  const std::vector<ModeShapeNode> nodes = mode_shape_nodes(db);
  const int32_t n = static_cast<int32_t>(nodes.size());
  std::vector<double> weights(nodes.size());
  std::transform(nodes.begin(), nodes.end(), weights.begin(), [](const ModeShapeNode &node) { return node.mass; });
  std::vector<double> mode(3 * nodes.size());
  std::vector<double> motion(3 * nodes.size());
  for (std::vector<double> &row : participation) row.assign(static_cast<std::size_t>(k), 0.0);
  for (int32_t m = 0; m < k; ++m) {
    const int number = db.mode_numbers[static_cast<std::size_t>(m)];
    if (!ZEL_Mode(&db, number, kModeShapeSet, mode.data(), 0)) {
      ZEL_Error("Cannot read the mode shape of mode %d.", number);
      return false;
    }
    for (int r = 0; r < kRigidMotions; ++r) {
      rigid_motion_field(nodes, r, motion);
      const double c = MassWeightedProjection(motion.data(), mode.data(), weights.data(), n);
      participation[static_cast<std::size_t>(r)][static_cast<std::size_t>(m)] = std::abs(c) <= kNegligible ? 0.0 : c;
    }
  }
  return true;
}

}  // namespace zel

using namespace zel;

extern "C" ZEL_API int ZEL_RigidModes2VELMO(Database *db, double **table, int k) {
  if (!CheckZEL(db)) return 0;
  if (table == nullptr || std::any_of(table, table + kRigidMotions, [](const double *row) { return row == nullptr; }) ||
      k < 0 || k > db->mode_count()) {
    ZEL_Error("Cannot fill the rigid-mode table: it needs six rows and at most %d modes.", db->mode_count());
    return 0;
  }
  return ZEL_GUARDED(0, {
    std::array<std::vector<double>, kRigidMotions> participation;
    if (!rigid_participation(*db, k, participation)) return 0;
    for (int r = 0; r < kRigidMotions; ++r) std::copy(participation[r].begin(), participation[r].end(), table[r]);
    return 1;
  });
}
