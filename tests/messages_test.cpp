// The reporters' line shapes and streams, and the progress line.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "capture.h"
#include "platform/messages.h"
#include "zel.h"

using zel_test::capture;

TEST(Reporters, ErrorSplitsLinesAndPrefixesEachOnStandardError) {
  const auto printed = capture([] { ZEL_Error("first %d\nsecond %s", 1, "two"); });
  EXPECT_EQ(printed.err, "ERROR:  first 1\nERROR:  second two\n");
  EXPECT_EQ(printed.out, "");
}

TEST(Reporters, TrailingLineFeedGivesALineOfThePrefixAlone) {
  EXPECT_EQ(capture([] { ZEL_Error("done\n"); }).err, "ERROR:  done\nERROR:  \n");
  EXPECT_EQ(capture([] { ZEL_Warning("done\n"); }).err, "WARNING:  done\nWARNING:  \n");
  EXPECT_EQ(capture([] { ZEL_Info("done\n"); }).out, "done\n\n");
}

TEST(Reporters, WarningWithOneLineFeedPrintsTwoPrefixedLines) {
  const auto printed = capture([] { ZEL_Warning("Title too big.\nTruncating title."); });
  EXPECT_EQ(printed.err, "WARNING:  Title too big.\nWARNING:  Truncating title.\n");
  EXPECT_EQ(printed.out, "");
}

TEST(Reporters, InfoHasNoPrefixAndGoesToStandardOutput) {
  const auto printed = capture([] { ZEL_Info("Title: %s", "Plate"); });
  EXPECT_EQ(printed.out, "Title: Plate\n");
  EXPECT_EQ(printed.err, "");
}

TEST(Reporters, EmptyMessageStillPrintsOneLine) {
  EXPECT_EQ(capture([] { ZEL_Warning(""); }).err, "WARNING:  \n");
}

TEST(Reporters, MessagesLongerThanTheBufferArePrintedWhole) {
  const std::string long_text(5000, 'x');
  const auto printed = capture([&] { ZEL_Error("%s\n%s", long_text.c_str(), "tail"); });
  EXPECT_EQ(printed.err, "ERROR:  " + long_text + "\nERROR:  tail\n");
}

TEST(Reporters, MessageOfExactlyTheBufferBoundaryIsWhole) {
  for (std::size_t length : {998u, 999u, 1000u, 1001u}) {
    const std::string text(length, 'y');
    EXPECT_EQ(capture([&] { ZEL_Info("%s", text.c_str()); }).out, text + "\n") << length;
  }
}

TEST(Reporters, MemoryFailureNamesLineAndModule) {
  EXPECT_EQ(capture([] { zel::report_memory_failure(42, "zelset"); }).err,
            "ERROR:  Failed to allocate memory at line 42 in file zelset.\nERROR:  \n");
  EXPECT_EQ(capture([] { zel::report_memory_failure(7, "zelset", "Pre-Stress"); }).err,
            "ERROR:  Failed to allocate memory for Pre-Stress at line 7 in file zelset.\nERROR:  \n");
}

