#include "telephony/private_commands.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "display/stamps.h"
#include "display/private_display.h"
#include "telephony/ask.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

long clientCTIinfo = 1;
long ctiValue = 1;
long playPosition = 0;
long timesToPlay = 3;
bool stopPlayOnDTMF = true;
bool stopRecordOnDTMF = true;
long xlatePosition = 0;
long streamCount = 64;
std::uint32_t lastPlayInvokeID = 0;

namespace {

const char kNoCurrentCall[] = "? No current call.";
const char kDefaultPlayFile[] = "RECORD.MU";
const int kMaxStreams = 512;
const int kSendsPerStream = 10;
const int kMaxListed = 100;

// Requests the dispatcher starts while a command may be filling the send
// buffer (between a read-modify-write command's get and its set) are built
// here instead.
TelvanixPrivateMessage dispatcherMessage;

bool haveCall(const char* complaint) {
  if (currentCall) return true;
  complain(complaint);
  return false;
}

const char* usePlayFilename() {
  if (!playFilename) playFilename = alloc_str(kDefaultPlayFile);
  return playFilename;
}

const char* usePrimarySpan() {
  if (!primarySpan) primarySpan = alloc_str(defaultSpanString);
  return primarySpan;
}

// Asks for a device into *variable; false when the command is to end: no
// input left, or the answer was cancelled to nothing (the variable then
// keeps its value).
bool askNonEmpty(const char* prompt, char** variable) {
  char* answer = get_word(prompt, *variable, false);
  if (i_noMoreInput() || !*answer) {
    errfree(answer);
    return false;
  }
  errfree(*variable);
  *variable = answer;
  return true;
}

// The readers take no value at end of input; the command then ends without
// a request. Each returns false in that case.
bool askInRange(const char* prompt, long defaultValue, long low, long high, long* value) {
  *value = i_getNumberInRange(prompt, defaultValue, low, high);
  return !inputEnded();
}

// A one-byte field of a packed record: wider ones sit at odd addresses, and
// are asked into a long instead.
template <typename Field>
bool askField(const char* prompt, Field* field, long high) {
  static_assert(sizeof(Field) == 1, "only bytes are aligned in a packed record");
  long value = 0;
  if (!askInRange(prompt, static_cast<long>(*field), 0, high, &value)) return false;
  *field = static_cast<Field>(value);
  return true;
}

bool askNumber(const char* prompt, long* value) {
  *value = get_number(prompt, *value);
  return !inputEnded();
}

bool askYesNo(const char* prompt, bool defaultValue, bool* value) {
  *value = get_yesno(prompt, defaultValue);
  return !inputEnded();
}

template <typename Flag>
bool askFlag(const char* prompt, Flag* flag) {
  static_assert(sizeof(Flag) == 1, "only bytes are aligned in a packed record");
  bool on = false;
  if (!askYesNo(prompt, *flag != 0, &on)) return false;
  *flag = on ? 1 : 0;
  return true;
}

void simpleRequest(privateMessageID type, const char* tag) {
  sendPrivateMessage(setupPrivateMessage(type, 0, nullptr), tag);
}

void deviceRequest(privateMessageID type, const char* device, const char* tag) {
  sendPrivateMessage(setupPrivateMessage(type, currentCall, device), tag);
}

void fileRequest(TelvanixPrivateMessage* m, std::uint32_t position, const char* file) {
  m->file.position = position;
  m->file.invokeID = invokeID;
  putPrivateText(m->file.fileName, file);
}

void stopRequest(privateMessageID type, const char* tag) {
  if (!haveCall(kNoCurrentCall)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(type, currentCall, usePrimaryDevice());
  fileRequest(m, 0, usePlayFilename());
  sendPrivateMessage(m, tag);
}

// Asks for a board list, waits for the answer, then asks for each board.
void perBoard(privateMessageID type, const char* tag) {
  lastResourcesBoards = 0;
  simpleRequest(kqPvtGetSystemResources, "get system resources");
  waitForLastReply(1);
  for (unsigned board = 0; board < lastResourcesBoards; ++board) {
    TelvanixPrivateMessage* m = setupPrivateMessage(type, 0, nullptr);
    m->payload[0] = static_cast<unsigned char>(board);
    sendPrivateMessage(m, tag);
  }
}

// A choice from a word list with the default given by value; -1 when cancelled.
// One word of a span setting and the value it stands for.
struct SpanWord {
  const char* name;
  int value;
};

// Offers the words with the current value's word as the default (the first
// when none has it); the chosen word's value, or -1 when cancelled.
template <std::size_t N>
int choose(const char* prompt, const SpanWord (&words)[N], int current) {
  const char* names[N + 1];
  const char* def = words[0].name;
  for (std::size_t i = 0; i < N; ++i) {
    names[i] = words[i].name;
    if (words[i].value == current) def = words[i].name;
  }
  names[N] = nullptr;
  const int choice = get_list(prompt, def, names, true);
  return choice < 0 ? -1 : words[choice].value;
}

void requestAndPlayFile(long count) {
  // "~" leaves no name: the play is cancelled and the default stays.
  char* file = get_filename("File to play", usePlayFilename());
  if (inputEnded() || !*file) {
    errfree(file);
    return;
  }
  errfree(playFilename);
  playFilename = file;
  if (!askNumber("Starting point", &playPosition)) return;
  if (!askCallID("Call ID", &currentCall)) return;
  playCount = static_cast<int>(count);
  startFilePlay();
}

bool listName(const char* name, void* context) {
  std::vector<std::string>* names = static_cast<std::vector<std::string>*>(context);
  names->push_back(name);
  return names->size() < static_cast<std::size_t>(kMaxListed);
}

bool endsWith(const std::string& s, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

const SpanWord spanModes[] = {{"T1", qxPvtDSmodeT1}, {"E1", qxPvtDSmodeE1}};
const SpanWord spanFrames[] = {{"SF", qxPvtDSframeSF}, {"ESF", qxPvtDSframeESF}};
const SpanWord signallings[] = {
    {"E_AND_M", qxPvtDSsigEandM},
    {"LOOP_START", qxPvtDSsigLoopStart},
    {"LOOP_START_RLCF", qxPvtDSsigLoopStartRLCF},
    {"GROUND_START", qxPvtDSsigGndStart},
    {"GROUND_START_RLCF", qxPvtDSsigGndStartRLCF},
    {"CUST_LCF_RBAT", qxPvtDSsigCustLcfRBat},
    {"NET_LCF_RBAT", qxPvtDSsigNetLcfRBat},
    {"CI_LOOP_SUPER", qxPvtDSsigCIloopSuper},
};
const SpanWord lineCodes[] = {{"NRZ", qxPvtDSlineCodeNRZ},
                              {"NOT_USED", qxPvtDSlineCodeNotUsed},
                              {"AMI", qxPvtDSlineCodeAMI},
                              {"B8ZS", qxPvtDSlineCodeB8ZS}};
const SpanWord lineStarts[] = {{"IMM", qxPvtDSstartIMM},   {"DEL", qxPvtDSstartDEL},
                               {"VDEL", qxPvtDSstartVDEL}, {"WINK", qxPvtDSstartWINK},
                               {"LOOP", qxPvtDSstartLOOP}, {"GROUND", qxPvtDSstartGND}};

void resetPrivateCommands() {
  clientCTIinfo = 1;
  ctiValue = 1;
  playPosition = 0;
  timesToPlay = 3;
  stopPlayOnDTMF = true;
  stopRecordOnDTMF = true;
  xlatePosition = 0;
  streamCount = 64;
  lastPlayInvokeID = 0;
}

// ---- sending ------------------------------------------------------------------

bool setPrivateReporting(bool on) {
  buildPrivateMessage(&dispatcherMessage, on ? kqPvtStartPrivateStatus : kqPvtStopPrivateStatus, 0, nullptr);
  return sendPrivateMessage(&dispatcherMessage, "set/clear private reporting");
}

void startFilePlay() {
  buildPrivateMessage(&dispatcherMessage, stopPlayOnDTMF ? kqPvtPlayTillDTMF : kqPvtPlay, currentCall,
                      usePrimaryDevice());
  fileRequest(&dispatcherMessage, static_cast<std::uint32_t>(playPosition), usePlayFilename());
  lastPlayInvokeID = invokeID;
  sendPrivateMessage(&dispatcherMessage, "play file");
}

// ---- what the dispatcher hands over ----------------------------------------------

void privateReplyArrived(const TelvanixPrivateMessage& m) {
  switch (m.header.msgType) {
    case kqPvtReportStreamInfo:
      storeStreamInfo(m.streamInfo);
      break;
    case kqPvtReportTranslation: lastTranslationInfo = m.xlate; break;
    case kqPvtReportLineInfo: lastLineInfo = m.lineInfo; break;
    case kqPvtReportSystemInfo: lastSystemInfo = m.sysInfo; break;
    case kqPvtReportSystemResources: lastResourcesBoards = m.resources.numberBoards; break;
    case kqPvtReportDSpanInfo: lastDSpanInfo = m.DSpan; break;
    case kqPvtReportMoreLineInfo: lastMoreLineInfo = m.moreLineInfo; break;
    // The reply to a get is as good a default as the report of a change.
    case kqPvtReportBoardOrder: defaultBoardOrder = m.boards; break;
    case kqPvtReportCallInfo:
      currentCall = m.header.connection.callID;
      lastParkID = m.callInfo.parkID;
      break;
    default: break;
  }
}

void privateReportArrived(const TelvanixPrivateMessage& m) {
  switch (m.header.msgType) {
    case kqPvtPlay:
    case kqPvtPlayStarted:
    case kqPvtPlayStop:
    case kqPvtRecord:
    case kqPvtRecordStarted:
    case kqPvtRecordStop:
    case kqPvtRecordEnded:
      stampInvokeID(m.file.invokeID);
      break;
    case kqPvtPlayEnded:
    case kqPvtPlayNextFile:
      // A late report of an earlier play must not start another one.
      if (m.file.invokeID == lastPlayInvokeID && playCount > 0 && --playCount > 0) startFilePlay();
      stampInvokeID(m.file.invokeID);
      break;
    case kqPvtDigitsSeen:
      if (autoStopPlay) {
        playCount = 0;
        buildPrivateMessage(&dispatcherMessage, kqPvtPlayStop, m.header.connection.callID,
                            getPrivateText(m.header.connection.deviceID).c_str());
        fileRequest(&dispatcherMessage, 0, nullptr);
        sendPrivateMessage(&dispatcherMessage, "stop play");
      }
      break;
    case kqPvtReportBoardOrder: defaultBoardOrder = m.boards; break;
    case kqPvtReportCallInfo:
      currentCall = m.header.connection.callID;
      lastParkID = m.callInfo.parkID;
      break;
    default: break;
  }
}

// ---- simple requests -------------------------------------------------------------

void doGetBoardsPresent() { simpleRequest(kqPvtGetBoardsPresent, "get boards list"); }
void doGetBoardStatus() { simpleRequest(kqPvtGetStatusInfo, "get board status"); }
void doGetBoardOrder() { simpleRequest(kqPvtGetBoardOrder, "get board order list"); }
void doGetRomBoardOrder() { simpleRequest(kqPvtGetROMboardOrder, "get ROM board order list"); }
void doGetSystemInfo() { simpleRequest(kqPvtGetSystemInfo, "get systemInfo"); }
void doGetOperatorNumber() { simpleRequest(kqPvtGetOperatorNumber, "get operator number"); }

// ---- device and call requests ------------------------------------------------------

void doGetCallerIDinfo() {
  usePrimaryDevice();
  if (!askNonEmpty("CallerID for device", &primaryDevice)) return;
  deviceRequest(kqPvtGetCallerIDinfo, primaryDevice, "get callerID info");
}

void doGetRawCallerID() {
  usePrimaryDevice();
  if (!askNonEmpty("Raw CallerID for device", &primaryDevice)) return;
  deviceRequest(kqPvtGetRawCallerID, primaryDevice, "get raw callerID info");
}

void doGetDialedDigits() {
  if (!haveCall(kNoCurrentCall)) return;
  usePrimaryDevice();
  if (!askNonEmpty("Dialed digits for device", &primaryDevice)) return;
  deviceRequest(kqPvtGetDialedDigits, usePrimaryDevice(), "get dialed digits");
}

void doGetCTIinfo() {
  if (!haveCall(kNoCurrentCall)) return;
  deviceRequest(kqPvtGetCTIctrl, usePrimaryDevice(), "get CTI info");
}

void doSetCTIinfo() {
  if (!haveCall(kNoCurrentCall)) return;
  if (!askNumber("CTI value to place on call", &ctiValue)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetCTIctrl, currentCall, usePrimaryDevice());
  m->CTIinfo.clientCTIctrl = static_cast<std::uint32_t>(ctiValue);
  sendPrivateMessage(m, "set CTI info");
}

void doListenDTMF() {
  if (!haveCall("? No current call.\n")) return;
  usePrimaryDevice();
  if (!askNonEmpty("Listen on device", &primaryDevice)) return;
  if (!askCallID("Call of device", &currentCall)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtGetDigits, currentCall, usePrimaryDevice());
  m->digits.count = -1;  // until stopped
  m->digits.clientID = 0;
  m->digits.lineOnly = 0;
  sendPrivateMessage(m, "listen for digits");
}

void doGetLineInfo() {
  usePrimaryDevice();
  if (!askNonEmpty("Info for device", &primaryDevice)) return;
  const char* device = usePrimaryDevice();
  deviceRequest(kqPvtGetLineInfo, device, "get line info");
  if (firmwareNewerThan(2, 7, 508)) deviceRequest(kqPvtGetMoreLineInfo, device, "get more line info");
  deviceRequest(kqPvtGetDialedDigits, device, "get dialed digits");
  ACS_CALL("query message waiting", cstaQueryMsgWaitingInd(acsHandle, invokeID, device, nullptr));
  ACS_CALL("query device info", cstaQueryDeviceInfo(acsHandle, invokeID, device, nullptr));
  ACS_CALL("snapshot device", cstaSnapshotDeviceReq(acsHandle, invokeID, device, nullptr));
}

void doGetSpanInfo() {
  usePrimarySpan();
  if (!askNonEmpty("Info for span", &primarySpan)) return;
  sendPrivateMessage(setupPrivateMessage(kqPvtGetDSpanInfo, 0, usePrimarySpan()), "get span info");
}

void doMakeCTIcall() {
  usePrimaryDevice();
  if (!askNonEmpty("Caller", &primaryDevice)) return;
  useCallee();
  if (!askNonEmpty("Callee", &mkCallee)) return;
  if (!askNumber("CTI info", &clientCTIinfo)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtMakeCTIcall, 0, primaryDevice);
  m->CTIinfo.clientCTIctrl = static_cast<std::uint32_t>(clientCTIinfo);
  sendPrivateMessage(m, "make CTI call");
}

// ---- park and translation ------------------------------------------------------------

void doParkCall() {
  if (!askCallID("Park Call ID", &currentCall)) return;
  sendPrivateMessage(setupPrivateMessage(kqPvtParkCall, currentCall, nullptr), "park a call");
}

static void parkRequest(privateMessageID type, const char* prompt, const char* tag) {
  long park = static_cast<long>(lastParkID);
  if (!askNumber(prompt, &park)) return;
  lastParkID = static_cast<std::uint32_t>(park);
  TelvanixPrivateMessage* m = setupPrivateMessage(type, 0, nullptr);
  m->callInfo.parkID = lastParkID;
  sendPrivateMessage(m, tag);
}

void doGetParkInfo() { parkRequest(kqPvtGetParkInfo, "Park ID", "get park info"); }
void doGetNextParkInfo() { parkRequest(kqPvtGetNextParkedCall, "Last Park ID", "get next park info"); }

void doGetTranslation() {
  if (!askInRange("Translation index", xlatePosition, 0, 65535, &xlatePosition)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtGetTranslation, 0, nullptr);
  m->xlate.position = static_cast<std::uint16_t>(xlatePosition);
  sendPrivateMessage(m, "get translation");
}

// ---- read, modify, write -------------------------------------------------------------

void doSetTranslation() {
  if (!askInRange("Translation index to set", xlatePosition, 0, 65535, &xlatePosition)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtGetTranslation, 0, nullptr);
  m->xlate.position = static_cast<std::uint16_t>(xlatePosition);
  sendPrivateMessage(m, "get translation");
  waitForLastReply(1);
  const std::string oldPattern = getPrivateText(lastTranslationInfo.pattern);
  const std::string oldResult = getPrivateText(lastTranslationInfo.result);
  char* pattern = get_line("Pattern", oldPattern.c_str(), false);
  char* result = inputEnded() ? nullptr : get_line("Result", oldResult.c_str(), false);
  if (!result || inputEnded()) {
    errfree(pattern);
    errfree(result);
    return;
  }
  putPrivateText(lastTranslationInfo.pattern, pattern);
  putPrivateText(lastTranslationInfo.result, result);
  // Built afresh: events handled during the pause may have used the buffer.
  m = setupPrivateMessage(kqPvtSetTranslation, 0, nullptr);
  m->xlate.position = static_cast<std::uint16_t>(xlatePosition);
  putPrivateText(m->xlate.pattern, pattern);
  putPrivateText(m->xlate.result, result);
  errfree(pattern);
  errfree(result);
  sendPrivateMessage(m, "set translation");
}

void doSetSystemInfo() {
  simpleRequest(kqPvtGetSystemInfo, "get systemInfo");
  waitForLastReply(1);
  // The answers live in this command's own record: a reply that comes late
  // refreshes the cache while they are typed, and must not undo them.
  TelvanixPrivateSystemInfo n = lastSystemInfo;
  long hold = 0, flash = 7, ringback = 0;
  if (!askField("Trunks reserved for incomming calls", &n.trunksForIncoming, 255)) return;
  if (!askInRange("audioOnHold", n.audioOnHold, 0, 32767, &hold)) return;
  n.audioOnHold = static_cast<soundType>(hold);
  if (!askFlag("Rotate trunk usage", &n.rotateTrunkUsage)) return;
  if (!askField("Digit play time (40ths of a second)", &n.digitPlayTime, 255)) return;
  if (!askField("Digit quiet time (40ths of a second)", &n.digitQuietTime, 255)) return;
  // Kept to what the server's 8-bit field holds, rather than cut silently.
  if (firmwareNewerThan(2, 2, 230) && !askInRange("Flash timeout (10ths of a second)", n.flashTimeout, 0, 255, &flash))
    return;
  n.flashTimeout = static_cast<std::uint16_t>(flash);
  if (!firmwareNewerThan(2, 7, 508)) {
    n.callerIDunavailable = 0;
  } else {
    bool enabled = false;
    if (!askYesNo("CallerID enabled", n.callerIDunavailable == 0, &enabled)) return;
    n.callerIDunavailable = enabled ? 0 : 1;
  }
  if (firmwareAtLeast(2, 8) && !askInRange("Park ringback time (tenths)", n.parkRingbackTime, 0, 65535, &ringback))
    return;
  n.parkRingbackTime = static_cast<std::uint16_t>(ringback);
  lastSystemInfo = n;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetSystemInfo, 0, nullptr);
  m->sysInfo = n;
  sendPrivateMessage(m, "set systemInfo");
}

void doSetLineInfo() {
  usePrimaryDevice();
  if (!askNonEmpty("Set info for device", &primaryDevice)) return;
  deviceRequest(kqPvtGetLineInfo, primaryDevice, "get line info");
  waitForLastReply(1);
  const TelvanixPrivateLineInfo c = lastLineInfo;
  TelvanixPrivateLineInfo n = {};
  n.classOfService = c.classOfService;
  n.pickupGroup = c.pickupGroup;
  n.waitNrings = c.waitNrings;
  long noAnswer = static_cast<long>(c.noAnswerTime);
  bool dnd = false;
  if (!askField("Class of service", &n.classOfService, 255)) return;
  if (!askField("Pickup group", &n.pickupGroup, 255)) return;
  if (!askNumber("noAnswerTime (tenths)", &noAnswer)) return;
  n.noAnswerTime = static_cast<std::uint32_t>(noAnswer);
  if (!askField("Rings to wait for auto attend", &n.waitNrings, 255)) return;
  dnd = get_boolean("Do not disturb", "OFF", "ON", c.doNotDisturb != 0);
  if (inputEnded()) return;
  n.doNotDisturb = dnd ? 1 : 0;
  n.callWaitingEnabled = c.callWaitingEnabled;
  if (!askFlag("Call waiting", &n.callWaitingEnabled)) return;
  const struct {
    const char* prompt;
    const char* cached;
    std::size_t width;
    char* field;
  } forwards[] = {{"Forward if busy", c.ifBusy, sizeof c.ifBusy, n.ifBusy},
                  {"Forward if no answer", c.ifNoAnswer, sizeof c.ifNoAnswer, n.ifNoAnswer},
                  {"Forward immediate", c.ifImmediate, sizeof c.ifImmediate, n.ifImmediate}};
  for (const auto& f : forwards) {
    char* number = get_phone(f.prompt, getPrivateText(f.cached, f.width).c_str());
    putPrivateText(f.field, f.width, number);
    errfree(number);
    if (inputEnded()) return;
  }
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetLineInfo, currentCall, primaryDevice);
  m->lineInfo = n;
  sendPrivateMessage(m, "set line info");
}

void doSetMoreLineInfo() {
  usePrimaryDevice();
  if (!askNonEmpty("Set info for device", &primaryDevice)) return;
  deviceRequest(kqPvtGetMoreLineInfo, primaryDevice, "get more line info");
  waitForLastReply(1);
  const std::uint32_t flags = static_cast<std::uint32_t>(
      get_hexNumber("Digital Trunk Flags", static_cast<long>(lastMoreLineInfo.digitalTrunkFlags)));
  if (inputEnded()) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetMoreLineInfo, currentCall, primaryDevice);
  m->moreLineInfo.digitalTrunkFlags = flags;
  sendPrivateMessage(m, "set line info");
}

