// The Telvanix private message: one fixed binary record carried as the TSAPI
// private data of an escape-service request, of its confirmation, and of a
// private-status event. probix32 and voxbridge both speak it; this header is
// all they share.
//
// The record is packed and little-endian: a 106-byte header, then one payload
// chosen by msgType. Its first 34 bytes are exactly the vendor and length of a
// PrivateData_t, so a record goes to cstaEscapeService as it is (asPrivateData).
// Both targets are x86, so fields are stored in host order and the record is
// used in place; a big-endian host would need converting accessors instead.
//
// The two clients differ only in how much payload room they send:
//   probix32   334-byte record, 228-byte payload area, length 299 (the
//              record's last byte is not carried)
//   voxbridge  308-byte record, 202-byte payload area, length 274
// TelvanixPrivateLayout takes the area and the length; TelvanixPrivateMessage
// and TelvanixPrivateVoxMessage are the two instances. A receiver always reads
// into the full 334-byte record (readPrivateMessage): whatever did not arrive
// reads as zero.
//
// Text fields are NUL-terminated when shorter than their width and carry no
// terminator when full: write them with putPrivateText and read them with
// getPrivateText, never with strcpy/strlen.
//
// Fields of a packed record are not aligned: copy them to a local before
// binding a reference (EXPECT_EQ, std::min, std::swap take references).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "csta32/include/csta32.h"

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "private messages are used in place and need a little-endian host");
#endif

// ---- message types and enumerations --------------------------------------------

enum privateMessageID : std::int16_t {
  kqPvtUnknown = 0,
  kqPvtStartPrivateStatus = 1,
  kqPvtStopPrivateStatus = 2,
  kqPvtPlay = 10,
  kqPvtPlayStarted = 11,
  kqPvtPlayStop = 12,
  kqPvtPlayEnded = 13,
  kqPvtPlayNextFile = 14,
  kqPvtRecord = 15,
  kqPvtRecordStarted = 16,
  kqPvtRecordStop = 17,
  kqPvtRecordEnded = 18,
  kqPvtRecordTillDTMF = 19,
  kqPvtGetDigits = 20,
  kqPvtStopGetDigits = 21,
  kqPvtDigitsSeen = 22,
  kqPvtPlayDigits = 23,
  kqPvtGetDialedDigits = 24,
  kqPvtReportDialedDigits = 25,
  kqPvtPlayTillDTMF = 26,
  kqPvtRequestSwrID = 30,
  kqPvtReportSwrID = 31,
  kqPvtRequestHdwrID = 32,
  kqPvtReportHdwrID = 33,
  kqPvtGetBoardsPresent = 34,
  kqPvtReportBoardsPresent = 35,
  kqPvtRequestDriverID = 36,
  kqPvtReportDriverID = 37,
  kqPvtGetStreamInfo = 38,
  kqPvtReportStreamInfo = 39,
  kqPvtGetTranslation = 50,
  kqPvtSetTranslation = 51,
  kqPvtReportTranslation = 52,
  kqPvtSetLineInfo = 53,
  kqPvtGetLineInfo = 54,
  kqPvtReportLineInfo = 55,
  kqPvtSetCTIctrl = 56,
  kqPvtGetCTIctrl = 57,
  kqPvtReportCTIctrl = 58,
  kqPvtEnableAdministration = 59,
  kqPvtSetAdminPassword = 60,
  kqPvtSetSystemInfo1 = 61,
  kqPvtGetSystemInfo = 62,
  kqPvtReportSystemInfo = 63,
  kqPvtRequestBroadcast = 64,
  kqPvtReportBroadcast = 65,
  kqPvtGetBoardOrder = 66,
  kqPvtSetBoardOrder = 67,
  kqPvtReportBoardOrder = 68,
  kqPvtSetLineUserInfo = 69,
  kqPvtGetStatusInfo = 70,
  kqPvtReportStatusInfo = 71,
  kqPvtConnectSound = 72,
  kqPvtDisconnectSound = 73,
  kqPvtGetSound = 74,
  kqPvtReportSound = 75,
  kqPvtRequestInterlock = 76,
  kqPvtReleaseInterlock = 77,
  kqPvtReportInterlock = 78,
  kqPvtMakeCTIcall = 79,
  kqPvtGetCallerIDinfo = 80,
  kqPvtReportCallerIDinfo = 81,
  kqPvtGetRawCallerID = 82,
  kqPvtReportRawCallerID = 83,
  kqPvtSetOperatorNumber = 84,
  kqPvtGetOperatorNumber = 85,
  kqPvtReportOperatorNumber = 86,
  kqPvtGetROMboardOrder = 87,
  kqPvtReportROMboardOrder = 88,
  kqPvtSetSystemInfo2 = 89,
  kqPvtGetSoftwareVersion = 90,
  kqPvtReportSoftwareVersion = 91,
  kqPvtGetSystemResources = 92,
  kqPvtGetBoardResources = 93,
  kqPvtReportSystemResources = 94,
  kqPvtReportBoardResources = 95,
  kqPvtSetSystemInfo = 96,
  kqPvtSetLineInfo1 = 97,
  kqPvtSetDSpanInfo = 98,
  kqPvtGetDSpanInfo = 99,
  kqPvtReportDSpanInfo = 100,
  kqPvtSetMoreLineInfo = 101,
  kqPvtGetMoreLineInfo = 102,
  kqPvtReportMoreLineInfo = 103,
  kqPvtSetDigitalTrunkFlags = 104,
  kqPvtGetCallInfo = 105,
  kqPvtReportCallInfo = 106,
  kqPvtGetParkInfo = 107,
  kqPvtParkCall = 108,
  kqPvtParkCallOccured = 109,
  kqPvtGetNextParkedCall = 110,
  kqPvtEnableMultiAttendant = 111,
  kqPvtDisableMultiAttendant = 112,
  kqPvtDummy0 = 32767
};

