// Directory listing on Windows: FindFirstFile does the matching.
#include "platform/platform.h"

#include <cstring>
#include <string>
#include <windows.h>

bool plat_list_files(const char* pattern, plat_file_visitor visit, void* context) {
  if (!pattern || !visit) return false;
  char local[1024];
  if (!plat_map_path(pattern, local, sizeof local)) return false;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(local, &found);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool going = true;
  do {
    const char* name = found.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    going = visit(name, context);
  } while (going && FindNextFileA(h, &found));
  FindClose(h);
  return true;
}
