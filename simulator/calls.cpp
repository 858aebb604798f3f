// The call model: calls, their parties and the events each step produces.
// Every step changes the state first and then emits, so that the local
// connection state an event carries is the one the step leaves behind.
#include "simulator/internal.h"
#include "simulator/text.h"

#include <algorithm>
#include <cstring>

namespace telsim {

namespace {

CSTAUnsolicitedEvent& unsol(wire::Event& e) { return e.ev.event.cstaUnsolicited; }

ExtendedDeviceID_t partyDevice(const Party& p) {
  return p.outside.empty() ? extDev(p.name) : extDev(p.outside, IMPLICIT_PUBLIC);
}

}  // namespace

// ---- lookups ----------------------------------------------------------------------

int Switch::Impl::findDevice(const std::string& text) const {
  if (text.empty()) return -1;
  auto byNumber = deviceByNumber.find(text);
  auto byName = deviceByName.find(lowerText(text));
  int found = byNumber == deviceByNumber.end() ? -1 : byNumber->second;
  if (byName != deviceByName.end() && (found < 0 || byName->second < found)) found = byName->second;
  return found;
}

bool Switch::Impl::isOutside(const std::string& text) const {
  if (text.empty() || text.size() > 32) return false;
  for (char ch : text)
    if (ch < '0' || ch > '9') return false;
  if (!cfg.outsidePrefix.empty() && text.size() > cfg.outsidePrefix.size() &&
      text.compare(0, cfg.outsidePrefix.size(), cfg.outsidePrefix) == 0)
    return true;
  return static_cast<int>(text.size()) >= cfg.outsideMinDigits;
}

bool Switch::Impl::busy(int dev, std::int32_t except) const {
  for (const auto& entry : calls) {
    if (entry.first == except) continue;
    for (const Party& p : entry.second.parties) {
      if (p.dev == dev &&
          (p.state == CS_INITIATE || p.state == CS_CONNECT || p.state == CS_ALERTING))
        return true;
    }
  }
  return false;
}

size_t Switch::Impl::callsOf(int dev) const {
  size_t n = 0;
  for (const auto& entry : calls)
    for (const Party& p : entry.second.parties)
      if (p.dev == dev) ++n;
  return n;
}

int Switch::Impl::freeTrunk() const {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].cfg.kind != DK_TRUNK) continue;
    bool used = false;
    for (const auto& entry : calls)
      for (const Party& p : entry.second.parties)
        if (p.dev == static_cast<int>(i)) used = true;
    if (!used) return static_cast<int>(i);
  }
  return -1;
}

Call* Switch::Impl::findCall(std::int32_t id) {
  auto it = calls.find(id);
  return it == calls.end() ? nullptr : &it->second;
}

Party* Switch::Impl::partyOf(Call& c, int dev) {
  if (dev < 0) return nullptr;
  for (Party& p : c.parties)
    if (p.dev == dev) return &p;
  return nullptr;
}

Scope Switch::Impl::scopeOf(const Call& c, const Party* subject) {
  Scope s;
  for (const Party& p : c.parties)
    if (p.dev >= 0) s.devs.push_back(p.dev);
  s.calls.push_back(c.id);
  s.after = &c;
  s.subjectState = subject ? subject->state : CS_NONE;
  return s;
}

void Switch::Impl::connectionList(const Call& c, std::vector<CSTAConnection_t>& out) const {
  out.clear();
  for (const Party& p : c.parties) {
    CSTAConnection_t conn = {};
    conn.party = wire::connection(c.id, p.name.c_str());
    conn.staticDevice = partyDevice(p);
    out.push_back(conn);
  }
}

// ---- making and offering calls ---------------------------------------------------