TEST(Guard, TurnsBadAllocIntoTheMemoryMessageAndTheFailureResult) {
  int result = 1;
  const auto printed = capture([&] {
    result = zel::guarded(0, 99, "zeltest", []() -> int { throw std::bad_alloc(); });
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed.err, "ERROR:  Failed to allocate memory at line 99 in file zeltest.\nERROR:  \n");
}

TEST(Guard, OtherExceptionsAreReportedNotPropagated) {
  int result = 1;
  const auto printed = capture([&] {
    result = zel::guarded(-1, 5, "zeltest", []() -> int { throw std::runtime_error("broken"); });
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(printed.err, "ERROR:  Internal failure in zeltest: broken.\n");
}

TEST(ProgressMonitor, StampPrintsPercentOverwritingLineWithoutLineFeed) {
  const auto printed = capture([] {
    ZEL_TimeMonitor(4);
    ZEL_TimeMonitorStamp();
  });
  // Immediately after the start no measurable time has passed.
  EXPECT_EQ(printed.out, "\r 25%,    0 seconds left of    0 estimated total         ");
}

TEST(ProgressMonitor, CountsEveryStepUpToAHundredPercent) {
  const auto printed = capture([] {
    ZEL_TimeMonitor(2);
    ZEL_TimeMonitorStamp();
    ZEL_TimeMonitorStamp();
  });
  EXPECT_EQ(printed.out,
            "\r 50%,    0 seconds left of    0 estimated total         "
            "\r100%,    0 seconds left of    0 estimated total         ");
}

TEST(ProgressMonitor, ZeroStepsClampsTheUnboundedPercentage) {
  const auto printed = capture([] {
    ZEL_TimeMonitor(0);
    ZEL_TimeMonitorStamp();
  });
  EXPECT_EQ(printed.out, "\r2147483647%,    0 seconds left of    0 estimated total         ");
}

// A negative step count is outside what a caller announces, but the
// arithmetic on it stays defined: the line still comes out whole.
TEST(ProgressMonitor, MostNegativeStepCountStillPrintsALine) {
  const auto printed = capture([] {
    ZEL_TimeMonitor(INT_MIN);
    ZEL_TimeMonitorStamp();
  });
  EXPECT_EQ(printed.out.rfind("\r  0%, ", 0), 0u) << printed.out;
  EXPECT_TRUE(printed.out.ends_with(" estimated total         ")) << printed.out;
}

namespace {

struct Received {
  std::vector<std::pair<int, std::string>> lines;
};

void keep_line(int kind, const char *line, void *context) {
  static_cast<Received *>(context)->lines.emplace_back(kind, line);
}

// Installs keep_line for one test and always puts the printing back.
class MessageHandler : public ::testing::Test {
 protected:
  void SetUp() override { ZEL_SetMessageHandler(keep_line, &received); }
  void TearDown() override { ZEL_SetMessageHandler(nullptr, nullptr); }
  Received received;
};

}  // namespace

TEST_F(MessageHandler, ReceivesEachLineWithItsKindAndNothingIsPrinted) {
  const std::string long_text(1500, 'z');
  const auto printed = capture([&] {
    ZEL_Error("first %d\nsecond", 1);
    ZEL_Warning("careful\n");
    ZEL_Info("Title: %s", "Plate");
    ZEL_Info("%s", long_text.c_str());
  });
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(printed.err, "");
  const std::vector<std::pair<int, std::string>> expected = {
      {ZEL_MESSAGE_ERROR, "first 1"},  {ZEL_MESSAGE_ERROR, "second"},   {ZEL_MESSAGE_WARNING, "careful"},
      {ZEL_MESSAGE_WARNING, ""},       {ZEL_MESSAGE_INFO, "Title: Plate"}, {ZEL_MESSAGE_INFO, long_text}};
  EXPECT_EQ(received.lines, expected);
}

TEST_F(MessageHandler, ProgressArrivesAsOneLineWithoutCarriageReturnOrPadding) {
  const auto printed = capture([] {
    ZEL_TimeMonitor(4);
    ZEL_TimeMonitorStamp();
  });
  EXPECT_EQ(printed.out, "");
  const std::vector<std::pair<int, std::string>> expected = {
      {ZEL_MESSAGE_PROGRESS, " 25%,    0 seconds left of    0 estimated total"}};
  EXPECT_EQ(received.lines, expected);
}

TEST_F(MessageHandler, RemovingTheHandlerPrintsAgain) {
  ZEL_SetMessageHandler(nullptr, nullptr);
  const auto printed = capture([] { ZEL_Warning("back"); });
  EXPECT_EQ(printed.err, "WARNING:  back\n");
  EXPECT_TRUE(received.lines.empty());
}
