#include "platform/fileops.h"

#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

HANDLE to_win(plat_handle h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

plat_handle plat_create_exclusive(const char* path, bool temporary, bool* existed) {
  if (existed) *existed = false;
  if (!path || !*path) return PLAT_INVALID_HANDLE;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, CREATE_NEW,
                         temporary ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    if (existed) *existed = err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS;
    return PLAT_INVALID_HANDLE;
  }
  return reinterpret_cast<plat_handle>(h);
}

plat_handle plat_open_truncate(const char* path) {
  if (!path || !*path) return PLAT_INVALID_HANDLE;
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PLAT_INVALID_HANDLE;
  return reinterpret_cast<plat_handle>(h);
}

long long plat_file_size(const char* path) {
  if (!path || !*path) return -1;
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size;
  long long result = GetFileSizeEx(h, &size) ? static_cast<long long>(size.QuadPart) : -1;
  CloseHandle(h);
  return result;
}

bool plat_seek(plat_handle h, long long offset) {
  if (h == PLAT_INVALID_HANDLE || offset < 0) return false;
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(to_win(h), to, nullptr, FILE_BEGIN) != 0;
}

bool plat_make_dir(const char* path) {
  if (!path || !*path) return false;
  if (CreateDirectoryA(path, nullptr)) return true;
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Both the process environment and the C runtime's copy, so that getenv and
// GetEnvironmentVariable agree.
bool plat_setenv(const char* name, const char* value) {
  if (!name || !*name) return false;
  std::string entry = std::string(name) + "=" + (value ? value : "");
  if (_putenv(entry.c_str()) != 0) return false;
  return SetEnvironmentVariableA(name, value) != 0;
}

unsigned long plat_process_id() { return static_cast<unsigned long>(GetCurrentProcessId()); }

namespace {

struct ThreadStart {
  void (*fn)(void*);
  void* arg;
};

DWORD WINAPI threadMain(LPVOID p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  delete static_cast<ThreadStart*>(p);
  start.fn(start.arg);
  return 0;
}

}  // namespace

bool plat_start_thread(void (*fn)(void*), void* arg) {
  if (!fn) return false;
  ThreadStart* start = new ThreadStart{fn, arg};
  HANDLE h = CreateThread(nullptr, 0, threadMain, start, 0, nullptr);
  if (!h) {
    delete start;
    return false;
  }
  CloseHandle(h);
  return true;
}

long long plat_handle_size(plat_handle h) {
  if (h == PLAT_INVALID_HANDLE) return -1;
  LARGE_INTEGER size;
  return GetFileSizeEx(to_win(h), &size) ? static_cast<long long>(size.QuadPart) : -1;
}

// An append-only handle may not set the end of its file: a second handle
// with write access to the same file does it.
bool plat_truncate_handle(plat_handle h, long long size) {
  if (h == PLAT_INVALID_HANDLE || size < 0) return false;
  HANDLE w = ReOpenFile(to_win(h), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (w == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER to;
  to.QuadPart = size;
  const bool ok = SetFilePointerEx(w, to, nullptr, FILE_BEGIN) && SetEndOfFile(w);
  CloseHandle(w);
  return ok;
}

bool plat_handle_is_path(plat_handle h, const char* path) {
  if (h == PLAT_INVALID_HANDLE || !path || !*path) return false;
  BY_HANDLE_FILE_INFORMATION open;
  if (!GetFileInformationByHandle(to_win(h), &open)) {
    // An append-only handle may not read attributes: ask through a second one.
    HANDLE r = ReOpenFile(to_win(h), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    const bool known = r != INVALID_HANDLE_VALUE && GetFileInformationByHandle(r, &open);
    if (r != INVALID_HANDLE_VALUE) CloseHandle(r);
    // What cannot be told is taken as unchanged rather than reopened at every record.
    if (!known) return true;
  }
  plat_file_info named;
  if (!plat_file_info_of(path, &named)) return false;
  const std::uint64_t index =
      (static_cast<std::uint64_t>(open.nFileIndexHigh) << 32) | open.nFileIndexLow;
  return named.device == open.dwVolumeSerialNumber && named.file == index;
}