// Every enumeration has a fixed underlying type of its width on the wire, so
// any value a server sends is a valid value of the type.
enum lineStyle : std::uint8_t {
  kqPvtAnalogExt = 0,
  kqPvtAnalogTrunk = 1,
  kqPvtDigitalTrunk = 3
};

enum soundType : std::int16_t {
  kqPvtAudioQuiet = 0,
  kqPvtAudioStereo = 1,
  kqPvtContinuousDialToneSound = 2,
  kqPvtContinuousRingToneSound = 3,
  kqPvtContinuousAlertToneSound = 4,
  kqPvtContinuousBusyToneSound = 5,
  kqPvtDummy1 = 32767
};

enum PBXboardType : std::uint8_t {
  kqPvtBoardTypeUnknown = 0,
  kqPvtBoardTypeOrion = 1,
  kqPvtBoardTypeVega = 2,
  kqPvtBoardTypeLyra = 3,
  kqPvtBoardTypeDraco = 4
};

enum qxPvtDSmode : std::uint8_t { qxPvtDSmodeT1 = 0, qxPvtDSmodeE1 = 1 };

enum qxPvtDSframe : std::uint8_t { qxPvtDSframeSF = 0, qxPvtDSframeESF = 1 };

enum qxPvtDSlineSignal : std::uint8_t {
  qxPvtDSsigEandM = 0,
  qxPvtDSsigLoopStart = 1,
  qxPvtDSsigLoopStartRLCF = 2,
  qxPvtDSsigGndStart = 3,
  qxPvtDSsigGndStartRLCF = 4,
  qxPvtDSsigCustLcfRBat = 5,
  qxPvtDSsigNetLcfRBat = 6,
  qxPvtDSsigCIloopSuper = 7
};

enum qxPvtDSlineCode : std::uint8_t {
  qxPvtDSlineCodeNRZ = 0,
  qxPvtDSlineCodeNotUsed = 1,
  qxPvtDSlineCodeAMI = 2,
  qxPvtDSlineCodeB8ZS = 3
};

enum qxPvtDSlineStart : std::uint8_t {
  qxPvtDSstartIMM = 0,
  qxPvtDSstartDEL = 1,
  qxPvtDSstartVDEL = 2,
  qxPvtDSstartWINK = 3,
  qxPvtDSstartLOOP = 4,
  qxPvtDSstartGND = 5
};

enum qxPvtDSspanSignal : std::uint8_t { qxPvtDSspanSigCAS = 0, qxPvtDSspanSigPRI = 1 };

