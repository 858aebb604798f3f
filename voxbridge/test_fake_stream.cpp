#include "voxbridge/test_fake_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "voxbridge/channel.h"

namespace voxtest {

FakeStream* FakeStream::current_ = nullptr;

struct FakeCalls {
  static FakeStream& s() { return *FakeStream::current_; }
  static std::uint64_t millis() { return s().clockMs; }
  static void sleep(unsigned ms) {
    s().sleeps++;
    s().sleptMs += ms;
    s().clockMs += ms;
  }

  static RetCode_t clearCall(ACSHandle_t, InvokeID_t, const ConnectionID_t* c, const PrivateData_t*) {
    SentRequest r;
    r.op = "clearCall";
    r.call = *c;
    return s().request(r, CSTACONFIRMATION, CSTA_CLEAR_CALL_CONF);
  }
  static RetCode_t openStream(ACSHandle_t* h, InvokeIDType_t, InvokeID_t, StreamType_t, const char* server,
                              const char*, const char*, const char*, Level_t, const char*, std::uint16_t,
                              std::uint16_t, std::uint16_t, std::uint16_t, const PrivateData_t*) {
    *h = 7;
    SentRequest r;
    r.op = "open";
    r.device = server;
    return s().request(r, ACSCONFIRMATION, ACS_OPEN_STREAM_CONF);
  }
  static RetCode_t makeCall(ACSHandle_t, InvokeID_t, const char* from, const char*, const PrivateData_t*) {
    SentRequest r;
    r.op = "makeCall";
    r.device = from;
    std::int32_t id = s().nextCall_++;
    std::string dev = from;
    return s().request(r, CSTACONFIRMATION, CSTA_MAKE_CALL_CONF,
                       [id, dev](CSTAEvent_t& e, std::uint8_t*, std::uint16_t&) {
                         e.event.cstaConfirmation.u.makeCall.newCall.callID = id;
                         std::snprintf(e.event.cstaConfirmation.u.makeCall.newCall.deviceID, 64, "%s", dev.c_str());
                       });
  }
  static RetCode_t snapshotCall(ACSHandle_t, InvokeID_t, const ConnectionID_t* c, const PrivateData_t*) {
    SentRequest r;
    r.op = "snapshotCall";
    r.call = *c;
    int parties = s().callSnapshotParties;
    return s().request(r, CSTACONFIRMATION, CSTA_SNAPSHOT_CALL_CONF,
                       [parties](CSTAEvent_t& e, std::uint8_t*, std::uint16_t&) {
                         e.event.cstaConfirmation.u.snapshotCall.snapshotData.count = parties;
                       });
  }
  static RetCode_t escape(ACSHandle_t, InvokeID_t, const PrivateData_t* pd) {
    SentRequest r;
    r.op = "escape";
    r.privateBytes = PRIVATE_DATA_HEADER + pd->length;
    readPrivateBytes(pd, r.privateBytes, &r.message);
    int type = r.message.header.msgType;
    if (type == kqPvtPlay || type == kqPvtPlayTillDTMF) {
      std::string name = getPrivateText(r.message.file.fileName);
      char local[1024];
      if (plat_map_path(name.c_str(), local, sizeof local)) {
        s().playedBytes.clear();
        plat_handle h = plat_open(local, PLAT_OPEN_READ);
        char buf[4096];
        long n;
        while (h != PLAT_INVALID_HANDLE && (n = plat_read(h, buf, sizeof buf)) > 0)
          s().playedBytes.append(buf, static_cast<std::size_t>(n));
        if (h != PLAT_INVALID_HANDLE) plat_close(h);
      }
    }
    std::vector<FakeStream::Hook> hooks;
    for (auto it = s().hooks_.begin(); it != s().hooks_.end();)
      if (it->msgType == type) {
        hooks.push_back(*it);
        it = s().hooks_.erase(it);
      } else {
        ++it;
      }
    for (auto& h : hooks)
      if (h.before) h.then();
    RetCode_t result = s().request(r, CSTACONFIRMATION, CSTA_ESCAPE_SVC_CONF);
    for (auto& h : hooks)
      if (!h.before) h.then();
    return result;
  }
  static RetCode_t monitorCall(ACSHandle_t, InvokeID_t, const ConnectionID_t* c, const CSTAMonitorFilter_t*,
                               const PrivateData_t*) {
    SentRequest r;
    r.op = "monitorCall";
    r.call = *c;
    CSTAMonitorCrossRefID_t ref = s().nextRef_++;
    return s().request(r, CSTACONFIRMATION, CSTA_MONITOR_CONF,
                       [ref](CSTAEvent_t& e, std::uint8_t*, std::uint16_t&) {
                         e.event.cstaConfirmation.u.monitorStart.monitorCrossRefID = ref;
                       });
  }
  static RetCode_t monitorStop(ACSHandle_t, InvokeID_t, CSTAMonitorCrossRefID_t ref, const PrivateData_t*) {
    SentRequest r;
    r.op = "monitorStop";
    r.crossRef = ref;
    return s().request(r, CSTACONFIRMATION, CSTA_MONITOR_STOP_CONF);
  }
  static RetCode_t closeStream(ACSHandle_t, InvokeID_t, const PrivateData_t*) {
    SentRequest r;
    r.op = "close";
    s().sent.push_back(r);
    return 0;
  }
  static RetCode_t snapshotDevice(ACSHandle_t, InvokeID_t, const char* dev, const PrivateData_t*) {
    SentRequest r;
    r.op = "snapshotDevice";
    r.device = dev;
    auto calls = s().deviceCalls;
    std::string device = dev;
    return s().request(
        r, CSTACONFIRMATION, CSTA_SNAPSHOT_DEVICE_CONF,
        [calls, device](CSTAEvent_t& e, std::uint8_t* buf, std::uint16_t& size) {
          // The list and the states follow the event in the same buffer.
          auto* info = reinterpret_cast<CSTASnapshotDeviceResponseInfo_t*>(buf + sizeof(CSTAEvent_t));
          auto* states = reinterpret_cast<LocalConnectionState_t*>(info + calls.size());
          for (std::size_t i = 0; i < calls.size(); ++i) {
            std::memset(&info[i], 0, sizeof info[i]);
            info[i].callIdentifier.callID = calls[i].first;
            std::snprintf(info[i].callIdentifier.deviceID, 64, "%s", device.c_str());
            states[i] = calls[i].second;
            info[i].getCallState.count = 1;
            info[i].getCallState.state = &states[i];
          }
          auto& d = e.event.cstaConfirmation.u.snapshotDevice.snapshotData;
          d.count = static_cast<std::int32_t>(calls.size());
          d.info = calls.empty() ? nullptr : info;
          size = static_cast<std::uint16_t>(reinterpret_cast<std::uint8_t*>(states + calls.size()) - buf);
        });
  }
  static RetCode_t getBlock(ACSHandle_t, void* buf, std::uint16_t* size, PrivateData_t* priv, std::uint16_t*) {
    return s().read(buf, size, priv, true);
  }
  static RetCode_t getPoll(ACSHandle_t, void* buf, std::uint16_t* size, PrivateData_t* priv, std::uint16_t*) {
    return s().read(buf, size, priv, false);
  }
  // A silent server lets the time pass on the test clock; otherwise as a
  // blocking read.
  static RetCode_t getWithin(ACSHandle_t, void* buf, std::uint16_t* size, PrivateData_t* priv, unsigned ms) {
    if (s().silent && s().queue_.empty()) {
      s().clockMs += ms;
      return ACSERR_NOMESSAGE;
    }
    return s().read(buf, size, priv, true);
  }
};

const vox::Tsapi FakeStream::calls_ = {
    FakeCalls::clearCall,    FakeCalls::openStream, FakeCalls::makeCall,     FakeCalls::snapshotCall,
    FakeCalls::escape,       FakeCalls::getBlock,   FakeCalls::monitorCall,  FakeCalls::getPoll,
    FakeCalls::closeStream,  FakeCalls::snapshotDevice, FakeCalls::monitorStop, FakeCalls::getWithin,
};

namespace {
const vox::Timing kFakeTiming = {FakeCalls::millis, FakeCalls::sleep};
}

FakeStream::FakeStream() {
  current_ = this;
  vox::setTsapiForTests(&calls_);
  vox::setTimingForTests(&kFakeTiming);
}

FakeStream::~FakeStream() {
  vox::setTsapiForTests(nullptr);
  vox::setTimingForTests(nullptr);
  current_ = nullptr;
}

RetCode_t FakeStream::request(SentRequest r, EventClass_t cls, EventType_t type,
                              std::function<void(CSTAEvent_t&, std::uint8_t*, std::uint16_t&)> fill) {
  for (auto it = refusals_.begin(); it != refusals_.end(); ++it)
    if (it->first == r.op) {
      RetCode_t code = it->second;
      refusals_.erase(it);
      r.invokeID = 0;
      sent.push_back(r);
      return code;
    }
  r.invokeID = nextInvoke_++;
  InvokeID_t id = r.invokeID;
  sent.push_back(r);
  auto silent = std::find(silent_.begin(), silent_.end(), r.op);
  if (silent != silent_.end()) {
    silent_.erase(silent);
    return static_cast<RetCode_t>(id);
  }
  for (auto it = failures_.begin(); it != failures_.end(); ++it)
    if (it->first == r.op) {
      EventClass_t fc = it->second;
      failures_.erase(it);
      pushUniversalFailure(fc, id, 12);
      return static_cast<RetCode_t>(id);
    }
  Queued q;
  q.write = [cls, type, id, fill](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.acsHandle = 7;
    e.eventHeader.eventClass = cls;
    e.eventHeader.eventType = type;
    if (cls == ACSCONFIRMATION)
      e.event.acsConfirmation.invokeID = id;
    else
      e.event.cstaConfirmation.invokeID = id;
    std::uint16_t size = sizeof(CSTAEvent_t);
    if (fill) fill(e, buf, size);
    return size;
  };
  if (cls == CSTACONFIRMATION && type == CSTA_ESCAPE_SVC_CONF) {
    // The reply carries the request back.
    const SentRequest& last = sent.back();
    const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(&last.message);
    q.privateData.assign(p, p + PRIVATE_DATA_HEADER + last.message.header.length);
  }
  queue_.push_back(q);
  return static_cast<RetCode_t>(id);
}

RetCode_t FakeStream::read(void* buf, std::uint16_t* size, PrivateData_t* priv, bool block) {
  if (!block) ++pollCount;
  if (queue_.empty()) return block ? ACSERR_BADHDL : ACSERR_NOMESSAGE;
  Queued q = queue_.front();
  queue_.pop_front();
  if (q.code != 0) {
    if (q.code == ACSERR_UBUFSMALL) *size = 5000;
    return q.code;
  }
  std::uint8_t* b = static_cast<std::uint8_t*>(buf);
  *size = q.write(b);
  if (priv) {
    std::size_t room = priv->length;
    if (q.privateData.size() >= PRIVATE_DATA_HEADER) {
      std::size_t n = std::min(q.privateData.size() - PRIVATE_DATA_HEADER, room);
      std::memcpy(priv, q.privateData.data(), PRIVATE_DATA_HEADER + n);
      priv->length = static_cast<std::uint16_t>(n);
    } else {
      priv->length = 0;
    }
  }
  return 0;
}

void FakeStream::pushEvent(EventClass_t cls, EventType_t type, InvokeID_t invokeID) {
  Queued q;
  q.write = [cls, type, invokeID](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.eventClass = cls;
    e.eventHeader.eventType = type;
    if (cls == ACSCONFIRMATION) e.event.acsConfirmation.invokeID = invokeID;
    if (cls == CSTACONFIRMATION) e.event.cstaConfirmation.invokeID = invokeID;
    return sizeof(CSTAEvent_t);
  };
  queue_.push_back(q);
}

void FakeStream::pushCallCleared(std::int32_t callID) {
  Queued q;
  q.write = [callID](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.eventClass = CSTAUNSOLICITED;
    e.eventHeader.eventType = CSTA_CALL_CLEARED;
    e.event.cstaUnsolicited.u.callCleared.clearedCall.callID = callID;
    return sizeof(CSTAEvent_t);
  };
  queue_.push_back(q);
}

void FakeStream::pushConnectionCleared(std::int32_t callID, const char* releasing) {
  std::string who = releasing;
  Queued q;
  q.write = [callID, who](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.eventClass = CSTAUNSOLICITED;
    e.eventHeader.eventType = CSTA_CONNECTION_CLEARED;
    auto& cc = e.event.cstaUnsolicited.u.connectionCleared;
    cc.droppedConnection.callID = callID;
    std::snprintf(cc.releasingDevice.deviceID, 64, "%s", who.c_str());
    return sizeof(CSTAEvent_t);
  };
  queue_.push_back(q);
}

namespace {

FakeStream::Queued privateStatus(const TelvanixPrivateMessage& m) {
  FakeStream::Queued q;
  q.write = [](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.eventClass = CSTAUNSOLICITED;
    e.eventHeader.eventType = CSTA_PRIVATE_STATUS;
    return sizeof(CSTAEvent_t);
  };
  const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(&m);
  q.privateData.assign(p, p + PRIVATE_DATA_HEADER + m.header.length);
  return q;
}

}  // namespace

void FakeStream::pushPrivate(privateMessageID type, std::int32_t callID, std::uint32_t fileInvokeID,
                             std::uint32_t position) {
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, type, callID, "401");
  m.file.invokeID = fileInvokeID;
  m.file.position = position;
  queue_.push_back(privateStatus(m));
}

