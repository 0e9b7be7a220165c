// Runs a program as a user runs it, from the shell, with what it printed.
#ifndef ZEL_TEST_PROGRAM_RUN_H
#define ZEL_TEST_PROGRAM_RUN_H

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "capture.h"
#include "scratch_dir.h"

namespace zel_test {

struct ProgramRun {
  int status = -1;  // the exit status; -1 when the program did not exit
  std::string out;
  std::string err;
};

// `program arguments` with its standard output into a file of `dir`, or
// into `device` (not read back) when one is named; standard error into
// another file of `dir`.
inline ProgramRun run_program(const std::string &program, const std::string &arguments, const ScratchDir &dir,
                              const std::string &device = {}) {
  const std::string out = device.empty() ? dir.file("out") : device, err = dir.file("err");
  const std::string command = "'" + program + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, device.empty() ? read_text_file(out) : "",
          read_text_file(err)};
}

}  // namespace zel_test

#endif  // ZEL_TEST_PROGRAM_RUN_H
