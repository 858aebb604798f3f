// The command table of probix32, its keyword lists and the dispatcher.
#pragma once

#include <cstddef>

typedef void (*ActionRoutine)();

// One row of the command table. The table ends with a row whose name is null.
struct COMMAND {
  const char* name;               // upper case
  ActionRoutine action_routine;
  char reported;                  // informational only
  char expert;                    // 1: only while expert mode is on
  const char* help;               // null: not shown by HELP
};

extern const COMMAND commands[];

// One keyword of a sub-command (GET, SET, ...) and what it does. Each table
// is the sub-command's keyword list, ends with a null name, and is searched
// by exact compare after the list has chosen a word.
struct KEYWORD_ACTION {
  const char* name;
  ActionRoutine action;
};

// The longest keyword list a sub-command may offer.
constexpr size_t kMaxKeywords = 40;

extern const KEYWORD_ACTION getActions[];
extern const KEYWORD_ACTION setActions[];
extern const KEYWORD_ACTION clearActions[];
extern const KEYWORD_ACTION reportActions[];
extern const KEYWORD_ACTION stopActions[];

// Runs one command word (upper case). True when it was handled or skipped by
// a GOTO search; false when unrecognised or ambiguous (the message is printed).
bool doCommandTable(const char* word);

// Runs the action of keyword in table; command names the sub-command for
// messages. False when the table has no such keyword.
bool runKeyword(const char* command, const KEYWORD_ACTION* table, const char* keyword);

// Fills names with the words of table and a closing null, for the list
// prompt. False when size cannot hold them all.
bool keywordNames(const KEYWORD_ACTION* table, const char** names, size_t size);


// Handlers of the shell itself.
void doNull();
void doQuestion();
void doHelp();
void doSetdebug();
void doSetdetailed();
void doCleardebug();
void doSetexpert();
void doClearexpert();
void doGets();
void doSets();
void doClears();
void doReports();
void doHangups();
void doStops();
void doReportCounts();
void doReportSpace();
void doReportStatus();
void doReportPerSecondHistory();
void doClearCounts();
void doClearPerSecondHistory();
void doSetJournalToLog();
void doClearJournalToLog();
