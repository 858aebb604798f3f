// The logical user: the pending rest of a line, else the top script file,
// else the console. Also the command log, script labels and jumps, and the
// waits that keep the event poll running.
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"

#include <cstdint>
#include <cstring>

namespace {

struct LABEL {
  char name[LABEL_SIGNIFICANT + 1];
  long offset;  // byte offset of the line after the LABEL line
};

// Each script keeps its own labels: a position only means something in the
// file it was taken from, so a nested script must not jump with its parent's.
struct IFILES {
  char* name;
  FILE* inputFile;
  int labelCount;
  LABEL labels[MAX_LABELS];
};

char* restOfLastLine = nullptr;
IFILES indirectFiles[MAX_INDIRECT_FILES];
int nextIndirectFile = 0;

char gotolabel[LABEL_SIGNIFICANT + 1];
bool gotoSearching = false;
int gotoDepth = 0;  // scripts open when the search began

struct {
  char* name;
  FILE* file;
  bool failing;  // its last write failed: only the first of a run is told
} logFile = {nullptr, nullptr, false};

IdleRoutine callWhileIdle = nullptr;
IdleRoutine eventPoller = nullptr;
IdleRoutine hangupHandler = nullptr;
bool consoleEnded = false;
bool stopLatched = false;

// A console that is not a terminal: bytes read ahead, and the line being
// gathered from them, so that a line arriving in pieces never holds up the
// events.
char stdinBytes[4096];
int stdinNext = 0, stdinHave = 0;
bool stdinEnded = false;
char partLine[LOGICAL_LINE_SIZE];
int partLength = 0;
bool partStarted = false;
bool afterCR = false;  // a LF right after a CR belongs to that line end

// Waits poll this often for events while nothing else can wake them.
const unsigned kIdleSliceMs = 20;

WaitClock waitClock = nullptr;
std::uint64_t steppedNow = 0;
// The fast clock: real time since it was made, `fastTimes` as fast.
std::uint64_t fastStart = 0;
unsigned fastTimes = 1;

std::uint64_t read_fast_clock() { return fastStart + (plat_millis() - fastStart) * fastTimes; }

std::uint64_t wait_millis() { return waitClock ? waitClock() : plat_millis(); }

inline bool is_line_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool all_space(const char* s) {
  for (; *s; s++)
    if (!is_line_space(*s)) return false;
  return true;
}

void copy_bounded(char* dst, const char* src, int size) {
  std::snprintf(dst, static_cast<std::size_t>(size), "%s", src ? src : "");
}

void cut_label(char* dst, const char* src) { copy_bounded(dst, src, LABEL_SIGNIFICANT + 1); }

// One line of at most size - 1 characters, without its line end; the tail
// of a longer line is dropped rather than handed out as a line of its own.
// A line ends at LF, CR LF or a lone CR. A NUL byte ends the text handed
// out but not the line: the next line is still a line of its own.
bool read_line(FILE* f, char* buffer, int size) {
  int c = std::getc(f);
  if (c == EOF) return false;
  int n = 0;
  for (; c != EOF && c != '\n'; c = std::getc(f)) {
    if (c == '\r') {
      const int next = std::getc(f);
      if (next != '\n' && next != EOF) std::ungetc(next, f);
      break;
    }
    if (n < size - 1) buffer[n++] = static_cast<char>(c);
  }
  buffer[n] = '\0';
  return true;
}

void end_search_quietly() {
  gotoSearching = false;
  gotolabel[0] = '\0';
}

void pop_script(bool atEnd) {
  if (nextIndirectFile == 0) return;
  IFILES& top = indirectFiles[--nextIndirectFile];
  if (top.inputFile) std::fclose(top.inputFile);
  errfree(top.name);
  top.name = nullptr;
  top.inputFile = nullptr;
  top.labelCount = 0;
  // A search never outlives the script that started it.
  if (gotoSearching && nextIndirectFile < gotoDepth) {
    if (atEnd) {
      std::printf("!ERROR: LABEL '%s' not found\n", gotolabel);
      std::fflush(stdout);
    }
    end_search_quietly();
  }
}

// P and Q typed while a script runs.
void check_script_keys() {
  if (!plat_stdin_is_terminal() || !plat_key_waiting()) return;
  int scan = 0;
  int key = plat_read_key(&scan);
  if (key == 'P' || key == 'p') {
    std::printf("Indirect File Processing Paused,\n");
    std::printf("Type any Key to continue...");
    std::fflush(stdout);
    while (!plat_key_waiting() && !i_stopRequested()) plat_sleep_ms(20);
    std::printf("\r\n");
    std::fflush(stdout);
  } else if (key == 'Q' || key == 'q') {
    std::printf("Indirect File Processing Terminated\n");
    std::fflush(stdout);
    closeAllIndirectFiles();
  }
}

// Signals are acted on here, between events: a hang-up runs its handler at
// once, a termination request is kept until the input and the waits see it.
void act_on_signals() {
  if (plat_stop_requested() && !stopLatched) {
    stopLatched = true;
    log_info(true, "Termination requested: stopping\n");
  }
  if (plat_hangup_requested() && hangupHandler) hangupHandler();
}

// An idle routine that stopped with work left asked to be called again
// before the next wait on input.
bool idleAgain = false;

void idle_once() {
  idleAgain = false;
  if (callWhileIdle) callWhileIdle();
}

// The wait on input between idle calls: none when work is left.
unsigned idle_slice_ms() { return idleAgain ? 0 : kIdleSliceMs; }

enum ConsoleRead { kGotLine, kInputEnded, kStopped };

// One byte into the line being gathered; true when it ended the line.
bool gather(char c) {
  if (afterCR) {
    afterCR = false;
    if (c == '\n') return false;
  }
  partStarted = true;
  if (c == '\n' || c == '\r') {
    afterCR = c == '\r';
    return true;
  }
  if (partLength < static_cast<int>(sizeof partLine) - 1) partLine[partLength++] = c;
  return false;
}

void hand_out_part(char* buffer, int size) {
  partLine[partLength] = '\0';
  copy_bounded(buffer, partLine, size);
  partLength = 0;
  partStarted = false;
}

// Standard input ended in automatic mode: logging goes on, with nothing more
// to read, until the program is asked to stop.
ConsoleRead keep_logging() {
  log_info(true, "End of input: call logging goes on until the program is stopped\n");
  for (;;) {
    act_on_signals();
    if (stopLatched) return kStopped;
    // The poll runs whether or not events are polled while idle.
    idleAgain = false;
    if (eventPoller)
      eventPoller();
    else if (callWhileIdle)
      callWhileIdle();
    if (!idleAgain) plat_sleep_ms(kIdleSliceMs);
  }
}

ConsoleRead read_plain_console(char* buffer, int size) {
  // Events due before this line are handled first, also when it was read
  // ahead with earlier ones.
  idle_once();
  for (;;) {
    while (stdinNext < stdinHave) {
      if (gather(stdinBytes[stdinNext++])) {
        hand_out_part(buffer, size);
        return kGotLine;
      }
    }
    if (stdinEnded) {
      // A last line without its line end is still a line.
      if (partStarted && partLength > 0) {
        hand_out_part(buffer, size);
        return kGotLine;
      }
      if (!manualMode) return keep_logging();
      return kInputEnded;
    }
    act_on_signals();
    if (stopLatched) return kStopped;
    if (!plat_stdin_wait(idle_slice_ms())) {
      idle_once();
      continue;
    }
    const long n = plat_stdin_read(stdinBytes, sizeof stdinBytes);
    stdinNext = 0;
    stdinHave = n > 0 ? static_cast<int>(n) : 0;
    if (n <= 0) stdinEnded = true;
  }
}

ConsoleRead read_console_line(char* buffer, int size) {
  if (plat_stdin_is_terminal()) {
    while (!plat_key_waiting()) {
      act_on_signals();
      if (stopLatched) return kStopped;
      idle_once();
      // Ready with no key: the terminal has gone, and the editor's read says so.
      if (plat_stdin_wait(idle_slice_ms()) && !plat_key_waiting()) break;
    }
    char edited[128];
    edited[0] = '\0';
    const char* got = echo_gets(-1, -1, edited);
    if (stopLatched) {  // a half-typed line is not run
      std::printf("\n");
      std::fflush(stdout);
      return kStopped;
    }
    if (!got) return manualMode ? kInputEnded : keep_logging();
    edited[sizeof edited - 1] = '\0';
    copy_bounded(buffer, edited, size);
  } else {
    const ConsoleRead got = read_plain_console(buffer, size);
    if (got != kGotLine) return got;
  }
  std::printf("\n");
  std::fflush(stdout);
  return kGotLine;
}

}  // namespace

