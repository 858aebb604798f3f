#include "calllog/smdr.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "calllog/outputs.h"
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "platform/fileops.h"

char callLoggingEnabled = 0;
char autoLogSMDR = 0;
plat_handle hFile = PLAT_INVALID_HANDLE;
char logToSerialPort = 1;
int serialPortNumber = 1;
long baudRate = 9600;
char parityChar = 'n';
char dataBits = 8;
char stopBits = 1;
PBXtype pbxType = PBXtypeTelvanix;
const char* const pbxNames[] = {"TELVANIX",      "ATT_DEFINITY",   "MITEL_SX2000",
                                "MIVB_STANDARD", "CM_UNFORMATTED", nullptr};
long lostCallRecords = 0;
long writtenCallRecords = 0;

namespace {

const char kSection[] = "SMDR";
// Room for any name the profile or the operator gives.
const int kNameSize = 260;

// The device records go to, for messages.
char logDeviceName[kNameSize] = "";
// Whether the open device is a serial port (its writes get a time limit).
bool openDeviceIsPort = false;
// The last write to the port failed: while it stays stalled each record
// waits only briefly, so a burst of call ends cannot hold the program for
// minutes.
bool portStalled = false;
const unsigned kStalledWriteTimeoutMs = 100;
// The name the open file was opened by: when it no longer leads to the open
// file (deleted, moved by hand) the file is opened again by this name.
char openPath[kNameSize + 64] = "";
// A port whose writes fail is opened again now and then (it may have been
// unplugged and plugged back in), waiting longer after each failed try.
const unsigned kFirstReopenMs = 1000;
const unsigned kLongestReopenMs = 60000;
std::uint64_t reopenAt = 0;
unsigned reopenWaitMs = kFirstReopenMs;
char portMode[kNameSize + 64] = "";
// The port took part of a record before it failed: the next record starts
// with a line end so that it stands on its own line.
std::string owedLineEnd;
// Connected collectors get this long at close to take what is queued.
const unsigned kOutputsDrainMs = 1000;

void putProfile(const char* key, const char* value) {
  ODB_PutPrivateProfileString(kSection, key, value, iniFilename);
}

void putProfileNumber(const char* key, long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", value);
  putProfile(key, text);
}

// A decimal profile value; false when the key is missing or not a number.
bool profileNumber(const char* key, long* value) {
  char text[64];
  if (ODB_GetPrivateProfileString(kSection, key, "", text, static_cast<int>(sizeof text),
                                  iniFilename) <= 0)
    return false;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end == text) return false;
  *value = n;
  return true;
}

// The journal (SET JOURNAL_TO_LOG) copies every output; records too.
void journalCopy(const std::string& text) {
  const bool on = io_setLogOutputAlso(false);
  io_setLogOutputAlso(on);
  if (!on) return;
  if (FILE* log = commandLogFile()) std::fwrite(text.data(), 1, text.size(), log);
}

// Prints what the TCP outputs said since the last time.
void reportOutputMessages() {
  for (const std::string& text : smdrOutputsTakeMessages()) {
    if (text[0] == '?') {
      log_error("%s\n", text.c_str());
    } else {
      std::printf("%s\n", text.c_str());
      std::fflush(stdout);
    }
  }
}

void lostRecord(const CallInfo& call, int error) {
  // Billing records must not vanish quietly.
  ++lostCallRecords;
  log_error("? Unable to write the record of call %lX to \"%s\" (error %d), %ld %s lost\n",
            static_cast<unsigned long>(call.callID), logDeviceName, error, lostCallRecords,
            lostCallRecords == 1 ? "record" : "records");
}

// The file name no longer leads to the open file: open the name again, so
// that records go where people look for them.
plat_handle openDevice(const char* name);

