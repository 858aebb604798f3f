#include "telephony/events.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

#include "calllog/callinfo.h"
#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "display/event.h"
#include "display/lines.h"
#include "display/names.h"
#include "display/private_display.h"
#include "display/stamps.h"
#include "telephony/calls.h"
#include "telephony/private_commands.h"
#include "telephony/query.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

bool loadServer = false;
unsigned char numberInitialSnapshots = 2;
std::uint16_t snapshotsPerformed = 0;

namespace {

// ---- clocks ----------------------------------------------------------------------

std::int64_t realSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }
std::uint64_t realMillis() { return plat_millis(); }

EventSecondsClock secondsNow = realSeconds;
EventMillisClock millisNow = realMillis;

// Reopens are paced on the clock every wait reads, so that a test run's
// stepped clock drives them as it drives the waits; a test's own seconds
// clock drives both.
std::int64_t reopenSecondsNow() {
  if (secondsNow != realSeconds) return secondsNow();
  return static_cast<std::int64_t>(waitClockMillis() / 1000);
}

// ---- poll state ------------------------------------------------------------------

const int kSnapshotPollSeconds = 300;
const int kSnapshotsPerDevice = 24;  // call snapshots asked per device snapshot
const int kLoadRound = 100;          // device snapshots per measuring round
// A server that answers at once can keep the queue from ever running empty
// (the load test asks a new snapshot for each one confirmed): a poll hands
// back control after this many events and the next one carries on.
const int kMaxEventsPerPoll = 1000;

std::int64_t lastPollStarted = 0;
bool pollCutShort = false;  // the last poll stopped with events still queued
std::uint64_t startTime = 0;
long eventsAtStart = 0;
long lastWatchSeconds = 10;

// Reopening: the wait before the next try and the one after it fails.
int reopenWait = 0;
int reopenBackOff = 1;
bool linkWasLost = false;  // lost since it was last open: the next open recovers
// While the monitors of a reopened stream come back, each device is
// snapshotted as soon as its monitor is confirmed, to find the calls that
// began while we were blind before they end unseen.
bool findingCalls = false;
std::set<InvokeID_t> recoverySnapshots;  // device snapshots asked for that
// Snapshots asked to check doubted calls, by invoke ID. Answers that never
// come would pile up; the oldest go first.
std::map<InvokeID_t, std::int32_t> pendingChecks;
const std::size_t kMostPendingChecks = 65536;

// The event and its private data are read into these. The unions give the
// records their alignment; the sizes are what the library is told.
union EventBuffer {
  CSTAEvent_t event;
  unsigned char bytes[EVENT_BUFFER_SIZE];
};
union PrivateBuffer {
  PrivateData_t data;
  unsigned char bytes[PRIVATE_DATA_HEADER + PRIVATE_BUFFER_SIZE];
};
// Handling an event may wait for others (the line monitors started at a
// stream open wait for each confirmation), so polls nest: each level reads
// into buffers of its own and the event being handled further out stays
// intact for the formatter.
const int kPollDepth = 3;
EventBuffer eventBufs[kPollDepth];
PrivateBuffer pvtBufs[kPollDepth];
int pollDepth = 0;

// ---- private messages ------------------------------------------------------------

// The private message an event carries, read into a whole record; false when
// there is none or it is not ours.
bool readPrivate(const PrivateData_t* pvt, TelvanixPrivateMessage& m) {
  if (!pvt || pvt->length == 0) return false;
  return readPrivateMessage(pvt, PRIVATE_BUFFER_SIZE, &m);
}

// ---- helpers -----------------------------------------------------------------------

// A device text of an event, terminated.
struct DeviceText {
  char text[sizeof(DeviceID_t) + 1];
  explicit DeviceText(const DeviceID_t device) {
    std::memcpy(text, device, sizeof(DeviceID_t));
    text[sizeof(DeviceID_t)] = '\0';
  }
};

// A device of an event as text; an empty one counts as absent.
struct EventDevice {
  char text[sizeof(DeviceID_t) + 1];
  explicit EventDevice(const ExtendedDeviceID_t& device) {
    std::memcpy(text, device.deviceID, sizeof(DeviceID_t));
    text[sizeof(DeviceID_t)] = '\0';
  }
  const char* get() const { return text[0] ? text : nullptr; }
};

