// The switch: client sessions, the requests they send, the clock, and the
// delivery of events to monitors.
#include "simulator/internal.h"
#include "simulator/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace telsim {

ExtendedDeviceID_t extDev(const std::string& s, DeviceIDType_t type) {
  return wire::extendedDevice(s.c_str(), type);
}

namespace {

bool filteredOut(const CSTAMonitorFilter_t& f, EventType_t t) {
  switch (t) {
    case CSTA_CALL_CLEARED: return f.call & CF_CALL_CLEARED;
    case CSTA_CONFERENCED: return f.call & CF_CONFERENCED;
    case CSTA_CONNECTION_CLEARED: return f.call & CF_CONNECTION_CLEARED;
    case CSTA_DELIVERED: return f.call & CF_DELIVERED;
    case CSTA_DIVERTED: return f.call & CF_DIVERTED;
    case CSTA_ESTABLISHED: return f.call & CF_ESTABLISHED;
    case CSTA_FAILED: return f.call & CF_FAILED;
    case CSTA_HELD: return f.call & CF_HELD;
    case CSTA_NETWORK_REACHED: return f.call & CF_NETWORK_REACHED;
    case CSTA_ORIGINATED: return f.call & CF_ORIGINATED;
    case CSTA_QUEUED: return f.call & CF_QUEUED;
    case CSTA_RETRIEVED: return f.call & CF_RETRIEVED;
    case CSTA_SERVICE_INITIATED: return f.call & CF_SERVICE_INITIATED;
    case CSTA_TRANSFERRED: return f.call & CF_TRANSFERRED;
    case CSTA_CALL_INFORMATION: return f.feature & FF_CALL_INFORMATION;
    case CSTA_DO_NOT_DISTURB: return f.feature & FF_DO_NOT_DISTURB;
    case CSTA_FORWARDING: return f.feature & FF_FORWARDING;
    case CSTA_MESSAGE_WAITING: return f.feature & FF_MESSAGE_WAITING;
    default: return false;
  }
}

void setLocalState(CSTAUnsolicitedEvent& u, EventType_t t, LocalConnectionState_t s) {
  switch (t) {
    case CSTA_CALL_CLEARED: u.u.callCleared.localConnectionInfo = s; break;
    case CSTA_CONFERENCED: u.u.conferenced.localConnectionInfo = s; break;
    case CSTA_CONNECTION_CLEARED: u.u.connectionCleared.localConnectionInfo = s; break;
    case CSTA_DELIVERED: u.u.delivered.localConnectionInfo = s; break;
    case CSTA_DIVERTED: u.u.diverted.localConnectionInfo = s; break;
    case CSTA_ESTABLISHED: u.u.established.localConnectionInfo = s; break;
    case CSTA_FAILED: u.u.failed.localConnectionInfo = s; break;
    case CSTA_HELD: u.u.held.localConnectionInfo = s; break;
    case CSTA_NETWORK_REACHED: u.u.networkReached.localConnectionInfo = s; break;
    case CSTA_ORIGINATED: u.u.originated.localConnectionInfo = s; break;
    case CSTA_QUEUED: u.u.queued.localConnectionInfo = s; break;
    case CSTA_RETRIEVED: u.u.retrieved.localConnectionInfo = s; break;
    case CSTA_SERVICE_INITIATED: u.u.serviceInitiated.localConnectionInfo = s; break;
    case CSTA_TRANSFERRED: u.u.transferred.localConnectionInfo = s; break;
    default: break;
  }
}

LocalConnectionState_t stateAt(const Call* c, int dev) {
  if (!c) return CS_NULL;
  for (const Party& p : c->parties)
    if (p.dev == dev) return p.state;
  return CS_NULL;
}

bool loginMatches(const Config& cfg, const wire::Request& r) {
  if (cfg.login != "*" && !sameText(cfg.login, r.loginID)) return false;
  return cfg.password == "*" || cfg.password == r.password;
}

}  // namespace

// ---- construction, clock --------------------------------------------------

Switch::Impl::Impl(const Config& c, bool manual, double spd)
    : cfg(c), manualClock(manual), speed(spd > 0 ? spd : 1.0) {
  realStart = plat_millis();
  resetState();
}

void Switch::Impl::resetState() {
  devices.clear();
  deviceByNumber.clear();
  deviceByName.clear();
  for (const DeviceConfig& dc : cfg.devices) {
    // The first device of a number or name is the one found, as a walk in
    // order would find it.
    const int index = static_cast<int>(devices.size());
    if (!dc.number.empty()) deviceByNumber.emplace(dc.number, index);
    deviceByName.emplace(lowerText(dc.physName), index);
    Device d;
    d.cfg = dc;
    d.name = dc.number.empty() ? dc.physName : dc.number;
    d.autoAnswerRings = dc.autoAnswerRings;
    for (int f = 0; f < 3; ++f) {
      d.fwd[f].dest = dc.forwardTo[f];
      d.fwd[f].on = !dc.forwardTo[f].empty();
    }
    devices.push_back(d);
  }
  calls.clear();
  sessions.clear();
  deviceWatchers.clear();
  callWatchers.clear();
  timers.clear();
  nextCallID = 1;
  nextAlertSeq = 1;
  confirmDelayMs = 0;
  down = false;
  requestsHandled = 0;
  afterRequests.clear();
  resetVoice();
}

