// Opening and closing a channel, its private requests and event readers, and
// the play, record and digit operations built on them.
//
// The three operations share one wait (runUntilEnd): the state of the
// running operation is an Operation, and each event read is judged by it
// (ended, failed, or go on). The busy flags that Stop looks at are set only
// while a request is outstanding and cleared by scope, on every way out.
//
// Events passed over while a request waits for its confirmation are dropped,
// except digits and the events of the call the channel works on: those are
// kept in held_ and read first by the next WaitUnsolicitedEvent/
// GetUnsolicitedEvent, so that a hang-up or an end report that arrives
// during a wait still ends the running operation. A held event whose call is
// no longer the channel's is dropped when its turn comes. Held events are
// restored into eventBuffer, the buffer they were read into, so the pointers
// inside an event stay valid.
#include "voxbridge/channel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/fileops.h"
#include "voxbridge/config.h"
#include "voxbridge/debuglog.h"
#include "voxbridge/voicefiles.h"

namespace vox {

namespace {

static_assert(sizeof(CSTAEvent_t) <= kEventBufferSize, "an event fits the event buffer");

// The confirmation wait reads private data into an area of its own.
const std::uint16_t kConfirmationPrivate = 616;
const int kMaxTooSmall = 6;
const int kMaxFailedReads = 10;
const unsigned kRecordPollSleepMs = 10;
const unsigned kDeleteRetryMs = 500;
const int kDeleteRetries = 1200;
const std::size_t kMaxFileName = 127;
const std::int32_t kUnsupported = 8;  // lastError of a refused argument
const std::size_t kDefaultPlayPiece = 64 * 1024;

std::atomic<std::size_t> g_playPiece{kDefaultPlayPiece};
std::atomic<std::size_t> g_playHighWater{0};

// Record time limit in seconds per byte: the single-precision 0x39AAAAAB.
float recordSecondsPerByte() {
  const std::uint32_t bits = 0x39AAAAABu;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

std::string deviceText(const char (&device)[64]) { return getPrivateText(device, sizeof device); }

// Next entry of a DX_IOTT or DV_TPT chain; null at the end.
template <class Entry, class Next>
Entry* nextEntry(Entry* e, std::uint16_t type, Next* link) {
  if (type & IO_EOT) return nullptr;
  if (type & IO_LINK) return link;
  return e + 1;
}

DX_IOTT* nextIott(DX_IOTT* e) {
  DX_IOTT* next = nextEntry(e, e->io_type, e->io_nextp);
  if (next) next->io_prevp = e;
  return next;
}

DV_TPT* nextTpt(DV_TPT* t) { return nextEntry(t, t->tp_type, t->tp_nextp); }

// Chains are the application's: a loop in one must not hang the library.
const int kMaxChain = 4096;

void deleteLater(void* arg) {
  char* path = static_cast<char*>(arg);
  for (int i = 0; i < kDeleteRetries; ++i) {
    plat_sleep_ms(kDeleteRetryMs);
    if (plat_delete_file(path) || !plat_file_exists(path)) break;
  }
  delete[] path;
}

std::mutex& tempNameMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
unsigned g_tempCounter = 0;

// The call an event speaks of: 0 for events of no call.
std::int32_t eventCall(const CSTAEvent_t& ev, const PrivateData_t* priv, std::size_t room) {
  if (ev.eventHeader.eventClass != CSTAUNSOLICITED) return 0;
  switch (ev.eventHeader.eventType) {
    case CSTA_CALL_CLEARED: return ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID;
    case CSTA_CONNECTION_CLEARED:
      return ev.event.cstaUnsolicited.u.connectionCleared.droppedConnection.callID;
    case CSTA_PRIVATE_STATUS: {
      TelvanixPrivateMessage m;
      return priv && readPrivateMessage(priv, room, &m) ? m.header.connection.callID : 0;
    }
    default: return 0;
  }
}

// Sets a busy flag for as long as it lives.
class FlagScope {
 public:
  explicit FlagScope(std::atomic<std::uint8_t>& flag) : flag_(flag) { flag_ = 1; }
  ~FlagScope() { flag_ = 0; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  std::atomic<std::uint8_t>& flag_;
};

}  // namespace

void setPlayPieceForTests(std::size_t bytes) {
  g_playPiece = bytes ? bytes : kDefaultPlayPiece;
  g_playHighWater = 0;
}
std::size_t playPieceHighWaterForTests() { return g_playHighWater; }

std::uint32_t digitMask(char digit) {
  switch (digit) {
    case '1': return 0x0002;
    case '2': return 0x0004;
    case '3': return 0x0008;
    case '4': return 0x0010;
    case '5': return 0x0020;
    case '6': return 0x0040;
    case '7': return 0x0080;
    case '8': return 0x0100;
    case '9': return 0x0200;
    case '0': return 0x0400;
    case '*': return 0x0800;
    case '#': return 0x1000;
    case 'A': return 0x2000;
    case 'B': return 0x4000;
    case 'C': return 0x8000;
    case 'D': return 0x0001;
    default: return 0;
  }
}

// The state of the one operation that runs on a channel.
struct DialogicChannel::Operation {
  explicit Operation(OpKind k)
      : kind(k),
        request(k == OpKind::Record ? kqPvtRecord : kqPvtPlay),
        maxParties(k == OpKind::Digits ? 1 : 2) {}
  const OpKind kind;
  privateMessageID request;  // what play or record asks the server for
  const int maxParties;      // a call snapshot with this many or fewer: the caller left
  std::uint32_t stopMask = 0;
  bool hangupWatch = false;
  int failures = 0;        // consecutive failed reads
  RetCode_t failure = 0;   // why the reads failed
  RetCode_t lastRead = 0;
  // Digits.
  DV_DIGIT* digits = nullptr;
  int limit = 31;
  int result = 1;  // digits placed, plus one
  std::uint32_t received = 0;
  long budget = -1;  // milliseconds; none
  // Record.
  long timeLimit = -1;  // seconds; none
  std::uint64_t start = 0;
  bool stopSent = false;
  bool stopSeen = false;
  std::uint64_t stoppedAt = 0;
};

// Holds the channel for one operation; a second one finds it taken.
class DialogicChannel::Claim {
 public:
  explicit Claim(DialogicChannel& ch) : ch_(ch), held_(!ch.busy_.exchange(true)) {}
  ~Claim() {
    if (held_) ch_.busy_ = false;
  }
  Claim(const Claim&) = delete;
  Claim& operator=(const Claim&) = delete;
  bool held() const { return held_; }

 private:
  DialogicChannel& ch_;
  const bool held_;
};

// ---- opening and closing ----------------------------------------------------

DialogicChannel::DialogicChannel(const char* deviceName) {
  std::memset(&connection, 0, sizeof connection);
  std::memset(&monitoredConnection, 0, sizeof monitoredConnection);
  std::memset(deviceID, 0, sizeof deviceID);
  std::memset(digitBuffer, 0, sizeof digitBuffer);
  eventBuffer = new std::uint8_t[kEventBufferSize]();
  privateBuffer = new std::uint8_t[kPrivateBufferSize]();
  name = deviceName ? deviceName : "";

  if (name.size() > 5) {
    int b = -1, c = -1;
    char separator = 0;
    std::sscanf(name.c_str() + 5, "%d%c%d", &b, &separator, &c);
    board = b;
    channel = c;
  }
  if (board >= 0 && channel < 0) {
    isOpen = 1;
    return;
  }
  std::string device;
  if (!configLookupLine(board, channel, &device)) {
    logLine("Cannot find channel number: %d from DeviceID map", channel);
    isOpen = 1;
    return;
  }
  std::snprintf(deviceID, sizeof deviceID, "%s", device.c_str());
  logLine("Device set to: %s for Channel: %d", deviceID, channel);

  RetCode_t r = tsapi().openStream(&acsHandle, LIB_GEN_ID, 0, ST_CSTA, configServer(board).c_str(),
                                   configUser().c_str(), configPassword().c_str(),
                                   "Dialogic Emulator", ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr);
  int rc = GetConfirmationEvent(acsHandle, r, ACS_OPEN_STREAM_CONF, eventBuffer);
  if (rc != 0) {
    logLine("OpenStream or confirmation error. Error %d", rc);
    return;
  }
  TelvanixPrivateVoxMessage area;
  ConnectionID_t none;
  std::memset(&none, 0, sizeof none);
  BuildPrivateRequest(&area, kqPvtStartPrivateStatus, none);
  rc = GetConfirmationEvent(acsHandle, tsapi().escapeService(acsHandle, 0, asPrivateData(&area)),
                            CSTA_ESCAPE_SVC_CONF, eventBuffer);
  if (rc != 0) {
    logLine("Can't subscribe to private messages: %d", rc);
    return;
  }
  isOpen = 1;
}

DialogicChannel::~DialogicChannel() {
  isOpen = 0;
  // A call made for an operation that did not finish is not left behind.
  clearOwnCall();
  if (detectorHeld) ReleaseDTMFDetector(connection, monitorCrossRefID);
  delete[] eventBuffer;
  delete[] privateBuffer;
  if (acsHandle != static_cast<ACSHandle_t>(-1)) tsapi().closeStream(acsHandle, 0, nullptr);
}

// ---- requests and event readers ------------------------------------------------

void DialogicChannel::BuildPrivateRequest(TelvanixPrivateVoxMessage* area, privateMessageID msgType,
                                          const ConnectionID_t& conn) {
  buildPrivateMessage(area, msgType, conn.callID, nullptr);
  // All 64 bytes go across, terminated or not, as the record allows.
  std::memcpy(area->header.connection.deviceID, conn.deviceID, sizeof conn.deviceID);
}

int DialogicChannel::sendRequest(TelvanixPrivateVoxMessage* area) {
  return GetConfirmationEvent(acsHandle, tsapi().escapeService(acsHandle, 0, asPrivateData(area)),
                              CSTA_ESCAPE_SVC_CONF, eventBuffer);
}

bool DialogicChannel::privateMessage(TelvanixPrivateMessage* out) const {
  return readPrivateMessage(reinterpret_cast<const PrivateData_t*>(privateBuffer), privateLength, out);
}

// Restores the next held event that still matters; false when none is left.
bool DialogicChannel::takeHeld(std::uint16_t* size, bool withPrivate) {
  PrivateData_t* priv = reinterpret_cast<PrivateData_t*>(privateBuffer);
  while (!held_.empty()) {
    HeldEvent h = std::move(held_.front());
    held_.pop_front();
    bool current = h.callID != 0 ? isCurrentCall(h.callID)
                                 : snapshotInvoke_ > 0 && h.invokeID == static_cast<InvokeID_t>(snapshotInvoke_);
    if (!current) continue;
    std::memcpy(eventBuffer, h.event.data(), h.event.size());
    *size = static_cast<std::uint16_t>(h.event.size());
    priv->length = 0;
    if (withPrivate && h.privateData.size() >= PRIVATE_DATA_HEADER) {
      std::size_t n = std::min<std::size_t>(h.privateData.size(), PRIVATE_DATA_HEADER + privateLength);
      std::memcpy(privateBuffer, h.privateData.data(), n);
      priv->length = static_cast<std::uint16_t>(n - PRIVATE_DATA_HEADER);
    }
    return true;
  }
  return false;
}

RetCode_t DialogicChannel::readEvent(bool block, EventType_t* eventType, bool withPrivate) {
  const char* who = block ? "WaitUnsolicitedEvent" : "GetUnsolicitedEvent";
  PrivateData_t* priv = reinterpret_cast<PrivateData_t*>(privateBuffer);
  RetCode_t r = 0;
  std::uint16_t size = eventBufferSize;
  if (!takeHeld(&size, withPrivate)) {
    if (withPrivate) priv->length = privateLength;
    r = (block ? tsapi().getEventBlock : tsapi().getEventPoll)(acsHandle, eventBuffer, &size,
                                                               withPrivate ? priv : nullptr, nullptr);
  }
  if (r >= 0 && size != 0) {
    lastEventSize_ = std::min<std::uint16_t>(size, eventBufferSize);
    const CSTAEvent_t& ev = event();
    *eventType = ev.eventHeader.eventType;
    logLine("%s:Got Event Type %d", who, *eventType);
    if (ev.eventHeader.eventClass == ACSCONFIRMATION && *eventType == ACS_UNIVERSAL_FAILURE_CONF)
      logLine("ACS Universal Failure. Error %d.", ev.event.acsConfirmation.u.failureEvent.error);
    if (ev.eventHeader.eventClass == CSTACONFIRMATION && *eventType == CSTA_UNIVERSAL_FAILURE_CONF)
      logLine("CSTA Universal Failure. Error %d.", ev.event.cstaConfirmation.u.universalFailure.error);
    return r;
  }
  if (r >= 0) return ACSERR_NOMESSAGE;  // nothing was read after all
  if (!(r == ACSERR_NOMESSAGE && !block))
    logLine("error %d from %s", r, block ? "acsGetEventBlock" : "acsGetEventPoll");
  return r;
}

RetCode_t DialogicChannel::WaitUnsolicitedEvent(EventType_t* eventType, bool withPrivate) {
  return readEvent(true, eventType, withPrivate);
}

RetCode_t DialogicChannel::GetUnsolicitedEvent(EventType_t* eventType, bool withPrivate) {
  return readEvent(false, eventType, withPrivate);
}

// Only events of the channel's call, and the answer to the call snapshot it
// asked for, still mean something to a later read.
bool DialogicChannel::mattersLater(const CSTAEvent_t& ev, const PrivateData_t* priv, HeldEvent* h) const {
  h->callID = eventCall(ev, priv, priv ? priv->length : 0);
  if (h->callID != 0) return isCurrentCall(h->callID);
  h->invokeID = ev.event.cstaConfirmation.invokeID;
  return snapshotInvoke_ > 0 && ev.eventHeader.eventClass == CSTACONFIRMATION &&
         h->invokeID == static_cast<InvokeID_t>(snapshotInvoke_);
}

void DialogicChannel::hold(const void* ev, std::size_t size, const PrivateData_t* priv) {
  HeldEvent h;
  if (!mattersLater(*static_cast<const CSTAEvent_t*>(ev), priv, &h)) return;
  if (held_.size() >= kMaxHeldEvents) {
    logLine("Too many events passed over; dropping the oldest");
    held_.pop_front();
  }
  const std::uint8_t* p = static_cast<const std::uint8_t*>(ev);
  h.event.assign(p, p + size);
  if (priv && priv->length > 0) {
    const std::uint8_t* d = reinterpret_cast<const std::uint8_t*>(priv);
    h.privateData.assign(d, d + PRIVATE_DATA_HEADER + priv->length);
  }
  held_.push_back(std::move(h));
}

int DialogicChannel::GetConfirmationEvent(ACSHandle_t handle, RetCode_t invokeID,
                                          EventType_t expectedType, void* buffer) {
  if (invokeID < 0) return invokeID;
  union {
    PrivateData_t data;
    std::uint8_t bytes[PRIVATE_DATA_HEADER + kConfirmationPrivate];
  } area;
  int rc = readConfirmation(handle, invokeID, buffer, &area.data);
  if (rc != 0) return rc;
  return judgeConfirmation(*static_cast<const CSTAEvent_t*>(buffer), expectedType);
}

// Reads until an event ends the wait (0) or the reads fail. A server that
// never answers, or answers only with other events, is given up on after
// kConfirmationWaitMs.
int DialogicChannel::readConfirmation(ACSHandle_t handle, RetCode_t invokeID, void* buffer,
                                      PrivateData_t* area) {
  int tooSmall = 0;
  const std::uint64_t deadline = timing().millis() + kConfirmationWaitMs;
  for (;;) {
    std::uint16_t size = kEventBufferSize;
    area->length = kConfirmationPrivate;
    const std::uint64_t now = timing().millis();
    RetCode_t r = now >= deadline ? ACSERR_NOMESSAGE
                                  : tsapi().getEventWithin(handle, buffer, &size, area,
                                                           static_cast<unsigned>(deadline - now));
    if (r == ACSERR_NOMESSAGE) {
      logLine("No confirmation within %u ms", kConfirmationWaitMs);
      return VOX_ERR_TIMEOUT;
    }
    if (r < 0 && r != ACSERR_UBUFSMALL) {
      logLine("GetConfirmationEvent error %d", r);
      return r;
    }
    if (r == ACSERR_UBUFSMALL || size > kEventBufferSize) {
      logLine("EventBuffer too small %d %d %d", r, size, area->length);
      if (++tooSmall >= kMaxTooSmall) return -1;
      continue;
    }
    const CSTAEvent_t* ev = static_cast<const CSTAEvent_t*>(buffer);
    logLine("GetConfirmationEvent:Got Event Type %d", ev->eventHeader.eventType);
    if (!passOver(*ev, invokeID, area)) return 0;
    hold(buffer, size, area);
  }
}

// Whether the wait goes on past this event. Digits are taken as they pass.
bool DialogicChannel::passOver(const CSTAEvent_t& ev, RetCode_t invokeID, const PrivateData_t* area) {
  EventClass_t cls = ev.eventHeader.eventClass;
  EventType_t type = ev.eventHeader.eventType;
  if (cls == CSTAUNSOLICITED && type == CSTA_PRIVATE_STATUS) {
    TelvanixPrivateMessage message;
    if (readPrivateMessage(area, kConfirmationPrivate, &message) &&
        message.header.msgType == kqPvtDigitsSeen) {
      ProcessDialedDigits(message, 0);
      return true;
    }
  }
  if ((cls == ACSCONFIRMATION && type == ACS_UNIVERSAL_FAILURE_CONF) ||
      (cls == ACSUNSOLICITED && type == ACS_UNIVERSAL_FAILURE))
    return false;
  const InvokeID_t awaited = static_cast<InvokeID_t>(invokeID);
  return (cls == ACSCONFIRMATION && ev.event.acsConfirmation.invokeID != awaited) ||
         (cls == CSTACONFIRMATION && ev.event.cstaConfirmation.invokeID != awaited) ||
         cls == CSTAUNSOLICITED || cls == ACSUNSOLICITED;
}

int DialogicChannel::judgeConfirmation(const CSTAEvent_t& ev, EventType_t expectedType) {
  EventClass_t cls = ev.eventHeader.eventClass;
  EventType_t type = ev.eventHeader.eventType;
  if (cls == ACSCONFIRMATION && type == ACS_UNIVERSAL_FAILURE_CONF) {
    logLine("ACS Universal Failure. Error %d.", ev.event.acsConfirmation.u.failureEvent.error);
    return -1;
  }
  if (cls == CSTACONFIRMATION && type == CSTA_UNIVERSAL_FAILURE_CONF) {
    logLine("CSTA Universal Failure. Error %d.", ev.event.cstaConfirmation.u.universalFailure.error);
    return -1;
  }
  if (cls == ACSUNSOLICITED && type == ACS_UNIVERSAL_FAILURE) {
    logLine("ACS Unsolicited Universal Failure. Error %d.", ev.event.acsUnsolicited.u.failureEvent.error);
    return -1;
  }
  if (type == expectedType) return 0;
  logLine("Got wrong type confirmation event. Expecting %d, Got %d", expectedType, type);
  return -1;
}

// ---- call, monitor and detector --------------------------------------------------

void DialogicChannel::setConnection(const ConnectionID_t& conn) {
  std::lock_guard<std::mutex> lock(connectionMutex_);
  connection = conn;
}

void DialogicChannel::PrepareCall(bool createCall) {
  ConnectionID_t none;
  std::memset(&none, 0, sizeof none);
  setConnection(none);
  if (!findCall(createCall)) return;
  if (std::memcmp(&connection, &monitoredConnection, sizeof connection) == 0) return;
  watchCall();
}

// Takes the device's connected call, or makes one; false when there is none
// to work on (or no connected one among several).
bool DialogicChannel::findCall(bool createCall) {
  int rc = GetConfirmationEvent(acsHandle, tsapi().snapshotDevice(acsHandle, 0, deviceID, nullptr),
                                CSTA_SNAPSHOT_DEVICE_CONF, eventBuffer);
  if (rc != 0) {
    logLine("Snapshot failed %d", rc);
    return false;
  }
  const CSTASnapshotDeviceData_t& snap = event().event.cstaConfirmation.u.snapshotDevice.snapshotData;
  // The list points into our own event buffer; take no more than fits there.
  const std::uint8_t* first = reinterpret_cast<const std::uint8_t*>(snap.info);
  std::int32_t count = snap.count;
  if (count < 0 || !first || first < eventBuffer || first >= eventBuffer + kEventBufferSize) {
    count = 0;
  } else {
    std::int32_t room = static_cast<std::int32_t>((eventBuffer + kEventBufferSize - first) /
                                                   static_cast<std::ptrdiff_t>(sizeof *snap.info));
    if (count > room) count = room;
  }
  bool found = false;
  for (std::int32_t i = 0; i < count && !found; ++i) {
    const CSTASnapshotDeviceResponseInfo_t& info = snap.info[i];
    setConnection(info.callIdentifier);
    const std::uint8_t* state = reinterpret_cast<const std::uint8_t*>(info.getCallState.state);
    found = info.getCallState.count > 0 && state >= eventBuffer &&
            state + sizeof(LocalConnectionState_t) <= eventBuffer + kEventBufferSize &&
            info.getCallState.state[0] == CS_CONNECT;
  }
  if (count > 0) {
    if (!found) logLine("Cannot locate primary call from %d calls", count);
    return found;
  }
  if (!createCall) return false;  // digits only ever come from a call that exists
  rc = GetConfirmationEvent(acsHandle, tsapi().makeCall(acsHandle, 0, deviceID, deviceID, nullptr),
                            CSTA_MAKE_CALL_CONF, eventBuffer);
  if (rc != 0) {
    logLine("Unable to create call. Error %d", rc);
    return false;
  }
  setConnection(event().event.cstaConfirmation.u.makeCall.newCall);
  privateCallMade = 1;
  return true;
}

// Monitors the call and borrows the server's DTMF detector on it.
void DialogicChannel::watchCall() {
  CSTAMonitorFilter_t filter;
  std::memset(&filter, 0, sizeof filter);
  int rc = GetConfirmationEvent(acsHandle, tsapi().monitorCall(acsHandle, 0, &connection, &filter, nullptr),
                                CSTA_MONITOR_CONF, eventBuffer);
  if (rc != 0) {
    actualTermMask |= TM_ERROR;
    logLine("Monitor call failure %d\n", rc);
    return;
  }
  monitorCrossRefID = event().event.cstaConfirmation.u.monitorStart.monitorCrossRefID;
  monitoredConnection = connection;
  rc = GetDTMFDetector();
  if (rc != 0) logLine("Get DTMF Detector failure %d", rc);
}

int DialogicChannel::GetDTMFDetector() {
  logLine("Getting DTMF Detector");
  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, kqPvtGetDigits, connection);
  area.digits.count = -1;
  area.digits.clientID = 0;
  area.digits.lineOnly = 0;
  int rc = sendRequest(&area);
  if (rc == 0) detectorHeld = 1;
  return rc;
}

void DialogicChannel::ReleaseDTMFDetector(const ConnectionID_t& conn,
                                          CSTAMonitorCrossRefID_t crossRefID) {
  logLine("ReleaseDTMFDetector");
  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, kqPvtStopGetDigits, conn);
  int rc = sendRequest(&area);
  if (rc != 0) logLine("kqPvtStopGetDigits failed. Error=%d", rc);
  detectorHeld = 0;
  rc = GetConfirmationEvent(acsHandle, tsapi().monitorStop(acsHandle, 0, crossRefID, nullptr),
                            CSTA_MONITOR_STOP_CONF, eventBuffer);
  if (rc != 0) logLine("Failed MonitorStop in ~DialogicChannel(). Error %d", rc);
  // The monitor is gone: the next operation on this call must set it up again.
  std::memset(&monitoredConnection, 0, sizeof monitoredConnection);
  monitorCrossRefID = 0;
}

int DialogicChannel::ReleaseCall() {
  if (privateCallMade) {
    privateCallMade = 0;
    int rc = GetConfirmationEvent(acsHandle, tsapi().clearCall(acsHandle, 0, &connection, nullptr),
                                  CSTA_CLEAR_CALL_CONF, eventBuffer);
    if (rc != 0) {
      logLine("Can't clear private call. Error %d", rc);
      return rc;
    }
  }
  if (actualTermMask & TM_LCOFF) {
    ReleaseDTMFDetector(connection, monitorCrossRefID);
    ClearDigitBuffer();
  }
  return 0;
}

void DialogicChannel::clearOwnCall() {
  if (!privateCallMade) return;
  privateCallMade = 0;
  int rc = GetConfirmationEvent(acsHandle, tsapi().clearCall(acsHandle, 0, &connection, nullptr),
                                CSTA_CLEAR_CALL_CONF, eventBuffer);
  if (rc != 0) logLine("Can't clear private call. Error %d", rc);
}

// Call ID 0 is no call: it never names the channel's.
bool DialogicChannel::isCurrentCall(std::int32_t callID) const {
  return callID != 0 && callID == connection.callID;
}

// A party leaving that is the server's own player (or recorder, while
// recording) is not the caller hanging up.
bool DialogicChannel::isOwnRelease(const CSTAEvent_t& ev, bool recording) const {
  std::string releasing = deviceText(ev.event.cstaUnsolicited.u.connectionCleared.releasingDevice.deviceID);
  return releasing == "Playing" || (recording && releasing == "Recording");
}

// ---- call snapshots ------------------------------------------------------------------
//
// A party other than the server's own player or recorder leaving may mean the
// caller hung up: a call snapshot (sent without waiting) tells. Only the
// answer to the snapshot last asked for counts, so a late answer to an
// earlier one never ends an operation.

void DialogicChannel::askCallSnapshot() {
  RetCode_t r = tsapi().snapshotCall(acsHandle, 0, &connection, nullptr);
  if (r > 0) snapshotInvoke_ = r;
}

bool DialogicChannel::isSnapshotAnswer(const CSTAEvent_t& ev) {
  if (snapshotInvoke_ <= 0 || ev.eventHeader.eventClass != CSTACONFIRMATION ||
      ev.event.cstaConfirmation.invokeID != static_cast<InvokeID_t>(snapshotInvoke_))
    return false;
  snapshotInvoke_ = 0;
  return ev.eventHeader.eventType == CSTA_SNAPSHOT_CALL_CONF ||
         ev.eventHeader.eventType == CSTA_UNIVERSAL_FAILURE_CONF;
}

// A refused snapshot means the call no longer exists.
bool DialogicChannel::snapshotSaysGone(const CSTAEvent_t& ev, int maxParties) {
  if (ev.eventHeader.eventType == CSTA_UNIVERSAL_FAILURE_CONF) return true;
  return ev.event.cstaConfirmation.u.snapshotCall.snapshotData.count <= maxParties;
}

// The server may end a play or record itself when the caller leaves, before
// the snapshot asked for on the way is answered: that answer (or the call's
// end) still decides whether the caller hung up. Events of the call read
// meanwhile are kept for the next operation; an answer that never comes is
// given up on as a confirmation would be.
void DialogicChannel::settleCallSnapshot(int maxParties) {
  std::deque<HeldEvent> later;
  const std::uint64_t deadline = timing().millis() + kConfirmationWaitMs;
  while (snapshotInvoke_ > 0 && !(actualTermMask & TM_LCOFF) && timing().millis() < deadline) {
    EventType_t type = 0;
    RetCode_t r = GetUnsolicitedEvent(&type, true);
    if (r == ACSERR_NOMESSAGE) {
      timing().sleep(kRecordPollSleepMs);
      continue;
    }
    if (r < 0) break;
    const CSTAEvent_t& ev = event();
    const PrivateData_t* priv = reinterpret_cast<const PrivateData_t*>(privateBuffer);
    HeldEvent h;
    if (isSnapshotAnswer(ev)) {
      if (snapshotSaysGone(ev, maxParties)) actualTermMask |= TM_LCOFF;
    } else if (ev.eventHeader.eventClass == CSTAUNSOLICITED && type == CSTA_CALL_CLEARED &&
               isCurrentCall(ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID)) {
      actualTermMask |= TM_LCOFF;
      privateCallMade = 0;
    } else if (mattersLater(ev, priv, &h)) {
      h.event.assign(eventBuffer, eventBuffer + lastEventSize_);
      if (priv->length > 0)
        h.privateData.assign(privateBuffer, privateBuffer + PRIVATE_DATA_HEADER + priv->length);
      later.push_back(std::move(h));
    }
  }
  held_.insert(held_.begin(), later.begin(), later.end());
}

// ---- stop and digits -----------------------------------------------------------------

// Safe from another thread: the flags are atomic and the connection is
// copied under its lock. The request follows the operation that runs now.
int DialogicChannel::Stop(bool force) {
  if (!isPlaying && !isRecording && !isCollecting) return 0;
  stopRequested = 1;
  if (isPlaying && !force) return 0;  // the server ends a play-till-digit by itself
  ConnectionID_t conn;
  ACSHandle_t handle;
  {
    std::lock_guard<std::mutex> lock(connectionMutex_);
    conn = connection;
    handle = acsHandle;
  }
  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, isRecording ? kqPvtRecordStop : kqPvtPlayStop, conn);
  tsapi().escapeService(handle, 0, asPrivateData(&area));
  return 0;
}

