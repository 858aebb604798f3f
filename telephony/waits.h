// What commands wait on: the counters the dispatcher keeps, the answers it
// notes by invoke ID, and the waits that poll until one of them moves. The
// waits run the event poll installed at start-up, on the console's clock.
#pragma once

#include "csta32/include/csta32.h"

// Counters. WATCH watches the first four.
extern long ackCount;       // confirmations
extern long errCount;       // stream errors
extern long cstaFailCount;  // CSTA universal failures
extern long msgCount;       // events received
extern long eventsProcessed;

// Polls for up to `seconds`; true as soon as *varToWatch differs from
// `value`. A null varToWatch waits the full time.
bool doWatchTime(long seconds, const long* varToWatch, long value);
// Polls for up to `seconds`; true as soon as the request sent with `id` is
// answered, confirmed or failed. Called right after the request is sent
// (no poll in between). waitForLastReply waits for the request sent last.
// The dispatcher notes each answer with noteAnswer.
bool waitForReply(InvokeID_t id, double seconds);
bool waitForLastReply(double seconds);
void noteAnswer(InvokeID_t id);

// Counters at 0 and no answer awaited (tests).
void resetWaits();
