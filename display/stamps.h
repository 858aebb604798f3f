// Invoke-ID stamps: when each request went out and its answer came in, and
// the fields that show an invoke ID and the delay between its two stamps.
// 128 slots, chosen by the low seven bits of the invoke ID; a slot belongs to
// the invoke ID stored in it. Times are milliseconds since program start.
#pragma once

#include <cstdint>

#include "csta32/include/csta32.h"

// Each setter stores the new value and returns the old one.
bool o_enableInvokeIDstamps(bool on);       // invoke IDs in confirmations; on
bool o_enableInvokeIDdelayStamps(bool on);  // request-to-confirmation delays; on

// Called when a request goes out and again when its answer comes in. Returns
// the seconds since the slot's last stamp when the slot holds this invoke ID;
// otherwise claims the slot and returns 0.
float stampInvokeID(InvokeID_t invokeID);
// The slot's last stamp when it holds this invoke ID, else 0.
std::int32_t getInvokeIDstamp(InvokeID_t invokeID);
// Writes the delay between the slot's last two stamps ("%f" seconds) when
// delays are on. False when the slot does not hold this invoke ID.
bool o_invokeIDdelta(InvokeID_t invokeID, int column, bool flag);
// The invoke ID in decimal, when invoke-ID stamps are on.
void o_invokeID(InvokeID_t invokeID, int column, bool flag);
// o_invokeID, then the delay eight columns further on.
void o_invokeIDwithTime(InvokeID_t invokeID, int column, bool flag);

// The stamps' clock, milliseconds. Tests put their own in; null restores the
// real one (plat_millis since start). Returns the previous clock (null for
// the real one).
typedef std::int32_t (*StampClock)();
StampClock o_setStampClockForTests(StampClock clock);
// Empties every slot.
void o_resetInvokeIDstamps();
