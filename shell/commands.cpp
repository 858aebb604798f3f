#include "shell/commands.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"
#include "display/event.h"
#include "display/filters.h"
#include "shell/probix.h"
#include "telephony/calls.h"
#include "telephony/events.h"
#include "telephony/private_commands.h"
#include "telephony/query.h"
#include "telephony/servers.h"
#include "telephony/state.h"
#include "telephony/stream.h"

// ---- the command table -------------------------------------------------------

const COMMAND commands[] = {
    {"", doNull, 0, 0, nullptr},
    {"?", doQuestion, 0, 0, "Print list of expected input, (Commands or Parameters)"},
    {"@", doIndirect, 1, 1, "Start reading commands from a command file. Follow @ by a file name"},
    {"ABORT_STREAM", doAbortStream, 1, 0, "Disconnect abruptly from a server"},
    {"ANSWER", doAnswerCall, 1, 1, "Answer a connection"},
    {"CONFERENCE", doConferenceCall, 1, 1, "Conference a Held call with an existing Active call"},
    {"CONNECT", doConnect, 1, 1, "Connect to a server"},
    {"CONSULTATION_CALL", doConsultationCall, 1, 1, "Place call on hold and create a new call"},
    {"CLEAR", doClears, 1, 1, "Clear a setting"},
    {"CTI_CALL", doMakeCTIcall, 1, 1, "Place a CTI call"},
    {"DEBUG", doSetdebug, 1, 1,
     "Enable debugging type out. Debugging info will be printed.\n\t(-d on the command line)"},
    {"DEFLECT_CALL", doDeflectCall, 1, 1, "Deflect a call from one number to another."},
    {"DETAILED_DEBUG", doSetdetailed, 1, 1,
     "Enable detailed type out. Detailed info will be printed.\n\t(-dd on the command line)"},
    {"DIAL_DIGITS", doDialDigits, 1, 1, "Play a number."},
    {"DIRECTORY", doDir, 1, 1, "Get a directory listing."},
    {"DISCONNECT", doDisconnect, 1, 1, "Disconnect from a server expecting a response."},
    {"EXIT", doExit, 1, 0, "Exit the program performing proper closedown and clean up steps"},
    {"EXPERT", doSetexpert, 0, 0, "Allow use of commands that are intended for testing of the program"},
    {"GET", doGets, 1, 1, "Get information directly from Telvanix"},
    {"GOTO", doGoto, 1, 1, "Execute a jump to <label> in an indirect file."},
    {"HANGUP", doHangups, 1, 1, "Hangup on something"},
    {"HELP", doHelp, 1, 1, "Help followed by a command name gives help on that command"},
    {"HOLD", doHoldCall, 1, 1, "Place a connection on hold"},
    {"INFO", doGetLineInfo, 1, 1, "Short cut to GET LINE_INFO, gets info and snapshots a line"},
    {"LABEL", doLabel, 1, 1, "Set a label in an indirect file"},
    {"LOG", doLogCommands, 1, 1, "Start recording commands to a log file"},
    {"LINE_REPORT", doLineReport, 1, 1, "Short cut to GET LINE_INFO, gets info and snapshots a line"},
    {"LISTEN", doListenDTMF, 1, 1, "Start listening for DTMF digits"},
    {"MAKE_CALL", doMakeCall, 1, 1, "Place a call"},
    {"MONITOR", doMonitors, 1, 1, "Monitor a Device, Call, ALL Trunks, or ALL Lines"},
    {"MULTIPLE_PLAYS", doMultiplePlay, 1, 1, "Send a play multiple times waiting for play ended each time."},
    {"NODEBUG", doCleardebug, 1, 1, "Turn off debugging and detailed debugging type out"},
    {"NOEXPERT", doClearexpert, 1, 1, "Prohibit use of EXPERT commands"},
    {"PARK", doParkCall, 1, 1, "Park a call"},
    {"PASSWORD", doPassword, 1, 1, "Give the password to permit Telvanix system operations"},
    {"PLAY", doPlayFile, 1, 1, "Play a file to the current call"},
    {"PORT", doSetCommPort, 1, 0, "Select a communication port for SMDR logging"},
    {"RECORD", doRecordFile, 1, 1, "Record the current call to a file"},
    // Not expert: the unattended logger must be able to show its status.
    {"REPORT", doReports, 1, 0, "Report information accumulated over time by PROBIX"},
    {"RETRIEVE", doRetrieveCall, 1, 1, "Retrieve a held call"},
    {"SET", doSets, 1, 1, "Set something"},
    {"SMDR_START_LOGGING", doAutoSMDRLogging, 1, 1, "Start SMDR logging (stops on exit or CLEAR)"},
    {"SNAP", doSnapshots, 1, 1, "Choose an item to snapshot."},
    {"STOP", doStops, 1, 1, "Stop playing or recording to the current call"},
    {"TRANSFER", doTransferCall, 1, 1, "Transfer a Held call to an existing Active call"},
    {"TRUNK_REPORT", doTrunkReport, 1, 1, "Trigger a snapshot of lines L1#1 thru L1#n"},
    {"WAIT", doWait, 1, 1, "Wait for a specified number of seconds."},
    {"WATCH", doWatch, 1, 1, "Wait a specified number of seconds, or until variable changes"},
    {"QUIT", doQuit, 1, 1, "Abort the program without any cleanup steps"},
    {nullptr, nullptr, 0, 0, nullptr},
};

