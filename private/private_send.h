// probix32's sending of private messages: the one step that hands a built
// record to the server, and the private-status reporting switch. The records
// themselves are built by the pure routines of telvanix_private.h.
#pragma once

#include "private/telvanix_private.h"

// Sends `message` with cstaEscapeService on the open stream through the
// request routine ACS_CALL, which reports a refusal under `tag`. True when
// the request went out.
bool sendPrivateMessage(const TelvanixPrivateMessage* message, const char* tag);

// Asks the server to start (on) or stop (off) its private-status reports on
// this stream; a message with no call and no device.
bool setPrivateReporting(bool on);
