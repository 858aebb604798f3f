// probix32's private commands: the server's line, span, system, board,
// translation, operator, caller-ID, CTI, park, voice and DTMF functions, each
// sent as one private message through the request routine. Replies arrive
// as events; the dispatcher hands each private report to this room, which
// keeps the last ones as defaults for the changing commands and drives the
// repeated plays and the automatic stop.
#pragma once

#include <cstdint>

#include "private/telvanix_private.h"

// ---- sending ------------------------------------------------------------------

// Messages are built and sent through the stream's send buffer (stream.h).

// Start (on) or stop (off) private-status reports on this stream.
bool setPrivateReporting(bool on);
// Sends the play (till DTMF when PLAY_UNTILL_DTMF is set) of playFilename
// from playPosition on currentCall and the current device.
void startFilePlay();

// ---- what the dispatcher hands over ----------------------------------------------

// A reply (ESCAPE_SVC_CONF) and a report (PRIVATE_STATUS), already read and
// checked for the Telvanix vendor.
void privateReplyArrived(const TelvanixPrivateMessage& message);
void privateReportArrived(const TelvanixPrivateMessage& message);

// ---- settings of the commands ------------------------------------------------------

extern long clientCTIinfo;     // CTI value of the last CTI call; 1
extern long ctiValue;          // CTI value last placed on a call; 1
extern long playPosition;      // starting point of plays; 0
extern long timesToPlay;       // repeat count of MULTIPLE_PLAYS; 3
extern bool stopPlayOnDTMF;    // plays end on a digit; on
extern bool stopRecordOnDTMF;  // recordings end on a digit; on
extern long xlatePosition;     // translation-table index; 0
extern long streamCount;       // streams GET STREAM_INFO asks about; 64
// The invoke ID of the last play sent: only its ended report counts
// towards a repeat.
extern std::uint32_t lastPlayInvokeID;
// Back to the starting values (tests).
void resetPrivateCommands();

// ---- commands ---------------------------------------------------------------------

void doGetBoardsPresent();   // GET ALL_BOARDS_PRESENT
void doGetBoardStatus();     // GET BOARD_STATUS
void doGetCallerIDinfo();    // GET CALLERID_INFO
void doGetCTIinfo();         // GET CTI_INFO
void doGetDialedDigits();    // GET DIALED_DIGITS
void doListenDTMF();         // GET DIGITS, LISTEN
void doGetLineInfo();        // GET LINE_INFO, INFO
void doGetNextParkInfo();    // GET NEXT_PARK_INFO
void doGetOperatorNumber();  // GET OPERATOR_NUMBER
void doGetBoardOrder();      // GET ORDER_OF_BOARDS
void doGetParkInfo();        // GET PARK_INFO
void doGetRawCallerID();     // GET RAW_CALLERID_INFO
void doGetResources();       // GET RESOURCES
void doGetRomBoardOrder();   // GET ROM_ORDER_OF_BOARDS
void doGetSpanInfo();        // GET SPAN_INFO
void doGetStreamInfo();      // GET STREAM_INFO
void doGetSystemInfo();      // GET SYSTEM_INFO
void doGetTranslation();     // GET TRANSLATION
void doGetBoardVersions();   // GET VERSIONS
void doSetCTIinfo();         // SET CTI_INFO
void doSetLineInfo();        // SET LINE_INFO
void doSetMoreLineInfo();    // SET MORE_LINE_INFO
void doSetMultiAttendent(bool on);
void doSetMultiAttendentOn();   // SET MULTI_FILE_AUTOATTENDENT
void doSetMultiAttendentOff();  // CLEAR MULTI_FILE_AUTOATTENDENT
void doSetOperatorNumber();  // SET OPERATOR_NUMBER
void doSetBoardOrder();      // SET ORDER_OF_BOARDS
void doSetSpanInfo();        // SET SPAN_INFO
void doSetSystemInfo();      // SET SYSTEM_INFO
void doSetTranslation();     // SET TRANSLATION
void doSetPlayTillDTMF();    // SET PLAY_UNTILL_DTMF
void doClearPlayTillDTMF();  // CLEAR PLAY_UNTILL_DTMF
void doMakeCTIcall();        // CTI_CALL
void doParkCall();           // PARK
void doPassword();           // PASSWORD
void doPlayFile();           // PLAY
void doMultiplePlay();       // MULTIPLE_PLAYS
void doRecordFile();         // RECORD
void doStopPlay();           // STOP PLAY
void doStopRecord();         // STOP RECORD
void doDir();                // DIRECTORY
