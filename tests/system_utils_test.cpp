// Date, system and processor-time stamps; blank trimming; precision
// conversion in place.
#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "capture.h"
#include "zel.h"

namespace {

using zel_test::capture;

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
 public:
  explicit TimeZone(const char *zone) {
    if (const char *old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

// The stamp as the C library itself would give it, using its own idea of
// the offset (tm_gmtoff) rather than the library's measurement.
std::string expected_stamp(int mode) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[32];
  char clock[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  std::strftime(clock, sizeof clock, "%H:%M", &local);
  const long offset = local.tm_gmtoff;
  char zone[32];
  std::snprintf(zone, sizeof zone, "%c%02ld%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 3600,
                std::labs(offset) % 3600 / 60);
  if (mode == 1) return date;
  if (mode == 2) return std::string(clock) + " " + zone;
  return std::string(date) + " " + clock + " " + zone;
}

std::string stamp(int mode) {
  char out[64];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(ZEL_localtime_ISO8601(mode, out), 0);
  return out;
}

// A minute may turn between the two readings: try again once it has.
void expect_stamp(int mode, const char *zone) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string before = expected_stamp(mode);
    const std::string text = stamp(mode);
    if (text == before && text == expected_stamp(mode)) return;
    if (attempt == 2) {
      EXPECT_EQ(text, before) << "mode " << mode << " in " << zone;
    }
  }
}

TEST(LocalTime, MatchesTheCLibraryInZonesEastAndWest) {
  for (const char *zone : {"UTC0", "EST5", "IST-5:30", "NST3:30", "CET-1CEST,M3.5.0,M10.5.0/3", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
    TimeZone tz(zone);
    for (int mode : {1, 2, 11, 0, 99}) expect_stamp(mode, zone);
  }
}

TEST(LocalTime, FieldWidthsAndTheOffsetSign) {
  {
    TimeZone tz("EST5");
    const std::string date = stamp(1);
    const std::string time = stamp(2);
    EXPECT_EQ(date.size(), 10u);
    EXPECT_EQ(time.size(), 11u);
    EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-\d\d-\d\d)"))) << date;
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(\d\d:\d\d -0500)"))) << time;
  }
  {
    TimeZone tz("NST3:30");  // minutes of a negative offset are printed positive
    EXPECT_EQ(stamp(2).substr(5), " -0330");
  }
  {
    TimeZone tz("UTC0");
    EXPECT_EQ(stamp(2).substr(5), " +0000");
  }
}

TEST(LocalTime, NegativeModeTracesAndGivesTheSameText) {
  TimeZone tz("EST5");
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string plain = stamp(11);
    std::string traced;
    const auto printed = capture([&] { traced = stamp(-11); });
    if (plain != traced) continue;  // a minute turned over
    const std::regex trace(
        R"(%utl_23-v-val, GMT = (\d{4}-\d\d-\d\d) (\d\d):(\d\d), tz_value\(0\)\n)"
        R"(%utl_23-v-val, Loc = (\d{4}-\d\d-\d\d \d\d:\d\d) -0500\n)");
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(printed.out, fields, trace)) << printed.out;
    EXPECT_EQ(printed.err, "");
    EXPECT_EQ(fields[4].str() + " -0500", traced);
    const int greenwich_hour = std::stoi(fields[2].str());
    const int local_hour = std::stoi(traced.substr(11, 2));
    EXPECT_EQ(greenwich_hour, (local_hour + 5) % 24);
    EXPECT_EQ(stamp(-1), stamp(1));
    return;
  }
  FAIL() << "the minute kept turning over";
}

TEST(SystemName, ModesJoinNameReleaseAndVersion) {
  struct utsname system;
  ASSERT_EQ(uname(&system), 0);
  const std::string name = system.sysname;
  const std::string release = system.release;
  int major = 0;
  int minor = 0;
  ASSERT_EQ(std::sscanf(system.release, "%d.%d", &major, &minor), 2);
  const std::string version = std::to_string(major * 256 + minor);

  auto text = [](int mode) {
    char out[64];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(ZEL_uname(mode, out), 0);
    return std::string(out);
  };
  for (int mode : {1, 11, 7, 0, -2}) EXPECT_EQ(text(mode), name) << mode;
  EXPECT_EQ(text(2), (name + " " + release).substr(0, 63));
  EXPECT_EQ(text(3), (name + " " + release + " " + version).substr(0, 63));
  EXPECT_EQ(text(12), (name + "_" + release).substr(0, 63));
  EXPECT_EQ(text(13), (name + "_" + release + "_" + version).substr(0, 63));
  EXPECT_EQ(ZEL_uname(2, nullptr), 0);
}

