// Logical input: the pending rest of a line, scripts, labels, the command
// log, the waits on the one injectable clock and the line editor.
#pragma once

#include <cstdint>
#include <cstdio>

#include "console/settings.h"

// ---- logical input and scripts (input.cpp) -------------------------------

#define MAX_INDIRECT_FILES 10
#define MAX_LABELS 10
#define LABEL_SIGNIFICANT 9
#define LOGICAL_LINE_SIZE 200

// The next logical line (pointer into buffer), or null when none can be had.
char* getLineFromLogicalUser(char* buffer, int size, const char* defaultText);
void i_giveBackLine(const char* text);
const char* i_restOfLine();
void i_ignoreRestOfLine(bool quiet);
void i_endUserInput();
bool addIndirectFile(const char* path);
void closeAllIndirectFiles();
int indirectFileCount();  // scripts open now (0..10)
bool establishLogFile(const char* path);
FILE* commandLogFile();   // the open command log, or null
IdleRoutine setCallWhileIdle(IdleRoutine routine);
// Said by an idle routine that stopped with work left (events still queued):
// the console calls it again at once instead of waiting on input first.
void idleAgainAtOnce();
void pauseNseconds(double seconds);
// The poll pauseNseconds runs; installed by the event loop when it exists.
IdleRoutine setEventPoller(IdleRoutine routine);
// One run of that poll now, without waiting (nothing when none is installed).
void pollEventsNow();
// While a GOTO searches for its label, the label text; otherwise null.
const char* gotoSearchLabel();
// True once the console has no more lines (end of piped input, or the line
// editor gives up). The failure is reported once; the command loop then ends
// as after EXIT, and later reads keep returning null quietly. Console lines
// are followed by "\n" on standard output, typed or piped alike; the editor
// returning null counts as the end of console input.
bool i_consoleInputEnded();
// No answer can come any more: nothing pending, no script, console ended.
// Readers that would ask again for ever settle on a safe answer instead.
bool i_noMoreInput();
// A clean input state, also between tests: i_endUserInput() drops the pending
// rest, closes every script, ends a GOTO search and forgets that the console
// ended; establishLogFile(nullptr) closes the command log. The idle hook and
// the event poller are left as they are (their setters return the old one).

// The clock every pause and wait reads, in milliseconds; null gives back the
// real one. With a test clock the waits do not sleep, so time moves only as
// the clock is read: steppedWaitClock moves 10 ms at each look.
typedef std::uint64_t (*WaitClock)();
WaitClock setWaitClock(WaitClock clock);
std::uint64_t steppedWaitClock();
// A clock that runs `times` as fast as the real one from now on, for runs
// paced by a switch that runs as fast; waits on it sleep as on the real one.
WaitClock fastWaitClock(unsigned times);
// That clock's time now (a read: a stepped clock moves).
std::uint64_t waitClockMillis();
// Polls events until done(context) holds (true) or the time is up (false);
// a termination request ends it early too. pauseNseconds is the wait with
// nothing to look for.
typedef bool (*WaitDone)(const void* context);
bool waitUntil(double seconds, WaitDone done, const void* context);
// Run between events when a hang-up signal came (the call log reopens).
IdleRoutine setHangupHandler(IdleRoutine routine);
// True once a termination request was seen: input then ends as at the end
// of the console, quietly, and waits return at once.
bool i_stopRequested();
// Called by the line editor between keys: -1 when the line is to be given
// up (stopping), 1 when events were handled and wrote to the console (the
// line is drawn again), else 0. Events run only in automatic mode.
int i_whileEditing();

void doIndirect();
void doLogCommands();
void doLabel();
void doGoto();

// ---- console line editor (gets.cpp) -------------------------------------------

// Edits buffer (room for 128 bytes) at screen position (row, column); -1 means
// the cursor's current row or column. Returns buffer.
char* echo_gets(int row, int column, char* buffer);
// (echo_gets gives null, with buffer empty, when console input has ended.)
