// Where event handling reaches into the call-logging room and the monitor
// commands.
#include "telephony/events.h"

#include <cstring>

#include "calllog/callinfo.h"
#include "telephony/query.h"

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

}  // namespace

bool hookCallLog(const CallLogArgs& args) {
  const CallLogDevice calling(args.calling), called(args.called), party(args.party);
  const char* device = args.device && args.device[0] ? args.device : nullptr;
  const long id = args.callID;
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
    case CALLLOG_SNAPSHOTED: CallInfo::callSnapshoted(id); return true;
    case CALLLOG_INITIALIZE_SNAPSHOT: CallInfo::initializeSnapshot(); return true;
    case CALLLOG_POLL_NEXT_SNAPSHOT: return CallInfo::pollNextSnapshot(requestCallSnapshot);
  }
  return true;
}

void hookStartCallMonitor(std::int32_t callID, const char* device) {
  startCallMonitor(callID, device);
}
void hookMonitorLines() { doMonitorLines(); }
void hookMonitorExtensions() { doMonitorExtensions(); }
