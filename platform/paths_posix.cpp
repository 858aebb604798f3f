// Server path names on Linux: drives are folders, backslashes are slashes,
// and names match existing ones ignoring case as Windows does.
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>

namespace {

const char kDosDevices[] = "\\dosdevices\\";

std::string driveRoot(char letter) {
  char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  char var[32];
  std::snprintf(var, sizeof var, "TELVANIX_DRIVE_%c", upper);
  const char* own = std::getenv(var);
  if (own && *own) return own;
  std::string base;
  const char* drives = std::getenv("TELVANIX_DRIVES");
  if (drives && *drives) {
    base = drives;
  } else {
    const char* home = std::getenv("HOME");
    base = (home && *home) ? std::string(home) + "/.telvanix/drives" : "/tmp/telvanix/drives";
  }
  return base + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Appends one name to dir, as written when it exists, else as an existing
// entry that differs only in case, else as written (a file to be created).
void appendComponent(std::string& dir, const std::string& name) {
  std::string exact = dir.empty() ? name : (dir == "/" ? "/" + name : dir + "/" + name);
  if (name == "." || name == ".." || exists(exact)) {
    dir = exact;
    return;
  }
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d) {
    while (struct dirent* e = ::readdir(d)) {
      if (::strcasecmp(e->d_name, name.c_str()) == 0) {
        exact = dir.empty() ? e->d_name : (dir == "/" ? std::string("/") + e->d_name : dir + "/" + e->d_name);
        break;
      }
    }
    ::closedir(d);
  }
  dir = exact;
}

}  // namespace

bool plat_map_path(const char* name, char* out, std::size_t size) {
  if (!out || size == 0) return false;
  out[0] = '\0';
  if (!name) return false;
  const std::size_t prefix = sizeof kDosDevices - 1;
  if (::strncasecmp(name, kDosDevices, prefix) == 0) name += prefix;

  std::string result;
  const char* rest = name;
  if (std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') {
    result = driveRoot(name[0]);
    rest = name + 2;
  } else if (name[0] == '\\') {
    result = driveRoot('C');
  } else if (name[0] == '/') {
    result = "/";
    rest = name + 1;
  }
  // A relative name on a drive ("C:x") is taken from the drive's root too.
  std::string component;
  for (const char* p = rest;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      if (!component.empty()) {
        appendComponent(result, component);
        component.clear();
      }
      if (*p == '\0') break;
    } else {
      component += *p;
    }
  }
  if (result.size() + 1 > size) return false;
  std::memcpy(out, result.c_str(), result.size() + 1);
  return true;
}
