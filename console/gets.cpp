// Console line editor: Emacs-style keys, PC cursor keys, a ring of the last
// 25 lines. The editing itself (edit_line) only sees a key source and a
// screen; echo_gets binds it to the console.
#include "console/gets.h"

#include <cstdio>
#include <cstring>

#include "console/input.h"
#include "console/settings.h"
#include "platform/platform.h"

namespace {

const char CTRL_A = 1, CTRL_B = 2, CTRL_D = 4, CTRL_E = 5, CTRL_F = 6, CTRL_H = 8,
           CTRL_K = 11, CTRL_N = 14, CTRL_P = 16, CTRL_T = 20, CTRL_Y = 25;
const int DEL_KEY = 127;

int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// Bounded copy that always terminates; returns the length copied.
int copy_text(char* to, const char* from, int room) {
  int n = static_cast<int>(std::strlen(from));
  if (n > room - 1) n = room - 1;
  std::memcpy(to, from, static_cast<size_t>(n));
  to[n] = '\0';
  return n;
}

class Editor {
 public:
  Editor(EditorScreen& screen, char* line) : screen_(screen), line_(line) {}

  void start(int row, int column) {
    if (row < 0 || column < 0) {
      int r = SCREEN_ROWS - 1, c = 0;  // bottom row is the best guess when nobody can tell
      if (!screen_.where(&r, &c)) {
        r = SCREEN_ROWS - 1;
        c = 0;
      }
      if (row < 0) row = r;
      if (column < 0) column = c;
    }
    row0_ = row < 0 ? 0 : row;  // terminals may have more than 24 rows
    col0_ = clamp(column, 0, SCREEN_COLUMNS - 1);
    line_[EDIT_LINE_MAX] = '\0';
    len_ = static_cast<int>(std::strlen(line_));
    pos_ = len_;
    drawnRows_ = 0;
    rowsMade_ = 0;
    draw();
  }

  int length() const { return len_; }

  // Output came between keys: the line starts again at the cursor.
  void redrawHere() {
    int r = row0_, c = col0_;
    if (screen_.where(&r, &c)) {
      row0_ = r < 0 ? 0 : r;
      col0_ = clamp(c, 0, SCREEN_COLUMNS - 1);
    }
    drawnRows_ = 0;
    rowsMade_ = 0;
    draw();
  }

  bool insert(const char* text, int n) {
    if (n <= 0 || len_ + n > EDIT_LINE_MAX) return false;
    std::memmove(line_ + pos_ + n, line_ + pos_, static_cast<size_t>(len_ - pos_ + 1));
    std::memcpy(line_ + pos_, text, static_cast<size_t>(n));
    len_ += n;
    pos_ += n;
    draw();
    return true;
  }

  // Removes n characters starting at position at.
  void erase(int at, int n) {
    std::memmove(line_ + at, line_ + at + n, static_cast<size_t>(len_ - at - n + 1));
    len_ -= n;
    if (pos_ > at) pos_ = pos_ - n < at ? at : pos_ - n;
    draw();
  }

  bool backspace() {
    if (pos_ == 0) return false;
    erase(pos_ - 1, 1);
    return true;
  }
  bool deleteUnder() {
    if (pos_ >= len_) return false;
    erase(pos_, 1);
    return true;
  }
  // Cuts from the cursor to the end into kill; true when the line changed.
  bool kill(char* killBuffer) {
    copy_text(killBuffer, line_ + pos_, EDIT_LINE_MAX + 1);
    if (pos_ == len_) return false;
    line_[pos_] = '\0';
    len_ = pos_;
    draw();
    return true;
  }
  bool transpose() {
    if (len_ < 2 || pos_ == 0 || pos_ >= len_) return false;
    char c = line_[pos_];
    line_[pos_] = line_[pos_ - 1];
    line_[pos_ - 1] = c;
    draw();
    return true;
  }
  void replace(const char* text) {
    len_ = copy_text(line_, text, EDIT_LINE_MAX + 1);
    pos_ = len_;
    draw();
  }
  void moveCursor(int to) {
    pos_ = clamp(to, 0, len_);
    placeCursor();
    screen_.flush();
  }
  int cursor() const { return pos_; }

 private:
  // The line runs on from column 79 to column 0 of the next row.
  void placeCursor() {
    int offset = col0_ + pos_;
    makeRoom(offset / SCREEN_COLUMNS);  // behind a line that fills its last row
    screen_.moveTo(row0_ + offset / SCREEN_COLUMNS, offset % SCREEN_COLUMNS);
  }

