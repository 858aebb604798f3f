#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/test_files.h"

using testfiles::capturedStdout;
using testfiles::CapturedOutput;
using testfiles::contains;
using testfiles::TempFile;

namespace {
const char* const getWords[] = {"DIALED_DIGITS", "DIGITS",    "LINE_INFO",   "SNAPSHOT",
                                "SPAN_INFO",     "STREAM_INFO", "SYSTEM_INFO", nullptr};
const char* const reportWords[] = {"COMM_PORT_ERRORS", "COUNTS", "PER_SECOND_HISTORY",
                                   "SPACE", "STATUS", "STREAM_INFO", nullptr};
}  // namespace

TEST(CompareName, NumbersSortByValueAndCaseIsIgnored) {
  EXPECT_LT(compare_name("LINE2", "LINE10", 10), 0);
  EXPECT_GT(compare_name("LINE10", "LINE2", 10), 0);
  EXPECT_LT(compare_name("L1#2", "L1#10", 10), 0);
  EXPECT_GT(compare_name("LINE02", "LINE2", 10), 0);  // same value: more digits later
  EXPECT_LT(compare_name("LINE2", "LINE02", 10), 0);
  EXPECT_EQ(compare_name("line10", "LINE10", 10), 0);
  EXPECT_EQ(compare_name("LINE", "LINE  \t", 10), 0);  // trailing blanks do not count
  EXPECT_EQ(compare_name("LI", "LINE", 2), 0);
  // A length of 0 still compares the first characters.
  EXPECT_NE(compare_name("", "LINE", 0), 0);
  EXPECT_EQ(compare_name("", "", 0), 0);
}

TEST(FindCommand, ExactBeatsAbbreviationAndTwoAbbreviationsAreAmbiguous) {
  EXPECT_EQ(find_command("S", getWords), -1);
  EXPECT_EQ(find_command("sn", getWords), 3);
  EXPECT_EQ(find_command("DIGITS", getWords), 1);
  EXPECT_EQ(find_command("ZZZ", getWords), -2);
  EXPECT_EQ(find_command(nullptr, getWords), -1);
  EXPECT_EQ(find_command("", getWords), -2);
  const char* const single[] = {"ONLY", nullptr};
  EXPECT_EQ(find_command("", single), -2);
  const char* const shortLater[] = {"CONNECTION", "CON", "CONFERENCE", nullptr};
  EXPECT_EQ(find_command("CON", shortLater), 1);
  EXPECT_EQ(find_command("CONN", shortLater), 0);
}

TEST(GetList, ListsOnQuestionMarkReportsBadWordsAndCancels) {
  CapturedOutput out;
  bool tabs = set_tabs_allowed(false);
  testing::internal::CaptureStdout();
  i_giveBackLine("? S XYZ str ~");
  EXPECT_EQ(get_list("Choose what to report", "STREAM_INFO", reportWords, true), 5);
  EXPECT_EQ(get_list("Choose what to report", "STREAM_INFO", reportWords, true), -1);
  std::string text = capturedStdout();
  set_tabs_allowed(tabs);
  EXPECT_TRUE(contains(text, "? Ambiguous - please type a longer string - \"S\"\n"));
  EXPECT_TRUE(contains(text, "? Unrecognized \"XYZ\"\n"));
  // Room for four columns nineteen apart; two rows, then an empty line.
  EXPECT_EQ(out.text(), "COMM_PORT_ERRORS   PER_SECOND_HISTORY STATUS\nCOUNTS" +
                            std::string(13, ' ') + "SPACE" + std::string(14, ' ') +
                            "STREAM_INFO\n\n");
}

TEST(ColumnList, FortyNineWordsInFourColumnsOfThirteenRows) {
  std::vector<std::string> words = {"", "SMDR_START_LOGGING"};
  while (words.size() < 48) words.push_back("W" + std::to_string(words.size()));
  words.push_back("QUIT");
  std::vector<const char*> list;
  for (auto& w : words) list.push_back(w.c_str());
  list.push_back(nullptr);

  for (bool tabs : {false, true}) {
    CapturedOutput out;
    bool previous = set_tabs_allowed(tabs);
    o_print_list(list.data(), 0, 80, 0, nullptr);
    set_tabs_allowed(previous);
    std::vector<std::string> rows(1);
    for (char c : out.text()) {
      if (c == '\n')
        rows.emplace_back();
      else if (c == '\t')
        do rows.back() += ' '; while (rows.back().size() % 8 != 0);
      else
        rows.back() += c;
    }
    ASSERT_EQ(rows.size(), 15u);  // 13 rows, the empty line, nothing after
    EXPECT_EQ(rows[13], "");
    // Row j holds words j, 13 + j, 26 + j and 39 + j at 0, 19, 38 and 57.
    for (int j = 0; j < 13; j++) {
      for (int k = 0; k < 4; k++) {
        std::size_t i = static_cast<std::size_t>(k * 13 + j);
        if (i < words.size()) {
          EXPECT_EQ(rows[j].compare(static_cast<std::size_t>(k) * 19, words[i].size(), words[i]), 0)
              << rows[j];
        } else {
          EXPECT_LT(rows[j].size(), 57u);
        }
      }
    }
    EXPECT_EQ(rows[9].substr(57), "QUIT");
  }
}

TEST(ColumnList, RecordsWithStrideAndMinimumRowsShowEveryEntryAndPause) {
  struct Row {
    int code;
    const char* name;
  } const rows[] = {{1, "ONE"}, {2, "TWO"},   {3, "THREE"}, {4, "FOUR"}, {5, "FIVE"}, {6, "SIX"},
                    {7, "SEVEN"}, {8, "EIGHT"}, {9, "NINE"}, {10, "TEN"}, {0, nullptr}};
  {
    CapturedOutput out;
    o_print_slist(rows, sizeof(Row), offsetof(Row, name), 3, 80, 0, nullptr);
    std::string text = out.text();
    for (const Row& r : rows) {
      if (r.name) {
        EXPECT_TRUE(contains(text, r.name)) << r.name << " missing from\n" << text;
      }
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);  // three rows, empty line
  }

  TempFile guard("<no more answers>\n"), script("page one\npage two\nafter\n");
  ASSERT_TRUE(addIndirectFile(guard.path()));
  ASSERT_TRUE(addIndirectFile(script.path()));
  {
    CapturedOutput out;
    o_print_list(reportWords, 0, 2, 2, "More");  // one word a row, a pause every two
  }
  char* next = get_line("Next", "", false);
  EXPECT_STREQ(next, "<no more answers>");
  errfree(next);
  i_endUserInput();
}
