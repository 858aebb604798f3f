#include "display/private_display.h"

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "display/lines.h"
#include "display/names.h"
#include "display/stamps.h"

namespace {

FirmwareVersion firmware = {0, 0, 0};

// Skips blanks and reads an optionally signed decimal number, as %d does,
// held to 0..65535. False when there are no digits.
bool scanNumber(const char*& p, const char* end, std::uint16_t& value) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) p++;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    p++;
  }
  if (p >= end || *p < '0' || *p > '9') return false;
  long n = 0;
  while (p < end && *p >= '0' && *p <= '9') {
    if (n < 65535) n = n * 10 + (*p - '0');
    p++;
  }
  if (negative) n = 0;
  value = static_cast<std::uint16_t>(n > 65535 ? 65535 : n);
  return true;
}

// When the last play-ended report was stamped (milliseconds of the stamps).
std::int32_t playEndedTime = 0;

template <std::size_t N>
std::string text(const char (&field)[N]) {
  return getPrivateText(field);
}

// Every text of a message came from the server.
void o_text(const std::string& s, int column, bool separated) {
  o_serverText(s.c_str(), s.size(), column, separated);
}

void o_unsigned(std::uint32_t value, int column, bool separated) {
  o_lprintf(column, separated, "%lu", static_cast<unsigned long>(value));
}

void o_serial(const TelvanixPrivateSerialNumber& s, int column) {
  o_lprintf(column, true, "%06lu%04lu", static_cast<unsigned long>(s.fabDate),
            static_cast<unsigned long>(s.number));
}

const char* named(const char* const* names, int count, int value) {
  return value >= 0 && value < count ? names[value] : "Unknown";
}

// One kind of channel of the status record: its requests and use, then the
// channels granted at least once.
void statusBlock(const char* prefix, int indent, const char* requests, std::uint16_t requestCount,
                 const char* inUse, std::uint8_t inUseCount, const char* label,
                 const std::uint16_t* grants, int count, bool dtmf) {
  o_nextLine(prefix, true);
  o_lstring(requests, indent, true);
  o_unsigned(requestCount, 0, true);
  o_lstring(inUse, 0, true);
  o_unsigned(inUseCount, 0, true);
  for (int i = 0; i < count; ++i) {
    const std::uint16_t g = grants[i];
    if (g == 0) continue;
    o_nextLine(prefix, true);
    o_lstring(label, indent + 4, true);
    o_rnumber(i, indent + 12, true, 10);
    o_lstring("grants", 0, true);
    o_rnumber(g, indent + 24, true, 10);
    if (dtmf && i == 5) o_lstring("SEND_DTMF", indent + 32, true);
    if (dtmf && i == 6) o_lstring("PROGRESS_DTMF", indent + 32, true);
  }
}

// Up to `max` characters of raw bytes, stopping at a NUL.
std::string rawText(const unsigned char* p, int available, int max) {
  std::string s;
  for (int i = 0; i < available && i < max && p[i] != 0; ++i) s += static_cast<char>(p[i]);
  return s;
}

}  // namespace

// ---- names ------------------------------------------------------------------------