// ---- keyword lists and their actions ---------------------------------------

const KEYWORD_ACTION getActions[] = {
    {"ALL_BOARDS_PRESENT", doGetBoardsPresent},
    {"BOARD_STATUS", doGetBoardStatus},
    {"CALLERID_INFO", doGetCallerIDinfo},
    {"CTI_INFO", doGetCTIinfo},
    {"DEVICE_INFO", doQueryDeviceInfo},
    {"DIALED_DIGITS", doGetDialedDigits},
    {"DIGITS", doListenDTMF},
    {"DO_NOT_DISTURB", doGetDoNotDisturb},
    {"EVENTS", doGetEvents},
    {"FILTER", doGetFilter},
    {"FORWARDING", doGetForwarding},
    {"LINE_INFO", doGetLineInfo},
    {"MESSAGE_WAITING_INDICATOR", doGetMessageWaiting},
    {"NEXT_PARK_INFO", doGetNextParkInfo},
    {"OPERATOR_NUMBER", doGetOperatorNumber},
    {"ORDER_OF_BOARDS", doGetBoardOrder},
    {"PARK_INFO", doGetParkInfo},
    {"PER_SECOND_HISTORY", doNull},  // accepted; REPORT shows the rates
    {"ROM_ORDER_OF_BOARDS", doGetRomBoardOrder},
    {"RAW_CALLERID_INFO", doGetRawCallerID},
    {"RESOURCES", doGetResources},
    {"SNAPSHOT", doSnapshots},
    {"SPAN_INFO", doGetSpanInfo},
    {"STREAM_INFO", doGetStreamInfo},
    {"SYSTEM_INFO", doGetSystemInfo},
    {"TRANSLATION", doGetTranslation},
    {"VERSIONS", doGetBoardVersions},
    {nullptr, nullptr},
};

const KEYWORD_ACTION setActions[] = {
    {"AREA_CODE_DEFAULT", doSetAreaCode},
    {"AUTOMATIC_EVENT_REPORTING", doSetAutoEvents},
    {"CONTINUOUS_SNAPSHOTS", doSetContinuous},
    {"CTI_INFO", doSetCTIinfo},
    {"CURRENT_CALL", doSetCurrentCall},
    {"DELAYSTAMPS", doSetDelayStamps},
    {"DEVICE_DEFAULT", doSetCurrentDevice},
    {"DO_NOT_DISTURB", doSetDoNotDisturb},
    {"EVENT_REPORTS", doSetEventReports},
    {"FILTER_INITIAL_VALUE", doSetFilter},
    {"JOURNAL_TO_LOG", doSetJournalToLog},
    {"INVOKEIDSTAMPS", doSetInvokeIDstamps},
    {"LINE_INFO", doSetLineInfo},
    {"LOG_FILE", doOpenLogFile},
    {"MESSAGE_WAITING_INDICATOR", doSetMessageWaiting},
    {"MORE_LINE_INFO", doSetMoreLineInfo},
    {"MULTI_FILE_AUTOATTENDENT", doSetMultiAttendentOn},
    {"OPERATOR_NUMBER", doSetOperatorNumber},
    {"ORDER_OF_BOARDS", doSetBoardOrder},
    {"PBX_TYPE", doSetPBXtype},
    {"PLAY_UNTILL_DTMF", doSetPlayTillDTMF},
    {"RESET_FILTER_INITIAL_VALUE", doSetFilterDefault},
    {"SMDR_LOGGING", doSetSMDRLogging},
    {"SMDR_PUSH_TO", doSetSMDRPushTo},
    {"SMDR_SERVE_PORT", doSetSMDRServePort},
    {"SPAN_INFO", doSetSpanInfo},
    {"STOP_PLAY_AUTOMATICALLY", doSetStopPlay},
    {"SYSTEM_INFO", doSetSystemInfo},
    {"TIMESTAMPS", doSetTimestamps},
    {"TRANSLATION", doSetTranslation},
    {nullptr, nullptr},
};

