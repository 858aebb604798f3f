// The console shell's shared routines: process settings, logical input and
// scripts, readers, word lists, column output, allocation and messages, the
// line editor and the profile file. Every command room uses these.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "platform/platform.h"

// ---- process-wide settings (globals.cpp) -----------------------------------

extern int majorVersion;          // 4
extern int minorVersion;          // 3
extern char shipmentVersion;      // 0: not printed
extern char debugPrint;           // -d, DEBUG
extern char debugDetailed;        // -dd, DETAILED_DEBUG
extern int maxErrorPrintouts;     // -e<n>; 200
extern char manualMode;           // -m / -m-
extern char iniFilename[260];     // "TELVANIX.INI"; -s replaces it
extern const char* iniSection;    // "PROBIX"
extern const char* promptName;    // "PROBIX"
extern char expert_mode;          // expert commands permitted
extern char exitFlag;             // set by EXIT
extern int numberErrors;          // unrecognised command-line arguments
extern char* areaCode;            // owned text or null; default "508"

int getEditNumber();  // 217

// ---- logical input and scripts (input.cpp) -------------------------------

#define MAX_INDIRECT_FILES 10
#define MAX_LABELS 10
#define LABEL_SIGNIFICANT 9
#define LOGICAL_LINE_SIZE 200

typedef void (*IdleRoutine)();

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
void pauseNseconds(double seconds);
// The poll pauseNseconds runs; installed by the event loop when it exists.
IdleRoutine setEventPoller(IdleRoutine routine);
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

// ---- readers (parse.cpp) --------------------------------------------------

char* getuser(const char* prompt, const char* defaultText, bool fold);
char* get_commandWord(const char* prompt, const char* defaultText, bool fold);
char* get_word(const char* prompt, const char* defaultText, bool fold);
char* get_line(const char* prompt, const char* defaultText, bool fold);
long get_number(const char* prompt, long defaultValue);
long get_hexNumber(const char* prompt, long defaultValue);
long i_getNumberInRange(const char* prompt, long defaultValue, long low, long high);
bool get_boolean(const char* prompt, const char* noText, const char* yesText, bool defaultValue);
bool get_yesno(const char* prompt, bool defaultValue);
char* get_phone(const char* prompt, const char* defaultText);
char* get_areaCode(const char* prompt, const char* defaultText);
char* get_filename(const char* prompt, const char* defaultText);
bool replaceWord(const char* prompt, char** variable, bool fold);

struct PhoneNumber {
  int areaCode, exchange, number;
  long extension;
  bool parsed;
};
PhoneNumber parse_phone(const char* text);
bool is_valid_phone(const char* text);
char* normalize_phone(const char* text);  // new text
// Splits a file name; false when the text yields no word. Parts are new texts.
bool parse_filename(const char* text, char** name, char** extension);

char* i_getField(const char* delimiters, const char* line, int n, bool skipRuns);
char* i_afterField(const char* delimiters, const char* line, int n, bool skipRuns);
char* uc_string(char* text);
bool is_blank(const char* text);

// ---- word lists (wordlist.cpp) -------------------------------------------

int compare_name(const char* a, const char* b, int len);
int find_command(const char* word, const char* const* list);
int get_list(const char* prompt, const char* defaultText, const char* const* list, bool allowNone);
void o_print_slist(const void* base, int stride, int offset, int minimumRows, int width,
                   int linesPerPage, const char* pausePrompt);
void o_print_list(const char* const* list, int minimumRows, int width, int linesPerPage,
                  const char* pausePrompt);

// ---- column output, allocation, messages (output.cpp) ----------------------

void o_char(char character, int column, bool force);
void o_lstring(const char* text, int column, bool force);
void o_maxLstring(const char* text, int column, bool force, int max);
void o_lprintf(int column, bool force, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void o_rstring(const char* text, int column, bool force);
void o_lnumber(long value, int column, bool force, int radix);
void o_rnumber(long value, int column, bool force, int radix);
void o_lfloat(double value, int column, bool force);
void o_fixed_number(long value, int column, bool force, int radix, int decimals);
void o_unixSlashTime(time_t t, int column, bool force);
void o_ramount_of_time(long seconds, int column, bool force);
void o_newline(long line);
void o_space();
// Counts the writes that reached the console, so that a line being edited
// can be drawn again after them.
long o_consoleWrites();

FILE* set_o_file(FILE* stream);
plat_handle set_win32_file(plat_handle handle);
bool set_tabs_allowed(bool allowed);
bool io_setLogOutputAlso(bool on);
FILE* open_o_file(const char* path, const char* kind);
bool close_o_file(FILE* stream, const char* path, const char* kind);
void doOpenLogFile();   // SET LOG_FILE
void doCloseLogFile();  // CLEAR LOG_FILE, EXIT; harmless when none is open

void* errmalloc(unsigned long size);
void errfree(void* block);
long number_blocks_out();
unsigned set_max_malloc(unsigned size);
IdleRoutine io_setFatalCallback(IdleRoutine routine);
char* alloc_str(const char* text);

void log_info(bool stamp, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
// Sets maxErrorPrintouts and starts both printout counts again.
void io_setPrintoutLimit(int limit);
void log_error(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
const char* timestamp();

// ---- console line editor (gets.cpp) -------------------------------------------

// Edits buffer (room for 128 bytes) at screen position (row, column); -1 means
// the cursor's current row or column. Returns buffer.
char* echo_gets(int row, int column, char* buffer);
// (echo_gets gives null, with buffer empty, when console input has ended.)

// ---- profile file (getprof.cpp) -------------------------------------------

int ODB_GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* buffer, int size, const char* file);
int ODB_PutPrivateProfileString(const char* section, const char* key, const char* value,
                                const char* file);
char GetParityChar(const char* text);
const char* PutParityChar(char letter);
void Encrypt(const char* plain, char* out);
void Decrypt(const char* hex, char* out);
