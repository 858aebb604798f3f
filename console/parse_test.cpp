#include <gtest/gtest.h>

#include <string>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "console/test_files.h"

using testfiles::capturedStdout;
using testfiles::contains;
using testfiles::TempFile;

namespace {

class Readers : public testing::Test {
 protected:
  void SetUp() override {
    io_setPrintoutLimit(200);
    i_endUserInput();
    testing::internal::CaptureStdout();
  }
  void TearDown() override {
    i_endUserInput();
    if (!stdoutTaken) capturedStdout();
  }

  // Answers come from a script; a guard script below it keeps a reader from
  // ever falling through to the console.
  void answers(const std::string& lines) {
    guard_.write("<no more answers>\n");
    script_.write(lines);
    ASSERT_TRUE(addIndirectFile(guard_.path()));
    ASSERT_TRUE(addIndirectFile(script_.path()));
  }
  std::string said() {
    stdoutTaken = true;
    return capturedStdout();
  }
  static std::string take(char* text) {
    std::string s = text;
    errfree(text);
    return s;
  }

  TempFile guard_, script_;
  bool stdoutTaken = false;
};

}  // namespace

TEST_F(Readers, WordsAfterACommandAnswerTheNextQuestionsWithoutPrompts) {
  TempFile console("make_call 201\n202\n\n\n");
  ASSERT_TRUE(testfiles::feedConsole(console));
  EXPECT_EQ(take(get_commandWord("PROBIX", "", true)), "MAKE_CALL");
  EXPECT_EQ(take(get_word("Device", "100", false)), "201");
  EXPECT_EQ(take(get_word("Callee", "", false)), "202");
  EXPECT_EQ(take(get_word("Device", "100", false)), "100");
  EXPECT_EQ(get_hexNumber("Mask", 255), 255);
  EXPECT_EQ(said(), "PROBIX: \nCallee: \nDevice [100]: \nMask [ff]: \n");
}

TEST_F(Readers, HelpAndTildeInWordsAndLines) {
  answers("?\n~\n~\n?\nsome text here\n~\n");
  EXPECT_EQ(take(get_word("Name", "abc", false)), "");
  EXPECT_EQ(take(get_word("Name", "", false)), "~");  // no default: kept as typed
  EXPECT_EQ(take(get_line("Text", "", false)), "some text here");
  EXPECT_EQ(take(get_line("Text", "old", false)), "");
  std::string text = said();
  EXPECT_TRUE(contains(text, "Enter a word (a string containing no spaces).\n"
                             "Enter tilde ~ to leave the word blank.\n"));
  EXPECT_TRUE(contains(text, "Enter a line of text.\n"));
  EXPECT_FALSE(contains(text, "leave the line blank"));
}

TEST_F(Readers, NumbersAskAgainUntilWellFormedAndInRange) {
  i_giveBackLine("12abc - 99999999999999999999 -5 g1 0x1A 0 11 5");
  EXPECT_EQ(get_number("Count", 10), -5);
  EXPECT_EQ(get_hexNumber("Mask", 0), 26);
  EXPECT_EQ(i_getNumberInRange("Channel", 1, 1, 10), 5);
  std::string text = said();
  EXPECT_TRUE(contains(text, "? Improper format for a number: \"12ABC\"\n"));
  EXPECT_TRUE(contains(text, "? Improper format for a number: \"-\"\n"));
  EXPECT_TRUE(contains(text, "? Improper format for a number: \"99999999999999999999\"\n"));
  EXPECT_TRUE(contains(text, "? Improper format for a hexadecimal number: \"G1\"\n"));
  EXPECT_TRUE(contains(text, "? 0 is too small, must be greater than 0\n"));
  EXPECT_TRUE(contains(text, "? 11 is too large, must be less than 11\n"));
}

