// Stamps for a program's output (local date and time with the offset from
// Greenwich, the operating system, processor time) and the small text and
// precision helpers the file code shares with callers.
#include <sys/utsname.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "io/xdr_codec.h"
#include "zel.h"

namespace {

// The caller's buffer holds at least this many characters.
constexpr std::size_t kStampBuffer = 64;

// Formats into the caller's stamp buffer; a longer text is cut to fit.
__attribute__((format(printf, 2, 3))) void write_stamp(char *out, const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(out, kStampBuffer, format, args);
  va_end(args);
}

struct Clock {
  std::tm greenwich{};  // as normalized by mktime
  std::tm local{};
  int offset_hours = 0;
  int offset_minutes = 0;
};

// The offset is measured, not taken from the time-zone database: Greenwich
// time read back as if it were local time lies exactly one offset before
// the true instant.
Clock read_clock() {
  Clock clock;
  const std::time_t first = std::time(nullptr);
  gmtime_r(&first, &clock.greenwich);
  clock.greenwich.tm_isdst = -1;
  const std::time_t greenwich_as_local = std::mktime(&clock.greenwich);

  const std::time_t second = std::time(nullptr);
  localtime_r(&second, &clock.local);
  std::tm local_copy = clock.local;
  const std::time_t local = std::mktime(&local_copy);

  const int offset = static_cast<int>(std::difftime(local, greenwich_as_local));
  clock.offset_hours = offset / 3600;
  clock.offset_minutes = std::abs((offset - clock.offset_hours * 3600) / 60);
  return clock;
}

void print_trace(const Clock &clock) {
  const std::tm &g = clock.greenwich;
  const std::tm &l = clock.local;
  std::printf("%%utl_23-v-val, GMT = %4d-%02d-%02d %02d:%02d, tz_value(%d)\n", g.tm_year + 1900, g.tm_mon + 1,
              g.tm_mday, g.tm_hour, g.tm_min, g.tm_isdst);
  std::printf("%%utl_23-v-val, Loc = %4d-%02d-%02d %02d:%02d", l.tm_year + 1900, l.tm_mon + 1, l.tm_mday, l.tm_hour,
              l.tm_min);
  std::printf(" %+03d%02d\n", clock.offset_hours, clock.offset_minutes);
  std::fflush(stdout);
}

// "6.1.0-18-amd64" -> 6 * 256 + 1, the combined number old callers expect.
int combined_release_number(const char *release) {
  char *rest = nullptr;
  const long major = std::strtol(release, &rest, 10);
  const long minor = (*rest == '.') ? std::strtol(rest + 1, nullptr, 10) : 0;
  return static_cast<int>(major * 256 + minor);
}

}  // namespace

extern "C" {

ZEL_API int ZEL_localtime_ISO8601(int mode, char *out) {
  const bool trace = mode < 0;
  const long chosen = trace ? -static_cast<long>(mode) : mode;
  const Clock clock = read_clock();
  if (trace) print_trace(clock);
  if (out == nullptr) return 0;

  char date[kStampBuffer];
  char time[kStampBuffer];
  write_stamp(date, "%4d-%02d-%02d", clock.local.tm_year + 1900, clock.local.tm_mon + 1,
                clock.local.tm_mday);
  write_stamp(time, "%02d:%02d %+03d%02d", clock.local.tm_hour, clock.local.tm_min,
                clock.offset_hours, clock.offset_minutes);
  if (chosen == 1)
    write_stamp(out, "%s", date);
  else if (chosen == 2)
    write_stamp(out, "%s", time);
  else
    write_stamp(out, "%s %s", date, time);
  return 0;
}

ZEL_API int ZEL_uname(int mode, char *out) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  struct utsname system;
  if (uname(&system) != 0) return 0;
  const char *name = system.sysname;
  const char *release = system.release;
  const std::string version = std::to_string(combined_release_number(release));
  switch (mode) {
    case 2: write_stamp(out, "%s %s", name, release); break;
    case 3: write_stamp(out, "%s %s %s", name, release, version.c_str()); break;
    case 12: write_stamp(out, "%s_%s", name, release); break;
    case 13: write_stamp(out, "%s_%s_%s", name, release, version.c_str()); break;
    default: write_stamp(out, "%s", name); break;
  }
  return 0;
}

ZEL_API double ZEL_cputime(void) {
  const std::clock_t used = std::clock();
  if (used == static_cast<std::clock_t>(-1)) return -1.0;
  return static_cast<double>(used) / CLOCKS_PER_SEC;
}

ZEL_API void terminate_string(char *text, int length) {
  if (text == nullptr) return;
  for (int i = length - 1; i >= 0 && text[i] == ' '; --i) text[i] = '\0';
}

ZEL_API double *float2double(double *dst, float *src, int n) {
  if (dst == nullptr || src == nullptr || n <= 0) return dst;
  zel::xdr_codec::widen_native_floats(reinterpret_cast<const unsigned char *>(src), dst,
                                      static_cast<std::size_t>(n));
  return dst;
}

ZEL_API float *double2float(float *dst, double *src, int n) {
  if (dst == nullptr || src == nullptr || n <= 0) return dst;
  zel::xdr_codec::narrow_to_native_floats(src, reinterpret_cast<unsigned char *>(dst), static_cast<std::size_t>(n));
  return dst;
}

}  // extern "C"
