// Any bytes, cut into a solver job's files at lines holding only "@@@": the
// deck JOB.inp, the file part.inp that it may include, the result file
// JOB.frd and the printout JOB.dat. Each reader, then the whole translation
// into a database, must end in a result or an InputError: never a crash, a
// hang or an allocation beyond the fuzzer's memory limit.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "body.h"
#include "dat_reader.h"
#include "frd_reader.h"
#include "inp_reader.h"
#include "input_error.h"
#include "translate.h"
#include "zel.h"

namespace {

constexpr std::string_view kSeparator = "\n@@@\n";
const char *const kFileNames[] = {"job.inp", "part.inp", "job.frd", "job.dat"};

// One folder for the whole run, removed when the fuzzer exits.
const std::filesystem::path &job_folder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "ccx_fuzz_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(job_folder()); });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

std::vector<std::string_view> cut_into_files(std::string_view input) {
  std::vector<std::string_view> files;
  while (files.size() + 1 < std::size(kFileNames)) {
    const size_t cut = input.find(kSeparator);
    if (cut == std::string_view::npos) break;
    files.push_back(input.substr(0, cut));
    input.remove_prefix(cut + kSeparator.size());
  }
  files.push_back(input);
  return files;
}

// Writes the files the input holds and removes those of the last input it
// does not hold, so that a missing file is missing.
void write_job(const std::vector<std::string_view> &files) {
  for (size_t k = 0; k < std::size(kFileNames); ++k) {
    const std::string path = (job_folder() / kFileNames[k]).string();
    if (k >= files.size()) {
      unlink(path.c_str());
      continue;
    }
    std::FILE *stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr) std::abort();
    std::fwrite(files[k].data(), 1, files[k].size(), stream);
    std::fclose(stream);
  }
}

template <class Read>
bool reads(Read &&read) {
  try {
    read();
    return true;
  } catch (const ccx::InputError &) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  const std::vector<std::string_view> files =
      cut_into_files(std::string_view(reinterpret_cast<const char *>(data), size));
  write_job(files);
  const std::string job = (job_folder() / "job").string();

  bool has_fixed_set = false;
  const bool deck_read = reads([&] {
    const ccx::Mesh mesh = ccx::read_inp(job + ".inp");
    has_fixed_set = mesh.node_sets.count("FIXED") != 0;
    ccx::build_body(mesh);
  });
  const bool results_read = files.size() > 2 && reads([&] { ccx::parse_frd(files[2], "job.frd"); });
  const bool printout_read = files.size() > 3 && reads([&] { ccx::parse_dat(files[3], "job.dat"); });
  if (!deck_read || !results_read || !printout_read) return 0;

  ccx::Request request;
  request.job = job;
  if (has_fixed_set) request.interface_sets = {"FIXED"};
  reads([&] {
    ccx::Summary summary;
    ZEL_UnLink(ccx::build_database(request, summary));
  });
  return 0;
}
