// Console on a POSIX terminal: termios for key-at-a-time reading, ANSI
// sequences for the cursor. Keys of the cursor block arrive as escape
// sequences and are handed out as 0 plus the PC scan code, like a PC console.
//
// Raw mode clears only canonical input, echo and the flow-control and
// suspend keys; output processing stays on, so whatever the program prints
// meanwhile looks as usual. A key test switches raw mode on (so a single key
// shows up without Enter and is not echoed over the screen) and it stays on
// until plat_console_raw(false), which the line editor calls after each line.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const int TIMED_OUT = -2;

struct termios savedMode;
bool rawOn = false;
bool hooksInstalled = false;
int cursorQueryFailures = 0;

// Keys that were read ahead while waiting for a cursor report, oldest first.
unsigned char pending[256];
int pendingCount = 0;

bool stdin_terminal() {
  static const int answer = ::isatty(0) == 1 ? 1 : 0;
  return answer == 1;
}

void push_pending(const unsigned char* bytes, int n) {
  for (int i = 0; i < n && pendingCount < static_cast<int>(sizeof pending); ++i)
    pending[pendingCount++] = bytes[i];
}

void push_front_pending(unsigned char byte) {
  if (pendingCount == static_cast<int>(sizeof pending)) --pendingCount;
  std::memmove(pending + 1, pending, static_cast<size_t>(pendingCount));
  pending[0] = byte;
  ++pendingCount;
}

void restore_mode() {
  if (rawOn) ::tcsetattr(0, TCSANOW, &savedMode);
  rawOn = false;
}