void doSetBoardOrder() {
  simpleRequest(kqPvtGetBoardOrder, "get board order list");
  waitForLastReply(1);
  TelvanixPrivateBoardList order = {};
  for (int slot = 0; slot < 16; ++slot) {
    const TelvanixPrivateSerialNumber was = defaultBoardOrder.boardID[slot];
    long fab = static_cast<long>(was.fabDate);
    if (!askNumber("Fab date (0 to end list)", &fab)) return;
    if (fab == 0) break;
    long number = static_cast<long>(was.number);
    if (!askNumber("Number", &number)) return;
    order.boardID[slot].fabDate = static_cast<std::uint32_t>(fab);
    order.boardID[slot].number = static_cast<std::uint32_t>(number);
  }
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetBoardOrder, 0, nullptr);
  m->boards = order;
  sendPrivateMessage(m, "set BoardOrder");
}

void doSetSpanInfo() {
  usePrimarySpan();
  if (!askNonEmpty("Set info for span", &primarySpan)) return;
  sendPrivateMessage(setupPrivateMessage(kqPvtGetDSpanInfo, 0, primarySpan), "get span info");
  waitForLastReply(1);
  const TelvanixPrivateDSpanInfo c = lastDSpanInfo;
  TelvanixPrivateDSpanInfo n = {};
  const int mode = choose("Choose span mode", spanModes, c.mode);
  if (mode < 0) return;
  const int frame = choose("Choose D4 span framing", spanFrames, c.frame);
  if (frame < 0) return;
  const int signal = choose("Choose type of Signalling", signallings, 0);
  if (signal < 0) return;
  const int code = choose("Choose Line Code type", lineCodes, 0);
  if (code < 0) return;
  const int start = choose("Choose Line Start Protocol", lineStarts, 0);
  if (start < 0) return;
  n.mode = static_cast<qxPvtDSmode>(mode);
  n.frame = static_cast<qxPvtDSframe>(frame);
  n.lineSignal = static_cast<qxPvtDSlineSignal>(signal);
  n.lineCode = static_cast<qxPvtDSlineCode>(code);
  n.lineStart = static_cast<qxPvtDSlineStart>(start);
  bool cas = false, pri = false, net = false, pbx = false;
  if (!askYesNo("CAS Signalling", c.spanSignal == qxPvtDSspanSigCAS, &cas)) return;
  if (!askYesNo("PRI Signalling", c.spanSignal == qxPvtDSspanSigPRI, &pri)) return;
  n.spanSignal = !cas && pri ? qxPvtDSspanSigPRI : qxPvtDSspanSigCAS;
  if (!askYesNo("Connect type = network", c.connectType == qxPvtDSconnectNet, &net)) return;
  if (!askYesNo("Connect type = PBX", c.connectType == qxPvtDSconnectPBX, &pbx)) return;
  n.connectType = !net && pbx ? qxPvtDSconnectPBX : qxPvtDSconnectNet;
  n.expectedDIDdigits = c.expectedDIDdigits;
  if (!askField("Expected Number of DID digits:", &n.expectedDIDdigits, 255)) return;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetDSpanInfo, 0, primarySpan);
  m->DSpan = n;
  sendPrivateMessage(m, "set span info");
}

