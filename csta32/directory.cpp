// The server directory: which server names exist and where each one lives.
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

}  // namespace

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
  char path[1024];
  if (plat_getenv("CSTA32_CONFIG", path, sizeof path) && path[0]) {
    std::FILE* f = std::fopen(path, "r");
    if (!f) {
      warn("CSTA32_CONFIG", std::string("cannot read ") + path);
    } else {
      std::string text;
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
      std::fclose(f);
      if (!parseServerList(text, '\n', list, &error)) warn(path, error);
    }
  }
  std::vector<char> env(8192);
  if (plat_getenv("CSTA32_SERVERS", env.data(), env.size()) && env[0]) {
    if (!parseServerList(env.data(), ';', list, &error)) warn("CSTA32_SERVERS", error);
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
