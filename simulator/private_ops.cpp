// Private messages: the escape-service requests of the Telvanix record, one
// handler per message type. Each handler answers its request with an
// ESCAPE_SVC_CONF (or a universal failure) and sends the reports that follow
// from it after that answer.
#include "simulator/internal.h"
#include "simulator/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace telsim {

void setPrivateMessage(wire::Private& p, const TelvanixPrivateMessage& m) {
  wire::setPrivate(p, telvanixVendor, reinterpret_cast<const std::uint8_t*>(&m) + kPvtWireHeaderSize,
                   sizeof m - kPvtWireHeaderSize);
}

void Switch::Impl::replyPrivate(Session& s, InvokeID_t invokeID, const TelvanixPrivateMessage& m) {
  wire::Event e = wire::cstaConfirmation(CSTA_ESCAPE_SVC_CONF, invokeID);
  setPrivateMessage(e.priv, m);
  confirm(s, e, invokeID);
}

void Switch::Impl::reportPrivate(Session& s, const TelvanixPrivateMessage& m, std::int32_t callID) {
  if (!s.open || !s.privateStatus) return;
  // Tagged with a monitor of the call when the stream has one.
  CSTAMonitorCrossRefID_t xref = 0;
  Call* c = callID ? findCall(callID) : nullptr;
  for (const Monitor& mon : s.monitors) {
    if (c && (mon.onCall ? mon.callID == callID : partyOf(*c, mon.dev) != nullptr)) {
      xref = mon.xref;
      break;
    }
  }
  wire::Event e = wire::cstaUnsolicited(CSTA_PRIVATE_STATUS, xref);
  setPrivateMessage(e.priv, m);
  send(s, e);
}

Party* privateParty(Switch::Impl& sw, const TelvanixPrivateMessage& m, Call** call,
                    CSTAUniversalFailure_t* err) {
  *call = sw.findCall(m.header.connection.callID);
  if (!*call) {
    *err = INVALID_CSTA_CALL_IDENTIFIER;
    return nullptr;
  }
  const std::string dev = getPrivateText(m.header.connection.deviceID);
  const int d = sw.findDevice(dev);
  for (Party& p : (*call)->parties)
    if ((d >= 0 && p.dev == d) || (!dev.empty() && sameText(p.name, dev))) return &p;
  *err = dev.empty() || d >= 0 ? INVALID_CSTA_CONNECTION_IDENTIFIER : INVALID_CSTA_DEVICE_IDENTIFIER;
  return nullptr;
}

namespace {

typedef void (*PvtHandler)(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m);

// The reply is the request's own record: it names what was done.
void echo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.replyPrivate(s, inv, m);
}

void startPrivateStatus(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  s.privateStatus = true;
  echo(sw, s, inv, m);
}

void stopPrivateStatus(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  s.privateStatus = false;
  echo(sw, s, inv, m);
}

void getDigits(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const std::int32_t callID = m.header.connection.callID;
  if (!sw.findCall(callID)) return sw.fail(s, inv, INVALID_CSTA_CALL_IDENTIFIER);
  s.detectors.insert(callID);
  ++sw.pvt.dtmfRequests;
  echo(sw, s, inv, m);
}

void stopGetDigits(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  s.detectors.erase(m.header.connection.callID);
  echo(sw, s, inv, m);
}

// The digits of a play-digits record that a tone generator can send: as
// many as the count says (64 at most, fewer when the text ends first), with
// a-d taken as A-D and anything else (blanks, dashes, pauses) left out.
std::string playableDigits(const TelvanixPrivateDTMF& d) {
  const std::string text(d.digits, static_cast<size_t>(privateDigitsPresent(&d)));
  std::string out;
  for (char ch : text) {
    if (ch == '\0') break;
    if (ch >= 'a' && ch <= 'd') ch = static_cast<char>(ch - 'a' + 'A');
    if ((ch >= '0' && ch <= '9') || ch == '*' || ch == '#' || (ch >= 'A' && ch <= 'D')) out += ch;
  }
  return out;
}

void playDigits(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  // Played from the named party's side of the call: whoever listens on the
  // call hears them as if that party had pressed them.
  Call* c = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = privateParty(sw, m, &c, &err);
  if (!p) return sw.fail(s, inv, err);
  if (p->state != CS_CONNECT) return sw.fail(s, inv, INVALID_OBJECT_STATE);
  const std::string digits = playableDigits(m.digits);
  // The reply names what is played: only tone digits, at most 64.
  std::memset(m.digits.digits, 0, sizeof m.digits.digits);
  std::memcpy(m.digits.digits, digits.data(), digits.size());
  m.digits.count = static_cast<std::int16_t>(digits.size());
  sw.replyPrivate(s, inv, m);
  if (!digits.empty()) sw.pressDigits(*c, *p, digits);
}

