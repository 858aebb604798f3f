#include <windows.h>

#include "loader.h"

namespace bridgetest {

std::string program_dir() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return ".";
  std::string path(buf, n);
  return path.substr(0, path.find_last_of("\\/"));
}

std::string path_join(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

std::string library_file(const std::string& base) { return base + ".dll"; }

// The altered search order puts the DLL's own folder first, so voxbridge.dll
// is found beside the companion and nowhere near the test program.
void* load_library(const std::string& path, std::string* error) {
  UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE lib = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  DWORD code = GetLastError();
  SetErrorMode(old);
  if (!lib && error) *error = "LoadLibraryEx failed, error " + std::to_string(code);
  return reinterpret_cast<void*>(lib);
}

void* find_by_name(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool has_ordinals() { return true; }

void* find_by_ordinal(void* library, int ordinal) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library),
                                                MAKEINTRESOURCEA(ordinal)));
}

bool make_dir(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool read_file(const std::string& path, std::string* out) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  out->clear();
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out->append(buf, got);
  CloseHandle(h);
  return true;
}

}  // namespace bridgetest