const KEYWORD_ACTION clearActions[] = {
    {"AUTOMATIC_EVENT_REPORTING", doClearAutoEvents},
    {"CONTINUOUS_SNAPSHOTS", doClearContinuous},
    {"COUNTS", doClearCounts},
    {"DELAYSTAMPS", doClearDelayStamps},
    {"EVENT_REPORTS", doClearEventReports},
    {"JOURNAL_TO_LOG", doClearJournalToLog},
    {"INVOKEIDSTAMPS", doClearInvokeIDstamps},
    {"LOG_FILE", doCloseLogFile},
    {"MONITOR", doEndMonitor},
    {"MULTI_FILE_AUTOATTENDENT", doSetMultiAttendentOff},
    {"PER_SECOND_HISTORY", doClearPerSecondHistory},
    {"PLAY_UNTILL_DTMF", doClearPlayTillDTMF},
    {"SMDR_LOGGING", doClearSMDRLogging},
    {"SMDR_PUSH_TO", doClearSMDRPushTo},
    {"SMDR_SERVE_PORT", doClearSMDRServePort},
    {"STOP_PLAY_AUTOMATICALLY", doClearStopPlay},
    {"TIMESTAMPS", doClearTimestamps},
    {nullptr, nullptr},
};

const KEYWORD_ACTION reportActions[] = {
    {"COMM_PORT_ERRORS", doReportCommPortErrors},
    {"COUNTS", doReportCounts},
    {"PER_SECOND_HISTORY", doReportPerSecondHistory},
    {"SPACE", doReportSpace},
    {"STATUS", doReportStatus},
    {"STREAM_INFO", doReportStreamInfo},
    {nullptr, nullptr},
};

const KEYWORD_ACTION stopActions[] = {
    {"PLAY", doStopPlay},
    {"RECORD", doStopRecord},
    {nullptr, nullptr},
};

// ---- dispatcher ---------------------------------------------------------------

bool doCommandTable(const char* word) {
  if (!word) return true;
  if (word[0] == '!') {
    i_ignoreRestOfLine(true);
    return true;
  }

  const size_t length = std::strlen(word);
  const COMMAND* found = nullptr;
  bool ambiguous = false;
  for (const COMMAND* row = commands; row->name; ++row) {
    if (row->expert && !expert_mode) continue;
    if (std::strcmp(word, row->name) == 0) {
      found = row;
      ambiguous = false;
      break;
    }
    if (std::strncmp(word, row->name, length) == 0) {
      if (found) {
        ambiguous = true;
        break;
      }
      found = row;
    }
  }

  const bool searching = gotoSearchLabel() != nullptr;
  if (ambiguous) {
    if (searching) return true;
    std::printf("? Ambiguous - please type a longer string - \"%s\"\n", word);
    return false;
  }
  if (!found) {
    if (searching) return true;
    std::printf("? Ignoring unrecognized command \"%s\"\n", word);
    return false;
  }
  // A GOTO looking for its label skips everything but LABEL.
  if (searching && found->action_routine != doLabel) return true;

  const long blocksBefore = number_blocks_out();
  found->action_routine();
  const long change = number_blocks_out() - blocksBefore;
  if (debugPrint && change != 0)
    log_info(false, "For the %s command free storage changed by %ld\n", word, change);
  return true;
}

bool runKeyword(const char* /*command*/, const KEYWORD_ACTION* table, const char* keyword) {
  if (!keyword) return false;
  for (const KEYWORD_ACTION* row = table; row->name; ++row) {
    if (std::strcmp(keyword, row->name) == 0) {
      row->action();
      return true;
    }
  }
  return false;
}

// ---- handlers --------------------------------------------------------------------

void doNull() {}

void doQuestion() {
  o_print_slist(commands, static_cast<int>(sizeof(COMMAND)),
                static_cast<int>(offsetof(COMMAND, name)), 0, 80, 0, nullptr);
}

void doHelp() {
  char* word = get_word("Help for command", "", true);
  if (word && word[0]) {
    const bool all = std::strcmp(word, "*") == 0;
    const int length = static_cast<int>(std::strlen(word));
    for (const COMMAND* row = commands; row->name; ++row) {
      if (!row->help) continue;
      if (!all && compare_name(word, row->name, length) != 0) continue;
      std::printf("    %s\t%s\n", row->name, row->expert ? "Expert" : "Basic");
      std::printf("\t%s\n", row->help);
    }
  }
  errfree(word);
}

void doSetdebug() {
  std::printf("Debugging messages ON.\n");
  debugPrint = 1;
  debugDetailed = 0;
}

void doSetdetailed() {
  std::printf("Detailed debugging messages ON.\n");
  debugPrint = 1;
  debugDetailed = 1;
}

void doCleardebug() {
  std::printf("Debugging messages OFF.\n");
  debugPrint = 0;
  debugDetailed = 0;
}

static const char expertPassword[] = "TANGELO";