enum qxPvtDSconnect : std::uint8_t { qxPvtDSconnectNet = 0, qxPvtDSconnectPBX = 1 };

// ---- sizes ---------------------------------------------------------------------

constexpr std::size_t kPvtVendorSize = 32;
constexpr std::size_t kPvtWireHeaderSize = 34;  // vendor + length: the PrivateData_t header
constexpr std::size_t kPvtHeaderSize = 106;     // vendor, length, msgType, connection
constexpr std::size_t kPvtDeviceIDSize = 64;
constexpr std::size_t kPvtMaxDigits = 64;       // digits one DTMF record holds

constexpr std::size_t kPvtProbixPayloadArea = 228;
constexpr std::size_t kPvtProbixRecordSize = 334;
constexpr std::uint16_t kPvtProbixLength = 299;
constexpr std::size_t kPvtVoxPayloadArea = 202;
constexpr std::size_t kPvtVoxRecordSize = 308;
constexpr std::uint16_t kPvtVoxLength = 274;

// The vendor text every message carries and every receiver checks.
extern const char telvanixVendor[kPvtVendorSize];  // "Telvanix Version 1.0"

// ---- records -------------------------------------------------------------------

#pragma pack(push, 1)

struct PvtConnectionID {
  std::int32_t callID;
  char deviceID[kPvtDeviceIDSize];
  std::uint8_t devIDType;  // 0 in requests
  std::uint8_t dummy;
};

struct TelvanixPrivateHeader {
  char vendor[kPvtVendorSize];
  std::uint16_t length;  // bytes carried after this field
  privateMessageID msgType;
  PvtConnectionID connection;
};

// Play and record: requests, started and ended reports.
struct TelvanixPrivateFile {
  std::uint32_t position;  // start byte in requests, bytes done in reports
  char fileName[128];      // as the server sees it
  std::uint32_t invokeID;  // the requester's tag, echoed in the reports
  std::uint32_t count;     // bytes to play, 0 for all
};

struct TelvanixPrivateDTMF {
  std::int16_t count;  // wanted (-1 until stopped) in requests, present in reports
  std::int32_t clientID;
  char digits[kPvtMaxDigits];
  char lineOnly;
};

struct TelvanixPrivateText {
  char string[128];  // reports, passwords, operator numbers
};

struct TelvanixPrivateBroadcast {
  char name[16];
  char data[128];  // "VM ..." marks the call as a voice-mail call
};

struct TelvanixPrivateSerialNumber {
  std::uint32_t fabDate;
  std::uint32_t number;
};

struct TelvanixPrivateBoardList {
  TelvanixPrivateSerialNumber boardID[16];  // a pair of zeros is an empty slot
};

struct TelvanixPrivateStreamInfo {
  std::uint16_t streamID;
  std::uint32_t sessionID;
  char inUse;
  char privateStatusEnabled;
  char adminEnabled;
  std::uint16_t numberDeviceXrefs;
  std::uint16_t numberCallOnDeviceXrefs;
  std::uint16_t numberCallXrefs;
};

struct TelvanixPrivateXlate {
  std::uint16_t position;      // index in the translation table
  std::uint16_t numPositions;  // table size (reports)
  char pattern[64];
  char result[64];
};

struct TelvanixPrivateLineInfo {
  ::lineStyle lineStyle;
  std::uint8_t classOfService;
  std::uint8_t pickupGroup;
  char ifBusy[64];
  char ifNoAnswer[64];
  std::uint32_t noAnswerTime;  // tenths of a second
  std::uint8_t waitNrings;     // rings before the auto attendant
  char doNotDisturb;
  char callWaitingEnabled;
  char ifImmediate[64];
  char devicePhysName[10];
  char deviceXlateName[16];
};

struct TelvanixPrivateMoreLineInfo {
  ::lineStyle lineStyle;
  std::uint32_t digitalTrunkFlags;
  char devicePhysName[10];
};

struct TelvanixPrivateCTIinfo {
  std::uint32_t clientCTIctrl;  // a value the client attaches to a call
};

struct TelvanixPrivateCallInfo {
  std::uint32_t clientCTIctrl;
  std::uint32_t parkID;
  std::uint8_t numberLines;  // members of the call
};

