// Readers: every question a command asks goes through these, whether the
// answer comes from the rest of the line, a script or the keyboard.
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char* const WORD_DELIMITERS = " \t";
const int FIELD_SIZE = 200;

inline bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool equals(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

void print(const char* format, const char* text) {
  std::printf(format, text);
  std::fflush(stdout);
}

// A whole word as a long in base 10 or 16; false for anything else.
bool read_long(const char* word, int base, long* value) {
  if (!*word) return false;
  char* end = nullptr;
  errno = 0;
  if (base == 10) {
    long v = std::strtol(word, &end, 10);
    if (errno == ERANGE || *end || !std::isdigit(static_cast<unsigned char>(end[-1])))
      return false;
    *value = v;
    return true;
  }
  if (!std::isxdigit(static_cast<unsigned char>(word[0]))) return false;
  unsigned long v = std::strtoul(word, &end, 16);
  if (errno == ERANGE || *end || !std::isxdigit(static_cast<unsigned char>(end[-1])))
    return false;
  *value = static_cast<long>(v);
  return true;
}

// Start of field n (1-based) and its length; false when there is none.
bool find_field(const char* delimiters, const char* line, int n, bool skipRuns,
                const char** start, std::size_t* len) {
  if (!line || n < 1) return false;
  if (!delimiters) delimiters = "";
  const char* p = line;
  if (skipRuns) p += std::strspn(p, delimiters);
  for (int field = 1;; field++) {
    std::size_t l = std::strcspn(p, delimiters);
    if (field == n) {
      if (!*p && skipRuns) return false;
      *start = p;
      *len = l;
      return true;
    }
    p += l;
    if (!*p) return false;
    p++;
    if (skipRuns) p += std::strspn(p, delimiters);
  }
}

char* copy_of(const char* text, std::size_t len) {
  char* s = static_cast<char*>(errmalloc(static_cast<unsigned long>(len + 1)));
  std::memcpy(s, text, len);
  s[len] = '\0';
  return s;
}

}  // namespace

// ---- lines and words -------------------------------------------------------------

char* getuser(const char* prompt, const char* defaultText, bool fold) {
  if (!defaultText) defaultText = "";
  if (!prompt) prompt = "";
  if (*i_restOfLine() == '\0' && indirectFileCount() == 0) {
    if (*defaultText)
      std::printf("%s [%s]: ", prompt, defaultText);
    else
      std::printf("%s: ", prompt);
    std::fflush(stdout);
  }
  char buffer[LOGICAL_LINE_SIZE];
  const char* line = getLineFromLogicalUser(buffer, sizeof buffer, defaultText);
  char* answer = alloc_str(line ? line : "");
  if (fold) uc_string(answer);
  return answer;
}

// Only the word is folded: the rest is kept as typed, so a file name or
// password on the command's own line keeps its case, as it would on a line
// of its own. Each later reader folds for itself.
char* get_commandWord(const char* prompt, const char* defaultText, bool fold) {
  char* line = getuser(prompt, defaultText, false);
  char* word = i_getField(WORD_DELIMITERS, line, 1, true);
  char* rest = i_afterField(WORD_DELIMITERS, line, 1, true);
  i_giveBackLine(rest);
  errfree(rest);
  errfree(line);
  if (fold) uc_string(word);
  return word;
}

char* get_word(const char* prompt, const char* defaultText, bool fold) {
  bool haveDefault = !is_blank(defaultText);
  for (;;) {
    char* word = get_commandWord(prompt, defaultText, fold);
    if (equals(word, "?")) {
      print("%s", "Enter a word (a string containing no spaces).\n");
      if (haveDefault) print("%s", "Enter tilde ~ to leave the word blank.\n");
      errfree(word);
      continue;
    }
    if (equals(word, "~") && haveDefault) word[0] = '\0';
    return word;
  }
}

char* get_line(const char* prompt, const char* defaultText, bool fold) {
  bool haveDefault = !is_blank(defaultText);
  for (;;) {
    char* line = getuser(prompt, defaultText, fold);
    if (equals(line, "?")) {
      print("%s", "Enter a line of text.\n");
      if (haveDefault) print("%s", "Enter tilde ~ to leave the line blank.\n");
      errfree(line);
      continue;
    }
    if (equals(line, "~") && haveDefault) line[0] = '\0';
    return line;
  }
}