const char* presentText(const char* text) { return text && text[0] ? text : nullptr; }

// The line a call came in on: an outside caller without a number shows as
// the line itself; else the line's own monitor reports the call.
bool arrivedOn(std::int32_t callID, const char* calling, const char* via, bool tracked) {
  CallInfo::arrivedOn(callID, calling);
  CallInfo::arrivedOn(callID, via);
  return tracked;
}

void requestCallSnapshot(long callID) { doSnapshotActiveCall(static_cast<std::int32_t>(callID)); }

// A check of a doubted call; its answer is matched by invoke ID. A request
// the library refuses is tried again later.
bool requestCallCheck(long callID) {
  ConnectionID_t call = {};
  call.callID = static_cast<std::int32_t>(callID);
  call.devIDType = STATIC_ID;
  const InvokeID_t id = invokeID;
  const RetCode_t rc = cstaSnapshotCallReq(acsHandle, invokeID, &call, nullptr);
  if (rc == ACSERR_QUEUE_FULL || rc == ACSERR_NOBUFFERS) {
    ACS_CALL("snapshot call (check)", rc);
    return false;
  }
  if (ACS_CALL("snapshot call (check)", rc)) rememberCallCheck(id, call.callID);
  return true;
}

// The device a monitor of ours watches, null for call monitors and others.
const char* monitoredDevice(CSTAMonitorCrossRefID_t xref) {
  for (const auto& entry : monitorDictionary)
    if (entry.second == xref) return entry.first.c_str();
  return nullptr;
}

// A call the log does not track yet gets a call monitor.
void track(bool tracked, std::int32_t callID, const char* monitorDevice) {
  if (!tracked) startCallMonitor(callID, monitorDevice);
}

// The log hears of a new call before the step that reports it.
void announce(bool newCall, std::int32_t callID) {
  if (newCall) CallInfo::newCallAnnounced(callID);
}

void noStream() {
  acsHandle = 0;
  o_setLocalACShandle(0);
}

void markStreamLost() {
  acsStreamAborted = true;
  if (linkWasLost) return;
  linkWasLost = true;
  pendingChecks.clear();
  recoverySnapshots.clear();
  CallInfo::linkLost();
}

void reopenFailed(const char* reason) {
  reopenWait = reopenBackOff;
  reopenBackOff = reopenBackOff * 2 < kReopenMostSeconds ? reopenBackOff * 2 : kReopenMostSeconds;
  o_lprintf(1, false, "!? Stream reopen failed (%s), next try in %d s", reason, reopenWait);
  o_newline(0);
}

// The stream is open again after a loss.
void linkBack() {
  linkWasLost = false;
  // A server that takes the stream and drops it at once is not hammered.
  reopenWait = 1;
  reopenBackOff = 1;
  o_lprintf(1, false, "! Stream reopened, acsHandle %lu", static_cast<unsigned long>(acsHandle));
  o_newline(0);
}

void snapshotDeviceBack(const std::string& device) {
  const InvokeID_t id = invokeID;
  if (ACS_CALL("snapshot device",
               cstaSnapshotDeviceReq(acsHandle, invokeID, device.c_str(), nullptr)))
    recoverySnapshots.insert(id);
}

void readServerFirmware(const Version_t driverVersion) {
  o_storeFirmwareVersion(driverVersion, static_cast<int>(sizeof(Version_t)));
  const FirmwareVersion f = o_getFirmwareVersion();
  firmwareMajor = f.fwMajor;
  firmwareMinor = f.fwMinor;
  firmwareEdit = f.fwEdit;
}

const char* currentDeviceString() { return primaryDevice ? primaryDevice : defaultDeviceString; }

// ---- the dispatcher's parts ------------------------------------------------------------

