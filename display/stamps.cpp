#include "display/stamps.h"

#include <cstdint>

#include "console/output.h"
#include "console/settings.h"

namespace {

bool invokeIDstampsOn = true;
bool invokeIDdelayOn = true;

struct timeStamp {
  std::uint32_t invokeID;
  bool valid;
  std::int32_t olderTime;
  std::int32_t lastTime;
};

const int STAMP_SLOTS = 128;
timeStamp invokeStamps[STAMP_SLOTS];

StampClock testClock = nullptr;

const std::uint64_t programStart = plat_millis();

// Milliseconds since the program started. Kept as 32 bits like the slots;
// differences are taken modulo 2^32 so a wrap after 24 days is harmless.
std::int32_t nowMillis() {
  if (testClock) return testClock();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(plat_millis() - programStart));
}

std::int32_t millisBetween(std::int32_t later, std::int32_t earlier) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) -
                                   static_cast<std::uint32_t>(earlier));
}

timeStamp& slotOf(InvokeID_t invokeID) { return invokeStamps[invokeID % STAMP_SLOTS]; }

bool slotHolds(const timeStamp& slot, InvokeID_t invokeID) {
  return slot.valid && slot.invokeID == invokeID;
}

}  // namespace

bool o_enableInvokeIDstamps(bool on) {
  bool previous = invokeIDstampsOn;
  invokeIDstampsOn = on;
  return previous;
}

bool o_enableInvokeIDdelayStamps(bool on) {
  bool previous = invokeIDdelayOn;
  invokeIDdelayOn = on;
  return previous;
}

float stampInvokeID(InvokeID_t invokeID) {
  std::int32_t now = nowMillis();
  timeStamp& slot = slotOf(invokeID);
  if (slotHolds(slot, invokeID)) {
    std::int32_t previous = slot.lastTime;
    slot.olderTime = previous;
    slot.lastTime = now;
    return static_cast<float>(millisBetween(now, previous) * 0.001);
  }
  slot.valid = true;
  slot.invokeID = invokeID;
  slot.olderTime = slot.lastTime = now;
  return 0.0f;
}

std::int32_t getInvokeIDstamp(InvokeID_t invokeID) {
  const timeStamp& slot = slotOf(invokeID);
  return slotHolds(slot, invokeID) ? slot.lastTime : 0;
}

bool o_invokeIDdelta(InvokeID_t invokeID, int column, bool flag) {
  const timeStamp& slot = slotOf(invokeID);
  if (!slotHolds(slot, invokeID)) return false;
  if (invokeIDdelayOn)
    o_lprintf(column, flag, "%f", millisBetween(slot.lastTime, slot.olderTime) * 0.001);
  return true;
}

void o_invokeID(InvokeID_t invokeID, int column, bool flag) {
  if (invokeIDstampsOn) o_lprintf(column, flag, "%lu", static_cast<unsigned long>(invokeID));
}

void o_invokeIDwithTime(InvokeID_t invokeID, int column, bool flag) {
  o_invokeID(invokeID, column, flag);
  o_invokeIDdelta(invokeID, column + 8, true);
}

StampClock o_setStampClockForTests(StampClock clock) {
  StampClock previous = testClock;
  testClock = clock;
  return previous;
}

void o_resetInvokeIDstamps() {
  for (timeStamp& slot : invokeStamps) slot = timeStamp();
}
