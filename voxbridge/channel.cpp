// Opening and closing a channel, its private requests and event readers, and
// the play, record and digit operations built on them.
//
// Events passed over while a request waits for its confirmation are kept in
// held_ and read first by the next WaitUnsolicitedEvent/GetUnsolicitedEvent:
// a hang-up or an end report that arrives during a wait must still end the
// running operation. Held events are restored into eventBuffer, the buffer
// they were read into, so the pointers inside an event stay valid.
#include "voxbridge/channel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/fileops.h"
#include "voxbridge/config.h"
#include "voxbridge/debuglog.h"
#include "voxbridge/tsapi.h"
#include "voxbridge/voicefiles.h"

namespace vox {

namespace {

static_assert(sizeof(CSTAEvent_t) <= kEventBufferSize, "an event fits the event buffer");

std::uint64_t realMillis() { return plat_millis(); }
void realSleep(unsigned ms) { plat_sleep_ms(ms); }
const Timing kRealTiming = {realMillis, realSleep};
const Timing* g_timing = &kRealTiming;

// The confirmation wait reads private data into an area of its own.
const std::uint16_t kConfirmationPrivate = 616;
const int kMaxTooSmall = 6;
const int kMaxFailedReads = 10;
const unsigned kRecordPollSleepMs = 10;
const unsigned kDeleteRetryMs = 500;
const int kDeleteRetries = 1200;
const std::size_t kMaxFileName = 127;

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

}  // namespace

const Timing& timing() { return *g_timing; }
void setTimingForTests(const Timing* t) { g_timing = t ? t : &kRealTiming; }

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

RetCode_t DialogicChannel::readEvent(bool block, EventType_t* eventType, bool withPrivate) {
  const char* who = block ? "WaitUnsolicitedEvent" : "GetUnsolicitedEvent";
  PrivateData_t* priv = reinterpret_cast<PrivateData_t*>(privateBuffer);
  RetCode_t r;
  std::uint16_t size = eventBufferSize;
  if (!held_.empty()) {
    HeldEvent h = std::move(held_.front());
    held_.pop_front();
    std::memcpy(eventBuffer, h.event.data(), h.event.size());
    size = static_cast<std::uint16_t>(h.event.size());
    priv->length = 0;
    if (withPrivate && h.privateData.size() >= PRIVATE_DATA_HEADER) {
      std::size_t n = std::min<std::size_t>(h.privateData.size(), PRIVATE_DATA_HEADER + privateLength);
      std::memcpy(privateBuffer, h.privateData.data(), n);
      priv->length = static_cast<std::uint16_t>(n - PRIVATE_DATA_HEADER);
    }
    r = 0;
  } else {
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

void DialogicChannel::hold(const void* ev, std::size_t size, const PrivateData_t* priv) {
  if (held_.size() >= kMaxHeldEvents) {
    logLine("Too many events passed over; dropping the oldest");
    held_.pop_front();
  }
  HeldEvent h;
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
  int tooSmall = 0;
  const CSTAEvent_t* ev = static_cast<const CSTAEvent_t*>(buffer);
  for (;;) {
    std::uint16_t size = kEventBufferSize;
    area.data.length = kConfirmationPrivate;
    RetCode_t r = tsapi().getEventBlock(handle, buffer, &size, &area.data, nullptr);
    if (r < 0 && r != ACSERR_UBUFSMALL) {
      logLine("GetConfirmationEvent error %d", r);
      return r;
    }
    if (r == ACSERR_UBUFSMALL || size > kEventBufferSize) {
      logLine("EventBuffer too small %d %d %d", r, size, area.data.length);
      if (++tooSmall >= kMaxTooSmall) return -1;
      continue;
    }
    EventClass_t cls = ev->eventHeader.eventClass;
    EventType_t type = ev->eventHeader.eventType;
    logLine("GetConfirmationEvent:Got Event Type %d", type);
    bool digitsHandled = false;
    if (cls == CSTAUNSOLICITED && type == CSTA_PRIVATE_STATUS) {
      TelvanixPrivateMessage message;
      if (readPrivateMessage(&area.data, kConfirmationPrivate, &message) &&
          message.header.msgType == kqPvtDigitsSeen) {
        ProcessDialedDigits(message, 0);
        digitsHandled = true;
      }
    }
    if ((cls == ACSCONFIRMATION && type == ACS_UNIVERSAL_FAILURE_CONF) ||
        (cls == ACSUNSOLICITED && type == ACS_UNIVERSAL_FAILURE))
      break;
    bool passOver =
        (cls == ACSCONFIRMATION &&
         ev->event.acsConfirmation.invokeID != static_cast<InvokeID_t>(invokeID)) ||
        (cls == CSTACONFIRMATION &&
         ev->event.cstaConfirmation.invokeID != static_cast<InvokeID_t>(invokeID)) ||
        cls == CSTAUNSOLICITED || cls == ACSUNSOLICITED;
    if (!passOver) break;
    if (!digitsHandled) hold(buffer, size, &area.data);
  }
  EventClass_t cls = ev->eventHeader.eventClass;
  EventType_t type = ev->eventHeader.eventType;
  if (cls == ACSCONFIRMATION && type == ACS_UNIVERSAL_FAILURE_CONF) {
    logLine("ACS Universal Failure. Error %d.", ev->event.acsConfirmation.u.failureEvent.error);
    return -1;
  }
  if (cls == CSTACONFIRMATION && type == CSTA_UNIVERSAL_FAILURE_CONF) {
    logLine("CSTA Universal Failure. Error %d.", ev->event.cstaConfirmation.u.universalFailure.error);
    return -1;
  }
  if (cls == ACSUNSOLICITED && type == ACS_UNIVERSAL_FAILURE) {
    logLine("ACS Unsolicited Universal Failure. Error %d.", ev->event.acsUnsolicited.u.failureEvent.error);
    return -1;
  }
  if (type == expectedType) return 0;
  logLine("Got wrong type confirmation event. Expecting %d, Got %d", expectedType, type);
  return -1;
}

// ---- call, monitor and detector --------------------------------------------------

void DialogicChannel::PrepareCall(bool createCall) {
  std::memset(&connection, 0, sizeof connection);
  int rc = GetConfirmationEvent(acsHandle, tsapi().snapshotDevice(acsHandle, 0, deviceID, nullptr),
                                CSTA_SNAPSHOT_DEVICE_CONF, eventBuffer);
  if (rc != 0) {
    logLine("Snapshot failed %d", rc);
    return;
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
    connection = info.callIdentifier;
    const std::uint8_t* state = reinterpret_cast<const std::uint8_t*>(info.getCallState.state);
    found = info.getCallState.count > 0 && state >= eventBuffer &&
            state + sizeof(LocalConnectionState_t) <= eventBuffer + kEventBufferSize &&
            info.getCallState.state[0] == CS_CONNECT;
  }
  if (count > 0 && !found) {
    logLine("Cannot locate primary call from %d calls", count);
    return;
  }
  if (count == 0) {
    if (!createCall) return;  // digits only ever come from a call that exists
    rc = GetConfirmationEvent(acsHandle, tsapi().makeCall(acsHandle, 0, deviceID, deviceID, nullptr),
                              CSTA_MAKE_CALL_CONF, eventBuffer);
    if (rc != 0) {
      logLine("Unable to create call. Error %d", rc);
      return;
    }
    connection = event().event.cstaConfirmation.u.makeCall.newCall;
    privateCallMade = 1;
  }
  if (std::memcmp(&connection, &monitoredConnection, sizeof connection) == 0) return;
  CSTAMonitorFilter_t filter;
  std::memset(&filter, 0, sizeof filter);
  rc = GetConfirmationEvent(acsHandle, tsapi().monitorCall(acsHandle, 0, &connection, &filter, nullptr),
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

bool DialogicChannel::isCurrentCall(std::int32_t callID) const {
  return connection.callID == 0 || callID == 0 || callID == connection.callID;
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
// end) still decides whether the caller hung up. Other events read meanwhile
// are kept for the next operation.
void DialogicChannel::settleCallSnapshot(int maxParties) {
  std::deque<HeldEvent> later;
  while (snapshotInvoke_ > 0 && !(actualTermMask & TM_LCOFF)) {
    EventType_t type = 0;
    if (WaitUnsolicitedEvent(&type, true) < 0) break;
    const CSTAEvent_t& ev = event();
    if (isSnapshotAnswer(ev)) {
      if (snapshotSaysGone(ev, maxParties)) actualTermMask |= TM_LCOFF;
    } else if (ev.eventHeader.eventClass == CSTAUNSOLICITED && type == CSTA_CALL_CLEARED &&
               isCurrentCall(ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID)) {
      actualTermMask |= TM_LCOFF;
      privateCallMade = 0;
    } else {
      later.push_back(HeldEvent());
      later.back().event.assign(eventBuffer, eventBuffer + lastEventSize_);
      const PrivateData_t* priv = reinterpret_cast<const PrivateData_t*>(privateBuffer);
      if (priv->length > 0)
        later.back().privateData.assign(privateBuffer, privateBuffer + PRIVATE_DATA_HEADER + priv->length);
    }
  }
  held_.insert(held_.begin(), later.begin(), later.end());
}

// ---- stop and digits -----------------------------------------------------------------

int DialogicChannel::Stop(bool force) {
  if (!isPlaying && !isRecording && !isCollecting) return 0;
  stopRequested = 1;
  if (isPlaying && !force) return 0;  // the server ends a play-till-digit by itself
  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, isRecording ? kqPvtRecordStop : kqPvtPlayStop, connection);
  tsapi().escapeService(acsHandle, 0, asPrivateData(&area));
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

// ---- temporary files -------------------------------------------------------------------

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
  logLine("Cannot delete file: %s, error=%d", path, lastError);
  std::size_t len = std::strlen(local);
  char* copy = new char[len + 1]();
  std::memcpy(copy, local, len);
  if (!plat_start_thread(deleteLater, copy)) delete[] copy;
}

// ---- play -----------------------------------------------------------------------------

int DialogicChannel::Play(DX_IOTT* iott, DV_TPT* tpt) {
  if (!iott || !tpt) return -1;
  pendingTermMask = kTermAlways;
  actualTermMask = 0;
  snapshotInvoke_ = 0;
  bytesTransferred = 0;
  privateMessageID requestType = kqPvtPlay;
  std::uint32_t stopMask = 0;
  bool hangupWatch = false;

  PrepareCall(true);

  int steps = 0;
  for (DV_TPT* t = tpt; t && steps < kMaxChain; t = nextTpt(t), ++steps) {
    if (t->tp_termno == DX_LCOFF) {
      pendingTermMask |= TM_LCOFF;
      hangupWatch = true;
    } else if (t->tp_termno == DX_DIGMASK && t->tp_flags == TF_LEVEL) {
      pendingTermMask |= TM_DIGIT;
      std::uint32_t buffered = 0;
      for (std::int32_t i = digitsTaken; i < digitCount; ++i) buffered |= digitMask(digitBuffer[i]);
      if (buffered & t->tp_length) {
        actualTermMask |= TM_DIGIT;
        clearOwnCall();
        return 0;
      }
      stopMask = t->tp_length;
      if (t->tp_length == 0xFFFF) requestType = kqPvtPlayTillDTMF;
    } else {
      logLine("Unsupported termination condition %d", t->tp_termno);
    }
  }

  stopRequested = 0;
  std::string tempPath;
  plat_handle temp = PLAT_INVALID_HANDLE;
  if (!makeTempFile(&tempPath, &temp)) {
    logLine("Cannot allocate temporary filename");
    clearOwnCall();
    return -1;
  }
  if (temp == PLAT_INVALID_HANDLE) {
    logLine("Cannot create temporary file: %s", tempPath.c_str());
    clearOwnCall();
    return -2;
  }

  std::uint32_t total = 0;
  steps = 0;
  for (DX_IOTT* e = iott; e && !stopRequested && steps < kMaxChain; e = nextIott(e), ++steps) {
    const std::uint32_t offset = e->io_offset;
    const std::int32_t length = e->io_length;
    withVoiceFile(e->io_fhandle, [&](const VoiceFileEntry& entry) {
      std::string source = entry.path.substr(std::min(entry.path.size(), kDosDevicesLength));
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
        return;
      }
      // -1 asks for the rest of the file; no request reads past its end.
      long long want = length > 0 ? length : (length == -1 ? size - static_cast<long long>(offset) : 0);
      if (size >= 0) want = std::min(want, size - static_cast<long long>(offset));
      if (want > 0 && plat_seek(src, offset)) {
        std::vector<char> bytes(static_cast<std::size_t>(want));
        long got = plat_read(src, bytes.data(), bytes.size());
        if (got > 0) {
          long written = plat_write(temp, bytes.data(), static_cast<std::size_t>(got));
          if (written > 0) total += static_cast<std::uint32_t>(written);
        }
      }
      plat_close(src);
    });
  }
  plat_close(temp);

  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, requestType, connection);
  area.file.position = 0;
  std::string serverName = kDosDevices + tempPath;
  std::snprintf(area.file.fileName, kMaxFileName + 1, "%s", serverName.c_str());
  area.file.invokeID = ++requestCounter;
  area.file.count = total;
  isPlaying = 1;
  int rc = sendRequest(&area);
  if (rc != 0) {
    actualTermMask |= TM_ERROR;
    logLine("Play failure %d", rc);
    DeleteTempFile(tempPath.c_str());
    lastError = rc;
    clearOwnCall();
    return -1;
  }

  int failures = 0;
  for (bool done = false; !done;) {
    EventType_t type = 0;
    RetCode_t r = WaitUnsolicitedEvent(&type, true);
    if (r < 0) {
      if (++failures >= kMaxFailedReads) {
        actualTermMask |= TM_ERROR;
        DeleteTempFile(tempPath.c_str());
        lastError = r;
        clearOwnCall();
        return -1;
      }
      continue;
    }
    failures = 0;
    const CSTAEvent_t& ev = event();
    EventClass_t cls = ev.eventHeader.eventClass;
    if (cls == CSTAUNSOLICITED && type == CSTA_CALL_CLEARED) {
      if (!isCurrentCall(ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID)) continue;
      actualTermMask |= TM_LCOFF;
      stopRequested = 1;
      privateCallMade = 0;
      done = true;
    } else if (cls == CSTAUNSOLICITED && type == CSTA_CONNECTION_CLEARED) {
      if (hangupWatch && !isOwnRelease(ev, false))
        askCallSnapshot();
    } else if (isSnapshotAnswer(ev)) {
      if (snapshotSaysGone(ev, 2)) {
        actualTermMask |= TM_LCOFF;
        Stop(true);
      }
    } else if (cls == CSTAUNSOLICITED && type == CSTA_PRIVATE_STATUS) {
      TelvanixPrivateMessage message;
      if (!privateMessage(&message)) continue;
      logLine("Received private message %d.", message.header.msgType);
      if (message.header.msgType == kqPvtDigitsSeen) {
        ProcessDialedDigits(message, stopMask);
      } else if ((message.header.msgType == kqPvtPlayEnded ||
                  message.header.msgType == kqPvtPlayNextFile) &&
                 message.file.invokeID == requestCounter &&
                 isCurrentCall(message.header.connection.callID)) {
        bytesTransferred += static_cast<std::int32_t>(message.file.position);
        done = true;
      }
    }
  }
  settleCallSnapshot(2);
  DeleteTempFile(tempPath.c_str());
  isPlaying = 0;
  ReleaseCall();
  logLine("Play returns %d", 0);
  return 0;
}

// ---- record -----------------------------------------------------------------------------

int DialogicChannel::Record(DX_IOTT* iott, DV_TPT* tpt) {
  if (!iott || !tpt) return -1;
  pendingTermMask = kTermAlways | TM_MAXTIME;
  actualTermMask = 0;
  snapshotInvoke_ = 0;
  bytesTransferred = 0;
  privateMessageID requestType = kqPvtRecord;
  std::uint32_t stopMask = 0;
  bool hangupWatch = false;

  PrepareCall(true);

  int steps = 0;
  for (DV_TPT* t = tpt; t && steps < kMaxChain; t = nextTpt(t), ++steps) {
    if (t->tp_termno == DX_LCOFF) {
      pendingTermMask |= TM_LCOFF;
      hangupWatch = true;
    } else if (t->tp_termno == DX_DIGMASK && t->tp_flags == TF_LEVEL) {
      pendingTermMask |= TM_DIGIT;
      stopMask = t->tp_length;
      if (t->tp_length == 0xFFFF) requestType = kqPvtRecordTillDTMF;
    } else {
      logLine("Unsupported termination conditions");
      lastError = 8;
      clearOwnCall();
      return -1;
    }
  }

  std::string path;
  withVoiceFile(iott->io_fhandle, [&](const VoiceFileEntry& entry) { path = entry.path; });
  // A longer name would be cut and so record into another file.
  if (path.size() > kMaxFileName) {
    logLine("Record file name too long: %s", path.c_str());
    clearOwnCall();
    return -1;
  }
  TelvanixPrivateVoxMessage area;
  BuildPrivateRequest(&area, requestType, connection);
  std::snprintf(area.file.fileName, kMaxFileName + 1, "%s", path.c_str());
  area.file.position = iott->io_offset;
  area.file.count = static_cast<std::uint32_t>(iott->io_length);
  logLine("Recording in: %s", area.file.fileName);

  stopRequested = 0;
  isRecording = 1;
  int rc = sendRequest(&area);
  if (rc != 0) {
    logLine("Record failure %d", rc);
    lastError = rc;
    clearOwnCall();
    return -1;
  }

  // A length that is not positive records until something else ends it.
  const bool limited = iott->io_length > 0;
  const long limit = limited ? static_cast<long>(static_cast<float>(iott->io_length) * recordSecondsPerByte()) : -1;
  if (limited)
    logLine("Record timeout: %ld seconds", limit);
  else
    logLine("Record timeout: none");
  const std::uint64_t start = timing().millis() / 1000;

  bool stopSent = false;
  int failures = 0;
  RetCode_t r = 0;
  for (bool done = false; !done;) {
    EventType_t type = 0;
    r = GetUnsolicitedEvent(&type, true);
    if (r == ACSERR_NOMESSAGE) {
      // A short pause instead of spinning; the time is judged after it.
      timing().sleep(kRecordPollSleepMs);
      if (!stopSent && limited &&
          static_cast<long>(timing().millis() / 1000 - start) >= limit) {
        TelvanixPrivateVoxMessage stop;
        BuildPrivateRequest(&stop, kqPvtRecordStop, connection);
        rc = sendRequest(&stop);
        if (rc != 0) logLine("Record Stop failure %d", rc);
        stopSent = true;
        actualTermMask |= TM_MAXTIME;
      }
      continue;
    }
    if (r < 0) {
      if (++failures >= kMaxFailedReads) {
        actualTermMask |= TM_ERROR;
        logLine("10 consecutive errors in record");
        lastError = r;
        clearOwnCall();
        return -1;
      }
      continue;
    }
    failures = 0;
    const CSTAEvent_t& ev = event();
    EventClass_t cls = ev.eventHeader.eventClass;
    if (cls == CSTAUNSOLICITED && type == CSTA_CALL_CLEARED) {
      if (!isCurrentCall(ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID)) continue;
      privateCallMade = 0;
      actualTermMask |= TM_LCOFF;
      done = true;
    } else if (cls == CSTAUNSOLICITED && type == CSTA_CONNECTION_CLEARED) {
      if (hangupWatch && !isOwnRelease(ev, true))
        askCallSnapshot();
    } else if (isSnapshotAnswer(ev)) {
      if (snapshotSaysGone(ev, 2)) {
        actualTermMask |= TM_LCOFF;
        Stop(true);
      }
    } else if (cls == CSTAUNSOLICITED && type == CSTA_PRIVATE_STATUS) {
      TelvanixPrivateMessage message;
      if (!privateMessage(&message)) continue;
      if (message.header.msgType == kqPvtDigitsSeen) {
        ProcessDialedDigits(message, stopMask);
      } else if (message.header.msgType == kqPvtRecordEnded &&
                 isCurrentCall(message.header.connection.callID)) {
        bytesTransferred += static_cast<std::int32_t>(message.file.position);
        logLine("RecordEnded: BytesTransferred=%d", bytesTransferred);
        done = true;
      }
    }
  }
  settleCallSnapshot(2);
  isRecording = 0;
  ReleaseCall();
  logLine("Record returns %d PendingTermCond=%#x ActualTermCond=%#x", r, pendingTermMask, actualTermMask);
  return 0;
}

// ---- digits -----------------------------------------------------------------------------

int DialogicChannel::GetDigit(DV_TPT* tpt, DV_DIGIT* digits) {
  if (!tpt || !digits) return -1;
  pendingTermMask = kTermAlways;
  actualTermMask = 0;
  snapshotInvoke_ = 0;
  int limit = 31;
  std::uint32_t received = 0;
  std::uint32_t stopMask = 0;
  long budget = -1;  // milliseconds; none
  bool hangupWatch = false;
  digits->dg_type[0] = static_cast<char>(0xFF);
  // A stop meant for an earlier operation does not end this one.
  stopRequested = 0;

  int steps = 0;
  for (DV_TPT* t = tpt; t && steps < kMaxChain; t = nextTpt(t), ++steps) {
    switch (t->tp_termno) {
      case DX_MAXDTMF:
        pendingTermMask |= TM_MAXDTMF;
        limit = std::min<int>(t->tp_length, 31);
        break;
      case DX_LCOFF:
        pendingTermMask |= TM_LCOFF;
        hangupWatch = true;
        break;
      case DX_MAXTIME:
        pendingTermMask |= TM_MAXTIME;
        budget = static_cast<long>(t->tp_length) * ((t->tp_flags & TF_10MS) ? 10 : 100);
        break;
      case DX_DIGMASK:
        pendingTermMask |= TM_DIGIT;
        stopMask = t->tp_length;
        break;
      default:
        logLine("GetDigit: Unsupported termination condition %d", t->tp_termno);
        lastError = 8;
        return -1;
    }
  }

  PrepareCall(false);

  int result = CollectDigits(digits, stopMask, limit, &received) + 1;
  if (received & stopMask) {
    actualTermMask |= TM_DIGIT;
    return result;
  }
  if (result > limit) {
    actualTermMask |= TM_MAXDTMF;
    return result;
  }

  isCollecting = 1;
  bool failed = false;
  RetCode_t failure = 0;
  for (bool done = false; !done;) {
    EventType_t type = 0;
    RetCode_t r;
    if (budget < 0) {
      r = WaitUnsolicitedEvent(&type, true);
    } else {
      r = GetUnsolicitedEvent(&type, true);
      if (r == ACSERR_NOMESSAGE) {
        budget -= 100;
        if (budget > 0) {
          timing().sleep(100);
          continue;
        }
        actualTermMask |= TM_MAXTIME;
        break;
      }
    }
    if (r < 0) {
      failed = true;
      failure = r;
      break;
    }
    const CSTAEvent_t& ev = event();
    EventClass_t cls = ev.eventHeader.eventClass;
    if (cls == CSTAUNSOLICITED && type == CSTA_CALL_CLEARED &&
        isCurrentCall(ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID)) {
      privateCallMade = 0;
      actualTermMask |= TM_LCOFF;
      done = true;
    } else if (cls == CSTAUNSOLICITED && type == CSTA_CONNECTION_CLEARED) {
      if (hangupWatch && !isOwnRelease(ev, false))
        askCallSnapshot();
    } else if (isSnapshotAnswer(ev)) {
      if (snapshotSaysGone(ev, 1)) {
        actualTermMask |= TM_LCOFF;
        done = true;
      }
    } else if (cls == CSTAUNSOLICITED && type == CSTA_PRIVATE_STATUS && [&] {
                 TelvanixPrivateMessage m;
                 return privateMessage(&m) && m.header.msgType == kqPvtDigitsSeen;
               }()) {
      TelvanixPrivateMessage message;
      privateMessage(&message);
      if (message.digits.count > 1) logLine("MultipleDigits %d", message.digits.count);
      ProcessDialedDigits(message, 0);
      result += CollectDigits(digits, stopMask, limit - (result - 1), &received);
      if (received & stopMask) {
        actualTermMask |= TM_DIGIT;
        done = true;
      } else if (result > limit) {
        actualTermMask |= TM_MAXDTMF;
        done = true;
      }
    } else if (stopRequested) {
      actualTermMask |= TM_USRSTOP;
      done = true;
    }
  }
  isCollecting = 0;
  ReleaseCall();
  if (failed) {
    logLine("GetDigit returns %x", failure);
    lastError = failure;
    return -1;
  }
  return result;
}

}  // namespace vox
