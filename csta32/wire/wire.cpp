#include "csta32/wire/wire.h"

#include <algorithm>
#include <cstring>

namespace wire {

namespace {

const std::uint8_t kMagic0 = 'T';
const std::uint8_t kMagic1 = 'X';

void put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t boundedLen(const char* s, std::size_t width) {
  std::size_t n = 0;
  while (n < width && s[n]) ++n;
  return n;
}

// Writer and Reader share the field lists below (visit*), so the two
// directions cannot drift apart.
class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
  static const bool reading = false;
  bool ok() const { return ok_; }
  void fail() { ok_ = false; }

  void u8(std::uint8_t& v) { out_.push_back(v); }
  void u16(std::uint16_t& v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t& v) {
    std::uint8_t b[4];
    put32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  void i16(std::int16_t& v) {
    std::uint16_t u = static_cast<std::uint16_t>(v);
    u16(u);
  }
  void i32(std::int32_t& v) {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    u32(u);
  }
  void boolean(bool& v) {
    std::uint8_t b = v ? 1 : 0;
    u8(b);
  }
  // Fixed-width text field: only the characters up to the first NUL.
  void text(char* s, std::size_t width) {
    std::size_t n = boundedLen(s, width);
    if (n > 255) {
      fail();
      return;
    }
    out_.push_back(static_cast<std::uint8_t>(n));
    out_.insert(out_.end(), s, s + n);
  }
  void str(std::string& s, std::size_t maxLen) {
    if (s.size() > maxLen || s.size() > 255 || std::memchr(s.data(), 0, s.size())) {
      fail();
      return;
    }
    out_.push_back(static_cast<std::uint8_t>(s.size()));
    out_.insert(out_.end(), s.begin(), s.end());
  }
  void blob(std::vector<std::uint8_t>& v, std::size_t maxLen) {
    if (v.size() > maxLen) {
      fail();
      return;
    }
    std::uint32_t n = static_cast<std::uint32_t>(v.size());
    u32(n);
    out_.insert(out_.end(), v.begin(), v.end());
  }
  // A list's count; `minEntry` is the fewest bytes one entry encodes to.
  template <class V>
  void count(V& v, std::size_t maxEntries, std::size_t /*minEntry*/) {
    if (v.size() > maxEntries) {
      fail();
      return;
    }
    std::uint32_t n = static_cast<std::uint32_t>(v.size());
    u32(n);
  }

 private:
  std::vector<std::uint8_t>& out_;
  bool ok_ = true;
};

class Reader {
 public:
  Reader(const std::uint8_t* p, std::size_t n) : p_(p), end_(p + n) {}
  static const bool reading = true;
  bool ok() const { return ok_; }
  void fail() { ok_ = false; }
  bool atEnd() const { return p_ == end_; }
  std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }

  void u8(std::uint8_t& v) {
    if (!take(1)) return;
    v = p_[-1];
  }
  void u16(std::uint16_t& v) {
    if (!take(2)) return;
    v = static_cast<std::uint16_t>(p_[-2] | (p_[-1] << 8));
  }
  void u32(std::uint32_t& v) {
    if (!take(4)) return;
    v = get32(p_ - 4);
  }
  void i16(std::int16_t& v) {
    std::uint16_t u = 0;
    u16(u);
    v = static_cast<std::int16_t>(u);
  }
  void i32(std::int32_t& v) {
    std::uint32_t u = 0;
    u32(u);
    v = static_cast<std::int32_t>(u);
  }
  void boolean(bool& v) {
    std::uint8_t b = 0;
    u8(b);
    if (b > 1) fail();
    v = b == 1;
  }
  void text(char* s, std::size_t width) {
    std::uint8_t n = 0;
    u8(n);
    if (!ok_ || n > width || !take(n)) {
      fail();
      return;
    }
    // A NUL inside the text would not survive the trip back: refuse it, so
    // that every frame accepted has exactly one encoding.
    if (std::memchr(p_ - n, 0, n)) {
      fail();
      return;
    }
    std::memset(s, 0, width);
    std::memcpy(s, p_ - n, n);
  }
  void str(std::string& s, std::size_t maxLen) {
    std::uint8_t n = 0;
    u8(n);
    if (!ok_ || n > maxLen || !take(n)) {
      fail();
      return;
    }
    s.assign(reinterpret_cast<const char*>(p_ - n), n);
    if (s.find('\0') != std::string::npos) fail();
  }
  void blob(std::vector<std::uint8_t>& v, std::size_t maxLen) {
    std::uint32_t n = 0;
    u32(n);
    if (!ok_ || n > maxLen || !take(n)) {
      fail();
      return;
    }
    v.assign(p_ - n, p_);
  }
  template <class V>
  void count(V& v, std::size_t maxEntries, std::size_t minEntry) {
    std::uint32_t n = 0;
    u32(n);
    // Every entry takes at least minEntry bytes: a count the remaining bytes
    // cannot carry is refused before anything is allocated.
    if (!ok_ || n > maxEntries || static_cast<std::size_t>(n) * minEntry > left()) {
      fail();
      return;
    }
    v.resize(n);
  }

