// Minimal console: line-oriented until the key-at-a-time editor support lands.
#include "platform/platform.h"

#include <cstdio>
#include <unistd.h>

bool plat_stdin_is_terminal() { return ::isatty(0) == 1; }
bool plat_key_waiting() { return false; }
int plat_read_key(int* scan) {
  if (scan) *scan = 0;
  int c = std::getchar();
  return c == EOF ? -1 : c;
}
void plat_console_raw(bool) {}
bool plat_console_get_cursor(int* row, int* col) {
  if (row) *row = 0;
  if (col) *col = 0;
  return false;
}
void plat_console_goto(int, int) {}
void plat_console_clear_eol() {}