void handleACSConfirmation(const CSTAEvent_t& e) {
  const ACSConfirmationEvent& c = e.event.acsConfirmation;
  stampInvokeID(c.invokeID);
  noteAnswer(c.invokeID);
  switch (e.eventHeader.eventType) {
    case ACS_OPEN_STREAM_CONF: {
      readServerFirmware(c.u.acsopen.drvrVer);
      setPrivateReporting(true);
      ++ackCount;
      const bool recovering = linkWasLost && acsHandle;
      if (recovering) linkBack();
      if (acsHandle && autoLogSMDR) {
        findingCalls = recovering;
        if (recovering) {
          monitorLinesAgain();
          if (SMDRmonitorExt) monitorExtensionsAgain();
        } else {
          doMonitorLines();
          if (SMDRmonitorExt) doMonitorExtensions();
        }
        findingCalls = false;
      }
      // The calls tracked from before are checked once the monitors are
      // back: a monitor's wait counts every confirmation, and a flood of
      // checks would keep it from seeing the end of the devices. The stream
      // may have gone again meanwhile.
      if (recovering && acsHandle && !linkWasLost) CallInfo::linkBack();
      break;
    }
    case ACS_CLOSE_STREAM_CONF:
      noStream();
      ++ackCount;
      break;
    case ACS_UNIVERSAL_FAILURE_CONF:
      if (c.invokeID == acsOpenInvokeID || c.u.failureEvent.error == TSERVER_STREAM_FAILED) {
        const bool openRefused = c.invokeID == acsOpenInvokeID && linkWasLost;
        noStream();
        markStreamLost();
        if (openRefused) reopenFailed(getACSfailureName(c.u.failureEvent.error));
      }
      ++errCount;
      break;
    default:
      ++ackCount;
      break;
  }
}

void handlePrivateStatus(const PrivateData_t* pvt) {
  TelvanixPrivateMessage m;
  if (!readPrivate(pvt, m)) return;
  if (m.header.msgType == kqPvtReportBroadcast &&
      std::strncmp(m.broadcast.data, "VM ", 3) == 0)
    CallInfo::voicemailCall(m.header.connection.callID);
  privateReportArrived(m);
}

