// From the solver's three files to a filled database and a ZEL file.
#ifndef ZEL_CCX_TRANSLATE_H
#define ZEL_CCX_TRANSLATE_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "zel.h"

namespace ccx {

struct Request {
  std::string job;                                 // JOB of JOB.inp, JOB.frd, JOB.dat
  std::string output;                              // empty: JOB.zel
  std::vector<std::string> interface_sets;         // node set names
  std::array<std::string, 4> units = {"kg", "m", "s", "N"};  // mass, length, time, force
  std::optional<std::string> write_options;        // for the writer, replacing the environment's
};

// The writer's options when neither the request nor the environment
// (KOR_ZELWRITE_OPTIONS) gives any: a body for simulation needs its
// inertia invariants.
extern const char kDefaultWriteOptions[];

struct Summary {
  int node_count = 0;
  int element_count = 0;
  int face_count = 0;
  int mode_count = 0;
  int interface_count = 0;
  double volume = 0.0;
  double mass = 0.0;
  // Largest entry of |Phi^T M Phi - I| with M the lumped masses (relative
  // to the solver's generalized masses), and the mode numbers where it is.
  double largest_deviation = 0.0;
  int deviation_row = 0;
  int deviation_column = 0;
};

// Reads the three files and fills a new database: nodes, lumped masses,
// skin faces, interface nodes, mode shapes (with stresses and strains when
// the results hold them), the generalized stiffness diag(lambda_i m_i) and
// the generalized mass Phi^T M Phi of the lumped masses, and the units.
// The caller releases the database with ZEL_UnLink. InputError on a fault.
Database *build_database(const Request &request, Summary &summary);

// Writes the body to request.output with the request's options (else the
// environment's, else the default ones); what ZEL_write_ZEL gives.
int write_body(Database *db, const Request &request);

}  // namespace ccx

#endif  // ZEL_CCX_TRANSLATE_H
