#include "from_ccx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input_error.h"
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

// 0 when the request is complete, else the usage error's exit status.
int parse_arguments(int argc, char **argv, Request &request) {
  for (int i = 0; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "-o" || argument == "--interface" || argument == "--units" || argument == "--options") {
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
  return 0;
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

}  // namespace
}  // namespace ccx

extern "C" int zel_from_ccx(int argc, char **argv) {
  ccx::Request request;
  if (const int usage = ccx::parse_arguments(argc, argv, request)) return usage;
  try {
    ccx::Summary summary;
    Database *db = ccx::build_database(request, summary);
    ccx::print_summary(request, summary);
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