std::uint64_t Switch::Impl::nowLocked() {
  if (manualClock) return manualNow;
  return simOffset + static_cast<std::uint64_t>(static_cast<double>(plat_millis() - realStart) * speed);
}

void Switch::Impl::schedule(std::uint64_t delayMs, std::function<void()> fn) {
  timers.emplace(std::make_pair(nowLocked() + delayMs, ++timerSeq), std::move(fn));
  if (!manualClock) {
    if (!clockThread.joinable()) clockThread = std::thread([this] { clockLoop(); });
    clockCv.notify_all();
  }
}

void Switch::Impl::fireDue() {
  // A timer may schedule more; those due at once run in this same pass.
  while (!timers.empty() && timers.begin()->first.first <= nowLocked()) {
    std::function<void()> fn = std::move(timers.begin()->second);
    timers.erase(timers.begin());
    fn();
  }
}

void Switch::Impl::clockLoop() {
  std::unique_lock<std::mutex> lk(mu);
  while (!stopping) {
    fireDue();
    if (timers.empty()) {
      clockCv.wait(lk);
      continue;
    }
    std::uint64_t wait = timers.begin()->first.first - nowLocked();
    std::uint64_t realWait = static_cast<std::uint64_t>(static_cast<double>(wait) / speed) + 1;
    clockCv.wait_for(lk, std::chrono::milliseconds(realWait));
  }
}

void Switch::Impl::stopClock(std::unique_lock<std::mutex>& lk) {
  stopping = true;
  clockCv.notify_all();
  if (clockThread.joinable()) {
    lk.unlock();
    clockThread.join();
    lk.lock();
  }
}

// ---- delivery ---------------------------------------------------------------

void Switch::Impl::send(Session& s, const wire::Event& e) {
  std::vector<std::uint8_t> frame;
  if (!wire::encodeEvent(e, frame) || !s.deliver) return;
  ++eventsSent;
  s.deliver(frame.data(), frame.size());
}

void Switch::Impl::confirm(Session& s, wire::Event e, InvokeID_t invokeID) {
  wire::setInvokeID(e, invokeID);
  if (confirmDelayMs == 0) {
    send(s, e);
    return;
  }
  std::uint32_t sid = s.id;
  schedule(confirmDelayMs, [this, sid, e] {
    auto it = sessions.find(sid);
    if (it != sessions.end()) send(it->second, e);
  });
}

void Switch::Impl::fail(Session& s, InvokeID_t invokeID, CSTAUniversalFailure_t error) {
  confirm(s, wire::cstaUniversalFailureConf(invokeID, error), invokeID);
}

namespace {

template <class K>
void watch(std::unordered_map<K, std::map<std::uint32_t, int>>& index, K key, std::uint32_t session,
           int change) {
  std::map<std::uint32_t, int>& sessions = index[key];
  if ((sessions[session] += change) <= 0) sessions.erase(session);
  if (sessions.empty()) index.erase(key);
}

template <class K>
void addWatchers(const std::unordered_map<K, std::map<std::uint32_t, int>>& index, K key,
                 std::vector<std::uint32_t>& out) {
  auto found = index.find(key);
  if (found == index.end()) return;
  for (const auto& entry : found->second) out.push_back(entry.first);
}

void addXrefs(const std::vector<CSTAMonitorCrossRefID_t>* list,
              std::vector<CSTAMonitorCrossRefID_t>& out) {
  if (list) out.insert(out.end(), list->begin(), list->end());
}

}  // namespace

void Switch::Impl::addMonitor(Session& s, const Monitor& m) {
  s.monitors.add(m);
  if (m.onCall)
    watch(callWatchers, m.callID, s.id, 1);
  else
    watch(deviceWatchers, m.dev, s.id, 1);
}

bool Switch::Impl::removeMonitor(Session& s, CSTAMonitorCrossRefID_t xref) {
  const Monitor* m = s.monitors.find(xref);
  if (!m) return false;
  if (m->onCall)
    watch(callWatchers, m->callID, s.id, -1);
  else
    watch(deviceWatchers, m->dev, s.id, -1);
  return s.monitors.remove(xref);
}

void Switch::Impl::clearMonitors(Session& s) {
  std::vector<CSTAMonitorCrossRefID_t> xrefs;
  for (const Monitor& m : s.monitors) xrefs.push_back(m.xref);
  for (CSTAMonitorCrossRefID_t xref : xrefs) removeMonitor(s, xref);
}

