#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

plat_handle plat_open(const char* path, plat_open_mode mode) {
  if (!path) return PLAT_INVALID_HANDLE;
  int flags = 0;
  switch (mode) {
    case PLAT_OPEN_READ: flags = O_RDONLY; break;
    case PLAT_OPEN_WRITE_NEW: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case PLAT_OPEN_APPEND: flags = O_WRONLY | O_CREAT | O_APPEND; break;
    case PLAT_OPEN_READ_WRITE: flags = O_RDWR; break;
  }
  int fd = ::open(path, flags | O_CLOEXEC, 0666);
  return fd < 0 ? PLAT_INVALID_HANDLE : static_cast<plat_handle>(fd);
}

long plat_write(plat_handle h, const void* data, std::size_t len) {
  if (h == PLAT_INVALID_HANDLE) return -1;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::write(static_cast<int>(h), p + done, len - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

long plat_read(plat_handle h, void* data, std::size_t len) {
  if (h == PLAT_INVALID_HANDLE) return -1;
  for (;;) {
    ssize_t n = ::read(static_cast<int>(h), data, len);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool plat_close(plat_handle h) {
  if (h == PLAT_INVALID_HANDLE) return false;
  return ::close(static_cast<int>(h)) == 0;
}

bool plat_delete_file(const char* path) { return path && ::unlink(path) == 0; }

bool plat_rename_file(const char* from, const char* to) {
  return from && to && std::rename(from, to) == 0;
}

bool plat_file_exists(const char* path) {
  struct stat st;
  return path && ::stat(path, &st) == 0;
}

int plat_last_error() { return errno; }

bool plat_getenv(const char* name, char* buf, std::size_t size) {
  if (!name || !buf || size == 0) return false;
  const char* v = std::getenv(name);
  if (!v) {
    buf[0] = '\0';
    return false;
  }
  std::snprintf(buf, size, "%s", v);
  return true;
}

bool plat_temp_name(const char* near, char* buf, std::size_t size) {
  if (!buf || size == 0) return false;
  char dir[1024];
  if (near && *near) {
    std::snprintf(dir, sizeof dir, "%s", near);
    char* slash = std::strrchr(dir, '/');
    if (slash)
      *slash = '\0';
    else
      std::snprintf(dir, sizeof dir, ".");
  } else {
    const char* t = std::getenv("TMPDIR");
    std::snprintf(dir, sizeof dir, "%s", (t && *t) ? t : "/tmp");
  }
  char tmpl[1100];
  std::snprintf(tmpl, sizeof tmpl, "%s/pbxXXXXXX", dir);
  int fd = ::mkstemp(tmpl);
  if (fd < 0) return false;
  ::close(fd);
  if (std::strlen(tmpl) + 1 > size) {
    ::unlink(tmpl);
    return false;
  }
  std::snprintf(buf, size, "%s", tmpl);
  return true;
}

bool plat_resize_file(const char* path, std::uint64_t size) {
  return path && ::truncate(path, static_cast<off_t>(size)) == 0;
}