TEST(ProcessorTime, CountsSecondsOfThisProcess) {
  const double start = ZEL_cputime();
  const std::clock_t begin = std::clock();
  volatile double sink = 0.0;
  while (std::clock() - begin < CLOCKS_PER_SEC / 20)
    for (int i = 0; i < 10000; ++i) sink = sink + i * 1e-9;
  const double used = ZEL_cputime() - start;
  // At least the 50 ms burnt, and not a thousand times more.
  EXPECT_GE(used, 0.045);
  EXPECT_LT(used, 5.0);
  EXPECT_NEAR(ZEL_cputime(), static_cast<double>(std::clock()) / CLOCKS_PER_SEC, 0.05);
}

// --- terminate_string ------------------------------------------------------

std::string field_after_trim(std::string field, int length) {
  terminate_string(field.data(), length);
  return field;
}

TEST(TerminateString, TurnsTrailingBlanksIntoTerminators) {
  EXPECT_EQ(field_after_trim("WORD      ", 10), std::string("WORD\0\0\0\0\0\0", 10));
  EXPECT_EQ(field_after_trim("          ", 10), std::string(10, '\0'));
  EXPECT_EQ(field_after_trim("AB CD  ", 7), std::string("AB CD\0\0", 7));
  // Stops at the first non-blank from the end, a NUL included.
  EXPECT_EQ(field_after_trim(std::string("AB \0  ", 6), 6), std::string("AB \0\0\0", 6));
  // Only the first `length` characters are looked at.
  EXPECT_EQ(field_after_trim("AB    ", 3), std::string("AB\0   ", 6));
  EXPECT_EQ(field_after_trim("AB  ", 0), "AB  ");
  EXPECT_EQ(field_after_trim("AB  ", -4), "AB  ");
  terminate_string(nullptr, 5);
}

// --- float2double / double2float -----------------------------------------------

TEST(PrecisionConversion, WidensAndNarrowsInPlace) {
  const std::vector<float> floats = {1.5f, -0.0f, std::numeric_limits<float>::denorm_min(),
                                     std::numeric_limits<float>::infinity(), 3.0e38f, -7.25f, 0.1f};
  const int n = static_cast<int>(floats.size());
  std::vector<double> memory(floats.size(), 99.0);
  std::memcpy(memory.data(), floats.data(), floats.size() * sizeof(float));
  float *as_floats = reinterpret_cast<float *>(memory.data());

  EXPECT_EQ(float2double(memory.data(), as_floats, n), memory.data());
  for (int i = 0; i < n; ++i)
    EXPECT_EQ(std::bit_cast<uint64_t>(memory[i]), std::bit_cast<uint64_t>(static_cast<double>(floats[i]))) << i;

  memory[6] = 0.1;  // narrowing rounds to the nearest float
  EXPECT_EQ(double2float(as_floats, memory.data(), n), as_floats);
  std::vector<float> back(floats.size());
  std::memcpy(back.data(), memory.data(), back.size() * sizeof(float));
  for (int i = 0; i < n; ++i)
    EXPECT_EQ(std::bit_cast<uint32_t>(back[i]), std::bit_cast<uint32_t>(floats[i])) << i;
}

TEST(PrecisionConversion, NothingToConvertLeavesTheDestination) {
  double target[2] = {4.0, 5.0};
  float source[2] = {1.0f, 2.0f};
  EXPECT_EQ(float2double(target, source, 0), target);
  EXPECT_EQ(target[0], 4.0);
  EXPECT_EQ(double2float(source, target, -1), source);
  EXPECT_EQ(source[0], 1.0f);
  float2double(target, source, 1);
  EXPECT_EQ(target[0], 1.0);
  EXPECT_EQ(target[1], 5.0);
}

}  // namespace