// Streams in the order of their IDs, each stream's monitors in the order
// they were started: as a walk over everything would send them.
void Switch::Impl::emit(wire::Event e, const Scope& scope) {
  const EventType_t type = e.eventType();
  std::vector<std::uint32_t> targets;
  for (int dev : scope.devs) addWatchers(deviceWatchers, dev, targets);
  for (std::int32_t call : scope.calls) addWatchers(callWatchers, call, targets);
  std::sort(targets.begin(), targets.end());
  targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
  std::vector<CSTAMonitorCrossRefID_t> xrefs;
  for (std::uint32_t id : targets) {
    auto found = sessions.find(id);
    if (found == sessions.end() || !found->second.open) continue;
    Session& s = found->second;
    xrefs.clear();
    for (int dev : scope.devs) addXrefs(s.monitors.ofDevice(dev), xrefs);
    for (std::int32_t call : scope.calls) addXrefs(s.monitors.ofCall(call), xrefs);
    std::sort(xrefs.begin(), xrefs.end());
    xrefs.erase(std::unique(xrefs.begin(), xrefs.end()), xrefs.end());
    for (CSTAMonitorCrossRefID_t xref : xrefs) {
      const Monitor* m = s.monitors.find(xref);
      if (!m || filteredOut(m->filter, type)) continue;
      e.ev.event.cstaUnsolicited.monitorCrossRefId = m->xref;
      setLocalState(e.ev.event.cstaUnsolicited, type,
                    m->onCall ? scope.subjectState : stateAt(scope.after, m->dev));
      send(s, e);
    }
  }
}

void Switch::Impl::sendFlowNotice(Session& s, int code, unsigned count) {
  wire::Control c;
  c.refuse = static_cast<RetCode_t>(code);
  c.count = count;
  std::vector<std::uint8_t> frame;
  if (s.deliver && wire::encodeControl(c, frame)) s.deliver(frame.data(), frame.size());
}

void Switch::Impl::dropSession(std::uint32_t id) {
  auto it = sessions.find(id);
  if (it == sessions.end()) return;
  std::function<void(const std::uint8_t*, std::size_t)> deliver = std::move(it->second.deliver);
  clearMonitors(it->second);
  sessions.erase(it);
  if (deliver) deliver(nullptr, 0);
}

// ---- requests -----------------------------------------------------------------

namespace {

// The party a connection ID names, with the failure to report when there is none.
Party* connParty(Switch::Impl& sw, const ConnectionID_t& cid, Call*& call,
                 CSTAUniversalFailure_t& err) {
  call = sw.findCall(cid.callID);
  if (!call) {
    err = INVALID_CSTA_CALL_IDENTIFIER;
    return nullptr;
  }
  std::string dev = wire::deviceString(cid.deviceID);
  int d = sw.findDevice(dev);
  for (Party& p : call->parties) {
    if ((d >= 0 && p.dev == d) || (!dev.empty() && sameText(p.name, dev))) return &p;
  }
  err = dev.empty() || d >= 0 ? INVALID_CSTA_CONNECTION_IDENTIFIER : INVALID_CSTA_DEVICE_IDENTIFIER;
  return nullptr;
}

void fillCaps(CSTAGetAPICapsConfEvent_t& c) {
  c.answerCall = c.clearCall = c.clearConnection = c.conferenceCall = 1;
  c.consultationCall = c.deflectCall = c.holdCall = c.makeCall = 1;
  c.queryMwi = c.queryDnd = c.queryFwd = c.queryDeviceInfo = c.retrieveCall = 1;
  c.setMwi = c.setDnd = c.transferCall = 1;
  c.callClearedEvent = c.conferencedEvent = c.connectionClearedEvent = 1;
  c.deliveredEvent = c.divertedEvent = c.establishedEvent = c.failedEvent = 1;
  c.heldEvent = c.networkReachedEvent = c.originatedEvent = c.retrievedEvent = 1;
  c.serviceInitiatedEvent = c.transferredEvent = c.doNotDisturbEvent = 1;
  c.forwardingEvent = c.messageWaitingEvent = c.privateEvent = 1;
  c.monitorDevice = c.monitorCall = c.monitorStop = c.monitorEnded = 1;
  c.snapshotDeviceReq = c.snapshotCallReq = c.escapeService = 1;
  c.privateStatusEvent = c.escapeServiceConf = 1;
}

}  // namespace

// ---- request handlers: one per operation --------------------------------------

