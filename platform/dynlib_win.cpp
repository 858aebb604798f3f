#include "platform/dynlib.h"

#include <windows.h>

#include <cstdio>
#include <string>

void* plat_load_library(const char* path, char* why, std::size_t size) {
  if (!path) {
    if (why && size) std::snprintf(why, size, "no library named");
    return nullptr;
  }
  // With a full path the altered search order looks for what the library
  // needs in its own folder first; it wants backslashes.
  std::string p(path);
  for (char& c : p)
    if (c == '/') c = '\\';
  const bool full = (p.size() > 2 && p[1] == ':' && p[2] == '\\') || p.compare(0, 2, "\\\\") == 0;
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE lib = LoadLibraryExA(p.c_str(), nullptr, full ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  DWORD code = GetLastError();
  SetErrorMode(old);
  if (!lib && why && size) std::snprintf(why, size, "LoadLibraryEx failed, error %lu", code);
  return reinterpret_cast<void*>(lib);
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
