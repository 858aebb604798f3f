#include "platform/fileops.h"

#include <cerrno>
#include <fcntl.h>
#include <pthread.h>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

plat_handle plat_create_exclusive(const char* path, bool /*temporary*/, bool* existed) {
  if (existed) *existed = false;
  if (!path || !*path) return PLAT_INVALID_HANDLE;
  int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (existed) *existed = errno == EEXIST;
    return PLAT_INVALID_HANDLE;
  }
  return static_cast<plat_handle>(fd);
}

plat_handle plat_open_truncate(const char* path) {
  if (!path || !*path) return PLAT_INVALID_HANDLE;
  int fd = ::open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return PLAT_INVALID_HANDLE;
  if (::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return PLAT_INVALID_HANDLE;
  }
  return static_cast<plat_handle>(fd);
}

long long plat_file_size(const char* path) {
  if (!path || !*path) return -1;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  long long size = ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  ::close(fd);
  return size;
}

bool plat_seek(plat_handle h, long long offset) {
  if (h == PLAT_INVALID_HANDLE || offset < 0) return false;
  return ::lseek(static_cast<int>(h), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool plat_make_dir(const char* path) {
  if (!path || !*path) return false;
  if (::mkdir(path, 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool plat_setenv(const char* name, const char* value) {
  if (!name || !*name) return false;
  return value ? ::setenv(name, value, 1) == 0 : ::unsetenv(name) == 0;
}

unsigned long plat_process_id() { return static_cast<unsigned long>(::getpid()); }

namespace {

struct ThreadStart {
  void (*fn)(void*);
  void* arg;
};

void* threadMain(void* p) {
  ThreadStart start = *static_cast<ThreadStart*>(p);
  delete static_cast<ThreadStart*>(p);
  start.fn(start.arg);
  return nullptr;
}

}  // namespace

bool plat_start_thread(void (*fn)(void*), void* arg) {
  if (!fn) return false;
  ThreadStart* start = new ThreadStart{fn, arg};
  pthread_t t;
  if (pthread_create(&t, nullptr, threadMain, start) != 0) {
    delete start;
    return false;
  }
  pthread_detach(t);
  return true;
}

long long plat_handle_size(plat_handle h) {
  if (h == PLAT_INVALID_HANDLE) return -1;
  struct stat st;
  return ::fstat(static_cast<int>(h), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool plat_truncate_handle(plat_handle h, long long size) {
  if (h == PLAT_INVALID_HANDLE || size < 0) return false;
  return ::ftruncate(static_cast<int>(h), static_cast<off_t>(size)) == 0;
}

bool plat_handle_is_path(plat_handle h, const char* path) {
  if (h == PLAT_INVALID_HANDLE || !path || !*path) return false;
  struct stat open, named;
  if (::fstat(static_cast<int>(h), &open) != 0 || ::stat(path, &named) != 0) return false;
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
