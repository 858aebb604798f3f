// Locking: g_mutex guards everything below. LoadConfiguration holds it for
// the whole reading, so a second thread waits and then finds the boards.
#include "voxbridge/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/platform.h"
#include "voxbridge/debuglog.h"

namespace vox {

namespace {

struct Board {
  std::string server;
  std::map<std::int32_t, std::string> lines;
};

std::mutex& configMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::vector<Board> g_boards;
std::string g_user;
std::string g_password;
std::string g_drive = "C:";

// Lines hold at most this many characters before their line end (the
// reader's buffer is 80 bytes with room for the line feed and terminator).
const std::size_t kMaxLineChars = 78;
// A configuration is a few hundred lines: a bigger file is not one.
const std::size_t kMaxFileBytes = 1u << 20;

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

struct Reading {
  bool setup = false;
  std::string pendingDevice;
  std::uint32_t limit = 0xFFFFFFFFu;
  std::set<std::string> taken;
};

bool lastBoardHasRoom(const Reading& r) {
  return !g_boards.empty() && static_cast<std::uint32_t>(g_boards.back().lines.size()) < r.limit;
}

void classify(const std::string& line, Reading& r) {
  if (startsWith(line, "[Setup]")) {
    r.setup = true;
  } else if (startsWith(line, "[")) {
    r.setup = false;
  } else if (startsWith(line, "DeviceID=")) {
    if (!lastBoardHasRoom(r)) return;
    std::string device = line.substr(9);
    if (r.taken.count(device)) return;
    r.taken.insert(device);
    r.pendingDevice = device;
  } else if (startsWith(line, "KVRLine=")) {
    if (!lastBoardHasRoom(r) || r.pendingDevice.empty()) return;
    int number = 0;
    if (std::sscanf(line.c_str() + 8, "%d", &number) == 1) {
      logLine("Adding  KVR Line: %d DeviceID: %s", number, r.pendingDevice.c_str());
      g_boards.back().lines.insert(std::make_pair(number, r.pendingDevice));
    }
    r.pendingDevice.clear();
  } else if (r.setup) {
    if (startsWith(line, "User=")) {
      g_user = line.substr(5);
    } else if (startsWith(line, "Password=")) {
      g_password = line.substr(9);
    } else if (startsWith(line, "Server=")) {
      Board b;
      b.server = line.substr(7);
      g_boards.push_back(b);
    } else if (startsWith(line, "NumberDevices=")) {
      r.limit = static_cast<std::uint32_t>(std::strtoll(line.c_str() + 14, nullptr, 10));
    }
  }
}

void parseText(const std::string& text) {
  Reading r;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::size_t next = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(pos, (end == std::string::npos ? text.size() : end) - pos);
    pos = next;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A line too long for the reader's buffer is passed over; the rest of
    // the file still counts.
    if (line.size() > kMaxLineChars) {
      logLine("Configuration line too long, skipped: %.40s", line.c_str());
      continue;
    }
    classify(configNormaliseLine(line), r);
  }
}

void readFile(const char* localPath) {
  // Only a regular file: a pipe would hold dx_open at the open, a device
  // would never end.
  plat_file_info info;
  if (!plat_file_info_of(localPath, &info)) return;
  if (!info.regular) {
    logLine("Configuration file %s is not a regular file, not read", localPath);
    return;
  }
  plat_handle h = plat_open(localPath, PLAT_OPEN_READ);
  if (h == PLAT_INVALID_HANDLE) return;
  std::string text;
  char chunk[4096];
  long n;
  while (text.size() <= kMaxFileBytes && (n = plat_read(h, chunk, sizeof chunk)) > 0)
    text.append(chunk, static_cast<std::size_t>(n));
  plat_close(h);
  if (text.size() > kMaxFileBytes) {
    logLine("Configuration file %s is larger than %lu bytes, not read", localPath,
            static_cast<unsigned long>(kMaxFileBytes));
    return;
  }
  parseText(text);
}

void loadLocked() {
  if (!g_boards.empty()) return;
  char kvr[261];
  std::string base = "C:\\KVR";
  if (plat_getenv("KVR", kvr, sizeof kvr) && kvr[0] && std::strlen(kvr) < 240) {
    base = kvr;
    if (base.back() == '\\') base.pop_back();
  }
  g_drive = base.size() >= 2 && base[1] == ':' ? base.substr(0, 1) + ":" : "C:";
  std::string path = base + "\\telsrvr\\telsrvr.ini";
  logLine("Reading config file %s", path.c_str());
  char local[1024];
  if (plat_map_path(path.c_str(), local, sizeof local)) readFile(local);
}

}  // namespace

