#include "console/gets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class FakeTerminal;
void cursor_of(FakeTerminal* screen, int* row, int* column);

// Keys from a script; the script running out is the end of input. With a
// screen to watch, notes where the cursor stood when the keys ran out.
class ScriptKeys : public EditorKeys {
 public:
  explicit ScriptKeys(std::vector<int> keys, FakeTerminal* watch = nullptr)
      : keys_(std::move(keys)), watch_(watch) {}
  int nextKey() override {
    if (next_ < keys_.size()) return keys_[next_++];
    if (watch_) cursor_of(watch_, &row, &column);
    return EDKEY_END_OF_INPUT;
  }
  int row = -1, column = -1;

 private:
  std::vector<int> keys_;
  FakeTerminal* watch_;
  size_t next_ = 0;
};

std::vector<int> typed(const std::string& text) { return std::vector<int>(text.begin(), text.end()); }

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<int> ENTER = {'\r'};

// A terminal 80 columns wide: wraps after column 79 and scrolls at the
// bottom. It can be told to keep the cursor position to itself.
class FakeTerminal : public EditorScreen {
 public:
  explicit FakeTerminal(int height = SCREEN_ROWS)
      : rows_(height, std::string(SCREEN_COLUMNS, ' ')), height_(height) {}

  bool where(int* row, int* column) override {
    if (!answers) return false;
    *row = row_;
    *column = col_;
    return true;
  }
  void moveTo(int row, int column) override {
    EXPECT_TRUE(row >= 0 && row < height_ && column >= 0 && column < SCREEN_COLUMNS)
        << "cursor sent off screen to " << row << "," << column;
    row_ = row;
    col_ = column;
  }
  void write(const char* text, int length) override {
    for (int i = 0; i < length; ++i) {
      if (col_ >= SCREEN_COLUMNS) {
        col_ = 0;
        newRow();
      }
      rows_[row_][col_++] = text[i];
    }
  }
  void clearToEndOfRow() override {
    EXPECT_LT(col_, SCREEN_COLUMNS) << "clearing at a full row erases its last character";
    for (int c = col_; c < SCREEN_COLUMNS; ++c) rows_[row_][c] = ' ';
  }
  void newLine() override {
    col_ = 0;
    newRow();
  }
  void flush() override {}

  // Puts text on the screen the way the program's own output does.
  void print(int row, int column, const std::string& text) {
    moveTo(row, column);
    write(text.data(), static_cast<int>(text.size()));
  }
  std::string row(int r) const {
    std::string s = rows_[r];
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  int cursorRow() const { return row_; }
  int cursorColumn() const { return col_; }
  bool answers = true;

 private:
  void newRow() {
    if (row_ == height_ - 1) {
      rows_.erase(rows_.begin());
      rows_.push_back(std::string(SCREEN_COLUMNS, ' '));
    } else {
      ++row_;
    }
  }
  std::vector<std::string> rows_;
  int height_;
  int row_ = 0, col_ = 0;
};

void cursor_of(FakeTerminal* screen, int* row, int* column) {
  *row = screen->cursorRow();
  *column = screen->cursorColumn();
}

class LineEditor : public ::testing::Test {
 protected:
  void SetUp() override { history_clear(&history); }

  // One console line at the prompt's end: returns what echo_gets would.
  std::string enter(const std::vector<int>& keys) {
    ScriptKeys source(keys);
    char buffer[EDIT_LINE_MAX + 1] = "";
    char* result = edit_line(source, screen, history, -1, -1, buffer);
    EXPECT_EQ(result, buffer);
    return buffer;
  }