void DialogicChannel::ClearDigitBuffer() {
  digitCount = 0;
  digitsTaken = 0;
}

std::uint32_t DialogicChannel::CheckDigit(char digit) {
  logLine("Check Digit %c", digit);
  return digitMask(digit);
}

void DialogicChannel::ProcessDialedDigits(const TelvanixPrivateMessage& message, std::uint32_t stopMask) {
  // Only the digits the record really holds, and only as many as the
  // buffer takes.
  int present = privateDigitsPresent(&message.digits);
  std::uint32_t received = 0;
  int dropped = 0;
  for (int i = 0; i < present; ++i) {
    char c = message.digits.digits[i];
    logLine("Digit Rcvd: %c", c);
    if (digitCount >= static_cast<std::int32_t>(kDigitBufferSize) && digitsTaken > 0) {
      std::memmove(digitBuffer, digitBuffer + digitsTaken, static_cast<std::size_t>(digitCount - digitsTaken));
      digitCount -= digitsTaken;
      digitsTaken = 0;
    }
    if (digitCount < static_cast<std::int32_t>(kDigitBufferSize))
      digitBuffer[digitCount++] = c;
    else
      ++dropped;
    received |= CheckDigit(c);
  }
  if (dropped) logLine("Digit buffer full: %d digits dropped", dropped);
  if (stopMask == 0xFFFF) {
    Stop(false);
    actualTermMask |= TM_DIGIT;
  } else if (stopMask & received) {
    Stop(true);
    actualTermMask |= TM_DIGIT;
  }
  logLine("ProcessDialedDigits: StopMask=%#x RecvdDigitMask=%#x", stopMask, received);
}

