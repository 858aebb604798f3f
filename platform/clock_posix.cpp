#include "platform/platform.h"

#include <ctime>
#include <sched.h>

std::uint64_t plat_millis() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
         static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
}

void plat_sleep_ms(unsigned ms) {
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0) {
  }
}

void plat_yield() { sched_yield(); }

namespace {
bool timeZoneRead = false;
}

// localtime would look at the zone file again on every call; localtime_r
// trusts the zone that tzset read.
bool plat_local_time(std::int64_t t, struct tm* out) {
  if (!timeZoneRead) plat_reload_time_zone();
  const time_t when = static_cast<time_t>(t);
  return localtime_r(&when, out) != nullptr;
}

void plat_reload_time_zone() {
  tzset();
  timeZoneRead = true;
}