  EditorHistory history;
  FakeTerminal screen;
};

const int CTRL_A = 1, CTRL_B = 2, CTRL_D = 4, CTRL_E = 5, CTRL_H = 8, CTRL_K = 11, CTRL_N = 14,
          CTRL_P = 16, CTRL_T = 20, CTRL_Y = 25;

TEST_F(LineEditor, CursorMovesAndInsertsInTheMiddle) {
  EXPECT_EQ(enter(typed("abc") + std::vector<int>{EDKEY_LEFT, EDKEY_LEFT, 'X'} + ENTER), "aXbc");
  EXPECT_EQ(enter(typed("bc") + std::vector<int>{CTRL_A, 'a', CTRL_E, 'd', '\n'}), "abcd");
  // Left stops at the start, Right at the end.
  EXPECT_EQ(enter(typed("b") + std::vector<int>{EDKEY_LEFT, EDKEY_LEFT, 'a', EDKEY_RIGHT,
                                                EDKEY_RIGHT, 'c'} + ENTER),
            "abc");
  EXPECT_EQ(enter(typed("xyz") + std::vector<int>{EDKEY_HOME, CTRL_D, EDKEY_END, CTRL_D} + ENTER),
            "yz");
}

TEST_F(LineEditor, EnterInTheMiddleReturnsTheWholeLine) {
  EXPECT_EQ(enter(typed("connect") + std::vector<int>{CTRL_B, CTRL_B, CTRL_B} + ENTER), "connect");
  // The cursor is left behind the line, so what is printed next cannot
  // land on the part of it that wrapped.
  char buffer[EDIT_LINE_MAX + 1] = "";
  ScriptKeys keys(typed(std::string(90, 'm')) + std::vector<int>{EDKEY_HOME} + ENTER);
  edit_line(keys, screen, history, 10, 0, buffer);
  EXPECT_EQ(screen.cursorRow(), 11);
  EXPECT_EQ(screen.cursorColumn(), 10);
}

TEST_F(LineEditor, BackspaceAndDeleteRemoveBeforeTheCursor) {
  EXPECT_EQ(enter(typed("abcd") + std::vector<int>{EDKEY_LEFT, CTRL_H, 127} + ENTER), "ad");
  EXPECT_EQ(enter(std::vector<int>{CTRL_H, 127} + typed("x") + std::vector<int>{CTRL_A, CTRL_H} +
                  ENTER),
            "x");
}

TEST_F(LineEditor, KillThenYankRestoresTheLine) {
  EXPECT_EQ(enter(typed("hello") + std::vector<int>{CTRL_A, CTRL_K} + ENTER), "");
  EXPECT_EQ(enter(typed("hello") + std::vector<int>{CTRL_A, CTRL_K, CTRL_Y} + ENTER), "hello");
  // Yank twice at the end of a partial kill; the kill buffer does not outlive the line.
  EXPECT_EQ(enter(typed("abcd") + std::vector<int>{EDKEY_LEFT, EDKEY_LEFT, CTRL_K, CTRL_Y, CTRL_Y} +
                  ENTER),
            "abcdcd");
  EXPECT_EQ(enter(typed("q") + std::vector<int>{CTRL_Y} + ENTER), "q");
}

TEST_F(LineEditor, TransposeOnlyBetweenTwoCharacters) {
  EXPECT_EQ(enter(typed("ab") + std::vector<int>{EDKEY_LEFT, CTRL_T} + ENTER), "ba");
  EXPECT_EQ(enter(typed("ab") + std::vector<int>{CTRL_T} + ENTER), "ab");  // at the end
  EXPECT_EQ(enter(typed("ab") + std::vector<int>{CTRL_A, CTRL_T} + ENTER), "ab");
  EXPECT_EQ(enter(typed("a") + std::vector<int>{CTRL_A, CTRL_T} + ENTER), "a");
}

TEST_F(LineEditor, LineHoldsAtMost127Characters) {
  std::string full(EDIT_LINE_MAX, 'x');
  EXPECT_EQ(enter(typed(full + "yz") + ENTER), full);
  // A yank that would overflow is refused whole.
  std::string line = enter(typed(std::string(100, 'a')) + std::vector<int>{CTRL_A, CTRL_K, CTRL_Y,
                                                                          CTRL_Y} + ENTER);
  EXPECT_EQ(line, std::string(100, 'a'));
}

TEST_F(LineEditor, OtherKeysDoNothing) {
  EXPECT_EQ(enter(typed("a") + std::vector<int>{EDKEY_F1, EDKEY_F2, EDKEY_OTHER_EXTENDED + 83,
                                                0x1b, '\t', 0xe9} + typed("b") + ENTER),
            "ab");
}

TEST_F(LineEditor, HistoryIsEmptyAtFirstAndRecallsNewestFirst) {
  EXPECT_EQ(enter(std::vector<int>{EDKEY_UP} + ENTER), "");
  EXPECT_EQ(history.curcom, 0);
  enter(typed("one") + ENTER);
  enter(typed("two") + ENTER);
  EXPECT_EQ(enter(std::vector<int>{EDKEY_UP} + ENTER), "two");
  EXPECT_EQ(enter(std::vector<int>{CTRL_P, EDKEY_F3} + ENTER), "one");
  // Down from the newest goes past it into the empty slot, then wraps round.
  EXPECT_EQ(enter(std::vector<int>{EDKEY_UP, EDKEY_DOWN} + ENTER), "");
  EXPECT_EQ(enter(std::vector<int>{CTRL_N} + ENTER), "");
  EXPECT_EQ(enter(std::vector<int>(23, CTRL_N) + ENTER), "one");  // slot 24, then 0
  EXPECT_EQ(history.curcom, 2);
}

TEST_F(LineEditor, RecalledLineIsStoredAgainOnlyWhenEdited) {
  enter(typed("dial 201") + ENTER);
  enter(typed("snapshot") + ENTER);
  EXPECT_EQ(enter(std::vector<int>{EDKEY_UP} + ENTER), "snapshot");
  EXPECT_EQ(history.curcom, 2);
  EXPECT_EQ(enter(std::vector<int>{EDKEY_UP, EDKEY_UP, CTRL_H, '2'} + ENTER), "dial 202");
  EXPECT_EQ(history.curcom, 3);
  EXPECT_STREQ(history.strings[2], "dial 202");
  // An edit followed by another recall no longer counts.
  enter(typed("x") + std::vector<int>{EDKEY_UP} + ENTER);
  EXPECT_EQ(history.curcom, 3);
  // Moving the cursor, or killing nothing at the end, is no edit; an empty
  // line is never stored.
  enter(std::vector<int>{EDKEY_UP, EDKEY_LEFT, EDKEY_HOME} + ENTER);
  enter(std::vector<int>{EDKEY_UP, CTRL_K, CTRL_T, CTRL_D} + ENTER);
  enter(ENTER);
  EXPECT_EQ(history.curcom, 3);
}

TEST_F(LineEditor, TwentySixthLineOverwritesTheOldest) {
  for (int i = 1; i <= 26; ++i) enter(typed("line " + std::to_string(i)) + ENTER);
  EXPECT_EQ(history.curcom, 1);
  EXPECT_STREQ(history.strings[0], "line 26");
  EXPECT_STREQ(history.strings[1], "line 2");
  std::vector<int> ups(25, EDKEY_UP);
  EXPECT_EQ(enter(ups + ENTER), "line 2");  // twenty-five back: the oldest still kept
}

TEST_F(LineEditor, EndOfInputGivesTheLineOrNothing) {
  ScriptKeys none({});
  char buffer[EDIT_LINE_MAX + 1] = "";
  EXPECT_EQ(edit_line(none, screen, history, 0, 0, buffer), nullptr);
  ScriptKeys partial(typed("quit"));
  EXPECT_STREQ(edit_line(partial, screen, history, 0, 0, buffer), "quit");
}

TEST_F(LineEditor, ShowsTheLineAfterThePromptAndClearsOldText) {
  screen.print(5, 0, "PROBIX: leftover text");
  screen.moveTo(5, 8);
  EXPECT_EQ(enter(typed("help") + ENTER), "help");
  EXPECT_EQ(screen.row(5), "PROBIX: help");
  EXPECT_EQ(screen.cursorColumn(), 12);
  // A buffer that already holds text is shown and edited at its end.
  char buffer[EDIT_LINE_MAX + 1] = "abc";
  ScriptKeys keys(typed("d") + ENTER);
  edit_line(keys, screen, history, 7, 2, buffer);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(screen.row(7), "  abcd");
}

TEST_F(LineEditor, LongLineWrapsPastColumn79) {
  screen.print(3, 0, std::string(70, '-'));
  std::string text = "0123456789abcdefghij";
  EXPECT_EQ(enter(typed(text) + ENTER), text);
  EXPECT_EQ(screen.row(3), std::string(70, '-') + "0123456789");
  EXPECT_EQ(screen.row(4), "abcdefghij");
  // The cursor crosses the row boundary both ways.
  char buffer[EDIT_LINE_MAX + 1] = "";
  std::strcpy(buffer, text.c_str());
  ScriptKeys home(std::vector<int>{CTRL_A}, &screen);
  edit_line(home, screen, history, 3, 70, buffer);
  EXPECT_EQ(home.row, 3);
  EXPECT_EQ(home.column, 70);
  ScriptKeys left(std::vector<int>{CTRL_A, CTRL_E} + std::vector<int>(11, EDKEY_LEFT), &screen);
  edit_line(left, screen, history, 3, 70, buffer);
  EXPECT_EQ(left.row, 3);
  EXPECT_EQ(left.column, 79);
  ScriptKeys right(std::vector<int>{CTRL_A} + std::vector<int>(10, EDKEY_RIGHT), &screen);
  edit_line(right, screen, history, 3, 70, buffer);
  EXPECT_EQ(right.row, 4);
  EXPECT_EQ(right.column, 0);
}

TEST_F(LineEditor, ShorterLineClearsTheRowItWrappedInto) {
  char buffer[EDIT_LINE_MAX + 1] = "";
  ScriptKeys keys(typed(std::string(15, 'w')) + std::vector<int>{CTRL_A, CTRL_K} + typed("ok") +
                  ENTER);
  edit_line(keys, screen, history, 2, 75, buffer);
  EXPECT_STREQ(buffer, "ok");
  EXPECT_EQ(screen.row(2), std::string(75, ' ') + "ok");
  EXPECT_EQ(screen.row(3), "");
}

TEST_F(LineEditor, LineFillingARowExactlyPutsTheCursorOnTheNext) {
  char buffer[EDIT_LINE_MAX + 1] = "";
  ScriptKeys keys(typed(std::string(10, 'z')));
  edit_line(keys, screen, history, 0, 70, buffer);
  EXPECT_EQ(screen.row(0), std::string(70, ' ') + std::string(10, 'z'));
  EXPECT_EQ(screen.cursorRow(), 1);
  EXPECT_EQ(screen.cursorColumn(), 0);
  // The same on the bottom row, getting there with End.
  buffer[0] = '\0';
  ScriptKeys end(typed(std::string(9, 'z')) + std::vector<int>{EDKEY_LEFT, 'y', EDKEY_END},
                 &screen);
  edit_line(end, screen, history, 23, 70, buffer);
  EXPECT_EQ(screen.row(22), std::string(70, ' ') + std::string(8, 'z') + "yz");
  EXPECT_EQ(end.row, 23);
  EXPECT_EQ(end.column, 0);
}

TEST_F(LineEditor, WrapOnTheBottomRowScrollsTheScreen) {
  screen.print(22, 0, "earlier output");
  screen.print(23, 0, "PROBIX: ");
  std::string text(80, 'k');
  EXPECT_EQ(enter(typed(text) + std::vector<int>{EDKEY_HOME, 'H'} + ENTER), "H" + text);
  EXPECT_EQ(screen.row(21), "earlier output");
  EXPECT_EQ(screen.row(22), "PROBIX: H" + std::string(71, 'k'));
  EXPECT_EQ(screen.row(23), std::string(9, 'k'));
  // Home is on the row the line started on, now one higher.
  ScriptKeys keys(std::vector<int>{EDKEY_HOME}, &screen);
  char buffer[EDIT_LINE_MAX + 1] = "";
  std::strcpy(buffer, text.c_str());
  edit_line(keys, screen, history, 23, 8, buffer);
  EXPECT_EQ(keys.row, 22);
  EXPECT_EQ(keys.column, 8);
}

TEST_F(LineEditor, TallerTerminalScrollsOnlyAtItsOwnBottom) {
  FakeTerminal tall(40);
  char buffer[EDIT_LINE_MAX + 1] = "";
  tall.print(30, 0, "PROBIX: ");
  ScriptKeys keys(typed(std::string(100, 'a')) + ENTER);
  edit_line(keys, tall, history, -1, -1, buffer);
  EXPECT_EQ(tall.row(30), "PROBIX: " + std::string(72, 'a'));
  EXPECT_EQ(tall.row(31), std::string(28, 'a'));
  tall.print(39, 0, "PROBIX: ");
  buffer[0] = '\0';
  ScriptKeys more(typed(std::string(100, 'b')) + ENTER);
  edit_line(more, tall, history, -1, -1, buffer);
  EXPECT_EQ(tall.row(38), "PROBIX: " + std::string(72, 'b'));
  EXPECT_EQ(tall.row(39), std::string(28, 'b'));
}

TEST_F(LineEditor, WithoutCursorReportsA24RowScreenIsAssumed) {
  screen.print(23, 0, "PROBIX: ");
  screen.answers = false;
  char buffer[EDIT_LINE_MAX + 1] = "";
  ScriptKeys keys(typed(std::string(100, 'c')) + ENTER);
  edit_line(keys, screen, history, 23, 8, buffer);
  EXPECT_EQ(screen.row(22), "PROBIX: " + std::string(72, 'c'));
  EXPECT_EQ(screen.row(23), std::string(28, 'c'));
}

TEST(EditorKeys, ScanCodesStayApartFromCharacters) {
  EXPECT_EQ(translate_key(0, 72, false), EDKEY_UP);
  EXPECT_EQ(translate_key(0, 61, true), EDKEY_F3);
  // mgetch hands other scan codes on unchanged; the editor must not take
  // Delete's 83 for an 'S'.
  EXPECT_EQ(translate_key(0, 83, false), 83);
  EXPECT_EQ(translate_key(0, 83, true), EDKEY_OTHER_EXTENDED + 83);
  EXPECT_EQ(translate_key('S', 0, true), 'S');
}

}  // namespace

