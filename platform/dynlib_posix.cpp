#include "platform/dynlib.h"

#include <dlfcn.h>

void* plat_load_library(const char* path) { return path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr; }

void* plat_library_symbol(void* library, const char* name) {
  return library && name ? dlsym(library, name) : nullptr;
}

void* plat_library_ordinal(void*, unsigned) { return nullptr; }