 private:
  bool take(std::size_t n) {
    if (!ok_ || left() < n) {
      ok_ = false;
      return false;
    }
    p_ += n;
    return true;
  }
  const std::uint8_t* p_;
  const std::uint8_t* end_;
  bool ok_ = true;
};

// ---- shared field lists ------------------------------------------------------------

template <class A>
void visitConn(A& a, ConnectionID_t& c) {
  a.i32(c.callID);
  a.text(c.deviceID, sizeof c.deviceID);
  a.i32(c.devIDType);
}

template <class A>
void visitExt(A& a, ExtendedDeviceID_t& d) {
  a.text(d.deviceID, sizeof d.deviceID);
  a.i32(d.deviceIDType);
  a.i32(d.deviceIDStatus);
}

template <class A>
void visitFilter(A& a, CSTAMonitorFilter_t& f) {
  a.u16(f.call);
  a.u8(f.feature);
  a.u8(f.agent);
  a.u8(f.maintenance);
  a.u32(f.privateFilter);
}

template <class A>
void visitBool8(A& a, Boolean& b) {
  a.u8(b);
}

template <class A>
void visitFwd(A& a, ForwardingInfo_t& f) {
  a.i32(f.forwardingType);
  visitBool8(a, f.forwardingOn);
  a.text(f.forwardDN, sizeof f.forwardDN);
}

template <class A>
void visitPrivate(A& a, Private& p) {
  a.boolean(p.present);
  if (!p.present) {
    if (A::reading) {
      std::memset(p.vendor, 0, sizeof p.vendor);
      p.data.clear();
    }
    return;
  }
  a.text(p.vendor, sizeof p.vendor);
  a.blob(p.data, kMaxPrivate);
}

// Encoded sizes of list entries at their smallest (texts empty).
const std::size_t kMinConn = 4 + 1 + 4;
const std::size_t kMinExt = 1 + 4 + 4;

template <class A>
void visitConnections(A& a, std::vector<CSTAConnection_t>& v) {
  a.count(v, kMaxListEntries, kMinConn + kMinExt);
  if (!a.ok()) return;
  for (auto& c : v) {
    visitConn(a, c.party);
    visitExt(a, c.staticDevice);
  }
}

template <class A>
void visitRequest(A& a, Request& r) {
  std::uint16_t op = static_cast<std::uint16_t>(r.op);
  a.u16(op);
  if (op == 0 || op > kLastOp) a.fail();
  r.op = static_cast<Op>(op);
  a.u32(r.invokeID);
  a.str(r.serverID, 48);
  a.str(r.loginID, 48);
  a.str(r.password, 48);
  a.str(r.appName, 20);
  a.str(r.apiVersion, 20);
  a.i32(r.level);
  visitConn(a, r.call);
  visitConn(a, r.call2);
  a.str(r.device, 64);
  a.str(r.device2, 64);
  a.boolean(r.flag);
  visitFilter(a, r.filter);
  a.u32(r.crossRefID);
  visitPrivate(a, r.priv);
}

template <class A>
void visitAcsConfirmation(A& a, Event& e) {
  ACSConfirmationEvent& c = e.ev.event.acsConfirmation;
  a.u32(c.invokeID);
  switch (e.ev.eventHeader.eventType) {
    case ACS_OPEN_STREAM_CONF: {
      ACSOpenStreamConfEvent_t& o = c.u.acsopen;
      // Version texts are read as C strings by applications: keep a
      // terminator inside the field.
      a.text(o.apiVer, sizeof o.apiVer - 1);
      a.text(o.libVer, sizeof o.libVer - 1);
      a.text(o.tsrvVer, sizeof o.tsrvVer - 1);
      a.text(o.drvrVer, sizeof o.drvrVer - 1);
      break;
    }
    case ACS_UNIVERSAL_FAILURE_CONF:
      a.i32(c.u.failureEvent.error);
      break;
    default:
      break;
  }
}

template <class A>
void visitCstaConfirmation(A& a, Event& e) {
  CSTAConfirmationEvent& c = e.ev.event.cstaConfirmation;
  a.u32(c.invokeID);
  switch (e.ev.eventHeader.eventType) {
    case CSTA_MAKE_CALL_CONF:
      visitConn(a, c.u.makeCall.newCall);
      break;
    case CSTA_MAKE_PREDICTIVE_CALL_CONF:
      visitConn(a, c.u.makePredictiveCall.newCall);
      break;
    case CSTA_CONSULTATION_CALL_CONF:
      visitConn(a, c.u.consultationCall.newCall);
      break;
    case CSTA_CONFERENCE_CALL_CONF:
      visitConn(a, c.u.conferenceCall.newCall);
      visitConnections(a, e.connections);
      break;
    case CSTA_TRANSFER_CALL_CONF:
      visitConn(a, c.u.transferCall.newCall);
      visitConnections(a, e.connections);
      break;
    case CSTA_QUERY_MWI_CONF:
      visitBool8(a, c.u.queryMwi.messages);
      break;
    case CSTA_QUERY_DND_CONF:
      visitBool8(a, c.u.queryDnd.doNotDisturb);
      break;
    case CSTA_QUERY_FWD_CONF: {
      ListForwardParameters_t& l = c.u.queryFwd.queryFwd;
      a.i32(l.count);  // as sent; applications check it against 0..7
      for (auto& f : l.param) visitFwd(a, f);
      break;
    }
    case CSTA_QUERY_AGENT_STATE_CONF:
      a.i32(c.u.queryAgentState.agentState);
      break;
    case CSTA_QUERY_LAST_NUMBER_CONF:
      a.text(c.u.queryLastNumber.lastNumber, sizeof(DeviceID_t));
      break;
    case CSTA_QUERY_DEVICE_INFO_CONF:
      a.text(c.u.queryDeviceInfo.device, sizeof(DeviceID_t));
      a.i32(c.u.queryDeviceInfo.deviceType);
      a.u8(c.u.queryDeviceInfo.deviceClass);
      break;
    case CSTA_UNIVERSAL_FAILURE_CONF:
      a.i32(c.u.universalFailure.error);
      break;
    case CSTA_ROUTE_REGISTER_REQ_CONF:
      a.i32(c.u.routeRegister.registerReqID);
      break;
    case CSTA_MONITOR_CONF:
      a.u32(c.u.monitorStart.monitorCrossRefID);
      visitFilter(a, c.u.monitorStart.monitorFilter);
      break;
    case CSTA_CHANGE_MONITOR_FILTER_CONF:
      visitFilter(a, c.u.changeMonitorFilter.monitorFilter);
      break;
    case CSTA_SNAPSHOT_CALL_CONF:
      a.count(e.callSnapshot, kMaxListEntries, kMinExt + kMinConn + 4);
      if (!a.ok()) break;
      for (auto& s : e.callSnapshot) {
        visitExt(a, s.deviceOnCall);
        visitConn(a, s.callIdentifier);
        a.i32(s.localConnectionState);
      }
      break;
    case CSTA_SNAPSHOT_DEVICE_CONF:
      a.count(e.deviceSnapshot, kMaxListEntries, kMinConn + 4);
      if (!a.ok()) break;
      for (auto& s : e.deviceSnapshot) {
        visitConn(a, s.call);
        a.count(s.states, kMaxCallStates, 4);
        if (!a.ok()) break;
        for (auto& st : s.states) a.i32(st);
      }
      break;
    case CSTA_GETAPI_CAPS_CONF: {
      // 79 16-bit members in declaration order.
      std::int16_t* caps = reinterpret_cast<std::int16_t*>(&c.u.getAPICaps);
      const std::size_t n = sizeof(CSTAGetAPICapsConfEvent_t) / sizeof(std::int16_t);
      for (std::size_t i = 0; i < n; ++i) a.i16(caps[i]);
      break;
    }
    default:
      break;
  }
}

template <class A>
void visitCstaUnsolicited(A& a, Event& e) {
  CSTAUnsolicitedEvent& c = e.ev.event.cstaUnsolicited;
  a.u32(c.monitorCrossRefId);
  switch (e.ev.eventHeader.eventType) {
    case CSTA_CALL_CLEARED: {
      CSTACallClearedEvent_t& x = c.u.callCleared;
      visitConn(a, x.clearedCall);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_CONFERENCED: {
      CSTAConferencedEvent_t& x = c.u.conferenced;
      visitConn(a, x.primaryOldCall);
      visitConn(a, x.secondaryOldCall);
      visitExt(a, x.confController);
      visitExt(a, x.addedParty);
      visitConnections(a, e.connections);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_CONNECTION_CLEARED: {
      CSTAConnectionClearedEvent_t& x = c.u.connectionCleared;
      visitConn(a, x.droppedConnection);
      visitExt(a, x.releasingDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_DELIVERED: {
      CSTADeliveredEvent_t& x = c.u.delivered;
      visitConn(a, x.connection);
      visitExt(a, x.alertingDevice);
      visitExt(a, x.callingDevice);
      visitExt(a, x.calledDevice);
      visitExt(a, x.lastRedirectionDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_DIVERTED: {
      CSTADivertedEvent_t& x = c.u.diverted;
      visitConn(a, x.connection);
      visitExt(a, x.divertingDevice);
      visitExt(a, x.newDestination);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_ESTABLISHED: {
      CSTAEstablishedEvent_t& x = c.u.established;
      visitConn(a, x.establishedConnection);
      visitExt(a, x.answeringDevice);
      visitExt(a, x.callingDevice);
      visitExt(a, x.calledDevice);
      visitExt(a, x.lastRedirectionDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_FAILED: {
      CSTAFailedEvent_t& x = c.u.failed;
      visitConn(a, x.failedConnection);
      visitExt(a, x.failingDevice);
      visitExt(a, x.calledDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_HELD: {
      CSTAHeldEvent_t& x = c.u.held;
      visitConn(a, x.heldConnection);
      visitExt(a, x.holdingDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_NETWORK_REACHED: {
      CSTANetworkReachedEvent_t& x = c.u.networkReached;
      visitConn(a, x.connection);
      visitExt(a, x.trunkUsed);
      visitExt(a, x.calledDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_ORIGINATED: {
      CSTAOriginatedEvent_t& x = c.u.originated;
      visitConn(a, x.originatedConnection);
      visitExt(a, x.callingDevice);
      visitExt(a, x.calledDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_QUEUED: {
      CSTAQueuedEvent_t& x = c.u.queued;
      visitConn(a, x.queuedConnection);
      visitExt(a, x.queue);
      visitExt(a, x.callingDevice);
      visitExt(a, x.calledDevice);
      visitExt(a, x.lastRedirectionDevice);
      a.i32(x.numberQueued);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_RETRIEVED: {
      CSTARetrievedEvent_t& x = c.u.retrieved;
      visitConn(a, x.retrievedConnection);
      visitExt(a, x.retrievingDevice);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_SERVICE_INITIATED: {
      CSTAServiceInitiatedEvent_t& x = c.u.serviceInitiated;
      visitConn(a, x.initiatedConnection);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_TRANSFERRED: {
      CSTATransferredEvent_t& x = c.u.transferred;
      visitConn(a, x.primaryOldCall);
      visitConn(a, x.secondaryOldCall);
      visitExt(a, x.transferringDevice);
      visitExt(a, x.transferredDevice);
      visitConnections(a, e.connections);
      a.i32(x.localConnectionInfo);
      a.i32(x.cause);
      break;
    }
    case CSTA_CALL_INFORMATION: {
      CSTACallInformationEvent_t& x = c.u.callInformation;
      visitConn(a, x.connection);
      visitExt(a, x.device);
      a.text(x.accountInfo, sizeof x.accountInfo);
      a.text(x.authorisationCode, sizeof x.authorisationCode);
      break;
    }
    case CSTA_DO_NOT_DISTURB:
      visitExt(a, c.u.doNotDisturb.device);
      visitBool8(a, c.u.doNotDisturb.doNotDisturbOn);
      break;
    case CSTA_FORWARDING:
      visitExt(a, c.u.forwarding.device);
      visitFwd(a, c.u.forwarding.forwardingInformation);
      break;
    case CSTA_MESSAGE_WAITING:
      visitExt(a, c.u.messageWaiting.deviceForMessage);
      visitExt(a, c.u.messageWaiting.invokingDevice);
      visitBool8(a, c.u.messageWaiting.messageWaitingOn);
      break;
    case CSTA_LOGGED_ON:
    case CSTA_LOGGED_OFF:
    case CSTA_NOT_READY:
    case CSTA_READY:
    case CSTA_WORK_NOT_READY:
    case CSTA_WORK_READY:
      visitExt(a, c.u.agent.agentDevice);
      a.text(c.u.agent.agentID, sizeof c.u.agent.agentID);
      break;
    case CSTA_BACK_IN_SERVICE:
    case CSTA_OUT_OF_SERVICE:
      visitExt(a, c.u.serviceState.device);
      a.i32(c.u.serviceState.cause);
      break;
    case CSTA_MONITOR_ENDED:
      a.i32(c.u.monitorEnded.cause);
      break;
    default:
      break;
  }
}

bool typeInRange(EventClass_t cls, EventType_t type) {
  switch (cls) {
    case ACSREQUEST:
    case ACSUNSOLICITED:
    case ACSCONFIRMATION:
      return type >= 1 && type <= 12;
    case CSTAREQUEST:
    case CSTAUNSOLICITED:
    case CSTACONFIRMATION:
    case CSTAEVENTREPORT:
      return type >= 1 && type <= 129;
    default:
      return false;
  }
}

template <class A>
void visitEvent(A& a, Event& e) {
  ACSEventHeader_t& h = e.ev.eventHeader;
  a.u32(h.acsHandle);
  a.u16(h.eventClass);
  a.u16(h.eventType);
  if (!a.ok() || !typeInRange(h.eventClass, h.eventType)) {
    a.fail();
    return;
  }
  switch (h.eventClass) {
    case ACSUNSOLICITED:
      if (h.eventType == ACS_UNIVERSAL_FAILURE)
        a.i32(e.ev.event.acsUnsolicited.u.failureEvent.error);
      break;
    case ACSCONFIRMATION:
      visitAcsConfirmation(a, e);
      break;
    case CSTAREQUEST:
      a.u32(e.ev.event.cstaRequest.invokeID);
      break;
    case CSTAUNSOLICITED:
      visitCstaUnsolicited(a, e);
      break;
    case CSTACONFIRMATION:
      visitCstaConfirmation(a, e);
      break;
    default:
      break;
  }
  visitPrivate(a, e.priv);
}

void putHeader(std::vector<std::uint8_t>& out, std::size_t at, FrameKind kind) {
  std::size_t bodyLen = out.size() - at - kHeaderSize;
  std::uint8_t* h = &out[at];
  h[0] = kMagic0;
  h[1] = kMagic1;
  h[2] = kWireVersion;
  h[3] = kind;
  put32(h + 4, static_cast<std::uint32_t>(bodyLen));
  put32(h + 8, crc32(h + kHeaderSize, bodyLen));
}

// Checks the frame around a body; on success *body/*bodyLen describe it.
bool openFrame(const std::uint8_t* data, std::size_t len, FrameKind kind,
               const std::uint8_t** body, std::size_t* bodyLen) {
  if (!data) return false;
  long total = frameLength(data, len);
  if (total <= 0 || static_cast<std::size_t>(total) != len) return false;
  if (data[3] != kind) return false;
  *body = data + kHeaderSize;
  *bodyLen = len - kHeaderSize;
  return crc32(*body, *bodyLen) == get32(data + 8);
}

template <class T, class Visit>
bool encodeFrame(const T& value, std::vector<std::uint8_t>& out, FrameKind kind,
                 Visit visit) {
  std::size_t at = out.size();
  out.resize(at + kHeaderSize);
  Writer w(out);
  visit(w, const_cast<T&>(value));  // the writer only reads
  if (!w.ok() || out.size() - at - kHeaderSize > kMaxBody) {
    out.resize(at);
    return false;
  }
  putHeader(out, at, kind);
  return true;
}

bool knownKind(std::uint8_t k) {
  return k == kRequestFrame || k == kEventFrame || k == kControlFrame;
}

template <class A>
void visitControl(A& a, Control& c) {
  a.i32(c.refuse);
  a.u32(c.count);
  if (c.refuse != ACSERR_QUEUE_FULL && c.refuse != ACSERR_NOBUFFERS) a.fail();
}

std::size_t alignUp(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }

// The size of the fixed part an event needs: the whole record, or for events
// with a variable part only up to the end of their own payload, so that the
// lists can use the rest of the union's room.
std::size_t fixedPartSize(const Event& e) {
  const CSTAEvent_t* z = nullptr;
  (void)z;
  std::size_t conf = offsetof(CSTAEvent_t, event) + offsetof(CSTAConfirmationEvent, u);
  std::size_t unso = offsetof(CSTAEvent_t, event) + offsetof(CSTAUnsolicitedEvent, u);
  if (e.eventClass() == CSTACONFIRMATION) {
    switch (e.eventType()) {
      case CSTA_CONFERENCE_CALL_CONF:
        return conf + sizeof(CSTAConferenceCallConfEvent_t);
      case CSTA_TRANSFER_CALL_CONF:
        return conf + sizeof(CSTATransferCallConfEvent_t);
      case CSTA_SNAPSHOT_CALL_CONF:
        return conf + sizeof(CSTASnapshotCallConfEvent_t);
      case CSTA_SNAPSHOT_DEVICE_CONF:
        return conf + sizeof(CSTASnapshotDeviceConfEvent_t);
      default:
        break;
    }
  } else if (e.eventClass() == CSTAUNSOLICITED) {
    switch (e.eventType()) {
      case CSTA_CONFERENCED:
        return unso + sizeof(CSTAConferencedEvent_t);
      case CSTA_TRANSFERRED:
        return unso + sizeof(CSTATransferredEvent_t);
      default:
        break;
    }
  }
  return sizeof(CSTAEvent_t);
}

enum ListKind { kNoList, kConnections, kCallSnapshot, kDeviceSnapshot };

ListKind listKindOf(const Event& e) {
  if (e.eventClass() == CSTACONFIRMATION) {
    switch (e.eventType()) {
      case CSTA_CONFERENCE_CALL_CONF:
      case CSTA_TRANSFER_CALL_CONF:
        return kConnections;
      case CSTA_SNAPSHOT_CALL_CONF:
        return kCallSnapshot;
      case CSTA_SNAPSHOT_DEVICE_CONF:
        return kDeviceSnapshot;
      default:
        return kNoList;
    }
  }
  if (e.eventClass() == CSTAUNSOLICITED &&
      (e.eventType() == CSTA_CONFERENCED || e.eventType() == CSTA_TRANSFERRED))
    return kConnections;
  return kNoList;
}

const std::size_t kAlign = alignof(void*) > 8 ? alignof(void*) : 8;

// Device snapshots repeat the same few state lists (for example "connected,
// alerting") on many calls: identical lists share one copy in the buffer so
// that a busy device still fits the buffers applications use.
struct StatePlan {
  std::vector<std::size_t> firstOf;  // per entry: index of the entry whose copy it uses
  std::size_t bytes = 0;
};

StatePlan planStates(const Event& e) {
  StatePlan plan;
  const auto& v = e.deviceSnapshot;
  plan.firstOf.resize(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) {
    plan.firstOf[i] = i;
    for (std::size_t j = 0; j < i; ++j) {
      if (plan.firstOf[j] == j && v[j].states == v[i].states) {
        plan.firstOf[i] = j;
        break;
      }
    }
    if (plan.firstOf[i] == i) plan.bytes += v[i].states.size() * sizeof(LocalConnectionState_t);
  }
  return plan;
}

}  // namespace

// ---- public functions ---------------------------------------------------------------

std::uint32_t crc32(const std::uint8_t* data, std::size_t len) {
  static std::uint32_t table[256];
  static bool ready = [] {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return true;
  }();
  (void)ready;
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < len; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

long frameLength(const std::uint8_t* data, std::size_t avail) {
  if (avail < kHeaderSize) {
    // Refuse early what can never become a frame.
    if (avail >= 1 && data[0] != kMagic0) return -1;
    if (avail >= 2 && data[1] != kMagic1) return -1;
    if (avail >= 3 && data[2] != kWireVersion) return -1;
    if (avail >= 4 && !knownKind(data[3])) return -1;
    return 0;
  }
  if (data[0] != kMagic0 || data[1] != kMagic1 || data[2] != kWireVersion) return -1;
  if (!knownKind(data[3])) return -1;
  std::uint32_t body = get32(data + 4);
  if (body > kMaxBody) return -1;
  return static_cast<long>(kHeaderSize + body);
}

void setPrivate(Private& p, const PrivateData_t* pd) {
  if (!pd) {
    p = Private();
    return;
  }
  setPrivate(p, pd->vendor, pd->data, pd->length);
}

void setPrivate(Private& p, const char* vendor, const void* data, std::size_t len) {
  p.present = true;
  std::memset(p.vendor, 0, sizeof p.vendor);
  if (vendor) std::memcpy(p.vendor, vendor, boundedLen(vendor, sizeof p.vendor));
  len = std::min(len, kMaxPrivate);
  const std::uint8_t* b = static_cast<const std::uint8_t*>(data);
  if (b && len)
    p.data.assign(b, b + len);
  else
    p.data.clear();
}

int frameKind(const std::uint8_t* data, std::size_t len) {
  if (!data || frameLength(data, len) <= 0) return 0;
  return data[3];
}

bool encodeControl(const Control& c, std::vector<std::uint8_t>& out) {
  return encodeFrame(c, out, kControlFrame, [](Writer& w, Control& v) { visitControl(w, v); });
}

bool decodeControl(const std::uint8_t* data, std::size_t len, Control& c) {
  const std::uint8_t* body;
  std::size_t bodyLen;
  if (!openFrame(data, len, kControlFrame, &body, &bodyLen)) return false;
  Control tmp;
  Reader rd(body, bodyLen);
  visitControl(rd, tmp);
  if (!rd.ok() || !rd.atEnd()) return false;
  c = tmp;
  return true;
}

const char* opName(Op op) {
  static const char* const names[] = {
      "None",          "OpenStream",       "CloseStream",    "AbortStream",
      "MakeCall",      "ClearCall",        "ClearConnection", "AnswerCall",
      "HoldCall",      "RetrieveCall",     "TransferCall",   "ConferenceCall",
      "ConsultationCall", "DeflectCall",   "SnapshotDevice", "SnapshotCall",
      "QueryDeviceInfo", "QueryDnd",       "SetDnd",         "QueryMwi",
      "SetMwi",        "QueryFwd",         "MonitorDevice",  "MonitorCall",
      "MonitorStop",   "EscapeService",    "GetAPICaps"};
  std::uint16_t i = static_cast<std::uint16_t>(op);
  return i <= kLastOp ? names[i] : "?";
}

bool encodeRequest(const Request& r, std::vector<std::uint8_t>& out) {
  return encodeFrame(r, out, kRequestFrame,
                     [](Writer& w, Request& v) { visitRequest(w, v); });
}

bool decodeRequest(const std::uint8_t* data, std::size_t len, Request& r) {
  const std::uint8_t* body;
  std::size_t bodyLen;
  if (!openFrame(data, len, kRequestFrame, &body, &bodyLen)) return false;
  Request tmp;
  Reader rd(body, bodyLen);
  visitRequest(rd, tmp);
  if (!rd.ok() || !rd.atEnd()) return false;
  r = std::move(tmp);
  return true;
}

bool encodeEvent(const Event& e, std::vector<std::uint8_t>& out) {
  return encodeFrame(e, out, kEventFrame, [](Writer& w, Event& v) { visitEvent(w, v); });
}

bool decodeEvent(const std::uint8_t* data, std::size_t len, Event& e) {
  const std::uint8_t* body;
  std::size_t bodyLen;
  if (!openFrame(data, len, kEventFrame, &body, &bodyLen)) return false;
  Event tmp;
  Reader rd(body, bodyLen);
  visitEvent(rd, tmp);
  if (!rd.ok() || !rd.atEnd()) return false;
  e = std::move(tmp);
  return true;
}

InvokeID_t invokeIDOf(const Event& e) {
  switch (e.eventClass()) {
    case ACSCONFIRMATION:
      return e.ev.event.acsConfirmation.invokeID;
    case CSTACONFIRMATION:
      return e.ev.event.cstaConfirmation.invokeID;
    default:
      return 0;
  }
}

void setInvokeID(Event& e, InvokeID_t id) {
  switch (e.eventClass()) {
    case ACSCONFIRMATION:
      e.ev.event.acsConfirmation.invokeID = id;
      break;
    case CSTACONFIRMATION:
      e.ev.event.cstaConfirmation.invokeID = id;
      break;
    default:
      break;
  }
}

std::size_t layoutSize(const Event& e) {
  std::size_t n = alignUp(fixedPartSize(e), kAlign);
  switch (listKindOf(e)) {
    case kConnections:
      n += e.connections.size() * sizeof(CSTAConnection_t);
      break;
    case kCallSnapshot:
      n += e.callSnapshot.size() * sizeof(CSTASnapshotCallResponseInfo_t);
      break;
    case kDeviceSnapshot:
      n += e.deviceSnapshot.size() * sizeof(CSTASnapshotDeviceResponseInfo_t);
      n += planStates(e).bytes;
      break;
    case kNoList:
      return fixedPartSize(e);
  }
  return n;
}

bool layoutEvent(const Event& e, void* buf, std::size_t size) {
  if (!buf || size < layoutSize(e)) return false;
  std::uint8_t* base = static_cast<std::uint8_t*>(buf);
  CSTAEvent_t fixed = e.ev;
  std::size_t fixedLen = fixedPartSize(e);
  std::size_t at = alignUp(fixedLen, kAlign);
  ListKind kind = listKindOf(e);
  if (kind == kNoList) {
    std::memcpy(base, &fixed, fixedLen);
    return true;
  }
  std::memset(base + fixedLen, 0, at - fixedLen);
  CSTAEvent_t* out = reinterpret_cast<CSTAEvent_t*>(base);
  CSTAConnectionList_t* list = nullptr;
  if (kind == kConnections) {
    if (e.eventClass() == CSTACONFIRMATION)
      list = e.eventType() == CSTA_CONFERENCE_CALL_CONF
                 ? &fixed.event.cstaConfirmation.u.conferenceCall.connList
                 : &fixed.event.cstaConfirmation.u.transferCall.connList;
    else
      list = e.eventType() == CSTA_CONFERENCED
                 ? &fixed.event.cstaUnsolicited.u.conferenced.conferenceConnections
                 : &fixed.event.cstaUnsolicited.u.transferred.transferredConnections;
    CSTAConnection_t* arr = reinterpret_cast<CSTAConnection_t*>(base + at);
    list->count = static_cast<std::int32_t>(e.connections.size());
    list->connection = e.connections.empty() ? nullptr : arr;
    if (!e.connections.empty())
      std::memcpy(arr, e.connections.data(), e.connections.size() * sizeof(CSTAConnection_t));
  } else if (kind == kCallSnapshot) {
    CSTASnapshotCallData_t& d = fixed.event.cstaConfirmation.u.snapshotCall.snapshotData;
    CSTASnapshotCallResponseInfo_t* arr =
        reinterpret_cast<CSTASnapshotCallResponseInfo_t*>(base + at);
    d.count = static_cast<std::int32_t>(e.callSnapshot.size());
    d.info = e.callSnapshot.empty() ? nullptr : arr;
    if (!e.callSnapshot.empty())
      std::memcpy(arr, e.callSnapshot.data(),
                  e.callSnapshot.size() * sizeof(CSTASnapshotCallResponseInfo_t));
  } else {
    CSTASnapshotDeviceData_t& d = fixed.event.cstaConfirmation.u.snapshotDevice.snapshotData;
    const auto& v = e.deviceSnapshot;
    CSTASnapshotDeviceResponseInfo_t* arr =
        reinterpret_cast<CSTASnapshotDeviceResponseInfo_t*>(base + at);
    std::uint8_t* states = base + at + v.size() * sizeof(CSTASnapshotDeviceResponseInfo_t);
    StatePlan plan = planStates(e);
    std::vector<LocalConnectionState_t*> placed(v.size(), nullptr);
    d.count = static_cast<std::int32_t>(v.size());
    d.info = v.empty() ? nullptr : arr;
    for (std::size_t i = 0; i < v.size(); ++i) {
      CSTASnapshotDeviceResponseInfo_t info;
      std::memset(&info, 0, sizeof info);
      info.callIdentifier = v[i].call;
      info.getCallState.count = static_cast<std::int32_t>(v[i].states.size());
      if (!v[i].states.empty()) {
        if (plan.firstOf[i] == i) {
          placed[i] = reinterpret_cast<LocalConnectionState_t*>(states);
          std::memcpy(states, v[i].states.data(),
                      v[i].states.size() * sizeof(LocalConnectionState_t));
          states += v[i].states.size() * sizeof(LocalConnectionState_t);
        } else {
          placed[i] = placed[plan.firstOf[i]];
        }
      }
      info.getCallState.state = placed[i];
      std::memcpy(&arr[i], &info, sizeof info);
    }
  }
  std::memcpy(out, &fixed, fixedLen);
  return true;
}

// ---- builders --------------------------------------------------------------------------

Event acsConfirmation(EventType_t type, InvokeID_t invokeID) {
  Event e;
  e.ev.eventHeader.eventClass = ACSCONFIRMATION;
  e.ev.eventHeader.eventType = type;
  e.ev.event.acsConfirmation.invokeID = invokeID;
  return e;
}

static void copyText(char* dst, std::size_t width, const char* src) {
  std::memset(dst, 0, width);
  if (src) std::memcpy(dst, src, boundedLen(src, width - 1));
}

Event openStreamConf(InvokeID_t invokeID, const char* apiVer, const char* libVer,
                     const char* tsrvVer, const char* drvrVer) {
  Event e = acsConfirmation(ACS_OPEN_STREAM_CONF, invokeID);
  ACSOpenStreamConfEvent_t& o = e.ev.event.acsConfirmation.u.acsopen;
  copyText(o.apiVer, sizeof o.apiVer, apiVer);
  copyText(o.libVer, sizeof o.libVer, libVer);
  copyText(o.tsrvVer, sizeof o.tsrvVer, tsrvVer);
  copyText(o.drvrVer, sizeof o.drvrVer, drvrVer);
  return e;
}

Event acsUniversalFailureConf(InvokeID_t invokeID, ACSUniversalFailure_t error) {
  Event e = acsConfirmation(ACS_UNIVERSAL_FAILURE_CONF, invokeID);
  e.ev.event.acsConfirmation.u.failureEvent.error = error;
  return e;
}

Event acsUniversalFailure(ACSUniversalFailure_t error) {
  Event e;
  e.ev.eventHeader.eventClass = ACSUNSOLICITED;
  e.ev.eventHeader.eventType = ACS_UNIVERSAL_FAILURE;
  e.ev.event.acsUnsolicited.u.failureEvent.error = error;
  return e;
}

Event cstaConfirmation(EventType_t type, InvokeID_t invokeID) {
  Event e;
  e.ev.eventHeader.eventClass = CSTACONFIRMATION;
  e.ev.eventHeader.eventType = type;
  e.ev.event.cstaConfirmation.invokeID = invokeID;
  return e;
}

Event cstaUniversalFailureConf(InvokeID_t invokeID, CSTAUniversalFailure_t error) {
  Event e = cstaConfirmation(CSTA_UNIVERSAL_FAILURE_CONF, invokeID);
  e.ev.event.cstaConfirmation.u.universalFailure.error = error;
  return e;
}

Event cstaUnsolicited(EventType_t type, CSTAMonitorCrossRefID_t crossRefID) {
  Event e;
  e.ev.eventHeader.eventClass = CSTAUNSOLICITED;
  e.ev.eventHeader.eventType = type;
  e.ev.event.cstaUnsolicited.monitorCrossRefId = crossRefID;
  return e;
}

void copyDevice(DeviceID_t dst, const char* src) {
  std::memset(dst, 0, sizeof(DeviceID_t));
  if (src) std::memcpy(dst, src, boundedLen(src, sizeof(DeviceID_t)));
}

std::string deviceString(const DeviceID_t dev) {
  return std::string(dev, boundedLen(dev, sizeof(DeviceID_t)));
}

ConnectionID_t connection(std::int32_t callID, const char* device,
                          ConnectionID_Device_t type) {
  ConnectionID_t c;
  std::memset(&c, 0, sizeof c);
  c.callID = callID;
  copyDevice(c.deviceID, device);
  c.devIDType = type;
  return c;
}

ExtendedDeviceID_t extendedDevice(const char* device, DeviceIDType_t type) {
  ExtendedDeviceID_t d;
  std::memset(&d, 0, sizeof d);
  copyDevice(d.deviceID, device);
  d.deviceIDType = type;
  d.deviceIDStatus = (device && *device) ? ID_PROVIDED : ID_NOT_KNOWN;
  return d;
}

}  // namespace wire
