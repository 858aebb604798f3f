// The configuration file telsrvr.ini: which telephony server stands for each
// board, which server device for each channel, and the stream credentials.
// Read once (at the first call that needs it) and kept for the process.
#pragma once

#include <cstdint>
#include <string>

namespace vox {

// Reads the file when no board is known yet; does nothing otherwise. Two
// threads arriving together read it once.
void LoadConfiguration();

int configBoardCount();
// Channels of board `board` (from 1); 0 for a board that does not exist.
int configLineCount(int board);
// The device mapped to `line` on board `board`; false when there is none.
bool configLookupLine(int board, std::int32_t line, std::string* deviceID);
std::string configServer(int board);
std::string configUser();
std::string configPassword();
// "C:" until a base directory with a drive letter was read.
std::string configDrive();

// The name check of dx_open: "dxxxB<n>" or "dxxxB<n>C<m>" with a board (and
// channel) that the configuration knows.
bool configCheckDeviceName(const char* name);

// Tests: forget everything; read a given file instead of finding one.
void configResetForTests();
void configReadFileForTests(const char* localPath);
void configParseTextForTests(const std::string& text);
// Normalises one line as the reader does (exposed for tests).
std::string configNormaliseLine(const std::string& line);

}  // namespace vox