void voiceStart(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.startVoice(s, inv, m);
}

void voiceStop(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.stopVoice(s, inv, m);
}

// ---- answers with state ----------------------------------------------------------

// Turns the request into its report: same connection, payload cleared.
TelvanixPrivateMessage& answerAs(TelvanixPrivateMessage& m, privateMessageID type) {
  m.header.msgType = type;
  std::memset(m.payload, 0, sizeof m.payload);
  return m;
}

const Device* deviceOf(Switch::Impl& sw, const TelvanixPrivateMessage& m) {
  const int d = sw.findDevice(getPrivateText(m.header.connection.deviceID));
  return d < 0 ? nullptr : &sw.devices[static_cast<size_t>(d)];
}

lineStyle styleOf(const Device& d) {
  return d.cfg.kind == DK_TRUNK ? kqPvtAnalogTrunk : d.cfg.kind == DK_SPAN ? kqPvtDigitalTrunk : kqPvtAnalogExt;
}

std::size_t liveParties(const Call& c) {
  std::size_t n = 0;
  for (const Party& p : c.parties)
    if (p.state != CS_FAIL && p.voiceOp == 0) ++n;
  return n;
}

void textReport(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m,
                privateMessageID type, const std::string& text) {
  putPrivateText(answerAs(m, type).textReport.string, text.c_str());
  sw.replyPrivate(s, inv, m);
}

void swrID(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  textReport(sw, s, inv, m, kqPvtReportSwrID, sw.cfg.tsrvVer);
}
void hdwrID(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  textReport(sw, s, inv, m, kqPvtReportHdwrID, sw.cfg.serverName + " " + std::to_string(sw.cfg.boards.size()) + " boards");
}
void driverID(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  textReport(sw, s, inv, m, kqPvtReportDriverID, sw.cfg.drvrVer);
}

void fillBoards(TelvanixPrivateBoardList& list, const std::vector<TelvanixPrivateSerialNumber>& order) {
  for (size_t i = 0; i < order.size() && i < 16; ++i) list.boardID[i] = order[i];
}

std::vector<TelvanixPrivateSerialNumber> configuredBoards(const Config& cfg) {
  std::vector<TelvanixPrivateSerialNumber> v;
  for (const BoardConfig& b : cfg.boards) v.push_back({b.serialDate, b.serialNumber});
  return v;
}

void boardsPresent(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  fillBoards(answerAs(m, kqPvtReportBoardsPresent).boards, configuredBoards(sw.cfg));
  sw.replyPrivate(s, inv, m);
}

void getBoardOrder(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  fillBoards(answerAs(m, kqPvtReportBoardOrder).boards, sw.pvt.boardOrder);
  sw.replyPrivate(s, inv, m);
}

void romBoardOrder(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  fillBoards(answerAs(m, kqPvtReportROMboardOrder).boards, configuredBoards(sw.cfg));
  sw.replyPrivate(s, inv, m);
}

void setBoardOrder(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  std::vector<TelvanixPrivateSerialNumber> order;
  for (const TelvanixPrivateSerialNumber& b : m.boards.boardID) {
    if (b.fabDate == 0 && b.number == 0) break;  // the list ends at the first empty slot
    order.push_back(b);
  }
  sw.pvt.boardOrder = order;
  getBoardOrder(sw, s, inv, m);
  // Everyone who follows private status hears of the new order.
  TelvanixPrivateMessage report;
  buildPrivateMessage(&report, kqPvtReportBoardOrder, 0, nullptr);
  fillBoards(report.boards, order);
  sw.reportToAll(report, 0);
}

void streamInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const std::uint16_t id = m.streamInfo.streamID;
  TelvanixPrivateStreamInfo& r = answerAs(m, kqPvtReportStreamInfo).streamInfo;
  r.streamID = id;
  auto it = sw.sessions.find(id);
  if (it != sw.sessions.end() && it->second.open) {
    const Session& t = it->second;
    r.sessionID = t.id;
    r.inUse = 1;
    r.privateStatusEnabled = t.privateStatus ? 1 : 0;
    r.adminEnabled = t.admin ? 1 : 0;
    std::uint16_t devs = 0, callMons = 0;
    for (const Monitor& mon : t.monitors) (mon.onCall ? callMons : devs)++;
    r.numberDeviceXrefs = devs;
    r.numberCallXrefs = callMons;
  }
  sw.replyPrivate(s, inv, m);
}

