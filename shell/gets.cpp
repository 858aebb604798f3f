#include "shell/shell.h"

#include <cstring>

// Plain line reading until the editor lands.
char* echo_gets(int, int, char* buffer) {
  if (!std::fgets(buffer, 128, stdin)) buffer[0] = '\0';
  buffer[std::strcspn(buffer, "\r\n")] = '\0';
  return buffer;
}
