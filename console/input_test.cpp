#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>

#include <string>
#include <vector>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "console/test_files.h"

using testfiles::capturedStdout;
using testfiles::contains;
using testfiles::TempFile;
typedef std::vector<std::string> Words;

namespace {

class LogicalInput : public testing::Test {
 protected:
  void SetUp() override { io_setPrintoutLimit(200); }
  void TearDown() override {
    i_endUserInput();
    testing::internal::CaptureStdout();
    establishLogFile(nullptr);
    capturedStdout();
  }

  std::string nextLine(const char* defaultText = nullptr) {
    char buffer[LOGICAL_LINE_SIZE];
    const char* line = getLineFromLogicalUser(buffer, sizeof buffer, defaultText);
    return line ? line : "<none>";
  }

  // A stand-in for the command loop: reads `limit` words or up to STOP,
  // handles LABEL, GOTO and NEST (pushes nestPath), and returns the other
  // words that a GOTO search did not skip. What it printed goes to `said`.
  Words run(const std::string& script, int limit = 100, const char* nestPath = nullptr) {
    TempFile file(script);
    EXPECT_TRUE(addIndirectFile(file.path()));
    Words ran;
    testing::internal::CaptureStdout();
    while (limit-- > 0) {
      char* word = get_commandWord("PROBIX", "", true);
      std::string w = word;
      errfree(word);
      if (w == "STOP") break;
      if (w == "LABEL")
        doLabel();
      else if (gotoSearchLabel())
        continue;
      else if (w == "GOTO")
        doGoto();
      else if (w == "NEST")
        addIndirectFile(nestPath);
      else
        ran.push_back(w);
    }
    said = capturedStdout();
    i_endUserInput();
    return ran;
  }

  std::string said;
};

}  // namespace

TEST_F(LogicalInput, ScriptLinesLoseLineEndsAndBlankLinesTakeTheDefault) {
  TempFile outer("STOP\n");
  TempFile script("first  \r\n  second\t \r\n\r\n\r\n" + std::string(300, 'x') + "\nthird");
  ASSERT_TRUE(addIndirectFile(outer.path()));
  ASSERT_TRUE(addIndirectFile(script.path()));
  EXPECT_EQ(nextLine(), "first");
  EXPECT_EQ(nextLine("dflt"), "second");
  EXPECT_EQ(nextLine("dflt"), "dflt");
  EXPECT_EQ(nextLine(), "");
  // An overlong line is cut; its tail is not handed out as a line of its own.
  EXPECT_EQ(nextLine(), std::string(LOGICAL_LINE_SIZE - 1, 'x'));
  EXPECT_EQ(nextLine(), "third");  // no line feed at the end of the file
  EXPECT_EQ(nextLine(), "STOP");   // then the script below
  EXPECT_EQ(indirectFileCount(), 1);
}

TEST_F(LogicalInput, NestedScriptResumesTheOneBelowAndTheEleventhIsRefused) {
  TempFile a("a1\na2\n"), b("b1\n");
  ASSERT_TRUE(addIndirectFile(a.path()));
  EXPECT_EQ(nextLine(), "a1");
  ASSERT_TRUE(addIndirectFile(b.path()));
  EXPECT_EQ(nextLine(), "b1");
  EXPECT_EQ(nextLine(), "a2");
  i_endUserInput();

  std::vector<TempFile> files(11);
  for (int i = 0; i < 10; i++) {
    files[i].write("line" + std::to_string(i) + "\n");
    ASSERT_TRUE(addIndirectFile(files[i].path()));
  }
  testing::internal::CaptureStdout();
  EXPECT_FALSE(addIndirectFile(files[10].path()));
  EXPECT_TRUE(contains(capturedStdout(),
                       std::string("? Too many indirect files open at once. Trying to open ") +
                           files[10].path()));
  for (int i = 9; i >= 0; i--) EXPECT_EQ(nextLine(), "line" + std::to_string(i));
}