void reportTranslation(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m, std::uint16_t pos) {
  TelvanixPrivateXlate& x = answerAs(m, kqPvtReportTranslation).xlate;
  x.position = pos;
  x.numPositions = static_cast<std::uint16_t>(sw.pvt.translations.size());
  putPrivateText(x.pattern, sw.pvt.translations[pos].first.c_str());
  putPrivateText(x.result, sw.pvt.translations[pos].second.c_str());
  sw.replyPrivate(s, inv, m);
}

void getTranslation(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const std::uint16_t pos = m.xlate.position;
  if (pos >= sw.pvt.translations.size()) return sw.fail(s, inv, VALUE_OUT_OF_RANGE);
  reportTranslation(sw, s, inv, m, pos);
}

void setTranslation(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const std::uint16_t pos = m.xlate.position;
  if (pos >= sw.pvt.translations.size()) return sw.fail(s, inv, VALUE_OUT_OF_RANGE);
  sw.pvt.translations[pos] = {getPrivateText(m.xlate.pattern), getPrivateText(m.xlate.result)};
  reportTranslation(sw, s, inv, m, pos);
}

void reportLineInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m, const Device& d) {
  TelvanixPrivateLineInfo& li = answerAs(m, kqPvtReportLineInfo).lineInfo;
  li.lineStyle = styleOf(d);
  li.classOfService = d.classOfService;
  li.pickupGroup = d.pickupGroup;
  putPrivateText(li.ifBusy, d.fwd[1].on ? d.fwd[1].dest.c_str() : "");
  putPrivateText(li.ifNoAnswer, d.fwd[2].on ? d.fwd[2].dest.c_str() : "");
  putPrivateText(li.ifImmediate, d.fwd[0].on ? d.fwd[0].dest.c_str() : "");
  li.noAnswerTime = d.noAnswerTime;
  li.waitNrings = d.waitNrings;
  li.doNotDisturb = d.dnd ? 1 : 0;
  li.callWaitingEnabled = d.callWaiting ? 1 : 0;
  putPrivateText(li.devicePhysName, d.cfg.physName.c_str());
  putPrivateText(li.deviceXlateName, d.name.c_str());
  sw.replyPrivate(s, inv, m);
}

void getLineInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const Device* d = deviceOf(sw, m);
  if (!d) return sw.fail(s, inv, INVALID_CSTA_DEVICE_IDENTIFIER);
  reportLineInfo(sw, s, inv, m, *d);
}

void setLineInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const int dev = sw.findDevice(getPrivateText(m.header.connection.deviceID));
  if (dev < 0) return sw.fail(s, inv, INVALID_CSTA_DEVICE_IDENTIFIER);
  Device& d = sw.devices[static_cast<size_t>(dev)];
  const TelvanixPrivateLineInfo li = m.lineInfo;
  d.classOfService = li.classOfService;
  d.pickupGroup = li.pickupGroup;
  d.noAnswerTime = li.noAnswerTime;
  d.waitNrings = li.waitNrings;
  d.callWaiting = li.callWaitingEnabled != 0;
  // Forwarding and do-not-disturb change as the standard services change
  // them, with their events.
  const std::string dests[3] = {getPrivateText(li.ifImmediate), getPrivateText(li.ifBusy),
                                getPrivateText(li.ifNoAnswer)};
  for (int f = 0; f < 3; ++f) {
    if (!dests[f].empty()) sw.setForward(dev, f, true, dests[f]);
    else if (d.fwd[f].on) sw.setForward(dev, f, false, "");
  }
  sw.setDnd(dev, li.doNotDisturb != 0);
  reportLineInfo(sw, s, inv, m, d);
}

void reportMoreLineInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m, const Device& d) {
  TelvanixPrivateMoreLineInfo& mi = answerAs(m, kqPvtReportMoreLineInfo).moreLineInfo;
  mi.lineStyle = styleOf(d);
  mi.digitalTrunkFlags = d.trunkFlags;
  putPrivateText(mi.devicePhysName, d.cfg.physName.c_str());
  sw.replyPrivate(s, inv, m);
}

void getMoreLineInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const Device* d = deviceOf(sw, m);
  if (!d) return sw.fail(s, inv, INVALID_CSTA_DEVICE_IDENTIFIER);
  reportMoreLineInfo(sw, s, inv, m, *d);
}

void setMoreLineInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const int dev = sw.findDevice(getPrivateText(m.header.connection.deviceID));
  if (dev < 0) return sw.fail(s, inv, INVALID_CSTA_DEVICE_IDENTIFIER);
  Device& d = sw.devices[static_cast<size_t>(dev)];
  d.trunkFlags = m.moreLineInfo.digitalTrunkFlags;
  reportMoreLineInfo(sw, s, inv, m, d);
}

