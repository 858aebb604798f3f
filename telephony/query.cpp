#include "telephony/query.h"

#include <cstdint>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/readers.h"
#include "console/settings.h"
#include "display/filters.h"
#include "telephony/ask.h"
#include "telephony/calls.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

const CallOrDeviceRow callOrDeviceRows[5] = {
    {"CALL", doSnapCurrentCall, doHangupCurrentCall},
    {"CURRENT_DEVICE", doSnapCurrentDevice, doHangupCurrentDevice},
    {"DEVICE", doSnapDevice, doHangupDevice},
    {"EXPLICIT_CALL", doSnapCall, doHangupCall},
    {nullptr, nullptr, nullptr},
};

CSTAMonitorCrossRefID_t lastMonitorID = 0;
std::map<std::string, CSTAMonitorCrossRefID_t> monitorDictionary;

long trunkCount = 6;
long lineCount = 18;

namespace {

// Automatic call monitors let every event through.
const CSTAMonitorFilter_t filter = {};

struct MonitorRow {
  const char* name;
  void (*start)();
};
const MonitorRow monitorRows[] = {
    {"CALL", doMonitorCall},
    {"DEVICE", doMonitorDevice},
    {"EXTENSIONS", doMonitorExtensions},
    {"LINES", doMonitorLines},
};

// The operator typed a number right after the command: it names a device.
bool deviceFollows() {
  const char* rest = i_restOfLine();
  return rest && std::isdigit(static_cast<unsigned char>(rest[0]));
}

RetCode_t sendSnapshotDevice(const char* device) {
  return cstaSnapshotDeviceReq(acsHandle, invokeID, device, nullptr);
}

void snapshotCall(std::int32_t callID) {
  const ConnectionID_t call = connectionOf(callID, nullptr);
  ACS_CALL("snapshot call", cstaSnapshotCallReq(acsHandle, invokeID, &call, nullptr));
}

typedef RetCode_t (*DeviceRequest)(ACSHandle_t, InvokeID_t, const char*, const PrivateData_t*);

void deviceRequest(const char* what, DeviceRequest request, const char* device) {
  ACS_CALL(what, request(acsHandle, invokeID, device, nullptr));
}

typedef RetCode_t (*FeatureSet)(ACSHandle_t, InvokeID_t, const char*, Boolean,
                                const PrivateData_t*);

// Asks for the device, reads its current state so that it can be offered,
// then sets the state the operator chooses.
void setFeature(const char* queryWhat, DeviceRequest query, const char* question,
                bool (*remembered)(), const char* setWhat, FeatureSet set) {
  usePrimaryDevice();
  if (!askDevice("Device", &primaryDevice)) return;
  deviceRequest(queryWhat, query, primaryDevice);
  waitForLastReply(1);
  const bool on = get_boolean(question, "OFF", "ON", remembered());
  if (inputEnded()) return;
  ACS_CALL(setWhat, set(acsHandle, invokeID, primaryDevice, on ? 1 : 0, nullptr));
}

bool rememberedDoNotDisturb() { return lastLineInfo.doNotDisturb != 0; }
bool rememberedMessageWaiting() { return defaultMWI; }

// Monitor requests waiting for their confirmation: the device each named
// ("" for a call monitor), by invoke ID. Requests the server never answers
// would pile up; the oldest go first.
std::map<InvokeID_t, std::string> pendingMonitors;
const std::size_t kMostPendingMonitors = 1024;

void rememberMonitor(InvokeID_t id, const char* device) {
  if (pendingMonitors.size() >= kMostPendingMonitors) pendingMonitors.erase(pendingMonitors.begin());
  pendingMonitors[id] = device;
}

bool monitorDevice(const char* device) {
  const InvokeID_t id = invokeID;
  rememberMonitor(id, device);
  const bool sent = ACS_CALL(
      "monitor device", cstaMonitorDevice(acsHandle, invokeID, device, &globalFilter, nullptr));
  if (!sent) pendingMonitors.erase(id);
  return sent;
}

void monitorCall(std::int32_t callID, const CSTAMonitorFilter_t* monitorFilter) {
  const ConnectionID_t call = connectionOf(callID, nullptr);
  const InvokeID_t id = invokeID;
  rememberMonitor(id, "");
  if (!ACS_CALL("monitor call",
                cstaMonitorCall(acsHandle, invokeID, &call, monitorFilter, nullptr)))
    pendingMonitors.erase(id);
}

// How many of each kind answered at the last bulk monitor: after a reopen
// they are asked again all at once.
int linesFound = 0;
int extensionsFound = 0;

// Monitors name1, name2, ... until one is refused or goes unanswered for 3
// seconds: the system has no more such devices. Each wait ends with its own
// answer, so a refusal costs no time. With `again`, the `*found` devices of
// the last time are asked first without waiting between them: a call that
// comes and goes on the last of them while the first are asked one by one
// would be missed.
void monitorAll(const char* format, int most, int* found, bool again) {
  int next = 1;
  if (again && *found > 0) {
    const int count = *found < most ? *found : most;
    std::vector<InvokeID_t> ids;
    ids.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
      char device[16];
      std::snprintf(device, sizeof device, format, i);
      const InvokeID_t id = invokeID;
      if (!monitorDevice(device)) break;
      ids.push_back(id);
    }
    // Answers come in the order asked: the last one's ends the wait.
    if (ids.empty() || !waitForReply(ids.back(), 3)) return;
    *found = 0;
    for (const InvokeID_t id : ids) {
      if (pendingMonitors.erase(id) != 0) return;  // refused: no more such devices
      ++*found;
    }
    next = *found + 1;
  } else {
    *found = 0;
  }
  for (int i = next; i <= most; ++i) {
    char device[16];
    std::snprintf(device, sizeof device, format, i);
    const InvokeID_t id = invokeID;
    if (!monitorDevice(device)) return;
    const bool answered = waitForReply(id, 3);
    // A confirmation has taken the request off the list; a failure has not.
    const bool confirmed = pendingMonitors.erase(id) == 0;
    if (!answered || !confirmed) return;
    *found = i;
  }
}

}  // namespace