void reopenLogDevice() {
  if (hFile != PLAT_INVALID_HANDLE && plat_handle_is_path(hFile, openPath)) return;
  const bool wasOpen = hFile != PLAT_INVALID_HANDLE;
  if (wasOpen) {
    plat_close(hFile);
    hFile = PLAT_INVALID_HANDLE;
    std::printf("! The call log \"%s\" was moved or deleted: opening it again\n", logDeviceName);
    std::fflush(stdout);
  }
  // While it cannot be opened the log stays open: every record still comes
  // here and tries again (by its name while it never opened: a folder
  // made since maps anew).
  if (openPath[0]) {
    hFile = plat_open(openPath, PLAT_OPEN_APPEND);
  } else {
    hFile = openDevice(logDeviceName);
    if (hFile == PLAT_INVALID_HANDLE) openPath[0] = '\0';
  }
  if (hFile == PLAT_INVALID_HANDLE && wasOpen)
    log_error("? Unable to open call log file \"%s\" again\n", logDeviceName);
}

// A file takes the record whole or not at all: a failed write is cut back
// to where the record began.
bool writeFile(const std::string& text, int* error) {
  reopenLogDevice();
  if (hFile == PLAT_INVALID_HANDLE) {
    *error = plat_last_error();
    return false;
  }
  const long long before = plat_handle_size(hFile);
  if (plat_write(hFile, text.data(), text.size()) == static_cast<long>(text.size())) return true;
  *error = plat_last_error();
  if (before >= 0) plat_truncate_handle(hFile, before);
  return false;
}

plat_handle openPort(const char* device) {
  const plat_handle h = plat_serial_open(device);
  if (h != PLAT_INVALID_HANDLE) plat_serial_set_mode(h, portMode);
  return h;
}

// A port that failed is opened again once its wait is over; one that took
// part of a record gets a line end before the next.
bool writePort(const std::string& text, int* error) {
  bool reopened = false;
  if (portStalled && plat_millis() >= reopenAt) {
    if (hFile != PLAT_INVALID_HANDLE) plat_close(hFile);
    hFile = openPort(openPath);
    reopened = true;
  }
  bool ok = false;
  if (hFile != PLAT_INVALID_HANDLE) {
    const std::string data = owedLineEnd + text;
    const unsigned timeout = portStalled ? kStalledWriteTimeoutMs : SMDR_WRITE_TIMEOUT_MS;
    std::size_t sent = 0;
    ok = plat_serial_write_counted(hFile, data.data(), data.size(), timeout, &sent) ==
         static_cast<long>(data.size());
    *error = plat_last_error();
    owedLineEnd = smdrOwedLineEnd(text, owedLineEnd, sent, ok);
  } else {
    *error = plat_last_error();
  }
  if (ok) {
    if (portStalled) {
      std::printf("! %s is back: call records are written to it again\n", logDeviceName);
      std::fflush(stdout);
    }
    portStalled = false;
    reopenWaitMs = kFirstReopenMs;
    return true;
  }
  if (!portStalled || reopened) {
    reopenWaitMs = !portStalled ? kFirstReopenMs
                   : reopenWaitMs * 2 < kLongestReopenMs ? reopenWaitMs * 2
                                                         : kLongestReopenMs;
    reopenAt = plat_millis() + reopenWaitMs;
  }
  portStalled = true;
  return false;
}

// The tracker's writer: one finished call's record to the open device and
// to every TCP output. The record never passes through the console's line,
// so a half-typed line there stays as it is.
void writeRecord(CallInfo& call) {
  if (!callLoggingEnabled) return;
  const std::string text = call.o_report(0);
  if (text.empty()) return;
  int error = 0;
  const bool written = openDeviceIsPort ? writePort(text, &error) : writeFile(text, &error);
  journalCopy(text);
  smdrOutputsSend(text);
  if (written)
    ++writtenCallRecords;
  else
    lostRecord(call, error);
  reportOutputMessages();
}

void closeDevice() {
  if (hFile != PLAT_INVALID_HANDLE) {
    plat_close(hFile);
    hFile = PLAT_INVALID_HANDLE;
  }
  owedLineEnd.clear();
  callLoggingEnabled = 0;
}