Call* messageCall(Switch::Impl& sw, Session& s, InvokeID_t inv, const TelvanixPrivateMessage& m) {
  Call* c = sw.findCall(m.header.connection.callID);
  if (!c) sw.fail(s, inv, INVALID_CSTA_CALL_IDENTIFIER);
  return c;
}

void reportCTI(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m, std::uint32_t value) {
  answerAs(m, kqPvtReportCTIctrl).CTIinfo.clientCTIctrl = value;
  sw.replyPrivate(s, inv, m);
}

void getCTI(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  if (Call* c = messageCall(sw, s, inv, m)) reportCTI(sw, s, inv, m, c->cti);
}

void setCTI(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  Call* c = messageCall(sw, s, inv, m);
  if (!c) return;
  c->cti = m.CTIinfo.clientCTIctrl;
  reportCTI(sw, s, inv, m, c->cti);
}

void reportCallInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m, const Call& c) {
  m.header.connection.callID = c.id;
  TelvanixPrivateCallInfo& ci = answerAs(m, kqPvtReportCallInfo).callInfo;
  ci.clientCTIctrl = c.cti;
  ci.parkID = c.parkID;
  ci.numberLines = static_cast<std::uint8_t>(std::min<std::size_t>(liveParties(c), 255));
  sw.replyPrivate(s, inv, m);
}

void getCallInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  if (Call* c = messageCall(sw, s, inv, m)) reportCallInfo(sw, s, inv, m, *c);
}

// A call from the caller's phone, off hook and waiting for its number, with
// the client's value on it.
void makeCTIcall(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const int dev = sw.findDevice(getPrivateText(m.header.connection.deviceID));
  if (dev < 0) return sw.fail(s, inv, INVALID_CALLING_DEVICE);
  const Device& d = sw.devices[static_cast<size_t>(dev)];
  if (d.cfg.kind == DK_TRUNK || d.cfg.kind == DK_SPAN) return sw.fail(s, inv, INVALID_CALLING_DEVICE);
  if (sw.busy(dev) || sw.callsOf(dev) >= kMaxCallsPerDevice) return sw.fail(s, inv, RESOURCE_BUSY);
  if (sw.calls.size() >= kMaxCalls) return sw.fail(s, inv, GENERIC_SYSTEM_RESOURCE_AVAILABILITY);
  const std::int32_t id = sw.nextCallID++;
  if (sw.nextCallID <= 0) sw.nextCallID = 1;
  Call& c = sw.calls[id];
  c.id = id;
  c.startMs = sw.nowLocked();
  c.calling = d.name;
  c.cti = m.CTIinfo.clientCTIctrl;
  Party p;
  p.dev = dev;
  p.name = d.name;
  p.state = CS_INITIATE;
  c.parties.push_back(p);
  reportCallInfo(sw, s, inv, m, c);
  wire::Event e = wire::cstaUnsolicited(CSTA_SERVICE_INITIATED, 0);
  e.ev.event.cstaUnsolicited.u.serviceInitiated.initiatedConnection = wire::connection(id, d.name.c_str());
  e.ev.event.cstaUnsolicited.u.serviceInitiated.cause = EC_NEW_CALL;
  sw.emit(e, sw.scopeOf(c, &c.parties[0]));
}

void parkCall(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  Call* c = messageCall(sw, s, inv, m);
  if (!c) return;
  if (c->parkID == 0) {
    c->parkID = sw.pvt.nextParkID++;
    sw.pvt.parked.emplace_back(c->parkID, c->id);
  }
  reportCallInfo(sw, s, inv, m, *c);
  TelvanixPrivateMessage occurred;
  buildPrivateMessage(&occurred, kqPvtParkCallOccured, c->id, nullptr);
  occurred.callInfo = m.callInfo;
  sw.reportToAll(occurred, c->id);
}

void parkInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m, bool next) {
  const std::uint32_t want = m.callInfo.parkID;
  auto& parked = sw.pvt.parked;
  for (size_t i = 0; i < parked.size(); ++i) {
    if (parked[i].first != want) continue;
    const size_t at = next ? i + 1 : i;
    if (at >= parked.size()) break;
    Call* c = sw.findCall(parked[at].second);
    if (c) return reportCallInfo(sw, s, inv, m, *c);
  }
  // "Next" after the last one, or after 0, is the first parked call.
  if (next && !parked.empty() && (want == 0 || parked.back().first == want)) {
    if (Call* c = sw.findCall(parked.front().second)) return reportCallInfo(sw, s, inv, m, *c);
  }
  sw.fail(s, inv, VALUE_OUT_OF_RANGE);
}

void getParkInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) { parkInfo(sw, s, inv, m, false); }
void nextParked(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) { parkInfo(sw, s, inv, m, true); }