  // Makes sure the rows down to lastRow (relative to the line's start)
  // exist, by going down a row at a time as output does: at the bottom the
  // screen scrolls and the line's start moves up with it. Where the line
  // then stands is asked of the screen, which knows its own height; if it
  // cannot tell, a screen of 24 rows is assumed.
  void makeRoom(int lastRow) {
    if (lastRow <= rowsMade_) return;
    screen_.moveTo(row0_ + rowsMade_, 0);
    for (int r = rowsMade_; r < lastRow; ++r) screen_.newLine();
    int row = 0, column = 0;
    if (screen_.where(&row, &column))
      row0_ = row - lastRow;
    else if (row0_ + lastRow > SCREEN_ROWS - 1)
      row0_ = SCREEN_ROWS - 1 - lastRow;
    if (row0_ < 0) row0_ = 0;
    rowsMade_ = lastRow;
  }

  // Writes the whole line row by row from its start, clears what follows it
  // (including rows left over from a longer line) and puts the cursor back.
  void draw() {
    int lastTextRow = len_ > 0 ? (col0_ + len_ - 1) / SCREEN_COLUMNS : 0;
    int cursorRow = (col0_ + pos_) / SCREEN_COLUMNS;
    makeRoom(lastTextRow > cursorRow ? lastTextRow : cursorRow);
    int done = 0, rowIndex = 0, column = col0_, endColumn = col0_;
    for (;;) {
      int n = SCREEN_COLUMNS - column;
      if (n > len_ - done) n = len_ - done;
      screen_.moveTo(row0_ + rowIndex, column);
      if (n > 0) screen_.write(line_ + done, n);
      done += n;
      endColumn = column + n;
      if (done >= len_) break;
      ++rowIndex;
      column = 0;
    }
    // A full last row has nothing left to clear; clearing there would erase
    // its last character on terminals that hold the cursor at column 79.
    if (endColumn < SCREEN_COLUMNS) screen_.clearToEndOfRow();
    for (int r = lastTextRow + 1; r <= drawnRows_; ++r) {
      screen_.moveTo(row0_ + r, 0);
      screen_.clearToEndOfRow();
    }
    drawnRows_ = lastTextRow;
    placeCursor();
    screen_.flush();
  }

  EditorScreen& screen_;
  char* line_;
  int len_ = 0, pos_ = 0;
  int row0_ = 0, col0_ = 0;
  int drawnRows_ = 0;  // rows below the first that hold text of the line
  int rowsMade_ = 0;   // rows below the first known to be on the screen
};

}  // namespace

void history_clear(EditorHistory* history) {
  std::memset(history->strings, 0, sizeof history->strings);
  history->curcom = 0;
}

int translate_key(int key, int scan, bool translateAll) {
  if (key != 0) return key & 0xFF;
  switch (scan) {
    case 59: return EDKEY_F1;
    case 60: return EDKEY_F2;
    case 61: return EDKEY_F3;
    case 71: return EDKEY_HOME;
    case 72: return EDKEY_UP;
    case 75: return EDKEY_LEFT;
    case 77: return EDKEY_RIGHT;
    case 79: return EDKEY_END;
    case 80: return EDKEY_DOWN;
    default: return translateAll ? EDKEY_OTHER_EXTENDED + (scan & 0xFF) : scan;
  }
}