void doSetexpert() {
  std::printf("You should not be using EXPERT commands.\n");
  char* password = get_word("Password to unlock EXPERT mode", "", true);
  if (password && std::strcmp(password, expertPassword) == 0) expert_mode = 1;
  errfree(password);
  if (expert_mode)
    std::printf("Expert commands permitted.\n");
  else
    std::printf("Password validation failure, Expert commands prohibited\n");
}

void doClearexpert() {
  std::printf("Expert commands forbidden.\n");
  expert_mode = 0;
}

// The words of a table, for the list prompt; false when they do not fit.
bool keywordNames(const KEYWORD_ACTION* table, const char** names, size_t size) {
  size_t n = 0;
  for (const KEYWORD_ACTION* row = table; row->name; ++row) {
    if (n + 1 >= size) return false;
    names[n++] = row->name;
  }
  names[n] = nullptr;
  return true;
}

// Asks for one keyword of the table and runs its action; "~" cancels.
static void subCommand(const char* command, const char* prompt, const char* defaultText,
                       const KEYWORD_ACTION* actions) {
  const char* names[kMaxKeywords + 1];
  if (!keywordNames(actions, names, sizeof names / sizeof names[0])) return;
  const int choice = get_list(prompt, defaultText, names, true);
  if (choice < 0) return;
  runKeyword(command, actions, names[choice]);
}

void doGets() { subCommand("GET", "Choose what to get", "LINE_INFO", getActions); }
void doSets() { subCommand("SET", "Choose what to set", "LINE_INFO", setActions); }
void doClears() { subCommand("CLEAR", "Choose what to clear", "JOURNAL_TO_LOG", clearActions); }
void doReports() { subCommand("REPORT", "Choose what to report", "STREAM_INFO", reportActions); }
void doHangups() {
  const char* names[sizeof callOrDeviceRows / sizeof callOrDeviceRows[0]];
  size_t n = 0;
  for (const CallOrDeviceRow* row = callOrDeviceRows; row->name; ++row) names[n++] = row->name;
  names[n] = nullptr;
  const int choice = get_list("Choose what to hangup", "CURRENT_DEVICE", names, true);
  if (choice >= 0) callOrDeviceRows[choice].hangup();
}
void doStops() { subCommand("STOP", "Choose what to stop", "PLAY", stopActions); }

static const char* onOff(bool on) { return on ? "ON" : "OFF"; }

void doReportCounts() {
  o_rnumber(deviceSnapshots, 8, false, 10);
  o_lstring("Device snapshots", 10, false);
  o_newline(0);
  o_rnumber(callSnapshots, 8, false, 10);
  o_lstring("Call snapshots", 10, false);
  o_newline(0);
}

void doReportSpace() {
  o_lstring("Debug printouts:", 1, false);
  o_lstring(onOff(debugPrint), 0, true);
  o_newline(0);
  o_lstring("Detailed debug printouts:", 1, false);
  o_lstring(onOff(debugDetailed), 0, true);
  o_newline(0);
  o_space();
}

void doReportStatus() {
  o_lstring("Auto events", 1, false);
  o_lstring(onOff(autoEvents), 0, true);
  o_newline(0);
  o_lstring("Current", 1, false);
  o_newline(0);
  if (currentCall) {
    o_lstring("Call:", 4, false);
    o_lnumber(currentCall, 0, true, 16);
    o_newline(0);
  }
  if (heldCall) {
    o_lstring("Held call:", 4, false);
    o_lnumber(heldCall, 0, true, 16);
    o_newline(0);
  }
  if (primaryDevice) {
    o_lstring("Default device:", 4, false);
    o_lstring(primaryDevice, 0, true);
    o_newline(0);
  }
  if (primarySpan) {
    o_lstring("Default Span:", 4, false);
    o_lstring(primarySpan, 0, true);
    o_newline(0);
  }
  if (mkCallee) {
    o_lstring("Default callee:", 4, false);
    o_lstring(mkCallee, 0, true);
    o_newline(0);
  }
  doReportCallLogStatus();
}

static void rateLine(const char* label, float highest, float lowest) {
  o_lstring(label, 1, false);
  o_lfloat(highest, 0, true);
  o_lstring("max", 0, true);
  o_lfloat(lowest, 40, true);
  o_lstring("min", 0, true);
  o_newline(0);
}

void doReportPerSecondHistory() {
  rateLine("$SNAPS_PER_SECOND", maxSnapsPerSecond, minSnapsPerSecond);
  rateLine("$EVENTS_PER_SECOND", maxEventsPerSecond, minEventsPerSecond);
}

void doClearCounts() {
  callSnapshots = 0;
  deviceSnapshots = 0;
}

void doClearPerSecondHistory() { resetPerSecondHistory(); }

void doSetJournalToLog() { io_setLogOutputAlso(true); }
void doClearJournalToLog() { io_setLogOutputAlso(false); }