// Asks for a port between 1 and 4 until one is given; false when no answer
// can come any more.
bool askPortNumber() {
  for (;;) {
    const long n = get_number("Port number", serialPortNumber);
    if (n >= 1 && n <= 4) {
      serialPortNumber = static_cast<int>(n);
      return true;
    }
    std::printf("Use a serial port between 1 and 4\n");
    std::fflush(stdout);
    if (i_noMoreInput()) return false;
  }
}

// The device name, from the profile or the operator; false when none.
bool chooseDevice(char* name) {
  name[0] = '\0';
  if (autoLogSMDR) {
    ODB_GetPrivateProfileString(kSection, "LogDevice", "COM1", name, kNameSize, iniFilename);
    name[kNameSize - 1] = '\0';
    if (!name[0]) std::snprintf(name, kNameSize, "COM1");
    uc_string(name);
    char device[kNameSize];
    logToSerialPort = plat_serial_name(name, device, sizeof device) ? 1 : 0;
    return true;
  }
  logToSerialPort = get_yesno("Log calls to a serial port", logToSerialPort != 0) ? 1 : 0;
  if (i_consoleInputEnded()) return false;
  if (logToSerialPort) {
    if (!askPortNumber()) return false;
    std::snprintf(name, kNameSize, "COM%d", serialPortNumber);
    return true;
  }
  char* answer = get_filename("Log call activity in file", ".LOG");
  if (answer) {
    std::snprintf(name, kNameSize, "%s", answer);
    errfree(answer);
  }
  // A port named at the file prompt is still a port, never a file of its name.
  char device[kNameSize];
  if (plat_serial_name(name, device, sizeof device)) logToSerialPort = 1;
  return !i_consoleInputEnded();
}

// Opens the device and keeps the name it was reached by in openPath.
plat_handle openDevice(const char* name) {
  char* path = openPath;
  const std::size_t size = sizeof openPath;
  path[0] = '\0';
  if (logToSerialPort) {
    if (!plat_serial_name(name, path, size)) std::snprintf(path, size, "%s", name);
    return plat_serial_open(path);
  }
  if (!name[0]) return PLAT_INVALID_HANDLE;
  // Appended to, never truncated: a restart must not erase earlier records.
  if (!plat_map_path(name, path, size)) return PLAT_INVALID_HANDLE;
  return plat_open(path, PLAT_OPEN_APPEND);
}

// The MiVB records' system identifier: three digits, else the default.
void readSystemID() {
  char text[64];
  ODB_GetPrivateProfileString(kSection, "SystemID", "001", text, static_cast<int>(sizeof text),
                              iniFilename);
  text[sizeof text - 1] = '\0';
  if (!CallInfo::setSystemID(text))
    log_error("? SystemID \"%s\" in [SMDR] is not three digits, 001 is used\n", text);
}

bool sameWord(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// The PBXType key: the layout's word from pbxNames in any case. False when
// the key is there but names no layout.
bool profileLayout(PBXtype* type, char* text, std::size_t size) {
  if (ODB_GetPrivateProfileString(kSection, "PBXType", "", text, static_cast<int>(size),
                                  iniFilename) <= 0 ||
      !text[0])
    return true;
  for (int i = 0; pbxNames[i]; ++i) {
    if (sameWord(text, pbxNames[i])) {
      *type = static_cast<PBXtype>(i + 1);
      return true;
    }
  }
  return false;
}

long profileQueueRecords() {
  long n = kDefaultQueueRecords;
  if (profileNumber("QueueRecords", &n) && n > 0) return n;
  return kDefaultQueueRecords;
}

// The TCP outputs the profile asks for, started or stopped to match; one
// already running with the same value is left alone, with its collectors.
void applyProfileOutputs() {
  char value[kNameSize];
  ODB_GetPrivateProfileString(kSection, "ServePort", "", value, static_cast<int>(sizeof value),
                              iniFilename);
  value[sizeof value - 1] = '\0';
  if (!value[0])
    smdrServeStop();
  else if (smdrServeValue() != value)
    smdrServeStart(value, profileQueueRecords());
  ODB_GetPrivateProfileString(kSection, "PushTo", "", value, static_cast<int>(sizeof value),
                              iniFilename);
  value[sizeof value - 1] = '\0';
  if (!value[0])
    smdrPushStop();
  else if (smdrPushValue() != value)
    smdrPushStart(value, profileQueueRecords());
  reportOutputMessages();
}

}  // namespace