struct TelvanixPrivateSystemInfo {
  std::uint8_t trunksForIncoming;
  soundType audioOnHold;
  char rotateTrunkUsage;
  std::uint8_t digitPlayTime;   // 40ths of a second
  std::uint8_t digitQuietTime;  // 40ths of a second
  std::uint16_t flashTimeout;   // tenths of a second
  char callerIDunavailable;
  std::uint16_t parkRingbackTime;  // tenths of a second
};

// Detector 5 sends DTMF, detector 6 is the call-progress detector.
struct TelvanixPrivateStatusInfo {
  std::uint16_t dtmfRequests;
  std::uint16_t dtmfGrants[32];
  std::uint16_t playRequests;
  std::uint16_t playGrants[16];
  std::uint16_t recordRequests;
  std::uint16_t recordGrants[16];
  std::uint8_t dtmfInUse;
  std::uint8_t playInUse;
  std::uint8_t recordInUse;
  std::uint8_t block;
};

struct TelvanixPrivateSound {
  soundType sound;
  std::uint8_t onTime;   // 25 ms units
  std::uint8_t offTime;  // 25 ms units
};

struct TelvanixPrivateInterlock {
  char wasTaken;
  std::uint32_t value;
};

struct TelvanixPrivateCallerIDinfo {
  char idFound;
  char idWasBlocked;
  char callingNumber[64];
  char callingName[64];
  char callTime[10];  // MMDDhhmm as received
  char isTrunk;
  char idOutArea;
  char devicePhysName[10];
  char deviceXlateName[64];
};

struct TelvanixPrivateResources {
  std::uint8_t boardID;
  std::uint8_t numberBoards;
  std::uint16_t totalExtensions;
  std::uint16_t totalTrunks;
  std::uint16_t totalAudioChannels;
  std::uint16_t totalDTMFdetectors;
  std::uint16_t analogTrunks;
  std::uint16_t dialToneDetectors;
  std::uint16_t progressDetectors;
  std::uint16_t digitalSpans;
  std::uint16_t digitalTrunks;
};

struct TelvanixPrivateVersion {
  std::uint8_t boardID;
  std::uint8_t numberBoards;
  PBXboardType boardType;
  char version[64];
};

struct TelvanixPrivateDSpanInfo {
  TelvanixPrivateSerialNumber serial;
  std::uint8_t bdIndex;
  qxPvtDSmode mode;
  qxPvtDSframe frame;
  qxPvtDSlineSignal lineSignal;
  qxPvtDSlineCode lineCode;
  qxPvtDSlineStart lineStart;
  qxPvtDSspanSignal spanSignal;
  qxPvtDSconnect connectType;
  char userSpecName[12];
  std::uint8_t expectedDIDdigits;
  std::uint8_t isConfigured;
};

// Stands in for a payload record that does not fit a layout's payload area,
// so that using it there does not compile.
struct TelvanixPrivateDoesNotFit {
  char unused;
};

template <class Record, std::size_t PayloadArea>
using PvtPayloadIfFits =
    std::conditional_t<(sizeof(Record) <= PayloadArea), Record, TelvanixPrivateDoesNotFit>;

// The record: header, then the payload chosen by msgType. `payload` is the
// whole payload area as bytes (raw caller ID uses its first 128 bytes as the
// line's data-link message). Aligned like PrivateData_t so that the record can
// be handed over as one.
template <std::size_t PayloadArea, std::uint16_t SentLength>
struct alignas(2) TelvanixPrivateLayout {
  static constexpr std::size_t kPayloadArea = PayloadArea;
  static constexpr std::uint16_t kSentLength = SentLength;