void handleUnsolicited(const CSTAEvent_t& e, const PrivateData_t* pvt) {
  const CSTAUnsolicitedEvent& u = e.event.cstaUnsolicited;
  switch (e.eventHeader.eventType) {
    case CSTA_CALL_CLEARED: {
      const std::int32_t id = u.u.callCleared.clearedCall.callID;
      if (currentCall == id) currentCall = 0;
      CallInfo::ended(id, true);
      break;
    }
    case CSTA_CONFERENCED: {
      const CSTAConferencedEvent_t& v = u.u.conferenced;
      if (v.conferenceConnections.count > 0 && v.conferenceConnections.connection) {
        CallInfo::conferenced(v.conferenceConnections.connection[0].party.callID,
                              v.primaryOldCall.callID, v.secondaryOldCall.callID);
      }
      break;
    }
    case CSTA_DELIVERED: {
      const CSTADeliveredEvent_t& v = u.u.delivered;
      const std::int32_t id = v.connection.callID;
      const EventDevice calling(v.callingDevice), called(v.calledDevice),
          alerting(v.alertingDevice);
      announce(v.cause == EC_NEW_CALL, id);
      const bool tracked = CallInfo::alerting(id, calling.get(), called.get(), alerting.get());
      track(arrivedOn(id, calling.get(), monitoredDevice(u.monitorCrossRefId), tracked), id,
            nullptr);
      break;
    }
    case CSTA_DIVERTED: {
      const CSTADivertedEvent_t& v = u.u.diverted;
      const std::int32_t id = v.connection.callID;
      const bool tracked = CallInfo::diverted(id, EventDevice(v.newDestination).get());
      track(arrivedOn(id, nullptr, monitoredDevice(u.monitorCrossRefId), tracked), id, nullptr);
      break;
    }
    case CSTA_ESTABLISHED: {
      const CSTAEstablishedEvent_t& v = u.u.established;
      const std::int32_t id = v.establishedConnection.callID;
      const EventDevice calling(v.callingDevice), called(v.calledDevice),
          answering(v.answeringDevice);
      const bool tracked = CallInfo::answered(id, calling.get(), called.get(), answering.get());
      const DeviceText device(v.establishedConnection.deviceID);
      track(arrivedOn(id, calling.get(), monitoredDevice(u.monitorCrossRefId), tracked), id,
            device.text);
      break;
    }
    case CSTA_FAILED:
      CallInfo::ended(u.u.failed.failedConnection.callID, true);
      break;
    case CSTA_HELD:
      CallInfo::held(u.u.held.heldConnection.callID);
      break;
    case CSTA_NETWORK_REACHED: {
      const CSTANetworkReachedEvent_t& v = u.u.networkReached;
      const DeviceText device(v.connection.deviceID);
      const std::int32_t id = v.connection.callID;
      const EventDevice called(v.calledDevice), trunkUsed(v.trunkUsed);
      // Older servers do not report the trunk reliably.
      const char* trunk = firmwareMajor > 2 ? trunkUsed.get() : nullptr;
      const bool tracked = CallInfo::netReached(id, presentText(device.text), called.get(), trunk);
      // An outgoing call is not said to arrive on the line it leaves on.
      const char* via = monitoredDevice(u.monitorCrossRefId);
      if (via && (std::strcmp(via, device.text) == 0 || (trunk && std::strcmp(via, trunk) == 0)))
        via = nullptr;
      CallInfo::arrivedOn(id, via);
      track(tracked, id, nullptr);
      break;
    }
    case CSTA_ORIGINATED: {
      const CSTAOriginatedEvent_t& v = u.u.originated;
      const std::int32_t id = v.originatedConnection.callID;
      const EventDevice calling(v.callingDevice), called(v.calledDevice);
      announce(v.cause == EC_NEW_CALL, id);
      track(CallInfo::originated(id, calling.get(), called.get()), id, nullptr);
      break;
    }
    case CSTA_RETRIEVED:
      CallInfo::retrieved(u.u.retrieved.retrievedConnection.callID);
      break;
    case CSTA_SERVICE_INITIATED: {
      const CSTAServiceInitiatedEvent_t& v = u.u.serviceInitiated;
      const DeviceText device(v.initiatedConnection.deviceID);
      const std::int32_t id = v.initiatedConnection.callID;
      announce(v.cause == EC_NEW_CALL, id);
      track(CallInfo::initiated(id, presentText(device.text)), id, nullptr);
      break;
    }
    case CSTA_TRANSFERRED: {
      const CSTATransferredEvent_t& v = u.u.transferred;
      if (v.transferredConnections.count > 0 && v.transferredConnections.connection) {
        // Firmware newer than the server's reports the old calls the other
        // way round.
        const bool swapped =
            configFirmwareMajor > firmwareMajor ||
            (configFirmwareMajor == firmwareMajor && configFirmwareMinor > firmwareMinor);
        CallInfo::transferred(v.transferredConnections.connection[0].party.callID,
                              swapped ? v.secondaryOldCall.callID : v.primaryOldCall.callID,
                              swapped ? v.primaryOldCall.callID : v.secondaryOldCall.callID);
      }
      break;
    }
    case CSTA_PRIVATE_STATUS:
      handlePrivateStatus(pvt);
      break;
    default:
      break;
  }
}

// The private reply of an escape-service confirmation.
void storePrivateReply(const PrivateData_t* pvt) {
  TelvanixPrivateMessage m;
  if (readPrivate(pvt, m)) privateReplyArrived(m);
}

void updateRates(float rate, float& highest, float& lowest) {
  if (rate > highest) highest = rate;
  if (rate < lowest) lowest = rate;
}