void smdrModeText(char* mode, std::size_t size, const char* port, long baud, char parity,
                  int data, int stop) {
  const int n = plat_serial_port_number(port);
  char name[kNameSize];
  if (n > 0)
    std::snprintf(name, sizeof name, "COM%d", n);
  else
    std::snprintf(name, sizeof name, "%s", port);
  std::snprintf(mode, size, "%s: baud=%ld parity=%c data=%d stop=%d", name, baud, parity, data,
                stop);
}

std::string smdrOwedLineEnd(const std::string& record, const std::string& owed,
                            std::size_t sent, bool whole) {
  if (whole) return std::string();
  if (sent <= owed.size()) return owed.substr(sent);
  std::size_t at = record.size();
  while (at > 0 && (record[at - 1] == '\n' || record[at - 1] == '\r')) --at;
  return record.substr(at);
}

void doSetCallLogging(bool open) {
  closeDevice();
  CallInfo::setRecordWriter(writeRecord);
  if (!open) {
    smdrOutputsClose(kOutputsDrainMs);
    reportOutputMessages();
    return;
  }

  if (autoLogSMDR) {
    char text[64];
    if (!profileLayout(&pbxType, text, sizeof text)) {
      // Records in another layout would spoil a log meant for this one.
      log_error("? PBXType \"%s\" in %s names no record layout: call logging not opened\n",
                text, iniFilename);
      return;
    }
  }
  CallInfo::setLocalAreaCode(areaCode);
  CallInfo::setSMDRformat(pbxType);
  if (autoLogSMDR) readSystemID();

  char name[kNameSize];
  if (!chooseDevice(name)) return;
  std::printf("Opening %s for SMDR call logging\n", name);
  std::fflush(stdout);

  if (logToSerialPort) {
    if (autoLogSMDR) {
      long value = 0;
      if (profileNumber("BaudRate", &value)) baudRate = value;
      char text[32];
      if (ODB_GetPrivateProfileString(kSection, "Parity", "", text, static_cast<int>(sizeof text),
                                      iniFilename) > 0)
        parityChar = GetParityChar(text);
      if (profileNumber("DataBits", &value)) dataBits = static_cast<char>(value);
      if (profileNumber("StopBits", &value)) stopBits = static_cast<char>(value);
    }
    setCommBaud(name, baudRate, parityChar, dataBits, stopBits);
  }

  const plat_handle h = openDevice(name);
  if (h == PLAT_INVALID_HANDLE) {
    log_error("? Unable to open call log file \"%s\"\n", name);
    // Unattended, no one is there to open it again: a file is tried again
    // by its name at every record, as a moved one is, a port as a failed
    // one is (with growing waits), and the TCP outputs start all the same.
    if (!autoLogSMDR) return;
    if (logToSerialPort) {
      log_error("? Call logging goes on: \"%s\" is tried again with growing waits\n", name);
    } else {
      log_error("? Call logging goes on: each record tries \"%s\" again\n", name);
      openPath[0] = '\0';  // mapped afresh each time until it opens
    }
  }
  hFile = h;
  openDeviceIsPort = logToSerialPort != 0;
  portStalled = h == PLAT_INVALID_HANDLE && openDeviceIsPort;
  reopenWaitMs = kFirstReopenMs;
  reopenAt = plat_millis() + reopenWaitMs;
  smdrModeText(portMode, sizeof portMode, name, baudRate, parityChar, dataBits, stopBits);
  std::snprintf(logDeviceName, sizeof logDeviceName, "%s", name);
  putProfile("LogDevice", name);
  putProfileNumber("BaudRate", baudRate);
  putProfile("Parity", PutParityChar(parityChar));
  putProfileNumber("DataBits", dataBits);
  putProfileNumber("StopBits", stopBits);
  if (pbxType >= PBXtypeTelvanix) putProfile("PBXType", pbxNames[pbxType - 1]);
  callLoggingEnabled = 1;
  CallInfo::setOutputCR(false);
  if (autoLogSMDR) applyProfileOutputs();
}

