#include "shell/commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "telephony/state.h"

namespace {

// Tabs expanded to stops of 8, so columns can be checked by index.
std::string expandTabs(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == '\t') {
      do out += ' ';
      while (out.size() % 8 != 0);
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) result.push_back(line);
  return result;
}

class Dispatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    i_endUserInput();
    set_o_file(stdout);
    expert_mode = 1;
    debugPrint = 0;
    debugDetailed = 0;
    exitFlag = 0;
  }
  void TearDown() override {
    i_endUserInput();
    expert_mode = 1;
    debugPrint = 0;
    debugDetailed = 0;
    exitFlag = 0;
  }

  // Runs one command word with its answers pending as the rest of the line;
  // returns what it printed.
  std::string run(const char* word, const char* answers = nullptr) {
    if (answers) i_giveBackLine(answers);
    testing::internal::CaptureStdout();
    handled = doCommandTable(word);
    o_newline(0);  // flush a half-built line, if any, so it is captured
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    // The extra o_newline above adds one line end of its own.
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

  bool handled = false;
};

TEST_F(Dispatcher, AbbreviationsMustBeUnambiguous) {
  EXPECT_EQ(run("CON"), "? Ambiguous - please type a longer string - \"CON\"\n");
  EXPECT_FALSE(handled);
  // An abbreviation and the whole word reach the same row.
  // (cancelled at its first question)
  EXPECT_EQ(run("CTI", "~"), "");
  EXPECT_TRUE(handled);
  EXPECT_EQ(run("CTI_CALL", "~"), "");
  EXPECT_TRUE(handled);
  errfree(primaryDevice);
  primaryDevice = nullptr;

  EXPECT_EQ(run("D"), "? Ambiguous - please type a longer string - \"D\"\n");
  EXPECT_FALSE(handled);
  EXPECT_EQ(run("DEB"), "Debugging messages ON.\n");
  EXPECT_TRUE(debugPrint);
  EXPECT_FALSE(debugDetailed);
  EXPECT_EQ(run("DET"), "Detailed debugging messages ON.\n");
  EXPECT_TRUE(debugDetailed);
  EXPECT_EQ(run("NOD"), "Debugging messages OFF.\n");
  EXPECT_FALSE(debugPrint);
  EXPECT_FALSE(debugDetailed);

  EXPECT_EQ(run("XYZZY"), "? Ignoring unrecognized command \"XYZZY\"\n");
  EXPECT_FALSE(handled);
  // Words reach the table folded; lower case is simply not a command.
  EXPECT_EQ(run("exit"), "? Ignoring unrecognized command \"exit\"\n");
  EXPECT_FALSE(exitFlag);
}

TEST_F(Dispatcher, ExpertRowsAreHiddenWhileExpertModeIsOff) {
  expert_mode = 0;
  EXPECT_EQ(run("HELP", "*"), "? Ignoring unrecognized command \"HELP\"\n");
  EXPECT_FALSE(handled);
  i_endUserInput();
  EXPECT_EQ(run("MAKE_CALL"), "? Ignoring unrecognized command \"MAKE_CALL\"\n");
  // Hidden rows do not make an abbreviation ambiguous: P can only be PORT
  // (which, unattended, gives up on a port number out of range).
  autoLogSMDR = 1;
  EXPECT_EQ(run("P", "9"), "Use a serial port between 1 and 4\n");
  EXPECT_EQ(run("PORT", "0"), "Use a serial port between 1 and 4\n");
  autoLogSMDR = 0;
  EXPECT_EQ(run("ABORT_STREAM"), "");
  EXPECT_TRUE(handled);
  EXPECT_NE(run("?").find("QUIT"), std::string::npos);
  EXPECT_TRUE(handled);
  EXPECT_EQ(run("EXIT"), "");
  EXPECT_TRUE(exitFlag);
}

