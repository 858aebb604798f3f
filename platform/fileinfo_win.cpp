#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

bool plat_file_info_of(const char* path, plat_file_info* info) {
  if (!path || !*path || !info) return false;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  info->directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->regular = !info->directory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  info->mode = 0;
  info->owner = info->group = -1;
  info->device = info->file = 0;
  // Folders open only with backup semantics; either way the handle is only
  // asked for the file's identity.
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION by;
    if (GetFileInformationByHandle(h, &by)) {
      info->device = by.dwVolumeSerialNumber;
      info->file = (static_cast<std::uint64_t>(by.nFileIndexHigh) << 32) | by.nFileIndexLow;
    }
    if (GetFileType(h) == FILE_TYPE_CHAR || GetFileType(h) == FILE_TYPE_PIPE) info->regular = false;
    CloseHandle(h);
  }
  return true;
}

bool plat_same_file(const char* a, const char* b) {
  plat_file_info x, y;
  if (!plat_file_info_of(a, &x) || !plat_file_info_of(b, &y)) return false;
  return x.file != 0 && x.device == y.device && x.file == y.file;
}

// Windows files carry no POSIX mode: a file made beside another in the same
// folder inherits that folder's access rules already.
bool plat_copy_file_access(const char* path, const plat_file_info&) {
  return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Profiles are not reached through links on Windows: the path is the file.
bool plat_link_target(const char* path, char* out, std::size_t size) {
  if (!path || !out || size == 0) return false;
  out[0] = '\0';
  if (std::strlen(path) >= size) return false;
  std::snprintf(out, size, "%s", path);
  return true;
}