const char* getPrivateTypeName(int msgType) {
  static const char* const low[] = {
      "kqPvtUnknown", "kqPvtStartPrivateStatus", "kqPvtStopPrivateStatus", nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, nullptr, "kqPvtPlay", "kqPvtPlayStarted", "kqPvtPlayStop",
      "kqPvtPlayEnded", "kqPvtPlayNextFile", "kqPvtRecord", "kqPvtRecordStarted", "kqPvtRecordStop",
      "kqPvtRecordEnded", nullptr, "kqPvtGetDigits", "kqPvtStopGetDigits", "kqPvtDigitsSeen",
      "kqPvtPlayDigits", "kqPvtGetDialedDigits", "kqPvtReportDialedDigits", nullptr, nullptr, nullptr,
      nullptr, "kqPvtRequestSwrID", "kqPvtReportSwrID", "kqPvtRequestHdwrID", "kqPvtReportHdwrID",
      "kqPvtGetBoardsPresent", "kqPvtReportBoardsPresent", "kqPvtRequestDriverID",
      "kqPvtReportDriverID", "kqPvtGetStreamInfo", "kqPvtReportStreamInfo"};
  static const char* const high[] = {
      "kqPvtGetTranslation", "kqPvtSetTranslation", "kqPvtReportTranslation", "kqPvtSetLineInfo",
      "kqPvtGetLineInfo", "kqPvtReportLineInfo", "kqPvtSetCTIctrl", "kqPvtGetCTIctrl",
      "kqPvtReportCTIctrl", "kqPvtEnableAdministration", "kqPvtSetAdminPassword",
      "kqPvtSetSystemInfo1", "kqPvtGetSystemInfo", "kqPvtReportSystemInfo", "kqPvtRequestBroadcast",
      "kqPvtReportBroadcast", "kqPvtGetBoardOrder", "kqPvtSetBoardOrder", "kqPvtReportBoardOrder",
      "kqPvtSetLineUserInfo", "kqPvtGetStatusInfo", "kqPvtReportStatusInfo", "kqPvtConnectSound",
      "kqPvtDisconnectSound", "kqPvtGetSound", "kqPvtReportSound", "kqPvtRequestInterlock",
      "kqPvtReleaseInterlock", "kqPvtReportInterlock", "kqPvtMakeCTIcall", "kqPvtGetCallerIDinfo",
      "kqPvtReportCallerIDinfo", "kqPvtGetRawCallerID", "kqPvtReportRawCallerID",
      "kqPvtSetOperatorNumber", "kqPvtGetOperatorNumber", "kqPvtReportOperatorNumber",
      "kqPvtGetROMboardOrder", "kqPvtReportROMboardOrder", "kqPvtSetSystemInfo2",
      "kqPvtGetSoftwareVersion", "kqPvtReportSoftwareVersion", "kqPvtGetSystemResources",
      "kqPvtGetBoardResources", "kqPvtReportSystemResources", "kqPvtReportBoardResources",
      "kqPvtSetSystemInfo", "kqPvtSetLineInfo1", "kqPvtSetDSpanInfo", "kqPvtGetDSpanInfo",
      "kqPvtReportDSpanInfo", "kqPvtSetMoreLineInfo", "kqPvtGetMoreLineInfo",
      "kqPvtReportMoreLineInfo", "kqPvtSetDigitalTrunkFlags", "kqPvtGetCallInfo",
      "kqPvtReportCallInfo", "kqPvtGetParkInfo", "kqPvtParkCall", "kqPvtParkCallOccured"};
  static_assert(sizeof low / sizeof low[0] == 40, "types 0 to 39");
  static_assert(sizeof high / sizeof high[0] == 60, "types 50 to 109");
  const char* name = nullptr;
  if (msgType >= 0 && msgType < 40) name = low[msgType];
  else if (msgType >= 50 && msgType < 110) name = high[msgType - 50];
  if (name) return name;
  static char unknown[24];
  std::snprintf(unknown, sizeof unknown, "?%d?", msgType);
  return unknown;
}

const char* getDSmodeName(int v) {
  static const char* const n[] = {"T1", "E1"};
  return named(n, 2, v);
}
const char* getDSframeName(int v) {
  static const char* const n[] = {"SF", "ESF"};
  return named(n, 2, v);
}
const char* getDSlineSignalingName(int v) {
  static const char* const n[] = {"EandM",        "LoopStart",   "LoopStartRLCF", "GndStart",
                                  "GndStartRLCF", "CustLcfRBat", "NetLcfRBat",    "CIloopSuper"};
  return named(n, 8, v);
}
const char* getDSlineCodingName(int v) {
  static const char* const n[] = {"NRZ", "NotUsed", "AMI", "B8ZS"};
  return named(n, 4, v);
}
const char* getDSlineStartName(int v) {
  static const char* const n[] = {"Immediate", "Delay", "DelayVerify", "WinkStart", "LoopStart", "GroundStart"};
  return named(n, 6, v);
}
const char* getDSsignalingMode(int v) {
  static const char* const n[] = {"CAS(BitRobbed)", "PRI"};
  return named(n, 2, v);
}
const char* getDSconnectName(int v) {
  static const char* const n[] = {"ConnectNet", "ConnectPBX"};
  return named(n, 2, v);
}

// ---- server firmware ------------------------------------------------------------------

FirmwareVersion o_getFirmwareVersion() { return firmware; }