int DialogicChannel::CollectDigits(DV_DIGIT* digits, std::uint32_t stopMask, int maxCount,
                                   std::uint32_t* receivedMask) {
  const int last = static_cast<int>(sizeof digits->dg_value) - 1;  // room for the terminator
  int end = 0;
  while (end < last && static_cast<unsigned char>(digits->dg_type[end]) != 0xFF) ++end;
  int copied = 0;
  while (digitsTaken < digitCount && copied < maxCount && end < last) {
    char c = digitBuffer[digitsTaken++];
    digits->dg_value[end] = c;
    digits->dg_type[end] = 0;
    ++end;
    ++copied;
    *receivedMask |= CheckDigit(c);
    if (*receivedMask & stopMask) break;
  }
  digits->dg_value[end] = 0;
  digits->dg_type[end] = static_cast<char>(0xFF);
  if (digitsTaken >= digitCount) ClearDigitBuffer();
  return copied;
}

bool DialogicChannel::makeTempFile(std::string* winPath, plat_handle* file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned n;
    {
      std::lock_guard<std::mutex> lock(tempNameMutex());
      n = ++g_tempCounter;
    }
    char name[64];
    std::snprintf(name, sizeof name, "C:\\TEMP\\Kqkvr%lx_%x", plat_process_id(), n);
    char local[1024];
    if (!plat_map_path(name, local, sizeof local)) break;
    bool existed = false;
    *winPath = name;
    *file = plat_create_exclusive(local, true, &existed);
    if (*file != PLAT_INVALID_HANDLE) return true;
    if (!existed) return true;  // a name was found, but the file cannot be made
  }
  winPath->clear();
  return false;
}

