// Column output, destinations, counted allocation and limited messages.
//
// Output is gathered a line at a time in cur_line and written with one write
// per line, so a serial port or file handle gets whole records. The paths that
// place text must not allocate: event display pushes a lot through here.
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"

#include <cstdarg>
#include <ctime>
#include <cstdlib>
#include <cstring>

namespace {

const int LINE_SIZE = 200;  // the line being built stays under this
const int LPRINTF_SIZE = 603;

char cur_line[LINE_SIZE + 2];  // room for the closing line feed
int cur_len = 0;
int cur_col = 0;  // 0-based column after cur_line
long cur_lcount = 0;
// Null until a destination is chosen: standard output is the default, and
// no static initialiser order can undo an early set_o_file.
FILE* cur_file = nullptr;
bool fileChosen = false;
plat_handle win32File = PLAT_INVALID_HANDLE;
bool tabs_allowed = true;
bool logOutputAlso = false;

// Console line state kept while output goes to a handle.
bool stateWasSaved = false;
long lcountAtSave = 0;
char lineAtSave[LINE_SIZE + 2];
int lenAtSave = 0;
int colAtSave = 0;

long blks_out = 0;
long blks_in = 0;
unsigned max_malloc = 500;
bool warnedSmallBlock = false;
IdleRoutine fatalCallback = nullptr;

long infoPrintouts = 0;
long errorPrintouts = 0;

// The report log file opened by SET LOG_FILE.
FILE* reportFile = nullptr;
char* reportName = nullptr;
// Its writes are failing (a full disk): only the first of a run is reported.
bool reportWritesFailing = false;

long consoleWrites = 0;

inline FILE* current_file() { return fileChosen ? cur_file : stdout; }

inline bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

long count_line_feeds(const char* text, std::size_t len) {
  long n = 0;
  for (std::size_t i = 0; i < len; i++)
    if (text[i] == '\n') n++;
  return n;
}

int advance_column(int col, const char* text, std::size_t len) {
  for (std::size_t i = 0; i < len; i++) {
    char c = text[i];
    if (c == '\t')
      col = (col / 8 + 1) * 8;
    else if (c == '\n')
      col = 0;
    else
      col++;
  }
  return col;
}

void clear_line() {
  cur_len = 0;
  cur_col = 0;
  cur_line[0] = '\0';
}

void put_string(const char* text, std::size_t len) {
  if (len == 0) return;
  if (logOutputAlso) {
    FILE* log = commandLogFile();
    if (log) std::fwrite(text, 1, len, log);
  }
  if (win32File != PLAT_INVALID_HANDLE) {
    plat_write(win32File, text, len);
  } else if (FILE* f = current_file()) {
    if (f != reportFile || !reportFile) {
      if (f == stdout) ++consoleWrites;
      std::fwrite(text, 1, len, f);
      return;
    }
    // Flushed at once so that a failure is seen with the line that met it.
    const bool ok = std::fwrite(text, 1, len, f) == len && std::fflush(f) == 0;
    if (!ok) {
      std::clearerr(f);
      if (!reportWritesFailing)
        log_error("? Unable to write to log file \"%s\"\n", reportName ? reportName : "");
    }
    reportWritesFailing = !ok;
  }
}

void write_text(const char* text, std::size_t len) {
  if (static_cast<std::size_t>(cur_len) + len < static_cast<std::size_t>(LINE_SIZE)) {
    std::memcpy(cur_line + cur_len, text, len);
    cur_len += static_cast<int>(len);
    cur_line[cur_len] = '\0';
    cur_col = advance_column(cur_col, text, len);
    return;
  }
  // Too long for the line: write out what is built and the text itself.
  put_string(cur_line, static_cast<std::size_t>(cur_len));
  cur_lcount += count_line_feeds(cur_line, static_cast<std::size_t>(cur_len));
  put_string(text, len);
  cur_lcount += count_line_feeds(text, len);
  clear_line();
}

inline void write_char(char c) { write_text(&c, 1); }

// Moves to the 1-based column; returns the character now before the text.
char move_to_column(int column) {
  int target = column - 1;
  char last = cur_len > 0 ? cur_line[cur_len - 1] : '\n';
  bool wrote = false;
  while (cur_col < target) {
    int stop = (cur_col / 8 + 1) * 8;
    last = (tabs_allowed && stop <= target) ? '\t' : ' ';
    write_char(last);
    wrote = true;
  }
  if (!wrote && cur_len == 0) last = '\n';
  return last;
}

void place(const char* text, std::size_t len, int column, bool force) {
  char before = move_to_column(column);
  if (force && !is_white(before)) write_char(' ');
  write_text(text, len);
}

// Digits of a magnitude in the radix, into the end of buf; returns the start.
char* digits_of(unsigned long long value, int radix, char* end) {
  char* p = end;
  *p = '\0';
  do {
    int d = static_cast<int>(value % static_cast<unsigned>(radix));
    *--p = static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10);
    value /= static_cast<unsigned>(radix);
  } while (value != 0);
  return p;
}

