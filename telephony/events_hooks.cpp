// Where event handling reaches into other rooms. The hooks whose rooms are
// not built yet (call logging) do nothing; the others forward.
#include "telephony/events.h"

#include "telephony/query.h"

bool hookCallLog(const CallLogArgs& args) {
  // Without call logging no call is tracked, and a polling round is always
  // complete; "tracked" keeps the dispatcher from monitoring every call.
  (void)args;
  return true;
}

void hookStartCallMonitor(std::int32_t callID, const char* device) {
  startCallMonitor(callID, device);
}
void hookMonitorLines() { doMonitorLines(); }
void hookMonitorExtensions() { doMonitorExtensions(); }
