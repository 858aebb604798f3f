#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "console/test_files.h"

using testfiles::capturedStdout;
using testfiles::CapturedOutput;
using testfiles::contains;
using testfiles::TempFile;

namespace {
struct TabsOff {
  bool previous = set_tabs_allowed(false);
  ~TabsOff() { set_tabs_allowed(previous); }
};
}  // namespace

TEST(ColumnOutput, PlacesTextAtColumnsWithAndWithoutTabs) {
  CapturedOutput out;
  o_lstring("X", 10, false);
  o_newline(0);
  {
    TabsOff off;
    o_lstring("X", 10, false);
    o_newline(0);
    o_rnumber(42, 8, false, 10);
    o_newline(0);
    o_lstring("ab\tc", 1, false);  // a tab moves the column to its stop
    o_char('Z', 12, false);
    o_newline(0);
    o_lstring("abcdef", 1, false);
    o_rstring("XY", 3, false);  // no room to the left: starts where the line is
    o_newline(0);
    o_lstring("a", 1, false);
    o_lstring("b", 0, true);
    o_lstring(" ", 0, false);
    o_lstring("c", 0, true);  // already after a blank: none added
    o_newline(0);
  }
  EXPECT_EQ(out.text(), "\t X\n         X\n      42\nab\tc  Z\nabcdefXY\na b c\n");
}

TEST(ColumnOutput, NumbersRadixesFixedPointAndTimes) {
  CapturedOutput out;
  TabsOff off;
  o_lnumber(255, 1, false, 16);
  o_lnumber(-5, 0, true, 2);
  o_lnumber(35, 0, true, 36);
  o_newline(0);
  o_lnumber(LONG_MIN, 1, false, 10);
  o_newline(0);
  o_fixed_number(12345, 1, false, 10, 2);
  o_fixed_number(5, 0, true, 10, 2);
  o_fixed_number(-5, 0, true, 10, 3);
  o_fixed_number(0xFF, 0, true, 16, 1);
  o_newline(0);
  o_ramount_of_time(7, 6, false);
  o_ramount_of_time(125, 0, true);
  o_lfloat(1.5, 0, true);
  o_newline(0);
  testing::internal::CaptureStdout();
  o_lnumber(255, 1, false, 1);
  o_newline(0);
  EXPECT_TRUE(contains(capturedStdout(), "? Bad radix 1.\n"));
  EXPECT_EQ(out.text(), "FF -101 Z\n" + std::to_string(LONG_MIN) +
                            "\n123.45 0.05 -0.005 F.F\n  0:07 2:05 1.500000\n255\n");
}

TEST(ColumnOutput, OverlongLineIsWrittenWholeInTwoPieces) {
  CapturedOutput out;
  std::string first(150, 'a'), second(100, 'b');
  o_lstring(first.c_str(), 1, false);
  o_lstring(second.c_str(), 0, false);
  o_lstring("c", 0, false);  // a new line is being built after the overflow
  o_newline(0);
  EXPECT_EQ(out.text(), first + second + "c\n");
}

TEST(ColumnOutput, NewlinePadsToTheGivenLineAndCountsLineFeedsInText) {
  CapturedOutput out;  // the first line of a new destination is line 1
  o_lstring("x", 1, false);
  o_newline(4);
  o_lprintf(1, false, "%s\n%s", "two", "lines");
  o_newline(0);  // two lines written, so the next one is line 7
  o_lstring("y", 1, false);
  o_newline(8);
  EXPECT_EQ(out.text(), "\n\n\nx\ntwo\nlines\n\ny\n");
}

TEST(OutputDestinations, HandleGetsTheRecordAndTheConsoleLineSurvives) {
  CapturedOutput console;
  TempFile port;
  plat_handle h = plat_open(port.path(), PLAT_OPEN_WRITE_NEW);
  ASSERT_NE(h, PLAT_INVALID_HANDLE);
  o_lstring("console", 1, false);
  EXPECT_EQ(set_win32_file(h), PLAT_INVALID_HANDLE);
  {
    TabsOff off;
    o_lstring("SMDR", 1, false);
    o_rnumber(42, 10, false, 10);
    o_newline(0);
  }
  EXPECT_EQ(set_win32_file(PLAT_INVALID_HANDLE), h);
  o_lstring("line", 0, true);
  o_newline(0);
  plat_close(h);
  EXPECT_EQ(port.text(), "SMDR    42\n");
  EXPECT_EQ(console.text(), "console line\n");
}

TEST(OutputDestinations, JournalCopiesFormattedOutputIntoTheCommandLog) {
  TempFile log;
  CapturedOutput out;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(establishLogFile(log.path()));
  io_setLogOutputAlso(true);
  o_lstring("journalled", 1, false);
  o_newline(0);
  io_setLogOutputAlso(false);
  o_lstring("console only", 1, false);
  o_newline(0);
  establishLogFile(nullptr);
  capturedStdout();
  EXPECT_EQ(log.text(), "journalled\n");
  EXPECT_EQ(out.text(), "journalled\nconsole only\n");
}