namespace {

typedef Switch::Impl Sw;

void onOpenStream(Sw& sw, Session& s, const wire::Request& r) {
  const InvokeID_t inv = r.invokeID;
  if (s.open) {
    sw.confirm(s, wire::acsUniversalFailureConf(inv, DRIVER_DUPLICATE_ACSHANDLE), inv);
  } else if (!loginMatches(sw.cfg, r)) {
    sw.confirm(s, wire::acsUniversalFailureConf(inv, TSERVER_BAD_PASSWORD_OR_LOGIN), inv);
  } else {
    s.open = true;
    s.app = r.appName;
    s.nextXref = 1;
    const std::string& api = r.apiVersion.empty() ? sw.cfg.apiVer : r.apiVersion;
    sw.confirm(s, wire::openStreamConf(inv, api.c_str(), sw.cfg.libVer.c_str(), sw.cfg.tsrvVer.c_str(),
                                       sw.cfg.drvrVer.c_str()),
               inv);
  }
}

void endStream(Sw& sw, Session& s) {
  s.open = false;
  s.privateStatus = false;
  sw.clearMonitors(s);
  s.detectors.clear();
}

void onCloseStream(Sw& sw, Session& s, const wire::Request& r) {
  endStream(sw, s);
  sw.confirm(s, wire::acsConfirmation(ACS_CLOSE_STREAM_CONF, r.invokeID), r.invokeID);
}

void onAbortStream(Sw& sw, Session& s, const wire::Request&) { endStream(sw, s); }

void onMakeCall(Sw& sw, Session& s, const wire::Request& r) {
  const InvokeID_t inv = r.invokeID;
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, inv, INVALID_CALLING_DEVICE);
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  std::int32_t id = sw.makeCall(dev, r.device2, &err, [&](const Call& call) {
    wire::Event e = wire::cstaConfirmation(CSTA_MAKE_CALL_CONF, inv);
    e.ev.event.cstaConfirmation.u.makeCall.newCall =
        wire::connection(call.id, sw.devices[static_cast<size_t>(dev)].name.c_str());
    sw.confirm(s, e, inv);
  });
  if (id == 0) sw.fail(s, inv, err);
}

// Answer, hold and retrieve: one party in one state, its confirmation, the change.
void partyInState(Sw& sw, Session& s, const wire::Request& r, LocalConnectionState_t want,
                  CSTAUniversalFailure_t notThere, EventType_t conf, void (Sw::*act)(Call&, Party&)) {
  Call* c = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = connParty(sw, r.call, c, err);
  if (!p) return sw.fail(s, r.invokeID, err);
  if (p->state != want) return sw.fail(s, r.invokeID, notThere);
  sw.confirm(s, wire::cstaConfirmation(conf, r.invokeID), r.invokeID);
  (sw.*act)(*c, *p);
}

void onAnswerCall(Sw& sw, Session& s, const wire::Request& r) {
  partyInState(sw, s, r, CS_ALERTING, NO_CALL_TO_ANSWER, CSTA_ANSWER_CALL_CONF, &Sw::answer);
}

void onHoldCall(Sw& sw, Session& s, const wire::Request& r) {
  partyInState(sw, s, r, CS_CONNECT, NO_ACTIVE_CALL, CSTA_HOLD_CALL_CONF, &Sw::hold);
}

void onRetrieveCall(Sw& sw, Session& s, const wire::Request& r) {
  partyInState(sw, s, r, CS_HOLD, NO_HELD_CALL, CSTA_RETRIEVE_CALL_CONF, &Sw::retrieve);
}

void onConsultationCall(Sw& sw, Session& s, const wire::Request& r) {
  const InvokeID_t inv = r.invokeID;
  Call* c = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = connParty(sw, r.call, c, err);
  if (!p) return sw.fail(s, inv, err);
  if (p->state != CS_CONNECT || p->dev < 0) return sw.fail(s, inv, NO_ACTIVE_CALL);
  if (r.device.empty()) return sw.fail(s, inv, INVALID_CALLED_DEVICE);
  const int holder = p->dev;
  const std::int32_t heldID = c->id;
  if (sw.busy(holder, heldID)) return sw.fail(s, inv, RESOURCE_BUSY);
  sw.hold(*c, *p);  // the held call's events come first, as on a real set
  std::int32_t id = sw.makeCall(holder, r.device, &err, [&](const Call& call) {
    wire::Event e = wire::cstaConfirmation(CSTA_CONSULTATION_CALL_CONF, inv);
    e.ev.event.cstaConfirmation.u.consultationCall.newCall =
        wire::connection(call.id, sw.devices[static_cast<size_t>(holder)].name.c_str());
    sw.confirm(s, e, inv);
  });
  if (id == 0) {
    // No second call after all: the first comes back as it was.
    Call* held = sw.findCall(heldID);
    Party* hp = held ? sw.partyOf(*held, holder) : nullptr;
    if (hp && hp->state == CS_HOLD) sw.retrieve(*held, *hp);
    sw.fail(s, inv, err);
  }
}