void enableAdmin(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const bool good = getPrivateText(m.textReport.string) == sw.pvt.adminPassword;
  // The password never goes back on the wire.
  std::memset(m.textReport.string, 0, sizeof m.textReport.string);
  if (!good) return sw.fail(s, inv, SECURITY_VIOLATION);
  s.admin = true;
  sw.replyPrivate(s, inv, m);
}

void setAdminPassword(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const std::string next = getPrivateText(m.textReport.string);
  std::memset(m.textReport.string, 0, sizeof m.textReport.string);
  if (!s.admin) return sw.fail(s, inv, SECURITY_VIOLATION);
  sw.pvt.adminPassword = next;
  sw.replyPrivate(s, inv, m);
}

void reportSystemInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  answerAs(m, kqPvtReportSystemInfo).sysInfo = sw.pvt.sysInfo;
  sw.replyPrivate(s, inv, m);
}

void setSystemInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.pvt.sysInfo = m.sysInfo;
  reportSystemInfo(sw, s, inv, m);
}

void requestBroadcast(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.replyPrivate(s, inv, m);
  TelvanixPrivateMessage report = m;
  report.header.msgType = kqPvtReportBroadcast;
  sw.reportToAll(report, m.header.connection.callID);
}

void statusInfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  TelvanixPrivateStatusInfo& st = answerAs(m, kqPvtReportStatusInfo).status;
  st.dtmfRequests = sw.pvt.dtmfRequests;
  st.playRequests = sw.pvt.playRequests;
  st.recordRequests = sw.pvt.recordRequests;
  std::size_t detectors = 0;
  for (const auto& entry : sw.sessions) detectors += entry.second.detectors.size();
  st.dtmfInUse = static_cast<std::uint8_t>(std::min<std::size_t>(detectors, 255));
  st.dtmfGrants[0] = sw.pvt.dtmfRequests;
  std::uint8_t plays = 0, records = 0;
  for (const VoiceOp& op : sw.voiceOps) (op.record ? records : plays)++;
  st.playInUse = plays;
  st.recordInUse = records;
  st.playGrants[0] = sw.pvt.playRequests;
  st.recordGrants[0] = sw.pvt.recordRequests;
  sw.replyPrivate(s, inv, m);
}

void sound(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const TelvanixPrivateSound was = m.sound;
  answerAs(m, kqPvtReportSound).sound = was;
  sw.replyPrivate(s, inv, m);
}

void interlock(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const bool release = m.header.msgType == kqPvtReleaseInterlock;
  const std::uint32_t value = m.interlock.value;
  auto it = sw.pvt.interlocks.find(value);
  bool taken = false;
  if (release) {
    if (it != sw.pvt.interlocks.end() && it->second == s.id) sw.pvt.interlocks.erase(it);
  } else if (it == sw.pvt.interlocks.end()) {
    sw.pvt.interlocks[value] = s.id;
    taken = true;
  }
  TelvanixPrivateInterlock& r = answerAs(m, kqPvtReportInterlock).interlock;
  r.wasTaken = taken ? 1 : 0;
  r.value = value;
  sw.replyPrivate(s, inv, m);
}

// Caller ID: "MMDDhhmm" of the call's start on the switch's clock, counted
// from 1 January 00:00.
std::string callTime(const Call& c) {
  const std::uint64_t minutes = c.startMs / 60000;
  const unsigned hour = static_cast<unsigned>(minutes / 60 % 24), minute = static_cast<unsigned>(minutes % 60);
  const unsigned day = static_cast<unsigned>(minutes / 1440 % 28) + 1;
  char text[16];
  std::snprintf(text, sizeof text, "01%02u%02u%02u", day, hour, minute);
  return text;
}

// Who called: the outside number and name a trunk brought in, else the
// device that placed the call.
void callerOf(const Call& c, std::string* number, std::string* name, bool* trunk) {
  *number = c.calling;
  *name = "";
  *trunk = c.callingType == IMPLICIT_PUBLIC;
  for (const Party& p : c.parties)
    if (!p.outside.empty() && p.outside == c.calling) *name = p.outsideName;
}

void callerIDinfo(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  Call* c = messageCall(sw, s, inv, m);
  if (!c) return;
  const Device* d = deviceOf(sw, m);
  std::string number, name;
  bool trunk = false;
  callerOf(*c, &number, &name, &trunk);
  TelvanixPrivateCallerIDinfo& ci = answerAs(m, kqPvtReportCallerIDinfo).callerID;
  ci.idFound = number.empty() ? 0 : 1;
  putPrivateText(ci.callingNumber, number.c_str());
  putPrivateText(ci.callingName, name.c_str());
  putPrivateText(ci.callTime, callTime(*c).c_str());
  ci.isTrunk = trunk ? 1 : 0;
  if (d) {
    putPrivateText(ci.devicePhysName, d->cfg.physName.c_str());
    putPrivateText(ci.deviceXlateName, d->name.c_str());
  }
  sw.replyPrivate(s, inv, m);
}

