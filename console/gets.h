// The console line editor's core, kept apart from the console so that tests
// can drive it with scripted keys and watch what it does to a screen.
#pragma once

// Key codes of the editor (mgetch): ordinary keys are their character; the
// cursor and function keys of a PC keyboard are translated to these.
enum {
  EDKEY_UP = 0x81,
  EDKEY_DOWN = 0x82,
  EDKEY_LEFT = 0x83,
  EDKEY_RIGHT = 0x84,
  EDKEY_F1 = 0x85,
  EDKEY_F2 = 0x86,
  EDKEY_F3 = 0x87,
  EDKEY_HOME = 0x88,
  EDKEY_END = 0x89,
  // Extended keys without a translation come as this plus their scan code,
  // so they can never be mistaken for a printable character.
  EDKEY_OTHER_EXTENDED = 0x100,
  EDKEY_END_OF_INPUT = -1,
  // Not a key: something else wrote to the screen meanwhile, so the line is
  // drawn again where the cursor now stands.
  EDKEY_REDRAW = -2,
};

const int EDIT_LINE_MAX = 127;  // characters in a line; buffers hold 128 bytes
const int HISTORY_SIZE = 25;
const int SCREEN_ROWS = 24;  // assumed only when the cursor cannot be asked
const int SCREEN_COLUMNS = 80;

// Where the editor reads its keys from.
class EditorKeys {
 public:
  virtual ~EditorKeys() {}
  virtual int nextKey() = 0;  // a code as above, or EDKEY_END_OF_INPUT
};

// What the editor does to the screen. Rows and columns count from 0.
class EditorScreen {
 public:
  virtual ~EditorScreen() {}
  virtual bool where(int* row, int* column) = 0;
  virtual void moveTo(int row, int column) = 0;
  // Writes text at the cursor; the editor never writes past column 79.
  virtual void write(const char* text, int length) = 0;
  virtual void clearToEndOfRow() = 0;
  // To the start of the next row; on the bottom row the screen scrolls up.
  virtual void newLine() = 0;
  virtual void flush() = 0;
};

// The ring of lines entered; lives as long as its owner (the process, for
// the console).
struct EditorHistory {
  char strings[HISTORY_SIZE][EDIT_LINE_MAX + 1];
  int curcom;  // the slot the next stored line fills
};

void history_clear(EditorHistory* history);

// Edits buffer (room for EDIT_LINE_MAX + 1 bytes; its text is kept and shown)
// at (row, column), -1 meaning the cursor's current one, until Enter.
// Returns buffer, or null when the keys ended before anything was typed.
char* edit_line(EditorKeys& keys, EditorScreen& screen, EditorHistory& history, int row,
                int column, char* buffer);

// Turns a key from the console (character, or 0 and a scan code) into an
// editor code. With translateAll off, unknown scan codes come back unchanged,
// as mgetch gives them.
int translate_key(int key, int scan, bool translateAll);

int mgetch();
void gotorc(int row, int column);
void putp(int kind);  // 1: clear from the cursor to the end of the row
