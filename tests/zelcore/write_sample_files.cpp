// Writes the test-data sample body at the format levels the zelcore tests
// read: sample_<level>.zel in the directory named on the command line
// (made when missing).
#include <cstdio>
#include <filesystem>
#include <string>

#include "zel_file_builder.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_sample_files DIRECTORY\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(argv[1], error);
  // Older levels both libraries read; single precision (50, and 60 with the
  // single flag) and the full library's default level 316.
  for (uint32_t level : {10u, 20u, 31u, 40u, 41u, 50u, 316u, 572u}) {
    const std::string path = std::string(argv[1]) + "/sample_" + std::to_string(level) + ".zel";
    if (!zel_test::write_zel_file(zel_test::sample_body(level), path)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