// One step of the continuous-snapshot load test, at each device snapshot.
void loadTestStep() {
  if (!loadServer || !primaryDevice) return;
  if (snapshotsPerformed == 0) {
    eventsAtStart = eventsProcessed;
    startTime = millisNow();
  }
  ACS_CALL("snapshot device (loadServer)",
           cstaSnapshotDeviceReq(acsHandle, invokeID, primaryDevice, nullptr));
  if (++snapshotsPerformed <= kLoadRound) return;

  double elapsed = static_cast<double>(millisNow() - startTime) * 0.001;
  if (elapsed == 0) elapsed = 1;
  const float snapRate = static_cast<float>(snapshotsPerformed / elapsed);
  o_lstring("$SNAP_THRUPUT", 1, false);
  o_lstring(timestamp(), 0, true);
  o_lprintf(0, true, "%f", elapsed);
  o_lstring("seconds", 0, true);
  o_lprintf(0, true, "%f", static_cast<double>(snapRate));
  o_lstring("snapsPerSecond", 0, true);
  o_newline(0);
  updateRates(snapRate, maxSnapsPerSecond, minSnapsPerSecond);

  const float eventRate = static_cast<float>((eventsProcessed - eventsAtStart) / elapsed);
  o_lstring("$EVENTS_THRUPUT", 1, false);
  o_lstring(timestamp(), 0, true);
  o_lnumber(static_cast<long>(elapsed), 0, true, 10);
  o_lstring("seconds", 0, true);
  o_lprintf(0, true, "%f", static_cast<double>(eventRate));
  o_lstring("eventsPerSecond", 0, true);
  o_newline(0);
  updateRates(eventRate, maxEventsPerSecond, minEventsPerSecond);

  snapshotsPerformed = 0;
}

void handleCSTAConfirmation(const CSTAEvent_t& e, const PrivateData_t* pvt) {
  const CSTAConfirmationEvent& c = e.event.cstaConfirmation;
  stampInvokeID(c.invokeID);
  noteAnswer(c.invokeID);
  switch (e.eventHeader.eventType) {
    case CSTA_MAKE_CALL_CONF:
      currentCall = c.u.makeCall.newCall.callID;
      ++ackCount;
      break;
    case CSTA_QUERY_MWI_CONF:
      defaultMWI = c.u.queryMwi.messages != 0;
      ++ackCount;
      break;
    case CSTA_QUERY_DND_CONF:
      lastLineInfo.doNotDisturb = c.u.queryDnd.doNotDisturb ? 1 : 0;
      ++ackCount;
      break;
    case CSTA_UNIVERSAL_FAILURE_CONF: {
      ++cstaFailCount;
      // Only a call the server says it does not know has ended; any other
      // refusal leaves the call to the inactive-call rule.
      auto check = pendingChecks.find(c.invokeID);
      if (check == pendingChecks.end()) break;
      const std::int32_t id = check->second;
      pendingChecks.erase(check);
      const CSTAUniversalFailure_t error = c.u.universalFailure.error;
      if (error == INVALID_CSTA_CALL_IDENTIFIER || error == INVALID_CSTA_CONNECTION_IDENTIFIER)
        CallInfo::endedDuringOutage(id);
      break;
    }
    case CSTA_ESCAPE_SVC_CONF:
      storePrivateReply(pvt);
      ++ackCount;
      break;
    case CSTA_MONITOR_CONF:
      lastMonitorID = c.u.monitorStart.monitorCrossRefID;
      // The first monitor confirmed for a device is the one CLEAR MONITOR
      // ends: the device its request named (call monitors name none), or
      // the current one for a request sent some other way.
      {
        std::string device;
        const bool ours = takeMonitorRequest(c.invokeID, &device);
        if (!ours) device = currentDeviceString();
        if (!device.empty()) monitorDictionary.emplace(device, lastMonitorID);
        // From now on the device's calls are reported: what is on it now
        // began while we were blind or is already tracked.
        if (ours && findingCalls && !device.empty()) snapshotDeviceBack(device);
      }
      ++ackCount;
      break;
    case CSTA_SNAPSHOT_CALL_CONF: {
      const CSTASnapshotCallData_t& d = c.u.snapshotCall.snapshotData;
      ++ackCount;
      ++callSnapshots;
      auto check = pendingChecks.find(c.invokeID);
      const bool checking = check != pendingChecks.end();
      const std::int32_t checkedID = checking ? check->second : 0;
      if (checking) pendingChecks.erase(check);
      if (d.count > 0 && d.info) {
        // The parties decide whether a doubted call is still the one we
        // tracked; a call has few, and more than this says nothing new.
        const int most = 16;
        const int n = d.count < most ? d.count : most;
        char texts[most][sizeof(DeviceID_t) + 1];
        const char* devices[most];
        int connected = 0;
        for (int i = 0; i < n; ++i) {
          std::memcpy(texts[i], d.info[i].deviceOnCall.deviceID, sizeof(DeviceID_t));
          texts[i][sizeof(DeviceID_t)] = '\0';
          devices[i] = texts[i];
          if (d.info[i].localConnectionState == CS_CONNECT) ++connected;
        }
        const std::int32_t id = d.info[0].callIdentifier.callID;
        CallInfo::snapshotShows(id, devices, n, true, connected >= 2, false);
        CallInfo::callSnapshoted(id);
      } else if (checking) {
        CallInfo::endedDuringOutage(checkedID);
      }
      break;
    }
    case CSTA_SNAPSHOT_DEVICE_CONF: {
      const CSTASnapshotDeviceData_t& d = c.u.snapshotDevice.snapshotData;
      ++deviceSnapshots;
      if (recoverySnapshots.erase(c.invokeID) && d.info) {
        for (int i = 0; i < d.count; ++i) {
          const DeviceText device(d.info[i].callIdentifier.deviceID);
          const char* devices[] = {presentText(device.text)};
          // Found calls are followed by the device's monitor, as every call on it.
          CallInfo::snapshotShows(d.info[i].callIdentifier.callID, devices, devices[0] ? 1 : 0,
                                  false, false, true);
        }
      }
      loadTestStep();
      if (d.count > 0 && d.info) {
        currentCall = d.info[0].callIdentifier.callID;
        const int n = d.count < kSnapshotsPerDevice ? d.count : kSnapshotsPerDevice;
        for (int i = 0; i < n; ++i) {
          ConnectionID_t call = {};
          call.callID = d.info[i].callIdentifier.callID;
          call.devIDType = STATIC_ID;
          ACS_CALL("snapshot call", cstaSnapshotCallReq(acsHandle, invokeID, &call, nullptr));
        }
      }
      ++ackCount;
      break;
    }
    default:
      ++ackCount;
      break;
  }
}

