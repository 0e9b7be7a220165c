#include "from_ccx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "craig_bampton.h"
#include "input_error.h"
#include "solver_run.h"
#include "translate.h"

namespace ccx {
namespace {

constexpr int kWritten = 0;
constexpr int kFailed = 2;

int usage_error(const std::string &what) {
  std::fprintf(stderr, "zel from-ccx: %s\nTry 'zel from-ccx --help'.\n", what.c_str());
  return kFailed;
}

bool parse_units(const std::string &text, std::array<std::string, 4> &units) {
  const std::vector<std::string_view> fields = split_fields(text);
  if (fields.size() != 4) return false;
  for (size_t k = 0; k < 4; ++k) {
    if (fields[k].empty()) return false;
    units[k] = std::string(fields[k]);
  }
  return true;
}

// What only a body of component modes takes.
struct ComponentOptions {
  bool wanted = false;
  std::vector<AttachmentRequest> attachments;
  int normal_modes = 10;
  bool keep = false;
  bool lumped_mass = false;
};

constexpr int kMostNormalModes = 10000;

// NSET, NSET:rigid or NSET:distributing.
bool parse_attachment(const std::string &text, AttachmentRequest &attachment) {
  const size_t colon = text.rfind(':');
  attachment.set = text.substr(0, colon);
  attachment.coupling = Coupling::Rigid;
  if (attachment.set.empty()) return false;
  if (colon == std::string::npos) return true;
  const std::string kind = upper(text.substr(colon + 1));
  if (kind == "DISTRIBUTING")
    attachment.coupling = Coupling::Distributing;
  else if (kind != "RIGID")
    return false;
  return true;
}

int check_component_options(const Request &request, const ComponentOptions &component) {
  if (!component.wanted) {
    if (!component.attachments.empty()) return usage_error("option '--attach' needs '--craig-bampton'");
    if (component.keep) return usage_error("option '--keep' needs '--craig-bampton'");
    if (component.lumped_mass) return usage_error("option '--lumped-mass' needs '--craig-bampton'");
    return 0;
  }
  if (component.attachments.empty()) return usage_error("'--craig-bampton' needs at least one '--attach NSET'");
  if (!request.interface_sets.empty())
    return usage_error("'--interface' does not go with '--craig-bampton': the attachment points are the interface nodes");
  return 0;
}

// 0 when the request is complete, else the usage error's exit status.
int parse_arguments(int argc, char **argv, Request &request, ComponentOptions &component) {
  for (int i = 0; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "--craig-bampton") {
      component.wanted = true;
    } else if (argument == "--keep") {
      component.keep = true;
    } else if (argument == "--lumped-mass") {
      component.lumped_mass = true;
    } else if (argument == "--attach" || argument == "--modes") {
      if (!has_value) return usage_error("option '" + argument + "' needs a value");
      const std::string value = argv[++i];
      if (argument == "--modes") {
        if (!parse_int(value, component.normal_modes) || component.normal_modes < 1 ||
            component.normal_modes > kMostNormalModes)
          return usage_error(quoted(value) + " is not a number of modes from 1 to " + std::to_string(kMostNormalModes));
      } else {
        AttachmentRequest attachment;
        if (!parse_attachment(value, attachment))
          return usage_error(quoted(value) + " is not NSET, NSET:rigid or NSET:distributing");
        component.attachments.push_back(attachment);
      }
    } else if (argument == "-o" || argument == "--interface" || argument == "--units" || argument == "--options") {
      if (!has_value) return usage_error("option '" + argument + "' needs a value");
      const std::string value = argv[++i];
      if (argument == "-o")
        request.output = value;
      else if (argument == "--interface")
        request.interface_sets.push_back(value);
      else if (argument == "--units") {
        if (!parse_units(value, request.units))
          return usage_error(quoted(value) + " is not four units MASS,LENGTH,TIME,FORCE");
      } else
        request.write_options = value;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return usage_error("unknown option '" + argument + "'");
    } else if (request.job.empty()) {
      request.job = argument;
    } else {
      return usage_error("more than one JOB ('" + request.job + "' and '" + argument + "')");
    }
  }
  if (request.job.empty()) return usage_error("missing JOB");
  // JOB.inp names the job as well as JOB does.
  if (request.job.size() > 4 && request.job.compare(request.job.size() - 4, 4, ".inp") == 0)
    request.job.resize(request.job.size() - 4);
  if (request.output.empty()) request.output = request.job + ".zel";
  return check_component_options(request, component);
}

void print_summary(const Request &request, const Summary &summary) {
  ZEL_Info("Read %s.inp: %d nodes, %d elements, %d skin faces, %d interface nodes", request.job.c_str(),
           summary.node_count, summary.element_count, summary.face_count, summary.interface_count);
  ZEL_Info("Mass %.9e (volume %.9e), lumped: row sums for linear, HRZ for quadratic elements", summary.mass,
           summary.volume);
  ZEL_Info("Read %s.frd and %s.dat: %d modes", request.job.c_str(), request.job.c_str(), summary.mode_count);
  ZEL_Info("Largest deviation from mass-orthonormal modes with the lumped masses: %.3e (modes %d and %d), "
           "corrected by the writer",
           summary.largest_deviation, summary.deviation_row, summary.deviation_column);
}

void print_component_summary(const ComponentModeRequest &request, const ComponentModes &modes) {
  ZEL_Info("Read %s.inp: %d nodes, mass %.9e (lumped nodal masses)", request.body.job.c_str(), modes.node_count,
           modes.mass_total);
  for (const AttachmentPoint &point : modes.points) {
    const char *kind = point.coupling == Coupling::Rigid          ? "rigid coupling"
                       : point.coupling == Coupling::Distributing ? "distributing coupling"
                                                                  : "the node itself";
    ZEL_Info("Attachment point %s: node %d, %d degrees of freedom, %d nodes by %s", point.set.c_str(),
             point.reference, static_cast<int>(point.dofs().size()), static_cast<int>(point.nodes.size()), kind);
  }
  ZEL_Info("Solver: %d normal modes with the attachment points held, %d constraint modes, matrices of %d degrees "
           "of freedom",
           static_cast<int>(modes.fixed_eigenvalues.size()), static_cast<int>(modes.attachment_dofs.size()),
           modes.matrix_size);
  if (!request.kept_folder.empty()) ZEL_Info("Solver files kept in %s", request.kept_folder.c_str());
  ZEL_Info("Generalized stiffness and mass of %d modes from the %s, orthonormalized by the writer", modes.size,
           request.lumped_mass ? "stiffness matrix and the nodal masses" : "consistent matrices");
}

// The body to write, by the request: the solver's modes as they are, or
// component modes from solver runs made here.
Database *build_requested(const Request &request, const ComponentOptions &component) {
  if (!component.wanted) {
    Summary summary;
    Database *db = build_database(request, summary);
    print_summary(request, summary);
    return db;
  }
  ComponentModeRequest component_request;
  component_request.body = request;
  component_request.attachments = component.attachments;
  component_request.normal_modes = component.normal_modes;
  component_request.lumped_mass = component.lumped_mass;
  component_request.solver = find_on_path("ccx", std::getenv("PATH"));
  if (component_request.solver.empty())
    throw InputError("the solver 'ccx' is not on PATH (Debian package calculix-ccx)");
  if (component.keep) component_request.kept_folder = request.job + ".runs";
  ComponentModes modes;
  Database *db = build_component_modes(component_request, modes);
  print_component_summary(component_request, modes);
  return db;
}

}  // namespace
}  // namespace ccx

extern "C" int zel_from_ccx(int argc, char **argv) {
  ccx::Request request;
  ccx::ComponentOptions component;
  if (const int usage = ccx::parse_arguments(argc, argv, request, component)) return usage;
  try {
    Database *db = ccx::build_requested(request, component);
    const int written = ccx::write_body(db, request);
    ZEL_UnLink(db);
    if (!written) {
      std::fprintf(stderr, "zel from-ccx: %s was not written\n", request.output.c_str());
      return ccx::kFailed;
    }
    ZEL_Info("Wrote %s", request.output.c_str());
    return ccx::kWritten;
  } catch (const ccx::InputError &error) {
    std::fprintf(stderr, "zel from-ccx: %s\n", error.what());
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "zel from-ccx: out of memory\n");
  } catch (const std::exception &error) {
    std::fprintf(stderr, "zel from-ccx: %s\n", error.what());
  }
  return ccx::kFailed;
}