void o_storeFirmwareVersion(const char* versionText, int size) {
  FirmwareVersion found = {0, 0, 0};
  if (versionText && size > 0) {
    const char* p = versionText;
    const char* end = p;
    while (end < versionText + size && *end) end++;
    // Same reading as " %d.%d-%d": stop at the first thing that does not fit.
    if (scanNumber(p, end, found.fwMajor) && p < end && *p++ == '.' &&
        scanNumber(p, end, found.fwMinor) && p < end && *p++ == '-')
      scanNumber(p, end, found.fwEdit);
  }
  firmware = found;
}

bool firmwareNewerThan(int major, int minor, int edit) {
  const FirmwareVersion f = o_getFirmwareVersion();
  if (f.fwMajor != major) return f.fwMajor > major;
  if (f.fwMinor != minor) return f.fwMinor > minor;
  return f.fwEdit > edit;
}

bool firmwareAtLeast(int major, int minor) {
  const FirmwareVersion f = o_getFirmwareVersion();
  return f.fwMajor != major ? f.fwMajor > major : f.fwMinor >= minor;
}

void o_resetPlayEndedTime() { playEndedTime = 0; }

// ---- formatters ----------------------------------------------------------------------

void o_privateFile(const TelvanixPrivateFile* file, int column, bool separated) {
  o_text(text(file->fileName), column, separated);
  o_lprintf(0, false, "@%lu", static_cast<unsigned long>(file->position));
  o_invokeIDdelta(file->invokeID, 0, true);
  o_lstring("Id:", 0, true);
  o_invokeID(file->invokeID, 0, true);
}

void o_boardList(const TelvanixPrivateBoardList* boards, const char* prefix, int indent) {
  for (int i = 0; i < 16; ++i) {
    const TelvanixPrivateSerialNumber s = boards->boardID[i];
    if (s.fabDate == 0 && s.number == 0) continue;
    o_nextLine(prefix, true);
    o_lstring("Board", indent, true);
    o_lnumber(i, 0, true, 10);
    o_serial(s, indent + 10);
  }
  o_newline(0);
}

void o_streamInfo(const TelvanixPrivateStreamInfo* info, int column) {
  o_lstring("Strm:", column, false);
  o_unsigned(info->streamID, 0, true);
  o_lstring("SessionID:", 0, true);
  o_lprintf(0, true, "%lX", static_cast<unsigned long>(info->sessionID));
  if (!info->inUse) o_lstring("UNUSED", 0, true);
  if (!info->privateStatusEnabled) o_lstring("PVT", 0, true);
  if (!info->adminEnabled) o_lstring("ADMIN", 0, true);
  o_lstring("Dev:", 0, true);
  o_unsigned(info->numberDeviceXrefs, 0, true);
  o_lstring("call:", 0, true);
  o_unsigned(info->numberCallXrefs, 0, true);
  o_lstring("callOn:", 0, true);
  o_unsigned(info->numberCallOnDeviceXrefs, 0, true);
}

void o_lineInfo(const TelvanixPrivateLineInfo* info, const char* prefix, int indent) {
  const int p = indent + 16;
  o_lstring(getLineStyleName(info->lineStyle), p, true);
  o_lstring("Class", 0, true);
  o_unsigned(info->classOfService, 0, true);
  o_lstring("Pickup group", 0, true);
  o_unsigned(info->pickupGroup, 0, true);
  if (info->doNotDisturb) o_lstring("DND", 0, true);
  if (info->callWaitingEnabled) o_lstring("Call waiting ON", 0, true);
  o_nextLine(prefix, true);
  o_lstring("No answer time", p, true);
  o_fixed_number(static_cast<long>(info->noAnswerTime), 0, true, 10, 1);
  o_lstring("Seconds", 0, true);
  o_unsigned(info->waitNrings, 0, true);
  const struct {
    const char* label;
    std::string number;
  } forwards[] = {{"If Busy:", text(info->ifBusy)},
                  {"If no answer:", text(info->ifNoAnswer)},
                  {"Immediate:", text(info->ifImmediate)}};
  for (const auto& f : forwards) {
    if (f.number.empty()) continue;
    o_nextLine(prefix, true);
    o_lstring(f.label, p, true);
    o_text(f.number, 0, true);
  }
  if (firmwareNewerThan(2, 2, 230)) {
    const std::string phys = text(info->devicePhysName), xlate = text(info->deviceXlateName);
    if (!phys.empty()) {
      o_nextLine(prefix, true);
      o_lstring("Physical deviceID:", p, true);
      o_text(phys, 0, true);
    }
    if (!xlate.empty()) {
      o_nextLine(prefix, true);
      o_lstring("Xlation table deviceID:", p, true);
      o_text(xlate, 0, true);
    }
  }
  o_newline(0);
}

