#include "calllog/smdr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/shell.h"

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
const char* const pbxNames[] = {"TELVANIX", "ATT_DEFINITY", "MITEL_SX2000", nullptr};
long lostCallRecords = 0;

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

// The tracker's writer: one finished call's record to the open device.
// The record never passes through the console's line, so a half-typed line
// there stays as it is.
void writeRecord(CallInfo& call) {
  if (hFile == PLAT_INVALID_HANDLE) return;
  const std::string text = call.o_report(0);
  if (text.empty()) return;
  const unsigned timeout = portStalled ? kStalledWriteTimeoutMs : SMDR_WRITE_TIMEOUT_MS;
  const long written = openDeviceIsPort
                           ? plat_serial_write(hFile, text.data(), text.size(), timeout)
                           : plat_write(hFile, text.data(), text.size());
  const int error = plat_last_error();
  journalCopy(text);
  portStalled = openDeviceIsPort && written != static_cast<long>(text.size());
  if (written == static_cast<long>(text.size())) return;
  // Billing records must not vanish quietly.
  ++lostCallRecords;
  log_error("? Unable to write the record of call %lX to \"%s\" (error %d), %ld records lost\n",
            static_cast<unsigned long>(call.callID), logDeviceName, error, lostCallRecords);
}

void closeDevice() {
  if (hFile != PLAT_INVALID_HANDLE) {
    plat_close(hFile);
    hFile = PLAT_INVALID_HANDLE;
  }
  callLoggingEnabled = 0;
  CallInfo::setOutputFile(PLAT_INVALID_HANDLE);
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
  return !i_consoleInputEnded();
}

plat_handle openDevice(const char* name) {
  char path[kNameSize + 64];
  if (logToSerialPort) {
    if (!plat_serial_name(name, path, sizeof path)) std::snprintf(path, sizeof path, "%s", name);
    return plat_serial_open(path);
  }
  if (!name[0]) return PLAT_INVALID_HANDLE;
  // Appended to, never truncated: a restart must not erase earlier records.
  if (!plat_map_path(name, path, sizeof path)) return PLAT_INVALID_HANDLE;
  return plat_open(path, PLAT_OPEN_APPEND);
}

}  // namespace

void doSetCallLogging(bool open) {
  closeDevice();
  CallInfo::setRecordWriter(writeRecord);
  if (!open) return;

  CallInfo::setLocalAreaCode(areaCode);
  CallInfo::setSMDRformat(pbxType);

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
    return;
  }
  hFile = h;
  openDeviceIsPort = logToSerialPort != 0;
  portStalled = false;
  std::snprintf(logDeviceName, sizeof logDeviceName, "%s", name);
  putProfile("LogDevice", name);
  putProfileNumber("BaudRate", baudRate);
  putProfile("Parity", PutParityChar(parityChar));
  putProfileNumber("DataBits", dataBits);
  putProfileNumber("StopBits", stopBits);
  callLoggingEnabled = 1;
  CallInfo::setOutputFile(hFile);
  CallInfo::setOutputCR(false);
}

void doSetSMDRLogging() { doSetCallLogging(true); }
void doClearSMDRLogging() { doSetCallLogging(false); }

void setCommBaud(const char* port, long baud, char parity, int data, int stop) {
  char mode[kNameSize + 64];
  std::snprintf(mode, sizeof mode, "%s: baud=%ld parity=%c data=%d stop=%d", port, baud, parity,
                data, stop);
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
  const int current = pbxType >= PBXtypeTelvanix && pbxType <= PBXtypeMitelSX2000 ? pbxType : 1;
  const int choice = get_list("Choose PBX type", pbxNames[current - 1], pbxNames, true);
  if (choice >= 0 && choice <= 2) pbxType = static_cast<PBXtype>(choice + 1);
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
  logDeviceName[0] = '\0';
  openDeviceIsPort = false;
}

// ---- reopening on a hang-up ------------------------------------------------------

// After logrotate has moved the file, later records go to a new file of the
// same name; a port is opened afresh with its settings.
void callLogReopen() {
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
  CallInfo::setOutputFile(hFile);
}