  TelvanixPrivateHeader header;
  union {
    TelvanixPrivateFile file;
    TelvanixPrivateDTMF digits;
    TelvanixPrivateText textReport;
    TelvanixPrivateBroadcast broadcast;
    TelvanixPrivateBoardList boards;
    TelvanixPrivateStreamInfo streamInfo;
    TelvanixPrivateXlate xlate;
    PvtPayloadIfFits<TelvanixPrivateLineInfo, PayloadArea> lineInfo;
    TelvanixPrivateMoreLineInfo moreLineInfo;
    TelvanixPrivateCTIinfo CTIinfo;
    TelvanixPrivateCallInfo callInfo;
    TelvanixPrivateSystemInfo sysInfo;
    TelvanixPrivateStatusInfo status;
    TelvanixPrivateSound sound;
    TelvanixPrivateInterlock interlock;
    PvtPayloadIfFits<TelvanixPrivateCallerIDinfo, PayloadArea> callerID;
    unsigned char rawCallerID[128];
    TelvanixPrivateResources resources;
    TelvanixPrivateVersion version;
    TelvanixPrivateDSpanInfo DSpan;
    unsigned char payload[PayloadArea];
  };
};

#pragma pack(pop)

typedef TelvanixPrivateLayout<kPvtProbixPayloadArea, kPvtProbixLength> TelvanixPrivateMessage;
typedef TelvanixPrivateLayout<kPvtVoxPayloadArea, kPvtVoxLength> TelvanixPrivateVoxMessage;

// ---- layout checks -------------------------------------------------------------

