// The event loop of probix32: the poll that drains the stream, the dispatcher
// that keeps stream, call and snapshot state up to date before the formatter
// writes each event, the WAIT and WATCH commands, and the continuous-snapshot
// load test. Everything runs on the shell's thread, one event at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "csta32/include/csta32.h"

// Sizes of the buffers an event is read into. The event buffer holds 2332
// bytes where pointers are 32 bits wide: a device snapshot of 24 calls (the
// most the program shows) with room for their connection states. Such a
// snapshot grows with the pointers in its records, and so does the buffer,
// so that whatever fits one build fits every build.
namespace event_buffer {
constexpr std::size_t kNarrowSize = 2332;
constexpr std::size_t kCalls = 24;
constexpr std::size_t kNarrowFixed = 24;  // header and snapshot, aligned to 8
constexpr std::size_t kNarrowEntry = 80;  // CSTASnapshotDeviceResponseInfo_t
constexpr std::size_t fixedPart() {
  return (offsetof(CSTAEvent_t, event) + offsetof(CSTAConfirmationEvent, u) +
          sizeof(CSTASnapshotDeviceConfEvent_t) + 7) / 8 * 8;
}
constexpr std::size_t size() {
  return kNarrowSize + (fixedPart() - kNarrowFixed) +
         kCalls * (sizeof(CSTASnapshotDeviceResponseInfo_t) - kNarrowEntry);
}
static_assert(sizeof(void*) > 4 || size() == kNarrowSize, "2332 bytes on 32-bit builds");
static_assert(size() >= sizeof(CSTAEvent_t), "room for every fixed-size event");
}  // namespace event_buffer
#define EVENT_BUFFER_SIZE (event_buffer::size())
#define PRIVATE_BUFFER_SIZE 405

// Continuous-snapshot load test.
extern bool loadServer;
extern unsigned char numberInitialSnapshots;  // 2
extern std::uint16_t snapshotsPerformed;      // in the current round

// The poll: takes every queued event, has it dispatched and (with event
// reports on) written, and reopens a lost stream at most once a minute.
void doGetEvents();
// The dispatcher. `pvt` is the event's private data, or null.
void handleEvent(const CSTAEvent_t* event, const PrivateData_t* pvt);

// Installed once at start-up: doGetEvents becomes the poll of every pause
// and wait, and runs while the shell is idle whenever autoEvents is on.
void installEventPoll();
void doAutoEvents(bool on);

// Command handlers.
void doWait();                   // WAIT
void doWatch();                  // WATCH
void doSetContinuous();          // SET CONTINUOUS_SNAPSHOTS
void doClearContinuous();        // CLEAR CONTINUOUS_SNAPSHOTS
void doSetAutoEvents();          // SET AUTOMATIC_EVENT_REPORTING
void doClearAutoEvents();        // CLEAR AUTOMATIC_EVENT_REPORTING
void doSetEventReports();        // SET EVENT_REPORTS
void doClearEventReports();      // CLEAR EVENT_REPORTS
void doSetInvokeIDstamps();      // SET INVOKEIDSTAMPS
void doClearInvokeIDstamps();    // CLEAR INVOKEIDSTAMPS
void doSetDelayStamps();         // SET DELAYSTAMPS
void doClearDelayStamps();       // CLEAR DELAYSTAMPS
void doSetTimestamps();          // SET TIMESTAMPS
void doClearTimestamps();        // CLEAR TIMESTAMPS
void doSetStopPlay();            // SET STOP_PLAY_AUTOMATICALLY
void doClearStopPlay();          // CLEAR STOP_PLAY_AUTOMATICALLY

// Clocks of the poll (seconds) and of waits and rates (milliseconds). Tests
// put their own in; null restores the real ones.
typedef std::int64_t (*EventSecondsClock)();
typedef std::uint64_t (*EventMillisClock)();
void setEventClocksForTests(EventSecondsClock seconds, EventMillisClock millis);
// Counters, monitors, load test and poll times back to their start (tests).
void resetEventState();

// Reopening a lost stream: the seconds since the last try before the next
// one, 1 while the link is up (the first try after a drop goes at once
// unless the stream was reopened within the second), then doubling after
// each failed try up to kReopenMostSeconds.
const int kReopenMostSeconds = 60;
int reopenWaitSeconds();
// A snapshot of a doubted call asked with this invoke ID.
void rememberCallCheck(InvokeID_t invokeID, std::int32_t callID);
