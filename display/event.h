// The event formatter: the text form of every ACS and CSTA event, and the
// invoke-ID stamps that show how long a confirmation took.
//
// Output goes through the shell's column output, one line at a time. Nothing
// here allocates: the event loop pushes every event of a busy switch through
// o_event.
#pragma once

#include <cstddef>
#include <cstdint>

#include "csta32/include/csta32.h"

// ---- switches -------------------------------------------------------------------
// Each setter stores the new value and returns the old one.

bool o_enableInvokeIDstamps(bool on);       // invoke IDs in confirmations; on
bool o_enableInvokeIDdelayStamps(bool on);  // request-to-confirmation delays; on
bool o_enableTimestamps(bool on);           // date and time on first lines; off

// The handle of our own stream (0 when none). Events of another handle show
// it in their headers.
ACSHandle_t o_setLocalACShandle(ACSHandle_t handle);

// ---- invoke-ID stamps ----------------------------------------------------------
// 128 slots, chosen by the low seven bits of the invoke ID; a slot belongs to
// the invoke ID stored in it. Times are milliseconds since program start.

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

// ---- server firmware --------------------------------------------------------------
// Read from the driver version of the stream-open confirmation (" %d.%d-%d");
// the private-message display compares against it.

struct FirmwareVersion {
  std::uint16_t fwMajor;
  std::uint16_t fwMinor;
  std::uint16_t fwEdit;
};
FirmwareVersion o_getFirmwareVersion();
// Scans at most `size` characters of `text` (no terminator needed). Fields
// that are missing become 0; values are held to 0..65535.
void o_storeFirmwareVersion(const char* text, int size);

// ---- events -------------------------------------------------------------------------

// Writes one event. `pvt` is the event's private data or null; every line
// starts with `comnt`; without `verbose` only the first line's text is
// written: no continuation lines, no line ends.
void o_event(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
             const char* comnt);

void o_firstLineStart(const char* comnt, bool verbose);
void o_eventHeader(const ACSEventHeader_t* eHdr, bool verbose);

void o_ACSconfirmation(const CSTAEvent_t* event, bool verbose, const char* comnt);
void o_CSTAconfirmation(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
                        const char* comnt);
void o_CSTAunsolicited(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
                       const char* comnt);

// ---- element writers (nothing for a null pointer) ----------------------------------

// Text that came from the server, at most `max` characters: control
// characters are shown as \xHH, so a terminal never acts on them.
void o_serverText(const char* text, std::size_t max, int column, bool flag);
void o_deviceID(const char* deviceID, int column, bool flag);  // at most 64 characters
void o_connectionID(const ConnectionID_t* connID, int column, bool flag);
// False, and nothing written, unless the device was provided.
bool o_extendedDeviceID(const ExtendedDeviceID_t* deviceID, int column, bool flag);
void o_connectionList(const CSTAConnectionList_t* conn, int column, const char* comnt);
void o_forwardingInfo(const ForwardingInfo_t* pInfo, int column, bool flag);
void o_forwardList(const ListForwardParameters_t* forward, int column, const char* comnt);
void o_snapshotCall(const CSTASnapshotCallData_t* snapData, int column, const char* comnt);
void o_snapshotDevice(const CSTASnapshotDeviceData_t* pSnapData, int indent,
                      const char* comnt);
void o_deviceResponseInfo(const CSTASnapshotDeviceResponseInfo_t* info, int indent, bool flag);
void o_callState(const CSTACallState_t* pState, int indent, bool flag);
void o_APIcap(const char* comnt, const char* string);
void o_registerReqID(std::int32_t reqID, int column, bool flag);
