// The eleven TSAPI functions the voice library calls, and a timed wait made
// from them, behind one table so that tests can put a scripted stream in
// place of the client library; and the clock the library waits on.
#pragma once

#include "csta32/include/csta32.h"

namespace vox {

struct Tsapi {
  RetCode_t (*clearCall)(ACSHandle_t, InvokeID_t, const ConnectionID_t*, const PrivateData_t*);
  RetCode_t (*openStream)(ACSHandle_t*, InvokeIDType_t, InvokeID_t, StreamType_t, const char*,
                          const char*, const char*, const char*, Level_t, const char*,
                          std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t,
                          const PrivateData_t*);
  RetCode_t (*makeCall)(ACSHandle_t, InvokeID_t, const char*, const char*, const PrivateData_t*);
  RetCode_t (*snapshotCall)(ACSHandle_t, InvokeID_t, const ConnectionID_t*, const PrivateData_t*);
  RetCode_t (*escapeService)(ACSHandle_t, InvokeID_t, const PrivateData_t*);
  RetCode_t (*getEventBlock)(ACSHandle_t, void*, std::uint16_t*, PrivateData_t*, std::uint16_t*);
  RetCode_t (*monitorCall)(ACSHandle_t, InvokeID_t, const ConnectionID_t*,
                           const CSTAMonitorFilter_t*, const PrivateData_t*);
  RetCode_t (*getEventPoll)(ACSHandle_t, void*, std::uint16_t*, PrivateData_t*, std::uint16_t*);
  RetCode_t (*closeStream)(ACSHandle_t, InvokeID_t, const PrivateData_t*);
  RetCode_t (*snapshotDevice)(ACSHandle_t, InvokeID_t, const char*, const PrivateData_t*);
  RetCode_t (*monitorStop)(ACSHandle_t, InvokeID_t, CSTAMonitorCrossRefID_t, const PrivateData_t*);
  // The next event within timeoutMs, else ACSERR_NOMESSAGE. The client
  // library has no timed wait: the real one polls (getEventPoll) on timing().
  RetCode_t (*getEventWithin)(ACSHandle_t, void*, std::uint16_t*, PrivateData_t*, unsigned timeoutMs);
};

// Where time comes from: the real clock, or a test's.
struct Timing {
  std::uint64_t (*millis)();
  void (*sleep)(unsigned ms);
};
const Timing& timing();
void setTimingForTests(const Timing* t);  // null: the real clock

// The client library's functions.
const Tsapi& realTsapi();
// What channels use; the client library unless a test replaced it (null puts
// the client library back). Replace only while no channel is open.
const Tsapi& tsapi();
void setTsapiForTests(const Tsapi* calls);

}  // namespace vox