bool takeMonitorRequest(InvokeID_t id, std::string* device) {
  auto found = pendingMonitors.find(id);
  if (found == pendingMonitors.end()) return false;
  if (device) *device = found->second;
  pendingMonitors.erase(found);
  return true;
}

void forgetMonitorRequests() {
  pendingMonitors.clear();
  monitorDictionary.clear();
  lastMonitorID = 0;
  linesFound = extensionsFound = 0;
}

// ---- snapshots -------------------------------------------------------------------------

void doSnapshots() {
  if (deviceFollows()) {
    doSnapDevice();
    return;
  }
  const char* names[sizeof callOrDeviceRows / sizeof callOrDeviceRows[0]];
  std::size_t n = 0;
  for (const CallOrDeviceRow* row = callOrDeviceRows; row->name; ++row) names[n++] = row->name;
  names[n] = nullptr;
  const int choice = get_list("Choose what to snapshot", "CURRENT_DEVICE", names, true);
  if (choice >= 0) callOrDeviceRows[choice].snapshot();
}

void doSnapDevice() {
  usePrimaryDevice();
  if (!askDevice("Device", &primaryDevice)) return;
  ACS_CALL("snapshot device", sendSnapshotDevice(primaryDevice));
}

void doSnapCurrentDevice() {
  if (is_blank(primaryDevice)) {
    complain("? No current device\n");
    return;
  }
  ACS_CALL("snapshot device", sendSnapshotDevice(primaryDevice));
}

void doSnapCall() {
  if (!askCallID("Call ID", &currentCall)) return;
  snapshotCall(currentCall);
}

void doSnapCurrentCall() {
  if (!currentCall) {
    complain("? No current call.\n");
    return;
  }
  snapshotCall(currentCall);
}

void doSnapshotActiveCall(std::int32_t callID) { snapshotCall(callID); }

void doQueryDeviceInfo() {
  usePrimaryDevice();
  if (!askDevice("Device", &primaryDevice)) return;
  deviceRequest("query device info", cstaQueryDeviceInfo, primaryDevice);
}

// ---- bulk reports -------------------------------------------------------------------------

// Whether the snapshot just sent was answered with a confirmation, polled
// for up to 3 seconds. A refusal, or no answer at all, means the switch has
// no such device, and so none after it.
bool snapshotConfirmed(long acks, long fails) {
  pollEventsNow();
  if (ackCount == acks && cstaFailCount != fails) return false;
  return doWatchTime(3, &ackCount, acks);
}

void doMultiLineReport(bool onTrunks) {
  long* count = onTrunks ? &trunkCount : &lineCount;
  const long answer = get_number(
      onTrunks ? "Number of trunks to report on" : "Number of lines to report on", *count);
  if (inputEnded()) return;
  *count = answer;

  // However large the count, the report ends with the devices the switch
  // has, and at once when the stream is gone.
  for (long i = 1; i <= answer; ++i) {
    char device[24];
    std::snprintf(device, sizeof device, onTrunks ? "L1#%ld" : "X1#%ld", i);
    const long acks = ackCount, fails = cstaFailCount;
    RetCode_t rc = sendSnapshotDevice(device);
    // A full queue drains while we pause (events are polled meanwhile).
    // The retry takes the invoke ID still unused: normally the same one, but
    // a request made by the event handling during the pause has used it.
    for (int pauses = 0;
         (rc == ACSERR_NOBUFFERS || rc == ACSERR_QUEUE_FULL) && pauses < REPORT_RETRY_PAUSES;
         ++pauses) {
      pauseNseconds(1);
      rc = sendSnapshotDevice(device);
    }
    if (!ACS_CALL("snapshot for report", rc) || acsStreamAborted) return;
    if (!snapshotConfirmed(acks, fails)) return;
  }
}