#define PVT_AT(type, field, offset) \
  static_assert(offsetof(type, field) == (offset), #type "." #field " offset")
#define PVT_SIZE(type, size) static_assert(sizeof(type) == (size), #type " size")

PVT_SIZE(PvtConnectionID, 70);
PVT_AT(PvtConnectionID, callID, 0);
PVT_AT(PvtConnectionID, deviceID, 4);
PVT_AT(PvtConnectionID, devIDType, 68);
PVT_AT(PvtConnectionID, dummy, 69);

PVT_SIZE(TelvanixPrivateHeader, kPvtHeaderSize);
PVT_AT(TelvanixPrivateHeader, vendor, 0);
PVT_AT(TelvanixPrivateHeader, length, 32);
PVT_AT(TelvanixPrivateHeader, msgType, 34);
PVT_AT(TelvanixPrivateHeader, connection, 36);
PVT_AT(TelvanixPrivateHeader, connection.callID, 36);
PVT_AT(TelvanixPrivateHeader, connection.deviceID, 40);
PVT_AT(TelvanixPrivateHeader, connection.devIDType, 104);
PVT_AT(TelvanixPrivateHeader, connection.dummy, 105);
static_assert(offsetof(TelvanixPrivateHeader, length) == offsetof(PrivateData_t, length),
              "length shared with PrivateData_t");
static_assert(offsetof(TelvanixPrivateHeader, msgType) == PRIVATE_DATA_HEADER,
              "msgType is the first byte of PrivateData_t data");

PVT_SIZE(TelvanixPrivateFile, 140);
PVT_AT(TelvanixPrivateFile, position, 0);
PVT_AT(TelvanixPrivateFile, fileName, 4);
PVT_AT(TelvanixPrivateFile, invokeID, 132);
PVT_AT(TelvanixPrivateFile, count, 136);

PVT_SIZE(TelvanixPrivateDTMF, 71);
PVT_AT(TelvanixPrivateDTMF, count, 0);
PVT_AT(TelvanixPrivateDTMF, clientID, 2);
PVT_AT(TelvanixPrivateDTMF, digits, 6);
PVT_AT(TelvanixPrivateDTMF, lineOnly, 70);

PVT_SIZE(TelvanixPrivateText, 128);

PVT_SIZE(TelvanixPrivateBroadcast, 144);
PVT_AT(TelvanixPrivateBroadcast, name, 0);
PVT_AT(TelvanixPrivateBroadcast, data, 16);

PVT_SIZE(TelvanixPrivateSerialNumber, 8);
PVT_AT(TelvanixPrivateSerialNumber, fabDate, 0);
PVT_AT(TelvanixPrivateSerialNumber, number, 4);

PVT_SIZE(TelvanixPrivateBoardList, 128);

PVT_SIZE(TelvanixPrivateStreamInfo, 15);
PVT_AT(TelvanixPrivateStreamInfo, streamID, 0);
PVT_AT(TelvanixPrivateStreamInfo, sessionID, 2);
PVT_AT(TelvanixPrivateStreamInfo, inUse, 6);
PVT_AT(TelvanixPrivateStreamInfo, privateStatusEnabled, 7);
PVT_AT(TelvanixPrivateStreamInfo, adminEnabled, 8);
PVT_AT(TelvanixPrivateStreamInfo, numberDeviceXrefs, 9);
PVT_AT(TelvanixPrivateStreamInfo, numberCallOnDeviceXrefs, 11);
PVT_AT(TelvanixPrivateStreamInfo, numberCallXrefs, 13);

PVT_SIZE(TelvanixPrivateXlate, 132);
PVT_AT(TelvanixPrivateXlate, position, 0);
PVT_AT(TelvanixPrivateXlate, numPositions, 2);
PVT_AT(TelvanixPrivateXlate, pattern, 4);
PVT_AT(TelvanixPrivateXlate, result, 68);

PVT_SIZE(TelvanixPrivateLineInfo, 228);
PVT_AT(TelvanixPrivateLineInfo, lineStyle, 0);
PVT_AT(TelvanixPrivateLineInfo, classOfService, 1);
PVT_AT(TelvanixPrivateLineInfo, pickupGroup, 2);
PVT_AT(TelvanixPrivateLineInfo, ifBusy, 3);
PVT_AT(TelvanixPrivateLineInfo, ifNoAnswer, 67);
PVT_AT(TelvanixPrivateLineInfo, noAnswerTime, 131);
PVT_AT(TelvanixPrivateLineInfo, waitNrings, 135);
PVT_AT(TelvanixPrivateLineInfo, doNotDisturb, 136);
PVT_AT(TelvanixPrivateLineInfo, callWaitingEnabled, 137);
PVT_AT(TelvanixPrivateLineInfo, ifImmediate, 138);
PVT_AT(TelvanixPrivateLineInfo, devicePhysName, 202);
PVT_AT(TelvanixPrivateLineInfo, deviceXlateName, 212);

PVT_SIZE(TelvanixPrivateMoreLineInfo, 15);
PVT_AT(TelvanixPrivateMoreLineInfo, lineStyle, 0);
PVT_AT(TelvanixPrivateMoreLineInfo, digitalTrunkFlags, 1);
PVT_AT(TelvanixPrivateMoreLineInfo, devicePhysName, 5);

PVT_SIZE(TelvanixPrivateCTIinfo, 4);

PVT_SIZE(TelvanixPrivateCallInfo, 9);
PVT_AT(TelvanixPrivateCallInfo, clientCTIctrl, 0);
PVT_AT(TelvanixPrivateCallInfo, parkID, 4);
PVT_AT(TelvanixPrivateCallInfo, numberLines, 8);

PVT_SIZE(TelvanixPrivateSystemInfo, 11);
PVT_AT(TelvanixPrivateSystemInfo, trunksForIncoming, 0);
PVT_AT(TelvanixPrivateSystemInfo, audioOnHold, 1);
PVT_AT(TelvanixPrivateSystemInfo, rotateTrunkUsage, 3);
PVT_AT(TelvanixPrivateSystemInfo, digitPlayTime, 4);
PVT_AT(TelvanixPrivateSystemInfo, digitQuietTime, 5);
PVT_AT(TelvanixPrivateSystemInfo, flashTimeout, 6);
PVT_AT(TelvanixPrivateSystemInfo, callerIDunavailable, 8);
PVT_AT(TelvanixPrivateSystemInfo, parkRingbackTime, 9);

PVT_SIZE(TelvanixPrivateStatusInfo, 138);
PVT_AT(TelvanixPrivateStatusInfo, dtmfRequests, 0);
PVT_AT(TelvanixPrivateStatusInfo, dtmfGrants, 2);
PVT_AT(TelvanixPrivateStatusInfo, playRequests, 66);
PVT_AT(TelvanixPrivateStatusInfo, playGrants, 68);
PVT_AT(TelvanixPrivateStatusInfo, recordRequests, 100);
PVT_AT(TelvanixPrivateStatusInfo, recordGrants, 102);
PVT_AT(TelvanixPrivateStatusInfo, dtmfInUse, 134);
PVT_AT(TelvanixPrivateStatusInfo, playInUse, 135);
PVT_AT(TelvanixPrivateStatusInfo, recordInUse, 136);
PVT_AT(TelvanixPrivateStatusInfo, block, 137);

PVT_SIZE(TelvanixPrivateSound, 4);
PVT_AT(TelvanixPrivateSound, sound, 0);
PVT_AT(TelvanixPrivateSound, onTime, 2);
PVT_AT(TelvanixPrivateSound, offTime, 3);

PVT_SIZE(TelvanixPrivateInterlock, 5);
PVT_AT(TelvanixPrivateInterlock, wasTaken, 0);
PVT_AT(TelvanixPrivateInterlock, value, 1);

PVT_SIZE(TelvanixPrivateCallerIDinfo, 216);
PVT_AT(TelvanixPrivateCallerIDinfo, idFound, 0);
PVT_AT(TelvanixPrivateCallerIDinfo, idWasBlocked, 1);
PVT_AT(TelvanixPrivateCallerIDinfo, callingNumber, 2);
PVT_AT(TelvanixPrivateCallerIDinfo, callingName, 66);
PVT_AT(TelvanixPrivateCallerIDinfo, callTime, 130);
PVT_AT(TelvanixPrivateCallerIDinfo, isTrunk, 140);
PVT_AT(TelvanixPrivateCallerIDinfo, idOutArea, 141);
PVT_AT(TelvanixPrivateCallerIDinfo, devicePhysName, 142);
PVT_AT(TelvanixPrivateCallerIDinfo, deviceXlateName, 152);

PVT_SIZE(TelvanixPrivateResources, 20);
PVT_AT(TelvanixPrivateResources, boardID, 0);
PVT_AT(TelvanixPrivateResources, numberBoards, 1);
PVT_AT(TelvanixPrivateResources, totalExtensions, 2);
PVT_AT(TelvanixPrivateResources, totalTrunks, 4);
PVT_AT(TelvanixPrivateResources, totalAudioChannels, 6);
PVT_AT(TelvanixPrivateResources, totalDTMFdetectors, 8);
PVT_AT(TelvanixPrivateResources, analogTrunks, 10);
PVT_AT(TelvanixPrivateResources, dialToneDetectors, 12);
PVT_AT(TelvanixPrivateResources, progressDetectors, 14);
PVT_AT(TelvanixPrivateResources, digitalSpans, 16);
PVT_AT(TelvanixPrivateResources, digitalTrunks, 18);

PVT_SIZE(TelvanixPrivateVersion, 67);
PVT_AT(TelvanixPrivateVersion, boardID, 0);
PVT_AT(TelvanixPrivateVersion, numberBoards, 1);
PVT_AT(TelvanixPrivateVersion, boardType, 2);
PVT_AT(TelvanixPrivateVersion, version, 3);

PVT_SIZE(TelvanixPrivateDSpanInfo, 30);
PVT_AT(TelvanixPrivateDSpanInfo, serial, 0);
PVT_AT(TelvanixPrivateDSpanInfo, bdIndex, 8);
PVT_AT(TelvanixPrivateDSpanInfo, mode, 9);
PVT_AT(TelvanixPrivateDSpanInfo, frame, 10);
PVT_AT(TelvanixPrivateDSpanInfo, lineSignal, 11);
PVT_AT(TelvanixPrivateDSpanInfo, lineCode, 12);
PVT_AT(TelvanixPrivateDSpanInfo, lineStart, 13);
PVT_AT(TelvanixPrivateDSpanInfo, spanSignal, 14);
PVT_AT(TelvanixPrivateDSpanInfo, connectType, 15);
PVT_AT(TelvanixPrivateDSpanInfo, userSpecName, 16);
PVT_AT(TelvanixPrivateDSpanInfo, expectedDIDdigits, 28);
PVT_AT(TelvanixPrivateDSpanInfo, isConfigured, 29);

PVT_SIZE(TelvanixPrivateMessage, kPvtProbixRecordSize);
PVT_AT(TelvanixPrivateMessage, header, 0);
PVT_AT(TelvanixPrivateMessage, file, kPvtHeaderSize);
PVT_AT(TelvanixPrivateMessage, lineInfo, kPvtHeaderSize);
PVT_AT(TelvanixPrivateMessage, callerID, kPvtHeaderSize);
PVT_AT(TelvanixPrivateMessage, DSpan, kPvtHeaderSize);
PVT_AT(TelvanixPrivateMessage, payload, kPvtHeaderSize);
static_assert(std::is_same<decltype(TelvanixPrivateMessage::lineInfo), TelvanixPrivateLineInfo>::value &&
                  std::is_same<decltype(TelvanixPrivateMessage::callerID),
                               TelvanixPrivateCallerIDinfo>::value,
              "probix32's record holds every payload");
static_assert(kPvtProbixLength == kPvtProbixRecordSize - kPvtWireHeaderSize - 1,
              "probix32 does not carry its record's last byte");

PVT_SIZE(TelvanixPrivateVoxMessage, kPvtVoxRecordSize);
PVT_AT(TelvanixPrivateVoxMessage, file, kPvtHeaderSize);
PVT_AT(TelvanixPrivateVoxMessage, payload, kPvtHeaderSize);
static_assert(kPvtVoxLength == kPvtVoxRecordSize - kPvtWireHeaderSize,
              "voxbridge carries its whole record");

static_assert(alignof(TelvanixPrivateMessage) >= alignof(PrivateData_t) &&
                  alignof(TelvanixPrivateVoxMessage) >= alignof(PrivateData_t),
              "a record can be handed over as PrivateData_t");

#undef PVT_AT
#undef PVT_SIZE

// ---- text fields ---------------------------------------------------------------

// Writes `text` into a field of `width` bytes: cut to the width (no
// terminator then), NUL-padded otherwise. A null text clears the field.
void putPrivateText(char* field, std::size_t width, const char* text);
template <std::size_t N>
inline void putPrivateText(char (&field)[N], const char* text) {
  putPrivateText(field, N, text);
}

// Reads a field of `width` bytes: up to its first NUL, never past the width.
std::string getPrivateText(const char* field, std::size_t width);
template <std::size_t N>
inline std::string getPrivateText(const char (&field)[N]) {
  return getPrivateText(field, N);
}

// ---- building ------------------------------------------------------------------

// Fills a header: vendor, `length`, `msgType`, call and device (at most 64
// characters, empty when null), devIDType and dummy 0. The caller has cleared
// the record.
void fillPrivateHeader(TelvanixPrivateHeader* header, std::uint16_t length,
                       privateMessageID msgType, std::int32_t callID, const char* deviceID);

// Clears the whole record and fills its header with the layout's own length.
template <std::size_t A, std::uint16_t L>
inline void buildPrivateMessage(TelvanixPrivateLayout<A, L>* message, privateMessageID msgType,
                                std::int32_t callID, const char* deviceID) {
  std::memset(static_cast<void*>(message), 0, sizeof *message);
  fillPrivateHeader(&message->header, L, msgType, callID, deviceID);
}

// The record as TSAPI private data, for cstaEscapeService.
template <std::size_t A, std::uint16_t L>
inline const PrivateData_t* asPrivateData(const TelvanixPrivateLayout<A, L>* message) {
  return reinterpret_cast<const PrivateData_t*>(message);
}

// A play-digits request's digits record: the first 64 digits at most, count
// as carried, clientID 1, lineOnly 1. Returns the count.
int fillPlayDigits(TelvanixPrivateDTMF* record, const char* digits);

// ---- receiving -----------------------------------------------------------------

// True when a vendor field (32 bytes, terminator optional) names the Telvanix
// format: same text without regard to case; trailing blanks on either side do
// not count.
bool isTelvanixVendor(const char* vendor);

// Reads a received message from the `count` bytes at `bytes` (vendor first)
// into the full record `out`: nothing is read past `count`, nor past what the
// message's own length field says was carried; every byte not read is 0.
// True when at least msgType began to arrive and the vendor is Telvanix; a
// false result still leaves `out` filled as far as it could be.
bool readPrivateBytes(const void* bytes, std::size_t count, TelvanixPrivateMessage* out);

// The same for an event's private data held in a buffer with room for
// `dataCapacity` data bytes (the `length` that was set before the read): a
// `length` beyond that room is not trusted. A null `data` gives false and a
// cleared record.
bool readPrivateMessage(const PrivateData_t* data, std::size_t dataCapacity,
                        TelvanixPrivateMessage* out);

// Digits a received DTMF record really holds: its count limited to 0..64.
int privateDigitsPresent(const TelvanixPrivateDTMF* record);
