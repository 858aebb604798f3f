#include "platform/dynlib.h"

#include <dlfcn.h>

#include <cstdio>

// Libraries find their neighbours through their own $ORIGIN run path.
void* plat_load_library(const char* path, char* why, std::size_t size) {
  void* lib = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (!lib && why && size) {
    const char* e = path ? dlerror() : nullptr;
    std::snprintf(why, size, "%s", e ? e : "no library named");
  }
  return lib;
}

void* plat_library_symbol(void* library, const char* name) {
  return library && name ? dlsym(library, name) : nullptr;
}

void* plat_library_ordinal(void*, unsigned) { return nullptr; }
