// Directory listing on Linux: readdir in the folder's own order, names
// matched against a Windows-style wildcard ignoring case.
#include "platform/platform.h"

#include <cctype>
#include <cstring>
#include <dirent.h>
#include <string>

namespace {

bool sameLetter(char a, char b) {
  return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

// '*' any run, '?' one character; iterative with one backtrack point.
bool matches(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && sameLetter(*pattern, *name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool plat_list_files(const char* pattern, plat_file_visitor visit, void* context) {
  if (!pattern || !visit) return false;
  std::string all(pattern);
  const std::size_t cut = all.find_last_of("/\\");
  std::string folder = cut == std::string::npos ? "." : all.substr(0, cut + 1);
  std::string wild = cut == std::string::npos ? all : all.substr(cut + 1);
  if (wild.empty() || wild == "*.*") wild = "*";
  char local[1024];
  if (folder != "." && !plat_map_path(folder.c_str(), local, sizeof local)) return false;
  DIR* dir = opendir(folder == "." ? "." : local);
  if (!dir) return false;
  bool going = true;
  while (going) {
    const dirent* entry = readdir(dir);
    if (!entry) break;
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (matches(wild.c_str(), name)) going = visit(name, context);
  }
  closedir(dir);
  return true;
}