void countStreamError() {
  ++msgCount;
  ++errCount;
}

// ---- the poll --------------------------------------------------------------------

void drainEvents(EventBuffer& eventBuf, PrivateBuffer& pvtBuf) {
  bool pollDone = true;
  // After a poll cut short no prompt has been written since its events.
  bool anyReported = pollCutShort;
  pollCutShort = false;
  for (int handled = 0;; ++handled) {
    if (handled == kMaxEventsPerPoll) {
      // Keys are looked at, then the rest is read at once: a busy switch
      // sends more than one poll takes in the console's wait on input.
      pollCutShort = true;
      idleAgainAtOnce();
      return;
    }
    const std::int64_t reopenNow = acsStreamAborted ? reopenSecondsNow() : 0;
    // A stream that never opened (the server down when the logger started)
    // is tried again as a lost one, and said to be back when it opens.
    if (acsStreamAborted && !linkWasLost) markStreamLost();
    if (acsStreamAborted && reopenNow - lastReopenAcsStream >= reopenWait) {
      lastReopenAcsStream = reopenNow;
      const RetCode_t rc = doReopenAcsStream();
      if (rc < 0) reopenFailed(getACSerrorName(rc));
      continue;
    }

    if (acsHandle && !acsStreamAborted) CallInfo::pollRecovery(requestCallCheck);

    if (!manualMode) {
      const std::int64_t now = secondsNow();
      if (now - lastPollStarted > kSnapshotPollSeconds && pollDone) {
        lastPollStarted = now;
        CallInfo::initializeSnapshot();
      }
      pollDone = CallInfo::pollNextSnapshot(requestCallSnapshot);
    }

    std::uint16_t size = EVENT_BUFFER_SIZE;
    pvtBuf.data.length = PRIVATE_BUFFER_SIZE;
    if (!acsHandle) return;
    std::uint16_t queued = 0;
    const RetCode_t rc = acsGetEventPoll(acsHandle, eventBuf.bytes, &size, &pvtBuf.data, &queued);

    if (rc == ACSERR_NOMESSAGE) {
      if (eventReports && anyReported) {
        std::printf("%s>", promptName);
        std::fflush(stdout);
      }
      return;
    }
    if (eventReports && !anyReported) std::printf("\n");
    anyReported = true;
    const PrivateData_t* pvt = pvtBuf.data.length != 0 ? &pvtBuf.data : nullptr;

    switch (rc) {
      case ACSERR_BADHDL:
        o_lprintf(1, false, "!? Bad acsHandle %lu reported.", static_cast<unsigned long>(acsHandle));
        o_newline(0);
        doAbortStream();
        markStreamLost();
        countStreamError();
        return;
      case ACSERR_UBUFSMALL:
        o_lprintf(1, false, "!? FATAL: buffer too small in acsGetEventPoll need %u",
                  static_cast<unsigned>(size));
        o_newline(0);
        o_lprintf(1, false, "!  aborting stream %lu", static_cast<unsigned long>(acsHandle));
        o_newline(0);
        doAbortStream();
        markStreamLost();
        countStreamError();
        return;
      case ACSPOSITIVE_ACK:
        handleEvent(&eventBuf.event, pvt);
        if (eventReports) o_event(&eventBuf.event, pvt, true, "! ");
        ++msgCount;
        break;
      default:
        o_lprintf(1, false, "!? Unexpected rCode %ld from acsGetEventPoll", static_cast<long>(rc));
        o_newline(0);
        return;
    }
  }
}

}  // namespace

