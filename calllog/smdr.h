// SMDR call logging: the call-log device (a file, appended to, or a serial
// port with its line settings), the commands that open, close and choose it,
// the serial-port error reports, and the writer that sends each finished
// call's record to the device.
#pragma once

#include "calllog/callinfo.h"
#include "platform/platform.h"

// Settings of call logging (profile section "SMDR" in unattended mode).
extern char callLoggingEnabled;  // the call log is open
extern char autoLogSMDR;         // unattended: settings from the profile, no prompts
extern plat_handle hFile;        // the open call-log device
extern char logToSerialPort;     // 1
extern int serialPortNumber;     // 1..4
extern long baudRate;            // 9600
extern char parityChar;          // 'n'
extern char dataBits;            // 8
extern char stopBits;            // 1
extern PBXtype pbxType;          // PBXtypeTelvanix
// "TELVANIX", "ATT_DEFINITY", "MITEL_SX2000", then null.
extern const char* const pbxNames[];

// Records that could not be written (full disk, unplugged or stalled port).
extern long lostCallRecords;
// A record write to a serial port gives up after this long (after a
// failure, a tenth of a second until a write gets through again).
#define SMDR_WRITE_TIMEOUT_MS 5000

// Closes the call log and, when `open`, opens it again: from the profile in
// unattended mode, else by asking. Harmless when nothing is open.
void doSetCallLogging(bool open);
void doSetSMDRLogging();    // SET SMDR_LOGGING
void doClearSMDRLogging();  // CLEAR SMDR_LOGGING, EXIT and exit clean-up
void doSetCommPort();       // PORT
void doSetPBXtype();        // SET PBX_TYPE
void doReportCommPortErrors();  // REPORT COMM_PORT_ERRORS
// Applies line settings to a port (closing the call log when it cannot).
void setCommBaud(const char* port, long baud, char parity, int data, int stop);
// One message per error bit.
void reportCommError(unsigned long errors);
// Puts every setting back to its start value, closing the log (tests).
void resetCallLogging();
// Closes the call-log device and opens it again by the same name (after a
// hang-up signal, so that a rotated log file starts afresh). Nothing when
// call logging is off.
void callLogReopen();
