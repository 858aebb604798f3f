// SMDR call logging: the call-log device (a file, appended to, or a serial
// port with its line settings), the commands that open, close and choose it,
// the serial-port error reports, and the writer that sends each finished
// call's record to the device.
#pragma once

#include <cstddef>
#include <string>

#include "calllog/callinfo.h"
#include "platform/platform.h"

// Settings of call logging (profile section "SMDR" in unattended mode).
// The call log is open: the one place that says so. It stays open while
// its device fails (hFile may then be invalid), and the record writer
// installed in CallInfo writes only while it is.
extern char callLoggingEnabled;
extern char autoLogSMDR;         // unattended: settings from the profile, no prompts
extern plat_handle hFile;        // the open call-log device
extern char logToSerialPort;     // 1
extern int serialPortNumber;     // 1..4
extern long baudRate;            // 9600
extern char parityChar;          // 'n'
extern char dataBits;            // 8
extern char stopBits;            // 1
extern PBXtype pbxType;          // PBXtypeTelvanix
// "TELVANIX", "ATT_DEFINITY", "MITEL_SX2000", "MIVB_STANDARD",
// "CM_UNFORMATTED", then null: PBXtype 1 to 5 in order.
extern const char* const pbxNames[];

// Records that could not be written (full disk, unplugged or stalled port).
extern long lostCallRecords;
// Records the call-log device took.
extern long writtenCallRecords;
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
// The mode text for setCommBaud, named by the port's COMn form whatever
// form was typed ("COM2:", "\\.\COM2"), else by the name as it stands.
void smdrModeText(char* mode, std::size_t size, const char* port, long baud, char parity,
                  int data, int stop);
// The line end a port still owes after `sent` bytes of (owed + record) went
// out: none once all went, the rest of `owed` if the record was not begun,
// else the record's own line end, so the next record starts a line.
std::string smdrOwedLineEnd(const std::string& record, const std::string& owed,
                            std::size_t sent, bool whole);
// Applies line settings to a port (closing the call log when it cannot).
void setCommBaud(const char* port, long baud, char parity, int data, int stop);
// One message per error bit.
void reportCommError(unsigned long errors);
// Puts every setting back to its start value, closing the log and stopping
// the TCP outputs (tests).
void resetCallLogging();

// SMDR over TCP beside the device (profile keys ServePort, PushTo and
// QueueRecords; read in unattended mode when the log opens).
void doSetSMDRServePort();    // SET SMDR_SERVE_PORT
void doClearSMDRServePort();  // CLEAR SMDR_SERVE_PORT
void doSetSMDRPushTo();       // SET SMDR_PUSH_TO
void doClearSMDRPushTo();     // CLEAR SMDR_PUSH_TO
// The device, records written and lost, each TCP output (REPORT STATUS).
void doReportCallLogStatus();
// Closes the call-log device and opens it again by the same name (after a
// hang-up signal, so that a rotated log file starts afresh). Nothing when
// call logging is off.
void callLogReopen();