void DialogicChannel::DeleteTempFile(const char* path) {
  char local[1024];
  if (!path || !plat_map_path(path, local, sizeof local)) return;
  if (!plat_file_exists(local) || plat_delete_file(local)) return;
  logLine("Cannot delete file: %s, error=%d", path, lastError.load());
  std::size_t len = std::strlen(local);
  char* copy = new char[len + 1]();
  std::memcpy(copy, local, len);
  if (!plat_start_thread(deleteLater, copy)) delete[] copy;
}

// ---- play's file ------------------------------------------------------------------

namespace {

// Copies `want` bytes in pieces through one buffer of the set size; returns
// the bytes written.
std::uint64_t copyPieces(plat_handle from, plat_handle to, long long want, std::vector<char>* piece) {
  const std::size_t cap = g_playPiece;
  if (piece->size() != cap) piece->assign(cap, 0);
  if (cap > g_playHighWater) g_playHighWater = cap;
  std::uint64_t written = 0;
  while (want > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<long long>(want, static_cast<long long>(cap)));
    long got = plat_read(from, piece->data(), n);
    if (got <= 0) break;
    long put = plat_write(to, piece->data(), static_cast<std::size_t>(got));
    if (put > 0) written += static_cast<std::uint64_t>(put);
    if (put < got) {
      logLine("Cannot write the whole segment to the temporary file");
      break;
    }
    want -= got;
  }
  return written;
}

