// The server directory: which server names exist and where each one lives.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "platform/platform.h"

namespace csta32 {

namespace {

const char* const kDefaultServer = "TELVANIX";

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool parseEntry(const std::string& entry, ServerEntry& out, std::string* why) {
  std::size_t eq = entry.find('=');
  if (eq == std::string::npos) {
    *why = "no '='";
    return false;
  }
  out.name = trim(entry.substr(0, eq));
  std::string where = trim(entry.substr(eq + 1));
  if (out.name.empty() || out.name.size() >= sizeof(ServerID_t)) {
    *why = "server name empty or longer than 48 characters";
    return false;
  }
  if (sameName(where, "embedded")) {
    out.embedded = true;
    out.host.clear();
    out.port = 0;
    return true;
  }
  std::size_t colon = where.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == where.size()) {
    *why = "expected 'embedded' or host:port";
    return false;
  }
  std::string port = where.substr(colon + 1);
  long value = 0;
  for (char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c)) || value > 65535) {
      value = -1;
      break;
    }
    value = value * 10 + (c - '0');
  }
  if (value <= 0 || value > 65535) {
    *why = "bad port";
    return false;
  }
  out.embedded = false;
  out.host = where.substr(0, colon);
  out.port = static_cast<int>(value);
  return true;
}

std::mutex g_warnMutex;
std::mutex g_addedMutex;
std::vector<ServerEntry>& added() {
  static std::vector<ServerEntry>* v = new std::vector<ServerEntry>;
  return *v;
}

// The directory is read again for every open; say what is wrong once.
void warn(const char* source, const std::string& message) {
  static std::set<std::string>* said = new std::set<std::string>;
  std::string text = std::string(source) + ": " + message;
  std::lock_guard<std::mutex> lock(g_warnMutex);
  if (!said->insert(text).second) return;
  std::fprintf(stderr, "csta32: %s\n", text.c_str());
}

// A directory file is a few lines; anything this big is not one.
const std::size_t kMaxConfigBytes = 1u << 20;
// Environment values are read whole up to this size; longer ones are refused.
const std::size_t kMaxEnvBytes = 1u << 20;

// Reads the directory file named by CSTA32_CONFIG: a regular file (a device
// or a pipe would never end or never start) of at most kMaxConfigBytes.
bool readConfigFile(const char* path, std::string& text, std::string* why) {
  plat_file_info info;
  if (!plat_file_info_of(path, &info)) {
    *why = std::string("cannot read ") + path;
    return false;
  }
  if (!info.regular) {
    *why = std::string(path) + " is not a regular file; not read";
    return false;
  }
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    *why = std::string("cannot read ") + path;
    return false;
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= kMaxConfigBytes) text.append(buf, n);
  std::fclose(f);
  if (text.size() > kMaxConfigBytes) {
    *why = std::string(path) + " is larger than " + std::to_string(kMaxConfigBytes) + " bytes; not read";
    text.clear();
    return false;
  }
  return true;
}

}  // namespace

bool readWholeEnv(const char* name, std::string& value, std::size_t cap, std::string* why) {
  value.clear();
  // The platform call cuts what does not fit: a value that fills the buffer
  // may have been cut, so try again with more room.
  std::vector<char> buf(8192);
  for (;;) {
    if (!plat_getenv(name, buf.data(), buf.size())) return false;
    const std::size_t len = std::strlen(buf.data());
    if (len + 1 < buf.size()) {
      value.assign(buf.data(), len);
      return true;
    }
    // Room for cap characters, the terminator and one more tells a value of
    // cap characters from a longer one.
    if (buf.size() >= cap + 2) {
      if (why) *why = "longer than " + std::to_string(cap) + " characters; not used";
      return false;
    }
    buf.resize(std::min(buf.size() * 2, cap + 2));
  }
}

bool parseServerList(const std::string& text, char sep, std::vector<ServerEntry>& out,
                     std::string* error) {
  bool ok = true;
  std::size_t start = 0;
  int number = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(sep, start);
    if (end == std::string::npos) end = text.size();
    std::string entry = trim(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (entry.empty() || (sep == '\n' && (entry[0] == '#' || entry[0] == ';'))) continue;
    ServerEntry e;
    std::string why;
    if (!parseEntry(entry, e, &why)) {
      if (ok && error) *error = "entry " + std::to_string(number) + ": " + why;
      ok = false;
      continue;
    }
    bool replaced = false;
    for (auto& old : out)
      if (sameName(old.name, e.name)) {
        old = e;
        replaced = true;
      }
    if (!replaced) out.push_back(e);
  }
  return ok;
}

std::vector<ServerEntry> serverDirectory() {
  std::vector<ServerEntry> list;
  std::string error;
  std::string path, why;
  if (readWholeEnv("CSTA32_CONFIG", path, kMaxEnvBytes, &why) && !path.empty()) {
    std::string text;
    if (!readConfigFile(path.c_str(), text, &why)) warn("CSTA32_CONFIG", why);
    else if (!parseServerList(text, '\n', list, &error)) warn(path.c_str(), error);
  } else if (!why.empty()) {
    warn("CSTA32_CONFIG", why);
  }
  std::string env;
  why.clear();
  if (readWholeEnv("CSTA32_SERVERS", env, kMaxEnvBytes, &why) && !env.empty()) {
    if (!parseServerList(env, ';', list, &error)) warn("CSTA32_SERVERS", error);
  } else if (!why.empty()) {
    warn("CSTA32_SERVERS", why);
  }
  if (list.empty()) {
    ServerEntry e;
    e.name = kDefaultServer;
    e.embedded = true;
    list.push_back(e);
  }
  return list;
}

void addServer(const ServerEntry& e) {
  std::lock_guard<std::mutex> lock(g_addedMutex);
  for (auto& old : added())
    if (sameName(old.name, e.name)) {
      old = e;
      return;
    }
  added().push_back(e);
}

void removeServer(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_addedMutex);
  auto& v = added();
  for (auto it = v.begin(); it != v.end(); ++it)
    if (sameName(it->name, name)) {
      v.erase(it);
      return;
    }
}

bool findServer(const char* name, ServerEntry& out) {
  if (!name) return false;
  std::string wanted = trim(name);
  {
    std::lock_guard<std::mutex> lock(g_addedMutex);
    for (const auto& e : added())
      if (sameName(e.name, wanted)) {
        out = e;
        return true;
      }
  }
  for (const auto& e : serverDirectory())
    if (sameName(e.name, wanted)) {
      out = e;
      return true;
    }
  return false;
}

}  // namespace csta32

RetCode_t acsEnumServerNames(StreamType_t streamType, EnumServerNamesCB callback,
                             EnumServerNamesParam_t lParam) {
  if (!callback) return ACSERR_BADPARAMETER;
  if (streamType != ST_CSTA) return ACSPOSITIVE_ACK;
  for (const auto& e : csta32::serverDirectory()) {
    char name[sizeof(ServerID_t)];
    std::memset(name, 0, sizeof name);
    std::strncpy(name, e.name.c_str(), sizeof name - 1);
    if (callback(name, lParam)) break;
  }
  return ACSPOSITIVE_ACK;
}
