// Internal side of the three reporters: the memory-failure message and the
// guard that keeps every exception inside the library.
#ifndef ZEL_MESSAGES_H
#define ZEL_MESSAGES_H

#include <new>
#include <string>
#include <type_traits>

#include "zel.h"

namespace zel {

// Prints "Failed to allocate memory at line <line> in file <module>." as an
// error. `what` names the data for the few sites that do ("Pre-Stress").
void report_memory_failure(int line, const char *module, const char *what = nullptr) noexcept;

// An exception other than bad_alloc reaching the C boundary is a library
// fault; it is reported, never propagated.
void report_internal_failure(const char *module, const char *what) noexcept;

// Runs body and turns any exception into its message and `failure`.
// Every exported operation runs inside one of these, so no exception
// crosses the C boundary.
template <class Result, class Body>
Result guarded(Result failure, int line, const char *module, Body &&body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    report_memory_failure(line, module);
  } catch (const std::exception &e) {
    report_internal_failure(module, e.what());
  } catch (...) {
    report_internal_failure(module, "unknown exception");
  }
  return failure;
}

template <class Body>
void guarded_void(int line, const char *module, Body &&body) noexcept {
  guarded(0, line, module, [&]() {
    body();
    return 0;
  });
}

}  // namespace zel

// Each module defines `constexpr char kModule[] = "<module>";` before use.
// The reported line is the line of the guarded operation.
#define ZEL_GUARDED(failure, ...) ::zel::guarded((failure), __LINE__, kModule, [&]() __VA_ARGS__)
#define ZEL_GUARDED_VOID(...) ::zel::guarded_void(__LINE__, kModule, [&]() __VA_ARGS__)

#endif  // ZEL_MESSAGES_H