void joinCalls(Sw& sw, Session& s, const wire::Request& r, bool isTransfer) {
  const InvokeID_t inv = r.invokeID;
  Call* c = nullptr;
  Call* c2 = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = connParty(sw, r.call, c, err);
  if (!p) return sw.fail(s, inv, err);
  Party* p2 = connParty(sw, r.call2, c2, err);
  if (!p2) return sw.fail(s, inv, err);
  if (c == c2 || p->dev < 0 || p->dev != p2->dev) return sw.fail(s, inv, INVALID_CSTA_CONNECTION_IDENTIFIER);
  if (p->state != CS_HOLD) return sw.fail(s, inv, NO_HELD_CALL);
  if (p2->state != CS_CONNECT) return sw.fail(s, inv, NO_ACTIVE_CALL);
  if (!isTransfer &&
      c->parties.size() + c2->parties.size() - 1 > static_cast<size_t>(sw.cfg.maxConferenceParties))
    return sw.fail(s, inv, CONFERENCE_MEMBER_LIMIT_EXCEEDED);
  const int who = p->dev;
  const std::int32_t newID = c->id;
  if (isTransfer) sw.transfer(*c, *c2, who);
  else sw.conference(*c, *c2, who);
  wire::Event e = wire::cstaConfirmation(isTransfer ? CSTA_TRANSFER_CALL_CONF : CSTA_CONFERENCE_CALL_CONF, inv);
  Call* nc = sw.findCall(newID);
  ConnectionID_t newCall = wire::connection(newID, sw.devices[static_cast<size_t>(who)].name.c_str());
  if (nc) sw.connectionList(*nc, e.connections);
  if (isTransfer) e.ev.event.cstaConfirmation.u.transferCall.newCall = newCall;
  else e.ev.event.cstaConfirmation.u.conferenceCall.newCall = newCall;
  // The confirmation follows the events here: the new call's parties are
  // only known once the calls are joined.
  sw.confirm(s, e, inv);
}

void onTransferCall(Sw& sw, Session& s, const wire::Request& r) { joinCalls(sw, s, r, true); }
void onConferenceCall(Sw& sw, Session& s, const wire::Request& r) { joinCalls(sw, s, r, false); }

void onDeflectCall(Sw& sw, Session& s, const wire::Request& r) {
  const InvokeID_t inv = r.invokeID;
  Call* c = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = connParty(sw, r.call, c, err);
  if (!p) return sw.fail(s, inv, err);
  if (p->state != CS_ALERTING) return sw.fail(s, inv, INVALID_OBJECT_STATE);
  if (r.device.empty() || (sw.findDevice(r.device) < 0 && !sw.isOutside(r.device)))
    return sw.fail(s, inv, INVALID_DESTINATION);
  sw.confirm(s, wire::cstaConfirmation(CSTA_DEFLECT_CALL_CONF, inv), inv);
  sw.divert(*c, p->dev, p->name, r.device, EC_REDIRECTED, 0);
}

void onClearCall(Sw& sw, Session& s, const wire::Request& r) {
  if (!sw.findCall(r.call.callID)) return sw.fail(s, r.invokeID, INVALID_CSTA_CALL_IDENTIFIER);
  sw.confirm(s, wire::cstaConfirmation(CSTA_CLEAR_CALL_CONF, r.invokeID), r.invokeID);
  sw.clearCall(r.call.callID, EC_NONE);
}

void onClearConnection(Sw& sw, Session& s, const wire::Request& r) {
  Call* c = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = connParty(sw, r.call, c, err);
  if (!p) return sw.fail(s, r.invokeID, err);
  sw.confirm(s, wire::cstaConfirmation(CSTA_CLEAR_CONNECTION_CONF, r.invokeID), r.invokeID);
  sw.clearConnection(*c, static_cast<size_t>(p - c->parties.data()));
}

void onSnapshotDevice(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  wire::Event e = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, r.invokeID);
  for (auto& entry : sw.calls) {
    const Call& call = entry.second;
    const Party* own = nullptr;
    for (const Party& q : call.parties)
      if (q.dev == dev) own = &q;
    if (!own) continue;
    // The device's own state first: clients look at it to pick their call.
    wire::DeviceSnapshotEntry d;
    d.call = wire::connection(call.id, own->name.c_str());
    d.states.push_back(own->state);
    for (const Party& q : call.parties)
      if (&q != own) d.states.push_back(q.state);
    e.deviceSnapshot.push_back(d);
  }
  sw.confirm(s, e, r.invokeID);
}