void o_moreLineInfo(const TelvanixPrivateMoreLineInfo* info, const char* prefix, int indent) {
  (void)prefix;
  const int p = indent + 16;
  o_lstring(getLineStyleName(info->lineStyle), p, true);
  const std::string phys = text(info->devicePhysName);
  if (!phys.empty()) {
    o_lstring("Phys:", p, true);
    o_text(phys, 0, true);
  }
  o_lstring("DTrunk Flags: 0x", 0, true);
  o_lprintf(0, false, "%lX", static_cast<unsigned long>(info->digitalTrunkFlags));
  o_newline(0);
}

void o_callInfo(const TelvanixPrivateCallInfo* info, int indent) {
  o_unsigned(info->numberLines, indent + 16, true);
  o_lstring("members", 0, true);
  if (info->clientCTIctrl != 0) {
    o_lstring("CTI:", 0, true);
    o_unsigned(info->clientCTIctrl, 0, true);
  }
  if (info->parkID != 0) {
    o_lstring("Park:", 0, true);
    o_unsigned(info->parkID, 0, true);
  }
}

void o_systemInfo(const TelvanixPrivateSystemInfo* info, const char* prefix, int indent) {
  const int p = indent + 16;
  o_lstring("Trunks for incomming calls", p, false);
  o_unsigned(info->trunksForIncoming, 0, true);
  o_nextLine(prefix, true);
  o_lstring("Type of hold audio:", p, true);
  o_lstring(getSoundIDname(static_cast<std::uint16_t>(info->audioOnHold)), 0, true);
  o_nextLine(prefix, true);
  o_lstring("Rotate trunk usage:", p, true);
  o_lstring(info->rotateTrunkUsage ? "ON" : "OFF", 0, true);
  o_nextLine(prefix, true);
  o_lstring("Digit play time:", p, true);
  o_unsigned(info->digitPlayTime, 0, true);
  o_nextLine(prefix, true);
  o_lstring("Digit quiet time:", p, true);
  o_unsigned(info->digitQuietTime, 0, true);
  o_newline(0);
  if (firmwareNewerThan(2, 2, 230)) {
    o_lstring(prefix, 0, false);
    o_lstring("Flash timeout:", p, true);
    o_unsigned(info->flashTimeout, 0, true);
    o_newline(0);
  }
  if (firmwareNewerThan(2, 7, 508)) {
    o_lstring(prefix, 0, false);
    o_lstring("CallerID:", p, true);
    o_lstring(info->callerIDunavailable ? "DISABLED" : "ENABLED", 0, true);
    o_newline(0);
  }
  if (firmwareAtLeast(2, 8)) {
    o_lstring(prefix, 0, false);
    o_lstring("Park ringback time (tenths):", p, true);
    o_unsigned(info->parkRingbackTime, 0, true);
    o_newline(0);
  }
}

void o_statusInfo(const TelvanixPrivateStatusInfo* info, const char* prefix, int indent) {
  o_lstring("Status Info for block:", indent, true);
  o_unsigned(info->block, 0, true);
  statusBlock(prefix, indent, "DTMF requests", info->dtmfRequests, "DTMFs now in use", info->dtmfInUse,
              "DTMF", info->dtmfGrants, 32, true);
  statusBlock(prefix, indent, "Record requests", info->recordRequests, "Record channels now in use",
              info->recordInUse, "Chanl", info->recordGrants, 16, false);
  statusBlock(prefix, indent, "Play requests", info->playRequests, "Play channels now in use",
              info->playInUse, "Chanl", info->playGrants, 16, false);
}

