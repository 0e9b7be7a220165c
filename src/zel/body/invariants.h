// Inertia invariants held by a database: taken from the database when
// present, else computed from the nodal data, and then held.
#ifndef ZEL_INVARIANTS_H
#define ZEL_INVARIANTS_H

#include <array>

struct Database;

namespace zel {

enum class Invariant;  // blocks.h

// Each invariant as a query reports it, without holding a computed value:
// the builder's consistency checks use these so that a check made halfway
// through building does not freeze an invariant. The values of a file's
// invariant block are held on first use, as a query holds them.
double current_invariant1(Database &db);
std::array<double, 3> current_invariant2(Database &db);
std::array<double, 9> current_invariant7(Database &db);

// The same, held in the database from the first call on (marked computed
// when they came from the nodal data).
// Total mass.
double inertia_invariant1(Database &db);
// First mass moment: sum of m_p x_p.
std::array<double, 3> inertia_invariant2(Database &db);
// Inertia tensor about the origin, row order, products of inertia negative.
std::array<double, 9> inertia_invariant7(Database &db);

// Drops the invariants held because they were computed from the nodal
// data: the nodes, masses, inertias or mode shapes they came from changed.
// Invariants set by the builder or read from the file stay.
void forget_computed_invariants(Database &db);

// Holds the modal invariants (3, 4, 5, 8, 9) of the file the body was read
// from that are not held yet, so that they can follow a change of modes.
void hold_read_modal_invariants(Database &db);

// The setters' word that nodes, masses, inertias, the global mass or mode
// shapes are about to change: forget_computed_invariants() when any is held.
void nodal_data_changed(Database &db);

// Moves the body's reference frame to its centre of mass (from the nodal
// masses): every node by -c, reported on standard output, global_cm
// cleared. Invariants computed from the nodes are dropped (the moved nodes
// give them again); those set or read move with the frame exactly. A body
// without nodes or without mass is left as it is.
void ShiftLbrfToCm(Database *db);

// Has the invariant held (from the builder, the file or the nodal data),
// as its query would; false when a modal one cannot be had (no modes, a
// mode that cannot be read).
bool hold_invariant(Database &db, Invariant invariant);
// Whether invariant `number` (1..9) is held.
bool invariant_held(const Database &db, int number);

// Holds every modal invariant (3, 4, 5, 8, 9) that is neither held nor on
// file, in one pass over the modes; false without modes or when a mode
// cannot be read.
bool hold_every_modal_invariant(Database &db);

// The writer's invariant levels: each checks that there is mass data
// enough (else says so and goes on), announces itself and has the
// level's invariants held for the block writer. A null handle does nothing.
void ComputeRigidInvariants(Database *db);
void ComputeFastInvariants(Database *db);
void ComputeAllInvariants(Database *db);

// Lays a held modal invariant (3, 4, 5, 8 or 9) out again for the current
// mode count when modes were added since it was laid out; their entries
// are zero.
void cover_modal_invariant(Database &db, Invariant invariant);

// Invariant `number` was (partly) set by the builder: a change of the nodal
// data no longer drops it.
void mark_invariant_set(Database &db, int number);

// Global mass, centre of mass and inertia tensor (usual sign convention:
// invariant 7 with its products of inertia negated) from the invariants.
void store_global_mass_properties(Database &db, double invariant1, const std::array<double, 3> &invariant2,
                                  const std::array<double, 9> &invariant7);

}  // namespace zel

#endif  // ZEL_INVARIANTS_H
