// One lock covers the first open and every write, so lines of threads that
// log at once never interleave and the file is opened once.
#include "voxbridge/debuglog.h"

#include <cstdio>
#include <mutex>

#include "platform/platform.h"
#include "platform/fileops.h"

namespace vox {

namespace {

const char kLogName[] = "C:\\temp\\kqkvrlog.txt";
const std::size_t kLineBuffer = 1024;

std::mutex& logMutex() {
  static std::mutex* m = new std::mutex;  // still usable from exit handlers
  return *m;
}
enum { LOG_UNTRIED, LOG_ON, LOG_OFF } g_state = LOG_UNTRIED;
plat_handle g_file = PLAT_INVALID_HANDLE;
void (*g_tap)(const std::string&) = nullptr;

void openOnce() {
  if (g_state != LOG_UNTRIED) return;
  char path[1024];
  g_state = LOG_OFF;
  if (!plat_map_path(kLogName, path, sizeof path)) return;
  g_file = plat_open_truncate(path);
  if (g_file != PLAT_INVALID_HANDLE) g_state = LOG_ON;
}

}  // namespace

void logLineV(const char* format, va_list args) {
  if (!format) return;
  // Over-long lines are cut so that the line end still fits.
  char line[kLineBuffer];
  int n = std::vsnprintf(line, sizeof line - 2, format, args);
  if (n < 0) return;
  std::size_t len = static_cast<std::size_t>(n);
  if (len > sizeof line - 3) len = sizeof line - 3;
  std::lock_guard<std::mutex> lock(logMutex());
  if (g_tap) g_tap(std::string(line, len));
  openOnce();
  if (g_state != LOG_ON) return;
  line[len] = '\r';
  line[len + 1] = '\n';
  plat_write(g_file, line, len + 2);
}

void logLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  logLineV(format, args);
  va_end(args);
}

void setLogTap(void (*tap)(const std::string&)) {
  std::lock_guard<std::mutex> lock(logMutex());
  g_tap = tap;
}

void resetLogForTests() {
  std::lock_guard<std::mutex> lock(logMutex());
  if (g_file != PLAT_INVALID_HANDLE) plat_close(g_file);
  g_file = PLAT_INVALID_HANDLE;
  g_state = LOG_UNTRIED;
}

}  // namespace vox
