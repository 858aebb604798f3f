// Server path names on Windows are local names already, once the server's
// prefix for a full local name is dropped.
#include "platform/platform.h"

#include <cstring>
#include <windows.h>

bool plat_map_path(const char* name, char* out, std::size_t size) {
  if (!out || size == 0) return false;
  out[0] = '\0';
  if (!name) return false;
  static const char kDosDevices[] = "\\dosdevices\\";
  const std::size_t prefix = sizeof kDosDevices - 1;
  if (_strnicmp(name, kDosDevices, prefix) == 0) name += prefix;
  std::size_t len = std::strlen(name);
  if (len + 1 > size) return false;
  std::memcpy(out, name, len + 1);
  return true;
}
