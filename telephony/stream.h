// probix32's one TSAPI stream: opening it from the profile and the operator's
// answers, the request routine every TSAPI request goes through (and the
// buffer private messages are built in), closing, aborting and reopening,
// and the stream-information report.
#pragma once

#include <cstddef>
#include <cstdint>

#include "csta32/include/csta32.h"
#include "private/telvanix_private.h"
#include "telephony/servers.h"

extern ACSHandle_t acsHandle;          // open stream; 0 = none
extern InvokeID_t invokeID;            // invoke ID of the next request (starts at 1)
extern InvokeID_t acsOpenInvokeID;     // invoke ID of the last open request
extern bool acsStreamAborted;          // stream lost; the event poll reopens it
extern std::int64_t lastReopenAcsStream;  // seconds of the wait clock; last reopen attempt
extern int serverIndex;                // server slot of the current connection

// Stream information reported by the server, one record per stream ID.
#define STREAM_STATUS_COUNT 129
extern TelvanixPrivateStreamInfo streamStatus[STREAM_STATUS_COUNT];
extern std::uint16_t highestStreamSeen;
// Stores one report under its stream ID; IDs above 128 are dropped.
void storeStreamInfo(const TelvanixPrivateStreamInfo& info);

// ---- private messages ----------------------------------------------------------

// The one send buffer of private messages, followed by a header-sized scratch area that is
// cleared with it. A message must be sent before the next one is built.
struct TelvanixPrivateSendArea {
  TelvanixPrivateMessage message;
  TelvanixPrivateHeader scratch;
};
extern TelvanixPrivateSendArea pvtSendArea;

// Clears the send buffer and its scratch area, then builds the header of a
// message (length 299) in it. Returns the buffer.
TelvanixPrivateMessage* setupPrivateMessage(privateMessageID msgType, std::int32_t callID,
                                            const char* deviceID);
// Clears the scratch area only (done at every stream open).
void clearPrivateScratchHeader();

// The one way a private message leaves: cstaEscapeService on the open stream
// through ACS_CALL, which reports a refusal under `tag`. True when it went.
bool sendPrivateMessage(const TelvanixPrivateMessage* message, const char* tag);
// ---- requests ---------------------------------------------------------------------

// The request routine. `rCode` is the return of a TSAPI request the caller
// issued with the current invokeID. Stamps and advances invokeID whether or
// not the request was accepted; a refused request (negative rCode) is
// reported as "!? ACS ERROR <name>: when trying to <error>" and gives false.
bool ACS_CALL(const char* error, RetCode_t rCode);
// "ACSERR_..." for the library's return codes -1..-13, else "?<code>?" in a
// static buffer overwritten by the next call.
const char* getACSerrorName(RetCode_t code);

void doConnect();          // CONNECT
void doDisconnect();       // DISCONNECT
// doAbortStream (ABORT_STREAM, also at exit) is declared in servers.h.
// The event loop's reopen of a lost stream; the open request's return code.
RetCode_t doReopenAcsStream();
void doReportStreamInfo(); // REPORT STREAM_INFO

// Back to the state before the first CONNECT (tests): forgets the handle
// without closing it, invokeID 1, stream table empty.
void resetStreamState();