// Keys that print on the screen partway, as events handled between keys do.
class KeysWithOutput : public EditorKeys {
 public:
  KeysWithOutput(FakeTerminal& screen, std::vector<int> before, std::vector<int> after)
      : screen_(screen), before_(std::move(before)), after_(std::move(after)) {}
  int nextKey() override {
    if (next_ < before_.size()) return before_[next_++];
    if (!printed_) {
      printed_ = true;
      screen_.print(screen_.cursorRow(), screen_.cursorColumn(), "! call logged");
      screen_.newLine();
      return EDKEY_REDRAW;
    }
    const size_t at = next_++ - before_.size();
    return at < after_.size() ? after_[at] : EDKEY_END_OF_INPUT;
  }

 private:
  FakeTerminal& screen_;
  std::vector<int> before_, after_;
  size_t next_ = 0;
  bool printed_ = false;
};

TEST_F(LineEditor, OutputBetweenKeysLeavesTheLineWholeBelowIt) {
  screen.print(2, 0, "PROBIX: ");
  KeysWithOutput keys(screen, typed("hel") + std::vector<int>{EDKEY_LEFT},
                      typed("X") + std::vector<int>{EDKEY_END} + typed("p") + ENTER);
  char buffer[EDIT_LINE_MAX + 1] = "";
  EXPECT_STREQ(edit_line(keys, screen, history, -1, -1, buffer), "heXlp");
  EXPECT_EQ(screen.row(2), "PROBIX: he! call logged");  // written from the cursor on
  // Drawn again where the output left the cursor; editing went on in place.
  EXPECT_EQ(screen.row(3), "heXlp");
  EXPECT_EQ(screen.cursorRow(), 3);
  EXPECT_EQ(screen.cursorColumn(), 5);
  EXPECT_STREQ(history.strings[0], "heXlp");
}