void onSnapshotCall(Sw& sw, Session& s, const wire::Request& r) {
  const Call* c = sw.findCall(r.call.callID);
  if (!c) return sw.fail(s, r.invokeID, INVALID_CSTA_CALL_IDENTIFIER);
  wire::Event e = wire::cstaConfirmation(CSTA_SNAPSHOT_CALL_CONF, r.invokeID);
  for (const Party& q : c->parties) {
    CSTASnapshotCallResponseInfo_t info = {};
    info.deviceOnCall = q.outside.empty() ? extDev(q.name) : extDev(q.outside, IMPLICIT_PUBLIC);
    info.callIdentifier = wire::connection(c->id, q.name.c_str());
    info.localConnectionState = q.state;
    e.callSnapshot.push_back(info);
  }
  sw.confirm(s, e, r.invokeID);
}

void onQueryDeviceInfo(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  const Device& d = sw.devices[static_cast<size_t>(dev)];
  wire::Event e = wire::cstaConfirmation(CSTA_QUERY_DEVICE_INFO_CONF, r.invokeID);
  CSTAQueryDeviceInfoConfEvent_t& q = e.ev.event.cstaConfirmation.u.queryDeviceInfo;
  wire::copyDevice(q.device, d.name.c_str());
  q.deviceType = d.cfg.kind == DK_TRUNK || d.cfg.kind == DK_SPAN ? DT_TRUNK : DT_STATION;
  q.deviceClass = DC_VOICE;
  sw.confirm(s, e, r.invokeID);
}

void onQueryDnd(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  wire::Event e = wire::cstaConfirmation(CSTA_QUERY_DND_CONF, r.invokeID);
  e.ev.event.cstaConfirmation.u.queryDnd.doNotDisturb = sw.devices[static_cast<size_t>(dev)].dnd ? 1 : 0;
  sw.confirm(s, e, r.invokeID);
}

void onQueryMwi(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  wire::Event e = wire::cstaConfirmation(CSTA_QUERY_MWI_CONF, r.invokeID);
  e.ev.event.cstaConfirmation.u.queryMwi.messages = sw.devices[static_cast<size_t>(dev)].mwi ? 1 : 0;
  sw.confirm(s, e, r.invokeID);
}

void onSetDnd(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  sw.confirm(s, wire::cstaConfirmation(CSTA_SET_DND_CONF, r.invokeID), r.invokeID);
  sw.setDnd(dev, r.flag);
}

void onSetMwi(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  sw.confirm(s, wire::cstaConfirmation(CSTA_SET_MWI_CONF, r.invokeID), r.invokeID);
  sw.setMwi(dev, r.flag);
}