void doSetSMDRLogging() { doSetCallLogging(true); }
void doClearSMDRLogging() { doSetCallLogging(false); }

void setCommBaud(const char* port, long baud, char parity, int data, int stop) {
  char mode[kNameSize + 64];
  smdrModeText(mode, sizeof mode, port, baud, parity, data, stop);
  char device[kNameSize + 64];
  if (!plat_serial_name(port, device, sizeof device))
    std::snprintf(device, sizeof device, "%s", port);
  const plat_handle h = plat_serial_open(device);
  if (h == PLAT_INVALID_HANDLE) {
    log_error("?UNable to open %s, Error code=%d\n", port, plat_last_error());
    doSetCallLogging(false);
    return;
  }
  if (plat_serial_set_mode(h, mode)) {
    plat_serial_purge(h);
  } else {
    const int error = plat_last_error();
    unsigned long errors = 0;
    plat_serial_errors(h, &errors);
    reportCommError(errors);
    doSetCallLogging(false);
    log_error("?UNable to open %s, Error code=%d\n", port, error);
  }
  plat_close(h);
}

void reportCommError(unsigned long errors) {
  static const struct {
    unsigned long bit;
    const char* message;
  } messages[] = {
      {PLAT_CE_BREAK, "Hardware detected a break condition.\n"},
      {PLAT_CE_DNS, "Parallel device was not selected.\n"},
      {PLAT_CE_FRAME, "Hardware detected a framing error.\n"},
      {PLAT_CE_IOE, "I/O error occurred during an attempt to communicate with a parallel device.\n"},
      {PLAT_CE_MODE,
       "Requested mode is not supported, or the idComDev parameter is invalid. If set, CE_MODE is "
       "the only valid error.\n"},
      {PLAT_CE_OOP, "Parallel device signaled that it is out of paper.\n"},
      {PLAT_CE_OVERRUN,
       "Character was not read from the hardware before the next character arrived. The character "
       "was lost.\n"},
      {PLAT_CE_PTO, "Timeout occurred during an attempt to communicate with a parallel device.\n"},
      {PLAT_CE_RXOVER,
       "Receiving queue overflowed. There was either no room in the input queue or a character was "
       "received after the end-of-file character was received.\n"},
      {PLAT_CE_RXPARITY, "Hardware detected a parity error.\n"},
      {PLAT_CE_TXFULL,
       "Transmission queue was full when a function attempted to queue a character.\n"},
  };
  for (const auto& m : messages)
    if (errors & m.bit) log_error("%s", m.message);
}

void doReportCommPortErrors() {
  for (int n = 1; n <= 4; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", n);
    char device[kNameSize];
    plat_serial_name(name, device, sizeof device);
    const plat_handle h = plat_serial_open(device);
    if (h == PLAT_INVALID_HANDLE) {
      log_error("?Unable to report errors on %s\n", name);
      continue;
    }
    unsigned long errors = 0;
    if (!plat_serial_errors(h, &errors)) {
      log_error("?Unable to report errors on %s\n", name);
      errors = 0;
    }
    plat_close(h);
    reportCommError(errors);
  }
}

void doSetCommPort() {
  if (autoLogSMDR) {
    const long n = get_number("Serial Port number:", 1);
    if (n < 1 || n > 4) {
      std::printf("Use a serial port between 1 and 4\n");
      std::fflush(stdout);
      return;
    }
    char name[16];
    std::snprintf(name, sizeof name, "COM%ld", n);
    putProfile("LogDevice", name);
  }
  doSetCallLogging(true);
}