TEST_F(LogicalInput, JumpsBackAndDuplicateLabels) {
  // Labels count to nine characters, so LONGLABEL1 and longlabel2 are one.
  EXPECT_EQ(run("FIRST\nLABEL LONGLABEL1\nBODY\nGOTO longlabel2\n", 9),
            Words({"FIRST", "BODY", "BODY", "BODY", "BODY"}));
  EXPECT_EQ(said, "");  // the same LABEL line met again is no duplicate

  // The jump goes to the first label; each run of the second is reported.
  EXPECT_EQ(run("LABEL TWICE\nFIRST\nLABEL TWICE\nSECOND\nGOTO TWICE\n", 8),
            Words({"FIRST", "SECOND", "FIRST", "SECOND"}));
  EXPECT_EQ(said, "!ERROR: Duplicate LABEL 'TWICE'\n!ERROR: Duplicate LABEL 'TWICE'\n");
}

TEST_F(LogicalInput, JumpsLandOnTheLineAfterTheLabelWhateverTheLineEnds) {
  EXPECT_EQ(run("FIRST\rLABEL TOP\rBODY\rGOTO TOP\r", 8), Words({"FIRST", "BODY", "BODY", "BODY"}));
  EXPECT_EQ(run("FIRST\r\nLABEL TOP\r\nBODY\r\nGOTO TOP\r\n", 8),
            Words({"FIRST", "BODY", "BODY", "BODY"}));
  EXPECT_EQ(said, "");
}

TEST_F(LogicalInput, ForwardGotoSkipsEverythingAndLearnsLabelsOnTheWay) {
  EXPECT_EQ(run("GOTO END\nSKIPPED one two\nLABEL PASSED\nUNKNOWN\nLABEL END\nAFTER\n"
                "GOTO PASSED\n",
                12),
            Words({"AFTER", "UNKNOWN", "AFTER"}));
  EXPECT_EQ(said, "");
}

TEST_F(LogicalInput, SearchEndsAtItsLabelEvenWithAFullListOrAtTheEndOfItsScript) {
  std::string labels;
  for (int i = 1; i <= MAX_LABELS; i++) labels += "LABEL L" + std::to_string(i) + "\n";
  // A full list takes no notice of a label, not even of a duplicate one.
  EXPECT_EQ(run(labels + "LABEL L1\nGOTO L11\nSKIPPED\nLABEL L11\nAFTER\nSTOP\n"),
            Words({"AFTER"}));
  EXPECT_EQ(said, "");

  TempFile outer("AFTER\nSTOP\n");
  ASSERT_TRUE(addIndirectFile(outer.path()));
  EXPECT_EQ(run("GOTO NOWHERE\nSKIPPED\n"), Words({"AFTER"}));
  EXPECT_EQ(said, "!ERROR: LABEL 'NOWHERE' not found\n");
}

TEST_F(LogicalInput, EachScriptJumpsWithinItsOwnLabels) {
  TempFile inner("LABEL TOP\nINNER\n");
  EXPECT_EQ(run("LABEL TOP\nNEST\nOUTER\nGOTO TOP\n", 11, inner.path()),
            Words({"INNER", "OUTER", "INNER", "OUTER"}));
  EXPECT_EQ(said, "");
}

TEST_F(LogicalInput, CommandLogGetsTheWholeLineThenEachRestTaken) {
  TempFile log, script("MAKE_CALL 201\n");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(establishLogFile(log.path()));
  ASSERT_TRUE(addIndirectFile(script.path()));
  errfree(get_commandWord("PROBIX", "", true));
  errfree(get_word("Callee", "", false));
  EXPECT_FALSE(establishLogFile(nullptr));
  ASSERT_TRUE(establishLogFile(log.path()));  // appends
  i_giveBackLine("again");
  errfree(get_word("Word", "", false));
  establishLogFile(nullptr);
  std::string text = capturedStdout();
  EXPECT_EQ(log.text(), "MAKE_CALL 201\n201\nagain\n");
  EXPECT_EQ(text.find(std::string("Logging commands in ") + log.path() + "\n"), 0u);
  EXPECT_TRUE(contains(text, std::string("Closing log file ") + log.path() + "\n"));
}

