// Where event handling reaches into other rooms. The hooks whose rooms are
// not built yet (call logging, file play) do nothing; the others forward.
#include "telephony/events.h"

#include "private/private_send.h"
#include "private/telvanix_private.h"
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
void hookSetPrivateReporting(bool on) { setPrivateReporting(on); }
void hookStartFilePlay() {}
void hookClearPrivateMessage() { clearPrivateScratchHeader(); }