bool replaceWord(const char* prompt, char** variable, bool fold) {
  char* answer = get_word(prompt, *variable, fold);
  errfree(*variable);
  *variable = answer;
  return true;
}

// ---- numbers -----------------------------------------------------------------------

// *empty tells whether the default was taken: nothing typed, or nothing
// left to read.
static long read_number(const char* prompt, long defaultValue, int base, bool* empty) {
  char shown[32];
  if (base == 10)
    std::snprintf(shown, sizeof shown, "%ld", defaultValue);
  else
    std::snprintf(shown, sizeof shown, "%lx", static_cast<unsigned long>(defaultValue));
  for (;;) {
    char* word = get_commandWord(prompt, shown, true);
    long value = 0;
    *empty = !*word;
    if (!*word) {
      value = defaultValue;
    } else if (equals(word, "?")) {
      print("%s", base == 10 ? "Enter a number.\n" : "Enter a hexadecimal number.\n");
      errfree(word);
      continue;
    } else if (!read_long(word, base, &value)) {
      print(base == 10 ? "? Improper format for a number: \"%s\"\n"
                       : "? Improper format for a hexadecimal number: \"%s\"\n",
            word);
      errfree(word);
      continue;
    }
    errfree(word);
    return value;
  }
}

long get_number(const char* prompt, long defaultValue) {
  bool empty = false;
  return read_number(prompt, defaultValue, 10, &empty);
}

long get_hexNumber(const char* prompt, long defaultValue) {
  bool empty = false;
  return read_number(prompt, defaultValue, 16, &empty);
}

// An empty answer keeps the default as it is, even outside the range: a
// value the switch reported is offered and kept unless the operator types
// another. At end of input that is all there is, and the caller ends.
long i_getNumberInRange(const char* prompt, long defaultValue, long low, long high) {
  for (;;) {
    bool empty = false;
    long value = read_number(prompt, defaultValue, 10, &empty);
    if (empty) return value;
    if (value < low) {
      std::printf("? %ld is too small, must be greater than %ld\n", value,
                  low == LONG_MIN ? low : low - 1);
    } else if (value > high) {
      std::printf("? %ld is too large, must be less than %ld\n", value,
                  high == LONG_MAX ? high : high + 1);
    } else {
      return value;
    }
    std::fflush(stdout);
  }
}

bool get_boolean(const char* prompt, const char* noText, const char* yesText, bool defaultValue) {
  const char* list[3] = {noText ? noText : "NO", yesText ? yesText : "YES", nullptr};
  return get_list(prompt, defaultValue ? list[1] : list[0], list, false) == 1;
}

bool get_yesno(const char* prompt, bool defaultValue) {
  return get_boolean(prompt, "NO", "YES", defaultValue);
}

// ---- telephone numbers and area codes ---------------------------------------------

PhoneNumber parse_phone(const char* text) {
  // Each format must use up the whole text: a trailing character is caught
  // by the final %c, which makes the count one too many.
  struct Format {
    const char* format;
    int values;
    int kind;  // 0: a e n x, 1: a e n, 2: e n x, 3: e n
  };
  static const Format formats[] = {
      {" ( %3d ) %3d - %4d X %9d %c", 4, 0}, {" ( %3d ) %3d- %4d X %9d %c", 4, 0},
      {" ( %3d ) %3d-%4d X %9d %c", 4, 0},   {" ( %3d ) %3d %4d X %9d %c", 4, 0},
      {" %3d %3d - %4d X %9d %c", 4, 0},     {" ( %3d ) %3d - %4d %c", 3, 1},
      {" ( %3d ) %3d- %4d %c", 3, 1},        {" ( %3d ) %3d-%4d %c", 3, 1},
      {" ( %3d ) %3d %4d %c", 3, 1},         {" %3d %3d - %4d %c", 3, 1},
      {"%3d - %4d X %9d %c", 3, 2},          {" %3d %4d X %9d %c", 3, 2},
      {" %3d %3d %4d X %9d %c", 4, 0},       {"%3d - %4d %c", 2, 3},
      {" %3d %4d %c", 2, 3},                 {" %3d %3d %4d %c", 3, 1},
  };
  PhoneNumber result = {0, 0, 0, 0, false};
  if (!text) return result;
  for (const Format& f : formats) {
    int v[4] = {0, 0, 0, 0};
    char trailing = 0;
    int got;
    switch (f.values) {
      case 4:
        got = std::sscanf(text, f.format, &v[0], &v[1], &v[2], &v[3], &trailing);
        break;
      case 3:
        got = std::sscanf(text, f.format, &v[0], &v[1], &v[2], &trailing);
        break;
      default:
        got = std::sscanf(text, f.format, &v[0], &v[1], &trailing);
        break;
    }
    if (got != f.values) continue;
    switch (f.kind) {
      case 0: result = {v[0], v[1], v[2], v[3], true}; break;
      case 1: result = {v[0], v[1], v[2], 0, true}; break;
      case 2: result = {0, v[0], v[1], v[2], true}; break;
      default: result = {0, v[0], v[1], 0, true}; break;
    }
    return result;
  }
  return result;
}