TEST_F(LogicalInput, IndirectFileAnsweredWithTildeIsReportedAsNotOpened) {
  i_giveBackLine("~");
  testing::internal::CaptureStdout();
  doIndirect();
  EXPECT_TRUE(contains(capturedStdout(), "? Unable to open indirect file \n"));
  EXPECT_EQ(indirectFileCount(), 0);
}

namespace {
int calls = 0;
void count() { calls++; }
}  // namespace

TEST_F(LogicalInput, EndOfConsoleInputIsReportedOnceAndReadersSettle) {
  TempFile console("typed line\n");
  ASSERT_TRUE(testfiles::feedConsole(console));
  calls = 0;
  IdleRoutine previous = setCallWhileIdle(count);
  const char* list[] = {"ONE", "TWO", nullptr};

  testing::internal::CaptureStdout();
  EXPECT_EQ(nextLine(), "typed line");
  EXPECT_EQ(nextLine(), "<none>");
  EXPECT_TRUE(i_consoleInputEnded());
  EXPECT_EQ(nextLine(), "<none>");
  // Questions asked now take no answer: they give back their default as it
  // stands (even outside the range) or cancel, none loops, and none picks a
  // value of its own; the command then ends.
  EXPECT_EQ(get_number("Number", 7), 7);
  EXPECT_EQ(i_getNumberInRange("Number", 50, 1, 10), 50);
  EXPECT_EQ(get_list("Choose", "THREE", list, true), -1);
  EXPECT_EQ(get_list("Choose", "TWO", list, false), 1);
  EXPECT_FALSE(get_yesno("Sure", false));
  EXPECT_TRUE(get_yesno("Sure", true));
  std::string text = capturedStdout();
  setCallWhileIdle(previous);

  EXPECT_EQ(text.find("\n"), 0u);  // the line read is followed by a line end
  EXPECT_EQ(text.find("? Could not get line from user\n"),
            text.rfind("? Could not get line from user\n"));
  EXPECT_TRUE(contains(text, "Number [7]: "));
  EXPECT_EQ(calls, 2);  // piped input: the idle hook runs once per read
  i_endUserInput();
  EXPECT_FALSE(i_consoleInputEnded());
}

TEST_F(LogicalInput, PauseWaitsTheTimeAndPollsWithoutSpinning) {
  IdleRoutine previous = setEventPoller(count);
  calls = 0;
  std::uint64_t start = plat_millis();
  pauseNseconds(0.03);
  EXPECT_GE(plat_millis() - start, 30u);
  EXPECT_GE(calls, 1);
  EXPECT_LT(calls, 200);
  setEventPoller(nullptr);
  start = plat_millis();
  pauseNseconds(0.03);
  EXPECT_GE(plat_millis() - start, 30u);
  setEventPoller(previous);
}

TEST_F(LogicalInput, NulAndLoneCarriageReturnEndOnlyTheirOwnLine) {
  TempFile outer("STOP\n");
  TempFile script(std::string("one\0tail\nTWO\rthree\r\r\nfour\0\0\nfive\r", 33));
  ASSERT_TRUE(addIndirectFile(outer.path()));
  ASSERT_TRUE(addIndirectFile(script.path()));
  EXPECT_EQ(nextLine(), "one");
  EXPECT_EQ(nextLine(), "TWO");
  EXPECT_EQ(nextLine(), "three");
  EXPECT_EQ(nextLine("dflt"), "dflt");
  EXPECT_EQ(nextLine(), "four");
  EXPECT_EQ(nextLine(), "five");
  EXPECT_EQ(nextLine(), "STOP");

  // The console reads its lines the same way.
  TempFile console(std::string("a\0b\nc\rd\n", 8));
  ASSERT_TRUE(testfiles::feedConsole(console));
  i_endUserInput();
  testing::internal::CaptureStdout();
  EXPECT_EQ(nextLine(), "a");
  EXPECT_EQ(nextLine(), "c");
  EXPECT_EQ(nextLine(), "d");
  capturedStdout();
}