char* getLineFromLogicalUser(char* buffer, int size, const char* defaultText) {
  if (!buffer || size < 2) return nullptr;
  buffer[0] = '\0';
  act_on_signals();
  if (stopLatched) {
    // Stopping ends every kind of input, as the end of the console does.
    i_ignoreRestOfLine(true);
    closeAllIndirectFiles();
    consoleEnded = true;
    return nullptr;
  }
  if (restOfLastLine) {
    copy_bounded(buffer, restOfLastLine, size);
    errfree(restOfLastLine);
    restOfLastLine = nullptr;
  } else {
    for (;;) {
      if (nextIndirectFile > 0) {
        int depth = nextIndirectFile;
        bool got = read_line(indirectFiles[depth - 1].inputFile, buffer, size);
        check_script_keys();
        if (got) break;
        if (nextIndirectFile == depth) pop_script(true);
        continue;
      }
      if (consoleEnded) return nullptr;
      const ConsoleRead got = read_console_line(buffer, size);
      if (got == kGotLine) break;
      consoleEnded = true;
      if (got == kInputEnded) log_error("? Could not get line from user\n");
      return nullptr;
    }
  }

  std::size_t len = std::strlen(buffer);
  if (len > 0 && buffer[len - 1] == '\n') buffer[--len] = '\0';
  // A CR LF line counts as blank too, so defaults work in such scripts.
  if (defaultText && all_space(buffer)) copy_bounded(buffer, defaultText, size);

  len = std::strlen(buffer);
  while (len > 0 && is_line_space(buffer[len - 1])) buffer[--len] = '\0';
  char* line = buffer;
  while (is_line_space(*line)) line++;

  if (logFile.file) {
    const bool ok = std::fprintf(logFile.file, "%s\n", line) >= 0 && std::fflush(logFile.file) == 0;
    if (!ok) {
      std::clearerr(logFile.file);
      if (!logFile.failing) log_error("? Unable to write to command log \"%s\"\n", logFile.name);
    }
    logFile.failing = !ok;
  }
  return line;
}