static bool valid_parts(const PhoneNumber& p) {
  return p.parsed && p.areaCode >= 0 && p.areaCode <= 999 && p.exchange >= 1 &&
         p.exchange <= 999 && p.number >= 0 && p.number <= 9999 && p.extension >= 0 &&
         p.extension <= 99999;
}

bool is_valid_phone(const char* text) {
  if (!text) return false;
  char* first = i_getField(WORD_DELIMITERS, text, 1, true);
  bool international = equals(first, "011");
  errfree(first);
  return international || valid_parts(parse_phone(text));
}

char* normalize_phone(const char* text) {
  PhoneNumber p = parse_phone(text);
  if (!valid_parts(p)) return alloc_str(text);
  char buf[48];
  int n;
  if (p.areaCode)
    n = std::snprintf(buf, sizeof buf, "(%03d)%03d-%04d", p.areaCode, p.exchange, p.number);
  else
    n = std::snprintf(buf, sizeof buf, "%03d-%04d", p.exchange, p.number);
  if (p.extension && n > 0 && n < static_cast<int>(sizeof buf))
    std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), " X%ld", p.extension);
  return alloc_str(buf);
}

char* get_phone(const char* prompt, const char* defaultText) {
  for (;;) {
    char* answer = getuser(prompt, defaultText, true);
    if (equals(answer, "~")) {
      answer[0] = '\0';
      return answer;
    }
    if (equals(answer, "?")) {
      print("%s", "Enter a phone number in the form (aaa)eee-nnnn\n");
      print("%s", "Followed by an optional extention Xnnnnn\n");
      print("%s", "Enter \"~\" if no phone number is desired.\n");
      errfree(answer);
      continue;
    }
    if (is_valid_phone(answer)) {
      char* normal = normalize_phone(answer);
      errfree(answer);
      return normal;
    }
    if (!*answer) return answer;
    print("Phone number \"%s\" is not a US style phone number.\n", answer);
    if (get_yesno("Use number anyway", false)) return answer;
    errfree(answer);
  }
}

char* get_areaCode(const char* prompt, const char* defaultText) {
  for (;;) {
    char* answer = getuser(prompt, defaultText, true);
    if (equals(answer, "~")) {
      answer[0] = '\0';
      return answer;
    }
    if (!*answer) return answer;
    if (equals(answer, "?")) {
      print("%s", "Enter an area code the form aaa\n");
      print("%s", "Enter \"~\" if no number is desired.\n");
    } else {
      int code = -1;
      char trailing = 0;
      if ((std::sscanf(answer, " %3d %c", &code, &trailing) == 1 ||
           std::sscanf(answer, " ( %3d ) %c", &code, &trailing) == 1) &&
          code >= 0) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%03d", code);
        errfree(answer);
        return alloc_str(buf);
      }
      print("Invalid area code \"%s\"\n", answer);
    }
    errfree(answer);
  }
}

// ---- file names --------------------------------------------------------------------