void doGetEvents() {
  if (!acsHandle && !acsStreamAborted) return;
  if (pollDepth == kPollDepth) return;
  ++pollDepth;
  drainEvents(eventBufs[pollDepth - 1], pvtBufs[pollDepth - 1]);
  --pollDepth;
}

void handleEvent(const CSTAEvent_t* event, const PrivateData_t* pvt) {
  if (!event) return;
  ++eventsProcessed;
  switch (event->eventHeader.eventClass) {
    case ACSCONFIRMATION:
      handleACSConfirmation(*event);
      break;
    case CSTAUNSOLICITED:
      handleUnsolicited(*event, pvt);
      break;
    case CSTACONFIRMATION:
      handleCSTAConfirmation(*event, pvt);
      break;
    default:  // requests, unsolicited ACS events and reports are only shown
      break;
  }
}

// ---- installing the poll -------------------------------------------------------------

namespace {

// The profile read at each CONNECT may turn automatic events on or off, so
// the idle routine asks each time. The unattended logger reads events
// whatever the setting: it has no one to ask for them, and unread they
// would write no record.
void pollWhileIdle() {
  if (autoEvents || autoLogSMDR) doGetEvents();
}

}  // namespace

void installEventPoll() {
  setEventPoller(doGetEvents);
  setCallWhileIdle(pollWhileIdle);
}

void doAutoEvents(bool on) {
  autoEvents = on;
  userSetAutoEvents = true;
}

// ---- waiting -----------------------------------------------------------------------

namespace {

// Whole seconds, digits only, at most a day: a longer wait is a typing
// error, and anything else (signs, exponents, "nan") is no count at all.
const long kMaxWaitSeconds = 24L * 60 * 60;

enum WaitCount { kWaitOk, kWaitBadFormat, kWaitTooLong };

WaitCount readWaitSeconds(const char* text, std::size_t len, long* seconds) {
  if (len == 0) return kWaitBadFormat;
  long value = 0;
  bool tooLong = false;
  for (std::size_t i = 0; i < len; ++i) {
    if (text[i] < '0' || text[i] > '9') return kWaitBadFormat;
    if (!tooLong) value = value * 10 + (text[i] - '0');
    if (value > kMaxWaitSeconds) tooLong = true;
  }
  *seconds = value;
  return tooLong ? kWaitTooLong : kWaitOk;
}

}  // namespace

void doWait() {
  long seconds = 0;
  for (;;) {
    char* word = get_word("Seconds to wait", "10", false);
    const char* dash = std::strchr(word, '-');
    const std::size_t length = std::strlen(word);
    long low = 0, high = 0;
    WaitCount result;
    if (dash) {
      result = readWaitSeconds(word, static_cast<std::size_t>(dash - word), &low);
      const WaitCount upper =
          readWaitSeconds(dash + 1, length - static_cast<std::size_t>(dash + 1 - word), &high);
      if (result == kWaitOk || (result == kWaitTooLong && upper == kWaitBadFormat)) result = upper;
    } else {
      result = readWaitSeconds(word, length, &low);
      high = low;
    }
    if (result == kWaitOk) {
      seconds = low;
      if (high > low) seconds = low + std::rand() % (high - low + 1);
      errfree(word);
      break;
    }
    if (result == kWaitBadFormat)
      std::printf("? Improper format for a number: \"%s\"\n", word);
    else
      std::printf("? %s is too large, must be less than %ld\n", word, kMaxWaitSeconds + 1);
    std::fflush(stdout);
    errfree(word);
    if (i_noMoreInput()) return;
  }
  if (i_consoleInputEnded()) return;
  doWatchTime(seconds, nullptr, 0);
}

