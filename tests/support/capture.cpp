#include "capture.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace zel_test {
namespace {

std::string make_temp_path() {
  char path[] = "/tmp/zel_capture_XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  return path;
}

int redirect(std::FILE *stream, int fd, const std::string &path) {
  std::fflush(stream);
  const int saved = dup(fd);
  const int target = open(path.c_str(), O_WRONLY | O_TRUNC);
  dup2(target, fd);
  close(target);
  return saved;
}

void restore(std::FILE *stream, int fd, int saved) {
  std::fflush(stream);
  dup2(saved, fd);
  close(saved);
}

std::string slurp_and_remove(const std::string &path) {
  std::string text = read_text_file(path);
  std::remove(path.c_str());
  return text;
}

}  // namespace

std::string read_text_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Capture::Capture() : out_path_(make_temp_path()), err_path_(make_temp_path()) {
  saved_out_ = redirect(stdout, STDOUT_FILENO, out_path_);
  saved_err_ = redirect(stderr, STDERR_FILENO, err_path_);
}

Printed Capture::finish() {
  if (finished_) return {};
  finished_ = true;
  restore(stdout, STDOUT_FILENO, saved_out_);
  restore(stderr, STDERR_FILENO, saved_err_);
  return Printed{slurp_and_remove(out_path_), slurp_and_remove(err_path_)};
}

Capture::~Capture() { finish(); }

}  // namespace zel_test
