// The private message display: the text form of the server's private
// messages, which arrive in ESCAPE_SVC_CONF confirmations and PRIVATE_STATUS
// events. The event formatter hands each one over here.
#pragma once

#include "csta32/include/csta32.h"

// Writes the private message carried by `message` (its own lines, each
// starting with `prefix`, payload fields from column `indent` on). A null
// message writes nothing.
void o_privateMessage(const PrivateData_t* message, const char* prefix, int indent);