void onQueryFwd(Sw& sw, Session& s, const wire::Request& r) {
  const int dev = sw.findDevice(r.device);
  if (dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  const Device& d = sw.devices[static_cast<size_t>(dev)];
  wire::Event e = wire::cstaConfirmation(CSTA_QUERY_FWD_CONF, r.invokeID);
  ListForwardParameters_t& l = e.ev.event.cstaConfirmation.u.queryFwd.queryFwd;
  static const ForwardingType_t types[3] = {FWD_IMMEDIATE, FWD_BUSY, FWD_NO_ANS};
  for (int i = 0; i < 3; ++i) {
    if (!d.fwd[i].on && d.fwd[i].dest.empty()) continue;
    ForwardingInfo_t& f = l.param[l.count++];
    f.forwardingType = types[i];
    f.forwardingOn = d.fwd[i].on ? 1 : 0;
    wire::copyDevice(f.forwardDN, d.fwd[i].dest.c_str());
  }
  sw.confirm(s, e, r.invokeID);
}

void startMonitor(Sw& sw, Session& s, const wire::Request& r, Monitor m) {
  if (s.monitors.size() >= static_cast<size_t>(sw.cfg.maxMonitorsPerStream))
    return sw.fail(s, r.invokeID, OVERALL_MONITOR_LIMIT_EXCEEDED);
  m.filter = r.filter;
  m.xref = s.nextXref++;
  sw.addMonitor(s, m);
  wire::Event e = wire::cstaConfirmation(CSTA_MONITOR_CONF, r.invokeID);
  e.ev.event.cstaConfirmation.u.monitorStart.monitorCrossRefID = m.xref;
  e.ev.event.cstaConfirmation.u.monitorStart.monitorFilter = m.filter;
  sw.confirm(s, e, r.invokeID);
}

void onMonitorDevice(Sw& sw, Session& s, const wire::Request& r) {
  Monitor m;
  m.dev = sw.findDevice(r.device);
  if (m.dev < 0) return sw.fail(s, r.invokeID, INVALID_CSTA_DEVICE_IDENTIFIER);
  startMonitor(sw, s, r, m);
}

void onMonitorCall(Sw& sw, Session& s, const wire::Request& r) {
  if (!sw.findCall(r.call.callID)) return sw.fail(s, r.invokeID, INVALID_CSTA_CALL_IDENTIFIER);
  Monitor m;
  m.onCall = true;
  m.callID = r.call.callID;
  startMonitor(sw, s, r, m);
}

void onMonitorStop(Sw& sw, Session& s, const wire::Request& r) {
  if (!sw.removeMonitor(s, r.crossRefID)) return sw.fail(s, r.invokeID, INVALID_CROSS_REF_ID);
  sw.confirm(s, wire::cstaConfirmation(CSTA_MONITOR_STOP_CONF, r.invokeID), r.invokeID);
}

void onEscapeService(Sw& sw, Session& s, const wire::Request& r) { sw.handleEscape(s, r); }

void onGetAPICaps(Sw& sw, Session& s, const wire::Request& r) {
  wire::Event e = wire::cstaConfirmation(CSTA_GETAPI_CAPS_CONF, r.invokeID);
  fillCaps(e.ev.event.cstaConfirmation.u.getAPICaps);
  sw.confirm(s, e, r.invokeID);
}

typedef void (*RequestHandler)(Sw&, Session&, const wire::Request&);

struct RequestRow {
  wire::Op op;
  RequestHandler handle;
  bool anyTime;  // also on a stream that is not open
};

const RequestRow kRequests[] = {
    {wire::Op::OpenStream, onOpenStream, true},
    {wire::Op::CloseStream, onCloseStream, true},
    {wire::Op::AbortStream, onAbortStream, true},
    {wire::Op::MakeCall, onMakeCall, false},
    {wire::Op::ClearCall, onClearCall, false},
    {wire::Op::ClearConnection, onClearConnection, false},
    {wire::Op::AnswerCall, onAnswerCall, false},
    {wire::Op::HoldCall, onHoldCall, false},
    {wire::Op::RetrieveCall, onRetrieveCall, false},
    {wire::Op::TransferCall, onTransferCall, false},
    {wire::Op::ConferenceCall, onConferenceCall, false},
    {wire::Op::ConsultationCall, onConsultationCall, false},
    {wire::Op::DeflectCall, onDeflectCall, false},
    {wire::Op::SnapshotDevice, onSnapshotDevice, false},
    {wire::Op::SnapshotCall, onSnapshotCall, false},
    {wire::Op::QueryDeviceInfo, onQueryDeviceInfo, false},
    {wire::Op::QueryDnd, onQueryDnd, false},
    {wire::Op::SetDnd, onSetDnd, false},
    {wire::Op::QueryMwi, onQueryMwi, false},
    {wire::Op::SetMwi, onSetMwi, false},
    {wire::Op::QueryFwd, onQueryFwd, false},
    {wire::Op::MonitorDevice, onMonitorDevice, false},
    {wire::Op::MonitorCall, onMonitorCall, false},
    {wire::Op::MonitorStop, onMonitorStop, false},
    {wire::Op::EscapeService, onEscapeService, false},
    {wire::Op::GetAPICaps, onGetAPICaps, false},
};

const RequestRow* findRequest(wire::Op op) {
  for (const RequestRow& row : kRequests)
    if (row.op == op) return &row;
  return nullptr;
}

}  // namespace

void Switch::Impl::handleRequest(Session& s, const wire::Request& r) {
  ++s.requests;
  ++requestsHandled;
  const RequestRow* row = findRequest(r.op);
  if ((!row || !row->anyTime) && !s.open)
    return confirm(s, wire::acsUniversalFailureConf(r.invokeID, TSERVER_NO_ACS_STREAM), r.invokeID);
  if (!row) return fail(s, r.invokeID, UNRECOGNIZED_OPERATION_REJECTION);
  row->handle(*this, s, r);
}

// ---- the public face -----------------------------------------------------------

Switch::Switch(const Config& cfg, bool manualClock, double speed)
    : d_(new Impl(cfg, manualClock, speed)) {}

Switch::~Switch() {
  std::unique_lock<std::mutex> lk(d_->mu);
  d_->stopClock(lk);
}

std::uint32_t Switch::openSession(std::function<void(const std::uint8_t*, std::size_t)> deliver) {
  std::lock_guard<std::mutex> lk(d_->mu);
  if (d_->down) return 0;
  std::uint32_t id = d_->nextSession++;
  if (d_->nextSession == 0) d_->nextSession = 1;
  Session& s = d_->sessions[id];
  s.id = id;
  s.deliver = std::move(deliver);
  return id;
}

void Switch::onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) {
  wire::Request r;
  if (!data || !wire::decodeRequest(data, len, r)) return;  // a bad frame is dropped, nothing else
  std::lock_guard<std::mutex> lk(d_->mu);
  auto it = d_->sessions.find(session);
  if (it == d_->sessions.end()) return;
  d_->handleRequest(it->second, r);
  // Only now: a command that drops this session must not pull it away
  // from under the request.
  d_->runAfterRequests();
}

void Switch::closeSession(std::uint32_t session) {
  std::lock_guard<std::mutex> lk(d_->mu);
  auto it = d_->sessions.find(session);
  if (it == d_->sessions.end()) return;
  d_->clearMonitors(it->second);
  d_->sessions.erase(it);
}