void i_giveBackLine(const char* text) {
  char* copy = is_blank(text) ? nullptr : alloc_str(text);
  errfree(restOfLastLine);
  restOfLastLine = copy;
}

const char* i_restOfLine() { return restOfLastLine ? restOfLastLine : ""; }

void i_ignoreRestOfLine(bool quiet) {
  if (!restOfLastLine) return;
  if (!quiet) log_error("? Discarding rest of line: %s\n", restOfLastLine);
  errfree(restOfLastLine);
  restOfLastLine = nullptr;
}

void i_endUserInput() {
  i_ignoreRestOfLine(true);
  closeAllIndirectFiles();
  end_search_quietly();
  consoleEnded = false;
  stopLatched = false;
  stdinNext = stdinHave = 0;
  stdinEnded = false;
  partLength = 0;
  partStarted = afterCR = false;
}

bool i_consoleInputEnded() { return consoleEnded; }

bool i_noMoreInput() { return consoleEnded && !restOfLastLine && nextIndirectFile == 0; }

bool addIndirectFile(const char* path) {
  if (!path) path = "";
  if (nextIndirectFile >= MAX_INDIRECT_FILES) {
    log_error("? Too many indirect files open at once. Trying to open %s\n", path);
    return false;
  }
  // A folder opens but reads as nothing; a device may never end.
  plat_file_info info;
  if (!*path || !plat_file_info_of(path, &info) || info.directory) {
    log_error("? Unable to open indirect file %s\n", path);
    return false;
  }
  // The open command log would be read while every line read is added to
  // it, without end.
  if (logFile.name && plat_same_file(path, logFile.name)) {
    log_error("? %s is the command log being written; it cannot be run as a script\n", path);
    return false;
  }
  // Binary, so read positions are plain byte offsets on every system; the
  // CR of a CR LF line is taken as part of its line end.
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    log_error("? Unable to open indirect file %s\n", path);
    return false;
  }
  IFILES& entry = indirectFiles[nextIndirectFile++];
  entry.name = alloc_str(path);
  entry.inputFile = f;
  entry.labelCount = 0;
  return true;
}

void closeAllIndirectFiles() {
  while (nextIndirectFile > 0) pop_script(false);
  end_search_quietly();
}

int indirectFileCount() { return nextIndirectFile; }

bool establishLogFile(const char* path) {
  if (logFile.file) std::fclose(logFile.file);
  logFile.file = nullptr;
  if (logFile.name) {
    std::printf("Closing log file %s\n", logFile.name);
    std::fflush(stdout);
    errfree(logFile.name);
    logFile.name = nullptr;
  }
  if (!path || !*path) return false;
  for (int i = 0; i < nextIndirectFile; i++) {
    if (plat_same_file(path, indirectFiles[i].name)) {
      log_error("? %s is being run as a script; it cannot be the command log\n", path);
      return false;
    }
  }
  FILE* f = std::fopen(path, "a");
  if (!f) return false;
  logFile.file = f;
  logFile.name = alloc_str(path);
  logFile.failing = false;
  std::printf("Logging commands in %s\n", path);
  std::fflush(stdout);
  return true;
}