// Appends one segment (io_length -1: the rest of the file) to the play file;
// the voice-file table is locked only to read the entry's name.
std::uint64_t appendSegment(const DX_IOTT& e, plat_handle temp, std::vector<char>* piece) {
  std::string source;
  if (!withVoiceFile(e.io_fhandle, [&](const VoiceFileEntry& entry) {
        source = entry.path.substr(std::min(entry.path.size(), kDosDevicesLength));
      }))
    return 0;
  logLine("Appending new source file: %s", source.c_str());
  char local[1024];
  long long size = -1;
  plat_handle src = PLAT_INVALID_HANDLE;
  if (plat_map_path(source.c_str(), local, sizeof local)) {
    size = plat_file_size(local);
    src = plat_open(local, PLAT_OPEN_READ);
  }
  if (src == PLAT_INVALID_HANDLE) {
    logLine("Cannot open file: %s", source.c_str());
    return 0;
  }
  const long long offset = e.io_offset;
  long long want = e.io_length > 0 ? e.io_length : (e.io_length == -1 ? size - offset : 0);
  if (size >= 0) want = std::min(want, size - offset);  // never past the end
  std::uint64_t written = 0;
  if (want > 0 && plat_seek(src, offset)) written = copyPieces(src, temp, want, piece);
  plat_close(src);
  return written;
}

}  // namespace

