#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "loader.h"

namespace bridgetest {

std::string program_dir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  return path.substr(0, path.find_last_of('/'));
}

std::string path_join(const std::string& dir, const std::string& name) { return dir + "/" + name; }

std::string library_file(const std::string& base) { return "lib" + base + ".so"; }

// The companions find voxbridge through their $ORIGIN run path, the same
// rule as a DLL's own folder on Windows.
void* load_library(const std::string& path, std::string* error) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib && error) *error = dlerror();
  return lib;
}

void* find_by_name(void* library, const char* name) { return dlsym(library, name); }

bool has_ordinals() { return false; }

void* find_by_ordinal(void*, int) { return nullptr; }

bool make_dir(const std::string& path) { return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST; }

bool read_file(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *out = text.str();
  return true;
}

}  // namespace bridgetest
