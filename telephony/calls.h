// Call-control commands of probix32: place, answer, hold, retrieve, consult,
// transfer, conference, deflect, clear and dial digits, and the settings that
// choose the current call and device. Each command asks for what it needs,
// offering the remembered value as default, and sends exactly one request;
// the results arrive as events. The questions they ask are in ask.h.
#pragma once

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
