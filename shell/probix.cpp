#include "shell/probix.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "csta32/include/csta32.h"
#include "display/filters.h"
#include "display/stamps.h"
#include "shell/commands.h"
#include "telephony/events.h"
#include "telephony/servers.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

static const char usageMessage[] =
    "USAGE is:\n"
    "\n"
    "probix [-d[-]] [-dd] [-sfilename] [-ifilename] [-e#] [-m[-]]\n"
    "\n"
    "  -d\tEnable debug printouts\n"
    "  -ifile\tstart reading file as indirect file (can be repeated)\n"
    "  -dd\tEnable very detailed debug printouts\n"
    "  -e<n>\tNo more than n Error printouts \n"
    "  -m\tManual startup in expert mode\n"
    "  -sfile\tSet .INI file to file\n";

static const char defaultAreaCode[] = "508";

// The command word being run; kept outside the loop's frame so that QUIT,
// which leaves from inside a command, does not strand it.
static char* commandWord = nullptr;

void printUsage() {
  std::printf("%s", usageMessage);
  std::fflush(stdout);
}

// Leading decimal digits of text; no digits gives 0. Saturates instead of
// overflowing on absurd values.
static int leadingNumber(const char* text) {
  long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > 1000000000L) return 1000000000;
  }
  return static_cast<int>(value);
}

static void unrecognizedSwitch(char letter, const char* argument) {
  // A bare "-" has no letter; show a blank rather than writing a NUL byte.
  std::printf("? Unrecognized switch %c in argument: %s\n", letter ? letter : ' ', argument);
  ++numberErrors;
}

void processArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!argument) continue;
    if (argument[0] == '?') {
      printUsage();
      continue;
    }
    if (argument[0] != '-' && argument[0] != '/') {
      std::printf("? Unrecognized command line argument: %s\n", argument);
      ++numberErrors;
      continue;
    }
    const char letter = argument[1];
    const char* value = letter ? argument + 2 : argument + 1;
    switch (letter) {
      case '?':
        printUsage();
        break;
      case 'i':
      case 'I':
        addIndirectFile(value);
        break;
      case 'm':
      case 'M':
        manualMode = value[0] != '-';
        break;
      case 'd':
        debugPrint = value[0] != '-';
        debugDetailed = value[0] == 'd';
        break;
      case 'e':
        maxErrorPrintouts = leadingNumber(value);
        break;
      case 's':
        // A cut-off name would quietly read some other file.
        if (std::strlen(value) >= sizeof iniFilename) {
          std::printf("? Profile file name too long in argument: %s\n", argument);
          ++numberErrors;
        } else {
          std::snprintf(iniFilename, sizeof iniFilename, "%s", value);
        }
        break;
      default:
        unrecognizedSwitch(letter, argument);
        break;
    }
  }
  std::fflush(stdout);
}

bool reportServerCB(char* serverName, EnumServerNamesParam_t) {
  if (!serverName) return false;
  const int slot = setServerName(serverName);
  o_lprintf(1, false, "! Server number %d set to [%s]", slot + 1, serverName);
  o_newline(0);
  return false;
}

void startupSettings() {
  // Every pause and wait polls the stream from the start, open or not yet.
  installEventPoll();
  globalFilter = CSTAMonitorFilter_t();
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  std::printf("\n");

  if (!areaCode) {
    char buffer[256];
    if (ODB_GetPrivateProfileString(iniSection, "areaCode", defaultAreaCode, buffer,
                                    static_cast<int>(sizeof buffer), iniFilename) > 0) {
      buffer[sizeof buffer - 1] = '\0';
      areaCode = alloc_str(buffer);
    } else {
      std::printf("? Area code not specified in %s using 508\n", iniFilename);
      areaCode = alloc_str(defaultAreaCode);
    }
  }

  if (manualMode) {
    expert_mode = 1;
    autoLogSMDR = 0;
    eventReports = true;
  } else {
    expert_mode = 0;
    autoLogSMDR = 1;
    eventReports = false;
    doAutoSMDRLogging();
  }
  std::fflush(stdout);
}

void runProbix() {
  startupSettings();
  while (!exitFlag) {
    commandWord = get_commandWord(promptName, "", true);
    doCommandTable(commandWord);
    errfree(commandWord);
    commandWord = nullptr;
    // Piped or redirected input has run out: leave as EXIT does.
    if (!exitFlag && i_consoleInputEnded()) doExit();
  }
  i_endUserInput();
  establishLogFile(nullptr);
}

int finishProbix() {
  if (number_blocks_out() != 0) o_space();
  std::fflush(stdout);
  if (numberErrors > 0) {
    std::printf("\n    %d Errors found by PROBIX\n", numberErrors);
    std::fflush(stdout);
    return 1;
  }
  return 0;
}

static std::int32_t stampsOnWaitClock() {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(waitClockMillis()));
}

int probixMain(int argc, char** argv) {
  std::atexit(doOnExit);
  io_setFatalCallback(doOnExit);

  std::printf("PROBIX version %d.%d", majorVersion, minorVersion);
  if (shipmentVersion) std::printf("-%d", shipmentVersion);
  std::printf("(%d)\n", getEditNumber());

  processArguments(argc, argv);
  set_o_file(stdout);
  // A service is stopped by signals; the loop acts on them between events.
  plat_install_stop_handlers();
  setHangupHandler(callLogReopen);
  // Test runs let every pause pass at once unless they test real time;
  // "xN" runs waits and stamps N times as fast, in step with a switch set
  // to run as fast (TELSIM_SPEED).
  char clock[16];
  if (plat_getenv("PROBIX_WAIT_CLOCK", clock, sizeof clock)) {
    char* end = nullptr;
    const long times = clock[0] == 'x' ? std::strtol(clock + 1, &end, 10) : 0;
    if (std::strcmp(clock, "stepped") == 0) {
      setWaitClock(steppedWaitClock);
    } else if (end && end != clock + 1 && *end == '\0' && times >= 1 && times <= 1000) {
      setWaitClock(fastWaitClock(static_cast<unsigned>(times)));
      o_setStampClockForTests(stampsOnWaitClock);
    }
  }
  acsEnumServerNames(ST_CSTA, reportServerCB, 0);
  runProbix();
  std::exit(finishProbix());
}

void doExit() {
  doSetCallLogging(false);
  doCloseLogFile();
  resetDefaults();
  exitFlag = 1;
}

void doAutoSMDRLogging() {
  doSetCallLogging(true);
  doConnect();
  doWatchTime(3, &ackCount, ackCount);
}

void doQuit() {
  std::fflush(stdout);
  std::exit(0);
}

void doOnExit() {
  // Runs at every exit, also after EXIT: each step must be harmless twice.
  doSetCallLogging(false);
  doCloseLogFile();
  doAbortStream();
  std::fflush(stdout);
}

static void release(char*& text) {
  errfree(text);
  text = nullptr;
}

void resetDefaults() {
  release(digitsToPlay);
  release(playFilename);
  release(primaryDevice);
  release(primarySpan);
  release(mkCallee);
  clearServerNames();
  release(userName);
  release(areaCode);
  release(serverPassword);
  release(heldDeviceString);
  globalFilter = CSTAMonitorFilter_t();
}