// ---- iterating requests ---------------------------------------------------------------

void doGetStreamInfo() {
  if (!askNumber("Number of streams to report on", &streamCount)) return;
  if (streamCount <= 0) return;
  if (streamCount > kMaxStreams) {
    std::printf("? Too many streams %ld\n", streamCount);
    std::fflush(stdout);
    return;
  }
  for (long id = 0; id < streamCount; ++id) {
    TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtGetStreamInfo, 0, nullptr);
    m->streamInfo.streamID = static_cast<std::uint16_t>(id);
    RetCode_t rc = 0;
    for (int sends = 1;; ++sends) {
      rc = cstaEscapeService(acsHandle, invokeID, asPrivateData(m));
      if ((rc != ACSERR_NOBUFFERS && rc != ACSERR_QUEUE_FULL) || sends >= kSendsPerStream) break;
      pauseNseconds(1);
      // Events handled meanwhile may have built other messages in the buffer.
      m = setupPrivateMessage(kqPvtGetStreamInfo, 0, nullptr);
      m->streamInfo.streamID = static_cast<std::uint16_t>(id);
    }
    ACS_CALL("get streamInfo", rc);
  }
}

void doGetResources() { perBoard(kqPvtGetBoardResources, "get board resources"); }
void doGetBoardVersions() { perBoard(kqPvtGetSoftwareVersion, "get board version"); }