FILE* commandLogFile() { return logFile.file; }

void idleAgainAtOnce() { idleAgain = true; }

IdleRoutine setCallWhileIdle(IdleRoutine routine) {
  IdleRoutine previous = callWhileIdle;
  callWhileIdle = routine;
  return previous;
}

IdleRoutine setEventPoller(IdleRoutine routine) {
  IdleRoutine previous = eventPoller;
  eventPoller = routine;
  return previous;
}

void pollEventsNow() {
  if (eventPoller) eventPoller();
}

WaitClock setWaitClock(WaitClock clock) {
  WaitClock previous = waitClock;
  waitClock = clock;
  return previous;
}

std::uint64_t steppedWaitClock() { return steppedNow += 10; }

WaitClock fastWaitClock(unsigned times) {
  fastStart = plat_millis();
  fastTimes = times ? times : 1;
  return read_fast_clock;
}

std::uint64_t waitClockMillis() { return wait_millis(); }

bool waitUntil(double seconds, WaitDone done, const void* context) {
  const std::uint64_t start = wait_millis();
  const double limit = seconds > 0 ? seconds * 1000.0 : 0.0;
  for (;;) {
    if (eventPoller) eventPoller();
    if (done && done(context)) return true;
    act_on_signals();
    if (stopLatched) return false;
    const double elapsed = static_cast<double>(wait_millis() - start);
    if (elapsed > limit) return false;
    if (waitClock && waitClock != read_fast_clock) {
      plat_yield();  // a test clock: time moves as it is read
    } else if (eventPoller || done) {
      plat_sleep_ms(1);  // let the server's replies arrive instead of spinning
    } else {
      const double left = limit - elapsed + 1.0;
      plat_sleep_ms(left > 50.0 ? 50u : static_cast<unsigned>(left));
    }
  }
}

void pauseNseconds(double seconds) { waitUntil(seconds, nullptr, nullptr); }

IdleRoutine setHangupHandler(IdleRoutine routine) {
  IdleRoutine previous = hangupHandler;
  hangupHandler = routine;
  return previous;
}

bool i_stopRequested() {
  act_on_signals();
  return stopLatched;
}

int i_whileEditing() {
  act_on_signals();
  if (stopLatched) return -1;
  if (manualMode || !callWhileIdle) return 0;
  const long before = o_consoleWrites();
  callWhileIdle();
  return o_consoleWrites() != before ? 1 : 0;
}

const char* gotoSearchLabel() { return gotoSearching ? gotolabel : nullptr; }

// ---- commands -----------------------------------------------------------------

void doIndirect() {
  char* name = get_filename("Indirect file", "PROBIX.CMD");
  addIndirectFile(name);  // "~" names no file: reported as one that will not open
  errfree(name);
}

void doLogCommands() {
  char* name = get_filename("Log commands in file", ".CMD");
  establishLogFile(is_blank(name) ? nullptr : name);
  errfree(name);
}

void doLabel() {
  char* word = get_word("label", "", true);
  char name[LABEL_SIGNIFICANT + 1];
  cut_label(name, word);
  errfree(word);
  if (nextIndirectFile == 0) return;

  // The search ends at its label even when the list has no room left for it.
  if (gotoSearching && std::strcmp(name, gotolabel) == 0) end_search_quietly();

  IFILES& top = indirectFiles[nextIndirectFile - 1];
  if (top.labelCount >= MAX_LABELS) return;  // a full list takes no notice
  long here = std::ftell(top.inputFile);
  for (int i = 0; i < top.labelCount; i++) {
    if (std::strcmp(top.labels[i].name, name) == 0) {
      if (top.labels[i].offset != here) {
        std::printf("!ERROR: Duplicate LABEL '%s'\n", name);
        std::fflush(stdout);
      }
      return;
    }
  }
  if (here < 0) return;
  LABEL& label = top.labels[top.labelCount++];
  std::memcpy(label.name, name, sizeof label.name);
  label.offset = here;
}

void doGoto() {
  char* word = get_word("label", "", true);
  char name[LABEL_SIGNIFICANT + 1];
  cut_label(name, word);
  errfree(word);
  if (nextIndirectFile == 0) return;

  IFILES& top = indirectFiles[nextIndirectFile - 1];
  for (int i = 0; i < top.labelCount; i++) {
    if (std::strcmp(top.labels[i].name, name) == 0) {
      std::fseek(top.inputFile, top.labels[i].offset, SEEK_SET);
      return;
    }
  }
  std::memcpy(gotolabel, name, sizeof gotolabel);
  gotoSearching = true;
  gotoDepth = nextIndirectFile;
}
