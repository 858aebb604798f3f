// The server-name table and login of probix32's TSAPI stream.
#pragma once

#define MAX_SERVER_NAMES 5

// Stores a copy of name in the table and returns the slot used (0..4): the
// slot last written when it is free, else the next one; once the fifth slot
// is reached every further name replaces it.
int setServerName(const char* name);
// The name in slot (0..4), or null when the slot is free or out of range.
const char* getServerName(int slot);
// The slot last written (0..4).
int getLastServerName();
// Frees every stored server name; the slot last written stays.
void clearServerNames();

// Login used by every stream open; owned strings (alloc_str) or null.
extern char* userName;
extern char* serverPassword;

// Aborts the open stream without waiting for the server. Safe to call at any
// time: with no stream open it does nothing.
void doAbortStream();