// A terminal left raw after the program died is unusable for its owner.
void restore_on_signal(int sig) {
  if (rawOn) ::tcsetattr(0, TCSANOW, &savedMode);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void install_hooks() {
  if (hooksInstalled) return;
  hooksInstalled = true;
  std::atexit(restore_mode);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  for (int sig : signals) {
    struct sigaction old;
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
      std::signal(sig, restore_on_signal);
  }
}

// Reads a byte from the terminal itself: timeout in ms, -1 waits for ever.
// Returns the byte, -1 at end of input, or TIMED_OUT.
int read_terminal_byte(int timeout) {
  for (;;) {
    struct pollfd p;
    p.fd = 0;
    p.events = POLLIN;
    p.revents = 0;
    int ready = ::poll(&p, 1, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (ready == 0) return TIMED_OUT;
    unsigned char byte = 0;
    ssize_t n = ::read(0, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

int next_byte(int timeout) {
  if (pendingCount > 0) {
    int byte = pending[0];
    --pendingCount;
    std::memmove(pending, pending + 1, static_cast<size_t>(pendingCount));
    return byte;
  }
  return read_terminal_byte(timeout);
}

// The rest of a sequence follows its ESC at once; a lone Escape key has
// nothing behind it within this time.
const int SEQUENCE_GAP_MS = 50;

int scan_for_final(int final, bool hasParameters) {
  switch (final) {
    case 'A': return 72;  // Up
    case 'B': return 80;  // Down
    case 'C': return 77;  // Right
    case 'D': return 75;  // Left
    case 'H': return 71;  // Home
    case 'F': return 79;  // End
    case 'P': return 59;  // F1
    case 'Q': return 60;  // F2
    // With parameters, "R" is a late cursor report, not F3.
    case 'R': return hasParameters ? 0 : 61;
    case 'S': return 62;  // F4
    default: return 0;
  }
}

int scan_for_number(int number) {
  switch (number) {
    case 1: case 7: return 71;  // Home
    case 4: case 8: return 79;  // End
    case 2: return 82;          // Insert
    case 3: return 83;          // Delete
    case 5: return 73;          // Page Up
    case 6: return 81;          // Page Down
    case 11: return 59;         // F1 .. F5
    case 12: return 60;
    case 13: return 61;
    case 14: return 62;
    case 15: return 63;
    case 17: return 64;         // F6 .. F10
    case 18: return 65;
    case 19: return 66;
    case 20: return 67;
    case 21: return 68;
    default: return 0;
  }
}

// After ESC [ : parameters, then one final byte.
int read_csi() {
  int first = next_byte(SEQUENCE_GAP_MS);
  if (first < 0) return 0;
  if (first == '[') {  // Linux console function keys: ESC [ [ A .. E
    int c = next_byte(SEQUENCE_GAP_MS);
    return c >= 'A' && c <= 'E' ? 59 + (c - 'A') : 0;
  }
  int number = 0, length = 0, c = first;
  bool inFirstNumber = true, hasParameters = false;
  while (c >= 0x20 && c <= 0x3F && length < 16) {
    hasParameters = true;
    if (c >= '0' && c <= '9' && inFirstNumber)
      number = number * 10 + (c - '0');
    else
      inFirstNumber = false;
    ++length;
    c = next_byte(SEQUENCE_GAP_MS);
  }
  if (c < 0x40 || c > 0x7E) return 0;
  if (c == '~') return scan_for_number(number);
  // ESC [ 1 ; 5 C and the like: modified cursor keys count as plain ones.
  return scan_for_final(c, hasParameters);
}

// Looks for a cursor report ESC [ row ; column R ending at the last byte.
bool parse_report(const unsigned char* bytes, int n, int* start, int* row, int* col) {
  if (n < 6 || bytes[n - 1] != 'R') return false;
  int i = n - 2, c = 0, scale = 1, r = 0;
  while (i >= 0 && bytes[i] >= '0' && bytes[i] <= '9') {
    c += (bytes[i] - '0') * scale;
    scale *= 10;
    --i;
    if (scale > 10000) return false;
  }
  if (scale == 1 || i < 0 || bytes[i] != ';') return false;
  --i;
  scale = 1;
  while (i >= 0 && bytes[i] >= '0' && bytes[i] <= '9') {
    r += (bytes[i] - '0') * scale;
    scale *= 10;
    --i;
    if (scale > 10000) return false;
  }
  if (scale == 1 || i < 1 || bytes[i] != '[' || bytes[i - 1] != 27) return false;
  *start = i - 1;
  *row = r - 1;
  *col = c - 1;
  return true;
}

}  // namespace

bool plat_stdin_is_terminal() { return stdin_terminal(); }

bool plat_key_waiting() {
  if (!stdin_terminal()) return false;
  plat_console_raw(true);
  if (pendingCount > 0) return true;
  struct pollfd p;
  p.fd = 0;
  p.events = POLLIN;
  p.revents = 0;
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

int plat_read_key(int* scan) {
  if (scan) *scan = 0;
  if (!stdin_terminal()) {
    int c = std::getchar();
    return c == EOF ? -1 : c;
  }
  plat_console_raw(true);
  int c = next_byte(-1);
  if (c < 0) return -1;
  if (c != 27) return c;
  int second = next_byte(SEQUENCE_GAP_MS);
  if (second == TIMED_OUT || second < 0) return 27;
  int code = 0;
  if (second == '[') {
    code = read_csi();
  } else if (second == 'O') {
    int f = next_byte(SEQUENCE_GAP_MS);
    code = f < 0 ? 0 : scan_for_final(f, false);
  } else {
    // Escape followed by an ordinary key: hand out both, one at a time.
    push_front_pending(static_cast<unsigned char>(second));
    return 27;
  }
  if (scan) *scan = code;
  return 0;
}

void plat_console_raw(bool on) {
  if (!stdin_terminal()) return;
  if (!on) {
    restore_mode();
    return;
  }
  if (rawOn) return;
  if (::tcgetattr(0, &savedMode) != 0) return;
  install_hooks();
  struct termios raw = savedMode;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // Stopping the program would leave the terminal raw under the shell.
  raw.c_cc[VSUSP] = _POSIX_VDISABLE;
  if (::tcsetattr(0, TCSANOW, &raw) == 0) rawOn = true;
}

bool plat_console_get_cursor(int* row, int* col) {
  if (row) *row = 0;
  if (col) *col = 0;
  // A terminal that never answered is not asked again and again, each time
  // costing the full wait.
  if (!stdin_terminal() || ::isatty(1) != 1 || cursorQueryFailures >= 3) return false;
  bool wasRaw = rawOn;
  plat_console_raw(true);
  if (!rawOn) return false;
  std::fflush(stdout);
  bool found = false;
  if (::write(1, "\033[6n", 4) == 4) {
    // Keys typed before the answer arrive first; keep them for later.
    unsigned char got[64];
    int n = 0, r = 0, c = 0, start = 0;
    for (int waited = 0; waited < 10 && !found;) {
      int byte = read_terminal_byte(50);
      if (byte == TIMED_OUT) {
        ++waited;
        continue;
      }
      if (byte < 0) break;
      if (n == static_cast<int>(sizeof got)) {
        push_pending(got, n);
        n = 0;
      }
      got[n++] = static_cast<unsigned char>(byte);
      if (parse_report(got, n, &start, &r, &c)) {
        push_pending(got, start);
        found = true;
        if (row) *row = r < 0 ? 0 : r;
        if (col) *col = c < 0 ? 0 : c;
      }
    }
    if (!found) push_pending(got, n);
  }
  cursorQueryFailures = found ? 0 : cursorQueryFailures + 1;
  if (!wasRaw) plat_console_raw(false);
  return found;
}

void plat_console_goto(int row, int col) {
  std::fprintf(stdout, "\033[%d;%dH", (row < 0 ? 0 : row) + 1, (col < 0 ? 0 : col) + 1);
}

void plat_console_clear_eol() { std::fputs("\033[K", stdout); }

bool plat_stdin_wait(unsigned timeoutMs) {
  if (stdin_terminal() && pendingCount > 0) return true;
  struct pollfd p;
  p.fd = 0;
  p.events = POLLIN;
  p.revents = 0;
  const int timeout = timeoutMs > 0x7fffffffu ? 0x7fffffff : static_cast<int>(timeoutMs);
  // A hang-up or an error counts as ready: the read then reports the end.
  return ::poll(&p, 1, timeout) > 0 && p.revents != 0;
}

long plat_stdin_read(void* data, std::size_t len) {
  for (;;) {
    const ssize_t n = ::read(0, data, len);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}
