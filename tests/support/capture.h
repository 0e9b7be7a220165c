// Captures what the library prints on standard output and standard error.
#ifndef ZEL_TEST_CAPTURE_H
#define ZEL_TEST_CAPTURE_H

#include <string>

namespace zel_test {

struct Printed {
  std::string out;
  std::string err;
};

// Runs `body` with stdout and stderr redirected to files and gives what was
// printed on each.
template <class Body>
Printed capture(Body &&body);

// The whole content of a file; empty when it cannot be read.
std::string read_text_file(const std::string &path);

class Capture {
 public:
  Capture();
  ~Capture();
  Printed finish();

 private:
  int saved_out_ = -1;
  int saved_err_ = -1;
  std::string out_path_;
  std::string err_path_;
  bool finished_ = false;
};

template <class Body>
Printed capture(Body &&body) {
  Capture capture;
  body();
  return capture.finish();
}

}  // namespace zel_test

#endif  // ZEL_TEST_CAPTURE_H