std::int32_t Switch::Impl::makeCall(int dev, const std::string& called, CSTAUniversalFailure_t* error,
                                    const std::function<void(const Call&)>& before) {
  const Device& d = devices[static_cast<size_t>(dev)];
  if (d.cfg.kind == DK_TRUNK || d.cfg.kind == DK_SPAN) {
    *error = INVALID_CALLING_DEVICE;
    return 0;
  }
  if (called.empty() || called.size() > 64) {
    *error = INVALID_CALLED_DEVICE;
    return 0;
  }
  if (busy(dev) || callsOf(dev) >= kMaxCallsPerDevice) {
    *error = RESOURCE_BUSY;
    return 0;
  }
  if (calls.size() >= kMaxCalls) {
    *error = GENERIC_SYSTEM_RESOURCE_AVAILABILITY;
    return 0;
  }
  const std::int32_t id = nextCallID++;
  if (nextCallID <= 0) nextCallID = 1;
  Call& c = calls[id];
  c.id = id;
  c.startMs = nowLocked();
  c.calling = d.name;
  c.called = called;
  Party a;
  a.dev = dev;
  a.name = d.name;
  a.state = CS_INITIATE;
  c.parties.push_back(a);
  if (before) before(c);

  wire::Event e = wire::cstaUnsolicited(CSTA_SERVICE_INITIATED, 0);
  unsol(e).u.serviceInitiated.initiatedConnection = wire::connection(id, d.name.c_str());
  unsol(e).u.serviceInitiated.cause = EC_NEW_CALL;
  emit(e, scopeOf(c, &c.parties[0]));

  c.parties[0].state = CS_CONNECT;
  e = wire::cstaUnsolicited(CSTA_ORIGINATED, 0);
  CSTAOriginatedEvent_t& o = unsol(e).u.originated;
  o.originatedConnection = wire::connection(id, d.name.c_str());
  o.callingDevice = extDev(d.name);
  o.calledDevice = extDev(called);
  o.cause = EC_NEW_CALL;
  emit(e, scopeOf(c, &c.parties[0]));

  // A call to oneself keeps the line open without a far end: voice ports
  // play and record on such calls.
  if (findDevice(called) != dev) offer(id, called, EC_NEW_CALL, "", 0);
  return id;
}

std::int32_t Switch::Impl::dialIn(int trunk, const std::string& number, const std::string& name,
                                  const std::string& dest) {
  const Device& t = devices[static_cast<size_t>(trunk)];
  const std::int32_t id = nextCallID++;
  if (nextCallID <= 0) nextCallID = 1;
  Call& c = calls[id];
  c.id = id;
  c.startMs = nowLocked();
  c.calling = number;
  c.callingType = IMPLICIT_PUBLIC;
  c.called = dest;
  Party p;
  p.dev = trunk;
  p.name = t.name;
  p.outside = number;
  p.outsideName = name;
  p.state = CS_CONNECT;
  c.parties.push_back(p);
  offer(id, dest, EC_NEW_CALL, "", 0);
  return id;
}

void Switch::Impl::offer(std::int32_t callID, const std::string& dest, CSTAEventCause_t cause,
                         const std::string& redirectFrom, int depth) {
  Call* c = findCall(callID);
  if (!c) return;
  if (!redirectFrom.empty()) c->lastRedirection = redirectFrom;
  const int d = findDevice(dest);
  const bool mayForward = depth < 4;  // forwarding chains and loops end here
  if (d >= 0 && devices[static_cast<size_t>(d)].cfg.kind != DK_TRUNK &&
      devices[static_cast<size_t>(d)].cfg.kind != DK_SPAN) {
    const Device& dv = devices[static_cast<size_t>(d)];
    if (partyOf(*c, d)) {
      failParty(*c, -1, dv.name, EC_BUSY);  // already on this very call
      return;
    }
    if (dv.dnd) {
      failParty(*c, d, dv.name, EC_DO_NOT_DISTURB);
      return;
    }
    if (dv.fwd[0].on && mayForward) {
      divert(*c, d, dv.name, dv.fwd[0].dest, EC_CALL_FORWARD_ALWAYS, depth + 1);
      return;
    }
    const bool full = callsOf(d) >= kMaxCallsPerDevice;
    if (busy(d) || full) {
      if (dv.fwd[1].on && mayForward) divert(*c, d, dv.name, dv.fwd[1].dest, EC_CALL_FORWARD_BUSY, depth + 1);
      else failParty(*c, full ? -1 : d, dv.name, EC_BUSY);  // a full device takes no part at all
      return;
    }
    Party p;
    p.dev = d;
    p.name = dv.name;
    p.state = CS_ALERTING;
    p.cause = cause;
    p.alertSeq = nextAlertSeq++;
    c->parties.push_back(p);
    Party& alerting = c->parties.back();

    wire::Event e = wire::cstaUnsolicited(CSTA_DELIVERED, 0);
    CSTADeliveredEvent_t& v = unsol(e).u.delivered;
    v.connection = wire::connection(callID, dv.name.c_str());
    v.alertingDevice = extDev(dv.name);
    v.callingDevice = extDev(c->calling, c->callingType);
    v.calledDevice = extDev(c->called);
    v.lastRedirectionDevice = extDev(c->lastRedirection);
    v.cause = cause;
    emit(e, scopeOf(*c, &alerting));
    startRinging(*c, alerting);
    return;
  }
  if (d < 0 && isOutside(dest)) {
    const int t = freeTrunk();
    if (t < 0) {
      failParty(*c, -1, dest, EC_TRUNKS_BUSY);
      return;
    }
    Party p;
    p.dev = t;
    p.name = devices[static_cast<size_t>(t)].name;
    p.outside = dest;
    p.state = CS_CONNECT;
    p.cause = cause;
    c->parties.push_back(p);
    c->answered = true;  // no answer supervision on the outside line

    wire::Event e = wire::cstaUnsolicited(CSTA_NETWORK_REACHED, 0);
    CSTANetworkReachedEvent_t& n = unsol(e).u.networkReached;
    n.connection = wire::connection(callID, p.name.c_str());
    n.trunkUsed = extDev(p.name, TRUNK_IDENTIFIER);
    n.calledDevice = extDev(dest, IMPLICIT_PUBLIC);
    n.cause = cause;
    emit(e, scopeOf(*c, &c->parties.back()));
    return;
  }
  failParty(*c, -1, dest, EC_DEST_NOT_OBTAINABLE);
}

