// A scripted TSAPI stream behind the channel's seam: requests are recorded,
// events come from a queue the test fills. Requests are confirmed the way
// the switch does (the confirmation joins the end of the queue) unless the
// test says otherwise. An empty queue reads as "no message" when polled and
// as a failed read (ACSERR_BADHDL) when blocking, so a test never hangs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "csta32/include/csta32.h"
#include "private/telvanix_private.h"
#include "voxbridge/tsapi.h"

namespace voxtest {

struct SentRequest {
  std::string op;  // "open", "escape", "snapshotDevice", "makeCall", "monitorCall",
                   // "monitorStop", "clearCall", "snapshotCall", "close"
  InvokeID_t invokeID = 0;
  ConnectionID_t call{};
  std::string device;
  CSTAMonitorCrossRefID_t crossRef = 0;
  TelvanixPrivateMessage message{};  // escape requests
  std::size_t privateBytes = 0;      // bytes the escape request carried
};

class FakeStream {
 public:
  FakeStream();   // installs itself and a test clock
  ~FakeStream();  // puts the real library and clock back

  // Queued events.
  void pushEvent(EventClass_t cls, EventType_t type, InvokeID_t invokeID = 0);
  void pushCallCleared(std::int32_t callID);
  void pushConnectionCleared(std::int32_t callID, const char* releasing);
  void pushPrivate(privateMessageID type, std::int32_t callID, std::uint32_t fileInvokeID = 0,
                   std::uint32_t position = 0);
  void pushDigits(const char* digits, int count = -1, std::int32_t callID = 5);
  void pushSnapshotCall(InvokeID_t invokeID, int parties);
  void pushUniversalFailure(EventClass_t cls, InvokeID_t invokeID, int error);
  void pushTooSmall();  // one read that reports ACSERR_UBUFSMALL
  std::size_t queued() const { return queue_.size(); }

  // How the next requests of an operation are answered.
  void refuseNext(const std::string& op, RetCode_t code);     // request returns code
  void failNext(const std::string& op, EventClass_t cls);     // universal failure conf
  void confirmWithoutQueueing(const std::string& op);         // nothing arrives for it
  // When an escape request of `msgType` is sent, `then` runs (to push the
  // events the server sends); before its confirmation is queued, or after.
  void onEscape(int msgType, std::function<void()> then, bool beforeConfirmation = false);
  // The bytes of the play file named by the last play request, read when it
  // was sent.
  std::string playedBytes;
  // The device snapshot: calls on the device (callID, first state).
  std::vector<std::pair<std::int32_t, LocalConnectionState_t>> deviceCalls;
  int callSnapshotParties = 3;
  // Nothing more comes: a wait with a deadline runs into it.
  bool silent = false;

  std::vector<SentRequest> sent;
  std::vector<std::string> ops() const;
  std::vector<int> escapeTypes() const;
  int pollCount = 0;
  int sleeps = 0;
  unsigned sleptMs = 0;
  std::uint64_t clockMs = 0;

  struct Queued {
    std::function<std::uint16_t(std::uint8_t* buf)> write;  // returns the size
    std::vector<std::uint8_t> privateData;                  // header + data
    RetCode_t code = 0;
  };

 private:
  friend struct FakeCalls;
  RetCode_t request(SentRequest r, EventClass_t cls, EventType_t type,
                    std::function<void(CSTAEvent_t&, std::uint8_t*, std::uint16_t&)> fill = nullptr);
  RetCode_t read(void* buf, std::uint16_t* size, PrivateData_t* priv, bool block);

  std::deque<Queued> queue_;
  std::vector<std::pair<std::string, RetCode_t>> refusals_;
  std::vector<std::pair<std::string, EventClass_t>> failures_;
  std::vector<std::string> silent_;
  struct Hook {
    int msgType;
    std::function<void()> then;
    bool before;
  };
  std::vector<Hook> hooks_;
  InvokeID_t nextInvoke_ = 1;
  std::int32_t nextCall_ = 5;
  CSTAMonitorCrossRefID_t nextRef_ = 100;
  static FakeStream* current_;
  static const vox::Tsapi calls_;
};

}  // namespace voxtest