std::string Switch::control(const std::string& line, bool* ok) {
  std::unique_lock<std::mutex> lk(d_->mu);
  bool good = true;
  std::string out = d_->control(line, good, lk);
  if (ok) *ok = good;
  return out;
}

std::uint64_t Switch::now() {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->nowLocked();
}

void Switch::Impl::advance(std::uint64_t ms, std::unique_lock<std::mutex>& lk) {
  if (!manualClock) {
    // The lock is let go meanwhile; the server's end cuts the wait short.
    const std::uint64_t real = static_cast<std::uint64_t>(static_cast<double>(ms) / speed);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(real);
    waitCv.wait_until(lk, until, [&] { return waitsStopped; });
    return;
  }
  const std::uint64_t end = manualNow + ms;
  while (!timers.empty() && timers.begin()->first.first <= end) {
    manualNow = std::max(manualNow, timers.begin()->first.first);
    fireDue();
  }
  manualNow = end;
}

void Switch::advance(std::uint64_t ms) {
  std::unique_lock<std::mutex> lk(d_->mu);
  d_->advance(ms, lk);
}

void Switch::stopWaits() {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->waitsStopped = true;
  d_->waitCv.notify_all();
}

void Switch::reset() {
  std::lock_guard<std::mutex> lk(d_->mu);
  std::vector<std::uint32_t> ids;
  for (auto& e : d_->sessions) ids.push_back(e.first);
  for (std::uint32_t id : ids) d_->dropSession(id);
  d_->resetState();
}

std::size_t Switch::sessionCount() {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->sessions.size();
}

std::size_t Switch::callCount() {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->calls.size();
}

std::uint64_t Switch::eventsSent() {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->eventsSent;
}

std::uint64_t Switch::deferredFailures() {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->deferredFailures;
}

const Config& Switch::config() const { return d_->cfg; }

namespace {

Config embeddedConfig() {
  Config cfg = defaultConfig();
  char path[512];
  std::string err;
  if (plat_getenv("TELSIM_CONFIG", path, sizeof path) && path[0] && !loadConfig(path, cfg, &err))
    std::fprintf(stderr, "telsim: %s: %s (using the built-in configuration)\n", path, err.c_str());
  return cfg;
}

// TELSIM_SPEED runs the embedded switch's clock that many times as fast (as
// -x does telsim's): a run paced only by the switch takes less time. A value
// that is not a speed above 0 and at most 1000 is reported and ignored.
double embeddedSpeed() {
  char text[32];
  if (!plat_getenv("TELSIM_SPEED", text, sizeof text) || !text[0]) return 1.0;
  char* end = nullptr;
  const double speed = std::strtod(text, &end);
  if (end != text && *end == '\0' && speed > 0 && speed <= 1000) return speed;
  std::fprintf(stderr, "telsim: TELSIM_SPEED wants a speed above 0 and at most 1000, not '%s'\n",
               text);
  return 1.0;
}

// The control port of the embedded switch, when TELSIM_CONTROL asks for one.
struct EmbeddedControl {
  ControlServer server;
  explicit EmbeddedControl(Switch& sw) : server(sw) {
    char port[16];
    long long n = 0;
    if (!plat_getenv("TELSIM_CONTROL", port, sizeof port) || !port[0]) return;
    std::string err;
    if (!readNumber(port, 0, 65535, n) || !server.start(nullptr, static_cast<int>(n), &err))
      std::fprintf(stderr, "telsim: no control port (TELSIM_CONTROL=%s) %s\n", port, err.c_str());
  }
};

// The start-up scenario, run before the first stream can connect so that a
// whole run sees the same switch.
bool runStartScenario(Switch& sw) {
  char path[512];
  if (!plat_getenv("TELSIM_SCENARIO", path, sizeof path) || !path[0]) return true;
  std::string out;
  if (sw.runScenario(path, &out)) return true;
  std::fprintf(stderr, "telsim: TELSIM_SCENARIO stopped: %s", out.c_str());
  return false;
}

// One allocation, so that the control port stays reachable through the
// switch handed out (a leak checker sees nothing lost at exit). Members are
// made in order: the scenario runs before the control port opens.
struct Embedded {
  Switch sw;
  bool scenarioDone;
  EmbeddedControl control;
  Embedded() : sw(embeddedConfig(), false, embeddedSpeed()), scenarioDone(runStartScenario(sw)), control(sw) {}
};

}  // namespace

Switch& embeddedSwitch() {
  // Never destroyed: a client's own exit handlers (registered before the
  // switch was first used) still close and abort their streams after static
  // objects made later are gone.
  static Embedded& embedded = *new Embedded;
  return embedded.sw;
}

}  // namespace telsim