int checked_radix(int radix) {
  if (radix < 2 || radix > 36) {
    log_error("? Bad radix %d.\n", radix);
    return 10;
  }
  return radix;
}

// Signed long in the radix; returns the length written into buf (>= 72 bytes).
std::size_t format_number(long value, int radix, char* buf) {
  char tmp[72];
  unsigned long long mag = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                     : static_cast<unsigned long long>(value);
  char* d = digits_of(mag, checked_radix(radix), tmp + sizeof tmp - 1);
  std::size_t n = 0;
  if (value < 0) buf[n++] = '-';
  std::size_t dl = std::strlen(d);
  std::memcpy(buf + n, d, dl + 1);
  return n + dl;
}

}  // namespace

// ---- placing text ------------------------------------------------------------

void o_char(char character, int column, bool force) { place(&character, 1, column, force); }

void o_lstring(const char* text, int column, bool force) {
  if (!text) text = "";
  place(text, std::strlen(text), column, force);
}

void o_maxLstring(const char* text, int column, bool force, int max) {
  if (!text) text = "";
  std::size_t len = 0;
  while (static_cast<int>(len) < max && text[len]) len++;
  place(text, len, column, force);
}

void o_lprintf(int column, bool force, const char* format, ...) {
  char buf[LPRINTF_SIZE + 1];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n < 0) return;
  std::size_t len = static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n)
                                                              : sizeof buf - 1;
  place(buf, len, column, force);
}

void o_rstring(const char* text, int column, bool force) {
  if (!text) text = "";
  std::size_t len = std::strlen(text);
  place(text, len, column - static_cast<int>(len) + 1, force);
}

void o_lnumber(long value, int column, bool force, int radix) {
  char buf[80];
  place(buf, format_number(value, radix, buf), column, force);
}

void o_rnumber(long value, int column, bool force, int radix) {
  char buf[80];
  std::size_t len = format_number(value, radix, buf);
  place(buf, len, column - static_cast<int>(len) + 1, force);
}

void o_lfloat(double value, int column, bool force) { o_lprintf(column, force, "%f", value); }

void o_fixed_number(long value, int column, bool force, int radix, int decimals) {
  radix = checked_radix(radix);
  if (decimals < 0) decimals = 0;
  if (decimals > 64) decimals = 64;
  unsigned long long mag = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                     : static_cast<unsigned long long>(value);
  char tmp[72];
  char* d = digits_of(mag, radix, tmp + sizeof tmp - 1);
  int dl = static_cast<int>(std::strlen(d));

  // Leading zeros so that there is at least one integer digit.
  char padded[140];
  int total = 0;
  for (int i = dl; i < decimals + 1; i++) padded[total++] = '0';
  std::memcpy(padded + total, d, static_cast<std::size_t>(dl));
  total += dl;
  int intDigits = total - decimals;

  char buf[160];
  int n = 0;
  if (value < 0) buf[n++] = '-';
  std::memcpy(buf + n, padded, static_cast<std::size_t>(intDigits));
  n += intDigits;
  buf[n++] = '.';
  std::memcpy(buf + n, padded + intDigits, static_cast<std::size_t>(decimals));
  n += decimals;
  place(buf, static_cast<std::size_t>(n), column, force);
}

