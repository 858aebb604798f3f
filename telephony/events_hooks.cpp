// Where event handling reaches into the call-logging room and the monitor
// commands.
#include "telephony/events.h"

#include <cstring>

#include "calllog/callinfo.h"
#include "telephony/query.h"
#include "telephony/stream.h"

namespace {

// A device of an event as text; an empty one counts as absent.
struct CallLogDevice {
  char text[sizeof(DeviceID_t) + 1];
  explicit CallLogDevice(const ExtendedDeviceID_t* device) {
    text[0] = '\0';
    if (!device) return;
    std::memcpy(text, device->deviceID, sizeof(DeviceID_t));
    text[sizeof(DeviceID_t)] = '\0';
  }
  const char* get() const { return text[0] ? text : nullptr; }
};

// The line a call came in on: an outside caller without a number shows as
// the line itself; else the line's own monitor reports the call, unless that
// is the line an outgoing call leaves on.
bool noteLine(const CallLogArgs& args, bool tracked) {
  const CallLogDevice calling(args.calling), party(args.party);
  const bool outgoing = args.step == CALLLOG_NET_REACHED;
  if (!outgoing) CallInfo::arrivedOn(args.callID, calling.get());
  const char* via = args.via;
  if (outgoing && via &&
      ((args.device && std::strcmp(via, args.device) == 0) ||
       (party.get() && std::strcmp(via, party.get()) == 0)))
    via = nullptr;
  CallInfo::arrivedOn(args.callID, via);
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

}  // namespace

bool hookCallLog(const CallLogArgs& args) {
  const CallLogDevice calling(args.calling), called(args.called), party(args.party);
  const char* device = args.device && args.device[0] ? args.device : nullptr;
  const long id = args.callID;
  if (args.newCall) CallInfo::newCallAnnounced(id);
  switch (args.step) {
    case CALLLOG_INITIATED: return CallInfo::initiated(id, device);
    case CALLLOG_ORIGINATED: return CallInfo::originated(id, calling.get(), called.get());
    case CALLLOG_ALERTING:
      return noteLine(args, CallInfo::alerting(id, calling.get(), called.get(), party.get()));
    case CALLLOG_ANSWERED:
      return noteLine(args, CallInfo::answered(id, calling.get(), called.get(), party.get()));
    case CALLLOG_DIVERTED: return noteLine(args, CallInfo::diverted(id, party.get()));
    case CALLLOG_NET_REACHED:
      return noteLine(args, CallInfo::netReached(id, device, called.get(), party.get()));
    case CALLLOG_HELD: CallInfo::held(id); return true;
    case CALLLOG_RETRIEVED: CallInfo::retrieved(id); return true;
    case CALLLOG_TRANSFERRED:
      CallInfo::transferred(id, args.oldCalls[0], args.oldCalls[1]);
      return true;
    case CALLLOG_CONFERENCED:
      CallInfo::conferenced(id, args.oldCalls[0], args.oldCalls[1]);
      return true;
    case CALLLOG_ENDED: return CallInfo::ended(id, true);
    case CALLLOG_VOICEMAIL: return CallInfo::voicemailCall(id);
    case CALLLOG_SNAPSHOTED:
      CallInfo::snapshotShows(id, args.devices, args.deviceCount, true, args.answered, false);
      CallInfo::callSnapshoted(id);
      return true;
    case CALLLOG_INITIALIZE_SNAPSHOT: CallInfo::initializeSnapshot(); return true;
    case CALLLOG_POLL_NEXT_SNAPSHOT: return CallInfo::pollNextSnapshot(requestCallSnapshot);
    case CALLLOG_LINK_LOST: CallInfo::linkLost(); return true;
    case CALLLOG_LINK_BACK: CallInfo::linkBack(); return true;
    case CALLLOG_POLL_RECOVERY: return CallInfo::pollRecovery(requestCallCheck);
    case CALLLOG_GONE: return CallInfo::endedDuringOutage(id);
    case CALLLOG_FOUND: {
      const char* devices[] = {device};
      // Found calls are followed by the device's monitor, as every call on it.
      return CallInfo::snapshotShows(id, devices, device ? 1 : 0, false, false, true);
    }
  }
  return true;
}

void hookStartCallMonitor(std::int32_t callID, const char* device) {
  startCallMonitor(callID, device);
}
void hookMonitorLines() { doMonitorLines(); }
void hookMonitorExtensions() { doMonitorExtensions(); }
