// OS file handles, environment and temporary names on Win32. A plat_handle
// holds the HANDLE itself; INVALID_HANDLE_VALUE and PLAT_INVALID_HANDLE are
// both -1.
#include "platform/platform.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>
#include <windows.h>

namespace {

HANDLE to_win(plat_handle h) { return reinterpret_cast<HANDLE>(h); }

// COM and LPT ports (with or without a trailing colon, or in \\.\ form)
// only open with exclusive access.
bool is_device_name(const char* path) {
  if (std::strncmp(path, "\\\\.\\", 4) == 0) return true;
  const char* p = path;
  if ((_strnicmp(p, "COM", 3) != 0 && _strnicmp(p, "LPT", 3) != 0)) return false;
  p += 3;
  if (*p < '1' || *p > '9') return false;
  while (*p >= '0' && *p <= '9') ++p;
  if (*p == ':') ++p;
  return *p == '\0';
}

}  // namespace

plat_handle plat_open(const char* path, plat_open_mode mode) {
  if (!path || !*path) return PLAT_INVALID_HANDLE;
  DWORD access = 0;
  DWORD create = 0;
  switch (mode) {
    case PLAT_OPEN_READ: access = GENERIC_READ; create = OPEN_EXISTING; break;
    case PLAT_OPEN_WRITE_NEW: access = GENERIC_WRITE; create = CREATE_ALWAYS; break;
    // Append-only access makes every write land at the current end, even
    // when another handle has written there meanwhile.
    case PLAT_OPEN_APPEND: access = FILE_APPEND_DATA; create = OPEN_ALWAYS; break;
    case PLAT_OPEN_READ_WRITE: access = GENERIC_READ | GENERIC_WRITE; create = OPEN_EXISTING; break;
    default: return PLAT_INVALID_HANDLE;
  }
  // Others may read, write, rename or delete an open file, as on POSIX.
  DWORD share = is_device_name(path) ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = CreateFileA(path, access, share, nullptr, create, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PLAT_INVALID_HANDLE;
  return reinterpret_cast<plat_handle>(h);
}

long plat_write(plat_handle h, const void* data, std::size_t len) {
  if (h == PLAT_INVALID_HANDLE || (!data && len > 0)) return -1;
  // The count must fit the result.
  if (len > static_cast<std::size_t>(LONG_MAX)) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    DWORD n = 0;
    if (!WriteFile(to_win(h), p + done, static_cast<DWORD>(len - done), &n, nullptr)) return -1;
    if (n == 0) return -1;
    done += n;
  }
  return static_cast<long>(done);
}

long plat_read(plat_handle h, void* data, std::size_t len) {
  if (h == PLAT_INVALID_HANDLE || (!data && len > 0)) return -1;
  if (len > static_cast<std::size_t>(LONG_MAX)) len = static_cast<std::size_t>(LONG_MAX);
  DWORD n = 0;
  if (!ReadFile(to_win(h), data, static_cast<DWORD>(len), &n, nullptr)) {
    // A pipe whose writer has gone is at its end, not in error.
    DWORD err = GetLastError();
    if (err == ERROR_BROKEN_PIPE || err == ERROR_HANDLE_EOF) return 0;
    return -1;
  }
  return static_cast<long>(n);
}

bool plat_close(plat_handle h) {
  if (h == PLAT_INVALID_HANDLE) return false;
  return CloseHandle(to_win(h)) != 0;
}

bool plat_delete_file(const char* path) { return path && DeleteFileA(path) != 0; }

bool plat_rename_file(const char* from, const char* to) {
  // Replaces an existing target, as rename() does on POSIX.
  return from && to && MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool plat_file_exists(const char* path) {
  return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int plat_last_error() { return static_cast<int>(GetLastError()); }

bool plat_getenv(const char* name, char* buf, std::size_t size) {
  if (!name || !buf || size == 0) return false;
  buf[0] = '\0';
  DWORD cap = size > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<DWORD>(size);
  SetLastError(ERROR_SUCCESS);
  DWORD n = GetEnvironmentVariableA(name, buf, cap);
  if (n == 0) {
    // Zero is also the length of a variable that is set but empty.
    buf[0] = '\0';
    return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  }
  if (n < cap) return true;
  // Too long for the caller: the API then leaves buf undefined and returns
  // the size it needs. Fetch the whole value and keep what fits.
  std::vector<char> whole(n + 1);
  SetLastError(ERROR_SUCCESS);
  DWORD got = GetEnvironmentVariableA(name, whole.data(), static_cast<DWORD>(whole.size()));
  if (got == 0 || got >= whole.size()) {
    buf[0] = '\0';
    return got == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  }
  std::snprintf(buf, size, "%s", whole.data());
  return true;
}

// windows.h defines `near` away, hence the other parameter name.
bool plat_temp_name(const char* where, char* buf, std::size_t size) {
  if (!buf || size == 0) return false;
  char dir[MAX_PATH + 1];
  if (where && *where) {
    // The directory part of `where`: up to its last separator, "X:" for a
    // drive-relative name, or the current directory.
    std::size_t len = std::strlen(where);
    std::size_t cut = len;
    while (cut > 0 && where[cut - 1] != '\\' && where[cut - 1] != '/' && where[cut - 1] != ':') --cut;
    if (cut == 0) {
      std::snprintf(dir, sizeof dir, ".");
    } else {
      // Keep a root's separator ("C:\", "\") and the colon of "X:".
      std::size_t keep = cut;
      if (where[cut - 1] != ':' && cut > 1 && !(cut == 3 && where[1] == ':')) keep = cut - 1;
      if (keep >= sizeof dir) return false;
      std::memcpy(dir, where, keep);
      dir[keep] = '\0';
    }
  } else {
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) return false;
  }
  // GetTempFileNameA creates the file, so the name is ours until deleted.
  char name[MAX_PATH + 1];
  if (GetTempFileNameA(dir, "pbx", 0, name) == 0) return false;
  if (std::strlen(name) + 1 > size) {
    DeleteFileA(name);
    return false;
  }
  std::snprintf(buf, size, "%s", name);
  return true;
}

bool plat_resize_file(const char* path, std::uint64_t size) {
  if (!path) return false;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  CloseHandle(h);
  return ok;
}