TEST_F(Dispatcher, ExpertNeedsThePassword) {
  expert_mode = 0;
  EXPECT_EQ(run("EXPERT", "ORANGE"),
            "You should not be using EXPERT commands.\n"
            "Password validation failure, Expert commands prohibited\n");
  EXPECT_FALSE(expert_mode);
  // The answer is folded, so the password is not case sensitive.
  EXPECT_EQ(run("EXP", "tangelo"),
            "You should not be using EXPERT commands.\n"
            "Expert commands permitted.\n");
  EXPECT_TRUE(expert_mode);
  // A wrong password does not take away a mode already granted.
  EXPECT_EQ(run("EXPERT", "LEMON"),
            "You should not be using EXPERT commands.\n"
            "Expert commands permitted.\n");
  EXPECT_TRUE(expert_mode);
  EXPECT_EQ(run("NOEXPERT"), "Expert commands forbidden.\n");
  EXPECT_FALSE(expert_mode);
}

TEST_F(Dispatcher, CommentDropsTheRestOfItsLine) {
  EXPECT_EQ(run("!", "DEBUG and more"), "");
  EXPECT_TRUE(handled);
  EXPECT_STREQ(i_restOfLine(), "");
  EXPECT_EQ(run("!DEBUG"), "");
  EXPECT_FALSE(debugPrint);
}

TEST_F(Dispatcher, QuestionListsEveryCommandInFourColumns) {
  expert_mode = 0;  // expert rows are listed all the same
  std::vector<std::string> rows = lines(run("?"));
  ASSERT_EQ(rows.size(), 14u);  // 13 rows and the closing empty line
  EXPECT_EQ(rows[13], "");
  for (std::string& row : rows) row = expandTabs(row);
  // Entry k*13+j in row j, column k; columns 19 apart (longest word is 18).
  EXPECT_EQ(rows[0].substr(19, 11), "DIAL_DIGITS");
  EXPECT_EQ(rows[0].substr(38, 11), "LINE_REPORT");
  EXPECT_EQ(rows[0].substr(57), "RETRIEVE");
  EXPECT_EQ(rows[1].substr(0, 1), "?");
  EXPECT_EQ(rows[9].substr(57), "QUIT");
  for (int j = 10; j < 13; ++j) EXPECT_LT(rows[j].size(), 57u) << rows[j];
  EXPECT_EQ(rows[3].substr(0, 12), "ABORT_STREAM");
}

TEST_F(Dispatcher, HelpSelectsByPrefix) {
  std::string all = run("HELP", "*");
  int entries = 0;
  for (const std::string& line : lines(all))
    if (line.rfind("    ", 0) == 0) ++entries;
  EXPECT_EQ(entries, 48);
  const std::string first =
      "    ?\tBasic\n\tPrint list of expected input, (Commands or Parameters)\n    @\tExpert\n";
  EXPECT_EQ(all.compare(0, first.size(), first), 0) << all.substr(0, 100);
  EXPECT_NE(all.find("    DEBUG\tExpert\n\tEnable debugging type out. Debugging info will be "
                     "printed.\n\t(-d on the command line)\n"),
            std::string::npos);

  std::string d = run("HELP", "d");
  std::vector<std::string> names;
  for (const std::string& line : lines(d))
    if (line.rfind("    ", 0) == 0) names.push_back(line.substr(4, line.find('\t') - 4));
  EXPECT_EQ(names, (std::vector<std::string>{"DEBUG", "DEFLECT_CALL", "DETAILED_DEBUG",
                                             "DIAL_DIGITS", "DIRECTORY", "DISCONNECT"}));

  EXPECT_EQ(run("HELP", "port"),
            "    PORT\tBasic\n\tSelect a communication port for SMDR logging\n");
  EXPECT_EQ(run("HELP", "NOSUCH"), "");
}

TEST_F(Dispatcher, KeywordListsOfferTheirChoices) {
  std::vector<std::string> rows = lines(run("REPORT", "? ~"));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(expandTabs(rows[0]), "COMM_PORT_ERRORS   PER_SECOND_HISTORY STATUS");
  EXPECT_EQ(expandTabs(rows[1]), "COUNTS             SPACE              STREAM_INFO");
  EXPECT_EQ(rows[2], "");

  const char* getNames[kMaxKeywords + 1];
  ASSERT_TRUE(keywordNames(getActions, getNames, kMaxKeywords + 1));
  EXPECT_EQ(find_command("S", getNames), -1);
  EXPECT_STREQ(getNames[find_command("SN", getNames)], "SNAPSHOT");
  std::string out = run("GET", "s sp");
  EXPECT_NE(out.find("? Ambiguous - please type a longer string - \"S\"\n"), std::string::npos);
  EXPECT_NE(out.find("Info for span [D1#1]: "), std::string::npos);
  errfree(primarySpan);
  primarySpan = nullptr;

  EXPECT_EQ(run("GET", "PER_SECOND_HISTORY"), "");
  EXPECT_EQ(run("HANGUP", "~"), "");
  EXPECT_EQ(run("STOP", "REC"), "? No current call.");
}