// The line's data-link message: the single form without a name, the
// multiple form (date and time, number or the reason for none, name) with one.
void rawCallerID(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  Call* c = messageCall(sw, s, inv, m);
  if (!c) return;
  std::string number, name;
  bool trunk = false;
  callerOf(*c, &number, &name, &trunk);
  number = number.substr(0, 20);
  name = name.substr(0, 15);
  const std::string when = callTime(*c);
  std::vector<std::uint8_t> b;
  if (name.empty()) {
    b.push_back(4);
    b.push_back(0);
    b.insert(b.end(), when.begin(), when.end());
    b.insert(b.end(), number.begin(), number.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(number.size(), 10)));
  } else {
    b.push_back(128);
    b.push_back(0);
    auto param = [&b](std::uint8_t type, const std::string& data) {
      b.push_back(type);
      b.push_back(static_cast<std::uint8_t>(data.size()));
      b.insert(b.end(), data.begin(), data.end());
    };
    param(1, when);
    if (number.empty()) param(4, "O");
    else param(2, number);
    param(7, name);
  }
  b[1] = static_cast<std::uint8_t>(b.size() - 2);
  std::memcpy(answerAs(m, kqPvtReportRawCallerID).rawCallerID, b.data(), std::min<size_t>(b.size(), 128));
  sw.replyPrivate(s, inv, m);
}

void dialledDigits(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  // No call: nothing dialled (line information asks so for an idle line).
  Call* c = m.header.connection.callID == 0 ? nullptr : messageCall(sw, s, inv, m);
  if (!c && m.header.connection.callID != 0) return;
  const std::string digits = c ? c->called.substr(0, kPvtMaxDigits) : std::string();
  TelvanixPrivateDTMF& d = answerAs(m, kqPvtReportDialedDigits).digits;
  d.count = static_cast<std::int16_t>(digits.size());
  std::memcpy(d.digits, digits.data(), digits.size());
  sw.replyPrivate(s, inv, m);
}

void getOperator(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  textReport(sw, s, inv, m, kqPvtReportOperatorNumber, sw.pvt.operatorNumber);
}

void setOperator(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.pvt.operatorNumber = getPrivateText(m.textReport.string);
  getOperator(sw, s, inv, m);
}

void multiAttendant(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  sw.pvt.multiAttendant = m.header.msgType == kqPvtEnableMultiAttendant;
  sw.replyPrivate(s, inv, m);
}

const BoardConfig* boardAt(Switch::Impl& sw, unsigned index) {
  return index < sw.cfg.boards.size() ? &sw.cfg.boards[index] : nullptr;
}

void softwareVersion(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const unsigned index = m.version.boardID;
  const BoardConfig* b = boardAt(sw, index);
  if (!b) return sw.fail(s, inv, VALUE_OUT_OF_RANGE);
  TelvanixPrivateVersion& v = answerAs(m, kqPvtReportSoftwareVersion).version;
  v.boardID = static_cast<std::uint8_t>(index);
  v.numberBoards = static_cast<std::uint8_t>(sw.cfg.boards.size());
  v.boardType = static_cast<PBXboardType>(b->type);
  putPrivateText(v.version, (sw.cfg.drvrVer + " board " + std::to_string(b->id)).c_str());
  sw.replyPrivate(s, inv, m);
}

// Counts of what the switch has, over all boards (board < 0) or on one.
void countResources(Switch::Impl& sw, int board, TelvanixPrivateResources& r) {
  for (const Device& d : sw.devices) {
    if (board >= 0 && d.cfg.board != board) continue;
    switch (d.cfg.kind) {
      case DK_EXTENSION: ++r.totalExtensions; break;
      case DK_TRUNK: ++r.totalTrunks, ++r.analogTrunks; break;
      case DK_SPAN: ++r.digitalSpans, r.digitalTrunks = static_cast<std::uint16_t>(r.digitalTrunks + 24); break;
      case DK_VOICE: ++r.totalAudioChannels; break;
    }
  }
  r.totalTrunks = static_cast<std::uint16_t>(r.totalTrunks + r.digitalTrunks);
  r.totalDTMFdetectors = 8;
  r.dialToneDetectors = 2;
  r.progressDetectors = 2;
}

void systemResources(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  TelvanixPrivateResources& r = answerAs(m, kqPvtReportSystemResources).resources;
  r.numberBoards = static_cast<std::uint8_t>(sw.cfg.boards.size());
  countResources(sw, -1, r);
  sw.replyPrivate(s, inv, m);
}

