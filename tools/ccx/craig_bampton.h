// A body of component modes held at its attachment points: the normal
// modes with the attachment points held plus one static constraint mode
// per attachment degree of freedom, computed by the solver on decks
// written here, reduced with the solver's own stiffness and mass matrices.
#ifndef ZEL_CCX_CRAIG_BAMPTON_H
#define ZEL_CCX_CRAIG_BAMPTON_H

#include <string>
#include <vector>

#include "body.h"
#include "coupling.h"
#include "inp_reader.h"
#include "solver_run.h"
#include "translate.h"
#include "zel.h"

namespace ccx {

struct ComponentModeRequest {
  Request body;                               // job, output, units, writer options
  std::vector<AttachmentRequest> attachments;
  int normal_modes = 10;                      // with the attachment points held
  std::string solver;                         // the solver's program
  std::string kept_folder;                    // empty: the solver's files go with the run
  bool lumped_mass = false;                   // generalized mass from the nodal masses, not the matrix
};

// What the reduction found, for the summary and for checks.
struct ComponentModes {
  std::vector<AttachmentPoint> points;
  std::vector<Dof> attachment_dofs;
  std::vector<double> fixed_eigenvalues;  // of the normal modes, from the printout
  int size = 0;                           // normal plus constraint modes
  std::vector<double> stiffness;          // Psi^T K Psi, size x size, row-major
  std::vector<double> mass;               // Psi^T M Psi, consistent unless lumped_mass
  int node_count = 0;                     // of the solid elements
  int matrix_size = 0;                    // the solver's free degrees of freedom
  double mass_total = 0.0;                // of the lumped nodal masses
};

// The decks the solver runs, named as their files in the work folder.
struct ComponentModeDecks {
  std::string matrices;    // stiffness and mass of the model with its couplings
  std::string fixed;       // normal modes with the attachment points held
  std::string constraint;  // one static step per attachment degree of freedom
};
// `printed_nodes`: the solid's nodes, whose constraint-mode displacements
// are printed.
ComponentModeDecks component_mode_decks(const Mesh &mesh, const std::string &model,
                                        const std::vector<AttachmentPoint> &points, int normal_modes,
                                        const std::vector<int> &printed_nodes);

// The model read, its body and attachment points, and the decks to run.
struct ComponentModel {
  Mesh mesh;
  Body body;
  ComponentModeDecks decks;
};
ComponentModel prepare_component_model(const ComponentModeRequest &request, ComponentModes &modes);

// Runs the solver on the decks in the folder.
void run_component_solver(const std::string &solver, const WorkFolder &folder, const ComponentModeDecks &decks);

// From the solver's files in the folder: the new database that
// build_component_modes gives.
Database *component_body(const ComponentModeRequest &request, const ComponentModel &model, const WorkFolder &folder,
                         ComponentModes &modes);

// Runs the solver and fills a new database: the solid's nodes with their
// lumped masses and skin, one interface node per attachment point, the
// combined modes (with stresses where the solver wrote them) and their full
// generalized stiffness and mass. The writer makes them orthonormal. The
// caller releases the database with ZEL_UnLink. InputError on a fault.
Database *build_component_modes(const ComponentModeRequest &request, ComponentModes &modes);

}  // namespace ccx

#endif  // ZEL_CCX_CRAIG_BAMPTON_H