// The segments, one after the other, in one temporary file: 0, or -1 (no
// name) or -2 (not created).
int DialogicChannel::writePlayFile(DX_IOTT* iott, std::string* tempPath, std::uint64_t* total) {
  plat_handle temp = PLAT_INVALID_HANDLE;
  if (!makeTempFile(tempPath, &temp)) {
    logLine("Cannot allocate temporary filename");
    return -1;
  }
  if (temp == PLAT_INVALID_HANDLE) {
    logLine("Cannot create temporary file: %s", tempPath->c_str());
    return -2;
  }
  std::vector<char> piece;
  *total = 0;
  int steps = 0;
  for (DX_IOTT* e = iott; e && !stopRequested && steps < kMaxChain; e = nextIott(e), ++steps)
    *total += appendSegment(*e, temp, &piece);
  plat_close(temp);
  return 0;
}

// ---- what every operation shares -------------------------------------------------

int DialogicChannel::refuseBusy() {
  logLine("Channel %s is busy with another operation", name.c_str());
  lastError = VOX_ERR_BUSY;
  return -1;
}

void DialogicChannel::begin(Operation& op) {
  pendingTermMask = kTermAlways | (op.kind == OpKind::Record ? TM_MAXTIME : 0);
  actualTermMask = 0;
  snapshotInvoke_ = 0;
  if (op.kind != OpKind::Digits) bytesTransferred = 0;
}

// The application's termination list, walked once for every operation.
DialogicChannel::Arm DialogicChannel::armTerminations(Operation& op, DV_TPT* tpt) {
  int steps = 0;
  for (DV_TPT* t = tpt; t && steps < kMaxChain; t = nextTpt(t), ++steps) {
    Arm a = armOne(op, *t);
    if (a != kArmed) return a;
  }
  return kArmed;
}

DialogicChannel::Arm DialogicChannel::armOne(Operation& op, const DV_TPT& t) {
  const bool digits = op.kind == OpKind::Digits;
  switch (t.tp_termno) {
    case DX_LCOFF:
      pendingTermMask |= TM_LCOFF;
      op.hangupWatch = true;
      return kArmed;
    case DX_DIGMASK:
      if (digits || t.tp_flags == TF_LEVEL) return armDigitMask(op, t.tp_length);
      break;
    case DX_MAXDTMF:
      if (!digits) break;
      pendingTermMask |= TM_MAXDTMF;
      op.limit = std::min<int>(t.tp_length, 31);
      return kArmed;
    case DX_MAXTIME:
      if (!digits) break;
      pendingTermMask |= TM_MAXTIME;
      op.budget = static_cast<long>(t.tp_length) * ((t.tp_flags & TF_10MS) ? 10 : 100);
      return kArmed;
    default:
      break;
  }
  if (op.kind == OpKind::Play) {
    logLine("Unsupported termination condition %d", t.tp_termno);
    return kArmed;
  }
  if (digits)
    logLine("GetDigit: Unsupported termination condition %d", t.tp_termno);
  else
    logLine("Unsupported termination conditions");
  lastError = kUnsupported;
  return kRefused;
}