void doTrunkReport() { doMultiLineReport(true); }

void doLineReport() { doMultiLineReport(false); }

// ---- features ----------------------------------------------------------------------------

void doGetDoNotDisturb() {
  usePrimaryDevice();
  if (!askDevice("Device", &primaryDevice)) return;
  deviceRequest("query do not disturb", cstaQueryDoNotDisturb, primaryDevice);
}

void doSetDoNotDisturb() {
  setFeature("query do not disturb", cstaQueryDoNotDisturb, "Do not disturb",
             rememberedDoNotDisturb, "set do not disturb", cstaSetDoNotDisturb);
}

void doGetMessageWaiting() {
  usePrimaryDevice();
  if (!askDevice("Device", &primaryDevice)) return;
  deviceRequest("query message waiting", cstaQueryMsgWaitingInd, primaryDevice);
}

void doSetMessageWaiting() {
  setFeature("query message waiting", cstaQueryMsgWaitingInd, "Message waiting",
             rememberedMessageWaiting, "set message waiting", cstaSetMsgWaitingInd);
}

void doGetForwarding() {
  // Offered only when one was chosen: forwarding is looked up on purpose.
  if (!askDevice("Get forwarding for device", &primaryDevice)) return;
  deviceRequest("query forwarding", cstaQueryForwarding, primaryDevice ? primaryDevice : "");
}

// ---- monitors ------------------------------------------------------------------------------

void doMonitors() {
  if (deviceFollows()) {
    doMonitorDevice();
    return;
  }
  const std::size_t count = sizeof monitorRows / sizeof monitorRows[0];
  const char* names[count + 1];
  for (std::size_t i = 0; i < count; ++i) names[i] = monitorRows[i].name;
  names[count] = nullptr;
  const int choice = get_list("Choose what to Monitor", "DEVICE", names, true);
  if (choice >= 0) monitorRows[choice].start();
}

void doMonitorDevice() {
  usePrimaryDevice();
  if (!askDevice("Line", &primaryDevice)) return;
  monitorDevice(primaryDevice);
}

void doMonitorCall() {
  if (!currentCall) {
    complain("? No current call.\n");
    return;
  }
  if (!askCallID("Call ID", &currentCall)) return;
  monitorCall(currentCall, &globalFilter);
}

void doMonitorExtensions() { monitorAll("x1#%d", MAX_MONITORED_EXTENSIONS, &extensionsFound, false); }

void doMonitorLines() { monitorAll("L1#%d", MAX_MONITORED_LINES, &linesFound, false); }

void monitorLinesAgain() { monitorAll("L1#%d", MAX_MONITORED_LINES, &linesFound, true); }

void monitorExtensionsAgain() {
  monitorAll("x1#%d", MAX_MONITORED_EXTENSIONS, &extensionsFound, true);
}

void doEndMonitor() {
  usePrimaryDevice();
  if (!askDevice("Line", &primaryDevice)) return;
  CSTAMonitorCrossRefID_t crossRefID = 0;
  auto found = monitorDictionary.find(primaryDevice);
  if (found != monitorDictionary.end()) {
    crossRefID = found->second;
    std::printf("Found monitor %ld for device %s\n", static_cast<long>(crossRefID),
                primaryDevice);
    std::fflush(stdout);
    monitorDictionary.erase(found);
  } else {
    const long answer = get_number("Monitor on device not found, Monitor to end",
                                   static_cast<long>(lastMonitorID));
    if (inputEnded()) return;
    crossRefID = static_cast<CSTAMonitorCrossRefID_t>(answer);
  }
  ACS_CALL("monitor stop", cstaMonitorStop(acsHandle, invokeID, crossRefID, nullptr));
}

void startCallMonitor(std::int32_t callID, const char* deviceID) {
  if (!callLoggingEnabled || !callID) return;
  // Plays and records show up as calls of their own pseudo-devices.
  if (deviceID && (std::strcmp(deviceID, "Playing") == 0 ||
                   std::strcmp(deviceID, "Recording") == 0))
    return;
  monitorCall(callID, &filter);
}