std::string configNormaliseLine(const std::string& line) {
  std::string out;
  bool seenEquals = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\0' || c == '\n' || c == '\r') break;
    if (c == ' ' || c == '\t') continue;
    if (!seenEquals) {
      out += c;
      seenEquals = c == '=';
      continue;
    }
    // The value starts here and stays as written, up to the line end.
    std::size_t end = i;
    while (end < line.size() && line[end] != '\0' && line[end] != '\n' && line[end] != '\r') ++end;
    out.append(line, i, end - i);
    break;
  }
  return out;
}

void LoadConfiguration() {
  std::lock_guard<std::mutex> lock(configMutex());
  loadLocked();
}

int configBoardCount() {
  std::lock_guard<std::mutex> lock(configMutex());
  return static_cast<int>(g_boards.size());
}

int configLineCount(int board) {
  std::lock_guard<std::mutex> lock(configMutex());
  if (board <= 0 || static_cast<std::size_t>(board) > g_boards.size()) return 0;
  return static_cast<int>(g_boards[static_cast<std::size_t>(board) - 1].lines.size());
}

bool configLookupLine(int board, std::int32_t line, std::string* deviceID) {
  std::lock_guard<std::mutex> lock(configMutex());
  if (board <= 0 || static_cast<std::size_t>(board) > g_boards.size()) return false;
  const auto& lines = g_boards[static_cast<std::size_t>(board) - 1].lines;
  auto it = lines.find(line);
  if (it == lines.end()) return false;
  if (deviceID) *deviceID = it->second;
  return true;
}

std::string configServer(int board) {
  std::lock_guard<std::mutex> lock(configMutex());
  if (board <= 0 || static_cast<std::size_t>(board) > g_boards.size()) return std::string();
  return g_boards[static_cast<std::size_t>(board) - 1].server;
}

std::string configUser() {
  std::lock_guard<std::mutex> lock(configMutex());
  return g_user;
}

std::string configPassword() {
  std::lock_guard<std::mutex> lock(configMutex());
  return g_password;
}

std::string configDrive() {
  std::lock_guard<std::mutex> lock(configMutex());
  return g_drive;
}

bool configCheckDeviceName(const char* name) {
  if (!name || std::strncmp(name, "dxxxB", 5) != 0) return false;
  int board = 0, channel = 0;
  char separator = 0;
  int fields = std::sscanf(name + 5, "%d%c%d", &board, &separator, &channel);
  if (fields != 1 && !(fields == 3 && separator == 'C')) return false;
  if (static_cast<unsigned>(board) > static_cast<unsigned>(configBoardCount())) {
    LoadConfiguration();
    if (static_cast<unsigned>(board) > static_cast<unsigned>(configBoardCount())) return false;
  }
  if (fields == 1) return true;
  LoadConfiguration();
  if (board == 0) return false;
  return static_cast<unsigned>(channel) <= static_cast<unsigned>(configLineCount(board));
}

void configResetForTests() {
  std::lock_guard<std::mutex> lock(configMutex());
  g_boards.clear();
  g_user.clear();
  g_password.clear();
  g_drive = "C:";
}

void configReadFileForTests(const char* localPath) {
  std::lock_guard<std::mutex> lock(configMutex());
  readFile(localPath);
}

void configParseTextForTests(const std::string& text) {
  std::lock_guard<std::mutex> lock(configMutex());
  parseText(text);
}

}  // namespace vox
