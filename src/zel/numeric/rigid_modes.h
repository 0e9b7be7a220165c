// The rigid-body motions of a whole body as they appear in its modes: the
// node data the rigid-body tools read, and the participation of the six
// rigid motions in each mode.
#ifndef ZEL_RIGID_MODES_H
#define ZEL_RIGID_MODES_H

#include <array>
#include <cstdint>
#include <vector>

struct Database;

namespace zel {

// The six rigid motions: translations x, y, z, rotations about x, y, z.
constexpr int kRigidMotions = 6;

// One node of the mode-shape set, in set-position order.
struct ModeShapeNode {
  double mass = 0.0;
  std::array<double, 3> position{};
};

// Every node that carries mode shapes, in the order of their values. The
// set may hold fewer nodes than the body.
std::vector<ModeShapeNode> mode_shape_nodes(Database &db);

// The c that best approximates u by c v in the w-weighted least-squares
// sense: sum w_i (u_i . v_i) / sum w_i |v_i|^2 over n nodes of three
// values each; 0.0 when v carries no weighted motion at all.
double MassWeightedProjection(const double *u, const double *v, const double *w, int32_t n);

// participation[r][m]: rigid motion r (about axes through the origin) in
// mode index m, for m < k <= mode count; values within 1e-10 of zero are
// exactly 0.0. False after a message when a mode shape cannot be read.
bool rigid_participation(Database &db, int32_t k, std::array<std::vector<double>, kRigidMotions> &participation);

}  // namespace zel

#endif  // ZEL_RIGID_MODES_H
