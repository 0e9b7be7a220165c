// The two ways of turning the rigid-body components of a modal force
// vector into a resultant force and moment on the six rigid coordinates.
#ifndef ZEL_PRINCIPAL_AXES_H
#define ZEL_PRINCIPAL_AXES_H

#include <cstdint>
#include <vector>

struct Database;

namespace zel {

// Both replace q[0 .. min(6, k, mode count) - 1], the modal forces of the
// first k (rigid-body) modes, by F x, y, z, M x, y, z about the origin, each
// within 1e-10 of zero written as 0.0; modes without generalized mass are
// left out with a warning. False after a message, q unchanged, when a mode
// shape cannot be read or the fit is singular.

// From the nodal masses and each rigid mode's translations.
bool RigidForcesFromNodalMass(Database &db, std::vector<double> &q, int32_t k);

// From a rigid motion fitted to each rigid mode's shape at the node
// positions, and the body's total mass, centre of mass and inertia.
bool RigidForcesFromGeometry(Database &db, std::vector<double> &q, int32_t k);

}  // namespace zel

#endif  // ZEL_PRINCIPAL_AXES_H
