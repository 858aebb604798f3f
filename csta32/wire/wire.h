// The frame codec shared by the client library and the switch simulator.
//
// Requests travel from a client stream to the switch, events back. Both go
// in frames:
//
//   offset 0  'T' 'X'          magic
//          2  version          kWireVersion
//          3  kind             kRequestFrame or kEventFrame
//          4  body length      unsigned 32, little-endian, at most kMaxBody
//          8  body checksum    CRC-32 of the body, little-endian
//         12  body
//
// Inside a body every integer is little-endian, texts are a length byte and
// that many characters (never more than the field's width), lists a 32-bit
// count and their entries. Decoding checks every length, count, code and the
// checksum, and refuses the frame (returns false) at the first thing wrong;
// it never reads outside the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csta32/include/csta32.h"

namespace wire {

const std::uint8_t kWireVersion = 1;
const std::size_t kHeaderSize = 12;
const std::size_t kMaxBody = 256 * 1024;
const std::size_t kMaxPrivate = 16 * 1024;  // private data bytes per frame
const std::size_t kMaxListEntries = 1024;   // connections or snapshot entries
const std::size_t kMaxCallStates = 64;      // states per device-snapshot entry

enum FrameKind : std::uint8_t { kRequestFrame = 1, kEventFrame = 2, kControlFrame = 3 };

// The kind of the frame at `data` (kRequestFrame...), or 0 when its header is
// incomplete or bad.
int frameKind(const std::uint8_t* data, std::size_t len);

// For byte streams: the whole size of the frame that starts at `data` once
// its header is complete (header + body), 0 while fewer than kHeaderSize
// bytes are there, -1 when the header cannot start a frame (bad magic,
// version, kind or length). Does not check the body.
long frameLength(const std::uint8_t* data, std::size_t avail);

// Private data as it travels: present or not, the vendor text and the bytes.
struct Private {
  bool present = false;
  char vendor[32] = {};
  std::vector<std::uint8_t> data;
};
// Copies a caller's PrivateData_t (null = none); at most kMaxPrivate bytes.
void setPrivate(Private& p, const PrivateData_t* pd);
void setPrivate(Private& p, const char* vendor, const void* data, std::size_t len);

// ---- requests --------------------------------------------------------------------

enum class Op : std::uint16_t {
  None = 0,
  OpenStream = 1,       // serverID, loginID, password, appName, apiVersion, level
  CloseStream = 2,      //
  AbortStream = 3,      // no confirmation; the session ends
  MakeCall = 4,         // device = calling, device2 = called
  ClearCall = 5,        // call
  ClearConnection = 6,  // call
  AnswerCall = 7,       // call
  HoldCall = 8,         // call, flag = reservation
  RetrieveCall = 9,     // call
  TransferCall = 10,    // call = held, call2 = active
  ConferenceCall = 11,  // call = held, call2 = active
  ConsultationCall = 12,  // call = active, device = called
  DeflectCall = 13,     // call, device = new destination
  SnapshotDevice = 14,  // device
  SnapshotCall = 15,    // call
  QueryDeviceInfo = 16, // device
  QueryDnd = 17,        // device
  SetDnd = 18,          // device, flag
  QueryMwi = 19,        // device
  SetMwi = 20,          // device, flag
  QueryFwd = 21,        // device
  MonitorDevice = 22,   // device, filter
  MonitorCall = 23,     // call, filter
  MonitorStop = 24,     // crossRefID
  EscapeService = 25,   // priv
  GetAPICaps = 26,      //
};
const std::uint16_t kLastOp = 26;

// Name of an operation for logs ("MakeCall"); "?" for an unknown one.
const char* opName(Op op);

struct Request {
  Op op = Op::None;
  InvokeID_t invokeID = 0;
  // OpenStream only.
  std::string serverID;    // at most 48 characters
  std::string loginID;     // at most 48
  std::string password;    // at most 48
  std::string appName;     // at most 20
  std::string apiVersion;  // at most 20
  Level_t level = ACS_LEVEL1;
  // Call and device arguments; which ones an operation uses is listed above.
  ConnectionID_t call = {};
  ConnectionID_t call2 = {};
  std::string device;   // at most 64 characters
  std::string device2;  // at most 64
  bool flag = false;
  CSTAMonitorFilter_t filter = {};
  CSTAMonitorCrossRefID_t crossRefID = 0;
  Private priv;
};

// Appends one frame to `out`. False (and nothing appended) when a field does
// not fit its width or the operation is unknown.
bool encodeRequest(const Request& r, std::vector<std::uint8_t>& out);
// `data` must hold exactly one frame.
bool decodeRequest(const std::uint8_t* data, std::size_t len, Request& r);

// ---- events ------------------------------------------------------------------------

struct DeviceSnapshotEntry {
  ConnectionID_t call = {};
  std::vector<LocalConnectionState_t> states;
};

// One event: the fixed part as the application sees it, and the variable
// parts in owned storage. The pointers inside `ev` are never used here; the
// lists below stand for them:
//   connections    conferenceCall.connList, transferCall.connList,
//                  conferenced.conferenceConnections,
//                  transferred.transferredConnections
//   callSnapshot   snapshotCall.snapshotData
//   deviceSnapshot snapshotDevice.snapshotData
// Counts inside `ev` for these are ignored; the lists' sizes count.
struct Event {
  CSTAEvent_t ev = {};
  std::vector<CSTAConnection_t> connections;
  std::vector<CSTASnapshotCallResponseInfo_t> callSnapshot;
  std::vector<DeviceSnapshotEntry> deviceSnapshot;
  Private priv;