// The extension is what follows the last '.' of the last path component, so
// "./x.cmd", "old.reports/q1.log" and "my.test.cmd" keep every part of their
// names. A component that begins with '.' is a name of its own (".profile"),
// except that a bare ".EXT" with no path in it is only an extension.
bool parse_filename(const char* text, char** name, char** extension) {
  if (name) *name = nullptr;
  if (extension) *extension = nullptr;
  if (!text) return false;
  const char* p = text;
  while (is_white(*p)) p++;
  const char* end = p + std::strlen(p);
  while (end > p && is_white(end[-1])) end--;
  if (p == end) return false;
  for (const char* q = p; q < end; q++)
    if (*q == ' ' || *q == '\t') return false;

  const char* component = p;
  for (const char* q = p; q < end; q++)
    if (*q == '/' || *q == '\\' || *q == ':') component = q + 1;
  const std::size_t componentLen = static_cast<std::size_t>(end - component);

  if (component == p && *p == '.') {
    const char* ext = p + 1;
    const std::size_t extLen = static_cast<std::size_t>(end - ext);
    if (extLen == 0 || std::memchr(ext, '.', extLen)) return false;  // ".", "..", ".a.b"
    if (name) *name = alloc_str("");
    if (extension) *extension = copy_of(ext, extLen);
    return true;
  }
  // A folder is no file name: "dir/", "..", "x/.".
  if (component != p && componentLen == 0 && end[-1] != ':') return false;
  if ((componentLen == 1 && component[0] == '.') ||
      (componentLen == 2 && component[0] == '.' && component[1] == '.'))
    return false;

  const char* dot = nullptr;
  for (const char* q = component + 1; q < end; q++)
    if (*q == '.') dot = q;
  const char* nameEnd = dot ? dot : end;
  if (name) *name = copy_of(p, static_cast<std::size_t>(nameEnd - p));
  if (extension)
    *extension = dot ? copy_of(dot + 1, static_cast<std::size_t>(end - dot - 1)) : alloc_str("");
  return true;
}

char* get_filename(const char* prompt, const char* defaultText) {
  if (!defaultText) defaultText = "";
  char* defName = nullptr;
  char* defExt = nullptr;
  if (!parse_filename(defaultText, &defName, &defExt)) {
    defName = alloc_str("");
    defExt = alloc_str("");
  }
  char shown[LOGICAL_LINE_SIZE + 64];
  std::snprintf(shown, sizeof shown, "%s [%s.%s]", prompt ? prompt : "", defName, defExt);

  char* result = nullptr;
  while (!result) {
    char* answer = get_word(shown, "", false);
    int unit = 0;
    char trailing = 0;
    char* name = nullptr;
    char* ext = nullptr;
    if (!*answer) {
      result = alloc_str(defaultText);
    } else if (std::sscanf(answer, " COM%d %c", &unit, &trailing) == 1 ||
               std::sscanf(answer, " LPT%d %c", &unit, &trailing) == 1) {
      result = alloc_str(answer);
    } else if (equals(answer, "~")) {
      result = alloc_str("");
    } else if (parse_filename(answer, &name, &ext)) {
      const char* useName = *name ? name : defName;
      std::size_t nl = std::strlen(useName);
      const char* useExt = *ext ? ext : defExt;
      if ((nl > 0 && useName[nl - 1] == ':') || !*useExt) {
        // A drive stays as typed; a name with no extension to give gets no
        // dangling dot.
        result = alloc_str(useName);
      } else {
        std::size_t total = nl + 1 + std::strlen(useExt) + 1;
        result = static_cast<char*>(errmalloc(static_cast<unsigned long>(total)));
        std::snprintf(result, total, "%s.%s", useName, useExt);
      }
    } else {
      print("? Bad format for filename \"%s\"\n", answer);
    }
    errfree(name);
    errfree(ext);
    errfree(answer);
  }
  errfree(defName);
  errfree(defExt);
  return result;
}

// ---- fields and texts ----------------------------------------------------------------

char* i_getField(const char* delimiters, const char* line, int n, bool skipRuns) {
  const char* start = nullptr;
  std::size_t len = 0;
  if (!find_field(delimiters, line, n, skipRuns, &start, &len)) return alloc_str("");
  if (len > static_cast<std::size_t>(FIELD_SIZE)) len = FIELD_SIZE;
  return copy_of(start, len);
}

char* i_afterField(const char* delimiters, const char* line, int n, bool skipRuns) {
  const char* start = nullptr;
  std::size_t len = 0;
  if (!find_field(delimiters, line, n, skipRuns, &start, &len)) return alloc_str("");
  const char* p = start + len;
  if (!delimiters) delimiters = "";
  if (skipRuns)
    p += std::strspn(p, delimiters);
  else if (*p)
    p++;
  return alloc_str(p);
}

char* uc_string(char* text) {
  if (!text) return text;
  for (char* p = text; *p; p++) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return text;
}

bool is_blank(const char* text) {
  if (!text) return true;
  for (; *text; text++)
    if (!is_white(*text)) return false;
  return true;
}