// ---- voice -----------------------------------------------------------------------------

void doPlayFile() { requestAndPlayFile(1); }

void doMultiplePlay() {
  if (!askInRange("Repeat count", timesToPlay, 1, 10, &timesToPlay)) return;
  requestAndPlayFile(timesToPlay);
}

void doStopPlay() {
  if (currentCall) playCount = 0;  // or the next ended report starts another
  stopRequest(kqPvtPlayStop, "stop play");
}

void doStopRecord() { stopRequest(kqPvtRecordStop, "stop record"); }

void doRecordFile() {
  char* file = get_filename("File to record", usePlayFilename());
  if (!*file || inputEnded()) {
    errfree(file);
    return;
  }
  errfree(playFilename);
  playFilename = file;
  TelvanixPrivateMessage* m = setupPrivateMessage(stopRecordOnDTMF ? kqPvtRecordTillDTMF : kqPvtRecord,
                                                  currentCall, usePrimaryDevice());
  fileRequest(m, 0, playFilename);
  sendPrivateMessage(m, "record file");
}

void doSetPlayTillDTMF() { stopPlayOnDTMF = true; }
void doClearPlayTillDTMF() { stopPlayOnDTMF = false; }

// ---- administration and operator ----------------------------------------------------

void doPassword() {
  char* password = get_line("Password", "", false);
  if (i_noMoreInput() && !*password) {
    errfree(password);
    return;
  }
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtEnableAdministration, 0, nullptr);
  putPrivateText(m->textReport.string, password);
  std::memset(password, 0, std::strlen(password));
  errfree(password);
  sendPrivateMessage(m, "give password");
}