void o_privateResources(const TelvanixPrivateResources* res, const char* prefix, int indent) {
  const int p = indent + 16;
  o_lstring("Board", p, false);
  o_unsigned(res->boardID, 0, true);
  o_lstring("Number boards", 0, true);
  o_unsigned(res->numberBoards, 0, true);
  const struct {
    const char* label;
    std::uint16_t value;
    bool newLine;
  } items[] = {{"Extns", res->totalExtensions, true},
               {"Trunks", res->totalTrunks, false},
               {"AudioChannels", res->totalAudioChannels, false},
               {"DTMFdetectors", res->totalDTMFdetectors, false},
               {"analogTrunks", res->analogTrunks, true},
               {"dialToneDetectors", res->dialToneDetectors, false},
               {"progressDetectors", res->progressDetectors, false},
               {"digitalSpans", res->digitalSpans, true},
               {"digitalTrunks", res->digitalTrunks, false}};
  for (const auto& item : items) {
    if (item.newLine) o_nextLine(prefix, true);
    o_lstring(item.label, item.newLine ? p : 0, true);
    o_unsigned(item.value, 0, true);
  }
  o_newline(0);
}

void o_privateVersion(const TelvanixPrivateVersion* version, int indent) {
  o_unsigned(version->numberBoards, indent + 16, true);
  o_lstring("Boards  Board:", 0, true);
  o_unsigned(version->boardID, 0, true);
  o_lstring("Type", 0, true);
  o_lstring(getBoardTypeName(version->boardType), 0, true);
  o_text(text(version->version), 0, true);
}

void o_DSpanInfo(const TelvanixPrivateDSpanInfo* span, const char* prefix, int indent) {
  const int p = indent + 16;
  o_serial(span->serial, p);
  o_lstring("Index:", 0, true);
  o_unsigned(span->bdIndex, 0, true);
  o_nextLine(prefix, true);
  o_lstring(getDSmodeName(span->mode), p, true);
  o_lstring(getDSframeName(span->frame), 0, true);
  o_lstring(getDSlineSignalingName(span->lineSignal), 0, true);
  o_lstring(getDSlineCodingName(span->lineCode), 0, true);
  o_lstring(getDSlineStartName(span->lineStart), 0, true);
  o_lstring(getDSsignalingMode(span->spanSignal), 0, true);
  o_lstring(getDSconnectName(span->connectType), 0, true);
  o_nextLine(prefix, true);
  o_lstring("Expected digits:", p, true);
  o_unsigned(span->expectedDIDdigits, 0, true);
  const std::string user = text(span->userSpecName);
  if (!user.empty()) {
    o_lstring("User Name", 0, true);
    o_text(user, 0, true);
  }
  o_newline(0);
}

void o_callerIDtime(const char* callTime, std::size_t width) {
  const std::string t = getPrivateText(callTime, width);
  if (t.size() < 8) {
    o_text(t, 0, true);
    return;
  }
  const std::string shown = t.substr(0, 2) + "/" + t.substr(2, 2) + " " + t.substr(4, 2) + ":" + t.substr(6, 2);
  o_text(shown, 0, true);
}

void o_callerIDinfo(const TelvanixPrivateCallerIDinfo* info, const char* prefix, int indent) {
  const int p = indent + 16;
  o_lstring(prefix, 0, false);
  o_lstring("Calling:", p, false);
  o_text(text(info->callingNumber), 0, true);
  if (info->isTrunk) o_lstring("Trunk", p + 12, true);
  o_lstring(info->idFound ? "Found" : "Missing", p + 18, true);
  if (info->idWasBlocked) o_lstring("Blocked", 0, true);
  if (info->idOutArea) o_lstring("Out of area", 0, true);
  o_newline(0);
  if (firmwareNewerThan(2, 2, 230)) {
    const std::string phys = text(info->devicePhysName), xlate = text(info->deviceXlateName);
    if (!phys.empty()) {
      o_lstring(prefix, 0, false);
      o_lstring("Physical deviceID:", p, true);
      o_text(phys, 0, true);
      o_newline(0);
    }
    if (!xlate.empty()) {
      o_lstring(prefix, 0, false);
      o_lstring("Xlation table deviceID:", p, true);
      o_text(xlate, 0, true);
      o_newline(0);
    }
  }
  if (info->idFound) {
    o_lstring(prefix, 0, false);
    o_text(text(info->callingName), p, true);
    o_callerIDtime(info->callTime, sizeof info->callTime);
    o_newline(0);
  }
}

