// Commands that look at devices and calls (snapshots, device information,
// bulk line and trunk reports), read and set device features (do not
// disturb, message waiting, forwarding), and start and stop monitors,
// including the bulk monitors unattended call logging relies on and the
// automatic call monitor of calls not yet tracked.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "csta32/include/csta32.h"

// Monitors: the last cross-reference ID confirmed, and the first one
// confirmed for each device (the dispatcher fills both in).
extern CSTAMonitorCrossRefID_t lastMonitorID;
extern std::map<std::string, CSTAMonitorCrossRefID_t> monitorDictionary;

// Last answers of the bulk reports.
extern long trunkCount;  // 6
extern long lineCount;   // 18

// Bulk monitors stop here at the latest.
#define MAX_MONITORED_LINES 256
#define MAX_MONITORED_EXTENSIONS 512
// A bulk report pauses this often, a second each time, while the library
// says its queue is full.
#define REPORT_RETRY_PAUSES 10

// What SNAP and HANGUP choose between: a call or a device, current or named.
struct CallOrDeviceRow {
  const char* name;
  void (*snapshot)();
  void (*hangup)();
};
extern const CallOrDeviceRow callOrDeviceRows[5];  // ends with a null name

void doSnapshots();          // SNAP, GET SNAPSHOT
void doSnapDevice();         // SNAP DEVICE
void doSnapCurrentDevice();  // SNAP CURRENT_DEVICE
void doSnapCall();           // SNAP EXPLICIT_CALL
void doSnapCurrentCall();    // SNAP CALL
void doQueryDeviceInfo();    // GET DEVICE_INFO
void doTrunkReport();        // TRUNK_REPORT
void doLineReport();         // LINE_REPORT
// One device snapshot each of L1#1.. (trunks) or X1#1.. (lines).
void doMultiLineReport(bool onTrunks);
void doGetDoNotDisturb();    // GET DO_NOT_DISTURB
void doSetDoNotDisturb();    // SET DO_NOT_DISTURB
void doGetMessageWaiting();  // GET MESSAGE_WAITING_INDICATOR
void doSetMessageWaiting();  // SET MESSAGE_WAITING_INDICATOR
void doGetForwarding();      // GET FORWARDING
void doMonitors();           // MONITOR
void doMonitorDevice();      // MONITOR DEVICE
void doMonitorCall();        // MONITOR CALL
void doMonitorExtensions();  // MONITOR EXTENSIONS; also unattended logging at open
void doMonitorLines();       // MONITOR LINES; also unattended logging at open
void doEndMonitor();         // CLEAR MONITOR
// The bulk monitors again after a reopen: the devices found last time are
// asked at once, then any more one by one.
void monitorLinesAgain();
void monitorExtensionsAgain();

// A monitor on a call the dispatcher does not track yet. Only while call
// logging is enabled, never for call ID 0 nor for the "Playing" and
// "Recording" pseudo-devices; `deviceID` may be null.
void startCallMonitor(std::int32_t callID, const char* deviceID);
// The device a monitor request of ours named ("" for a call monitor), found
// by the request's invoke ID when its confirmation comes; false when no
// monitor request went out with that ID. Each request is found once.
bool takeMonitorRequest(InvokeID_t invokeID, std::string* device);
// Forgets every monitor and every monitor request still waiting (invoke
// IDs start again), and how many devices the bulk monitors found.
void forgetMonitorRequests();
// The call snapshot of call-snapshot polling.
void doSnapshotActiveCall(std::int32_t callID);

