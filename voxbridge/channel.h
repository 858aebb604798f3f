// DialogicChannel: one open voice device. A channel device has a TSAPI
// stream of its own to its board's server; a board device has none. Every
// operation runs on the application's calling thread and reads the channel's
// stream there; the only other thread that touches a channel is one calling
// dx_stopch, which sends its stop request without reading (Stop): what
// Stop reads is atomic or taken under connectionMutex_.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "csta32/include/csta32.h"
#include "platform/platform.h"
#include "private/telvanix_private.h"
#include "voxbridge/include/voxlib.h"
#include "voxbridge/tsapi.h"

namespace vox {

const std::uint16_t kEventBufferSize = 4096;
const std::uint16_t kPrivateBufferSize = 4096;
const std::uint16_t kPrivateLength = kPrivateBufferSize - PRIVATE_DATA_HEADER;  // 4062
const std::size_t kDigitBufferSize = 64;
const std::size_t kMaxHeldEvents = 64;

// Termination reasons (ATDX_TERMMSK).
const std::uint32_t kTermAlways = TM_ERROR | TM_USRSTOP;

// The mask bit of a DTMF character; 0 for anything else.
std::uint32_t digitMask(char digit);

// How long a request waits for its confirmation before the library gives
// up on the server (as long as the client library waits on a stuck send).
const unsigned kConfirmationWaitMs = 15000;
// How long a record waits for its end report once it was stopped.
const unsigned kRecordEndWaitMs = 5000;

// Play copies the application's segments through a buffer of this many
// bytes at most; tests make it small (0 puts the default back).
void setPlayPieceForTests(std::size_t bytes);
std::size_t playPieceHighWaterForTests();  // the largest buffer used so far

class DialogicChannel {
 public:
  explicit DialogicChannel(const char* name);
  ~DialogicChannel();
  DialogicChannel(const DialogicChannel&) = delete;
  DialogicChannel& operator=(const DialogicChannel&) = delete;

  // Stream and event readers.
  static void BuildPrivateRequest(TelvanixPrivateVoxMessage* area, privateMessageID msgType,
                                  const ConnectionID_t& connection);
  RetCode_t WaitUnsolicitedEvent(EventType_t* eventType, bool withPrivate);
  RetCode_t GetUnsolicitedEvent(EventType_t* eventType, bool withPrivate);
  int GetConfirmationEvent(ACSHandle_t handle, RetCode_t invokeID, EventType_t expectedType,
                           void* buffer);

  // Operations.
  int Play(DX_IOTT* iott, DV_TPT* tpt);
  int Record(DX_IOTT* iott, DV_TPT* tpt);
  int GetDigit(DV_TPT* tpt, DV_DIGIT* digits);
  int Stop(bool force);
  void ClearDigitBuffer();

  void PrepareCall(bool createCall);
  int ReleaseCall();
  int GetDTMFDetector();
  void ReleaseDTMFDetector(const ConnectionID_t& conn, CSTAMonitorCrossRefID_t crossRefID);
  void ProcessDialedDigits(const TelvanixPrivateMessage& message, std::uint32_t stopMask);
  int CollectDigits(DV_DIGIT* digits, std::uint32_t stopMask, int maxCount,
                    std::uint32_t* receivedMask);
  std::uint32_t CheckDigit(char digit);
  void DeleteTempFile(const char* path);

  // The event last read, and its private message (when it carried one).
  const CSTAEvent_t& event() const { return *reinterpret_cast<const CSTAEvent_t*>(eventBuffer); }
  bool privateMessage(TelvanixPrivateMessage* out) const;
  std::size_t heldEvents() const { return held_.size(); }

  // The fields, in their documented order.
  std::uint8_t isOpen = 0;
  std::atomic<std::uint8_t> isPlaying{0};
  std::atomic<std::uint8_t> isRecording{0};
  std::atomic<std::uint8_t> isCollecting{0};
  std::atomic<std::uint8_t> stopRequested{0};
  std::uint8_t* eventBuffer = nullptr;
  ConnectionID_t connection;
  ConnectionID_t monitoredConnection;
  std::uint8_t* privateBuffer = nullptr;
  std::uint16_t eventBufferSize = kEventBufferSize;
  std::uint16_t privateLength = kPrivateLength;
  std::string name;
  char deviceID[64];
  ACSHandle_t acsHandle = static_cast<ACSHandle_t>(-1);
  std::int32_t board = -1;
  std::int32_t channel = -1;
  std::uint32_t pendingTermMask = 0;
  std::uint32_t actualTermMask = 0;
  char digitBuffer[kDigitBufferSize];
  std::int32_t digitCount = 0;
  std::int32_t digitsTaken = 0;
  std::int32_t bytesTransferred = 0;
  std::atomic<std::int32_t> lastError{0};
  std::uint32_t privateCallMade = 0;
  std::uint32_t detectorHeld = 0;
  CSTAMonitorCrossRefID_t monitorCrossRefID = 0;
  std::uint32_t requestCounter = 0;