void o_unixSlashTime(time_t t, int column, bool force) {
  char buf[40];
  struct tm* tm = std::localtime(&t);
  if (!tm || std::strftime(buf, sizeof buf, "%m/%d/%y %H:%M:%S", tm) == 0)
    std::snprintf(buf, sizeof buf, "--/--/-- --:--:--");
  o_lstring(buf, column, force);
}

void o_ramount_of_time(long seconds, int column, bool force) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", seconds / 60, seconds % 60);
  o_rstring(buf, column, force);
}

void o_newline(long line) {
  while (cur_lcount < line) {
    put_string("\n", 1);
    cur_lcount++;
  }
  cur_line[cur_len] = '\n';
  put_string(cur_line, static_cast<std::size_t>(cur_len) + 1);
  cur_lcount += 1 + count_line_feeds(cur_line, static_cast<std::size_t>(cur_len));
  clear_line();
}

void o_space() {
  o_lstring("Blocks allocated", 1, false);
  o_rnumber(blks_out, 25, true, 10);
  o_newline(0);
  o_lstring("Blocks freed", 1, false);
  o_rnumber(blks_in, 25, true, 10);
  o_newline(0);
  o_lstring("Net blocks out", 1, false);
  o_rnumber(blks_out - blks_in, 25, true, 10);
  o_newline(0);
}

// ---- destinations ------------------------------------------------------------

FILE* set_o_file(FILE* stream) {
  FILE* previous = current_file();
  cur_file = stream;
  fileChosen = true;
  cur_lcount = 1;
  clear_line();
  return previous;
}

plat_handle set_win32_file(plat_handle handle) {
  plat_handle previous = win32File;
  if (handle != PLAT_INVALID_HANDLE) {
    if (!stateWasSaved) {
      lcountAtSave = cur_lcount;
      std::memcpy(lineAtSave, cur_line, static_cast<std::size_t>(cur_len) + 1);
      lenAtSave = cur_len;
      colAtSave = cur_col;
      stateWasSaved = true;
    }
    cur_lcount = 1;
    clear_line();
  } else if (stateWasSaved) {
    cur_lcount = lcountAtSave;
    std::memcpy(cur_line, lineAtSave, static_cast<std::size_t>(lenAtSave) + 1);
    cur_len = lenAtSave;
    cur_col = colAtSave;
    stateWasSaved = false;
  }
  win32File = handle;
  return previous;
}

bool set_tabs_allowed(bool allowed) {
  bool previous = tabs_allowed;
  tabs_allowed = allowed;
  return previous;
}

bool io_setLogOutputAlso(bool on) {
  bool previous = logOutputAlso;
  logOutputAlso = on;
  return previous;
}

FILE* open_o_file(const char* path, const char* kind) {
  FILE* previous = current_file();
  if (previous && previous != stdout) std::fclose(previous);
  if (previous == reportFile) {  // closed here: SET LOG_FILE must not close it again
    reportFile = nullptr;
    errfree(reportName);
    reportName = nullptr;
  }
  cur_file = nullptr;
  fileChosen = true;
  FILE* f = path && *path ? std::fopen(path, "w") : nullptr;
  if (!f) {
    log_error("? Unable to open %s file \"%s\"\n", kind ? kind : "", path ? path : "");
    // Rather than lose every report until the next SET LOG_FILE, the console
    // takes over.
    set_o_file(stdout);
    return nullptr;
  }
  cur_file = f;
  cur_lcount = 1;
  clear_line();
  tabs_allowed = true;
  return f;
}

