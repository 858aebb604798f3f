// Column output with its destinations, allocation with its limits, and
// messages limited by the printout count.
#pragma once

#include <cstdio>
#include <ctime>

#include "console/settings.h"
#include "platform/platform.h"

// ---- column output, allocation, messages (output.cpp) ----------------------

// Word lists in columns (wordlist.cpp).
void o_print_slist(const void* base, int stride, int offset, int minimumRows, int width,
                   int linesPerPage, const char* pausePrompt);
void o_print_list(const char* const* list, int minimumRows, int width, int linesPerPage,
                  const char* pausePrompt);

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
