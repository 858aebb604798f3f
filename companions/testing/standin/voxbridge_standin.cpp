// A test-only stand-in for voxbridge while the real library is not in the
// build: the exports the companions and their tests use, at voxbridge's
// ordinals, with a fixed configuration of two boards (three lines and two)
// instead of telsrvr.ini. The log follows voxbridge's rule: written only
// when C:\temp\kqkvrlog.txt exists at the first line, truncated then.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {
const int kLines[] = {3, 2};
const int kBoards = 2;

struct Device {
  int board;
  int channel;
};
std::vector<Device> devices;  // a handle is an index; board -1 marks a free slot

bool logChecked = false;
plat_handle logFile = PLAT_INVALID_HANDLE;

bool assigned(std::int32_t h) {
  return h >= 0 && static_cast<std::size_t>(h) < devices.size() && devices[h].board >= 0;
}
}  // namespace

extern "C" {

void debug_log(const char* format, ...) {
  if (!logChecked) {
    logChecked = true;
    char path[512];
    if (plat_map_path("C:\\temp\\kqkvrlog.txt", path, sizeof path) && plat_file_exists(path))
      logFile = plat_open(path, PLAT_OPEN_WRITE_NEW);
  }
  if (logFile == PLAT_INVALID_HANDLE) return;
  char line[1024 + 2];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, 1024, format, args);
  va_end(args);
  std::size_t len = n < 0 ? 0 : (n >= 1024 ? 1023 : static_cast<std::size_t>(n));
  line[len++] = '\r';
  line[len++] = '\n';
  plat_write(logFile, line, len);
}

std::int32_t dx_open(const char* name, std::int32_t) {
  debug_log("dx_open(%s)", name ? name : "(null)");
  int board = -1, channel = -1;
  char sep = 0;
  if (!name || std::strncmp(name, "dxxxB", 5) != 0) return -1;
  int fields = std::sscanf(name + 5, "%d%c%d", &board, &sep, &channel);
  if (fields != 1 && !(fields == 3 && sep == 'C')) return -1;
  if (board < 1 || board > kBoards) return -1;
  if (fields == 1) channel = -1;
  else if (channel < 0 || channel > kLines[board - 1]) return -1;
  for (std::size_t i = 0; i < devices.size(); ++i)
    if (devices[i].board < 0) {
      devices[i] = Device{board, channel};
      return static_cast<std::int32_t>(i);
    }
  devices.push_back(Device{board, channel});
  return static_cast<std::int32_t>(devices.size() - 1);
}

std::int32_t dx_close(std::int32_t h) {
  debug_log("dx_close(%d)", static_cast<int>(h));
  if (assigned(h)) devices[h].board = -1;
  return 0;
}

std::int32_t CountSubdevs(std::int32_t h) {
  if (!assigned(h) || devices[h].channel >= 0) return 0;
  return kLines[devices[h].board - 1];
}

std::int32_t CountBoards(void) { return kBoards; }

std::int32_t LastError(std::int32_t h) { return assigned(h) ? 0 : -1; }

}  // extern "C"