bool close_o_file(FILE* stream, const char* path, const char* kind) {
  clear_line();
  cur_lcount = 1;
  bool ok = true;
  if (stream && stream != stdout && std::fclose(stream) != 0) {
    log_error("? Unable to close %s file \"%s\"\n", kind ? kind : "", path ? path : "");
    ok = false;
  }
  // The stream is gone even when closing failed: never write to it again.
  if (current_file() == stream || ok) set_o_file(stdout);
  return ok;
}

void doOpenLogFile() {
  doCloseLogFile();
  char* name = get_filename("Log Reports in file", ".LOG");
  FILE* f = open_o_file(name, "log file");  // "~" too is reported as not opened
  if (!f) {
    errfree(name);
    return;
  }
  reportFile = f;
  reportName = name;
  reportWritesFailing = false;
  std::printf("Logging reports in %s\n", name);
  std::fflush(stdout);
}

void doCloseLogFile() {
  if (!reportFile) return;
  close_o_file(reportFile, reportName, "log file");
  reportFile = nullptr;
  errfree(reportName);
  reportName = nullptr;
}

// ---- counted allocation --------------------------------------------------------

void* errmalloc(unsigned long size) {
  if (size > max_malloc) {
    if (size > 500) {
      log_error("? Allocating %ld bytes, probably a bug.\n", static_cast<long>(size));
    } else if (!warnedSmallBlock) {
      warnedSmallBlock = true;
      log_error("? Allocating %ld bytes probably a bug calculating block size\n",
                static_cast<long>(size));
    }
  }
  void* block = std::malloc(size ? size : 1);
  if (!block) {
    // Fatal: printed whatever the printout limit, and the process ends with
    // a failure status.
    std::printf("? Out of memory allocating %lu bytes. Unable to continue.\n", size);
    std::fflush(stdout);
    set_o_file(stdout);
    o_space();
    std::fflush(stdout);
    if (fatalCallback) fatalCallback();
    std::exit(1);
  }
  blks_out++;
  return block;
}

void errfree(void* block) {
  if (!block) return;
  std::free(block);
  blks_in++;
}

long number_blocks_out() { return blks_out - blks_in; }

unsigned set_max_malloc(unsigned size) {
  unsigned previous = max_malloc;
  max_malloc = size;
  return previous;
}

IdleRoutine io_setFatalCallback(IdleRoutine routine) {
  IdleRoutine previous = fatalCallback;
  fatalCallback = routine;
  return previous;
}

char* alloc_str(const char* text) {
  if (!text) text = "";
  std::size_t len = std::strlen(text);
  char* copy = static_cast<char*>(errmalloc(static_cast<unsigned long>(len + 1)));
  std::memcpy(copy, text, len + 1);
  return copy;
}

// ---- messages ---------------------------------------------------------------------

void io_setPrintoutLimit(int limit) {
  maxErrorPrintouts = limit;
  infoPrintouts = 0;
  errorPrintouts = 0;
}

void log_info(bool stamp, const char* format, ...) {
  if (!debugDetailed && infoPrintouts > maxErrorPrintouts) return;
  infoPrintouts++;
  ++consoleWrites;
  if (stamp) std::printf("%s:\n    ", timestamp());
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void log_error(const char* format, ...) {
  if (!debugDetailed && errorPrintouts > maxErrorPrintouts) return;
  errorPrintouts++;
  ++consoleWrites;
  std::printf("Error at %s:\n    ", timestamp());
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

long o_consoleWrites() { return consoleWrites; }

const char* timestamp() {
  static char buf[40];
  time_t now = std::time(nullptr);
  struct tm* tm = std::localtime(&now);
  if (!tm || std::strftime(buf, sizeof buf, "%d%b%Y %H:%M:%S", tm) == 0) buf[0] = '\0';
  return buf;
}
