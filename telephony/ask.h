// Asking for the call and device a command acts on. The call-control, query
// and private commands share these: each offers the remembered value as the
// default and keeps the answer, and a precondition's complaint goes to the
// console.
#pragma once

#include <cstdint>

#include "csta32/include/csta32.h"

// The current device, given its default ("201") first when none was chosen.
const char* usePrimaryDevice();
// The number last called, a copy of the current device until one is chosen.
const char* useCallee();

// A connection argument: the call, the device cut to 64 characters (empty
// when null), STATIC_ID.
ConnectionID_t connectionOf(std::int32_t callID, const char* device);

// Questions that keep their answer. Each asks with the variable's value as
// default and stores the answer; false when no answer can be had any more
// (end of input), and then the variable is left as it was.
bool askDevice(const char* prompt, char** variable);
bool askCallID(const char* prompt, std::int32_t* variable);  // hexadecimal
// True when the last question found no input left at all.
bool inputEnded();

// Prints a precondition's complaint to the console.
void complain(const char* message);
