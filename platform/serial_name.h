// The COMn form of a serial port name, shared by both systems' serial files.
#pragma once

#include <cctype>
#include <cstring>

namespace plat_serial_detail {

// n for "COMn", "comn:", "\\.\COMn" and the like; 0 for anything else
// (a file such as CALLS.COM or C:\COMPANY\CALLS.LOG is not a port).
inline int comPortNumber(const char* name) {
  if (!name) return 0;
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M')
    return 0;
  const char* p = name + 3;
  if (*p < '1' || *p > '9') return 0;
  long n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > 255) return 0;
  }
  if (*p == ':') ++p;
  return *p == '\0' ? static_cast<int>(n) : 0;
}

}  // namespace plat_serial_detail
