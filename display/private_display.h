// The private message display: the text form of the server's private
// messages, which arrive in ESCAPE_SVC_CONF confirmations and PRIVATE_STATUS
// events. The event formatter hands each one over here.
//
// Lines start with the caller's prefix; payload fields stand from column
// P = indent + 16 on. The formatters marked "ends its line" write their own
// last line end; after the others o_privateRecord ends the line.
#pragma once

#include <cstdint>

#include "csta32/include/csta32.h"
#include "private/telvanix_private.h"

// Writes the private message carried by `message` (its own lines, each
// starting with `prefix`, payload fields from column `indent` on). A null
// message, or one of another vendor, writes nothing.
void o_privateMessage(const PrivateData_t* message, const char* prefix, int indent);
// The same for a message already read into a whole record.
void o_privateRecord(const TelvanixPrivateMessage* message, const char* prefix, int indent);

// The enumerator name of a message type, or "?%d?".
const char* getPrivateTypeName(int msgType);

// The server's firmware, read from the driver version of the stream-open
// confirmation (" %d.%d-%d"); some records have more fields on later ones.
struct FirmwareVersion {
  std::uint16_t fwMajor;
  std::uint16_t fwMinor;
  std::uint16_t fwEdit;
};
FirmwareVersion o_getFirmwareVersion();
// Scans at most `size` characters of `text` (no terminator needed). Fields
// that are missing become 0; values are held to 0..65535.
void o_storeFirmwareVersion(const char* text, int size);
// The firmware compared as (major, minor, edit) in that order.
bool firmwareNewerThan(int major, int minor, int edit);
bool firmwareAtLeast(int major, int minor);

void o_privateFile(const TelvanixPrivateFile* file, int column, bool separated);
void o_boardList(const TelvanixPrivateBoardList* boards, const char* prefix, int indent);  // ends its line
void o_streamInfo(const TelvanixPrivateStreamInfo* info, int column);
void o_lineInfo(const TelvanixPrivateLineInfo* info, const char* prefix, int indent);  // ends its line
void o_moreLineInfo(const TelvanixPrivateMoreLineInfo* info, const char* prefix, int indent);  // ends its line
void o_callInfo(const TelvanixPrivateCallInfo* info, int indent);
void o_systemInfo(const TelvanixPrivateSystemInfo* info, const char* prefix, int indent);  // ends its line
void o_statusInfo(const TelvanixPrivateStatusInfo* info, const char* prefix, int indent);
void o_privateResources(const TelvanixPrivateResources* res, const char* prefix, int indent);  // ends its line
void o_privateVersion(const TelvanixPrivateVersion* version, int indent);
void o_DSpanInfo(const TelvanixPrivateDSpanInfo* span, const char* prefix, int indent);  // ends its line
void o_callerIDinfo(const TelvanixPrivateCallerIDinfo* info, const char* prefix, int indent);  // ends its line
void o_callerIDtime(const char* callTime, std::size_t width);
// The first 128 payload bytes: the line's caller-ID data-link message.
void o_rawCallerID(const unsigned char* raw, const char* prefix, int indent);

const char* getDSmodeName(int value);
const char* getDSframeName(int value);
const char* getDSlineSignalingName(int value);
const char* getDSlineCodingName(int value);
const char* getDSlineStartName(int value);
const char* getDSsignalingMode(int value);
const char* getDSconnectName(int value);

// The play-ended time that "Since end:" counts from (tests start again at 0).
void o_resetPlayEndedTime();
