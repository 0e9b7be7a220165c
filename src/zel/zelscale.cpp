// Rescaling everything a database holds in memory after a change of units.
// Mode shapes, modal stresses and strains stay in their files (and the
// pre-stress and pre-strain with them): the queries convert them on read.
#include <algorithm>
#include <cmath>

#include "body/database.h"
#include "body/scaling.h"
#include "numeric/rigid_body_count.h"
#include "platform/messages.h"
#include "zel.h"

namespace zel {
namespace {

constexpr char kModule[] = "zelunits";

// The rigid-body translations of a processed preload or load case are
// forces; at most three of them are split off.
constexpr int32_t kMaxRigidForces = 3;

// Factors of every dimension the database holds, from force F, length L,
// mass M and time T.
struct DimensionFactors {
  double force, length, mass, time;
  double inertia;       // M L^2
  double first_moment;  // M L
  double stiffness;     // L F
  double eigenvalue;    // L F / (M L^2)
  double frequency;     // sqrt(L F / ((T^2 F / (L M)) M L^2)) = 1 / T
  double stress;        // F / L^2
  double damping;       // L T F

  explicit DimensionFactors(const UnitFactors &f)
      : force(f[kForceFactor]),
        length(f[kLengthFactor]),
        mass(f[kMassFactor]),
        time(f[kTimeFactor]),
        inertia(mass * length * length),
        first_moment(mass * length),
        stiffness(length * force),
        eigenvalue(stiffness / inertia),
        frequency(1.0 / time),
        stress(force / (length * length)),
        damping(length * time * force) {}
};

void scale(std::vector<double> &values, double factor) {
  for (double &v : values) v *= factor;
}

template <std::size_t N>
void scale(std::array<double, N> &values, double factor) {
  for (double &v : values) v *= factor;
}

void scale(std::vector<GenEntry> &entries, double factor) {
  for (GenEntry &e : entries) e.value *= factor;
}

void scale_nodes(Database &db, const DimensionFactors &f) {
  for (NodeRecord &node : db.nodes) {
    node.mass *= f.mass;
    node.x *= f.length;
    node.y *= f.length;
    node.z *= f.length;
    if (node.inertia) scale(*node.inertia, f.inertia);
  }
}

// Damping on principal axes: indices 0..2 are the rigid-body translations,
// whose rows and columns carry a length less than the flexible ones.
void scale_damping(Database &db, const DimensionFactors &f) {
  if (!db.damping_on_principal_axes) {
    scale(db.gen_damp, f.damping);
    return;
  }
  for (GenEntry &e : db.gen_damp) {
    const int translations = (e.row < 3) + (e.col < 3);
    const double factor = translations == 2   ? f.time * f.force / f.length
                          : translations == 1 ? f.time * f.force
                                              : f.damping;
    e.value *= factor;
  }
}

// Modal forces: a processed set starts with up to three rigid-body forces
// (scaled by F alone), the flexible components follow (scaled by L F).
void scale_modal_forces(std::vector<double> &values, bool processed, int32_t rigid_count,
                        const DimensionFactors &f) {
  const std::size_t forces =
      processed ? static_cast<std::size_t>(std::min({rigid_count, kMaxRigidForces, static_cast<int32_t>(values.size())}))
                : 0;
  for (std::size_t i = 0; i < values.size(); ++i) values[i] *= i < forces ? f.force : f.stiffness;
}

void scale_eigen_records(Database &db, const DimensionFactors &f) {
  constexpr std::size_t kRecord = 6;
  for (std::size_t r = 0; r + kRecord <= db.eigen.size(); r += kRecord) {
    double *record = &db.eigen[r];  // mode number, eigenvalue, Hz, rad/s, mass, stiffness
    record[1] *= f.eigenvalue;
    record[2] *= f.frequency;
    record[3] *= f.frequency;
    record[4] *= f.inertia;
    record[5] *= f.stiffness;
  }
}

void scale_invariants(Database &db, const DimensionFactors &f) {
  scale(db.invar1, f.mass);
  scale(db.invar2, f.first_moment);
  scale(db.invar3, f.first_moment);
  scale(db.invar4, f.inertia);
  for (std::vector<double> &row : db.invar5) scale(row, f.inertia);
  scale(db.invar7, f.inertia);
  for (std::array<double, 9> &cell : db.invar8) scale(cell, f.inertia);
  for (std::array<double, 9> &cell : db.invar9) scale(cell, f.inertia);
}

// Slot 0 is the largest translation, slot 2 the largest von Mises stress.
void scale_statistics(Database &db, const DimensionFactors &f) {
  for (ModeStatistics &mode : db.statistics) {
    mode.value[0] *= f.length;
    mode.value[2] *= f.stress;
  }
}

}  // namespace

void scale_database(Database &db, const UnitFactors &factors) {
  const DimensionFactors f(factors);
  scale_nodes(db, f);
  db.cache_mode = {-1, -1, -1};
  scale(db.gen_mass, f.inertia);
  scale(db.gen_stiff, f.stiffness);
  scale_damping(db, f);
  // The rigid-body modes are counted on frequencies that are all in the new
  // units: the generalized matrices and the eigenvalue records go first.
  scale_eigen_records(db, f);
  const int32_t rigid_count = rigid_body_mode_count(db);
  scale_modal_forces(db.preload, db.preload_processed != 0, rigid_count, f);
  for (LoadCase &load : db.load_cases) scale_modal_forces(load.values, load.processed != 0, rigid_count, f);
  db.global_mass *= f.mass;
  scale(db.global_cm, f.length);
  scale(db.global_inertia, f.inertia);
  db.body_size *= f.length;
  scale_invariants(db, f);
  scale_statistics(db, f);
}

}  // namespace zel

using namespace zel;

extern "C" ZEL_API void ZEL_ScaleDatabase(Database *db) {
  if (!CheckZEL(db)) return;
  ZEL_GUARDED_VOID({
    scale_database(*db, db->unit_factor);
  });
}
