// Helpers shared by the voice library's tests: scratch folders and files.
#pragma once

#include <cstdio>
#include <string>

#include "platform/fileops.h"
#include "platform/platform.h"

namespace voxtest {

// A fresh folder under the build tree for this test (local form).
inline std::string scratchDir(const std::string& name) {
  std::string root = VOX_TEST_DIR;
#if defined(_WIN32)
  if (!root.empty() && root[0] == '/') root = "Z:" + root;
#endif
  plat_make_dir(root.c_str());
  std::string dir = root + "/" + name;
  plat_make_dir(dir.c_str());
  return dir;
}

inline bool writeFile(const std::string& path, const std::string& text) {
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_WRITE_NEW);
  if (h == PLAT_INVALID_HANDLE) return false;
  bool ok = plat_write(h, text.data(), text.size()) == static_cast<long>(text.size());
  plat_close(h);
  return ok;
}

inline std::string readFile(const std::string& path) {
  std::string text;
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_READ);
  if (h == PLAT_INVALID_HANDLE) return text;
  char buf[4096];
  long n;
  while ((n = plat_read(h, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  plat_close(h);
  return text;
}

// Drive letters: on Linux each is a folder of a scratch tree for this test;
// on Windows the names are the system's own (only drive C is used).
inline void useScratchDrives() {
#if !defined(_WIN32)
  std::string root = scratchDir("drives");
  plat_make_dir((root + "/c").c_str());
  plat_setenv("TELVANIX_DRIVES", root.c_str());
  plat_setenv("TELVANIX_DRIVE_C", nullptr);
#endif
}

// The local name of a Windows-form name.
inline std::string local(const std::string& winName) {
  char out[1024];
  return plat_map_path(winName.c_str(), out, sizeof out) ? std::string(out) : std::string();
}

// Creates a Windows-form folder and its parents ("C:\\KVR\\telsrvr").
inline void makeDirs(const std::string& winDir) {
  std::size_t at = winDir.find('\\');
  while (at != std::string::npos) {
    at = winDir.find('\\', at + 1);
    plat_make_dir(local(winDir.substr(0, at)).c_str());
  }
}

inline bool writeWin(const std::string& winName, const std::string& text) {
  return writeFile(local(winName), text);
}

}  // namespace voxtest