TEST_F(LogicalInput, FoldersAreNoScripts) {
  testing::internal::CaptureStdout();
  const std::string folder = ::testing::TempDir();
  EXPECT_FALSE(addIndirectFile(folder.c_str()));
  EXPECT_EQ(indirectFileCount(), 0);
  EXPECT_TRUE(contains(capturedStdout(), "? Unable to open indirect file " + folder + "\n"));
}

TEST_F(LogicalInput, TheOpenCommandLogIsNoScriptAndNoScriptTheLog) {
  TempFile log;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(establishLogFile(log.path()));
  EXPECT_FALSE(addIndirectFile(log.path()));
  EXPECT_EQ(indirectFileCount(), 0);
  EXPECT_TRUE(establishLogFile(nullptr) == false);
  std::string text = capturedStdout();
  EXPECT_TRUE(contains(text, std::string("? ") + log.path() +
                                 " is the command log being written; it cannot be run as a "
                                 "script\n"))
      << text;

  // Nor can a running script become the log.
  TempFile script("x\n");
  ASSERT_TRUE(addIndirectFile(script.path()));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(establishLogFile(script.path()));
  text = capturedStdout();
  EXPECT_TRUE(contains(text, std::string("? ") + script.path() +
                                 " is being run as a script; it cannot be the command log\n"))
      << text;
  EXPECT_EQ(commandLogFile(), nullptr);
}

// Handlers are the process's own from here on: the signal only sets a flag.
#ifdef SIGHUP
namespace {

int idleCalls = 0;
void stopAfterThreeIdleCalls() {
  if (++idleCalls == 3) std::raise(SIGTERM);
}

}  // namespace

TEST_F(LogicalInput, AutomaticModeOutlivesTheEndOfInputUntilAStopRequest) {
  plat_install_stop_handlers();
  TempFile console("first\n");
  ASSERT_TRUE(testfiles::feedConsole(console));
  i_endUserInput();
  const char savedMode = manualMode;
  manualMode = 0;
  idleCalls = 0;
  const IdleRoutine previous = setCallWhileIdle(stopAfterThreeIdleCalls);
  testing::internal::CaptureStdout();
  EXPECT_EQ(nextLine(), "first");
  // The input ends; events go on until the stop, which ends it quietly.
  EXPECT_EQ(nextLine(), "<none>");
  const std::string text = capturedStdout();
  EXPECT_EQ(idleCalls, 3);
  EXPECT_TRUE(i_consoleInputEnded());
  EXPECT_TRUE(i_stopRequested());
  EXPECT_TRUE(contains(text, "End of input: call logging goes on until the program is stopped\n"));
  EXPECT_TRUE(contains(text, "Termination requested: stopping\n"));
  EXPECT_FALSE(contains(text, "Could not get line")) << text;

  // Once stopping, scripts and waits end at once too.
  TempFile script("never\n");
  ASSERT_TRUE(addIndirectFile(script.path()));
  EXPECT_EQ(nextLine(), "<none>");
  EXPECT_EQ(indirectFileCount(), 0);
  const WaitClock savedClock = setWaitClock(steppedWaitClock);
  EXPECT_FALSE(waitUntil(60, nullptr, nullptr));
  setWaitClock(savedClock);

  setCallWhileIdle(previous);
  manualMode = savedMode;
  i_endUserInput();
  EXPECT_FALSE(i_stopRequested());
}
#endif

TEST_F(LogicalInput, CommandLogOnAFullDeviceIsReportedOnceWithItsName) {
  if (!plat_file_exists("/dev/full")) GTEST_SKIP() << "no always-full device here";
  TempFile script("first\nsecond\nthird\n");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(establishLogFile("/dev/full"));
  ASSERT_TRUE(addIndirectFile(script.path()));
  EXPECT_EQ(nextLine(), "first");
  EXPECT_EQ(nextLine(), "second");
  const std::string text = capturedStdout();
  const std::string message = "? Unable to write to command log \"/dev/full\"\n";
  EXPECT_TRUE(contains(text, message)) << text;
  EXPECT_EQ(text.find(message), text.rfind(message)) << "told for every line:\n" << text;
}
