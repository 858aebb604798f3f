// Serial ports on Win32: the comm-state calls for line settings, PurgeComm,
// ClearCommError for the CE_ word, and comm timeouts on every write so a
// stalled port cannot hold the program.
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <windows.h>

#include "platform/serial_name.h"

namespace {

HANDLE to_win(plat_handle h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

bool plat_serial_name(const char* name, char* device, std::size_t size) {
  if (!device || size == 0) return false;
  device[0] = '\0';
  const int n = plat_serial_detail::comPortNumber(name);
  if (n <= 0) return false;
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\COM%d", n);
  if (std::strlen(path) + 1 <= size) std::memcpy(device, path, std::strlen(path) + 1);
  return true;
}

plat_handle plat_serial_open(const char* device) {
  if (!device || !*device) return PLAT_INVALID_HANDLE;
  HANDLE h = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PLAT_INVALID_HANDLE;
  return reinterpret_cast<plat_handle>(h);
}

bool plat_serial_set_mode(plat_handle h, const char* mode) {
  if (h == PLAT_INVALID_HANDLE || !mode) return false;
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(to_win(h), &dcb)) return false;
  if (!BuildCommDCBA(mode, &dcb)) return false;
  return SetCommState(to_win(h), &dcb) != 0;
}

bool plat_serial_purge(plat_handle h) {
  return h != PLAT_INVALID_HANDLE && PurgeComm(to_win(h), PURGE_TXABORT | PURGE_TXCLEAR) != 0;
}

bool plat_serial_errors(plat_handle h, unsigned long* errors) {
  if (!errors) return false;
  *errors = 0;
  if (h == PLAT_INVALID_HANDLE) return false;
  DWORD word = 0;
  if (!ClearCommError(to_win(h), &word, nullptr)) return false;
  *errors = word;
  return true;
}

long plat_serial_write(plat_handle h, const void* data, std::size_t len, unsigned timeoutMs) {
  return plat_serial_write_counted(h, data, len, timeoutMs, nullptr);
}

int plat_serial_port_number(const char* name) { return plat_serial_detail::comPortNumber(name); }

long plat_serial_write_counted(plat_handle h, const void* data, std::size_t len,
                               unsigned timeoutMs, std::size_t* sent) {
  if (sent) *sent = 0;
  if (h == PLAT_INVALID_HANDLE || (!data && len > 0)) return -1;
  if (len > 0x7FFFFFFF) return -1;
  COMMTIMEOUTS timeouts;
  std::memset(&timeouts, 0, sizeof timeouts);
  timeouts.WriteTotalTimeoutConstant = timeoutMs;
  // A device that is no port (a stand-in) takes no timeouts: write plainly.
  SetCommTimeouts(to_win(h), &timeouts);
  DWORD written = 0;
  const BOOL ok = WriteFile(to_win(h), data, static_cast<DWORD>(len), &written, nullptr);
  if (sent) *sent = written;
  if (!ok) return -1;
  if (written != len) {
    SetLastError(WAIT_TIMEOUT);
    return -1;
  }
  return static_cast<long>(written);
}
