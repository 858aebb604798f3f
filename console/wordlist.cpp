// Keyword matching and column listings of word lists.
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"

#include <cctype>
#include <cstring>

namespace {

const int MAX_LIST_ENTRIES = 1024;
const int MAX_LIST_WIDTH = 128;

inline char upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool rest_is_blank(const char* s) {
  for (; *s; s++)
    if (!is_white(*s)) return false;
  return true;
}

// Entry i of a list of records, each holding a text pointer at offset.
const char* entry_at(const void* base, int stride, int offset, int i) {
  const char* p = static_cast<const char*>(base) + static_cast<long>(i) * stride + offset;
  const char* text;
  std::memcpy(&text, p, sizeof text);  // records need not be aligned for it
  return text;
}

}  // namespace

static int default_index(const char* defaultText, const char* const* list) {
  const int i = find_command(defaultText, list);
  return i >= 0 ? i : 0;
}

int compare_name(const char* a, const char* b, int len) {
  if (!a) a = "";
  if (!b) b = "";
  unsigned short value = 0;  // digits seen since the last non-digit
  // The length is counted in matched characters, so with a length of 0 the
  // first characters are still compared: the empty word abbreviates nothing.
  for (int i = 0;; i++) {
    char ca = upper(a[i]);
    char cb = upper(b[i]);
    if (ca == cb) {
      if (ca == '\0') return 0;
      value = is_digit(ca) ? static_cast<unsigned short>(value * 10 + (ca - '0')) : 0;
      if (i + 1 >= len) return 0;
      continue;
    }
    if (a[i] == '\0' && rest_is_blank(b + i)) return 0;
    if (b[i] == '\0' && rest_is_blank(a + i)) return 0;
    if (!is_digit(ca) && !is_digit(cb))
      return static_cast<signed char>(ca) > static_cast<signed char>(cb) ? 1 : -1;

    // Numbers inside names compare by value: LINE2 before LINE10.
    unsigned short numberA = value, numberB = value;
    int digitsA = 0, digitsB = 0;
    for (int j = i; j < len && is_digit(b[j]); j++, digitsB++)
      numberB = static_cast<unsigned short>(numberB * 10 + (b[j] - '0'));
    for (int j = i; j < len && is_digit(a[j]); j++, digitsA++)
      numberA = static_cast<unsigned short>(numberA * 10 + (a[j] - '0'));
    if (numberB < numberA) return 1;
    if (numberB > numberA) return -1;
    return digitsB < digitsA ? 1 : -1;
  }
}

int find_command(const char* word, const char* const* list) {
  if (!word || !list) return -1;
  int wordLen = static_cast<int>(std::strlen(word));
  int matches = 0;
  int first = -2;
  for (int i = 0; list[i]; i++) {
    int entryLen = static_cast<int>(std::strlen(list[i]));
    if (compare_name(word, list[i], wordLen > entryLen ? wordLen : entryLen) == 0) return i;
    if (compare_name(word, list[i], wordLen) == 0) {
      if (matches++ == 0) first = i;
    }
  }
  if (matches == 0) return -2;
  return matches == 1 ? first : -1;
}

int get_list(const char* prompt, const char* defaultText, const char* const* list, bool allowNone) {
  for (;;) {
    char* word = get_commandWord(prompt, defaultText, true);
    // Nothing left to answer with: no choice was made. The default stands
    // for a caller that must have one; the command is to end either way.
    if (!*word && i_noMoreInput()) {
      errfree(word);
      return allowNone ? -1 : default_index(defaultText, list);
    }
    if (std::strcmp(word, "~") == 0) {
      if (allowNone) {
        errfree(word);
        return -1;
      }
      word[0] = '\0';
    }
    int found = find_command(word, list);
    if (found >= 0) {
      errfree(word);
      return found;
    }
    if (std::strcmp(word, "?") == 0) {
      o_print_list(list, 0, 80, 0, nullptr);
    } else {
      std::printf(found == -1 ? "? Ambiguous - please type a longer string - \"%s\"\n"
                              : "? Unrecognized \"%s\"\n",
                  word);
      std::fflush(stdout);
    }
    errfree(word);
  }
}

void o_print_slist(const void* base, int stride, int offset, int minimumRows, int width,
                   int linesPerPage, const char* pausePrompt) {
  if (!base) return;
  if (width > MAX_LIST_WIDTH) width = MAX_LIST_WIDTH;
  int entries = 0;
  int longest = 0;
  for (; entries < MAX_LIST_ENTRIES; entries++) {
    const char* text = entry_at(base, stride, offset, entries);
    if (!text) break;
    int len = static_cast<int>(std::strlen(text));
    if (len > longest) longest = len;
  }
  if (entries == 0) return;

  int columns = width / (longest + 1);
  if (columns < 1) columns = 1;
  int rows = (entries + columns - 1) / columns;
  if (minimumRows > 0 && rows < minimumRows) {
    int columnWidth = width / (entries / minimumRows + 1);
    columns = width / (columnWidth + 1);
    rows = minimumRows;
    // Every entry is shown, however the width divides.
    int needed = (entries + rows - 1) / rows;
    if (columns < needed) columns = needed;
  }

  for (int j = 0; j < rows; j++) {
    for (int k = 0; k < columns; k++) {
      int i = k * rows + j;
      if (i >= entries) break;
      o_lstring(entry_at(base, stride, offset, i), k * (longest + 1) + 1, j > 0);
    }
    o_newline(0);
    if (linesPerPage > 0 && pausePrompt && (j + 1) % linesPerPage == 0) {
      char* answer = get_line(pausePrompt, "", false);
      errfree(answer);
    }
  }
  o_newline(0);
}

void o_print_list(const char* const* list, int minimumRows, int width, int linesPerPage,
                  const char* pausePrompt) {
  o_print_slist(list, static_cast<int>(sizeof(const char*)), 0, minimumRows, width, linesPerPage,
                pausePrompt);
}