  EventClass_t eventClass() const { return ev.eventHeader.eventClass; }
  EventType_t eventType() const { return ev.eventHeader.eventType; }
};

// Appends one frame to `out`. False (and nothing appended) for a class or
// type outside the tables or lists beyond the limits above.
bool encodeEvent(const Event& e, std::vector<std::uint8_t>& out);
// `data` must hold exactly one frame.
bool decodeEvent(const std::uint8_t* data, std::size_t len, Event& e);

// The invoke ID of a confirmation (ACS or CSTA), else 0.
InvokeID_t invokeIDOf(const Event& e);
void setInvokeID(Event& e, InvokeID_t id);

// ---- flow control (switch to client) ------------------------------------------------

// Makes the client library refuse the stream's next `count` requests with
// `refuse` (ACSERR_QUEUE_FULL or ACSERR_NOBUFFERS) without sending them, as a
// switch short of room would. count 0 ends an earlier refusal.
struct Control {
  RetCode_t refuse = ACSERR_QUEUE_FULL;
  std::uint32_t count = 0;
};
bool encodeControl(const Control& c, std::vector<std::uint8_t>& out);
bool decodeControl(const std::uint8_t* data, std::size_t len, Control& c);

// ---- laying an event out for the application -----------------------------------------

// Bytes needed to hold the event with its variable parts.
std::size_t layoutSize(const Event& e);
// Writes the event into `buf`: the fixed part first, then the variable parts,
// with the pointers of the fixed part aimed at them. False, writing nothing,
// when `size` is below layoutSize(e).
bool layoutEvent(const Event& e, void* buf, std::size_t size);

// ---- building events ---------------------------------------------------------------

Event acsConfirmation(EventType_t type, InvokeID_t invokeID);
Event openStreamConf(InvokeID_t invokeID, const char* apiVer, const char* libVer,
                     const char* tsrvVer, const char* drvrVer);
Event acsUniversalFailureConf(InvokeID_t invokeID, ACSUniversalFailure_t error);
Event acsUniversalFailure(ACSUniversalFailure_t error);  // unsolicited
Event cstaConfirmation(EventType_t type, InvokeID_t invokeID);
Event cstaUniversalFailureConf(InvokeID_t invokeID, CSTAUniversalFailure_t error);
Event cstaUnsolicited(EventType_t type, CSTAMonitorCrossRefID_t crossRefID);

// Bounded copy of a device text (at most 64 characters, zero-filled).
void copyDevice(DeviceID_t dst, const char* src);
// A device text as a string, without reading past the 64 characters.
std::string deviceString(const DeviceID_t dev);
ConnectionID_t connection(std::int32_t callID, const char* device,
                          ConnectionID_Device_t type = STATIC_ID);
// Null or empty device: status ID_NOT_KNOWN; otherwise ID_PROVIDED.
ExtendedDeviceID_t extendedDevice(const char* device,
                                  DeviceIDType_t type = DEVICE_IDENTIFIER);

// CRC-32 (IEEE) of a block, as carried in frame headers.
std::uint32_t crc32(const std::uint8_t* data, std::size_t len);

}  // namespace wire