void doSetOperatorNumber() {
  char* number = get_word("Operator Number", "0", false);
  if (!*number || i_noMoreInput()) {
    errfree(number);
    return;
  }
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtSetOperatorNumber, 0, nullptr);
  putPrivateText(m->textReport.string, number);
  errfree(number);
  sendPrivateMessage(m, "set operator number");
}

void doSetMultiAttendent(bool on) {
  simpleRequest(on ? kqPvtEnableMultiAttendant : kqPvtDisableMultiAttendant, "Set multi attendent");
}
void doSetMultiAttendentOn() { doSetMultiAttendent(true); }
void doSetMultiAttendentOff() { doSetMultiAttendent(false); }

// ---- directory ----------------------------------------------------------------------------

void doDir() {
  char* answer = get_word("Files to list", "*.*", false);
  std::string pattern = answer;
  errfree(answer);
  if (pattern.empty()) pattern = "*.*";
  if (endsWith(pattern, "\\")) pattern += "*.*";
  else if (endsWith(pattern, "..")) pattern += "\\*.*";
  std::vector<std::string> names;
  if (!plat_list_files(pattern.c_str(), listName, &names)) {
    std::printf("? Cannot list %s\n", pattern.c_str());
    std::fflush(stdout);
    return;
  }
  std::vector<const char*> list;
  for (const std::string& n : names) list.push_back(n.c_str());
  list.push_back(nullptr);
  o_print_list(list.data(), 0, 70, 0, nullptr);
}
