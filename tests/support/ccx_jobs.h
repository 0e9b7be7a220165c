// What the translator's tests share: the message of an InputError, and a
// solver job translated in memory.
#ifndef ZEL_TEST_CCX_JOBS_H
#define ZEL_TEST_CCX_JOBS_H

#include <cstdlib>
#include <string>
#include <vector>

#include "capture.h"
#include "input_error.h"
#include "translate.h"
#include "zel.h"

namespace zel_test {

// The message of the InputError that `body` throws, or "" when none.
template <class Body>
std::string input_error_of(Body &&body) {
  try {
    body();
  } catch (const ccx::InputError &error) {
    return error.what();
  }
  return "";
}

inline bool solver_present() { return std::system("command -v ccx > /dev/null 2>&1") == 0; }

// A job translated in memory, its messages captured; released at the end.
struct Translated {
  explicit Translated(const std::string &job, const std::vector<std::string> &interface_sets = {}) {
    ccx::Request request;
    request.job = job;
    request.interface_sets = interface_sets;
    capture([&] { db = ccx::build_database(request, summary); });
  }
  ~Translated() { ZEL_UnLink(db); }
  Translated(const Translated &) = delete;
  Translated &operator=(const Translated &) = delete;

  Database *db = nullptr;
  ccx::Summary summary;
};

}  // namespace zel_test

#endif  // ZEL_TEST_CCX_JOBS_H