void boardResources(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const unsigned index = m.resources.boardID;
  const BoardConfig* b = boardAt(sw, index);
  if (!b) return sw.fail(s, inv, VALUE_OUT_OF_RANGE);
  TelvanixPrivateResources& r = answerAs(m, kqPvtReportBoardResources).resources;
  r.boardID = static_cast<std::uint8_t>(index);
  r.numberBoards = static_cast<std::uint8_t>(sw.cfg.boards.size());
  countResources(sw, b->id, r);
  sw.replyPrivate(s, inv, m);
}

Device* spanOf(Switch::Impl& sw, const TelvanixPrivateMessage& m) {
  const int d = sw.findDevice(getPrivateText(m.header.connection.deviceID));
  if (d < 0 || sw.devices[static_cast<size_t>(d)].cfg.kind != DK_SPAN) return nullptr;
  return &sw.devices[static_cast<size_t>(d)];
}

void getSpan(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  Device* d = spanOf(sw, m);
  if (!d) return sw.fail(s, inv, INVALID_CSTA_DEVICE_IDENTIFIER);
  answerAs(m, kqPvtReportDSpanInfo).DSpan = d->span;
  sw.replyPrivate(s, inv, m);
}

void setSpan(Switch::Impl& sw, Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  Device* d = spanOf(sw, m);
  if (!d) return sw.fail(s, inv, INVALID_CSTA_DEVICE_IDENTIFIER);
  // The board's serial and index are the switch's own.
  TelvanixPrivateDSpanInfo n = m.DSpan;
  n.serial = d->span.serial;
  n.bdIndex = d->span.bdIndex;
  n.isConfigured = 1;
  d->span = n;
  getSpan(sw, s, inv, m);
}

struct PvtOp {
  privateMessageID type;
  PvtHandler handler;
};

const PvtOp kOps[] = {
    {kqPvtStartPrivateStatus, startPrivateStatus},
    {kqPvtStopPrivateStatus, stopPrivateStatus},
    {kqPvtPlay, voiceStart},
    {kqPvtPlayTillDTMF, voiceStart},
    {kqPvtRecord, voiceStart},
    {kqPvtRecordTillDTMF, voiceStart},
    {kqPvtPlayStop, voiceStop},
    {kqPvtRecordStop, voiceStop},
    {kqPvtGetDigits, getDigits},
    {kqPvtStopGetDigits, stopGetDigits},
    {kqPvtPlayDigits, playDigits},
    {kqPvtGetDialedDigits, dialledDigits},
    {kqPvtRequestSwrID, swrID},
    {kqPvtRequestHdwrID, hdwrID},
    {kqPvtRequestDriverID, driverID},
    {kqPvtGetBoardsPresent, boardsPresent},
    {kqPvtGetStreamInfo, streamInfo},
    {kqPvtGetTranslation, getTranslation},
    {kqPvtSetTranslation, setTranslation},
    {kqPvtGetLineInfo, getLineInfo},
    {kqPvtSetLineInfo, setLineInfo},
    {kqPvtSetLineInfo1, setLineInfo},
    {kqPvtSetLineUserInfo, setLineInfo},
    {kqPvtGetCTIctrl, getCTI},
    {kqPvtSetCTIctrl, setCTI},
    {kqPvtEnableAdministration, enableAdmin},
    {kqPvtSetAdminPassword, setAdminPassword},
    {kqPvtGetSystemInfo, reportSystemInfo},
    {kqPvtSetSystemInfo, setSystemInfo},
    {kqPvtRequestBroadcast, requestBroadcast},
    {kqPvtGetBoardOrder, getBoardOrder},
    {kqPvtSetBoardOrder, setBoardOrder},
    {kqPvtGetROMboardOrder, romBoardOrder},
    {kqPvtGetStatusInfo, statusInfo},
    {kqPvtConnectSound, sound},
    {kqPvtDisconnectSound, sound},
    {kqPvtGetSound, sound},
    {kqPvtRequestInterlock, interlock},
    {kqPvtReleaseInterlock, interlock},
    {kqPvtMakeCTIcall, makeCTIcall},
    {kqPvtGetCallerIDinfo, callerIDinfo},
    {kqPvtGetRawCallerID, rawCallerID},
    {kqPvtSetOperatorNumber, setOperator},
    {kqPvtGetOperatorNumber, getOperator},
    {kqPvtGetSoftwareVersion, softwareVersion},
    {kqPvtGetSystemResources, systemResources},
    {kqPvtGetBoardResources, boardResources},
    {kqPvtGetDSpanInfo, getSpan},
    {kqPvtSetDSpanInfo, setSpan},
    {kqPvtGetMoreLineInfo, getMoreLineInfo},
    {kqPvtSetMoreLineInfo, setMoreLineInfo},
    {kqPvtSetDigitalTrunkFlags, setMoreLineInfo},
    {kqPvtGetCallInfo, getCallInfo},
    {kqPvtParkCall, parkCall},
    {kqPvtGetParkInfo, getParkInfo},
    {kqPvtGetNextParkedCall, nextParked},
    {kqPvtEnableMultiAttendant, multiAttendant},
    {kqPvtDisableMultiAttendant, multiAttendant},
};

}  // namespace