void o_rawCallerID(const unsigned char* raw, const char* prefix, int indent) {
  const int size = 128;
  const int p = indent + 16;
  const int length = raw[1];
  o_lstring("length", p, true);
  o_lnumber(length, 0, true, 10);
  if (raw[0] == 4) {
    o_lstring("Single", 0, true);
    o_text(rawText(raw + 2, 8, 8), 0, true);
    o_text(rawText(raw + 10, size - 10, 10), 0, true);
  } else if (raw[0] == 128) {
    o_lstring("Multi", 0, true);
    // Parameters: type, length, data; each must start within the message's
    // length and is read no further than the 128 bytes.
    for (int offset = 0; offset <= length - 2;) {
      const int at = 2 + offset;
      if (at + 1 >= size) break;
      const int type = raw[at];
      const int plen = raw[at + 1];
      const int available = size - (at + 2);
      const unsigned char* data = raw + at + 2;
      if (type == 1) {
        o_nextLine(prefix, true);
        o_text(rawText(data, available, plen < 8 ? plen : 8), p, true);
      } else if (type == 2 || type == 4 || type == 7) {
        o_nextLine(prefix, true);
        o_lstring(type == 7 ? "Name:" : "Number:", p, false);
        o_text(rawText(data, available, plen < 20 ? plen : 20), 0, true);
      }
      offset += 2 + plen;
    }
  } else {
    o_lstring("Unknown", 0, true);
  }
  for (int i = 0; i < size; ++i) {
    if (i % 10 == 0) o_nextLine(prefix, true);
    o_lnumber(static_cast<signed char>(raw[i]), i % 10 == 0 ? p : 0, true, 16);
  }
}

// ---- the message ----------------------------------------------------------------------

void o_privateMessage(const PrivateData_t* message, const char* prefix, int indent) {
  if (!message) return;
  TelvanixPrivateMessage m;
  if (!readPrivateMessage(message, sizeof m - kPvtWireHeaderSize, &m)) return;
  o_privateRecord(&m, prefix, indent);
}

// ---- one formatter per shape of message, one row per message type -------------------------

