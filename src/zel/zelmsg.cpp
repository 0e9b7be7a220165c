// The three reporters, the memory-failure message and the progress monitor.
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/messages.h"
#include "zel.h"

namespace {

constexpr std::size_t kMessageBuffer = 1000;

// The handler and its context change as one, so that a message from
// another thread never pairs a new handler with an old context.
struct MessageRoute {
  ZEL_MessageHandler handler;
  void *context;
};
std::mutex route_guard;
MessageRoute route{nullptr, nullptr};

MessageRoute current_route() {
  std::lock_guard<std::mutex> lock(route_guard);
  return route;
}

// Prints `text` line by line, each line with `prefix`, or hands each line
// to the installed handler; the piece after the last line feed is a line
// too, so a text ending in one ends with a line holding the prefix alone.
// The text is cut in place, which is why it is not const.
void print_lines(int kind, std::FILE *stream, const char *prefix, char *text, std::size_t length) {
  const MessageRoute current = current_route();
  char *piece = text;
  char *end = text + length;
  for (;;) {
    char *feed = piece;
    while (feed < end && *feed != '\n') ++feed;
    const bool last = feed == end;
    if (current.handler != nullptr) {
      *feed = '\0';
      current.handler(kind, piece, current.context);
    } else {
      std::fputs(prefix, stream);
      std::fwrite(piece, 1, static_cast<std::size_t>(feed - piece), stream);
      std::fputc('\n', stream);
    }
    if (last) break;
    piece = feed + 1;
  }
}

// Formats into the 1000-byte buffer; a longer message is formatted again
// into a buffer of its own size, and printed cut to the first buffer only
// if that memory cannot be had.
void report(int kind, std::FILE *stream, const char *prefix, const char *format, va_list args) {
  char buffer[kMessageBuffer];
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  std::size_t length = static_cast<std::size_t>(needed);
  if (length < sizeof buffer) {
    print_lines(kind, stream, prefix, buffer, length);
  } else if (std::unique_ptr<char[]> whole{new (std::nothrow) char[length + 1]}) {
    std::vsnprintf(whole.get(), length + 1, format, again);
    print_lines(kind, stream, prefix, whole.get(), length);
  } else {
    print_lines(kind, stream, prefix, buffer, sizeof buffer - 1);
  }
  va_end(again);
}

struct ProgressState {
  int total = 0;
  int done = 0;
  double start = 0.0;
  double last = 0.0;
  double estimate = 0.0;  // 0.0: no estimate yet
};
ProgressState monitor;

// Seconds since the epoch at millisecond resolution.
double wall_clock() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<double>(ms / 1000) + static_cast<double>(ms % 1000) * 0.001;
}

struct ProgressStep {
  double left;
  double total_estimate;
  double percent;
};

// Counts one step. The estimate is the running mean of "time of the last
// step x steps remaining + time elapsed", which damps single slow steps.
ProgressStep TimeMonitorStep() {
  monitor.done += 1;
  const double fraction = static_cast<double>(monitor.done) / static_cast<double>(monitor.total);
  const double now = wall_clock();
  // Wide enough for any announced count, negative ones included.
  const int64_t remaining = int64_t{monitor.total} - monitor.done;
  const double elapsed = now - monitor.start;
  const double step = now - monitor.last;
  const double candidate = step * static_cast<double>(remaining) + elapsed;
  monitor.estimate = monitor.estimate == 0.0 ? candidate : (monitor.estimate + candidate) * 0.5;
  monitor.last = now;
  return ProgressStep{monitor.estimate - elapsed, monitor.estimate, fraction * 100.0};
}

// Progress figures become ints by truncation; a figure outside int's range
// (or not a number, after a monitor started with no steps) is clamped.
int truncate_to_int(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(value);
}

}  // namespace

namespace zel {

void report_memory_failure(int line, const char *module, const char *what) noexcept {
  if (what != nullptr)
    ZEL_Error("Failed to allocate memory for %s at line %d in file %s.\n", what, line, module);
  else
    ZEL_Error("Failed to allocate memory at line %d in file %s.\n", line, module);
}

void report_internal_failure(const char *module, const char *what) noexcept {
  ZEL_Error("Internal failure in %s: %s.", module, what);
}

}  // namespace zel

extern "C" {

ZEL_API int ZEL_Error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  report(ZEL_MESSAGE_ERROR, stderr, "ERROR:  ", format, args);
  va_end(args);
  return 0;
}

ZEL_API int ZEL_Warning(const char *format, ...) {
  va_list args;
  va_start(args, format);
  report(ZEL_MESSAGE_WARNING, stderr, "WARNING:  ", format, args);
  va_end(args);
  return 0;
}

ZEL_API int ZEL_Info(const char *format, ...) {
  va_list args;
  va_start(args, format);
  report(ZEL_MESSAGE_INFO, stdout, "", format, args);
  va_end(args);
  return 0;
}

ZEL_API void ZEL_TimeMonitor(int total) {
  const double now = wall_clock();
  monitor = ProgressState{total, 0, now, now, 0.0};
}

ZEL_API void ZEL_TimeMonitorStamp(void) {
  const ProgressStep step = TimeMonitorStep();
  const MessageRoute current = current_route();
  if (current.handler == nullptr) {
    std::printf("\r%3d%%, %4d seconds left of %4d estimated total         ", truncate_to_int(step.percent),
                truncate_to_int(step.left), truncate_to_int(step.total_estimate));
    std::fflush(stdout);
    return;
  }
  char line[96];
  std::snprintf(line, sizeof line, "%3d%%, %4d seconds left of %4d estimated total", truncate_to_int(step.percent),
                truncate_to_int(step.left), truncate_to_int(step.total_estimate));
  current.handler(ZEL_MESSAGE_PROGRESS, line, current.context);
}

ZEL_API void ZEL_SetMessageHandler(ZEL_MessageHandler handler, void *context) {
  std::lock_guard<std::mutex> lock(route_guard);
  route = MessageRoute{handler, context};
}

ZEL_API const char *zelmsg_VersionId(void) { return "zelmsg 1.0"; }

}  // extern "C"
