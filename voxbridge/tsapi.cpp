#include "voxbridge/tsapi.h"

#include "platform/platform.h"

namespace vox {

namespace {

std::uint64_t realMillis() { return plat_millis(); }
void realSleep(unsigned ms) { plat_sleep_ms(ms); }
const Timing kRealTiming = {realMillis, realSleep};
const Timing* g_timing = &kRealTiming;

// Polls that only yield come first, for a few milliseconds of real time: an
// answer on loopback takes tens of microseconds, and a millisecond's sleep
// would be most of a digit's round trip. A longer wait then pauses, at most
// 8 ms at a time, on the library's clock.
const std::uint64_t kYieldingMs = 3;

RetCode_t pollWithin(ACSHandle_t handle, void* buffer, std::uint16_t* size, PrivateData_t* priv,
                     unsigned timeoutMs) {
  const std::uint64_t start = timing().millis();
  const std::uint64_t yieldUntil = plat_millis() + kYieldingMs;
  const std::uint16_t room = *size;
  const std::uint16_t privateRoom = priv ? priv->length : 0;
  unsigned pause = 1;
  for (;;) {
    *size = room;
    if (priv) priv->length = privateRoom;
    RetCode_t r = acsGetEventPoll(handle, buffer, size, priv, nullptr);
    if (r != ACSERR_NOMESSAGE) return r;
    if (timing().millis() - start >= timeoutMs) return ACSERR_NOMESSAGE;
    if (plat_millis() < yieldUntil) {
      plat_yield();
      continue;
    }
    timing().sleep(pause);
    if (pause < 8) pause *= 2;
  }
}

const Tsapi kReal = {
    cstaClearCall,  acsOpenStream,    cstaMakeCall,      cstaSnapshotCallReq,
    cstaEscapeService, acsGetEventBlock, cstaMonitorCall, acsGetEventPoll,
    acsCloseStream, cstaSnapshotDeviceReq, cstaMonitorStop, pollWithin,
};

const Tsapi* g_current = &kReal;

}  // namespace

const Tsapi& realTsapi() { return kReal; }
const Tsapi& tsapi() { return *g_current; }
void setTsapiForTests(const Tsapi* calls) { g_current = calls ? calls : &kReal; }

const Timing& timing() { return *g_timing; }
void setTimingForTests(const Timing* t) { g_timing = t ? t : &kRealTiming; }

}  // namespace vox