DialogicChannel::Arm DialogicChannel::armDigitMask(Operation& op, std::uint32_t mask) {
  pendingTermMask |= TM_DIGIT;
  if (op.kind == OpKind::Play) {
    std::uint32_t buffered = 0;
    for (std::int32_t i = digitsTaken; i < digitCount; ++i) buffered |= digitMask(digitBuffer[i]);
    if (buffered & mask) {
      actualTermMask |= TM_DIGIT;
      return kEndedAtOnce;
    }
  }
  op.stopMask = mask;
  if (mask == 0xFFFF) op.request = op.kind == OpKind::Play ? kqPvtPlayTillDTMF : kqPvtRecordTillDTMF;
  return kArmed;
}

// The one wait of every operation: reads the next event of the channel and
// lets the operation judge it. False when the reads failed, or a record's
// end never came; the reason is then in op.failure.
bool DialogicChannel::runUntilEnd(Operation& op) {
  for (;;) {
    EventType_t type = 0;
    Step step = readStep(op, &type);
    if (step == kJudge) step = judge(op, type);
    if (step == kFailed) return false;
    if (step == kEnded) break;
  }
  if (op.kind != OpKind::Digits) settleCallSnapshot(op.maxParties);
  return true;
}

DialogicChannel::Step DialogicChannel::readStep(Operation& op, EventType_t* type) {
  const bool poll = op.kind == OpKind::Record || (op.kind == OpKind::Digits && op.budget >= 0);
  RetCode_t r = poll ? GetUnsolicitedEvent(type, true) : WaitUnsolicitedEvent(type, true);
  op.lastRead = r;
  if (r == ACSERR_NOMESSAGE && poll) return quietPoll(op);
  if (r >= 0) {
    op.failures = 0;
    return kJudge;
  }
  op.failure = r;
  if (op.kind == OpKind::Digits) return kFailed;
  if (++op.failures < kMaxFailedReads) return kGoOn;
  actualTermMask |= TM_ERROR;
  if (op.kind == OpKind::Record) logLine("10 consecutive errors in record");
  lastError = r;
  return kFailed;
}

// Nothing to read: a digit wait spends its budget; a record judges its time
// limit and, once stopped, how long its end report has been missing.
DialogicChannel::Step DialogicChannel::quietPoll(Operation& op) {
  if (op.kind == OpKind::Digits) {
    op.budget -= 100;
    if (op.budget > 0) {
      timing().sleep(100);
      return kGoOn;
    }
    actualTermMask |= TM_MAXTIME;
    return kEnded;
  }
  timing().sleep(kRecordPollSleepMs);  // a short pause instead of spinning
  const std::uint64_t now = timing().millis();
  if (!op.stopSent && op.timeLimit >= 0 && static_cast<long>(now / 1000 - op.start) >= op.timeLimit)
    sendRecordStop(op);
  if (!op.stopSeen && (op.stopSent || stopRequested)) {
    op.stopSeen = true;
    op.stoppedAt = now;
  }
  if (!op.stopSeen || now - op.stoppedAt < kRecordEndWaitMs) return kGoOn;
  logLine("No end of the recording %u ms after its stop", kRecordEndWaitMs);
  actualTermMask |= TM_ERROR;
  lastError = VOX_ERR_TIMEOUT;
  op.failure = VOX_ERR_TIMEOUT;
  return kFailed;
}

void DialogicChannel::sendRecordStop(Operation& op) {
  TelvanixPrivateVoxMessage stop;
  BuildPrivateRequest(&stop, kqPvtRecordStop, connection);
  int rc = sendRequest(&stop);
  if (rc != 0) logLine("Record Stop failure %d", rc);
  op.stopSent = true;
  actualTermMask |= TM_MAXTIME;
}

// What an event means to the running operation.
DialogicChannel::Step DialogicChannel::judge(Operation& op, EventType_t type) {
  const CSTAEvent_t& ev = event();
  const bool unsolicited = ev.eventHeader.eventClass == CSTAUNSOLICITED;
  if (unsolicited && type == CSTA_CALL_CLEARED) {
    if (!isCurrentCall(ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID)) return otherEvent(op);
    privateCallMade = 0;  // the call is gone
    actualTermMask |= TM_LCOFF;
    if (op.kind == OpKind::Play) stopRequested = 1;
    return kEnded;
  }
  if (unsolicited && type == CSTA_CONNECTION_CLEARED) {
    if (op.hangupWatch && !isOwnRelease(ev, op.kind == OpKind::Record)) askCallSnapshot();
    return kGoOn;
  }
  if (isSnapshotAnswer(ev)) {
    if (!snapshotSaysGone(ev, op.maxParties)) return kGoOn;
    actualTermMask |= TM_LCOFF;
    if (op.kind == OpKind::Digits) return kEnded;
    Stop(true);  // the end report follows
    return kGoOn;
  }
  TelvanixPrivateMessage message;
  if (unsolicited && type == CSTA_PRIVATE_STATUS && privateMessage(&message)) return judgeReport(op, message);
  return otherEvent(op);
}

DialogicChannel::Step DialogicChannel::judgeReport(Operation& op, const TelvanixPrivateMessage& m) {
  const int type = m.header.msgType;
  if (op.kind == OpKind::Play) logLine("Received private message %d.", type);
  if (type == kqPvtDigitsSeen) {
    if (op.kind == OpKind::Digits) return takeDigits(op, m);
    ProcessDialedDigits(m, op.stopMask);
    return kGoOn;
  }
  const bool ours = isCurrentCall(m.header.connection.callID);
  if (op.kind == OpKind::Play && (type == kqPvtPlayEnded || type == kqPvtPlayNextFile) &&
      m.file.invokeID == requestCounter && ours) {
    bytesTransferred += static_cast<std::int32_t>(m.file.position);
    return kEnded;
  }
  if (op.kind == OpKind::Record && type == kqPvtRecordEnded && ours) {
    bytesTransferred += static_cast<std::int32_t>(m.file.position);
    logLine("RecordEnded: BytesTransferred=%d", bytesTransferred);
    return kEnded;
  }
  return otherEvent(op);
}

// Any other event wakes a digit wait that was asked to stop.
DialogicChannel::Step DialogicChannel::otherEvent(Operation& op) {
  if (op.kind != OpKind::Digits || !stopRequested) return kGoOn;
  actualTermMask |= TM_USRSTOP;
  return kEnded;
}