// A value the switch reported outside a question's range is offered and
// kept on an empty answer; a typed one outside is still refused.
TEST_F(Readers, AnEmptyAnswerKeepsADefaultOutsideTheRange) {
  answers("\n300\n\n");
  EXPECT_EQ(i_getNumberInRange("Flash", 300, 0, 255), 300);
  EXPECT_EQ(i_getNumberInRange("Hold", -1, 0, 32767), -1);
  const std::string text = said();
  EXPECT_TRUE(contains(text, "? 300 is too large, must be less than 256\n"));
  EXPECT_FALSE(contains(text, "too small"));
}

TEST_F(Readers, YesAndNoInAnyCaseAndAbbreviation) {
  i_giveBackLine("y Ye N no ~ YES go");
  EXPECT_TRUE(get_yesno("Sure", false));
  EXPECT_TRUE(get_yesno("Sure", false));
  EXPECT_FALSE(get_yesno("Sure", true));
  EXPECT_FALSE(get_yesno("Sure", true));
  EXPECT_TRUE(get_yesno("Sure", false));  // "~" is no escape here: asked again
  EXPECT_TRUE(get_boolean("Mode", "QUIT", "GO", false));
  // The empty word abbreviates no choice.
  EXPECT_TRUE(contains(said(), "? Unrecognized \"\"\n"));
}

TEST_F(Readers, OnlyTheCommandWordIsFoldedTheRestKeepsItsCase) {
  TempFile console(
      "@ lower.cmd\nconnect Srv1 user Secret\nmake_call (617) 555-1212 x23\nset log y\n");
  ASSERT_TRUE(testfiles::feedConsole(console));
  EXPECT_EQ(take(get_commandWord("PROBIX", "", true)), "@");
  EXPECT_EQ(take(get_filename("Indirect file", "PROBIX.CMD")), "lower.cmd");
  EXPECT_EQ(take(get_commandWord("PROBIX", "", true)), "CONNECT");
  EXPECT_EQ(take(get_word("Server", "", false)), "Srv1");
  EXPECT_EQ(take(get_word("User", "", true)), "USER");
  EXPECT_EQ(take(get_word("Password", "", false)), "Secret");
  // Later readers still fold for themselves.
  EXPECT_EQ(take(get_commandWord("PROBIX", "", true)), "MAKE_CALL");
  EXPECT_EQ(take(get_phone("Callee", "")), "(617)555-1212 X23");
  EXPECT_EQ(take(get_commandWord("PROBIX", "", true)), "SET");
  const char* const names[] = {"COUNTS", "LOG_FILE", nullptr};
  EXPECT_EQ(get_list("Choose", "COUNTS", names, true), 1);
  EXPECT_TRUE(get_yesno("Sure", false));
}

TEST(PhoneNumbers, ParseNormaliseAndValidate) {
  struct Case {
    const char* typed;
    bool valid;
    const char* normal;
  } const cases[] = {
      {"(617) 555-1212 X23", true, "(617)555-1212 X23"},
      {"617 555-1212", true, "(617)555-1212"},
      {"5551212", true, "555-1212"},
      {"555-1212 X99999", true, "555-1212 X99999"},
      {"6175551212", true, "(617)555-1212"},
      {"011 44 1234", true, "(011)044-1234"},
      {"011 44 20 7946 0000", true, "011 44 20 7946 0000"},
      {"555-1212 X123456", false, "555-1212 X123456"},
      {"555-1212 X12345678901234", false, "555-1212 X12345678901234"},
      {"000-1212", false, "000-1212"},
      {"555-1212 and more", false, "555-1212 and more"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_valid_phone(c.typed), c.valid) << c.typed;
    char* normal = normalize_phone(c.typed);
    EXPECT_STREQ(normal, c.normal) << c.typed;
    errfree(normal);
  }
}

TEST_F(Readers, PhoneQuestionOffersToKeepAnOddNumber) {
  answers("(617) 555-1212 x23\n555-1212 X123456\nN\n~\n555-1212 X123456\nY\n");
  EXPECT_EQ(take(get_phone("Callee", "")), "(617)555-1212 X23");
  EXPECT_EQ(take(get_phone("Callee", "")), "");
  EXPECT_EQ(take(get_phone("Callee", "")), "555-1212 X123456");
  EXPECT_TRUE(
      contains(said(), "Phone number \"555-1212 X123456\" is not a US style phone number.\n"));
}

