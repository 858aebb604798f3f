// The line primitives every display writes with: a first line (the prefix,
// the optional time stamp, a separating blank), the lines that continue it,
// and the fields of text that came from the server (device and connection
// IDs among them). Output goes through the console's column output.
#pragma once

#include <cstddef>

#include "csta32/include/csta32.h"

// Date and time on first lines; off. Returns the old value.
bool o_enableTimestamps(bool on);

// Starts a first line with the prefix (nothing without `verbose`).
void o_firstLineStart(const char* comnt, bool verbose);
// Ends the line and starts the next with the prefix; without verbose the
// text simply goes on where the line stands.
void o_nextLine(const char* comnt, bool verbose);
// Ends the line, only when verbose.
void o_endLine(bool verbose);

// ---- fields (nothing for a null pointer) -------------------------------------------
// Text placed at a column right after the line prefix still gets a separating
// blank, so a prefix wider than the column cannot run into it.

// Text that came from the server, at most `max` characters: control
// characters are shown as \xHH, so a terminal never acts on them.
void o_serverText(const char* text, std::size_t max, int column, bool flag);
void o_deviceID(const char* deviceID, int column, bool flag);  // at most 64 characters
void o_connectionID(const ConnectionID_t* connID, int column, bool flag);
// False, and nothing written, unless the device was provided.
bool o_extendedDeviceID(const ExtendedDeviceID_t* deviceID, int column, bool flag);