void Switch::Impl::failParty(Call& c, int dev, const std::string& name, CSTAEventCause_t cause) {
  Party p;
  p.dev = dev;
  p.name = name;
  p.state = CS_FAIL;
  p.cause = cause;
  c.parties.push_back(p);

  wire::Event e = wire::cstaUnsolicited(CSTA_FAILED, 0);
  CSTAFailedEvent_t& f = unsol(e).u.failed;
  f.failedConnection = wire::connection(c.id, name.c_str());
  f.failingDevice = extDev(name);
  f.calledDevice = extDev(c.called);
  f.cause = cause;
  emit(e, scopeOf(c, &c.parties.back()));
}

void Switch::Impl::divert(Call& c, int dev, std::string from, std::string to, CSTAEventCause_t cause,
                          int depth) {
  Scope sc = scopeOf(c, nullptr);
  if (dev >= 0) sc.devs.push_back(dev);
  for (size_t i = 0; i < c.parties.size(); ++i) {
    if (c.parties[i].dev == dev && dev >= 0) {
      c.parties.erase(c.parties.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  sc.subjectState = CS_NULL;

  wire::Event e = wire::cstaUnsolicited(CSTA_DIVERTED, 0);
  CSTADivertedEvent_t& v = unsol(e).u.diverted;
  v.connection = wire::connection(c.id, from.c_str());
  v.divertingDevice = extDev(from);
  v.newDestination = extDev(to);
  v.cause = cause;
  emit(e, sc);
  offer(c.id, to, cause, from, depth);
}

// ---- ringing, answering, holding -------------------------------------------------

Party* Switch::Impl::ringing(std::uint64_t seq, Call** call) {
  for (auto& entry : calls) {
    for (Party& p : entry.second.parties) {
      if (p.alertSeq == seq && p.state == CS_ALERTING) {
        *call = &entry.second;
        return &p;
      }
    }
  }
  return nullptr;
}

void Switch::Impl::startRinging(Call& c, Party& p) {
  (void)c;
  const Device& d = devices[static_cast<size_t>(p.dev)];
  const std::uint64_t seq = p.alertSeq;
  const int dev = p.dev;
  if (d.autoAnswerRings > 0) {
    schedule(static_cast<std::uint64_t>(d.autoAnswerRings) * static_cast<std::uint64_t>(cfg.ringMs), [this, seq] {
      Call* call = nullptr;
      if (Party* q = ringing(seq, &call)) answer(*call, *q);
    });
  }
  if (d.fwd[2].on) {
    schedule(static_cast<std::uint64_t>(cfg.noAnswerRings) * static_cast<std::uint64_t>(cfg.ringMs),
             [this, seq, dev] {
               Call* call = nullptr;
               Party* q = ringing(seq, &call);
               const Forward& f = devices[static_cast<size_t>(dev)].fwd[2];
               if (q && f.on) divert(*call, dev, q->name, f.dest, EC_CALL_FORWARD_NO_ANSWER, 1);
             });
  }
}

void Switch::Impl::answer(Call& c, Party& p) {
  p.state = CS_CONNECT;
  c.answered = true;
  wire::Event e = wire::cstaUnsolicited(CSTA_ESTABLISHED, 0);
  CSTAEstablishedEvent_t& v = unsol(e).u.established;
  v.establishedConnection = wire::connection(c.id, p.name.c_str());
  v.answeringDevice = extDev(p.name);
  v.callingDevice = extDev(c.calling, c.callingType);
  v.calledDevice = extDev(c.called);
  v.lastRedirectionDevice = extDev(c.lastRedirection);
  v.cause = p.cause;
  emit(e, scopeOf(c, &p));
}

void Switch::Impl::hold(Call& c, Party& p) {
  p.state = CS_HOLD;
  wire::Event e = wire::cstaUnsolicited(CSTA_HELD, 0);
  unsol(e).u.held.heldConnection = wire::connection(c.id, p.name.c_str());
  unsol(e).u.held.holdingDevice = extDev(p.name);
  unsol(e).u.held.cause = EC_NONE;
  emit(e, scopeOf(c, &p));
}

void Switch::Impl::retrieve(Call& c, Party& p) {
  p.state = CS_CONNECT;
  wire::Event e = wire::cstaUnsolicited(CSTA_RETRIEVED, 0);
  unsol(e).u.retrieved.retrievedConnection = wire::connection(c.id, p.name.c_str());
  unsol(e).u.retrieved.retrievingDevice = extDev(p.name);
  unsol(e).u.retrieved.cause = EC_NONE;
  emit(e, scopeOf(c, &p));
}

// ---- clearing ----------------------------------------------------------------------

void Switch::Impl::clearConnection(Call& c, size_t partyIndex) {
  if (partyIndex >= c.parties.size()) return;
  const Party gone = c.parties[partyIndex];
  bool ringingElsewhere = false;
  for (const Party& p : c.parties)
    if (p.state == CS_ALERTING) ringingElsewhere = true;
  // The caller giving up before anyone answered cancels the call.
  const CSTAEventCause_t cause =
      partyIndex == 0 && !c.answered && ringingElsewhere ? EC_CALL_CANCELLED : EC_NONE;
  Scope sc = scopeOf(c, nullptr);
  c.parties.erase(c.parties.begin() + static_cast<std::ptrdiff_t>(partyIndex));
  sc.subjectState = CS_NULL;

  wire::Event e = wire::cstaUnsolicited(CSTA_CONNECTION_CLEARED, 0);
  CSTAConnectionClearedEvent_t& v = unsol(e).u.connectionCleared;
  v.droppedConnection = wire::connection(c.id, gone.name.c_str());
  v.releasingDevice = extDev(gone.name);
  v.cause = cause;
  emit(e, sc);

  size_t live = 0;
  for (const Party& p : c.parties)
    if (p.state != CS_FAIL && p.voiceOp == 0) ++live;
  if (live < 2) clearCall(c.id, cause, gone.dev);
}

void Switch::Impl::clearCall(std::int32_t callID, CSTAEventCause_t cause, int alsoDev) {
  endVoiceOnCall(callID);  // their reports and parties go before the call does
  Call* c = findCall(callID);
  if (!c) return;
  Scope sc = scopeOf(*c, nullptr);
  if (alsoDev >= 0) sc.devs.push_back(alsoDev);
  sc.after = nullptr;
  sc.subjectState = CS_NULL;
  wire::Event e = wire::cstaUnsolicited(CSTA_CALL_CLEARED, 0);
  unsol(e).u.callCleared.clearedCall = wire::connection(callID, "");
  unsol(e).u.callCleared.cause = cause;
  emit(e, sc);
  calls.erase(callID);
  for (auto& entry : sessions) entry.second.detectors.erase(callID);
  endCallMonitors(callID);
}

void Switch::Impl::endCallMonitors(std::int32_t callID) {
  auto watching = callWatchers.find(callID);
  if (watching == callWatchers.end()) return;
  std::vector<std::uint32_t> ids;
  for (const auto& entry : watching->second) ids.push_back(entry.first);
  for (std::uint32_t id : ids) {
    auto found = sessions.find(id);
    if (found == sessions.end()) continue;
    Session& s = found->second;
    const std::vector<CSTAMonitorCrossRefID_t>* list = s.monitors.ofCall(callID);
    if (!list) continue;
    const std::vector<CSTAMonitorCrossRefID_t> xrefs = *list;
    for (CSTAMonitorCrossRefID_t xref : xrefs) {
      wire::Event ended = wire::cstaUnsolicited(CSTA_MONITOR_ENDED, xref);
      unsol(ended).u.monitorEnded.cause = EC_NONE;
      removeMonitor(s, xref);
      if (s.open) send(s, ended);
    }
  }
}

// ---- joining calls -----------------------------------------------------------------

namespace {

// Digit collectors of the call that ends in a join go on listening on the
// call it joined (the lines are the same); its call monitors end with it.
void moveDetectors(std::map<std::uint32_t, Session>& sessions, std::int32_t from, std::int32_t to) {
  for (auto& entry : sessions)
    if (entry.second.detectors.erase(from)) entry.second.detectors.insert(to);
}

std::vector<int> devicesOn(const Call& c) {
  std::vector<int> v;
  for (const Party& p : c.parties)
    if (p.dev >= 0) v.push_back(p.dev);
  return v;
}

void removeParty(Call& c, int dev) {
  for (size_t i = 0; i < c.parties.size(); ++i) {
    if (c.parties[i].dev == dev) {
      c.parties.erase(c.parties.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

}  // namespace

void Switch::Impl::transfer(Call& h, Call& a, int dev) {
  const std::int32_t hid = h.id;
  const std::int32_t aid = a.id;
  const std::string who = devices[static_cast<size_t>(dev)].name;
  Scope sc = scopeOf(h, nullptr);
  for (const Party& p : a.parties)
    if (p.dev >= 0) sc.devs.push_back(p.dev);
  sc.calls.push_back(aid);
  sc.subjectState = CS_NULL;

  const std::vector<int> sawSecondary = devicesOn(a);
  removeParty(h, dev);
  removeParty(a, dev);
  std::string transferredTo = a.parties.empty() ? "" : a.parties.front().name;
  // The party left on the held call now calls the consulted one.
  if (!h.parties.empty()) {
    const Party& first = h.parties.front();
    h.calling = first.outside.empty() ? first.name : first.outside;
    h.callingType = first.outside.empty() ? DEVICE_IDENTIFIER : IMPLICIT_PUBLIC;
  }
  h.called = a.called;
  h.answered = a.answered;
  for (const Party& p : a.parties) h.parties.push_back(p);
  calls.erase(aid);
  Call& joined = *findCall(hid);
  moveDetectors(sessions, aid, hid);
  moveVoice(aid, hid);
  sc.after = &joined;

  wire::Event e = wire::cstaUnsolicited(CSTA_TRANSFERRED, 0);
  CSTATransferredEvent_t& t = unsol(e).u.transferred;
  t.primaryOldCall = wire::connection(hid, who.c_str());
  t.secondaryOldCall = wire::connection(aid, who.c_str());
  t.transferringDevice = extDev(who);
  t.transferredDevice = extDev(transferredTo);
  t.cause = EC_TRANSFER;
  connectionList(joined, e.connections);
  emit(e, sc);
  // Only now: call logging needs both old calls to link them.
  vanishCall(aid, sawSecondary, EC_TRANSFER);

  size_t live = 0;
  for (const Party& p : joined.parties)
    if (p.state != CS_FAIL && p.voiceOp == 0) ++live;
  if (live < 2) clearCall(hid, EC_NONE);
}

void Switch::Impl::conference(Call& h, Call& a, int dev) {
  const std::int32_t hid = h.id;
  const std::int32_t aid = a.id;
  const std::string who = devices[static_cast<size_t>(dev)].name;
  Scope sc = scopeOf(h, nullptr);
  for (const Party& p : a.parties)
    if (p.dev >= 0) sc.devs.push_back(p.dev);
  sc.calls.push_back(aid);

  const std::vector<int> sawSecondary = devicesOn(a);
  removeParty(a, dev);
  std::string added = a.parties.empty() ? "" : a.parties.front().name;
  Party* controller = partyOf(h, dev);
  if (controller) controller->state = CS_CONNECT;
  for (const Party& p : a.parties) h.parties.push_back(p);
  h.answered = h.answered || a.answered;
  calls.erase(aid);
  Call& joined = *findCall(hid);
  moveDetectors(sessions, aid, hid);
  moveVoice(aid, hid);
  sc.after = &joined;
  sc.subjectState = CS_CONNECT;

  wire::Event e = wire::cstaUnsolicited(CSTA_CONFERENCED, 0);
  CSTAConferencedEvent_t& v = unsol(e).u.conferenced;
  v.primaryOldCall = wire::connection(hid, who.c_str());
  v.secondaryOldCall = wire::connection(aid, who.c_str());
  v.confController = extDev(who);
  v.addedParty = extDev(added);
  v.cause = EC_NONE;
  connectionList(joined, e.connections);
  emit(e, sc);
  vanishCall(aid, sawSecondary, EC_KEY_CONFERENCE);
}

void Switch::Impl::vanishCall(std::int32_t callID, const std::vector<int>& devs, CSTAEventCause_t cause) {
  Scope sc;
  sc.devs = devs;
  sc.calls.push_back(callID);
  sc.subjectState = CS_NULL;
  wire::Event e = wire::cstaUnsolicited(CSTA_CALL_CLEARED, 0);
  unsol(e).u.callCleared.clearedCall = wire::connection(callID, "");
  unsol(e).u.callCleared.cause = cause;
  emit(e, sc);
  endCallMonitors(callID);
}

// ---- digits and features -----------------------------------------------------------

void Switch::Impl::pressDigits(Call& c, Party& p, const std::string& digits) {
  // Reports carry at most 64 digits; longer strings go in several.
  for (size_t at = 0; at < digits.size(); at += 64) {
    const std::string part = digits.substr(at, 64);
    TelvanixPrivateMessage m;
    buildPrivateMessage(&m, kqPvtDigitsSeen, c.id, p.name.c_str());
    m.digits.count = static_cast<std::int16_t>(part.size());
    std::memcpy(m.digits.digits, part.data(), part.size());

    for (auto& entry : sessions) {
      Session& s = entry.second;
      if (!s.open || !s.privateStatus) continue;
      // Once per stream: a collector on the call, or a monitor of the call or
      // of a device on it that does not filter digits out.
      bool wanted = s.detectors.count(c.id) != 0 || voiceListens(s.id, c.id);
      CSTAMonitorCrossRefID_t xref = 0;
      for (const Monitor& m : s.monitors) {
        if (m.filter.privateFilter & PF_DTMF) continue;
        bool match = m.onCall ? m.callID == c.id : partyOf(c, m.dev) != nullptr;
        if (match) {
          wanted = true;
          xref = m.xref;
          break;
        }
      }
      if (!wanted) continue;
      wire::Event e = wire::cstaUnsolicited(CSTA_PRIVATE_STATUS, xref);
      setPrivateMessage(e.priv, m);
      send(s, e);
    }
  }
  voiceHeardDigits(c.id);
}

void Switch::Impl::setDnd(int dev, bool on) {
  Device& d = devices[static_cast<size_t>(dev)];
  if (d.dnd == on) return;
  d.dnd = on;
  wire::Event e = wire::cstaUnsolicited(CSTA_DO_NOT_DISTURB, 0);
  unsol(e).u.doNotDisturb.device = extDev(d.name);
  unsol(e).u.doNotDisturb.doNotDisturbOn = on ? 1 : 0;
  Scope sc;
  sc.devs.push_back(dev);
  emit(e, sc);
}

void Switch::Impl::setMwi(int dev, bool on) {
  Device& d = devices[static_cast<size_t>(dev)];
  if (d.mwi == on) return;
  d.mwi = on;
  wire::Event e = wire::cstaUnsolicited(CSTA_MESSAGE_WAITING, 0);
  unsol(e).u.messageWaiting.deviceForMessage = extDev(d.name);
  unsol(e).u.messageWaiting.invokingDevice = extDev(d.name);
  unsol(e).u.messageWaiting.messageWaitingOn = on ? 1 : 0;
  Scope sc;
  sc.devs.push_back(dev);
  emit(e, sc);
}

void Switch::Impl::setForward(int dev, int type, bool on, const std::string& dest) {
  static const ForwardingType_t types[3] = {FWD_IMMEDIATE, FWD_BUSY, FWD_NO_ANS};
  Device& d = devices[static_cast<size_t>(dev)];
  Forward& f = d.fwd[type];
  const std::string to = dest.empty() ? f.dest : dest;
  if (f.on == on && f.dest == to) return;
  f.on = on;
  f.dest = to;
  wire::Event e = wire::cstaUnsolicited(CSTA_FORWARDING, 0);
  CSTAForwardingEvent_t& v = unsol(e).u.forwarding;
  v.device = extDev(d.name);
  v.forwardingInformation.forwardingType = types[type];
  v.forwardingInformation.forwardingOn = on ? 1 : 0;
  wire::copyDevice(v.forwardingInformation.forwardDN, to.c_str());
  Scope sc;
  sc.devs.push_back(dev);
  emit(e, sc);
}

}  // namespace telsim