TEST_F(Readers, AreaCodes) {
  answers("(617)\n6170\n5\n~\n-1\n\n");
  EXPECT_EQ(take(get_areaCode("Area code", "508")), "617");
  EXPECT_EQ(take(get_areaCode("Area code", "508")), "005");
  EXPECT_EQ(take(get_areaCode("Area code", "508")), "");
  EXPECT_EQ(take(get_areaCode("Area code", "508")), "508");
  std::string text = said();
  EXPECT_TRUE(contains(text, "Invalid area code \"6170\"\n"));
  EXPECT_TRUE(contains(text, "Invalid area code \"-1\"\n"));
}

TEST_F(Readers, FileNamesTakeTheDefaultsParts) {
  answers("test\n.TXT\nCOM2\nA:\n\n~\n.\nname.ext.more\ngreeting\n");
  const char* expected[] = {"test.CMD", "PROBIX.TXT", "COM2", "A:", "PROBIX.CMD", "", "name.ext.more"};
  for (const char* e : expected) EXPECT_EQ(take(get_filename("Indirect file", "PROBIX.CMD")), e);
  // No extension to give: no dangling dot.
  EXPECT_EQ(take(get_filename("Play file", "HELLO")), "greeting");
  EXPECT_TRUE(contains(said(), "? Bad format for filename \".\"\n"));

  TempFile console("\n");
  ASSERT_TRUE(testfiles::feedConsole(console));
  i_endUserInput();
  testing::internal::CaptureStdout();
  EXPECT_EQ(take(get_filename("Log commands in file", ".CMD")), ".CMD");
  EXPECT_EQ(capturedStdout(), "Log commands in file [.CMD]: \n");
}

TEST_F(Readers, FileNamesKeepEveryDotButTheExtensionsOwn) {
  answers(
      "./important.log\nold.reports/q1.log\nold.reports/q1\n../scripts/x.cmd\nmy.test.cmd\n"
      "dir/.hidden\n.profile\nA:x\nx.\ndir/\n..\n");
  const char* expected[] = {"./important.log", "old.reports/q1.log", "old.reports/q1.LOG",
                            "../scripts/x.cmd", "my.test.cmd", "dir/.hidden.LOG",
                            "PROBIX.profile", "A:x.LOG", "x.LOG"};
  for (const char* e : expected) EXPECT_EQ(take(get_filename("Log file", "PROBIX.LOG")), e);
  // A folder is no file: asked again, and the guard's line is taken as a name.
  take(get_filename("Log file", "PROBIX.LOG"));
  const std::string text = said();
  EXPECT_TRUE(contains(text, "? Bad format for filename \"dir/\"\n"));
  EXPECT_TRUE(contains(text, "? Bad format for filename \"..\"\n"));

  char* name = nullptr;
  char* ext = nullptr;
  ASSERT_TRUE(parse_filename(" a.b/c.d.e ", &name, &ext));
  EXPECT_EQ(take(name), "a.b/c.d");
  EXPECT_EQ(take(ext), "e");
}

TEST(Fields, CountedFromOneWithOrWithoutRuns) {
  auto field = [](const char* d, const char* line, int n, bool runs, bool after) {
    char* f = after ? i_afterField(d, line, n, runs) : i_getField(d, line, n, runs);
    std::string s = f;
    errfree(f);
    return s;
  };
  EXPECT_EQ(field(" \t", "  one \t two three", 2, true, false), "two");
  EXPECT_EQ(field(",", "a,,c", 2, false, false), "");
  EXPECT_EQ(field(",", "a,,c", 3, false, false), "c");
  EXPECT_EQ(field(",", "a,,c", 4, false, false), "");
  EXPECT_EQ(field(" ", std::string(300, 'w').c_str(), 1, true, false), std::string(200, 'w'));
  EXPECT_EQ(field(" \t", "one two  three", 1, true, true), "two  three");
  EXPECT_EQ(field(",", "a,,c", 1, false, true), ",c");
  EXPECT_EQ(field(" ", "one  ", 1, true, true), "");
}