char* edit_line(EditorKeys& keys, EditorScreen& screen, EditorHistory& history, int row,
                int column, char* buffer) {
  Editor ed(screen, buffer);
  ed.start(row, column);
  char killBuffer[EDIT_LINE_MAX + 1] = "";
  int browse = history.curcom;
  bool recalled = false, edited = false;

  for (;;) {
    int key = keys.nextKey();
    if (key == EDKEY_END_OF_INPUT) {
      if (ed.length() == 0) return nullptr;
      break;
    }
    if (key == '\r' || key == '\n') break;
    if (key == EDKEY_REDRAW) {
      ed.redrawHere();
      continue;
    }
    bool changed = false;
    if (key >= ' ' && key < DEL_KEY) {
      char c = static_cast<char>(key);
      changed = ed.insert(&c, 1);
    } else {
      switch (key) {
        case CTRL_A:
        case EDKEY_HOME: ed.moveCursor(0); break;
        case CTRL_E:
        case EDKEY_END: ed.moveCursor(ed.length()); break;
        case CTRL_B:
        case EDKEY_LEFT: ed.moveCursor(ed.cursor() - 1); break;
        case CTRL_F:
        case EDKEY_RIGHT: ed.moveCursor(ed.cursor() + 1); break;
        case CTRL_H:
        case DEL_KEY: changed = ed.backspace(); break;
        case CTRL_D: changed = ed.deleteUnder(); break;
        case CTRL_K: changed = ed.kill(killBuffer); break;
        case CTRL_Y:
          changed = ed.insert(killBuffer, static_cast<int>(std::strlen(killBuffer)));
          break;
        case CTRL_T: changed = ed.transpose(); break;
        case CTRL_P:
        case EDKEY_UP:
        case EDKEY_F3:
          browse = browse == 0 ? HISTORY_SIZE - 1 : browse - 1;
          ed.replace(history.strings[browse]);
          recalled = true;
          edited = false;
          break;
        case CTRL_N:
        case EDKEY_DOWN:
          browse = browse == HISTORY_SIZE - 1 ? 0 : browse + 1;
          ed.replace(history.strings[browse]);
          recalled = true;
          edited = false;
          break;
        default: break;  // anything else does nothing
      }
    }
    if (changed) edited = true;
  }
  // The caller's line end must come after the whole line, not inside it.
  ed.moveCursor(ed.length());

  if (ed.length() > 0 && (!recalled || edited)) {
    copy_text(history.strings[history.curcom], buffer, EDIT_LINE_MAX + 1);
    history.curcom = (history.curcom + 1) % HISTORY_SIZE;
  }
  return buffer;
}

// ---- the console -----------------------------------------------------------

namespace {

EditorHistory consoleHistory;  // zero-initialised: every entry empty, curcom 0

class ConsoleKeys : public EditorKeys {
 public:
  int nextKey() override {
    // Between keys the events go on (automatic mode), and a stop request
    // gives the line up.
    if (givingUp_) return EDKEY_END_OF_INPUT;
    while (!plat_key_waiting()) {
      const int what = i_whileEditing();
      // The stop was reported on the screen: the line is drawn below it
      // before it is given up, so nothing is written over the report.
      if (what < 0) givingUp_ = true;
      if (what != 0) return EDKEY_REDRAW;
      // Ready with no key: the terminal has gone, and the read says so.
      if (plat_stdin_wait(20) && !plat_key_waiting()) break;
    }
    int scan = 0;
    int key = plat_read_key(&scan);
    if (key < 0) return EDKEY_END_OF_INPUT;
    return translate_key(key, scan, true);
  }

 private:
  bool givingUp_ = false;
};

class ConsoleScreen : public EditorScreen {
 public:
  bool where(int* row, int* column) override {
    std::fflush(stdout);
    return plat_console_get_cursor(row, column);
  }
  void moveTo(int row, int column) override { gotorc(row, column); }
  void write(const char* text, int length) override {
    std::fwrite(text, 1, static_cast<size_t>(length), stdout);
  }
  void clearToEndOfRow() override { putp(1); }
  void newLine() override { std::fputc('\n', stdout); }
  void flush() override { std::fflush(stdout); }
};

// Without a terminal there is nothing to edit on: take the next plain line.
char* read_plain_line(char* buffer) {
  int n = 0, key = 0, scan = 0;
  bool any = false;
  while ((key = plat_read_key(&scan)) >= 0) {
    any = true;
    if (key == '\n') break;
    if (key == '\r' || key == 0) continue;
    if (n < EDIT_LINE_MAX) buffer[n++] = static_cast<char>(key);
  }
  buffer[n] = '\0';
  return any ? buffer : nullptr;
}

}  // namespace

int mgetch() {
  int scan = 0;
  int key = plat_read_key(&scan);
  if (key < 0) return -1;
  return translate_key(key, scan, false);
}

void gotorc(int row, int column) { plat_console_goto(row, column); }

void putp(int kind) {
  if (kind == 1) plat_console_clear_eol();
}

char* echo_gets(int row, int column, char* buffer) {
  if (!plat_stdin_is_terminal()) return read_plain_line(buffer);
  plat_console_raw(true);
  ConsoleKeys keys;
  ConsoleScreen screen;
  char* result = edit_line(keys, screen, consoleHistory, row, column, buffer);
  plat_console_raw(false);
  return result;
}