DialogicChannel::Step DialogicChannel::takeDigits(Operation& op, const TelvanixPrivateMessage& m) {
  if (m.digits.count > 1) logLine("MultipleDigits %d", m.digits.count);
  ProcessDialedDigits(m, 0);
  op.result += CollectDigits(op.digits, op.stopMask, op.limit - (op.result - 1), &op.received);
  return digitsDone(op) ? kEnded : kGoOn;
}

bool DialogicChannel::digitsDone(Operation& op) {
  if (op.received & op.stopMask) {
    actualTermMask |= TM_DIGIT;
    return true;
  }
  if (op.result > op.limit) {
    actualTermMask |= TM_MAXDTMF;
    return true;
  }
  return false;
}

// ---- the operations ------------------------------------------------------------------

int DialogicChannel::Play(DX_IOTT* iott, DV_TPT* tpt) { return operate(OpKind::Play, iott, tpt, nullptr); }
int DialogicChannel::Record(DX_IOTT* iott, DV_TPT* tpt) { return operate(OpKind::Record, iott, tpt, nullptr); }
int DialogicChannel::GetDigit(DV_TPT* tpt, DV_DIGIT* digits) {
  return operate(OpKind::Digits, nullptr, tpt, digits);
}

// One operation at a time: a second one on a busy channel is refused at once.
int DialogicChannel::operate(OpKind kind, DX_IOTT* iott, DV_TPT* tpt, DV_DIGIT* digits) {
  if (!tpt || (kind == OpKind::Digits ? !digits : !iott)) return -1;
  Claim claim(*this);
  if (!claim.held()) return refuseBusy();
  Operation op(kind);
  begin(op);
  if (kind == OpKind::Play) return play(op, iott, tpt);
  if (kind == OpKind::Record) return record(op, iott, tpt);
  return getDigits(op, tpt, digits);
}

int DialogicChannel::play(Operation& op, DX_IOTT* iott, DV_TPT* tpt) {
  PrepareCall(true);
  if (armTerminations(op, tpt) == kEndedAtOnce) {
    clearOwnCall();
    return 0;
  }
  stopRequested = 0;
  std::string tempPath;
  std::uint64_t total = 0;
  int rc = writePlayFile(iott, &tempPath, &total);
  if (rc != 0) {
    clearOwnCall();
    return rc;
  }
  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, op.request, connection);
  area.file.position = 0;
  std::string serverName = kDosDevices + tempPath;
  std::snprintf(area.file.fileName, kMaxFileName + 1, "%s", serverName.c_str());
  area.file.invokeID = ++requestCounter;
  // The file holds exactly the bytes to play: past 32 bits, "to its end".
  area.file.count = total <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(total) : 0;
  bool ended = requestAndWait(op, &area, 0);
  DeleteTempFile(tempPath.c_str());
  return finish(op, ended);
}

// The request for the first entry's voice file; false (lastError set) when
// its name does not fit the record: cut, it would record into another file.
bool DialogicChannel::buildRecordRequest(DX_IOTT* iott, Operation& op, TelvanixPrivateVoxMessage* area) {
  std::string path;
  withVoiceFile(iott->io_fhandle, [&](const VoiceFileEntry& entry) { path = entry.path; });
  if (path.size() > kMaxFileName) {
    logLine("Record file name too long: %s", path.c_str());
    actualTermMask |= TM_ERROR;
    lastError = kUnsupported;
    return false;
  }
  BuildPrivateRequest(area, op.request, connection);
  std::snprintf(area->file.fileName, kMaxFileName + 1, "%s", path.c_str());
  area->file.position = iott->io_offset;
  area->file.count = static_cast<std::uint32_t>(iott->io_length);
  logLine("Recording in: %s", area->file.fileName);
  return true;
}

int DialogicChannel::record(Operation& op, DX_IOTT* iott, DV_TPT* tpt) {
  PrepareCall(true);
  TelvanixPrivateVoxMessage area;
  if (armTerminations(op, tpt) != kArmed || !buildRecordRequest(iott, op, &area)) {
    clearOwnCall();
    return -1;
  }
  stopRequested = 0;
  return finish(op, requestAndWait(op, &area, iott->io_length));
}

// Sends the play or record request and waits for the end, the busy flag set
// meanwhile; false when the request was refused or the reads failed.
bool DialogicChannel::requestAndWait(Operation& op, TelvanixPrivateVoxMessage* area, std::int32_t length) {
  const bool recording = op.kind == OpKind::Record;
  FlagScope busy(recording ? isRecording : isPlaying);
  int rc = sendRequest(area);
  if (rc != 0) {
    if (recording) {
      logLine("Record failure %d", rc);
    } else {
      actualTermMask |= TM_ERROR;
      logLine("Play failure %d", rc);
    }
    lastError = rc;
    return false;
  }
  if (recording) {
    // A length that is not positive records until something else ends it.
    if (length > 0) {
      op.timeLimit = static_cast<long>(static_cast<float>(length) * recordSecondsPerByte());
      logLine("Record timeout: %ld seconds", op.timeLimit);
    } else {
      logLine("Record timeout: none");
    }
    op.start = timing().millis() / 1000;
  }
  return runUntilEnd(op);
}

int DialogicChannel::finish(Operation& op, bool ended) {
  if (!ended) {
    clearOwnCall();
    return -1;
  }
  ReleaseCall();
  if (op.kind == OpKind::Play)
    logLine("Play returns %d", 0);
  else
    logLine("Record returns %d PendingTermCond=%#x ActualTermCond=%#x", op.lastRead, pendingTermMask,
            actualTermMask);
  return 0;
}

int DialogicChannel::getDigits(Operation& op, DV_TPT* tpt, DV_DIGIT* digits) {
  op.digits = digits;
  digits->dg_type[0] = static_cast<char>(0xFF);
  // A stop meant for an earlier operation does not end this one.
  stopRequested = 0;
  if (armTerminations(op, tpt) != kArmed) return -1;
  PrepareCall(false);
  op.result = CollectDigits(digits, op.stopMask, op.limit, &op.received) + 1;
  if (digitsDone(op)) return op.result;
  bool ended;
  {
    FlagScope collecting(isCollecting);
    ended = runUntilEnd(op);
  }
  ReleaseCall();
  if (!ended) {
    logLine("GetDigit returns %x", op.failure);
    lastError = op.failure;
    return -1;
  }
  return op.result;
}

}  // namespace vox