namespace {

// Each prints what follows the name and connection; true when it ended its own lines.
using PrivateBody = bool (*)(const TelvanixPrivateMessage& m, const char* prefix, int indent);

bool bodyNone(const TelvanixPrivateMessage&, const char*, int) { return false; }

bool bodyFile(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_privateFile(&m.file, indent + 16, true);
  return false;
}

bool bodyPlayStarted(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  const std::int32_t since = getInvokeIDstamp(m.file.invokeID) - playEndedTime;
  if (since > 0) {
    o_rstring("Since end:", 40, true);
    o_lprintf(0, true, "%f", since * 0.001);
  }
  o_nextLine(prefix, true);
  o_privateFile(&m.file, indent + 16, true);
  return false;
}

bool bodyPlayEnded(const TelvanixPrivateMessage& m, const char*, int) {
  o_privateFile(&m.file, 0, true);
  playEndedTime = getInvokeIDstamp(m.file.invokeID);
  return false;
}

bool bodyDigits(const TelvanixPrivateMessage& m, const char*, int indent) {
  int count = m.digits.count;
  if (count < 0) count = 0;
  if (count > 20) count = 20;
  o_lnumber(m.digits.count, indent + 16, true, 10);
  o_lstring("digits for clientID", 0, true);
  o_lnumber(m.digits.clientID, 0, true, 10);
  o_lstring("Digits:", 0, true);
  o_text(getPrivateText(m.digits.digits, static_cast<std::size_t>(count)), 0, true);
  return false;
}

bool bodyText(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_text(text(m.textReport.string), indent + 16, true);
  return false;
}

bool bodyBoards(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_boardList(&m.boards, prefix, indent);
  return true;
}

bool bodyStreamInfo(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_streamInfo(&m.streamInfo, indent + 16);
  return false;
}

bool bodyTranslation(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_unsigned(m.xlate.position, indent + 16, true);
  o_lstring("of", 0, true);
  o_unsigned(m.xlate.numPositions, 0, true);
  o_lstring(":", 0, false);
  o_text(text(m.xlate.pattern), 0, true);
  o_lstring("-->", 0, true);
  o_text(text(m.xlate.result), 0, true);
  return false;
}

bool bodyLineInfo(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_lineInfo(&m.lineInfo, prefix, indent);
  return true;
}

bool bodyCTIctrl(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_unsigned(m.CTIinfo.clientCTIctrl, indent + 16, true);
  o_lstring("0x", 0, true);
  o_lprintf(0, false, "%lX", static_cast<unsigned long>(m.CTIinfo.clientCTIctrl));
  return false;
}

bool bodySystemInfo(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_systemInfo(&m.sysInfo, prefix, indent);
  return true;
}

bool bodyBroadcast(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_text(text(m.broadcast.name), indent + 16, true);
  o_text(text(m.broadcast.data), indent + 30, true);
  return false;
}

bool bodyStatusInfo(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_statusInfo(&m.status, prefix, indent);
  return false;
}

bool bodySound(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_lstring(getSoundIDname(static_cast<std::uint16_t>(m.sound.sound)), indent + 16, true);
  o_lstring("on:", 0, true);
  o_lprintf(0, true, "%f", m.sound.onTime * 0.025);
  o_lstring("off:", 0, true);
  o_lprintf(0, true, "%f", m.sound.offTime * 0.025);
  return false;
}

bool bodyInterlock(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_lstring(m.interlock.wasTaken ? "Taken" : "InUse", indent + 20, true);
  o_unsigned(m.interlock.value, 0, true);
  return false;
}

bool bodyCallerID(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_newline(0);
  o_callerIDinfo(&m.callerID, prefix, indent);
  return true;
}

bool bodyRawCallerID(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_rawCallerID(m.rawCallerID, prefix, indent);
  return false;
}

bool bodyVersion(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_privateVersion(&m.version, indent);
  return false;
}

bool bodyResources(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_privateResources(&m.resources, prefix, indent);
  return true;
}

bool bodyDSpanInfo(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_DSpanInfo(&m.DSpan, prefix, indent);
  return true;
}

bool bodyMoreLineInfo(const TelvanixPrivateMessage& m, const char* prefix, int indent) {
  o_moreLineInfo(&m.moreLineInfo, prefix, indent);
  return true;
}

bool bodyCallInfo(const TelvanixPrivateMessage& m, const char*, int indent) {
  o_callInfo(&m.callInfo, indent);
  return false;
}

struct PrivateRow {
  int type;
  PrivateBody body;
};

const PrivateRow privateRows[] = {
    {kqPvtUnknown, bodyNone},
    {kqPvtStartPrivateStatus, bodyNone},
    {kqPvtStopPrivateStatus, bodyNone},
    {kqPvtRequestSwrID, bodyNone},
    {kqPvtRequestHdwrID, bodyNone},
    {kqPvtRequestDriverID, bodyNone},
    {kqPvtPlay, bodyFile},
    {kqPvtPlayStop, bodyFile},
    {kqPvtPlayNextFile, bodyFile},
    {kqPvtRecord, bodyFile},
    {kqPvtRecordStarted, bodyFile},
    {kqPvtRecordStop, bodyFile},
    {kqPvtRecordEnded, bodyFile},
    {kqPvtPlayStarted, bodyPlayStarted},
    {kqPvtPlayEnded, bodyPlayEnded},
    {kqPvtGetDigits, bodyDigits},
    {kqPvtStopGetDigits, bodyDigits},
    {kqPvtDigitsSeen, bodyDigits},
    {kqPvtPlayDigits, bodyDigits},
    {kqPvtGetDialedDigits, bodyDigits},
    {kqPvtReportDialedDigits, bodyDigits},
    {kqPvtReportSwrID, bodyText},
    {kqPvtReportHdwrID, bodyText},
    {kqPvtReportDriverID, bodyText},
    {kqPvtEnableAdministration, bodyText},
    {kqPvtSetAdminPassword, bodyText},
    {kqPvtSetOperatorNumber, bodyText},
    {kqPvtGetOperatorNumber, bodyText},
    {kqPvtReportOperatorNumber, bodyText},
    {kqPvtGetBoardsPresent, bodyBoards},
    {kqPvtReportBoardsPresent, bodyBoards},
    {kqPvtGetBoardOrder, bodyBoards},
    {kqPvtSetBoardOrder, bodyBoards},
    {kqPvtReportBoardOrder, bodyBoards},
    {kqPvtGetROMboardOrder, bodyBoards},
    {kqPvtReportROMboardOrder, bodyBoards},
    {kqPvtGetStreamInfo, bodyStreamInfo},
    {kqPvtReportStreamInfo, bodyStreamInfo},
    {kqPvtGetTranslation, bodyTranslation},
    {kqPvtSetTranslation, bodyTranslation},
    {kqPvtReportTranslation, bodyTranslation},
    {kqPvtSetLineInfo, bodyLineInfo},
    {kqPvtGetLineInfo, bodyLineInfo},
    {kqPvtReportLineInfo, bodyLineInfo},
    {kqPvtSetLineUserInfo, bodyLineInfo},
    {kqPvtSetLineInfo1, bodyLineInfo},
    {kqPvtSetCTIctrl, bodyCTIctrl},
    {kqPvtGetCTIctrl, bodyCTIctrl},
    {kqPvtReportCTIctrl, bodyCTIctrl},
    {kqPvtMakeCTIcall, bodyCTIctrl},
    {kqPvtGetSystemInfo, bodySystemInfo},
    {kqPvtReportSystemInfo, bodySystemInfo},
    {kqPvtSetSystemInfo, bodySystemInfo},
    {kqPvtRequestBroadcast, bodyBroadcast},
    {kqPvtReportBroadcast, bodyBroadcast},
    {kqPvtGetStatusInfo, bodyStatusInfo},
    {kqPvtReportStatusInfo, bodyStatusInfo},
    {kqPvtConnectSound, bodySound},
    {kqPvtDisconnectSound, bodySound},
    {kqPvtGetSound, bodySound},
    {kqPvtReportSound, bodySound},
    {kqPvtRequestInterlock, bodyInterlock},
    {kqPvtReleaseInterlock, bodyInterlock},
    {kqPvtReportInterlock, bodyInterlock},
    {kqPvtGetCallerIDinfo, bodyCallerID},
    {kqPvtReportCallerIDinfo, bodyCallerID},
    {kqPvtGetRawCallerID, bodyRawCallerID},
    {kqPvtReportRawCallerID, bodyRawCallerID},
    {kqPvtGetSoftwareVersion, bodyVersion},
    {kqPvtReportSoftwareVersion, bodyVersion},
    {kqPvtGetSystemResources, bodyResources},
    {kqPvtGetBoardResources, bodyResources},
    {kqPvtReportSystemResources, bodyResources},
    {kqPvtReportBoardResources, bodyResources},
    {kqPvtSetDSpanInfo, bodyDSpanInfo},
    {kqPvtGetDSpanInfo, bodyDSpanInfo},
    {kqPvtReportDSpanInfo, bodyDSpanInfo},
    {kqPvtSetMoreLineInfo, bodyMoreLineInfo},
    {kqPvtGetMoreLineInfo, bodyMoreLineInfo},
    {kqPvtReportMoreLineInfo, bodyMoreLineInfo},
    {kqPvtSetDigitalTrunkFlags, bodyMoreLineInfo},
    {kqPvtGetCallInfo, bodyCallInfo},
    {kqPvtReportCallInfo, bodyCallInfo},
    {kqPvtGetParkInfo, bodyCallInfo},
    {kqPvtParkCall, bodyCallInfo},
    {kqPvtParkCallOccured, bodyCallInfo},
};

bool bodyUnknown(const TelvanixPrivateMessage&, const char*, int indent) {
  o_lstring("Unknown private message", indent, true);
  return false;
}

PrivateBody privateBodyFor(int type) {
  for (const PrivateRow& row : privateRows)
    if (row.type == type) return row.body;
  return bodyUnknown;
}

}  // namespace

void o_privateRecord(const TelvanixPrivateMessage* message, const char* prefix, int indent) {
  if (!message) return;
  if (!prefix) prefix = "";
  const TelvanixPrivateMessage& m = *message;
  const int type = m.header.msgType;
  o_firstLineStart(prefix, true);
  o_lstring(getPrivateTypeName(type), 0, false);
  ConnectionID_t cid = {};
  cid.callID = m.header.connection.callID;
  const std::string device = text(m.header.connection.deviceID);
  std::memcpy(cid.deviceID, device.data(), std::min(device.size(), sizeof cid.deviceID));
  cid.devIDType = static_cast<ConnectionID_Device_t>(m.header.connection.devIDType);
  // Written even when empty (as a blank), so the name never runs into what follows.
  o_connectionID(&cid, 0, true);

  if (!privateBodyFor(type)(m, prefix, indent)) o_newline(0);
}
