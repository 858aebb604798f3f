#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

bool plat_file_info_of(const char* path, plat_file_info* info) {
  struct stat st;
  if (!path || !info || ::stat(path, &st) != 0) return false;
  info->regular = S_ISREG(st.st_mode);
  info->directory = S_ISDIR(st.st_mode);
  info->mode = static_cast<unsigned>(st.st_mode & 07777);
  info->owner = static_cast<long>(st.st_uid);
  info->group = static_cast<long>(st.st_gid);
  info->device = static_cast<std::uint64_t>(st.st_dev);
  info->file = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool plat_same_file(const char* a, const char* b) {
  plat_file_info x, y;
  return plat_file_info_of(a, &x) && plat_file_info_of(b, &y) && x.device == y.device &&
         x.file == y.file;
}

bool plat_copy_file_access(const char* path, const plat_file_info& like) {
  if (!path) return false;
  // The owner first: giving a file away may clear its set-ID bits, which the
  // mode then puts back where that is allowed.
  if (like.owner >= 0 && like.group >= 0 &&
      ::chown(path, static_cast<uid_t>(like.owner), static_cast<gid_t>(like.group)) != 0) {
    // Not the owner's to give: keep at least the group where permitted.
    if (::chown(path, static_cast<uid_t>(-1), static_cast<gid_t>(like.group)) != 0) {
    }
  }
  return ::chmod(path, static_cast<mode_t>(like.mode & 07777)) == 0;
}

bool plat_link_target(const char* path, char* out, std::size_t size) {
  if (!path || !out || size == 0) return false;
  out[0] = '\0';
  char current[PATH_MAX];
  if (std::strlen(path) >= sizeof current) return false;
  std::snprintf(current, sizeof current, "%s", path);
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current, &st) != 0 || !S_ISLNK(st.st_mode)) {
      if (std::strlen(current) >= size) return false;
      std::snprintf(out, size, "%s", current);
      return true;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(current, target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = '\0';
    const char* slash = std::strrchr(current, '/');
    if (target[0] == '/' || !slash) {
      std::memcpy(current, target, static_cast<std::size_t>(n) + 1);
    } else {
      // A relative target is relative to the folder holding the link.
      const std::size_t dirLength = static_cast<std::size_t>(slash - current) + 1;
      if (dirLength + static_cast<std::size_t>(n) >= sizeof current) return false;
      std::memcpy(current + dirLength, target, static_cast<std::size_t>(n) + 1);
    }
  }
  errno = ELOOP;
  return false;
}