// A keyword table too long for the list prompt would offer nothing at all.
TEST(KeywordTables, EveryTableFitsTheListPrompt) {
  const KEYWORD_ACTION* const tables[] = {getActions, setActions, clearActions, reportActions,
                                          stopActions};
  for (const KEYWORD_ACTION* table : tables) {
    const char* names[kMaxKeywords + 1];
    EXPECT_TRUE(keywordNames(table, names, kMaxKeywords + 1)) << table[0].name;
    for (const KEYWORD_ACTION* row = table; row->name; ++row) EXPECT_TRUE(row->action) << row->name;
  }
  const char* two[3];
  EXPECT_FALSE(keywordNames(getActions, two, 3));
}

// A row without its handler would be matched and then called through null.
TEST(CommandTable, EveryRowHasAHandler) {
  for (int n = 0; commands[n].name; ++n)
    EXPECT_TRUE(commands[n].action_routine) << commands[n].name;
}

class Reports : public Dispatcher {
 protected:
  void TearDown() override {
    currentCall = heldCall = 0;
    for (char** text : {&primaryDevice, &primarySpan, &mkCallee}) {
      errfree(*text);
      *text = nullptr;
    }
    callSnapshots = deviceSnapshots = 0;
    resetPerSecondHistory();
    autoEvents = true;
    Dispatcher::TearDown();
  }
};

TEST_F(Reports, StatusShowsOnlyWhatIsSet) {
  EXPECT_EQ(run("REPORT", "STATUS"), "Auto events ON\nCurrent\n");
  autoEvents = false;
  currentCall = 0x1a2b;
  heldCall = 0x30;
  primaryDevice = alloc_str("201");
  primarySpan = alloc_str("D1#1");
  mkCallee = alloc_str("(617)555-1212");
  EXPECT_EQ(run("REPORT", "STAT"),
            "Auto events OFF\n"
            "Current\n"
            "   Call: 1A2B\n"
            "   Held call: 30\n"
            "   Default device: 201\n"
            "   Default Span: D1#1\n"
            "   Default callee: (617)555-1212\n");
}

TEST_F(Reports, CountsAndTheirReset) {
  deviceSnapshots = 3;
  callSnapshots = 12345;
  std::vector<std::string> rows = lines(run("REPORT", "COUNTS"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(expandTabs(rows[0]), "       3 Device snapshots");
  EXPECT_EQ(expandTabs(rows[1]), "   12345 Call snapshots");
  EXPECT_EQ(run("CLEAR", "COUNTS"), "");
  EXPECT_EQ(deviceSnapshots, 0);
  EXPECT_EQ(callSnapshots, 0);
}

TEST_F(Reports, PerSecondHistoryAndItsReset) {
  maxSnapsPerSecond = 12.5f;
  minSnapsPerSecond = 2.25f;
  std::vector<std::string> rows = lines(run("REPORT", "PER"));
  ASSERT_EQ(rows.size(), 2u);
  const std::string snaps = expandTabs(rows[0]);
  EXPECT_EQ(snaps.substr(0, 39), "$SNAPS_PER_SECOND 12.500000 max        ");
  EXPECT_EQ(snaps.substr(39), "2.250000 min");
  EXPECT_EQ(expandTabs(rows[1]).substr(39), "1000000.000000 min");
  EXPECT_EQ(rows[1].substr(0, 28), "$EVENTS_PER_SECOND 0.000000 ");
  run("CLEAR", "PER_SECOND_HISTORY");
  EXPECT_EQ(maxSnapsPerSecond, 0.0f);
  EXPECT_EQ(minSnapsPerSecond, 1000000.0f);
}

}  // namespace
