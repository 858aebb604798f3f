#include "telephony/calls.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "private/telvanix_private.h"
#include "telephony/ask.h"
#include "telephony/state.h"
#include "telephony/stream.h"

namespace {

const char kNoCurrentCall[] = "? No current call.\n";

// TRANSFER and CONFERENCE have always worded it so; scripts may look for it.
const char kNoCurrentCallShort[] = "No Current Call\n";

void replaceText(char** variable, const char* text) {
  char* copy = alloc_str(text);
  errfree(*variable);
  *variable = copy;
}

bool haveCurrentCall() {
  if (currentCall) return true;
  complain(kNoCurrentCall);
  return false;
}

// ---- the requests --------------------------------------------------------------

RetCode_t sendConnectionRequest(const ConnectionID_t& call,
                                RetCode_t (*request)(ACSHandle_t, InvokeID_t,
                                                     const ConnectionID_t*,
                                                     const PrivateData_t*)) {
  return request(acsHandle, invokeID, &call, nullptr);
}

RetCode_t sendTwoCallRequest(const ConnectionID_t& held, const ConnectionID_t& active,
                             RetCode_t (*request)(ACSHandle_t, InvokeID_t, const ConnectionID_t*,
                                                  const ConnectionID_t*, const PrivateData_t*)) {
  return request(acsHandle, invokeID, &held, &active, nullptr);
}

RetCode_t sendCallToDevice(const ConnectionID_t& call, const char* called,
                           RetCode_t (*request)(ACSHandle_t, InvokeID_t, const ConnectionID_t*,
                                                const char*, const PrivateData_t*)) {
  return request(acsHandle, invokeID, &call, called, nullptr);
}

void clearCall(std::int32_t callID) {
  ACS_CALL("clear call", sendConnectionRequest(connectionOf(callID, nullptr), cstaClearCall));
}

void clearConnection(std::int32_t callID, const char* device) {
  ACS_CALL("clear connection",
           sendConnectionRequest(connectionOf(callID, device), cstaClearConnection));
}

// The digits (at most 64) as a play-digits message for the current call on
// the current device.
void sendPlayDigits(const char* digits) {
  TelvanixPrivateMessage* message =
      setupPrivateMessage(kqPvtPlayDigits, currentCall, usePrimaryDevice());
  fillPlayDigits(&message->digits, digits);
  sendPrivateMessage(message, "play digits");
}

}  // namespace

// ---- commands --------------------------------------------------------------------

void doMakeCall() {
  usePrimaryDevice();
  if (!askDevice("Caller", &primaryDevice)) return;
  useCallee();
  if (!askDevice("Callee", &mkCallee)) return;
  ACS_CALL("make a call", cstaMakeCall(acsHandle, invokeID, primaryDevice, mkCallee, nullptr));
}

void doAnswerCall() {
  if (!haveCurrentCall()) return;
  usePrimaryDevice();
  if (!askDevice("Call on line", &primaryDevice)) return;
  ACS_CALL("answer a call",
           sendConnectionRequest(connectionOf(currentCall, primaryDevice), cstaAnswerCall));
}

void doHoldCall() {
  if (!haveCurrentCall()) return;
  usePrimaryDevice();
  if (!askDevice("Call on line", &primaryDevice)) return;
  replaceText(&heldDeviceString, primaryDevice);
  heldCall = currentCall;
  const ConnectionID_t call = connectionOf(currentCall, primaryDevice);
  ACS_CALL("hold a call", cstaHoldCall(acsHandle, invokeID, &call, 0, nullptr));
}

void doRetrieveCall() {
  if (!heldCall && !currentCall) {
    complain("? No held call.\n");
    return;
  }
  std::int32_t call = heldCall ? heldCall : currentCall;
  if (!askCallID("Held call ID", &call)) return;
  heldCall = call;
  usePrimaryDevice();
  if (!askDevice("On line", &primaryDevice)) return;
  heldCall = 0;
  ACS_CALL("retrieve a call",
           sendConnectionRequest(connectionOf(call, primaryDevice), cstaRetrieveCall));
}

void doConsultationCall() {
  if (!haveCurrentCall()) return;
  usePrimaryDevice();
  if (!askDevice("Call on line", &primaryDevice)) return;
  useCallee();
  if (!askDevice("Callee", &mkCallee)) return;
  replaceText(&heldDeviceString, primaryDevice);
  heldCall = currentCall;
  ACS_CALL("consultation call",
           sendCallToDevice(connectionOf(currentCall, primaryDevice), mkCallee,
                            cstaConsultationCall));
}

void doTransferCall() {
  if (!currentCall) {
    complain(kNoCurrentCallShort);
    return;
  }
  if (!askDevice("Device ID", &heldDeviceString)) return;
  if (!askCallID("Held Call ID", &heldCall)) return;
  if (!askCallID("Active Call ID", &currentCall)) return;
  ACS_CALL("Transfer a call",
           sendTwoCallRequest(connectionOf(heldCall, heldDeviceString),
                              connectionOf(currentCall, usePrimaryDevice()), cstaTransferCall));
}

void doConferenceCall() {
  if (!currentCall) {
    complain(kNoCurrentCallShort);
    return;
  }
  usePrimaryDevice();
  if (!askDevice("Device ID", &primaryDevice)) return;
  if (!askCallID("Held Call ID", &heldCall)) return;
  if (!askCallID("Active Call ID", &currentCall)) return;
  ACS_CALL("Conference a call",
           sendTwoCallRequest(connectionOf(heldCall, primaryDevice),
                              connectionOf(currentCall, primaryDevice), cstaConferenceCall));
}

void doDeflectCall() {
  if (!haveCurrentCall()) return;
  usePrimaryDevice();
  if (!askDevice("Send call on line", &primaryDevice)) return;
  useCallee();
  if (!askDevice("send to", &mkCallee)) return;
  ACS_CALL("deflect a call",
           sendCallToDevice(connectionOf(currentCall, primaryDevice), mkCallee, cstaDeflectCall));
}

void doDialDigits() {
  if (!haveCurrentCall()) return;
  char* answer = get_line("Digits to dial", digitsToPlay, false);
  if (inputEnded()) {
    errfree(answer);
    return;
  }
  if (*answer) {
    errfree(digitsToPlay);
    digitsToPlay = answer;
  } else {
    errfree(answer);
  }
  if (!digitsToPlay || !*digitsToPlay) return;
  sendPlayDigits(digitsToPlay);
}

void doHangupCurrentCall() {
  if (!haveCurrentCall()) return;
  clearCall(currentCall);
}

void doHangupCurrentDevice() {
  if (is_blank(primaryDevice)) {
    complain("? No current device\n");
    return;
  }
  if (!haveCurrentCall()) return;
  clearConnection(currentCall, primaryDevice);
}

void commonHangup(bool doCall) {
  if (!doCall) {
    usePrimaryDevice();
    if (!askDevice("Device", &primaryDevice)) return;
  }
  if (!askCallID("Call ID", &currentCall)) return;
  if (doCall)
    clearCall(currentCall);
  else
    clearConnection(currentCall, primaryDevice);
}

void doHangupDevice() { commonHangup(false); }

void doHangupCall() { commonHangup(true); }

void doSetCurrentCall() { askCallID("Call ID", &currentCall); }

void doSetCurrentDevice() {
  usePrimaryDevice();
  askDevice("Device ID", &primaryDevice);
}

void doSetAreaCode() {
  char* answer = get_areaCode("Default Area Code", areaCode);
  if (inputEnded()) {
    errfree(answer);
    return;
  }
  errfree(areaCode);
  areaCode = answer;
}
