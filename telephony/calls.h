// Call-control commands of probix32: place, answer, hold, retrieve, consult,
// transfer, conference, deflect, clear and dial digits, and the settings that
// choose the current call and device. Each command asks for what it needs,
// offering the remembered value as default, and sends exactly one request;
// the results arrive as events.
#pragma once

#include <cstdint>

#include "csta32/include/csta32.h"

// ---- call context helpers (shared with the query commands) -------------------

// The current device, given its default ("201") first when none was chosen.
const char* usePrimaryDevice();
// The number last called, a copy of the current device until one is chosen.
const char* useCallee();

// A connection argument: the call, the device cut to 64 characters (empty
// when null), STATIC_ID.
ConnectionID_t connectionOf(std::int32_t callID, const char* device);

// Questions that keep their answer. Each asks with the variable's value as
// default and stores the answer; false when no answer can be had any more
// (end of input), and then the variable is left as it was.
bool askDevice(const char* prompt, char** variable);
bool askCallID(const char* prompt, std::int32_t* variable);  // hexadecimal
// True when the last question found no input left at all.
bool inputEnded();

// Prints a precondition's complaint to the console.
void complain(const char* message);

// ---- commands ----------------------------------------------------------------

void doMakeCall();           // MAKE_CALL
void doAnswerCall();         // ANSWER
void doHoldCall();           // HOLD
void doRetrieveCall();       // RETRIEVE
void doConsultationCall();   // CONSULTATION_CALL
void doTransferCall();       // TRANSFER
void doConferenceCall();     // CONFERENCE
void doDeflectCall();        // DEFLECT_CALL
void doDialDigits();         // DIAL_DIGITS
void doHangupCurrentCall();  // HANGUP CALL
void doHangupCurrentDevice();  // HANGUP CURRENT_DEVICE
void doHangupDevice();       // HANGUP DEVICE
void doHangupCall();         // HANGUP EXPLICIT_CALL
// HANGUP DEVICE (doCall false: asks for the device too) and EXPLICIT_CALL.
void commonHangup(bool doCall);
void doSetCurrentCall();     // SET CURRENT_CALL
void doSetCurrentDevice();   // SET DEVICE_DEFAULT
void doSetAreaCode();        // SET AREA_CODE_DEFAULT
