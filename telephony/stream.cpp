#include "telephony/stream.h"

#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "display/event.h"
#include "display/private_display.h"
#include "display/stamps.h"
#include "telephony/state.h"

ACSHandle_t acsHandle = 0;
InvokeID_t invokeID = 1;
InvokeID_t acsOpenInvokeID = 0;
bool acsStreamAborted = false;
std::int64_t lastReopenAcsStream = 0;
int serverIndex = 0;

TelvanixPrivateStreamInfo streamStatus[STREAM_STATUS_COUNT] = {};
std::uint16_t highestStreamSeen = 0;

namespace {

const char kProfileServer[] = "Server";
const char kProfileSMDR[] = "SMDR";
const char kDefaultServer[] = "TELVANIX";
const char kDefaultUser[] = "Telvanix";
const char kApplication[] = "PROBIX";

// Profile values are lines of at most 255 characters.
const int kProfileValue = 256;

const char* orEmpty(const char* text) { return text ? text : ""; }

void replaceText(char*& variable, const char* text) {
  char* copy = alloc_str(text);
  errfree(variable);
  variable = copy;
}

// A whole answer that is one decimal number (leading blanks allowed).
bool wholeNumber(const char* text, long* value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE) return false;
  *value = v;
  return true;
}

RetCode_t openStream(const char* apiVersion) {
  return acsOpenStream(&acsHandle, APP_GEN_ID, invokeID, ST_CSTA,
                       orEmpty(getServerName(serverIndex)), orEmpty(userName),
                       orEmpty(serverPassword), kApplication, ACS_LEVEL1, apiVersion, 0, 0, 0,
                       0, nullptr);
}

void lostStreamHandle() {
  acsHandle = 0;
  o_setLocalACShandle(0);
}

// Steps of CONNECT that read the profile: server name, login, SMDR settings.
void readConnectProfile() {
  char value[kProfileValue];
  if (ODB_GetPrivateProfileString(kProfileServer, "ServerID", "", value, sizeof value,
                                  iniFilename) > 0) {
    const int slot = setServerName(value);
    o_lprintf(1, false, "! Server number %d set to [%s] from .INI file", slot + 1, value);
    o_newline(0);
  } else if (!getServerName(getLastServerName())) {
    setServerName(kDefaultServer);
    std::printf("? Server name unavailable, set to %s\n", kDefaultServer);
  }

  if (!userName) {
    if (ODB_GetPrivateProfileString(kProfileServer, "UserID", "", value, sizeof value,
                                    iniFilename) > 0) {
      replaceText(userName, value);
    } else {
      std::printf("? User name not specified in %s\n", iniFilename);
      replaceText(userName, kDefaultUser);
    }
  }

  if (!serverPassword) {
    if (ODB_GetPrivateProfileString(kProfileServer, "Password", "", value, sizeof value,
                                    iniFilename) > 0) {
      char plain[kProfileValue / 2 + 1];
      Decrypt(value, plain);
      replaceText(serverPassword, plain);
    } else {
      std::printf("? User password not specified in %s\n", iniFilename);
      replaceText(serverPassword, "");
    }
  }

  ODB_GetPrivateProfileString(kProfileSMDR, "MonitorExt", "FALSE", value, sizeof value,
                              iniFilename);
  value[sizeof value - 1] = '\0';
  if (std::strcmp(uc_string(value), "TRUE") == 0) {
    SMDRmonitorExt = true;
    std::printf("SMDR monitor add extensions\n");
  }

  if (ODB_GetPrivateProfileString(kProfileSMDR, "FirmwareVersion", "", value, sizeof value,
                                  iniFilename) > 0) {
    int major = configFirmwareMajor, minor = configFirmwareMinor;
    if (std::sscanf(value, " %d.%d", &major, &minor) >= 1) {
      configFirmwareMajor = major;
      configFirmwareMinor = minor;
    }
  }
}

// The operator's choice of server, login and password. False when the
// command ends here (illegal server number, end of input).
bool askConnectAnswers() {
  char* answer = get_word("Server", orEmpty(getServerName(serverIndex)), false);
  if (i_consoleInputEnded()) {
    errfree(answer);
    return false;
  }
  long number = 0;
  if (wholeNumber(answer, &number)) {
    errfree(answer);
    if (number < 1 || number > MAX_SERVER_NAMES) {
      std::printf("! illegal server number %ld\n", number);
      return false;
    }
    serverIndex = static_cast<int>(number - 1);
  } else {
    // "~" leaves the name blank: keep the server chosen so far.
    if (answer[0]) serverIndex = setServerName(answer);
    errfree(answer);
  }

  char* user = get_word("User", orEmpty(userName), false);
  if (i_consoleInputEnded()) {
    errfree(user);
    return false;
  }
  errfree(userName);
  userName = user;

  char* password = get_word("Password", orEmpty(serverPassword), false);
  if (i_consoleInputEnded()) {
    errfree(password);
    return false;
  }
  errfree(serverPassword);
  serverPassword = password;
  return true;
}

void writeConnectProfile() {
  ODB_PutPrivateProfileString(kProfileServer, "ServerID", orEmpty(getServerName(serverIndex)),
                              iniFilename);
  ODB_PutPrivateProfileString(kProfileServer, "UserID", orEmpty(userName), iniFilename);
  const char* password = orEmpty(serverPassword);
  std::vector<char> cipher(2 * std::strlen(password) + 1);
  Encrypt(password, cipher.data());
  ODB_PutPrivateProfileString(kProfileServer, "Password", cipher.data(), iniFilename);
  ODB_PutPrivateProfileString(kProfileSMDR, "MonitorExt", SMDRmonitorExt ? "TRUE" : "FALSE",
                              iniFilename);
}