void doSetPBXtype() {
  const int current = pbxType >= PBXtypeTelvanix && pbxType <= PBXtypeCMUnformatted ? pbxType : 1;
  const int choice = get_list("Choose PBX type", pbxNames[current - 1], pbxNames, true);
  if (choice >= 0 && choice <= PBXtypeCMUnformatted - 1) pbxType = static_cast<PBXtype>(choice + 1);
  // Unattended, the profile names the layout at every open, as PORT does the device.
  if (autoLogSMDR && choice >= 0 && pbxNames[choice]) putProfile("PBXType", pbxNames[choice]);
}

void resetCallLogging() {
  closeDevice();
  logToSerialPort = 1;
  serialPortNumber = 1;
  baudRate = 9600;
  parityChar = 'n';
  dataBits = 8;
  stopBits = 1;
  pbxType = PBXtypeTelvanix;
  lostCallRecords = 0;
  writtenCallRecords = 0;
  logDeviceName[0] = '\0';
  openPath[0] = '\0';
  openDeviceIsPort = false;
  portStalled = false;
  smdrServeStop();
  smdrPushStop();
  smdrOutputsTakeMessages();
}

namespace {

// Asks for a TCP output's value, starts it and keeps it in the profile.
void setOutput(const char* key, const char* prompt, bool (*start)(const char*, long),
               std::string (*current)()) {
  char* answer = get_word(prompt, current().c_str(), true);
  if (answer && answer[0] && start(answer, profileQueueRecords())) putProfile(key, answer);
  errfree(answer);
  reportOutputMessages();
}

void clearOutput(const char* key, void (*stop)()) {
  stop();
  putProfile(key, "");
  reportOutputMessages();
}

}  // namespace

void doSetSMDRServePort() {
  setOutput("ServePort", "Serve SMDR records to collectors on [ADDRESS:]PORT", smdrServeStart,
            smdrServeValue);
}

void doClearSMDRServePort() { clearOutput("ServePort", smdrServeStop); }

void doSetSMDRPushTo() {
  setOutput("PushTo", "Send SMDR records to the collector at HOST:PORT", smdrPushStart,
            smdrPushValue);
}

void doClearSMDRPushTo() { clearOutput("PushTo", smdrPushStop); }

void doReportCallLogStatus() {
  reportOutputMessages();
  const std::vector<std::string> outputs = smdrOutputsStatus();
  // Nothing to say when call logging was never used.
  if (!callLoggingEnabled && !writtenCallRecords && !lostCallRecords && outputs.empty()) return;
  o_lstring("Call log:", 1, false);
  if (!callLoggingEnabled) {
    o_lstring("closed", 0, true);
  } else {
    o_lstring(logDeviceName, 0, true);
    if (portStalled || hFile == PLAT_INVALID_HANDLE) o_lstring("(failing)", 0, true);
  }
  o_newline(0);
  o_lstring("Call records written:", 1, false);
  o_lnumber(writtenCallRecords, 0, true, 10);
  o_newline(0);
  if (lostCallRecords) {
    o_lstring("Call records lost:", 1, false);
    o_lnumber(lostCallRecords, 0, true, 10);
    o_newline(0);
  }
  for (const std::string& line : outputs) {
    o_lstring(line.c_str(), 1, false);
    o_newline(0);
  }
}

// ---- reopening on a hang-up ------------------------------------------------------

// After logrotate has moved the file, later records go to a new file of the
// same name; a port is opened afresh with its settings.
void callLogReopen() {
  // A hang-up is also how a service is told the time zone changed.
  plat_reload_time_zone();
  if (!callLoggingEnabled || hFile == PLAT_INVALID_HANDLE) return;
  log_info(true, "Reopening %s for SMDR call logging\n", logDeviceName);
  plat_close(hFile);
  hFile = PLAT_INVALID_HANDLE;
  if (logToSerialPort) {
    setCommBaud(logDeviceName, baudRate, parityChar, dataBits, stopBits);
    if (!callLoggingEnabled) return;  // the port refused its settings, and said so
  }
  const plat_handle h = openDevice(logDeviceName);
  if (h == PLAT_INVALID_HANDLE) {
    log_error("? Unable to open call log file \"%s\"\n", logDeviceName);
    closeDevice();
    return;
  }
  hFile = h;
  portStalled = false;
}