TEST(OutputDestinations, ReportFileTakesOutputUntilClosed) {
  set_o_file(stdout);
  TempFile base, other;
  // The answer gets the default extension unless it has one (Windows names).
  std::string path = base.path();
  if (path.find('.') == std::string::npos) path += ".LOG";

  set_tabs_allowed(false);
  i_giveBackLine(base.path());
  doOpenLogFile();
  EXPECT_TRUE(set_tabs_allowed(true));  // a new report file allows tabs again
  o_lstring("report", 1, false);
  o_newline(0);
  doCloseLogFile();
  doCloseLogFile();  // harmless with none open, as at exit after EXIT
  EXPECT_EQ(testfiles::readText(path), "report\n");

  // A report file replaced directly is closed once, not again by CLEAR LOG_FILE.
  i_giveBackLine(base.path());
  doOpenLogFile();
  FILE* second = open_o_file(other.path(), "report");
  ASSERT_NE(second, nullptr);
  doCloseLogFile();
  EXPECT_TRUE(close_o_file(second, other.path(), "report"));

  testing::internal::CaptureStdout();
  o_lstring("back on console", 1, false);
  o_newline(0);
  EXPECT_EQ(capturedStdout(), "back on console\n");
  plat_delete_file(path.c_str());
}

TEST(OutputDestinations, SetLogFileSaysWhichFileItOpened) {
  set_o_file(stdout);
  TempFile base;
  // Every dot but the extension's is part of the name.
  const std::string path = std::string(base.path()) + ".old.log";
  i_giveBackLine(path.c_str());
  testing::internal::CaptureStdout();
  doOpenLogFile();
  EXPECT_EQ(capturedStdout(), "Logging reports in " + path + "\n");
  doCloseLogFile();
  plat_delete_file(path.c_str());
}

#ifndef _WIN32
TEST(OutputDestinations, FailedReportWritesAreReportedOncePerRun) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  set_o_file(stdout);
  io_setPrintoutLimit(200);
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / "report_full_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::create_symlink("/dev/full", dir / "full.LOG");
  const std::string name = (dir / "full").string();
  i_giveBackLine(name.c_str());
  testing::internal::CaptureStdout();
  doOpenLogFile();
  for (int i = 0; i < 3; ++i) {
    o_lstring("lost", 1, false);
    o_newline(0);
  }
  doCloseLogFile();
  const std::string text = capturedStdout();
  const std::string message = "? Unable to write to log file \"" + name + ".LOG\"\n";
  EXPECT_TRUE(contains(text, message)) << text;
  EXPECT_EQ(text.find(message), text.rfind(message)) << "reported more than once:\n" << text;
  std::filesystem::remove_all(dir);
}
#endif

TEST(OutputDestinations, FailedReportFileLeavesOutputOnTheConsole) {
  set_o_file(stdout);
  io_setPrintoutLimit(200);
  testing::internal::CaptureStdout();
  EXPECT_EQ(open_o_file("/no/such/directory/r.log", "report"), nullptr);
  o_lstring("still seen", 1, false);
  o_newline(0);
  std::string text = capturedStdout();
  EXPECT_TRUE(contains(text, "? Unable to open report file \"/no/such/directory/r.log\"\n"));
  EXPECT_TRUE(contains(text, "still seen\n"));
}

TEST(OutputDestinations, SetLogFileNamesItsKindWhenTheFileWillNotOpen) {
  set_o_file(stdout);
  io_setPrintoutLimit(200);
  testing::internal::CaptureStdout();
  i_giveBackLine("/no/such/directory/r.log");
  doOpenLogFile();
  i_giveBackLine("~");
  doOpenLogFile();
  o_lstring("still seen", 1, false);
  o_newline(0);
  std::string text = capturedStdout();
  EXPECT_TRUE(
      contains(text, "? Unable to open log file file \"/no/such/directory/r.log\"\n"));
  EXPECT_TRUE(contains(text, "? Unable to open log file file \"\"\n"));
  EXPECT_TRUE(contains(text, "still seen\n"));
}

TEST(Allocation, CountsBlocksAndWarnsAboutLargeOnes) {
  io_setPrintoutLimit(200);
  long before = number_blocks_out();
  char* empty = alloc_str(nullptr);
  EXPECT_STREQ(empty, "");
  EXPECT_EQ(number_blocks_out(), before + 1);
  errfree(nullptr);
  errfree(empty);
  EXPECT_EQ(number_blocks_out(), before);

  unsigned previous = set_max_malloc(10);
  testing::internal::CaptureStdout();
  errfree(errmalloc(600));
  std::string text = capturedStdout();
  set_max_malloc(previous);
  EXPECT_TRUE(contains(text, "? Allocating 600 bytes, probably a bug.\n"));
}

TEST(Messages, EachKindHasItsOwnPrintoutLimitAndErrorsCarryTheTime) {
  io_setPrintoutLimit(0);  // as with -e0
  testing::internal::CaptureStdout();
  log_error("first error\n");
  log_error("second error\n");
  log_info(false, "first info\n");
  log_info(true, "second info\n");
  debugDetailed = 1;
  log_error("detailed error\n");
  debugDetailed = 0;
  std::string text = capturedStdout();
  std::string stamp = timestamp();  // like 06Dec2026 23:59:59
  EXPECT_EQ(stamp.size(), 18u);
  EXPECT_EQ(text.substr(0, 9), "Error at ");
  EXPECT_EQ(text.substr(9 + 18, 20), ":\n    first error\nfi");
  EXPECT_FALSE(contains(text, "second"));
  EXPECT_TRUE(contains(text, ":\n    detailed error\n"));

  io_setPrintoutLimit(2);
  testing::internal::CaptureStdout();
  for (int i = 0; i < 5; i++) log_info(i == 1, "i%d\n", i);
  text = capturedStdout();
  io_setPrintoutLimit(200);
  EXPECT_EQ(text.substr(0, 3), "i0\n");
  EXPECT_EQ(text.substr(3 + 18), ":\n    i1\ni2\n");
}
