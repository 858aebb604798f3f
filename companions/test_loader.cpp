// The companion tests' view of the staged libraries, over the platform
// layer. Where the stage lies and how libraries are named come from the
// build (see companions/CMakeLists.txt).
#include "companions/test_loader.h"

#include "platform/dynlib.h"
#include "platform/fileops.h"
#include "platform/platform.h"

namespace bridgetest {

std::string stage_dir(bool withVoxbridge) { return withVoxbridge ? BRIDGE_STAGE : BRIDGE_STAGE_NOVOX; }

std::string path_join(const std::string& dir, const std::string& name) { return dir + "/" + name; }

std::string library_file(const std::string& base) {
  return BRIDGE_LIBRARY_PREFIX + base + BRIDGE_LIBRARY_SUFFIX;
}

void* load_library(const std::string& path, std::string* error) {
  char why[512] = "";
  void* lib = plat_load_library(path.c_str(), why, sizeof why);
  if (!lib && error) *error = why;
  return lib;
}

void* find_by_name(void* library, const char* name) { return plat_library_symbol(library, name); }

bool has_ordinals() { return BRIDGE_HAS_ORDINALS != 0; }

void* find_by_ordinal(void* library, int ordinal) {
  return ordinal > 0 ? plat_library_ordinal(library, static_cast<unsigned>(ordinal)) : nullptr;
}

bool make_dir(const std::string& path) { return plat_make_dir(path.c_str()); }

// The platform's files are opened sharing writes: voxbridge may hold the
// file open while it is read.
bool read_file(const std::string& path, std::string* out) {
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_READ);
  if (h == PLAT_INVALID_HANDLE) return false;
  out->clear();
  char buf[4096];
  long n;
  while ((n = plat_read(h, buf, sizeof buf)) > 0) out->append(buf, static_cast<std::size_t>(n));
  plat_close(h);
  return n == 0;
}

}  // namespace bridgetest