void FakeStream::pushDigits(const char* digits, int count, std::int32_t callID) {
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, kqPvtDigitsSeen, callID, "401");
  std::size_t n = std::strlen(digits);
  std::memcpy(m.digits.digits, digits, std::min(n, sizeof m.digits.digits));
  m.digits.count = static_cast<std::int16_t>(count < 0 ? static_cast<int>(n) : count);
  queue_.push_back(privateStatus(m));
}

void FakeStream::pushSnapshotCall(InvokeID_t invokeID, int parties) {
  Queued q;
  q.write = [invokeID, parties](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.eventClass = CSTACONFIRMATION;
    e.eventHeader.eventType = CSTA_SNAPSHOT_CALL_CONF;
    e.event.cstaConfirmation.invokeID = invokeID;
    e.event.cstaConfirmation.u.snapshotCall.snapshotData.count = parties;
    return sizeof(CSTAEvent_t);
  };
  queue_.push_back(q);
}

void FakeStream::pushUniversalFailure(EventClass_t cls, InvokeID_t invokeID, int error) {
  Queued q;
  q.write = [cls, invokeID, error](std::uint8_t* buf) -> std::uint16_t {
    CSTAEvent_t& e = *reinterpret_cast<CSTAEvent_t*>(buf);
    std::memset(&e, 0, sizeof e);
    e.eventHeader.eventClass = cls;
    if (cls == ACSCONFIRMATION) {
      e.eventHeader.eventType = ACS_UNIVERSAL_FAILURE_CONF;
      e.event.acsConfirmation.invokeID = invokeID;
      e.event.acsConfirmation.u.failureEvent.error = error;
    } else if (cls == ACSUNSOLICITED) {
      e.eventHeader.eventType = ACS_UNIVERSAL_FAILURE;
      e.event.acsUnsolicited.u.failureEvent.error = error;
    } else {
      e.eventHeader.eventType = CSTA_UNIVERSAL_FAILURE_CONF;
      e.event.cstaConfirmation.invokeID = invokeID;
      e.event.cstaConfirmation.u.universalFailure.error = error;
    }
    return sizeof(CSTAEvent_t);
  };
  queue_.push_back(q);
}

void FakeStream::pushTooSmall() {
  Queued q;
  q.code = ACSERR_UBUFSMALL;
  queue_.push_back(q);
}

void FakeStream::onEscape(int msgType, std::function<void()> then, bool beforeConfirmation) {
  hooks_.push_back(Hook{msgType, std::move(then), beforeConfirmation});
}

void FakeStream::refuseNext(const std::string& op, RetCode_t code) { refusals_.emplace_back(op, code); }
void FakeStream::failNext(const std::string& op, EventClass_t cls) { failures_.emplace_back(op, cls); }
void FakeStream::confirmWithoutQueueing(const std::string& op) { silent_.push_back(op); }

std::vector<std::string> FakeStream::ops() const {
  std::vector<std::string> out;
  for (const auto& r : sent) {
    if (r.op == "escape")
      out.push_back("escape " + std::to_string(r.message.header.msgType));
    else
      out.push_back(r.op);
  }
  return out;
}

std::vector<int> FakeStream::escapeTypes() const {
  std::vector<int> out;
  for (const auto& r : sent)
    if (r.op == "escape") out.push_back(r.message.header.msgType);
  return out;
}

}  // namespace voxtest
