// The diagnostic log: "C:\temp\kqkvrlog.txt", written only when that file
// exists at the first line of the process (it is emptied then).
#pragma once

#include <cstdarg>
#include <string>

namespace vox {

#if defined(__GNUC__)
#define VOX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VOX_PRINTF(f, a)
#endif

void logLine(const char* format, ...) VOX_PRINTF(1, 2);
void logLineV(const char* format, va_list args) VOX_PRINTF(1, 0);

// Tests: every line (without its line end) also goes to `tap`; and the
// first-line decision can be made again.
void setLogTap(void (*tap)(const std::string& line));
void resetLogForTests();

}  // namespace vox