 private:
  struct HeldEvent {
    std::vector<std::uint8_t> event;
    std::vector<std::uint8_t> privateData;  // header and data, as read
    std::int32_t callID = 0;                // the call it belongs to; 0: a snapshot answer
    InvokeID_t invokeID = 0;
  };
  enum class OpKind : std::uint8_t { Play, Record, Digits };
  struct Operation;
  class Claim;
  // What one read (and the operation's judgement of it) means.
  enum Step { kGoOn, kJudge, kEnded, kFailed };
  // What the termination list says before anything is sent.
  enum Arm { kArmed, kEndedAtOnce, kRefused };

  // The reads.
  RetCode_t readEvent(bool block, EventType_t* eventType, bool withPrivate);
  bool takeHeld(std::uint16_t* size, bool withPrivate);
  void hold(const void* event, std::size_t size, const PrivateData_t* priv);
  bool mattersLater(const CSTAEvent_t& ev, const PrivateData_t* priv, HeldEvent* h) const;
  int readConfirmation(ACSHandle_t handle, RetCode_t invokeID, void* buffer, PrivateData_t* area);
  bool passOver(const CSTAEvent_t& ev, RetCode_t invokeID, const PrivateData_t* area);
  int judgeConfirmation(const CSTAEvent_t& ev, EventType_t expectedType);

  // The call.
  void setConnection(const ConnectionID_t& conn);
  bool findCall(bool createCall);
  void watchCall();
  bool isCurrentCall(std::int32_t callID) const;
  bool isOwnRelease(const CSTAEvent_t& ev, bool recording) const;
  void clearOwnCall();
  void askCallSnapshot();
  bool isSnapshotAnswer(const CSTAEvent_t& ev);
  bool snapshotSaysGone(const CSTAEvent_t& ev, int maxParties);
  void settleCallSnapshot(int maxParties);
  int sendRequest(TelvanixPrivateVoxMessage* area);

  // The operations' common parts.
  int operate(OpKind kind, DX_IOTT* iott, DV_TPT* tpt, DV_DIGIT* digits);
  int play(Operation& op, DX_IOTT* iott, DV_TPT* tpt);
  int record(Operation& op, DX_IOTT* iott, DV_TPT* tpt);
  int getDigits(Operation& op, DV_TPT* tpt, DV_DIGIT* digits);
  bool requestAndWait(Operation& op, TelvanixPrivateVoxMessage* area, std::int32_t length);
  int finish(Operation& op, bool ended);
  int refuseBusy();
  void begin(Operation& op);
  Arm armTerminations(Operation& op, DV_TPT* tpt);
  Arm armOne(Operation& op, const DV_TPT& t);
  Arm armDigitMask(Operation& op, std::uint32_t mask);
  bool runUntilEnd(Operation& op);
  Step readStep(Operation& op, EventType_t* type);
  Step quietPoll(Operation& op);
  Step judge(Operation& op, EventType_t type);
  Step judgeReport(Operation& op, const TelvanixPrivateMessage& m);
  Step otherEvent(Operation& op);
  Step takeDigits(Operation& op, const TelvanixPrivateMessage& m);
  bool digitsDone(Operation& op);
  void sendRecordStop(Operation& op);
  bool buildRecordRequest(DX_IOTT* iott, Operation& op, TelvanixPrivateVoxMessage* area);

  // Play's file.
  int writePlayFile(DX_IOTT* iott, std::string* tempPath, std::uint64_t* total);
  bool makeTempFile(std::string* winPath, plat_handle* file);

  std::deque<HeldEvent> held_;
  RetCode_t snapshotInvoke_ = 0;  // the call snapshot whose answer counts
  std::uint16_t lastEventSize_ = 0;
  std::atomic<bool> busy_{false};  // an operation runs
  std::mutex connectionMutex_;     // connection and acsHandle, as Stop reads them
};

}  // namespace vox