void readAutoEventsProfile() {
  if (userSetAutoEvents) return;
  char value[kProfileValue];
  ODB_GetPrivateProfileString(iniSection, "AutoEventReport", "1", value, sizeof value,
                              iniFilename);
  value[sizeof value - 1] = '\0';
  int on = 1;
  if (std::sscanf(value, " %d", &on) == 1) autoEvents = on != 0;
}

}  // namespace

TelvanixPrivateSendArea pvtSendArea;

TelvanixPrivateMessage* setupPrivateMessage(privateMessageID msgType, std::int32_t callID,
                                            const char* deviceID) {
  std::memset(static_cast<void*>(&pvtSendArea), 0, sizeof pvtSendArea);
  fillPrivateHeader(&pvtSendArea.message.header, TelvanixPrivateMessage::kSentLength, msgType,
                    callID, deviceID);
  return &pvtSendArea.message;
}

void clearPrivateScratchHeader() {
  std::memset(static_cast<void*>(&pvtSendArea.scratch), 0, sizeof pvtSendArea.scratch);
}

bool sendPrivateMessage(const TelvanixPrivateMessage* message, const char* tag) {
  return ACS_CALL(tag, cstaEscapeService(acsHandle, invokeID, asPrivateData(message)));
}

void storeStreamInfo(const TelvanixPrivateStreamInfo& info) {
  const unsigned id = info.streamID;
  if (id >= STREAM_STATUS_COUNT) return;
  streamStatus[id] = info;
  if (id > highestStreamSeen) highestStreamSeen = static_cast<std::uint16_t>(id);
}

const char* getACSerrorName(RetCode_t code) {
  static const char* const names[] = {
      "ACSERR_APIVERDENIED", "ACSERR_BADPARAMETER",  "ACSERR_DUPSTREAM", "ACSERR_NODRIVER",
      "ACSERR_NOSERVER",     "ACSERR_NORESOURCE",    "ACSERR_UBUFSMALL", "ACSERR_NOMESSAGE",
      "ACSERR_UNKNOWN",      "ACSERR_BADHDL",        "ACSERR_STREAM_FAILED",
      "ACSERR_NOBUFFERS",    "ACSERR_QUEUE_FULL"};
  if (code <= -1 && code >= -13) return names[-code - 1];
  static char unknown[24];
  std::snprintf(unknown, sizeof unknown, "?%ld?", static_cast<long>(code));
  return unknown;
}

bool ACS_CALL(const char* error, RetCode_t rCode) {
  stampInvokeID(invokeID);
  ++invokeID;
  if (rCode >= 0) return true;
  o_lprintf(1, false, "!? ACS ERROR %s: when trying to %s", getACSerrorName(rCode),
            orEmpty(error));
  o_newline(0);
  return false;
}

void doConnect() {
  readConnectProfile();
  serverIndex = getLastServerName();
  if (!autoLogSMDR && !askConnectAnswers()) return;

  if (acsHandle) doDisconnect();

  acsOpenInvokeID = invokeID;
  if (!ACS_CALL("open stream", openStream("TS1-2"))) {
    lostStreamHandle();
    // Unattended, nobody will type CONNECT again: a logger started before
    // its server is up keeps trying, as after a drop.
    if (autoLogSMDR) acsStreamAborted = true;
    return;
  }
  // The new stream replaces a lost one: the poll must not reopen over it.
  acsStreamAborted = false;

  o_lprintf(1, false, "! Server: %s User %s acsHandle %lu", orEmpty(getServerName(serverIndex)),
            orEmpty(userName), static_cast<unsigned long>(acsHandle));
  o_newline(0);
  writeConnectProfile();
  clearPrivateScratchHeader();  // a new stream starts with a clean send area
  o_setLocalACShandle(acsHandle);
  readAutoEventsProfile();
}

void doDisconnect() {
  if (!acsHandle) return;
  if (ACS_CALL("close stream", acsCloseStream(acsHandle, invokeID, nullptr))) {
    std::printf("!Stream %lu closed\n", static_cast<unsigned long>(acsHandle));
  }
}

void doAbortStream() {
  if (!acsHandle) return;
  if (ACS_CALL("abort stream", acsAbortStream(acsHandle, nullptr))) {
    std::printf("!Stream %lu aborted\n", static_cast<unsigned long>(acsHandle));
  } else {
    std::printf("!Unable to abort stream %lu (TSERVER down?)\n",
                static_cast<unsigned long>(acsHandle));
    acsStreamAborted = true;
  }
  std::fflush(stdout);
  lostStreamHandle();
}

RetCode_t doReopenAcsStream() {
  acsOpenInvokeID = invokeID;
  const RetCode_t rc = openStream("TS2");
  if (ACS_CALL("open stream", rc)) {
    acsStreamAborted = false;
    o_setLocalACShandle(acsHandle);
  } else {
    lostStreamHandle();
  }
  return rc;
}

void doReportStreamInfo() {
  for (unsigned id = 0; id <= highestStreamSeen && id < STREAM_STATUS_COUNT; ++id) {
    if (!streamStatus[id].inUse) continue;
    o_lstring("$STREAM", 1, false);
    o_streamInfo(&streamStatus[id], 12);
    o_newline(0);
  }
}

void resetStreamState() {
  acsHandle = 0;
  invokeID = 1;
  acsOpenInvokeID = 0;
  acsStreamAborted = false;
  lastReopenAcsStream = 0;
  serverIndex = 0;
  std::memset(streamStatus, 0, sizeof streamStatus);
  highestStreamSeen = 0;
  o_setLocalACShandle(0);
}
