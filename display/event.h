// The event formatter: the text form of every ACS and CSTA event. Its lines
// are built with the primitives of lines.h; confirmations show the invoke-ID
// stamps of stamps.h.
//
// Output goes through the shell's column output, one line at a time. Nothing
// here allocates: the event loop pushes every event of a busy switch through
// o_event.
#pragma once

#include <cstddef>
#include <cstdint>

#include "csta32/include/csta32.h"

// The handle of our own stream (0 when none). Events of another handle show
// it in their headers. Returns the old one.
ACSHandle_t o_setLocalACShandle(ACSHandle_t handle);

// ---- events -------------------------------------------------------------------------

// Writes one event. `pvt` is the event's private data or null; every line
// starts with `comnt`; without `verbose` only the first line's text is
// written: no continuation lines, no line ends.
void o_event(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
             const char* comnt);

void o_eventHeader(const ACSEventHeader_t* eHdr, bool verbose);

void o_ACSconfirmation(const CSTAEvent_t* event, bool verbose, const char* comnt);
void o_CSTAconfirmation(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
                        const char* comnt);
void o_CSTAunsolicited(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
                       const char* comnt);

// ---- element writers (nothing for a null pointer) ----------------------------------

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
