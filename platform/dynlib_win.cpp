#include "platform/dynlib.h"

#include <windows.h>

void* plat_load_library(const char* path) {
  return path ? reinterpret_cast<void*>(LoadLibraryA(path)) : nullptr;
}

void* plat_library_symbol(void* library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* plat_library_ordinal(void* library, unsigned ordinal) {
  if (!library || ordinal == 0 || ordinal > 0xFFFF) return nullptr;
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(library), MAKEINTRESOURCEA(static_cast<WORD>(ordinal))));
}