void doWatch() {
  const long seconds = get_number("Seconds to wait", lastWatchSeconds);
  if (i_consoleInputEnded()) return;
  lastWatchSeconds = seconds;
  char* word = get_word("variable", "", true);
  if (i_consoleInputEnded()) {
    errfree(word);
    return;
  }
  const long* watched = nullptr;
  if (std::strcmp(word, "ACK") == 0)
    watched = &ackCount;
  else if (std::strcmp(word, "ERR") == 0)
    watched = &errCount;
  else if (std::strcmp(word, "CSTAFAIL") == 0)
    watched = &cstaFailCount;
  else if (std::strcmp(word, "MSG") == 0)
    watched = &msgCount;
  errfree(word);
  doWatchTime(seconds, watched, watched ? *watched : 0);
}

// ---- continuous snapshots -----------------------------------------------------------

void doSetContinuous() {
  long count = 0;
  for (;;) {
    count = get_number("Snapshots to queue at startup", numberInitialSnapshots);
    if (i_consoleInputEnded() || count <= 0) return;
    if (count <= 10) break;
    std::printf("? value must not be larger than 10\n");
    std::fflush(stdout);
    if (i_noMoreInput()) return;
  }
  numberInitialSnapshots = static_cast<unsigned char>(count);
  loadServer = true;
  snapshotsPerformed = 0;

  doSetCurrentDevice();
  if (i_consoleInputEnded() || !primaryDevice) return;
  for (long i = 0; i < count; ++i)
    ACS_CALL("snapshot device (loadServer)",
             cstaSnapshotDeviceReq(acsHandle, invokeID, primaryDevice, nullptr));
}

void doClearContinuous() { loadServer = false; }

// ---- switches ------------------------------------------------------------------------

void doSetAutoEvents() { doAutoEvents(true); }
void doClearAutoEvents() { doAutoEvents(false); }
void doSetEventReports() { eventReports = true; }
void doClearEventReports() { eventReports = false; }
void doSetInvokeIDstamps() { o_enableInvokeIDstamps(true); }
void doClearInvokeIDstamps() { o_enableInvokeIDstamps(false); }
void doSetDelayStamps() { o_enableInvokeIDdelayStamps(true); }
void doClearDelayStamps() { o_enableInvokeIDdelayStamps(false); }
void doSetTimestamps() { o_enableTimestamps(true); }
void doClearTimestamps() { o_enableTimestamps(false); }
void doSetStopPlay() { autoStopPlay = true; }
void doClearStopPlay() { autoStopPlay = false; }

// ---- recovery ----------------------------------------------------------------------

int reopenWaitSeconds() { return reopenWait; }

void rememberCallCheck(InvokeID_t id, std::int32_t callID) {
  if (pendingChecks.size() >= kMostPendingChecks) pendingChecks.erase(pendingChecks.begin());
  pendingChecks[id] = callID;
}

// ---- tests -------------------------------------------------------------------------

void setEventClocksForTests(EventSecondsClock seconds, EventMillisClock millis) {
  secondsNow = seconds ? seconds : realSeconds;
  millisNow = millis ? millis : realMillis;
}

void resetEventState() {
  resetWaits();
  forgetMonitorRequests();
  loadServer = false;
  numberInitialSnapshots = 2;
  snapshotsPerformed = 0;
  lastPollStarted = 0;
  pollCutShort = false;
  reopenWait = 0;
  reopenBackOff = 1;
  linkWasLost = false;
  findingCalls = false;
  recoverySnapshots.clear();
  pendingChecks.clear();
  startTime = 0;
  eventsAtStart = 0;
  lastWatchSeconds = 10;
}
