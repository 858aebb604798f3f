// Private messages: the escape-service requests of the Telvanix record, one
// handler per message type. Each handler answers its request with an
// ESCAPE_SVC_CONF (or a universal failure) and sends the reports that follow
// from it after that answer.
#include "simulator/internal.h"
#include "simulator/text.h"

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

}  // namespace telsim
