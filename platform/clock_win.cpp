#include "platform/platform.h"

#include <windows.h>

#include <ctime>

// The performance counter rather than GetTickCount64: the tick count moves in
// steps of 10-16 ms, too coarse for short timeouts and for telling two
// nearby instants apart.
std::uint64_t plat_millis() {
  static const std::uint64_t freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? static_cast<std::uint64_t>(f.QuadPart) : 1000u;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  std::uint64_t ticks = static_cast<std::uint64_t>(c.QuadPart);
  // Split so ticks * 1000 cannot overflow.
  return ticks / freq * 1000u + ticks % freq * 1000u / freq;
}

void plat_sleep_ms(unsigned ms) { Sleep(static_cast<DWORD>(ms)); }

void plat_yield() { SwitchToThread(); }

namespace {
bool timeZoneRead = false;
}

bool plat_local_time(std::int64_t t, struct tm* out) {
  if (!timeZoneRead) plat_reload_time_zone();
  const __time64_t when = static_cast<__time64_t>(t);
  return _localtime64_s(out, &when) == 0;
}

void plat_reload_time_zone() {
  _tzset();
  timeZoneRead = true;
}