void Switch::Impl::handleEscape(Session& s, const wire::Request& r) {
  const InvokeID_t inv = r.invokeID;
  if (!r.priv.present || r.priv.data.size() < 2 || !isTelvanixVendor(r.priv.vendor))
    return fail(s, inv, INVALID_FEATURE);
  // Read as a client's record is read: bytes that did not come are zero.
  std::vector<std::uint8_t> bytes(r.priv.vendor, r.priv.vendor + kPvtVendorSize);
  const std::size_t n = std::min<std::size_t>(r.priv.data.size(), 0xFFFF);
  bytes.push_back(static_cast<std::uint8_t>(n));
  bytes.push_back(static_cast<std::uint8_t>(n >> 8));
  bytes.insert(bytes.end(), r.priv.data.begin(), r.priv.data.begin() + static_cast<std::ptrdiff_t>(n));
  TelvanixPrivateMessage m;
  readPrivateBytes(bytes.data(), bytes.size(), &m);
  for (const PvtOp& op : kOps)
    if (op.type == m.header.msgType) return op.handler(*this, s, inv, m);
  fail(s, inv, INVALID_FEATURE);
}

void Switch::Impl::reportToAll(const TelvanixPrivateMessage& m, std::int32_t callID) {
  for (auto& entry : sessions) reportPrivate(entry.second, m, callID);
}

void Switch::Impl::resetPrivate() {
  pvt = PrivateState();
  pvt.adminPassword = cfg.adminPassword;
  pvt.sysInfo.trunksForIncoming = 1;
  pvt.sysInfo.audioOnHold = kqPvtAudioQuiet;
  pvt.sysInfo.digitPlayTime = 4;
  pvt.sysInfo.digitQuietTime = 4;
  pvt.sysInfo.flashTimeout = 7;
  pvt.sysInfo.parkRingbackTime = 600;
  pvt.translations.assign(16, std::pair<std::string, std::string>());
  pvt.translations[0] = {"9", "9"};
  pvt.boardOrder = configuredBoards(cfg);
  unsigned index = 0;
  for (Device& d : devices) {
    if (d.cfg.kind != DK_SPAN) continue;
    for (const BoardConfig& b : cfg.boards)
      if (b.id == d.cfg.board) d.span.serial = {b.serialDate, b.serialNumber};
    d.span.bdIndex = static_cast<std::uint8_t>(index++);
    d.span.mode = qxPvtDSmodeT1;
    d.span.frame = qxPvtDSframeESF;
    d.span.lineCode = qxPvtDSlineCodeB8ZS;
    d.span.lineSignal = qxPvtDSsigLoopStart;
    d.span.expectedDIDdigits = 4;
    d.span.isConfigured = 1;
  }
}

std::string Switch::Impl::broadcast(const std::vector<std::string>& w, bool& ok) {
  ok = false;
  // broadcast NAME TEXT [CALL]: a report to every stream that follows private
  // status; a voice-mail call is marked with TEXT "VM ...".
  if (w.size() < 3 || w.size() > 4) return "? usage: broadcast NAME TEXT [CALL]\n";
  if (w[1].size() > 16 || w[2].size() > 128) return "? broadcast name or text too long\n";
  long long call = 0;
  if (w.size() == 4 && !readNumber(w[3], 1, 0x7FFFFFFF, call)) return "? bad call " + w[3] + "\n";
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, kqPvtReportBroadcast, static_cast<std::int32_t>(call), nullptr);
  putPrivateText(m.broadcast.name, w[1].c_str());
  putPrivateText(m.broadcast.data, w[2].c_str());
  reportToAll(m, static_cast<std::int32_t>(call));
  ok = true;
  return "";
}

namespace {
std::string cmdBroadcast(ControlCall& c) { return c.sw.broadcast(c.w, c.ok); }
const ControlCommand kPrivateRows[] = {
    {"broadcast", cmdBroadcast,
     "broadcast NAME TEXT [CALL]         a private report to every stream following private status\n"},
};
}  // namespace

const ControlTable kPrivateCommands = {kPrivateRows, sizeof kPrivateRows / sizeof kPrivateRows[0]};

}  // namespace telsim
