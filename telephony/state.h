// Call, event and snapshot state of probix32. The telephony rooms keep it up
// to date as requests go out and events come in; the shell's reports and
// start-up read and reset it.
#pragma once

#include <cstdint>

#include "private/telvanix_private.h"

// Call context. Owned strings come from alloc_str and go back with errfree;
// null means "not chosen yet" (commands then fall back to the defaults).
extern std::int32_t currentCall;  // call that call-control commands act on
extern std::int32_t heldCall;     // call last put on hold
extern char* primaryDevice;       // current device (line)
extern char* heldDeviceString;    // device of the held call
extern char* mkCallee;            // number last called
extern char* primarySpan;         // current digital span
extern char* digitsToPlay;        // digits last dialled
extern char* playFilename;        // file of the last play or record
extern const char* const defaultDeviceString;  // "201"
extern const char* const defaultSpanString;    // "D1#1"

// Event handling switches.
extern bool autoEvents;         // poll for events while the shell is idle
extern bool userSetAutoEvents;  // autoEvents was chosen by command, not by profile
extern bool eventReports;       // write each event as it arrives

// Snapshot confirmations counted by the event dispatcher.
extern long callSnapshots;
extern long deviceSnapshots;

// Best and worst rates of the continuous-snapshot load test.
extern float maxSnapsPerSecond;
extern float minSnapsPerSecond;
extern float maxEventsPerSecond;
extern float minEventsPerSecond;

// Puts the four rates back to their starting values (0 and 1000000).
void resetPerSecondHistory();

// ---- kept by the stream and the event loop ------------------------------------

// Unattended logging also monitors the extensions ("SMDR"/"MonitorExt").
extern bool SMDRmonitorExt;
// Firmware version named in the profile ("SMDR"/"FirmwareVersion"); the
// dispatcher compares it with the server's to read TRANSFERRED events.
extern int configFirmwareMajor;
extern int configFirmwareMinor;
// The server's firmware version, from the driver version at stream open.
extern std::uint16_t firmwareMajor;
extern std::uint16_t firmwareMinor;
extern std::uint16_t firmwareEdit;

// Stop a play as soon as digits are seen (SET/CLEAR STOP_PLAY_AUTOMATICALLY).
extern bool autoStopPlay;
// Plays still to start after the current one ends (MULTIPLE_PLAYS).
extern int playCount;

// The last private replies, kept as they arrived so that later commands can
// offer them as defaults.
extern TelvanixPrivateLineInfo lastLineInfo;
extern TelvanixPrivateMoreLineInfo lastMoreLineInfo;
extern TelvanixPrivateDSpanInfo lastDSpanInfo;
extern TelvanixPrivateSystemInfo lastSystemInfo;
extern TelvanixPrivateXlate lastTranslationInfo;
extern TelvanixPrivateBoardList defaultBoardOrder;
extern unsigned lastResourcesBoards;       // from the system resources report
extern std::uint32_t lastParkID;          // from the last call information report
extern bool defaultMWI;                   // last message-waiting state queried

