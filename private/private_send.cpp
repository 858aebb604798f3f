#include "private/private_send.h"

#include "telephony/stream.h"

bool sendPrivateMessage(const TelvanixPrivateMessage* message, const char* tag) {
  return ACS_CALL(tag, cstaEscapeService(acsHandle, invokeID, asPrivateData(message)));
}

bool setPrivateReporting(bool on) {
  const TelvanixPrivateMessage* message =
      setupPrivateMessage(on ? kqPvtStartPrivateStatus : kqPvtStopPrivateStatus, 0, nullptr);
  return sendPrivateMessage(message, "set/clear private reporting");
}
